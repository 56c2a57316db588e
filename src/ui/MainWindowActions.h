#pragma once

#include "library/LibraryItem.h"

#include <functional>
#include <vector>

namespace drovane {

// The ten ways the library browser acts on the engine, the download queue and the store. Built
// once by the window controller and handed by value to every view that needs them. Each one
// does nothing once the controller is gone.
struct MainWindowActions {
    std::function<void(const LibraryItem&)> select;
    std::function<void(const LibraryItem&)> download;
    std::function<void(int count)> downloadBatch;
    std::function<void()> cancelDownload;
    std::function<void(const LibraryItem&)> cancelItem;
    std::function<void(const LibraryItem&)> revealInFinder;
    std::function<void(const LibraryItem&)> deleteItem; // `delete`, a keyword here
    std::function<void(const std::vector<LibraryItem>&)> downloadMany;
    std::function<void(const std::vector<LibraryItem>&)> deleteMany;
    std::function<void()> openWallpaperSettings;
};

} // namespace drovane
