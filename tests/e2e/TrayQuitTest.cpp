#include "desktop/ChildProcess.h"
#include "desktop/shell/FakePanel.h"
#include "fakes/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using namespace desktop::testing;

// Quit in the tray once crashed on the way out: the wallpaper's render thread outlived the
// application object, torn down among the static destructors.
TEST(TrayQuit, QuitFromThePanelEndsTheProgramWithStatusZero) {
    ensureQtApplication();
    fakes::TempDir dir;
    const std::string library = dir / "library";
    ASSERT_EQ(std::system(("'" SAMPLE_LIBRARY_TOOL "' --out '" + library + "' >/dev/null").c_str()), 0);
    std::filesystem::create_directories(dir / "bus");
    PrivateBus bus(dir / "bus", "session");
    ASSERT_FALSE(bus.address().empty());
    Panel panel(bus);
    panel.startWatcher();

    ChildProcess drovane({DROVANE_BINARY}, {{"HOME", library + "/home"},
                                            {"XDG_CONFIG_HOME", library + "/home/.config"},
                                            {"XDG_CACHE_HOME", dir / "cache"},
                                            {"XDG_RUNTIME_DIR", dir / "run"},
                                            {"DROVANE_SYSTEM_ROOT", library + "/root"},
                                            {"DBUS_SESSION_BUS_ADDRESS", bus.address()}});
    ASSERT_TRUE(waitFor([&] { return !panel.items.isEmpty(); }, nullptr, 20)) << "the item registers";
    drovane.waitForExit(3s); // playing for a moment: the render thread runs
    panel.aboutToShow();
    const int quit = child(panel.layout(), QStringLiteral("Quit")).id;
    ASSERT_NE(quit, 0);
    panel.click(quit);
    EXPECT_EQ(drovane.waitForExit(10s), 0);
    for (const auto& line : drovane.lines()) {
        EXPECT_TRUE(line.starts_with("Drovane: ")) << line;
    }
}

} // namespace
} // namespace drovane::e2e
