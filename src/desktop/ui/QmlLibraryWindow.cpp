#include "desktop/ui/QmlLibraryWindow.h"

#include "desktop/ui/LibraryBridge.h"
#include "desktop/ui/LibraryImageProviders.h"
#include "desktop/ui/ProgressRingAccessible.h"
#include "desktop/ui/WindowFitting.h"

#include <QEvent>
#include <QImage>
#include <QPixmap>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickView>
#include <QScreen>
#include <algorithm>
#include <utility>

// Outside any namespace, as the resource compiler names it: the views and icons are compiled
// into a static library, whose resources are registered by hand.
static void registerLibraryViews() {
    Q_INIT_RESOURCE(library);
}

namespace drovane::desktop {

namespace {
constexpr QSize contentSize{1100, 720};
constexpr QSize minimumSize{1000, 680};
constexpr QSize maximumSize{1800, 1200};

// Qt hands a size beyond the window's limits to the X server as it is (the renderer then fails
// on the surface), so a size is held to what the window can be first.
Size limited(Size size) {
    return {std::min(size.width, double{maximumSize.width()}),
            std::min(size.height, double{maximumSize.height()})};
}
} // namespace

QmlLibraryWindow::QmlLibraryWindow(LibraryWindowContent content) : m_content(std::move(content)) {
    // A move or resize is remembered once the user lets go.
    m_frameSettled.setSingleShot(true);
    m_frameSettled.setInterval(400);
    connect(&m_frameSettled, &QTimer::timeout, this, [this] {
        if (onFrameChanged) {
            onFrameChanged(frame());
        }
    });
}

void QmlLibraryWindow::makeView() const {
    if (m_view) {
        return;
    }
    registerLibraryViews();
    installProgressRingAccessible();
    auto* self = const_cast<QmlLibraryWindow*>(this);
    m_view = std::make_unique<QQuickView>();
    auto* thumbnails = new ThumbnailImageProvider();
    m_view->engine()->addImageProvider(QStringLiteral("thumbs"), thumbnails);
    m_view->engine()->addImageProvider(QStringLiteral("icons"), new IconImageProvider());
    m_bridge = new LibraryBridge(std::move(*m_content), thumbnails, m_view->engine());
    m_content.reset();
    m_view->rootContext()->setContextProperty(QStringLiteral("bridge"), m_bridge);
    m_view->rootContext()->setContextProperty(QStringLiteral("tiles"), m_bridge->tiles());
    m_view->setTitle(QStringLiteral("Drovane"));
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->setMaximumSize(maximumSize);
    fitOnScreen(*m_view, {double(contentSize.width()), double(contentSize.height())},
                {double(minimumSize.width()), double(minimumSize.height())}, std::nullopt);
    m_view->setSource(QUrl(QStringLiteral("qrc:/drovane/qml/LibraryWindow.qml")));
    m_view->installEventFilter(self);
    for (auto& apply : std::exchange(m_pending, {})) {
        apply();
    }
    auto settle = [self] {
        if (self->m_view->isVisible()) {
            self->m_frameSettled.start();
        }
    };
    connect(m_view.get(), &QWindow::xChanged, self, settle);
    connect(m_view.get(), &QWindow::yChanged, self, settle);
    connect(m_view.get(), &QWindow::widthChanged, self, settle);
    connect(m_view.get(), &QWindow::heightChanged, self, settle);
}

void QmlLibraryWindow::whenMade(std::function<void()> apply) {
    if (m_view) {
        apply();
    } else {
        m_pending.push_back(std::move(apply));
    }
}

LibraryBridge& QmlLibraryWindow::bridge() const {
    makeView();
    return *m_bridge;
}

QQuickView& QmlLibraryWindow::view() const {
    makeView();
    return *m_view;
}

QmlLibraryWindow::~QmlLibraryWindow() {
    if (m_view) {
        m_view->removeEventFilter(this);
    }
}

bool QmlLibraryWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view.get() && event->type() == QEvent::Close) {
        // Only hidden: the next showing finds the same window as the user left it.
        event->ignore();
        m_view->hide();
        if (onClosed) {
            onClosed();
        }
        return true;
    }
    return QObject::eventFilter(watched, event);
}

Rect QmlLibraryWindow::frame() const {
    if (!m_view) {
        return m_pendingFrame.value_or(
            Rect{{0, 0}, {double(contentSize.width()), double(contentSize.height())}});
    }
    const QRect g = m_view->geometry();
    return {{static_cast<double>(g.x()), static_cast<double>(g.y())},
            {static_cast<double>(g.width()), static_cast<double>(g.height())}};
}

bool QmlLibraryWindow::isVisible() const {
    return m_view && m_view->isVisible() && m_view->windowStates().testFlag(Qt::WindowMinimized) == false;
}

bool QmlLibraryWindow::isOccludedVisible() const {
    return isVisible() && m_view->isExposed();
}

bool QmlLibraryWindow::snapshot(const std::string& path) {
    makeView();
    QImage picture;
    // From the X server first: exactly what the window shows.
    if (QScreen* screen = m_view->screen(); screen && m_view->isVisible()) {
        picture = screen->grabWindow(m_view->winId()).toImage();
    }
    if (picture.width() < 2) {
        picture = m_view->grabWindow();
    }
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

void QmlLibraryWindow::show() {
    makeView();
    m_view->setWindowStates(m_view->windowStates() & ~Qt::WindowMinimized);
    m_view->show();
    m_view->raise();
    m_view->requestActivate();
}

void QmlLibraryWindow::setFrame(Rect frame) {
    if (!m_view) {
        m_pendingFrame = frame;
    }
    whenMade([this, frame] {
        fitOnScreen(*m_view, limited(frame.size), {double(minimumSize.width()), double(minimumSize.height())},
                    frame.origin);
    });
}

void QmlLibraryWindow::setContentSize(Size size) {
    whenMade([this, size] {
        const QPoint at = m_view->position();
        fitOnScreen(*m_view, limited(size), {double(minimumSize.width()), double(minimumSize.height())},
                    Point{double(at.x()), double(at.y())});
    });
}

QWindow* QmlLibraryWindow::qtWindow() const {
    // A window never shown has no place for a sheet.
    return m_view.get();
}

} // namespace drovane::desktop
