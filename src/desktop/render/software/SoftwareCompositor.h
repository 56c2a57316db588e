#pragma once

#include "desktop/render/software/FrameScaler.h"
#include "desktop/render/software/LayerFeed.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace drovane::desktop {

class PictureOutput;

// Draws one wallpaper window's layers on a thread of its own, only when something changed: a
// new frame of a layer that shows, an opacity, the layers, the size, an exposure. The topmost
// layer that is opaque and covers the window is converted straight into the shared picture and
// nothing under it is touched; while layers above it are translucent (a cross-fade), each
// shown layer is converted into a picture of its own and blended on the CPU.
class SoftwareCompositor {
public:
    SoftwareCompositor();
    ~SoftwareCompositor();
    SoftwareCompositor(const SoftwareCompositor&) = delete;
    SoftwareCompositor& operator=(const SoftwareCompositor&) = delete;

    // Starts drawing into what `open` makes, on the compositor's thread; nothing is drawn while
    // it makes nothing. Main thread, once.
    void start(std::function<std::unique_ptr<PictureOutput>()> open);
    // The layers, bottom first. Main thread.
    void setFeeds(std::vector<std::shared_ptr<LayerFeed>> feeds);
    // The window's size in device pixels and in the logical units the layers are placed in;
    // each layer is drawn at its place scaled to pixels, so that a frame is scaled once, from
    // the film's size to the pixels it covers.
    void setSize(int pixelWidth, int pixelHeight, Size logical);
    // While not exposed nothing is drawn; each exposure draws the picture again.
    void setExposed(bool exposed);
    // Something a feed holds changed. Any thread.
    void update();
    // Pictures put on screen so far.
    long presentedFrames() const { return m_presented.load(); }

private:
    struct Cache {
        FrameScaler scaler;
        std::vector<std::uint8_t> pixels;
        std::uint64_t serial = 0;
        int width = 0, height = 0;
        bool valid = false;
    };
    struct Drawn {
        const LayerFeed* feed;
        std::uint64_t serial;
        double opacity;
        // In device pixels, on whole pixels.
        Rect place;
        VideoGravity gravity;
        friend bool operator==(const Drawn&, const Drawn&) = default;
    };
    struct Shown {
        std::shared_ptr<LayerFeed> feed;
        QVideoFrame frame;
        Drawn drawn;
    };

    void run(const std::function<std::unique_ptr<PictureOutput>()>& open);
    void draw(const std::vector<Shown>& shown, int width, int height);
    bool scaleInto(Cache& cache, const Shown& layer);

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stop = false;
    bool m_dirty = true;
    bool m_exposed = false;
    bool m_exposeAgain = false;
    int m_width = 0, m_height = 0;
    Size m_logical;
    std::vector<std::shared_ptr<LayerFeed>> m_feeds;
    std::atomic<long> m_presented{0};
    std::thread m_thread;

    // The compositor thread's own.
    std::unique_ptr<PictureOutput> m_surface;
    std::map<const LayerFeed*, Cache> m_caches;
    std::vector<Drawn> m_lastDrawn;
    int m_lastWidth = 0, m_lastHeight = 0;
};

} // namespace drovane::desktop
