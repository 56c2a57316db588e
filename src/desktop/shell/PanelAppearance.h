#pragma once

#include "desktop/shell/StatusGlyph.h"

#include <QDBusConnection>
#include <functional>
#include <memory>

namespace drovane::desktop {

class DBusSignalRelay;

// The freedesktop appearance setting ("color-scheme" of org.freedesktop.appearance), read
// through the settings portal and followed while it changes. Unknown until the portal answers,
// and where there is none. Main thread.
class PanelAppearance {
public:
    PanelAppearance(QDBusConnection bus, std::function<void()> onChanged);
    ~PanelAppearance();
    PanelAppearance(const PanelAppearance&) = delete;
    PanelAppearance& operator=(const PanelAppearance&) = delete;

    PanelScheme scheme() const { return m_scheme; }

private:
    void set(const QVariant& value);

    std::function<void()> m_onChanged;
    PanelScheme m_scheme = PanelScheme::Unknown;
    std::unique_ptr<QObject> m_context;
    std::unique_ptr<DBusSignalRelay> m_relay;
};

} // namespace drovane::desktop
