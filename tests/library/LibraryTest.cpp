#include "library/Library.h"

#include "fakes/AerialsTree.h"
#include "fakes/CapturedLog.h"
#include "fakes/FakePlatform.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

class LibraryTest : public ::testing::Test {
protected:
    static std::vector<std::string> labels(const std::vector<Vid>& films) {
        std::vector<std::string> out;
        for (const auto& f : films)
            out.push_back(f.label + "@" + f.group + "@" + f.url.lastPathComponent());
        return out;
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
};

TEST_F(LibraryTest, SystemFilmsLeaveOutPortraitsAndNameLandscapes) {
    const std::string hillPath = aerials.addSystemFilm("Hill/Hill Landscape.mov");
    aerials.addSystemFilm("Hill/Hill Portrait.mov");
    aerials.addSystemFilm("Hill/Hill Landscape.heic");
    aerials.addSystemFilm("Hill/Hill Landscape.MOV");
    aerials.addSystemFilm("Sonoma Horizon.mov");
    aerials.addSystemFilm("Deep/Nested/Landscape Landscape Lake.mov");
    aerials.addSystemFilm("Portraits/Tree.mov");
    const auto films = library->systemVideos();
    // Sorted by relative path: "Deep/..." < "Hill/..." < "Sonoma Horizon.mov".
    ASSERT_EQ(films.size(), 3u);
    EXPECT_EQ(films[1], (Library::Entry{"HILL LANDSCAPE", "Hill", "Hill", "System", std::nullopt,
                                        std::nullopt, Url::fromFilePath(hillPath), true}));
    EXPECT_EQ(films[0].id + "|" + films[0].name + "|" + films[0].location,
              "LANDSCAPE LANDSCAPE LAKE|Landscape Lake|Deep");
    EXPECT_EQ(films[2].id + "|" + films[2].location, "SONOMA HORIZON|Sonoma Horizon.mov")
        << "a film lying directly in the folder";
}

TEST_F(LibraryTest, AnUnusableManifestGivesTheSystemFilmsAndIsLoggedOnceForEachNewReason) {
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    auto log = std::make_shared<fakes::CapturedLog>();
    const Library logged(fake.host, log);
    struct Step {
        std::optional<std::string> json; // none: no manifest
        std::string line;                // the new line; empty: none
    };
    const std::string prefix = "Drovane: ignoring the manifest " + logged.manifestPath() + ": ";
    const Step steps[] = {
        {std::nullopt, ""},
        {"", prefix + "not JSON (error at byte 1)"},
        {"not json", prefix + "not JSON (error at byte 2)"},
        {"[]", prefix + "not a JSON object"},
        {"[1]", ""}, // rewritten as broken as before
        {R"({"assets": [{"id": "a"}, 1]})", prefix + "no \"assets\" array of objects"},
        {R"({"assets": []})", ""},
        {"[]", prefix + "not a JSON object"}, // broken again after a good one
    };
    std::size_t lines = 0;
    for (const auto& step : steps) {
        SCOPED_TRACE(step.json.value_or("(none)"));
        if (step.json) {
            aerials.writeManifestJson(*step.json);
        }
        for (int rescan = 0; rescan < 3; ++rescan) {
            EXPECT_EQ(logged.load()->entries.back().id, "HILL LANDSCAPE");
        }
        lines += step.line.empty() ? 0 : 1;
        ASSERT_EQ(log->lines().size(), lines);
        if (!step.line.empty()) {
            EXPECT_EQ(log->lines().back(), step.line);
        }
    }
}

TEST_F(LibraryTest, ARewriteWithinOneClockTickIsStillSeenAndByIdKeepsTheLaterOfTwoEqualIds) {
    aerials.writeManifestJson(R"({"assets": [{"id": "a"}]})");
    const auto stamp = fs::last_write_time(library->manifestPath());
    ASSERT_EQ(library->load()->entries.size(), 1u);
    aerials.writeManifestJson(
        R"({"assets": [{"id": "a", "accessibilityLabel": "one"}, {"id": "A", "accessibilityLabel": "two"}]})");
    fs::last_write_time(library->manifestPath(), stamp);
    EXPECT_EQ(library->load()->entries.size(), 2u);
    EXPECT_EQ(library->load()->byId.at("A").name, "two");
}

// On disk: regular files named by the upper-cased identifier and exactly ".mov".
TEST_F(LibraryTest, AllVideosListsSystemAndDownloadedFilmsStablyByLowerCasedLabel) {
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    aerials.addSystemFilm("Hill/Hill Portrait.mov");
    aerials.writeManifestJson(R"({"assets": [
        {"id": "a1", "accessibilityLabel": "Zanzibar"},
        {"id": "a2", "accessibilityLabel": "alps", "localizedNameKey": "none"},
        {"id": "a4", "accessibilityLabel": "Bay Area", "url-4K-SDR-240FPS": "https://cdn.example/4.mov"},
        {"id": "a5", "accessibilityLabel": "Never Downloaded", "url-4K-SDR-240FPS": "https://cdn.example/5.mov"},
        {"id": "a6", "accessibilityLabel": "HILL"},
        {"id": "a7", "accessibilityLabel": "Բերդ"},
        {"id": "a8", "accessibilityLabel": "ամրոց"}]})");
    EXPECT_TRUE(library->onDiskIDs().empty()) << "no video folder yet";
    aerials.addVideo("a1.mov");
    aerials.addVideo("A2.mov");
    aerials.addVideo("a4.MOV");
    aerials.addVideo("unknown-film.mov");
    aerials.addVideo("A6.mov");
    aerials.addVideo("A7.mov");
    aerials.addVideo("A8.mov");
    aerials.addVideo("notes.txt");
    aerials.addVideo(".mov");
    // Anything but a regular file would block whoever opens it: the film is still missing.
    ASSERT_EQ(::mkfifo((library->videosDir() + "/A5.mov").c_str(), 0600), 0);
    fs::create_directories(library->videosDir() + "/folder.mov");
    EXPECT_EQ(library->onDiskIDs(), (std::set<std::string>{"A1", "A2", "A6", "A7", "A8", "UNKNOWN-FILM"}));
    EXPECT_EQ(library->missingAssets(),
              (std::vector<Library::MissingAsset>{{"A4", *Url::parse("https://cdn.example/4.mov")},
                                                  {"A5", *Url::parse("https://cdn.example/5.mov")}}));

    // Armenian sorts by its lower-case letters too: ա (ayb) before բ (ben).
    EXPECT_EQ(
        labels(library->allVideos()),
        (std::vector<std::string>{"alps@alps@A2.mov", "Hill@Hill@Hill Landscape.mov", "HILL@HILL@A6.mov",
                                  "UNKNOWN-FILM@UNKNOWN-FILM@unknown-film.mov", "Zanzibar@Zanzibar@a1.mov",
                                  "ամրոց@ամրոց@A8.mov", "Բերդ@Բերդ@A7.mov"}));
    EXPECT_FALSE(library->load()->byId.contains("UNKNOWN-FILM")) << "an unknown film is no entry";
}

TEST_F(LibraryTest, StretchesFollowsTheEntryOfTheFile) {
    aerials.writeManifestJson(R"({"assets": [{"id": "wide", "videoGravity": "resize"}, {"id": "crop"}]})");
    const struct {
        std::string path;
        bool stretches;
    } cases[] = {
        {library->videosDir() + "/wide.mov", true},
        {library->videosDir() + "/WIDE.mov", true},
        {"/elsewhere/wide", true},
        {library->videosDir() + "/crop.mov", false},
        {aerials.addSystemFilm("Hill/Hill Landscape.mov"), true},
        {"/nowhere/unknown.mov", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(library->stretches(Url::fromFilePath(c.path)), c.stretches) << c.path;
}

} // namespace
} // namespace drovane
