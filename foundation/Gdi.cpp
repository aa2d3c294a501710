#include "foundation/Gdi.h"

#include "foundation/FrameworkHooks.h"

#include <algorithm>

namespace
{
CGdiHandle* FindGdiObject(const CNodeList& list, HGDIOBJ handle)
{
    for (CNode* node = list.GetHead(); node != nullptr; node = node->GetNext())
    {
        CGdiHandle* object = static_cast<CGdiHandle*>(node);
        if (object->GetHandle() == handle)
            return object;
    }
    return nullptr;
}

int LightenChannel(int channel, double factor)
{
    return static_cast<int>(channel + (255 - channel) * factor);
}

int DarkenChannel(int channel, double factor)
{
    return static_cast<int>(channel - channel * factor);
}

// GetObjectA of a whole structure: false, and out untouched, when the
// handle is null or the system gave anything else.
template <class T> bool ReadObject(HGDIOBJ handle, T& out)
{
    T read;
    if (handle == nullptr || GetObjectA(handle, sizeof(read), &read) != sizeof(read))
        return false;
    out = read;
    return true;
}

CSysColorTable g_sysColorTable;
} // namespace

CGdiHandle::CGdiHandle(HGDIOBJ handle, bool owns) : m_hObject(handle), m_ownsHandle(owns ? 1 : 0)
{
    g_gdiList.AddHead(this);
}

CGdiHandle::~CGdiHandle()
{
    // Not the virtual DeleteObject: the derived parts are gone by now.
    if (m_hObject != nullptr && m_ownsHandle)
        ::DeleteObject(m_hObject);
    m_hObject = nullptr;
    if (!g_gdiList.Remove(this))
        g_temporaryGdiList.Remove(this);
}

bool CGdiHandle::DeleteObject()
{
    bool deleted = true;
    if (m_hObject != nullptr && m_ownsHandle)
        deleted = ::DeleteObject(m_hObject) != FALSE;
    m_hObject = nullptr;
    return deleted;
}

bool CGdiHandle::Attach(HGDIOBJ handle, bool owns)
{
    bool result = DeleteObject();
    m_hObject = handle;
    m_ownsHandle = owns ? 1 : 0;
    return result;
}

HGDIOBJ CGdiHandle::Detach()
{
    HGDIOBJ handle = m_hObject;
    m_hObject = nullptr;
    m_ownsHandle = 1;
    return handle;
}

CGdiHandle* CGdiHandle::FromHandle(HGDIOBJ handle)
{
    if (handle == nullptr)
        return nullptr;
    CGdiHandle* object = FindGdiObject(g_gdiList, handle);
    if (object == nullptr)
        object = FindGdiObject(g_temporaryGdiList, handle);
    if (object != nullptr)
        return object;
    object = new CGdiHandle(handle, false);
    g_gdiList.Remove(object);
    g_temporaryGdiList.AddHead(object);
    return object;
}

void CGdiHandle::DestroyTemporaryObjects()
{
    while (CNode* node = g_temporaryGdiList.GetHead())
    {
        g_temporaryGdiList.Remove(node);
        // A temporary wrapper never owns its handle; clearing it first keeps
        // that true whatever was done to the wrapper meanwhile.
        static_cast<CGdiHandle*>(node)->Detach();
        delete node;
    }
}

void DestroyTemporaryGdiObjects()
{
    CGdiHandle::DestroyTemporaryObjects();
}

bool CBrush::CreateSolidBrush(COLORREF color)
{
    Attach(::CreateSolidBrush(color), true);
    return IsValid();
}

bool CBrush::CreateSysColorBrush(int index)
{
    return CreateSolidBrush(GetSysColor(index));
}

bool CPen::CreatePen(int style, int width, COLORREF color)
{
    Attach(::CreatePen(style, width, color), true);
    return IsValid();
}

bool CFont::CreateFontIndirect(const LOGFONTA& logFont)
{
    Attach(::CreateFontIndirectA(&logFont), true);
    return IsValid();
}

bool CFont::CreateCopy(HFONT font)
{
    LOGFONTA logFont;
    if (!ReadObject(font, logFont))
    {
        Attach(nullptr, true);
        return false;
    }
    return CreateFontIndirect(logFont);
}

bool CFont::CreateStockObject(int index)
{
    HGDIOBJ stock = ::GetStockObject(index);
    if (stock == nullptr || GetObjectType(stock) != OBJ_FONT)
    {
        Attach(nullptr, true);
        return false;
    }
    // Stock objects are shared by the whole system: never deleted.
    Attach(stock, false);
    return true;
}

bool CFont::GetLogFont(LOGFONTA& logFont) const
{
    return ReadObject(m_hObject, logFont);
}

bool CBitmap::CreateCompatibleBitmap(HDC dc, int width, int height)
{
    Attach(::CreateCompatibleBitmap(dc, width, height), true);
    return IsValid();
}

bool CBitmap::GetBitmap(BITMAP& bitmap) const
{
    return ReadObject(m_hObject, bitmap);
}

bool CRgn::CreateRectRgn(int left, int top, int right, int bottom)
{
    Attach(::CreateRectRgn(left, top, right, bottom), true);
    return IsValid();
}

bool CRgn::CreatePolygonRgn(const POINT* points, int count, int fillMode)
{
    Attach(points != nullptr && count > 0 ? ::CreatePolygonRgn(points, count, fillMode) : nullptr,
           true);
    return IsValid();
}

bool CRgn::CreateRoundRectRgn(int left, int top, int right, int bottom, int ellipseWidth,
                              int ellipseHeight)
{
    Attach(::CreateRoundRectRgn(left, top, right, bottom, ellipseWidth, ellipseHeight), true);
    return IsValid();
}

int CRgn::OffsetRgn(int x, int y)
{
    if (m_hObject == nullptr)
        return ERROR;
    return ::OffsetRgn(GetSafeHandle(), x, y);
}

int CRgn::CombineRgn(const CRgn& first, const CRgn& second, int mode)
{
    if (m_hObject == nullptr && !CreateRectRgn(0, 0, 0, 0))
        return ERROR;
    return ::CombineRgn(GetSafeHandle(), first.GetSafeHandle(), second.GetSafeHandle(), mode);
}

int CRgn::CopyRgn(const CRgn& source)
{
    return CombineRgn(source, source, RGN_COPY);
}

bool CRgn::EqualRgn(const CRgn& other) const
{
    if (m_hObject == nullptr || other.m_hObject == nullptr)
        return false;
    return ::EqualRgn(GetSafeHandle(), other.GetSafeHandle()) != FALSE;
}

void CHlsColor::SetRGB(COLORREF color)
{
    m_red = GetRValue(color);
    m_green = GetGValue(color);
    m_blue = GetBValue(color);
    int largest = std::max({m_red, m_green, m_blue});
    int smallest = std::min({m_red, m_green, m_blue});
    m_luminance = static_cast<WORD>(((largest + smallest) * 240 + 255) / 510);
}

COLORREF color::Lighten(COLORREF color, double factor)
{
    return Lighten(color, factor, factor, factor);
}

COLORREF color::Lighten(COLORREF color, double redFactor, double greenFactor, double blueFactor)
{
    return RGB(LightenChannel(GetRValue(color), redFactor),
               LightenChannel(GetGValue(color), greenFactor),
               LightenChannel(GetBValue(color), blueFactor));
}

COLORREF color::Darken(COLORREF color, double factor)
{
    return RGB(DarkenChannel(GetRValue(color), factor), DarkenChannel(GetGValue(color), factor),
               DarkenChannel(GetBValue(color), factor));
}

void CSysColorTable::Update()
{
    COLORREF highlight = GetSysColor(COLOR_HIGHLIGHT);
    COLORREF grayText = GetSysColor(COLOR_GRAYTEXT);
    COLORREF face = color::Lighten(GetSysColor(COLOR_BTNFACE), 0.2);
    COLORREF paleFace = color::Lighten(face, 0.83);

    m_colors[0] = highlight;
    m_colors[1] = color::Lighten(highlight, 0.7);
    m_colors[2] = highlight;
    m_colors[3] = color::Lighten(highlight, 0.83, 0.81, 0.74);
    m_colors[4] = color::Lighten(highlight, 0.5);
    m_colors[5] = face;
    m_colors[6] = grayText;
    m_colors[7] = color::Lighten(highlight, 0.3);
    m_colors[8] = GetSysColor(COLOR_MENUTEXT);
    m_colors[9] = color::Lighten(grayText, 0.3);
    m_colors[10] = paleFace;
    m_colors[11] = color::Lighten(grayText, 0.3);
    m_colors[12] = color::Darken(GetSysColor(COLOR_BTNSHADOW), 0.2);
    m_colors[13] = grayText;
    m_colors[14] = grayText;
    m_colors[15] = paleFace;
    m_colors[16] = paleFace;
    m_colors[17] = face;
    m_built = true;
}

COLORREF CSysColorTable::operator[](int index) const
{
    if (index < 0 || index >= Count)
        return CLR_INVALID;
    return m_colors[index];
}

CSysColorTable& GetSysColorTable()
{
    if (!g_sysColorTable.IsBuilt())
        g_sysColorTable.Update();
    return g_sysColorTable;
}

void RebuildSysColorTable()
{
    g_sysColorTable.Update();
}
