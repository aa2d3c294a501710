#include "app/MainFrameSkin.h"

#include "app/MainApplicationDialog.h"
#include "foundation/Dc.h"
#include "skin/SkinFiles.h"
#include "skin/SkinPaint.h"

#include <algorithm>

namespace
{
struct PieceInfo
{
    const char* key;
    const char* file;
    bool bitmap; // drawn as a bitmap (else tiled as an image)
    bool image;  // kept as an image too
};

const PieceInfo kPieces[FramePieceCount] = {
    {"MAIN_TOP_TITLE", "top_title.png", true, false},
    {"MAIN_TOP", "top.png", false, true},
    {"MAIN_TOP_RIGHT", "top_right.png", true, false},
    {"MAIN_MENU", "menu.png", true, false},
    {"MAIN_TOP_LEFT", "top_left.png", true, false},
    {"MAIN_LEFT", "left.png", false, true},
    {"MAIN_RIGHT", "right.png", false, true},
    {"MAIN_RIGHT_CENTER", "right_center.png", true, true},
    {"MAIN_BOTTOM_LEFT", "bottom_left.png", true, false},
    {"MAIN_BOTTOM", "bottom.png", false, true},
    {"MAIN_BOTTOM_RIGHT", "bottom_right.png", true, false},
};
} // namespace

const char* FramePieceKey(FramePiece piece)
{
    return kPieces[piece].key;
}

const char* FramePieceFile(FramePiece piece)
{
    return kPieces[piece].file;
}

void CMainFrameSkin::Load(CSkinFiles& skin)
{
    for (int i = 0; i < FramePieceCount; ++i)
    {
        const FramePiece piece = static_cast<FramePiece>(i);
        CPicture picture;
        // A missing file leaves the picture empty: the piece stays white.
        picture.Load(skin.GetImagePath(kPieces[i].key, kPieces[i].file), PICTURE_DETECT);
        SetPiece(piece, picture);
    }
}

CSize CMainFrameSkin::TargetSize(FramePiece piece) const
{
    const FrameAnchors& a = m_anchors;
    switch (piece)
    {
    case FrameTopTitle:
        return a.title;
    case FrameTop:
        return CSize(0, a.title.cy);
    case FrameTopRight:
        return a.topRight;
    case FrameMenu:
        return a.menu;
    case FrameTopLeft:
        return CSize(a.menu.cx, a.topLeft.cy);
    case FrameLeft:
        return CSize(a.menu.cx, 0);
    case FrameRight:
        return CSize(a.rightCenter.cx + 1, 0);
    case FrameRightCenter:
        return CSize(a.rightCenter.cx + 1, a.rightCenter.cy);
    case FrameBottomLeft:
        return CSize(a.menu.cx, a.bottomRight.cy);
    case FrameBottom:
        return CSize(0, a.bottomRight.cy);
    case FrameBottomRight:
        return a.bottomRight;
    default:
        return CSize();
    }
}

void CMainFrameSkin::SetPiece(FramePiece piece, CPicture& picture)
{
    m_bitmaps[piece].DeleteObject();
    m_images[piece].Destroy();
    if (!picture.IsValid())
        return;
    const CSize target = TargetSize(piece);
    const int width = target.cx > 0 ? target.cx : picture.GetWidth();
    const int height = target.cy > 0 ? target.cy : picture.GetHeight();
    if (width != picture.GetWidth() || height != picture.GetHeight())
    {
        if (!picture.Resample(width, height, INTERPOLATE_BICUBIC, OVERFLOW_REPEAT, nullptr, false))
            return;
    }
    if (kPieces[piece].bitmap)
        m_bitmaps[piece].Attach(picture.MakeBitmap(nullptr), true);
    if (kPieces[piece].image)
        m_images[piece].Transfer(picture);
}

void CMainFrameSkin::DrawBitmap(HDC dc, FramePiece piece, int x, int y, const CSize& size) const
{
    HBITMAP bitmap = m_bitmaps[piece].GetSafeHandle();
    if (bitmap == nullptr || size.cx <= 0 || size.cy <= 0)
        return;
    DrawStateA(dc, nullptr, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, x, y, size.cx, size.cy,
               DST_BITMAP);
}

void CMainFrameSkin::DrawTiled(HDC dc, FramePiece piece, const RECT& area)
{
    if (area.right <= area.left || area.bottom <= area.top)
        return;
    m_images[piece].DrawTiled(dc, &area);
}

void CMainFrameSkin::Draw(HDC dc, const RECT& client)
{
    if (dc == nullptr)
        return;
    CSaveDCScope saved(dc);
    const LONG W = client.right - client.left;
    const LONG H = client.bottom - client.top;
    const FrameAnchors& a = m_anchors;
    const LONG x0 = client.left;
    const LONG y0 = client.top;
    const LONG bottomTop = y0 + H - a.bottomRight.cy;
    const LONG rightLeft = x0 + W - a.rightCenter.cx - 1;

    CBrush white(RGB(255, 255, 255));
    FillRect(dc, &client, white.GetSafeHandle());

    // 1. The left column, under the menu bar piece and the top-left corner.
    DrawTiled(dc, FrameLeft, RECT{x0, y0, x0 + a.menu.cx, bottomTop});
    // 2. The right edge's top piece, under the title band.
    DrawBitmap(dc, FrameRightCenter, rightLeft, y0 + a.title.cy,
               CSize(a.rightCenter.cx + 1, a.rightCenter.cy));
    // 3. The right column below it, down to the bottom band.
    DrawTiled(dc, FrameRight,
              RECT{rightLeft, y0 + a.title.cy + a.rightCenter.cy, x0 + W, bottomTop});
    // 4. The top-left corner.
    DrawBitmap(dc, FrameTopLeft, x0, y0, a.topLeft);
    // 5. The top band between the two top corners.
    DrawTiled(dc, FrameTop, RECT{x0 + a.topLeft.cx, y0, x0 + W - a.topRight.cx, y0 + a.title.cy});
    // 6. The title piece, right of the left column.
    DrawBitmap(dc, FrameTopTitle, x0 + a.menu.cx, y0, a.title);
    // 7. The menu bar, under the top-left corner.
    DrawBitmap(dc, FrameMenu, x0, y0 + a.topLeft.cy, a.menu);
    // 8. The top-right corner.
    DrawBitmap(dc, FrameTopRight, x0 + W - a.topRight.cx, y0, a.topRight);
    // 9. The bottom-right corner.
    DrawBitmap(dc, FrameBottomRight, x0 + W - a.bottomRight.cx, bottomTop, a.bottomRight);
    // 10. The bottom-left corner, as wide as the left column.
    DrawBitmap(dc, FrameBottomLeft, x0, bottomTop, CSize(a.menu.cx, a.bottomRight.cy));
    // 11. The bottom band between the two bottom corners.
    DrawTiled(dc, FrameBottom,
              RECT{x0 + a.menu.cx, bottomTop, x0 + W - a.bottomRight.cx, y0 + H});
}

HFONT CreateDialogFont(CFont& owner, int height)
{
    CreateSkinFont(owner, height, FW_BOLD);
    return owner.GetSafeHandle();
}

// --- the main window's paint ---

void MainApplicationDialog::DrawSkin(CDC* dc)
{
    const CRect client = GetClientRect();
    if (client.Width() <= 0 || client.Height() <= 0)
        return;
    if (dc == nullptr)
    {
        CGetDC own(m_hWnd);
        DrawSkin(&own);
        return;
    }
    const RECT area = {0, 0, client.Width(), client.Height()};
    CBufferDC buffer(dc->GetSafeHdc(), area);
    m_frameSkin.Draw(buffer.GetSafeHdc(), area);
}

LRESULT MainApplicationDialog::OnPaint(CDC* dc)
{
    if (dc != nullptr)
    {
        DrawSkin(dc);
        return 0;
    }
    CPaintDC paint(m_hWnd);
    if (paint.GetSafeHdc() != nullptr)
        DrawSkin(&paint);
    return 0;
}

LRESULT MainApplicationDialog::OnEraseBkgnd(CDC* dc)
{
    if (dc != nullptr && dc->GetSafeHdc() != nullptr)
        DrawSkin(dc);
    return 1;
}
