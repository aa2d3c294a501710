// Device contexts: CDC, the framework object of one device-context handle;
// the scope classes that get a context and give it back when they end
// (CPaintDC, CGetDC, CWindowDC); CBufferDC, which paints an area off screen
// and copies it to its target when it ends; and CSelectScope, the one way a
// GDI object is selected into a context and deselected again.
//
// Ownership: a CDC releases only a context it created itself
// (CreateCompatibleDC, CreateDC); a handle given to its constructor, to
// Attach or to FromHandle is borrowed and never released by it. The scope
// classes release what they got from the system.
//
// Object lists: every CDC links itself into g_dcList. CDC::FromHandle turns a
// raw handle into its object, making a temporary wrapper (in
// g_temporaryDcList) for a context nobody wraps; the modal loop deletes
// those after every message and never releases their contexts. Everything
// here belongs to the user-interface thread.
#ifndef BRINDLEWOX_FOUNDATION_DC_H
#define BRINDLEWOX_FOUNDATION_DC_H

#include "foundation/Base.h"
#include "foundation/Gdi.h"
#include "foundation/Geometry.h"
#include "foundation/Node.h"
#include "foundation/String.h"

#include <commctrl.h>

class CWindow;

// msimg32's GradientFill, as the system declares it.
using GradientFillFunction = BOOL(WINAPI*)(HDC, PTRIVERTEX, ULONG, PVOID, ULONG, ULONG);

class CDC : public CNode
{
public:
    // No context yet.
    CDC();
    // Borrows the context: the object never releases it.
    explicit CDC(HDC dc);
    // Unlinks the object; deletes the context only when this object created
    // it (CreateCompatibleDC, CreateDC) and still holds it.
    ~CDC() override;

    // Borrows the context; false (nothing changed) when one is held already.
    bool Attach(HDC dc);
    // Lets go of the context without releasing it and returns it.
    HDC Detach();
    // A memory context compatible with the other one, or with the screen
    // for null; owned by this object. False when a context is held already
    // or the system fails.
    bool CreateCompatibleDC(const CDC* other = nullptr);
    // CreateDCA with these arguments; owned by this object. False when a
    // context is held already or the system fails.
    bool CreateDC(const char* driver, const char* device, const char* output, const DEVMODEA* mode);
    // DeleteDC of the held context; the handle is cleared when that
    // succeeds.
    bool DeleteDC();

    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }
    bool OwnsDC() const { return m_ownsDC != 0; }

    // The object of a context: from the DC list, else the temporary DC list,
    // else a new temporary wrapper (deleted by the modal loop after the
    // current message, never releasing the context). Null for null.
    static CDC* FromHandle(HDC dc);
    // Deletes every temporary wrapper; their contexts are left alone.
    static void DestroyTemporaryDCs();

    // The wrapper of the selected font (CGdiHandle::FromHandle); null
    // without a context.
    CGdiHandle* GetCurrentFont() const;

    // FillRect with a temporary solid brush; nothing when the brush cannot
    // be made.
    void FillSolidRect(const RECT& rect, COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    // Rectangle with a solid one-pixel pen of the border colour and a solid
    // brush of the fill colour, both selected for the call only.
    void DrawRectangle(const RECT& rect, COLORREF border, COLORREF fill);
    // Rectangle with a PS_INSIDEFRAME pen of the colour and width and the
    // hollow stock brush: an outline drawn inside the rectangle.
    static void FrameRect(HDC dc, const RECT& rect, COLORREF color, int width);

    // GetTextExtentPoint32A; a length of -1 measures up to the terminator.
    // A zero size when the system fails.
    CSize GetTextExtent(const char* text, int length = -1) const;
    // GetTextExtentExPointA: the extent of the whole text, with fit set to
    // the count of characters that fit in maxWidth and, when extents is not
    // null, extents[i] to the width of the first i + 1 characters (the
    // array must hold text.GetLength() entries). On failure a zero size and
    // fit untouched.
    CSize GetTextExtentEx(const CString& text, int maxWidth, int& fit,
                          int* extents = nullptr) const;

    // msimg32's GradientFill on this context; 0 and nothing drawn when the
    // system has no such function.
    BOOL GradientFill(TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount,
                      ULONG mode);
    // A two-colour gradient over the rectangle. Horizontal: from color1 at
    // the left edge to color2 at the right. Vertical: from color2 at the top
    // to color1 at the bottom. 0 when the system has no GradientFill.
    static BOOL GradientRect(HDC dc, const RECT& rect, COLORREF color1, COLORREF color2,
                             bool horizontal);
    // The GradientFill the two routines above call: looked up by name the
    // first time it is asked for in the msimg32.dll that the static set-up
    // keeps loaded (GetGradientLibrary, StaticSetup.h), and kept. Null when the
    // system has none.
    static GradientFillFunction GetGradientFillFunction();
    // Replaces the bound function, for a loader that bound it already; null
    // makes gradients unavailable (nothing drawn).
    static void SetGradientFillFunction(GradientFillFunction function);

    // Flags of the state drawing below.
    static constexpr UINT StateDisabled = 1;     // the system's disabled look (DSS_DISABLED)
    static constexpr UINT StatePressed = 2;      // content moved one pixel right and down
    static constexpr UINT StateLeft = 4;         // left aligned (else centred)
    static constexpr UINT StateRight = 8;        // right aligned (else centred)
    static constexpr UINT StateHidePrefix = 16;  // no keyboard-prefix underline (DT_HIDEPREFIX)
    static constexpr UINT StateOwnDisabled = 32; // the framework's own disabled look
    static constexpr UINT StateTransparent = 64; // no background behind the text or image

    // DrawStateA of a bitmap at the position and size: the brush, no
    // callback, the handle, and the flags with DST_BITMAP (4) added (the
    // bitmap is drawn as it is unless the flags ask for another look).
    // Returns DrawStateA's result. (windows.h makes the name DrawStateA: the
    // member is called so everywhere, and Dc.cpp calls the system's as
    // ::DrawStateA.)
    BOOL DrawState(const CPoint& position, const CSize& size, HBITMAP bitmap, UINT flags,
                   HBRUSH brush = nullptr);
    // DrawStateA of an icon at the position and size, with DST_ICON added
    // to the system's DSS_ flags and the brush for DSS_MONO.
    BOOL DrawStateIcon(HICON icon, const CPoint& position, const CSize& size, UINT flags,
                       HBRUSH brush = nullptr);
    // The text in the rectangle through DrawStateA: centred vertically (never
    // above the top), placed left, right or centred (never left of the left
    // edge), tabs expanded. Flags: the State values above but 32.
    BOOL DrawStateText(const char* text, const RECT& rect, UINT flags);
    // An image of an image list, placed in the rectangle like the text.
    BOOL DrawStateImage(HIMAGELIST images, int index, const RECT& rect, UINT flags);
    // The image as a one-colour shape (DSS_MONO) in the colour, placed by
    // the flags (a shape has no disabled look: StateDisabled is ignored).
    BOOL DrawMonoImage(HIMAGELIST images, int index, const RECT& rect, COLORREF color, UINT flags);
    // The image with StateOwnDisabled: first as a shape in colour table
    // entry 7 at the rectangle moved by (1, 1); then the rectangle moves by
    // (-2, -2) and stays there for the caller. Then, and alone without
    // StateOwnDisabled, the image itself at the rectangle: as a shape in
    // table entry 6 with StateDisabled, else normally. False at the first
    // drawing that fails.
    BOOL DrawImageState(HIMAGELIST images, int index, RECT& rect, UINT flags);

protected:
    HDC m_hDC = nullptr;
    int m_ownsDC = 0;

    // Called before a wrapper gives a context back to the system: every
    // CBufferDC drawing for that context forgets it, so that none copies
    // into a context that is no longer there.
    static void TargetReleasing(HDC dc);
};

// Selects a GDI object into a context for the life of the scope and selects
// back what was there before. Not for regions: selecting a region returns
// no previous object (use SelectClipRgn), so a region is refused.
class CSelectScope
{
public:
    CSelectScope() = default;
    CSelectScope(HDC dc, HGDIOBJ object) { Select(dc, object); }
    CSelectScope(HDC dc, const CGdiHandle& object) { Select(dc, object.GetHandle()); }
    CSelectScope(const CSelectScope&) = delete;
    CSelectScope& operator=(const CSelectScope&) = delete;
    ~CSelectScope() { Restore(); }

    // Restores an earlier selection first, then selects the object. False
    // (nothing selected) for a null context or object, a region, or when
    // the system refuses.
    bool Select(HDC dc, HGDIOBJ object);
    bool Select(HDC dc, const CGdiHandle& object) { return Select(dc, object.GetHandle()); }
    // Selects the previous object back now; the destructor then does
    // nothing.
    void Restore();

    bool IsSelected() const { return m_hPrevious != nullptr; }
    // What was selected before; null when nothing is selected by the scope.
    HGDIOBJ GetPrevious() const { return m_hPrevious; }

private:
    HDC m_hDC = nullptr;
    HGDIOBJ m_hPrevious = nullptr;
};

// SaveDC for the life of the scope, RestoreDC when it ends: every selection,
// colour and mode set in between is undone at once.
class CSaveDCScope
{
public:
    explicit CSaveDCScope(HDC dc) : m_hDC(dc), m_saved(dc != nullptr ? SaveDC(dc) : 0) {}
    CSaveDCScope(const CSaveDCScope&) = delete;
    CSaveDCScope& operator=(const CSaveDCScope&) = delete;
    ~CSaveDCScope()
    {
        if (m_saved != 0)
            RestoreDC(m_hDC, m_saved);
    }

    bool IsSaved() const { return m_saved != 0; }

private:
    HDC m_hDC;
    int m_saved;
};

// BeginPaint for the life of the object, EndPaint when it ends.
class CPaintDC : public CDC
{
public:
    // No context when the window is not a live window.
    explicit CPaintDC(HWND window);
    explicit CPaintDC(CWindow* window);
    ~CPaintDC() override;

    const PAINTSTRUCT& GetPaintStruct() const { return m_paint; }

private:
    HWND m_hWnd = nullptr;
    PAINTSTRUCT m_paint = {};
};

// GetDC of a window's client area (of the screen for null, a dead window or
// an object without a window), ReleaseDC when the object ends.
class CGetDC : public CDC
{
public:
    explicit CGetDC(HWND window = nullptr) : CGetDC(window, false) {}
    explicit CGetDC(CWindow* window);
    ~CGetDC() override;

protected:
    // With wholeWindow set, GetWindowDC instead of GetDC.
    CGetDC(HWND window, bool wholeWindow);

private:
    HWND m_hWnd = nullptr;
};

// The same with GetWindowDC: the whole window, frame included.
class CWindowDC : public CGetDC
{
public:
    explicit CWindowDC(HWND window = nullptr) : CGetDC(window, true) {}
    explicit CWindowDC(CWindow* window);
};

// Double buffering of an area of a target context. While the object lives,
// its own handle is a memory context holding a bitmap of the area's size,
// in bitmap coordinates: the area's top-left corner is 0,0 there. The bitmap
// starts as the target's background colour, or, when the target's
// background mode is TRANSPARENT, as a copy of the target's pixels, so that
// undrawn parts come out unchanged. When the object ends the bitmap is
// copied to the target at the area's left and top.
//
// When the memory context or the bitmap cannot be made (or the area is
// empty) the object draws straight into the target instead, with the
// target's origin moved for the object's life so that the area's top-left
// is still 0,0.
class CBufferDC : public CDC
{
public:
    // The area is the target's clip box.
    explicit CBufferDC(HDC target);
    CBufferDC(HDC target, const RECT& area);
    explicit CBufferDC(const CDC& target);
    CBufferDC(const CDC& target, const RECT& area);
    ~CBufferDC() override;

    // Gives up the copy-out: the buffer stays usable for the object's life
    // (a control may keep it as a snapshot of a background), and the
    // destructor only frees it. Happens by itself when a CPaintDC, CGetDC,
    // CWindowDC or owning CDC gives the target back to the system.
    void Discard();

    // The area in the target's coordinates.
    const CRect& GetArea() const { return m_area; }
    // A bitmap is drawn into (not the fallback straight into the target).
    bool IsBuffered() const { return m_bitmap.IsValid(); }
    // The copy-out is still to come.
    bool HasTarget() const { return m_hTarget != nullptr; }

private:
    friend class CDC;
    void Begin(HDC target, const RECT* area);

    CRect m_area;
    HDC m_hTarget = nullptr;
    CBitmap m_bitmap;
    CSelectScope m_bitmapSelection;
    // The fallback moved the target's viewport origin by this much.
    bool m_movedTargetOrigin = false;
};

// The framework's own drop shadow, for when the system draws none
// (ModuleState::GetDropShadow): darkens five-pixel bands along the right
// and bottom edges of the rectangle, strongest at the inner side, fading in
// at the top and left ends and out towards the bottom-right corner. The
// outermost column and row lie just outside the rectangle and get the
// faintest touch. Pixels the context cannot give (outside its bitmap or its
// clipping) are skipped.
void DrawDropShadow(HDC dc, const RECT& rect);

#endif
