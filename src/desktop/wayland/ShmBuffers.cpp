#include "desktop/wayland/ShmBuffers.h"

#include "desktop/wayland/WaylandConnection.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

namespace drovane::desktop::wayland {

namespace {

// A frame callback normally comes within a refresh; one missing for this long means the
// compositor does not draw the surface (a fullscreen window over it, another workspace).
constexpr int kHiddenAfterMs = 1000;
// Two buffers take turns; a third only while the compositor holds on to both.
constexpr std::size_t kMostBuffers = 3;

} // namespace

StopSignal::StopSignal() : m_fd(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

void StopSignal::raise() {
    const std::uint64_t one = 1;
    [[maybe_unused]] const auto written = ::write(m_fd, &one, sizeof one);
}

void StopSignal::clear() {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(m_fd, &count, sizeof count);
}

struct ShmBuffers::Buffer {
    wl_buffer* buffer = nullptr;
    std::uint8_t* memory = nullptr;
    std::size_t bytes = 0;
    int width = 0, height = 0, stride = 0;
    bool busy = false;

    ~Buffer() {
        if (buffer) {
            wl_buffer_destroy(buffer);
        }
        if (memory) {
            munmap(memory, bytes);
        }
    }
};

const wl_buffer_listener ShmBuffers::s_bufferListener = {
    [](void* data, wl_buffer*) { static_cast<Buffer*>(data)->busy = false; }};

const wl_callback_listener ShmBuffers::s_frameListener = {
    [](void* data, wl_callback* callback, std::uint32_t) {
        auto* self = static_cast<ShmBuffers*>(data);
        wl_callback_destroy(callback);
        self->m_frame = nullptr;
    }};

ShmBuffers::ShmBuffers(std::shared_ptr<WaylandConnection> connection, wl_surface* surface,
                       std::shared_ptr<StopSignal> stop, std::shared_ptr<ShownPicture> shown,
                       std::function<void(bool shown)> onShown)
    : m_connection(std::move(connection)), m_display(m_connection->display()),
      m_queue(wl_display_create_queue(m_display)), m_stop(std::move(stop)), m_shown(std::move(shown)),
      m_onShown(std::move(onShown)) {
    // Wrappers send the same objects' requests but put what they create on this thread's queue.
    m_surface = static_cast<wl_surface*>(wl_proxy_create_wrapper(surface));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(m_surface), m_queue);
    m_shm = static_cast<wl_shm*>(wl_proxy_create_wrapper(m_connection->shm()));
    wl_proxy_set_queue(reinterpret_cast<wl_proxy*>(m_shm), m_queue);
    m_reads = m_connection->wakeAfterReads(m_read.fd());
}

ShmBuffers::~ShmBuffers() {
    m_reads.reset();
    {
        std::lock_guard lock(m_shown->mutex);
        m_shown->pixels = nullptr;
    }
    if (m_frame) {
        wl_callback_destroy(m_frame);
    }
    m_buffers.clear();
    wl_proxy_wrapper_destroy(m_shm);
    wl_proxy_wrapper_destroy(m_surface);
    wl_display_flush(m_display);
    wl_event_queue_destroy(m_queue);
}

std::unique_ptr<ShmBuffers::Buffer> ShmBuffers::makeBuffer(int width, int height) {
    auto b = std::make_unique<Buffer>();
    b->width = width;
    b->height = height;
    b->stride = scaledStride(width);
    b->bytes = static_cast<std::size_t>(b->stride) * height;
    const int fd = memfd_create("drovane-wallpaper", MFD_CLOEXEC);
    if (fd < 0) {
        return nullptr;
    }
    void* memory = ftruncate(fd, static_cast<off_t>(b->bytes)) == 0
                       ? mmap(nullptr, b->bytes, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (memory == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    b->memory = static_cast<std::uint8_t*>(memory);
    wl_shm_pool* pool = wl_shm_create_pool(m_shm, fd, static_cast<std::int32_t>(b->bytes));
    // The rows are wider than the picture (the scaler's room); the compositor reads by stride.
    b->buffer = wl_shm_pool_create_buffer(pool, 0, width, height, b->stride, WL_SHM_FORMAT_XRGB8888);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    wl_buffer_add_listener(b->buffer, &s_bufferListener, b.get());
    return b;
}

PixelTarget ShmBuffers::buffer(int width, int height) {
    m_current = nullptr;
    if (width <= 0 || height <= 0) {
        return {};
    }
    const auto isFree = [&](const std::unique_ptr<Buffer>& b) { return !b->busy; };
    // Buffers of another size go once the compositor let go of them.
    std::erase_if(m_buffers,
                  [&](const auto& b) { return isFree(b) && (b->width != width || b->height != height); });
    if (std::none_of(m_buffers.begin(), m_buffers.end(), isFree) && m_buffers.size() >= 2) {
        dispatchUntil([&] { return std::any_of(m_buffers.begin(), m_buffers.end(), isFree); },
                      kHiddenAfterMs);
    }
    std::lock_guard lock(m_shown->mutex);
    // The picture a snapshot may be reading is drawn over only when nothing else is free.
    for (const auto& b : m_buffers) {
        if (isFree(b) && b->width == width && (!m_current || m_current->memory == m_shown->pixels)) {
            m_current = b.get();
        }
    }
    if (!m_current && m_buffers.size() < kMostBuffers) {
        if (auto made = makeBuffer(width, height)) {
            m_current = made.get();
            m_buffers.push_back(std::move(made));
        }
    }
    if (!m_current) {
        return {};
    }
    if (m_current->memory == m_shown->pixels) {
        m_shown->pixels = nullptr;
    }
    return PixelTarget{m_current->memory, width, height, m_current->stride};
}

bool ShmBuffers::present() {
    Buffer* b = std::exchange(m_current, nullptr);
    if (!b) {
        return false;
    }
    if (m_frame && !dispatchUntil([&] { return !m_frame; }, kHiddenAfterMs)) {
        setShown(false);
        if (!dispatchUntil([&] { return !m_frame; }, -1)) {
            return false;
        }
    }
    setShown(true);
    wl_surface_attach(m_surface, b->buffer, 0, 0);
    wl_surface_damage_buffer(m_surface, 0, 0, b->width, b->height);
    m_frame = wl_surface_frame(m_surface);
    wl_callback_add_listener(m_frame, &s_frameListener, this);
    wl_surface_commit(m_surface);
    b->busy = true;
    {
        std::lock_guard lock(m_shown->mutex);
        m_shown->pixels = b->memory;
        m_shown->width = b->width;
        m_shown->height = b->height;
        m_shown->stride = b->stride;
    }
    return wl_display_flush(m_display) >= 0 || errno == EAGAIN;
}

void ShmBuffers::setShown(bool shown) {
    if (shown != m_visible) {
        m_visible = shown;
        if (m_onShown) {
            m_onShown(shown);
        }
    }
}

bool ShmBuffers::dispatchUntil(const std::function<bool()>& done, int timeoutMs) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    while (true) {
        // The main thread reads; what it read for this queue is dispatched here.
        m_read.clear();
        if (wl_display_dispatch_queue_pending(m_display, m_queue) < 0) {
            return false;
        }
        if (done()) {
            return true;
        }
        int wait = -1;
        if (timeoutMs >= 0) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            if (left.count() <= 0) {
                return false;
            }
            wait = static_cast<int>(left.count());
        }
        wl_display_flush(m_display);
        pollfd fds[2] = {{m_read.fd(), POLLIN, 0}, {m_stop->fd(), POLLIN, 0}};
        if (poll(fds, 2, wait) > 0 && (fds[1].revents & POLLIN)) {
            return false;
        }
    }
}

} // namespace drovane::desktop::wayland
