#include "foundation/Dc.h"

#include "foundation/FrameworkHooks.h"
#include "foundation/StaticSetup.h"
#include "foundation/Window.h"

#include <algorithm>
#include <cstring>

namespace
{
CDC* FindDcObject(const CNodeList& list, HDC dc)
{
    for (CNode* node = list.GetHead(); node != nullptr; node = node->GetNext())
    {
        CDC* object = static_cast<CDC*>(node);
        if (object->GetSafeHdc() == dc)
            return object;
    }
    return nullptr;
}

HWND LiveWindowOf(CWindow* window)
{
    return window != nullptr ? window->GetSafeHwnd() : nullptr;
}
} // namespace

CDC::CDC()
{
    g_dcList.AddHead(this);
}

CDC::CDC(HDC dc) : m_hDC(dc)
{
    g_dcList.AddHead(this);
}

CDC::~CDC()
{
    if (m_hDC != nullptr && m_ownsDC)
    {
        TargetReleasing(m_hDC);
        ::DeleteDC(m_hDC);
    }
    m_hDC = nullptr;
    if (!g_dcList.Remove(this))
        g_temporaryDcList.Remove(this);
}

bool CDC::Attach(HDC dc)
{
    if (m_hDC != nullptr)
        return false;
    m_hDC = dc;
    m_ownsDC = 0;
    return true;
}

HDC CDC::Detach()
{
    HDC dc = m_hDC;
    m_hDC = nullptr;
    m_ownsDC = 0;
    return dc;
}

bool CDC::CreateCompatibleDC(const CDC* other)
{
    if (m_hDC != nullptr)
        return false;
    m_hDC = ::CreateCompatibleDC(other != nullptr ? other->m_hDC : nullptr);
    m_ownsDC = m_hDC != nullptr ? 1 : 0;
    return m_hDC != nullptr;
}

bool CDC::CreateDC(const char* driver, const char* device, const char* output, const DEVMODEA* mode)
{
    if (m_hDC != nullptr)
        return false;
    m_hDC = ::CreateDCA(driver, device, output, mode);
    m_ownsDC = m_hDC != nullptr ? 1 : 0;
    return m_hDC != nullptr;
}

bool CDC::DeleteDC()
{
    if (m_hDC == nullptr)
        return false;
    TargetReleasing(m_hDC);
    if (!::DeleteDC(m_hDC))
        return false;
    m_hDC = nullptr;
    m_ownsDC = 0;
    return true;
}

CDC* CDC::FromHandle(HDC dc)
{
    if (dc == nullptr)
        return nullptr;
    CDC* object = FindDcObject(g_dcList, dc);
    if (object == nullptr)
        object = FindDcObject(g_temporaryDcList, dc);
    if (object != nullptr)
        return object;
    object = new CDC(dc);
    g_dcList.Remove(object);
    g_temporaryDcList.AddHead(object);
    return object;
}

void CDC::DestroyTemporaryDCs()
{
    while (CNode* node = g_temporaryDcList.GetHead())
    {
        g_temporaryDcList.Remove(node);
        // Cleared first: whatever was done to the wrapper meanwhile, the
        // context belongs to someone else.
        static_cast<CDC*>(node)->Detach();
        delete node;
    }
}

CDC* FrameworkDcFromHandle(HDC dc)
{
    return CDC::FromHandle(dc);
}

void DestroyTemporaryDCs()
{
    CDC::DestroyTemporaryDCs();
}

void CDC::TargetReleasing(HDC dc)
{
    if (dc == nullptr)
        return;
    for (CNode* node = g_dcList.GetHead(); node != nullptr; node = node->GetNext())
    {
        CBufferDC* buffer = dynamic_cast<CBufferDC*>(node);
        if (buffer == nullptr)
            continue;
        if (buffer->m_hTarget == dc)
            buffer->Discard();
        // The fallback draws into the target itself: that handle goes too,
        // and with it the moved origin.
        if (!buffer->IsBuffered() && buffer->m_hDC == dc)
        {
            buffer->Detach();
            buffer->m_movedTargetOrigin = false;
        }
    }
}

CGdiHandle* CDC::GetCurrentFont() const
{
    if (m_hDC == nullptr)
        return nullptr;
    return CGdiHandle::FromHandle(GetCurrentObject(m_hDC, OBJ_FONT));
}

void CDC::FillSolidRect(const RECT& rect, COLORREF color)
{
    CBrush brush(color);
    if (brush.IsValid())
        FillRect(m_hDC, &rect, brush.GetSafeHandle());
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF color)
{
    RECT rect = {x, y, x + width, y + height};
    FillSolidRect(rect, color);
}

void CDC::DrawRectangle(const RECT& rect, COLORREF border, COLORREF fill)
{
    CPen pen(PS_SOLID, 1, border);
    CBrush brush(fill);
    CSelectScope penSelection(m_hDC, pen);
    CSelectScope brushSelection(m_hDC, brush);
    Rectangle(m_hDC, rect.left, rect.top, rect.right, rect.bottom);
}

void CDC::FrameRect(HDC dc, const RECT& rect, COLORREF color, int width)
{
    CPen pen(PS_INSIDEFRAME, width, color);
    CSelectScope penSelection(dc, pen);
    CSelectScope brushSelection(dc, GetStockObject(NULL_BRUSH));
    Rectangle(dc, rect.left, rect.top, rect.right, rect.bottom);
}

CSize CDC::GetTextExtent(const char* text, int length) const
{
    if (text == nullptr)
        return CSize();
    if (length < 0)
        length = static_cast<int>(std::strlen(text));
    SIZE size;
    if (!GetTextExtentPoint32A(m_hDC, text, length, &size))
        return CSize();
    return CSize(size);
}

CSize CDC::GetTextExtentEx(const CString& text, int maxWidth, int& fit, int* extents) const
{
    SIZE size;
    int fitted = 0;
    if (!GetTextExtentExPointA(m_hDC, text, text.GetLength(), maxWidth, &fitted, extents, &size))
        return CSize();
    fit = fitted;
    return CSize(size);
}

bool CSelectScope::Select(HDC dc, HGDIOBJ object)
{
    Restore();
    if (dc == nullptr || object == nullptr || GetObjectType(object) == OBJ_REGION)
        return false;
    HGDIOBJ previous = SelectObject(dc, object);
    if (previous == nullptr || previous == HGDI_ERROR)
        return false;
    m_hDC = dc;
    m_hPrevious = previous;
    return true;
}

void CSelectScope::Restore()
{
    if (m_hPrevious != nullptr)
        SelectObject(m_hDC, m_hPrevious);
    m_hDC = nullptr;
    m_hPrevious = nullptr;
}

CPaintDC::CPaintDC(HWND window)
{
    if (window != nullptr && IsWindow(window))
    {
        m_hWnd = window;
        m_hDC = BeginPaint(window, &m_paint);
    }
}

CPaintDC::CPaintDC(CWindow* window) : CPaintDC(LiveWindowOf(window)) {}

CPaintDC::~CPaintDC()
{
    if (m_hWnd != nullptr)
    {
        TargetReleasing(m_hDC);
        EndPaint(m_hWnd, &m_paint);
    }
    Detach();
}

CGetDC::CGetDC(HWND window, bool wholeWindow)
{
    if (window != nullptr && !IsWindow(window))
        window = nullptr;
    m_hWnd = window;
    m_hDC = wholeWindow ? GetWindowDC(window) : GetDC(window);
}

CGetDC::CGetDC(CWindow* window) : CGetDC(LiveWindowOf(window), false) {}

CGetDC::~CGetDC()
{
    TargetReleasing(m_hDC);
    // A context from GetDC or GetWindowDC goes back with ReleaseDC on the
    // window it came from. When that window is gone the system took its
    // contexts back with it, and the handle may already serve another
    // window: it is left alone then.
    HDC dc = Detach();
    if (dc != nullptr && (m_hWnd == nullptr || IsWindow(m_hWnd)))
        ReleaseDC(m_hWnd, dc);
}

CWindowDC::CWindowDC(CWindow* window) : CGetDC(LiveWindowOf(window), true) {}

CBufferDC::CBufferDC(HDC target)
{
    Begin(target, nullptr);
}

CBufferDC::CBufferDC(HDC target, const RECT& area)
{
    Begin(target, &area);
}

CBufferDC::CBufferDC(const CDC& target)
{
    Begin(target.GetSafeHdc(), nullptr);
}

CBufferDC::CBufferDC(const CDC& target, const RECT& area)
{
    Begin(target.GetSafeHdc(), &area);
}

void CBufferDC::Begin(HDC target, const RECT* area)
{
    if (target == nullptr)
        return;
    m_hTarget = target;
    if (area != nullptr)
    {
        m_area = CRect(*area);
    }
    else
    {
        RECT clip = {};
        GetClipBox(target, &clip);
        m_area = CRect(clip);
    }
    int width = m_area.Width();
    int height = m_area.Height();

    // The bitmap must be compatible with the target (a memory context's own
    // first bitmap is one-bit monochrome).
    HDC memory = width > 0 && height > 0 ? ::CreateCompatibleDC(target) : nullptr;
    if (memory != nullptr && m_bitmap.CreateCompatibleBitmap(target, width, height) &&
        m_bitmapSelection.Select(memory, m_bitmap))
    {
        m_hDC = memory;
        m_ownsDC = 1;
        if (GetBkMode(target) != TRANSPARENT)
            FillSolidRect(0, 0, width, height, GetBkColor(target));
        else
            BitBlt(memory, 0, 0, width, height, target, m_area.left, m_area.top, SRCCOPY);
        return;
    }

    m_bitmap.DeleteObject();
    if (memory != nullptr)
        ::DeleteDC(memory);
    m_hDC = target;
    m_ownsDC = 0;
    m_movedTargetOrigin = OffsetViewportOrgEx(target, m_area.left, m_area.top, nullptr) != FALSE;
}

CBufferDC::~CBufferDC()
{
    if (IsBuffered())
    {
        if (m_hTarget != nullptr)
        {
            BitBlt(m_hTarget, m_area.left, m_area.top, m_area.Width(), m_area.Height(), m_hDC, 0, 0,
                   SRCCOPY);
        }
        // Then the members put the old bitmap back and delete the bitmap,
        // and ~CDC deletes the memory context.
    }
    else
    {
        if (m_movedTargetOrigin && m_hDC != nullptr)
            OffsetViewportOrgEx(m_hDC, -m_area.left, -m_area.top, nullptr);
        Detach();
    }
    m_hTarget = nullptr;
}

void CBufferDC::Discard()
{
    m_hTarget = nullptr;
}

namespace
{
GradientFillFunction g_gradientFill = nullptr;
bool g_gradientFillBound = false;

COLOR16 VertexChannel(BYTE channel)
{
    return static_cast<COLOR16>(channel << 8);
}

TRIVERTEX Vertex(LONG x, LONG y, COLORREF color)
{
    TRIVERTEX vertex = {};
    vertex.x = x;
    vertex.y = y;
    vertex.Red = VertexChannel(GetRValue(color));
    vertex.Green = VertexChannel(GetGValue(color));
    vertex.Blue = VertexChannel(GetBValue(color));
    vertex.Alpha = 0;
    return vertex;
}

// What the state-drawing callback draws: a text or an image of a list,
// placed by the State flags of CDC.
struct StateContent
{
    const char* text;
    HIMAGELIST images;
    int index;
    UINT flags;
};

// Where content of the given size goes in a cx by cy box: centred
// vertically (never above the top); left, right or centred horizontally
// (centred never left of 0); one pixel right and down when pressed.
POINT PlaceContent(const StateContent& content, int width, int height, int cx, int cy)
{
    POINT at;
    at.y = std::max(0, (cy - height) / 2);
    if (content.flags & CDC::StateLeft)
        at.x = 0;
    else if (content.flags & CDC::StateRight)
        at.x = cx - width;
    else
        at.x = std::max(0, (cx - width) / 2);
    if (content.flags & CDC::StatePressed)
    {
        ++at.x;
        ++at.y;
    }
    return at;
}

// DrawStateA calls this with the box's top-left at 0,0 of the context it
// passes (the target itself or its own scratch bitmap for the disabled and
// one-colour looks).
BOOL CALLBACK DrawStateContent(HDC dc, LPARAM data, WPARAM, int cx, int cy)
{
    const StateContent& content = *reinterpret_cast<const StateContent*>(data);
    if (content.text != nullptr)
    {
        RECT bounds = {0, 0, cx, cy};
        DrawTextA(dc, content.text, -1, &bounds, DT_CALCRECT | DT_EXPANDTABS);
        int width = bounds.right - bounds.left;
        int height = bounds.bottom - bounds.top;
        POINT at = PlaceContent(content, width, height, cx, cy);
        RECT place = {at.x, at.y, at.x + width, at.y + height};
        UINT format = DT_EXPANDTABS;
        // Wine 8 still underlines the prefix character with DT_HIDEPREFIX.
        if (content.flags & CDC::StateHidePrefix)
            format |= DT_HIDEPREFIX;
        int oldMode = 0;
        if (content.flags & CDC::StateTransparent)
            oldMode = SetBkMode(dc, TRANSPARENT);
        int drawn = DrawTextA(dc, content.text, -1, &place, format);
        if (oldMode != 0)
            SetBkMode(dc, oldMode);
        return drawn != 0;
    }

    int width = 0;
    int height = 0;
    if (!ImageList_GetIconSize(content.images, &width, &height))
        return FALSE;
    POINT at = PlaceContent(content, width, height, cx, cy);
    COLORREF oldBackground = CLR_NONE;
    bool transparent = (content.flags & CDC::StateTransparent) != 0;
    if (transparent)
        oldBackground = ImageList_SetBkColor(content.images, CLR_NONE);
    BOOL drawn = ImageList_Draw(content.images, content.index, dc, at.x, at.y, ILD_NORMAL);
    if (transparent)
        ImageList_SetBkColor(content.images, oldBackground);
    return drawn;
}

// The system's DSS_ flags for the framework's State flags.
UINT SystemStateFlags(UINT flags)
{
    return (flags & CDC::StateDisabled) ? DSS_DISABLED : DSS_NORMAL;
}

// Clamps a darkening factor of the shadow to 0.01 .. 1.0 and darkens the
// pixel by it. A pixel the context cannot give (CLR_INVALID: outside its
// bitmap or its clipping) is left alone rather than written as a colour made
// from that marker.
void ShadePixel(HDC dc, int x, int y, double factor)
{
    factor = std::min(1.0, std::max(0.01, factor));
    COLORREF pixel = GetPixel(dc, x, y);
    if (pixel == CLR_INVALID)
        return;
    SetPixelV(dc, x, y, color::Darken(pixel, factor));
}

// The factor along a band: full strength from the fifth pixel on, faded in
// over the first four.
double BandFactor(int strength, int position)
{
    if (position >= 4)
        return strength * 0.1 + 0.01;
    return strength * (position * 0.02) + 0.01;
}
} // namespace

GradientFillFunction CDC::GetGradientFillFunction()
{
    if (!g_gradientFillBound)
    {
        g_gradientFillBound = true;
        g_gradientFill = GetGradientLibrary().GetFunction<GradientFillFunction>("GradientFill");
    }
    return g_gradientFill;
}

void CDC::SetGradientFillFunction(GradientFillFunction function)
{
    g_gradientFillBound = true;
    g_gradientFill = function;
}

BOOL CDC::GradientFill(TRIVERTEX* vertices, ULONG vertexCount, void* mesh, ULONG meshCount,
                       ULONG mode)
{
    GradientFillFunction function = GetGradientFillFunction();
    if (function == nullptr)
        return 0;
    return function(m_hDC, vertices, vertexCount, mesh, meshCount, mode);
}

BOOL CDC::GradientRect(HDC dc, const RECT& rect, COLORREF color1, COLORREF color2, bool horizontal)
{
    GradientFillFunction function = GetGradientFillFunction();
    if (function == nullptr)
        return 0;
    // The first vertex is the top-left corner, the second the bottom-right.
    TRIVERTEX vertices[2] = {
        Vertex(rect.left, rect.top, horizontal ? color1 : color2),
        Vertex(rect.right, rect.bottom, horizontal ? color2 : color1),
    };
    GRADIENT_RECT mesh = {0, 1};
    return function(dc, vertices, 2, &mesh, 1,
                    horizontal ? GRADIENT_FILL_RECT_H : GRADIENT_FILL_RECT_V);
}

BOOL CDC::DrawState(const CPoint& position, const CSize& size, HBITMAP bitmap, UINT flags,
                    HBRUSH brush)
{
    return ::DrawStateA(m_hDC, brush, nullptr, reinterpret_cast<LPARAM>(bitmap), 0, position.x,
                      position.y, size.cx, size.cy, flags | DST_BITMAP);
}

BOOL CDC::DrawStateIcon(HICON icon, const CPoint& position, const CSize& size, UINT flags,
                        HBRUSH brush)
{
    return ::DrawStateA(m_hDC, brush, nullptr, reinterpret_cast<LPARAM>(icon), 0, position.x,
                      position.y, size.cx, size.cy, flags | DST_ICON);
}

BOOL CDC::DrawStateText(const char* text, const RECT& rect, UINT flags)
{
    if (text == nullptr)
        return FALSE;
    StateContent content = {text, nullptr, 0, flags};
    return ::DrawStateA(m_hDC, nullptr, DrawStateContent, reinterpret_cast<LPARAM>(&content), 0,
                      rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      DST_COMPLEX | SystemStateFlags(flags));
}

BOOL CDC::DrawStateImage(HIMAGELIST images, int index, const RECT& rect, UINT flags)
{
    if (images == nullptr)
        return FALSE;
    StateContent content = {nullptr, images, index, flags};
    return ::DrawStateA(m_hDC, nullptr, DrawStateContent, reinterpret_cast<LPARAM>(&content), 0,
                      rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top,
                      DST_COMPLEX | SystemStateFlags(flags));
}

BOOL CDC::DrawMonoImage(HIMAGELIST images, int index, const RECT& rect, COLORREF color, UINT flags)
{
    if (images == nullptr)
        return FALSE;
    CBrush brush(color);
    if (!brush.IsValid())
        return FALSE;
    StateContent content = {nullptr, images, index, flags};
    return ::DrawStateA(m_hDC, brush.GetSafeHandle(), DrawStateContent,
                      reinterpret_cast<LPARAM>(&content), 0, rect.left, rect.top,
                      rect.right - rect.left, rect.bottom - rect.top, DST_COMPLEX | DSS_MONO);
}

BOOL CDC::DrawImageState(HIMAGELIST images, int index, RECT& rect, UINT flags)
{
    // The shape drawings take the placement flags only: a one-colour shape
    // has no disabled look of its own.
    UINT shapeFlags = flags & ~(StateDisabled | StateOwnDisabled);
    const CSysColorTable& table = GetSysColorTable();
    if (flags & StateOwnDisabled)
    {
        OffsetRect(&rect, 1, 1);
        if (!DrawMonoImage(images, index, rect, table[7], shapeFlags))
            return FALSE;
        OffsetRect(&rect, -2, -2);
    }
    if (flags & StateDisabled)
        return DrawMonoImage(images, index, rect, table[6], shapeFlags);
    return DrawStateImage(images, index, rect, flags & ~StateOwnDisabled);
}

void DrawDropShadow(HDC dc, const RECT& rect)
{
    // Right band: five columns from four inside the right edge to the edge
    // itself, strength 4 down to 0, from the fifth row down to five rows
    // above the bottom.
    for (int k = 0; k <= 4; ++k)
    {
        int x = rect.right - 4 + k;
        int strength = 4 - k;
        for (int y = rect.top + 4; y <= rect.bottom - 5; ++y)
            ShadePixel(dc, x, y, BandFactor(strength, y - (rect.top + 4)));
        // The corner below it, fading out over four rows.
        for (int i = 0; i <= 3; ++i)
        {
            double factor = i == 0 ? strength * 0.1 + 0.01 : strength * (0.1 - i * 0.02) + 0.01;
            ShadePixel(dc, x, rect.bottom - 4 + i, factor);
        }
    }
    // Bottom band: the same along the bottom edge.
    for (int k = 0; k <= 4; ++k)
    {
        int y = rect.bottom - 4 + k;
        int strength = 4 - k;
        for (int x = rect.left + 4; x <= rect.right - 5; ++x)
            ShadePixel(dc, x, y, BandFactor(strength, x - (rect.left + 4)));
    }
}
