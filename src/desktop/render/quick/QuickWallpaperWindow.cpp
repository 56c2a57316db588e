#include "desktop/render/quick/QuickWallpaperWindow.h"

#include "desktop/render/ScreenForFrame.h"
#include "desktop/render/quick/QuickLayerNode.h"
#include "desktop/x11/WindowOcclusion.h"
#include "desktop/x11/X11Properties.h"

#include <QApplication>
#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>
#include <QScreen>

namespace drovane::desktop {

class QuickWallpaperWindow::Window final : public QQuickWindow {
public:
    explicit Window(QuickWallpaperWindow& owner) : m_owner(owner) {}

protected:
    bool event(QEvent* event) override {
        const bool handled = QQuickWindow::event(event);
        switch (event->type()) {
        case QEvent::Expose:
        case QEvent::Show:
        case QEvent::Hide:
        case QEvent::WindowStateChange:
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
    QuickWallpaperWindow& m_owner;
};

namespace {

QRect qtRect(Rect frame) {
    return QRect(static_cast<int>(frame.origin.x), static_cast<int>(frame.origin.y),
                 static_cast<int>(frame.size.width), static_cast<int>(frame.size.height));
}

} // namespace

QuickWallpaperWindow::QuickWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                                           std::shared_ptr<WindowOcclusion> occlusion)
    : m_application(std::move(application)), m_occlusion(std::move(occlusion)),
      m_window(std::make_unique<Window>(*this)) {
    // Every flag before the platform window exists: Qt rewrites the window's type and states
    // when flags change later.
    m_window->setFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowDoesNotAcceptFocus |
                       Qt::WindowTransparentForInput | Qt::WindowStaysOnBottomHint);
    m_window->setColor(Qt::black);
    m_window->setTitle(QStringLiteral("Drovane wallpaper"));
    setFrame(frame);
    m_window->create();
    x11::markAsDesktopWindow(*m_window);
    m_content = std::make_shared<QuickContentLayer>(m_window->contentItem());
    m_occlusionWatch = m_occlusion->watch(*m_window, [this] {
        if (onOcclusionChanged) {
            onOcclusionChanged();
        }
    });
}

QuickWallpaperWindow::~QuickWallpaperWindow() {
    m_occlusionWatch.reset();
    onOcclusionChanged = nullptr;
    m_content.reset();
    m_window.reset();
}

Rect QuickWallpaperWindow::frame() const {
    const QRect g = m_window->geometry();
    return Rect{{double(g.x()), double(g.y())}, {double(g.width()), double(g.height())}};
}

bool QuickWallpaperWindow::isVisible() const {
    return m_window->isVisible();
}

bool QuickWallpaperWindow::isOccludedVisible() const {
    return m_occlusion->isVisible(*m_window);
}

bool QuickWallpaperWindow::snapshot(const std::string& path) {
    const QImage picture = m_window->grabWindow();
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

void QuickWallpaperWindow::orderFront() {
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

void QuickWallpaperWindow::orderOut() {
    m_window->hide();
}

void QuickWallpaperWindow::setFrame(Rect frame) {
    const QRect rect = qtRect(frame);
    if (QScreen* screen = screenFor(rect); screen && screen != m_window->screen()) {
        m_window->setScreen(screen);
    }
    m_window->setGeometry(rect);
}

QQuickWindow& QuickWallpaperWindow::quickWindow() {
    return *m_window;
}

std::shared_ptr<Layer> QuickWallpaperWindow::contentLayer() {
    return m_content;
}

} // namespace drovane::desktop
