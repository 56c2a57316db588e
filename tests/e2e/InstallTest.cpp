#include "desktop/shell/XdgLoginItems.h"
#include "fakes/TempDir.h"
#include "support/Files.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>

namespace drovane::e2e {
namespace {

namespace fs = std::filesystem;

// Installing for a user and taking it away again, in a private home, from this build tree.
class InstallTest : public testing::Test {
protected:
    struct Run {
        int status;
        std::string output;
    };
    // `program` with `arguments` in the private home; its standard output, or a status of -1.
    Run run(const QString& program, const QStringList& arguments) {
        QProcess process;
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), QString::fromStdString(home));
        for (const char* name :
             {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_DATA_DIRS", "XDG_CURRENT_DESKTOP"}) {
            env.remove(QString::fromLatin1(name));
        }
        process.setProcessEnvironment(env);
        process.start(program, arguments);
        if (!process.waitForFinished(120000) || process.exitStatus() != QProcess::NormalExit) {
            return {-1, {}};
        }
        return {process.exitCode(), process.readAllStandardOutput().trimmed().toStdString()};
    }
    Run script(const char* name, QStringList arguments) {
        return run(QStringLiteral(PROJECT_SOURCE_DIR "/scripts/") + QString::fromLatin1(name), arguments);
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
    const auto installed =
        script("install", {QStringLiteral("--build-dir"), QStringLiteral(DROVANE_BUILD_DIR),
                           QStringLiteral("--no-build"), QString::fromStdString(prefix)});
    ASSERT_EQ(installed.status, 0) << installed.output;

    EXPECT_TRUE(fs::exists(bundle + "/Contents/Info.plist"));
    EXPECT_EQ(fs::status(executable).permissions() & fs::perms::owner_exec, fs::perms::owner_exec);
    for (const char* icon :
         {"16x16/apps/app.drovane.png", "48x48/apps/app.drovane.png", "256x256/apps/app.drovane.png",
          "512x512/apps/app.drovane.png", "scalable/apps/app.drovane.svg"}) {
        EXPECT_TRUE(fs::exists(icons + "/" + icon)) << icon;
    }
    const std::string metainfo = home + "/.local/share/metainfo/app.drovane.metainfo.xml";
    const std::string manual = home + "/.local/share/man/man1/drovane.1";
    EXPECT_NE(readWholeFile(metainfo).value_or("").find("<id>app.drovane</id>"), std::string::npos);
    EXPECT_TRUE(fs::exists(manual));
    const std::string wallpaper = home + "/.local/share/plasma/wallpapers/app.drovane.wallpaper";
    EXPECT_TRUE(fs::exists(wallpaper + "/metadata.json") && fs::exists(wallpaper + "/contents/ui/main.qml"));

    const std::string entry = applications + "/app.drovane.desktop";
    const auto validated = run(QStringLiteral("desktop-file-validate"), {QString::fromStdString(entry)});
    EXPECT_EQ(validated.status, 0) << validated.output;
    const auto text = readWholeFile(entry).value_or("");
    EXPECT_NE(text.find("\nExec=" + desktop::quoteDesktopExecArgument(executable) + " %U\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("\nMimeType=x-scheme-handler/drovane;\n"), std::string::npos);
    const auto handler = run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                                          QStringLiteral("x-scheme-handler/drovane")});
    EXPECT_EQ(handler.output, "app.drovane.desktop");

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

    const auto removed = script("uninstall", {QString::fromStdString(prefix)});
    ASSERT_EQ(removed.status, 0) << removed.output;
    EXPECT_FALSE(fs::exists(bundle));
    EXPECT_FALSE(fs::exists(entry));
    EXPECT_FALSE(fs::exists(icons + "/48x48/apps/app.drovane.png"));
    EXPECT_FALSE(login.isRegistered());
    EXPECT_FALSE(fs::exists(earlierLogin));
    EXPECT_FALSE(fs::exists(metainfo));
    EXPECT_FALSE(fs::exists(manual));
    EXPECT_FALSE(fs::exists(wallpaper));
    EXPECT_EQ(run(QStringLiteral("xdg-mime"), {QStringLiteral("query"), QStringLiteral("default"),
                                               QStringLiteral("x-scheme-handler/drovane")})
                  .output,
              "");
    EXPECT_EQ(readWholeFile(film), "film");
    EXPECT_EQ(readWholeFile(settings), "<plist/>");
}

} // namespace
} // namespace drovane::e2e
