#include "desktop/render/quick/QuickWallpaperWindow.h"

#include "desktop/render/quick/QuickLayerNode.h"

#include <QImage>
#include <QQuickItem>
#include <QQuickWindow>

namespace drovane::desktop {

class QuickWallpaperWindow::Window final : public QQuickWindow {
public:
    explicit Window(QuickWallpaperWindow& owner) : m_owner(owner) {}

protected:
    bool event(QEvent* event) override {
        const bool handled = QQuickWindow::event(event);
        m_owner.windowEvent(*event);
        return handled;
    }

private:
    QuickWallpaperWindow& m_owner;
};

QuickWallpaperWindow::QuickWallpaperWindow(std::shared_ptr<QApplication> application, Rect frame,
                                           std::shared_ptr<WindowOcclusion> occlusion)
    : DesktopWallpaperWindow(std::move(application), std::move(occlusion), std::make_unique<Window>(*this)) {
    quickWindow().setColor(Qt::black);
    createPlatformWindow(frame);
    m_content = std::make_shared<QuickContentLayer>(quickWindow().contentItem());
    watchOcclusion();
}

QuickWallpaperWindow::~QuickWallpaperWindow() {
    stopWatchingOcclusion();
    m_content.reset();
}

bool QuickWallpaperWindow::snapshot(const std::string& path) {
    const QImage picture = quickWindow().grabWindow();
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

QQuickWindow& QuickWallpaperWindow::quickWindow() const {
    return static_cast<QQuickWindow&>(qtWindow());
}

std::shared_ptr<Layer> QuickWallpaperWindow::contentLayer() {
    return m_content;
}

} // namespace drovane::desktop
