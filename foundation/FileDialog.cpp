#include "foundation/FileDialog.h"

#include "foundation/Module.h"
#include "foundation/MultiMon.h"

#include <cstring>
#include <memory>

CCommonDialog::~CCommonDialog()
{
    m_position = CPoint();
}

LRESULT CCommonDialog::OnCommand(UINT, UINT, HWND)
{
    return NotHandled;
}

CFileDialog::CFileDialog() = default;

CFileDialog::~CFileDialog() = default;

void CFileDialog::SetFilter(const char* filter, int index)
{
    m_filter = filter;
    m_filterIndex = index;
}

LRESULT CFileDialog::OnNotify(NMHDR* header)
{
    if (header == nullptr)
        return NotHandled;
    auto* notify = reinterpret_cast<OFNOTIFYA*>(header);
    switch (header->code)
    {
    case CDN_TYPECHANGE:
        return OnTypeChange(notify);
    case CDN_FILEOK:
    case CDN_SHAREVIOLATION:
    {
        // The system reads the answer from DWLP_MSGRESULT, which the window
        // procedure makes it look at by returning 1 for a non-zero result.
        // An acceptance clears what an earlier refusal left there.
        int answer = header->code == CDN_FILEOK ? OnFileOK(notify) : OnShareViolation(notify);
        SetWindowLongPtrA(m_hWnd, DWLP_MSGRESULT, answer);
        return answer != 0 ? 1 : 0;
    }
    case CDN_HELP:
        return OnHelp(notify);
    case CDN_FOLDERCHANGE:
        return OnFolderChange(notify);
    case CDN_SELCHANGE:
        return OnSelChange(notify);
    case CDN_INITDONE:
        PlaceDialog();
        return OnInitDone(notify);
    default:
        return NotHandled;
    }
}

void CFileDialog::PlaceDialog()
{
    HWND dialog = GetParent(m_hWnd);
    if (dialog == nullptr)
        return;
    if (m_centerOnParent)
    {
        // The system's dialog window is not subclassed for this: it is
        // centred by its handle.
        CenterWindowOver(dialog, GetParent(dialog));
        return;
    }
    if (m_position.x == CW_USEDEFAULT)
        return;
    RECT bounds;
    if (!GetWindowRect(dialog, &bounds))
        return;
    // The monitor nearest to where the dialog is asked to go, so that a
    // position on a second monitor stays there.
    POINT requested = {m_position.x, m_position.y};
    RECT workArea;
    CMultiMon monitors;
    if (!monitors.GetWorkAreaNearPoint(requested, workArea))
        return;
    CPoint position = KeepInsideWorkArea(
        m_position, CSize(bounds.right - bounds.left, bounds.bottom - bounds.top), workArea);
    SetWindowPos(dialog, nullptr, position.x, position.y, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
}

bool CFileDialog::DoModal(CWindow* owner, const char* folder, const char* fileName, bool open,
                          DWORD flags, int x, int y)
{
    m_position = CPoint(x, y);

    // The results are stored only when the user chose: a cancelled run
    // leaves the folder and names of the last one.
    CString initialFolder;
    if (folder != nullptr)
        initialFolder = folder;
    else if (!m_folder.IsEmpty())
        initialFolder = m_folder;
    else
    {
        char current[BufferSize];
        DWORD length = GetCurrentDirectoryA(sizeof(current), current);
        if (length > 0 && length < sizeof(current))
            initialFolder = current;
    }

    // Two spare bytes beyond the size the system is told, so that a
    // multiple selection always ends in two NULs the parser can rely on.
    auto buffer = std::make_unique<char[]>(BufferSize + 2);
    std::memset(buffer.get(), 0, BufferSize + 2);
    const char* initialName = fileName;
    if (initialName == nullptr && m_fileNames.Find('\t') < 0)
        initialName = m_fileNames;
    if (initialName != nullptr)
        lstrcpynA(buffer.get(), initialName, BufferSize);

    const OSVERSIONINFOA& version = GetModuleState()->GetOSVersion();
    bool currentRecord = version.dwMajorVersion >= 5 ||
                         (version.dwMajorVersion == 4 && version.dwMinorVersion == 90);

    OPENFILENAMEA record = {};
    record.lStructSize =
        currentRecord ? sizeof(OPENFILENAMEA) : offsetof(OPENFILENAMEA, pvReserved);
    record.hwndOwner = owner != nullptr ? owner->GetSafeHwnd() : nullptr;
    record.hInstance = GetModuleState()->GetInstanceHandle();
    // An unset filter, title or extension is passed as null: the system then
    // uses its own title and appends no extension, and never reads a filter
    // list that has no double-NUL ending.
    record.lpstrFilter = m_filter;
    record.nFilterIndex = static_cast<DWORD>(m_filterIndex);
    record.lpstrFile = buffer.get();
    record.nMaxFile = BufferSize;
    record.lpstrInitialDir =
        initialFolder.IsEmpty() ? nullptr : static_cast<const char*>(initialFolder);
    record.lpstrTitle = m_title.IsEmpty() ? nullptr : static_cast<const char*>(m_title);
    record.lpstrDefExt =
        m_defaultExtension.IsEmpty() ? nullptr : static_cast<const char*>(m_defaultExtension);
    if (!open)
    {
        flags &= ~static_cast<DWORD>(OFN_ALLOWMULTISELECT);
        flags |= OFN_OVERWRITEPROMPT;
    }
    record.Flags = flags | OFN_EXPLORER | OFN_ENABLEHOOK;
    record.lCustData = reinterpret_cast<LPARAM>(this);
    record.lpfnHook = HookProc;

    if (!PreDoModal(&record))
        return false;
    BOOL chosen = open ? GetOpenFileNameA(&record) : GetSaveFileNameA(&record);
    if (!chosen)
        return false;

    CString chosenFolder;
    CString chosenNames;
    if (!ParseSelection(buffer.get(), BufferSize + 2, record.nFileOffset, chosenFolder,
                        chosenNames))
        return false;
    m_filterIndex = static_cast<int>(record.nFilterIndex);
    m_folder = chosenFolder;
    m_fileNames = chosenNames;
    return true;
}

bool CFileDialog::ParseSelection(const char* buffer, int size, WORD fileOffset, CString& folder,
                                 CString& names)
{
    if (buffer == nullptr || size <= 0 || fileOffset >= size)
        return false;
    int length = static_cast<int>(strnlen(buffer, static_cast<size_t>(size)));

    // Several names: the folder, a NUL, the names each ended by a NUL, and
    // an empty name. A single name (also the one name of a dialog that
    // allows several) is one path whose name starts at the offset, so the
    // byte before the offset is its separator, never a NUL.
    if (fileOffset > 0 && buffer[fileOffset - 1] == '\0')
    {
        CString joined("");
        for (int at = fileOffset; at < size && buffer[at] != '\0';)
        {
            int nameLength = static_cast<int>(strnlen(buffer + at, static_cast<size_t>(size - at)));
            if (!joined.IsEmpty())
                joined += '\t';
            joined += CString(buffer + at, nameLength);
            at += nameLength + 1;
        }
        folder = CString(buffer, length);
        names = joined;
        return true;
    }
    if (fileOffset > length)
        return false;
    folder = CString(buffer, fileOffset > 0 ? fileOffset - 1 : 0);
    names = CString(buffer + fileOffset, length - fileOffset);
    return true;
}

int CFileDialog::GetNextFileName(int position, CString& name) const
{
    return m_fileNames.Tokenize('\t', position, name);
}

UINT_PTR CALLBACK CFileDialog::HookProc(HWND window, UINT message, WPARAM, LPARAM lParam)
{
    if (message != WM_INITDIALOG || lParam == 0)
        return 0;
    auto* record = reinterpret_cast<OPENFILENAMEA*>(lParam);
    // Only a live framework object is believed: custom data that is not one
    // binds nothing.
    void* candidate = reinterpret_cast<void*>(record->lCustData);
    if (!g_windowList.Contains(candidate))
        return 0;
    auto* object = dynamic_cast<CFileDialog*>(static_cast<CWindow*>(candidate));
    if (object != nullptr)
        object->Attach(window, false);
    return 0;
}
