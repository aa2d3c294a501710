#include "service/BackupServer.h"

#include "service/BackupRequests.h"
#include "service/PipeServingLoop.h"
#include "service/ServerThreads.h"
#include "service/ServiceLog.h"
#include "service/SettingsServer.h"

#include <atomic>
#include <cstring>
#include <memory>
#include <vector>

namespace
{
std::atomic<DWORD> g_clientTimeoutMs{kPipeClientTimeoutMs};

// Held by the server thread for its whole life.
CCriticalSection g_serverLock;

// Until the main program has sent its user (SETTINGS type 8). False at the
// quit.
bool AwaitUserProfile()
{
    bool logged = false;
    while (!IsServiceProfilePathKnown())
    {
        if (!logged)
        {
            ServiceLog("the BACKUP pipe waits for the main program's user");
            logged = true;
        }
        HANDLE quit = GetServiceQuitEvent();
        if (quit)
            ::WaitForSingleObject(quit, 100);
        else
            ::Sleep(100);
        if (IsServiceQuitting())
            return false;
    }
    return true;
}
} // namespace

void SetBackupClientTimeout(DWORD timeoutMs)
{
    g_clientTimeoutMs.store(timeoutMs);
}

namespace
{
// One instance of the BACKUP pipe with its record, served on one thread.
class CBackupInstance
{
public:
    // first: the instance that holds the pipe's name (FILE_FLAG_FIRST_PIPE_
    // INSTANCE); the others join it.
    bool Create(bool first)
    {
        if (!m_server.Create(GetIpcPipeName(IpcPipe::Backup), sizeof(IpcQueueRecord),
                             kBackupPipeInstances, first))
            return false;
        m_server.SetClientTimeout(g_clientTimeoutMs.load());
        m_server.KeepConnections();
        m_record = std::make_unique<IpcQueueRecord>();
        std::memset(m_record.get(), 0, sizeof(IpcQueueRecord));
        return true;
    }

    // Serves clients until the quit, or until the thread cannot stop acting
    // as a client: from then on it does nothing for anyone, as anything it
    // did would be done with that client's rights, and its instance takes no
    // further client (the other instances serve them).
    void Serve()
    {
        // A path on a drive that is not ready fails instead of waiting for an
        // answer to a box no one sees.
        ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);
        IpcQueueRecord& record = *m_record;
        // The client of the connection served now; what it learnt of him
        // (his token) serves his connection's requests alone.
        std::unique_ptr<CPipeClientIdentity> client;
        ULONGLONG clientConnection = 0;
        m_server.Serve(&record,
                       [&](DWORD, const PipeClientIdentity&) -> DWORD
                       {
                           if (client == nullptr ||
                               clientConnection != m_server.GetConnectionNumber())
                           {
                               client = std::make_unique<CPipeClientIdentity>(
                                   m_server.GetHandle());
                               clientConnection = m_server.GetConnectionNumber();
                           }
                           switch (ServeBackupRequest(record, *client))
                           {
                           case BackupServed::NoReply:
                               return 0;
                           case BackupServed::Reply:
                               return sizeof(IpcQueueRecord);
                           case BackupServed::RevertFailed:
                               break;
                           }
                           // Neither way back to the service's own token
                           // worked (CCallerScope).
                           ServiceLog("a BACKUP pipe instance could not return to its own "
                                      "rights and serves no more requests");
                           m_server.EndServing();
                           return 0;
                       });
    }

    static unsigned __stdcall ThreadProc(void* parameter)
    {
        static_cast<CBackupInstance*>(parameter)->Serve();
        return 0;
    }

private:
    CPipeServingLoop m_server;
    std::unique_ptr<IpcQueueRecord> m_record;
};
} // namespace

unsigned __stdcall BackupServerThread(void*)
{
    CLockGuard lock(g_serverLock);

    // Every instance before any is served; the first holds the name. An
    // instance that cannot be had leaves the others to serve.
    std::vector<std::unique_ptr<CBackupInstance>> instances;
    for (DWORD i = 0; i < kBackupPipeInstances; ++i)
    {
        auto instance = std::make_unique<CBackupInstance>();
        if (!instance->Create(i == 0))
            break;
        instances.push_back(std::move(instance));
    }
    if (instances.empty() || !AwaitUserProfile())
        return 0;

    std::vector<std::unique_ptr<CWorkerThread>> threads;
    for (size_t i = 1; i < instances.size(); ++i)
    {
        auto thread = std::make_unique<CWorkerThread>();
        if (thread->Start(CBackupInstance::ThreadProc, instances[i].get()))
        {
            threads.push_back(std::move(thread));
            continue;
        }
        // An instance no thread serves would take a client and never answer.
        ServiceLog("a BACKUP pipe instance has no thread (error %lu) and is closed",
                   ::GetLastError());
        instances[i].reset();
    }
    instances[0]->Serve();
    instances[0].reset();
    // The others end at the quit too (their waits end at the quit event).
    for (std::unique_ptr<CWorkerThread>& thread : threads)
        thread->Stop();
    return 0;
}
