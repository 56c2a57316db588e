#include "desktop/shell/ApplicationService.h"

#include "desktop/shell/FreedesktopApplication.h"
#include "platform/ApplicationDelegate.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

namespace drovane::desktop {

ApplicationService::ApplicationService(QDBusConnection bus, std::string applicationId,
                                       std::weak_ptr<ApplicationDelegate> delegate,
                                       std::function<bool()> hasVisibleWindows)
    : m_bus(std::move(bus)), m_applicationId(std::move(applicationId)), m_delegate(std::move(delegate)),
      m_hasVisibleWindows(std::move(hasVisibleWindows)) {}

ApplicationService::~ApplicationService() {
    if (m_published) {
        m_bus.unregisterObject(QString::fromStdString(applicationObjectPath(m_applicationId)));
        m_bus.unregisterService(QString::fromStdString(m_applicationId));
    }
}

std::optional<std::string> ApplicationService::publish() {
    if (m_published || !m_bus.isConnected()) {
        return std::nullopt;
    }
    const QString path = QString::fromStdString(applicationObjectPath(m_applicationId));
    if (!m_bus.registerObject(path, this, QDBusConnection::ExportAllSlots)) {
        return "Drovane: cannot serve " + path.toStdString() +
               " on the session bus: " + m_bus.lastError().message().toStdString();
    }
    // Not queued: the lock makes this the one running copy, so a holder is stale or foreign.
    const QString name = QString::fromStdString(m_applicationId);
    const auto reply = m_bus.interface()->registerService(name, QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!reply.isValid() || reply.value() != QDBusConnectionInterface::ServiceRegistered) {
        m_bus.unregisterObject(path);
        // Without the name, a later launch's links go to the holder or nowhere.
        const auto owner = m_bus.interface()->servicePid(name);
        const std::string holder =
            owner.isValid() ? "process " + std::to_string(owner.value()) : std::string("another process");
        return "Drovane: the session bus name " + m_applicationId + " is held by " + holder +
               "; later launches cannot hand their links to this copy";
    }
    m_published = true;
    return std::nullopt;
}

void ApplicationService::Activate(const QVariantMap&) {
    QTimer::singleShot(0, this, [this] {
        if (auto delegate = m_delegate.lock()) {
            delegate->applicationShouldHandleReopen(m_hasVisibleWindows());
        }
    });
}

void ApplicationService::Open(const QStringList& uris, const QVariantMap&) {
    std::vector<Url> urls;
    for (const QString& uri : uris) {
        if (auto url = Url::parse(uri.toStdString())) {
            urls.push_back(std::move(*url));
        }
    }
    QTimer::singleShot(0, this, [this, urls = std::move(urls)] {
        if (auto delegate = m_delegate.lock()) {
            delegate->openUrls(urls);
        }
    });
}

void ApplicationService::ActivateAction(const QString& name, const QVariantList&, const QVariantMap&) {
    sendErrorReply(QDBusError::NotSupported, QStringLiteral("No action ") + name);
}

} // namespace drovane::desktop
