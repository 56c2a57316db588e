#pragma once

#include "app/AppDelegate.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Library.h"
#include "playback/AppModel.h"
#include "support/Settings.h"

#include <gtest/gtest.h>

namespace drovane::testing {

// The whole program on the fake platform, launched as from a command line.
class LaunchFixture : public ::testing::Test {
protected:
    // Launches with the given arguments after the program path.
    std::shared_ptr<AppDelegate> launch(std::vector<std::string> arguments = {}) {
        arguments.insert(arguments.begin(), "/opt/drovane/drovane");
        fake.host->args = arguments;
        auto delegate = AppDelegate::create(fake.platform(), library);
        delegate->applicationDidFinishLaunching();
        return delegate;
    }
    // A catalogue of `films`, each of which the network delivers.
    void downloadable(const std::vector<fakes::AerialsTree::Film>& films) {
        aerials.writeManifest(films);
        for (const auto& film : films) {
            fake.http->script[*film.url] = {{}, 200, fakes::bytes("moov")};
        }
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
};

} // namespace drovane::testing
