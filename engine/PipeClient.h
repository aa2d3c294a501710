// The client side of the three pipes: the primitives that carry one record
// to a pipe and the senders, one per request type.
//
// Every exchange opens its own handle (but the BACKUP requests of a thread
// that keeps a connection, see CKeptBackupConnection), not inheritable, with
// GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES (never
// FILE_CREATE_PIPE_INSTANCE, which a locked-down pipe does not grant its
// clients) and a security quality of service: impersonation level on the
// service's pipes (the service acts on files with the client's own rights),
// identification on the USER pipe (its server, any user's program, must not
// act as the service). Wine 8 accepts the quality of service but hands
// every server an impersonation-level token whatever was asked; Windows
// honours it. The I/O is overlapped and every wait has a limit:
// an exchange that does not end in time is cancelled and awaited before the
// sender returns, so no late reply lands in a buffer that is gone.
//
// Before a sender writes anything (a password, a path, a notice) it makes
// sure who serves the pipe, as its policy's PipeServerCheck says: the
// service's pipes must be served by the service's own process, the USER
// pipe, for a second start, by a program of the same user and session. Any
// other server end gets nothing: a process that took a pipe's name while
// the service was away (a restart, a crash) would otherwise receive the
// encryption password and answer "stored" for files it threw away.
//
// How long each sender waits is its PipePolicy (see GetPipePolicy):
// - senders used from the user-interface thread or its timers (SETTINGS
//   requests, the single-instance probe) and the service's stop notice make
//   one short attempt, so a missing service costs nothing and a busy one
//   costs at most the short wait;
// - the backup and restore runs' own requests (BACKUP pipe) keep the full
//   loop of 20 waits of 20 s with a 1 s pause after each failed one, for a
//   service that is restarting; the stop event they are given (the worker's,
//   CWorkerThread::GetStopEvent) ends any of their waits at once.
#ifndef BRINDLEWOX_ENGINE_PIPECLIENT_H
#define BRINDLEWOX_ENGINE_PIPECLIENT_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "engine/IpcRecords.h"

// Whom a sender accepts at the server end of its pipe.
enum class PipeServerCheck
{
    None,
    // The process the service control manager reports for the running
    // service kServiceName (QueryServiceStatusEx), compared with the pipe's
    // server process (GetNamedPipeServerProcessId).
    Service,
    // A process of this process's user (its token's user) in this
    // process's session (GetNamedPipeServerSessionId).
    SameUserAndSession,
};

// How a sender reaches its pipe and how long it waits.
struct PipePolicy
{
    DWORD attempts;         // waits for a free pipe instance, at least 1
    DWORD waitMs;           // each wait (WaitNamedPipeA), never 0 or INFINITE
    DWORD pauseMs;          // after a failed attempt, before the next
    DWORD exchangeMs;       // the write or the transaction, once the pipe is open
    DWORD exchangeMsPerMiB; // store and restore: added per MiB of the file
    DWORD impersonation;    // SECURITY_IDENTIFICATION or SECURITY_IMPERSONATION
    // One-way writes: after the write, how long to wait for the server to
    // close its end before closing this one (0: close at once).
    DWORD closeWaitMs = 0;
    // Checked once the pipe is open, before anything is written.
    PipeServerCheck server = PipeServerCheck::None;
};

// The senders, each with a policy of its own.
enum class PipeSender
{
    ProxySettings,    // SETTINGS 1, user-interface thread
    Language,         // SETTINGS 5, user-interface thread
    UserProfile,      // SETTINGS 8, the 2-second options timer
    CompactHives,     // SETTINGS 2, the window's tool thread, long service task
    SaveHives,        // SETTINGS 3, as 2
    RestoreHives,     // SETTINGS 4, as 2
    StartupEntry,     // SETTINGS 6 and 7, user-interface thread
    ActivateInstance, // USER 2, the main program's start
    ServiceStopping,  // USER 4, the service's stop
    FileStamp,        // BACKUP 1, backup worker
    StoreFile,        // BACKUP 2, backup worker
    RestoreFile,      // BACKUP 5, restore worker
    Count
};

// The policy a sender uses. The defaults:
//   sender                  attempts  wait    pause  exchange            QoS             server
//   ProxySettings, Language,
//   UserProfile                1       500 ms   -     2 s, close 2 s    impersonation   service
//   CompactHives, SaveHives,
//   RestoreHives               1       2 s      -     60 min            impersonation   service
//   StartupEntry               1       2 s      -     60 s              impersonation   service
//   ActivateInstance           1       2 s      -     2 s               identification  same user
//   ServiceStopping            1       2 s      -     2 s               identification  -
//   FileStamp                 20       20 s     1 s   60 s              impersonation   service
//   StoreFile, RestoreFile    20       20 s     1 s   10 min + 1 s/MiB  impersonation   service
const PipePolicy& GetPipePolicy(PipeSender sender);
// Replaces a sender's policy for the rest of the process (tests shorten the
// limits). Call it before any sender runs: the table is not locked.
void SetPipePolicy(PipeSender sender, const PipePolicy& policy);

// How one exchange ended.
enum class PipeOutcome
{
    Done,       // written; a transaction's reply arrived (cut at the buffer when longer)
    NoPipe,     // no server holds the pipe's name: every attempt found none
    Busy,       // the pipe exists, but no instance came free in any attempt
    OpenFailed, // a free pipe could not be opened (access denied, ...)
    Failed,     // the write or transaction failed: the server closed or refused
    TimedOut,   // no end within the exchange limit; the I/O was cancelled
    Cancelled,  // the stop event was set
    Untrusted,  // the server end is not the one the policy's check asks for:
                // nothing was written (for the service's pipes: no service)
};

// The process the service's pipes must be served by: the running service's
// process id as the service control manager reports it, 0 when the service
// is not running or cannot be asked. An answer is kept for a second (under
// Wine 8 each question costs several milliseconds), and asked anew when a
// pipe's server is not the process kept. Tests that serve the service's
// pipes themselves put in a probe naming their own process; null restores
// the service control manager.
DWORD GetServiceProcessId();
typedef DWORD(WINAPI* ServiceProcessProbe)();
void SetServiceProcessProbe(ServiceProcessProbe probe);

// The process at the server end of an open pipe, as the same-user check
// weighs it.
struct PipeServerProcess
{
    DWORD processId = 0;
    DWORD sessionId = 0;
    // Its token's user is this process's (false also when its token cannot
    // be read, as another user's process's cannot).
    bool sameUser = false;
};
// Reads it from the pipe: GetNamedPipeServerProcessId,
// GetNamedPipeServerSessionId, and the token of that process. False when
// the process or session cannot be learnt.
bool ReadPipeServerProcess(HANDLE pipe, PipeServerProcess& server);
// Tests play another user's or another session's server; null restores
// ReadPipeServerProcess.
typedef bool (*PipeServerProcessProbe)(HANDLE pipe, PipeServerProcess& server);
void SetPipeServerProcessProbe(PipeServerProcessProbe probe);

// Request and reply in one message-mode transaction. The reply buffer is
// written only by the exchange; *replyBytes (when given) receives the count
// delivered, 0 unless Done. stopEvent, when not null, ends every wait and
// pause at once.
PipeOutcome PipeTransact(const char* pipeName, const void* request, DWORD requestSize, void* reply,
                         DWORD replySize, const PipePolicy& policy, HANDLE stopEvent = nullptr,
                         DWORD* replyBytes = nullptr);
// One-way write with the policy's waiting.
PipeOutcome PipeWrite(const char* pipeName, const void* request, DWORD size,
                      const PipePolicy& policy, HANDLE stopEvent = nullptr);
// One-way write after a single wait, whatever the policy's attempts. True
// when the pipe was there, whether or not the write then succeeded: without
// a server check, when a server holds its name (even one that stayed busy);
// with one, only when the pipe opened and its server passed the check.
bool PipeWriteOnce(const char* pipeName, const void* request, DWORD size, const PipePolicy& policy);

// What the BACKUP senders return: 0 done, 1 the service reported a failure,
// kPipeNoAnswer when no reply came (no service, no free pipe in time, the
// exchange failed, timed out or was stopped, or a reply without
// IPC_STATUS_OK). Every result but 0 counts the file as failed.
constexpr int kPipeDone = 0;
constexpr int kPipeFailed = 1;
constexpr int kPipeNoAnswer = 2;

// Every sender refuses a text longer than its field (the field's length
// less one): nothing is sent, the refusal is written to the sender log, and
// the sender returns its failure (false, 0 or kPipeFailed). Cut, a path
// would name another file and a password be another key.
//
// The senders also log a server end they refused: for the service's pipes
// once, until the service serves them again; for the second start's USER
// pipe, why the program runs on its own.
//
// Where the senders write such lines, one line a call: the program's log.
// While none is set (null, the default) the last few lines are kept, and
// written as soon as one is: a second start weighs the USER pipe before its
// log exists.
void SetPipeSenderLog(void (*log)(const char* line));

// SETTINGS 1, 5 and 8: one-way. True when the record was written; the
// sender then waits, at most closeWaitMs of its policy (2 s), for the
// service to close its end first: the service learns who sent a request
// from the open pipe after its read, and a client that closed at once may
// leave it none on Windows (type 8 would then be refused).
bool PipeSendProxySettings(const CString& host, DWORD port, const CString& login,
                           const CString& password, DWORD proxyType);
bool PipeSendLanguage(const CString& language);
bool PipeSendUserProfile(const CString& userKeyRoot, const CString& profilePath);

// SETTINGS 2, 3, 4, 6 and 7: the reply's result when it carries
// IPC_STATUS_OK, else 0 (nothing sent for an empty folder or value name, no
// reply, or a reply without the status). 1 means done.
int PipeCompactRegistryHives();
int PipeSaveRegistryHives(const CString& folder);
int PipeRestoreRegistryHives(const CString& folder);
int PipeSetStartupEntryEnabled(const CString& valueName, DWORD scope, BOOL enable);
int PipeDeleteStartupEntry(const CString& valueName, DWORD scope);

// USER 2: hands over to a main program that already runs. True when one
// of this user and session holds the USER pipe (whether or not the notice
// then went through); the caller then ends. False when no program holds it,
// and also when the pipe stays busy, cannot be opened, or is held by
// another user's or another session's process: then the caller runs on its
// own (without the USER server, whose name is taken), and why is logged.
// So another user's program can never make this one end.
bool PipeActivateRunningInstance();
// USER 4, sent by the service as it stops: the main program removes its tray
// icon and ends. True when a main program held the USER pipe.
bool PipeNotifyServiceStopping();

// BACKUP 1: 1 when the service found the stamp (into `stamp`), 0 when it
// found none (or `path` is empty: nothing is sent), kPipeNoAnswer when it did
// not answer. `stamp` is untouched unless the result is 1. cancelEvent, when
// not null, ends every wait at once like the stop event, and the sender sets
// it itself when its request goes unanswered (not when the stop ended it),
// before it lets go of the pipe: the threads of a run that share it end
// their requests together, and none sends another into the instance the
// unanswered one leaves.
int PipeGetFileStamp(const CString& path, CString& stamp, HANDLE stopEvent = nullptr,
                     HANDLE cancelEvent = nullptr);
// BACKUP 2: stores `source` under `destinationRoot` in the form that
// compress and encrypt choose. kPipeDone, kPipeFailed (also for an empty
// source, or a source over 4,095 characters, a root or a password over 1,023:
// nothing is sent) or kPipeNoAnswer. cancelEvent as for PipeGetFileStamp.
int PipeStoreFile(const CString& source, const CString& destinationRoot, BOOL compress,
                  BOOL encrypt, const CString& password, HANDLE stopEvent = nullptr,
                  HANDLE cancelEvent = nullptr);
// BACKUP 5: restores `storedPath` under `targetRoot`; results as PipeStoreFile.
// *sent (when given) tells whether the request may have reached the service:
// false when nothing of it was written (refused here, no instance came free,
// or the stop or the cancel event came first). cancelEvent as for
// PipeGetFileStamp (a run's restore workers share it).
int PipeRestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent = nullptr,
                    bool* sent = nullptr, HANDLE cancelEvent = nullptr);

// A connection to the BACKUP pipe kept for the requests one thread sends one
// after another (a run's store worker). While one is in scope on a thread,
// that thread's BACKUP requests go over one connection instead of opening
// one each: under Wine 8 the open, the service's wait for the client's close
// and its disconnect cost more calls into Wine's server than the request
// itself. The service answers request after request on a connection; a
// client that sends one request and closes sees exactly the exchange of
// old.
//
// When a connection takes no further request, the client and the service
// agree whatever the length of a request: the client writes a request on a
// kept connection only while it is younger than kKeptConnectionMs, counted
// from just before it was opened; the service takes requests on a
// connection until it is kKeptConnectionLifeMs (2 s) old, counted from its
// connect, which comes later, and waits a second after each reply for the
// next. A request on a kept connection is therefore always one the service
// still reads, however long the requests before it took (a store of a large
// file takes many seconds: the connection is then past its time when the
// reply comes, and the next request opens another). A client waiting for a
// free instance gets one within that time while the run goes on.
//
// Should the service still end a connection before replying (it stopped or
// restarted, or its wait for the next request ran out while this thread was
// held up between its look at the time and its write), the request goes
// over a new connection, sent again once when it may have reached the
// service: it had let go of it, and a store or restore served twice writes
// the same file. A request that was written and got no reply in time is
// never sent again: it is unanswered, as on a connection of its own. Close
// (and the end of the scope) frees the instance; a thread closes it when it
// is held at a pause or left without work, so an idle process holds no
// instance.
// Scopes nest: the inner one serves its thread until it ends.
constexpr DWORD kKeptConnectionMs = 500;

class CKeptBackupConnection
{
public:
    CKeptBackupConnection();
    CKeptBackupConnection(const CKeptBackupConnection&) = delete;
    CKeptBackupConnection& operator=(const CKeptBackupConnection&) = delete;
    ~CKeptBackupConnection();

    void Close();
    bool IsOpen() const { return m_pipe != INVALID_HANDLE_VALUE; }

    // For the senders: the scope in force on this thread, or null.
    static CKeptBackupConnection* OnThisThread();
    // The open connection when it may still carry a request, else none (a
    // connection past its time is closed).
    HANDLE Usable();
    // Keeps a connection that has just carried its first request;
    // openedAt: the tick taken just before it was opened.
    void Keep(HANDLE pipe, ULONGLONG openedAt);

private:
    HANDLE m_pipe = INVALID_HANDLE_VALUE;
    ULONGLONG m_openedAt = 0;
    CKeptBackupConnection* m_outer;
};

#endif
