#include "update/UpdateCheck.h"

#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "support/Settings.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

// The fake's alerts, noting as each shows the time of the last check stored by then.
class NotingAlerts final : public Alerts {
public:
    explicit NotingAlerts(fakes::FakePlatform& fake) : m_fake(fake) {}
    std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window* parent,
                                      std::function<void(AlertResponse)> completion) override {
        storedAtShow = m_fake.defaults->value(Settings::lastUpdateCheckKey);
        return m_fake.alerts->show(alert, parent, std::move(completion));
    }
    std::optional<Value> storedAtShow;

private:
    fakes::FakePlatform& m_fake;
};

class UpdateCheckTest : public ::testing::Test {
protected:
    UpdateCheckTest() {
        fake.host->info["DVVersion"] = "1.4";
        fake.platform().alerts = noting;
        check = UpdateCheck::create(fake.platform(), [this](const Release& r, std::weak_ptr<const Window>) {
            installed.push_back(r.version);
        });
    }

    void feed(const std::string& body, std::optional<int> status = 200, const std::string& error = "") {
        fake.http->script[Settings::versionURL().string()] = {error, status, fakes::bytes(body)};
    }
    // Runs a check to its end; the alert it showed, if any.
    std::optional<AlertContent> checked(bool manual) {
        const std::size_t before = alerts->shown.size();
        check->run({}, manual);
        fake.http->answerAll();
        fake.mainQueue->drain();
        if (alerts->shown.size() == before) {
            return std::nullopt;
        }
        return alerts->shown.back().content;
    }

    fakes::FakePlatform fake;
    void respond(int button) { alerts->shown.back().completion({button, false}); }

    std::shared_ptr<NotingAlerts> noting = std::make_shared<NotingAlerts>(fake);
    std::shared_ptr<fakes::FakeAlerts> alerts = fake.alerts;
    std::shared_ptr<UpdateCheck> check;
    std::vector<std::string> installed;
};

TEST_F(UpdateCheckTest, EachOutcomeIsShownAsTheTableSaysForManualAndAutomaticChecks) {
    const std::string newer = R"({"version": "1.5", "url": "https://drovane.app/", "zip": null, "notes": 3})";
    const std::vector<std::string> couldNot = {"Open Website", "OK"};
    struct Case {
        const char* name;
        std::string body;
        std::optional<int> status;
        std::string error, skipped, manualMessage;
        std::vector<std::string> manualButtons;
        std::string automaticMessage; // empty: nothing shown
        std::vector<std::string> automaticButtons;
    };
    // clang-format off
    const Case cases[] = {
        {"unreachable","", std::nullopt,"timed out","","Could not reach the update server.", couldNot,"", {}},
        {"a 404 page","<html>Not Found</html>", 404,"","","Could not read the version.", couldNot,"", {}},
        {"no url",R"({"version": "1.5", "zip": "https://x/a.zip"})", 200,"","","Could not read the version.", couldNot,"", {}},
        {"a number for a version",R"({"version": 1.5, "url": "u"})", 200,"","","Could not read the version.", couldNot,"", {}},
        {"the same version",R"({"version": "1.4.0", "url": "u"})", 200,"","","Drovane 1.4 is the current version.", {"OK"},"", {}},
        {"a newer one", newer, 200,"","","Drovane 1.5 is out.", {"Update Now", "Later"},"Drovane 1.5 is out.", {"Update Now", "Later", "Skip This Version"}},
        {"a newer one, skipped", newer, 200,"","1.5","Drovane 1.5 is out.", {"Update Now", "Later"},"", {}},
        {"a newer one, another skipped", newer, 200,"","1.5.0","Drovane 1.5 is out.", {"Update Now", "Later"},"Drovane 1.5 is out.", {"Update Now", "Later", "Skip This Version"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        feed(c.body, c.status, c.error);
        fake.defaults->set(Settings::skippedVersionKey, c.skipped);
        for (const bool manual : {true, false}) {
            fake.defaults->remove(Settings::lastUpdateCheckKey);
            const auto shown = checked(manual);
            const std::string& message = manual ? c.manualMessage : c.automaticMessage;
            EXPECT_EQ(shown ? shown->message : "", message) << (manual ? "manual" : "automatic");
            if (shown) {
                EXPECT_EQ(shown->buttons, manual ? c.manualButtons : c.automaticButtons);
                EXPECT_EQ(noting->storedAtShow, Value(fake.clock->now())) << "stored before the alert shows";
            }
            EXPECT_EQ(fake.defaults->value(Settings::lastUpdateCheckKey), Value(fake.clock->now()));
            EXPECT_FALSE(check->busy());
        }
    }
}

TEST_F(UpdateCheckTest, TheButtonsInstallSkipOrOpenTheSite) {
    feed(R"({"version": "1.5", "url": "u"})");
    checked(false);
    respond(0);
    EXPECT_EQ(installed, std::vector<std::string>{"1.5"});
    checked(false);
    respond(1); // Later
    checked(false);
    respond(2);
    EXPECT_EQ(fake.defaults->string(Settings::skippedVersionKey), "1.5");
    EXPECT_FALSE(checked(false)) << "a skipped release is not offered again automatically";
    EXPECT_EQ(installed.size(), 1u);

    feed("", std::nullopt, "connection refused");
    checked(true);
    respond(1);
    EXPECT_TRUE(fake.workspace->openedUrls.empty());
    checked(true);
    respond(0);
    EXPECT_EQ(fake.workspace->openedUrls, std::vector<Url>{Settings::siteURL()});
}

// At launch, 12 s on, when automatic updates are on, the program runs from a bundle with an
// identifier, and more than a day has passed since the last check.
TEST_F(UpdateCheckTest, TheAutomaticCheckRunsTwelveSecondsAfterLaunchOnceADayFromABundle) {
    feed(R"({"version": "1.5", "url": "u"})");
    const Date now = fake.clock->now();
    const Date due = now.addingSeconds(UpdateCheck::automaticDelaySeconds);
    struct Case {
        const char* name;
        std::optional<bool> autoUpdate;
        bool bundled;
        std::optional<double> secondsSinceLastCheck;
        bool runs;
    };
    const Case cases[] = {
        {"never checked", std::nullopt, true, std::nullopt, true},
        {"a day and a second ago", true, true, 86'401, true},
        {"exactly a day ago", true, true, 86'400, false},
        {"automatic updates off", false, true, std::nullopt, false},
        {"no bundle identifier", true, false, std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        c.autoUpdate ? fake.defaults->set(Settings::autoUpdateKey, *c.autoUpdate)
                     : fake.defaults->remove(Settings::autoUpdateKey);
        fake.host->bundleId = c.bundled ? std::optional<std::string>("app.drovane") : std::nullopt;
        c.secondsSinceLastCheck
            ? fake.defaults->set(Settings::lastUpdateCheckKey, due.addingSeconds(-*c.secondsSinceLastCheck))
            : fake.defaults->remove(Settings::lastUpdateCheckKey);
        const auto requestsBefore = fake.http->requested.size();
        check->scheduleAutomaticCheck();
        fake.mainQueue->advance(UpdateCheck::automaticDelaySeconds - 0.01);
        EXPECT_EQ(fake.http->requested.size(), requestsBefore) << "not before 12 s";
        fake.mainQueue->advance(0.01);
        EXPECT_EQ(fake.http->requested.size(), requestsBefore + (c.runs ? 1 : 0));
        fake.http->answerAll();
        fake.mainQueue->drain();
        fake.clock->set(now);
    }
}

} // namespace
} // namespace drovane
