#include "engine/PipeInstance.h"

#include "foundation/Security.h"

#include <versionhelpers.h>

#include <cstring>

namespace
{
// After a failed wait for a client, before the next.
constexpr DWORD kRetryPauseMs = 100;

} // namespace

CString PipeDescriptorText(const char* dacl)
{
    return CString(dacl) + kPipeIntegrityLabel;
}

bool CPipeInstance::Create(const char* pipeName, DWORD bufferSize, const char* dacl,
                           HANDLE stopEvent, DWORD instances, bool firstInstance)
{
    Close();
    CSecurityDescriptor security;
    if (!security.FromText(PipeDescriptorText(dacl)))
        return false;
    m_stopEvent = stopEvent;
    if (m_ioDone.GetHandle() == nullptr)
        m_ioDone.Attach(::CreateEventA(nullptr, TRUE, FALSE, nullptr));
    if (m_ioDone.GetHandle() == nullptr)
        return false;
    if (m_stopEvent == nullptr)
    {
        // Without it nothing could end the waits.
        ::SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    DWORD mode = PIPE_TYPE_MESSAGE | PIPE_READMODE_MESSAGE | PIPE_WAIT;
    if (::IsWindowsVistaOrGreater())
        mode |= PIPE_REJECT_REMOTE_CLIENTS;
    DWORD access = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED;
    if (firstInstance)
        access |= FILE_FLAG_FIRST_PIPE_INSTANCE;
    HANDLE pipe = ::CreateNamedPipeA(pipeName, access, mode, instances, bufferSize, bufferSize, 0,
                                     security.GetAttributes());
    if (pipe == INVALID_HANDLE_VALUE)
        return false;
    m_pipe.Attach(pipe);
    return true;
}

void CPipeInstance::Close()
{
    HANDLE pipe = m_pipe.Detach();
    if (pipe != INVALID_HANDLE_VALUE)
        ::CloseHandle(pipe);
}

OVERLAPPED CPipeInstance::Begin()
{
    // Not reset here: every pipe operation resets its event as it begins
    // (Wine 8 as Windows), and a reset of one's own is a call into Wine's
    // server, four of them per request.
    OVERLAPPED overlapped = {};
    overlapped.hEvent = m_ioDone.GetHandle();
    return overlapped;
}

CPipeInstance::Wait CPipeInstance::Await(OVERLAPPED& overlapped, DWORD timeoutMs, bool stopEnds)
{
    HANDLE waits[2] = {overlapped.hEvent, m_stopEvent};
    const DWORD waited = ::WaitForMultipleObjects(stopEnds ? 2 : 1, waits, FALSE, timeoutMs);
    if (waited == WAIT_OBJECT_0)
        return Wait::Done;
    ::CancelIo(m_pipe.GetHandle());
    DWORD bytes = 0;
    ::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, TRUE);
    return waited == WAIT_TIMEOUT ? Wait::TimedOut : Wait::Stopped;
}

CPipeInstance::Wait CPipeInstance::Finish(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs,
                                          bool stopEnds, DWORD accepted)
{
    if (started)
        return Wait::Done;
    const DWORD error = ::GetLastError();
    if (error == accepted)
        return Wait::Done;
    if (error != ERROR_IO_PENDING)
        return Wait::Failed;
    return Await(overlapped, timeoutMs, stopEnds);
}

bool CPipeInstance::Connect()
{
    OVERLAPPED overlapped = Begin();
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
        if (::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE) ||
            ::GetLastError() == ERROR_NO_DATA)
            return true;
    }
    error = ::GetLastError();
    Disconnect();
    ::WaitForSingleObject(m_stopEvent, kRetryPauseMs);
    ::SetLastError(error);
    return false;
}

DWORD CPipeInstance::Read(void* record, DWORD size, DWORD timeoutMs, Wait* how)
{
    std::memset(record, 0, size);
    OVERLAPPED overlapped = Begin();
    return Received(::ReadFile(m_pipe.GetHandle(), record, size, nullptr, &overlapped), overlapped,
                    timeoutMs, how);
}

DWORD CPipeInstance::Received(BOOL started, OVERLAPPED& overlapped, DWORD timeoutMs, Wait* how)
{
    // ERROR_MORE_DATA: a message longer than the record, cut to it.
    const Wait wait = Finish(started, overlapped, timeoutMs, true, ERROR_MORE_DATA);
    if (how != nullptr)
        *how = wait;
    DWORD bytes = 0;
    if (wait != Wait::Done ||
        (!::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE) &&
         ::GetLastError() != ERROR_MORE_DATA))
        return 0;
    return bytes;
}

void CPipeInstance::Reply(const void* record, DWORD size, DWORD timeoutMs, bool stopEnds)
{
    if (Send(record, size, timeoutMs, stopEnds))
        AwaitClientGone(timeoutMs, stopEnds);
}

bool CPipeInstance::Send(const void* record, DWORD size, DWORD timeoutMs, bool stopEnds)
{
    OVERLAPPED overlapped = Begin();
    return Finish(::WriteFile(m_pipe.GetHandle(), record, size, nullptr, &overlapped), overlapped,
                  timeoutMs, stopEnds, ERROR_SUCCESS) == Wait::Done;
}

DWORD CPipeInstance::SendAndRead(void* record, DWORD replySize, DWORD recordSize, DWORD timeoutMs,
                                  Wait* how, const std::function<void()>& written)
{
    m_reply.assign(static_cast<const char*>(record), static_cast<const char*>(record) + replySize);
    std::memset(record, 0, recordSize);
    OVERLAPPED overlapped = Begin();
    const BOOL started = ::TransactNamedPipe(m_pipe.GetHandle(), m_reply.data(), replySize, record,
                                             recordSize, nullptr, &overlapped);
    const DWORD error = ::GetLastError();
    if (written)
        written();
    ::SetLastError(error);
    return Received(started, overlapped, timeoutMs, how);
}

void CPipeInstance::AwaitClientGone(DWORD timeoutMs, bool stopEnds)
{
    char scratch[256];
    const ULONGLONG start = ::GetTickCount64();
    for (;;)
    {
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        if (elapsed >= timeoutMs)
            return;
        OVERLAPPED overlapped = Begin();
        // ERROR_BROKEN_PIPE: the client closed its end. What it writes
        // meanwhile is read and dropped.
        if (Finish(::ReadFile(m_pipe.GetHandle(), scratch, sizeof scratch, nullptr, &overlapped),
                   overlapped, static_cast<DWORD>(timeoutMs - elapsed), stopEnds,
                   ERROR_MORE_DATA) != Wait::Done)
            return;
        DWORD bytes = 0;
        if (!::GetOverlappedResult(m_pipe.GetHandle(), &overlapped, &bytes, FALSE) &&
            ::GetLastError() != ERROR_MORE_DATA)
            return;
    }
}
