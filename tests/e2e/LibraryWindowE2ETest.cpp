#include "SampleLibraryE2E.h"

#include <set>

namespace drovane::e2e {
namespace {

class LibraryWindowE2ETest : public SampleLibraryE2ETest {};

// Regression: in a home without a data folder, the film went into the working directory.
// The whole chain of a tile's picture: a frame of the film, its JPEG in the cache, the tile.
TEST_F(LibraryWindowE2ETest, TheScreenshotHasTheAskedSizeAndShowsTheSidebarAndThumbnails) {
    const std::string path = home / "shot.png";
    auto drovane = program({"--size", "1200x800", "--open-window", "--screenshot", path});
    ASSERT_TRUE(drovane.waitForLine("Drovane: snapshot written to " + path, 30s));
    const QImage shot(QString::fromStdString(path));
    ASSERT_EQ(shot.size(), QSize(1200, 800));
    // Distinct colours of the first row of tiles: pictures have hundreds, placeholders a few.
    std::set<QRgb> seen;
    for (int column = 281; column < 881; column += 2) {
        for (int row = 110; row < 220; row += 2) {
            seen.insert(shot.pixel(column, row));
        }
    }
    EXPECT_GT(seen.size(), 300u);
}

TEST_F(LibraryWindowE2ETest, DeleteFromDeviceMovesTheFilmToTheTrashOfTheHome) {
    // "New York at Night", downloaded, alone in its group; the home has no data folder yet.
    auto drovane = program({"--open-window", "--select", "Cityscapes"});
    const std::string window = libraryWindow();
    const std::vector<std::string> before = filesIn(videos());
    std::this_thread::sleep_for(2s);
    // The tile's menu opens at the pointer; "Delete from Device" is its last entry.
    x.click(window, 375, 142, 3);
    std::this_thread::sleep_for(500ms);
    x.click(window, 435, 239);

    const std::string trash = home / "home/.local/share/Trash";
    ASSERT_TRUE(eventually([&] { return fs::exists(trash + "/files"); }, 10s));
    const std::vector<std::string> trashed = filesIn(trash + "/files");
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_TRUE(std::find(before.begin(), before.end(), trashed[0]) != before.end());
    EXPECT_FALSE(fs::exists(videos() + "/" + trashed[0]));
    EXPECT_TRUE(fs::exists(trash + "/info/" + trashed[0] + ".trashinfo"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "files" / trashed[0])) << "not beside the working directory";
}

TEST_F(LibraryWindowE2ETest, AtScaleTwoTheWindowsFitTheScreenTheyOpenOn) {
    // Both windows open with "--settings"; the screen is 1920 x 1080 pixels, 960 x 540 at scale 2.
    auto drovane = program({"--settings"}, {{"QT_SCALE_FACTOR", "2"}});
    ASSERT_TRUE(eventually([&] { return !x.windows("Drovane Settings").empty(); }));
    std::vector<std::string> shown = {libraryWindow(), x.windows("Drovane Settings").at(0)};
    for (const auto& id : shown) {
        auto g = x.geometry(id);
        SCOPED_TRACE(testing::PrintToString(g));
        EXPECT_GE(g["X"], 0);
        EXPECT_GE(g["Y"], 0) << "the title bar on screen";
        EXPECT_LE(g["X"] + g["WIDTH"], 1920);
        EXPECT_LE(g["Y"] + g["HEIGHT"], 1080);
        EXPECT_GT(g["WIDTH"], 600);
        // "program specified minimum size: W by H": one the screen can hold.
        const std::string hints = x.run("xprop", {"-id", QString::fromStdString(id), "WM_NORMAL_HINTS"});
        const auto least = hints.find("minimum size: ");
        ASSERT_NE(least, std::string::npos) << hints;
        int width = 0, height = 0;
        std::sscanf(hints.c_str() + least, "minimum size: %d by %d", &width, &height);
        EXPECT_LE(width, 1920);
        EXPECT_LE(height, 1080);
    }
}

} // namespace
} // namespace drovane::e2e
