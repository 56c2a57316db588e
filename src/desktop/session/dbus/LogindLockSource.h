#pragma once

#include "desktop/session/dbus/DBusSignalRelay.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace drovane {
class Log;
class MainQueue;
} // namespace drovane

namespace drovane::desktop {

// Whether our login session's screen is locked, from systemd-logind on the system bus: the
// session's LockedHint, which the desktop's locker sets (GNOME Shell, KDE's screen locker,
// light-locker and others). The session is the one named by XDG_SESSION_ID, else the one the
// process belongs to, else the user's display session. The session's Lock signal (a request to
// its locker) counts as locked at once, until LockedHint says otherwise a few seconds later,
// so a session without a locker that reports is not stuck paused; Unlock counts as unlocked at
// once. logind restarting is followed. Main thread.
class LogindLockSource : public QObject {
public:
    // How long a Lock request stands without LockedHint confirming it.
    static constexpr double lockConfirmationSeconds = 5.0;

    LogindLockSource(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Log> log, QDBusConnection bus,
                     std::optional<QString> sessionId, unsigned processId, unsigned userId);
    ~LogindLockSource() override;

    // Finds the session and subscribes; logs one line when there is none.
    void start();

    bool isLocked() const { return m_locked; }

    // Called after the locked state changed.
    std::function<void()> onChanged;

private:
    const std::shared_ptr<MainQueue> m_mainQueue;
    const std::shared_ptr<Log> m_log;
    void findSession(bool atStart);
    void findByProcess(bool atStart);
    void findByUser(bool atStart);
    void useSession(const QString& path);
    void readLockedHint();
    void setLocked(bool locked);
    void noSession(bool atStart);

    QDBusConnection m_bus;
    std::optional<QString> m_sessionId;
    unsigned m_processId;
    unsigned m_userId;
    QString m_sessionPath;
    bool m_locked = false;
    unsigned m_lockRequests = 0;
    // Held weakly by work posted to the main queue.
    std::shared_ptr<int> m_alive = std::make_shared<int>();
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    std::unique_ptr<DBusSignalRelay> m_propertiesRelay;
    std::unique_ptr<DBusSignalRelay> m_lockRelay;
    std::unique_ptr<DBusSignalRelay> m_unlockRelay;
};

} // namespace drovane::desktop
