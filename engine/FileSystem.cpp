#include "engine/FileSystem.h"

#include "foundation/File.h"
#include "foundation/FileFind.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>
#include <vector>

namespace
{
bool IsNotFound(DWORD code)
{
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND ||
           code == ERROR_NO_MORE_FILES;
}

// Removes a junction, mount point or symbolic link itself. The link is
// opened as a reparse point and deleted through that handle, after the
// handle has shown that it is the link and not its target: Wine 8 opens the
// target even when asked for the reparse point (and its RemoveDirectoryA,
// DeleteFileA and shell deletions also act on the target), so there the
// link is refused instead.
DWORD RemoveLinkItself(const CString& path)
{
    HANDLE link = CreateFileA(
        path, DELETE | FILE_READ_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (link == INVALID_HANDLE_VALUE)
        return GetLastError();
    DWORD result = NO_ERROR;
    FILE_ATTRIBUTE_TAG_INFO tag = {};
    if (!GetFileInformationByHandleEx(link, FileAttributeTagInfo, &tag, sizeof(tag)))
    {
        result = GetLastError();
    }
    else if (!(tag.FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        result = ERROR_NOT_A_REPARSE_POINT;
    }
    else
    {
        FILE_DISPOSITION_INFO disposition = {};
        disposition.DeleteFile = TRUE;
        if (!SetFileInformationByHandle(link, FileDispositionInfo, &disposition,
                                        sizeof(disposition)))
            result = GetLastError();
    }
    CloseHandle(link);
    return result;
}

DWORD DeleteOneFile(const CString& path)
{
    SetFileAttributesA(path, FILE_ATTRIBUTE_NORMAL);
    if (!DeleteFileA(path))
        return GetLastError();
    return NO_ERROR;
}

bool EndsWithTse(const char* name)
{
    size_t length = std::strlen(name);
    return length >= 4 && _stricmp(name + length - 4, ".tse") == 0;
}

// Deletes the entries of `folder` matching `pattern` whose names pass
// `accept` (every name when null). `found` tells whether the search found
// anything at all. 0, or the code of the first failure.
DWORD DeleteEntries(const CString& folder, const char* pattern, bool (*accept)(const char*),
                    bool& found)
{
    CFileFinder finder;
    found = finder.FindFile(folder + "\\" + pattern);
    if (!found)
        return IsNotFound(finder.GetError()) ? NO_ERROR : finder.GetError();
    do
    {
        if (finder.IsDots())
            continue;
        CString name;
        CString path;
        if (!finder.GetFileName(name) || !finder.GetFilePath(path))
            return ERROR_NOT_ENOUGH_MEMORY;
        if (accept != nullptr && !accept(name))
            continue;
        DWORD result;
        if (finder.IsReparsePoint())
            result = RemoveLinkItself(path);
        else if (finder.IsDirectory())
            result = DeleteFolderTree(path);
        else
            result = DeleteOneFile(path);
        if (result != NO_ERROR)
            return result;
    } while (finder.FindNextFile());
    // Only the end of the list is success: a folder that could not be read
    // to its end is not reported as deleted.
    return finder.GetError() == ERROR_NO_MORE_FILES ? NO_ERROR : finder.GetError();
}

// Whether `path` is, or holds anywhere below it, a reparse point. Links are
// not entered.
bool TreeHoldsLink(const CString& path)
{
    DWORD attributes = GetFileAttributesA(path);
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return false;
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return true;
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    CFileFinder finder;
    if (!finder.FindFile(path + "\\*.*"))
        return false;
    do
    {
        if (finder.IsDots())
            continue;
        if (finder.IsReparsePoint())
            return true;
        CString child;
        if (finder.IsDirectory() && finder.GetFilePath(child) && TreeHoldsLink(child))
            return true;
    } while (finder.FindNextFile());
    return false;
}

// A path a search cannot find as an entry of its folder: a drive ("X:" or
// "X:\") or a server or share root ("\\srv", "\\srv\share", with or
// without a last backslash).
bool IsBareRoot(const char* path)
{
    const size_t length = strlen(path);
    auto slash = [](char c) { return c == '\\' || c == '/'; };
    if (length >= 2 && path[1] == ':')
        return length == 2 || (length == 3 && slash(path[2]));
    if (length < 2 || !slash(path[0]) || !slash(path[1]))
        return false;
    int separators = 0;
    for (size_t i = 2; i + 1 < length; ++i)
        separators += slash(path[i]) ? 1 : 0;
    return separators <= 1;
}

// The attributes of a plain path without a search, which under Wine costs a
// thirtieth of one (a search opens the folder through the server): the
// backup run tests a stored copy for every unchanged file, and every store
// tests its source. Patterns, paths ending with a separator and roots keep
// the search's answer, and so does an attribute query that fails for
// another reason than a missing entry (the folder may be listable where the
// entry is not): false then, and the caller searches.
bool QuickAttributes(const CString& path, DWORD& attributes)
{
    const char* text = path;
    const size_t length = strlen(text);
    if (length == 0 || strpbrk(text, "*?") || text[length - 1] == '\\' || text[length - 1] == '/' ||
        IsBareRoot(text))
        return false;
    attributes = GetFileAttributesA(text);
    if (attributes != INVALID_FILE_ATTRIBUTES)
        return true;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND;
}
} // namespace

BOOL FileExists(const CString& path)
{
    QuietErrorMode quiet;
    DWORD attributes;
    if (QuickAttributes(path, attributes))
        return attributes != INVALID_FILE_ATTRIBUTES;
    CFileFinder finder;
    return finder.FindFile(path) ? TRUE : FALSE;
}

DWORD IsFolderOrMissing(const CString& path)
{
    QuietErrorMode quiet;
    DWORD attributes;
    if (QuickAttributes(path, attributes))
        return attributes == INVALID_FILE_ATTRIBUTES ? 1 : attributes & FILE_ATTRIBUTE_DIRECTORY;
    CFileFinder finder;
    if (!finder.FindFile(path))
        return 1;
    return finder.GetAttributes() & FILE_ATTRIBUTE_DIRECTORY;
}

DWORD DeleteFolderTree(const CString& folder)
{
    // A folder that is itself a link is removed as a link, not emptied.
    DWORD attributes = GetFileAttributesA(folder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
        return RemoveLinkItself(folder);

    bool found = false;
    DWORD result = DeleteEntries(folder, "*.*", nullptr, found);
    if (result != NO_ERROR || !found)
        return result;
    if (!RemoveDirectoryA(folder))
        return GetLastError();
    return NO_ERROR;
}

DWORD DeleteTseFiles(const CString& folder)
{
    bool found = false;
    return DeleteEntries(folder, "*.tse", EndsWithTse, found);
}

CString GetTempFolder()
{
    std::vector<char> buffer(MAX_PATH);
    DWORD length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    if (length >= buffer.size())
    {
        buffer.resize(length + 1);
        length = GetTempPathA(static_cast<DWORD>(buffer.size()), buffer.data());
    }
    // Without the temporary folder there is no scratch folder: a bare
    // "ov_temp" would name one in whatever the current directory is.
    CString folder;
    if (length == 0 || length >= buffer.size())
        return folder;
    folder = CString(buffer.data(), static_cast<int>(length));
    if (folder[folder.GetLength() - 1] != '\\')
        folder += '\\';
    folder += "ov_temp";
    return folder;
}

BOOL ShellDeletePath(const char* path, BOOL permanent)
{
    if (path == nullptr || path[0] == 0)
        return FALSE;
    QuietErrorMode quiet;
    CString target(path);
    if (TreeHoldsLink(target))
        return permanent && DeleteFolderTree(target) == NO_ERROR;

    // The shell takes a list of names, each ended by a NUL, the list by a
    // second one; the string's own terminator makes the second.
    CString list = target;
    list += '\0';
    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_DELETE;
    operation.pFrom = list;
    operation.pTo = nullptr;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    if (!permanent)
        operation.fFlags |= FOF_ALLOWUNDO;
    return SHFileOperationA(&operation) == 0 ? TRUE : FALSE;
}

int ResetTempFolder()
{
    CString folder = GetTempFolder();
    if (folder.IsEmpty())
        return 0;
    ShellDeletePath(folder, TRUE);
    CreateDirectoryA(folder, nullptr);
    return 0;
}

namespace
{
// The drive type as far as the network tests need it: DRIVE_REMOTE or
// another. The root's device answers it (as GetDriveTypeA itself decides a
// remote drive); GetDriveTypeA goes on, for a local disk, to ask Wine 8's
// mount manager, a call into another process that cost about 1 ms of every
// store (several under load). A root that does not open is left to
// GetDriveTypeA.
UINT SystemDriveType(const char* root)
{
    QuietErrorMode quiet;
    // No access asked: the device's record needs none, and every user may
    // open a drive's root so.
    const HANDLE folder =
        ::CreateFileA(root, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (folder == INVALID_HANDLE_VALUE)
        return ::GetDriveTypeA(root);
    FileDevice device;
    const bool known = ReadFileDevice(folder, device);
    ::CloseHandle(folder);
    if (!known)
        return ::GetDriveTypeA(root);
    return IsRemoteDevice(device) ? DRIVE_REMOTE : DRIVE_FIXED;
}

std::atomic<DriveTypeProbe> g_driveTypeProbe{SystemDriveType};
// Counts the probes put in, so a caller's kept answers are forgotten too.
std::atomic<unsigned> g_driveTypeProbeTurn{0};

// The drive type of each letter as last asked, with the tick count of the
// question: (tick << 8) | type, 0 when never asked. Under Wine 8 each
// GetDriveTypeA is an open, a query and a close in the server (about
// 0.1 ms alone, several on a busy one), and a run asks for every file it
// stores; an answer is kept for kDriveTypeKeptMs.
constexpr ULONGLONG kDriveTypeKeptMs = 1000;
std::atomic<uint64_t> g_driveTypes[26];

UINT DriveTypeOf(char letter)
{
    const int index = (letter | 0x20) - 'a';
    const ULONGLONG now = ::GetTickCount64();
    const uint64_t kept = g_driveTypes[index].load();
    if (kept != 0 && now - (kept >> 8) < kDriveTypeKeptMs)
        return static_cast<UINT>(kept & 0xFF);
    const char root[] = {letter, ':', '\\', 0};
    const UINT type = g_driveTypeProbe.load()(root);
    g_driveTypes[index].store((now << 8) | (type & 0xFF));
    return type;
}
} // namespace

void SetDriveTypeProbe(DriveTypeProbe probe)
{
    g_driveTypeProbe.store(probe != nullptr ? probe : SystemDriveType);
    g_driveTypeProbeTurn.fetch_add(1);
    for (std::atomic<uint64_t>& kept : g_driveTypes)
        kept.store(0);
}

namespace
{
// What kind of path it is, for the network tests.
enum class Location
{
    Other,
    Unc,
    Letter,
};

Location LocationOf(const char* path)
{
    if (path == nullptr)
        return Location::Other;
    if ((path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/'))
        return Location::Unc;
    const char letter = path[0];
    if (!((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) || path[1] != ':')
        return Location::Other;
    return Location::Letter;
}
} // namespace

bool IsNetworkLocation(const char* path)
{
    switch (LocationOf(path))
    {
    case Location::Unc:
        return true;
    case Location::Letter:
        return DriveTypeOf(path[0]) == DRIVE_REMOTE;
    case Location::Other:
        break;
    }
    return false;
}

bool CCallerDriveTypes::IsNetworkLocation(const char* path)
{
    switch (LocationOf(path))
    {
    case Location::Unc:
        return true;
    case Location::Letter:
    {
        const int index = (path[0] | 0x20) - 'a';
        const ULONGLONG now = ::GetTickCount64();
        const unsigned turn = g_driveTypeProbeTurn.load();
        if (turn != m_probeTurn)
        {
            m_probeTurn = turn;
            for (ULONGLONG& askedAt : m_askedAt)
                askedAt = 0;
        }
        if (m_askedAt[index] == 0 || now - m_askedAt[index] >= kDriveTypeKeptMs)
        {
            const char root[] = {path[0], ':', '\\', 0};
            m_types[index] = g_driveTypeProbe.load()(root);
            m_askedAt[index] = now == 0 ? 1 : now;
        }
        return m_types[index] == DRIVE_REMOTE;
    }
    case Location::Other:
        break;
    }
    return false;
}
