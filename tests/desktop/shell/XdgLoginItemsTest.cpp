#include "desktop/shell/XdgLoginItems.h"

#include "fakes/TempDir.h"
#include "support/AtomicFile.h"
#include "support/Files.h"

#include <filesystem>
#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

TEST(XdgLoginItems, RegisteringWritesAnAutostartEntryThatReadsBack) {
    fakes::TempDir tree;
    const std::string executable = "/opt/My Apps/Drovane.app/Contents/MacOS/drovane";
    XdgLoginItems items(tree / "config", executable);
    EXPECT_FALSE(items.isRegistered());
    EXPECT_EQ(items.unregisterApplication(), std::nullopt); // nothing to remove is fine

    EXPECT_EQ(items.registerApplication(), std::nullopt);
    EXPECT_EQ(items.entryPath(), tree / "config/autostart/drovane.desktop");
    auto text = readWholeFile(items.entryPath());
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text->find("Exec=\"/opt/My Apps/Drovane.app/Contents/MacOS/drovane\"\n"), std::string::npos);
    EXPECT_TRUE(items.isRegistered());

    // An entry for another executable, or one the desktop has disabled, is not ours.
    EXPECT_FALSE(XdgLoginItems(tree / "config", "/usr/bin/other").isRegistered());
    tree.write("config/autostart/drovane.desktop", *text + "Hidden=true\n");
    EXPECT_FALSE(items.isRegistered());

    EXPECT_EQ(items.unregisterApplication(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(items.entryPath()));
    EXPECT_FALSE(items.isRegistered());
}

TEST(XdgLoginItems, FailuresComeBackAsText) {
    fakes::TempDir tree;
    tree.write("config", "a file where the folder should be");
    XdgLoginItems items(tree / "config", "/usr/bin/drovane");
    auto error = items.registerApplication();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->empty());
}

TEST(XdgLoginItems, ExecArgumentsAreQuotedByTheDesktopEntryRules) {
    EXPECT_EQ(quoteDesktopExecArgument("/usr/bin/drovane"), "/usr/bin/drovane");
    EXPECT_EQ(quoteDesktopExecArgument("/a b/drovane"), "\"/a b/drovane\"");
    EXPECT_EQ(quoteDesktopExecArgument("/a$b/\"x\""), "\"/a\\\\$b/\\\\\"x\\\\\"\"");
    EXPECT_EQ(quoteDesktopExecArgument("/100%/d"), "\"/100%%/d\"");
}

} // namespace
} // namespace drovane::desktop
