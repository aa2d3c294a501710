// GDI objects and colours: CGdiHandle, the one handle of a pen, brush, font,
// bitmap or region with a flag saying whether the wrapper owns it; the typed
// wrappers CBrush, CPen, CFont, CBitmap and CRgn on CGdiObject; CHlsColor's
// luminance; the colour lightening and darkening rules; and the framework's
// table of colours derived from the system colours.
//
// Object lists: every CGdiHandle links itself into g_gdiList when made.
// CGdiHandle::FromHandle turns a raw handle into its wrapper, making a
// temporary one (not owning, in g_temporaryGdiList) for a handle nobody
// wraps; the modal loop deletes those after every message without deleting
// their handles. Everything here belongs to the user-interface thread.
#ifndef BRINDLEWOX_FOUNDATION_GDI_H
#define BRINDLEWOX_FOUNDATION_GDI_H

#include "foundation/Base.h"
#include "foundation/Node.h"

class CGdiHandle : public CNode
{
public:
    // Links the object into the GDI list. With owns set the handle is
    // deleted by DeleteObject and by the destructor.
    explicit CGdiHandle(HGDIOBJ handle = nullptr, bool owns = true);
    // Unlinks the object and deletes an owned handle.
    ~CGdiHandle() override;

    // Deletes the handle when owned (an unowned one is only let go) and
    // clears it either way. False when the system refused the deletion (a
    // handle that was no GDI object); true when nothing was held.
    virtual bool DeleteObject();

    // DeleteObject first, then takes the handle with its ownership; returns
    // DeleteObject's result.
    bool Attach(HGDIOBJ handle, bool owns);
    // Lets go of the handle without deleting it and returns it; the object
    // then owns what it gets next.
    HGDIOBJ Detach();

    bool IsValid() const { return m_hObject != nullptr; }
    HGDIOBJ GetHandle() const { return m_hObject; }
    bool OwnsHandle() const { return m_ownsHandle != 0; }

    // The wrapper of a handle: an object of the GDI list holding it, else
    // one of the temporary GDI list, else a new not-owning wrapper in the
    // temporary list (deleted by the modal loop after the current message).
    // Null for null.
    static CGdiHandle* FromHandle(HGDIOBJ handle);
    // Deletes every temporary wrapper; their handles are left alone.
    static void DestroyTemporaryObjects();

protected:
    HGDIOBJ m_hObject = nullptr;
    int m_ownsHandle = 1;
};

// A typed GDI object. A fresh one holds nothing and owns what it will get.
// Each creation below attaches the new handle as owned (deleting the old one)
// and returns whether a handle is now held: a failed creation leaves the
// wrapper empty.
class CGdiObject : public CGdiHandle
{
public:
    CGdiObject() : CGdiHandle(nullptr, true) {}
};

class CBrush : public CGdiObject
{
public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }

    bool CreateSolidBrush(COLORREF color);
    // A solid brush of GetSysColor(index): a brush of its own, not the
    // system's shared one, so it is deleted like any other.
    bool CreateSysColorBrush(int index);

    HBRUSH GetSafeHandle() const { return static_cast<HBRUSH>(m_hObject); }
};

class CPen : public CGdiObject
{
public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }

    bool CreatePen(int style, int width, COLORREF color);

    HPEN GetSafeHandle() const { return static_cast<HPEN>(m_hObject); }
};

class CFont : public CGdiObject
{
public:
    CFont() = default;
    // A new font made from the LOGFONT of the given one (CreateCopy): this
    // wrapper owns the copy, never the font it was made from. Empty when the
    // handle is null or not a readable font.
    explicit CFont(HFONT font) { CreateCopy(font); }

    bool CreateFontIndirect(const LOGFONTA& logFont);
    bool CreateCopy(HFONT font);
    // Attaches the stock object of the index (GetStockObject), not owned,
    // when it is a font; false, and nothing held, for any other kind
    // (brushes, pens, palettes) or an unknown index.
    bool CreateStockObject(int index);
    // True when GetObjectA gave the whole LOGFONTA (60 bytes); on failure,
    // an empty wrapper among them, logFont is untouched.
    bool GetLogFont(LOGFONTA& logFont) const;

    HFONT GetSafeHandle() const { return static_cast<HFONT>(m_hObject); }
};

class CBitmap : public CGdiObject
{
public:
    CBitmap() = default;

    bool CreateCompatibleBitmap(HDC dc, int width, int height);
    // True when GetObjectA gave the whole BITMAP (32 bytes on 64-bit
    // Windows); on failure bitmap is untouched.
    bool GetBitmap(BITMAP& bitmap) const;

    HBITMAP GetSafeHandle() const { return static_cast<HBITMAP>(m_hObject); }
};

class CRgn : public CGdiObject
{
public:
    CRgn() = default;

    bool CreateRectRgn(int left, int top, int right, int bottom);
    // A real POINT array: an array of CPoint is not one (see Geometry.h).
    bool CreatePolygonRgn(const POINT* points, int count, int fillMode);
    bool CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                            int ellipseHeight);

    // The system's region results: NULLREGION, SIMPLEREGION, COMPLEXREGION,
    // or ERROR (0) on failure or without a region.
    int OffsetRgn(int x, int y);
    // This region becomes first <mode> second. A wrapper without a region
    // gets an empty one first, since the system writes into an existing
    // region only.
    int CombineRgn(const CRgn& first, const CRgn& second, int mode);
    // CombineRgn with RGN_COPY (5): this region becomes a copy of source.
    int CopyRgn(const CRgn& source);
    // False also when either wrapper holds no region.
    bool EqualRgn(const CRgn& other) const;

    HRGN GetSafeHandle() const { return static_cast<HRGN>(m_hObject); }
};

// Red, green and blue of a colour, and its luminance on the 0 to 240 scale
// of the usual RGB-to-HLS conversion.
class CHlsColor
{
public:
    CHlsColor() = default;
    explicit CHlsColor(COLORREF color) { SetRGB(color); }

    // Stores the channels and computes the luminance from the largest and
    // smallest of them: ((max + min) * 240 + 255) / 510, in integers.
    void SetRGB(COLORREF color);

    WORD GetRed() const { return m_red; }
    WORD GetGreen() const { return m_green; }
    WORD GetBlue() const { return m_blue; }
    WORD GetLuminance() const { return m_luminance; }

private:
    WORD m_red = 0;
    WORD m_green = 0;
    WORD m_blue = 0;
    WORD m_luminance = 0;
};

// The colour rules the framework's painting shares. Each channel is worked
// out in double precision and truncated.
namespace color
{
// Each channel c becomes c + (255 - c) * factor: a factor of 1 gives white.
COLORREF Lighten(COLORREF color, double factor);
// The same with a factor per channel.
COLORREF Lighten(COLORREF color, double redFactor, double greenFactor, double blueFactor);
// Each channel c becomes c - c * factor: a factor of 1 gives black.
COLORREF Darken(COLORREF color, double factor);
} // namespace color

// Eighteen colours derived from the system colours, which menus and controls
// paint with; readers index it by position. Built on first use and again
// when the system colours change (the window procedure's WM_SYSCOLORCHANGE
// and WM_UPDATEUISTATE).
class CSysColorTable
{
public:
    static constexpr int Count = 18;

    constexpr CSysColorTable() = default;

    // Reads the system colours and rebuilds every entry.
    void Update();
    // The colour at a position; CLR_INVALID for a position outside 0..17.
    COLORREF operator[](int index) const;
    bool IsBuilt() const { return m_built; }

private:
    COLORREF m_colors[Count] = {};
    bool m_built = false;
};

// The framework's one table, built (Update) the first time it is asked for.
CSysColorTable& GetSysColorTable();

static_assert(sizeof(LOGFONTA) == 60, "GetLogFont compares with the 60 bytes of a LOGFONTA");
#ifdef _WIN64
static_assert(sizeof(BITMAP) == 32, "the 64-bit BITMAP has 32 bytes (24 on 32-bit Windows)");
#endif

#endif
