#include "tests/support/TempFolder.h"
#include "tests/support/Waits.h"

#include <shellapi.h>

#include <cstring>
#include <vector>

namespace
{
LONG g_counter = 0;

// Wine's own export: the Unix path of a Windows path, on the process heap.
typedef char*(CDECL* UnixFileNameFunction)(LPCWSTR);

CString UnixPath(UnixFileNameFunction toUnix, const char* path)
{
    wchar_t wide[MAX_PATH];
    CString result;
    if (MultiByteToWideChar(CP_ACP, 0, path, -1, wide, MAX_PATH) == 0)
        return result;
    char* unix = toUnix(wide);
    if (unix != nullptr)
    {
        result = unix;
        HeapFree(GetProcessHeap(), 0, unix);
    }
    return result;
}

// Starts a program without waiting for it: under Wine a Unix program runs
// outside Wine's process handling, so its handle says nothing about its end.
bool Run(const char* application, const CString& commandLine)
{
    // CreateProcessA may write into its command line: hand it a copy.
    std::vector<char> line(static_cast<const char*>(commandLine),
                           static_cast<const char*>(commandLine) + commandLine.GetLength() + 1);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessA(application, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return false;
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return true;
}

// Waits for `path` to carry all of `attributes`.
bool WaitForAttributes(const char* path, DWORD attributes)
{
    return WaitUntil(
        [path, attributes]
        {
            const DWORD now = GetFileAttributesA(path);
            return now != INVALID_FILE_ATTRIBUTES && (now & attributes) == attributes;
        },
        wait_bound::kStepMs);
}

// Waits for `path` to be gone.
bool WaitForAbsence(const char* path)
{
    return WaitUntil([path] { return GetFileAttributesA(path) == INVALID_FILE_ATTRIBUTES; },
                     wait_bound::kStepMs);
}

UnixFileNameFunction WineUnixFileName()
{
    return reinterpret_cast<UnixFileNameFunction>(
        GetProcAddress(GetModuleHandleA("kernel32.dll"), "wine_get_unix_file_name"));
}
} // namespace

TempFolder::TempFolder(const char* tag)
{
    CreateDirectoryA("C:\\bwtest", nullptr);
    m_path.Format("C:\\bwtest\\%s-%lu-%lu-%ld", tag, GetCurrentProcessId(), GetTickCount(),
                  InterlockedIncrement(&g_counter));
    CreateDirectoryA(m_path, nullptr);
}

TempFolder::~TempFolder()
{
    RemoveTree(m_path);
}

// Under Wine every Win32 deletion follows symbolic links (the shell's too,
// emptying the target), so the clean-up runs the Unix rm, which does not.
// On Windows the shell removes links themselves.
void RemoveTree(const CString& path)
{
    // Only what the tests made: a slip here must not reach anything else.
    if (path.Left(10).CompareNoCase("C:\\bwtest\\") != 0 || path.GetLength() <= 10)
        return;
    if (UnixFileNameFunction toUnix = WineUnixFileName())
    {
        CString unixPath = UnixPath(toUnix, path);
        CString line;
        line.Format("rm -rf \"%s\"", static_cast<const char*>(unixPath));
        if (!unixPath.IsEmpty() && Run("Z:\\bin\\rm", line))
            WaitForAbsence(path);
        return;
    }
    CString list = path;
    list += '\0'; // the shell's list form ends with two NULs; CString adds one
    SHFILEOPSTRUCTA op = {};
    op.wFunc = FO_DELETE;
    op.pFrom = list;
    op.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_NOERRORUI;
    SHFileOperationA(&op);
}

CString TempFolder::operator/(const char* name) const
{
    return m_path + "\\" + name;
}

bool WriteTextFile(const char* path, const char* text)
{
    HANDLE file =
        CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    DWORD length = static_cast<DWORD>(std::strlen(text));
    DWORD written = 0;
    BOOL ok = WriteFile(file, text, length, &written, nullptr) && written == length;
    CloseHandle(file);
    return ok;
}

CString ReadTextFile(const char* path)
{
    CString text;
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return text;
    char buffer[4096];
    DWORD count = 0;
    while (ReadFile(file, buffer, sizeof(buffer), &count, nullptr) && count > 0)
        text += CString(buffer, static_cast<int>(count));
    CloseHandle(file);
    return text;
}

std::string ReadFileBytes(const char* path)
{
    std::string bytes;
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return bytes;
    std::string piece(1u << 20, '\0');
    DWORD read = 0;
    while (ReadFile(file, &piece[0], static_cast<DWORD>(piece.size()), &read, nullptr) && read > 0)
        bytes.append(piece, 0, read);
    CloseHandle(file);
    return bytes;
}

CString ReadFileStart(const char* path, int count)
{
    char buffer[64];
    HANDLE file =
        CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return CString("");
    DWORD read = 0;
    ReadFile(file, buffer, static_cast<DWORD>(count < 64 ? count : 64), &read, nullptr);
    CloseHandle(file);
    return CString(buffer, static_cast<int>(read));
}

bool MakeFolder(const char* path)
{
    CreateDirectoryA(path, nullptr);
    DWORD attributes = GetFileAttributesA(path);
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

bool MakeDirectoryLink(const char* link, const char* target)
{
    if (UnixFileNameFunction toUnix = WineUnixFileName())
    {
        CString unixLink = UnixPath(toUnix, link);
        CString unixTarget = UnixPath(toUnix, target);
        if (unixLink.IsEmpty() || unixTarget.IsEmpty())
            return false;
        CString line;
        line.Format("ln -s \"%s\" \"%s\"", static_cast<const char*>(unixTarget),
                    static_cast<const char*>(unixLink));
        if (!Run("Z:\\bin\\ln", line))
            return false;
    }
    else
    {
        CreateSymbolicLinkA(link, target, SYMBOLIC_LINK_FLAG_DIRECTORY | 0x2);
    }
    return WaitForAttributes(link, FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT);
}
