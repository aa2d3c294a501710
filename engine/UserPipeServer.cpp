#include "engine/UserPipeServer.h"

#include "engine/Settings.h"

namespace
{
// Clears the thread flag as the server thread ends, however it ends (an
// exception of a host call included), and closes the pipe first, so that a
// start that finds the flag clear makes the name anew.
class ThreadEndGuard
{
public:
    ThreadEndGuard(std::atomic<LONG>& flag, CPipeInstance& pipe) : m_flag(flag), m_pipe(pipe) {}
    ThreadEndGuard(const ThreadEndGuard&) = delete;
    ThreadEndGuard& operator=(const ThreadEndGuard&) = delete;
    ~ThreadEndGuard()
    {
        m_pipe.Close();
        m_flag.store(0);
    }

private:
    std::atomic<LONG>& m_flag;
    CPipeInstance& m_pipe;
};

} // namespace

CString UserPipeDacl(const char* userSid)
{
    CString dacl;
    dacl.Format("D:P(A;;GA;;;%s)(A;;GA;;;SY)", userSid);
    return dacl;
}

CUserPipeServer::~CUserPipeServer()
{
    StopUserPipeServer();
}

BOOL CUserPipeServer::StartUserPipeServer()
{
    LONG expected = 0;
    if (!m_threadAlive.compare_exchange_strong(expected, 1))
        return TRUE;
    // The thread of an earlier start cleared the flag as its last act; collect
    // it, or the worker would refuse the start while it is still ending.
    m_worker.Stop();

    DWORD error = ERROR_NOT_ENOUGH_MEMORY;
    // The stop event exists before the pipe's waits need it.
    if (m_worker.CreateEvents())
    {
        CString user;
        if (!GetCurrentUserSidText(user))
            error = ::GetLastError() != NO_ERROR ? ::GetLastError() : ERROR_NO_TOKEN;
        else if (m_pipe.Create(GetIpcPipeName(IpcPipe::User), sizeof(IpcQueueRecord),
                               UserPipeDacl(user), m_worker.GetStopEvent()))
        {
            if (m_worker.Start(&CUserPipeServer::UserPipeServer, this))
                return TRUE;
            error = ::GetLastError();
            // A thread that ran and ended has closed the pipe already; one
            // the worker still holds is ended here, so nothing serves on.
            m_worker.Stop();
            m_pipe.Close();
        }
        else
        {
            error = ::GetLastError();
        }
    }
    m_threadAlive.store(0);
    ::SetLastError(error);
    return FALSE;
}

void CUserPipeServer::StopUserPipeServer()
{
    // The stop event ends whatever the thread waits for: the self-connection
    // an unbounded ConnectNamedPipe would need is not used.
    m_worker.Stop();
}

unsigned __stdcall CUserPipeServer::UserPipeServer(void* server)
{
    CUserPipeServer* self = static_cast<CUserPipeServer*>(server);
    ThreadEndGuard guard(self->m_threadAlive, self->m_pipe);
    self->Serve();
    return 0;
}

void CUserPipeServer::Act(IpcQueueRecord& record)
{
    switch (record.command)
    {
    case USER_ACKNOWLEDGE_1:
    case USER_ACKNOWLEDGE_3:
        record.command = IPC_STATUS_OK;
        break;
    case USER_BRING_TO_FRONT:
        record.command = IPC_STATUS_OK;
        m_host.BringToFront();
        break;
    case USER_SERVICE_STOPPING:
        record.command = IPC_STATUS_OK;
        m_host.RemoveTrayIcon();
        // On this thread, at once: the window is not closed and no other
        // thread is stopped, as the service is going away anyway.
        ::ExitProcess(0);
    case USER_ECHO:
        record.command = IPC_STATUS_OK;
        // A stop ends the reply too: the client's exchange then fails.
        m_pipe.Reply(&record, sizeof(record), m_clientTimeoutMs, true);
        break;
    default:
        break;
    }
}

void CUserPipeServer::Serve()
{
    // The record belongs to the thread: 15,428 bytes on its stack.
    IpcQueueRecord record;
    while (!m_worker.IsStopRequested())
    {
        if (!m_pipe.Connect())
            continue;
        // A read that fails, times out or brings nothing is dropped.
        if (m_pipe.Read(&record, sizeof(record), m_clientTimeoutMs) > 0)
            Act(record);
        m_pipe.Disconnect();
    }
}
