#include "LaunchFixture.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakeSettingsWindows.h"
#include "ui/SettingsWindowController.h"

namespace drovane {
namespace {

class SettingsLaunchTest : public testing::LaunchFixture {
protected:
    SettingsLaunchTest() { fake.platform().http = nullptr; }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const auto& shown : fake.alerts->shown) {
            out.push_back(shown.content.message);
        }
        return out;
    }
};

TEST_F(SettingsLaunchTest, SettingsOptionShowsTheWindowAndPicturesItAfterFourSeconds) {
    auto delegate = launch({"--screenshot", "/tmp/s.png", "--settings"});
    ASSERT_EQ(fake.settingsWindows->made.size(), 1u);
    EXPECT_TRUE(fake.settingsWindows->made[0]->visible);
    fake.mainQueue->advance(3.9);
    EXPECT_TRUE(fake.settingsWindows->made[0]->snapshots.empty());
    fake.mainQueue->advance(0.2);
    EXPECT_EQ(fake.settingsWindows->made[0]->snapshots, std::vector<std::string>{"/tmp/s.png"});
    EXPECT_EQ(fake.log->countStartingWith("Drovane: snapshot written to /tmp/s.png"), 1u);

    delegate->showSettings();
    EXPECT_EQ(fake.settingsWindows->made.size(), 1u) << "one controller for the whole run";
    EXPECT_EQ(fake.settingsWindows->made[0]->showings, 2);

    // The launch's update check is the one the window's link runs (here without a network).
    delegate->settingsWindow->view()->checkForUpdates();
    fake.mainQueue->drain();
    EXPECT_EQ(messages(), std::vector<std::string>{"Could not reach the update server."});
}

TEST_F(SettingsLaunchTest, EachFilmChoiceRemindsWithItsDisplayName) {
    const Url catalogued = Url::fromFilePath(aerials.addSystemFilm("Tahoe/Lake Tahoe Landscape.mov"));
    const Url loose = Url::fromFilePath(fake.host->tree().write("elsewhere/My Trip.mov", "film"));
    auto delegate = launch({});
    const std::string label = library->allVideos().at(0).label;
    delegate->model->switchVideo(catalogued);
    delegate->model->switchVideo(loose);
    delegate->model->switchVideo(catalogued);
    EXPECT_EQ(messages(), (std::vector<std::string>{"Playing " + label + ".", "Playing My Trip.",
                                                    "Playing " + label + "."}));
}

} // namespace
} // namespace drovane
