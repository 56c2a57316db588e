#include "desktop/update/SignedReleaseArchives.h"

#include "desktop/MediaFixtures.h"
#include "fakes/TempDir.h"

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;
using fixtures::run;

// A release signed with a throwaway key of the test's own, as tools/sign-release makes it.
class SignedReleaseArchivesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(run({"minisign", "-G", "-W", "-p", dir / "test.pub", "-s", dir / "test.key"}));
        ASSERT_TRUE(run({"minisign", "-G", "-W", "-p", dir / "other.pub", "-s", dir / "other.key"}));
        std::ifstream pub(dir / "test.pub");
        std::getline(pub, publicKey);
        std::getline(pub, publicKey);
        dir.write("build/Drovane.app/Contents/Info.plist", "<plist/>");
        dir.write("build/Drovane.app/Contents/MacOS/drovane", "#!/bin/sh\n");
        dir.write("build/Drovane.app/Contents/Resources/qml/Main.qml", "Item {}");
    }
    std::string bundle() const { return dir / "build/Drovane.app"; }
    bool sign(const std::string& key = "test.key") {
        return run({SIGN_RELEASE_TOOL, bundle(), dir / key, dir / "release.zip"});
    }
    // A zip of `entries` (name, bytes, Unix mode), for archives no honest tool makes.
    std::string craftedZip(const std::vector<std::tuple<std::string, std::string, int>>& entries) {
        std::string script = "import sys, zipfile\nz = zipfile.ZipFile(sys.argv[1], 'w')\n";
        for (const auto& [name, bytes, mode] : entries) {
            script += "i = zipfile.ZipInfo(" + std::string("'") + name +
                      "')\ni.external_attr = " + std::to_string(mode) + " << 16\nz.writestr(i, '" + bytes +
                      "')\n";
        }
        script += "z.close()\n";
        const std::string path = dir / "crafted.zip";
        EXPECT_TRUE(run({"python3", "-c", script, path}));
        return path;
    }
    // A zip of an Info.plist and `real` zero bytes in "Drovane.app/Contents/big", deflated to a
    // few KiB, whose headers announce `announced` bytes for the latter.
    std::string bombZip(std::size_t real, std::size_t announced) {
        const std::string script = R"(
import struct, sys, zipfile
path, real, announced = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
with zipfile.ZipFile(path, 'w', zipfile.ZIP_DEFLATED) as z:
    z.writestr('Drovane.app/Contents/Info.plist', '<plist/>')
    z.writestr('Drovane.app/Contents/big', bytes(real))
    big = z.getinfo('Drovane.app/Contents/big')
data = bytearray(open(path, 'rb').read())
struct.pack_into('<I', data, big.header_offset + 22, announced)
entry = struct.unpack_from('<I', data, data.rindex(b'PK\x05\x06') + 16)[0]
while data[entry:entry + 4] == b'PK\x01\x02':
    lengths = struct.unpack_from('<HHH', data, entry + 28)
    if data[entry + 46:entry + 46 + lengths[0]] == b'Drovane.app/Contents/big':
        struct.pack_into('<I', data, entry + 24, announced)
    entry += 46 + sum(lengths)
open(path, 'wb').write(data)
)";
        const std::string path = dir / "bomb.zip";
        EXPECT_TRUE(run({"python3", "-c", script, path, std::to_string(real), std::to_string(announced)}));
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
    EXPECT_TRUE(fs::status(staged + "/Contents/MacOS/drovane").permissions() != fs::perms::none);

    struct Case {
        const char* name;
        std::function<void()> change;
        const char* reasonStart;
    };
    const Case cases[] = {
        {"unsigned", [&] { fs::remove(staged + "/Contents/_CodeSignature/CodeResources.minisig"); },
         "the bundle is not signed"},
        {"signed by another key", [&] { ASSERT_TRUE(sign("other.key")); }, "signed by another key"},
        {"a file changed after signing",
         [&] { dir.write("stage/Drovane.app/Contents/Info.plist", "<evil/>"); },
         "a file changed after signing"},
        {"a file added", [&] { dir.write("stage/Drovane.app/Contents/MacOS/extra", "x"); },
         "a file not in the list"},
        {"a listed file missing", [&] { fs::remove(staged + "/Contents/Resources/qml/Main.qml"); },
         "a listed file is missing"},
        {"the list edited", [&] { dir.write("stage/Drovane.app/Contents/_CodeSignature/CodeResources", ""); },
         "the file list does not match its signature"},
        {"a link inside", [&] { fs::create_symlink("Info.plist", staged + "/Contents/link"); },
         "not a plain file"},
        {"a link leaving", [&] { fs::create_symlink("/etc", staged + "/Contents/etc"); }, "not a plain file"},
    };
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

TEST_F(SignedReleaseArchivesTest, HostileArchivesWriteNothing) {
    // (libarchive reads zip entries of other types as plain files; the entry checks refuse them.)
    const int file = 0100644, link = 0120777;
    struct Case {
        const char* name;
        std::vector<std::tuple<std::string, std::string, int>> entries;
        const char* reasonStart;
    };
    const Case cases[] = {
        {"climbing out",
         {{"Drovane.app/a", "a", file}, {"Drovane.app/../../escaped", "x", file}},
         "a path with"},
        {"absolute", {{"Drovane.app/a", "a", file}, {"/tmp/escaped", "x", file}}, "an absolute path"},
        {"another top level", {{"Drovane.app/a", "a", file}, {"Evil.app/x", "x", file}}, "something besides"},
        {"a link", {{"Drovane.app/a", "a", file}, {"Drovane.app/l", "/etc/passwd", link}}, "a link"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto why = unpacked(craftedZip(c.entries));
        ASSERT_TRUE(why);
        EXPECT_TRUE(why->starts_with(c.reasonStart)) << *why;
        EXPECT_TRUE(fs::is_empty(dir / "stage")) << "nothing is written before every entry is checked";
        EXPECT_FALSE(fs::exists(dir / "escaped"));
    }
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
    struct Case {
        const char* name;
        std::size_t announced;
        const char* reason;
    };
    const Case cases[] = {
        {"announced as it is", real, "more than 1 MiB announced"},
        {"announced as small", 100, "more data than announced: Drovane.app/Contents/big"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(unpacked(bombZip(real, c.announced), limit), c.reason);
        EXPECT_TRUE(fs::is_empty(dir / "stage")) << "what arrived is removed again";
    }
    EXPECT_EQ(unpacked(bombZip(real, real)), std::nullopt) << "within the program's own limit";
    EXPECT_EQ(fs::file_size(dir / "stage/Drovane.app/Contents/big"), real);
}

} // namespace
} // namespace drovane::desktop
