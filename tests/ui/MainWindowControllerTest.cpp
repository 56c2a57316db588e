#include "ui/MainWindowController.h"

#include "LibraryWindowFixture.h"
#include "library/Downloader.h"
#include "support/Files.h"
#include "support/Settings.h"
#include "ui/DetailModel.h"

#include <filesystem>
#include <set>

namespace drovane {
namespace {

class MainWindowControllerTest : public LibraryWindowFixture {
protected:
    std::set<std::string> queued() const {
        std::set<std::string> ids(model->downloader->waiting().begin(), model->downloader->waiting().end());
        for (const auto& [id, fraction] : model->downloader->active()) {
            ids.insert(id);
        }
        return ids;
    }
};

TEST_F(MainWindowControllerTest, DownloadActionsStartWhatIsMissingAndRefreshOnlyWhenTheyAct) {
    onDisk("C1");
    struct Case {
        const char* name;
        std::function<void(const MainWindowActions&)> act;
        std::set<std::string> queued;
        bool refreshes;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"download one", [this](auto& a) { a.download(item("U2")); }, {"U2"}, true},
        {"a batch larger than what is missing", [](auto& a) { a.downloadBatch(50); }, {"U1", "U2", "U3", "C2"}, true},
        {"a batch of two", [](auto& a) { a.downloadBatch(2); }, {"U1", "U2"}, true},
        {"a batch of none", [](auto& a) { a.downloadBatch(0); }, {}, false},
        {"many", [this](auto& a) {a.downloadMany({item("U3"), item("C2")});}, {"U3", "C2"}, true},
        {"many of none", [](auto& a) { a.downloadMany({}); }, {}, false},
        {"cancel one", [this](auto& a) {a.downloadMany({item("U3"), item("C2")}), a.cancelItem(item("U3"));}, {"C2"}, true},
        {"cancel all", [](auto& a) { a.downloadBatch(3), a.cancelDownload(); }, {}, true},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const MainWindowActions& a = controller().actions();
        a.cancelDownload();
        settle();
        c.act(a);
        EXPECT_EQ(queued(), c.queued);
        EXPECT_EQ(settle() > 0, c.refreshes);
    }
}

TEST_F(MainWindowControllerTest, NothingOnDiskIsNeverSelectedDeletedOrRevealed) {
    const MainWindowActions& a = controller().actions();
    const auto before = model->videoURL;
    a.select(item("U1"));
    a.deleteItem(item("U1"));
    a.deleteMany({item("U2"), item("C2")});
    a.revealInFinder(item("U1"));
    EXPECT_EQ(model->videoURL, before);
    EXPECT_TRUE(fake.workspace->trashed.empty());
    EXPECT_TRUE(fake.workspace->revealed.empty());
    EXPECT_EQ(settle(), 0u) << "no refresh";
    EXPECT_TRUE(fake.alerts->shown.empty());
}

TEST_F(MainWindowControllerTest, SelectingPlaysAFilmOnceButNotOneWhoseFileLeftBeforeTheRescan) {
    const Url reef = onDisk("U1");
    const Url kelp = onDisk("U2");
    const MainWindowActions& a = controller().actions();
    a.select(item("U1"));
    ASSERT_EQ(model->videoURL, reef);
    const auto players = model->players;
    a.select(item("U1"));
    EXPECT_EQ(model->players, players) << "the playing film is not restarted";
    a.revealInFinder(item("U1"));
    EXPECT_EQ(fake.workspace->revealed, (std::vector<std::vector<std::string>>{{reef.path()}}));

    // Not played (the day of use's check), but shown gone.
    std::filesystem::remove(kelp.path());
    a.select(item("U2"));
    EXPECT_GT(settle(), 0u);
    EXPECT_FALSE(item("U2").isOnDisk());
}

TEST_F(MainWindowControllerTest, DeletingThePlayingFilmMovesTheWallpaperToAFilmThatStaysElseClearsIt) {
    controller();
    // The next film is drawn at random: with a choice between a film of the deletion and one
    // that stays, sixteen deletions would all have landed right by chance once in 65536 runs.
    const Url stays = onDisk("U3");
    for (int run = 0; run < 16; ++run) {
        SCOPED_TRACE(run);
        const Url reef = onDisk("U1");
        onDisk("U2");
        publish();
        model->switchVideo(reef);
        fake.workspace->trashed.clear();
        controller().actions().deleteMany({item("U1"), item("U2")});
        ASSERT_EQ(model->videoURL, stays);
        EXPECT_EQ(fake.workspace->trashed.size(), 2u);
        EXPECT_GT(settle(), 0u) << "refreshed after the move";
        std::filesystem::remove(item("U1").url->path());
        std::filesystem::remove(item("U2").url->path());
    }
    // No film outside the deletion: the wallpaper is cleared before the files go.
    onDisk("U1");
    publish();
    controller().actions().deleteMany({item("U1"), item("U3")});
    EXPECT_FALSE(model->videoURL);
    EXPECT_EQ(fake.workspace->trashed.size(), 4u);
}

TEST_F(MainWindowControllerTest, AFilmTheTrashRefusedIsLoggedShownOnTheWindowAndAloneStaysOnDisk) {
    onDisk("U1");
    const Url kelp = onDisk("U2");
    onDisk("U3");
    controller().showWindow();
    settle();
    fake.workspace->trashErrors[kelp.path()] = "Permission denied";
    controller().actions().deleteItem(item("U2"));
    EXPECT_TRUE(fake.log->lines().empty()) << "reported from the main queue";
    EXPECT_EQ(settle(), 0u) << "nothing left the disk: no refresh";
    EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: delete failed: Permission denied"});
    ASSERT_EQ(fake.alerts->shown.size(), 1u);
    EXPECT_EQ(fake.alerts->shown[0].content.message, "Could not delete the selected aerials");
    EXPECT_EQ(fake.alerts->shown[0].content.informativeText, "Permission denied");
    EXPECT_EQ(fake.alerts->shown[0].content.buttons, std::vector<std::string>{"OK"});
    EXPECT_EQ(fake.alerts->shown[0].parent, &window());

    fake.workspace->trashRemovesFiles = true;
    controller().actions().deleteMany({item("U1"), item("U2"), item("U3")});
    EXPECT_GT(settle(), 0u) << "two films left the disk";
    EXPECT_FALSE(item("U1").isOnDisk());
    EXPECT_TRUE(item("U2").isOnDisk());
    EXPECT_FALSE(item("U3").isOnDisk());
    EXPECT_EQ(fake.alerts->shown.size(), 2u);
}

TEST_F(MainWindowControllerTest, ActionsOfAGoneControllerDoNothing) {
    onDisk("U1");
    auto gone =
        MainWindowController::create(fake.platform(), *model, store, library, SidebarSelection::all());
    publish();
    const MainWindowActions a = gone->actions();
    gone.reset();
    a.select(item("U1"));
    a.deleteItem(item("U1"));
    a.downloadBatch(5);
    a.openWallpaperSettings();
    EXPECT_FALSE(model->videoURL && model->videoURL->path() == item("U1").url->path());
    EXPECT_TRUE(fake.workspace->trashed.empty());
    EXPECT_TRUE(queued().empty());
    EXPECT_TRUE(fake.http->tasks().empty());
}

TEST_F(MainWindowControllerTest, FetchingTheCatalogIsBusyThenStoresAWholeAnswerOrSaysWhyAndOffersARetry) {
    const std::string url = Settings::siteURL().withPath("/aerials/entries.json").string();
    std::filesystem::remove(aerials.manifestPath());
    controller();
    struct Case {
        const char* name;
        HttpDataResult answer;
        std::string why; // empty: stored
    };
    const std::string json = fakes::AerialsTree::manifestJson(
        {{"N1", "New", "AerialCategoryUnderwater", "https://cdn.test/N1.mov", std::nullopt}});
    // clang-format off
    const std::vector<Case> cases = {
        {"not found", {{}, 404, fakes::bytes(json)}, "HTTP 404"},
        {"no network", {"Could not resolve host: drovane.test", std::nullopt, std::nullopt},"Could not resolve host: drovane.test"},
        {"an error page", {{}, 200, fakes::bytes("<html><body>Gateway timeout</body></html>")},"not an aerials manifest (not JSON (error at byte 1))"},
        {"JSON but no catalogue", {{}, 200, fakes::bytes(R"({"assets": "none"})")},"not an aerials manifest (no \"assets\" array of objects)"},
        {"the catalogue", {{}, 200, fakes::bytes(json)}, ""},
    };
    // clang-format on
    // The empty state's one button, and the error under it.
    const auto shown = [this] {
        const auto state = DetailModel::emptyState(*store, controller().actions());
        return state.buttons.at(0).title + (state.buttons.at(0).busy ? " (busy)" : "") + " | " + state.error;
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake.log->clear();
        // The button retries after a failure.
        DetailModel::emptyState(*store, controller().actions()).buttons.at(0).action();
        controller().actions().openWallpaperSettings(); // one fetch at a time
        ASSERT_EQ(fake.http->pending().size(), 1u);
        EXPECT_EQ(fake.http->pending()[0]->url().string(), url);
        EXPECT_EQ(shown(), "Fetch the Catalog (busy) | ");
        fake.http->answer(fake.http->pending()[0], c.answer);
        settle();
        EXPECT_EQ(std::filesystem::exists(aerials.manifestPath()), c.why.empty());
        EXPECT_EQ(store->hasManifest().value(), c.why.empty());
        if (c.why.empty()) {
            EXPECT_EQ(DetailModel::content(*store), DetailModel::Content::Grid);
            EXPECT_TRUE(fake.log->lines().empty());
        } else {
            EXPECT_EQ(shown(), "Fetch the Catalog | Could not fetch the catalog: " + c.why);
            EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: catalog fetch failed: " + c.why});
        }
    }
    EXPECT_EQ(readWholeFile(aerials.manifestPath()), json) << "stored as it came";
}

} // namespace
} // namespace drovane
