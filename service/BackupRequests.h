// The work of the service's BACKUP pipe, one request at a time: the stamp,
// the store and the restore of one file (IpcQueueRecord commands 1, 2 and
// 5), apart from the pipe that carries them.
//
// The pipe is served by LocalSystem for any interactive user, so the rights
// each side is reached with are fixed here:
// - nothing on the network: the service's logon is the machine's, so a UNC
//   path, or a drive letter mapped to a share, would make it authenticate to
//   another host as the machine (a logon that host could relay) or copy a
//   share the machine account may read. Network paths are the main
//   program's, which reaches them with the user's own logon; every path of
//   every request here is refused when it lies on the network. A path used
//   as the client is judged as the client (his mapped drives are his logon
//   session's own); the store's source, opened as the service, is judged
//   in the service's, and again by where the file it opened lies (the
//   device its file system reports for the open handle), which a link to a
//   share cannot hide;
// - the store reads the source as the service only for a caller who may
//   read that very file himself, or who could read any file: the service
//   opens the source once, as itself, asking only for what the checks need
//   (CTransferSource: attributes, descriptor, sharing everything,
//   identification level at most for a pipe a link may lead to; no device,
//   nothing but a disk file or folder), takes its times, size and
//   attributes from that handle, and then weighs the client's token
//   against the file's own descriptor: its mandatory label (a label above
//   the caller's integrity level that forbids reading up refuses him) and
//   the system's access check for FILE_READ_DATA, unless the token holds
//   the Administrators or the Backup Operators enabled, or the backup
//   privilege enabled (a group kept for denial only, as in the token of an
//   administrator who has not elevated, grants nothing). Anyone else gets a
//   failed reply, and nothing of the file is read nor held against its
//   writers. Only then is the file reopened for reading (ReOpenFile, as the
//   service), sharing reading only as the caller's own read would. There
//   is no look by name between the open and the read for a link or
//   junction to race;
// - the source's opens and each of its reads, in a store and a restore, are
//   bounded (CIoDeadlines, foundation/IoWatchdog.h): one that has not ended
//   after GetSourceIoLimit() (an oplock never acknowledged, a file whose
//   storage never answers) is cancelled, the request fails and its pipe
//   instance is free for the next client. No destination is locked while a
//   source is opened or read (the destination's turn, TransferFromSource,
//   covers only putting the new file in place);
// - the stamp is made acting as the client, from the file's own record
//   (what listing its folder gives);
// - everything on the destination side (its folders, the stored file, its
//   times and attributes, the removal of a partial file) is done while the
//   thread acts as the client, so the file system checks the user's own
//   rights there and a junction planted in the user's tree cannot send the
//   service's writes elsewhere;
// - a restore acts as the client on both sides.
// Paths that are not plain absolute drive or UNC paths are refused, and a
// request that cannot be served as the client (impersonation refused) fails
// without touching anything. Refusals are logged (ServiceLog) without the
// paths.
#ifndef BRINDLEWOX_SERVICE_BACKUPREQUESTS_H
#define BRINDLEWOX_SERVICE_BACKUPREQUESTS_H

#include "foundation/Base.h"
#include "foundation/Security.h"
#include "foundation/String.h"
#include "engine/FileSystem.h"
#include "engine/IpcRecords.h"
#include "service/PipeSecurity.h"

#include <vector>

// The caller's token as the store's read check weighs it: the token itself,
// for the system's access check, its groups and privileges, and its
// integrity level.
class CCallerToken
{
public:
    // Reads the token of the calling thread, which acts as the client. False
    // when it cannot be read.
    bool ReadThread();

    // An impersonation token with TOKEN_QUERY.
    CAccessToken token;
    std::vector<BYTE> groups;     // TOKEN_GROUPS
    std::vector<BYTE> privileges; // TOKEN_PRIVILEGES
    DWORD integrityLevel = SECURITY_MANDATORY_UNTRUSTED_RID;
};

// Whether the caller could read any file himself: his groups hold the
// Administrators or the Backup Operators enabled, or his privileges hold
// SeBackupPrivilege enabled.
bool ReadsEveryFile(const CCallerToken& caller);
// Whether the service may read a file for the caller, by the descriptor the
// file holds (its owner, group, DACL and mandatory label): ReadsEveryFile,
// or the label lets him read (IsReadUpDenied, foundation/Security.h) and
// the system's access check grants his token FILE_READ_DATA.
bool MayReadByDescriptor(const CCallerToken& caller, PSECURITY_DESCRIPTOR descriptor);
// MayReadByDescriptor for the open file (or folder, listed for
// FILE_READ_DATA), by the descriptor it holds (read from the handle, which
// needs READ_CONTROL).
bool MayReadForCaller(const CCallerToken& caller, HANDLE file);

// How long one open or read of a store's or restore's source may take
// (CIoStep): past it the request fails. The client waits minutes for a
// store; a disk that answers at all answers well within this.
constexpr DWORD kSourceIoLimitMs = 15000;
DWORD GetSourceIoLimit();
// Tests shorten it.
void SetSourceIoLimit(DWORD limitMs);

// The client a request came from, as the request's destination side needs
// it: the pipe client (CPipeClientIdentity) or a test's stand-in.
class IBackupClient : public IPipeCaller
{
public:
    // Reads the path's attributes, size and times (GetFileAttributesExA)
    // with the rights the thread has now: it acts as the client when this is
    // called. False when the client may not read them.
    virtual bool ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data);
    // Reads the client's token (CCallerToken::ReadThread, or the probe a
    // test set) while the thread acts as the client. False when it cannot.
    virtual bool ReadCallerToken(CCallerToken& caller);

    // The caller's token for the read check: read by ReadCallerToken the
    // first time it is needed, the thread acting as the client, and kept
    // for the later requests of this client object. The BACKUP server keeps
    // one object per pipe connection: a client's security context is
    // captured when he opens the pipe (the main program asks for no dynamic
    // tracking), so every request of a connection carries the same token,
    // and a new connection, whoever makes it, is read anew. Null when it has
    // not been read (KeptCallerToken) or cannot be (CallerToken).
    const CCallerToken* KeptCallerToken() const { return m_tokenRead ? &m_token : nullptr; }
    const CCallerToken* CallerToken();

    // The client's drive types, kept for this client object as his token
    // is: asked while the thread acts as him.
    CCallerDriveTypes& DriveTypes() { return m_driveTypes; }

private:
    CCallerToken m_token;
    bool m_tokenRead = false;
    CCallerDriveTypes m_driveTypes;
};

// Tests play callers of their own through the real pipe: while set, the
// probe makes the caller's token instead of the thread's own (null
// restores it).
typedef bool (*CallerTokenProbe)(CCallerToken& caller);
void SetCallerTokenProbe(CallerTokenProbe probe);

// The client of a connected server pipe, after its request was read:
// ImpersonateNamedPipeClient and RevertToSelf. The main program opens the
// pipe at impersonation level; a client that allowed less gives a token
// that opens no file, so its stores and restores fail.
//
// The object serves one connection (the BACKUP server makes one for each):
// the first Impersonate takes the client's token from the pipe and keeps
// it, and the later ones put that same token on the thread (SetThreadToken),
// one call into the system where the pipe's impersonation takes two under
// Wine 8. A connection's client carries one security context for its life
// (the main program asks for no dynamic tracking), so the token is the one
// the pipe would give.
class CPipeClientIdentity : public IBackupClient
{
public:
    explicit CPipeClientIdentity(HANDLE pipe) : m_pipe(pipe) {}
    bool Impersonate() override;
    bool Revert() override;

private:
    HANDLE m_pipe;
    CAccessToken m_token; // TOKEN_IMPERSONATE, once the pipe gave it
};

// A plain absolute path: "X:\..." or "\\server\share...", either
// separator, with no ".." component (nor one Windows would read as "..",
// such as ". ." or "..."), no further ":" (no alternate data streams) and
// not one of the device forms "\\?\" and "\\.\".
bool IsAcceptedRequestPath(const char* path);
// A path the service serves: an accepted path on a drive letter that is not
// on the network (IsNetworkLocation, engine/FileSystem.h) as the service sees
// it.
bool IsServedRequestPath(const char* path);
// The same for a path used as the client, asked while the thread acts as
// the client: his drive letters are his logon session's (a drive he mapped
// to a share is a network drive there, and not a drive at all for the
// service), so the drive type is his own, never taken from the answers kept
// for the service's: the client object keeps his (CCallerDriveTypes) for
// its connection.
bool IsServedCallerPath(const char* path, IBackupClient& client);

// Where an open file lies, as the system names it (GetFinalPathNameByHandleA:
// "\\?\C:\dir\f", "\\?\UNC\server\share\f"; a volume without a drive letter
// in its device form, "\Device\HarddiskVolume3\f", "\Device\Mup\server\f").
// False when it cannot be told.
bool ReadFinalPath(HANDLE file, CString& path);
// A store judges where its opened source lies by the device of the open
// handle (CTransferSource::LiesOnNetwork). Tests, which have no share under
// Wine, put a probe in that names the opened file's final path instead, to
// play a file that a link led to a share; null restores the device.
typedef bool (*FinalPathProbe)(HANDLE file, CString& path);
void SetFinalPathProbe(FinalPathProbe probe);
// Whether a final path lies on the network: the UNC form, a drive letter the
// service sees as a network drive, or the device form of the network's
// redirector (Mup).
bool IsNetworkFinalPath(const char* path);

enum class BackupServed
{
    NoReply,     // an unknown command: no reply is sent
    Reply,       // the record now holds the reply
    RevertFailed // the reply is in the record, but the thread is left as the
                 // client (IPipeCaller::IsStuck): the server must stop
                 // serving on it
};

// Serves the request in the record and turns the record into its reply:
// IPC_STATUS_OK in `command` and the outcome in `result`; every other byte
// stays as the request left it, but for the stamp text in `text1` of a stamp
// that was made.
// - 1, stamp of `text3` as the client sees it: result 1 and the stamp (at
//   most 1,023 characters) in `text1`, else 0 with `text1` as sent;
// - 2, store `text3` at its stored path under the root `text1` (the first
//   ":" dropped: E:\dir\f under D:\Backup\Files\ is D:\Backup\Files\E\dir\f),
//   in the form of `compress`, `encrypt` and the password `text2`;
// - 5, restore the stored file `text3` under the target root `text1` the
//   same way.
// Store and restore reply 0 when done and 1 when not: for a refused path
// (one that is not served, on either side), a store source the client may
// not have read for him or that lies on the network, a source that is
// missing (a vanished file is never stored as a folder of its name), a
// device or not on a disk, a source that did not answer within
// GetSourceIoLimit(), a failed transfer, and any exception. A failure
// leaves the destination as it was: an earlier stored copy is never
// deleted.
BackupServed ServeBackupRequest(IpcQueueRecord& record, IBackupClient& client);

#endif
