#include "desktop/render/software/SoftwareWallpaperWindow.h"

#include "desktop/render/PixelGeometry.h"
#include "desktop/render/software/ShmSurface.h"
#include "desktop/render/software/SoftwareCompositor.h"
#include "desktop/render/software/SoftwareContentLayer.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowPicture.h"

#include <QEvent>
#include <QImage>
#include <QWindow>
#include <cstdlib>
#include <xcb/xcb.h>

namespace drovane::desktop {

class SoftwareWallpaperWindow::Window final : public QWindow {
public:
    explicit Window(SoftwareWallpaperWindow& owner) : m_owner(owner) {}

protected:
    bool event(QEvent* event) override {
        const bool handled = QWindow::event(event);
        switch (event->type()) {
        case QEvent::Resize:
            m_owner.followSize();
            break;
        case QEvent::Expose:
        case QEvent::Hide:
            m_owner.m_compositor->setExposed(isExposed());
            break;
        default:
            break;
        }
        m_owner.windowEvent(*event);
        return handled;
    }

private:
    SoftwareWallpaperWindow& m_owner;
};

SoftwareWallpaperWindow::SoftwareWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                                                 std::shared_ptr<WindowOcclusion> occlusion)
    : DesktopWallpaperWindow(std::move(application), std::move(occlusion), std::make_unique<Window>(*this)),
      m_compositor(std::make_shared<SoftwareCompositor>()),
      m_content(std::make_shared<SoftwareContentLayer>(m_compositor)) {
    createPlatformWindow(frame);
    if (xcb_connection_t* c = x11::connection()) {
        // The compositor draws on a connection of its own: the server must know the window
        // before that connection names it.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    followSize();
    m_compositor->start([window = x11::nativeWindow(qtWindow())]() -> std::unique_ptr<PictureOutput> {
        return ShmSurface::open(window);
    });
    watchOcclusion();
}

SoftwareWallpaperWindow::~SoftwareWallpaperWindow() {
    stopWatchingOcclusion();
    // The compositor's thread ends before the X window it draws into goes.
    m_compositor->setFeeds({});
    m_content.reset();
    m_compositor.reset();
}

void SoftwareWallpaperWindow::setFrame(Rect frame) {
    DesktopWallpaperWindow::setFrame(frame);
    followSize();
}

void SoftwareWallpaperWindow::followSize() {
    QWindow& window = qtWindow();
    const Size logical{double(window.width()), double(window.height())};
    const QSize pixels = pixelSize(window);
    m_content->setFrame(Rect{{0, 0}, logical});
    m_compositor->setSize(pixels.width(), pixels.height(), logical);
}

bool SoftwareWallpaperWindow::snapshot(const std::string& path) {
    const QImage picture = x11::windowPicture(qtWindow());
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

std::shared_ptr<Layer> SoftwareWallpaperWindow::contentLayer() {
    return m_content;
}

long SoftwareWallpaperWindow::presentedFrames() const {
    return m_compositor->presentedFrames();
}

} // namespace drovane::desktop
