#include "ui/StatusMenu.h"

#include "fakes/ScriptedHttp.h"
#include "library/Downloader.h"
#include "playback/EngineFixture.h"

#include <gtest/gtest.h>

namespace drovane {
namespace {

using Kind = MenuItem::Kind;

// A row as the user reads it: "-" for a separator, "title >" for a submenu, "title [q]" with a
// key, "title *" when checked.
std::vector<std::string> rows(const Menu& menu) {
    std::vector<std::string> out;
    for (const auto& item : menu) {
        std::string row = item.kind == Kind::Separator ? "-" : item.title;
        if (item.kind == Kind::Submenu) {
            row += " >";
        }
        if (!item.keyEquivalent.empty()) {
            row += " [" + item.keyEquivalent + "]";
        }
        if (item.checked) {
            row += " *";
        }
        out.push_back(row);
    }
    return out;
}

const MenuItem& find(const Menu& menu, const std::string& title) {
    for (const auto& item : menu) {
        if (item.title == title || (item.kind == Kind::Submenu && title == "Wallpaper")) {
            return item;
        }
    }
    throw std::runtime_error("no item " + title);
}

class StatusMenuTest : public testing::EngineFixture {
protected:
    // The menu, made once the catalogue is in place.
    StatusMenu& menu() {
        if (!m_menu) {
            m_menu = StatusMenu::create(fake.platform(), library, *model);
            m_menu->setupMenu();
        }
        return *m_menu;
    }
    fakes::FakeStatusItem& item() { return *fake.statusBar->items.at(0); }
    Menu open() {
        menu();
        return item().open();
    }
    // A built-in film `label` of group `group`; its URL.
    Url systemFilm(const std::string& group, const std::string& label) {
        return Url::fromFilePath(aerials.addSystemFilm(group + "/" + label + " Landscape.mov"));
    }
    // A catalogue of `count` downloadable films, each answered when the test says so.
    void downloadable(int count) {
        std::vector<fakes::AerialsTree::Film> films;
        for (int i = 0; i < count; ++i) {
            const std::string id = "F" + std::to_string(i);
            films.push_back({id, "Film " + id, "AerialCategoryEarth", "https://cdn.test/" + id + ".mov", {}});
            fake.http->script["https://cdn.test/" + id + ".mov"] = {{}, 200, fakes::bytes("moov")};
        }
        aerials.writeManifest(films);
    }

private:
    std::shared_ptr<StatusMenu> m_menu;
};

TEST_F(StatusMenuTest, TheTitleFollowsTheHandPauseAndTheIconEveryHoldBackButCovering) {
    const Url a = systemFilm("Earth", "A");
    menu();
    model->switchVideo(a);
    fake.mainQueue->advance(1);
    auto& window = dynamic_cast<fakes::FakeWallpaperWindow&>(*model->windows.at(0));

    struct Case {
        const char* name;
        bool byHand, lowPower, covered;
        std::string title;
        bool dimmed;
    };
    const std::vector<Case> cases = {
        {"playing", false, false, false, "Pause Wallpaper", false},
        {"paused by hand", true, false, false, "Play Wallpaper", true},
        {"paused by policy", false, true, false, "Pause Wallpaper", true},
        {"only covered", false, false, true, "Pause Wallpaper", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model->manualPaused = c.byHand;
        model->lowPower = c.lowPower;
        window.covered = c.covered;
        model->updatePlayback();
        EXPECT_EQ(rows(item().open()).at(2), c.title);
        EXPECT_EQ(item().icon->dimmed, c.dimmed);
    }
}

TEST_F(StatusMenuTest, FilmsAreGroupedInCaseFreeOrderAndTheCheckFollowsThePath) {
    // Sorted by label, the groups first appear as underwater, Cityscape, earth, Earth, abyss.
    systemFilm("underwater", "A Reef");
    systemFilm("Cityscape", "B Tower");
    systemFilm("earth", "C Plain");
    const Url globe = systemFilm("Earth", "D Globe");
    systemFilm("underwater", "E Kelp");
    systemFilm("Cityscape", "F Bridge");
    systemFilm("abyss", "G Trench");

    struct Case {
        const char* name;
        std::optional<Url> playing;
        std::string title;
        std::vector<std::string> films;
    };
    // clang-format off
    const std::vector<Case> cases = {
        {"nothing plays", std::nullopt,"Wallpaper", {"G Trench", "B Tower", "F Bridge", "C Plain", "D Globe", "A Reef", "E Kelp"}},
        {"a catalogue film", globe,"Wallpaper \u2014 D Globe", {"G Trench", "B Tower", "F Bridge", "C Plain", "D Globe *", "A Reef", "E Kelp"}},
    };
    // clang-format on
    menu();
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        model->videoURL = c.playing;
        const Menu m = item().open();
        const MenuItem& wallpaper = find(m, "Wallpaper");
        EXPECT_EQ(wallpaper.title, c.title);
        EXPECT_EQ(rows(wallpaper.submenu), c.films);
        for (const auto& film : wallpaper.submenu) {
            EXPECT_TRUE(film.checkable && film.keyEquivalent.empty()) << film.title;
        }
    }
}

// The day of use checks the line's count against the queue's at every step; here, where it
// stands and that one failure is told.
TEST_F(StatusMenuTest, TheDownloadLineCountsTheBatchWhileAnythingRunsOrWaits) {
    downloadable(4);
    menu();
    auto line = [&]() -> std::string {
        const auto r = rows(item().open());
        return r.at(6) == "Open Folder" ? "" : r.at(6) + (r.at(7) == "-" ? "" : " (no separator)");
    };
    EXPECT_EQ(line(), "");
    model->downloader->start({"F0", "F1", "F2", "F3"});
    fake.http->answer(fake.http->pending().at(0), {{}, 404, {}});
    fake.mainQueue->drain();
    EXPECT_EQ(line(), "Downloading 1/4 (1 failed) \u2014 Cancel");
    find(item().open(), "Downloading 1/4 (1 failed) \u2014 Cancel").action();
    fake.mainQueue->drain();
    EXPECT_EQ(line(), "") << "cancelling drains the queue";
    EXPECT_TRUE(model->downloader->waiting().empty());
}

// That a film of the submenu plays is the panel's test; that it is stored, the day of use's.
TEST_F(StatusMenuTest, EachActionReachesItsTarget) {
    menu();
    int windows = 0, settings = 0;
    const Menu before = item().open();
    find(before, "Open Drovane").action(); // no callback yet: nothing
    find(before, "Settings").action();
    menu().onOpenWindow = [&] { ++windows; };
    menu().onOpenSettings = [&] { ++settings; };
    find(before, "Open Drovane").action();
    find(before, "Settings").action();
    EXPECT_EQ(windows, 1);
    EXPECT_EQ(settings, 1);

    find(before, "Pause Wallpaper").action();
    EXPECT_TRUE(model->manualPaused);
    find(item().open(), "Play Wallpaper").action();
    EXPECT_FALSE(model->manualPaused);

    find(before, "Open Folder").action();
    EXPECT_EQ(fake.workspace->openedUrls, std::vector<Url>{Url::fromFilePath(library->videosDir())});
    EXPECT_EQ(fake.workspace->terminations, 0);
    find(before, "Quit").action();
    EXPECT_EQ(fake.workspace->terminations, 1);
}

} // namespace
} // namespace drovane
