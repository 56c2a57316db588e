#pragma once

#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "playback/AppModel.h"
#include "playback/PowerMonitor.h"
#include "support/Settings.h"

#include <cmath>
#include <gtest/gtest.h>
#include <string>

namespace drovane::testing {

// An engine on the fake platform, with films in the catalogue's video folder.
class EngineFixture : public ::testing::Test {
protected:
    // Puts a film file named `id`.mov into the video folder and returns its URL.
    Url addFilm(const std::string& id, double duration = 20.0) {
        const std::string path = aerials.addVideo(id + ".mov");
        fake.video->durations[path] = duration;
        return Url::fromFilePath(path);
    }
    void setScreens(int count) {
        std::vector<Rect> frames;
        for (int i = 0; i < count; ++i) {
            frames.push_back(Rect{{1920.0 * i, 0}, {1920, 1080}});
        }
        fake.screens->setFrames(frames);
    }
    fakes::FakeWallpaperWindow& window(std::size_t i) {
        return dynamic_cast<fakes::FakeWallpaperWindow&>(*model->windows.at(i));
    }
    fakes::FakePlayer& player(std::size_t i) {
        return dynamic_cast<fakes::FakePlayer&>(*model->players.at(i));
    }
    fakes::FakePlayerLayer& layer(std::size_t i) {
        return dynamic_cast<fakes::FakePlayerLayer&>(*model->layers.at(i));
    }
    // Lets every pending piece of work that is due run (durations, readiness, posted work).
    void settle(double seconds = 0.5) { fake.mainQueue->advance(seconds); }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<AppModel> model = AppModel::create(fake.platform(), library);
};

} // namespace drovane::testing
