#include "desktop/DesktopTestSupport.h"
#include "desktop/LoopbackServer.h"
#include "desktop/net/CurlHttp.h"
#include "desktop/update/ReleaseFixtures.h"
#include "desktop/update/SignedReleaseArchives.h"
#include "fakes/FakeAlerts.h"
#include "fakes/FakePlatform.h"
#include "update/UpdateInstall.h"

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <map>

namespace drovane::desktop {
namespace {

namespace fs = std::filesystem;

struct VisibleWindow final : Window {
    Rect frame() const override { return {}; }
    bool isVisible() const override { return true; }
    bool isOccludedVisible() const override { return true; }
    bool snapshot(const std::string&) override { return false; }
};

// Every file and folder below `folder`, with the bytes of the files.
std::map<std::string, std::string> contents(const std::string& folder) {
    std::map<std::string, std::string> found;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        found[entry.path().string()] =
            entry.is_regular_file() ? fixtures::readBytes(entry.path().string()) : "";
    }
    return found;
}

// The updater over the real network layer, unpacker and signature check, against a site on the
// loopback interface. It runs as version 1.4 from a sandbox bundle in a folder whose name holds
// a quote and a blank; releases are signed with a throwaway key, and 1 MiB unpacked stands for
// the program's 2 GiB. (A good release to its end is the installed program's own test; a
// cancelled transfer is the network layer's and the updater's.)
class UpdateInstallLoopbackTest : public ::testing::Test {
protected:
    UpdateInstallLoopbackTest() {
        testing::ensureQtApplication();
        publicKey = fixtures::makeKeyPair(dir / "test");
        fixtures::makeKeyPair(dir / "other");
        fake.host->info["DVVersion"] = "1.4";
        installed = writeBundle("it's my apps/Drovane.app", "1.4");
        fake.host->bundle = Url::fromFilePath(installed);
        fs::create_directories(fake.host->temporaryDirectory());
        fake.platform().http = http;
        fake.platform().alerts = alerts;
        fake.platform().releaseArchives = std::make_shared<SignedReleaseArchives>(publicKey, 1 << 20);
        installer = UpdateInstall::create(fake.platform());
    }
    ~UpdateInstallLoopbackTest() override {
        installer.reset();
        fake.platform().http = nullptr;
        http.reset(); // the network thread ends here, before the main queue it posts to
    }

    // A bundle of `version` at `bundle` below the test's folder; its path.
    std::string writeBundle(const std::string& bundle, const std::string& version) {
        dir.write(bundle + "/Contents/Info.plist",
                  "<plist version=\"1.0\"><dict><key>DVVersion</key><string>" + version +
                      "</string></dict></plist>");
        fs::permissions(dir.write(bundle + "/Contents/MacOS/drovane", "#!/bin/sh\necho " + version + "\n"),
                        fs::perms::owner_all);
        dir.write(bundle + "/Contents/Resources/qml/Main.qml", "Item {}");
        return dir / bundle;
    }
    // The archive of release 1.5 signed with `key` (unsigned without one), changed by `change`
    // after signing and zipped as `twist` says; as tools/sign-release zips it when neither bends it.
    std::string release(const char* key = "test.key",
                        const std::function<void(const std::string& bundle)>& change = {},
                        const std::optional<fixtures::ZipTwist>& twist = {}) {
        const std::string folder = dir / ("release-" + std::to_string(m_releases));
        const std::string bundle =
            writeBundle("release-" + std::to_string(m_releases++) + "/Drovane.app", "1.5");
        if (key) {
            EXPECT_TRUE(fixtures::signRelease(bundle, dir / key, folder + "/signed.zip"));
        }
        if (change) {
            change(bundle);
        }
        if (change || twist || !key) {
            EXPECT_TRUE(
                fixtures::zipRelease(bundle, folder + "/signed.zip", twist.value_or(fixtures::ZipTwist{})));
        }
        return fixtures::readBytes(folder + "/signed.zip");
    }

    fakes::TempDir dir;
    fakes::FakePlatform fake;
    std::string publicKey, installed;
    LoopbackServer server;
    std::shared_ptr<CurlHttp> http = std::make_shared<CurlHttp>();
    std::shared_ptr<fakes::FakeAlerts> alerts = std::make_shared<fakes::FakeAlerts>();
    std::shared_ptr<const Window> window = std::make_shared<VisibleWindow>();
    std::shared_ptr<UpdateInstall> installer;

private:
    int m_releases = 0;
};

TEST_F(UpdateInstallLoopbackTest, EveryBadReleaseEndsInOneAlertAndReplacesNothing) {
    const auto write = [](const std::string& relative, const std::string& bytes) {
        return [=](const std::string& bundle) { fixtures::writeBytes(bundle + "/" + relative, bytes); };
    };
    const auto link = [](const std::string& target) {
        return [=](const std::string& bundle) {
            fs::create_symlink(target, bundle + "/Contents/Resources/link");
        };
    };
    using fixtures::ZipTwist;
    // `reason`: how the reason logged starts, the unpacker's or the signature check's where they
    // refused.
    const std::string badArchive = "the archive was refused: ", badBundle = "the bundle was refused: ";
    // clang-format off
    const struct {
        const char* name;
        std::string body;
        std::string reason;
    } cases[] = {
        {"unsigned", release(nullptr), badBundle + "the bundle is not signed"},
        {"signed by another key", release("other.key"), badBundle + "signed by another key"},
        {"a file changed after signing", release("test.key", write("Contents/MacOS/drovane", "#!/bin/sh\n")), badBundle + "a file changed after signing"},
        {"a file added", release("test.key", write("Contents/MacOS/helper", "#!/bin/sh\n")), badBundle + "a file not in the list"},
        {"a listed file missing", release("test.key", [](const std::string& b) { fs::remove(b + "/Contents/Resources/qml/Main.qml"); }), badBundle + "a listed file is missing"},
        {"a symbolic link inside the bundle", release("test.key", link("qml/Main.qml")), badArchive + "a link"},
        {"a symbolic link leaving the bundle", release("test.key", link("/etc")), badArchive + "a link"},
        {"a ../ entry", release("test.key", {}, ZipTwist::withEntry("Drovane.app/../../../escaped")), badArchive + "a path with an empty, \".\" or \"..\" component"},
        {"an absolute path", release("test.key", {}, ZipTwist::withEntry(dir / "escaped")), badArchive + "an absolute path"},
        {"another top-level name", release("test.key", {}, ZipTwist::namedAs("Drovane 2.app")), badArchive + "something besides Drovane.app"},
        {"a zip bomb announced as small", release("test.key", write("Contents/Resources/padding", std::string(8 << 20, '\0')), ZipTwist::announcing(100)), badArchive + "more data than announced"},
        {"a zip bomb announced as it is", release("test.key", write("Contents/Resources/padding", std::string(8 << 20, '\0'))), badArchive + "more than 1 MiB announced"},
    };
    // clang-format on
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        server.serve("/" + std::to_string(i) + ".zip", cases[i].body, 200, "application/zip");
    }
    server.start();
    const auto before = contents(dir / "it's my apps");
    for (std::size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].name);
        fake.log->clear();
        alerts->shown.clear();
        installer->install({"1.5", server.url("/"), server.url("/" + std::to_string(i) + ".zip")}, window);
        // The progress, then the failure; the core updater's test reads them.
        ASSERT_TRUE(testing::waitFor([&] { return alerts->shown.size() >= 2; }, fake.mainQueue.get(), 20));
        EXPECT_EQ(alerts->shown.size(), 2u);
        EXPECT_EQ(fake.workspace->terminations, 0);
        EXPECT_EQ(contents(dir / "it's my apps"), before);
        EXPECT_FALSE(fs::exists(dir / "escaped"));
        const auto lines = fake.log->lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(lines[0].starts_with("Drovane: update to 1.5 failed: " + cases[i].reason)) << lines[0];
    }
}

} // namespace
} // namespace drovane::desktop
