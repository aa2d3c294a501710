#include "skin/CustomFileDirTree.h"

#include "foundation/FileFind.h"
#include "foundation/Module.h"

#include <shellapi.h>

#include <algorithm>

namespace
{
// SetErrorMode(SEM_FAILCRITICALERRORS) for the object's life: no system
// box asks for a disk while drives are searched.
class CriticalErrorsOff
{
public:
    CriticalErrorsOff() : m_previous(SetErrorMode(SEM_FAILCRITICALERRORS)) {}
    ~CriticalErrorsOff() { SetErrorMode(m_previous); }
    CriticalErrorsOff(const CriticalErrorsOff&) = delete;
    CriticalErrorsOff& operator=(const CriticalErrorsOff&) = delete;

private:
    UINT m_previous;
};

CString WithBackslash(const CString& path)
{
    if (path.IsEmpty() || path[path.GetLength() - 1] != '\\')
        return path + "\\";
    return path;
}

bool IsDotsName(const char* name)
{
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// The non-empty parts between backslashes (or semicolons), in order.
std::vector<CString> SplitAt(const CString& text, char separator)
{
    std::vector<CString> parts;
    int start = 0;
    while (start < text.GetLength())
    {
        int end = text.Find(separator, start);
        if (end < 0)
            end = text.GetLength();
        CString part = text.Mid(start, end - start);
        if (!part.IsEmpty())
            parts.push_back(part);
        start = end + 1;
    }
    return parts;
}

std::vector<CString> SplitAtBackslashes(const CString& text) { return SplitAt(text, '\\'); }

bool LessNoCase(const CString& left, const CString& right)
{
    return left.CompareNoCase(right) < 0;
}

void SortAndDropRepeats(std::vector<CString>& paths)
{
    std::sort(paths.begin(), paths.end(), LessNoCase);
    // A file matching two patterns was collected twice: keep one.
    paths.erase(std::unique(paths.begin(), paths.end(),
                            [](const CString& a, const CString& b) {
                                return a.CompareNoCase(b) == 0;
                            }),
                paths.end());
}

// The text of a node, read with a 4,096-character buffer.
CString ItemText(HWND tree, HTREEITEM node)
{
    char buffer[4096] = {};
    TVITEMA item = {};
    item.mask = TVIF_TEXT;
    item.hItem = node;
    item.pszText = buffer;
    item.cchTextMax = sizeof(buffer);
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return CString();
    return CString(buffer);
}

bool ItemData(HWND tree, HTREEITEM node, LPARAM& data)
{
    TVITEMA item = {};
    item.mask = TVIF_PARAM;
    item.hItem = node;
    if (!SendMessageA(tree, TVM_GETITEMA, 0, reinterpret_cast<LPARAM>(&item)))
        return false;
    data = item.lParam;
    return true;
}
} // namespace

// --- CNetworkEnumerator ---

DWORD CNetworkEnumerator::Open(NETRESOURCEA* container, HANDLE* enumeration)
{
    return WNetOpenEnumA(RESOURCE_GLOBALNET, RESOURCETYPE_ANY, 0, container, enumeration);
}

DWORD CNetworkEnumerator::Next(HANDLE enumeration, DWORD* count, void* buffer, DWORD* size)
{
    return WNetEnumResourceA(enumeration, count, buffer, size);
}

DWORD CNetworkEnumerator::Close(HANDLE enumeration)
{
    return WNetCloseEnum(enumeration);
}

// --- CCustomFileDirTree ---

CCustomFileDirTree::CCustomFileDirTree() = default;

void CCustomFileDirTree::SetNetworkEnumerator(CNetworkEnumerator* enumerator)
{
    m_network = enumerator != nullptr ? enumerator : &m_mpr;
}

void CCustomFileDirTree::SetRedraw(bool on)
{
    SendMessageA(m_hWnd, WM_SETREDRAW, on ? TRUE : FALSE, 0);
}

std::vector<CString> CCustomFileDirTree::FilterPatterns() const
{
    return SplitAt(m_filter.IsEmpty() ? CString("*.*") : m_filter, ';');
}

bool CCustomFileDirTree::LookupIcons(const char* path, int& image, int& selectedImage)
{
    SHFILEINFOA info = {};
    if (!SHGetFileInfoA(path, 0, &info, sizeof(info), SHGFI_ICON | SHGFI_SMALLICON))
        return false;
    DestroyIcon(info.hIcon);
    image = info.iIcon;
    SHFILEINFOA open = {};
    if (!SHGetFileInfoA(path, 0, &open, sizeof(open),
                        SHGFI_ICON | SHGFI_SMALLICON | SHGFI_OPENICON))
        return false;
    DestroyIcon(open.hIcon);
    selectedImage = open.iIcon;
    return true;
}

HTREEITEM CCustomFileDirTree::InsertItem(HTREEITEM parent, const char* path, bool nameOnly,
                                         const char* displayName)
{
    int image = 0;
    int selectedImage = 0;
    if (!LookupIcons(path, image, selectedImage))
        return nullptr;
    return InsertLookedUp(parent, path, nameOnly, displayName, image, selectedImage);
}

HTREEITEM CCustomFileDirTree::InsertLookedUp(HTREEITEM parent, const char* path, bool nameOnly,
                                             const char* displayName, int image,
                                             int selectedImage)
{
    CString text = path;
    if (nameOnly)
    {
        CString name = text;
        if (!name.IsEmpty() && name[name.GetLength() - 1] == '\\')
            name.Truncate(name.GetLength() - 1);
        int slash = name.ReverseFind('\\');
        // A drive root ("C:\") has no backslash left and keeps its text.
        text = slash >= 0 ? name.Mid(slash + 1) : name + "\\";
    }
    LPARAM data = 0;
    if (displayName != nullptr)
    {
        data = static_cast<unsigned char>(text[0]);
        text = displayName;
    }
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = nullptr;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>(static_cast<const char*>(text));
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    insert.item.lParam = data;
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

HTREEITEM CCustomFileDirTree::InsertPlaceholder(HTREEITEM parent)
{
    TVINSERTSTRUCTA insert = {};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_PARAM;
    insert.item.pszText = const_cast<char*>("");
    return reinterpret_cast<HTREEITEM>(
        SendMessageA(m_hWnd, TVM_INSERTITEMA, 0, reinterpret_cast<LPARAM>(&insert)));
}

void CCustomFileDirTree::DeleteChildren(HTREEITEM node)
{
    HTREEITEM child = TreeView_GetChild(m_hWnd, node);
    while (child != nullptr)
    {
        HTREEITEM next = TreeView_GetNextSibling(m_hWnd, child);
        TreeView_DeleteItem(m_hWnd, child);
        child = next;
    }
}

bool CCustomFileDirTree::DisplayTree(const char* root)
{
    if (!m_refilling)
        SetRedraw(false);
    TreeView_SelectItem(m_hWnd, nullptr);
    TreeView_DeleteItem(m_hWnd, TVI_ROOT);
    if (!m_refilling)
        SetRedraw(true);

    HIMAGELIST system = GetModuleState()->GetSystemSmallImageList();
    if (system == nullptr)
    {
        SHFILEINFOA info = {};
        // The call's result is the list itself: pointer-sized.
        system = reinterpret_cast<HIMAGELIST>(
            SHGetFileInfoA("C:\\", 0, &info, sizeof(info), SHGFI_SYSICONINDEX | SHGFI_SMALLICON));
    }
    if (TreeView_GetImageList(m_hWnd, TVSIL_NORMAL) != system)
        TreeView_SetImageList(m_hWnd, system, TVSIL_NORMAL);
    ModifyStyle(TVS_TRACKSELECT, 0);

    if (root != nullptr && root[0] != 0)
    {
        m_rootFolder = root;
        CString text = WithBackslash(m_rootFolder);
        HTREEITEM node = nullptr;
        {
            // The root may be a drive's: no box asks for its disk.
            CriticalErrorsOff quiet;
            node = InsertItem(TVI_ROOT, text, false, nullptr);
        }
        if (node == nullptr)
            return false;
        if (!HasChildren(node))
            return true;
        return InsertPlaceholder(node) != nullptr;
    }
    m_rootFolder.Empty();
    bool drives = FillDrives();
    // A failing network walk leaves the drives in place.
    EnumNetwork(nullptr);
    return drives;
}

bool CCustomFileDirTree::FillDrives()
{
    TreeView_DeleteItem(m_hWnd, TVI_ROOT);
    DWORD mask = GetLogicalDrives();
    bool complete = true;
    for (int bit = 0; bit < 32; ++bit)
    {
        if ((mask & (1u << bit)) == 0)
            continue;
        CString drive;
        drive.Format("%c:\\", 'A' + bit);
        SHFILEINFOA info = {};
        HTREEITEM node = nullptr;
        {
            // Both lookups, the name and the icons, may touch an empty
            // drive.
            CriticalErrorsOff quiet;
            SHGetFileInfoA(drive, 0, &info, sizeof(info), SHGFI_DISPLAYNAME);
            node = InsertItem(TVI_ROOT, drive, true, info.szDisplayName);
        }
        // A drive that cannot be listed hides none after it.
        if (node == nullptr || InsertPlaceholder(node) == nullptr)
            complete = false;
    }
    return complete;
}

bool CCustomFileDirTree::EnumNetwork(NETRESOURCEA* container)
{
    HANDLE enumeration = nullptr;
    if (m_network->Open(container, &enumeration) != NO_ERROR)
        return false;
    constexpr DWORD BufferSize = 16384;
    auto* buffer = static_cast<NETRESOURCEA*>(LocalAlloc(LPTR, BufferSize));
    if (buffer == nullptr)
    {
        m_network->Close(enumeration);
        return false;
    }
    DWORD wanted = 0xFFFFFFFF;
    DWORD result = NO_ERROR;
    for (;;)
    {
        DWORD count = wanted;
        DWORD size = BufferSize;
        ZeroMemory(buffer, BufferSize);
        result = m_network->Next(enumeration, &count, buffer, &size);
        if (result != NO_ERROR)
            break;
        for (DWORD i = 0; i < count; ++i)
        {
            NETRESOURCEA& entry = buffer[i];
            // Provider and some container entries have no remote name:
            // nothing to show, but their contents still count.
            if (entry.lpRemoteName != nullptr)
                InsertItem(TVI_ROOT, entry.lpRemoteName, false, nullptr);
            if (entry.dwUsage & RESOURCEUSAGE_CONTAINER)
                EnumNetwork(&entry);
        }
        wanted = count;
    }
    LocalFree(buffer);
    bool closed = m_network->Close(enumeration) == NO_ERROR;
    return result == ERROR_NO_MORE_ITEMS && closed;
}

bool CCustomFileDirTree::HasChildren(HTREEITEM node)
{
    CString folder = GetItemPath(node);
    DWORD error = 0;
    {
        CriticalErrorsOff quiet;
        CFileFinder finder;
        bool found = finder.FindFile(folder + "*.*");
        while (found)
        {
            const WIN32_FIND_DATAA& data = finder.GetFindData();
            if (!Skipped(data.dwFileAttributes) && !IsDotsName(data.cFileName) &&
                data.cFileName[0] != 0 && (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                return true;
            found = finder.FindNextFile();
        }
        error = finder.GetError();
    }
    if (error == ERROR_NOT_READY || !m_showFiles)
        return false;
    for (const CString& pattern : FilterPatterns())
    {
        CFileFinder finder;
        bool found = finder.FindFile(folder + pattern);
        while (found)
        {
            const WIN32_FIND_DATAA& data = finder.GetFindData();
            if (!Skipped(data.dwFileAttributes) && !IsDotsName(data.cFileName) &&
                data.cFileName[0] != 0)
                return true;
            found = finder.FindNextFile();
        }
    }
    return false;
}

bool CCustomFileDirTree::FillChildren(HTREEITEM node)
{
    CWaitCursor wait;
    CString folder = GetItemPath(node);
    std::vector<CString> folders;
    std::vector<CString> files;
    {
        CriticalErrorsOff quiet;
        CFileFinder finder;
        bool found = finder.FindFile(folder + "*.*");
        while (found)
        {
            const WIN32_FIND_DATAA& data = finder.GetFindData();
            if (!Skipped(data.dwFileAttributes) && !IsDotsName(data.cFileName) &&
                (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                folders.push_back(folder + data.cFileName);
            found = finder.FindNextFile();
        }
        if (finder.GetError() == ERROR_NOT_READY)
            return false;
    }
    if (m_showFiles)
    {
        for (const CString& pattern : FilterPatterns())
        {
            CFileFinder finder;
            bool found = finder.FindFile(folder + pattern);
            while (found)
            {
                const WIN32_FIND_DATAA& data = finder.GetFindData();
                if (!Skipped(data.dwFileAttributes) && !IsDotsName(data.cFileName) &&
                    !(data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY))
                    files.push_back(folder + data.cFileName);
                found = finder.FindNextFile();
            }
        }
    }
    SortAndDropRepeats(folders);
    SortAndDropRepeats(files);

    if (!m_refilling)
        SetRedraw(false);
    // An entry the shell cannot look up (it vanished, or its name is odd) is
    // left out; one the tree cannot take is skipped and reported; either
    // way its siblings are still listed.
    bool complete = true;
    const auto insert = [this, node, &complete](const CString& path) -> HTREEITEM
    {
        int image = 0;
        int selectedImage = 0;
        if (!LookupIcons(path, image, selectedImage))
            return nullptr;
        HTREEITEM child = InsertLookedUp(node, path, true, nullptr, image, selectedImage);
        if (child == nullptr)
            complete = false;
        return child;
    };
    for (const CString& path : folders)
    {
        HTREEITEM child = insert(path);
        if (child != nullptr && HasChildren(child) && InsertPlaceholder(child) == nullptr)
            complete = false;
    }
    for (const CString& path : files)
        insert(path);
    if (!m_refilling)
    {
        SetRedraw(true);
        UpdateWindow(m_hWnd);
    }
    return complete;
}

CString CCustomFileDirTree::GetItemPath(HTREEITEM node)
{
    CString path;
    while (node != nullptr)
    {
        LPARAM data = 0;
        CString part;
        if (ItemData(m_hWnd, node, data) && data != 0)
            part.Format("%c:\\", static_cast<char>(data));
        else
            part = WithBackslash(ItemText(m_hWnd, node));
        path = part + path;
        node = TreeView_GetParent(m_hWnd, node);
    }
    return path;
}

bool CCustomFileDirTree::GetSelectedPath(CString& path)
{
    HTREEITEM node = TreeView_GetSelection(m_hWnd);
    LPARAM data = 0;
    if (node == nullptr || !ItemData(m_hWnd, node, data))
        return false;
    path = GetItemPath(node);
    if (data != 0)
        return true;
    DWORD attributes = GetFileAttributesA(path);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return true;
    if (path.IsEmpty() || path[path.GetLength() - 1] != '\\')
        return true;
    path.Truncate(path.GetLength() - 1);
    return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

bool CCustomFileDirTree::SelectPath(const char* path)
{
    CString whole = path != nullptr ? path : "";
    HTREEITEM top = TreeView_GetRoot(m_hWnd);
    HTREEITEM current = nullptr;
    // Under a root folder the one top node's text is the root's whole path:
    // it matches the path's leading parts at once.
    if (!m_rootFolder.IsEmpty() && top != nullptr)
    {
        CString rootText = WithBackslash(m_rootFolder);
        CString wanted = WithBackslash(whole);
        if (wanted.Left(rootText.GetLength()).CompareNoCase(rootText) == 0)
        {
            whole = wanted.Mid(rootText.GetLength());
            current = top;
            TreeView_Expand(m_hWnd, top, TVE_EXPAND);
        }
    }
    std::vector<CString> parts = SplitAtBackslashes(whole);
    HTREEITEM deepest = current;
    for (size_t index = 0; index < parts.size(); ++index)
    {
        HTREEITEM child = current == nullptr ? top : TreeView_GetChild(m_hWnd, current);
        HTREEITEM match = nullptr;
        for (; child != nullptr; child = TreeView_GetNextSibling(m_hWnd, child))
        {
            LPARAM data = 0;
            CString text;
            if (ItemData(m_hWnd, child, data) && data != 0)
                text.Format("%c:", static_cast<char>(data));
            else
                text = ItemText(m_hWnd, child);
            if (text.CompareNoCase(parts[index]) == 0)
            {
                match = child;
                break;
            }
        }
        if (match == nullptr)
            break;
        TreeView_Expand(m_hWnd, match, TVE_EXPAND);
        current = deepest = match;
        if (index + 1 == parts.size())
        {
            TreeView_SelectItem(m_hWnd, match);
            return true;
        }
    }
    if (deepest != nullptr)
        TreeView_SelectItem(m_hWnd, deepest);
    return true;
}

void CCustomFileDirTree::SetShowFiles(bool show)
{
    int flag = show ? 1 : 0;
    if (TreeView_GetCount(m_hWnd) == 0 || m_hWnd == nullptr)
    {
        m_showFiles = flag;
        return;
    }
    if (flag == m_showFiles)
        return;
    SetRedraw(false);
    m_refilling = 1;
    m_showFiles = flag;
    CString selected;
    GetSelectedPath(selected);
    DisplayTree(m_rootFolder);
    SelectPath(selected);
    m_refilling = 0;
    SetRedraw(true);
    UpdateWindow(m_hWnd);
}

LRESULT CCustomFileDirTree::OnItemExpanding(NMTREEVIEWA* info, int&)
{
    if (info == nullptr)
        return 0;
    HTREEITEM node = info->itemNew.hItem;
    LPARAM data = 0;
    ItemData(m_hWnd, node, data);
    if (!(info->itemNew.state & TVIS_EXPANDED) && data != 0 && !HasChildren(node))
    {
        ReportEmptyFolder(GetItemPath(node));
        return 1;
    }
    return 0;
}

void CCustomFileDirTree::PaintPlaceholderText(HTREEITEM node)
{
    HTREEITEM placeholder = TreeView_GetChild(m_hWnd, node);
    RECT line = {};
    RECT text = {};
    if (placeholder != nullptr && TreeView_GetItemRect(m_hWnd, placeholder, &line, FALSE) &&
        TreeView_GetItemRect(m_hWnd, placeholder, &text, TRUE))
    {
        RECT area = text;
        area.left -= GetSystemMetrics(SM_CXSMICON) + 3;
        area.right = line.right;
        CGetDC dc(m_hWnd);
        HFONT font = reinterpret_cast<HFONT>(SendMessageA(m_hWnd, WM_GETFONT, 0, 0));
        HGDIOBJ previous = font != nullptr ? SelectObject(dc, font) : nullptr;
        COLORREF back = TreeView_GetBkColor(m_hWnd);
        if (back == CLR_NONE || back == static_cast<COLORREF>(-1))
            back = GetSysColor(COLOR_WINDOW);
        dc.FillSolidRect(area, back);
        DrawPlaceholder(&dc, area);
        if (previous != nullptr)
            SelectObject(dc, previous);
    }
}

LRESULT CCustomFileDirTree::OnItemExpanded(NMTREEVIEWA* info, int&)
{
    if (info == nullptr)
        return 0;
    HTREEITEM node = info->itemNew.hItem;
    if (!(info->itemNew.state & TVIS_EXPANDED))
    {
        DeleteChildren(node);
        InsertPlaceholder(node);
        // Without this the tree never notifies again for the node, and a
        // programmatic expand (SelectPath) would leave it with its
        // placeholder only.
        TreeView_SetItemState(m_hWnd, node, 0, TVIS_EXPANDEDONCE);
        return 0;
    }
    if (!m_refilling)
    {
        SetRedraw(true);
        UpdateWindow(m_hWnd);
    }
    PaintPlaceholderText(node);
    DeleteChildren(node);
    FillChildren(node);
    return 0;
}

COLORREF CCustomFileDirTree::ResolvePlaceholderColor()
{
    if (m_placeholderColor != CLR_DEFAULT)
        return m_placeholderColor;
    COLORREF color = TreeView_GetTextColor(m_hWnd);
    if (color == CLR_DEFAULT || color == CLR_NONE)
        color = GetSysColor(COLOR_WINDOWTEXT);
    return color;
}

void CCustomFileDirTree::DrawPlaceholder(CDC* dc, const RECT& area)
{
    HDC hdc = dc->GetSafeHdc();
    COLORREF previous = SetTextColor(hdc, ResolvePlaceholderColor());
    int oldMode = SetBkMode(hdc, TRANSPARENT);
    SIZE size = {};
    GetTextExtentPoint32A(hdc, " ", 1, &size);
    int height = area.bottom - area.top;
    TextOutA(hdc, area.left + 2, area.top + height / 2 - size.cy / 2, m_placeholderText,
             m_placeholderText.GetLength());
    SetBkMode(hdc, oldMode);
    SetTextColor(hdc, previous);
}

void CCustomFileDirTree::ReportEmptyFolder(CString) {}

LRESULT CCustomFileDirTree::OnPaint(CDC* dc)
{
    if (!m_doubleBuffer)
        return NotHandled;
    CRect client = GetClientRect();
    if (dc != nullptr)
    {
        CBufferDC buffer(*dc, *static_cast<const RECT*>(client));
        CTreeView::WindowProc(WM_ERASEBKGND, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
        CTreeView::WindowProc(WM_PAINT, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
        return 0;
    }
    CPaintDC paint(m_hWnd);
    {
        CBufferDC buffer(paint, *static_cast<const RECT*>(client));
        CTreeView::WindowProc(WM_ERASEBKGND, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
        CTreeView::WindowProc(WM_PAINT, reinterpret_cast<WPARAM>(buffer.GetSafeHdc()), 0);
    }
    return 0;
}

LRESULT CCustomFileDirTree::OnEraseBkgnd(CDC*)
{
    return m_doubleBuffer ? 0 : NotHandled;
}

LRESULT CCustomFileDirTree::WindowProc(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_PRINTCLIENT)
    {
        if (lParam & PRF_ERASEBKGND)
            SendMessageA(m_hWnd, WM_ERASEBKGND, wParam, 0);
        if (lParam & PRF_CLIENT)
            SendMessageA(m_hWnd, WM_PAINT, wParam, 0);
        return 0;
    }
    return CTreeView::WindowProc(message, wParam, lParam);
}
