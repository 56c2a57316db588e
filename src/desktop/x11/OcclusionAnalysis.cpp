#include "desktop/x11/OcclusionAnalysis.h"

#include <algorithm>

namespace drovane::desktop {

namespace {

// Far more than any real desktop leaves; bounds the work for pathological layouts.
constexpr std::size_t maxPieces = 4096;

bool overlaps(const Rect& a, const Rect& b) {
    return a.minX() < b.maxX() && b.minX() < a.maxX() && a.minY() < b.maxY() && b.minY() < a.maxY();
}

Rect rectFromEdges(double minX, double minY, double maxX, double maxY) {
    return Rect{{minX, minY}, {maxX - minX, maxY - minY}};
}

// `piece` less `cover`, as up to four rectangles (bands above and below, then left and right).
void subtract(const Rect& piece, const Rect& cover, std::vector<Rect>& out) {
    if (!overlaps(piece, cover)) {
        out.push_back(piece);
        return;
    }
    const double top = std::max(piece.minY(), cover.minY());
    const double bottom = std::min(piece.maxY(), cover.maxY());
    if (piece.minY() < top) {
        out.push_back(rectFromEdges(piece.minX(), piece.minY(), piece.maxX(), top));
    }
    if (bottom < piece.maxY()) {
        out.push_back(rectFromEdges(piece.minX(), bottom, piece.maxX(), piece.maxY()));
    }
    if (piece.minX() < cover.minX()) {
        out.push_back(rectFromEdges(piece.minX(), top, cover.minX(), bottom));
    }
    if (cover.maxX() < piece.maxX()) {
        out.push_back(rectFromEdges(cover.maxX(), top, piece.maxX(), bottom));
    }
}

bool onCurrentDesktop(const StackedWindow& window, const std::optional<std::uint32_t>& current) {
    return !window.desktop || !current || *window.desktop == StackedWindow::allDesktops ||
           *window.desktop == *current;
}

bool centreIn(const Rect& frame, const Rect& screen) {
    const double x = frame.minX() + frame.size.width / 2;
    const double y = frame.minY() + frame.size.height / 2;
    return x >= screen.minX() && x < screen.maxX() && y >= screen.minY() && y < screen.maxY();
}

} // namespace

std::vector<Rect> uncoveredParts(Rect target, const std::vector<Rect>& covers) {
    std::vector<Rect> remaining;
    if (target.size.width > 0 && target.size.height > 0) {
        remaining.push_back(target);
    }
    for (const Rect& cover : covers) {
        if (remaining.empty()) {
            break;
        }
        if (cover.size.width <= 0 || cover.size.height <= 0) {
            continue;
        }
        std::vector<Rect> next;
        for (const Rect& piece : remaining) {
            subtract(piece, cover, next);
        }
        remaining = std::move(next);
        if (remaining.size() > maxPieces) {
            return remaining; // too fragmented to be close to covered; no need to go on
        }
    }
    return remaining;
}

Coverage screenCoverage(const StackSnapshot& snapshot, std::uint32_t wallpaper, Rect screen) {
    const auto& windows = snapshot.windows;
    auto first = std::find_if(windows.begin(), windows.end(),
                              [wallpaper](const StackedWindow& w) { return w.id == wallpaper; });
    first = first == windows.end() ? windows.begin() : first + 1;

    std::vector<Rect> covers;
    std::string desktopProgram;
    for (auto it = first; it != windows.end(); ++it) {
        const StackedWindow& w = *it;
        if (w.id == wallpaper || !(w.applicationWindow || w.desktopWindow) || !w.viewable || w.hidden ||
            w.shaded || w.translucent || !onCurrentDesktop(w, snapshot.currentDesktop)) {
            continue;
        }
        if (w.desktopWindow && desktopProgram.empty() && overlaps(w.frame, screen)) {
            desktopProgram = w.program.empty() ? "another program" : w.program;
        }
        if ((w.fullscreen || w.maximized) && centreIn(w.frame, screen)) {
            return {true, w.desktopWindow ? desktopProgram : std::string()};
        }
        covers.push_back(w.frame);
    }
    if (!uncoveredParts(screen, covers).empty()) {
        return {};
    }
    return {true, desktopProgram};
}

std::vector<std::uint32_t> desktopsBelow(const StackSnapshot& snapshot, std::uint32_t wallpaper) {
    std::vector<std::uint32_t> below;
    for (const StackedWindow& w : snapshot.windows) {
        if (w.id == wallpaper) {
            return below;
        }
        if (w.desktopWindow && w.viewable) {
            below.push_back(w.id);
        }
    }
    return {}; // not listed: nothing known about its place
}

} // namespace drovane::desktop
