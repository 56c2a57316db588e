#include "LibraryWindowFixture.h"
#include "library/Downloader.h"
#include "ui/DetailModel.h"
#include "ui/SidebarModel.h"
#include "ui/TileModel.h"

#include <filesystem>

namespace drovane {
namespace {

std::vector<std::string> titles(const Menu& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu) {
        out.push_back(item.kind == MenuItem::Kind::Separator ? "-" : item.title);
    }
    return out;
}

// The actions, recording each call as "name ids...".
struct RecordedActions {
    std::vector<std::string> calls;
    MainWindowActions actions() {
        auto one = [this](std::string name) {
            return [this, name](const LibraryItem& i) { calls.push_back(name + " " + i.id); };
        };
        auto many = [this](std::string name) {
            return [this, name](const std::vector<LibraryItem>& items) {
                std::string call = name;
                for (const auto& i : items) {
                    call += " " + i.id;
                }
                calls.push_back(call);
            };
        };
        MainWindowActions a;
        a.select = one("select");
        a.download = one("download");
        a.cancelItem = one("cancelItem");
        a.revealInFinder = one("reveal");
        a.deleteItem = one("delete");
        a.downloadMany = many("downloadMany");
        a.deleteMany = many("deleteMany");
        a.downloadBatch = [this](int n) { calls.push_back("downloadBatch " + std::to_string(n)); };
        a.cancelDownload = [this] { calls.push_back("cancelDownload"); };
        a.openWallpaperSettings = [this] { calls.push_back("openWallpaperSettings"); };
        return a;
    }
};

TileModel::State tile(const LibraryItem& item, bool current = false, bool favorite = false,
                      std::optional<double> progress = std::nullopt, bool waiting = false,
                      std::optional<std::string> failure = std::nullopt) {
    return {item, current, favorite, progress, waiting, std::move(failure)};
}

class LibraryViewModelsTest : public LibraryWindowFixture {
protected:
    RecordedActions recorded;
};

TEST_F(LibraryViewModelsTest, SidebarRowsAndCounts) {
    onDisk("U1");
    const std::string system = aerials.addSystemFilm("Hill/Hill Landscape.mov");
    fake.defaults->set("favorites", Value(Value::Array{Value("U2"), Value("GONE")}));
    store = LibraryStore::create(model, fake.platform(), library);
    auto rows = SidebarModel::sections(*store);
    ASSERT_EQ(rows.size(), 1u) << "no categories before the first scan";
    publish();
    rows = SidebarModel::sections(*store);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0].header, "Library");
    EXPECT_EQ(rows[0].rows, (std::vector<SidebarModel::Row>{
                                {"All Aerials", "circle.grid.2x2.fill", 6, SidebarSelection::all()},
                                {"Favorites", "heart.circle.fill", 1, SidebarSelection::favorites()},
                                {"On Disk", "arrow.down.circle.fill", 2, SidebarSelection::onDisk()}}));
    EXPECT_EQ(rows[1].header, "Categories");
    EXPECT_EQ(rows[1].rows,
              (std::vector<SidebarModel::Row>{
                  {"System", "command.circle.fill", 1, SidebarSelection::named("System")},
                  {"Cityscapes", "building.2.crop.circle.fill", 2, SidebarSelection::named("Cityscapes")},
                  {"Underwater", "drop.circle.fill", 3, SidebarSelection::named("Underwater")}}));
}

TEST_F(LibraryViewModelsTest, TileStateFollowsTheStore) {
    const Url reef = onDisk("U1");
    fake.http->script["https://cdn.test/U2.mov"] = {{}, 200, fakes::bytes("moov")};
    publish();
    model->switchVideo(Url::fromFilePath(reef.path()));
    store->toggleFavorite("U2");
    model->downloader->start(std::vector<std::string>{"U2", "U3", "C1", "C2"});
    store->readLiveState();
    EXPECT_EQ(TileModel::state(*store, item("U1")), tile(item("U1"), true));
    EXPECT_EQ(TileModel::state(*store, item("U2")), tile(item("U2"), false, true, 0.0));
    EXPECT_EQ(TileModel::state(*store, item("C2")), tile(item("C2"), false, false, std::nullopt, true))
        << "the fourth waits for one of three";
}

TEST_F(LibraryViewModelsTest, SectionMenusOfferWhatTheRowHolds) {
    onDisk("U1");
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    publish();
    const MainWindowActions a = recorded.actions();
    struct Case {
        SidebarSelection row;
        std::vector<std::string> titles, calls;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {SidebarSelection::named("Underwater"), {"Download All (2)", "Delete All (1)"}, {"downloadMany U2 U3", "deleteMany U1"}},
        {SidebarSelection::onDisk(), {"Delete All (2)"}, {"deleteMany HILL LANDSCAPE U1"}},
        {SidebarSelection::favorites(), {}, {}},
        {SidebarSelection::named("Gone"), {}, {}},
    };
    // clang-format on
    for (const auto& c : cases) {
        SCOPED_TRACE(c.row.group + std::to_string(static_cast<int>(c.row.kind)));
        recorded.calls.clear();
        const Menu menu = SidebarModel::sectionMenu(*store, a, c.row);
        EXPECT_EQ(titles(menu), c.titles);
        for (const auto& entry : menu) {
            entry.action();
        }
        EXPECT_EQ(recorded.calls, c.calls);
    }
}

TEST_F(LibraryViewModelsTest, DetailHeaderContentAndSections) {
    EXPECT_EQ(DetailModel::content(*store), DetailModel::Content::Loading);
    onDisk("C2");
    publish();
    EXPECT_EQ(DetailModel::content(*store), DetailModel::Content::Grid);
    struct Case {
        SidebarSelection selection;
        std::string title, subtitle;
        std::vector<std::optional<std::string>> headings;
    };
    const std::vector<Case> cases = {
        {SidebarSelection::all(), "All Aerials", "5 films \u00B7 1 on disk", {"Cityscapes", "Underwater"}},
        {SidebarSelection::onDisk(), "On Disk", "1 film \u00B7 1 on disk", {std::nullopt}},
        {SidebarSelection::named("Underwater"), "Underwater", "3 films \u00B7 0 on disk", {std::nullopt}},
        {SidebarSelection::favorites(), "Favorites", "0 films \u00B7 0 on disk", {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.title);
        const auto films = store->items(c.selection);
        EXPECT_EQ(DetailModel::title(c.selection), c.title);
        EXPECT_EQ(DetailModel::subtitle(films), c.subtitle);
        std::vector<std::optional<std::string>> headings;
        std::size_t count = 0;
        for (const auto& section : DetailModel::sections(*store, films)) {
            headings.push_back(section.title);
            count += section.items.size();
        }
        EXPECT_EQ(headings, c.headings);
        EXPECT_EQ(count, films.size());
    }
}

TEST_F(LibraryViewModelsTest, EmptyStateTextsAndButtons) {
    // The state in one line, pressing each button: "label | description | title! -> call | ...".
    const MainWindowActions a = recorded.actions();
    const auto shown = [&] {
        const auto state = DetailModel::emptyState(*store, a);
        std::string out = state.label + " | " + state.description;
        for (const auto& b : state.buttons) {
            b.action();
            out += " | " + b.title + (b.prominent ? "!" : "") + " -> " + recorded.calls.back();
        }
        return out;
    };
    std::vector<Film> films;
    for (int i = 0; i < 21; ++i) {
        films.push_back(
            {"M" + std::to_string(i), "M", "AerialCategoryUnderwater", "https://cdn.test/m.mov", {}});
    }
    // Twenty missing films offer one batch; twenty-one also offer them all.
    const std::string catalog = "No Aerials on This Computer | The catalog is here, but no films are "
                                "downloaded yet. | Download 20! -> downloadBatch 20";
    aerials.writeManifest(std::vector<Film>(films.begin(), films.begin() + 20));
    publish();
    EXPECT_EQ(shown(), catalog);
    aerials.writeManifest(films);
    publish();
    EXPECT_EQ(shown(), catalog + " | Download All (21) -> downloadBatch 21");
    // Without a catalogue the one button fetches it: the window controller's test.
}

TEST_F(LibraryViewModelsTest, TileRules) {
    using TileModel::State;
    const LibraryItem missing{"U2", "Kelp", "Underwater", std::nullopt, std::nullopt};
    LibraryItem downloaded{
        "U1", "Reef", "Underwater", Url::fromFilePath(library->videosDir() + "/U1.mov"), {}};
    const LibraryItem system{"HILL", "Hill", "System", Url::fromFilePath("/System/Hill.mov"), {}};
    const LibraryItem sibling{"S", "S", "X", Url::fromFilePath(library->videosDir() + "2/S.mov"), {}};
    struct Case {
        const char* name;
        State tile;
        TileModel::Tap tap;
        std::optional<std::string> badge, hoveredBadge;
        std::optional<double> ring;
        std::vector<std::string> menu;
        std::string spoken;
    };
    using enum TileModel::Tap;
    // clang-format off
    const std::vector<Case> cases = {
        {"missing", tile(missing), Download,"arrow.down.circle.fill","arrow.down.circle.fill", {}, {"Download", "-", "Add to Favorites"}, "not downloaded"},
        {"waiting", tile(missing, false, true, std::nullopt, true), CancelDownload,"ellipsis.circle.fill","xmark.circle.fill", {}, {"Cancel Download", "-", "Remove from Favorites"}, "waiting, favourite"},
        {"just begun", tile(missing, false, false, 0.0), CancelDownload,"arrow.down.circle.fill","xmark.circle.fill", 0.02, {"Cancel Download", "-", "Add to Favorites"}, "downloading, 0 percent"},
        {"half way", tile(missing, false, false, 0.5), CancelDownload,"arrow.down.circle.fill","xmark.circle.fill", 0.5, {"Cancel Download", "-", "Add to Favorites"}, "downloading, 50 percent"},
        {"its download failed", tile(missing, false, false, std::nullopt, false, "HTTP status 404"), Download,"exclamationmark.circle.fill","exclamationmark.circle.fill", {}, {"Download", "-", "Add to Favorites"}, "not downloaded"},
        {"on disk", tile(downloaded), Select, {}, {}, {}, {"Set as Wallpaper", "-", "Add to Favorites", "-", "Show in File Manager", "Delete from Device"}, "on disk"},
        {"playing", tile(downloaded, true), Select, {}, {}, {}, {"Add to Favorites", "-", "Show in File Manager", "Delete from Device"}, "on disk, playing"},
        {"a system film", tile(system), Select, {}, {}, {}, {"Set as Wallpaper", "-", "Add to Favorites", "-", "Show in File Manager"}, "on disk"},
        {"a folder beside the videos", tile(sibling), Select, {}, {}, {}, {"Set as Wallpaper", "-", "Add to Favorites", "-", "Show in File Manager"}, "on disk"},
    };
    // clang-format on
    const MainWindowActions a = recorded.actions();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TileModel::tap(c.tile), c.tap);
        EXPECT_EQ(TileModel::badgeSymbol(c.tile, false), c.badge);
        EXPECT_EQ(TileModel::badgeSymbol(c.tile, true), c.hoveredBadge);
        EXPECT_EQ(TileModel::ringFraction(c.tile), c.ring);
        EXPECT_EQ(TileModel::accessibleState(c.tile), c.spoken);
        EXPECT_EQ(TileModel::failureText(c.tile),
                  c.tile.failure ? "Download failed: " + *c.tile.failure : "");
        int toggles = 0;
        const Menu menu = TileModel::menu(
            c.tile, a, [&toggles] { ++toggles; }, library->videosDir());
        EXPECT_EQ(titles(menu), c.menu);
        recorded.calls.clear();
        for (const auto& entry : menu) {
            if (entry.action) {
                entry.action();
            }
        }
        EXPECT_EQ(toggles, 1);
        EXPECT_EQ(recorded.calls.size(),
                  c.menu.size() - static_cast<std::size_t>(std::count(c.menu.begin(), c.menu.end(), "-")) -
                      1);
    }
    // A favourite's heart is shadowed only half, or it hides the picture under it.
    EXPECT_EQ(TileModel::heartShadowOpacity(tile(missing, false, true), false), 0.5);
}

TEST_F(LibraryViewModelsTest, AFailedDownloadMarksItsTileWithTheReasonUntilItsNextAttempt) {
    publish();
    // The failures of the tiles of U2 and U3.
    const auto failures = [this] {
        store->readLiveState();
        return TileModel::state(*store, item("U2")).failure.value_or("none") + ", " +
               TileModel::state(*store, item("U3")).failure.value_or("none");
    };
    const auto answer = [this](const std::string& id, HttpDataResult result) {
        const auto task = fake.http->last("https://cdn.test/" + id + ".mov");
        ASSERT_NE(task, nullptr) << id;
        fake.http->answer(task, std::move(result));
        fake.mainQueue->drain();
    };
    model->downloader->start(std::vector<std::string>{"U2", "U3"});
    EXPECT_EQ(failures(), "none, none");
    answer("U2", {{}, 404, fakes::bytes("moov")});
    answer("U3", {"connection reset", 200, std::nullopt});
    EXPECT_EQ(failures(), "HTTP status 404, connection reset");
    model->downloader->cancelAll();
    EXPECT_EQ(failures(), "HTTP status 404, connection reset") << "cancelling all keeps the marks";
    model->downloader->start(std::vector<std::string>{"U2"});
    EXPECT_EQ(failures(), "none, connection reset") << "the next attempt clears it";
    answer("U2", {{}, 200, fakes::bytes("moov")});
    EXPECT_EQ(failures(), "none, connection reset");
    onDisk("U3");
    publish();
    EXPECT_EQ(failures(), "none, none") << "a film that arrived otherwise shows no mark";
    EXPECT_EQ(fake.log->countStartingWith("Drovane: download of "), 2u) << "one line a failure";
}

} // namespace
} // namespace drovane
