// The balloon's geometry without a window: quadrants, tail and body, and
// the clamps that keep the body on the work area.
#include "skin/BalloonGeometry.h"

#include <gtest/gtest.h>

namespace
{
const RECT kScreen = {0, 0, 1024, 768};
const SIZE kWindow = {200, 100};

void ExpectPoint(const POINT& point, int x, int y)
{
    EXPECT_EQ(point.x, x);
    EXPECT_EQ(point.y, y);
}
} // namespace

TEST(BalloonGeometry, QuadrantOfCornersAndCentre)
{
    EXPECT_EQ(balloon::Quadrant({1023, 0}, kScreen), 0);
    EXPECT_EQ(balloon::Quadrant({0, 0}, kScreen), 1);
    EXPECT_EQ(balloon::Quadrant({1023, 767}, kScreen), 2);
    EXPECT_EQ(balloon::Quadrant({0, 767}, kScreen), 3);
    // The centre lines count as lower and right.
    EXPECT_EQ(balloon::Quadrant({512, 384}, kScreen), 2);
    EXPECT_EQ(balloon::Quadrant({511, 383}, kScreen), 1);
    EXPECT_EQ(balloon::Quadrant({511, 384}, kScreen), 3);
    // Against the rectangle's own centre, not the origin.
    RECT second = {1024, 100, 2048, 868};
    EXPECT_EQ(balloon::Quadrant({1100, 200}, second), 1);
    EXPECT_EQ(balloon::Quadrant({2000, 800}, second), 2);
}

TEST(BalloonGeometry, TailAndBodyPerQuadrant)
{
    balloon::Placement shape;
    balloon::ShapeFor(0, kWindow, shape);
    ExpectPoint(shape.tail[0], 135, 21);
    ExpectPoint(shape.tail[1], 155, 21);
    ExpectPoint(shape.tail[2], 155, 1);
    EXPECT_EQ(shape.body.top, 20);
    EXPECT_EQ(shape.body.bottom, 100);

    balloon::ShapeFor(1, kWindow, shape);
    ExpectPoint(shape.tail[0], 65, 21);
    ExpectPoint(shape.tail[1], 45, 21);
    ExpectPoint(shape.tail[2], 45, 1);

    balloon::ShapeFor(2, kWindow, shape);
    ExpectPoint(shape.tail[0], 135, 78);
    ExpectPoint(shape.tail[2], 155, 98);
    EXPECT_EQ(shape.body.top, 0);
    EXPECT_EQ(shape.body.bottom, 80);
    EXPECT_EQ(shape.body.right, 200);

    balloon::ShapeFor(3, kWindow, shape);
    ExpectPoint(shape.tail[2], 45, 98);

    // A narrow window keeps every x within 8 … width − 8.
    balloon::ShapeFor(1, SIZE{30, 60}, shape);
    ExpectPoint(shape.tail[0], 22, 21);
    ExpectPoint(shape.tail[1], 8, 21);
    balloon::ShapeFor(0, SIZE{30, 60}, shape);
    EXPECT_EQ(shape.tail[0].x, 8);
    EXPECT_EQ(shape.tail[1].x, 22);
}

TEST(BalloonGeometry, TipPointsAtTheAnchor)
{
    balloon::Placement placement = balloon::Place({500, 300}, kWindow, kScreen);
    EXPECT_EQ(placement.quadrant, 1);
    ExpectPoint(placement.position, 455, 299);

    // Lower right: above-left of the point, tail at the bottom right.
    placement = balloon::Place({800, 600}, kWindow, kScreen);
    EXPECT_EQ(placement.quadrant, 2);
    ExpectPoint(placement.position, 800 - 155, 600 - 98);
}

TEST(BalloonGeometry, HorizontalClampMovesOnlyTheTip)
{
    // Five pixels from the right edge: the body is pushed inside, the tip
    // follows the anchor, the base stays.
    balloon::Placement placement = balloon::Place({1019, 300}, kWindow, kScreen);
    EXPECT_EQ(placement.quadrant, 0);
    EXPECT_EQ(placement.position.x + kWindow.cx, 1024);
    EXPECT_EQ(placement.position.x + placement.tail[2].x, 1019);
    EXPECT_EQ(placement.position.y + placement.tail[2].y, 300);
    ExpectPoint(placement.tail[0], 135, 21);
    ExpectPoint(placement.tail[1], 155, 21);

    // The left edge the same way round.
    placement = balloon::Place({3, 300}, kWindow, kScreen);
    EXPECT_EQ(placement.position.x, 0);
    EXPECT_EQ(placement.tail[2].x, 3);
    EXPECT_EQ(placement.tail[1].x, 45);

    // A work area that does not start at 0.
    RECT offset = {100, 50, 900, 650};
    placement = balloon::Place({120, 100}, kWindow, offset);
    EXPECT_EQ(placement.position.x, 100);
    EXPECT_EQ(placement.tail[2].x, 20);
}

TEST(BalloonGeometry, VerticalClampLetsTheTailOut)
{
    // An anchor above the work area: the tail may hang out by 20 pixels.
    RECT area = {0, 100, 1024, 768};
    balloon::Placement placement = balloon::Place({300, 60}, kWindow, area);
    EXPECT_EQ(placement.quadrant, 1);
    EXPECT_EQ(placement.position.y, 100 - 20);
    EXPECT_EQ(placement.tail[2].y, 1);

    // Within the tail's reach: no move.
    placement = balloon::Place({300, 90}, kWindow, area);
    EXPECT_EQ(placement.position.y, 89);

    // Below the bottom: the body ends on it, the tail below.
    placement = balloon::Place({700, 790}, kWindow, kScreen);
    EXPECT_EQ(placement.quadrant, 2);
    EXPECT_EQ(placement.position.y + kWindow.cy - 20, 768);
    // Reaching past the bottom moves it; ending above it does not.
    placement = balloon::Place({700, 768 + 19}, kWindow, kScreen);
    EXPECT_EQ(placement.position.y, 768 - 80);
    placement = balloon::Place({700, 768 + 17}, kWindow, kScreen);
    EXPECT_EQ(placement.position.y, 768 + 17 - 98);
}

TEST(BalloonGeometry, ClientInsideTheOutline)
{
    RECT client = balloon::ClientInside(RECT{10, 20, 210, 120}, 1);
    EXPECT_EQ(client.left, 18);
    EXPECT_EQ(client.top, 48);
    EXPECT_EQ(client.right, 202);
    EXPECT_EQ(client.bottom, 112);
    client = balloon::ClientInside(RECT{10, 20, 210, 120}, 3);
    EXPECT_EQ(client.top, 28);
    EXPECT_EQ(client.bottom, 92);
}
