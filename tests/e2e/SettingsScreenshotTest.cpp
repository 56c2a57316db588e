#include "desktop/ChildProcess.h"
#include "fakes/TempDir.h"

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>

namespace drovane::e2e {
namespace {

using namespace std::chrono_literals;
using desktop::testing::ChildProcess;

std::uint32_t bigEndian(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value = (value << 8) | static_cast<unsigned char>(bytes.at(at + i));
    }
    return value;
}

TEST(SettingsScreenshot, SettingsWithScreenshotPicturesTheSettingsWindowAfterFourSeconds) {
    fakes::TempDir home;
    const std::string picture = home / "s.png";
    const auto started = std::chrono::steady_clock::now();
    ChildProcess program({DROVANE_BINARY, "--settings", "--screenshot", picture},
                         {{"HOME", home.path()},
                          {"XDG_CONFIG_HOME", home / ".config"},
                          {"XDG_CACHE_HOME", home / ".cache"},
                          {"XDG_DATA_HOME", home / ".local/share"},
                          {"XDG_RUNTIME_DIR", home / "run"},
                          {"DROVANE_SYSTEM_ROOT", home / "root"},
                          {"DROVANE_SITE_URL", "http://127.0.0.1:9"}});
    ASSERT_TRUE(program.waitForLine("Drovane: snapshot written to " + picture, 30s));
    EXPECT_GE(std::chrono::steady_clock::now() - started, 4s);

    std::ifstream file(picture, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    ASSERT_GT(bytes.size(), 24u);
    EXPECT_EQ(bytes.substr(1, 3), "PNG");
    EXPECT_EQ(bigEndian(bytes, 16), 460u) << "the settings window's view";
    EXPECT_EQ(bigEndian(bytes, 20), 420u);
    EXPECT_FALSE(program.waitForExit(500ms).has_value()) << "the program runs on";
}

} // namespace
} // namespace drovane::e2e
