// A rectangle in pixels: left and top inside, right and bottom just outside.
#pragma once

#include <algorithm>

#include "toolkit/CPoint.h"

struct CRect {
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord left, CCoord top, CCoord right, CCoord bottom)
        : left(left), top(top), right(right), bottom(bottom) {}
    constexpr CRect(const CPoint& origin, const CPoint& size)
        : left(origin.x), top(origin.y), right(origin.x + size.x), bottom(origin.y + size.y) {}

    CCoord getWidth() const { return right - left; }
    CCoord getHeight() const { return bottom - top; }
    CRect& setWidth(CCoord width) {
        right = left + width;
        return *this;
    }
    CRect& setHeight(CCoord height) {
        bottom = top + height;
        return *this;
    }
    CPoint getTopLeft() const { return {left, top}; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    CRect& offset(CCoord dx, CCoord dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    bool pointInside(const CPoint& where) const {
        return where.x >= left && where.x < right && where.y >= top && where.y < bottom;
    }
    bool rectOverlap(const CRect& other) const {
        return left < other.right && other.left < right && top < other.bottom && other.top < bottom;
    }
    // Intersection with other; an empty rectangle when they do not overlap.
    CRect& bound(const CRect& other) {
        left = std::max(left, other.left);
        top = std::max(top, other.top);
        right = std::max(left, std::min(right, other.right));
        bottom = std::max(top, std::min(bottom, other.bottom));
        return *this;
    }
    // Smallest rectangle holding both; an empty one does not count.
    CRect& unite(const CRect& other) {
        if (other.isEmpty()) return *this;
        if (isEmpty()) return *this = other;
        left = std::min(left, other.left);
        top = std::min(top, other.top);
        right = std::max(right, other.right);
        bottom = std::max(bottom, other.bottom);
        return *this;
    }
    bool operator==(const CRect&) const = default;
};
