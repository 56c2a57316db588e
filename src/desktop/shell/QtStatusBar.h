#pragma once

#include "platform/StatusBar.h"

#include <memory>
#include <string>

class QApplication;

namespace drovane::desktop {

// The status bar of a Linux desktop. Where a StatusNotifierWatcher runs (KDE, GNOME with the
// AppIndicator extension, most panels) the item is a StatusNotifierItem with its menu exported
// over com.canonical.dbusmenu; elsewhere it is a QSystemTrayIcon with a QMenu in an XEmbed tray.
// The item follows a panel that starts, stops or restarts after the program.
class QtStatusBar final : public StatusBar {
public:
    // On the session bus at `busAddress`, or the process's session bus when empty.
    QtStatusBar(std::shared_ptr<QApplication> application, std::string busAddress = {});
    ~QtStatusBar() override;

    std::shared_ptr<StatusItem> makeItem() override;

    // How long state changes are gathered before the menu is built again.
    static constexpr int rebuildDelayMs = 250;

private:
    std::shared_ptr<QApplication> m_application;
    std::string m_busAddress;
};

} // namespace drovane::desktop
