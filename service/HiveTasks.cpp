#include "service/HiveTasks.h"

#include "foundation/File.h"
#include "foundation/FileFind.h"
#include "foundation/Security.h"
#include "service/PipeSecurity.h"
#include "service/ServiceLog.h"

#include <cstring>

const RegistryHive kRegistryHives[] = {
    {HKEY_LOCAL_MACHINE, "SYSTEM"},   {HKEY_LOCAL_MACHINE, "SOFTWARE"}, {HKEY_LOCAL_MACHINE, "SAM"},
    {HKEY_LOCAL_MACHINE, "SECURITY"}, {HKEY_USERS, ".DEFAULT"},         {nullptr, nullptr},
};

namespace
{
// The header WipeFileAfterHeader keeps, and the piece it writes at a time.
constexpr LONGLONG kKeptHeaderBytes = 64;
constexpr DWORD kWipePieceBytes = 10000;

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

    bool IsHiveFile(const char* file) override
    {
        // Opened as itself, never through a link; what is judged is the
        // file opened, not whatever the name leads to at another moment.
        CFile opened;
        opened.Attach(::CreateFileA(file, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                    OPEN_EXISTING,
                                    FILE_FLAG_OPEN_REPARSE_POINT | FILE_ATTRIBUTE_NORMAL, nullptr));
        FILE_BASIC_INFO basic;
        if (!opened.IsOpen() ||
            !::GetFileInformationByHandleEx(opened.GetHandle(), FileBasicInfo, &basic,
                                            sizeof basic) ||
            (basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)))
            return false;
        CSecurityDescriptor security;
        if (!security.FromObject(opened.GetHandle(), SE_FILE_OBJECT,
                                 OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION) ||
            !IsPrivateHiveCopy(security.Get()))
        {
            ServiceLog("restore: %s is not owned by SYSTEM or the Administrators alone", file);
            return false;
        }
        char signature[4] = {};
        DWORD read = 0;
        return ::ReadFile(opened.GetHandle(), signature, sizeof signature, &read, nullptr) &&
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
    if (folder != nullptr)
    {
        target = folder;
    }
    else
    {
        char expanded[1024];
        const DWORD length =
            ::ExpandEnvironmentStringsA(kCompactionFolder, expanded, sizeof expanded);
        if (length == 0 || length > sizeof expanded)
            return false;
        target = expanded;
    }
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

bool ScheduleRegistryRestore(const char* folder, IHiveRegistry& registry)
{
    bool sound = true;
    for (const RegistryHive* hive = kRegistryHives; hive->root != nullptr; ++hive)
    {
        const CString file = HiveFile(folder, *hive, ".bak");
        if (!registry.IsHiveFile(file))
        {
            ServiceLog("restore: %s is missing or not a saved hive",
                       static_cast<const char*>(file));
            sound = false;
        }
    }
    if (!sound)
        return false;
    return ReplaceEveryHive(registry, folder, ".last");
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
