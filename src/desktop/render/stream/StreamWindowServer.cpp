#include "desktop/render/stream/StreamWindowServer.h"

#include "desktop/render/PixelGeometry.h"
#include "desktop/render/stream/PipeWireConnection.h"
#include "desktop/render/stream/StreamWallpaperWindow.h"
#include "platform/ObserverList.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace drovane::desktop {

struct StreamWindowServer::Registry {
    std::vector<std::weak_ptr<StreamWallpaperWindow>> windows;
    std::vector<Rect> covered;
    ObserverList<const Window*> occlusionHandlers;
    StreamWindowServer* server = nullptr;
    bool changeQueued = false;
    std::vector<ScreenStream> told;

    // Tells the server's owner once, after whatever else changes now.
    static void streamChanged(const std::weak_ptr<Registry>& weak) {
        auto registry = weak.lock();
        if (!registry || registry->changeQueued) {
            return;
        }
        registry->changeQueued = true;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak] {
                auto self = weak.lock();
                if (!self) {
                    return;
                }
                self->changeQueued = false;
                if (!self->server) {
                    return;
                }
                std::vector<ScreenStream> streams = self->server->streams();
                if (streams != self->told) {
                    self->told = streams;
                    if (self->server->onStreamsChanged) {
                        self->server->onStreamsChanged(std::move(streams));
                    }
                }
            },
            Qt::QueuedConnection);
    }
};

namespace {

// The size in device pixels of pictures for `frame`: that of the screen it lies on most, where
// it is that screen.
QSize pixelsFor(Rect frame) {
    const QRect logical(int(frame.minX()), int(frame.minY()), int(frame.size.width), int(frame.size.height));
    QScreen* best = nullptr;
    int bestArea = 0;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(logical);
        if (overlap.width() * overlap.height() > bestArea) {
            best = screen;
            bestArea = overlap.width() * overlap.height();
        }
    }
    if (!best) {
        return logical.size();
    }
    return pixelFrame(logical, best->geometry(), screenPixels(*best)).size();
}

} // namespace

StreamWindowServer::StreamWindowServer(std::shared_ptr<PipeWireConnection> connection)
    : m_connection(std::move(connection)), m_registry(std::make_shared<Registry>()) {
    m_registry->server = this;
}

std::shared_ptr<StreamWindowServer> StreamWindowServer::open(std::shared_ptr<Log> log) {
    auto connection = PipeWireConnection::open(std::move(log));
    if (!connection) {
        return nullptr;
    }
    return std::shared_ptr<StreamWindowServer>(new StreamWindowServer(std::move(connection)));
}

StreamWindowServer::~StreamWindowServer() {
    m_registry->server = nullptr;
}

std::shared_ptr<WallpaperWindow> StreamWindowServer::makeWallpaperWindow(Rect frame) {
    const QSize pixels = pixelsFor(frame);
    auto window =
        std::make_shared<StreamWallpaperWindow>(m_connection, frame, pixels.width(), pixels.height());
    std::weak_ptr<Registry> weak = m_registry;
    const Window* sender = window.get();
    window->onOcclusionChanged = [weak, sender] {
        if (auto registry = weak.lock()) {
            registry->occlusionHandlers.notify(sender);
        }
    };
    window->onStreamChanged = [weak] { Registry::streamChanged(weak); };
    const auto& covered = m_registry->covered;
    window->setCovered(std::find(covered.begin(), covered.end(), frame) != covered.end());
    std::erase_if(m_registry->windows, [](const auto& w) { return w.expired(); });
    m_registry->windows.push_back(window);
    return window;
}

Subscription StreamWindowServer::observeOcclusion(std::function<void(const Window* sender)> handler) {
    return m_registry->occlusionHandlers.add(std::move(handler));
}

std::vector<ScreenStream> StreamWindowServer::streams() const {
    std::vector<ScreenStream> streams;
    for (const auto& weak : m_registry->windows) {
        auto window = weak.lock();
        if (window && window->isVisible() && window->nodeId()) {
            streams.push_back(ScreenStream{window->frame(), *window->nodeId()});
        }
    }
    return streams;
}

void StreamWindowServer::setCovered(Rect screenFrame, bool covered) {
    auto& frames = m_registry->covered;
    std::erase(frames, screenFrame);
    if (covered) {
        frames.push_back(screenFrame);
    }
    for (const auto& weak : m_registry->windows) {
        if (auto window = weak.lock(); window && window->frame() == screenFrame) {
            window->setCovered(covered);
        }
    }
}

} // namespace drovane::desktop
