#include "foundation/Geometry.h"

// Out of line so that each class's table is emitted once.
CPoint::~CPoint() = default;
CSize::~CSize() = default;
CRect::~CRect() = default;
