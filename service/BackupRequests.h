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
//   every request here is refused when it lies on the network;
// - the store reads the source as the service, backing up files the user
//   cannot read, which is what the service is for; but only a file the user
//   could find himself: the service opens the source as itself, then,
//   acting as the client, reads its attributes (what listing its folder
//   gives) and goes on only when the client sees that very file (its
//   creation time). A caller who cannot even see the file gets a failed
//   reply, and nothing of it is read;
// - the stamp is made acting as the client, from the file's own record;
// - everything on the destination side (its folders, the stored file, its
//   times and attributes, the removal of a partial file) is done while the
//   thread acts as the client, so the file system checks the user's own
//   rights there and a junction planted in the user's tree cannot send the
//   service's writes elsewhere;
// - a restore acts as the client on both sides.
// Paths that are not plain absolute drive or UNC paths are refused, and a
// request that cannot be served as the client (impersonation refused) fails
// without touching anything.
#ifndef BRINDLEWOX_SERVICE_BACKUPREQUESTS_H
#define BRINDLEWOX_SERVICE_BACKUPREQUESTS_H

#include "foundation/Base.h"
#include "engine/IpcRecords.h"

// The client a request came from, as the request's destination side needs
// it: the pipe client (CPipeClientIdentity) or a test's stand-in.
class IBackupClient
{
public:
    virtual ~IBackupClient() = default;
    // Makes the calling thread act as the client. False when it cannot; the
    // thread then is still the service.
    virtual bool Impersonate() = 0;
    // The service again. False when the thread could not return to the
    // service's identity.
    virtual bool Revert() = 0;
    // Reads the path's attributes, size and times (GetFileAttributesExA)
    // with the rights the thread has now: it acts as the client when this is
    // called. False when the client may not read them.
    virtual bool ReadAttributes(const char* path, WIN32_FILE_ATTRIBUTE_DATA& data);
};

// The client of a connected server pipe, after its request was read:
// ImpersonateNamedPipeClient and RevertToSelf. The main program opens the
// pipe at impersonation level; a client that allowed less gives a token
// that opens no file, so its stores and restores fail.
class CPipeClientIdentity : public IBackupClient
{
public:
    explicit CPipeClientIdentity(HANDLE pipe) : m_pipe(pipe) {}
    bool Impersonate() override;
    bool Revert() override;

private:
    HANDLE m_pipe;
};

// A plain absolute path: "X:\..." or "\\server\share...", either
// separator, with no ".." component (nor one Windows would read as "..",
// such as ". ." or "..."), no further ":" (no alternate data streams) and
// not one of the device forms "\\?\" and "\\.\".
bool IsAcceptedRequestPath(const char* path);
// A path the service serves: an accepted path on a drive letter that is not
// on the network (IsNetworkLocation, engine/FileSystem.h).
bool IsServedRequestPath(const char* path);

enum class BackupServed
{
    NoReply,     // an unknown command: no reply is sent
    Reply,       // the record now holds the reply
    RevertFailed // the reply is in the record, but the thread is left as the
                 // client: the server must stop serving on it
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
// (one that is not served, on either side), a store source the client cannot
// see, a source that is missing (a vanished file is never stored as a folder of
// its name), a failed transfer, and any exception. A failure leaves the
// destination as it was: an earlier stored copy is never deleted.
BackupServed ServeBackupRequest(IpcQueueRecord& record, IBackupClient& client);

#endif
