#pragma once

#include "platform/Url.h"

#include <memory>
#include <optional>
#include <string>

namespace drovane {

class DefaultsStore;
class Downloader;

// The part of the wallpaper engine that the library reads: the film that plays, the user's
// pause, the defaults store and the download queue. The engine is one of these; the library
// store holds it without owning it. Main thread only.
struct EngineState {
    // The film that plays; nothing means no wallpaper.
    std::optional<Url> videoURL;
    // The user paused the wallpaper.
    bool manualPaused = false;
    // Why the wallpaper cannot be seen and what the user can do, when another program's own
    // desktop hides it; empty otherwise.
    std::string desktopNotice;
    // Where "selectedVideo" and "favorites" are kept.
    std::shared_ptr<DefaultsStore> defaults;
    // The download queue; made with the engine and kept for its life.
    std::shared_ptr<Downloader> downloader;

    virtual ~EngineState() = default;
};

} // namespace drovane
