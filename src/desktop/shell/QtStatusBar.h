#pragma once

#include "platform/StatusBar.h"

#include <QPoint>
#include <QRect>
#include <QSize>
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
    // On the session bus at `busAddress`, or the process's session bus when empty. On a Wayland
    // session (`wayland`), even through XWayland, a popup of ours gets no keyboard: no surface of
    // ours has the focus. There a left click is left to hosts that draw the exported menu
    // themselves where they can.
    QtStatusBar(std::shared_ptr<QApplication> application, std::string busAddress = {}, bool wayland = false);
    ~QtStatusBar() override;

    std::shared_ptr<StatusItem> makeItem() override;

    // How long state changes are gathered before the menu is built again.
    static constexpr int rebuildDelayMs = 250;

    // Where a menu of `size` opens for a host that asks at `at`, within the screen's `area` free of
    // panels: beside the point, turned up or left where it would not fit, and against the panel's
    // edge when the point lies on the panel.
    static QPoint menuPosition(QPoint at, QSize size, QRect area);

private:
    std::shared_ptr<QApplication> m_application;
    std::string m_busAddress;
    bool m_wayland;
};

} // namespace drovane::desktop
