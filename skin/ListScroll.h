// The arithmetic of the application list's own scroll bar (CApplicationsTree):
// rows per page, the thumb's height and top, one-row scrolling and the row a
// dragged thumb points at. Free functions over plain numbers, so that they
// run without windows.
#ifndef BRINDLEWOX_SKIN_LISTSCROLL_H
#define BRINDLEWOX_SKIN_LISTSCROLL_H

namespace listscroll
{
constexpr int RowHeight = 22;
constexpr int BarWidth = 20;
constexpr int ArrowHeight = 25;
constexpr int MinThumbHeight = 10;

// Whole rows that fit into the client height.
inline int RowsPerPage(int clientHeight) { return clientHeight / RowHeight; }

// The track between the two arrows of a client area of this height.
inline int TrackTop(int clientTop) { return clientTop + ArrowHeight; }
inline int TrackBottom(int clientBottom) { return clientBottom - ArrowHeight; }

// track height / max(displayable − per page + 1, 1), at least 10.
int ThumbHeight(int trackHeight, int displayable, int perPage);

// The highest first row: displayable − per page, never below 0.
int LastFirstRow(int displayable, int perPage);

// One row up (−1) or down (+1) when the list can move that way; the new
// first row (unchanged at either end).
int ScrollBy(int firstRow, int direction, int displayable, int perPage);

// The thumb's top for a first row: the share of the free track that the
// first row is of the rows that can scroll, clamped so that the whole thumb
// stays on the track. Row 0 puts it at the track top (the literal lower
// limit of track top + thumb height left a gap there after scrolling back).
int ThumbTopForRow(int firstRow, int displayable, int perPage, int trackTop, int trackBottom,
                   int thumbHeight);

// A stored thumb top (0 meaning "not placed yet": the track top) clamped so
// that its bottom lies within track top + height … track bottom.
int ClampThumbTop(int storedTop, int trackTop, int trackBottom, int thumbHeight);

// The first row a dragged thumb at this top points at, or -1 when that is
// outside 0 … visible rows − 1 (the list then keeps its row).
int RowForThumbTop(int thumbTop, int displayable, int perPage, int trackTop, int trackBottom,
                   int thumbHeight);

// The wheel: a signed delta (GET_WHEEL_DELTA_WPARAM); +1 (down) for any
// negative delta, −1 (up) for any positive one, 0 for none. Small deltas of
// precise wheels count as a row.
int WheelDirection(short delta);
} // namespace listscroll

#endif
