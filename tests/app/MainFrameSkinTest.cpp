// The main window's frame painting into memory contexts, and the bold
// dialog font.
#include "app/MainFrameSkin.h"
#include "foundation/Module.h"
#include "tests/support/Surface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace
{
void Solid(CPicture& picture, int width, int height, COLORREF colour)
{
    ASSERT_NE(nullptr, picture.Create(width, height, 24, PICTURE_BMP));
    RGBQUAD pixel = {GetBValue(colour), GetGValue(colour), GetRValue(colour), 0};
    for (int y = 0; y < height; ++y)
    {
        for (int x = 0; x < width; ++x)
            picture.SetPixelColor(x, y, pixel);
    }
}

// Within 2 per channel: resampling may round.
bool Near(COLORREF a, COLORREF b)
{
    return std::abs(GetRValue(a) - GetRValue(b)) <= 2 && std::abs(GetGValue(a) - GetGValue(b)) <= 2 &&
           std::abs(GetBValue(a) - GetBValue(b)) <= 2;
}

const COLORREF kColour[FramePieceCount] = {
    RGB(200, 0, 0),   // top title
    RGB(0, 200, 0),   // top (tiled)
    RGB(0, 0, 200),   // top right
    RGB(200, 200, 0), // menu
    RGB(200, 0, 200), // top left
    RGB(0, 200, 200), // left (tiled)
    RGB(100, 0, 0),   // right (tiled)
    RGB(0, 100, 0),   // right centre
    RGB(0, 0, 100),   // bottom left
    RGB(100, 100, 0), // bottom (tiled)
    RGB(100, 0, 100), // bottom right
};

FrameAnchors TestAnchors()
{
    FrameAnchors a;
    a.topLeft = CSize(40, 20);
    a.title = CSize(60, 20);
    a.topRight = CSize(30, 20);
    a.menu = CSize(40, 50);
    a.rightCenter = CSize(5, 30);
    a.bottomRight = CSize(10, 10);
    return a;
}

// Every piece a solid colour, each given at a size of its own (8 x 8) so
// that the skin resamples it.
void LoadSolidPieces(CMainFrameSkin& skin, bool skipCorners = false)
{
    skin.SetAnchors(TestAnchors());
    for (int i = 0; i < FramePieceCount; ++i)
    {
        const FramePiece piece = static_cast<FramePiece>(i);
        CPicture picture;
        if (!(skipCorners && (piece == FrameTopRight || piece == FrameBottomRight)))
            Solid(picture, 8, 8, kColour[i]);
        skin.SetPiece(piece, picture);
    }
}

struct Spot
{
    int x;
    int y;
    COLORREF colour;
    const char* what;
};
} // namespace

TEST(MainFrameSkin, EachPieceAtItsPlace)
{
    CMainFrameSkin skin;
    LoadSolidPieces(skin);
    Surface surface(200, 120, RGB(1, 2, 3));
    ASSERT_TRUE(surface.IsReady());
    RECT client = {0, 0, 200, 120};
    skin.Draw(surface.Dc(), client);

    const Spot spots[] = {
        {5, 5, kColour[FrameTopLeft], "top-left corner"},
        {39, 19, kColour[FrameTopLeft], "top-left corner's last pixel"},
        {70, 10, kColour[FrameTopTitle], "title"},
        {120, 10, kColour[FrameTop], "top band"},
        {169, 19, kColour[FrameTop], "top band's end"},
        {185, 10, kColour[FrameTopRight], "top-right corner"},
        {20, 40, kColour[FrameMenu], "menu bar"},
        {20, 90, kColour[FrameLeft], "left column under the menu bar"},
        {196, 35, kColour[FrameRightCenter], "right edge's top piece"},
        {194, 21, kColour[FrameRightCenter], "right piece one pixel wider than 957"},
        {196, 80, kColour[FrameRight], "right column"},
        {195, 115, kColour[FrameBottomRight], "bottom-right corner"},
        {20, 115, kColour[FrameBottomLeft], "bottom-left corner"},
        {100, 115, kColour[FrameBottom], "bottom band"},
        {100, 60, RGB(255, 255, 255), "page area"},
        {193, 60, RGB(255, 255, 255), "left of the right column"},
    };
    for (const Spot& spot : spots)
    {
        EXPECT_TRUE(Near(spot.colour, surface.Pixel(spot.x, spot.y)))
            << spot.what << " at " << spot.x << "," << spot.y << ": 0x" << std::hex
            << surface.Pixel(spot.x, spot.y);
    }
}

TEST(MainFrameSkin, TiledBandsFollowALargerWindow)
{
    CMainFrameSkin skin;
    LoadSolidPieces(skin);
    Surface surface(300, 200, RGB(1, 2, 3));
    skin.Draw(surface.Dc(), RECT{0, 0, 300, 200});
    EXPECT_TRUE(Near(kColour[FrameTop], surface.Pixel(269, 10)));
    EXPECT_TRUE(Near(kColour[FrameTopRight], surface.Pixel(270, 10)));
    EXPECT_TRUE(Near(kColour[FrameRight], surface.Pixel(299, 189)));
    EXPECT_TRUE(Near(kColour[FrameLeft], surface.Pixel(0, 189)));
    EXPECT_TRUE(Near(kColour[FrameBottom], surface.Pixel(289, 195)));
    EXPECT_TRUE(Near(kColour[FrameBottomRight], surface.Pixel(290, 195)));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(150, 100));
}

TEST(MainFrameSkin, MissingPiecesLeaveWhite)
{
    CMainFrameSkin skin;
    LoadSolidPieces(skin, true);
    EXPECT_EQ(nullptr, skin.GetBitmap(FrameTopRight));
    EXPECT_EQ(nullptr, skin.GetBitmap(FrameBottomRight));
    Surface surface(200, 120, RGB(1, 2, 3));
    skin.Draw(surface.Dc(), RECT{0, 0, 200, 120});
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(185, 10));
    EXPECT_EQ(RGB(255, 255, 255), surface.Pixel(195, 115));
    // The rest is still drawn.
    EXPECT_TRUE(Near(kColour[FrameTop], surface.Pixel(120, 10)));
    EXPECT_TRUE(Near(kColour[FrameBottom], surface.Pixel(100, 115)));

    // A skin without any piece: everything white.
    CMainFrameSkin empty;
    empty.SetAnchors(TestAnchors());
    Surface blank(200, 120, RGB(1, 2, 3));
    empty.Draw(blank.Dc(), RECT{0, 0, 200, 120});
    for (POINT p : {POINT{5, 5}, POINT{70, 10}, POINT{20, 40}, POINT{196, 80}, POINT{100, 115}})
        EXPECT_EQ(RGB(255, 255, 255), blank.Pixel(p.x, p.y)) << p.x << "," << p.y;
}

TEST(MainFrameSkin, PiecesKeptAsTheirKindAtTheirSize)
{
    CMainFrameSkin skin;
    LoadSolidPieces(skin);
    BITMAP bitmap = {};
    ASSERT_EQ(static_cast<int>(sizeof(bitmap)),
              GetObjectA(skin.GetBitmap(FrameRightCenter), sizeof(bitmap), &bitmap));
    EXPECT_EQ(6, bitmap.bmWidth); // 957's width + 1
    EXPECT_EQ(30, bitmap.bmHeight);
    ASSERT_EQ(static_cast<int>(sizeof(bitmap)),
              GetObjectA(skin.GetBitmap(FrameTopLeft), sizeof(bitmap), &bitmap));
    EXPECT_EQ(40, bitmap.bmWidth);
    EXPECT_EQ(20, bitmap.bmHeight);
    // The tiled images: the anchor's size across, their own along the band.
    EXPECT_EQ(8, skin.GetImage(FrameTop).GetWidth());
    EXPECT_EQ(20, skin.GetImage(FrameTop).GetHeight());
    EXPECT_EQ(40, skin.GetImage(FrameLeft).GetWidth());
    EXPECT_EQ(8, skin.GetImage(FrameLeft).GetHeight());
    EXPECT_EQ(6, skin.GetImage(FrameRight).GetWidth());
    EXPECT_TRUE(skin.GetImage(FrameRightCenter).IsValid());
    EXPECT_FALSE(skin.GetImage(FrameMenu).IsValid());
    EXPECT_EQ(nullptr, skin.GetBitmap(FrameBottom));
}

TEST(MainFrameSkin, DialogFontIsBoldArialAndReplacesTheOldOne)
{
    CFont font;
    HFONT first = CreateDialogFont(font, 15);
    ASSERT_NE(nullptr, first);
    LOGFONTA logFont = {};
    ASSERT_TRUE(font.GetLogFont(logFont));
    EXPECT_EQ(700, logFont.lfWeight);
    EXPECT_STREQ("Arial", logFont.lfFaceName);
    EXPECT_EQ(15, logFont.lfHeight);
    EXPECT_EQ(DEFAULT_CHARSET, logFont.lfCharSet);
    EXPECT_EQ(CLEARTYPE_QUALITY, logFont.lfQuality);
    EXPECT_EQ(0, logFont.lfWidth);
    EXPECT_EQ(0, logFont.lfItalic);

    HFONT second = CreateDialogFont(font, 20);
    ASSERT_NE(nullptr, second);
    EXPECT_EQ(second, font.GetSafeHandle());
    EXPECT_EQ(0u, GetObjectType(first)) << "the first font is deleted";
    ASSERT_TRUE(font.GetLogFont(logFont));
    EXPECT_EQ(20, logFont.lfHeight);
}
