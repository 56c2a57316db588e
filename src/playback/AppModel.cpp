#include "playback/AppModel.h"

#include "library/Downloader.h"
#include "library/Library.h"
#include "platform/DefaultsStore.h"
#include "platform/Platform.h"
#include "platform/Settings.h"
#include "playback/PowerMonitor.h"

#include <random>

namespace drovane {

std::shared_ptr<AppModel> AppModel::create() {
    return std::make_shared<AppModel>(Passkey{});
}

AppModel::AppModel(Passkey) {
    defaults = platform().defaults;
    downloader = Downloader::create();
}

AppModel::~AppModel() = default;

PowerMonitor& AppModel::powerMonitor() {
    if (!m_powerMonitor) {
        m_powerMonitor = std::make_unique<PowerMonitor>(*this);
    }
    return *m_powerMonitor;
}

VideoGravity AppModel::gravityFor(const Url& film) {
    return Library::stretches(film) ? VideoGravity::Resize : VideoGravity::ResizeAspectFill;
}

void AppModel::buildWindows() {
    m_observers.clear();
    for (const auto& window : windows) {
        window->orderOut();
    }
    for (const auto& player : std::vector(players)) {
        retire(player);
    }
    windows.clear();
    players.clear();
    layers.clear();
    if (!videoURL) {
        platform().systemEvents->setWallpaperShown(false);
        return;
    }

    const Url film = *videoURL;
    const VideoGravity gravity = gravityFor(film);
    auto& p = platform();
    for (const Rect& frame : p.screens->frames()) {
        auto window = p.windowServer->makeWallpaperWindow(frame);
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
    p.systemEvents->setWallpaperShown(!windows.empty());
    observeOcclusion();
    updatePlayback();
}

std::pair<std::shared_ptr<Player>, std::shared_ptr<PlayerLayer>>
AppModel::makePlayer(const Url& film, Size size, VideoGravity gravity) {
    auto& video = *platform().video;
    auto player = video.makePlayer(film, forwardBufferSeconds);
    setUpLoop(player);
    auto layer = video.makeLayer(player, Rect{{0, 0}, size}, gravity);
    return {player, layer};
}

void AppModel::switchVideo(const Url& film) {
    videoURL = film;
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
    auto films = Library::allVideos();
    if (!films.empty()) {
        switchVideo(films.front().url);
    }
}

void AppModel::shuffleNext() {
    auto films = Library::allVideos();
    if (films.size() < 2) {
        return;
    }
    std::vector<Vid> others;
    for (auto& film : films) {
        if (!videoURL || film.url.path() != videoURL->path()) {
            others.push_back(std::move(film));
        }
    }
    if (others.empty()) {
        return;
    }
    static thread_local std::mt19937 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, others.size() - 1);
    switchVideo(others[pick(generator)].url);
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
