#include "soak/DayOfUse.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "soak/Invariants.h"
#include "soak/LibraryView.h"
#include "soak/SoakWorld.h"
#include "ui/StatusMenu.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <deque>
#include <sstream>

namespace drovane::soak {

namespace {

constexpr std::size_t recentEvents = 40;

std::string clockText(double seconds) {
    const long long ms = static_cast<long long>(seconds * 1000);
    char text[32];
    std::snprintf(text, sizeof text, "%02lld:%02lld:%02lld.%03lld", ms / 3'600'000, ms / 60'000 % 60,
                  ms / 1000 % 60, ms % 1000);
    return text;
}

// Each step draws from a generator of its own, so the script of a seed stays the same
// whatever the program did with earlier steps.
std::mt19937_64 stepRandom(std::uint64_t seed, int step) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(step)};
    return std::mt19937_64(sequence);
}

double interval(std::mt19937_64& random) {
    const int roll = std::uniform_int_distribution<int>(0, 99)(random);
    const auto between = [&random](double a, double b) {
        return std::uniform_real_distribution<>(a, b)(random);
    };
    // Mostly a busy user, now and then a pause, rarely a long one.
    return roll < 85 ? between(0.02, 1.5) : roll < 98 ? between(1.5, 20.0) : between(20.0, 240.0);
}

// Tells loops, film changes and rebuilds apart by what changed since the last look.
class CrossfadeCounter {
public:
    // `asked`: the change came from a user's action, not from the clock.
    void look(const AppModel& model, bool asked, DayReport& report) {
        if (same(m_players, model.players)) {
            return;
        }
        if (!same(m_windows, model.windows)) {
            ++report.rebuilds;
        } else if (m_film != model.videoURL || asked) {
            ++report.switches;
        } else {
            ++report.loops;
        }
        m_players.assign(model.players.begin(), model.players.end());
        m_windows.assign(model.windows.begin(), model.windows.end());
        m_film = model.videoURL;
    }

private:
    template <typename T>
    static bool same(const std::vector<std::weak_ptr<T>>& seen, const std::vector<std::shared_ptr<T>>& now) {
        return seen.size() == now.size() &&
               std::equal(seen.begin(), seen.end(), now.begin(),
                          [](const auto& w, const auto& s) { return !w.expired() && w.lock() == s; });
    }

    std::vector<std::weak_ptr<Player>> m_players;
    std::vector<std::weak_ptr<WallpaperWindow>> m_windows;
    std::optional<Url> m_film;
};

// The counts the program must come back to once it rests with `model` as it is.
LiveCounts restingCounts(const SoakWorld& world) {
    const AppModel& model = world.model();
    LiveCounts expected;
    const int screens = static_cast<int>(world.fake.screens->frames().size());
    if (model.videoURL) {
        const Film* film = world.film(model.videoURL->deletingPathExtension().lastPathComponent());
        expected.wallpaperWindows = expected.players = expected.layers = screens;
        expected.boundaryObservers =
            film && film->duration && *film->duration > AppModel::minimumLoopDuration ? screens : 0;
        expected.occlusionObservers = 1;
    }
    expected.machineObservers = 8;
    expected.screenObservers = 1;
    return expected;
}

// The tray menu's top-level item with this identifier, as the menu opens now.
std::optional<MenuItem> trayItem(const SoakWorld& world, const std::string& identifier) {
    for (auto& item : world.statusItem().open()) {
        if (item.identifier == identifier) {
            return std::move(item);
        }
    }
    return std::nullopt;
}

// The pictures the thumbnail cache keeps, up to its bound, which may still fill after the warm-up.
std::size_t cachedPictureBytes(SoakWorld& world) {
    ThumbnailCache* cache = world.thumbnails();
    return cache ? cache->mem().totalCost() : 0;
}

std::string traceLine(const SoakWorld& world) {
    const AppModel& model = world.model();
    std::ostringstream out;
    out << "plays " << (model.videoURL ? model.videoURL->lastPathComponent() : "nothing") << "; on disk";
    for (const auto& id : world.onDisk()) {
        out << ' ' << id;
    }
    out << "; running";
    for (const auto& [key, fraction] : model.downloader->active()) {
        out << ' ' << key;
    }
    out << "; waiting";
    for (const auto& key : model.downloader->waiting()) {
        out << ' ' << key;
    }
    out << "\n";
    return out.str();
}

// One day: the program, the user, the network and the checks, and what they found.
class Day {
public:
    Day(const DayOfUse::Options& options, DayReport& report)
        : m_options(options), m_report(report), m_view(m_world), m_script(m_world, m_view),
          m_network(m_world), m_invariants(m_world, m_script.machine, m_view) {}

    void launch() {
        m_world.launch();
        m_world.settle();
        m_invariants.rememberDisk();
        m_report.atStart = LiveCounts::of(m_world, m_view);
        m_world.fake.mainQueue->onWorkRan = [this] {
            if (m_problems.empty()) {
                m_invariants.betweenWork(m_problems);
            }
            m_crossfades.look(m_world.model(), m_acting, m_report);
        };
    }

    // Runs the day's steps until its end or the first problem; false on a problem.
    bool live() {
        const double end = m_options.hours * 3600;
        for (; m_world.fake.clock->elapsed() < end; ++m_step) {
            if (!step()) {
                break;
            }
            if (!m_report.warmUp && m_world.fake.clock->elapsed() >= m_options.warmUpHours * 3600) {
                m_report.warmUp = MemorySample::now(cachedPictureBytes(m_world));
            }
        }
        m_report.steps = m_step;
        if (!m_report.failure.empty()) {
            return false;
        }
        m_report.end = MemorySample::now(cachedPictureBytes(m_world));
        return true;
    }

    // Every window closed, every transfer over, the machine idle, a film that can be decoded
    // playing (or none), then paused so that the clock can run out every piece of pending work;
    // what is alive then must be what the program needs to go on.
    void rest() {
        m_acting = true;
        note("rest");
        m_script.rest();
        restOnADecodableFilm();
        m_acting = false;
        for (int i = 0; i < 60 && m_problems.empty(); ++i) {
            m_network.answerEverything();
            m_world.settle();
            m_view.follow();
            m_script.rest();
            m_world.fake.mainQueue->advance(1.0);
        }
        if (!m_world.model().manualPaused) {
            trayItem(m_world, "togglePause")->action();
        }
        runOut();
        m_invariants.afterStep(m_problems, m_network.takeDelivered());
        m_report.atRest = LiveCounts::of(m_world, m_view);
        m_report.expectedAtRest = restingCounts(m_world);
        if (m_problems.empty()) {
            for (const auto& difference : m_report.atRest.differences(m_report.expectedAtRest)) {
                m_problems.push_back("at rest, " + difference);
            }
        }
        if (!m_problems.empty()) {
            fail("at rest");
        }
    }

    // The process ends: the delegate and everything it made go, and with them every
    // subscription, transfer and piece of work they left.
    void quit() {
        m_report.events = m_script.counts;
        m_report.switchesAsked = m_script.switchesAsked;
        m_report.filmsArrived = m_invariants.filmsArrived;
        m_report.filmsRemoved = m_invariants.filmsRemoved;
        m_report.failuresLogged = m_invariants.failuresLogged;
        m_report.network = m_network.tally;
        m_report.pictureRequests = m_view.requestsMade();
        m_report.picturesDelivered = m_view.picturesDelivered();
        m_report.storeNotifications = m_view.notifications();

        m_world.fake.mainQueue->onWorkRan = nullptr;
        const std::weak_ptr<AppModel> model = m_world.delegate->model;
        const std::weak_ptr<Downloader> downloader = m_world.delegate->model->downloader;
        const std::weak_ptr<StatusMenu> menu = m_world.delegate->statusMenu;
        std::weak_ptr<ThumbnailCache> thumbnails;
        if (auto* window = m_world.libraryWindow()) {
            thumbnails = window->content.thumbnails;
        }
        m_world.quit();
        runOut();
        m_report.afterQuit = LiveCounts::of(m_world, m_view);
        if (!m_report.failure.empty()) {
            return;
        }
        for (const auto& difference : m_report.afterQuit.differences(LiveCounts{})) {
            m_problems.push_back("after quitting, " + difference);
        }
        if (!model.expired() || !downloader.expired() || !menu.expired() || !thumbnails.expired()) {
            m_problems.push_back("the engine, the download queue, the status menu or the thumbnail cache "
                                 "outlived the program");
        }
        if (!m_problems.empty()) {
            fail("after quitting");
        }
    }

private:
    // One event, a turn of the network and of the background threads in a random order, then a
    // random stretch of time; the checks between every piece of main-thread work and after it all.
    bool step() {
        auto random = stepRandom(m_options.seed, m_step);
        std::array<int, 3> phases{0, 1, 2};
        std::shuffle(phases.begin(), phases.end(), random);
        for (int phase : phases) {
            switch (phase) {
            case 0:
                m_acting = true;
                note(m_script.act(random));
                m_crossfades.look(m_world.model(), true, m_report);
                m_acting = false;
                break;
            case 1:
                m_network.turn(random);
                break;
            default:
                background(random);
            }
            m_view.follow();
        }
        if (!m_problems.empty()) {
            return fail("during the step");
        }
        m_world.fake.mainQueue->advance(interval(random));
        m_view.follow();
        if (!m_problems.empty()) {
            return fail("while the clock ran");
        }
        if (std::uniform_int_distribution<int>(0, 2)(random) == 0) {
            m_world.settle();
            m_view.follow();
            m_invariants.whenSettled(m_problems);
        }
        m_invariants.afterStep(m_problems, m_network.takeDelivered());
        if (m_options.trace) {
            std::printf("    %s", traceLine(m_world).c_str());
        }
        return m_problems.empty() || fail("after the step");
    }

    // The background threads: sometimes all of them catch up, sometimes one.
    void background(std::mt19937_64& random) {
        if (std::uniform_int_distribution<int>(0, 9)(random) < 6) {
            m_world.fake.taskQueues->runAll();
            return;
        }
        static constexpr const char* labels[] = {LibraryStore::scanQueueLabel,
                                                 ThumbnailCache::framesQueueLabel,
                                                 ThumbnailCache::previewsQueueLabel};
        if (auto queue = m_world.fake.taskQueues->queue(labels[random() % 3])) {
            queue->runAll();
        }
    }

    // A film no player can decode keeps the one before it visible underneath, waiting for a
    // frame for good: the day rests on another film, or on none when it is the only one.
    void restOnADecodableFilm() {
        const AppModel& model = m_world.model();
        const Film* film = model.videoURL
                               ? m_world.film(model.videoURL->deletingPathExtension().lastPathComponent())
                               : nullptr;
        if (!film || film->duration) {
            return;
        }
        if (const auto wallpaper = trayItem(m_world, "wallpaper")) {
            for (const auto& choice : wallpaper->submenu) {
                if (!choice.checked) {
                    choice.action();
                    return;
                }
            }
        }
        m_world.delegate->showMainWindow();
        m_world.libraryWindow()->content.actions.deleteItem({film->id, film->label, "", model.videoURL, {}});
        m_world.libraryWindow()->close();
    }

    // Lets the clock run until every piece of pending work, the network's included, has run.
    void runOut() {
        for (int i = 0; i < 30; ++i) {
            m_network.answerEverything();
            m_world.settle();
            m_world.fake.mainQueue->advance(10.0);
        }
        m_world.settle();
    }

    void note(const std::string& what) {
        m_recent.push_back("[" + std::to_string(m_step) + "] " + clockText(m_world.fake.clock->elapsed()) +
                           " " + what);
        if (m_options.trace) {
            std::printf("%s\n", m_recent.back().c_str());
        }
        if (m_recent.size() > recentEvents) {
            m_recent.pop_front();
        }
    }

    // Writes the report's failure from the problems found; false.
    bool fail(const std::string& where) {
        std::ostringstream out;
        out << "seed " << m_options.seed << " (DROVANE_SOAK_SEED=" << m_options.seed << " replays it), step "
            << m_step << " at " << clockText(m_world.fake.clock->elapsed()) << " of the day, " << where
            << ":\n";
        for (const auto& problem : m_problems) {
            out << "  - " << problem << "\n";
        }
        out << "the last events:\n";
        for (const auto& event : m_recent) {
            out << "  " << event << "\n";
        }
        m_report.failure = out.str();
        return false;
    }

    const DayOfUse::Options& m_options;
    DayReport& m_report;
    SoakWorld m_world;
    LibraryView m_view;
    DayScript m_script;
    SoakNetwork m_network;
    Invariants m_invariants;
    CrossfadeCounter m_crossfades;
    std::deque<std::string> m_recent;
    std::vector<std::string> m_problems;
    int m_step = 0;
    bool m_acting = false;
};

} // namespace

DayReport DayOfUse::run(const Options& options) {
    const auto started = std::chrono::steady_clock::now();
    DayReport report;
    report.seed = options.seed;
    report.hours = options.hours;
    std::printf("soak: seed %llu, %g simulated hours\n", static_cast<unsigned long long>(options.seed),
                options.hours);
    std::fflush(stdout);
    {
        Day day(options, report);
        day.launch();
        if (day.live()) {
            day.rest();
        }
        day.quit();
    }
    report.wallSeconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    return report;
}

std::string DayReport::describe() const {
    std::ostringstream out;
    out << "a day of " << hours << " simulated hours, seed " << seed << ", " << steps << " steps, "
        << wallSeconds << " s of wall time\n";
    out << "events:\n";
    for (std::size_t i = 0; i < events.size(); ++i) {
        out << "  " << eventName(static_cast<Event>(i)) << " " << events[i] << "\n";
    }
    out << "film switches asked " << switchesAsked << "; cross-fades: loops " << loops << ", to another film "
        << switches << "; windows rebuilt " << rebuilds << "\n";
    out << "downloads: delivered " << network.delivered << ", 404 " << network.notFound
        << ", transport errors " << network.transportErrors << ", error pages " << network.errorPages
        << ", stalled " << network.stalled << ", cancelled in transfer " << network.cancelled
        << "; progress reports " << network.progressReports << "; failures logged " << failuresLogged << "\n";
    out << "films arrived " << filmsArrived << ", deleted " << filmsRemoved << "\n";
    out << "previews answered " << network.previews << " (" << network.previewsDelivered
        << " with a picture); "
        << "picture requests " << pictureRequests << ", pictures delivered " << picturesDelivered
        << "; store notifications " << storeNotifications << "\n";
    out << "live at the start:\n" << atStart.describe();
    out << "live at rest:\n" << atRest.describe();
    out << "live after quitting:\n" << afterQuit.describe();
    if (warmUp && end) {
        out << "memory after warm-up: resident " << warmUp->residentBytes / 1024 << " KiB, heap "
            << warmUp->heapBytes / 1024 << " KiB; at the end: resident " << end->residentBytes / 1024
            << " KiB, heap " << end->heapBytes / 1024 << " KiB\n";
    }
    return out.str();
}

} // namespace drovane::soak
