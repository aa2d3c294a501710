// The main program's USER pipe server: a second start of the program hands
// over to the first one through it (notice 2), and the service tells the
// program that it stops (notice 4). It runs on a worker thread of its own
// and reaches the window only through IUserPipeHost, so it works headless.
//
// The pipe: the USER name (GetIpcPipeName(IpcPipe::User)), one instance,
// message type and read mode, duplex, overlapped, buffers of one
// IpcQueueRecord; a DACL of its own (UserPipeDacl): the program's user and
// SYSTEM, nobody else, not even to read, so the service and the same
// user's second start reach it, and another user can neither end the
// program, nor bring it forward, nor hold its one instance; the mandatory
// label of every pipe (PipeInstance.h); not inheritable, the first instance
// of its name (a process that holds the name already makes the start fail
// instead of receiving the notices), and no remote clients on Vista and
// later.
//
// A second start hands over only to a program of its own user and session
// (PipeActivateRunningInstance, PipeClient.h); when another process holds
// the name, this program runs without the USER server (the start fails
// and the caller logs it).
//
// The notices (IpcQueueRecord.command; nothing else of a notice is read):
//   1, 3  acknowledged only, no reply;
//   2     IUserPipeHost::BringToFront, which posts to the window's thread;
//   4     IUserPipeHost::RemoveTrayIcon, then ExitProcess(0) on the server's
//         thread, whatever else runs (a backup run too: SQLite's journal
//         rolls its open transaction back at the next open);
//   5     the record comes back whole (15,428 bytes) with IPC_STATUS_OK
//         first;
//   other values are read and dropped.
// The record is zeroed before every read, so an echo holds only what its
// client sent, never an earlier client's bytes.
//
// Every wait of the server thread is overlapped and ends at the worker's
// stop event: the wait for a client without limit, the read, the reply and
// the wait for the client to take it within the client time-out. A client
// that connects and sends nothing is dropped when the time-out ends and
// cannot hold the one instance, nor the stop, which returns as soon as the
// thread sees the stop event.
#ifndef BRINDLEWOX_ENGINE_USERPIPESERVER_H
#define BRINDLEWOX_ENGINE_USERPIPESERVER_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "foundation/Thread.h"
#include "engine/IpcRecords.h"
#include "engine/PipeInstance.h"

#include <atomic>

// Posted by the window's IUserPipeHost::BringToFront to the window itself:
// its thread then brings the window out of the tray (RestoreFromTray). The
// server thread never calls the window, which would block it on a window
// thread that may be waiting in StopUserPipeServer. No parameters.
constexpr UINT WM_USER_PIPE_BRING_TO_FRONT = 0x122C;

// The USER pipe's DACL for the user whose SID text is given: full access
// for that user and SYSTEM, protected, nothing for anyone else.
CString UserPipeDacl(const char* userSid);

// How long a connected client may take to send its notice, and to take an
// echo and close.
constexpr DWORD kUserPipeClientTimeoutMs = 10000;

// What the server does to the program. Both calls come on the server's
// thread.
class IUserPipeHost
{
public:
    virtual ~IUserPipeHost() = default;
    // Notice 2: hands the bring-to-front to the window's thread (posts
    // WM_USER_PIPE_BRING_TO_FRONT) and returns at once; never sends or waits.
    virtual void BringToFront() = 0;
    // Notice 4, right before the process ends: removes the tray icon.
    virtual void RemoveTrayIcon() = 0;
};

// Started and stopped from one thread, the window's.
class CUserPipeServer
{
public:
    explicit CUserPipeServer(IUserPipeHost& host) : m_host(host) {}
    CUserPipeServer(const CUserPipeServer&) = delete;
    CUserPipeServer& operator=(const CUserPipeServer&) = delete;
    // Stops the server (StopUserPipeServer).
    ~CUserPipeServer();

    // Starts serving unless the server thread is alive: then nothing is done
    // and the result is TRUE, so two starts give one thread. The pipe is
    // created here, on the caller's thread: FALSE when it cannot be had (its
    // name is held by another process, ERROR_PIPE_BUSY or
    // ERROR_ACCESS_DENIED) or the thread cannot be started, with the last
    // error kept for the caller's log; a later start tries again. The thread
    // flag reads 1 from before the thread exists until the thread ends or
    // the start fails, and nothing else clears it.
    BOOL StartUserPipeServer();
    // Ends the server: sets the worker's stop event and joins its thread,
    // which ends every wait of its own at once (handling the messages other
    // threads send to the caller's windows meanwhile). Returns at once when
    // the server never started or has ended.
    void StopUserPipeServer();

    // The thread flag: 1 while the server thread is alive.
    bool IsServing() const { return m_threadAlive.load() != 0; }
    // The id of the server's thread, 0 when none was started.
    unsigned GetThreadId() const { return m_worker.GetThreadId(); }
    // Tests shorten the client time-out; set it while stopped.
    void SetClientTimeout(DWORD timeoutMs) { m_clientTimeoutMs = timeoutMs; }

    // The thread procedure; the parameter is the server object. Returns 0.
    static unsigned __stdcall UserPipeServer(void* server);

private:
    // Serves until the stop; returns when it comes.
    void Serve();
    void Act(IpcQueueRecord& record);

    IUserPipeHost& m_host;
    CWorkerThread m_worker;
    // The pipe: made by the start, closed by the thread as it ends (or by a
    // failed start).
    CPipeInstance m_pipe;
    std::atomic<LONG> m_threadAlive{0};
    DWORD m_clientTimeoutMs = kUserPipeClientTimeoutMs;
};

#endif
