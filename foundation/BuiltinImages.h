// The framework's built-in cursors, icons and pattern, drawn here as
// one-bit masks and made into system objects by ModuleState::Init.
//
// Cursors (32 by 32): 0 a pointing hand (hot spot 5,0; the link cursor),
// 1 a four-way move cross and 2 a no-drop sign (hot spot 15,15 each).
// Icons (32 by 32, one plane; drawn at 16 by 16 and doubled, so that the
// module state's 16 by 16 image list shows them pixel for pixel), in order:
// the values of BuiltinIcon below. The menus draw icon 2 as their check mark.
#ifndef BRINDLEWOX_FOUNDATION_BUILTINIMAGES_H
#define BRINDLEWOX_FOUNDATION_BUILTINIMAGES_H

#include "foundation/Base.h"

enum BuiltinCursor
{
    HandCursor = 0,
    MoveCursor = 1,
    NoDropCursor = 2,
    BuiltinCursorCount = 3
};

enum BuiltinIcon
{
    ArrowRightIcon = 0,
    RadioBulletIcon = 1,
    CheckMarkIcon = 2,
    ArrowDownIcon = 3,
    ArrowUpIcon = 4,
    ArrowLeftIcon = 5,
    CloseIcon = 6,
    PlusBoxIcon = 7,
    MinusBoxIcon = 8,
    SizeGripIcon = 9,
    BuiltinIconCount = 10
};

// The two 32 by 32 masks of a built-in cursor or icon (128 bytes each, rows
// of 4 bytes, most significant bit leftmost) as CreateCursor and CreateIcon
// take them: AND 1 / XOR 0 is transparent, 0/0 black, 0/1 white. False for
// an index out of range.
bool GetBuiltinCursorMasks(int index, BYTE andMask[128], BYTE xorMask[128], POINT& hotSpot);
bool GetBuiltinIconMasks(int index, BYTE andMask[128], BYTE xorMask[128]);

// The 8 by 8 halftone pattern of alternating pixels, one WORD per row as
// CreateBitmap wants it.
const WORD* GetPatternBits();

#endif
