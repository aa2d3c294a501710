// The framework's coordinate values: CPoint {x, y}, CSize {cx, cy} and CRect
// {left, top, right, bottom}, signed 32-bit fields after a table pointer.
//
// The fields of one object lie as the system's POINT, SIZE or RECT, and each
// class converts to a pointer to that structure for the call that wants one
// (GetClientRect(window, rect)). Because of the table pointer an array of
// them is NOT an array of the system structure: never hand a CPoint array to
// Polygon, CreatePolygonRgn or MapWindowPoints, nor a CRect array to a
// function that takes several RECTs; copy into POINT/RECT arrays instead.
// The conversions work on single objects only, and an array of these classes
// does not convert to the system pointer, so the compiler refuses the slip.
#ifndef BRINDLEWOX_FOUNDATION_GEOMETRY_H
#define BRINDLEWOX_FOUNDATION_GEOMETRY_H

#include "foundation/Base.h"

class CPoint
{
public:
    CPoint() : x(0), y(0) {}
    CPoint(LONG px, LONG py) : x(px), y(py) {}
    explicit CPoint(const POINT& point) : x(point.x), y(point.y) {}
    CPoint(const CPoint&) = default;
    CPoint& operator=(const CPoint&) = default;
    virtual ~CPoint();

    operator POINT*() { return reinterpret_cast<POINT*>(&x); }
    operator const POINT*() const { return reinterpret_cast<const POINT*>(&x); }

    LONG x;
    LONG y;
};

class CSize
{
public:
    CSize() : cx(0), cy(0) {}
    CSize(LONG width, LONG height) : cx(width), cy(height) {}
    explicit CSize(const SIZE& size) : cx(size.cx), cy(size.cy) {}
    CSize(const CSize&) = default;
    CSize& operator=(const CSize&) = default;
    virtual ~CSize();

    operator SIZE*() { return reinterpret_cast<SIZE*>(&cx); }
    operator const SIZE*() const { return reinterpret_cast<const SIZE*>(&cx); }

    LONG cx;
    LONG cy;
};

class CRect
{
public:
    CRect() : left(0), top(0), right(0), bottom(0) {}
    CRect(LONG l, LONG t, LONG r, LONG b) : left(l), top(t), right(r), bottom(b) {}
    explicit CRect(const RECT& rect)
        : left(rect.left), top(rect.top), right(rect.right), bottom(rect.bottom)
    {
    }
    CRect(const CRect&) = default;
    CRect& operator=(const CRect&) = default;
    virtual ~CRect();

    // Width and height as they are: negative for an inverted rectangle.
    LONG Width() const { return right - left; }
    LONG Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }

    operator RECT*() { return reinterpret_cast<RECT*>(&left); }
    operator const RECT*() const { return reinterpret_cast<const RECT*>(&left); }

    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};

// The fields follow the table pointer without a gap and in the system's
// order, so the conversions above address a real POINT, SIZE or RECT.
static_assert(sizeof(LONG) == 4, "coordinates are signed 32-bit");
static_assert(sizeof(CPoint) == sizeof(void*) + sizeof(POINT), "CPoint: table pointer, then x, y");
static_assert(sizeof(CSize) == sizeof(void*) + sizeof(SIZE), "CSize: table pointer, then cx, cy");
static_assert(sizeof(CRect) == sizeof(void*) + sizeof(RECT),
              "CRect: table pointer, then left, top, right, bottom");

#endif
