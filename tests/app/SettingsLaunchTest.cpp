#include "LaunchFixture.h"
#include "fakes/FakeAlerts.h"

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
