#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"
#include "soak/SoakWorld.h"
#include "support/Settings.h"
#include "ui/StatusMenu.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <malloc.h>

#if defined(__SANITIZE_ADDRESS__)
#define DROVANE_SOAK_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define DROVANE_SOAK_ASAN 1
#endif
#endif

#ifdef DROVANE_SOAK_ASAN
// The sanitizer runtime's own count; GCC ships no header that declares it.
extern "C" std::size_t __sanitizer_get_current_allocated_bytes();
#endif

namespace drovane::soak {
namespace {

// The bytes the heap has handed out and not taken back (under AddressSanitizer its allocator's
// count, which leaves out the quarantine of freed blocks; otherwise glibc's), less those the
// thumbnail cache keeps on purpose, up to its bound, which may still fill after the warm-up. The
// fake machine maps no memory of its own, so the heap is all the program can leak.
std::size_t heapBytes(ThumbnailCache* cache) {
#ifdef DROVANE_SOAK_ASAN
    const std::size_t bytes = __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 info = ::mallinfo2();
    const std::size_t bytes = info.uordblks + info.hblkhd;
#endif
    return bytes - std::min(bytes, cache ? cache->mem().totalCost() : 0);
}

// After the warm-up every cache has filled to what the day needs, so the heap grows only by the
// capacity a container keeps: a few KiB in practice. A leak of 64 bytes per step shows within
// 2,000 steps, under three hours of the day.
constexpr std::size_t heapGrowthBound = 128 * 1024;
// The heap is measured after this much of the day and at its end: by then every cache has filled.
constexpr double warmUpHours = 3;

using fakes::FakePlayerLayer;
using fakes::FakeWallpaperWindow;

// A layer that shows its picture fully and for good: nothing under it can be seen.
bool settledOpaque(const Layer& layer) {
    const auto* player = dynamic_cast<const FakePlayerLayer*>(&layer);
    return player && player->isReadyForDisplay() && !player->isAnimating() && player->opacity() >= 1.0;
}

// What must hold all day. Each check adds a line per violation to the problems.
class Invariants {
public:
    Invariants(SoakWorld& world, LibraryView& view, std::vector<std::string>& problems)
        : m_world(world), m_view(view), m_problems(problems) {}

    // Between any two pieces of main-thread work: one player and layer per window, and the
    // download queue's bounds and counters.
    void betweenWork() const {
        const AppModel& model = m_world.model();
        problemIf(model.windows.size() != model.players.size() || model.players.size() != model.layers.size(),
                  "windows, players and layers differ in number: " + std::to_string(model.windows.size()) +
                      ", " + std::to_string(model.players.size()) + ", " +
                      std::to_string(model.layers.size()));
        problemIf(!model.videoURL && !model.windows.empty(), "wallpaper windows while no film plays");
        const Downloader& queue = *model.downloader;
        const auto& waiting = queue.waiting();
        problemIf(queue.active().size() > Downloader::maxActive,
                  std::to_string(queue.active().size()) + " transfers run at once");
        const std::set<std::string> queued(waiting.begin(), waiting.end());
        problemIf(queued.size() != waiting.size(), "a film waits twice in the download queue");
        for (const auto& [key, fraction] : queue.active()) {
            problemIf(queued.contains(key) || !(fraction >= 0 && fraction <= 1),
                      key + " both runs and waits, or has progressed " + std::to_string(fraction));
        }
        const int queuedNow = static_cast<int>(queue.active().size() + waiting.size());
        // A batch counts what was queued since the queue was last empty: every item is done, running or
        // waiting, and all three counters are back at 0 once it has drained.
        problemIf(queue.failed() < 0 || queue.failed() > queue.done() ||
                      queue.total() != queue.done() + queuedNow || (queuedNow == 0 && queue.total() != 0),
                  "download counters: done " + std::to_string(queue.done()) + ", failed " +
                      std::to_string(queue.failed()) + ", total " + std::to_string(queue.total()) + ", " +
                      std::to_string(queuedNow) + " queued or running");
    }
    // After every step: the above, the windows' layer trees, the files and the log. `delivered` are
    // the films whose bytes the network handed over since the last step.
    void afterStep(const std::set<std::string>& delivered) {
        betweenWork();
        engine();
        disk(delivered);
        log();
        // The fakes' records of the players and layers made let go of those gone, as a long day needs.
        m_world.fake.video->livePlayers();
        m_world.fake.video->liveLayers();
        // A film that lands while none plays becomes the wallpaper: none plays only with none on disk,
        // or when the Trash refused the films of a deletion that had moved the wallpaper off them.
        if (m_world.model().videoURL) {
            m_deletionRefused = false;
        } else if (const auto onDisk = m_world.onDisk(); !onDisk.empty() && !m_deletionRefused) {
            m_problems.push_back("no film plays though " + *onDisk.begin() + " is on disk");
        }
    }
    // Once the background work and the due main-thread work have all run: the library window's
    // store agrees with the disk. (That it mirrors the engine and counts its films are its own
    // tests' and the delegate's.)
    void whenSettled() const {
        if (!m_world.libraryVisible()) {
            return;
        }
        const LibraryStore& store = *m_world.store();
        if (!store.scanned().value()) {
            m_problems.push_back("the library was never scanned");
            return;
        }
        const auto onDisk = m_world.onDisk();
        for (const auto& item : store.items().value()) {
            problemIf(item.isOnDisk() != onDisk.contains(item.id),
                      "the library shows " + item.id + (item.isOnDisk() ? " on disk" : " missing") +
                          ", which it is not");
        }
    }
    // Sets what the disk holds now as the reference of the next step.
    void rememberDisk() {
        m_disk = m_world.onDisk();
        m_world.fake.workspace->trashed.clear();
    }

private:
    void problemIf(bool violated, const std::string& problem) const {
        if (violated) {
            m_problems.push_back(problem);
        }
    }

    void engine() const {
        const AppModel& model = m_world.model();
        const auto screens = m_world.fake.screens->frames();
        problemIf(model.videoURL && model.windows.size() != screens.size(),
                  std::to_string(model.windows.size()) + " wallpaper windows for " +
                      std::to_string(screens.size()) + " screens");
        for (std::size_t i = 0;
             i < std::min({model.windows.size(), model.players.size(), model.layers.size()}); ++i) {
            const auto& window = dynamic_cast<const FakeWallpaperWindow&>(*model.windows[i]);
            const auto& layer = dynamic_cast<const FakePlayerLayer&>(*model.layers[i]);
            const std::string at = "window " + std::to_string(i);
            problemIf((i < screens.size() && window.frame() != screens[i]) || !window.isVisible(),
                      at + " does not cover its screen");
            problemIf(layer.player() != model.players[i] ||
                          (model.videoURL && layer.player()->file() != *model.videoURL),
                      at + " does not show a player of the film chosen");
            const auto& sublayers = window.content()->sublayers;
            problemIf(sublayers.empty() || sublayers.back() != model.layers[i],
                      at + "'s current layer is not on top");
            // Whatever lies under a layer that shows its picture fully can never be seen again.
            for (std::size_t k = sublayers.size(); k-- > 0;) {
                if (settledOpaque(*sublayers[k])) {
                    problemIf(k > 0, at + " keeps " + std::to_string(k) + " hidden layers under a shown one");
                    break;
                }
            }
        }
    }
    void disk(const std::set<std::string>& delivered) {
        // (That only whole films are stored, and nothing is left aside, are the downloader's tests'.)
        auto& trashed = m_world.fake.workspace->trashed;
        const std::set<std::string> now = m_world.onDisk();
        for (const auto& id : now) {
            problemIf(!m_disk.contains(id) && !delivered.contains(id),
                      id + " came on disk without being downloaded");
        }
        for (const auto& id : m_disk) {
            problemIf(!now.contains(id) &&
                          std::find(trashed.begin(), trashed.end(), m_world.filmPath(id)) == trashed.end(),
                      id + " was lost from disk without being deleted");
        }
        rememberDisk();

        const auto& videoURL = m_world.model().videoURL;
        const auto selected = m_world.fake.defaults->string(Settings::selectedVideoKey);
        const std::string path = videoURL ? videoURL->filePath().value_or("") : "";
        problemIf(videoURL && !std::filesystem::exists(path), "the film that plays is not on disk: " + path);
        problemIf(selected.value_or("") != path,
                  "the stored choice " + selected.value_or("(none)") + " is not the film that plays");
    }
    void log() {
        static const std::vector<std::string> expected{
            "Drovane: download of ",          // a transfer failed
            "Drovane: thumb ",                // a film without a still
            "Drovane: delete failed: ",       // the Trash refused
            "Drovane: no desktop background", // a still asked of a film without one
            "Drovane: cannot play ",          // a film that cannot be decoded
            "Drovane: cannot loop ",          // a film too short to loop
            "Drovane: cannot open film ",     // a link to a film the catalogue lacks
        };
        for (const auto& line : m_world.fake.log->lines()) {
            m_deletionRefused = m_deletionRefused || line.starts_with(expected[2]);
            if (std::none_of(expected.begin(), expected.end(),
                             [&line](const auto& p) { return line.starts_with(p); })) {
                m_problems.push_back("unexpected log line: " + line);
            }
        }
        m_world.fake.log->clear();
        // A long day keeps no requests. (Where the desktop's still is written, and that it is whole
        // before the desktop is given it, are the reminder's tests'.)
        m_world.fake.desktopBackground->pictures.clear();
        m_world.fake.workspace->openedUrls.clear();
        m_world.fake.workspace->revealed.clear();
    }

    SoakWorld& m_world;
    LibraryView& m_view;
    std::vector<std::string>& m_problems;
    std::set<std::string> m_disk;
    // The Trash refused a film since the wallpaper last played.
    bool m_deletionRefused = false;
};

// The network thread of the day, whose transfers are the films' downloads: every transfer gets a
// fate when it is first seen, and each turn moves the open transfers along a little: progress, an
// answer, or the completion that a cancelled transfer still owes.
class SoakNetwork {
public:
    explicit SoakNetwork(SoakWorld& world) : m_http(*world.fake.http) {}

    void turn(Random& random) {
        for (const auto& task : m_http.pending()) {
            auto [plan, fresh] = m_plans.try_emplace(task.get());
            if (fresh) {
                // Most arrive; some slowly, some never.
                const int roll = uniform(random, 0, 99);
                plan->second.fate = roll < 60 ? 0 : 1 + (roll - 60) / 10;
                plan->second.turnsLeft =
                    plan->second.fate == 4 ? uniform(random, 20, 200) : uniform(random, 0, 40);
            }
            // Each open transfer moves on at about every other turn.
            if (uniform(random, 0, 1) == 0) {
                advance(task, plan->second, random);
            }
        }
        m_http.forgetAnswered();
    }

    // Answers every open transfer, cancelled or not, as a network that ends its day.
    void answerEverything() {
        for (auto open = m_http.pending(); !open.empty(); open = m_http.pending()) {
            for (const auto& task : open) {
                answer(task, m_plans[task.get()]);
            }
        }
        m_http.forgetAnswered();
        m_plans.clear();
    }

    // Films whose bytes were handed over since the last take; they may now be on disk.
    std::set<std::string> takeDelivered() { return std::exchange(m_delivered, {}); }

private:
    using Task = fakes::ScriptedHttp::Task;
    // The fate is 0 (delivered) or one of failures[fate - 1]; 4 stalls after some progress.
    struct Plan {
        int fate = 0;
        int turnsLeft = 0;
        double fraction = 0;
    };

    void advance(const std::shared_ptr<Task>& task, Plan& plan, Random& random) {
        // The layer below still completes a cancelled transfer, soon or a little later.
        if (task->cancelled() && plan.turnsLeft > 2) {
            plan.turnsLeft = uniform(random, 0, 2);
        }
        if (plan.turnsLeft-- > 0) {
            if (!task->cancelled() && task->isDownload() && (plan.fate != 4 || plan.fraction < 0.3)) {
                plan.fraction =
                    std::min(1.0, plan.fraction + std::uniform_real_distribution<>(0.0, 0.12)(random));
                m_http.progress(task, plan.fraction);
            }
            return;
        }
        answer(task, plan);
    }

    void answer(const std::shared_ptr<Task>& task, const Plan& plan) {
        const std::string id = SoakWorld::idOf(task->url());
        static const HttpDataResult failures[] = {
            {{}, 404, fakes::bytes("<html>Not Found</html>")},
            {"could not connect to the server", {}, {}},
            // A captive portal answers every address with its own page.
            {{}, 200, fakes::bytes("<html>Sign in to the network</html>")},
            {"transfer stalled below the low-speed limit", {}, {}},
        };

        if (task->cancelled()) {
            m_http.answer(task, {"cancelled", std::nullopt, std::nullopt});
        } else if (plan.fate == 0) {
            m_delivered.insert(id);
            m_http.answer(task, {{}, 200, fakes::bytes(SoakWorld::filmBody(id))});
        } else {
            m_http.answer(task, failures[plan.fate - 1]);
        }
        m_plans.erase(task.get());
    }

    fakes::ScriptedHttp& m_http;
    std::map<const Task*, Plan> m_plans;
    std::set<std::string> m_delivered;
};

// Everything the program has made or asked for that is still alive or open, by name, as the
// fakes and the views see it.
using LiveCounts = std::map<std::string, std::size_t>;

LiveCounts liveCounts(SoakWorld& world, const LibraryView& view) {
    auto& fake = world.fake;
    LiveCounts c;
    c["wallpaper windows"] = fake.windowServer->liveWindows().size();
    for (const auto& player : fake.video->livePlayers()) {
        ++c["players"];
        c["boundary observers"] += player->boundaryObserverCount();
    }
    for (const auto& layer : fake.video->liveLayers()) {
        ++c["player layers"];
        c["running fades"] += layer->isAnimating();
        c["fade-ins waiting for a frame"] += layer->readyObserverCount();
    }
    c["main-queue work"] = fake.mainQueue->pendingCount();
    c["background work"] = fake.taskQueues->pendingCount();
    c["HTTP tasks alive"] = static_cast<std::size_t>(fake.http->liveTaskCount());
    c["open transfers"] = fake.http->pending().size();
    c["machine-state observers"] = fake.systemEvents->observerCount();
    c["screen observers"] = fake.screens->observerCount();
    c["occlusion observers"] = fake.windowServer->occlusionObserverCount();
    c["store observers"] = view.storeObservers();
    c["open alerts"] = fake.alerts->shown.size();
    if (world.delegate) {
        const Downloader& queue = *world.model().downloader;
        c["downloads queued"] = queue.active().size() + queue.waiting().size();
    }
    return c;
}

// Adds to `problems` each count of `actual` that differs from `expected` (where a count not named is 0).
void compare(LiveCounts actual, LiveCounts expected, const std::string& when,
             std::vector<std::string>& problems) {
    for (const auto& [name, count] : expected) {
        actual.try_emplace(name, 0);
    }
    for (const auto& [name, count] : actual) {
        if (count != expected[name]) {
            problems.push_back(when + ", " + name + ": " + std::to_string(count) + ", expected " +
                               std::to_string(expected[name]));
        }
    }
}

// One day of use on the virtual clock: the program launched through its application delegate on
// the fake machine and driven by a seeded random script of events at random intervals, every
// invariant checked between any two pieces of main-thread work and after every step, then
// brought to rest and let go, with what is still alive counted at both points.
class Day {
public:
    Day(std::uint64_t seed, double hours) : m_seed(seed), m_hours(hours) {}

    std::optional<std::size_t> warmUp;
    std::optional<std::size_t> end;
    // Empty when everything held; otherwise the seed, the step, the problems and the last events.
    std::string failure;

    void run() {
        m_world.launch();
        m_world.model().shuffleGenerator.seed(static_cast<std::uint32_t>(m_seed));
        m_world.fake.settle();
        m_invariants.rememberDisk();
        m_world.fake.mainQueue->onWorkRan = [this] {
            if (m_problems.empty()) {
                m_invariants.betweenWork();
            }
        };
        if (live()) {
            rest();
        }
        quit();
    }

private:
    // Runs the day's steps until its end or the first problem; false on a problem.
    bool live() {
        for (; m_world.fake.clock->elapsed() < m_hours * 3600; ++m_step) {
            if (!step()) {
                return false;
            }
            if (!warmUp && m_world.fake.clock->elapsed() >= std::min(warmUpHours, m_hours / 2) * 3600) {
                warmUp = heapBytes(m_world.thumbnails());
            }
        }
        end = heapBytes(m_world.thumbnails());
        return true;
    }

    // One event, a turn of the network and of the background threads in a random order, then a
    // random stretch of time; the checks between every piece of main-thread work and after it all.
    bool step() {
        // Each step draws from a generator of its own, so the script of a seed stays the same
        // whatever the program did with earlier steps.
        std::seed_seq sequence{static_cast<std::uint32_t>(m_seed), static_cast<std::uint32_t>(m_seed >> 32),
                               static_cast<std::uint32_t>(m_step)};
        Random random(sequence);
        std::array<int, 3> phases{0, 1, 2};
        std::shuffle(phases.begin(), phases.end(), random);
        for (int phase : phases) {
            if (phase == 0) {
                m_event = act(m_world, m_view, random);
            } else if (phase == 1) {
                m_network.turn(random);
            } else if (uniform(random, 0, 9) < 6) {
                // The background threads: sometimes all of them catch up, sometimes one.
                m_world.fake.taskQueues->runAll();
            } else if (auto queue = m_world.fake.taskQueues->queue(
                           pick<std::string>({LibraryStore::scanQueueLabel, ThumbnailCache::framesQueueLabel,
                                              ThumbnailCache::previewsQueueLabel},
                                             random))) {
                queue->runAll();
            }
            m_view.follow();
        }
        if (!m_problems.empty()) {
            return fail("during the step");
        }
        // Mostly a busy user, now and then a pause, rarely a long one.
        const int roll = uniform(random, 0, 99);
        const auto between = [&random](double a, double b) {
            return std::uniform_real_distribution<>(a, b)(random);
        };
        m_world.fake.mainQueue->advance(roll < 85   ? between(0.02, 1.5)
                                        : roll < 98 ? between(1.5, 20.0)
                                                    : between(20.0, 240.0));
        m_view.follow();
        if (!m_problems.empty()) {
            return fail("while the clock ran");
        }
        if (uniform(random, 0, 2) == 0) {
            m_world.fake.settle();
            m_view.follow();
            m_invariants.whenSettled();
        }
        m_invariants.afterStep(m_network.takeDelivered());
        return m_problems.empty() || fail("after the step");
    }

    // Every window closed, every transfer over, the machine idle, a film that can be decoded
    // playing (or none), then paused so that the clock can run out every piece of pending work;
    // what is alive then must be what the program needs to go on.
    void rest() {
        m_event = "rest";
        soak::rest(m_world);
        restOnADecodableFilm();
        runOut(60, 1.0, true);
        if (!m_world.model().manualPaused) {
            m_world.trayItem("togglePause")->action();
        }
        runOut();
        m_invariants.afterStep(m_network.takeDelivered());
        if (m_problems.empty()) {
            const std::size_t screens = m_world.fake.screens->frames().size();
            LiveCounts expected{{"machine-state observers", 8}, {"screen observers", 1}};
            if (const Film* film = m_world.playing()) {
                expected["wallpaper windows"] = expected["players"] = expected["player layers"] = screens;
                expected["boundary observers"] =
                    film->duration && *film->duration > AppModel::minimumLoopDuration ? screens : 0;
                expected["occlusion observers"] = 1;
            }
            compare(liveCounts(m_world, m_view), expected, "at rest", m_problems);
        }
        if (!m_problems.empty()) {
            fail("at rest");
        }
    }

    // A film no player can decode keeps the one before it visible underneath, waiting for a frame
    // for good: the day rests on another film, or on none when it is the only one.
    void restOnADecodableFilm() {
        const Film* film = m_world.playing();
        if (!film || film->duration) {
            return;
        }
        // Deleting it moves the wallpaper to another film first, if there is one.
        m_world.delegate->showMainWindow();
        m_world.libraryWindow()->content.actions.deleteItem(
            {film->id, film->label, "", m_world.model().videoURL, {}});
        m_world.libraryWindow()->close();
    }

    // The process ends: the delegate and everything it made go, and with them every subscription,
    // transfer and piece of work they left.
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
        if (!failure.empty()) {
            return;
        }
        compare(liveCounts(m_world, m_view), {}, "after quitting", m_problems);
        if (!model.expired() || !downloader.expired() || !menu.expired() || !thumbnails.expired()) {
            m_problems.push_back("the engine, the download queue, the status menu or the thumbnail cache "
                                 "outlived the program");
        }
        if (!m_problems.empty()) {
            fail("after quitting");
        }
    }

    // Lets the clock run until every piece of pending work, the network's included, has run.
    // `resting`: the user keeps the machine at rest meanwhile, and a problem ends it.
    void runOut(int rounds = 30, double seconds = 10.0, bool resting = false) {
        for (int i = 0; i < rounds && (!resting || m_problems.empty()); ++i) {
            m_network.answerEverything();
            m_world.fake.settle();
            if (resting) {
                m_view.follow();
                soak::rest(m_world);
            }
            m_world.fake.mainQueue->advance(seconds);
        }
        m_world.fake.settle();
    }

    // Writes the failure from the problems found; false.
    bool fail(const std::string& where) {
        failure = "seed " + std::to_string(m_seed) + " (DROVANE_SOAK_SEED replays it), step " +
                  std::to_string(m_step) + " (" + m_event + ") at " +
                  std::to_string(m_world.fake.clock->elapsed()) + " s, " + where + ":\n";
        for (const auto& problem : m_problems) {
            failure += "  - " + problem + "\n";
        }
        return false;
    }

    const std::uint64_t m_seed;
    const double m_hours;
    SoakWorld m_world;
    LibraryView m_view{m_world};
    SoakNetwork m_network{m_world};
    std::string m_event;
    std::vector<std::string> m_problems;
    Invariants m_invariants{m_world, m_view, m_problems};
    int m_step = 0;
};

// DROVANE_SOAK_SEED picks the day ("random" for a new one each run), DROVANE_SOAK_HOURS its length
// (24 for a full day by hand).
TEST(DayOfUseTest, EveryInvariantHoldsAllDayEverythingComesBackToRestAndMemoryStaysFlat) {
    const char* seedText = std::getenv("DROVANE_SOAK_SEED");
    const std::string seed = seedText && *seedText ? seedText : "20260101";
    const char* hoursText = std::getenv("DROVANE_SOAK_HOURS");
    const double hours =
        hoursText && std::strtod(hoursText, nullptr) > 0 ? std::strtod(hoursText, nullptr) : 6;
    Day day(seed == "random" ? std::random_device{}() : std::strtoull(seed.c_str(), nullptr, 10), hours);
    std::printf("soak: seed %s, %g simulated hours\n", seed.c_str(), hours);
    day.run();
    ASSERT_TRUE(day.failure.empty()) << day.failure;
    ASSERT_TRUE(day.warmUp && day.end);
    EXPECT_LE(*day.end - std::min(*day.end, *day.warmUp), heapGrowthBound);
}

} // namespace
} // namespace drovane::soak
