#pragma once

#include "desktop/render/software/PictureOutput.h"
#include "platform/Subscription.h"

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

struct wl_buffer_listener;
struct wl_callback;
struct wl_callback_listener;
struct wl_display;
struct wl_event_queue;
struct wl_shm;
struct wl_surface;

namespace drovane::desktop::wayland {

class WaylandConnection;

// An eventfd: raised from any thread, polled on another.
class StopSignal {
public:
    StopSignal();
    ~StopSignal();
    StopSignal(const StopSignal&) = delete;
    StopSignal& operator=(const StopSignal&) = delete;
    void raise();
    // Lowers it again.
    void clear();
    int fd() const { return m_fd; }

private:
    int m_fd;
};

// The picture last shown, readable from another thread for a snapshot.
struct ShownPicture {
    std::mutex mutex;
    const std::uint8_t* pixels = nullptr;
    int width = 0, height = 0, stride = 0;
};

// A layer surface's pictures in shared memory (wl_shm): drawn into one buffer while the
// compositor shows the other, and handed over only once the compositor asked for the next frame
// (its frame callback). Buffer releases and frame callbacks come on a queue of this thread's own,
// read by the main thread.
// A compositor that stops asking for frames hides the surface: `onShown(false)` after a while
// without one, `onShown(true)` when one comes again. Made and used on the compositor's thread.
class ShmBuffers final : public PictureOutput {
public:
    ShmBuffers(std::shared_ptr<WaylandConnection> connection, wl_surface* surface,
               std::shared_ptr<StopSignal> stop, std::shared_ptr<ShownPicture> shown,
               std::function<void(bool shown)> onShown);
    ~ShmBuffers() override;
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    PixelTarget buffer(int width, int height) override;
    bool present() override;
    // The compositor keeps the last picture: nothing to show again.
    bool presentAgain() override { return false; }

private:
    struct Buffer;
    static const wl_buffer_listener s_bufferListener;
    static const wl_callback_listener s_frameListener;

    // Dispatches this thread's queue until `done` holds (true), the stop signal is raised or
    // `timeoutMs` passed (-1: no limit) (false).
    bool dispatchUntil(const std::function<bool()>& done, int timeoutMs);
    std::unique_ptr<Buffer> makeBuffer(int width, int height);
    void setShown(bool shown);

    std::shared_ptr<WaylandConnection> m_connection;
    wl_display* m_display;
    wl_event_queue* m_queue;
    wl_surface* m_surface;
    wl_shm* m_shm;
    std::shared_ptr<StopSignal> m_stop;
    StopSignal m_read;
    Subscription m_reads;
    std::shared_ptr<ShownPicture> m_shown;
    std::function<void(bool)> m_onShown;
    std::vector<std::unique_ptr<Buffer>> m_buffers;
    Buffer* m_current = nullptr;
    wl_callback* m_frame = nullptr;
    bool m_visible = true;
};

} // namespace drovane::desktop::wayland
