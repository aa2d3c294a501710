#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "foundation/String.h"
#include "service/ServiceLog.h"

#include <atomic>
#include <cstdint>
#include <cstring>

namespace
{
bool IsSeparator(char c)
{
    return c == '\\' || c == '/';
}

// A component Windows may read as the parent folder: it drops trailing dots
// and blanks from names, so ". ." and "..." would name ".." there.
bool IsParentLike(const char* begin, const char* end)
{
    int dots = 0;
    for (const char* c = begin; c < end; ++c)
    {
        if (*c == '.')
            ++dots;
        else if (*c != ' ')
            return false;
    }
    return dots >= 2;
}

// The length of a name up to the next separator.
size_t NameLength(const char* text)
{
    size_t n = 0;
    while (text[n] && !IsSeparator(text[n]))
        ++n;
    return n;
}

CString FieldText(const char* field, size_t length)
{
    return CString(field, static_cast<int>(length));
}

// The record of the path as the client sees it, for its stamp: a path the
// client may have served, by his own drive letters.
bool StampAsClient(IBackupClient& client, const char* path, WIN32_FILE_ATTRIBUTE_DATA& seen)
{
    CCallerScope asClient(client);
    return asClient.IsActive() && IsServedCallerPath(path) && client.ReadAttributes(path, seen);
}

std::atomic<FinalPathProbe> g_finalPathProbe{nullptr};

// Whether the source the service opened lies on the network, by where the
// system says the open file is: a link in a local folder can lead to a
// share (a symbolic link to a UNC path, a junction to a mapped drive).
// Unknown counts as the network.
bool OpenedOnNetwork(HANDLE file)
{
    CString path;
    const FinalPathProbe probe = g_finalPathProbe.load();
    if (!(probe != nullptr ? probe(file, path) : ReadFinalPath(file, path)))
        return true;
    return IsNetworkFinalPath(path);
}

// The store: the source opened once, as the service; read only for a
// caller who may have it read, and only when it lies on this machine; the
// destination written as the client. True when the destination was
// written.
bool Store(const CString& source, const CString& root, const CString& destination, int compress,
           int encrypt, const CString& password, IBackupClient& client)
{
    // Opened as the service; nothing is read from it until the client's
    // rights have been weighed against the file it is.
    CTransferSource opened;
    if (!opened.Open(source))
        return false;
    if (OpenedOnNetwork(opened.GetHandle()))
    {
        ServiceLog("a store was refused: the source opened lies on the network");
        return false;
    }
    CCallerScope asClient(client);
    if (!asClient.IsActive())
        return false;
    if (!IsServedCallerPath(root))
    {
        ServiceLog("a store was refused: its destination lies on the network for the caller");
        return false;
    }
    CCallerToken caller;
    if (!client.ReadCallerToken(caller))
    {
        ServiceLog("a store was refused: the caller's token cannot be read (error %lu)",
                   ::GetLastError());
        return false;
    }
    if (!MayReadForCaller(caller, opened.GetHandle()))
    {
        ServiceLog("a store was refused: the caller may not read the source");
        return false;
    }
    return TransferFromSource(opened, destination, compress, encrypt, password, kTransferStore);
}

// The BACKUP pipe serves several clients at once. Two requests for one
// destination (two programs storing the same file, or a request its client
// gave up on, served late) would each write a temporary file and replace
// the destination, the second replace failing while the first still holds
// the new file: such requests take turns. A destination maps to one of a
// few locks by the hash of its path (case-insensitive, as the file system
// is); two destinations sharing a lock only take turns too.
class CDestinationLocks
{
public:
    SRWLOCK& For(const char* path)
    {
        uint32_t hash = 2166136261u;
        for (const char* c = path; *c; ++c)
        {
            const char lower = (*c >= 'A' && *c <= 'Z') ? static_cast<char>(*c | 0x20) : *c;
            hash = (hash ^ static_cast<unsigned char>(lower)) * 16777619u;
        }
        return m_locks[hash % kLocks];
    }

private:
    static constexpr uint32_t kLocks = 64;
    SRWLOCK m_locks[kLocks] = {};
};

CDestinationLocks g_destinationLocks;

class CDestinationTurn
{
public:
    explicit CDestinationTurn(const char* destination) : m_lock(g_destinationLocks.For(destination))
    {
        ::AcquireSRWLockExclusive(&m_lock);
    }
    CDestinationTurn(const CDestinationTurn&) = delete;
    CDestinationTurn& operator=(const CDestinationTurn&) = delete;
    ~CDestinationTurn() { ::ReleaseSRWLockExclusive(&m_lock); }

private:
    SRWLOCK& m_lock;
};

// Store (see Store) or restore (as the client on both sides): true when
// the destination was written.
bool Transfer(const IpcQueueRecord& record, IBackupClient& client, int direction)
{
    const CString source = FieldText(record.text3, IpcTextLength(record.text3));
    const CString root = FieldText(record.text1, IpcTextLength(record.text1));
    const CString password = FieldText(record.text2, IpcTextLength(record.text2));
    if (!IsAcceptedRequestPath(source) || !IsAcceptedRequestPath(root))
        return false;
    // The store's source is opened as the service: its drive is the
    // service's to judge.
    if (direction == kTransferStore && !IsServedRequestPath(source))
        return false;
    const CString destination = StoredCopyPath(root, source);
    CDestinationTurn turn(destination);
    const int compress = record.compress ? 1 : 0;
    const int encrypt = record.encrypt ? 1 : 0;

    if (direction == kTransferStore)
        return Store(source, root, destination, compress, encrypt, password, client);
    CCallerScope asClient(client);
    if (!asClient.IsActive() || !IsServedCallerPath(source) || !IsServedCallerPath(root))
        return false;
    CTransferSource opened;
    return opened.Open(source) &&
           TransferFromSource(opened, destination, compress, encrypt, password, direction);
}
} // namespace

bool IBackupClient::ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return ::GetFileAttributesExA(path, GetFileExInfoStandard, &data) != FALSE;
}

bool IBackupClient::ReadCallerToken(CCallerToken& caller)
{
    return caller.ReadThread();
}

bool CCallerToken::ReadThread()
{
    CAccessToken read;
    std::vector<BYTE> readGroups;
    std::vector<BYTE> readPrivileges;
    if (!read.OpenThread(TOKEN_QUERY) ||
        !ReadTokenInformation(read.Get(), TokenGroups, readGroups) ||
        !ReadTokenInformation(read.Get(), TokenPrivileges, readPrivileges))
        return false;
    token.Attach(read.Detach());
    groups.swap(readGroups);
    privileges.swap(readPrivileges);
    return true;
}

bool ReadsEveryFile(const CCallerToken& caller)
{
    if (caller.groups.size() >= sizeof(TOKEN_GROUPS))
    {
        const auto& groups = *reinterpret_cast<const TOKEN_GROUPS*>(caller.groups.data());
        if (HoldsGroup(groups, WinBuiltinAdministratorsSid) ||
            HoldsGroup(groups, WinBuiltinBackupOperatorsSid))
            return true;
    }
    return caller.privileges.size() >= sizeof(TOKEN_PRIVILEGES) &&
           HoldsPrivilege(*reinterpret_cast<const TOKEN_PRIVILEGES*>(caller.privileges.data()),
                          SE_BACKUP_NAME);
}

bool MayReadForCaller(const CCallerToken& caller, HANDLE file)
{
    if (ReadsEveryFile(caller))
        return true;
    // The descriptor of the file the service holds open, not of whatever
    // the path names now. The check needs its owner and group too.
    CSecurityDescriptor security;
    if (!security.FromObject(file, SE_FILE_OBJECT,
                             OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                 DACL_SECURITY_INFORMATION))
        return false;
    return caller.token.IsOpen() && IsAccessGranted(caller.token.Get(), security.Get(),
                                                    FILE_READ_DATA, FileGenericMapping());
}

bool CPipeClientIdentity::Impersonate()
{
    return ::ImpersonateNamedPipeClient(m_pipe) != FALSE;
}

bool CPipeClientIdentity::Revert()
{
    return ::RevertToSelf() != FALSE;
}

bool IsAcceptedRequestPath(const char* path)
{
    if (!path)
        return false;
    const char* rest = nullptr;
    if (IsSeparator(path[0]) && IsSeparator(path[1]))
    {
        // "\\server\share": a server and a share name, neither "?" nor ".".
        const char* server = path + 2;
        const size_t serverLength = NameLength(server);
        if (serverLength == 0 || !IsSeparator(server[serverLength]))
            return false;
        if (serverLength == 1 && (server[0] == '?' || server[0] == '.'))
            return false;
        if (NameLength(server + serverLength + 1) == 0)
            return false;
        rest = server;
    }
    else if (((path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z')) &&
             path[1] == ':' && IsSeparator(path[2]))
    {
        rest = path + 3;
    }
    else
    {
        return false;
    }

    for (const char* c = rest; *c;)
    {
        const size_t length = NameLength(c);
        for (size_t i = 0; i < length; ++i)
            if (c[i] == ':')
                return false;
        if (IsParentLike(c, c + length))
            return false;
        c += length;
        if (*c)
            ++c;
    }
    return true;
}

bool IsServedRequestPath(const char* path)
{
    return IsAcceptedRequestPath(path) && !IsNetworkLocation(path);
}

bool IsServedCallerPath(const char* path)
{
    return IsAcceptedRequestPath(path) && !IsNetworkLocationNow(path);
}

bool ReadFinalPath(HANDLE file, CString& path)
{
    // The drive-letter form first; a volume without a letter has none, and
    // gives its device form.
    for (DWORD form : {static_cast<DWORD>(VOLUME_NAME_DOS), static_cast<DWORD>(VOLUME_NAME_NT)})
    {
        char buffer[MAX_PATH + 1];
        DWORD length = ::GetFinalPathNameByHandleA(file, buffer, sizeof buffer, form);
        if (length > 0 && length < sizeof buffer)
        {
            path = CString(buffer, static_cast<int>(length));
            return true;
        }
        if (length >= sizeof buffer)
        {
            std::vector<char> longer(length + 1);
            length = ::GetFinalPathNameByHandleA(file, longer.data(), length + 1, form);
            if (length > 0 && length < longer.size())
            {
                path = CString(longer.data(), static_cast<int>(length));
                return true;
            }
        }
    }
    return false;
}

void SetFinalPathProbe(FinalPathProbe probe)
{
    g_finalPathProbe.store(probe);
}

bool IsNetworkFinalPath(const char* path)
{
    const auto startsWith = [path](const char* prefix)
    { return ::_strnicmp(path, prefix, std::strlen(prefix)) == 0; };
    if (startsWith("\\\\?\\UNC\\") || startsWith("\\Device\\Mup\\"))
        return true;
    // "\\?\X:\...": the letter as the service sees it.
    if (startsWith("\\\\?\\"))
        return IsNetworkLocation(path + 4);
    // Any other device form is a local volume; a plain path is judged as
    // one.
    return !startsWith("\\Device\\") && IsNetworkLocation(path);
}

BackupServed ServeBackupRequest(IpcQueueRecord& record, IBackupClient& client)
{
    switch (record.command)
    {
    case BACKUP_FILE_STAMP:
    {
        uint32_t result = 0;
        try
        {
            const CString path = FieldText(record.text3, IpcTextLength(record.text3));
            CString stamp("-----");
            WIN32_FILE_ATTRIBUTE_DATA seen;
            if (IsAcceptedRequestPath(path) && StampAsClient(client, path, seen) &&
                FormatFileRecordStamp(
                    seen.dwFileAttributes,
                    (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : seen.nFileSizeLow,
                    seen.ftLastWriteTime, stamp))
            {
                IpcCopyText(record.text1, stamp);
                result = 1;
            }
        }
        catch (...)
        {
            result = 0;
        }
        record.result = result;
        break;
    }
    case BACKUP_STORE:
    case BACKUP_RESTORE:
    {
        bool done = false;
        try
        {
            done = Transfer(record, client,
                            record.command == BACKUP_STORE ? kTransferStore : kTransferRestore);
        }
        catch (...)
        {
            // Never "stored" for a request that broke off.
            done = false;
        }
        record.result = done ? 0 : 1;
        break;
    }
    default:
        return BackupServed::NoReply;
    }
    record.command = IPC_STATUS_OK;
    return client.IsStuck() ? BackupServed::RevertFailed : BackupServed::Reply;
}
