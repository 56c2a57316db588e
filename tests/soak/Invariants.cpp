#include "soak/Invariants.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "playback/PlaybackRule.h"
#include "soak/DayScript.h"
#include "soak/LibraryView.h"
#include "soak/SoakWorld.h"
#include "support/Files.h"
#include "support/Settings.h"
#include "ui/DetailModel.h"
#include "ui/SidebarModel.h"
#include "ui/TileModel.h"

#include <algorithm>
#include <filesystem>

namespace drovane::soak {

namespace {

using fakes::FakePlayer;
using fakes::FakePlayerLayer;
using fakes::FakeWallpaperWindow;

std::string str(double value) {
    std::string text = std::to_string(value);
    text.erase(text.find_last_not_of('0') + 1);
    return text.ends_with('.') ? text.substr(0, text.size() - 1) : text;
}

// A layer that shows its picture fully and for good: nothing under it can be seen.
bool settledOpaque(const Layer& layer) {
    const auto* player = dynamic_cast<const FakePlayerLayer*>(&layer);
    return player && player->isReadyForDisplay() && !player->isAnimating() && player->opacity() >= 1.0;
}

bool tooHot(ThermalState state) {
    return state == ThermalState::Serious || state == ThermalState::Critical;
}

} // namespace

void Invariants::betweenWork(std::vector<std::string>& problems) const {
    const AppModel& model = m_world.model();
    if (model.windows.size() != model.players.size() || model.players.size() != model.layers.size()) {
        problems.push_back(
            "windows, players and layers differ in number: " + std::to_string(model.windows.size()) + ", " +
            std::to_string(model.players.size()) + ", " + std::to_string(model.layers.size()));
    }
    if (!model.videoURL && !model.windows.empty()) {
        problems.push_back("wallpaper windows while no film plays");
    }

    const Downloader& queue = *model.downloader;
    const auto& active = queue.active();
    const auto& waiting = queue.waiting();
    if (active.size() > Downloader::maxActive) {
        problems.push_back(std::to_string(active.size()) + " transfers run at once");
    }
    std::set<std::string> queued(waiting.begin(), waiting.end());
    if (queued.size() != waiting.size()) {
        problems.push_back("a film waits twice in the download queue");
    }
    for (const auto& [key, fraction] : active) {
        if (queued.contains(key)) {
            problems.push_back(key + " both runs and waits");
        }
        if (!(fraction >= 0 && fraction <= 1)) {
            problems.push_back(key + " has progressed " + str(fraction));
        }
    }
    const int queuedNow = static_cast<int>(active.size() + waiting.size());
    // A batch counts what was queued since the queue was last empty: every item is done, running or
    // waiting, and all three counters are back at 0 once it has drained.
    if (queue.failed() < 0 || queue.failed() > queue.done() || queue.total() != queue.done() + queuedNow ||
        (queuedNow == 0 && queue.total() != 0)) {
        problems.push_back("download counters: done " + std::to_string(queue.done()) + ", failed " +
                           std::to_string(queue.failed()) + ", total " + std::to_string(queue.total()) +
                           ", " + std::to_string(queuedNow) + " queued or running");
    }
}

void Invariants::afterStep(std::vector<std::string>& problems, const std::set<std::string>& delivered) {
    betweenWork(problems);
    engine(problems);
    playback(problems);
    downloads(problems);
    disk(problems, delivered);
    trayMenu(problems);
    log(problems);
    desktop(problems);
    // A film that lands while none plays becomes the wallpaper: none plays only with none on disk,
    // or when the Trash refused the films of a deletion that had moved the wallpaper off them.
    if (m_world.model().videoURL) {
        m_deletionRefused = false;
    } else if (const auto onDisk = m_world.onDisk(); !onDisk.empty() && !m_deletionRefused) {
        problems.push_back("no film plays though " + *onDisk.begin() + " is on disk");
    }
    for (auto& problem : m_view.takeProblems()) {
        problems.push_back(std::move(problem));
    }
}

void Invariants::engine(std::vector<std::string>& problems) {
    const AppModel& model = m_world.model();
    const auto screens = m_world.fake.screens->frames();
    if (model.videoURL && model.windows.size() != screens.size()) {
        problems.push_back(std::to_string(model.windows.size()) + " wallpaper windows for " +
                           std::to_string(screens.size()) + " screens");
    }
    std::set<const Layer*> contents;
    for (std::size_t i = 0; i < model.windows.size() && i < model.players.size() && i < model.layers.size();
         ++i) {
        const auto& window = dynamic_cast<const FakeWallpaperWindow&>(*model.windows[i]);
        const auto& layer = dynamic_cast<const FakePlayerLayer&>(*model.layers[i]);
        const auto& player = dynamic_cast<const FakePlayer&>(*model.players[i]);
        const std::string at = "window " + std::to_string(i);
        contents.insert(window.content().get());
        if (i < screens.size() && window.frame() != screens[i]) {
            problems.push_back(at + " does not cover its screen");
        }
        if (!window.isVisible()) {
            problems.push_back(at + " is not on screen");
        }
        if (model.videoURL && player.file() != *model.videoURL) {
            problems.push_back(at + " plays " + player.file().string() + ", not the film chosen");
        }
        if (layer.player().get() != &player) {
            problems.push_back(at + "'s layer does not show its player");
        }
        const auto& sublayers = window.content()->sublayers;
        if (sublayers.empty() || sublayers.back().get() != model.layers[i].get()) {
            problems.push_back(at + "'s current layer is not on top");
        }
        // Whatever lies under a layer that shows its picture fully can never be seen again.
        for (std::size_t k = sublayers.size(); k-- > 0;) {
            if (settledOpaque(*sublayers[k])) {
                if (k > 0) {
                    problems.push_back(at + " keeps " + std::to_string(k) +
                                       " hidden layers under a shown one");
                }
                break;
            }
        }
    }

    // Everything the video and window fakes made that is still alive must be held by what
    // shows now: the current windows, their layer trees and the current players.
    Found unheld;
    auto attached = [&contents](const FakePlayerLayer& layer) {
        auto super = layer.superlayer.lock();
        return super && contents.contains(super.get());
    };
    std::set<const FakePlayer*> heldPlayers;
    for (const auto& player : model.players) {
        heldPlayers.insert(dynamic_cast<const FakePlayer*>(player.get()));
    }
    for (const auto& layer : m_world.fake.video->liveLayers()) {
        const bool current = std::any_of(model.layers.begin(), model.layers.end(),
                                         [&](const auto& l) { return l.get() == layer.get(); });
        if (current || attached(*layer)) {
            heldPlayers.insert(layer->player().get());
        } else {
            unheld.emplace_back(layer, "a player layer");
        }
    }
    for (const auto& player : m_world.fake.video->livePlayers()) {
        if (!heldPlayers.contains(player.get())) {
            unheld.emplace_back(player, "a player of " + player->file().lastPathComponent());
        }
    }
    for (const auto& window : m_world.fake.windowServer->liveWindows()) {
        if (std::none_of(model.windows.begin(), model.windows.end(),
                         [&](const auto& w) { return w.get() == window.get(); })) {
            unheld.emplace_back(window, "a wallpaper window");
        }
    }
    holdCheck(problems, unheld);
}

void Invariants::holdCheck(std::vector<std::string>& problems, const Found& unheld) {
    const Date now = m_world.fake.clock->now();
    std::vector<Unheld> next;
    for (const auto& [object, what] : unheld) {
        auto known = std::find_if(m_unheld.begin(), m_unheld.end(),
                                  [&object](const Unheld& u) { return u.object.lock() == object; });
        const Date since = known == m_unheld.end() ? now : known->since;
        if (now.secondsSince(since) > grace) {
            problems.push_back(what + " has outlived what held it by " + str(now.secondsSince(since)) + " s");
        }
        next.push_back({object, since});
    }
    m_unheld = std::move(next);
}

void Invariants::playback(std::vector<std::string>& problems) const {
    const AppModel& model = m_world.model();
    const auto& events = *m_world.fake.systemEvents;
    if (model.lowPower != events.lowPower || model.thermal != events.thermal ||
        model.displayAsleep != events.displaysAsleep || model.lockActive != events.locked ||
        model.saverActive != events.saverRunning) {
        problems.push_back("the engine's view of the machine is out of date");
    }
    PlaybackRule::Inputs in;
    in.manualPaused = model.manualPaused;
    in.lowPower = events.lowPower;
    in.pauseOnLowPower = Settings::pauseOnLowPower();
    in.thermal = events.thermal;
    in.displayAsleep = events.displaysAsleep;
    in.lockActive = events.locked;
    in.saverActive = events.saverRunning;
    const bool throttled = PlaybackRule::isThrottled(in);
    // Spelled out once more rather than trusting the rule under test.
    if (throttled != (in.manualPaused || tooHot(in.thermal) || (in.lowPower && in.pauseOnLowPower) ||
                      in.displayAsleep || in.lockActive || in.saverActive)) {
        problems.push_back("the throttled flag does not follow its inputs");
    }
    const auto& icon = m_world.statusItem().icon;
    if (!icon || icon->dimmed != throttled) {
        problems.push_back(std::string("the tray icon is ") + (throttled ? "not dimmed" : "dimmed") +
                           " while the wallpaper is " + (throttled ? "held back" : "free to play"));
    }

    const double rate = in.lowPower ? PlaybackRule::lowPowerRate : PlaybackRule::normalRate;
    const Date now = m_world.fake.clock->now();
    for (std::size_t i = 0; i < model.players.size() && i < model.windows.size(); ++i) {
        const auto& player = dynamic_cast<const FakePlayer&>(*model.players[i]);
        const auto& window = dynamic_cast<const FakeWallpaperWindow&>(*model.windows[i]);
        const std::string at = "player " + std::to_string(i) + " (" + player.file().lastPathComponent() + ")";
        if (throttled) {
            if (player.rate() != 0) {
                problems.push_back(at + " plays while the wallpaper is held back");
            }
            continue;
        }
        if (window.covered) {
            const double covered = now.secondsSince(window.coveredSince);
            if (covered > AppModel::occlusionDelay + 1e-6 && player.rate() != 0) {
                problems.push_back(at + " plays in a window covered for " + str(covered) + " s");
            }
            continue;
        }
        // A film that does not loop stops on its last frame (the clock counts whole microseconds).
        const bool ended = player.duration() && player.currentTime() >= *player.duration() - 1e-3;
        if (player.duration() && !ended && player.rate() != rate) {
            problems.push_back(at + " plays at rate " + str(player.rate()) + " where it should at " +
                               str(rate) + ", at " + str(player.currentTime()) + " s of " +
                               str(*player.duration()));
        }
    }
}

void Invariants::downloads(std::vector<std::string>& problems) const {
    const Downloader& queue = *m_world.model().downloader;
    std::set<std::string> transferring;
    for (const auto& task : m_world.fake.http->pending()) {
        if (auto id = SoakWorld::filmOfAddress(task->url().string());
            id && task->isDownload() && !task->cancelled()) {
            if (!transferring.insert(*id).second) {
                problems.push_back(*id + " is being transferred twice");
            }
        }
    }
    std::set<std::string> active;
    for (const auto& [key, fraction] : queue.active()) {
        active.insert(key);
    }
    if (active != transferring) {
        problems.push_back("the running downloads (" + std::to_string(active.size()) +
                           ") are not the open transfers (" + std::to_string(transferring.size()) + ")");
    }
    const auto onDisk = m_world.onDisk();
    for (const auto& key : active) {
        if (onDisk.contains(key)) {
            problems.push_back(key + " is downloaded again though it is on disk");
        }
    }
    for (const auto& key : queue.waiting()) {
        if (onDisk.contains(key)) {
            problems.push_back(key + " waits for a download though it is on disk");
        }
    }
}

void Invariants::rememberDisk() {
    m_disk = m_world.onDisk();
    m_diskKnown = true;
    m_world.fake.workspace->trashed.clear();
}

void Invariants::disk(std::vector<std::string>& problems, const std::set<std::string>& delivered) {
    const std::string videos = m_world.library->videosDir();
    for (const auto& name : m_world.videoFolderNames()) {
        const auto id = Library::filmId(name);
        if (!id || !m_world.film(*id) || name != *id + ".mov") {
            problems.push_back("the video folder holds " + name);
            continue;
        }
        if (readWholeFile(videos + "/" + name) != SoakWorld::filmBody(*id)) {
            problems.push_back(name + " does not hold the film");
        }
    }
    if (auto partial = m_world.partialFolderNames(); !partial.empty()) {
        problems.push_back("a partial film was left behind: " + partial.front());
    }

    auto& trashed = m_world.fake.workspace->trashed;
    const std::set<std::string> now = m_world.onDisk();
    if (m_diskKnown) {
        for (const auto& id : now) {
            if (!m_disk.contains(id)) {
                if (!delivered.contains(id)) {
                    problems.push_back(id + " came on disk without being downloaded");
                }
            }
        }
        for (const auto& id : m_disk) {
            if (!now.contains(id)) {
                if (std::find(trashed.begin(), trashed.end(), m_world.filmPath(id)) == trashed.end()) {
                    problems.push_back(id + " was lost from disk without being deleted");
                }
            }
        }
    }
    m_disk = now;
    m_diskKnown = true;
    trashed.clear();

    const AppModel& model = m_world.model();
    const auto selected = m_world.fake.defaults->string(Settings::selectedVideoKey);
    if (model.videoURL) {
        const std::string path = model.videoURL->filePath().value_or("");
        if (!std::filesystem::exists(path)) {
            problems.push_back("the film that plays is not on disk: " + path);
        }
        if (selected != path) {
            problems.push_back("the stored choice " + selected.value_or("(none)") +
                               " is not the film that plays");
        }
    } else if (selected) {
        problems.push_back("a stored choice though no film plays: " + *selected);
    }
}

void Invariants::trayMenu(std::vector<std::string>& problems) const {
    const AppModel& model = m_world.model();
    const Menu menu = m_world.statusItem().open();
    auto find = [&menu](const std::string& identifier) -> const MenuItem* {
        for (const auto& item : menu) {
            if (item.identifier == identifier) {
                return &item;
            }
        }
        return nullptr;
    };
    const MenuItem* pause = find("togglePause");
    if (!pause || pause->title != (model.manualPaused ? "Play Wallpaper" : "Pause Wallpaper")) {
        problems.push_back("the tray's pause item does not say what it would do");
    }
    const auto films = m_world.library->allVideos();
    std::string title = "Wallpaper";
    std::size_t playing = 0;
    for (const auto& film : films) {
        if (model.videoURL && film.url.path() == model.videoURL->path()) {
            if (playing++ == 0) {
                title += " \u2014 " + film.label;
            }
        }
    }
    const MenuItem* wallpaper = find("wallpaper");
    if (!wallpaper || wallpaper->title != title) {
        problems.push_back("the tray says '" + (wallpaper ? wallpaper->title : std::string("?")) +
                           "', not '" + title + "'");
    } else {
        const auto checked = std::count_if(wallpaper->submenu.begin(), wallpaper->submenu.end(),
                                           [](const MenuItem& item) { return item.checked; });
        if (wallpaper->submenu.size() != films.size() || static_cast<std::size_t>(checked) != playing) {
            problems.push_back("the tray lists " + std::to_string(wallpaper->submenu.size()) +
                               " films with " + std::to_string(checked) + " checked, for " +
                               std::to_string(films.size()) + " films of which " + std::to_string(playing) +
                               " plays");
        }
    }
    const Downloader& queue = *model.downloader;
    const MenuItem* line = find("cancelDownload");
    if (queue.active().empty() && queue.waiting().empty()) {
        if (line) {
            problems.push_back("the tray shows downloads while none runs: " + line->title);
        }
    } else {
        std::string expected =
            "Downloading " + std::to_string(queue.done()) + "/" + std::to_string(queue.total());
        if (queue.failed() > 0) {
            expected += " (" + std::to_string(queue.failed()) + " failed)";
        }
        expected += " \u2014 Cancel";
        if (!line || line->title != expected) {
            problems.push_back("the tray's download line is not '" + expected + "'");
        }
    }
}

void Invariants::log(std::vector<std::string>& problems) {
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
                         [&line](const std::string& prefix) { return line.starts_with(prefix); })) {
            problems.push_back("unexpected log line: " + line);
        }
    }
    m_world.fake.log->clear();
}

void Invariants::desktop(std::vector<std::string>& problems) const {
    auto& workspace = *m_world.fake.workspace;
    const std::string videos = m_world.library->videosDir();
    for (const Url& url : workspace.openedUrls) {
        if (url != Url::fromFilePath(videos)) {
            problems.push_back("opened " + url.string());
        }
    }
    for (const auto& paths : workspace.revealed) {
        if (paths.size() != 1 || !paths.front().starts_with(videos + "/")) {
            problems.push_back("revealed something else than a film");
        }
    }
    auto& pictures = m_world.fake.desktopBackground->pictures;
    for (const auto& picture : pictures) {
        if (!picture.starts_with(m_world.fake.desktopBackground->pictureFolder() + "/") ||
            !std::filesystem::is_regular_file(picture)) {
            problems.push_back("the desktop was given " + picture);
        }
    }
    // Read: a long day must not keep every request.
    workspace.openedUrls.clear();
    workspace.revealed.clear();
    workspace.policies.clear();
    pictures.clear();
}

void Invariants::whenSettled(std::vector<std::string>& problems) const {
    if (!m_world.libraryVisible()) {
        return;
    }
    const LibraryStore& store = *m_world.store();
    const AppModel& model = m_world.model();
    const Downloader& queue = *model.downloader;
    if (store.currentURL().value() != model.videoURL) {
        problems.push_back("the library shows another film playing than the engine's");
    }
    if (store.manualPaused().value() != model.manualPaused) {
        problems.push_back("the library's pause differs from the engine's");
    }
    const auto& download = store.download().value();
    std::set<std::string> activeKeys;
    for (const auto& [key, fraction] : download.active) {
        activeKeys.insert(key);
    }
    std::set<std::string> running;
    for (const auto& [key, fraction] : queue.active()) {
        running.insert(key);
    }
    if (activeKeys != running ||
        download.waiting != std::set<std::string>(queue.waiting().begin(), queue.waiting().end())) {
        problems.push_back("the library's downloads differ from the queue's");
    }
    std::set<std::string> stored;
    if (auto value = m_world.fake.defaults->value(LibraryStore::favoritesKey)) {
        if (auto ids = value->asStringArray()) {
            stored.insert(ids->begin(), ids->end());
        }
    }
    if (stored != store.favorites().value()) {
        problems.push_back("the favourites shown are not those stored");
    }
    if (!store.scanned().value()) {
        problems.push_back("the library was never scanned");
        return;
    }

    const auto onDisk = m_world.onDisk();
    const auto& items = store.items().value();
    int onDiskCount = 0;
    for (const auto& item : items) {
        onDiskCount += item.isOnDisk();
        if (item.isOnDisk() != onDisk.contains(item.id)) {
            problems.push_back("the library shows " + item.id + (item.isOnDisk() ? " on disk" : " missing") +
                               ", which it is not");
        }
        const auto tile = TileModel::state(store, item);
        const bool plays = item.url && model.videoURL && item.url->path() == model.videoURL->path();
        if (tile.isCurrent != plays || tile.progress.has_value() != running.contains(item.id) ||
            tile.waiting != download.waiting.contains(item.id)) {
            problems.push_back("the tile of " + item.id +
                               " shows another state than the engine's and queue's");
        }
    }
    if (items.size() != m_world.films.size() || onDiskCount != store.onDiskCount().value() ||
        onDiskCount + store.missingCount().value() != static_cast<int>(items.size())) {
        problems.push_back("the library's counts do not add up");
    }
    const auto sections = SidebarModel::sections(store);
    int categorised = 0;
    if (sections.size() == 2) {
        for (const auto& row : sections[1].rows) {
            categorised += row.badge;
        }
    }
    if (sections.empty() || sections[0].rows.size() != 3 ||
        sections[0].rows[0].badge != static_cast<int>(items.size()) ||
        sections[0].rows[2].badge != onDiskCount || categorised != static_cast<int>(items.size())) {
        problems.push_back("the sidebar's counts do not add up");
    }
    if (DetailModel::content(store) != DetailModel::Content::Grid) {
        problems.push_back("the library shows no grid");
    }
    std::size_t gridded = 0;
    for (const auto& section : DetailModel::sections(store, items)) {
        gridded += section.items.size();
    }
    if (gridded != items.size()) {
        problems.push_back("the grid shows " + std::to_string(gridded) + " of " +
                           std::to_string(items.size()) + " films");
    }
}

} // namespace drovane::soak
