#pragma once

#include "desktop/session/dbus/DBusSignalRelay.h"

#include <QDBusConnection>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <vector>

namespace drovane {
class Log;
}

namespace drovane::desktop {

// Whether a screen saver runs, from the ActiveChanged(bool) signals of the screen saver services
// on the session bus: org.freedesktop.ScreenSaver (KDE Plasma, Xfce), org.gnome.ScreenSaver
// (GNOME Shell, whose shield comes up with blanking and the lock), org.cinnamon.ScreenSaver and
// org.mate.ScreenSaver. It runs when any of them says so; a service that quits no longer does.
// The current state is asked for (GetActive) when a service is found. Main thread.
class ScreenSaverSource : public QObject {
public:
    ScreenSaverSource(std::shared_ptr<Log> log, QDBusConnection bus);
    ~ScreenSaverSource() override;

    // Subscribes and asks each service; logs one line when none is there yet.
    void start();

    bool isActive() const;

    // Called after the screen saver started or stopped.
    std::function<void()> onChanged;

private:
    const std::shared_ptr<Log> m_log;
    struct Service {
        QString name;
        QString path;
        bool active = false;
        std::unique_ptr<DBusSignalRelay> relay;
    };

    void ask(std::size_t index, bool atStart);
    void setActive(std::size_t index, bool active);

    QDBusConnection m_bus;
    std::vector<Service> m_services;
    std::unique_ptr<QDBusServiceWatcher> m_watcher;
    int m_unansweredAtStart = 0;
    bool m_anyFoundAtStart = false;
};

} // namespace drovane::desktop
