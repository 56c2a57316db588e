#include "fakes/FakeAlerts.h"
#include "fakes/FakeSettingsWindows.h"
#include "fakes/ScriptedHttp.h"
#include "playback/EngineFixture.h"
#include "support/Settings.h"
#include "ui/SettingsWindowController.h"
#include "update/UpdateCheck.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

class SettingsWindowTest : public testing::EngineFixture {
protected:
    SettingsView view() { return SettingsView(fake.platform(), model); }
};

TEST_F(SettingsWindowTest, TheLoginSwitchShowsWhatTheLoginItemDid) {
    struct Case {
        const char* name;
        bool bundle, registeredBefore;
        std::optional<std::string> refusal;
        bool shownBefore, enabled, shownAfterTurningOn;
        int calls;
    };
    const Case cases[] = {
        {"bare executable", false, true, {}, false, false, false, 0},
        {"registers", true, false, {}, false, true, true, 1},
        {"refused", true, false, "needs approval", false, true, false, 1},
        {"already on", true, true, {}, true, true, true, 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.host->bundleId = c.bundle ? std::optional<std::string>("app.drovane") : std::nullopt;
        fake.loginItems->registered = c.registeredBefore;
        fake.loginItems->nextError = c.refusal;
        fake.loginItems->calls = 0;
        fake.log->clear();

        SettingsView v = view();
        EXPECT_EQ(v.launchAtLogin(), c.shownBefore);
        EXPECT_EQ(v.launchAtLoginEnabled(), c.enabled);
        v.setLaunchAtLogin(true);
        EXPECT_EQ(v.launchAtLogin(), c.shownAfterTurningOn);
        EXPECT_EQ(fake.loginItems->calls, c.calls);
        EXPECT_EQ(fake.log->countStartingWith("Drovane: launch at login on failed: "), c.refusal ? 1u : 0u);
    }
    fake.loginItems->nextError.reset();
    SettingsView v = view();
    v.setLaunchAtLogin(false);
    EXPECT_FALSE(v.launchAtLogin());
    EXPECT_FALSE(fake.loginItems->registered);
}

TEST_F(SettingsWindowTest, CheckForUpdatesRunsOneManualCheckOverTheSettingsWindow) {
    fake.host->info["DVVersion"] = "1.4";
    fake.http->script[Settings::versionURL().string()] = {
        "", 200, fakes::bytes(R"({"version": "1.5", "url": "https://drovane.app/"})")};
    auto controller = SettingsWindowController::create(fake.platform(), model);
    controller->show();
    controller->view()->checkForUpdates();
    EXPECT_TRUE(fake.http->tasks().empty()) << "the window came before the check: the link waits for it";

    std::vector<std::string> installs;
    auto check = UpdateCheck::create(fake.platform(), [&](const Release& r, std::weak_ptr<const Window>) {
        installs.push_back(r.version);
    });
    controller->view()->setUpdateCheck(check);
    controller->view()->checkForUpdates();
    controller->view()->checkForUpdates();
    EXPECT_EQ(fake.http->answerAll(), 1u) << "the second click finds a check running";
    fake.mainQueue->drain();
    ASSERT_EQ(fake.alerts->shown.size(), 1u);
    EXPECT_EQ(fake.alerts->shown[0].parent, controller->window().get()) << "a sheet on the settings window";
    fake.alerts->shown[0].completion({0, false});
    EXPECT_EQ(installs, std::vector<std::string>{"1.5"});
}

TEST_F(SettingsWindowTest, OneWindowKeepsTheSwitchesItReadAndStoresEachChange) {
    fake.defaults->set(Settings::autoUpdateKey, false);
    auto controller = SettingsWindowController::create(fake.platform(), model);
    controller->show();
    fake.defaults->set(Settings::autoUpdateKey, true);
    controller->show();
    EXPECT_EQ(fake.settingsWindows->made.size(), 1u);
    EXPECT_FALSE(controller->view()->autoUpdate()) << "switches are read once";

    // The low-power switch acts at once on the players (checked through the day of use); the
    // others only store.
    controller->view()->setRemindToMatch(false);
    EXPECT_EQ(fake.defaults->value(Settings::remindToMatchKey), Value(false));
    EXPECT_EQ(fake.defaults->value(Settings::autoUpdateKey), Value(true));
    controller->view()->setAutoUpdate(false);
    EXPECT_EQ(fake.defaults->value(Settings::autoUpdateKey), Value(false));
}

} // namespace
} // namespace drovane
