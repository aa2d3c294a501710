#include "engine/PipeClient.h"

#include "foundation/File.h"
#include "foundation/Security.h"
#include "foundation/ServiceHandle.h"
#include "foundation/Sync.h"

#include <algorithm>
#include <atomic>
#include <deque>
#include <string>
#include <vector>

namespace
{
// Both records start with the status and the result at the same places; a
// reply shorter than that carries neither.
constexpr DWORD kReplyHeaderBytes = offsetof(IpcQueueRecord, result) + sizeof(uint32_t);
static_assert(offsetof(IpcSettingsRecord, result) == offsetof(IpcQueueRecord, result),
              "both records keep the result in their third field");

// While a stop event is given, the waits for a pipe instance are cut into
// slices of this length, so that a stop ends them promptly.
constexpr DWORD kWaitSliceMs = 250;

constexpr DWORD kMinute = 60 * 1000;

constexpr PipeServerCheck kService = PipeServerCheck::Service;

// A registry task waits on the window's tool thread, so the window answers
// throughout: the limit only ends the wait on a service that never answers.
// A compaction of large hives takes minutes; a shorter limit reported
// failure while the service went on with the task.
constexpr DWORD kHiveTaskMs = 60 * kMinute;

PipePolicy g_policies[static_cast<int>(PipeSender::Count)] = {
    {1, 500, 0, 2000, 0, SECURITY_IMPERSONATION, 2000, kService},      // ProxySettings
    {1, 500, 0, 2000, 0, SECURITY_IMPERSONATION, 2000, kService},      // Language
    {1, 500, 0, 2000, 0, SECURITY_IMPERSONATION, 2000, kService},      // UserProfile
    {1, 2000, 0, kHiveTaskMs, 0, SECURITY_IMPERSONATION, 0, kService}, // CompactHives
    {1, 2000, 0, kHiveTaskMs, 0, SECURITY_IMPERSONATION, 0, kService}, // SaveHives
    {1, 2000, 0, kHiveTaskMs, 0, SECURITY_IMPERSONATION, 0, kService}, // RestoreHives
    {1, 2000, 0, kMinute, 0, SECURITY_IMPERSONATION, 0, kService},     // StartupEntry
    {1, 2000, 0, 2000, 0, SECURITY_IDENTIFICATION, 0,
     PipeServerCheck::SameUserAndSession},                                      // ActivateInstance
    {1, 2000, 0, 2000, 0, SECURITY_IDENTIFICATION},                             // ServiceStopping
    {20, 20000, 1000, kMinute, 0, SECURITY_IMPERSONATION, 0, kService},         // FileStamp
    {20, 20000, 1000, 10 * kMinute, 1000, SECURITY_IMPERSONATION, 0, kService}, // StoreFile
    {20, 20000, 1000, 10 * kMinute, 1000, SECURITY_IMPERSONATION, 0, kService}, // RestoreFile
};

// The sender log, and the lines kept while there is none.
constexpr size_t kKeptLogLines = 16;
SRWLOCK g_logLock = SRWLOCK_INIT;
void (*g_senderLog)(const char*) = nullptr;
std::deque<std::string> g_keptLogLines;

void WriteSenderLog(const char* line)
{
    ::AcquireSRWLockExclusive(&g_logLock);
    void (*log)(const char*) = g_senderLog;
    if (log == nullptr)
    {
        try
        {
            if (g_keptLogLines.size() == kKeptLogLines)
                g_keptLogLines.pop_front();
            g_keptLogLines.emplace_back(line);
        }
        catch (...)
        {
            // A line that cannot be kept is lost, as a log line may be.
        }
    }
    ::ReleaseSRWLockExclusive(&g_logLock);
    if (log != nullptr)
        log(line);
}

// True when the text fits its field; else the refusal is logged.
template <size_t N>
bool Fits(const char (&field)[N], const char* text, const char* fieldName, const char* about)
{
    if (IpcTextFits(field, text))
        return true;
    CString line;
    line.Format("Not sent to the service: the %s is longer than %u characters (%.300s)\r\n\r\n",
                fieldName, static_cast<unsigned>(N - 1), about ? about : "");
    WriteSenderLog(line);
    return false;
}

// The service's process id as last asked, and when (GetTickCount64).
constexpr ULONGLONG kServiceProcessKeptMs = 1000;
SRWLOCK g_serviceLock = SRWLOCK_INIT;
DWORD g_serviceProcess = 0;
ULONGLONG g_serviceAskedAt = 0;
bool g_serviceAsked = false;
std::atomic<ServiceProcessProbe> g_serviceProbe{nullptr};
std::atomic<PipeServerProcessProbe> g_serverProbe{nullptr};
// Whether a refused server end of the service's pipes has been logged since
// the service last served them.
std::atomic<bool> g_untrustedLogged{false};

// The service control manager's answer: the running service's process id,
// or 0.
DWORD AskServiceManager()
{
    CServiceHandle manager(::OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!manager.IsOpen())
        return 0;
    CServiceHandle service(::OpenServiceA(manager.Get(), kServiceName, SERVICE_QUERY_STATUS));
    SERVICE_STATUS_PROCESS status = {};
    DWORD needed = 0;
    if (!service.IsOpen() ||
        !::QueryServiceStatusEx(service.Get(), SC_STATUS_PROCESS_INFO,
                                reinterpret_cast<BYTE*>(&status), sizeof status, &needed))
        return 0;
    // A process id is the service's only while it runs (or stops, still
    // serving what it had in hand); a stopped service's slot may name a
    // process that took the number since.
    if (status.dwCurrentState != SERVICE_RUNNING && status.dwCurrentState != SERVICE_STOP_PENDING)
        return 0;
    return status.dwProcessId;
}

// The service's process id; `fresh`: never the kept answer.
DWORD ServiceProcessId(bool fresh)
{
    if (ServiceProcessProbe probe = g_serviceProbe.load())
        return probe();
    const ULONGLONG now = ::GetTickCount64();
    ::AcquireSRWLockShared(&g_serviceLock);
    const bool kept = !fresh && g_serviceAsked && now - g_serviceAskedAt < kServiceProcessKeptMs;
    const DWORD process = g_serviceProcess;
    ::ReleaseSRWLockShared(&g_serviceLock);
    if (kept)
        return process;
    const DWORD asked = AskServiceManager();
    ::AcquireSRWLockExclusive(&g_serviceLock);
    g_serviceProcess = asked;
    g_serviceAskedAt = ::GetTickCount64();
    g_serviceAsked = true;
    ::ReleaseSRWLockExclusive(&g_serviceLock);
    return asked;
}

// The service's pipe is served by the service. A process id can be taken
// again once its process has ended, so the kept answer counts only for a
// second after the service manager gave it.
bool IsServiceServer(HANDLE pipe, const char* pipeName)
{
    ULONG server = 0;
    DWORD expected = 0;
    const bool known = ::GetNamedPipeServerProcessId(pipe, &server) != FALSE;
    if (known)
    {
        expected = ServiceProcessId(false);
        if (expected != server)
            expected = ServiceProcessId(true); // the service may have started again
    }
    if (known && expected != 0 && expected == server)
    {
        g_untrustedLogged.store(false);
        return true;
    }
    if (!g_untrustedLogged.exchange(true))
    {
        CString line;
        if (!known)
            line.Format(
                "Not sent to the service: the server of %s cannot be told (error %lu)\r\n\r\n",
                pipeName, ::GetLastError());
        else if (expected == 0)
            line.Format("Not sent to the service: %s is served by process %lu, and the service "
                        "is not running\r\n\r\n",
                        pipeName, static_cast<unsigned long>(server));
        else
            line.Format("Not sent to the service: %s is served by process %lu, not by the "
                        "service (process %lu)\r\n\r\n",
                        pipeName, static_cast<unsigned long>(server),
                        static_cast<unsigned long>(expected));
        WriteSenderLog(line);
    }
    return false;
}

// A program of this user and session serves the pipe; else why not is
// logged.
bool IsSameUserServer(HANDLE pipe)
{
    PipeServerProcess server;
    const PipeServerProcessProbe probe = g_serverProbe.load();
    const bool known = probe != nullptr ? probe(pipe, server) : ReadPipeServerProcess(pipe, server);
    DWORD session = 0;
    if (known && server.sameUser && ::ProcessIdToSessionId(::GetCurrentProcessId(), &session) &&
        session == server.sessionId)
        return true;
    CString line;
    if (!known)
        line.Format("The USER pipe's server cannot be told (error %lu): this program runs on "
                    "its own\r\n\r\n",
                    ::GetLastError());
    else
        line.Format("The USER pipe is held by process %lu of %s: this program runs on its "
                    "own\r\n\r\n",
                    static_cast<unsigned long>(server.processId),
                    server.sameUser ? "another session" : "another user");
    WriteSenderLog(line);
    return false;
}

bool IsTrustedServer(HANDLE pipe, const char* pipeName, const PipePolicy& policy)
{
    switch (policy.server)
    {
    case PipeServerCheck::Service:
        return IsServiceServer(pipe, pipeName);
    case PipeServerCheck::SameUserAndSession:
        return IsSameUserServer(pipe);
    case PipeServerCheck::None:
        break;
    }
    return true;
}

// The events that end an exchange's waits at once: the caller's stop event
// and, for a caller storing on several threads, their shared cancel event,
// which an exchange that goes unanswered sets itself (Raise). Either may be
// null.
class StopEvents
{
public:
    StopEvents(HANDLE stop, HANDLE cancel) : m_cancel(cancel)
    {
        for (HANDLE event : {stop, cancel})
            if (event != nullptr)
                m_events[m_count++] = event;
    }
    void Raise() const
    {
        if (m_cancel != nullptr)
            ::SetEvent(m_cancel);
    }
    bool Any() const { return m_count > 0; }
    DWORD Count() const { return m_count; }
    const HANDLE* Handles() const { return m_events; }
    bool IsSet() const { return m_count > 0 && Wait(0); }
    // Waits at most `ms`; true when one of the events was set (a plain sleep
    // when there are none).
    bool Wait(DWORD ms) const
    {
        if (m_count == 0)
        {
            ::Sleep(ms);
            return false;
        }
        return ::WaitForMultipleObjects(m_count, m_events, FALSE, ms) < WAIT_OBJECT_0 + m_count;
    }

private:
    HANDLE m_cancel;
    HANDLE m_events[2] = {};
    DWORD m_count = 0;
};

enum class InstanceWait
{
    Free,
    Missing,
    Busy,
    Cancelled
};

// One wait of the policy's length for a free instance. WaitNamedPipeA fails
// at once when no server holds the name (error 2, under Wine as on Windows)
// and with ERROR_SEM_TIMEOUT when every instance stayed busy.
InstanceWait WaitForInstance(const char* pipeName, DWORD waitMs, const StopEvents& stops)
{
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        DWORD remaining = elapsed >= waitMs ? 1 : static_cast<DWORD>(waitMs - elapsed);
        DWORD slice = stops.Any() ? std::min(remaining, kWaitSliceMs) : remaining;
        // 0 would mean the server's default time-out, INFINITE no limit.
        slice = std::max<DWORD>(1, std::min<DWORD>(slice, INFINITE - 1));
        if (::WaitNamedPipeA(pipeName, slice))
            return InstanceWait::Free;
        if (::GetLastError() != ERROR_SEM_TIMEOUT)
            return InstanceWait::Missing;
        if (stops.IsSet())
            return InstanceWait::Cancelled;
        if (::GetTickCount64() - start >= waitMs)
            return InstanceWait::Busy;
    }
}

// Opens the pipe once: Done with the handle in `pipe`, Busy when every
// instance is taken, NoPipe when no server holds the name, else OpenFailed.
// `openedAt` receives the tick taken just before the open: the server
// counts a connection's life from its connect, which comes later, so a
// client that counts from here never reckons a connection younger than the
// server does.
PipeOutcome OpenOnce(const char* pipeName, const PipePolicy& policy, CFile& pipe,
                     ULONGLONG& openedAt)
{
    openedAt = ::GetTickCount64();
    // No security attributes: the handle is not inherited by the programs
    // this process starts (cacls, the restarted program).
    HANDLE handle = ::CreateFileA(pipeName, GENERIC_READ | FILE_WRITE_DATA | FILE_WRITE_ATTRIBUTES,
                                  0, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OVERLAPPED | FILE_ATTRIBUTE_NORMAL |
                                      SECURITY_SQOS_PRESENT | policy.impersonation,
                                  nullptr);
    if (handle != INVALID_HANDLE_VALUE)
    {
        pipe.Attach(handle);
        return PipeOutcome::Done;
    }
    switch (::GetLastError())
    {
    case ERROR_PIPE_BUSY:
        return PipeOutcome::Busy;
    case ERROR_FILE_NOT_FOUND:
        return PipeOutcome::NoPipe;
    default:
        return PipeOutcome::OpenFailed;
    }
}

// Opens a free instance, attempt after attempt. Done with the handle in
// `pipe`, or why not. Each attempt opens at once and waits for an instance
// only when every one was taken: a free instance costs no wait, which under
// Wine is four calls into its server on every request.
PipeOutcome OpenPipe(const char* pipeName, const PipePolicy& policy, const StopEvents& stops,
                     CFile& pipe, ULONGLONG& openedAt)
{
    PipeOutcome last = PipeOutcome::NoPipe;
    const DWORD attempts = std::max<DWORD>(1, policy.attempts);
    for (DWORD attempt = 1; attempt <= attempts; ++attempt)
    {
        // The first attempt needs no look at the stop: Send looks once the
        // pipe is open, before anything is written.
        if (attempt > 1 && stops.IsSet())
            return PipeOutcome::Cancelled;
        last = OpenOnce(pipeName, policy, pipe, openedAt);
        if (last == PipeOutcome::Busy)
        {
            switch (WaitForInstance(pipeName, policy.waitMs, stops))
            {
            case InstanceWait::Cancelled:
                return PipeOutcome::Cancelled;
            case InstanceWait::Missing:
                last = PipeOutcome::NoPipe;
                break;
            case InstanceWait::Busy:
                break;
            case InstanceWait::Free:
                // Another client may take the freed instance first, or the
                // server go away: that counts as an attempt.
                last = OpenOnce(pipeName, policy, pipe, openedAt);
                break;
            }
        }
        if (last == PipeOutcome::Done || last == PipeOutcome::OpenFailed)
            return last;
        if (attempt < attempts && policy.pauseMs > 0 && stops.Wait(policy.pauseMs))
            return PipeOutcome::Cancelled;
    }
    return last;
}

// The events the exchanges wait on, kept for the next exchange rather than
// made and closed for each (two calls into Wine's server on every request):
// one per exchange under way at a time, so as many as the process ever ran
// at once. A pipe operation resets its event as it begins, and an exchange
// gives its event back only once its operation has ended, so no exchange
// sees another's end. (Not one per thread: a thread_local with a destructor
// was measured hanging the end of threads under Wine 8.) The pool lives as
// long as the process, whose end closes its handles: an exchange may still
// end on a thread that outlives the return from main.
class CExchangeEvents
{
public:
    CExchangeEvents() = default;
    CExchangeEvents(const CExchangeEvents&) = delete;
    CExchangeEvents& operator=(const CExchangeEvents&) = delete;

    // An event of the pool or a new one; null when none can be had.
    HANDLE Take()
    {
        ::AcquireSRWLockExclusive(&m_lock);
        HANDLE event = nullptr;
        if (!m_free.empty())
        {
            event = m_free.back();
            m_free.pop_back();
        }
        ::ReleaseSRWLockExclusive(&m_lock);
        return event != nullptr ? event : ::CreateEventA(nullptr, TRUE, FALSE, nullptr);
    }
    void Give(HANDLE event)
    {
        if (event == nullptr)
            return;
        ::AcquireSRWLockExclusive(&m_lock);
        try
        {
            m_free.push_back(event);
            event = nullptr;
        }
        catch (...)
        {
        }
        ::ReleaseSRWLockExclusive(&m_lock);
        if (event != nullptr)
            ::CloseHandle(event);
    }

private:
    SRWLOCK m_lock = SRWLOCK_INIT;
    std::vector<HANDLE> m_free;
};

CExchangeEvents& ExchangeEvents()
{
    static CExchangeEvents* const pool = new CExchangeEvents;
    return *pool;
}

// One exchange's event, given back at the end of its scope.
class CExchangeEvent
{
public:
    CExchangeEvent() : m_event(ExchangeEvents().Take()) {}
    CExchangeEvent(const CExchangeEvent&) = delete;
    CExchangeEvent& operator=(const CExchangeEvent&) = delete;
    ~CExchangeEvent() { ExchangeEvents().Give(m_event); }
    HANDLE GetHandle() const { return m_event; }

private:
    HANDLE m_event;
};

// Whether a failed pipe operation's error says that the server had ended
// the connection (closed or disconnected its end).
bool IsEndedByServer(DWORD error)
{
    return error == ERROR_PIPE_NOT_CONNECTED || error == ERROR_NO_DATA ||
           error == ERROR_BROKEN_PIPE;
}

// How an exchange that did not end Done failed, as far as the sender's
// rules for sending a request again need it.
struct ExchangeEnd
{
    // Something of the request may have reached the server: false only when
    // the operation failed at once because the server had ended the
    // connection before it.
    bool written = true;
    // The server ended the connection before a reply: it had let go of the
    // request, served or not (it closes an instance only between requests),
    // and is serving nothing of it any more.
    bool endedByServer = false;
};

// Runs one overlapped write (reply null) or transaction on an open pipe and
// waits for its end within the limit. A pending operation that does not end
// in time is cancelled and awaited here, so it never writes into `reply`
// after the return. *count receives the bytes written or read. A
// transaction on a pipe just opened (`fresh`) first sets message read mode;
// a kept connection has it already. `end` (when given) says how a failure
// came.
PipeOutcome Exchange(HANDLE handle, const void* request, DWORD requestSize, void* reply,
                     DWORD replySize, DWORD limitMs, const StopEvents& stops, DWORD& count,
                     bool fresh = true, ExchangeEnd* end = nullptr)
{
    count = 0;
    ExchangeEnd ignored;
    ExchangeEnd& how = end != nullptr ? *end : ignored;
    how = ExchangeEnd();
    const CExchangeEvent ended;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ended.GetHandle();
    if (overlapped.hEvent == nullptr)
        return PipeOutcome::Failed;

    BOOL started;
    if (reply != nullptr)
    {
        DWORD mode = PIPE_READMODE_MESSAGE;
        if (fresh && !::SetNamedPipeHandleState(handle, &mode, nullptr, nullptr))
            return PipeOutcome::Failed;
        started = ::TransactNamedPipe(handle, const_cast<void*>(request), requestSize, reply,
                                      replySize, nullptr, &overlapped);
    }
    else
    {
        started = ::WriteFile(handle, request, requestSize, nullptr, &overlapped);
    }
    if (!started)
    {
        const DWORD error = ::GetLastError();
        // ERROR_MORE_DATA: the reply was longer than the buffer, which holds
        // its first bytes; the status and result are among them.
        if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
        {
            if (IsEndedByServer(error))
            {
                how.written = false;
                how.endedByServer = true;
            }
            return PipeOutcome::Failed;
        }
        if (error == ERROR_IO_PENDING)
        {
            HANDLE waits[3] = {overlapped.hEvent, stops.Handles()[0], stops.Handles()[1]};
            const DWORD waited =
                ::WaitForMultipleObjects(1 + stops.Count(), waits, FALSE, limitMs);
            if (waited != WAIT_OBJECT_0)
            {
                ::CancelIo(handle);
                DWORD late = 0;
                // It may have ended just before the cancel; then it counts.
                if (!::GetOverlappedResult(handle, &overlapped, &late, TRUE) &&
                    ::GetLastError() != ERROR_MORE_DATA)
                {
                    return waited == WAIT_TIMEOUT ? PipeOutcome::TimedOut
                                                  : PipeOutcome::Cancelled;
                }
            }
        }
    }
    if (!::GetOverlappedResult(handle, &overlapped, &count, FALSE) &&
        ::GetLastError() != ERROR_MORE_DATA)
    {
        how.endedByServer = IsEndedByServer(::GetLastError());
        count = 0;
        return PipeOutcome::Failed;
    }
    if (reply == nullptr && count != requestSize)
        return PipeOutcome::Failed;
    return PipeOutcome::Done;
}

// After a one-way write: waits, at most limitMs, until the server has
// closed its end (a read of the pipe then fails), so that this end is still
// open while the server reads who sent the request. Whatever the server
// might write meanwhile is not for this sender and ends the wait too.
void AwaitServerClose(CFile& pipe, DWORD limitMs)
{
    const CExchangeEvent ended;
    OVERLAPPED overlapped = {};
    overlapped.hEvent = ended.GetHandle();
    if (overlapped.hEvent == nullptr)
        return;
    char scratch[16];
    if (::ReadFile(pipe.GetHandle(), scratch, sizeof scratch, nullptr, &overlapped) ||
        ::GetLastError() != ERROR_IO_PENDING)
        return; // closed already (ERROR_BROKEN_PIPE), or something came
    if (::WaitForSingleObject(overlapped.hEvent, limitMs) != WAIT_OBJECT_0)
        ::CancelIo(pipe.GetHandle());
    DWORD bytes = 0;
    ::GetOverlappedResult(pipe.GetHandle(), &overlapped, &bytes, TRUE);
}

thread_local CKeptBackupConnection* t_keptConnection = nullptr;

// A transaction over the thread's kept connection, when it has one that may
// still carry a request: true with its outcome, false when there is none or
// the server had ended it (the request then goes over a new connection).
// `end` says how the request fared on the kept connection.
bool SendKept(CKeptBackupConnection* kept, const void* request, DWORD requestSize, void* reply,
              DWORD replySize, const PipePolicy& policy, const StopEvents& stops, DWORD& count,
              PipeOutcome& outcome, ExchangeEnd& end)
{
    end.written = false;
    end.endedByServer = false;
    const HANDLE pipe = kept != nullptr && reply != nullptr ? kept->Usable() : INVALID_HANDLE_VALUE;
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    if (stops.IsSet())
    {
        outcome = PipeOutcome::Cancelled;
        return true;
    }
    outcome = Exchange(pipe, request, requestSize, reply, replySize, policy.exchangeMs, stops, count,
                       false, &end);
    if (outcome == PipeOutcome::Done)
        return true;
    if (end.endedByServer)
    {
        kept->Close();
        return false;
    }
    if (outcome != PipeOutcome::Cancelled)
        stops.Raise(); // as in Send: before the instance is free
    kept->Close();
    return true;
}

// kept: the thread's kept connection (BACKUP transactions only), which the
// request uses when it can and which keeps the connection opened for it.
// *sent (when given): whether the request may have reached the server, false
// when it ended before anything was written. sendAgainIfEnded: a request
// whose connection the server ended before a reply is sent once more, over
// a new connection (the BACKUP requests, which give the same result when
// served twice).
PipeOutcome Send(const char* pipeName, const void* request, DWORD requestSize, void* reply,
                 DWORD replySize, const PipePolicy& policy, const StopEvents& stops, DWORD& count,
                 CKeptBackupConnection* kept = nullptr, bool* sent = nullptr,
                 bool sendAgainIfEnded = false)
{
    count = 0;
    ExchangeEnd end;
    PipeOutcome outcome = PipeOutcome::Failed;
    const bool viaKept = SendKept(kept, request, requestSize, reply, replySize, policy, stops,
                                  count, outcome, end);
    if (sent != nullptr)
        *sent = end.written;
    if (viaKept)
        return outcome;
    // Times the request went over a connection of its own, or reached the
    // server over the kept one.
    int sendings = end.written ? 1 : 0;
    for (;;)
    {
        CFile pipe;
        ULONGLONG openedAt = 0;
        outcome = OpenPipe(pipeName, policy, stops, pipe, openedAt);
        // A stop while the pipe was being opened: nothing is sent.
        if (outcome == PipeOutcome::Done && stops.IsSet())
            outcome = PipeOutcome::Cancelled;
        // Nothing goes to a server end the policy does not accept.
        if (outcome == PipeOutcome::Done && !IsTrustedServer(pipe.GetHandle(), pipeName, policy))
            outcome = PipeOutcome::Untrusted;
        end = ExchangeEnd();
        if (outcome == PipeOutcome::Done)
        {
            if (sent != nullptr)
                *sent = true;
            ++sendings;
            outcome = Exchange(pipe.GetHandle(), request, requestSize, reply, replySize,
                               policy.exchangeMs, stops, count, true, &end);
        }
        // The server let go of the request without a reply (a service that
        // stopped or restarted between requests, a request it dropped): it
        // is sent again, once, on a connection opened anew, which finds the
        // service as it is now.
        if (outcome == PipeOutcome::Failed && end.endedByServer && sendAgainIfEnded &&
            sendings < 2)
            continue;
        // Unanswered: the others sharing the cancel event end too, and
        // learn it while this pipe is still open, before the instance it
        // holds is free for one of them to send another request.
        if (outcome != PipeOutcome::Done && outcome != PipeOutcome::Cancelled)
            stops.Raise();
        if (outcome != PipeOutcome::Done)
            return outcome;
        if (reply == nullptr && policy.closeWaitMs > 0)
            AwaitServerClose(pipe, policy.closeWaitMs);
        else if (kept != nullptr && reply != nullptr)
            kept->Keep(pipe.Detach(), openedAt);
        return outcome;
    }
}

// SETTINGS senders that expect a reply: its result when it carries the
// status, else 0.
int SettingsTransact(PipeSender sender, const void* request, DWORD requestSize)
{
    IpcSettingsRecord reply = {};
    DWORD bytes = 0;
    if (PipeTransact(GetIpcPipeName(IpcPipe::Settings), request, requestSize, &reply, sizeof(reply),
                     GetPipePolicy(sender), nullptr, &bytes) != PipeOutcome::Done ||
        bytes < kReplyHeaderBytes || reply.type != IPC_STATUS_OK)
    {
        return 0;
    }
    return static_cast<int>(reply.result);
}

int SettingsKeyRequest(PipeSender sender, uint32_t type, const CString& key, uint32_t scope,
                       uint32_t enable)
{
    if (key.IsEmpty())
        return 0;
    IpcSettingsRecord request = {};
    if (!Fits(request.key, key, "name", key))
        return 0;
    request.type = type;
    request.scope = scope;
    IpcCopyText(request.key, key);
    request.proxyType = enable;
    // The reply is read into a whole record: a reply longer than the
    // buffer would arrive cut, and nothing is gained by a shorter one.
    return SettingsTransact(sender, &request, sizeof(request));
}

bool SettingsWrite(PipeSender sender, const IpcSettingsRecord& request)
{
    return PipeWrite(GetIpcPipeName(IpcPipe::Settings), &request, sizeof(request),
                     GetPipePolicy(sender)) == PipeOutcome::Done;
}

// A store or restore may take long for a large file: the limit grows with
// the size of the file the request reads (when it can be read here).
PipePolicy PolicyForFile(PipeSender sender, const char* path)
{
    PipePolicy policy = GetPipePolicy(sender);
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (policy.exchangeMsPerMiB == 0 || !::GetFileAttributesExA(path, GetFileExInfoStandard, &data))
        return policy;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    const uint64_t mebibytes = (size + (1u << 20) - 1) >> 20;
    const uint64_t limit = policy.exchangeMs + mebibytes * policy.exchangeMsPerMiB;
    policy.exchangeMs = static_cast<DWORD>(std::min<uint64_t>(limit, INFINITE - 1));
    return policy;
}

// The BACKUP exchange: true when a reply with the status came back.
bool BackupTransact(const IpcQueueRecord& request, IpcQueueRecord& reply, const PipePolicy& policy,
                    const StopEvents& stops, bool* sent = nullptr)
{
    DWORD bytes = 0;
    return Send(GetIpcPipeName(IpcPipe::Backup), &request, sizeof(request), &reply, sizeof(reply),
                policy, stops, bytes, CKeptBackupConnection::OnThisThread(), sent, true) ==
               PipeOutcome::Done &&
           bytes >= kReplyHeaderBytes && reply.command == IPC_STATUS_OK;
}

int TransferFile(PipeSender sender, uint32_t command, const CString& path, const CString& root,
                 BOOL compress, BOOL encrypt, const CString& password, const StopEvents& stops,
                 bool* sent = nullptr)
{
    if (sent != nullptr)
        *sent = false;
    // Nothing to store or restore is not a success.
    if (path.IsEmpty())
        return kPipeFailed;
    IpcQueueRecord request = {};
    if (!Fits(request.text3, path, "path", path) || !Fits(request.text1, root, "folder", path) ||
        !Fits(request.text2, password, "password", path))
        return kPipeFailed;
    request.command = command;
    IpcCopyText(request.text3, path);
    IpcCopyText(request.text1, root);
    IpcCopyText(request.text2, password);
    request.compress = compress ? 1 : 0;
    request.encrypt = encrypt ? 1 : 0;
    IpcQueueRecord reply = {};
    if (!BackupTransact(request, reply, PolicyForFile(sender, path), stops, sent))
        return kPipeNoAnswer;
    return reply.result == 0 ? kPipeDone : kPipeFailed;
}

// A one-way write after a single wait.
PipeOutcome WriteOnce(const char* pipeName, const void* request, DWORD size,
                      const PipePolicy& policy)
{
    PipePolicy once = policy;
    once.attempts = 1;
    return PipeWrite(pipeName, request, size, once);
}

// Whether a one-way write found its pipe there: without a server check, a
// server held the name (even one that stayed busy); with one, the pipe
// opened and its server passed the check, whatever the write did then.
bool WasThere(PipeOutcome outcome, const PipePolicy& policy)
{
    if (policy.server == PipeServerCheck::None)
        return outcome != PipeOutcome::NoPipe;
    return outcome == PipeOutcome::Done || outcome == PipeOutcome::Failed ||
           outcome == PipeOutcome::TimedOut;
}

bool UserNotice(PipeSender sender, uint32_t notice)
{
    IpcQueueRecord request = {};
    request.command = notice;
    return PipeWriteOnce(GetIpcPipeName(IpcPipe::User), &request, sizeof(request),
                         GetPipePolicy(sender));
}
} // namespace

CKeptBackupConnection::CKeptBackupConnection() : m_outer(t_keptConnection)
{
    t_keptConnection = this;
}

CKeptBackupConnection::~CKeptBackupConnection()
{
    Close();
    t_keptConnection = m_outer;
}

void CKeptBackupConnection::Close()
{
    if (m_pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_pipe);
    m_pipe = INVALID_HANDLE_VALUE;
}

CKeptBackupConnection* CKeptBackupConnection::OnThisThread()
{
    return t_keptConnection;
}

HANDLE CKeptBackupConnection::Usable()
{
    if (m_pipe != INVALID_HANDLE_VALUE && ::GetTickCount64() - m_openedAt >= kKeptConnectionMs)
        Close();
    return m_pipe;
}

void CKeptBackupConnection::Keep(HANDLE pipe, ULONGLONG openedAt)
{
    Close();
    m_pipe = pipe;
    m_openedAt = openedAt;
}

void SetPipeSenderLog(void (*log)(const char* line))
{
    std::deque<std::string> kept;
    ::AcquireSRWLockExclusive(&g_logLock);
    g_senderLog = log;
    if (log != nullptr)
        kept.swap(g_keptLogLines);
    ::ReleaseSRWLockExclusive(&g_logLock);
    for (const std::string& line : kept)
        log(line.c_str());
}

DWORD GetServiceProcessId()
{
    return ServiceProcessId(false);
}

void SetServiceProcessProbe(ServiceProcessProbe probe)
{
    g_serviceProbe.store(probe);
    g_untrustedLogged.store(false);
}

bool ReadPipeServerProcess(HANDLE pipe, PipeServerProcess& server)
{
    ULONG process = 0;
    ULONG session = 0;
    if (!::GetNamedPipeServerProcessId(pipe, &process) ||
        !::GetNamedPipeServerSessionId(pipe, &session))
        return false;
    bool sameUser = false;
    // Another user's process does not open for this one: not the same user.
    HANDLE handle = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, process);
    if (handle != nullptr)
    {
        CAccessToken theirs;
        CAccessToken ours;
        std::vector<BYTE> theirUser;
        std::vector<BYTE> ourUser;
        sameUser = theirs.OpenProcess(handle, TOKEN_QUERY) &&
                   ours.OpenProcess(::GetCurrentProcess(), TOKEN_QUERY) &&
                   ReadTokenInformation(theirs.Get(), TokenUser, theirUser) &&
                   ReadTokenInformation(ours.Get(), TokenUser, ourUser) &&
                   ::EqualSid(reinterpret_cast<TOKEN_USER*>(theirUser.data())->User.Sid,
                              reinterpret_cast<TOKEN_USER*>(ourUser.data())->User.Sid);
        ::CloseHandle(handle);
    }
    server.processId = process;
    server.sessionId = session;
    server.sameUser = sameUser;
    return true;
}

void SetPipeServerProcessProbe(PipeServerProcessProbe probe)
{
    g_serverProbe.store(probe);
}

const PipePolicy& GetPipePolicy(PipeSender sender)
{
    return g_policies[static_cast<int>(sender)];
}

void SetPipePolicy(PipeSender sender, const PipePolicy& policy)
{
    g_policies[static_cast<int>(sender)] = policy;
}

PipeOutcome PipeTransact(const char* pipeName, const void* request, DWORD requestSize, void* reply,
                         DWORD replySize, const PipePolicy& policy, HANDLE stopEvent,
                         DWORD* replyBytes)
{
    DWORD count = 0;
    const PipeOutcome outcome = Send(pipeName, request, requestSize, reply, replySize, policy,
                                     StopEvents(stopEvent, nullptr), count);
    if (replyBytes != nullptr)
        *replyBytes = outcome == PipeOutcome::Done ? count : 0;
    return outcome;
}

PipeOutcome PipeWrite(const char* pipeName, const void* request, DWORD size,
                      const PipePolicy& policy, HANDLE stopEvent)
{
    DWORD count = 0;
    return Send(pipeName, request, size, nullptr, 0, policy, StopEvents(stopEvent, nullptr), count);
}

bool PipeWriteOnce(const char* pipeName, const void* request, DWORD size, const PipePolicy& policy)
{
    return WasThere(WriteOnce(pipeName, request, size, policy), policy);
}

bool PipeSendProxySettings(const CString& host, DWORD port, const CString& login,
                           const CString& password, DWORD proxyType)
{
    IpcSettingsRecord request = {};
    if (!Fits(request.proxyHost, host, "proxy host", host) ||
        !Fits(request.proxyLogin, login, "proxy login", host) ||
        !Fits(request.proxyPassword, password, "proxy password", host))
        return false;
    request.type = SETTINGS_PROXY;
    IpcCopyText(request.proxyHost, host);
    request.proxyPort = port;
    IpcCopyText(request.proxyLogin, login);
    IpcCopyText(request.proxyPassword, password);
    request.proxyType = proxyType;
    return SettingsWrite(PipeSender::ProxySettings, request);
}

bool PipeSendLanguage(const CString& language)
{
    IpcSettingsRecord request = {};
    if (!Fits(request.language, language, "language", language))
        return false;
    request.type = SETTINGS_LANGUAGE;
    IpcCopyText(request.language, language);
    return SettingsWrite(PipeSender::Language, request);
}

bool PipeSendUserProfile(const CString& userKeyRoot, const CString& profilePath)
{
    IpcSettingsRecord request = {};
    if (!Fits(request.userKeyRoot, userKeyRoot, "user", userKeyRoot) ||
        !Fits(request.profilePath, profilePath, "profile path", profilePath))
        return false;
    request.type = SETTINGS_USER_PROFILE;
    IpcCopyText(request.userKeyRoot, userKeyRoot);
    IpcCopyText(request.profilePath, profilePath);
    return SettingsWrite(PipeSender::UserProfile, request);
}

int PipeCompactRegistryHives()
{
    // The request is a record of the BACKUP pipe's size with the type
    // first; the service reads no other field of it. The reply is a whole
    // SETTINGS record.
    IpcQueueRecord request = {};
    request.command = SETTINGS_COMPACT_HIVES;
    return SettingsTransact(PipeSender::CompactHives, &request, sizeof(request));
}

int PipeSaveRegistryHives(const CString& folder)
{
    return SettingsKeyRequest(PipeSender::SaveHives, SETTINGS_SAVE_HIVES, folder, 0, 0);
}

int PipeRestoreRegistryHives(const CString& folder)
{
    return SettingsKeyRequest(PipeSender::RestoreHives, SETTINGS_RESTORE_HIVES, folder, 0, 0);
}

int PipeSetStartupEntryEnabled(const CString& valueName, DWORD scope, BOOL enable)
{
    return SettingsKeyRequest(PipeSender::StartupEntry, SETTINGS_STARTUP_ENABLE, valueName, scope,
                              enable ? 1 : 0);
}

int PipeDeleteStartupEntry(const CString& valueName, DWORD scope)
{
    return SettingsKeyRequest(PipeSender::StartupEntry, SETTINGS_STARTUP_DELETE, valueName, scope,
                              0);
}

bool PipeActivateRunningInstance()
{
    IpcQueueRecord request = {};
    request.command = USER_BRING_TO_FRONT;
    const PipePolicy& policy = GetPipePolicy(PipeSender::ActivateInstance);
    const DWORD error = ::GetLastError();
    const PipeOutcome outcome =
        WriteOnce(GetIpcPipeName(IpcPipe::User), &request, sizeof(request), policy);
    if (policy.server != PipeServerCheck::None &&
        (outcome == PipeOutcome::Busy || outcome == PipeOutcome::OpenFailed))
    {
        // Another user's program holds the name (its pipe admits nobody
        // else), or one holds the one instance: nobody this start may hand
        // over to.
        CString line;
        line.Format("The USER pipe %s (error %lu): this program runs on its own\r\n\r\n",
                    outcome == PipeOutcome::Busy ? "stayed busy" : "cannot be opened",
                    outcome == PipeOutcome::Busy ? static_cast<unsigned long>(ERROR_PIPE_BUSY)
                                                 : static_cast<unsigned long>(::GetLastError()));
        WriteSenderLog(line);
    }
    ::SetLastError(error);
    return WasThere(outcome, policy);
}

bool PipeNotifyServiceStopping()
{
    return UserNotice(PipeSender::ServiceStopping, USER_SERVICE_STOPPING);
}

int PipeGetFileStamp(const CString& path, CString& stamp, HANDLE stopEvent, HANDLE cancelEvent)
{
    if (path.IsEmpty())
        return 0;
    IpcQueueRecord request = {};
    if (!Fits(request.text3, path, "path", path))
        return 0;
    request.command = BACKUP_FILE_STAMP;
    IpcCopyText(request.text3, path);
    IpcQueueRecord reply = {};
    if (!BackupTransact(request, reply, GetPipePolicy(PipeSender::FileStamp),
                        StopEvents(stopEvent, cancelEvent)))
        return kPipeNoAnswer;
    if (reply.result == 0)
        return 0;
    stamp = CString(reply.text1, static_cast<int>(IpcTextLength(reply.text1)));
    return 1;
}

int PipeStoreFile(const CString& source, const CString& destinationRoot, BOOL compress,
                  BOOL encrypt, const CString& password, HANDLE stopEvent, HANDLE cancelEvent)
{
    return TransferFile(PipeSender::StoreFile, BACKUP_STORE, source, destinationRoot, compress,
                        encrypt, password, StopEvents(stopEvent, cancelEvent));
}

int PipeRestoreFile(const CString& storedPath, const CString& targetRoot, BOOL compress,
                    BOOL encrypt, const CString& password, HANDLE stopEvent, bool* sent,
                    HANDLE cancelEvent)
{
    return TransferFile(PipeSender::RestoreFile, BACKUP_RESTORE, storedPath, targetRoot, compress,
                        encrypt, password, StopEvents(stopEvent, cancelEvent), sent);
}
