#include "foundation/Geometry.h"

#include <gtest/gtest.h>

TEST(GeometryTest, RectSizeIsWidthAndHeightAsTheyAre)
{
    CRect rect(10, 20, 110, 70);
    CSize size = rect.Size();
    EXPECT_EQ(size.cx, 100);
    EXPECT_EQ(size.cy, 50);

    CRect inverted(50, 40, 10, 0);
    EXPECT_EQ(inverted.Size().cx, -40);
    EXPECT_EQ(inverted.Size().cy, -40);
}

TEST(GeometryTest, SingleObjectsGoToTheSystemAsItsStructures)
{
    CRect rect;
    ASSERT_TRUE(SetRect(rect, 1, 2, 3, 4));
    EXPECT_EQ(rect.left, 1);
    EXPECT_EQ(rect.top, 2);
    EXPECT_EQ(rect.right, 3);
    EXPECT_EQ(rect.bottom, 4);
    ASSERT_TRUE(InflateRect(rect, 10, 20));
    EXPECT_EQ(rect.left, -9);
    EXPECT_EQ(rect.bottom, 24);
    CRect copy(*static_cast<const RECT*>(rect));
    EXPECT_EQ(copy.Width(), rect.Width());
    EXPECT_EQ(copy.Height(), 42);

    HDC dc = CreateCompatibleDC(nullptr);
    ASSERT_NE(dc, nullptr);
    ASSERT_TRUE(SetViewportOrgEx(dc, 5, 7, nullptr));
    CPoint point(100, 200);
    ASSERT_TRUE(LPtoDP(dc, point, 1));
    EXPECT_EQ(point.x, 105);
    EXPECT_EQ(point.y, 207);

    CSize extent;
    SIZE plain = {};
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "Brindlewox", 10, extent));
    ASSERT_TRUE(GetTextExtentPoint32A(dc, "Brindlewox", 10, &plain));
    EXPECT_GT(extent.cx, 0);
    EXPECT_EQ(extent.cx, plain.cx);
    EXPECT_EQ(extent.cy, plain.cy);
    DeleteDC(dc);
}
