// The application list's scroll model without a window.
#include "skin/ListScroll.h"

#include <gtest/gtest.h>

using namespace listscroll;

TEST(ListScroll, FortyRowsInTwoHundredTwentyPixels)
{
    int perPage = RowsPerPage(220);
    EXPECT_EQ(perPage, 10);
    int trackTop = TrackTop(0);
    int trackBottom = TrackBottom(220);
    EXPECT_EQ(trackBottom - trackTop, 170);
    // 170 / 31 is 5, raised to the least height.
    int thumb = ThumbHeight(trackBottom - trackTop, 40, perPage);
    EXPECT_EQ(thumb, 10);
    EXPECT_EQ(ThumbTopForRow(15, 40, perPage, trackTop, trackBottom, thumb), 105);
    // The last first row puts the thumb's bottom on the track bottom.
    EXPECT_EQ(ThumbTopForRow(30, 40, perPage, trackTop, trackBottom, thumb), 185);
    // And dragging the thumb back there names the same rows.
    EXPECT_EQ(RowForThumbTop(105, 40, perPage, trackTop, trackBottom, thumb), 15);
    EXPECT_EQ(RowForThumbTop(185, 40, perPage, trackTop, trackBottom, thumb), 30);
    EXPECT_EQ(RowForThumbTop(trackTop, 40, perPage, trackTop, trackBottom, thumb), 0);
    EXPECT_EQ(RowForThumbTop(trackTop - 30, 40, perPage, trackTop, trackBottom, thumb), -1);
}

TEST(ListScroll, RowZeroPutsTheThumbAtTheTrackTop)
{
    EXPECT_EQ(ThumbTopForRow(0, 40, 10, 25, 195, 10), 25);
    // Scrolling down and back up ends at the top again, not a thumb lower.
    int row = ScrollBy(0, +1, 40, 10);
    EXPECT_GT(ThumbTopForRow(row, 40, 10, 25, 195, 10), 25);
    row = ScrollBy(row, -1, 40, 10);
    EXPECT_EQ(ThumbTopForRow(row, 40, 10, 25, 195, 10), 25);
    // A stored top of 0 means "not placed yet".
    EXPECT_EQ(ClampThumbTop(0, 25, 195, 10), 25);
    EXPECT_EQ(ClampThumbTop(500, 25, 195, 10), 185);
    EXPECT_EQ(ClampThumbTop(3, 25, 195, 10), 25);
    EXPECT_EQ(ClampThumbTop(60, 25, 195, 10), 60);
}

TEST(ListScroll, ScrollingStopsAtBothEnds)
{
    EXPECT_EQ(ScrollBy(0, -1, 40, 10), 0);
    EXPECT_EQ(ScrollBy(5, -1, 40, 10), 4);
    EXPECT_EQ(ScrollBy(29, +1, 40, 10), 30);
    EXPECT_EQ(ScrollBy(30, +1, 40, 10), 30);
    EXPECT_EQ(LastFirstRow(40, 10), 30);
    // Fewer rows than a page never scroll.
    EXPECT_EQ(ScrollBy(0, +1, 4, 10), 0);
    EXPECT_EQ(LastFirstRow(4, 10), 0);
}

TEST(ListScroll, EmptyAndShortListsKeepTheThumbOnTheTrack)
{
    int thumb = ThumbHeight(170, 0, 10);
    EXPECT_EQ(thumb, 170);
    EXPECT_EQ(ThumbTopForRow(0, 0, 10, 25, 195, thumb), 25);
    EXPECT_EQ(ClampThumbTop(0, 25, 195, thumb), 25);
    // A track shorter than the least thumb still starts it at the track top.
    EXPECT_EQ(ClampThumbTop(0, 25, 30, 10), 25);
    EXPECT_EQ(ThumbTopForRow(3, 40, 1, 25, 30, 10), 25);
}

TEST(ListScroll, WheelReadsASignedDelta)
{
    EXPECT_EQ(WheelDirection(-120), 1);
    EXPECT_EQ(WheelDirection(-60), 1);
    EXPECT_EQ(WheelDirection(-1), 1);
    EXPECT_EQ(WheelDirection(120), -1);
    EXPECT_EQ(WheelDirection(30), -1);
    EXPECT_EQ(WheelDirection(0), 0);
    // As the message carries it: the high word of wParam, read signed.
    unsigned long long wParam = static_cast<unsigned long long>(static_cast<unsigned short>(-120)) << 16;
    EXPECT_EQ(WheelDirection(static_cast<short>((wParam >> 16) & 0xFFFF)), 1);
}
