#include "app/LaunchOptions.h"

#include "library/SidebarSelection.h"

#include <gtest/gtest.h>

// The cases name only the fields they set; the others keep their defaults.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace drovane {
namespace {

Url link(const char* text) {
    return Url::parse(text).value();
}

TEST(LaunchOptions, ReadsFlagsAnywhereAndValuesLeftToRight) {
    struct Case {
        std::vector<std::string> args;
        LaunchOptions expected;
    };
    // That flags are found anywhere and a later value replaces an earlier one, the fuzz harness
    // checks on any command line; here, the edges it does not pin down.
    // clang-format off
    const Case cases[] = {
        // A valued option standing last is ignored and consumes nothing.
        {{"--open-window", "--size"}, {.openWindow = true}},
        {{"--select"}, {}},
        // A value is taken unchanged even when it looks like a flag; the flag search still finds it.
        {{"--screenshot", "--settings"}, {.settings = true, .screenshotPath = "--settings"}},
        {{"--screenshot", "/tmp/a.png", "--settings"}, {.settings = true, .screenshotPath = "/tmp/a.png"}},
        // Only the first positional counts; values are not positionals; unknown options are skipped.
        {{"--unknown", "--select", "ondisk", "/a.mov", "/b.mov", "--onboarding"}, {.onboarding = true, .selectText = "ondisk", .positional = "/a.mov"}},
        {{"-x", "--open-window"}, {.openWindow = true, .positional = "-x"}},
        // Flags are case-sensitive whole arguments.
        {{"--Open-Window", "--open-window=yes"}, {}},
        // Links of the program's scheme are handed over, never the film path; a value stays a value.
        {{"drovane://film/abc", "/a.mov", "drovane:film", "--screenshot", "drovane://film/x"}, {.screenshotPath = "drovane://film/x", .positional = "/a.mov", .urls = {link("drovane://film/abc"), link("drovane:film")}}},
        {{"drovane://film/a b", "DROVANE://film/c", "drovanex:/d"}, {.positional = "DROVANE://film/c"}},
    };
    // clang-format on
    for (const Case& c : cases) {
        EXPECT_EQ(LaunchOptions::read(c.args), c.expected) << testing::PrintToString(c.args);
    }
}

TEST(LaunchOptions, SizeTextGivesExactlyTwoNumbersOrNothing) {
    struct Case {
        const char* text;
        std::optional<Size> expected;
    };
    const Case cases[] = {
        {"1200x800", Size{1200, 800}},
        {"1200.5x800.25", Size{1200.5, 800.25}},
        {"x1200xx800x", Size{1200, 800}},
        // empty pieces dropped
        {"1200xabcx800", Size{1200, 800}},
        // non-numbers dropped
        {"1200X800", std::nullopt},
        // upper-case separator: one piece, not a number
        {"1200x", std::nullopt},
        {"1x2x3", std::nullopt},
        {"", std::nullopt},
        {"infx800", std::nullopt},
        {"nanx800", std::nullopt},
        {" 1200x800", std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(parseSizeText(c.text), c.expected) << c.text;
    }
}

TEST(LaunchOptions, HelpAndVersionAreAnsweredWhereverTheyStandTheFirstOneWinning) {
    const std::string help = informationAsked({"--help"}, "1.2").value_or("");
    EXPECT_TRUE(help.starts_with("Usage: drovane ")) << help;
    const struct {
        std::vector<std::string> arguments;
        std::optional<std::string> text;
    } rows[] = {
        {{}, std::nullopt},
        {{"--open-window", "--unknown"}, std::nullopt},
        {{"--Version", "--help=yes", "-h"}, std::nullopt}, // whole, case-sensitive arguments
        {{"--version"}, "Drovane 1.2\n"},
        {{"--onboarding", "--version", "--help"}, "Drovane 1.2\n"},
        {{"--select", "--help", "--version"}, help}, // found like the flags, even as a value
    };
    for (const auto& row : rows) {
        EXPECT_EQ(informationAsked(row.arguments, "1.2"), row.text) << testing::PrintToString(row.arguments);
    }
}

TEST(SidebarSelection, OptionTextNamesTheFixedChoicesOnlyInLowerCase) {
    EXPECT_EQ(SidebarSelection::fromOptionText("all"), SidebarSelection::all());
    EXPECT_EQ(SidebarSelection::fromOptionText("favorites"), SidebarSelection::favorites());
    EXPECT_EQ(SidebarSelection::fromOptionText("ondisk"), SidebarSelection::onDisk());
    EXPECT_EQ(SidebarSelection::fromOptionText("Favorites"), SidebarSelection::named("Favorites"));
    EXPECT_EQ(SidebarSelection::fromOptionText("Underwater"), SidebarSelection::named("Underwater"));
}

} // namespace
} // namespace drovane
