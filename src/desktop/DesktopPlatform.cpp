#include "desktop/DesktopPlatform.h"

#include "desktop/CurlHttp.h"
#include "desktop/DesktopHost.h"
#include "desktop/DesktopSystemEvents.h"
#include "desktop/QtApplication.h"
#include "desktop/QtImages.h"
#include "desktop/QtMainQueue.h"
#include "desktop/QtScreens.h"
#include "desktop/QtVideo.h"
#include "desktop/QtWindowServer.h"
#include "desktop/QtWorkspace.h"
#include "desktop/StderrLog.h"
#include "desktop/SystemClock.h"
#include "desktop/ThreadTaskQueues.h"
#include "desktop/X11WindowOcclusion.h"
#include "desktop/XdgLoginItems.h"

#include <unistd.h>

namespace drovane::desktop {

std::shared_ptr<Platform> makeDesktopPlatform(std::vector<std::string> arguments) {
    // Before any other Qt object; every Qt-based member holds it, so it goes last.
    auto application = sharedApplication(arguments);

    auto p = std::make_shared<Platform>();
    auto host = std::make_shared<DesktopHost>(std::move(arguments));
    p->host = host;
    p->log = std::make_shared<StderrLog>();
    p->clock = std::make_shared<SystemClock>();
    p->images = std::make_shared<QtImages>();
    p->http = std::make_shared<CurlHttp>();
    p->mainQueue = std::make_shared<QtMainQueue>(application);
    p->taskQueues = std::make_shared<ThreadTaskQueues>();
    p->screens = std::make_shared<QtScreens>(application);
    p->windowServer = std::make_shared<QtWindowServer>(application, X11WindowOcclusion::open(""));
    p->video = std::make_shared<QtVideo>(application);
    p->workspace = std::make_shared<QtWorkspace>(application);

    std::string configHome = host->environment("XDG_CONFIG_HOME").value_or("");
    if (configHome.empty() || configHome.front() != '/') {
        configHome = host->homeDirectory() + "/.config";
    }
    p->loginItems = std::make_shared<XdgLoginItems>(configHome, host->executablePath());

    DesktopSystemEvents::Config events;
    events.thermalClassDirectory = host->systemPath("/sys/class/thermal");
    events.sessionId = host->environment("XDG_SESSION_ID");
    events.processId = static_cast<unsigned>(host->processId());
    events.userId = static_cast<unsigned>(::getuid());
    p->systemEvents = std::make_shared<DesktopSystemEvents>(std::move(events));
    return p;
}

} // namespace drovane::desktop
