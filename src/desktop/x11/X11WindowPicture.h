#pragma once

#include <QImage>

class QWindow;

namespace drovane::desktop::x11 {

// What the X server shows in `window` now, read back from the server; null when it cannot be
// read (not on X11, not mapped, not 24-bit colour in 32-bit pixels).
QImage windowPicture(QWindow& window);

} // namespace drovane::desktop::x11
