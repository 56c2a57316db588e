#include "ui/WindowPlacement.h"

#include <algorithm>
#include <cmath>

namespace drovane {

namespace {

// Where a span of `length` starts in [low, high): at `wanted` moved in, or centred.
double place(double low, double high, double length, std::optional<double> wanted) {
    const double centred = low + (high - low - length) / 2;
    return wanted && !std::isnan(*wanted) ? std::clamp(*wanted, low, std::max(low, high - length))
                                          : std::max(low, centred);
}

// A length as asked, a NaN (from a size text or a settings file) as the least.
double within(double length, double least, double most) {
    return std::isnan(length) ? least : std::clamp(length, least, most);
}

} // namespace

WindowFit fitWindow(Rect available, FrameMargins margins, Size size, Size minimum,
                    std::optional<Point> origin) {
    const double left = available.minX() + margins.left;
    const double top = available.minY() + margins.top;
    const double right = available.maxX() - margins.right;
    const double bottom = available.maxY() - margins.bottom;
    const Size room{std::max(1.0, right - left), std::max(1.0, bottom - top)};

    WindowFit fit;
    fit.minimum = {std::min(minimum.width, room.width), std::min(minimum.height, room.height)};
    fit.content.size = {within(size.width, fit.minimum.width, room.width),
                        within(size.height, fit.minimum.height, room.height)};
    fit.content.origin = {
        place(left, right, fit.content.size.width, origin ? std::optional(origin->x) : std::nullopt),
        place(top, bottom, fit.content.size.height, origin ? std::optional(origin->y) : std::nullopt)};
    return fit;
}

} // namespace drovane
