#include "soak/LiveCounts.h"

#include "library/Downloader.h"
#include "library/LibraryStore.h"
#include "playback/AppModel.h"
#include "soak/LibraryView.h"
#include "soak/SoakWorld.h"

#include <utility>

namespace drovane::soak {

namespace {

std::vector<std::pair<const char*, int>> fields(const LiveCounts& c) {
    return {
        {"wallpaper windows", c.wallpaperWindows},
        {"players", c.players},
        {"player layers", c.layers},
        {"boundary observers", c.boundaryObservers},
        {"running fades", c.runningFades},
        {"fade-ins waiting for a frame", c.readyObservers},
        {"main-queue work", c.mainQueueWork},
        {"background work", c.backgroundWork},
        {"HTTP tasks alive", c.httpTasks},
        {"open transfers", c.openTransfers},
        {"machine-state observers", c.machineObservers},
        {"screen observers", c.screenObservers},
        {"occlusion observers", c.occlusionObservers},
        {"store observers", c.storeObservers},
        {"open alerts", c.openAlerts},
        {"open picture requests", c.openPictureRequests},
        {"downloads queued", c.downloadsQueued},
    };
}

int count(std::size_t n) {
    return static_cast<int>(n);
}

} // namespace

LiveCounts LiveCounts::of(SoakWorld& world, const LibraryView& view) {
    auto& fake = world.fake;
    LiveCounts c;
    c.wallpaperWindows = count(fake.windowServer->liveWindows().size());
    for (const auto& player : fake.video->livePlayers()) {
        ++c.players;
        c.boundaryObservers += count(player->boundaryObserverCount());
    }
    for (const auto& layer : fake.video->liveLayers()) {
        ++c.layers;
        c.runningFades += layer->isAnimating();
        c.readyObservers += count(layer->readyObserverCount());
    }
    c.mainQueueWork = count(fake.mainQueue->pendingCount());
    c.backgroundWork = count(fake.taskQueues->pendingCount());
    c.httpTasks = world.fake.http->liveTaskCount();
    c.openTransfers = count(world.fake.http->pending().size());
    c.machineObservers = count(fake.systemEvents->observerCount());
    c.screenObservers = count(fake.screens->observerCount());
    c.occlusionObservers = count(fake.windowServer->occlusionObserverCount());
    if (const LibraryStore* store = world.store()) {
        c.storeObservers =
            count(store->items().observerCount() + store->currentURL().observerCount() +
                  store->manualPaused().observerCount() + store->download().observerCount() +
                  store->missingCount().observerCount() + store->hasManifest().observerCount() +
                  store->scanned().observerCount() + store->favorites().observerCount() +
                  store->groups().observerCount() + store->onDiskCount().observerCount());
    }
    c.openAlerts = count(world.fake.alerts->shown.size());
    c.openPictureRequests = view.openRequests();
    if (world.delegate) {
        const Downloader& queue = *world.model().downloader;
        c.downloadsQueued = count(queue.active().size() + queue.waiting().size());
    }
    return c;
}

std::vector<std::string> LiveCounts::differences(const LiveCounts& expected) const {
    std::vector<std::string> out;
    const auto mine = fields(*this);
    const auto theirs = fields(expected);
    for (std::size_t i = 0; i < mine.size(); ++i) {
        if (mine[i].second != theirs[i].second) {
            out.push_back(std::string(mine[i].first) + ": " + std::to_string(mine[i].second) + ", at rest " +
                          std::to_string(theirs[i].second));
        }
    }
    return out;
}

} // namespace drovane::soak
