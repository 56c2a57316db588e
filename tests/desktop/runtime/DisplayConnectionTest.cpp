#include "desktop/runtime/DisplayConnection.h"

#include "desktop/DesktopTestSupport.h"
#include "fakes/TempDir.h"

#include <QLocalServer>
#include <gtest/gtest.h>
#include <map>

namespace drovane::desktop {
namespace {

TEST(DisplayConnection, TheServersToLookForFollowThePlatformPluginsQtWillTry) {
    const DisplayServers both{true, true}, x11{true, false}, wayland{false, true};
    const struct {
        std::optional<std::string> qpaPlatform;
        std::optional<DisplayServers> servers;
    } rows[] = {
        // clang-format off
        {std::nullopt, both},
        {"", both},
        {";", both},
        {"xcb", x11},
        {"xcb:nomitshm", x11},
        {"wayland", wayland},
        {"wayland-egl;xcb", both},
        {"xcb;vnc", std::nullopt},
        {"offscreen", std::nullopt}, // needs no display server: nothing to check
        {"XCB", std::nullopt},       // not a plugin Qt knows: let Qt say so
        // clang-format on
    };
    for (const auto& row : rows) {
        EXPECT_EQ(displayServersFor(row.qpaPlatform), row.servers) << row.qpaPlatform.value_or("(unset)");
    }
}

// Regression: a start without a display was only found out by Qt, which aborts. A variable that
// is set is not enough: the server behind it must answer. (An empty DISPLAY and one naming no
// server are the program's own test, without any display.)
TEST(DisplayConnection, ADisplayCountsOnlyWhenItsServerAnswers) {
    fakes::TempDir runtime;
    testing::PrivateXServer x("640x480x24");
    ASSERT_FALSE(x.display().empty());
    QLocalServer compositor; // a Unix socket that accepts connections, as a compositor's does
    ASSERT_TRUE(compositor.listen(QString::fromStdString(runtime / "wayland-7")));
    runtime.write("wayland-stale", ""); // a socket file left by a compositor that has gone

    using Environment = std::map<std::string, std::string>;
    const struct {
        Environment environment;
        bool reachable;
    } rows[] = {
        {{}, false},
        {{{"DISPLAY", x.display()}}, true},
        {{{"DISPLAY", "not a display"}}, false},
        {{{"WAYLAND_DISPLAY", "wayland-7"}, {"XDG_RUNTIME_DIR", runtime.path()}}, true},
        {{{"WAYLAND_DISPLAY", runtime / "wayland-7"}}, true},
        {{{"WAYLAND_DISPLAY", "wayland-7"}}, false}, // a relative name needs the runtime folder
        {{{"WAYLAND_DISPLAY", "wayland-stale"}, {"XDG_RUNTIME_DIR", runtime.path()}}, false},
        {{{"DISPLAY", ":9999"}, {"WAYLAND_DISPLAY", runtime / "wayland-7"}}, true},
        // Only the servers of the plugins Qt will try count (which those are, the table above says).
        {{{"DISPLAY", x.display()}, {"QT_QPA_PLATFORM", "wayland"}}, false},
    };
    for (const auto& row : rows) {
        std::string trace;
        for (const auto& [name, value] : row.environment) {
            trace += name + "=" + value + " ";
        }
        SCOPED_TRACE(trace);
        EXPECT_EQ(displayReachable([&](const std::string& name) -> std::optional<std::string> {
                      auto it = row.environment.find(name);
                      return it == row.environment.end() ? std::nullopt : std::optional(it->second);
                  }),
                  row.reachable);
    }
}

} // namespace
} // namespace drovane::desktop
