#include "foundation/Dc.h"

#include "foundation/FrameworkHooks.h"
#include "foundation/Window.h"

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

// A context from GetDC or GetWindowDC goes back with ReleaseDC on the window
// it came from. When that window is gone the system took its contexts back
// with it, and the handle may already serve another window: it is left
// alone then.
void ReleaseWindowContext(HWND window, HDC dc)
{
    if (dc != nullptr && (window == nullptr || IsWindow(window)))
        ReleaseDC(window, dc);
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

CGetDC::CGetDC(HWND window)
{
    if (window != nullptr && !IsWindow(window))
        window = nullptr;
    m_hWnd = window;
    m_hDC = GetDC(window);
}

CGetDC::CGetDC(CWindow* window) : CGetDC(LiveWindowOf(window)) {}

CGetDC::~CGetDC()
{
    TargetReleasing(m_hDC);
    ReleaseWindowContext(m_hWnd, Detach());
}

CWindowDC::CWindowDC(HWND window)
{
    if (window != nullptr && !IsWindow(window))
        window = nullptr;
    m_hWnd = window;
    m_hDC = GetWindowDC(window);
}

CWindowDC::CWindowDC(CWindow* window) : CWindowDC(LiveWindowOf(window)) {}

CWindowDC::~CWindowDC()
{
    TargetReleasing(m_hDC);
    ReleaseWindowContext(m_hWnd, Detach());
}

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
