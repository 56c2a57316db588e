#pragma once

#include <cstdint>
#include <string>
#include <vector>

class QWindow;
struct xcb_connection_t;

namespace drovane::desktop::x11 {

// The X server connection Qt uses; null when the program does not run on X11.
xcb_connection_t* connection();
// The atom named `name` (interned once and remembered); 0 off X11.
std::uint32_t atom(const std::string& name);
// The native window of `window`, creating its platform window (unmapped) when needed.
std::uint32_t nativeWindow(QWindow& window);

// A coordinate or length of any finite or infinite `value` as the X server can take it. Frames
// come from the command line, the settings file and screens as doubles: converting one beyond
// int's range is undefined behaviour, and X11 coordinates have 16 bits (libxcb aborts the
// process on a window placed far beyond them). NaN gives 0.
int coordinate(double value);

// The value of the QWindow property "_q_xcb_wm_window_type" that makes Qt's xcb plugin type a
// window as the desktop.
inline constexpr int qtDesktopWindowType = 0x2;

// Marks a not yet mapped window as the desktop: window type _NET_WM_WINDOW_TYPE_DESKTOP, on every
// workspace (_NET_WM_DESKTOP 0xFFFFFFFF), and the states sticky, skip taskbar and skip pager, so that window
// managers read it all when the window is first mapped. Qt's own flags cannot express the window type. No
// effect off X11.
void markAsDesktopWindow(QWindow& window);
// Lets the pointer through the window manager's frame around `window` (once it has one): an
// empty input shape on the frame, so that clicks reach whatever lies below. Openbox and xfwm4
// reparent even undecorated desktop windows, and their frame would take every click.
void passInputThroughFrame(QWindow& window);
// Puts the window at the bottom of the stacking order of its siblings.
void lowerToBottom(QWindow& window);
// Adds or removes _NET_WM_STATE_SKIP_TASKBAR: on the property while the window is unmapped,
// through the window manager (a client message to the root window) while it is mapped.
void setSkipTaskbar(QWindow& window, bool skip, bool mapped);

// For tests and diagnostics: the 32-bit values of a property of a native window.
std::vector<std::uint32_t> readCardinals(std::uint32_t window, const std::string& property);
// The native windows directly below the root, bottom first.
std::vector<std::uint32_t> rootChildrenBottomFirst();
// The top-level ancestor of `window` (the window manager's frame when it reparents).
std::uint32_t topLevelAncestor(std::uint32_t window);

// The class of a WM_CLASS value (instance and class, each ending in NUL), lower-cased; the
// instance when there is no class.
std::string programOfWmClass(const std::string& value);
// The WM_CLASS class, lower-cased, of a mapped desktop window (_NET_WM_WINDOW_TYPE_DESKTOP) of
// another process (by _NET_WM_PID): the program painting the desktop, such as "xfdesktop" or
// "pcmanfm"; empty when there is none or off X11. Main thread.
std::string otherDesktopProgram();

} // namespace drovane::desktop::x11
