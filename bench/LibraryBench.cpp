// The catalogue on a manifest of the real one's size and more: 2,000 films in 40 categories,
// a string table naming them, and 500 downloaded films in the video folder.

#include "fakes/FakePlatform.h"
#include "library/Library.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>
#include <fstream>

namespace {

using namespace drovane;
namespace fs = std::filesystem;

constexpr int assetCount = 2000;
constexpr int categoryCount = 40;
constexpr int filesOnDisk = 500;

std::string assetId(int i) {
    char id[40];
    std::snprintf(id, sizeof id, "%08x-77e1-4d1e-9a55-%012x", 0xb2a40000u + i, i);
    return id;
}

std::string largeManifest() {
    std::string json = R"({"version": 1, "categories": [)";
    for (int c = 0; c < categoryCount; ++c) {
        json += (c ? "," : "");
        json += R"({"id": "cat-)" + std::to_string(c) + R"(", "localizedNameKey": "AerialCategory)" +
                std::to_string(c) + R"(", "subcategories": [)";
        for (int s = 0; s < 5; ++s) {
            json += (s ? "," : "");
            json += R"({"id": "sub-)" + std::to_string(c) + "-" + std::to_string(s) +
                    R"(", "localizedNameKey": "AerialSubcategoryPlace)" + std::to_string(s) + R"("})";
        }
        json += "]}";
    }
    json += R"(], "assets": [)";
    for (int i = 0; i < assetCount; ++i) {
        const std::string id = assetId(i);
        const int c = i % categoryCount;
        json += (i ? "," : "");
        json += R"({"id": ")" + id + R"(", "accessibilityLabel": "Place )" + std::to_string(i) +
                R"(", "localizedNameKey": "AerialFilm)" + std::to_string(i) + R"(", "categories": ["cat-)" +
                std::to_string(c) + R"("], "subcategories": ["sub-)" + std::to_string(c) + "-" +
                std::to_string(i % 5) + R"("], "url-4K-SDR-240FPS": "https://cdn.example/videos/)" + id +
                R"(.mov", "previewImage": "https://cdn.example/previews/)" + id +
                R"(.jpg", "pointsOfInterest": {"0": "AerialFilm)" + std::to_string(i) +
                R"(Start"}, "includeInShuffle": true, "shotID": "S)" + std::to_string(i) + R"(")";
        if (i % 7 == 0)
            json += R"(, "variant": {"orientation": "landscape", "appearance": "dark"})";
        if (i % 11 == 0)
            json += R"(, "videoGravity": "resize")";
        json += "}";
    }
    return json + "]}";
}

std::string stringsFile() {
    std::string text = "/* names */\n";
    for (int i = 0; i < assetCount; ++i)
        text += "\"AerialFilm" + std::to_string(i) + "\" = \"Film Number " + std::to_string(i) + "\";\n";
    for (int c = 0; c < categoryCount; ++c)
        text += "\"AerialCategory" + std::to_string(c) + "\" = \"Category " + std::to_string(c) + "\";\n";
    return text;
}

// A fake platform with the large manifest, its strings and films on disk.
class Fixture {
public:
    Fixture() {
        const auto& tree = m_platform.host->tree();
        fs::create_directories(fs::path(library->manifestPath()).parent_path());
        std::ofstream(library->manifestPath()) << largeManifest();
        tree.write(
            "root/Library/Application Support/com.apple.idleassetsd/Customer/TVIdleScreenStrings.bundle/"
            "en.lproj/Localizable.nocache.strings",
            stringsFile());
        tree.write("root/System/Library/Desktop Pictures/.wallpapers/Hill/Hill Landscape.mov", "film");
        for (int i = 0; i < filesOnDisk; ++i)
            tree.write(
                fs::relative(library->videosDir(), tree.path()).string() + "/" + assetId(i * 3) + ".mov", "");
    }
    void touchManifest() {
        fs::last_write_time(library->manifestPath(),
                            fs::file_time_type::clock::now() + std::chrono::seconds(++m_touches));
    }

private:
    fakes::FakePlatform m_platform;
    int m_touches = 0;

public:
    const std::shared_ptr<const Library> library = std::make_shared<Library>(m_platform.host);
};

void BM_LoadCold(benchmark::State& state) {
    Fixture fixture;
    for (auto _ : state) {
        state.PauseTiming();
        fixture.touchManifest();
        state.ResumeTiming();
        auto catalogue = fixture.library->load();
        benchmark::DoNotOptimize(catalogue);
    }
    state.counters["entries"] = static_cast<double>(fixture.library->load()->entries.size());
}
BENCHMARK(BM_LoadCold)->Unit(benchmark::kMillisecond);

void BM_LoadWarm(benchmark::State& state) {
    Fixture fixture;
    const auto first = fixture.library->load();
    bool parsed = false;
    for (auto _ : state) {
        auto catalogue = fixture.library->load();
        parsed |= catalogue != first;
        benchmark::DoNotOptimize(catalogue);
    }
    if (parsed)
        state.SkipWithError("a warm load parsed the manifest");
}
BENCHMARK(BM_LoadWarm)->Unit(benchmark::kMicrosecond);

void BM_AllVideos(benchmark::State& state) {
    Fixture fixture;
    fixture.library->load();
    for (auto _ : state) {
        auto films = fixture.library->allVideos();
        benchmark::DoNotOptimize(films);
    }
    state.counters["films"] = static_cast<double>(fixture.library->allVideos().size());
}
BENCHMARK(BM_AllVideos)->Unit(benchmark::kMicrosecond);

void BM_MissingAssets(benchmark::State& state) {
    Fixture fixture;
    fixture.library->load();
    for (auto _ : state) {
        auto missing = fixture.library->missingAssets();
        benchmark::DoNotOptimize(missing);
    }
}
BENCHMARK(BM_MissingAssets)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
