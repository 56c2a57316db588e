#include "update/UpdateInstall.h"

#include "fakes/FakeLibraryWindows.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "support/Files.h"
#include "support/Settings.h"
#include "update/ArchiveEntries.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

// Unpacks a "zip" that is the text of the Info.plist to stage; the signature always holds.
class ScriptedArchives final : public ReleaseArchives {
public:
    std::optional<std::string> unpack(const std::string& archive, const std::string& folder) override {
        fs::create_directories(folder + "/Drovane.app/Contents");
        fs::copy_file(archive, folder + "/Drovane.app/Contents/Info.plist");
        return std::nullopt;
    }
    std::optional<std::string> verify(const std::string&) override { return std::nullopt; }
};

class RecordingProcesses final : public Processes {
public:
    ProcessResult run(const std::string&, const std::vector<std::string>&) override { return {}; }
    bool startDetachedShellScript(const std::string& script, const std::vector<std::string>&) override {
        scripts.push_back(script);
        return starts;
    }
    std::vector<std::string> scripts;
    bool starts = true;
};

std::shared_ptr<const Window> aWindow(bool shown = true) {
    auto window = std::make_shared<fakes::FakeLibraryWindow>(LibraryWindowContent{});
    window->visible = shown;
    return window;
}

std::string plist(const std::string& version) {
    return "<?xml version=\"1.0\"?><plist version=\"1.0\"><dict><key>DVVersion</key><string>" + version +
           "</string></dict></plist>";
}

class UpdateInstallTest : public ::testing::Test {
protected:
    UpdateInstallTest() {
        fake.host->info["DVVersion"] = "1.4";
        installed = fake.host->tree() / "apps/Drovane.app";
        fs::create_directories(installed);
        fake.host->bundle = Url::fromFilePath(installed);
        fs::create_directories(fake.host->temporaryDirectory());
        fake.platform().releaseArchives = archives;
        fake.platform().processes = processes;
        installer = UpdateInstall::create(fake.platform());
    }
    void attempt(const std::string& body, std::optional<int> status = 200, const std::string& error = "",
                 const std::shared_ptr<const Window>& over = nullptr) {
        fake.http->script[zip] = {error, status, fakes::bytes(body)};
        installer->install({"1.5", "https://drovane.app/", zip}, over ? over : window);
        fake.http->answerAll();
        fake.mainQueue->drain();
    }
    void clearAlerts() {
        alerts->shown.clear();
        alerts->handles.clear();
    }
    std::size_t stagingFolders() const {
        std::size_t n = 0;
        for (const auto& entry : listFolder(fake.host->temporaryDirectory())) {
            n += entry.name.starts_with(UpdateInstall::stagingPrefix);
        }
        return n;
    }

    const std::string zip = "https://drovane.app/download/Drovane-1.5.zip";
    fakes::FakePlatform fake;
    std::string installed;
    std::shared_ptr<fakes::FakeAlerts> alerts = fake.alerts;
    std::shared_ptr<ScriptedArchives> archives = std::make_shared<ScriptedArchives>();
    std::shared_ptr<RecordingProcesses> processes = std::make_shared<RecordingProcesses>();
    std::shared_ptr<const Window> window = aWindow();
    std::shared_ptr<UpdateInstall> installer;
};

// A refused answer, archive, signature or version is met with the real network layer, unpacker
// and signature check in the backend's loopback test; here the ones it does not make.
TEST_F(UpdateInstallTest, EveryFailureEndsInOneAlertAndReplacesNothing) {
    struct Case {
        const char* name;
        std::string body;
        std::optional<int> status;
        std::string error;
        // Why, in the one line logged.
        std::string reason;
    };
    // clang-format off
    const Case cases[] = {
        {"partial content", plist("1.5"), 206, "", "the server answered 206"},
        {"a broken transfer", "", std::nullopt, "connection reset", "the download failed: connection reset"},
        {"the same version", plist("1.4.0"), 200, "", "its version 1.4.0 is not newer than 1.4"},
        {"no version", "<plist version=\"1.0\"><dict/></plist>", 200, "", "its Info.plist names no version"},
        {"no property list", "{}", 200, "", "its Info.plist cannot be read"},
    };
    // clang-format on
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clearAlerts();
        fake.log->clear();
        attempt(c.body, c.status, c.error);
        EXPECT_EQ(fake.log->lines(), std::vector<std::string>{"Drovane: update to 1.5 failed: " + c.reason});
        // The progress, closed, then the failure over the window it was offered on.
        ASSERT_EQ(alerts->shown.size(), 2u);
        EXPECT_TRUE(alerts->handles[0]->closed);
        EXPECT_EQ(alerts->shown[1].content.message, "The update did not arrive in one piece.");
        EXPECT_EQ(alerts->shown[1].parent, window.get());
        EXPECT_TRUE(processes->scripts.empty());
        EXPECT_EQ(fake.workspace->terminations, 0);
        EXPECT_TRUE(fs::is_directory(installed));
        EXPECT_TRUE(listFolder(fake.host->temporaryDirectory()).empty()) << "a failed attempt leaves nothing";
    }
    alerts->shown.back().completion({0, false});
    EXPECT_EQ(fake.workspace->openedUrls, std::vector<Url>{Settings::downloadURL()});
}

TEST_F(UpdateInstallTest, AVerifiedNewerBundleIsSwappedByTheScriptAndTheProgramQuits) {
    attempt(plist("1.5"));
    EXPECT_EQ(fake.http->last(zip)->maxBytes(), ArchiveLimits::maxArchiveBytes)
        << "a hostile host cannot fill the disk";
    ASSERT_EQ(stagingFolders(), 1u);
    for (const auto& entry : listFolder(fake.host->temporaryDirectory())) {
        EXPECT_EQ(fs::status(fake.host->temporaryDirectory() + "/" + entry.name).permissions(),
                  fs::perms::owner_all)
            << "nobody else can change the bundle between its check and the swap";
    }
    // What the script does with the bundle is its own test; that it swaps this one and the
    // program quits for it, the installed program's.
    EXPECT_EQ(processes->scripts.size(), 1u);

    processes->starts = false;
    clearAlerts();
    attempt(plist("1.5"));
    EXPECT_EQ(alerts->shown.back().content.message, "The update could not be installed.");
    EXPECT_EQ(alerts->shown.back().parent, nullptr);
    EXPECT_EQ(fake.workspace->terminations, 1);
    EXPECT_EQ(fake.log->countStartingWith("Drovane: the update's swap script cannot be started"), 1u);
}

TEST_F(UpdateInstallTest, AnInstallOfferedWithoutAWindowShowsItsProgressOnTheFirstVisibleOne) {
    const auto hidden = aWindow(false), first = aWindow(), second = aWindow();
    struct Case {
        const char* name;
        std::vector<std::shared_ptr<const Window>> windows;
        std::shared_ptr<const Window> over;
        const Window* host;
    };
    const Case cases[] = {
        {"no window at all", {}, nullptr, nullptr},
        {"only hidden or gone ones", {hidden, nullptr}, nullptr, nullptr},
        {"the first visible one", {hidden, nullptr, first, second}, nullptr, first.get()},
        {"the prompt's own window first", {first}, second, second.get()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        installer->windows = [&c] { return c.windows; };
        clearAlerts();
        fake.http->script[zip] = {"", 404, fakes::bytes("")};
        installer->install({"1.5", "u", zip}, c.over);
        const auto progress = alerts->shown.size();
        fake.http->answerAll();
        fake.mainQueue->drain();
        if (c.host) {
            ASSERT_EQ(progress, 1u);
            EXPECT_EQ(alerts->shown[0].parent, c.host);
            EXPECT_TRUE(alerts->handles[0]->closed);
        } else {
            EXPECT_EQ(progress, 0u) << "no progress is shown";
        }
        EXPECT_EQ(alerts->shown.back().content.message, "The update did not arrive in one piece.");
        EXPECT_EQ(alerts->shown.back().parent, c.over.get()) << "a failure is shown as it was offered";
    }
}

TEST_F(UpdateInstallTest, WithoutAnArchiveOrAWritableFolderNothingIsDownloaded) {
    // Only an absolute HTTP(S) address is an archive's; anything else opens the download page.
    const std::optional<std::string> notArchives[] = {
        std::nullopt,
        "",
        "not an address",
        "/download/x.zip",
        "//drovane.app/download/x.zip",
        "https://",
        "file:///tmp/Drovane.zip",
        "mailto:me@drovane.app",
    };
    for (const auto& address : notArchives) {
        SCOPED_TRACE(address.value_or("none"));
        fake.workspace->openedUrls.clear();
        installer->install({"1.5", "u", address}, window);
        EXPECT_EQ(fake.workspace->openedUrls, std::vector<Url>{Settings::downloadURL()});
    }
    EXPECT_TRUE(alerts->shown.empty());
    EXPECT_TRUE(fake.http->tasks().empty());
    installer->install({"1.5", "u", "HTTP://drovane.app/download/x.zip"}, window);
    EXPECT_EQ(fake.http->tasks().size(), 1u) << "a scheme in capitals is the same scheme";
    fake.http->answerAll();
    fake.mainQueue->drain();
    fake.http->forgetAnswered();
    clearAlerts();

    // A folder that cannot be written even by root: one that is not there.
    const std::string folder = fake.host->tree() / "gone";
    fake.host->bundle = Url::fromFilePath(folder + "/Drovane.app");
    installer->install({"1.5", "u", zip}, window);
    ASSERT_EQ(alerts->shown.size(), 1u);
    EXPECT_EQ(alerts->shown[0].content.message, "Drovane cannot replace itself here.");
    EXPECT_EQ(alerts->shown[0].content.informativeText,
              folder + " is not writable. Download the new version and drag it over by hand.");
    EXPECT_TRUE(fake.http->tasks().empty());
}

} // namespace
} // namespace drovane
