#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "playback/PlaybackRule.h"
#include "soak/SoakWorld.h"
#include "support/Files.h"
#include "support/Settings.h"

#include <algorithm>
#include <filesystem>

namespace drovane::soak {

namespace {

using fakes::FakePlayer;
using fakes::FakePlayerLayer;
using fakes::FakeWallpaperWindow;

// How long an object may live on after nothing that should hold it does (work posted to the main
// queue may keep it a moment).
constexpr double grace = 5.0;

// A layer that shows its picture fully and for good: nothing under it can be seen.
bool settledOpaque(const Layer& layer) {
    const auto* player = dynamic_cast<const FakePlayerLayer*>(&layer);
    return player && player->isReadyForDisplay() && !player->isAnimating() && player->opacity() >= 1.0;
}

template <typename Range> std::set<std::string> keysOf(const Range& range) {
    std::set<std::string> keys;
    for (const auto& [key, value] : range) {
        keys.insert(key);
    }
    return keys;
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
    const auto& waiting = queue.waiting();
    if (queue.active().size() > Downloader::maxActive) {
        problems.push_back(std::to_string(queue.active().size()) + " transfers run at once");
    }
    const std::set<std::string> queued(waiting.begin(), waiting.end());
    if (queued.size() != waiting.size()) {
        problems.push_back("a film waits twice in the download queue");
    }
    for (const auto& [key, fraction] : queue.active()) {
        if (queued.contains(key) || !(fraction >= 0 && fraction <= 1)) {
            problems.push_back(key + " both runs and waits, or has progressed " + std::to_string(fraction));
        }
    }
    const int queuedNow = static_cast<int>(queue.active().size() + waiting.size());
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
    log(problems);
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
    for (std::size_t i = 0; i < std::min({model.windows.size(), model.players.size(), model.layers.size()});
         ++i) {
        const auto& window = dynamic_cast<const FakeWallpaperWindow&>(*model.windows[i]);
        const auto& layer = dynamic_cast<const FakePlayerLayer&>(*model.layers[i]);
        const std::string at = "window " + std::to_string(i);
        contents.insert(window.content().get());
        if ((i < screens.size() && window.frame() != screens[i]) || !window.isVisible()) {
            problems.push_back(at + " does not cover its screen");
        }
        if (layer.player() != model.players[i] ||
            (model.videoURL && layer.player()->file() != *model.videoURL)) {
            problems.push_back(at + " does not show a player of the film chosen");
        }
        const auto& sublayers = window.content()->sublayers;
        if (sublayers.empty() || sublayers.back() != model.layers[i]) {
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

    // Everything the video and window fakes made that is still alive must be held by what shows
    // now: the current windows, their layer trees and the current players.
    std::vector<std::pair<std::shared_ptr<const void>, std::string>> unheld;
    std::set<const Player*> heldPlayers;
    for (const auto& player : model.players) {
        heldPlayers.insert(player.get());
    }
    for (const auto& layer : m_world.fake.video->liveLayers()) {
        const auto super = layer->superlayer.lock();
        if (std::find(model.layers.begin(), model.layers.end(), layer) != model.layers.end() ||
            (super && contents.contains(super.get()))) {
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
        if (std::find(model.windows.begin(), model.windows.end(), window) == model.windows.end()) {
            unheld.emplace_back(window, "a wallpaper window");
        }
    }
    // Each is reported once it has been so for longer than the grace; those held again or gone are
    // forgotten.
    const Date now = m_world.fake.clock->now();
    decltype(m_unheld) next;
    for (const auto& [object, what] : unheld) {
        auto known = std::find_if(m_unheld.begin(), m_unheld.end(),
                                  [&object](const auto& u) { return u.first.lock() == object; });
        const Date since = known == m_unheld.end() ? now : known->second;
        if (now.secondsSince(since) > grace) {
            problems.push_back(what + " has outlived what held it by " +
                               std::to_string(now.secondsSince(since)) + " s");
        }
        next.emplace_back(object, since);
    }
    m_unheld = std::move(next);
}

void Invariants::playback(std::vector<std::string>& problems) const {
    const AppModel& model = m_world.model();
    const auto& machine = *m_world.fake.systemEvents;
    PlaybackRule::Inputs in;
    in.manualPaused = model.manualPaused;
    in.lowPower = machine.lowPower;
    in.pauseOnLowPower = Settings::pauseOnLowPower();
    in.thermal = machine.thermal;
    in.displayAsleep = machine.displaysAsleep;
    in.lockActive = machine.locked;
    in.saverActive = machine.saverRunning;
    const bool throttled = PlaybackRule::isThrottled(in);
    const auto& icon = m_world.fake.statusBar->items.at(0)->icon;
    if (!icon || icon->dimmed != throttled) {
        problems.push_back(std::string("the tray icon is ") + (throttled ? "not dimmed" : "dimmed") +
                           " while the wallpaper is " + (throttled ? "held back" : "free to play"));
    }
    const double rate = in.lowPower ? PlaybackRule::lowPowerRate : PlaybackRule::normalRate;
    const Date now = m_world.fake.clock->now();
    for (std::size_t i = 0; i < std::min(model.players.size(), model.windows.size()); ++i) {
        const auto& player = dynamic_cast<const FakePlayer&>(*model.players[i]);
        const auto& window = dynamic_cast<const FakeWallpaperWindow&>(*model.windows[i]);
        // A covered window stops once the delay has passed, and may either way before; a film that
        // does not loop stops on its last frame (the clock counts whole microseconds).
        const bool covered =
            window.covered && now.secondsSince(window.coveredSince) > AppModel::occlusionDelay + 1e-6;
        if (window.covered && !covered && !throttled) {
            continue;
        }
        const bool ended = player.duration() && player.currentTime() >= *player.duration() - 1e-3;
        const double expected = throttled || covered ? 0 : rate;
        if (player.duration() && !ended && player.rate() != expected) {
            problems.push_back("player " + std::to_string(i) + " (" + player.file().lastPathComponent() +
                               ") plays at rate " + std::to_string(player.rate()) + " where it should at " +
                               std::to_string(expected));
        }
    }
}

void Invariants::downloads(std::vector<std::string>& problems) const {
    const Downloader& queue = *m_world.model().downloader;
    std::multiset<std::string> transfers;
    for (const auto& task : m_world.fake.http->pending()) {
        if (task->isDownload() && !task->cancelled()) {
            transfers.insert(SoakWorld::idOf(task->url()));
        }
    }
    if (keysOf(queue.active()) != std::set<std::string>(transfers.begin(), transfers.end()) ||
        transfers.size() != queue.active().size()) {
        problems.push_back("the running downloads (" + std::to_string(queue.active().size()) +
                           ") are not the open transfers (" + std::to_string(transfers.size()) + ")");
    }
    const auto onDisk = m_world.onDisk();
    for (const auto& key : keysOf(queue.active())) {
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
    m_world.fake.workspace->trashed.clear();
}

void Invariants::disk(std::vector<std::string>& problems, const std::set<std::string>& delivered) {
    const std::string videos = m_world.library->videosDir();
    for (const auto& entry : listFolder(videos)) {
        const auto id = Library::filmId(entry.name);
        if (!id || !m_world.film(*id) || entry.name != *id + ".mov" ||
            readWholeFile(videos + "/" + entry.name) != SoakWorld::filmBody(*id)) {
            problems.push_back("the video folder holds " + entry.name + ", which is not a whole film");
        }
    }
    if (const auto partial = listFolder(m_world.model().downloader->partialFolder()); !partial.empty()) {
        problems.push_back("a partial film was left behind: " + partial.front().name);
    }

    auto& trashed = m_world.fake.workspace->trashed;
    const std::set<std::string> now = m_world.onDisk();
    for (const auto& id : now) {
        if (!m_disk.contains(id) && !delivered.contains(id)) {
            problems.push_back(id + " came on disk without being downloaded");
        }
    }
    for (const auto& id : m_disk) {
        if (!now.contains(id) &&
            std::find(trashed.begin(), trashed.end(), m_world.filmPath(id)) == trashed.end()) {
            problems.push_back(id + " was lost from disk without being deleted");
        }
    }
    rememberDisk();

    const auto& videoURL = m_world.model().videoURL;
    const auto selected = m_world.fake.defaults->string(Settings::selectedVideoKey);
    const std::string path = videoURL ? videoURL->filePath().value_or("") : "";
    if (videoURL && !std::filesystem::exists(path)) {
        problems.push_back("the film that plays is not on disk: " + path);
    }
    if (selected.value_or("") != path) {
        problems.push_back("the stored choice " + selected.value_or("(none)") +
                           " is not the film that plays");
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
                         [&line](const auto& p) { return line.starts_with(p); })) {
            problems.push_back("unexpected log line: " + line);
        }
    }
    m_world.fake.log->clear();
    // The pictures given to the desktop are files of its folder; a long day keeps no requests.
    auto& background = *m_world.fake.desktopBackground;
    for (const auto& picture : background.pictures) {
        if (!picture.starts_with(background.pictureFolder() + "/") ||
            !std::filesystem::is_regular_file(picture)) {
            problems.push_back("the desktop was given " + picture);
        }
    }
    background.pictures.clear();
    m_world.fake.workspace->openedUrls.clear();
    m_world.fake.workspace->revealed.clear();
    m_world.fake.workspace->policies.clear();
}

void Invariants::whenSettled(std::vector<std::string>& problems) const {
    if (!m_world.libraryVisible()) {
        return;
    }
    const LibraryStore& store = *m_world.store();
    const AppModel& model = m_world.model();
    const auto& download = store.download().value();
    if (store.currentURL().value() != model.videoURL || store.manualPaused().value() != model.manualPaused ||
        keysOf(download.active) != keysOf(model.downloader->active()) ||
        download.waiting !=
            std::set<std::string>(model.downloader->waiting().begin(), model.downloader->waiting().end())) {
        problems.push_back("the library shows another film, pause or downloads than the engine's");
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
    }
    if (items.size() != m_world.films.size() || onDiskCount != store.onDiskCount().value() ||
        onDiskCount + store.missingCount().value() != static_cast<int>(items.size())) {
        problems.push_back("the library's counts do not add up");
    }
}

} // namespace drovane::soak
