#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QObject>
#include <QStringList>
#include <QVariantMap>
#include <functional>
#include <memory>
#include <optional>
#include <string>

namespace drovane {
class ApplicationDelegate;
}

namespace drovane::desktop {

// The running program's side of the freedesktop application interface: a later launch's links
// (Open) reach the delegate as links handed over by the platform, its plain relaunch
// (Activate) as a reopen request. The caller gets its answer first; the delegate acts from the
// event loop right after.
class ApplicationService final : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Application")

public:
    ApplicationService(QDBusConnection bus, std::string applicationId,
                       std::weak_ptr<ApplicationDelegate> delegate, std::function<bool()> hasVisibleWindows);
    ~ApplicationService() override;

    // Exports the interface and takes the application identifier's name. Nothing once that is
    // done or when there is no bus (later launches then only leave); otherwise the log line that
    // says why not (another process holds the name).
    std::optional<std::string> publish();
    bool published() const { return m_published; }

public slots:
    void Activate(const QVariantMap& platformData);
    void Open(const QStringList& uris, const QVariantMap& platformData);
    // The program offers no actions.
    void ActivateAction(const QString& name, const QVariantList& parameter, const QVariantMap& platformData);

private:
    QDBusConnection m_bus;
    const std::string m_applicationId;
    const std::weak_ptr<ApplicationDelegate> m_delegate;
    const std::function<bool()> m_hasVisibleWindows;
    bool m_published = false;
};

} // namespace drovane::desktop
