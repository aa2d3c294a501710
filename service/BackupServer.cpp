#include "service/BackupServer.h"

#include "service/BackupRequests.h"
#include "service/PipeServer.h"
#include "service/ServerThreads.h"
#include "service/ServiceLog.h"
#include "service/SettingsServer.h"

#include <atomic>
#include <memory>

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

unsigned __stdcall BackupServerThread(void*)
{
    CLockGuard lock(g_serverLock);
    // A path on a drive that is not ready fails instead of waiting for an
    // answer to a box no one sees.
    ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, nullptr);

    CPipeServer server;
    if (!server.Create(GetIpcPipeName(IpcPipe::Backup), sizeof(IpcQueueRecord)))
        return 0;
    server.SetClientTimeout(g_clientTimeoutMs.load());
    auto record = std::make_unique<IpcQueueRecord>();
    std::memset(record.get(), 0, sizeof(IpcQueueRecord));
    if (!AwaitUserProfile())
        return 0;

    // Set when the thread could not stop acting as a client: from then on it
    // does nothing for anyone, as anything it did would be done with that
    // client's rights.
    bool stuck = false;
    server.Serve(record.get(),
                 [&](DWORD, const PipeClientIdentity&) -> DWORD
                 {
                     if (stuck)
                         return 0;
                     CPipeClientIdentity client(server.GetHandle());
                     switch (ServeBackupRequest(*record, client))
                     {
                     case BackupServed::NoReply:
                         return 0;
                     case BackupServed::Reply:
                         return sizeof(IpcQueueRecord);
                     case BackupServed::RevertFailed:
                         break;
                     }
                     // The thread's own token again, the other way.
                     if (::SetThreadToken(nullptr, nullptr))
                         return sizeof(IpcQueueRecord);
                     ServiceLog("the BACKUP server could not return to its own rights "
                                "(error %lu) and serves no more requests",
                                ::GetLastError());
                     stuck = true;
                     return 0;
                 });
    return 0;
}
