#include "desktop/ui/WindowFitting.h"

#include "desktop/x11/X11Properties.h"
#include "ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <cmath>

namespace drovane::desktop {

namespace {

// Until a window manager has framed the window its frame is unknown: room for a title bar and
// thin edges is kept.
constexpr FrameMargins assumedFrame{4, 32, 4, 4};

QScreen* screenFor(const QWindow& window, std::optional<Point> origin, Size size) {
    if (origin && !std::isnan(origin->x) && !std::isnan(origin->y)) {
        const QPoint centre(x11::coordinate(origin->x + size.width / 2),
                            x11::coordinate(origin->y + size.height / 2));
        if (QScreen* screen = QGuiApplication::screenAt(centre)) {
            return screen;
        }
    }
    return window.screen() ? window.screen() : QGuiApplication::primaryScreen();
}

} // namespace

Size fitOnScreen(QWindow& window, Size size, Size minimum, std::optional<Point> origin) {
    QScreen* screen = screenFor(window, origin, size);
    if (!screen) {
        return size;
    }
    const QRect area = screen->availableGeometry();
    const QMargins known = window.frameMargins();
    const FrameMargins margins = known.isNull() ? assumedFrame
                                                : FrameMargins{double(known.left()), double(known.top()),
                                                               double(known.right()), double(known.bottom())};
    const WindowFit fit =
        fitWindow({{double(area.x()), double(area.y())}, {double(area.width()), double(area.height())}},
                  margins, size, minimum, origin);
    window.setMinimumSize(QSize(int(std::floor(fit.minimum.width)), int(std::floor(fit.minimum.height))));
    window.setGeometry(QRect(x11::coordinate(std::round(fit.content.origin.x)),
                             x11::coordinate(std::round(fit.content.origin.y)),
                             x11::coordinate(std::floor(fit.content.size.width)),
                             x11::coordinate(std::floor(fit.content.size.height))));
    return fit.content.size;
}

} // namespace drovane::desktop
