#include "desktop/runtime/DesktopHost.h"

#include <gtest/gtest.h>

namespace drovane::desktop {
namespace {

TEST(DesktopHost, VersionNumbersArePaddedToThree) {
    using V = OperatingSystemVersion;
    const struct {
        const char* text;
        std::optional<OperatingSystemVersion> expected;
    } cases[] = {
        // clang-format off
        {"12", V{12, 0, 0}},
        {"13.1", V{13, 1, 0}},
        {"22.04.3 LTS", V{22, 4, 3}},
        {"6.1.0-18-amd64", V{6, 1, 0}},
        {"6.1.55+rpt", V{6, 1, 55}},
        {"1.2.3.4", V{1, 2, 3}},
        {"5.", V{5, 0, 0}},
        {"", std::nullopt},
        {"rolling", std::nullopt},
        // clang-format on
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parseVersionNumbers(c.text), c.expected) << c.text;
    }
}

TEST(DesktopHost, OsReleaseValuesAreUnquoted) {
    const std::string text =
        "PRETTY_NAME=\"Debian GNU/Linux 12 (bookworm)\"\nNAME=Debian\nVERSION_ID=\"12\"\n"
        "ID=debian\nVERSION_CODENAME='bookworm'\n";
    EXPECT_EQ(osReleaseValue(text, "VERSION_ID"), "12");
    EXPECT_EQ(osReleaseValue(text, "NAME"), "Debian");
    EXPECT_EQ(osReleaseValue(text, "VERSION_CODENAME"), "bookworm");
    EXPECT_EQ(osReleaseValue(text, "VERSION"), std::nullopt); // a prefix of another key is not that key
    EXPECT_EQ(osReleaseValue("", "ID"), std::nullopt);
}

} // namespace
} // namespace drovane::desktop
