#include "library/LibraryStore.h"

#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Downloader.h"
#include "library/EngineState.h"
#include "library/Library.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using Film = fakes::AerialsTree::Film;

std::vector<std::string> ids(const std::vector<LibraryItem>& items) {
    std::vector<std::string> result;
    for (const auto& item : items) {
        result.push_back(item.id);
    }
    return result;
}

// Counts the notifications of every published property of a store.
struct Notifications {
    explicit Notifications(const LibraryStore& store) {
        const auto count = [this](const char* name) { return [this, name] { ++heard[name]; }; };
        subscriptions.push_back(store.items().subscribe(count("items")));
        subscriptions.push_back(store.currentURL().subscribe(count("currentURL")));
        subscriptions.push_back(store.manualPaused().subscribe(count("manualPaused")));
        subscriptions.push_back(store.download().subscribe(count("download")));
        subscriptions.push_back(store.missingCount().subscribe(count("missingCount")));
        subscriptions.push_back(store.hasManifest().subscribe(count("hasManifest")));
        subscriptions.push_back(store.scanned().subscribe(count("scanned")));
        subscriptions.push_back(store.favorites().subscribe(count("favorites")));
        subscriptions.push_back(store.groups().subscribe(count("groups")));
        subscriptions.push_back(store.onDiskCount().subscribe(count("onDiskCount")));
    }
    std::map<std::string, int> heard;
    std::vector<Subscription> subscriptions;
};

class LibraryStoreTest : public ::testing::Test {
protected:
    LibraryStoreTest() {
        engine->defaults = fake.defaults;
        engine->downloader = Downloader::create(fake.platform(), library);
        aerials.addSystemFilm("Hill/Hill Landscape.mov");
        aerials.writeManifest({
            {"U1", "Reef", "AerialCategoryUnderwater", "https://cdn.test/U1.mov", "https://cdn.test/U1.jpg"},
            {"C1", "Skyline", "AerialCategoryCities", "https://cdn.test/C1.mov", std::nullopt},
            {"U2", "coral", "AerialCategoryUnderwater", "https://cdn.test/U2.mov", std::nullopt},
        });
        store = LibraryStore::create(engine, fake.platform(), library);
    }

    // Asks for a scan and lets it land.
    void scan() {
        store->refresh();
        fake.settle();
    }
    fakes::ManualTaskQueue& scans() { return *fake.taskQueues->queue(LibraryStore::scanQueueLabel); }
    std::vector<std::string> groupNames() const {
        std::vector<std::string> names;
        for (const auto& group : store->groups().value()) {
            names.push_back(group.name);
        }
        return names;
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<EngineState> engine = std::make_shared<EngineState>();
    std::shared_ptr<LibraryStore> store;
};

TEST_F(LibraryStoreTest, CreationReadsFavouritesAndTheManifestButDoesNotScan) {
    EXPECT_TRUE(store->hasManifest().value());
    EXPECT_FALSE(store->scanned().value());
    EXPECT_TRUE(store->items().value().empty());
    EXPECT_EQ(scans().pendingCount(), 0u);
    EXPECT_EQ(fake.mainQueue->pendingCount(), 0u);

    fake.defaults->set("favorites", Value(Value::Array{Value("U1"), Value("X")}));
    EXPECT_EQ(LibraryStore::create(engine, fake.platform(), library)->favorites().value(),
              (std::set<std::string>{"U1", "X"}));
    fake.defaults->set("favorites", Value(Value::Array{Value("U1"), Value(3)}));
    EXPECT_TRUE(LibraryStore::create(engine, fake.platform(), library)->favorites().value().empty());
    fs::remove(aerials.manifestPath());
    EXPECT_FALSE(LibraryStore::create(engine, fake.platform(), library)->hasManifest().value());
}

// A film that lands while a scan runs is seen by the one scan more that its refresh asked for.
TEST_F(LibraryStoreTest, RefreshesAskedDuringAScanRunOneScanMoreAfterIt) {
    store->refresh();
    fake.mainQueue->drain();
    for (int i = 0; i < 6; ++i) {
        store->refresh();
        fake.mainQueue->drain();
    }
    EXPECT_EQ(scans().runAll(), 1u);
    fake.mainQueue->drain(); // the first scan lands; the remembered one starts
    EXPECT_EQ(scans().runAll(), 1u);
    fake.mainQueue->drain();
    EXPECT_EQ(scans().pendingCount(), 0u);
}

TEST_F(LibraryStoreTest, SystemComesFirstThenGroupsAndTitlesAlphabeticallyRegardlessOfCase) {
    scan();
    EXPECT_EQ(groupNames(), (std::vector<std::string>{"System", "Cityscapes", "Underwater"}));
    EXPECT_EQ(ids(store->items().value()), (std::vector<std::string>{"HILL LANDSCAPE", "C1", "U2", "U1"}));

    // A lower-case group sorts by its letters; titles equal but for case keep catalogue order, with
    // enough of them that an unstable sort (which keeps order on small inputs) reorders them.
    const char* spellings[] = {"Dune", "DUNE", "dune", "dUNE"};
    std::vector<Film> films{
        {"U1", "Reef", "AerialCategoryUnderwater", "https://cdn.test/U1.mov", std::nullopt},
        {"Z1", "Zenith", "AerialCategoryMac", "https://cdn.test/Z1.mov", std::nullopt}};
    std::vector<std::string> expected{"HILL LANDSCAPE", "Z1"};
    for (int i = 0; i < 64; ++i) {
        const std::string id = "B" + std::to_string(99 - i);
        films.push_back({id, spellings[i % 4], "beaches", "https://cdn.test/" + id + ".mov", std::nullopt});
        expected.push_back(id);
    }
    expected.push_back("U1");
    aerials.writeManifest(films);
    scan();
    EXPECT_EQ(groupNames(), (std::vector<std::string>{"System", "beaches", "Underwater"}));
    EXPECT_EQ(ids(store->items().value()), expected);
}

TEST_F(LibraryStoreTest, AFilmAddedAndRefreshedMovesBothCountsByOne) {
    scan();
    EXPECT_EQ(store->items().value()[0].url,
              Url::fromFilePath(aerials.addSystemFilm("Hill/Hill Landscape.mov")));
    EXPECT_EQ(store->onDiskCount().value(), 1) << "the system film";

    Notifications notifications(*store);
    aerials.addVideo("u1.mov"); // the on-disk test is by upper-cased name
    scan();
    EXPECT_EQ(store->onDiskCount().value(), 2);
    EXPECT_EQ(store->missingCount().value(), 2);
    EXPECT_EQ(store->groups().value()[2], (GroupCount{"Underwater", 2, 1}));
    EXPECT_EQ(store->items().value()[3],
              (LibraryItem{"U1", "Reef", "Underwater", Url::fromFilePath(aerials.videosDir() + "/u1.mov"),
                           Url::parse("https://cdn.test/U1.jpg")}))
        << "the URL names the file as it is";
    EXPECT_EQ(
        notifications.heard,
        (std::map<std::string, int>{{"items", 1}, {"groups", 1}, {"onDiskCount", 1}, {"missingCount", 1}}));
}

TEST_F(LibraryStoreTest, TogglingAFavouriteTwiceLeavesTheStoredArrayAsItWas) {
    fake.defaults->set("favorites", Value(Value::Array{Value("B"), Value("D")}));
    auto favourites = LibraryStore::create(engine, fake.platform(), library);
    Notifications notifications(*favourites);

    favourites->toggleFavorite("C");
    EXPECT_EQ(fake.defaults->value("favorites"), Value(Value::Array{Value("B"), Value("C"), Value("D")}));
    favourites->toggleFavorite("C");
    EXPECT_EQ(fake.defaults->value("favorites"), Value(Value::Array{Value("B"), Value("D")}));
    EXPECT_EQ(favourites->favorites().value(), (std::set<std::string>{"B", "D"}));
    EXPECT_EQ(notifications.heard, (std::map<std::string, int>{{"favorites", 2}}));
}

TEST_F(LibraryStoreTest, LiveStateIsMirroredOnlyWhenItChanged) {
    Notifications notifications(*store);
    engine->videoURL = Url::fromFilePath("/films/A.mov");
    engine->manualPaused = true;
    store->readLiveState();
    store->readLiveState();
    EXPECT_EQ(store->currentURL().value(), engine->videoURL);
    EXPECT_TRUE(store->manualPaused().value());
    // (The queue's state reaches the tiles: the view-model test of tile states.)
    EXPECT_EQ(notifications.heard, (std::map<std::string, int>{{"currentURL", 1}, {"manualPaused", 1}}));

    engine.reset(); // the engine has gone: the store keeps what it had
    store->readLiveState();
    fake.settle();
    EXPECT_TRUE(store->manualPaused().value());
}

TEST_F(LibraryStoreTest, AStoreReleasedMidScanIsLeftAlone) {
    store->refresh();
    fake.mainQueue->drain();
    std::weak_ptr<LibraryStore> weak = store;
    store.reset();
    EXPECT_TRUE(weak.expired()) << "no posted work keeps the store alive";
    scans().runAll();
    fake.mainQueue->drain();
    EXPECT_EQ(fake.mainQueue->pendingCount(), 0u);
}

} // namespace
} // namespace drovane
