#include "playback/AppModel.h"

#include "library/Downloader.h"
#include "library/Library.h"
#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "playback/PowerMonitor.h"
#include "support/Settings.h"

#include <algorithm>
#include <random>

namespace drovane {

std::shared_ptr<AppModel> AppModel::create(const Platform& platform, std::shared_ptr<const Library> library) {
    return std::make_shared<AppModel>(Passkey{}, platform, std::move(library));
}

AppModel::AppModel(Passkey, const Platform& platform, std::shared_ptr<const Library> library)
    : m_library(std::move(library)), m_mainQueue(platform.mainQueue), m_log(platform.log),
      m_screens(platform.screens), m_windowServer(platform.windowServer), m_video(platform.video),
      m_systemEvents(platform.systemEvents) {
    defaults = platform.defaults;
    downloader = Downloader::create(platform, m_library);
}

AppModel::~AppModel() = default;

PowerMonitor& AppModel::powerMonitor() {
    if (!m_powerMonitor) {
        m_powerMonitor = std::make_unique<PowerMonitor>(*this, m_systemEvents);
    }
    return *m_powerMonitor;
}

VideoGravity AppModel::gravityFor(const Url& film) const {
    return m_library->stretches(film) ? VideoGravity::Resize : VideoGravity::ResizeAspectFill;
}

void AppModel::buildWindows() {
    m_observers.clear();
    for (const auto& window : windows) {
        window->orderOut();
    }
    for (const auto& player : std::vector(players)) {
        retire(player);
    }
    // Cross-fades still waiting for their new layers end here with their windows.
    for (const auto& outgoing : std::exchange(m_outgoing, {})) {
        retire(outgoing.player);
        outgoing.layer->detachPlayer();
        outgoing.layer->removeFromSuperlayer();
    }
    windows.clear();
    players.clear();
    layers.clear();
    beginPlayers();
    if (!videoURL) {
        m_systemEvents->setWallpaperShown(false);
        return;
    }

    const Url film = *videoURL;
    const VideoGravity gravity = gravityFor(film);
    for (const Rect& frame : m_screens->frames()) {
        auto window = m_windowServer->makeWallpaperWindow(frame);
        if (!window) {
            continue;
        }
        window->setFrame(frame);
        auto [player, layer] = makePlayer(film, frame.size, gravity);
        if (auto content = window->contentLayer()) {
            content->setFrame(Rect{{0, 0}, frame.size});
            content->addSublayer(layer);
        }
        window->orderFront();
        windows.push_back(window);
        players.push_back(player);
        layers.push_back(layer);
        fadeIn(layer);
    }
    m_systemEvents->setWallpaperShown(!windows.empty());
    observeOcclusion();
    updatePlayback();
}

std::pair<std::shared_ptr<Player>, std::shared_ptr<PlayerLayer>>
AppModel::makePlayer(const Url& film, Size size, VideoGravity gravity) {
    auto player = m_video->makePlayer(film, forwardBufferSeconds);
    setUpLoop(player);
    std::erase_if(m_failureWatches, [](const auto& watch) { return watch.first.expired(); });
    std::weak_ptr<AppModel> weakSelf = weak_from_this();
    std::weak_ptr<Player> weakPlayer = player;
    m_failureWatches.emplace_back(player,
                                  player->observeFailure([weakSelf, weakPlayer](const std::string& reason) {
                                      auto self = weakSelf.lock();
                                      auto failed = weakPlayer.lock();
                                      if (self && failed) {
                                          self->filmFailed(*failed, reason);
                                      }
                                  }));
    auto layer = m_video->makeLayer(player, Rect{{0, 0}, size}, gravity);
    return {player, layer};
}

void AppModel::switchVideo(const Url& film) {
    videoURL = film;
    // A choice is a fresh start: its failures are told again.
    m_failures = 0;
    m_shortReported = false;
    defaults->set(Settings::selectedVideoKey, film.filePath().value_or(film.path()));
    if (onFilmChanged) {
        onFilmChanged(film);
    }
    if (windows.empty()) {
        buildWindows();
    } else {
        crossfade(film);
    }
    if (onStateChanged) {
        onStateChanged();
    }
}

void AppModel::adoptFirstVideoIfNeeded() {
    if (videoURL) {
        return;
    }
    auto films = m_library->allVideos();
    if (!films.empty()) {
        switchVideo(films.front().url);
    }
}

void AppModel::shuffleNext(const std::vector<std::string>& avoiding) {
    auto films = m_library->allVideos();
    if (films.size() < 2) {
        return;
    }
    std::vector<Vid> others;
    for (auto& film : films) {
        const std::string path = film.url.path();
        if ((!videoURL || path != videoURL->path()) &&
            std::find(avoiding.begin(), avoiding.end(), path) == avoiding.end()) {
            others.push_back(std::move(film));
        }
    }
    if (others.empty()) {
        return;
    }
    std::uniform_int_distribution<std::size_t> pick(0, others.size() - 1);
    switchVideo(others[pick(shuffleGenerator)].url);
}

void AppModel::clearVideo() {
    videoURL.reset();
    defaults->remove(Settings::selectedVideoKey);
    buildWindows();
    if (onStateChanged) {
        onStateChanged();
    }
}

bool AppModel::contains(const Player& player) const {
    for (const auto& p : players) {
        if (p.get() == &player) {
            return true;
        }
    }
    return false;
}

} // namespace drovane
