#include "desktop/update/SignedReleaseArchives.h"

#include "desktop/update/ReleaseFixtures.h"
#include "fakes/TempDir.h"

#include <filesystem>
#include <fstream>
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
        ASSERT_FALSE(fixtures::makeKeyPair(dir / "other").empty());
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

TEST_F(SignedReleaseArchivesTest, ASignedReleaseUnpacksAndVerifiesAndAnyChangeIsRefused) {
    ASSERT_TRUE(sign());
    EXPECT_EQ(unpacked(dir / "release.zip"), std::nullopt);
    const std::string staged = dir / "stage/Drovane.app";
    EXPECT_EQ(archives().verify(staged), std::nullopt);

    struct Case {
        const char* name;
        std::function<void()> change;
        const char* reasonStart;
    };
    // clang-format off
    const Case cases[] = {
        {"unsigned", [&] { fs::remove(staged + "/Contents/_CodeSignature/CodeResources.minisig"); },"the bundle is not signed"},
        {"signed by another key", [&] { ASSERT_TRUE(sign("other.key")); }, "signed by another key"},
        {"a file changed after signing", [&] { dir.write("stage/Drovane.app/Contents/Info.plist", "<evil/>"); },"a file changed after signing"},
        {"a file added", [&] { dir.write("stage/Drovane.app/Contents/MacOS/extra", "x"); },"a file not in the list"},
        {"a listed file missing", [&] { fs::remove(staged + "/Contents/Resources/qml/Main.qml"); },"a listed file is missing"},
        {"the list edited", [&] { dir.write("stage/Drovane.app/Contents/_CodeSignature/CodeResources", ""); },"the file list does not match its signature"},
        {"a link inside", [&] { fs::create_symlink("Info.plist", staged + "/Contents/link"); },"not a plain file"},
        {"a link leaving", [&] { fs::create_symlink("/etc", staged + "/Contents/etc"); }, "not a plain file"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(sign());
        ASSERT_EQ(unpacked(dir / "release.zip"), std::nullopt);
        c.change();
        if (std::string(c.name) == "signed by another key") {
            ASSERT_EQ(unpacked(dir / "release.zip"), std::nullopt);
        }
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
        {"", perms::all, perms(0755)},
        {"Contents", perms::all | perms::sticky_bit, perms(0755)},
        {"Contents/Info.plist", perms::all | perms::set_uid, perms(0644)},
        {"Contents/MacOS/drovane", perms::owner_all, perms(0755)},
        {"Contents/Resources/qml", perms::owner_all, perms(0755)},
        {"Contents/Resources/qml/Main.qml", perms(0775) | perms::set_gid, perms(0644)},
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

TEST_F(SignedReleaseArchivesTest, HostileArchivesWriteNothing) {
    // (libarchive reads zip entries of other types as plain files; the entry checks refuse them.)
    struct Case {
        const char* name;
        fixtures::ZipTwist twist;
        const char* link;
        const char* reasonStart;
    };
    const Case cases[] = {
        {"climbing out", fixtures::ZipTwist::withEntry("Drovane.app/../../escaped"), nullptr, "a path with"},
        {"absolute", fixtures::ZipTwist::withEntry("/tmp/escaped"), nullptr, "an absolute path"},
        {"another top level", fixtures::ZipTwist::withEntry("Evil.app/x"), nullptr, "something besides"},
        {"a link", {}, "/etc/passwd", "a link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(bundle() + "/l");
        if (c.link) {
            fs::create_symlink(c.link, bundle() + "/l");
        }
        const auto why = unpacked(zipped(c.twist));
        ASSERT_TRUE(why);
        EXPECT_TRUE(why->starts_with(c.reasonStart)) << *why;
        EXPECT_TRUE(fs::is_empty(dir / "stage")) << "nothing is written before every entry is checked";
        EXPECT_FALSE(fs::exists(dir / "escaped"));
    }
    fs::remove(bundle() + "/l");
    dir.write("noise.zip", std::string(4096, 'z'));
    EXPECT_TRUE(unpacked(dir / "noise.zip"));

    ASSERT_TRUE(sign());
    dir.write("stage/Drovane.app/mine", "kept");
    const auto why = archives().unpack(dir / "release.zip", dir / "stage");
    ASSERT_TRUE(why);
    EXPECT_TRUE(why->starts_with("the folder already holds")) << *why;
    EXPECT_TRUE(fs::exists(dir / "stage/Drovane.app/mine")) << "nothing there before is removed";
}

TEST_F(SignedReleaseArchivesTest, AZipBombIsStoppedByTheBytesThatArriveAndLeavesNothing) {
    // The limit is lowered from 2 GiB to 1 MiB, so that a few MiB of zeros are a bomb.
    constexpr std::size_t limit = 1 << 20, real = 8 << 20;
    dir.write("build/Drovane.app/Contents/Resources/big", std::string(real, '\0'));
    struct Case {
        const char* name;
        std::optional<std::uint64_t> announced;
        const char* reason;
    };
    const Case cases[] = {
        {"announced as it is", std::nullopt, "more than 1 MiB announced"},
        {"announced as small", 100, "more data than announced: Drovane.app/Contents/Resources/big"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(unpacked(zipped(fixtures::ZipTwist::announcing(c.announced)), limit), c.reason);
        EXPECT_TRUE(fs::is_empty(dir / "stage")) << "what arrived is removed again";
    }
    EXPECT_EQ(unpacked(zipped()), std::nullopt) << "within the program's own limit";
    EXPECT_EQ(fs::file_size(dir / "stage/Drovane.app/Contents/Resources/big"), real);
}

} // namespace
} // namespace drovane::desktop
