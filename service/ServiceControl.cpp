#include "service/ServiceControl.h"

#include "foundation/Sync.h"

#include <atomic>
#include "service/CrashHandler.h"
#include "service/ServerThreads.h"
#include "service/ServiceProgram.h"

namespace
{
// How often the stop opens the pipes of servers still waiting for a client,
// and how often it tells the service control manager it still stops.
constexpr ULONGLONG kReleaseInterval = 500;
constexpr ULONGLONG kProgressInterval = 1000;

// Guards the status record, its handle, the check-point counter and the stop
// event: the service's thread and the dispatcher's thread (the control
// handler) both use them. A critical section may be entered again by the
// thread that holds it.
CCriticalSection g_statusLock;
SERVICE_STATUS g_status = {kReportedServiceType, SERVICE_STOPPED, 0, NO_ERROR, 0, 0, 0};
SERVICE_STATUS_HANDLE g_statusHandle = nullptr;
DWORD g_checkPoint = 1;
// Made by StartServerThreads; set by the stop control, which releases
// RunService into the stop; closed at the end of the stop.
HANDLE g_stopEvent = nullptr;

ServiceControlHooks g_hooks = {::SetServiceStatus, SendServiceStopNotice};
// Set once SERVICE_RUNNING was reported: only a service that ran tells the
// main program it stops (the notice ends the main program).
std::atomic<bool> g_wasRunning{false};

// Every server thread begins here: the alive flag is cleared however the
// procedure ends (an exception is caught and reported by the worker's own
// entry, one level up).
unsigned __stdcall ServerThreadEntry(void* parameter)
{
    ServerThread* server = static_cast<ServerThread*>(parameter);
    struct ClearAlive
    {
        ServerThread* server;
        ~ClearAlive() { server->alive.store(0); }
    } clearAlive{server};
    return server->procedure(nullptr);
}

DWORD StartServerThread(ServerThread& server)
{
    // Set before the thread exists, so that a thread that ends at once
    // cannot clear it first and have it set again afterwards.
    server.alive.store(1);
    ::SetLastError(NO_ERROR);
    if (server.worker.Start(ServerThreadEntry, &server))
        return NO_ERROR;
    const DWORD error = ::GetLastError();
    server.alive.store(0);
    // A thread that began and ended at once left no error on this thread.
    return error != NO_ERROR ? error : ERROR_SERVICE_NO_THREAD;
}

bool IsWaitedFor(ServerThread& server)
{
    // A thread that ended counts as ended whatever its flag says.
    return server.alive.load() != 0 && !server.worker.HasEnded();
}

bool AnyServerWaitedFor(ServerThread* servers)
{
    for (int i = 0; i < kServerThreadCount; i++)
    {
        if (IsWaitedFor(servers[i]))
            return true;
    }
    return false;
}

// Opens the pipe of every server still running once as a client and closes
// it at once: a server blocked in ConnectNamedPipe wakes, reads nothing and
// sees the quit flag. The open asks for identification only, as the pipe is
// not known to be the server's own.
void ReleaseWaitingServers(ServerThread* servers)
{
    for (int i = 0; i < kServerThreadCount; i++)
    {
        if (!IsWaitedFor(servers[i]))
            continue;
        HANDLE pipe = ::CreateFileA(GetIpcPipeName(servers[i].pipe),
                                    GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES, 0,
                                    nullptr, OPEN_EXISTING,
                                    FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL |
                                        SECURITY_SQOS_PRESENT | SECURITY_IDENTIFICATION,
                                    nullptr);
        if (pipe != INVALID_HANDLE_VALUE)
            ::CloseHandle(pipe);
    }
}

void ReportStopProgress()
{
    CLockGuard guard(g_statusLock);
    if (g_status.dwCurrentState == SERVICE_STOP_PENDING)
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitHint);
}

HANDLE GetStopEvent()
{
    CLockGuard guard(g_statusLock);
    return g_stopEvent;
}
} // namespace

ServiceControlHooks& GetServiceControlHooks()
{
    return g_hooks;
}

bool ReportServiceStatus(DWORD state, DWORD win32ExitCode, DWORD waitHint)
{
    CLockGuard guard(g_statusLock);
    g_status.dwCurrentState = state;
    g_status.dwWin32ExitCode = win32ExitCode;
    g_status.dwWaitHint = waitHint;
    g_status.dwControlsAccepted = state == SERVICE_START_PENDING ? 0 : SERVICE_ACCEPT_STOP;
    g_status.dwCheckPoint =
        state == SERVICE_RUNNING || state == SERVICE_STOPPED ? 0 : g_checkPoint++;
    return g_hooks.setServiceStatus(g_statusHandle, &g_status) != FALSE;
}

void WINAPI ServiceMain(DWORD, LPSTR*)
{
    SERVICE_STATUS_HANDLE handle =
        ::RegisterServiceCtrlHandlerExA(kServiceName, ServiceControlHandler, nullptr);
    if (handle == nullptr)
        return;
    {
        CLockGuard guard(g_statusLock);
        g_statusHandle = handle;
    }
    RunService();
}

void RunService()
{
    {
        CLockGuard guard(g_statusLock);
        g_status.dwServiceType = kReportedServiceType;
        g_status.dwServiceSpecificExitCode = 0;
    }
    DWORD exitCode = NO_ERROR;
    if (!ReportServiceStatus(SERVICE_START_PENDING, NO_ERROR, kStartWaitHint))
        exitCode = ::GetLastError();
    else if (!StartServerThreads())
        exitCode = ::GetLastError();
    else if (!(g_wasRunning = ReportServiceStatus(SERVICE_RUNNING, NO_ERROR, 0)))
    {
        // Never reported running: the servers must not outlive the report of
        // the end.
        exitCode = ::GetLastError();
        StopServerThreads();
    }
    else
    {
        ::WaitForSingleObject(GetStopEvent(), INFINITE);
        StopServerThreads();
    }
    ReportServiceStatus(SERVICE_STOPPED, exitCode, 0);
}

DWORD WINAPI ServiceControlHandler(DWORD control, DWORD, void*, void*)
{
    CLockGuard guard(g_statusLock);
    const DWORD state = g_status.dwCurrentState;
    // A control that comes in after the end was reported changes nothing.
    if (state == SERVICE_STOPPED)
        return NO_ERROR;
    if (control == SERVICE_CONTROL_STOP &&
        (state == SERVICE_RUNNING || state == SERVICE_STOP_PENDING))
    {
        ReportServiceStatus(SERVICE_STOP_PENDING, NO_ERROR, kStopWaitHint);
        if (g_stopEvent != nullptr)
            ::SetEvent(g_stopEvent);
        return NO_ERROR;
    }
    ReportServiceStatus(state, g_status.dwWin32ExitCode, g_status.dwWaitHint);
    return NO_ERROR;
}

bool StartServerThreads()
{
    DWORD error = NO_ERROR;
    HANDLE stopEvent = ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (stopEvent == nullptr)
        error = ::GetLastError();
    else
    {
        {
            CLockGuard guard(g_statusLock);
            g_stopEvent = stopEvent;
        }
        ServerThread* servers = GetServerThreads();
        for (int i = 0; i < kServerThreadCount && error == NO_ERROR; i++)
            error = StartServerThread(servers[i]);
    }
    if (error == NO_ERROR)
        return true;
    StopServerThreads();
    ::SetLastError(error);
    return false;
}

void StopServerThreads()
{
    // Best effort: whether the main program heard it does not hold the stop.
    // A start that failed sends none: the main program goes on, and finds
    // the service again when it comes back.
    if (g_wasRunning.exchange(false))
        g_hooks.sendStopNotice();
    SetServiceQuitting();
    ServerThread* servers = GetServerThreads();
    ReleaseWaitingServers(servers);
    ULONGLONG lastRelease = ::GetTickCount64();
    ULONGLONG lastProgress = lastRelease;
    while (AnyServerWaitedFor(servers))
    {
        ::Sleep(10);
        const ULONGLONG now = ::GetTickCount64();
        // A server that was between its quit test and ConnectNamedPipe when
        // its pipe was first opened is waiting for a client again.
        if (now - lastRelease >= kReleaseInterval)
        {
            ReleaseWaitingServers(servers);
            lastRelease = now;
        }
        if (now - lastProgress >= kProgressInterval)
        {
            ReportStopProgress();
            lastProgress = now;
        }
    }
    for (int i = 0; i < kServerThreadCount; i++)
        servers[i].worker.Stop();
    HANDLE stopEvent;
    {
        CLockGuard guard(g_statusLock);
        stopEvent = g_stopEvent;
        g_stopEvent = nullptr;
    }
    if (stopEvent != nullptr)
        ::CloseHandle(stopEvent);
}
