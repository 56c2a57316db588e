#include "ui/MatchReminder.h"

#include "fakes/FakeAlerts.h"
#include "fakes/FakeDesktopBackground.h"
#include "fakes/FakePlatform.h"
#include "support/Settings.h"
#include "ui/DesktopStill.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

class MatchReminderTest : public testing::Test {
protected:
    MatchReminderTest() { fake.images->setFilm(film, fakes::solidImage(64, 36, 90)); }
    void remind(const Window* over = nullptr) {
        MatchReminder::show(fake.platform(), "Tahoe", Url::fromFilePath(film), over);
    }
    void answer(int button, bool suppressed) { alerts->shown.back().completion({button, suppressed}); }
    // Lets the still be made and handed to the desktop.
    void finishStill() {
        if (auto queue = fake.taskQueues->queue("app.drovane.desktop-still")) {
            queue->runAll();
        }
        fake.mainQueue->advance(0);
    }

    fakes::FakePlatform fake;
    const std::string film = fake.host->tree() / "films/Tahoe Day.mov";
    std::shared_ptr<fakes::FakeAlerts> alerts = fake.alerts;
    std::shared_ptr<fakes::FakeDesktopBackground> background = fake.desktopBackground;
    const std::string folder = background->pictureFolder();
};

TEST_F(MatchReminderTest, ADesktopThatLetsNoProgramSetItsBackgroundIsOfferedTheStillAsAFile) {
    struct Row {
        bool settable, filmShown;
        std::string informative;
        std::vector<std::string> buttons;
        std::size_t pictures, revealed;
    };
    // clang-format off
    const Row rows[] = {
        {true, false, "Your desktop keeps its own background for the lock screen and for when Drovane is not running. Use a still of Tahoe there as well and they all show the same film.", {"Use as Desktop Background", "Not Now"}, 1, 0},
        {false, false, "Your desktop keeps its own background for the lock screen and for when Drovane is not running, and it lets no program change it. Save a still of Tahoe and choose it in your desktop's settings, and they all show the same film.", {"Save the Still", "Not Now"}, 0, 1},
        // Plasma shows the film through Drovane's plugin: a still would replace it.
        {true, true, "Drovane plays Tahoe as your desktop's background itself, under its icons and panels. Your desktop keeps its own background for the lock screen and for when Drovane is not running.", {"Already the Desktop Background"}, 0, 0},
    };
    // clang-format on
    for (const Row& row : rows) {
        SCOPED_TRACE(row.buttons[0]);
        background->settable = row.settable;
        background->film = row.filmShown;
        background->pictures.clear();
        fake.workspace->revealed.clear();
        remind();
        EXPECT_EQ(alerts->shown.back().content.informativeText, row.informative);
        EXPECT_EQ(alerts->shown.back().content.buttons, row.buttons);
        answer(0, false);
        finishStill();
        EXPECT_EQ(background->pictures.size(), row.pictures);
        EXPECT_EQ(fake.workspace->revealed,
                  std::vector<std::vector<std::string>>(row.revealed, {folder + "/Tahoe Day.jpg"}));
    }
}

TEST_F(MatchReminderTest, TheResponseStoresTheBoxAndActsOnTheFirstButton) {
    struct Case {
        const char* name;
        int button;
        bool suppressed, remindsAfter, stillUsed;
    };
    const Case cases[] = {
        {"not now", 1, false, true, false},    {"not now, stop", 1, true, false, false},
        {"use it", 0, false, true, true},      {"use it, stop", 0, true, false, true},
        {"dismissed", -1, false, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fake.defaults->set(Settings::remindToMatchKey, true);
        background->pictures.clear();
        remind();
        answer(c.button, c.suppressed);
        finishStill();
        EXPECT_EQ(Settings::remindToMatch(), c.remindsAfter);
        EXPECT_EQ(background->pictures.size(), c.stillUsed ? 1u : 0u);
        EXPECT_TRUE(fake.workspace->openedUrls.empty());
    }
    const std::size_t shown = alerts->shown.size();
    fake.defaults->set(Settings::remindToMatchKey, false);
    remind();
    EXPECT_EQ(alerts->shown.size(), shown) << "turned off: nothing";
}

TEST_F(MatchReminderTest, ADesktopThatRefusesTheStillIsShownItsFile) {
    background->accepts = false;
    DesktopStill::useAsDesktopBackground(fake.platform(), film);
    finishStill();
    EXPECT_EQ(fake.workspace->revealed, std::vector<std::vector<std::string>>{{folder + "/Tahoe Day.jpg"}});
}

TEST_F(MatchReminderTest, AFilmWithoutAFrameLeavesTheBackgroundAloneAndLogsOnce) {
    const std::string corrupt = fake.host->tree().write("films/broken.mov", "not a film");
    DesktopStill::useAsDesktopBackground(fake.platform(), corrupt);
    finishStill();
    EXPECT_TRUE(background->pictures.empty());
    EXPECT_TRUE(fake.workspace->revealed.empty());
    EXPECT_FALSE(std::filesystem::exists(folder + "/broken.jpg"));
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: no desktop background from " + corrupt +
                                                          ": cannot open " + corrupt});
}

} // namespace
} // namespace drovane
