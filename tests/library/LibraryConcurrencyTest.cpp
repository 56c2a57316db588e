#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"

#include <atomic>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

namespace drovane {
namespace {

namespace fs = std::filesystem;

// Two manifests the writer alternates between; every catalogue a reader sees must be one of
// them whole (or the system films alone while an in-place rewrite is half written).
std::string manifestWith(int count, const std::string& prefix) {
    std::vector<fakes::AerialsTree::Film> films;
    for (int i = 0; i < count; ++i) {
        films.push_back({prefix + std::to_string(i), "Film", "", "https://cdn.example/x.mov", std::nullopt});
    }
    return fakes::AerialsTree::manifestJson(films);
}

class LibraryConcurrency : public ::testing::TestWithParam<bool> {
protected:
    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
};

TEST_P(LibraryConcurrency, LoadsStayWholeWhileTheManifestIsRewritten) {
    const bool atomicRewrite = GetParam();
    const std::string manifest = library->manifestPath();
    fs::create_directories(fs::path(manifest).parent_path());
    fs::create_directories(library->videosDir());
    fake.host->tree().write("root/System/Library/Desktop Pictures/.wallpapers/Hill/Hill Landscape.mov",
                            "film");
    const std::string versions[2] = {manifestWith(40, "A"), manifestWith(25, "B")};
    const auto write = [&](int version, int step) {
        const std::string target = atomicRewrite ? manifest + ".tmp" : manifest;
        {
            std::ofstream out(target, std::ios::binary | std::ios::trunc);
            out << versions[version];
        }
        fs::last_write_time(target, fs::file_time_type::clock::now() + std::chrono::seconds(step));
        if (atomicRewrite)
            fs::rename(target, manifest);
    };
    write(0, 0);

    std::atomic<bool> done{false};
    std::atomic<int> failures{0};
    std::atomic<int> loads{0};
    std::vector<std::thread> readers;
    for (int t = 0; t < 4; ++t) {
        readers.emplace_back([&, t] {
            while (!done.load()) {
                const auto catalogue = library->load();
                const auto n = catalogue->entries.size();
                const bool whole = n == 41 || n == 26 || (!atomicRewrite && n == 1);
                const bool consistent =
                    catalogue->byId.size() == n && catalogue->entries.back().id == "HILL LANDSCAPE";
                if (!whole || !consistent)
                    failures.fetch_add(1);
                // The other operations read the cache the same way, and list the folder.
                if (t % 2 == 0) {
                    if (library->allVideos().size() != 1)
                        failures.fetch_add(1);
                } else {
                    const auto missing = library->missingAssets().size();
                    if (missing != 40 && missing != 25 && !(!atomicRewrite && missing == 0))
                        failures.fetch_add(1);
                }
                loads.fetch_add(1);
            }
        });
    }
    for (int step = 1; step <= 60; ++step) {
        write(step % 2, step);
        std::this_thread::yield();
    }
    write(1, 1000);
    done = true;
    for (auto& reader : readers)
        reader.join();

    EXPECT_EQ(failures.load(), 0);
    EXPECT_GT(loads.load(), 0);
    EXPECT_EQ(library->load()->entries.size(), 26u) << "the last rewrite wins once the writers stop";
}

INSTANTIATE_TEST_SUITE_P(Rewrites, LibraryConcurrency, ::testing::Bool(),
                         [](const ::testing::TestParamInfo<bool>& p) {
                             return p.param ? "AtomicRename" : "InPlace";
                         });

} // namespace
} // namespace drovane
