#include "app/AppDelegate.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/FakeSettingsWindows.h"
#include "library/Library.h"
#include "playback/AppModel.h"
#include "ui/SettingsWindowController.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

class AlertsSeen final : public Alerts {
public:
    std::shared_ptr<AlertHandle> show(const AlertContent& alert, const Window*,
                                      std::function<void(AlertResponse)>) override {
        messages.push_back(alert.message);
        return nullptr;
    }
    std::vector<std::string> messages;
};

class SettingsLaunchTest : public testing::Test {
protected:
    SettingsLaunchTest() {
        fake.platform().alerts = alerts;
        fake.platform().http = nullptr;
    }
    std::shared_ptr<AppDelegate> launch(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "/opt/drovane/drovane");
        fake.host->args = arguments;
        auto delegate = AppDelegate::create(fake.platform(), library);
        delegate->applicationDidFinishLaunching();
        return delegate;
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<AlertsSeen> alerts = std::make_shared<AlertsSeen>();
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
    EXPECT_EQ(alerts->messages, std::vector<std::string>{"Could not reach the update server."});
}

TEST_F(SettingsLaunchTest, WithoutTheOptionNoSettingsWindowAndNoPicture) {
    launch({"--screenshot", "/tmp/s.png"});
    fake.mainQueue->advance(5);
    EXPECT_TRUE(fake.settingsWindows->made.empty());
    EXPECT_EQ(fake.log->countStartingWith("Drovane: snapshot"), 0u);
}

TEST_F(SettingsLaunchTest, EachFilmChoiceRemindsWithItsDisplayName) {
    const Url catalogued = Url::fromFilePath(aerials.addSystemFilm("Tahoe/Lake Tahoe Landscape.mov"));
    const Url loose = Url::fromFilePath(fake.host->tree().write("elsewhere/My Trip.mov", "film"));
    auto delegate = launch({});
    const std::string label = library->allVideos().at(0).label;
    delegate->model->switchVideo(catalogued);
    delegate->model->switchVideo(loose);
    delegate->model->switchVideo(catalogued);
    EXPECT_EQ(alerts->messages, (std::vector<std::string>{"Playing " + label + ".", "Playing My Trip.",
                                                          "Playing " + label + "."}));
}

} // namespace
} // namespace drovane
