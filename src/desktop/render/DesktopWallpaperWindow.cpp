#include "desktop/render/DesktopWallpaperWindow.h"

#include "desktop/render/PixelGeometry.h"
#include "desktop/x11/WindowOcclusion.h"
#include "desktop/x11/X11Properties.h"

#include <QEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

namespace drovane::desktop {

namespace {

// The screen a wallpaper frame lies on: the one it overlaps most, else the primary screen.
QScreen* screenFor(const QRect& frame) {
    QScreen* best = QGuiApplication::primaryScreen();
    int bestArea = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(frame);
        const int area = overlap.isEmpty() ? 0 : overlap.width() * overlap.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

} // namespace

DesktopWallpaperWindow::DesktopWallpaperWindow(std::shared_ptr<QApplication> application,
                                               std::shared_ptr<WindowOcclusion> occlusion,
                                               std::unique_ptr<QWindow> window)
    : m_application(std::move(application)), m_occlusion(std::move(occlusion)), m_window(std::move(window)) {}

DesktopWallpaperWindow::~DesktopWallpaperWindow() {
    stopWatchingOcclusion();
}

void DesktopWallpaperWindow::createPlatformWindow(Rect frame) {
    // Every flag before the platform window exists: Qt rewrites the window's type and states
    // when flags change later.
    m_window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                       Qt::WindowTransparentForInput);
    m_window->setTitle(QStringLiteral("Drovane wallpaper"));
    // Qt's xcb plugin rewrites _NET_WM_WINDOW_TYPE from this whenever it applies the flags (at
    // creation and again before mapping); without it the window goes out as a normal one and
    // window managers frame and decorate it, their frame taking the clicks meant for the desktop.
    m_window->setProperty("_q_xcb_wm_window_type", x11::qtDesktopWindowType);
    setFrame(frame);
    m_window->create();
    fitToScreenPixels(*m_window, paintedByQt());
    x11::markAsDesktopWindow(*m_window);
}

void DesktopWallpaperWindow::watchOcclusion() {
    m_occlusionWatch = m_occlusion->watch(*m_window, [this] {
        if (onOcclusionChanged) {
            onOcclusionChanged();
        }
    });
}

void DesktopWallpaperWindow::stopWatchingOcclusion() {
    m_occlusionWatch.reset();
    onOcclusionChanged = nullptr;
}

void DesktopWallpaperWindow::windowEvent(const QEvent& event) {
    if (event.type() == QEvent::Expose && m_window->isVisible()) {
        // The manager may have framed the window, or reshaped its frame, since the last time.
        x11::passInputThroughFrame(*m_window);
    }
    switch (event.type()) {
    case QEvent::Expose:
    case QEvent::Show:
    case QEvent::Hide:
    case QEvent::WindowStateChange:
        if (m_occlusion->windowEvent(*m_window) && onOcclusionChanged) {
            onOcclusionChanged();
        }
        break;
    default:
        break;
    }
}

Rect DesktopWallpaperWindow::frame() const {
    const QRect g = m_window->geometry();
    return Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}};
}

bool DesktopWallpaperWindow::isVisible() const {
    return m_window->isVisible();
}

bool DesktopWallpaperWindow::isOccludedVisible() const {
    return m_occlusion->isVisible(*m_window);
}

void DesktopWallpaperWindow::orderFront() {
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

void DesktopWallpaperWindow::orderOut() {
    m_window->hide();
}

void DesktopWallpaperWindow::setFrame(Rect frame) {
    const QRect rect(x11::coordinate(frame.origin.x), x11::coordinate(frame.origin.y),
                     x11::coordinate(frame.size.width), x11::coordinate(frame.size.height));
    if (QScreen* screen = screenFor(rect); screen && screen != m_window->screen()) {
        m_window->setScreen(screen);
    }
    m_window->setGeometry(rect);
    fitToScreenPixels(*m_window, paintedByQt());
}

} // namespace drovane::desktop
