#pragma once

namespace drovane {

// The program: one instance per user, SIGTERM ending it at once, the delegate made and the
// event loop run as an accessory application (no taskbar entry until a window is shown).
// The platform must be installed first. Returns only when the event loop ends.
int applicationMain();

} // namespace drovane
