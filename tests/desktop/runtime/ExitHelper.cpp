// Builds the desktop platform, shows a wallpaper window, runs the event loop briefly and returns
// from main with the platform still installed, as the application does after terminate().

#include "desktop/runtime/DesktopHost.h"
#include "desktop/runtime/DesktopPlatform.h"
#include "desktop/runtime/StderrLog.h"
#include "platform/Platform.h"

#include <QApplication>
#include <QTimer>

int main(int argc, char** argv) {
    using namespace drovane;
    auto platform = desktop::makeDesktopPlatform(
        std::make_shared<desktop::DesktopHost>(std::vector<std::string>(argv, argv + argc)),
        std::make_shared<desktop::StderrLog>());
    installPlatform(platform);
    static std::shared_ptr<WallpaperWindow> window =
        platform->windowServer->makeWallpaperWindow(Rect{{0, 0}, {320, 180}});
    window->orderFront();
    platform->mainQueue->postAfter(0.2, [] { drovane::platform().workspace->terminate(); });
    struct Delegate final : ApplicationDelegate {
        void applicationDidFinishLaunching() override {}
        void openUrls(const std::vector<Url>&) override {}
        bool applicationShouldHandleReopen(bool) override { return false; }
    };
    return platform->workspace->runEventLoop(std::make_shared<Delegate>());
}
