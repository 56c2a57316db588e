#include "LaunchFixture.h"
#include "fakes/FakeLibraryWindows.h"
#include "fakes/FakeSettingsWindows.h"
#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "ui/MainWindowController.h"

namespace drovane {
namespace {

class AppDelegateLibraryWindowTest : public testing::LaunchFixture {
protected:
    AppDelegateLibraryWindowTest() {
        downloadable({{"A1", "Reef", "AerialCategoryUnderwater", "https://cdn.test/A1.mov", std::nullopt}});
    }
    fakes::FakeLibraryWindow* window() {
        return fake.libraryWindows->made.empty() ? nullptr : fake.libraryWindows->made.back().get();
    }
};

TEST_F(AppDelegateLibraryWindowTest, TheWindowOpensAtLaunchOnlyWhenAskedOrFromABundle) {
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::optional<std::string> bundle;
        bool opens;
    };
    const std::vector<Case> cases = {
        {"a bare executable, even asked for a picture", {"--screenshot", "/tmp/y.png"}, std::nullopt, false},
        {"--open-window", {"--open-window"}, std::nullopt, true},
        {"--settings", {"--settings"}, std::nullopt, true},
        {"an application bundle", {}, std::string("app.drovane.Drovane"), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.libraryWindows->made.clear();
        fake.settingsWindows->made.clear();
        fake.host->bundleId = c.bundle;
        auto delegate = launch(c.arguments);
        EXPECT_EQ(window() != nullptr && window()->visible, c.opens);
        EXPECT_EQ(static_cast<bool>(delegate->mainWindow), c.opens);
        EXPECT_EQ(fake.settingsWindows->made.empty(), c.arguments != std::vector<std::string>{"--settings"});
        fake.mainQueue->advance(5);
    }
    // Without a window nothing is pictured.
    EXPECT_EQ(fake.log->countStartingWith("Drovane: snapshot"), 0u);
}

TEST_F(AppDelegateLibraryWindowTest, AFilmLinkThatCannotBeFetchedSaysWhyInTheWindowItOpens) {
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    struct Case {
        const char* link;
        std::string why; // empty: it downloads
    };
    const Case cases[] = {
        {"drovane://film/a1", ""},
        {"drovane://film/a1", ""},
        // already on its way
        {"drovane://film/nope", "not in the catalog"},
        {"drovane://film/Hill%20Landscape", "no download address"},
    };
    auto delegate = launch();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.link);
        fake.log->clear();
        delegate->openUrls({*Url::parse(c.link)});
        ASSERT_TRUE(window());
        EXPECT_TRUE(window()->visible);
        const auto& notice = delegate->libraryStore()->notice().value();
        if (c.why.empty()) {
            EXPECT_EQ(delegate->model->downloader->active().count("A1"), 1u);
            EXPECT_FALSE(notice);
            EXPECT_EQ(fake.log->countStartingWith("Drovane: cannot open film"), 0u);
            continue;
        }
        const std::string id = *delegate->pendingFilm;
        EXPECT_EQ(notice, "Cannot open the film \u201C" + id + "\u201D: " + c.why + ".");
        EXPECT_EQ(fake.log->lines().back(), "Drovane: cannot open film " + id + ": " + c.why);
        fake.mainQueue->advance(LibraryStore::noticeSeconds);
        EXPECT_FALSE(delegate->libraryStore()->notice().value()) << "brief";
    }
}

} // namespace
} // namespace drovane
