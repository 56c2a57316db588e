#include "desktop/shell/PanelAppearance.h"

#include "desktop/session/dbus/DBusCalls.h"
#include "desktop/session/dbus/DBusSignalRelay.h"

#include <QDBusVariant>

namespace drovane::desktop {

namespace {
const QString portalService = QStringLiteral("org.freedesktop.portal.Desktop");
const QString portalPath = QStringLiteral("/org/freedesktop/portal/desktop");
const QString settingsInterface = QStringLiteral("org.freedesktop.portal.Settings");
const QString appearanceNamespace = QStringLiteral("org.freedesktop.appearance");
const QString colorSchemeKey = QStringLiteral("color-scheme");

// Read() wraps the value in one variant more than the setting has.
QVariant innermost(QVariant value) {
    for (int i = 0; i < 3 && value.canConvert<QDBusVariant>(); ++i) {
        value = value.value<QDBusVariant>().variant();
    }
    return dbus::unwrap(value);
}
} // namespace

PanelAppearance::PanelAppearance(QDBusConnection bus, std::function<void()> onChanged)
    : m_onChanged(std::move(onChanged)), m_context(std::make_unique<QObject>()) {
    if (!bus.isConnected()) {
        return;
    }
    m_relay = std::make_unique<DBusSignalRelay>(
        bus, QString(), portalPath, settingsInterface, QStringLiteral("SettingChanged"),
        [this](const QDBusMessage& signal) {
            const QVariantList args = signal.arguments();
            if (args.size() == 3 && args[0].toString() == appearanceNamespace &&
                args[1].toString() == colorSchemeKey) {
                set(innermost(args[2]));
            }
        });
    auto call =
        QDBusMessage::createMethodCall(portalService, portalPath, settingsInterface, QStringLiteral("Read"));
    call << appearanceNamespace << colorSchemeKey;
    dbus::callAsync(bus, call, m_context.get(), [this](const QDBusMessage& reply) {
        if (reply.type() == QDBusMessage::ReplyMessage && !reply.arguments().isEmpty()) {
            set(innermost(reply.arguments().constFirst()));
        }
    });
}

PanelAppearance::~PanelAppearance() = default;

void PanelAppearance::set(const QVariant& value) {
    // 1 prefers dark, 2 prefers light, 0 states no preference.
    bool ok = false;
    const uint code = value.toUInt(&ok);
    const PanelScheme scheme = !ok         ? PanelScheme::Unknown
                               : code == 1 ? PanelScheme::Dark
                               : code == 2 ? PanelScheme::Light
                                           : PanelScheme::Unknown;
    if (scheme != m_scheme) {
        m_scheme = scheme;
        if (m_onChanged) {
            m_onChanged();
        }
    }
}

} // namespace drovane::desktop
