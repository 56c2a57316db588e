#include "desktop/shell/QtWorkspace.h"

#include "desktop/shell/ApplicationService.h"
#include "desktop/x11/X11Properties.h"
#include "platform/ApplicationDelegate.h"
#include "platform/Log.h"

#include <QApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPalette>
#include <QPlatformSurfaceEvent>
#include <QStandardPaths>
#include <QStyle>
#include <QStyleFactory>
#include <QTimer>
#include <QUrl>
#include <QWindow>

namespace drovane::desktop {

namespace {

// Wallpaper windows are never in the taskbar, whatever the policy.
bool isOrdinaryTopLevel(const QWindow* window) {
    return window && !window->parent() && window->type() != Qt::Desktop &&
           !(window->flags() & Qt::WindowTransparentForInput) && window->type() != Qt::Popup &&
           window->type() != Qt::ToolTip;
}

QPalette darkPalette() {
    QPalette p;
    const QColor window(0x2b, 0x2b, 0x2e), base(0x1e, 0x1e, 0x20), text(0xe8, 0xe8, 0xea);
    const QColor highlight(0x3d, 0x7c, 0xf0), disabled(0x80, 0x80, 0x85);
    p.setColor(QPalette::Window, window);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Base, base);
    p.setColor(QPalette::AlternateBase, window);
    p.setColor(QPalette::ToolTipBase, base);
    p.setColor(QPalette::ToolTipText, text);
    p.setColor(QPalette::PlaceholderText, disabled);
    p.setColor(QPalette::Text, text);
    p.setColor(QPalette::Button, window);
    p.setColor(QPalette::ButtonText, text);
    p.setColor(QPalette::BrightText, Qt::white);
    p.setColor(QPalette::Highlight, highlight);
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::Link, highlight.lighter(130));
    for (auto role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
        p.setColor(QPalette::Disabled, role, disabled);
    }
    return p;
}

} // namespace

// Applies the taskbar presence to each ordinary top-level window as its platform window is
// created, before it is first mapped.
class QtWorkspace::WindowWatcher final : public QObject {
public:
    explicit WindowWatcher(QtWorkspace& owner) : m_owner(owner) {}

    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::PlatformSurface) {
            auto* surface = static_cast<QPlatformSurfaceEvent*>(event);
            auto* window = qobject_cast<QWindow*>(object);
            if (surface->surfaceEventType() == QPlatformSurfaceEvent::SurfaceCreated &&
                isOrdinaryTopLevel(window)) {
                x11::setSkipTaskbar(*window, m_owner.m_policy == ActivationPolicy::Accessory, false);
            }
        }
        return false;
    }

private:
    QtWorkspace& m_owner;
};

QtWorkspace::QtWorkspace(std::shared_ptr<QApplication> application, std::string applicationId,
                         std::shared_ptr<Log> log)
    : m_application(std::move(application)), m_applicationId(std::move(applicationId)), m_log(std::move(log)),
      m_watcher(std::make_unique<WindowWatcher>(*this)) {
    m_application->installEventFilter(m_watcher.get());
}

QtWorkspace::~QtWorkspace() {
    m_service.reset();
    m_application->removeEventFilter(m_watcher.get());
}

bool QtWorkspace::hasVisibleWindows() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (isOrdinaryTopLevel(window) && window->isVisible() && window->visibility() != QWindow::Minimized) {
            return true;
        }
    }
    return false;
}

bool QtWorkspace::openUrl(const Url& url) {
    return QDesktopServices::openUrl(QUrl(QString::fromStdString(url.string())));
}

void QtWorkspace::revealFiles(const std::vector<std::string>& paths) {
    if (paths.empty()) {
        return;
    }
    QStringList uris;
    for (const auto& path : paths) {
        uris << QUrl::fromLocalFile(QString::fromStdString(path)).toString(QUrl::FullyEncoded);
    }
    const QString folder = QFileInfo(QString::fromStdString(paths.front())).absolutePath();
    auto openFolder = [folder] { QDesktopServices::openUrl(QUrl::fromLocalFile(folder)); };

    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        openFolder();
        return;
    }
    auto message = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("/org/freedesktop/FileManager1"),
        QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("ShowItems"));
    message << uris << QString();
    // Asynchronous: a file manager that is slow to start must not freeze the wallpaper.
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(message, 5000), m_application.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [openFolder](QDBusPendingCallWatcher* call) {
                         if (call->isError()) {
                             openFolder();
                         }
                         call->deleteLater();
                     });
}

std::optional<std::string> QtWorkspace::moveToTrash(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.exists()) {
        return "The file \"" + path + "\" does not exist.";
    }
    // Without the data folder of a fresh home, Qt trashes into a "files" folder of the working
    // directory instead of the user's Trash: the home Trash is made first.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/Trash"));
    if (!file.moveToTrash()) {
        const QString reason = file.errorString();
        return reason.isEmpty() ? std::string("The file could not be moved to the Trash.")
                                : reason.toStdString();
    }
    return std::nullopt;
}

void QtWorkspace::activate() {
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (isOrdinaryTopLevel(window) && window->isVisible()) {
            window->raise();
            window->requestActivate();
        }
    }
}

void QtWorkspace::setActivationPolicy(ActivationPolicy policy) {
    if (m_policy == policy) {
        return;
    }
    m_policy = policy;
    for (QWindow* window : QGuiApplication::topLevelWindows()) {
        if (isOrdinaryTopLevel(window) && window->handle()) {
            x11::setSkipTaskbar(*window, policy == ActivationPolicy::Accessory, window->isVisible());
        }
    }
}

void QtWorkspace::setAppearance(Appearance appearance) {
    if (auto* fusion = QStyleFactory::create(QStringLiteral("Fusion"))) {
        QApplication::setStyle(fusion);
    }
    QApplication::setPalette(appearance == Appearance::Dark ? darkPalette()
                                                            : QApplication::style()->standardPalette());
}

void QtWorkspace::terminate() {
    m_terminating = true;
    QCoreApplication::quit();
}

int QtWorkspace::runEventLoop(std::shared_ptr<ApplicationDelegate> delegate) {
    // The delegate lives as long as the loop runs.
    QTimer::singleShot(0, m_application.get(), [this, delegate] {
        if (m_terminating || !delegate) {
            return;
        }
        delegate->applicationDidFinishLaunching();
        // Only now: a later launch's links must find the launch finished. Without a session
        // bus, later launches only leave.
        m_service = std::make_unique<ApplicationService>(QDBusConnection::sessionBus(), m_applicationId,
                                                         delegate, &QtWorkspace::hasVisibleWindows);
        if (auto refused = m_service->publish(); refused && m_log) {
            m_log->line(*refused);
        }
    });
    const int status = m_application->exec();
    // Off the bus while the bus still works: the workspace itself may be destroyed only among
    // the static destructors, after Qt's D-Bus threads have gone.
    m_service.reset();
    return status;
}

} // namespace drovane::desktop
