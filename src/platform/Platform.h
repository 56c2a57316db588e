#pragma once

#include "platform/Alerts.h"
#include "platform/ApplicationDelegate.h"
#include "platform/Clock.h"
#include "platform/DefaultsStore.h"
#include "platform/DesktopBackground.h"
#include "platform/Host.h"
#include "platform/Http.h"
#include "platform/Images.h"
#include "platform/Log.h"
#include "platform/LoginItems.h"
#include "platform/MainQueue.h"
#include "platform/Processes.h"
#include "platform/ReleaseArchives.h"
#include "platform/Screens.h"
#include "platform/StatusBar.h"
#include "platform/SystemEvents.h"
#include "platform/TaskQueue.h"
#include "platform/Video.h"
#include "platform/WindowServer.h"
#include "platform/Workspace.h"

#include <memory>

namespace drovane {

class LibraryWindows;
class SettingsWindows;

// Everything the core asks of the machine. The composition root (the executable, or a test)
// fills it and hands it to the objects it makes, which keep the services they use. It is also
// installed once for the few process-wide namespaces (Settings, SettingsMigration), which reach
// it through platform(). Members a given program does not use may stay null.
struct Platform {
    std::shared_ptr<MainQueue> mainQueue;
    std::shared_ptr<TaskQueues> taskQueues;
    std::shared_ptr<Clock> clock;
    std::shared_ptr<Log> log;
    std::shared_ptr<Host> host;
    // The application's standard defaults domain.
    std::shared_ptr<DefaultsStore> defaults;
    std::shared_ptr<Screens> screens;
    std::shared_ptr<WindowServer> windowServer;
    std::shared_ptr<Video> video;
    std::shared_ptr<SystemEvents> systemEvents;
    std::shared_ptr<Http> http;
    std::shared_ptr<Images> images;
    std::shared_ptr<Alerts> alerts;
    std::shared_ptr<Workspace> workspace;
    std::shared_ptr<StatusBar> statusBar;
    std::shared_ptr<LoginItems> loginItems;
    std::shared_ptr<Processes> processes;
    std::shared_ptr<ReleaseArchives> releaseArchives;
    // The library window's maker, declared with the views (ui/LibraryWindow.h).
    std::shared_ptr<LibraryWindows> libraryWindows;
    std::shared_ptr<DesktopBackground> desktopBackground;
    // The settings window's maker, declared with the views (ui/SettingsWindow.h).
    std::shared_ptr<SettingsWindows> settingsWindows;
};

// The installed platform. Installing replaces the previous one; only the composition root and
// test fixtures install. Reading before anything was installed is a programming error.
Platform& platform();
void installPlatform(std::shared_ptr<Platform> platform);

// Shorthand for platform().log->line(text).
void logLine(const std::string& text);

} // namespace drovane
