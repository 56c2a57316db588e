#include "soak/DayOfUse.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "soak/DayScript.h"
#include "soak/Invariants.h"
#include "soak/LibraryView.h"
#include "soak/LiveCounts.h"
#include "soak/SoakNetwork.h"
#include "soak/SoakWorld.h"
#include "ui/StatusMenu.h"

#include <algorithm>
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
          m_network(m_world), m_invariants(m_world, m_view) {}

    void launch() {
        m_world.launch();
        m_world.fake.settle();
        m_invariants.rememberDisk();
        m_world.fake.mainQueue->onWorkRan = [this] {
            if (m_problems.empty()) {
                m_invariants.betweenWork(m_problems);
            }
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
        note("rest");
        m_script.rest();
        restOnADecodableFilm();
        for (int i = 0; i < 60 && m_problems.empty(); ++i) {
            m_network.answerEverything();
            m_world.fake.settle();
            m_view.follow();
            m_script.rest();
            m_world.fake.mainQueue->advance(1.0);
        }
        if (!m_world.model().manualPaused) {
            trayItem(m_world, "togglePause")->action();
        }
        runOut();
        m_invariants.afterStep(m_problems, m_network.takeDelivered());
        if (m_problems.empty()) {
            for (const auto& difference :
                 LiveCounts::of(m_world, m_view).differences(restingCounts(m_world))) {
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
        if (!m_report.failure.empty()) {
            return;
        }
        for (const auto& difference : LiveCounts::of(m_world, m_view).differences(LiveCounts{})) {
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
                note(m_script.act(random));
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
            m_world.fake.settle();
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
            m_world.fake.settle();
            m_world.fake.mainQueue->advance(10.0);
        }
        m_world.fake.settle();
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
    std::deque<std::string> m_recent;
    std::vector<std::string> m_problems;
    int m_step = 0;
};

} // namespace

DayReport DayOfUse::run(const Options& options) {
    DayReport report;
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
    return report;
}

} // namespace drovane::soak
