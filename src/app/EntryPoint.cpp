#include "app/EntryPoint.h"

#include "app/AppDelegate.h"
#include "app/FileDefaultsStore.h"
#include "app/InstanceLock.h"
#include "app/LaunchOptions.h"
#include "library/Library.h"
#include "platform/Platform.h"
#include "platform/RunningInstance.h"
#include "support/Settings.h"

namespace drovane {

namespace {
// The delegate lives for the whole process.
std::shared_ptr<AppDelegate> g_delegate;
} // namespace

int applicationMain(std::shared_ptr<Host> host, std::shared_ptr<Log> log, RunningInstance& running,
                    const std::function<std::shared_ptr<Platform>()>& makePlatform) {
    installTerminationHandler();
    InstanceLock::acquireOrExit(*host, *log, [&] {
        // What the platform does for a second launch elsewhere: the running copy opens the
        // links, or shows itself again. Unreachable, the lock line alone is the answer.
        auto arguments = host->arguments();
        if (!arguments.empty()) {
            arguments.erase(arguments.begin());
        }
        running.forward(LaunchOptions::read(arguments).urls);
    });

    std::shared_ptr<Platform> platform = makePlatform();
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
