#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "foundation/String.h"

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

// Whether the client can see the path: opened for its attributes while the
// thread acts as the client. `info` receives the file's record.
bool ClientSees(IBackupClient& client, const char* path, BY_HANDLE_FILE_INFORMATION& info,
                bool& revertFailed)
{
    CClientScope asClient(client, revertFailed);
    return asClient.IsActive() && client.SeeFile(path, info);
}

bool IsSameFile(const BY_HANDLE_FILE_INFORMATION& a, const BY_HANDLE_FILE_INFORMATION& b)
{
    return a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

// The store's source, opened as the service, but only the very file the
// client saw: a folder of the path swapped for a link between the two opens
// would otherwise hand the service another file.
bool OpenSeenSource(CTransferSource& opened, const char* source,
                    const BY_HANDLE_FILE_INFORMATION& seen)
{
    if (!opened.Open(source))
        return false;
    if (opened.IsFolder())
        return (seen.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    BY_HANDLE_FILE_INFORMATION read;
    return ::GetFileInformationByHandle(opened.GetFile().GetHandle(), &read) &&
           IsSameFile(read, seen);
}

// Store (the source read as the service, once the client saw it) or restore
// (as the client on both sides): true when the destination was written.
bool Transfer(const IpcQueueRecord& record, IBackupClient& client, int direction,
              bool& revertFailed)
{
    const CString source = FieldText(record.text3, IpcTextLength(record.text3));
    const CString root = FieldText(record.text1, IpcTextLength(record.text1));
    const CString password = FieldText(record.text2, IpcTextLength(record.text2));
    if (!IsServedRequestPath(source) || !IsServedRequestPath(root))
        return false;
    const CString destination = StoredCopyPath(root, source);
    const int compress = record.compress ? 1 : 0;
    const int encrypt = record.encrypt ? 1 : 0;

    if (direction == kTransferStore)
    {
        BY_HANDLE_FILE_INFORMATION seen;
        if (!ClientSees(client, source, seen, revertFailed) || revertFailed)
            return false;
        CTransferSource opened;
        if (!OpenSeenSource(opened, source, seen))
            return false;
        CClientScope asClient(client, revertFailed);
        return asClient.IsActive() &&
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

bool IBackupClient::SeeFile(const char* path, BY_HANDLE_FILE_INFORMATION& info)
{
    // Backup semantics open a folder too; they grant nothing more to a
    // client whose backup privilege is not enabled.
    HANDLE file = ::CreateFileA(path, FILE_READ_ATTRIBUTES,
                                FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    const bool read = ::GetFileInformationByHandle(file, &info) != FALSE;
    ::CloseHandle(file);
    return read;
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
            BY_HANDLE_FILE_INFORMATION seen;
            if (IsServedRequestPath(path) && ClientSees(client, path, seen, revertFailed) &&
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
