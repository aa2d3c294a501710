// The pipe servers of the service: the one table the service's start-up and
// stop go through (StartServerThreads and StopServerThreads), the quit flag
// they read between requests, and their thread procedures.
//
// A server procedure runs until it sees the quit flag, testing it after
// every request, and returns 0. When the stop begins, the flag and the quit
// event are set (a server on CPipeServingLoop wakes from any wait at once) and
// each server's pipe is opened once as a client, which releases a server
// blocked in ConnectNamedPipe; the stop then waits for every server to end
// before the service reports SERVICE_STOPPED, so a request under way is
// finished, never cut off.
#ifndef BRINDLEWOX_SERVICE_SERVERTHREADS_H
#define BRINDLEWOX_SERVICE_SERVERTHREADS_H

#include "foundation/Base.h"
#include "foundation/Thread.h"
#include "engine/IpcRecords.h"

#include <atomic>

// One server of the table.
struct ServerThread
{
    // The pipe the server listens on (under GetIpcPipeName); the stop opens
    // it to release the server.
    IpcPipe pipe;
    WorkerProcedure procedure;
    // The worker that runs the procedure (its events, its thread handle).
    CWorkerThread worker;
    // 1 from just before the thread begins until the thread ends (its entry
    // clears it, also when the procedure leaves by an exception); 0 for a
    // server that never began. The stop waits for it.
    std::atomic<LONG> alive{0};
};

// The two servers, SETTINGS first, then BACKUP: the order they start and are
// joined in. The procedures can be changed before the service starts, and
// the pipes' names with SetIpcPipeName (tests run servers of their own on
// pipes of their own).
constexpr int kServerThreadCount = 2;
ServerThread* GetServerThreads();

// The quit flag: 0 until the stop begins, then 1 for good.
bool IsServiceQuitting();
void SetServiceQuitting();
// A manual-reset event set together with the quit flag, for servers that
// wait on their pipe's overlapped I/O (CPipeServingLoop): the wait ends at once
// when the stop begins. Made on the first call and never closed; null only
// when the event could not be made (CPipeServingLoop then refuses to start).
HANDLE GetServiceQuitEvent();

// The servers' thread procedures; the parameter is not read.
unsigned __stdcall SettingsServerThread(void* parameter);
unsigned __stdcall BackupServerThread(void* parameter);

#endif
