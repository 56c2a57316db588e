// Thumbnails per second through the thumbnail cache on the real picture backend: frames of 100
// films (none cached yet), and 100 previews read from the disk cache, with the cache's own
// queues running on real threads (4 wide for frames, 6 for previews).

#include "desktop/MediaFixtures.h"
#include "desktop/media/QtFfmpegImages.h"
#include "fakes/FakePlatform.h"
#include "library/ThumbnailCache.h"

#include <benchmark/benchmark.h>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <filesystem>
#include <map>
#include <thread>

namespace drovane {
namespace {

namespace fs = std::filesystem;
using namespace fixtures;

constexpr int filmCount = 100;

// A queue running up to `width` pieces of work at once on its own threads.
class PoolQueue final : public TaskQueue {
public:
    PoolQueue(std::string label, int width) : m_label(std::move(label)) {
        for (int i = 0; i < width; ++i) {
            m_threads.emplace_back([this] { loop(); });
        }
    }
    ~PoolQueue() override {
        {
            std::lock_guard lock(m_mutex);
            m_stopping = true;
        }
        m_changed.notify_all();
        for (std::thread& thread : m_threads) {
            thread.join();
        }
    }
    void async(std::function<void()> work) override {
        {
            std::lock_guard lock(m_mutex);
            m_work.push_back(std::move(work));
        }
        m_changed.notify_one();
    }
    const std::string& label() const override { return m_label; }
    // Waits until nothing is queued or running.
    void waitIdle() {
        std::unique_lock lock(m_mutex);
        m_changed.wait(lock, [this] { return m_work.empty() && m_running == 0; });
    }

private:
    void loop() {
        std::unique_lock lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [this] { return m_stopping || !m_work.empty(); });
            if (m_stopping) {
                return;
            }
            auto work = std::move(m_work.front());
            m_work.pop_front();
            ++m_running;
            lock.unlock();
            work();
            work = nullptr; // what it held goes before the queue counts as idle
            lock.lock();
            --m_running;
            m_changed.notify_all();
        }
    }

    const std::string m_label;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_work;
    int m_running = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

// Keeps the queues it makes, one per label, for every cache made after: no queue ends on one of
// its own threads, and each benchmark run starts with its threads ready.
class PoolQueues final : public TaskQueues {
public:
    std::shared_ptr<TaskQueue> make(std::string label, int width, QualityOfService) override {
        std::lock_guard lock(m_mutex);
        auto& queue = m_queues[label + "/" + std::to_string(width)];
        if (!queue) {
            queue = std::make_shared<PoolQueue>(label, width);
        }
        return queue;
    }
    void waitIdle() {
        std::lock_guard lock(m_mutex);
        for (auto& [label, queue] : m_queues) {
            queue->waitIdle();
        }
    }

private:
    std::mutex m_mutex;
    std::map<std::string, std::shared_ptr<PoolQueue>> m_queues;
};

// The benchmark's thread stands for the main thread; work runs when it waits for answers.
class WaitingMainQueue final : public MainQueue {
public:
    void post(std::function<void()> work) override {
        {
            std::lock_guard lock(m_mutex);
            m_work.push_back(std::move(work));
        }
        m_changed.notify_one();
    }
    void postAfter(double, std::function<void()> work) override { post(std::move(work)); }
    bool isMainThread() const override { return std::this_thread::get_id() == m_main; }

    // Runs posted work until `done` holds.
    template <class Predicate> void runUntil(Predicate done) {
        while (!done()) {
            std::unique_lock lock(m_mutex);
            m_changed.wait(lock, [this] { return !m_work.empty(); });
            auto work = std::move(m_work.front());
            m_work.pop_front();
            lock.unlock();
            work();
        }
    }

private:
    const std::thread::id m_main = std::this_thread::get_id();
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_work;
};

// The media every benchmark reads, made once.
struct Media {
    fakes::FakePlatform fake;
    std::shared_ptr<PoolQueues> queues = std::make_shared<PoolQueues>();
    std::shared_ptr<WaitingMainQueue> mainQueue = std::make_shared<WaitingMainQueue>();
    std::map<std::string, std::vector<std::string>> filmSets;

    Media() {
        fake.platform().images = std::make_shared<desktop::QtFfmpegImages>();
        fake.platform().taskQueues = queues;
        fake.platform().mainQueue = mainQueue;
    }

    std::string folder(const std::string& name) const {
        const std::string path = fake.host->tree() / name;
        fs::create_directories(path);
        return path;
    }
    std::string thumbs() const { return fake.host->cacheDirectory() + "/thumbs"; }

    // 100 films copied from a few distinct sources (a film's cost does not depend on its name).
    const std::vector<std::string>& films(const std::string& set) {
        auto it = filmSets.find(set);
        if (it != filmSets.end()) {
            return it->second;
        }
        const std::string dir = folder(set);
        std::vector<std::string> sources;
        for (int variant = 0; variant < 2; ++variant) {
            const std::string source = dir + "/source" + std::to_string(variant) + ".mov";
            bool made = false;
            if (set == "h264-1080p") {
                made = patternFilm(source, Codec::H264, 1920, 1080, 4 + variant);
            } else if (set == "hevc10-2160p-key1s") {
                made = patternFilm(source, Codec::Hevc10, 3840, 2160, 3 + variant, {"-g", "30"});
            } else if (set == "hevc10-2160p-key8s") {
                made = patternFilm(source, Codec::Hevc10, 3840, 2160, 3 + variant, {"-g", "240"});
            }
            if (!made) {
                std::fprintf(stderr, "cannot make the films of %s\n", set.c_str());
                std::exit(1);
            }
            sources.push_back(source);
        }
        std::vector<std::string> films;
        for (int i = 0; i < filmCount; ++i) {
            films.push_back(dir + "/F" + std::to_string(i) + ".mov");
            fs::copy_file(sources[i % sources.size()], films.back(), fs::copy_options::overwrite_existing);
        }
        return filmSets[set] = films;
    }
};

Media& media() {
    static Media instance;
    return instance;
}

void clearCacheFolder() {
    std::error_code ignored;
    fs::remove_all(media().thumbs(), ignored);
}

void filmThumbnails(benchmark::State& state, const std::string& set) {
    Media& m = media();
    const std::vector<std::string>& films = m.films(set);
    for (auto _ : state) {
        state.PauseTiming();
        clearCacheFolder();
        auto cache = ThumbnailCache::create(m.fake.platform());
        int answered = 0;
        int pictures = 0;
        state.ResumeTiming();

        for (int i = 0; i < filmCount; ++i) {
            cache->request(set + std::to_string(i), Url::fromFilePath(films[i]), [&](auto picture) {
                ++answered;
                pictures += picture ? 1 : 0;
            });
        }
        m.mainQueue->runUntil([&] { return answered == filmCount; });

        state.PauseTiming();
        if (pictures != filmCount) {
            state.SkipWithError("a film gave no thumbnail");
        }
        m.queues->waitIdle();
        cache.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * filmCount);
}

// Built by appending: GCC 12 warns falsely (-Wrestrict) on "P" + std::to_string(i).
std::string previewId(int i) {
    std::string id = "P";
    id += std::to_string(i);
    return id;
}

void previewsFromDisk(benchmark::State& state, const char* format, int width, int height) {
    Media& m = media();
    for (auto _ : state) {
        state.PauseTiming();
        clearCacheFolder();
        auto cache = ThumbnailCache::create(m.fake.platform());
        const QImage picture = busyPicture(width, height);
        for (int i = 0; i < filmCount; ++i) {
            picture.save(QString::fromStdString(cache->diskFile(previewId(i), "-preview.img")), format);
        }
        int answered = 0;
        int pictures = 0;
        state.ResumeTiming();

        for (int i = 0; i < filmCount; ++i) {
            cache->requestRemote(previewId(i), {}, [&](auto got) {
                ++answered;
                pictures += got ? 1 : 0;
            });
        }
        m.mainQueue->runUntil([&] { return answered == filmCount; });

        state.PauseTiming();
        if (pictures != filmCount) {
            state.SkipWithError("a preview did not decode");
        }
        m.queues->waitIdle();
        cache.reset();
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * filmCount);
}

// One extraction on one thread: how long a single tile waits for its first frame.
void singleFrame(benchmark::State& state, const std::string& set) {
    const std::string film = media().films(set).front();
    desktop::QtFfmpegImages images;
    for (auto _ : state) {
        FrameResult frame = images.extractFrame(film, 2, 1, 1, 560, 560);
        if (!frame.image) {
            state.SkipWithError(frame.error.c_str());
        }
        benchmark::DoNotOptimize(frame);
    }
}

[[maybe_unused]] const bool registered = [] {
    for (const char* set : {"h264-1080p", "hevc10-2160p-key1s", "hevc10-2160p-key8s"}) {
        benchmark::RegisterBenchmark((std::string("FilmThumbnails/") + set).c_str(), filmThumbnails,
                                     std::string(set))
            ->Unit(benchmark::kMillisecond)
            ->UseRealTime()
            ->Iterations(3);
        benchmark::RegisterBenchmark((std::string("SingleFrame/") + set).c_str(), singleFrame,
                                     std::string(set))
            ->Unit(benchmark::kMillisecond)
            ->Iterations(10);
    }
    benchmark::RegisterBenchmark("PreviewsFromDisk/webp-1280x720", previewsFromDisk, "webp", 1280, 720)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
    benchmark::RegisterBenchmark("PreviewsFromDisk/jpeg-1920x1080", previewsFromDisk, "jpeg", 1920, 1080)
        ->Unit(benchmark::kMillisecond)
        ->UseRealTime()
        ->Iterations(5);
    return true;
}();

} // namespace
} // namespace drovane

BENCHMARK_MAIN();
