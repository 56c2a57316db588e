#include "library/Library.h"

#include "fakes/FakePlatform.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

constexpr const char* wallpapers = "root/System/Library/Desktop Pictures/.wallpapers/";
constexpr const char* bundleStrings = "root/Library/Application Support/com.apple.idleassetsd/Customer/"
                                      "TVIdleScreenStrings.bundle/en.lproj/Localizable.nocache.strings";

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override { Library::resetForTesting(); }

    const fakes::TempDir& tree() { return fake.host->tree(); }
    std::string home() { return fake.host->homeDirectory(); }

    // Writes the manifest and gives it a modification time of its own, whatever the clock's grain.
    void writeManifest(const std::string& json) {
        fs::create_directories(fs::path(Library::manifestPath()).parent_path());
        tree().write(fs::relative(Library::manifestPath(), tree().path()).string(), json);
        fs::last_write_time(Library::manifestPath(),
                            fs::file_time_type::clock::now() + std::chrono::seconds(++m_ticks));
    }
    void addVideo(const std::string& name) {
        tree().write(fs::relative(Library::videosDir() + "/" + name, tree().path()).string(), "film");
    }
    void addSystemFilm(const std::string& relative) { tree().write(wallpapers + relative, "film"); }

    static std::vector<std::string> labels(const std::vector<Vid>& films) {
        std::vector<std::string> out;
        for (const auto& f : films)
            out.push_back(f.label + "@" + f.group + "@" + f.url.lastPathComponent());
        return out;
    }

    fakes::FakePlatform fake;
    int m_ticks = 0;
};

TEST_F(LibraryTest, FoldersFollowTheHomeFolder) {
    EXPECT_EQ(Library::videosDir(),
              home() + "/Library/Application Support/com.apple.wallpaper/aerials/videos");
    EXPECT_EQ(Library::manifestPath(),
              home() + "/Library/Application Support/com.apple.wallpaper/aerials/manifest/entries.json");
    EXPECT_EQ(&Library::videosDir(), &Library::videosDir()) << "computed once";
}

TEST_F(LibraryTest, AFreshPlatformGetsFreshFoldersAndCatalogue) {
    addSystemFilm("Hill/Hill Landscape.mov");
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
    addSystemFilm("Hill/Hill Landscape.mov");
    addSystemFilm("Hill/Hill Portrait.mov");
    addSystemFilm("Hill/Hill Landscape.heic");
    addSystemFilm("Hill/Hill Landscape.MOV");
    addSystemFilm("Sonoma Horizon.mov");
    addSystemFilm("Deep/Nested/Landscape Landscape Lake.mov");
    addSystemFilm("Portraits/Tree.mov");
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
    EXPECT_EQ(hill.fileURL->filePath(), tree() / (std::string(wallpapers) + "Hill/Hill Landscape.mov"));

    EXPECT_EQ(films[2].id, "SONOMA HORIZON");
    EXPECT_EQ(films[2].location, "Sonoma Horizon.mov") << "a film lying directly in the folder";
}

TEST_F(LibraryTest, NoManifestOrABrokenOneGivesTheSystemFilms) {
    addSystemFilm("Hill/Hill Landscape.mov");
    EXPECT_EQ(Library::parse().size(), 1u);
    for (const char* broken : {"", "not json", "[]", R"({"assets": [{"id": "a"}, 1]})"}) {
        writeManifest(broken);
        const auto entries = Library::load()->entries;
        ASSERT_EQ(entries.size(), 1u) << broken;
        EXPECT_EQ(entries[0].id, "HILL LANDSCAPE");
    }
}

TEST_F(LibraryTest, LoadParsesOnlyWhenTheManifestChanges) {
    tree().write(bundleStrings, R"("K" = "First";)");
    writeManifest(R"({"assets": [{"id": "a", "localizedNameKey": "K"}]})");
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
    tree().write(bundleStrings, R"("K" = "Second";)");
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
    writeManifest(R"({"assets": [{"id": "a"}]})");
    const auto stamp = fs::last_write_time(Library::manifestPath());
    ASSERT_EQ(Library::load()->entries.size(), 1u);
    tree().write(fs::relative(Library::manifestPath(), tree().path()).string(),
                 R"({"assets": [{"id": "a"}, {"id": "b"}]})");
    fs::last_write_time(Library::manifestPath(), stamp);
    EXPECT_EQ(Library::load()->entries.size(), 2u);
}

TEST_F(LibraryTest, ByIdKeepsTheLaterOfTwoEqualIds) {
    writeManifest(
        R"({"assets": [{"id": "a", "accessibilityLabel": "one"}, {"id": "A", "accessibilityLabel": "two"}]})");
    const auto catalogue = Library::load();
    EXPECT_EQ(catalogue->entries.size(), 2u);
    EXPECT_EQ(catalogue->byId.at("A").name, "two");
}

TEST_F(LibraryTest, OnDiskMatchesUpperCasedNamesWithTheExactSuffix) {
    writeManifest(R"({"assets": [
        {"id": "b2a4c1f0", "url-4K-SDR-240FPS": "https://cdn.example/b.mov"},
        {"id": "C3", "url-4K-SDR-240FPS": "https://cdn.example/c.mov"},
        {"id": "D4"}]})");
    EXPECT_TRUE(Library::onDiskIDs().empty()) << "no video folder yet";
    ASSERT_EQ(Library::missingAssets().size(), 2u);

    addVideo("b2a4c1f0.mov");
    addVideo("c3.MOV");
    addVideo("notes.txt");
    addVideo(".mov");
    EXPECT_EQ(Library::onDiskIDs(), (std::set<std::string>{"B2A4C1F0"}));
    const auto missing = Library::missingAssets();
    EXPECT_EQ(missing,
              (std::vector<Library::MissingAsset>{{"C3", *Url::parse("https://cdn.example/c.mov")}}));
}

TEST_F(LibraryTest, AllVideosListsSystemAndDownloadedFilmsByLowerCasedLabel) {
    addSystemFilm("Hill/Hill Landscape.mov");
    addSystemFilm("Hill/Hill Portrait.mov");
    writeManifest(R"({"assets": [
        {"id": "a1", "accessibilityLabel": "Zanzibar"},
        {"id": "a2", "accessibilityLabel": "alps", "localizedNameKey": "none"},
        {"id": "a4", "accessibilityLabel": "Bay Area"},
        {"id": "a5", "accessibilityLabel": "Never Downloaded"}]})");
    addVideo("a1.mov");
    addVideo("A2.mov");
    addVideo("a4.MOV");
    addVideo("unknown-film.mov");

    EXPECT_EQ(
        labels(Library::allVideos()),
        (std::vector<std::string>{"alps@alps@A2.mov", "Hill@Hill@Hill Landscape.mov",
                                  "UNKNOWN-FILM@UNKNOWN-FILM@unknown-film.mov", "Zanzibar@Zanzibar@a1.mov"}));
    EXPECT_FALSE(Library::load()->byId.contains("UNKNOWN-FILM")) << "an unknown film is no entry";
}

TEST_F(LibraryTest, SortIsStableAcrossSystemAndFolderFilms) {
    addSystemFilm("Same/Same.mov");
    writeManifest(R"({"assets": [{"id": "x", "accessibilityLabel": "SAME"}]})");
    addVideo("x.mov");
    const auto films = Library::allVideos();
    ASSERT_EQ(films.size(), 2u);
    EXPECT_EQ(films[0].url.lastPathComponent(), "Same.mov") << "system films come first among equals";
    EXPECT_EQ(films[1].url.lastPathComponent(), "x.mov");
}

TEST_F(LibraryTest, StretchesFollowsTheEntryOfTheFile) {
    addSystemFilm("Hill/Hill Landscape.mov");
    writeManifest(R"({"assets": [{"id": "wide", "videoGravity": "resize"}, {"id": "crop"}]})");
    const struct {
        std::string path;
        bool stretches;
    } cases[] = {
        {Library::videosDir() + "/wide.mov", true},
        {Library::videosDir() + "/WIDE.mov", true},
        {"/elsewhere/wide", true},
        {Library::videosDir() + "/crop.mov", false},
        {tree() / (std::string(wallpapers) + "Hill/Hill Landscape.mov"), true},
        {"/nowhere/unknown.mov", false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(Library::stretches(Url::fromFilePath(c.path)), c.stretches) << c.path;
}

} // namespace
} // namespace drovane
