#pragma once

#include <QRect>
#include <QSize>
#include <vector>

class QScreen;
class QWindow;

namespace drovane::desktop {

// Where a window of logical geometry `frame` lies in device pixels on a screen whose logical
// geometry is `screen` and whose device-pixel geometry is `screenPixels`: the one maps onto the
// other, so a window the size of the screen covers its pixels exactly. Qt scales sizes alone
// and rounds each, which at fractional factors leaves a screen-sized window a pixel short of
// the screen or a pixel over its neighbour.
QRect pixelFrame(const QRect& frame, const QRect& screen, const QRect& screenPixels);

// The least length from `pixels` up that Qt paints whole at `ratio`: Qt keeps a window's
// logical size, rounded, and paints it at that size times the ratio, rounded again, so at
// fractional ratios a window of some pixel sizes gets a picture a pixel short of its edge.
int paintedLength(int pixels, double ratio);

// The X11 monitors' geometries in device pixels; none off X11 or without RandR 1.5.
std::vector<QRect> monitorPixels();

// The screen's geometry in device pixels: its X11 monitor (Qt keeps a screen's top left corner
// unscaled), else its logical geometry scaled by its pixel ratio.
QRect screenPixels(const QScreen& screen);

// Gives the window's native window the device-pixel geometry of its logical one on its screen;
// one that Qt paints grows to the next size it paints whole (a pixel beyond its screen at most
// ratios). No effect off X11 or before the native window exists.
void fitToScreenPixels(QWindow& window, bool paintedByQt);

// The size of the window's native window in device pixels as the X server has it; the logical
// size scaled by the pixel ratio off X11.
QSize pixelSize(QWindow& window);

} // namespace drovane::desktop
