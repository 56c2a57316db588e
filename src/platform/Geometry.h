#pragma once

namespace drovane {

struct Size {
    double width = 0;
    double height = 0;
    friend bool operator==(const Size&, const Size&) = default;
};

struct Point {
    double x = 0;
    double y = 0;
    friend bool operator==(const Point&, const Point&) = default;
};

// A rectangle in the desktop's coordinate space (origin top-left, y downwards).
struct Rect {
    Point origin;
    Size size;

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    // True when `other` lies wholly inside this rectangle.
    bool contains(const Rect& other) const {
        return other.minX() >= minX() && other.minY() >= minY() && other.maxX() <= maxX() &&
               other.maxY() <= maxY();
    }
    friend bool operator==(const Rect&, const Rect&) = default;
};

} // namespace drovane
