// A full library scan: 2,000 catalogue films, 500 of them in the video folder.

#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "library/LibraryStore.h"

#include <benchmark/benchmark.h>
#include <chrono>
#include <filesystem>

namespace drovane {
namespace {

constexpr int filmCount = 2000;
constexpr int onDiskCount = 500;

// The platform and the aerials of one benchmark run.
struct Library2000 {
    Library2000() {
        static const char* const categories[] = {"AerialCategorySpace",
                                                 "AerialCategoryCities",
                                                 "AerialCategoryLandscapes",
                                                 "AerialCategoryUnderwater",
                                                 "AerialCategoryMac",
                                                 "Coastlines",
                                                 "Deserts",
                                                 "Forests"};
        std::vector<fakes::AerialsTree::Film> films;
        for (int i = 0; i < filmCount; ++i) {
            const std::string id = "A1B2C3D4-" + std::to_string(100000 + i);
            films.push_back({id, "Film number " + std::to_string((i * 7919) % filmCount), categories[i % 8],
                             "https://cdn.test/" + id + ".mov", "https://cdn.test/" + id + ".jpg"});
            if (i % (filmCount / onDiskCount) == 0) {
                aerials.addVideo(id + ".mov");
            }
        }
        aerials.writeManifest(films);
    }

    // A new modification time, so that the next load parses the manifest again.
    void touchManifest() {
        namespace fs = std::filesystem;
        fs::last_write_time(aerials.manifestPath(),
                            fs::last_write_time(aerials.manifestPath()) + std::chrono::seconds(1));
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
};

void checkScan(benchmark::State& state, const LibraryStore::Scan& scan) {
    if (static_cast<int>(scan.items.size()) != filmCount || scan.onDiskCount != onDiskCount) {
        state.SkipWithError("the scan did not see the whole catalogue");
    }
}

// The scan as it runs on every refresh: the catalogue comes from the modification-time cache.
void BM_ScanCachedCatalogue(benchmark::State& state) {
    Library2000 library;
    checkScan(state, LibraryStore::scanCatalogue(*library.library));
    for (auto _ : state) {
        auto scan = LibraryStore::scanCatalogue(*library.library);
        benchmark::DoNotOptimize(scan);
    }
}
BENCHMARK(BM_ScanCachedCatalogue)->Unit(benchmark::kMillisecond);

// The scan after the manifest changed: parse, names, folder listing, sorting, counting.
void BM_ScanChangedManifest(benchmark::State& state) {
    Library2000 library;
    checkScan(state, LibraryStore::scanCatalogue(*library.library));
    for (auto _ : state) {
        state.PauseTiming();
        library.touchManifest();
        state.ResumeTiming();
        auto scan = LibraryStore::scanCatalogue(*library.library);
        benchmark::DoNotOptimize(scan);
    }
}
BENCHMARK(BM_ScanChangedManifest)->Unit(benchmark::kMillisecond);

// Grouping and counting alone, on the sorted items.
void BM_CountGroups(benchmark::State& state) {
    Library2000 library;
    const auto scan = LibraryStore::scanCatalogue(*library.library);
    for (auto _ : state) {
        auto groups = LibraryStore::counts(scan.items);
        benchmark::DoNotOptimize(groups);
    }
}
BENCHMARK(BM_CountGroups)->Unit(benchmark::kMicrosecond);

} // namespace
} // namespace drovane

BENCHMARK_MAIN();
