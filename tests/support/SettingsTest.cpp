#include "support/Settings.h"

#include "fakes/FakePlatform.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

class SettingsTest : public testing::Test {
protected:
    fakes::FakePlatform fake;
};

TEST_F(SettingsTest, StoredValuesOfTheRightTypeAreHonouredAndOthersReadTheDefault) {
    EXPECT_TRUE(Settings::pauseOnLowPower() && Settings::remindToMatch() && Settings::autoUpdate());
    EXPECT_EQ(Settings::lastUpdateCheck(), Date::distantPast());
    EXPECT_EQ(fake.defaults->writeCount(), 0) << "reading the defaults never writes them";
    fake.defaults->set("pauseOnLowPower", "no");
    fake.defaults->set("remindToMatch", 0);
    fake.defaults->set("autoUpdate", false);
    fake.defaults->set("lastUpdateCheck", "2026-01-01");
    EXPECT_TRUE(Settings::pauseOnLowPower() && Settings::remindToMatch());
    EXPECT_FALSE(Settings::autoUpdate());
    EXPECT_EQ(Settings::lastUpdateCheck(), Date::distantPast());
    fake.defaults->set("pauseOnLowPower", false);
    fake.defaults->set("lastUpdateCheck", Date{7});
    EXPECT_FALSE(Settings::pauseOnLowPower());
    EXPECT_EQ(Settings::lastUpdateCheck(), Date{7});
}

TEST_F(SettingsTest, VersionComesFromTheFirstSourceThatHasOne) {
    const std::string folder = fake.host->tree().path() + "/bin";
    fake.host->args = {folder + "/drovane"};
    EXPECT_EQ(Settings::version(), "dev"); // no dictionary entries, no VERSION file

    fake.host->tree().write("bin/VERSION", "  \n\t1.4.2\r\n");
    EXPECT_EQ(Settings::version(), "1.4.2");

    fake.host->info["CFBundleShortVersionString"] = "1.5";
    EXPECT_EQ(Settings::version(), "1.5");
    fake.host->info["DVVersion"] = "1.5 (build 7)";
    EXPECT_EQ(Settings::version(), "1.5 (build 7)");
    // A value of the wrong type counts as absent.
    fake.host->info["DVVersion"] = 3;
    EXPECT_EQ(Settings::version(), "1.5");
    fake.host->info["CFBundleShortVersionString"] = true;
    EXPECT_EQ(Settings::version(), "1.4.2");

    fake.host->tree().write("bin/VERSION", " \n");
    EXPECT_EQ(Settings::version(), ""); // an empty file is a version too
}

TEST_F(SettingsTest, TheSiteRootComesFromTheEnvironmentWhenValid) {
    const struct {
        std::optional<std::string> environment;
        std::string root;
        bool logged;
    } cases[] = {
        {"http://127.0.0.1:8123/", "http://127.0.0.1:8123", false},
        {"https://example.test//", "https://example.test", false},
        {std::nullopt, DROVANE_SITE_URL, false},
        {"", DROVANE_SITE_URL, false},
        {"not a url", DROVANE_SITE_URL, true},
        {"/relative/path", DROVANE_SITE_URL, true},
    };
    for (const auto& c : cases) {
        fake.host->env.erase("DROVANE_SITE_URL");
        if (c.environment) {
            fake.host->env["DROVANE_SITE_URL"] = *c.environment;
        }
        fake.log->clear();
        EXPECT_EQ(Settings::detail::siteRoot(*fake.host, *fake.log).string(), c.root)
            << c.environment.value_or("unset");
        EXPECT_EQ(fake.log->lines().size(), c.logged ? 1u : 0u) << c.environment.value_or("unset");
    }
}

TEST_F(SettingsTest, PreviewAddressesKeepTheIdentifierInOneSegmentOfTheRoot) {
    const std::string root = Settings::siteURL().string();
    EXPECT_EQ(Settings::previewURL("A1B2-C3").string(), root + "/preview/A1B2-C3.webp");
    // An identifier is one path segment, never a way out of "/preview/".
    EXPECT_EQ(Settings::previewURL("../a b?c#d").string(), root + "/preview/..%2Fa%20b%3Fc%23d.webp");
    // Computed once: a later change of the environment is not seen.
    fake.host->env["DROVANE_SITE_URL"] = "http://other";
    EXPECT_EQ(Settings::siteURL().string(), root);
}

TEST_F(SettingsTest, FeedbackAddressDescribesTheMachineEncoded) {
    fake.host->info["DVVersion"] = "2.0 beta&1";
    fake.host->osVersion = {12, 0, 0}; // "12" from os-release: no minor or patch given
    fake.host->model = "ThinkPad X1 Carbon Gen 9";
    fake.screens->setFrames({Rect{{0, 0}, {100, 100}}, Rect{{100, 0}, {100, 100}}});
    EXPECT_EQ(
        Settings::feedbackFormURL().string(),
        Settings::siteURL().string() +
            "/feedback/?app=2.0%20beta%261&system=12.0.0&mac=ThinkPad%20X1%20Carbon%20Gen%209&displays=2");
    fake.host->model = "";
    EXPECT_EQ(Settings::feedbackFormURL().queryItems()[2].value, "Mac");
}

// That a bare executable leaves the login items alone is the settings window's test.
TEST_F(SettingsTest, LaunchAtLoginFailuresAreLoggedAndNothingIsStored) {
    fake.host->bundleId = "app.drovane";
    Settings::setLaunchAtLogin(true);
    EXPECT_TRUE(fake.loginItems->registered);
    fake.loginItems->nextError = "Permission denied";
    Settings::setLaunchAtLogin(false);
    EXPECT_TRUE(fake.loginItems->registered);
    EXPECT_EQ(fake.log->lines(),
              std::vector<std::string>{"Drovane: launch at login off failed: Permission denied"});
    EXPECT_EQ(fake.defaults->writeCount(), 0);
}

} // namespace
} // namespace drovane
