#include "desktop/DesktopPlatform.h"

#include "desktop/CurlHttp.h"
#include "desktop/DesktopHost.h"
#include "desktop/DesktopSystemEvents.h"
#include "desktop/QtImages.h"
#include "desktop/StderrLog.h"
#include "desktop/SystemClock.h"
#include "desktop/XdgLoginItems.h"

#include <unistd.h>

namespace drovane::desktop {

std::shared_ptr<Platform> makeDesktopPlatform(std::vector<std::string> arguments) {
    auto p = std::make_shared<Platform>();
    auto host = std::make_shared<DesktopHost>(std::move(arguments));
    p->host = host;
    p->log = std::make_shared<StderrLog>();
    p->clock = std::make_shared<SystemClock>();
    p->images = std::make_shared<QtImages>();
    p->http = std::make_shared<CurlHttp>();

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
