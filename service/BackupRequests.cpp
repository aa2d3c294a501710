#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "foundation/String.h"

#include <cstdint>

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

// Acts as the client for one scope; `revertFailed` is set when the thread
// could not become the service again.
class CClientScope
{
public:
    CClientScope(IBackupClient& client, bool& revertFailed)
        : m_client(client), m_revertFailed(revertFailed), m_active(client.Impersonate())
    {
    }
    CClientScope(const CClientScope&) = delete;
    CClientScope& operator=(const CClientScope&) = delete;
    ~CClientScope()
    {
        if (m_active && !m_client.Revert())
            m_revertFailed = true;
    }
    bool IsActive() const { return m_active; }

private:
    IBackupClient& m_client;
    bool& m_revertFailed;
    bool m_active;
};

// The client's view of the path, read while the thread acts as the client
// (which it must already do).
bool ClientSees(IBackupClient& client, const char* path, WIN32_FILE_ATTRIBUTE_DATA& seen)
{
    return client.ReadAttributes(path, seen);
}

bool SameTime(const FILETIME& a, const FILETIME& b)
{
    return a.dwLowDateTime == b.dwLowDateTime && a.dwHighDateTime == b.dwHighDateTime;
}

// Whether the source the service opened is the file the client saw: a
// folder of the path swapped for a link between the open and the client's
// look would otherwise hand the service another file. The creation time,
// to 100 ns, is the file's own and stays while it is written to; to make
// another file pass, a caller would have to know that file's, which is what
// he cannot see.
bool IsSeenFile(CTransferSource& opened, const WIN32_FILE_ATTRIBUTE_DATA& seen)
{
    const bool seenFolder = (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (opened.IsFolder())
        return seenFolder && SameTime(opened.GetInfo().ftCreationTime, seen.ftCreationTime);
    // GetFileTime, not GetFileInformationByHandle: under Wine 8 the latter
    // also asks the mount manager (another process) for the volume's serial
    // number, a round trip of its own on every store.
    FILETIME created;
    return !seenFolder && ::GetFileTime(opened.GetFile().GetHandle(), &created, nullptr, nullptr) &&
           SameTime(created, seen.ftCreationTime);
}

// The record of the path as the client sees it, for its stamp.
bool StampAsClient(IBackupClient& client, const char* path, WIN32_FILE_ATTRIBUTE_DATA& seen,
                   bool& revertFailed)
{
    CClientScope asClient(client, revertFailed);
    return asClient.IsActive() && ClientSees(client, path, seen);
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

// Store (the source opened as the service, then used only when the client
// sees that very file) or restore (as the client on both sides): true when
// the destination was written.
bool Transfer(const IpcQueueRecord& record, IBackupClient& client, int direction,
              bool& revertFailed)
{
    const CString source = FieldText(record.text3, IpcTextLength(record.text3));
    const CString root = FieldText(record.text1, IpcTextLength(record.text1));
    const CString password = FieldText(record.text2, IpcTextLength(record.text2));
    if (!IsServedRequestPath(source) || !IsServedRequestPath(root))
        return false;
    const CString destination = StoredCopyPath(root, source);
    CDestinationTurn turn(destination);
    const int compress = record.compress ? 1 : 0;
    const int encrypt = record.encrypt ? 1 : 0;

    if (direction == kTransferStore)
    {
        // Opened as the service; nothing is read from it until the client
        // has seen the same file.
        CTransferSource opened;
        if (!opened.Open(source))
            return false;
        CClientScope asClient(client, revertFailed);
        WIN32_FILE_ATTRIBUTE_DATA seen;
        return asClient.IsActive() && ClientSees(client, source, seen) &&
               IsSeenFile(opened, seen) &&
               TransferFromSource(opened, destination, compress, encrypt, password, direction);
    }
    CClientScope asClient(client, revertFailed);
    if (!asClient.IsActive())
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

BackupServed ServeBackupRequest(IpcQueueRecord& record, IBackupClient& client)
{
    bool revertFailed = false;
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
            if (IsServedRequestPath(path) && StampAsClient(client, path, seen, revertFailed) &&
                FormatFileRecordStamp(seen.dwFileAttributes,
                                      (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
                                          ? 0
                                          : seen.nFileSizeLow,
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
                            record.command == BACKUP_STORE ? kTransferStore : kTransferRestore,
                            revertFailed);
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
    return revertFailed ? BackupServed::RevertFailed : BackupServed::Reply;
}
