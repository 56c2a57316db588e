#include "desktop/shell/XdgLoginItems.h"
#include "e2e/DisplayTools.h"
#include "fakes/TempDir.h"
#include "support/Files.h"

#include <gtest/gtest.h>

namespace drovane::e2e {
namespace {

// Installing for a user and taking it away again, in a private home, from this build tree.
class InstallTest : public testing::Test {
protected:
    struct Run {
        std::optional<int> status; // none when it crashed or hung
        std::string output;
    };
    // `argv` in the private home, the XDG variables empty (as if unset); its standard output.
    Run run(const std::vector<std::string>& argv) {
        ChildProcess process(argv,
                             {{"HOME", home},
                              {"XDG_DATA_HOME", ""},
                              {"XDG_CONFIG_HOME", ""},
                              {"XDG_DATA_DIRS", ""},
                              {"XDG_CURRENT_DESKTOP", ""}},
                             {}, dir / "output");
        const auto status = process.waitForExit(120s);
        return {status, QString::fromStdString(readFile(dir / "output")).trimmed().toStdString()};
    }
    Run script(const std::string& name, const std::vector<std::string>& arguments) {
        std::vector<std::string> argv = {PROJECT_SOURCE_DIR "/scripts/" + name};
        argv.insert(argv.end(), arguments.begin(), arguments.end());
        return run(argv);
    }

    fakes::TempDir dir;
    // xdg-mime cannot look up entries below a home with a blank in its path; a prefix may have one.
    const std::string home = dir / "home";
    const std::string prefix = dir / "opt it's mine";
    const std::string bundle = prefix + "/Drovane.app";
    const std::string executable = bundle + "/Contents/MacOS/drovane";
    const std::string applications = home + "/.local/share/applications";
    const std::string icons = home + "/.local/share/icons/hicolor";
};

TEST_F(InstallTest, InstallRegistersTheSchemeAndUninstallLeavesFilmsAndSettings) {
    fs::create_directories(home);
    const auto installed = script("install", {"--build-dir", DROVANE_BUILD_DIR, "--no-build", prefix});
    ASSERT_EQ(installed.status, 0) << installed.output;

    EXPECT_EQ(fs::status(executable).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    const std::string share = home + "/.local/share/", metainfo = share + "metainfo/app.drovane.metainfo.xml",
                      wallpaper = share + "plasma/wallpapers/app.drovane.wallpaper";
    // What the install puts in place and the uninstall takes away again.
    std::vector<std::string> placed = {
        bundle + "/Contents/Info.plist",     icons + "/scalable/apps/app.drovane.svg",
        share + "man/man1/drovane.1",        wallpaper + "/metadata.json",
        wallpaper + "/contents/ui/main.qml", metainfo};
    for (const char* size : {"16x16", "48x48", "256x256", "512x512"}) {
        placed.push_back(icons + "/" + size + "/apps/app.drovane.png");
    }
    for (const auto& path : placed) {
        EXPECT_TRUE(fs::exists(path)) << path;
    }
    EXPECT_NE(readWholeFile(metainfo).value_or("").find("<id>app.drovane</id>"), std::string::npos);

    const std::string entry = applications + "/app.drovane.desktop";
    const auto validated = run({"desktop-file-validate", entry});
    EXPECT_EQ(validated.status, 0) << validated.output;
    const auto text = readWholeFile(entry).value_or("");
    EXPECT_NE(text.find("\nExec=" + desktop::quoteDesktopExecArgument(executable) + " %U\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nMimeType=x-scheme-handler/drovane;\n"), std::string::npos);
    const std::vector<std::string> handler = {"xdg-mime", "query", "default", "x-scheme-handler/drovane"};
    EXPECT_EQ(run(handler).output, "app.drovane.desktop");

    // A user's films, settings and the login item the settings window made, also under the name
    // an earlier version gave it.
    const std::string film = home + "/Library/Application Support/com.apple.wallpaper/aerials/videos/A1.mov";
    const std::string settings = home + "/.config/drovane/app.drovane.plist";
    fs::create_directories(fs::path(film).parent_path());
    fs::create_directories(fs::path(settings).parent_path());
    std::ofstream(film) << "film";
    std::ofstream(settings) << "<plist/>";
    desktop::XdgLoginItems login(home + "/.config", executable);
    ASSERT_EQ(login.registerApplication(), std::nullopt);
    const std::string earlierLogin = home + "/.config/autostart/drovane.desktop";
    fs::copy_file(login.entryPath(), earlierLogin);

    const auto removed = script("uninstall", {prefix});
    ASSERT_EQ(removed.status, 0) << removed.output;
    for (const auto& path : {bundle, entry, earlierLogin, wallpaper}) {
        EXPECT_FALSE(fs::exists(path)) << path;
    }
    for (const auto& path : placed) {
        EXPECT_FALSE(fs::exists(path)) << path;
    }
    EXPECT_FALSE(login.isRegistered());
    EXPECT_EQ(run(handler).output, "");
    EXPECT_EQ(readWholeFile(film), "film");
    EXPECT_EQ(readWholeFile(settings), "<plist/>");
}

} // namespace
} // namespace drovane::e2e
