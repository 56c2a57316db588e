#include "desktop/shell/XdgLoginItems.h"

#include "fakes/TempDir.h"
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
    EXPECT_EQ(items.entryPath(), tree / "config/autostart/app.drovane.desktop");
    auto text = readWholeFile(items.entryPath());
    ASSERT_TRUE(text);
    EXPECT_NE(text->find("[Desktop Entry]\n"), std::string::npos);
    EXPECT_NE(text->find("Exec=\"/opt/My Apps/Drovane.app/Contents/MacOS/drovane\"\n"), std::string::npos);
    EXPECT_TRUE(items.isRegistered());

    // An entry for another executable is not ours (one the desktop has disabled: the table below).
    EXPECT_FALSE(XdgLoginItems(tree / "config", "/usr/bin/other").isRegistered());

    EXPECT_EQ(items.unregisterApplication(), std::nullopt);
    EXPECT_FALSE(std::filesystem::exists(items.entryPath()));
    EXPECT_FALSE(items.isRegistered());

    tree.write("blocked", "a file where the folder should be");
    const auto error = XdgLoginItems(tree / "blocked", executable).registerApplication();
    ASSERT_TRUE(error);
    EXPECT_FALSE(error->empty()) << "a failure comes back as text";
}

// Regression: the login item was "drovane.desktop" beside the launcher's "app.drovane.desktop".
// One an earlier version wrote stays the user's login item, under the launcher's name, with the
// user's choice to hide it kept; beside a current one it would start a second copy, and goes.
TEST(XdgLoginItems, AnEntryUnderTheEarlierNameIsRecognisedAndMovedToTheCurrentOne) {
    const std::string executable = "/home/u/.local/opt/Drovane.app/Contents/MacOS/drovane";
    fakes::TempDir scratch;
    XdgLoginItems(scratch.path(), executable).registerApplication();
    const std::string on = readWholeFile(scratch / "autostart/app.drovane.desktop").value();
    const std::string hidden = on + "Hidden=true\n";
    using Text = std::optional<std::string>;
    const struct {
        Text earlier, current;
        bool registeredBefore;
        Text currentAfter;
        bool registeredAfter;
    } rows[] = {
        // clang-format off
        // earlier  current  before  current after  after
        {on,        {},      true,   on,            true},
        {hidden,    {},      false,  hidden,        false},
        {on,        on,      true,   on,            true},
        {on,        hidden,  false,  hidden,        false},
        {{},        hidden,  false,  hidden,        false},
        {{},        {},      false,  {},            false},
        // clang-format on
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.earlier.value_or("-") + " | " + row.current.value_or("-"));
        fakes::TempDir tree;
        if (row.earlier) {
            tree.write("autostart/drovane.desktop", *row.earlier);
        }
        if (row.current) {
            tree.write("autostart/app.drovane.desktop", *row.current);
        }
        XdgLoginItems items(tree.path(), executable);
        EXPECT_EQ(items.isRegistered(), row.registeredBefore);
        EXPECT_EQ(items.adoptEarlierEntry(), std::nullopt);
        EXPECT_FALSE(std::filesystem::exists(tree / "autostart/drovane.desktop"));
        EXPECT_EQ(readWholeFile(items.entryPath()), row.currentAfter);
        EXPECT_EQ(items.isRegistered(), row.registeredAfter);
    }

    // Switching the item on or off leaves no entry under the earlier name either.
    fakes::TempDir tree;
    XdgLoginItems items(tree.path(), executable);
    for (bool enable : {true, false}) {
        tree.write("autostart/drovane.desktop", hidden);
        EXPECT_EQ(enable ? items.registerApplication() : items.unregisterApplication(), std::nullopt);
        EXPECT_FALSE(std::filesystem::exists(tree / "autostart/drovane.desktop"));
        EXPECT_EQ(items.isRegistered(), enable);
    }
}

} // namespace
} // namespace drovane::desktop
