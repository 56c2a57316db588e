#include "soak/DayScript.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "soak/LibraryView.h"
#include "soak/SoakWorld.h"
#include "support/CaseMapping.h"
#include "ui/SettingsWindowController.h"
#include "ui/SidebarModel.h"
#include "ui/TileModel.h"

#include <algorithm>
#include <sstream>

namespace drovane::soak {

namespace {

using fakes::FakeSystemEvents;

int uniform(std::mt19937_64& random, int from, int to) {
    return std::uniform_int_distribution<int>(from, to)(random);
}

template <typename T> const T& pick(const std::vector<T>& from, std::mt19937_64& random) {
    return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
}

// The top-level item of the tray menu with this identifier; null when the menu has none.
const MenuItem* trayItem(const Menu& menu, const std::string& identifier) {
    for (const MenuItem& item : menu) {
        if (item.identifier == identifier) {
            return &item;
        }
    }
    return nullptr;
}

std::vector<Rect> randomScreens(std::mt19937_64& random) {
    static const std::vector<Size> sizes{{1920, 1080}, {2560, 1440}, {1280, 720}, {3840, 2160}, {1440, 900}};
    const int roll = uniform(random, 0, 99);
    const int count = roll < 3 ? 0 : roll < 50 ? 1 : roll < 85 ? 2 : 3;
    std::vector<Rect> frames;
    double x = 0;
    for (int i = 0; i < count; ++i) {
        const Size size = pick(sizes, random);
        // Side by side, some raised or lowered a little against the primary.
        const double y = i == 0 ? 0 : uniform(random, -300, 300);
        frames.push_back(Rect{{x, y}, size});
        x += size.width;
    }
    return frames;
}

std::string describe(const std::vector<Rect>& frames) {
    std::ostringstream out;
    out << "screens:";
    for (const Rect& f : frames) {
        out << ' ' << f.size.width << 'x' << f.size.height << '@' << f.origin.x << ',' << f.origin.y;
    }
    if (frames.empty()) {
        out << " none";
    }
    return out.str();
}

// The wallpaper windows still alive that the user covered, in the order they were covered.
std::vector<std::shared_ptr<fakes::FakeWallpaperWindow>> coveredWindows(SoakWorld& world) {
    auto windows = world.fake.windowServer->liveWindows();
    std::erase_if(windows, [](const auto& w) { return !w->covered; });
    std::stable_sort(windows.begin(), windows.end(),
                     [](const auto& a, const auto& b) { return a->coveredSince < b->coveredSince; });
    return windows;
}

std::string randomCase(const std::string& id, std::mt19937_64& random) {
    switch (uniform(random, 0, 2)) {
    case 0:
        return id;
    case 1:
        return lowerCased(id);
    default: {
        std::string mixed = id;
        for (char& c : mixed) {
            if (uniform(random, 0, 1) == 0) {
                c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            }
        }
        return mixed;
    }
    }
}

} // namespace

const char* eventName(Event event) {
    static constexpr std::array<const char*, eventKinds> names{
        "idle",
        "screens changed",
        "tray: pick a film",
        "tray: pause or play",
        "tray: cancel downloads",
        "tray: open the library",
        "tray: open the settings",
        "tray: open the folder",
        "tile clicked",
        "tile menu",
        "delete the film that plays",
        "sidebar: download all",
        "sidebar: delete all",
        "sidebar: select",
        "download a batch",
        "download many",
        "cancel one download",
        "cancel all downloads",
        "thumbnails shown",
        "thumbnails hidden",
        "library window closed",
        "film URL opened",
        "application reopened",
        "settings: pause in low power",
        "settings: remind to match",
        "settings window closed",
        "screen locked",
        "screen unlocked",
        "displays sleep",
        "displays wake",
        "screen saver starts",
        "screen saver stops",
        "low power on",
        "low power off",
        "thermal state",
        "wallpaper covered",
        "wallpaper uncovered",
        "other window's occlusion",
        "alert answered",
        "trash refuses a film",
    };
    return names[static_cast<std::size_t>(event)];
}

std::vector<std::pair<Event, int>> DayScript::choices() const {
    const AppModel& model = m_world.model();
    const Downloader& queue = *model.downloader;
    const bool downloading = !queue.active().empty() || !queue.waiting().empty();
    const bool library = m_world.libraryVisible() && m_view.isOpen();
    const bool settings = m_world.settingsVisible();
    const bool anyUncovered = std::any_of(model.windows.begin(), model.windows.end(),
                                          [](const auto& w) { return w->isOccludedVisible(); });
    const auto& machine = *m_world.fake.systemEvents;
    const bool lowPower = machine.lowPower;

    std::vector<std::pair<Event, int>> weights{
        {Event::Idle, 120},
        {Event::ScreensChanged, 6},
        {Event::TrayPickFilm, 8},
        {Event::TrayTogglePause, 4},
        {Event::TrayCancelDownloads, downloading ? 5 : 0},
        {Event::TrayOpenLibrary, library ? 3 : 25},
        {Event::TrayOpenSettings, 6},
        {Event::TrayOpenFolder, 2},
        {Event::FilmUrl, 3},
        {Event::Reopen, 4},
        {Event::Lock, machine.locked ? 2 : 3},
        {Event::Unlock, machine.locked ? 25 : 1},
        {Event::DisplaysSleep, machine.displaysAsleep ? 1 : 2},
        {Event::DisplaysWake, machine.displaysAsleep ? 25 : 1},
        {Event::SaverStart, machine.saverRunning ? 1 : 3},
        {Event::SaverStop, machine.saverRunning ? 25 : 1},
        {Event::LowPowerOn, lowPower ? 1 : 3},
        {Event::LowPowerOff, lowPower ? 12 : 1},
        {Event::Thermal, 8},
        {Event::Cover, anyUncovered ? 15 : 0},
        {Event::Uncover, coveredWindows(m_world).empty() ? 0 : 25},
        {Event::OtherWindowOcclusion, 5},
        {Event::AnswerAlert, m_world.fake.alerts->shown.empty() ? 0 : 40},
        {Event::TrashRefuses, 3},
    };
    if (library) {
        weights.insert(weights.end(), {
                                          {Event::TileTap, 30},
                                          {Event::TileMenu, 15},
                                          {Event::DeletePlaying, model.videoURL ? 3 : 0},
                                          {Event::SidebarDownloadAll, 4},
                                          {Event::SidebarDeleteAll, 3},
                                          {Event::SidebarSelect, 15},
                                          {Event::DownloadBatch, 4},
                                          {Event::DownloadMany, 5},
                                          {Event::CancelItem, downloading ? 15 : 0},
                                          {Event::CancelAllInWindow, downloading ? 3 : 0},
                                          {Event::ThumbnailsShown, 40},
                                          {Event::ThumbnailsHidden, 10},
                                          {Event::CloseLibrary, 18},
                                      });
    }
    if (settings) {
        weights.insert(weights.end(), {
                                          {Event::PauseOnLowPowerSetting, 10},
                                          {Event::RemindSetting, 6},
                                          {Event::CloseSettings, 15},
                                      });
    }
    return weights;
}

std::string DayScript::act(std::mt19937_64& random) {
    const auto weights = choices();
    int total = 0;
    for (const auto& [event, weight] : weights) {
        total += weight;
    }
    int roll = uniform(random, 0, total - 1);
    Event chosen = Event::Idle;
    for (const auto& [event, weight] : weights) {
        if (roll < weight) {
            chosen = event;
            break;
        }
        roll -= weight;
    }
    return perform(chosen, random);
}

std::string DayScript::perform(Event event, std::mt19937_64& random) {
    AppModel& model = m_world.model();
    auto& events = *m_world.fake.systemEvents;
    LibraryStore* store = m_world.store();
    const MainWindowActions* actions =
        m_world.libraryWindow() ? &m_world.libraryWindow()->content.actions : nullptr;
    const std::string name = eventName(event);

    // Runs a tray item chosen by its identifier.
    auto tray = [&](const std::string& identifier) -> std::string {
        const Menu menu = m_world.statusItem().open();
        const MenuItem* item = trayItem(menu, identifier);
        if (!item || !item->action) {
            return name + " (no such item)";
        }
        const std::string title = item->title;
        item->action();
        return "tray: " + title;
    };
    auto itemOf = [&](const std::string& id) {
        for (const auto& item : store->items().value()) {
            if (item.id == id) {
                return item;
            }
        }
        return LibraryItem{id, id, "", std::nullopt, std::nullopt};
    };

    switch (event) {
    case Event::Idle:
        return name;
    case Event::ScreensChanged: {
        const auto frames = randomScreens(random);
        m_world.fake.screens->setFrames(frames);
        return describe(frames);
    }
    case Event::TrayPickFilm: {
        const Menu menu = m_world.statusItem().open();
        const MenuItem* wallpaper = trayItem(menu, "wallpaper");
        if (!wallpaper || wallpaper->submenu.empty()) {
            return name + " (none on disk)";
        }
        const MenuItem& film = pick(wallpaper->submenu, random);
        const std::string title = film.title;
        film.action();
        return "tray: play '" + title + "'";
    }
    case Event::TrayTogglePause:
        return tray("togglePause");
    case Event::TrayCancelDownloads:
        return tray("cancelDownload");
    case Event::TrayOpenLibrary:
        return tray("openWindow");
    case Event::TrayOpenSettings:
        return tray("openSettings");
    case Event::TrayOpenFolder:
        return tray("openFolder");
    case Event::TileTap: {
        const auto items = m_view.shownItems();
        if (items.empty()) {
            return name + " (no tiles)";
        }
        const LibraryItem& item = pick(items, random);
        const auto state = TileModel::state(*store, item);
        const auto tap = TileModel::tap(state);
        TileModel::performTap(state, *actions);
        static constexpr const char* taps[] = {"cancel", "select", "download"};
        return "tile " + item.id + ": " + taps[static_cast<int>(tap)];
    }
    case Event::TileMenu: {
        const auto items = m_view.shownItems();
        if (items.empty()) {
            return name + " (no tiles)";
        }
        const LibraryItem& item = pick(items, random);
        const auto state = TileModel::state(*store, item);
        const Menu menu = TileModel::menu(
            state, *actions, [store, id = item.id] { store->toggleFavorite(id); },
            m_world.library->videosDir());
        std::vector<const MenuItem*> entries;
        for (const MenuItem& entry : menu) {
            if (entry.action) {
                entries.push_back(&entry);
            }
        }
        if (entries.empty()) {
            return name + " (empty)";
        }
        const MenuItem& entry = *pick(entries, random);
        const std::string title = entry.title;
        entry.action();
        return "tile " + item.id + " menu: " + title;
    }
    case Event::DeletePlaying: {
        for (const auto& item : store->items().value()) {
            if (item.url && model.videoURL && item.url->path() == model.videoURL->path()) {
                actions->deleteItem(item);
                return "delete the film that plays, " + item.id;
            }
        }
        return name + " (not listed)";
    }
    case Event::SidebarDownloadAll:
    case Event::SidebarDeleteAll: {
        const auto sections = SidebarModel::sections(*store);
        std::vector<SidebarModel::Row> rows;
        for (const auto& section : sections) {
            rows.insert(rows.end(), section.rows.begin(), section.rows.end());
        }
        const auto& row = pick(rows, random);
        const std::string wanted = event == Event::SidebarDownloadAll ? "Download All" : "Delete All";
        for (const MenuItem& entry : SidebarModel::sectionMenu(*store, *actions, row.selects)) {
            if (entry.title.starts_with(wanted)) {
                const std::string title = entry.title;
                entry.action();
                return "sidebar " + row.title + ": " + title;
            }
        }
        return "sidebar " + row.title + ": nothing to " + wanted;
    }
    case Event::SidebarSelect: {
        std::vector<SidebarModel::Row> rows;
        for (const auto& section : SidebarModel::sections(*store)) {
            rows.insert(rows.end(), section.rows.begin(), section.rows.end());
        }
        const auto& row = pick(rows, random);
        m_view.selection = row.selects;
        return "sidebar: " + row.title;
    }
    case Event::DownloadBatch: {
        const int count = uniform(random, 1, 25);
        actions->downloadBatch(count);
        return "download a batch of " + std::to_string(count);
    }
    case Event::DownloadMany: {
        std::vector<LibraryItem> missing;
        for (const auto& item : m_view.shownItems()) {
            if (!item.url && uniform(random, 0, 1) == 0) {
                missing.push_back(item);
            }
        }
        actions->downloadMany(missing);
        return "download " + std::to_string(missing.size()) + " films";
    }
    case Event::CancelItem: {
        std::vector<std::string> keys(model.downloader->waiting());
        for (const auto& [key, fraction] : model.downloader->active()) {
            keys.push_back(key);
        }
        const std::string key = pick(keys, random);
        actions->cancelItem(itemOf(key));
        return "cancel the download of " + key;
    }
    case Event::CancelAllInWindow:
        actions->cancelDownload();
        return name;
    case Event::ThumbnailsShown: {
        const int count = uniform(random, 1, 8);
        m_view.showTiles(random, count);
        return std::to_string(count) + " tiles come into view";
    }
    case Event::ThumbnailsHidden:
        m_view.hideTiles(random);
        return name;
    case Event::CloseLibrary:
        m_world.libraryWindow()->close();
        return name;
    case Event::FilmUrl: {
        const int roll = uniform(random, 0, 99);
        const std::string id = pick(m_world.films, random).id;
        const std::string text = roll < 8    ? "drovane://film/NO-SUCH-FILM"
                                 : roll < 12 ? "drovane://gallery/" + id
                                             : "drovane://film/" + randomCase(id, random);
        m_world.delegate->openUrls({*Url::parse(text)});
        return "open " + text;
    }
    case Event::Reopen:
        m_world.delegate->applicationShouldHandleReopen(m_world.libraryVisible() ||
                                                        m_world.settingsVisible());
        return name;
    case Event::PauseOnLowPowerSetting: {
        auto& view = *m_world.delegate->settingsWindow->view();
        view.setPauseOnLowPower(!view.pauseOnLowPower());
        return std::string("settings: pause in low power ") + (view.pauseOnLowPower() ? "on" : "off");
    }
    case Event::RemindSetting: {
        auto& view = *m_world.delegate->settingsWindow->view();
        view.setRemindToMatch(!view.remindToMatch());
        return std::string("settings: remind to match ") + (view.remindToMatch() ? "on" : "off");
    }
    case Event::CloseSettings:
        m_world.settingsWindow()->visible = false;
        return name;
    case Event::Lock:
    case Event::Unlock:
        events.setLocked(event == Event::Lock);
        return name;
    case Event::DisplaysSleep:
    case Event::DisplaysWake:
        events.setDisplaysAsleep(event == Event::DisplaysSleep);
        return name;
    case Event::SaverStart:
    case Event::SaverStop:
        events.setSaverRunning(event == Event::SaverStart);
        return name;
    case Event::LowPowerOn:
        events.setLowPower(true);
        return name;
    case Event::LowPowerOff:
        events.setLowPower(false);
        return name;
    case Event::Thermal: {
        const int roll = uniform(random, 0, 99);
        const auto state = roll < 50   ? ThermalState::Nominal
                           : roll < 85 ? ThermalState::Fair
                           : roll < 95 ? ThermalState::Serious
                                       : ThermalState::Critical;
        events.setThermal(state);
        return "thermal state " + std::to_string(static_cast<int>(state));
    }
    case Event::Cover: {
        std::vector<std::size_t> open;
        for (std::size_t i = 0; i < model.windows.size(); ++i) {
            if (model.windows[i]->isOccludedVisible()) {
                open.push_back(i);
            }
        }
        const std::size_t i = pick(open, random);
        auto window = std::dynamic_pointer_cast<fakes::FakeWallpaperWindow>(model.windows[i]);
        m_world.fake.windowServer->setCovered(*window, true);
        return "wallpaper " + std::to_string(i) + " covered";
    }
    case Event::Uncover: {
        m_world.fake.windowServer->setCovered(*pick(coveredWindows(m_world), random), false);
        return name;
    }
    case Event::OtherWindowOcclusion: {
        const int roll = uniform(random, 0, 2);
        const Window* sender = roll == 0   ? static_cast<const Window*>(m_world.libraryWindow())
                               : roll == 1 ? static_cast<const Window*>(m_world.settingsWindow())
                                           : nullptr;
        m_world.fake.windowServer->notifyOcclusion(sender);
        return name;
    }
    case Event::AnswerAlert:
        return answerAlert(random);
    case Event::TrashRefuses: {
        auto& errors = m_world.fake.workspace->trashErrors;
        errors.clear();
        const auto onDisk = m_world.onDisk();
        if (onDisk.empty() || uniform(random, 0, 1) == 0) {
            return "the trash takes everything";
        }
        const std::string id = pick(std::vector<std::string>(onDisk.begin(), onDisk.end()), random);
        errors[m_world.filmPath(id)] = "Operation not permitted";
        return "the trash refuses " + id;
    }
    }
    return name;
}

std::string DayScript::answerAlert(std::mt19937_64& random) {
    auto& shown = m_world.fake.alerts->shown;
    auto alert = std::move(shown.front());
    shown.erase(shown.begin());
    std::erase_if(m_world.fake.alerts->handles, [](const auto& handle) { return handle.use_count() == 1; });
    AlertResponse response;
    const int roll = uniform(random, 0, 99);
    response.button = roll < 55 ? 1 : roll < 85 ? 0 : -1;
    response.suppressed = !alert.content.suppressionTitle.empty() && uniform(random, 0, 19) == 0;
    if (alert.completion) {
        alert.completion(response);
    }
    return "alert '" + alert.content.message + "' answered " + std::to_string(response.button) +
           (response.suppressed ? ", suppressed" : "");
}

void DayScript::rest() {
    auto& events = *m_world.fake.systemEvents;
    AppModel& model = m_world.model();
    if (m_world.libraryVisible()) {
        m_world.libraryWindow()->close();
    }
    if (m_world.settingsVisible()) {
        m_world.settingsWindow()->visible = false;
    }
    const Menu menu = m_world.statusItem().open();
    if (const MenuItem* cancel = trayItem(menu, "cancelDownload")) {
        cancel->action();
    }
    if (model.manualPaused) {
        trayItem(menu, "togglePause")->action();
    }
    events.setLocked(false);
    events.setDisplaysAsleep(false);
    events.setSaverRunning(false);
    events.setLowPower(false);
    events.setThermal(ThermalState::Nominal);
    for (const auto& window : coveredWindows(m_world)) {
        m_world.fake.windowServer->setCovered(*window, false);
    }
    m_world.fake.workspace->trashErrors.clear();
    std::mt19937_64 answers(0);
    while (!m_world.fake.alerts->shown.empty()) {
        answerAlert(answers);
    }
}

} // namespace drovane::soak
