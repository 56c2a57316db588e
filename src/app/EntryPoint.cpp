#include "app/EntryPoint.h"

#include "app/AppDelegate.h"
#include "app/InstanceLock.h"
#include "platform/Platform.h"

namespace drovane {

namespace {
// The delegate lives for the whole process.
std::shared_ptr<AppDelegate> g_delegate;
} // namespace

int applicationMain() {
    installTerminationHandler();
    InstanceLock::acquireOrExit();
    g_delegate = AppDelegate::create();
    auto& workspace = *platform().workspace;
    workspace.setActivationPolicy(ActivationPolicy::Accessory);
    return workspace.runEventLoop(g_delegate);
}

} // namespace drovane
