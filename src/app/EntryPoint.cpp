#include "app/EntryPoint.h"

#include "app/AppDelegate.h"
#include "app/FileDefaultsStore.h"
#include "app/InstanceLock.h"
#include "app/LaunchOptions.h"
#include "library/Library.h"
#include "platform/Platform.h"
#include "platform/RunningInstance.h"
#include "support/Settings.h"

#include <cstdio>

namespace drovane {

namespace {
// The delegate lives for the whole process.
std::shared_ptr<AppDelegate> g_delegate;
} // namespace

int applicationMain(std::shared_ptr<Host> host, std::shared_ptr<Log> log, RunningInstance& running,
                    const std::function<std::shared_ptr<Platform>()>& makePlatform) {
    installTerminationHandler();
    auto arguments = host->arguments();
    if (!arguments.empty()) {
        arguments.erase(arguments.begin());
    }
    if (auto text = informationAsked(arguments, Settings::version(*host))) {
        // Needs no display and no lock: it answers even beside a running copy.
        const bool written = std::fputs(text->c_str(), stdout) >= 0;
        return std::fflush(stdout) == 0 && written ? 0 : 1;
    }
    InstanceLock::acquireOrExit(*host, *log, [&] {
        // What the platform does for a second launch elsewhere: the running copy opens the
        // links, or shows itself again.
        if (!running.forward(LaunchOptions::read(arguments).urls)) {
            log->line("Drovane: the running copy could not be reached");
        }
    });

    std::shared_ptr<Platform> platform = makePlatform();
    if (!platform) {
        return 1; // nothing to show the wallpaper on; the platform has said why
    }
    platform->host = host;
    platform->log = log;
    platform->defaults = FileDefaultsStore::open(host->settingsDirectory(), Settings::standardDomain, log);
    installPlatform(platform);

    g_delegate = AppDelegate::create(*platform, std::make_shared<Library>(host, log));
    platform->workspace->setActivationPolicy(ActivationPolicy::Accessory);
    const int status = platform->workspace->runEventLoop(g_delegate);
    // An orderly end (the status menu's Quit): the windows, players and the tray item go while
    // the application object still lives, not in the static destructors after main().
    g_delegate.reset();
    installPlatform(nullptr);
    platform.reset();
    return status;
}

} // namespace drovane
