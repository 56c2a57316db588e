#pragma once

#include <string>
#include <vector>

namespace drovane::soak {

class LibraryView;
class SoakWorld;

// Everything the program has made or asked for that is still alive or open, as the fakes and
// the views see it.
struct LiveCounts {
    int wallpaperWindows = 0;
    int players = 0;
    int layers = 0;
    int boundaryObservers = 0;
    int runningFades = 0;   // layers whose opacity animation has not ended
    int readyObservers = 0; // fade-ins waiting for a first frame
    int mainQueueWork = 0;  // work posted to the main thread and not run yet
    int backgroundWork = 0; // work queued on the task queues
    int httpTasks = 0;      // transfers not yet destroyed, answered or not
    int openTransfers = 0;  // transfers started and not answered
    int machineObservers = 0;
    int screenObservers = 0;
    int occlusionObservers = 0;
    int storeObservers = 0;
    int openAlerts = 0;
    int openPictureRequests = 0;
    int downloadsQueued = 0; // running or waiting

    static LiveCounts of(SoakWorld& world, const LibraryView& view);

    // The names of the counts that differ from `expected`, with both values.
    std::vector<std::string> differences(const LiveCounts& expected) const;
};

} // namespace drovane::soak
