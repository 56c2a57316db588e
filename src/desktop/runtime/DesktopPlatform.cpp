#include "desktop/runtime/DesktopPlatform.h"

#include "desktop/media/QtFfmpegImages.h"
#include "desktop/net/CurlHttp.h"
#include "desktop/plasma/PlasmaWaylandCoverage.h"
#include "desktop/plasma/PlasmaWindowServer.h"
#include "desktop/plasma/PlasmaX11Coverage.h"
#include "desktop/render/NoWindowServer.h"
#include "desktop/render/quick/QuickVideo.h"
#include "desktop/render/quick/QuickWallpaperWindow.h"
#include "desktop/render/software/SoftwareVideo.h"
#include "desktop/render/software/SoftwareWallpaperWindow.h"
#include "desktop/render/stream/StreamWindowServer.h"
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
#include "desktop/wayland/LayerWindowServer.h"
#include "desktop/wayland/WaylandConnection.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowOcclusion.h"
#include "platform/Log.h"
#include "support/Settings.h"

#include <QDBusConnectionInterface>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <filesystem>
#include <unistd.h>

namespace drovane::desktop {

namespace {

// Plasma's way where the session is Plasma's and plasmashell and PipeWire answer: `plasma` is
// then the window server. Otherwise `session` as it was, with a line saying why where it is
// Plasma's, and any wallpaper a killed copy left in Plasma given back.
DisplaySession onPlasma(const DisplaySession& session, const DesktopHost& host,
                        const std::shared_ptr<Log>& log, std::shared_ptr<PlasmaWindowServer>& plasma) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    PlasmaProbe probe;
    probe.shellRunning = bus.interface() &&
                         bus.interface()->isServiceRegistered(QStringLiteral("org.kde.plasmashell")).value();
    std::error_code ec;
    probe.pipeWire = std::filesystem::is_socket(
        pipeWireSocket([&](const std::string& name) { return host.environment(name); }), ec);
    probe.pluginInstalled =
        !QStandardPaths::locate(QStandardPaths::GenericDataLocation,
                                QStringLiteral("plasma/wallpapers/app.drovane.wallpaper/metadata.json"))
             .isEmpty();
    std::string why;
    DisplaySession chosen = preferPlasma(session, probe, why);
    std::shared_ptr<StreamWindowServer> streams;
    if (chosen.way == WallpaperWay::PlasmaWallpaper && !(streams = StreamWindowServer::open(log))) {
        probe.pipeWire = false;
        chosen = preferPlasma(session, probe, why);
    }
    if (!why.empty()) {
        log->line(why);
    }
    auto wallpaper = std::make_unique<PlasmaWallpaper>(
        bus, host.settingsDirectory() + "/plasma-wallpapers.json",
        QString::fromStdString(host.xdgFolders().config + "/plasma-org.kde.plasma.desktop-appletsrc"), log);
    if (!streams) {
        if (probe.shellRunning) {
            wallpaper->giveBack();
        }
        return chosen;
    }
    std::unique_ptr<PlasmaCoverage> coverage;
    if (chosen.server == DisplayServer::X11) {
        coverage = PlasmaX11Coverage::open("");
    } else if (!(coverage = PlasmaWaylandCoverage::open())) {
        log->line(
            "Drovane: KWin does not tell Drovane which windows are full screen, so windows covering the "
            "film are not followed");
    }
    plasma = std::make_shared<PlasmaWindowServer>(streams, std::move(wallpaper), std::move(coverage),
                                                  [weak = std::weak_ptr(streams)](Rect screen, bool covered) {
                                                      if (auto server = weak.lock()) {
                                                          server->setCovered(screen, covered);
                                                      }
                                                  });
    streams->onStreamsChanged = [weak = std::weak_ptr(plasma)](std::vector<ScreenStream> published) {
        if (auto server = weak.lock()) {
            server->streamsChanged(std::move(published));
        }
    };
    return chosen;
}

// A program of this user named `name` runs.
bool userRuns(const QByteArray& name) {
    for (const QString& pid : QDir("/proc").entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile comm("/proc/" + pid + "/comm");
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == name &&
            QFileInfo("/proc/" + pid).ownerId() == ::getuid()) {
            return true;
        }
    }
    return false;
}

} // namespace

std::shared_ptr<Platform> makeDesktopPlatform(std::shared_ptr<DesktopHost> host, std::shared_ptr<Log> log) {
    SessionEnvironment sessionEnvironment{host->environment("XDG_SESSION_TYPE"),
                                          host->environment("WAYLAND_DISPLAY"), host->environment("DISPLAY"),
                                          host->environment("XDG_CURRENT_DESKTOP")};
    sessionEnvironment.plasmaShell = userRuns("plasmashell");
    // The compositor is asked what it offers on a connection that the wallpaper then keeps.
    std::shared_ptr<wayland::WaylandConnection> wayland;
    CompositorOffer offer;
    if (chooseDisplaySession(sessionEnvironment).server == DisplayServer::Wayland) {
        wayland = wayland::WaylandConnection::open(log);
        if (wayland) {
            offer = {wayland->hasLayerShell(), wayland->followsToplevels()};
        }
    }
    DisplaySession session = chooseDisplaySession(sessionEnvironment, offer);
    if (session.way != WallpaperWay::LayerShell) {
        wayland.reset();
    }
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
    // Qt takes the next plugin of a list when XWayland does not answer: the start-up line names
    // the one it took.
    if (session.qtPlatform.find(';') != std::string::npos) {
        session.qtPlatform = QGuiApplication::platformName().toStdString();
    }

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
    std::shared_ptr<PlasmaWindowServer> plasma;
    session = onPlasma(session, *host, log, plasma);
    const RendererChoice renderer =
        session.showsWallpaper() && !plasma && !wayland
            ? chooseRenderer(host->environment("DROVANE_RENDERER"), probeGlRendererApart)
            : RendererChoice{Renderer::Software, {}};
    log->line(startupLine(session, renderer));
    if (plasma) {
        p->windowServer = plasma;
        p->video = std::make_shared<SoftwareVideo>(log);
    } else if (wayland) {
        // swaybg shares the background layer, and sway before 1.8 stacks a newer surface under
        // the older ones there: the film goes on the bottom layer instead, still under every window.
        const bool shared = userRuns("swaybg");
        if (shared) {
            log->line(
                "Drovane: swaybg draws a background too; the wallpapers go on the bottom layer, above it "
                "and under every window");
        }
        wayland->startDispatching();
        p->screens = std::make_shared<wayland::WaylandScreens>(wayland);
        p->windowServer = std::make_shared<wayland::LayerWindowServer>(
            wayland, shared ? wayland::ShellLayer::Bottom : wayland::ShellLayer::Background);
        p->video = std::make_shared<SoftwareVideo>(log);
    } else if (!session.showsWallpaper()) {
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
    p->statusBar =
        std::make_shared<QtStatusBar>(application, std::string(), session.server == DisplayServer::Wayland);
    p->alerts = std::make_shared<QtAlerts>(application);
    p->libraryWindows = std::make_shared<QmlLibraryWindows>(application);
    p->settingsWindows = std::make_shared<QmlSettingsWindows>();

    auto background = std::make_shared<DBusDesktopBackground>(
        QString::fromStdString(host->environment("XDG_CURRENT_DESKTOP").value_or("")),
        host->xdgFolders().data + "/drovane/backgrounds", QDBusConnection::sessionBus(),
        x11::otherDesktopProgram);
    if (plasma) {
        background->setFilmShown([weak = std::weak_ptr(plasma)] {
            auto server = weak.lock();
            return server && server->isWallpaper();
        });
    }
    p->desktopBackground = background;
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
