#include "service/BackupRequests.h"

#include "engine/BackupOneFile.h"
#include "engine/FileStamp.h"
#include "engine/FileSystem.h"
#include "engine/StoredFile.h"
#include "foundation/IoWatchdog.h"
#include "foundation/String.h"
#include "service/RequestTimes.h"
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

// Both paths begin with the same drive letter ("X:"): one look tells
// whether that drive lies on the network for either.
bool OnOneDriveLetter(const char* first, const char* second)
{
    const auto letter = [](const char* path)
    {
        const char c = static_cast<char>(path[0] | 0x20);
        return c >= 'a' && c <= 'z' && path[1] == ':' ? c : '\0';
    };
    return letter(first) != '\0' && letter(first) == letter(second);
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
    if (!asClient.IsActive() || !IsServedCallerPath(path, client))
        return false;
    CIoStep step;
    return client.ReadAttributes(path, seen) && !step.IsCutOff();
}

std::atomic<FinalPathProbe> g_finalPathProbe{nullptr};
std::atomic<CallerTokenProbe> g_callerTokenProbe{nullptr};
std::atomic<DWORD> g_sourceIoLimitMs{kSourceIoLimitMs};

// Whether the source the service opened lies on the network: by the device
// its file system reports for the open handle (CTransferSource::
// LiesOnNetwork), which a link in a local folder leading to a share (a
// symbolic link to a UNC path, a junction to a mapped drive) cannot hide.
// A test's probe plays an open file's final path instead. Unknown counts as
// the network.
bool OpenedOnNetwork(const CTransferSource& opened)
{
    const FinalPathProbe probe = g_finalPathProbe.load();
    if (probe == nullptr)
        return opened.LiesOnNetwork();
    CString path;
    return !probe(opened.GetHandle(), path) || IsNetworkFinalPath(path);
}

// The store: the source opened once, as the service, for its checks; read
// only for a caller who may have it read, and only when it lies on this
// machine; the destination written as the client. True when the
// destination was written.
bool Store(const CString& source, const CString& root, const CString& destination, int compress,
           int encrypt, const CString& password, IBackupClient& client)
{
    CTransferSource opened;
    {
        CRequestPartTimer timer(RequestPart::Open);
        if (!opened.Open(source))
            return false;
    }
    {
        CRequestPartTimer timer(RequestPart::FinalPath);
        if (OpenedOnNetwork(opened))
        {
            ServiceLog("a store was refused: the source opened lies on the network");
            return false;
        }
    }
    // The caller's token, read once per connection (IBackupClient::
    // CallerToken): only a connection's first request acts as the client
    // for it here.
    const CCallerToken* caller = client.KeptCallerToken();
    if (caller == nullptr)
    {
        CRequestPartTimer timer(RequestPart::Caller);
        {
            CCallerScope asClient(client);
            if (!asClient.IsActive())
                return false;
            caller = client.CallerToken();
        }
        if (caller == nullptr)
        {
            ServiceLog("a store was refused: the caller's token cannot be read (error %lu)",
                       ::GetLastError());
            return false;
        }
    }
    if (client.IsStuck())
        return false;
    {
        CRequestPartTimer timer(RequestPart::Check);
        if (!MayReadForCaller(*caller, opened.GetHandle()))
        {
            ServiceLog("a store was refused: the caller may not read the source");
            return false;
        }
    }
    // Read as the service, for a caller the checks let have it read (a
    // folder is made, never read). Nothing of it is read before the
    // destination is accepted below.
    {
        CRequestPartTimer timer(RequestPart::Reopen);
        if (!opened.IsFolder() && !opened.OpenForReading())
            return false;
    }
    // The destination side as the client: his drive letters judge the
    // root, his rights write it.
    CRequestPartTimer timer(RequestPart::Copy);
    bool rootRefused = false;
    bool stored = false;
    {
        CCallerScope asClient(client);
        if (!asClient.IsActive())
            return false;
        rootRefused = !IsServedCallerPath(root, client);
        stored = !rootRefused && TransferFromSource(opened, destination, compress, encrypt,
                                                    password, kTransferStore);
    }
    if (rootRefused)
        ServiceLog("a store was refused: its destination lies on the network for the caller");
    return stored;
}

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
    const int compress = record.compress ? 1 : 0;
    const int encrypt = record.encrypt ? 1 : 0;

    if (direction == kTransferStore)
        return Store(source, root, destination, compress, encrypt, password, client);
    CCallerScope asClient(client);
    if (!asClient.IsActive() || !IsServedCallerPath(source, client) ||
        (!OnOneDriveLetter(source, root) && !IsServedCallerPath(root, client)))
        return false;
    // Read as the client, with his own rights: opened for reading at once.
    CTransferSource opened;
    {
        CRequestPartTimer timer(RequestPart::Open);
        if (!opened.Open(source, CTransferSource::SourceOpen::ForReading))
            return false;
    }
    CRequestPartTimer timer(RequestPart::Copy);
    return TransferFromSource(opened, destination, compress, encrypt, password, direction);
}
} // namespace

bool IBackupClient::ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data)
{
    return ::GetFileAttributesExA(path, GetFileExInfoStandard, &data) != FALSE;
}

bool IBackupClient::ReadCallerToken(CCallerToken& caller)
{
    const CallerTokenProbe probe = g_callerTokenProbe.load();
    return probe != nullptr ? probe(caller) : caller.ReadThread();
}

const CCallerToken* IBackupClient::CallerToken()
{
    if (!m_tokenRead)
        m_tokenRead = ReadCallerToken(m_token);
    return KeptCallerToken();
}

void SetCallerTokenProbe(CallerTokenProbe probe)
{
    g_callerTokenProbe.store(probe);
}

bool CCallerToken::ReadThread()
{
    CAccessToken read;
    std::vector<BYTE> readGroups;
    std::vector<BYTE> readPrivileges;
    DWORD readLevel = 0;
    if (!read.OpenThread(TOKEN_QUERY) ||
        !ReadTokenInformation(read.Get(), TokenGroups, readGroups) ||
        !ReadTokenInformation(read.Get(), TokenPrivileges, readPrivileges) ||
        !ReadTokenIntegrityLevel(read.Get(), readLevel))
        return false;
    token.Attach(read.Detach());
    groups.swap(readGroups);
    privileges.swap(readPrivileges);
    integrityLevel = readLevel;
    return true;
}

bool ReadsEveryFile(const CCallerToken& caller)
{
    if (caller.groups.size() >= sizeof(TOKEN_GROUPS))
    {
        const auto& groups = *reinterpret_cast<const TOKEN_GROUPS*>(caller.groups.data());
        if (HoldsEnabledGroup(groups, WinBuiltinAdministratorsSid) ||
            HoldsEnabledGroup(groups, WinBuiltinBackupOperatorsSid))
            return true;
    }
    return caller.privileges.size() >= sizeof(TOKEN_PRIVILEGES) &&
           HoldsEnabledPrivilege(
               *reinterpret_cast<const TOKEN_PRIVILEGES*>(caller.privileges.data()),
               SE_BACKUP_NAME);
}

bool MayReadByDescriptor(const CCallerToken& caller, PSECURITY_DESCRIPTOR descriptor)
{
    if (ReadsEveryFile(caller))
        return true;
    // Windows' own check weighs the label too; Wine's ignores it.
    if (IsReadUpDenied(descriptor, caller.integrityLevel))
        return false;
    return caller.token.IsOpen() &&
           IsAccessGranted(caller.token.Get(), descriptor, FILE_READ_DATA, FileGenericMapping());
}

bool MayReadForCaller(const CCallerToken& caller, HANDLE file)
{
    if (ReadsEveryFile(caller))
        return true;
    // The descriptor of the file the service holds open, not of whatever
    // the path names now. The check needs its owner and group too.
    CSecurityDescriptor security;
    return security.FromObject(file, SE_FILE_OBJECT,
                               OWNER_SECURITY_INFORMATION | GROUP_SECURITY_INFORMATION |
                                   DACL_SECURITY_INFORMATION | LABEL_SECURITY_INFORMATION) &&
           MayReadByDescriptor(caller, security.Get());
}

DWORD GetSourceIoLimit()
{
    return g_sourceIoLimitMs.load();
}

void SetSourceIoLimit(DWORD limitMs)
{
    g_sourceIoLimitMs.store(limitMs);
}

bool CPipeClientIdentity::Impersonate()
{
    if (m_token.IsOpen())
        return ::SetThreadToken(nullptr, m_token.Get()) != FALSE;
    if (!::ImpersonateNamedPipeClient(m_pipe))
        return false;
    // Kept for the connection's later requests; without it they take the
    // pipe's way again.
    m_token.OpenThread(TOKEN_IMPERSONATE);
    return true;
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

bool IsServedCallerPath(const char* path, IBackupClient& client)
{
    return IsAcceptedRequestPath(path) && !client.DriveTypes().IsNetworkLocation(path);
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
    // Every open and read of a source below is one step of these.
    CIoDeadlines deadlines(GetSourceIoLimit());
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
        if (deadlines.WasCutOff())
            ServiceLog("a %s failed: its source did not answer within %lu ms",
                       record.command == BACKUP_STORE ? "store" : "restore", deadlines.GetLimit());
        record.result = done ? 0 : 1;
        break;
    }
    default:
        return BackupServed::NoReply;
    }
    record.command = IPC_STATUS_OK;
    return client.IsStuck() ? BackupServed::RevertFailed : BackupServed::Reply;
}
