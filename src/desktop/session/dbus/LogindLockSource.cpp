#include "desktop/session/dbus/LogindLockSource.h"

#include "desktop/session/dbus/DBusCalls.h"
#include "platform/Log.h"
#include "platform/MainQueue.h"

#include <QDBusArgument>
#include <QDBusObjectPath>

namespace drovane::desktop {

namespace {

const QString service = QStringLiteral("org.freedesktop.login1");
const QString managerPath = QStringLiteral("/org/freedesktop/login1");
const QString managerInterface = QStringLiteral("org.freedesktop.login1.Manager");
const QString sessionInterface = QStringLiteral("org.freedesktop.login1.Session");
const QString userInterface = QStringLiteral("org.freedesktop.login1.User");
const QString lockedHint = QStringLiteral("LockedHint");

std::optional<QString> objectPathReply(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return std::nullopt;
    }
    const QString path = reply.arguments().constFirst().value<QDBusObjectPath>().path();
    if (path.isEmpty() || path == QLatin1String("/")) {
        return std::nullopt;
    }
    return path;
}

// The object path in a User's Display property, a (so) structure.
std::optional<QString> displaySessionPath(const QVariant& display) {
    if (display.metaType() != QMetaType::fromType<QDBusArgument>()) {
        return std::nullopt;
    }
    const QDBusArgument argument = display.value<QDBusArgument>();
    QString id;
    QDBusObjectPath path;
    argument.beginStructure();
    argument >> id >> path;
    argument.endStructure();
    if (path.path().isEmpty() || path.path() == QLatin1String("/")) {
        return std::nullopt;
    }
    return path.path();
}

} // namespace

LogindLockSource::LogindLockSource(std::shared_ptr<MainQueue> mainQueue, std::shared_ptr<Log> log,
                                   QDBusConnection bus, std::optional<QString> sessionId, unsigned processId,
                                   unsigned userId)
    : m_mainQueue(std::move(mainQueue)), m_log(std::move(log)), m_bus(std::move(bus)),
      m_sessionId(std::move(sessionId)), m_processId(processId), m_userId(userId) {}

LogindLockSource::~LogindLockSource() = default;

void LogindLockSource::start() {
    if (!m_bus.isConnected()) {
        m_log->line("Drovane: the system bus is not reachable; the screen lock is not followed");
        return;
    }
    m_watcher = dbus::watchOwners(m_bus, {service}, this, [this](qsizetype, const QString& newOwner) {
        if (newOwner.isEmpty()) {
            // Nobody left to tell us about the lock: do not stay paused on a stale value.
            setLocked(false);
        } else {
            findSession(false);
        }
    });
    findSession(true);
}

void LogindLockSource::findSession(bool atStart) {
    if (!m_sessionId || m_sessionId->isEmpty()) {
        findByProcess(atStart);
        return;
    }
    auto call =
        QDBusMessage::createMethodCall(service, managerPath, managerInterface, QStringLiteral("GetSession"));
    call << *m_sessionId;
    dbus::callAsync(m_bus, call, this, [this, atStart](const QDBusMessage& reply) {
        if (auto path = objectPathReply(reply)) {
            useSession(*path);
        } else {
            findByProcess(atStart);
        }
    });
}

void LogindLockSource::findByProcess(bool atStart) {
    auto call = QDBusMessage::createMethodCall(service, managerPath, managerInterface,
                                               QStringLiteral("GetSessionByPID"));
    call << m_processId;
    dbus::callAsync(m_bus, call, this, [this, atStart](const QDBusMessage& reply) {
        if (auto path = objectPathReply(reply)) {
            useSession(*path);
        } else {
            findByUser(atStart);
        }
    });
}

void LogindLockSource::findByUser(bool atStart) {
    // A process started outside the session (a user service, a terminal multiplexer): the
    // user's graphical session is the one whose screen we draw on.
    auto call =
        QDBusMessage::createMethodCall(service, managerPath, managerInterface, QStringLiteral("GetUser"));
    call << m_userId;
    dbus::callAsync(m_bus, call, this, [this, atStart](const QDBusMessage& reply) {
        auto userPath = objectPathReply(reply);
        if (!userPath) {
            noSession(atStart);
            return;
        }
        dbus::getProperty(m_bus, service, *userPath, userInterface, QStringLiteral("Display"), this,
                          [this, atStart](std::optional<QVariant> display) {
                              auto path = display ? displaySessionPath(*display) : std::nullopt;
                              if (path) {
                                  useSession(*path);
                              } else {
                                  noSession(atStart);
                              }
                          });
    });
}

void LogindLockSource::noSession(bool atStart) {
    if (atStart) {
        m_log->line("Drovane: no login session found; the screen lock is not followed");
    }
}

void LogindLockSource::useSession(const QString& path) {
    if (path != m_sessionPath || !m_propertiesRelay) {
        m_sessionPath = path;
        m_propertiesRelay = std::make_unique<DBusSignalRelay>(
            m_bus, service, path, QString::fromLatin1(dbus::propertiesInterface),
            QStringLiteral("PropertiesChanged"), [this](const QDBusMessage& message) {
                auto props = dbus::changedProperties(message, sessionInterface);
                if (!props) {
                    return;
                }
                if (auto it = props->changed.find(lockedHint); it != props->changed.end()) {
                    setLocked(dbus::unwrap(*it).toBool());
                } else if (props->invalidated.contains(lockedHint)) {
                    readLockedHint();
                }
            });
        m_lockRelay = std::make_unique<DBusSignalRelay>(
            m_bus, service, path, sessionInterface, QStringLiteral("Lock"), [this](const QDBusMessage&) {
                setLocked(true);
                const unsigned request = ++m_lockRequests;
                std::weak_ptr<void> alive = m_alive;
                m_mainQueue->postAfter(lockConfirmationSeconds, [this, alive, request] {
                    if (alive.lock() && request == m_lockRequests) {
                        readLockedHint();
                    }
                });
            });
        m_unlockRelay = std::make_unique<DBusSignalRelay>(
            m_bus, service, path, sessionInterface, QStringLiteral("Unlock"), [this](const QDBusMessage&) {
                ++m_lockRequests;
                setLocked(false);
            });
    }
    readLockedHint();
}

void LogindLockSource::readLockedHint() {
    if (m_sessionPath.isEmpty()) {
        return;
    }
    dbus::getProperty(m_bus, service, m_sessionPath, sessionInterface, lockedHint, this,
                      [this](std::optional<QVariant> value) {
                          if (value) {
                              setLocked(value->toBool());
                          }
                      });
}

void LogindLockSource::setLocked(bool locked) {
    if (locked == m_locked) {
        return;
    }
    m_locked = locked;
    if (onChanged) {
        onChanged();
    }
}

} // namespace drovane::desktop
