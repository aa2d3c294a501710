#include "service/HiveTasks.h"

#include "foundation/File.h"
#include "foundation/FileFind.h"
#include "foundation/Security.h"
#include "service/BackupRequests.h"
#include "service/PipeSecurity.h"
#include "service/ServiceLog.h"

#include <winternl.h>

#include <cstring>
#include <memory>
#include <string>

const RegistryHive kRegistryHives[] = {
    {HKEY_LOCAL_MACHINE, "SYSTEM"},   {HKEY_LOCAL_MACHINE, "SOFTWARE"}, {HKEY_LOCAL_MACHINE, "SAM"},
    {HKEY_LOCAL_MACHINE, "SECURITY"}, {HKEY_USERS, ".DEFAULT"},         {nullptr, nullptr},
};

namespace
{
// The header WipeFileAfterHeader keeps, and the piece it writes at a time.
constexpr LONGLONG kKeptHeaderBytes = 64;
constexpr DWORD kWipePieceBytes = 10000;
// The restore's copies are made and compared in pieces of this size.
constexpr DWORD kCopyPieceBytes = 1u << 20;
// The restore folder: SYSTEM alone, handed down to the copies in it.
constexpr const char kSystemOnlyFolderDescriptor[] = "D:P(A;OICI;FA;;;SY)";

class CSystemHiveRegistry : public IHiveRegistry
{
public:
    LONG SaveHive(const RegistryHive& hive, const char* file) override
    {
        CSecurityDescriptor privateFile;
        if (!privateFile.FromText(kPrivateFileDescriptor))
            return static_cast<LONG>(::GetLastError());
        HKEY key = nullptr;
        LONG result = ::RegOpenKeyA(hive.root, hive.name, &key);
        if (result != ERROR_SUCCESS)
            return result;
        ::RegFlushKey(key);
        ::RegFlushKey(HKEY_LOCAL_MACHINE);
        // Copies of SAM and SECURITY hold the password hashes and the
        // system's secrets: nobody but SYSTEM and the Administrators may
        // open them, whatever the folder would hand down.
        result = ::RegSaveKeyA(key, file, privateFile.GetAttributes());
        ::RegCloseKey(key);
        return result;
    }

    LONG ReplaceHive(const RegistryHive& hive, const char* newFile, const char* oldFile) override
    {
        const LONG result = ::RegReplaceKeyA(hive.root, hive.name, newFile, oldFile);
        if (result == ERROR_SUCCESS)
        {
            ::RegFlushKey(hive.root);
            ::RegFlushKey(HKEY_LOCAL_MACHINE);
        }
        return result;
    }

    bool IsHiveFile(HANDLE file, const char* name) override
    {
        CSecurityDescriptor security;
        if (!security.FromObject(file, SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION) ||
            !IsPrivateHiveCopy(security.Get()))
        {
            ServiceLog("restore: %s is not owned by SYSTEM or the Administrators alone", name);
            return false;
        }
        char signature[4] = {};
        DWORD read = 0;
        return ::ReadFile(file, signature, sizeof signature, &read, nullptr) &&
               read == sizeof signature && std::memcmp(signature, "regf", 4) == 0;
    }
};

// Whether a SID is SYSTEM's or the Administrators'.
bool IsSystemOrAdministrators(PSID sid)
{
    return sid != nullptr && (::IsWellKnownSid(sid, WinLocalSystemSid) ||
                              ::IsWellKnownSid(sid, WinBuiltinAdministratorsSid));
}

CString HiveFile(const CString& folder, const RegistryHive& hive, const char* extension)
{
    CString path;
    path.Format("%s\\%s%s", static_cast<const char*>(folder), hive.name, extension);
    return path;
}

// Schedules every hive to be replaced by "folder\hive.bak", the current
// file kept as "folder\hive<keptExtension>". True when all were scheduled;
// a failure does not stop the walk (the hives before it are scheduled
// already, and there is no taking that back).
bool ReplaceEveryHive(IHiveRegistry& registry, const CString& folder, const char* keptExtension)
{
    bool all = true;
    for (const RegistryHive* hive = kRegistryHives; hive->root != nullptr; ++hive)
    {
        const LONG result = registry.ReplaceHive(*hive, HiveFile(folder, *hive, ".bak"),
                                                 HiveFile(folder, *hive, keptExtension));
        if (result != ERROR_SUCCESS)
        {
            ServiceLog("hive %s: the replacement cannot be scheduled (error %ld)", hive->name,
                       result);
            all = false;
        }
    }
    return all;
}

// A path as it is compared with where an opened folder lies: full, long
// names, no "\\?\" and no trailing separator.
CString ComparablePath(const char* path)
{
    CString text(path);
    if (text.Find("\\\\?\\") == 0)
        text = text.Mid(4);
    char full[MAX_PATH];
    DWORD length = ::GetFullPathNameA(text, sizeof full, full, nullptr);
    if (length > 0 && length < sizeof full)
        text = CString(full, static_cast<int>(length));
    char longer[MAX_PATH];
    length = ::GetLongPathNameA(text, longer, sizeof longer);
    if (length > 0 && length < sizeof longer)
        text = CString(longer, static_cast<int>(length));
    while (text.GetLength() > 3 &&
           (text[text.GetLength() - 1] == '\\' || text[text.GetLength() - 1] == '/'))
        text.Truncate(text.GetLength() - 1);
    return text;
}

// The folder a restore reads, opened once and held: every copy is opened
// through this handle, so each comes from the folder that was checked,
// whatever its path names later. Held without sharing deletion, so Windows
// lets nobody rename it away meanwhile (Wine 8 does; the opens through the
// handle hold all the same).
class CCheckedFolder
{
public:
    // Opens the folder and refuses it when it does not lie where its path
    // says: a junction, a symbolic link or a mount point at any level makes
    // the opened folder's own path (its final path) another one.
    bool Open(const CString& folder)
    {
        m_name = folder;
        m_folder.Attach(::CreateFileA(folder, FILE_READ_ATTRIBUTES | FILE_TRAVERSE | SYNCHRONIZE,
                                      FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                      FILE_FLAG_BACKUP_SEMANTICS, nullptr));
        FILE_BASIC_INFO basic;
        if (!m_folder.IsOpen() || ::GetFileType(m_folder.GetHandle()) != FILE_TYPE_DISK ||
            !::GetFileInformationByHandleEx(m_folder.GetHandle(), FileBasicInfo, &basic,
                                            sizeof basic) ||
            !(basic.FileAttributes & FILE_ATTRIBUTE_DIRECTORY))
        {
            ServiceLog("restore: the folder %s cannot be opened (error %lu)",
                       static_cast<const char*>(folder), ::GetLastError());
            return false;
        }
        CString final;
        if (!ReadFinalPath(m_folder.GetHandle(), final) ||
            ComparablePath(final).CompareNoCase(ComparablePath(folder)) != 0)
        {
            ServiceLog("restore: the path of %s leads through a link; nothing is read from it",
                       static_cast<const char*>(folder));
            return false;
        }
        return true;
    }

    // Opens a file of the folder through the folder's handle for reading,
    // never through a link (a reparse point is opened as itself, and
    // refused), sharing reading only: nobody changes it while it is held.
    // False when it cannot be had, or does not lie in the folder.
    bool OpenFile(const char* name, CFile& file) const
    {
        const int length = ::MultiByteToWideChar(CP_ACP, 0, name, -1, nullptr, 0);
        if (length <= 1)
            return false;
        std::wstring wide(static_cast<size_t>(length), L'\0');
        ::MultiByteToWideChar(CP_ACP, 0, name, -1, &wide[0], length);
        UNICODE_STRING unicode;
        unicode.Buffer = &wide[0];
        unicode.Length = static_cast<USHORT>((length - 1) * sizeof(wchar_t));
        unicode.MaximumLength = static_cast<USHORT>(length * sizeof(wchar_t));
        OBJECT_ATTRIBUTES attributes;
        InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE,
                                   m_folder.GetHandle(), nullptr);
        IO_STATUS_BLOCK status = {};
        HANDLE opened = nullptr;
        const NTSTATUS result = ::NtCreateFile(
            &opened, FILE_READ_DATA | FILE_READ_ATTRIBUTES | READ_CONTROL | SYNCHRONIZE,
            &attributes, &status, nullptr, 0, FILE_SHARE_READ, FILE_OPEN,
            FILE_NON_DIRECTORY_FILE | FILE_OPEN_REPARSE_POINT | FILE_SYNCHRONOUS_IO_NONALERT |
                FILE_SEQUENTIAL_ONLY,
            nullptr, 0);
        if (result < 0)
        {
            ::SetLastError(::RtlNtStatusToDosError(result));
            return false;
        }
        file.Attach(opened);
        // A reparse point opened as itself is a link, not a copy. Wine 8
        // opens a Unix symbolic link's target all the same, so the file must
        // also lie in the folder, wherever the folder lies by now.
        FILE_BASIC_INFO basic;
        CString final;
        CString folder;
        if (!::GetFileInformationByHandleEx(file.GetHandle(), FileBasicInfo, &basic,
                                            sizeof basic) ||
            (basic.FileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) ||
            !ReadFinalPath(file.GetHandle(), final) ||
            !ReadFinalPath(m_folder.GetHandle(), folder) ||
            ComparablePath(final).CompareNoCase(InFolder(ComparablePath(folder), name)) != 0)
        {
            file.Close();
            ::SetLastError(ERROR_CANT_ACCESS_FILE);
            return false;
        }
        return true;
    }

    const CString& GetName() const { return m_name; }

private:
    // The comparable path of a file of a folder.
    static CString InFolder(const CString& folder, const char* name)
    {
        const bool root = folder[folder.GetLength() - 1] == '\\';
        return folder + (root ? "" : "\\") + name;
    }

    CString m_name;
    CFile m_folder;
};

// The folder a task was given, or else its own one expanded.
bool ChosenFolder(const char* given, const char* own, CString& folder)
{
    if (given != nullptr)
    {
        folder = given;
        return true;
    }
    char expanded[1024];
    const DWORD length = ::ExpandEnvironmentStringsA(own, expanded, sizeof expanded);
    if (length == 0 || length > sizeof expanded)
        return false;
    folder = expanded;
    return true;
}

bool MoveToStart(HANDLE file)
{
    LARGE_INTEGER start = {};
    return ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN) != FALSE;
}

// Reads until the buffer is full or the file ends.
bool ReadPiece(HANDLE file, char* buffer, DWORD size, DWORD& count)
{
    count = 0;
    while (count < size)
    {
        DWORD read = 0;
        if (!::ReadFile(file, buffer + count, size - count, &read, nullptr))
            return false;
        if (read == 0)
            break;
        count += read;
    }
    return true;
}

// Copies the open file, from its start, into `copy` (created new) and
// compares the copy with it byte for byte. True when they are the same.
bool CopyAndCompare(HANDLE original, const char* copy, SECURITY_ATTRIBUTES* security)
{
    CFile out;
    out.Attach(::CreateFileA(copy, GENERIC_READ | GENERIC_WRITE, 0, security, CREATE_NEW,
                             FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!out.IsOpen() || !MoveToStart(original))
        return false;
    std::unique_ptr<char[]> piece(new char[kCopyPieceBytes]);
    std::unique_ptr<char[]> written(new char[kCopyPieceBytes]);
    for (;;)
    {
        DWORD count = 0;
        if (!ReadPiece(original, piece.get(), kCopyPieceBytes, count))
            return false;
        if (count == 0)
            break;
        DWORD done = 0;
        if (!::WriteFile(out.GetHandle(), piece.get(), count, &done, nullptr) || done != count)
            return false;
    }
    if (!::FlushFileBuffers(out.GetHandle()) || !MoveToStart(original) ||
        !MoveToStart(out.GetHandle()))
        return false;
    for (;;)
    {
        DWORD count = 0;
        DWORD again = 0;
        if (!ReadPiece(original, piece.get(), kCopyPieceBytes, count) ||
            !ReadPiece(out.GetHandle(), written.get(), kCopyPieceBytes, again) || count != again ||
            std::memcmp(piece.get(), written.get(), count) != 0)
            return false;
        if (count == 0)
            return true;
    }
}

// The restore folder made anew, empty, for SYSTEM alone; copies left by an
// earlier restore (in use until the restart) keep it, and the copies made
// now then fail on them.
bool MakeRestoreFolder(const CString& folder, CSecurityDescriptor& systemOnly)
{
    if (!systemOnly.FromText(kSystemOnlyFolderDescriptor))
        return false;
    const DWORD present = ::GetFileAttributesA(folder);
    if (present != INVALID_FILE_ATTRIBUTES && (present & FILE_ATTRIBUTE_REPARSE_POINT))
    {
        ServiceLog("restore: %s is a link", static_cast<const char*>(folder));
        return false;
    }
    DeleteFolderContents(folder, TRUE, FALSE);
    ::RemoveDirectoryA(folder);
    if (!::CreateDirectoryA(folder, systemOnly.GetAttributes()) &&
        ::GetLastError() != ERROR_ALREADY_EXISTS)
    {
        ServiceLog("restore: the folder %s cannot be made (error %lu)",
                   static_cast<const char*>(folder), ::GetLastError());
        return false;
    }
    return true;
}

// Checks and copies every hive's ".bak" of the checked folder into the
// restore folder. True when every hive passed.
bool CopyCheckedHives(IHiveRegistry& registry, const CCheckedFolder& checked,
                      const CString& restoreFolder, SECURITY_ATTRIBUTES* security)
{
    bool sound = true;
    for (const RegistryHive* hive = kRegistryHives; hive->root != nullptr; ++hive)
    {
        const CString name = CString(hive->name) + ".bak";
        const CString file = HiveFile(checked.GetName(), *hive, ".bak");
        CFile opened;
        if (!checked.OpenFile(name, opened) || !registry.IsHiveFile(opened.GetHandle(), file))
        {
            ServiceLog("restore: %s is missing or not a saved hive",
                       static_cast<const char*>(file));
            sound = false;
            continue;
        }
        if (!CopyAndCompare(opened.GetHandle(), HiveFile(restoreFolder, *hive, ".bak"), security))
        {
            ServiceLog("restore: %s cannot be copied for the replacement (error %lu)",
                       static_cast<const char*>(file), ::GetLastError());
            sound = false;
        }
    }
    return sound;
}
} // namespace

bool IsPrivateHiveCopy(PSECURITY_DESCRIPTOR descriptor)
{
    PSID owner = nullptr;
    BOOL defaulted = FALSE;
    if (descriptor == nullptr || !::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) ||
        !IsSystemOrAdministrators(owner))
        return false;
    BOOL present = FALSE;
    PACL dacl = nullptr;
    if (!::GetSecurityDescriptorDacl(descriptor, &present, &dacl, &defaulted) || !present ||
        dacl == nullptr)
        return false; // no DACL: everyone may do everything
    // What would let a holder change the file, or give himself that right.
    constexpr DWORD kChanging =
        FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA | DELETE | WRITE_DAC | WRITE_OWNER;
    GENERIC_MAPPING mapping = FileGenericMapping();
    for (DWORD i = 0; i < dacl->AceCount; ++i)
    {
        ACE_HEADER* header = nullptr;
        if (!::GetAce(dacl, i, reinterpret_cast<void**>(&header)))
            return false;
        if (header->AceFlags & INHERIT_ONLY_ACE)
            continue; // for the children of a folder, not for this file
        switch (header->AceType)
        {
        case ACCESS_DENIED_ACE_TYPE:
        case ACCESS_DENIED_OBJECT_ACE_TYPE:
        case ACCESS_DENIED_CALLBACK_ACE_TYPE:
        case SYSTEM_AUDIT_ACE_TYPE:
            continue; // takes rights away, or grants none
        case ACCESS_ALLOWED_ACE_TYPE:
        {
            const auto* ace = reinterpret_cast<const ACCESS_ALLOWED_ACE*>(header);
            DWORD mask = ace->Mask;
            ::MapGenericMask(&mask, &mapping);
            if ((mask & kChanging) && !IsSystemOrAdministrators(const_cast<DWORD*>(&ace->SidStart)))
                return false;
            continue;
        }
        default:
            // Another kind of grant (conditional, object) is not weighed
            // here: not a copy this service made.
            return false;
        }
    }
    return true;
}

IHiveRegistry& GetSystemHiveRegistry()
{
    static CSystemHiveRegistry registry;
    return registry;
}

bool SaveRegistryHives(const char* folder, IHiveRegistry& registry)
{
    bool all = true;
    for (const RegistryHive* hive = kRegistryHives; hive->root != nullptr; ++hive)
    {
        const LONG result = registry.SaveHive(*hive, HiveFile(folder, *hive, ".bak"));
        if (result != ERROR_SUCCESS)
        {
            ServiceLog("hive %s cannot be saved into %s (error %ld)", hive->name, folder, result);
            all = false;
        }
    }
    return all;
}

bool CompactRegistryHives(IHiveRegistry& registry, const char* folder)
{
    CString target;
    if (!ChosenFolder(folder, kCompactionFolder, target))
        return false;
    DeleteFolderContents(target, TRUE, TRUE);
    ::RemoveDirectoryA(target);
    // Files that could not go (say, the copies an earlier compaction
    // scheduled, still in use until the restart) leave the folder in place:
    // then the saves below fail on them, and nothing is scheduled.
    if (!::CreateDirectoryA(target, nullptr) && ::GetLastError() != ERROR_ALREADY_EXISTS)
    {
        ServiceLog("the compaction folder %s cannot be made (error %lu)",
                   static_cast<const char*>(target), ::GetLastError());
        return false;
    }
    // Every hive is saved before any is scheduled: a replacement made of
    // hives of different times could leave Windows unable to start.
    if (!SaveRegistryHives(target, registry))
    {
        ServiceLog("compaction: a hive was not saved, no hive is replaced");
        return false;
    }
    return ReplaceEveryHive(registry, target, "");
}

bool ScheduleRegistryRestore(const char* folder, IHiveRegistry& registry, const char* restoreFolder)
{
    CString target;
    {
        // The folder named is let go once its files are copied: nothing of
        // it is read again.
        CCheckedFolder checked;
        CSecurityDescriptor systemOnly;
        if (!checked.Open(folder) || !ChosenFolder(restoreFolder, kRestoreFolder, target) ||
            !MakeRestoreFolder(target, systemOnly) ||
            !CopyCheckedHives(registry, checked, target, systemOnly.GetAttributes()))
            return false;
    }
    return ReplaceEveryHive(registry, target, ".last");
}

bool DeleteFolderContents(const char* folder, BOOL includeDesktopIni, BOOL wipeIndexDat)
{
    CFileFinder finder;
    if (!finder.FindFile(CString(folder) + "\\*.*"))
        return false;
    do
    {
        if (finder.IsDots())
            continue;
        CString name;
        CString path;
        if (!finder.GetFileName(name) || !finder.GetFilePath(path))
            continue;
        if (!includeDesktopIni && name.CompareNoCase("desktop.ini") == 0)
            continue;
        if (finder.IsReparsePoint())
            continue;
        const DWORD attributes = finder.GetAttributes();
        if (attributes & FILE_ATTRIBUTE_READONLY)
            ::SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
        if (finder.IsDirectory())
        {
            DeleteFolderContents(path, includeDesktopIni, wipeIndexDat);
            ::RemoveDirectoryA(path);
            continue;
        }
        if (wipeIndexDat && name.CompareNoCase("index.dat") == 0)
            WipeFileAfterHeader(folder, name);
        ::DeleteFileA(path);
    } while (finder.FindNextFile());
    return true;
}

bool WipeFileAfterHeader(const char* folder, const char* fileName)
{
    CString path;
    path.Format("%s\\%s", folder, fileName);
    HANDLE file = ::CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    LARGE_INTEGER size = {};
    LARGE_INTEGER start = {};
    start.QuadPart = kKeptHeaderBytes;
    // A file no longer than its header has nothing behind it to wipe (and
    // its size less 64 must never be taken as a count).
    if (::GetFileSizeEx(file, &size) && size.QuadPart > kKeptHeaderBytes &&
        ::SetFilePointerEx(file, start, nullptr, FILE_BEGIN))
    {
        static const char zeros[kWipePieceBytes] = {};
        LONGLONG remaining = size.QuadPart - kKeptHeaderBytes;
        while (remaining > 0)
        {
            const DWORD piece =
                remaining < kWipePieceBytes ? static_cast<DWORD>(remaining) : kWipePieceBytes;
            DWORD written = 0;
            if (!::WriteFile(file, zeros, piece, &written, nullptr) || written != piece)
                break;
            remaining -= piece;
        }
    }
    ::CloseHandle(file);
    return true;
}
