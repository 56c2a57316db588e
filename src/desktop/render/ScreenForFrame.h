#pragma once

#include <QGuiApplication>
#include <QRect>
#include <QScreen>

namespace drovane::desktop {

// The screen a wallpaper frame lies on: the one it overlaps most, else the primary screen.
inline QScreen* screenFor(const QRect& frame) {
    QScreen* best = QGuiApplication::primaryScreen();
    int bestArea = -1;
    for (QScreen* screen : QGuiApplication::screens()) {
        const QRect overlap = screen->geometry().intersected(frame);
        const int area = overlap.isEmpty() ? 0 : overlap.width() * overlap.height();
        if (area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best;
}

} // namespace drovane::desktop
