#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "soak/SoakWorld.h"
#include "support/CaseMapping.h"
#include "ui/SettingsWindowController.h"
#include "ui/SidebarModel.h"
#include "ui/TileModel.h"

#include <algorithm>
#include <functional>

namespace drovane::soak {

namespace {

// Side by side, some raised or lowered a little against the primary; now and then none.
void changeScreens(fakes::FakeScreens& screens, Random& random) {
    static const std::vector<Size> sizes{{1920, 1080}, {2560, 1440}, {1280, 720}, {3840, 2160}, {1440, 900}};
    const int roll = uniform(random, 0, 99);
    const int count = roll < 3 ? 0 : roll < 50 ? 1 : roll < 85 ? 2 : 3;
    std::vector<Rect> frames;

    for (double x = 0; static_cast<int>(frames.size()) < count; x += frames.back().size.width) {
        frames.push_back(Rect{{x, frames.empty() ? 0.0 : uniform(random, -300, 300)}, pick(sizes, random)});
    }
    screens.setFrames(frames);
}

// The wallpaper windows still alive that the user covered, or those on screen that nothing covers.
std::vector<std::shared_ptr<fakes::FakeWallpaperWindow>> wallpaperWindows(SoakWorld& world, bool covered) {
    auto windows = world.fake.windowServer->liveWindows();
    std::erase_if(windows,
                  [covered](const auto& w) { return covered ? !w->covered : !w->isOccludedVisible(); });
    return windows;
}

std::vector<SidebarModel::Row> sidebarRows(const LibraryStore& store) {
    std::vector<SidebarModel::Row> rows;
    for (const auto& section : SidebarModel::sections(store)) {
        rows.insert(rows.end(), section.rows.begin(), section.rows.end());
    }
    return rows;
}

// Runs an entry of `menu` that has an action and a title starting with `wanted`, if there is one.
void runEntry(const Menu& menu, const std::string& wanted, Random& random) {
    std::vector<const MenuItem*> entries;
    for (const MenuItem& entry : menu) {
        if (entry.action && entry.title.starts_with(wanted)) {
            entries.push_back(&entry);
        }
    }
    if (!entries.empty()) {
        pick(entries, random)->action();
    }
}

// Answers the oldest alert open with a random button.
void answerAlert(SoakWorld& world, Random& random) {
    auto& shown = world.fake.alerts->shown;
    auto alert = std::move(shown.front());
    shown.erase(shown.begin());
    std::erase_if(world.fake.alerts->handles, [](const auto& handle) { return handle.use_count() == 1; });
    AlertResponse response;
    const int roll = uniform(random, 0, 99);
    response.button = roll < 55 ? 1 : roll < 85 ? 0 : -1;
    response.suppressed = !alert.content.suppressionTitle.empty() && uniform(random, 0, 19) == 0;
    if (alert.completion) {
        alert.completion(response);
    }
}

} // namespace

std::string act(SoakWorld& world, LibraryView& view, Random& random) {
    AppModel& model = world.model();
    auto& machine = *world.fake.systemEvents;
    const Downloader& queue = *model.downloader;
    const bool downloading = !queue.active().empty() || !queue.waiting().empty();
    const bool library = world.libraryVisible() && view.isOpen();
    const bool settings = world.settingsVisible();

    LibraryStore* store = world.store();
    const MainWindowActions* actions = library ? &world.libraryWindow()->content.actions : nullptr;

    auto tray = [&world](const std::string& identifier) {
        if (const auto item = world.trayItem(identifier); item && item->action) {
            item->action();
        }
    };
    auto tile = [&](bool menu) {
        const auto items = view.shownItems();
        if (items.empty()) {
            return;
        }
        const LibraryItem& item = pick(items, random);
        const auto state = TileModel::state(*store, item);
        if (!menu) {
            TileModel::performTap(state, *actions);
            return;
        }
        runEntry(TileModel::menu(
                     state, *actions, [store, id = item.id] { store->toggleFavorite(id); },
                     world.library->videosDir()),
                 "", random);
    };
    auto sidebar = [&](const std::string& wanted) {
        const auto row = pick(sidebarRows(*store), random);
        runEntry(SidebarModel::sectionMenu(*store, *actions, row.selects), wanted, random);
    };
    auto film = [&]() -> const std::string& { return pick(world.films, random).id; };

    struct Event {
        int weight;
        const char* name;
        std::function<void()> happen;
    };
    // Each event with its weight at this moment; those of a closed window weigh nothing.
    const std::vector<Event> events{
        {120, "idle", [] {}},
        {6, "screens changed", [&] { changeScreens(*world.fake.screens, random); }},
        {8, "tray: pick a film",
         [&] {
             if (const auto wallpaper = world.trayItem("wallpaper")) {
                 runEntry(wallpaper->submenu, "", random);
             }
         }},
        {4, "tray: pause or play", [&] { tray("togglePause"); }},
        {downloading ? 5 : 0, "tray: cancel downloads", [&] { tray("cancelDownload"); }},
        {library ? 3 : 25, "tray: open the library", [&] { tray("openWindow"); }},
        {6, "tray: open the settings", [&] { tray("openSettings"); }},
        {2, "tray: open the folder", [&] { tray("openFolder"); }},
        {3, "film link opened",
         [&] {
             const int roll = uniform(random, 0, 99);
             world.delegate->openUrls(
                 {*Url::parse(roll < 8    ? "drovane://film/NO-SUCH-FILM"
                              : roll < 12 ? "drovane://gallery/" + film()
                                          : "drovane://film/" + (roll < 50 ? lowerCased(film()) : film()))});
         }},
        {4, "application reopened",
         [&] { world.delegate->applicationShouldHandleReopen(library || settings); }},
        {machine.locked ? 2 : 3, "screen locked", [&] { machine.setLocked(true); }},
        {machine.locked ? 25 : 1, "screen unlocked", [&] { machine.setLocked(false); }},
        {machine.displaysAsleep ? 1 : 2, "displays sleep", [&] { machine.setDisplaysAsleep(true); }},
        {machine.displaysAsleep ? 25 : 1, "displays wake", [&] { machine.setDisplaysAsleep(false); }},
        {machine.saverRunning ? 1 : 3, "screen saver starts", [&] { machine.setSaverRunning(true); }},
        {machine.saverRunning ? 25 : 1, "screen saver stops", [&] { machine.setSaverRunning(false); }},
        {machine.lowPower ? 1 : 3, "low power on", [&] { machine.setLowPower(true); }},
        {machine.lowPower ? 12 : 1, "low power off", [&] { machine.setLowPower(false); }},
        {8, "thermal state",
         [&] {
             const int roll = uniform(random, 0, 99);
             machine.setThermal(roll < 50   ? ThermalState::Nominal
                                : roll < 85 ? ThermalState::Fair
                                : roll < 95 ? ThermalState::Serious
                                            : ThermalState::Critical);
         }},
        {wallpaperWindows(world, false).empty() ? 0 : 15, "wallpaper covered",
         [&] { world.fake.windowServer->setCovered(*pick(wallpaperWindows(world, false), random), true); }},
        {wallpaperWindows(world, true).empty() ? 0 : 25, "wallpaper uncovered",
         [&] { world.fake.windowServer->setCovered(*pick(wallpaperWindows(world, true), random), false); }},
        {5, "another window's occlusion",
         [&] {
             const std::vector<const Window*> senders{world.libraryWindow(), world.settingsWindow(), nullptr};
             world.fake.windowServer->notifyOcclusion(pick(senders, random));
         }},
        {world.fake.alerts->shown.empty() ? 0 : 40, "alert answered", [&] { answerAlert(world, random); }},
        {3, "the trash takes all or refuses a film",
         [&] {
             auto& errors = world.fake.workspace->trashErrors;
             errors.clear();
             const auto onDisk = world.onDisk();
             if (!onDisk.empty() && uniform(random, 0, 1) == 0) {
                 errors[world.filmPath(pick(std::vector<std::string>(onDisk.begin(), onDisk.end()),
                                            random))] = "Operation not permitted";
             }
         }},
        // The library window's.
        {library ? 30 : 0, "tile clicked", [&] { tile(false); }},
        {library ? 15 : 0, "tile menu", [&] { tile(true); }},
        {library && model.videoURL ? 3 : 0, "delete the film that plays",
         [&] {
             for (const auto& item : store->items().value()) {
                 if (item.url && item.url->path() == model.videoURL->path()) {
                     actions->deleteItem(item);
                     return;
                 }
             }
         }},
        {library ? 4 : 0, "sidebar: download all", [&] { sidebar("Download All"); }},
        {library ? 3 : 0, "sidebar: delete all", [&] { sidebar("Delete All"); }},
        {library ? 15 : 0, "sidebar: select",
         [&] {
             const auto row = pick(sidebarRows(*store), random);
             view.selection = row.selects;
         }},
        {library ? 4 : 0, "download a batch", [&] { actions->downloadBatch(uniform(random, 1, 25)); }},
        {library ? 5 : 0, "download many",
         [&] {
             std::vector<LibraryItem> missing;
             for (const auto& item : view.shownItems()) {
                 if (!item.url && uniform(random, 0, 1) == 0) {
                     missing.push_back(item);
                 }
             }
             actions->downloadMany(missing);
         }},
        {library && downloading ? 15 : 0, "cancel one download",
         [&] {
             std::vector<std::string> keys(queue.waiting());
             for (const auto& [key, fraction] : queue.active()) {
                 keys.push_back(key);
             }
             // Only the identifier counts.
             const std::string key = pick(keys, random);
             actions->cancelItem({key, key, "", {}, {}});
         }},
        {library && downloading ? 3 : 0, "cancel all downloads", [&] { actions->cancelDownload(); }},
        {library ? 18 : 0, "library window closed", [&] { world.libraryWindow()->close(); }},
        // The settings window's.
        {settings ? 16 : 0, "settings: pause in low power, or remind to match",
         [&] {
             auto& settingsView = *world.delegate->settingsWindow->view();
             if (uniform(random, 0, 7) < 5) {
                 settingsView.setPauseOnLowPower(!settingsView.pauseOnLowPower());
             } else {
                 settingsView.setRemindToMatch(!settingsView.remindToMatch());
             }
         }},
        {settings ? 15 : 0, "settings window closed", [&] { world.settingsWindow()->visible = false; }},
    };
    int roll = 0;
    for (const Event& event : events) {
        roll += event.weight;
    }
    roll = uniform(random, 0, roll - 1);
    for (const Event& event : events) {
        if ((roll -= event.weight) < 0) {
            event.happen();
            return event.name;
        }
    }
    return "idle";
}

void rest(SoakWorld& world) {
    auto& machine = *world.fake.systemEvents;
    if (world.libraryVisible()) {
        world.libraryWindow()->close();
    }
    if (world.settingsVisible()) {
        world.settingsWindow()->visible = false;
    }
    if (const auto cancel = world.trayItem("cancelDownload")) {
        cancel->action();
    }
    if (world.model().manualPaused) {
        world.trayItem("togglePause")->action();
    }
    machine.setLocked(false);
    machine.setDisplaysAsleep(false);
    machine.setSaverRunning(false);
    machine.setLowPower(false);
    machine.setThermal(ThermalState::Nominal);
    for (const auto& window : wallpaperWindows(world, true)) {
        world.fake.windowServer->setCovered(*window, false);
    }
    world.fake.workspace->trashErrors.clear();
    Random answers(0);
    while (!world.fake.alerts->shown.empty()) {
        answerAlert(world, answers);
    }
}

} // namespace drovane::soak
