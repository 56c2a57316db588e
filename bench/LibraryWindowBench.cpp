// The library window with 2,000 films (500 on disk) on the real Qt Quick backend: from showing
// the window to its first painted frame, and a full store republish while it shows (the main
// thread's part: publishing, the bridge's update, the grid's relayout and the next frame).
// Run under Xvfb: xvfb-run -a -s "-screen 0 1920x1080x24" build/release/bench/drovane_library_window_bench

#include "desktop/ui/LibraryBridge.h"
#include "desktop/ui/QmlLibraryWindow.h"
#include "fakes/AerialsTree.h"
#include "fakes/FakePlatform.h"
#include "library/Library.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QQuickView>
#include <benchmark/benchmark.h>
#include <filesystem>

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
                            "https://cdn.test/" + id + ".mov", std::nullopt});
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

} // namespace
} // namespace drovane

int main(int argc, char** argv) {
    QApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
