#include "service/PipeServer.h"

#include "foundation/Exception.h"
#include "service/ServerThreads.h"
#include "service/ServiceLog.h"

#include <exception>

bool CPipeServer::Create(const char* pipeName, DWORD recordSize, DWORD instances,
                         bool firstInstance)
{
    CSecurityDescriptor security;
    // Without the quit event the loop could not be stopped.
    if (GetServiceQuitEvent() == nullptr || !security.FromText(kServicePipeDescriptor))
    {
        const DWORD error = ::GetLastError();
        ServiceLog("pipe %s: no event or security descriptor (error %lu)", pipeName, error);
        ::SetLastError(error);
        return false;
    }
    if (!m_pipe.Create(pipeName, recordSize, security.GetAttributes(), GetServiceQuitEvent(),
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

bool CPipeServer::Serve(void* record, Handler handler)
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
        CServerPipe::Wait how = CServerPipe::Wait::Done;
        const DWORD bytes = m_pipe.Read(record, m_recordSize, m_timeoutMs, &how);
        if (how == CServerPipe::Wait::TimedOut)
            ServiceLog("a pipe client sent nothing within %lu ms and was dropped", m_timeoutMs);
        if (bytes > 0)
        {
            PipeClientIdentity client;
            if (ReadPipeClientIdentity(m_pipe.GetHandle(), client) ==
                ClientLookup::StillImpersonating)
            {
                m_pipe.Disconnect();
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
                m_pipe.Reply(record, replySize, m_timeoutMs, false);
        }
        m_pipe.Disconnect();
    }
    return true;
}
