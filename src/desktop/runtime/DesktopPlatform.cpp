#include "desktop/runtime/DesktopPlatform.h"

#include "desktop/media/QtFfmpegImages.h"
#include "desktop/net/CurlHttp.h"
#include "desktop/render/NoWindowServer.h"
#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/software/SoftwareVideo.h"
#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/runtime/DesktopHost.h"
#include "desktop/runtime/DisplayConnection.h"
#include "desktop/runtime/DisplaySession.h"
#include "desktop/runtime/QtApplication.h"
#include "desktop/runtime/QtMainQueue.h"
#include "desktop/runtime/QtScreens.h"
#include "desktop/runtime/RendererChoice.h"
#include "desktop/runtime/SystemClock.h"
#include "desktop/runtime/ThreadTaskQueues.h"
#include "desktop/session/DesktopSystemEvents.h"
#include "desktop/shell/DBusDesktopBackground.h"
#include "desktop/shell/QtAlerts.h"
#include "desktop/shell/QtStatusBar.h"
#include "desktop/shell/QtWorkspace.h"
#include "desktop/shell/XdgLoginItems.h"
#include "desktop/ui/QmlLibraryWindows.h"
#include "desktop/ui/QmlSettingsWindows.h"
#include "desktop/update/PosixProcesses.h"
#include "desktop/update/SignedReleaseArchives.h"
#include "desktop/update/UpdateKeys.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowOcclusion.h"
#include "platform/Log.h"
#include "support/Settings.h"

#include <unistd.h>

namespace drovane::desktop {

std::shared_ptr<Platform> makeDesktopPlatform(std::shared_ptr<DesktopHost> host, std::shared_ptr<Log> log) {
    const DisplaySession session =
        chooseDisplaySession({host->environment("XDG_SESSION_TYPE"), host->environment("WAYLAND_DISPLAY"),
                              host->environment("DISPLAY"), host->environment("XDG_CURRENT_DESKTOP")});
    // The display is checked with the plugin the session chose, as Qt will use it.
    const auto environment = [&](const std::string& name) -> std::optional<std::string> {
        if (name == "QT_QPA_PLATFORM" && !session.qtPlatform.empty()) {
            return session.qtPlatform;
        }
        return host->environment(name);
    };
    if (!displayReachable(environment)) {
        log->line("Drovane: no display to show the wallpaper on");
        return nullptr;
    }
    // The plugin goes in as an argument, not the environment, so that programs started from
    // here keep the session's own choice.
    std::vector<std::string> arguments = host->arguments();
    if (!session.qtPlatform.empty()) {
        arguments.insert(arguments.empty() ? arguments.end() : arguments.begin() + 1,
                         {"-platform", session.qtPlatform});
    }
    // Before any other Qt object; every Qt-based member holds it, so it goes last.
    auto application = sharedApplication(arguments);

    auto p = std::make_shared<Platform>();
    p->host = host;
    p->log = log;
    p->clock = std::make_shared<SystemClock>();
    p->images = std::make_shared<QtFfmpegImages>();
    std::string httpLine;
    p->http = std::make_shared<CurlHttp>(
        curlHttpOptionsFor(host->environment("DROVANE_LOW_SPEED_SECONDS"), httpLine));
    if (!httpLine.empty()) {
        log->line(httpLine);
    }
    p->mainQueue = std::make_shared<QtMainQueue>(application);
    p->taskQueues = std::make_shared<ThreadTaskQueues>();
    p->screens = std::make_shared<QtScreens>(application);
    const RendererChoice renderer =
        session.showsWallpaper() ? chooseRenderer(host->environment("DROVANE_RENDERER"), probeGlRendererApart)
                                 : RendererChoice{Renderer::Software, {}};
    log->line(startupLine(session, renderer));
    if (!session.showsWallpaper()) {
        p->windowServer = std::make_shared<NoWindowServer>();
        p->video = std::make_shared<SoftwareVideo>(log);
    } else if (renderer.renderer == Renderer::Software) {
        p->windowServer = std::make_shared<SoftwareWindowServer>(application, X11WindowOcclusion::open(""));
        p->video = std::make_shared<SoftwareVideo>(log);
    } else {
        p->windowServer = std::make_shared<QuickWindowServer>(application, X11WindowOcclusion::open(""));
        p->video = std::make_shared<QuickVideo>(application, log);
    }
    p->workspace = std::make_shared<QtWorkspace>(application, Settings::standardDomain, log);
    p->releaseArchives = std::make_shared<SignedReleaseArchives>(trustedPublicKey);
    if (trustsThrowawayKey) {
        log->line("Drovane: a test build: updates are checked against a throwaway key, not the maker's");
    }
    p->processes = std::make_shared<PosixProcesses>();
    p->statusBar = std::make_shared<QtStatusBar>(application);
    p->alerts = std::make_shared<QtAlerts>(application);
    p->libraryWindows = std::make_shared<QmlLibraryWindows>(application);
    p->settingsWindows = std::make_shared<QmlSettingsWindows>();

    p->desktopBackground = std::make_shared<DBusDesktopBackground>(
        QString::fromStdString(host->environment("XDG_CURRENT_DESKTOP").value_or("")),
        host->xdgFolders().data + "/drovane/backgrounds", QDBusConnection::sessionBus(),
        x11::otherDesktopProgram);
    auto loginItems = std::make_shared<XdgLoginItems>(host->xdgFolders().config, host->executablePath());
    if (auto error = loginItems->adoptEarlierEntry()) {
        log->line("Drovane: cannot rename the login item to " + loginItems->entryPath() + ": " + *error);
    }
    p->loginItems = loginItems;

    DesktopSystemEvents::Config events;
    events.thermalClassDirectory = host->systemPath("/sys/class/thermal");
    events.sessionId = host->environment("XDG_SESSION_ID");
    events.processId = static_cast<unsigned>(host->processId());
    events.userId = static_cast<unsigned>(::getuid());
    p->systemEvents = std::make_shared<DesktopSystemEvents>(std::move(events), p->mainQueue, log);
    return p;
}

} // namespace drovane::desktop
