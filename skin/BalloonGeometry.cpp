#include "skin/BalloonGeometry.h"

#include <algorithm>

namespace balloon
{
int Quadrant(POINT anchor, const RECT& screen)
{
    int centreX = screen.left + (screen.right - screen.left) / 2;
    int centreY = screen.top + (screen.bottom - screen.top) / 2;
    bool right = anchor.x >= centreX;
    bool lower = anchor.y >= centreY;
    if (lower)
        return right ? 2 : 3;
    return right ? 0 : 1;
}

void ShapeFor(int quadrant, SIZE window, Placement& placement)
{
    int width = window.cx;
    int height = window.cy;
    auto clampX = [width](int x) { return std::min(std::max(x, Margin), width - Margin); };

    // Right-hand tails (0, 2) start three quarters in and point from the
    // base's right end; left-hand tails (1, 3) a quarter in, from its left.
    int quarter = (width - TailHeight) / 4;
    int from;
    int to;
    if (quadrant == 0 || quadrant == 2)
    {
        from = quarter * 3;
        to = from + TailHeight;
    }
    else
    {
        from = quarter + TailHeight;
        to = quarter;
    }
    int baseY = TailAtTop(quadrant) ? TailHeight + 1 : height - TailHeight - 2;
    int tipY = TailAtTop(quadrant) ? 1 : height - 2;

    placement.quadrant = quadrant;
    placement.tail[0] = {clampX(from), baseY};
    placement.tail[1] = {clampX(to), baseY};
    placement.tail[2] = {clampX(to), tipY};
    if (TailAtTop(quadrant))
        placement.body = {0, TailHeight, width, height};
    else
        placement.body = {0, 0, width, height - TailHeight};
}

Placement Place(POINT anchor, SIZE window, const RECT& screen)
{
    Placement placement;
    ShapeFor(Quadrant(anchor, screen), window, placement);
    POINT& tip = placement.tail[2];
    int left = anchor.x - tip.x;
    int top = anchor.y - tip.y;

    if (left < screen.left)
    {
        int shift = screen.left - left;
        left += shift;
        tip.x -= shift;
    }
    else if (left + window.cx >= screen.right)
    {
        int shift = left + window.cx - screen.right;
        left -= shift;
        tip.x += shift;
    }

    if (top + TailHeight < screen.top)
        top = screen.top - TailHeight;
    else if (top + window.cy - TailHeight >= screen.bottom)
        top = screen.bottom - window.cy + TailHeight;

    placement.position = {left, top};
    return placement;
}

RECT ClientInside(const RECT& window, int quadrant)
{
    RECT client = {window.left + Margin, window.top + Margin, window.right - Margin,
                   window.bottom - Margin};
    if (TailAtTop(quadrant))
        client.top += TailHeight;
    else
        client.bottom -= TailHeight;
    return client;
}

} // namespace balloon
