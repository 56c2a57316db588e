#include "SampleLibraryE2E.h"

#include <set>

namespace drovane::e2e {
namespace {

// Distinct colours in a part of a picture: a gradient thumbnail has many, a flat area few.
int colours(const QImage& image, const QRect& area) {
    std::set<QRgb> seen;
    for (int y = area.top(); y <= area.bottom(); y += 2) {
        for (int x = area.left(); x <= area.right(); x += 2) {
            seen.insert(image.pixel(x, y));
        }
    }
    return static_cast<int>(seen.size());
}

double difference(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull()) {
        return 255;
    }
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QColor p = a.pixelColor(x, y), q = b.pixelColor(x, y);
            sum +=
                std::abs(p.red() - q.red()) + std::abs(p.green() - q.green()) + std::abs(p.blue() - q.blue());
        }
    }
    return sum / (3.0 * a.width() * a.height());
}

// Pixels of `b` much lighter than the same pixels of `a`: a white arc drawn over the badge.
int lightened(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y) {
        for (int x = 0; x < std::min(a.width(), b.width()); ++x) {
            count += qGray(b.pixel(x, y)) - qGray(a.pixel(x, y)) > 50;
        }
    }
    return count;
}

class LibraryWindowE2ETest : public SampleLibraryE2ETest {};

TEST_F(LibraryWindowE2ETest, TheScreenshotHasTheAskedSizeAndShowsTheSidebarAndThumbnails) {
    const QImage shot = screenshot({"--size", "1200x800"});
    ASSERT_EQ(shot.size(), QSize(1200, 800));
    // The sidebar's lower part is one flat colour, apart from the detail area's.
    EXPECT_LT(colours(shot, {10, 600, 240, 190}), 4);
    EXPECT_NE(shot.pixel(130, 780), shot.pixel(900, 790));
    // The first row of tiles shows pictures, not placeholders.
    EXPECT_GT(colours(shot, {281, 110, 600, 110}), 300);
}

TEST_F(LibraryWindowE2ETest, SelectStartsOnTheGroupNamed) {
    const QImage all = screenshot({});
    const QImage countryside = screenshot({"--select", "Countryside"});
    const QImage again = screenshot({"--select", "Countryside"});
    EXPECT_GT(difference(all, countryside), 5.0);
    EXPECT_LT(difference(countryside, again), 1.0) << "the same start shows the same";
}

TEST_F(LibraryWindowE2ETest, AClickOnAMissingTileDownloadsItWithItsRingUntilItsBadgeGoes) {
    auto drovane = program({"--open-window", "--select", "Countryside"});
    const std::string window =
        run(x.display(), "xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Drovane$"});
    ASSERT_FALSE(window.empty()) << "the library window shows";
    // The one tile of the group, at the grid's first place; its badge at its lower right.
    const QRect tile(281, 89, 188, 106);
    const QRect badge(tile.right() - 25, tile.bottom() - 25, 24, 24);
    const auto grab = [&](const QRect& area) {
        const std::string path = home / "window.png";
        run(x.display(), "import", {"-window", QString::fromStdString(window), QString::fromStdString(path)});
        QImage whole(QString::fromStdString(path));
        return whole.copy(area);
    };
    const auto grabBadge = [&] { return grab(badge); };
    // Settled: the first scan published and the preview shown.
    QImage before = grab(tile), now;
    for (int i = 0; i < 40 && (colours(before, before.rect()) < 100 || difference(before, now) > 0.2); ++i) {
        std::this_thread::sleep_for(250ms);
        before = std::exchange(now, grab(tile));
    }
    ASSERT_GT(colours(now, now.rect()), 100) << "the preview shows";
    const QImage idle = grabBadge();
    ASSERT_FALSE(idle.isNull());
    run(x.display(), "xdotool",
        {"mousemove", "--window", QString::fromStdString(window), QString::number(tile.center().x()),
         QString::number(tile.center().y()), "click", "1"});
    run(x.display(), "xdotool",
        {"mousemove", "--window", QString::fromStdString(window), "5", "5"}); // no hover cross
    // Watched while it lasts: how soon it starts depends on the machine's load.
    const std::string film = videos() + "/" + s_tuscany + ".mov";
    QImage downloading = grabBadge();
    for (const auto until = std::chrono::steady_clock::now() + 10s;
         lightened(idle, downloading) < 4 && !fs::exists(film) && std::chrono::steady_clock::now() < until;) {
        std::this_thread::sleep_for(100ms);
        downloading = grabBadge();
    }
    EXPECT_GE(lightened(idle, downloading), 4) << "the ring shows";

    eventually([&] { return fs::exists(film); });
    drovane.waitForLine("(the log so far)", 200ms);
    ASSERT_TRUE(fs::exists(film)) << "downloaded from the loopback server; the log: "
                                  << testing::PrintToString(drovane.lines());
    EXPECT_EQ(fs::file_size(film), s_film.size());
    std::this_thread::sleep_for(1500ms);
    const QImage done = grabBadge();
    EXPECT_GT(difference(downloading, done), 3.0) << "the badge goes";
    EXPECT_EQ(colours(done, {0, 0, 8, 8}), colours(done, {14, 14, 8, 8})) << "only the picture is left";
}

TEST_F(LibraryWindowE2ETest, DeleteFromDeviceMovesTheFilmToTheTrashOfTheHome) {
    // "New York at Night", downloaded, alone in its group; the home has no data folder yet.
    auto drovane = program({"--open-window", "--select", "Cityscapes"});
    const std::string window =
        run(x.display(), "xdotool", {"search", "--sync", "--onlyvisible", "--name", "^Drovane$"});
    ASSERT_FALSE(window.empty());
    std::vector<std::string> before;
    for (const auto& film : fs::directory_iterator(videos())) {
        before.push_back(film.path().filename());
    }
    std::this_thread::sleep_for(2s);
    const QString id = QString::fromStdString(window);
    // The tile's menu opens at the pointer; "Delete from Device" is its last entry.
    run(x.display(), "xdotool", {"mousemove", "--window", id, "375", "142", "click", "3"});
    std::this_thread::sleep_for(500ms);
    run(x.display(), "xdotool", {"mousemove", "--window", id, "435", "239", "click", "1"});

    const std::string trash = home / "home/.local/share/Trash";
    ASSERT_TRUE(eventually([&] { return fs::exists(trash + "/files"); }, 10s));
    std::vector<std::string> trashed;
    for (const auto& film : fs::directory_iterator(trash + "/files")) {
        trashed.push_back(film.path().filename());
    }
    ASSERT_EQ(trashed.size(), 1u);
    EXPECT_TRUE(std::find(before.begin(), before.end(), trashed[0]) != before.end());
    EXPECT_FALSE(fs::exists(videos() + "/" + trashed[0]));
    EXPECT_TRUE(fs::exists(trash + "/info/" + trashed[0] + ".trashinfo"));
    EXPECT_FALSE(fs::exists(fs::current_path() / "files" / trashed[0])) << "not beside the working directory";
}

TEST_F(LibraryWindowE2ETest, AtScaleTwoTheWindowsFitTheScreenTheyOpenOn) {
    // Both windows open with "--settings"; the screen is 1920 x 1080 pixels, 960 x 540 at scale 2.
    auto drovane = program({"--settings"}, {{"QT_SCALE_FACTOR", "2"}});
    // Polled rather than one blocking search: a window that goes while xdotool looks at it (the
    // wallpapers are made again when the scale settles) ends a search with an error.
    ASSERT_TRUE(eventually([&] { return !windows("Drovane Settings").empty(); }));
    ASSERT_TRUE(eventually([&] { return libraryWindows().size() == 1; }, 10s));
    std::vector<std::string> shown = libraryWindows();
    shown.push_back(windows("Drovane Settings").at(0));
    for (const auto& id : shown) {
        // X=…, Y=…, WIDTH=…, HEIGHT=…, one a line.
        std::map<std::string, int> g;
        std::istringstream lines(
            run(x.display(), "xdotool", {"getwindowgeometry", "--shell", QString::fromStdString(id)}));
        for (std::string line; std::getline(lines, line);) {
            if (const auto eq = line.find('='); eq != std::string::npos) {
                g[line.substr(0, eq)] = std::atoi(line.c_str() + eq + 1);
            }
        }
        SCOPED_TRACE(testing::PrintToString(g));
        EXPECT_GE(g["X"], 0);
        EXPECT_GE(g["Y"], 0) << "the title bar on screen";
        EXPECT_LE(g["X"] + g["WIDTH"], 1920);
        EXPECT_LE(g["Y"] + g["HEIGHT"], 1080);
        EXPECT_GT(g["WIDTH"], 600);
        // "program specified minimum size: W by H": one the screen can hold.
        const std::string hints =
            run(x.display(), "xprop", {"-id", QString::fromStdString(id), "WM_NORMAL_HINTS"});
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
