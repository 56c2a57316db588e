#include "desktop/render/stream/StreamWallpaperWindow.h"

#include "desktop/render/software/SoftwareCompositor.h"
#include "desktop/render/software/SoftwareContentLayer.h"
#include "desktop/render/stream/PipeWireConnection.h"
#include "desktop/render/stream/PipeWireStreamOutput.h"

#include <QCoreApplication>
#include <cmath>

namespace drovane::desktop {

namespace {

std::string whole(double value) {
    return std::to_string(std::lround(value));
}

} // namespace

// How the stream's events, which come on PipeWire's thread, find the window on the main thread.
struct StreamWallpaperWindow::Link {
    StreamWallpaperWindow* window;

    // Runs `work` on the main thread with the window, unless it has gone by then.
    static void post(const std::weak_ptr<Link>& weak, std::function<void(StreamWallpaperWindow&)> work) {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [weak, work = std::move(work)] {
                if (auto link = weak.lock(); link && link->window) {
                    work(*link->window);
                }
            },
            Qt::QueuedConnection);
    }
};

StreamWallpaperWindow::StreamWallpaperWindow(std::shared_ptr<PipeWireConnection> connection, Rect frame,
                                             int pixelWidth, int pixelHeight)
    : m_frame(frame), m_pixelScaleX(frame.size.width > 0 ? pixelWidth / frame.size.width : 1),
      m_pixelScaleY(frame.size.height > 0 ? pixelHeight / frame.size.height : 1),
      m_link(std::make_shared<Link>(Link{this})), m_sent(std::make_shared<SentPicture>()),
      m_compositor(std::make_shared<SoftwareCompositor>()),
      m_content(std::make_shared<SoftwareContentLayer>(m_compositor)) {
    const std::string screen = whole(frame.minX()) + "," + whole(frame.minY()) + "," +
                               whole(frame.size.width) + "," + whole(frame.size.height);
    PipeWireStreamOutput::Node node{"drovane-wallpaper-" + screen,
                                    "Drovane wallpaper of the screen at " + screen, screen};
    std::weak_ptr<Link> link = m_link;
    PipeWireStreamOutput::Events events{
        [link](std::optional<std::uint32_t> id) {
            Link::post(link, [id](auto& window) { window.nodeIdKnown(id); });
        },
        [link](bool streaming) {
            Link::post(link, [streaming](auto& window) { window.streamingChanged(streaming); });
        }};
    m_content->setFrame(Rect{{0, 0}, frame.size});
    m_compositor->setSize(pixelWidth, pixelHeight, frame.size);
    m_compositor->start([connection, node, pixelWidth, pixelHeight, events,
                         sent = m_sent]() -> std::unique_ptr<PictureOutput> {
        return PipeWireStreamOutput::open(connection, node, pixelWidth, pixelHeight, events, sent);
    });
}

StreamWallpaperWindow::~StreamWallpaperWindow() {
    m_link->window = nullptr;
    // The stream goes with the compositor's thread.
    m_compositor->setFeeds({});
    m_content.reset();
    m_compositor.reset();
    if (onStreamChanged) {
        onStreamChanged();
    }
}

bool StreamWallpaperWindow::snapshot(const std::string& path) {
    const QImage picture = m_sent->image();
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

void StreamWallpaperWindow::orderFront() {
    if (m_ordered) {
        return;
    }
    const bool wasVisible = isOccludedVisible();
    m_ordered = true;
    followVisibility(wasVisible);
    if (onStreamChanged) {
        onStreamChanged();
    }
}

void StreamWallpaperWindow::orderOut() {
    if (!m_ordered) {
        return;
    }
    const bool wasVisible = isOccludedVisible();
    m_ordered = false;
    followVisibility(wasVisible);
    if (onStreamChanged) {
        onStreamChanged();
    }
}

void StreamWallpaperWindow::setFrame(Rect frame) {
    m_frame = frame;
    m_content->setFrame(Rect{{0, 0}, frame.size});
    m_compositor->setSize(static_cast<int>(std::lround(frame.size.width * m_pixelScaleX)),
                          static_cast<int>(std::lround(frame.size.height * m_pixelScaleY)), frame.size);
}

std::shared_ptr<Layer> StreamWallpaperWindow::contentLayer() {
    return m_content;
}

void StreamWallpaperWindow::setCovered(bool covered) {
    const bool wasVisible = isOccludedVisible();
    m_covered = covered;
    followVisibility(wasVisible);
}

long StreamWallpaperWindow::presentedFrames() const {
    return m_compositor->presentedFrames();
}

void StreamWallpaperWindow::streamingChanged(bool streaming) {
    const bool wasVisible = isOccludedVisible();
    m_streaming = streaming;
    followVisibility(wasVisible);
}

void StreamWallpaperWindow::nodeIdKnown(std::optional<std::uint32_t> id) {
    m_nodeId = id;
    if (onStreamChanged) {
        onStreamChanged();
    }
}

void StreamWallpaperWindow::followVisibility(bool wasVisible) {
    const bool visible = isOccludedVisible();
    if (visible == wasVisible) {
        return;
    }
    // Exposing again sends the last picture to a consumer that has none yet.
    m_compositor->setExposed(visible);
    if (onOcclusionChanged) {
        onOcclusionChanged();
    }
}

} // namespace drovane::desktop
