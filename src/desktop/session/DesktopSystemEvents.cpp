#include "desktop/session/DesktopSystemEvents.h"

#include "desktop/session/DpmsSource.h"
#include "desktop/session/ThermalZonesSource.h"
#include "desktop/session/dbus/DBusCalls.h"
#include "desktop/session/dbus/LogindLockSource.h"
#include "desktop/session/dbus/PowerProfilesSource.h"
#include "desktop/session/dbus/ScreenSaverSource.h"
#include "platform/MainQueue.h"

#include <algorithm>

namespace drovane::desktop {

DesktopSystemEvents::DesktopSystemEvents(Config config, std::shared_ptr<MainQueue> mainQueue,
                                         std::shared_ptr<Log> log)
    : m_config(std::move(config)), m_mainQueue(std::move(mainQueue)), m_log(std::move(log)) {}

DesktopSystemEvents::~DesktopSystemEvents() = default;

void DesktopSystemEvents::ensureStarted() {
    if (!m_started) {
        start();
    }
}

void DesktopSystemEvents::start() {
    m_started = true;
    // Each object gets connections of its own: several may live in one process, one after the
    // other (tests), and QtDBus hands out an existing connection of the same name.
    static unsigned instances = 0;
    const QString tag = QString::number(++instances);
    const QDBusConnection systemBus =
        dbus::connectBus(m_config.systemBusAddress, QDBusConnection::SystemBus, "drovane-system-" + tag);
    const QDBusConnection sessionBus =
        dbus::connectBus(m_config.sessionBusAddress, QDBusConnection::SessionBus, "drovane-session-" + tag);

    m_powerProfiles = std::make_unique<PowerProfilesSource>(m_log, systemBus);
    m_powerProfiles->onChanged = [this] { report(); };
    m_powerProfiles->start();

    m_thermalZones = std::make_unique<ThermalZonesSource>(m_mainQueue, m_log, m_config.thermalClassDirectory,
                                                          m_config.thermalPollInterval);
    m_thermalZones->onChanged = [this] { report(); };
    m_thermalZones->start();

    m_dpms = std::make_unique<DpmsSource>(
        m_mainQueue, m_config.xDisplay ? openDpmsReader(*m_config.xDisplay, *m_log) : DpmsSource::Reader(),
        m_config.displayPollInterval);
    m_dpms->onChanged = [this] { report(); };

    std::optional<QString> sessionId;
    if (m_config.sessionId) {
        sessionId = QString::fromStdString(*m_config.sessionId);
    }
    m_lock = std::make_unique<LogindLockSource>(m_mainQueue, m_log, systemBus, sessionId, m_config.processId,
                                                m_config.userId);
    m_lock->onChanged = [this] { report(); };
    m_lock->start();

    m_screenSaver = std::make_unique<ScreenSaverSource>(m_log, sessionBus);
    m_screenSaver->onChanged = [this] { report(); };
    m_screenSaver->start();

    // What was read synchronously (the thermal zones) is reported like any later change, once
    // the caller has had the chance to subscribe.
    std::weak_ptr<void> alive = m_alive;
    m_mainQueue->post([this, alive] {
        if (alive.lock()) {
            report();
        }
    });
}

bool DesktopSystemEvents::isLowPowerModeEnabled() const {
    return m_started && m_powerProfiles->isPowerSaver();
}

ThermalState DesktopSystemEvents::thermalState() const {
    if (!m_started) {
        return ThermalState::Nominal;
    }
    const ThermalState hint = m_powerProfiles->isOverheated() ? ThermalState::Serious : ThermalState::Nominal;
    return std::max(m_thermalZones->state(), hint);
}

void DesktopSystemEvents::setWallpaperShown(bool shown) {
    ensureStarted();
    m_thermalZones->setWallpaperShown(shown);
    m_dpms->setWallpaperShown(shown);
}

void DesktopSystemEvents::report() {
    // Every observer list is told after all fields are updated, so a handler reading any value
    // sees the machine's state as a whole.
    const bool lowPower = m_powerProfiles->isPowerSaver();
    const ThermalState thermal = thermalState();
    const bool asleep = m_dpms->isAsleep();
    const bool locked = m_lock->isLocked();
    const bool saverActive = m_screenSaver->isActive();

    const bool lowPowerChanged = std::exchange(m_lowPower, lowPower) != lowPower;
    const bool thermalChanged = std::exchange(m_thermal, thermal) != thermal;
    const bool asleepChanged = std::exchange(m_asleep, asleep) != asleep;
    const bool lockedChanged = std::exchange(m_locked, locked) != locked;
    const bool saverChanged = std::exchange(m_saverActive, saverActive) != saverActive;

    if (lowPowerChanged) {
        m_lowPowerHandlers.notify();
    }
    if (thermalChanged) {
        m_thermalHandlers.notify();
    }
    if (asleepChanged) {
        (asleep ? m_sleepHandlers : m_wakeHandlers).notify();
    }
    if (lockedChanged) {
        (locked ? m_lockHandlers : m_unlockHandlers).notify();
    }
    if (saverChanged) {
        (saverActive ? m_saverStartHandlers : m_saverStopHandlers).notify();
    }
}

Subscription DesktopSystemEvents::observeLowPowerModeChanges(std::function<void()> handler) {
    ensureStarted();
    return m_lowPowerHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeThermalStateChanges(std::function<void()> handler) {
    ensureStarted();
    return m_thermalHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeDisplaysSleep(std::function<void()> handler) {
    ensureStarted();
    return m_sleepHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeDisplaysWake(std::function<void()> handler) {
    ensureStarted();
    return m_wakeHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeScreenLocked(std::function<void()> handler) {
    ensureStarted();
    return m_lockHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeScreenUnlocked(std::function<void()> handler) {
    ensureStarted();
    return m_unlockHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeScreenSaverStarted(std::function<void()> handler) {
    ensureStarted();
    return m_saverStartHandlers.add(std::move(handler));
}

Subscription DesktopSystemEvents::observeScreenSaverStopped(std::function<void()> handler) {
    ensureStarted();
    return m_saverStopHandlers.add(std::move(handler));
}

} // namespace drovane::desktop
