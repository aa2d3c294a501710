#include "skin/ListScroll.h"

#include <algorithm>

namespace listscroll
{
int ThumbHeight(int trackHeight, int displayable, int perPage)
{
    int steps = std::max(displayable - perPage + 1, 1);
    return std::max(trackHeight / steps, MinThumbHeight);
}

int LastFirstRow(int displayable, int perPage) { return std::max(displayable - perPage, 0); }

int ScrollBy(int firstRow, int direction, int displayable, int perPage)
{
    if (direction < 0 && firstRow > 0)
        return firstRow - 1;
    if (direction > 0 && displayable - perPage > firstRow)
        return firstRow + 1;
    return firstRow;
}

int ThumbTopForRow(int firstRow, int displayable, int perPage, int trackTop, int trackBottom,
                   int thumbHeight)
{
    int free = std::max(trackBottom - trackTop - thumbHeight, 1);
    int rows = std::max(displayable - perPage, 1);
    long long top = static_cast<long long>(free) * firstRow / rows + trackTop;
    long long highest = std::max(trackBottom - thumbHeight, trackTop);
    return static_cast<int>(std::clamp<long long>(top, trackTop, highest));
}

int ClampThumbTop(int storedTop, int trackTop, int trackBottom, int thumbHeight)
{
    int top = storedTop == 0 ? trackTop : storedTop;
    int bottom = std::clamp(top + thumbHeight, trackTop + thumbHeight,
                            std::max(trackBottom, trackTop + thumbHeight));
    return bottom - thumbHeight;
}

int RowForThumbTop(int thumbTop, int displayable, int perPage, int trackTop, int trackBottom,
                   int thumbHeight)
{
    int free = std::max(trackBottom - trackTop - thumbHeight, 1);
    long long row = static_cast<long long>(displayable - perPage) * (thumbTop - trackTop) / free;
    if (row < 0 || row > displayable - 1)
        return -1;
    return static_cast<int>(row);
}

int WheelDirection(short delta)
{
    if (delta < 0)
        return 1;
    if (delta > 0)
        return -1;
    return 0;
}
} // namespace listscroll
