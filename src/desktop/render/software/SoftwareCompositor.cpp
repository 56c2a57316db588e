#include "desktop/render/software/SoftwareCompositor.h"

#include "desktop/render/software/PictureOutput.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <utility>

namespace drovane::desktop {

namespace {

bool covers(const Rect& place, int width, int height) {
    return place.minX() <= 0 && place.minY() <= 0 && place.maxX() >= width && place.maxY() >= height;
}

// `place` in window units scaled by `scaleX`, `scaleY`, with its edges on whole pixels, so that a
// layer that covers the window covers all its pixels.
Rect toPixels(const Rect& place, double scaleX, double scaleY) {
    const double left = std::round(place.minX() * scaleX), right = std::round(place.maxX() * scaleX);
    const double top = std::round(place.minY() * scaleY), bottom = std::round(place.maxY() * scaleY);
    return Rect{{left, top}, {right - left, bottom - top}};
}

// out = out * (1 - a) + in * a, for `bytes` bytes, a in 0..256.
void blendRow(std::uint8_t* out, const std::uint8_t* in, std::size_t bytes, unsigned alpha) {
    const unsigned keep = 256 - alpha;
    for (std::size_t i = 0; i < bytes; ++i) {
        out[i] = static_cast<std::uint8_t>((out[i] * keep + in[i] * alpha) >> 8);
    }
}

} // namespace

SoftwareCompositor::SoftwareCompositor() = default;

SoftwareCompositor::~SoftwareCompositor() {
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable()) {
        m_thread.join();
    }
}

void SoftwareCompositor::start(std::function<std::unique_ptr<PictureOutput>()> open) {
    m_thread = std::thread([this, open = std::move(open)] { run(open); });
}

void SoftwareCompositor::setFeeds(std::vector<std::shared_ptr<LayerFeed>> feeds) {
    {
        std::lock_guard lock(m_mutex);
        m_feeds = std::move(feeds);
        m_dirty = true;
    }
    m_wake.notify_all();
}

void SoftwareCompositor::setSize(int pixelWidth, int pixelHeight, Size logical) {
    {
        std::lock_guard lock(m_mutex);
        m_width = pixelWidth;
        m_height = pixelHeight;
        m_logical = logical;
        m_dirty = true;
    }
    m_wake.notify_all();
}

void SoftwareCompositor::setExposed(bool exposed) {
    {
        std::lock_guard lock(m_mutex);
        m_exposed = exposed;
        m_exposeAgain = exposed;
        m_dirty = true;
    }
    m_wake.notify_all();
}

void SoftwareCompositor::update() {
    {
        std::lock_guard lock(m_mutex);
        m_dirty = true;
    }
    m_wake.notify_all();
}

void SoftwareCompositor::run(const std::function<std::unique_ptr<PictureOutput>()>& open) {
    m_surface = open();
    while (true) {
        std::vector<std::shared_ptr<LayerFeed>> feeds;
        int width = 0, height = 0;
        double scaleX = 1, scaleY = 1;
        bool exposeAgain = false;
        {
            std::unique_lock lock(m_mutex);
            m_wake.wait(lock, [this] { return m_stop || (m_dirty && m_exposed); });
            if (m_stop) {
                break;
            }
            m_dirty = false;
            feeds = m_feeds;
            width = m_width;
            height = m_height;
            if (m_logical.width > 0 && m_logical.height > 0) {
                scaleX = width / m_logical.width;
                scaleY = height / m_logical.height;
            }
            exposeAgain = std::exchange(m_exposeAgain, false);
        }

        std::vector<Shown> shown;
        std::vector<std::function<void()>> nowShown;
        for (const auto& feed : feeds) {
            std::lock_guard lock(feed->mutex);
            if (!FrameScaler::canScale(feed->frame)) {
                continue;
            }
            if (!feed->shown && m_surface) {
                feed->shown = true;
                nowShown.push_back(feed->onShown);
            }
            if (feed->opacity > 0) {
                shown.push_back(Shown{feed, feed->frame,
                                      Drawn{feed.get(), feed->serial, feed->opacity,
                                            toPixels(feed->place, scaleX, scaleY), feed->gravity}});
            }
        }
        // Nothing under the topmost opaque layer that covers the window can be seen.
        for (std::size_t i = shown.size(); i-- > 0;) {
            if (shown[i].drawn.opacity >= 1.0 && covers(shown[i].drawn.place, width, height)) {
                shown.erase(shown.begin(), shown.begin() + static_cast<std::ptrdiff_t>(i));
                break;
            }
        }
        if (m_surface && width > 0 && height > 0) {
            std::vector<Drawn> drawn;
            for (const Shown& layer : shown) {
                drawn.push_back(layer.drawn);
            }
            if (drawn != m_lastDrawn || width != m_lastWidth || height != m_lastHeight) {
                draw(shown, width, height);
                m_lastDrawn = std::move(drawn);
                m_lastWidth = width;
                m_lastHeight = height;
            } else if (exposeAgain && m_surface->presentAgain()) {
                ++m_presented;
            }
        }
        for (auto& handler : nowShown) {
            if (handler) {
                handler();
            }
        }
        std::erase_if(m_caches, [&](const auto& entry) {
            return std::none_of(feeds.begin(), feeds.end(),
                                [&](const auto& feed) { return feed.get() == entry.first; });
        });
    }
    m_caches.clear();
    m_surface.reset();
}

bool SoftwareCompositor::scaleInto(Cache& cache, const Shown& layer) {
    const int width = std::max(1, static_cast<int>(std::lround(layer.drawn.place.size.width)));
    const int height = std::max(1, static_cast<int>(std::lround(layer.drawn.place.size.height)));
    if (cache.valid && cache.serial == layer.drawn.serial && cache.width == width && cache.height == height) {
        return true;
    }
    cache.pixels.resize(static_cast<std::size_t>(scaledStride(width)) * height);
    cache.width = width;
    cache.height = height;
    cache.serial = layer.drawn.serial;
    cache.valid = cache.scaler.scale(layer.frame, layer.drawn.gravity,
                                     PixelTarget{cache.pixels.data(), width, height, scaledStride(width)});
    return cache.valid;
}

void SoftwareCompositor::draw(const std::vector<Shown>& shown, int width, int height) {
    const PixelTarget out = m_surface->buffer(width, height);
    if (!out.pixels) {
        return;
    }
    const bool opaqueBottom = !shown.empty() && shown.front().drawn.opacity >= 1.0 &&
                              covers(shown.front().drawn.place, width, height);
    if (shown.size() == 1 && opaqueBottom) {
        // One layer: converted straight into the picture the server reads.
        Cache& cache = m_caches[shown.front().feed.get()];
        if (!cache.scaler.scale(shown.front().frame, shown.front().drawn.gravity, out)) {
            return;
        }
        cache.valid = false;
        cache.pixels = {};
    } else {
        std::size_t first = 0;
        Cache* bottom = opaqueBottom ? &m_caches[shown.front().feed.get()] : nullptr;
        if (bottom && scaleInto(*bottom, shown.front()) && bottom->width == width &&
            bottom->height == height && out.stride == scaledStride(width)) {
            std::memcpy(out.pixels, bottom->pixels.data(), bottom->pixels.size());
            first = 1;
        } else {
            for (int y = 0; y < height; ++y) {
                std::memset(out.pixels + static_cast<std::ptrdiff_t>(y) * out.stride, 0,
                            static_cast<std::size_t>(width) * 4);
            }
        }
        for (std::size_t i = first; i < shown.size(); ++i) {
            Cache& cache = m_caches[shown[i].feed.get()];
            if (!scaleInto(cache, shown[i])) {
                continue;
            }
            const Rect& place = shown[i].drawn.place;
            const int px = static_cast<int>(std::lround(place.minX()));
            const int py = static_cast<int>(std::lround(place.minY()));
            const int x0 = std::max(0, px), x1 = std::min(width, px + cache.width);
            const int y0 = std::max(0, py), y1 = std::min(height, py + cache.height);
            const auto alpha =
                static_cast<unsigned>(std::lround(std::clamp(shown[i].drawn.opacity, 0.0, 1.0) * 256));
            const std::size_t stride = static_cast<std::size_t>(scaledStride(cache.width));
            for (int y = y0; y < y1 && x0 < x1; ++y) {
                blendRow(out.pixels + static_cast<std::ptrdiff_t>(y) * out.stride + x0 * 4,
                         cache.pixels.data() + static_cast<std::size_t>(y - py) * stride +
                             static_cast<std::size_t>(x0 - px) * 4,
                         static_cast<std::size_t>(x1 - x0) * 4, alpha);
            }
        }
    }
    if (m_surface->present()) {
        ++m_presented;
    }
}

} // namespace drovane::desktop
