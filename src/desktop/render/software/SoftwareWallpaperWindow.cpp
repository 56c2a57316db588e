#include "desktop/render/software/SoftwareWallpaperWindow.h"

#include "desktop/render/ScreenForFrame.h"
#include "desktop/render/software/SoftwareCompositor.h"
#include "desktop/render/software/SoftwareContentLayer.h"
#include "desktop/x11/WindowOcclusion.h"
#include "desktop/x11/X11Properties.h"
#include "desktop/x11/X11WindowPicture.h"

#include <QGuiApplication>
#include <QResizeEvent>
#include <QScreen>
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
            m_owner.m_content->setFrame(Rect{{0, 0}, {double(width()), double(height())}});
            m_owner.m_compositor->setSize(width(), height());
            break;
        case QEvent::Expose:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
            if (event->type() == QEvent::Expose || event->type() == QEvent::Hide) {
                m_owner.m_compositor->setExposed(isExposed());
            }
            if (m_owner.m_occlusion->windowEvent(*this) && m_owner.onOcclusionChanged) {
                m_owner.onOcclusionChanged();
            }
            break;
        default:
            break;
        }
        return handled;
    }

private:
    SoftwareWallpaperWindow& m_owner;
};

SoftwareWallpaperWindow::SoftwareWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                                                 std::shared_ptr<WindowOcclusion> occlusion)
    : m_application(std::move(application)), m_occlusion(std::move(occlusion)),
      m_compositor(std::make_shared<SoftwareCompositor>()), m_window(std::make_unique<Window>(*this)),
      m_content(std::make_shared<SoftwareContentLayer>(m_compositor)) {
    // Every flag before the platform window exists: Qt rewrites the window's type and states
    // when flags change later.
    m_window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                       Qt::WindowTransparentForInput | Qt::WindowStaysOnBottomHint);
    m_window->setTitle(QStringLiteral("Drovane wallpaper"));
    setFrame(frame);
    m_window->create();
    x11::markAsDesktopWindow(*m_window);
    if (xcb_connection_t* c = x11::connection()) {
        // The compositor draws on a connection of its own: the server must know the window
        // before that connection names it.
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    m_content->setFrame(Rect{{0, 0}, frame.size});
    m_compositor->start(x11::nativeWindow(*m_window), m_window->width(), m_window->height());
    m_occlusionWatch = m_occlusion->watch(*m_window, [this] {
        if (onOcclusionChanged) {
            onOcclusionChanged();
        }
    });
}

SoftwareWallpaperWindow::~SoftwareWallpaperWindow() {
    m_occlusionWatch.reset();
    onOcclusionChanged = nullptr;
    // The compositor's thread ends before the X window it draws into goes.
    m_compositor->setFeeds({});
    m_content.reset();
    m_compositor.reset();
    m_window.reset();
}

Rect SoftwareWallpaperWindow::frame() const {
    const QRect g = m_window->geometry();
    return Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}};
}

bool SoftwareWallpaperWindow::isVisible() const {
    return m_window->isVisible();
}

bool SoftwareWallpaperWindow::isOccludedVisible() const {
    return m_occlusion->isVisible(*m_window);
}

bool SoftwareWallpaperWindow::snapshot(const std::string& path) {
    const QImage picture = x11::windowPicture(*m_window);
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

void SoftwareWallpaperWindow::orderFront() {
    if (m_window->isVisible()) {
        x11::lowerToBottom(*m_window);
        return;
    }
    // A window manager forgets a withdrawn window's type and states; they go on again before
    // each map.
    x11::markAsDesktopWindow(*m_window);
    m_window->show();
    x11::lowerToBottom(*m_window);
}

void SoftwareWallpaperWindow::orderOut() {
    m_window->hide();
}

void SoftwareWallpaperWindow::setFrame(Rect frame) {
    const QRect rect(static_cast<int>(frame.origin.x), static_cast<int>(frame.origin.y),
                     static_cast<int>(frame.size.width), static_cast<int>(frame.size.height));
    if (QScreen* screen = screenFor(rect); screen && screen != m_window->screen()) {
        m_window->setScreen(screen);
    }
    m_window->setGeometry(rect);
}

std::shared_ptr<Layer> SoftwareWallpaperWindow::contentLayer() {
    return m_content;
}

QWindow& SoftwareWallpaperWindow::qtWindow() {
    return *m_window;
}

long SoftwareWallpaperWindow::presentedFrames() const {
    return m_compositor->presentedFrames();
}

} // namespace drovane::desktop
