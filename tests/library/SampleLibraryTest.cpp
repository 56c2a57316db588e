#include "fakes/FakePlatform.h"
#include "library/Library.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>

namespace drovane {
namespace {

namespace fs = std::filesystem;

// The tree tools/make-sample-library writes, copied into the fake host's home and system root.
class SampleLibrary : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (std::system("command -v ffmpeg >/dev/null && command -v python3 >/dev/null") != 0)
            return;
        const std::string command = std::string("'") + DROVANE_SAMPLE_TOOL + "' --out '" +
                                    DROVANE_SAMPLE_OUT + "' --base-url http://127.0.0.1:8765/ >/dev/null";
        s_made = std::system(command.c_str()) == 0;
    }

    void SetUp() override {
        if (!s_made)
            GTEST_SKIP() << "make-sample-library needs python3 and ffmpeg";
        const auto options = fs::copy_options::recursive | fs::copy_options::overwrite_existing;
        fs::copy(std::string(DROVANE_SAMPLE_OUT) + "/home", fake.host->homeDirectory(), options);
        fs::copy(std::string(DROVANE_SAMPLE_OUT) + "/root", fake.host->systemRoot(), options);
    }

    // name|location|category|stretches|downloadable, by identifier.
    // A catalogue read afresh, as a process started in the current language reads it.
    std::map<std::string, std::string> catalogue() {
        std::map<std::string, std::string> out;
        const auto catalogue = Library(fake.host).load();
        for (const auto& e : catalogue->entries)
            out[e.id] = e.name + "|" + e.location + "|" + e.category + "|" +
                        (e.stretches ? "stretch" : "crop") + "|" +
                        (e.cdnURL ? "cdn" : (e.fileURL ? "system" : "none"));
        return out;
    }

    static inline bool s_made = false;
    fakes::FakePlatform fake;
};

TEST_F(SampleLibrary, ReadsInEnglish) {
    const std::map<std::string, std::string> expected = {
        {"B2A4C1F0-77E1-4D1E-9A55-2A8F0C1D3E01", "Big Sur|Big Sur|Landscapes|crop|cdn"},
        {"5F3D2C1B-0A9E-4D8C-B7A6-958473625140",
         "Great Barrier Reef|Great Barrier Reef|Underwater|stretch|cdn"},
        {"D7C6B5A4-9382-4716-A5B4-C3D2E1F0A9B8", "New York at Night|New York|Cityscapes|crop|cdn"},
        {"1E2D3C4B-5A69-4788-96A5-B4C3D2E1F001", "Yosemite Valley|Yosemite|Landscapes|crop|cdn"},
        {"2F3E4D5C-6B7A-4899-A7B6-C5D4E3F20112", "Coast Dark|Big Sur|Landscapes|crop|cdn"},
        {"3A4B5C6D-7E8F-4901-B2C3-D4E5F6071223",
         "Night over Africa|Night over Africa|Earth from Space|stretch|cdn"},
        {"4B5C6D7E-8F90-4A12-C3D4-E5F607182334", "Tuscany|Tuscany|Countryside|crop|cdn"},
        {"7E8F90A1-B2C3-4D45-E6F7-081920314556", "Patagonia|Patagonia|Other|crop|none"},
        {"HILL LANDSCAPE", "Hill|Hill|System|stretch|system"},
        {"SEQUOIA SUNRISE", "Sequoia Sunrise|Sequoia Sunrise.mov|System|stretch|system"},
    };
    EXPECT_EQ(catalogue(), expected);

    const Library library(fake.host);
    std::vector<std::string> labels;
    for (const auto& film : library.allVideos())
        labels.push_back(film.label);
    EXPECT_EQ(labels, (std::vector<std::string>{"Big Sur", "Great Barrier Reef", "Hill", "New York at Night",
                                                "Sequoia Sunrise"}));

    std::vector<std::string> missing;
    for (const auto& asset : library.missingAssets()) {
        missing.push_back(asset.id);
        EXPECT_EQ(asset.url.string(), "http://127.0.0.1:8765/videos/" + asset.id + ".mov");
        EXPECT_TRUE(fs::exists(std::string(DROVANE_SAMPLE_OUT) + "/server/videos/" + asset.id + ".mov"));
    }
    EXPECT_EQ(missing.size(), 4u);
}

TEST_F(SampleLibrary, ReadsInGermanAndPortuguese) {
    fake.host->env["LANG"] = "de_DE.UTF-8";
    auto names = catalogue();
    EXPECT_EQ(names.at("5F3D2C1B-0A9E-4D8C-B7A6-958473625140"),
              "Großes Barriereriff|Great Barrier Reef|Underwater|stretch|cdn")
        << "built-in category titles come before the tables";
    EXPECT_EQ(names.at("2F3E4D5C-6B7A-4899-A7B6-C5D4E3F20112"), "Küste Dark|Big Sur|Landscapes|crop|cdn");
    EXPECT_EQ(names.at("1E2D3C4B-5A69-4788-96A5-B4C3D2E1F001"), "Yosemite-Tal|Yosemite|Landscapes|crop|cdn");
    EXPECT_EQ(names.at("4B5C6D7E-8F90-4A12-C3D4-E5F607182334"), "Toskana|Toskana|Landleben|crop|cdn");

    fake.host->env["LANG"] = "pt_BR.UTF-8";
    names = catalogue();
    // The empty Portuguese strings file gives way to English; the regional table overrides it.
    EXPECT_EQ(names.at("5F3D2C1B-0A9E-4D8C-B7A6-958473625140"),
              "Great Barrier Reef|Great Barrier Reef|Underwater|stretch|cdn");
    EXPECT_EQ(names.at("2F3E4D5C-6B7A-4899-A7B6-C5D4E3F20112"), "Costa Dark|Big Sur|Landscapes|crop|cdn");
    EXPECT_EQ(names.at("4B5C6D7E-8F90-4A12-C3D4-E5F607182334"), "Toscana|Toscana|Countryside|crop|cdn");
}

} // namespace
} // namespace drovane
