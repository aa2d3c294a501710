#include "service/PipeServer.h"

#include "foundation/Exception.h"
#include "service/ServerThreads.h"
#include "service/ServiceLog.h"

#include <versionhelpers.h>

#include <cstring>
#include <exception>

namespace
{
// After a failed wait for a client, before the next: a pipe in a bad state
// must not turn the loop into a spin.
constexpr DWORD kRetryPauseMs = 100;

} // namespace

bool CPipeServer::Create(const char* pipeName, DWORD recordSize)
{
    CSecurityDescriptor security;
    m_ioDone.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    // Without the quit event the loop could not be stopped.
    if (m_ioDone.GetHandle() == nullptr || GetServiceQuitEvent() == nullptr ||
        !security.FromText(kServicePipeDescriptor))
    {
        const DWORD error = ::GetLastError();
        ServiceLog("pipe %s: no event or security descriptor (error %lu)", pipeName, error);
        ::SetLastError(error);
        return false;
    }
    DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
    if (::IsWindowsVistaOrGreater())
        mode |= PIPE_REJECT_REMOTE_CLIENTS;
    HANDLE pipe = ::CreateNamedPipeA(
        pipeName, PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE, mode,
        1, recordSize, recordSize, 0, security.GetAttributes());
    if (pipe == INVALID_HANDLE_VALUE)
    {
        const DWORD error = ::GetLastError();
        // ERROR_ACCESS_DENIED or ERROR_PIPE_BUSY (Wine: the latter): the name
        // is held by another process, which would otherwise get the requests.
        ServiceLog("pipe %s cannot be created (error %lu)%s", pipeName, error,
                   error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY
                       ? ": another process holds the name"
                       : "");
        ::SetLastError(error);
        return false;
    }
    m_pipe.Attach(pipe);
    m_recordSize = recordSize;
    return true;
}

CPipeServer::Wait CPipeServer::Await(OVERLAPPED& overlapped, DWORD timeoutMs, bool quitEnds)
{
    HANDLE waits[2] = {overlapped.hEvent, GetServiceQuitEvent()};
    const DWORD waited = ::WaitForMultipleObjects(quitEnds ? 2 : 1, waits, FALSE, timeoutMs);
    if (waited == WAIT_OBJECT_0)
        return Wait::Done;
    ::CancelIo(m_pipe.GetHandle());
    DWORD bytes = 0;
    ::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, TRUE);
    return waited == WAIT_TIMEOUT ? Wait::TimedOut : Wait::Quit;
}

bool CPipeServer::Connect()
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    ::ResetEvent(overlapped.hEvent);
    if (::ConnectNamedPipe(m_pipe.GetHandle(), &overlapped))
        return true;
    DWORD error = ::GetLastError();
    if (error == ERROR_PIPE_CONNECTED || error == ERROR_NO_DATA)
        return true;
    if (error == ERROR_IO_PENDING)
    {
        if (Await(overlapped, INFINITE, true) != Wait::Done)
            return false;
        DWORD bytes = 0;
        if (::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE))
            return true;
        error = ::GetLastError();
        if (error == ERROR_NO_DATA)
            return true;
    }
    ServiceLog("waiting for a pipe client failed (error %lu)", error);
    ::DisconnectNamedPipe(m_pipe.GetHandle());
    ::WaitForSingleObject(GetServiceQuitEvent(), kRetryPauseMs);
    return false;
}

DWORD CPipeServer::Read(void* record)
{
    std::memset(record, 0, m_recordSize);
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    ::ResetEvent(overlapped.hEvent);
    if (!::ReadFile(m_pipe.GetHandle(), record, m_recordSize, nullptr, &overlapped))
    {
        const DWORD error = ::GetLastError();
        if (error == ERROR_IO_PENDING)
        {
            const Wait wait = Await(overlapped, m_timeoutMs, true);
            if (wait == Wait::TimedOut)
                ServiceLog("a pipe client sent nothing within %lu ms and was dropped", m_timeoutMs);
            if (wait != Wait::Done)
                return 0;
        }
        else if (error != ERROR_MORE_DATA)
        {
            return 0;
        }
    }
    DWORD bytes = 0;
    // ERROR_MORE_DATA: a message longer than the record, cut to it.
    if (!::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE) &&
        ::GetLastError() != ERROR_MORE_DATA)
    {
        return 0;
    }
    return bytes;
}

void CPipeServer::Reply(const void* record, DWORD size)
{
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    ::ResetEvent(overlapped.hEvent);
    if (!::WriteFile(m_pipe.GetHandle(), record, size, nullptr, &overlapped))
    {
        if (::GetLastError() != ERROR_IO_PENDING ||
            Await(overlapped, m_timeoutMs, false) != Wait::Done)
            return;
    }
    AwaitClientGone();
}

void CPipeServer::AwaitClientGone()
{
    char scratch[256];
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        if (elapsed >= m_timeoutMs)
            return;
        OVERLAPPED overlapped = {};
        overlapped.hEvent = m_ioDone.GetHandle();
        ::ResetEvent(overlapped.hEvent);
        if (!::ReadFile(m_pipe.GetHandle(), scratch, sizeof scratch, nullptr, &overlapped))
        {
            const DWORD error = ::GetLastError();
            // ERROR_BROKEN_PIPE: the client closed its end.
            if (error != ERROR_IO_PENDING && error != ERROR_MORE_DATA)
                return;
            if (error == ERROR_IO_PENDING &&
                Await(overlapped, static_cast<DWORD>(m_timeoutMs - elapsed), false) != Wait::Done)
            {
                return;
            }
        }
        DWORD bytes = 0;
        if (!::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE) &&
            ::GetLastError() != ERROR_MORE_DATA)
        {
            return;
        }
        // The client wrote more after its request; it is not read.
    }
}

bool CPipeServer::Serve(void* record, Handler handler)
{
    while (!IsServiceQuitting())
    {
        if (!Connect())
            continue;
        const DWORD bytes = Read(record);
        if (bytes > 0)
        {
            PipeClientIdentity client;
            if (ReadPipeClientIdentity(m_pipe.GetHandle(), client) ==
                ClientLookup::StillImpersonating)
            {
                ::DisconnectNamedPipe(m_pipe.GetHandle());
                return false;
            }
            DWORD replySize = 0;
            try
            {
                replySize = handler(bytes, client);
            }
            catch (const CException& error)
            {
                ServiceLog("a request ended by an exception (code %lu): %s", error.GetErrorCode(),
                           static_cast<const char*>(error.GetReportText()));
                replySize = 0;
            }
            catch (CException* error)
            {
                ServiceLog("a request ended by an exception (code %lu): %s", error->GetErrorCode(),
                           static_cast<const char*>(error->GetReportText()));
                delete error;
                replySize = 0;
            }
            catch (const std::exception& error)
            {
                ServiceLog("a request ended by an exception: %s", error.what());
                replySize = 0;
            }
            catch (...)
            {
                ServiceLog("a request ended by an unknown exception");
                replySize = 0;
            }
            if (replySize > m_recordSize)
                replySize = m_recordSize;
            if (replySize > 0)
                Reply(record, replySize);
        }
        ::DisconnectNamedPipe(m_pipe.GetHandle());
    }
    return true;
}
