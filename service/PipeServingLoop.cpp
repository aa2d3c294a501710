#include "service/PipeServingLoop.h"

#include "foundation/Exception.h"
#include "service/ServerThreads.h"
#include "service/RequestTimes.h"
#include "service/ServiceLog.h"

#include <algorithm>
#include <exception>

bool CPipeServingLoop::Create(const char* pipeName, DWORD recordSize, DWORD instances,
                              bool firstInstance)
{
    // Without the quit event the loop could not be stopped.
    if (GetServiceQuitEvent() == nullptr)
    {
        ServiceLog("pipe %s: no quit event", pipeName);
        ::SetLastError(ERROR_INVALID_HANDLE);
        return false;
    }
    if (!m_pipe.Create(pipeName, recordSize, kServicePipeDescriptor, GetServiceQuitEvent(),
                       instances, firstInstance))
    {
        const DWORD error = ::GetLastError();
        // ERROR_ACCESS_DENIED or ERROR_PIPE_BUSY (Wine: the latter) for a
        // first instance: the name is held by another process, which would
        // otherwise get the requests.
        ServiceLog("pipe %s cannot be created (error %lu)%s", pipeName, error,
                   firstInstance && (error == ERROR_ACCESS_DENIED || error == ERROR_PIPE_BUSY)
                       ? ": another process holds the name"
                       : "");
        ::SetLastError(error);
        return false;
    }
    m_recordSize = recordSize;
    return true;
}

bool CPipeServingLoop::Serve(void* record, Handler handler)
{
    while (!IsServiceQuitting())
    {
        if (m_ended)
            return false;
        if (!m_pipe.Connect())
        {
            if (!IsServiceQuitting())
                ServiceLog("waiting for a pipe client failed (error %lu)", ::GetLastError());
            continue;
        }
        ++m_connection;
        const bool canGoOn = ServeClient(record, handler);
        m_pipe.Disconnect();
        if (!canGoOn)
            return false;
    }
    return true;
}

bool CPipeServingLoop::ServeClient(void* record, const Handler& handler)
{
    const ULONGLONG connectedAt = ::GetTickCount64();
    CPipeInstance::Wait how = CPipeInstance::Wait::Done;
    DWORD bytes = m_pipe.Read(record, m_recordSize, m_timeoutMs, &how);
    if (how == CPipeInstance::Wait::TimedOut)
        ServiceLog("a pipe client sent nothing within %lu ms and was dropped", m_timeoutMs);
    while (bytes != 0)
    {
        PipeClientIdentity client;
        if (!m_keepConnections &&
            ReadPipeClientIdentity(m_pipe.GetHandle(), client) == ClientLookup::StillImpersonating)
            return false;
        DWORD replySize = Handle(bytes, client, handler);
        if (replySize > m_recordSize)
            replySize = m_recordSize;
        if (replySize == 0)
            return true;
        // A connection past its life takes no further request: its client,
        // which reuses one only while it is younger than kKeptConnectionMs
        // by its own earlier count, closes after this reply, and one that
        // would hold the instance with request after request must come back
        // through the queue of clients waiting for an instance.
        if (!m_keepConnections || m_ended || IsServiceQuitting() ||
            ::GetTickCount64() - connectedAt >= m_lifeMs)
        {
            m_pipe.Reply(record, replySize, m_timeoutMs, false);
            return true;
        }
        // The reply and the wait for the next request in one: the client's
        // next request comes at once or not at all (it keeps a connection
        // only for requests that follow one another), so its silence ends
        // the connection soon, and is no fault.
        CRequestPartTimer reply(RequestPart::Reply);
        bytes = m_pipe.SendAndRead(record, replySize, m_recordSize, std::min(m_idleMs, m_timeoutMs),
                                   nullptr, [&reply] { reply.Stop(); });
    }
    return true;
}

DWORD CPipeServingLoop::Handle(DWORD bytes, const PipeClientIdentity& client,
                               const Handler& handler)
{
    try
    {
        return handler(bytes, client);
    }
    catch (const CException& error)
    {
        ServiceLog("a request ended by an exception (code %lu): %s", error.GetErrorCode(),
                   static_cast<const char*>(error.GetReportText()));
    }
    catch (CException* error)
    {
        ServiceLog("a request ended by an exception (code %lu): %s", error->GetErrorCode(),
                   static_cast<const char*>(error->GetReportText()));
        delete error;
    }
    catch (const std::exception& error)
    {
        ServiceLog("a request ended by an exception: %s", error.what());
    }
    catch (...)
    {
        ServiceLog("a request ended by an unknown exception");
    }
    return 0;
}
