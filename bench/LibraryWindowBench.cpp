// The library window with 2,000 films (500 on disk) on the real Qt Quick backend: from showing
// the window to its first painted frame, a full store republish while it shows (the main
// thread's part: publishing, the bridge's update, the grid's relayout and the next frame), and
// the memory of scrolling through every tile with real preview pictures.
// Run under Xvfb: xvfb-run -a -s "-screen 0 1920x1080x24" build/release/bench/drovane_library_window_bench

#include "desktop/media/QtFfmpegImages.h"
#include "desktop/ui/LibraryBridge.h"
#include "desktop/ui/QmlLibraryWindow.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "fakes/ScriptedHttp.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "library/ThumbnailCache.h"
#include "playback/AppModel.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QQuickItem>
#include <QQuickView>
#include <benchmark/benchmark.h>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace drovane {
namespace {

constexpr int films = 2000;
constexpr int onDisk = 500;

struct Catalogue {
    Catalogue() {
        std::vector<fakes::AerialsTree::Film> list;
        const char* categories[] = {"AerialCategoryUnderwater", "AerialCategoryCities",
                                    "AerialCategoryLandscapes", "AerialCategoryEarth"};
        for (int i = 0; i < films; ++i) {
            const std::string id = "F" + std::to_string(10000 + i);
            list.push_back({id, "Film " + std::to_string(i), categories[i % 4],
                            "https://cdn.test/" + id + ".mov", "https://cdn.test/" + id + ".jpg"});
            if (i < onDisk) {
                aerials.addVideo(id + ".mov");
            }
        }
        aerials.writeManifest(list);
        model = AppModel::create(fake.platform(), library);
        store = LibraryStore::create(model, fake.platform(), library);
        publish();
    }
    void publish() {
        store->refresh();
        fake.mainQueue->drain();
        while (fake.taskQueues->queue(LibraryStore::scanQueueLabel)->runAll() > 0) {
            fake.mainQueue->drain();
        }
    }

    fakes::FakePlatform fake;
    std::shared_ptr<const Library> library = std::make_shared<Library>(fake.host);
    fakes::AerialsTree aerials{*fake.host};
    std::shared_ptr<AppModel> model;
    std::shared_ptr<LibraryStore> store;
};

Catalogue& catalogue() {
    static Catalogue c;
    return c;
}

// Runs the event loop until the view has swapped a frame.
void waitForFrame(QQuickView& view) {
    bool swapped = false;
    auto connection = QObject::connect(&view, &QQuickWindow::frameSwapped, [&] { swapped = true; });
    while (!swapped) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    }
    QObject::disconnect(connection);
}

void ShowToFirstFrame(benchmark::State& state) {
    Catalogue& c = catalogue();
    for (auto _ : state) {
        QElapsedTimer timer;
        timer.start();
        desktop::QmlLibraryWindow window(
            LibraryWindowContent{c.store, nullptr, c.library, MainWindowActions{}, SidebarSelection::all()});
        window.show();
        waitForFrame(window.view());
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
    }
}
BENCHMARK(ShowToFirstFrame)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(10);

void RepublishWhileShowing(benchmark::State& state) {
    Catalogue& c = catalogue();
    desktop::QmlLibraryWindow window(
        LibraryWindowContent{c.store, nullptr, c.library, MainWindowActions{}, SidebarSelection::all()});
    window.show();
    waitForFrame(window.view());
    const std::string extra = c.aerials.videosDir() + "/F" + std::to_string(10000 + films - 1) + ".mov";
    bool present = false;
    double mainThreadTotal = 0;
    for (auto _ : state) {
        // Off the clock: the file change and the scan, which runs on its own queue.
        if (present) {
            std::filesystem::remove(extra);
        } else {
            c.aerials.addVideo(std::filesystem::path(extra).filename());
        }
        present = !present;
        c.store->refresh();
        c.fake.mainQueue->drain();
        c.fake.taskQueues->queue(LibraryStore::scanQueueLabel)->runAll();
        // On the clock: publishing on the main thread, the bridge, the grid and the next frame.
        QElapsedTimer timer;
        timer.start();
        c.fake.mainQueue->drain();
        window.bridge().update();
        const double mainThread = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        window.view().update();
        waitForFrame(window.view());
        state.SetIterationTime(static_cast<double>(timer.nsecsElapsed()) / 1e9);
        mainThreadTotal += mainThread;
    }
    state.counters["publish_and_update_ms"] =
        benchmark::Counter(mainThreadTotal, benchmark::Counter::kAvgIterations);
}
BENCHMARK(RepublishWhileShowing)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

double residentMegabytes() {
    long pages = 0, resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    return static_cast<double>(resident) * static_cast<double>(::sysconf(_SC_PAGESIZE)) / (1 << 20);
}

// A 1920 x 1080 JPEG of a gradient, as a preview server sends them.
std::vector<std::uint8_t> previewJpeg() {
    QImage image(1920, 1080, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 1920, 1080);
    gradient.setColorAt(0, QColor(40, 90, 160));
    gradient.setColorAt(1, QColor(230, 170, 90));
    painter.fillRect(image.rect(), gradient);
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPEG", 85);
    return {bytes.begin(), bytes.end()};
}

// Scrolls from the top to the bottom, a screen at a time, each screen's pictures fetched,
// decoded, cached and drawn before the next: resident memory over the first screen's, the most
// tiles holding a picture at once, and what the thumbnail cache keeps.
void ScrollThroughEveryTile(benchmark::State& state) {
    Catalogue& c = catalogue();
    auto http = std::make_shared<fakes::ScriptedHttp>();
    const auto jpeg = previewJpeg();
    for (int i = 0; i < films; ++i) {
        http->script["https://cdn.test/F" + std::to_string(10000 + i) + ".jpg"] = {{}, 200, jpeg};
    }
    Platform platform = c.fake.platform();
    platform.http = http;
    platform.images = std::make_shared<desktop::QtFfmpegImages>();
    auto thumbnails = ThumbnailCache::create(platform);
    desktop::QmlLibraryWindow window(
        LibraryWindowContent{c.store, thumbnails, c.library, MainWindowActions{}, SidebarSelection::all()});
    window.show();
    waitForFrame(window.view());
    auto* grid = window.view().rootObject()->findChild<QQuickItem*>("grid");
    // Until every picture asked for has arrived and been drawn.
    const auto settle = [&] {
        for (int round = 0; round < 50; ++round) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
            // The grid deletes the tiles it drops later; outside exec() only this runs that.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            std::size_t work = http->answerAll();
            for (const char* label : {ThumbnailCache::framesQueueLabel, ThumbnailCache::previewsQueueLabel}) {
                if (auto queue = c.fake.taskQueues->queue(label)) {
                    work += queue->runAll();
                }
            }
            c.fake.mainQueue->drain();
            if (work == 0 && round > 3) {
                break;
            }
        }
        window.view().update();
        waitForFrame(window.view());
    };
    for (auto _ : state) {
        grid->setProperty("contentY", 0.0);
        settle();
        const double baseline = residentMegabytes();
        double peak = baseline;
        int mostTiles = 0;
        const double bottom = grid->property("contentHeight").toDouble() - grid->height();
        for (double y = 0; y <= bottom; y += grid->height()) {
            grid->setProperty("contentY", y);
            settle();
            peak = std::max(peak, residentMegabytes());
            mostTiles = std::max(mostTiles, window.bridge().liveThumbnails());
        }
        state.counters["resident_growth_MB"] = peak - baseline;
        state.counters["most_tiles_holding_a_picture"] = mostTiles;
        state.counters["thumbnail_cache_MB"] = static_cast<double>(thumbnails->mem().totalCost()) / (1 << 20);
        state.counters["thumbnail_cache_limit_MB"] =
            static_cast<double>(ThumbnailCache::totalCostLimit) / (1 << 20);
    }
}
BENCHMARK(ScrollThroughEveryTile)->Unit(benchmark::kSecond)->Iterations(1);

} // namespace
} // namespace drovane

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
