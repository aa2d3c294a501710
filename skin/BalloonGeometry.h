// The geometry of a balloon (CSkinBalloonHelp): which quarter of the screen
// its anchor lies in, its body and tail in window coordinates, and where the
// window goes so that the tail's tip points at the anchor while the body
// stays on the work area. Free functions, so that they run without windows.
#ifndef BRINDLEWOX_SKIN_BALLOONGEOMETRY_H
#define BRINDLEWOX_SKIN_BALLOONGEOMETRY_H

#include "foundation/Base.h"

namespace balloon
{
// The tail's height, and the margin between the outline and the client area.
constexpr int TailHeight = 20;
constexpr int Margin = 8;

// The anchor's quarter of the screen rectangle, against its centre: 0 upper
// right, 1 upper left, 2 lower right, 3 lower left. A point on a centre
// line counts as lower or right.
int Quadrant(POINT anchor, const RECT& screen);

// True for the quadrants whose tail is at the top (0 and 1).
inline bool TailAtTop(int quadrant) { return quadrant == 0 || quadrant == 1; }

struct Placement
{
    int quadrant = 0;
    // The tail in window coordinates: the two ends of its base, then the tip.
    POINT tail[3] = {};
    // The body (the rounded rectangle) in window coordinates.
    RECT body = {};
    // The window's top-left corner on the screen.
    POINT position = {};
};

// The tail and body of a window of the size for the quadrant, before Place
// moves anything to keep the window on the screen (every x kept within
// 8 … width − 8).
void ShapeFor(int quadrant, SIZE window, Placement& placement);

// The whole placement for an anchor in screen coordinates: the quadrant,
// the shape, and the window's top-left = anchor − tip. Then the clamps:
// horizontally the window is shifted onto the screen rectangle (right edge
// onto its right edge when left + width ≥ right) and the tip moves the
// other way by as much, its base staying; vertically the tail may stick
// out: the window moves only when top + 20 lies above the screen's top or
// top + height − 20 reaches its bottom.
Placement Place(POINT anchor, SIZE window, const RECT& screen);

// The client rectangle inside the window rectangle: 8 pixels off every
// side and the tail's 20 more at the top (quadrants 0, 1) or bottom.
RECT ClientInside(const RECT& window, int quadrant);

} // namespace balloon

#endif
