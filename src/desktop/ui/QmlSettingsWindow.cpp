#include "desktop/ui/QmlSettingsWindow.h"

#include "desktop/ui/SettingsBridge.h"
#include "desktop/ui/WindowFitting.h"
#include "desktop/x11/X11Activation.h"
#include "ui/SettingsView.h"

#include <QEvent>
#include <QImage>
#include <QQmlContext>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>

// The views live in a static library: their resources are registered by hand.
static void registerSettingsResources() {
    Q_INIT_RESOURCE(settings);
}

namespace drovane::desktop {

QmlSettingsWindow::QmlSettingsWindow(std::shared_ptr<SettingsView> view)
    : m_view(std::make_unique<QQuickView>()) {
    registerSettingsResources();
    m_bridge = new SettingsBridge(std::move(view), m_view->engine());
    m_view->rootContext()->setContextProperty(QStringLiteral("settings"), m_bridge);
    m_view->setTitle(QString::fromUtf8(SettingsView::title));
    // Titled and closable only: no minimise or maximise button, and a fixed size.
    m_view->setFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
    // Centred every run: no frame is remembered. Smaller only on a screen it would not fit.
    const Size size{double(viewWidth), double(viewHeight)};
    const Size fitted = fitOnScreen(*m_view, size, size, std::nullopt);
    m_view->setMaximumSize(QSize(int(fitted.width), int(fitted.height)));
    m_view->setResizeMode(QQuickView::SizeRootObjectToView);
    m_view->setSource(QUrl(QStringLiteral("qrc:/drovane/qml/SettingsView.qml")));
    m_view->installEventFilter(this);
}

QmlSettingsWindow::~QmlSettingsWindow() {
    m_view->removeEventFilter(this);
}

bool QmlSettingsWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_view.get() && event->type() == QEvent::Close) {
        // Only ordered out: the controller keeps the window and its switches.
        event->ignore();
        m_view->hide();
        return true;
    }
    return QObject::eventFilter(watched, event);
}

Rect QmlSettingsWindow::frame() const {
    const QRect g = m_view->geometry();
    return {{static_cast<double>(g.x()), static_cast<double>(g.y())},
            {static_cast<double>(g.width()), static_cast<double>(g.height())}};
}

bool QmlSettingsWindow::isVisible() const {
    return m_view->isVisible() && m_view->visibility() != QWindow::Minimized;
}

bool QmlSettingsWindow::isOccludedVisible() const {
    return m_view->isExposed();
}

bool QmlSettingsWindow::snapshot(const std::string& path) {
    const QImage picture = m_view->grabWindow();
    return !picture.isNull() && picture.save(QString::fromStdString(path), "PNG");
}

void QmlSettingsWindow::show() {
    m_view->show();
    m_view->raise();
    m_view->requestActivate();
    // A fresh timestamp, so that a window manager preventing focus stealing lets it in front.
    x11::activateWithFreshTime(*m_view);
}

void QmlSettingsWindow::clearFocus() {
    // The root takes the focus, so that no control holds it but the window's keys still work.
    if (QQuickItem* root = m_view->rootObject()) {
        root->forceActiveFocus(Qt::OtherFocusReason);
    }
}

QWindow* QmlSettingsWindow::qtWindow() const {
    return m_view.get();
}

} // namespace drovane::desktop
