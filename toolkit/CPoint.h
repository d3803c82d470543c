// A point in pixels; y grows downward.
#pragma once

using CCoord = double;

struct CPoint {
    CCoord x = 0;
    CCoord y = 0;
    constexpr CPoint() = default;
    constexpr CPoint(CCoord x, CCoord y) : x(x), y(y) {}
    CPoint& offset(CCoord dx, CCoord dy) {
        x += dx;
        y += dy;
        return *this;
    }
    bool operator==(const CPoint&) const = default;
};
