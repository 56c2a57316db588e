// The composition root: the Linux desktop's host, log, running-copy messenger and platform handed
// to the entry point.

#include "app/EntryPoint.h"
#include "desktop/runtime/DesktopHost.h"
#include "desktop/runtime/DesktopPlatform.h"
#include "desktop/runtime/HeapTuning.h"
#include "desktop/runtime/RendererChoice.h"
#include "desktop/runtime/StderrLog.h"
#include "desktop/shell/DBusRunningInstance.h"
#include "support/Settings.h"

#include <string>
#include <vector>

int main(int argc, char** argv) {
    using namespace drovane;
    if (desktop::answerGlProbe(argc, argv)) {
        return 0;
    }
    desktop::tuneHeapForVideo();
    auto host = std::make_shared<desktop::DesktopHost>(std::vector<std::string>(argv, argv + argc));
    auto log = std::make_shared<desktop::StderrLog>();
    desktop::DBusRunningInstance running(Settings::standardDomain);
    return applicationMain(host, log, running, [&] { return desktop::makeDesktopPlatform(host, log); });
}
