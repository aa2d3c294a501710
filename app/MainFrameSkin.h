// The main window's look: CMainFrameSkin holds the eleven frame pictures of
// the skin, resampled once to the frame anchors' sizes, and paints the frame
// around the white client area; CreateDialogFont makes the bold dialog font.
//
// Usage (the window's OnInitDialog, then every paint):
//   CMainFrameSkin frame;
//   frame.SetMeasures(measures);            // the anchors' window sizes
//   frame.Load(skin);                       // [Image] keys of the skin file
//   CBufferDC buffer(dc, client);
//   frame.Draw(buffer, client);
#ifndef BRINDLEWOX_APP_MAINFRAMESKIN_H
#define BRINDLEWOX_APP_MAINFRAMESKIN_H

#include "foundation/Base.h"
#include "foundation/Gdi.h"
#include "foundation/Geometry.h"
#include "picture/Picture.h"

class CSkinFiles;

// The frame pieces in the order they are loaded (the skin's [Image] keys).
enum FramePiece
{
    FrameTopTitle,    // MAIN_TOP_TITLE    top_title.png     bitmap, size of 955
    FrameTop,         // MAIN_TOP          top.png           image, own x h955, tiled
    FrameTopRight,    // MAIN_TOP_RIGHT    top_right.png     bitmap, size of 827
    FrameMenu,        // MAIN_MENU         menu.png          bitmap, size of 952
    FrameTopLeft,     // MAIN_TOP_LEFT     top_left.png      bitmap, w952 x h954
    FrameLeft,        // MAIN_LEFT         left.png          image, w952 x own, tiled
    FrameRight,       // MAIN_RIGHT        right.png         image, (w957 + 1) x own, tiled
    FrameRightCenter, // MAIN_RIGHT_CENTER right_center.png  bitmap, (w957 + 1) x h957
    FrameBottomLeft,  // MAIN_BOTTOM_LEFT  bottom_left.png   bitmap, w952 x h956
    FrameBottom,      // MAIN_BOTTOM       bottom.png        image, own x h956, tiled
    FrameBottomRight, // MAIN_BOTTOM_RIGHT bottom_right.png  bitmap, size of 956
    FramePieceCount
};

// The skin key and default file of a piece.
const char* FramePieceKey(FramePiece piece);
const char* FramePieceFile(FramePiece piece);

// The window sizes of the seven frame anchors of template 101 (809, the
// page area, is not drawn).
struct FrameAnchors
{
    CSize topLeft;     // 954
    CSize title;       // 955
    CSize topRight;    // 827
    CSize menu;        // 952
    CSize rightCenter; // 957
    CSize bottomRight; // 956
};

class CMainFrameSkin
{
public:
    CMainFrameSkin() = default;
    CMainFrameSkin(const CMainFrameSkin&) = delete;
    CMainFrameSkin& operator=(const CMainFrameSkin&) = delete;

    void SetAnchors(const FrameAnchors& anchors) { m_anchors = anchors; }
    const FrameAnchors& GetAnchors() const { return m_anchors; }

    // Loads every piece from the chosen skin (format detected from the
    // file). A piece that is missing or cannot be decoded stays empty and
    // its place white; nothing here fails.
    void Load(CSkinFiles& skin);
    // Takes a decoded picture for the piece: resampled to the piece's size
    // (bicubic, edge pixels repeated, averaged when shrinking) and kept as a
    // bitmap or an image, as the table above says. An empty picture empties
    // the piece.
    void SetPiece(FramePiece piece, CPicture& picture);

    // Paints the frame into the context over the client rectangle: white
    // first, then the pieces in their order (see MainFrameSkin.cpp). The caller
    // buffers (CBufferDC).
    void Draw(HDC dc, const RECT& client);

    // The bitmap of a piece kept as one; null when the piece is empty or not
    // a bitmap piece.
    HBITMAP GetBitmap(FramePiece piece) const { return m_bitmaps[piece].GetSafeHandle(); }
    // The image of a piece kept as one (empty when not).
    const CPicture& GetImage(FramePiece piece) const { return m_images[piece]; }

private:
    // The size a piece is resampled to; 0 in a direction keeps the
    // picture's own.
    CSize TargetSize(FramePiece piece) const;
    void DrawBitmap(HDC dc, FramePiece piece, int x, int y, const CSize& size) const;
    void DrawTiled(HDC dc, FramePiece piece, const RECT& area);

    FrameAnchors m_anchors;
    CBitmap m_bitmaps[FramePieceCount];
    CPicture m_images[FramePieceCount];
};

// An icon the program loaded for itself (LoadImageA without LR_SHARED):
// destroyed when the object goes or gets another.
class CIconHandle
{
public:
    CIconHandle() = default;
    CIconHandle(const CIconHandle&) = delete;
    CIconHandle& operator=(const CIconHandle&) = delete;
    ~CIconHandle() { Attach(nullptr); }

    void Attach(HICON icon)
    {
        if (m_hIcon != nullptr)
            DestroyIcon(m_hIcon);
        m_hIcon = icon;
    }
    HICON Get() const { return m_hIcon; }

private:
    HICON m_hIcon = nullptr;
};

// The bold dialog font: Arial of the given height, weight 700, character set
// 1 (DEFAULT_CHARSET), quality 5 (CLEARTYPE_QUALITY). The owner's previous
// font is deleted; when the system makes none the owner holds the stock
// DEFAULT_GUI_FONT (not owned). Returns the owner's handle.
HFONT CreateDialogFont(CFont& owner, int height);

#endif
