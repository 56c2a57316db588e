#include "library/Library.h"

#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

constexpr const char* bundleStrings = "root/Library/Application Support/com.apple.idleassetsd/Customer/"
                                      "TVIdleScreenStrings.bundle/en.lproj/Localizable.nocache.strings";

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { Library::resetForTesting(); }

    static std::vector<std::string> labels(const std::vector<Vid>& films) {
        std::vector<std::string> out;
        for (const auto& f : films)
            out.push_back(f.label + "@" + f.group + "@" + f.url.lastPathComponent());
        return out;
    }

    fakes::FakePlatform fake;
    fakes::AerialsTree aerials{*fake.host};
};

TEST_F(LibraryTest, FoldersFollowTheHomeFolderOfTheCurrentPlatform) {
    const std::string home = fake.host->homeDirectory();
    EXPECT_EQ(Library::videosDir(), home + "/Library/Application Support/com.apple.wallpaper/aerials/videos");
    EXPECT_EQ(Library::manifestPath(),
              home + "/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json");
    EXPECT_EQ(&Library::videosDir(), &Library::videosDir()) << "computed once";

    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    const std::string& firstDir = Library::videosDir();
    const std::string firstDirCopy = firstDir;
    ASSERT_EQ(Library::load()->entries.size(), 1u);
    {
        // Another test's platform: no manifest in either, so both stamps are the distant past.
        fakes::FakePlatform other;
        EXPECT_NE(Library::videosDir(), firstDirCopy);
        EXPECT_TRUE(Library::load()->entries.empty());
    }
    EXPECT_EQ(firstDir, firstDirCopy) << "an earlier reference stays valid";
}

TEST_F(LibraryTest, SystemFilmsLeaveOutPortraitsAndNameLandscapes) {
    const std::string hillPath = aerials.addSystemFilm("Hill/Hill Landscape.mov");
    aerials.addSystemFilm("Hill/Hill Portrait.mov");
    aerials.addSystemFilm("Hill/Hill Landscape.heic");
    aerials.addSystemFilm("Hill/Hill Landscape.MOV");
    aerials.addSystemFilm("Sonoma Horizon.mov");
    aerials.addSystemFilm("Deep/Nested/Landscape Landscape Lake.mov");
    aerials.addSystemFilm("Portraits/Tree.mov");
    const auto films = Library::systemVideos();
    ASSERT_EQ(films.size(), 3u);
    // Sorted by relative path: "Deep/..." < "Hill/..." < "Sonoma Horizon.mov".
    EXPECT_EQ(films[0].id, "LANDSCAPE LANDSCAPE LAKE");
    EXPECT_EQ(films[0].name, "Landscape Lake");
    EXPECT_EQ(films[0].location, "Deep");

    const Library::Entry& hill = films[1];
    EXPECT_EQ(hill.id, "HILL LANDSCAPE");
    EXPECT_EQ(hill.name, "Hill");
    EXPECT_EQ(hill.location, "Hill");
    EXPECT_EQ(hill.category, "System");
    EXPECT_TRUE(hill.stretches);
    EXPECT_FALSE(hill.cdnURL);
    EXPECT_FALSE(hill.previewURL);
    ASSERT_TRUE(hill.fileURL);
    EXPECT_EQ(hill.fileURL->filePath(), hillPath);

    EXPECT_EQ(films[2].id, "SONOMA HORIZON");
    EXPECT_EQ(films[2].location, "Sonoma Horizon.mov") << "a film lying directly in the folder";
}

TEST_F(LibraryTest, NoManifestOrABrokenOneGivesTheSystemFilms) {
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    EXPECT_EQ(Library::parse().size(), 1u);
    for (const char* broken : {"", "not json", "[]", R"({"assets": [{"id": "a"}, 1]})"}) {
        aerials.writeManifestJson(broken);
        const auto entries = Library::load()->entries;
        ASSERT_EQ(entries.size(), 1u) << broken;
        EXPECT_EQ(entries[0].id, "HILL LANDSCAPE");
    }
}

TEST_F(LibraryTest, LoadParsesOnlyWhenTheManifestChanges) {
    fake.host->tree().write(bundleStrings, R"("K" = "First";)");
    aerials.writeManifestJson(R"({"assets": [{"id": "a", "localizedNameKey": "K"}]})");
    const auto before = Library::parseCount();
    const auto first = Library::load();
    for (int i = 0; i < 5; ++i)
        EXPECT_EQ(Library::load(), first) << "an unchanged manifest is never read again";
    Library::allVideos();
    Library::missingAssets();
    Library::stretches(Url::fromFilePath("/x/A.mov"));
    EXPECT_EQ(Library::parseCount(), before + 1);
    EXPECT_EQ(first->entries.at(0).name, "First");

    // The string table is read with the manifest, so changing it alone changes nothing...
    fake.host->tree().write(bundleStrings, R"("K" = "Second";)");
    EXPECT_EQ(Library::load()->entries.at(0).name, "First");
    // ...until the manifest is touched.
    fs::last_write_time(Library::manifestPath(),
                        fs::last_write_time(Library::manifestPath()) + std::chrono::seconds(1));
    const auto touched = Library::load();
    EXPECT_EQ(Library::parseCount(), before + 2);
    EXPECT_EQ(touched->entries.at(0).name, "Second");

    // Removing the manifest is a change too (to the distant past), cached like any other.
    fs::remove(Library::manifestPath());
    EXPECT_TRUE(Library::load()->entries.empty());
    EXPECT_TRUE(Library::load()->entries.empty());
    EXPECT_EQ(Library::parseCount(), before + 3);
}

TEST_F(LibraryTest, ARewriteWithinOneClockTickIsStillSeen) {
    aerials.writeManifestJson(R"({"assets": [{"id": "a"}]})");
    const auto stamp = fs::last_write_time(Library::manifestPath());
    ASSERT_EQ(Library::load()->entries.size(), 1u);
    aerials.writeManifestJson(R"({"assets": [{"id": "a"}, {"id": "b"}]})");
    fs::last_write_time(Library::manifestPath(), stamp);
    EXPECT_EQ(Library::load()->entries.size(), 2u);
}

TEST_F(LibraryTest, ByIdKeepsTheLaterOfTwoEqualIds) {
    aerials.writeManifestJson(
        R"({"assets": [{"id": "a", "accessibilityLabel": "one"}, {"id": "A", "accessibilityLabel": "two"}]})");
    const auto catalogue = Library::load();
    EXPECT_EQ(catalogue->entries.size(), 2u);
    EXPECT_EQ(catalogue->byId.at("A").name, "two");
}

TEST_F(LibraryTest, OnDiskMatchesUpperCasedNamesWithTheExactSuffix) {
    aerials.writeManifestJson(R"({"assets": [
        {"id": "b2a4c1f0", "url-4K-SDR-240FPS": "https://cdn.example/b.mov"},
        {"id": "C3", "url-4K-SDR-240FPS": "https://cdn.example/c.mov"},
        {"id": "D4"}]})");
    EXPECT_TRUE(Library::onDiskIDs().empty()) << "no video folder yet";
    ASSERT_EQ(Library::missingAssets().size(), 2u);

    aerials.addVideo("b2a4c1f0.mov");
    aerials.addVideo("c3.MOV");
    aerials.addVideo("notes.txt");
    aerials.addVideo(".mov");
    EXPECT_EQ(Library::onDiskIDs(), (std::set<std::string>{"B2A4C1F0"}));
    const auto missing = Library::missingAssets();
    EXPECT_EQ(missing,
              (std::vector<Library::MissingAsset>{{"C3", *Url::parse("https://cdn.example/c.mov")}}));
}

TEST_F(LibraryTest, AllVideosListsSystemAndDownloadedFilmsStablyByLowerCasedLabel) {
    aerials.addSystemFilm("Hill/Hill Landscape.mov");
    aerials.addSystemFilm("Hill/Hill Portrait.mov");
    aerials.writeManifestJson(R"({"assets": [
        {"id": "a1", "accessibilityLabel": "Zanzibar"},
        {"id": "a2", "accessibilityLabel": "alps", "localizedNameKey": "none"},
        {"id": "a4", "accessibilityLabel": "Bay Area"},
        {"id": "a5", "accessibilityLabel": "Never Downloaded"},
        {"id": "a6", "accessibilityLabel": "HILL"}]})");
    aerials.addVideo("a1.mov");
    aerials.addVideo("A2.mov");
    aerials.addVideo("a4.MOV");
    aerials.addVideo("unknown-film.mov");
    aerials.addVideo("A6.mov");

    EXPECT_EQ(
        labels(Library::allVideos()),
        (std::vector<std::string>{"alps@alps@A2.mov", "Hill@Hill@Hill Landscape.mov", "HILL@HILL@A6.mov",
                                  "UNKNOWN-FILM@UNKNOWN-FILM@unknown-film.mov", "Zanzibar@Zanzibar@a1.mov"}));
    EXPECT_FALSE(Library::load()->byId.contains("UNKNOWN-FILM")) << "an unknown film is no entry";
}

TEST_F(LibraryTest, StretchesFollowsTheEntryOfTheFile) {
    aerials.writeManifestJson(R"({"assets": [{"id": "wide", "videoGravity": "resize"}, {"id": "crop"}]})");
    const struct {
        std::string path;
        bool stretches;
    } cases[] = {
        {Library::videosDir() + "/wide.mov", true},
        {Library::videosDir() + "/WIDE.mov", true},
        {"/elsewhere/wide", true},
        {Library::videosDir() + "/crop.mov", false},
        {aerials.addSystemFilm("Hill/Hill Landscape.mov"), true},
        {"/nowhere/unknown.mov", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Library::stretches(Url::fromFilePath(c.path)), c.stretches) << c.path;
}

} // namespace
} // namespace drovane
