#include "desktop/update/SignedReleaseArchives.h"

#include "desktop/update/ReleaseFixtures.h"
#include "fakes/TempDir.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;

// A release signed with a throwaway key of the test's own, as tools/sign-release makes it.
class SignedReleaseArchivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        publicKey = fixtures::makeKeyPair(dir / "test");
        ASSERT_FALSE(publicKey.empty());
        dir.write("build/Drovane.app/Contents/Info.plist", "<plist/>");
        dir.write("build/Drovane.app/Contents/MacOS/drovane", "#!/bin/sh\n");
        dir.write("build/Drovane.app/Contents/Resources/qml/Main.qml", "Item {}");
    }
    std::string bundle() const { return dir / "build/Drovane.app"; }
    bool sign(const std::string& key = "test.key") {
        return fixtures::signRelease(bundle(), dir / key, dir / "release.zip");
    }
    // The bundle as it is now, zipped as `twist` says.
    std::string zipped(const fixtures::ZipTwist& twist = {}) {
        const std::string path = dir / "twisted.zip";
        EXPECT_TRUE(fixtures::zipRelease(bundle(), path, twist));
        return path;
    }
    std::optional<std::string> unpacked(const std::string& archive,
                                        std::uint64_t limit = ArchiveLimits::maxUnpackedBytes) {
        fs::remove_all(dir / "stage");
        fs::create_directories(dir / "stage");
        return SignedReleaseArchives(publicKey, limit).unpack(archive, dir / "stage");
    }
    SignedReleaseArchives archives() const { return SignedReleaseArchives(publicKey); }

    fakes::TempDir dir;
    std::string publicKey;
};

// What no archive the unpacker accepts could hold is still refused by the check of the bundle.
TEST_F(SignedReleaseArchivesTest, AnEditedListOrALinkInTheBundleIsRefused) {
    const std::string staged = dir / "stage/Drovane.app";
    const struct {
        const char* name;
        std::function<void()> change;
        const char* reasonStart;
    } cases[] = {
        {"the list edited", [&] { dir.write("stage/Drovane.app/Contents/_CodeSignature/CodeResources", ""); },
         "the file list does not match its signature"},
        {"a link inside", [&] { fs::create_symlink("Info.plist", staged + "/Contents/link"); },
         "not a plain file"},
        {"a link leaving", [&] { fs::create_symlink("/etc", staged + "/Contents/etc"); }, "not a plain file"},
    };
    ASSERT_TRUE(sign());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(unpacked(dir / "release.zip"), std::nullopt);
        ASSERT_EQ(archives().verify(staged), std::nullopt);
        c.change();
        const auto why = archives().verify(staged);
        ASSERT_TRUE(why);
        EXPECT_TRUE(why->starts_with(c.reasonStart)) << *why;
    }
}

TEST_F(SignedReleaseArchivesTest, UnpackedModesAreTheBundlesOwnWhateverTheArchiveSays) {
    using fs::perms;
    const struct {
        const char* path;
        perms given, unpacked;
    } modes[] = {
        // clang-format off
        {"", perms::all, perms(0755)},
        {"Contents", perms::all | perms::sticky_bit, perms(0755)},
        {"Contents/Info.plist", perms::all | perms::set_uid, perms(0644)},
        {"Contents/MacOS/drovane", perms::owner_all, perms(0755)},
        {"Contents/Resources/qml", perms::owner_all, perms(0755)},
        {"Contents/Resources/qml/Main.qml", perms(0775) | perms::set_gid, perms(0644)},
        // clang-format on
    };
    for (const auto& mode : modes) {
        fs::permissions(bundle() + "/" + mode.path, mode.given);
    }
    ASSERT_TRUE(sign());
    // tools/sign-release lists the folders with their modes; a bare zip leaves them to the unpacker.
    // Whatever the user's umask, the modes are the same.
    for (const auto& [archive, umask] : {std::pair{dir / "release.zip", 022}, std::pair{zipped(), 077}}) {
        SCOPED_TRACE(archive);
        const mode_t before = ::umask(static_cast<mode_t>(umask));
        const auto failed = unpacked(archive);
        ::umask(before);
        ASSERT_EQ(failed, std::nullopt);
        for (const auto& mode : modes) {
            EXPECT_EQ(fs::status(dir / "stage/Drovane.app/" + mode.path).permissions(), mode.unpacked)
                << mode.path;
        }
        EXPECT_EQ(fs::status(dir / "stage/Drovane.app/Contents/_CodeSignature/CodeResources").permissions(),
                  perms(0644));
    }
}

TEST_F(SignedReleaseArchivesTest, SignReleaseRefusesNamesItsListCannotCarry) {
    const struct {
        const char* name;
        bool signs;
    } names[] = {{"back\\slash", false}, {"line\nfeed", false}, {"two  blanks, and 'quotes'", true}};
    for (const auto& name : names) {
        SCOPED_TRACE(name.name);
        const std::string file =
            dir.write(std::string("build/Drovane.app/Contents/Resources/") + name.name, "x");
        EXPECT_EQ(sign(), name.signs);
        if (name.signs) {
            ASSERT_EQ(unpacked(dir / "release.zip"), std::nullopt);
            EXPECT_EQ(archives().verify(dir / "stage/Drovane.app"), std::nullopt);
        }
        fs::remove(file);
    }
}

// (Each way an entry can be hostile is refused in the updater's own test over the network.)
TEST_F(SignedReleaseArchivesTest, AHostileArchiveWritesNothingAndNothingThereBeforeIsTouched) {
    // The bad entry comes last: every entry is checked before the first is written.
    const auto why = unpacked(zipped(fixtures::ZipTwist::withEntry("Drovane.app/../../escaped")));
    ASSERT_TRUE(why);
    EXPECT_TRUE(why->starts_with("a path with")) << *why;
    EXPECT_TRUE(fs::is_empty(dir / "stage"));
    EXPECT_FALSE(fs::exists(dir / "escaped"));
    dir.write("noise.zip", std::string(4096, 'z'));
    EXPECT_TRUE(unpacked(dir / "noise.zip"));

    ASSERT_TRUE(sign());
    dir.write("stage/Drovane.app/mine", "kept");
    const auto held = archives().unpack(dir / "release.zip", dir / "stage");
    ASSERT_TRUE(held);
    EXPECT_TRUE(held->starts_with("the folder already holds")) << *held;
    EXPECT_TRUE(fs::exists(dir / "stage/Drovane.app/mine")) << "nothing there before is removed";
}

} // namespace
} // namespace drovane::desktop
