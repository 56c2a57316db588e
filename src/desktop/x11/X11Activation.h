#pragma once

#include <cstdint>

class QWindow;

namespace drovane::desktop::x11 {

// The X server's time now, read on a connection of its own (a zero-length property change
// answered by its PropertyNotify), so that Qt's event queue is left alone. 0 off X11.
std::uint32_t serverTime();

// Brings a mapped window to the front with a fresh timestamp: its _NET_WM_USER_TIME is updated
// and the window manager is asked through _NET_ACTIVE_WINDOW, as an application request.
// A request from the program's own last user event would be stale when the alert follows a
// click in the tray, and window managers that prevent focus stealing would bury the window.
void activateWithFreshTime(QWindow& window);

} // namespace drovane::desktop::x11
