#include "fakes/FakePlatform.h"

namespace drovane::fakes {

FakePlatform::FakePlatform() : m_platform(std::make_shared<Platform>()) {
    m_platform->mainQueue = mainQueue;
    m_platform->taskQueues = taskQueues;
    m_platform->clock = clock;
    m_platform->log = log;
    m_platform->host = host;
    m_platform->defaults = defaults;
    m_platform->screens = screens;
    m_platform->loginItems = loginItems;
    m_platform->video = video;
    m_platform->windowServer = windowServer;
    m_platform->systemEvents = systemEvents;
    m_platform->workspace = workspace;
    m_platform->images = images;
    m_platform->statusBar = statusBar;
    m_platform->http = http;
    m_platform->alerts = alerts;
    m_platform->libraryWindows = libraryWindows;
    m_platform->settingsWindows = settingsWindows;
    m_platform->desktopBackground = desktopBackground;
    installPlatform(m_platform);
}

FakePlatform::~FakePlatform() {
    mainQueue->discardPending();
    installPlatform(nullptr);
}

void FakePlatform::settle() {
    mainQueue->drain();
    while (taskQueues->runAll() > 0) {
        mainQueue->drain();
    }
}

} // namespace drovane::fakes
