// The service's BACKUP server in the benchmark's own process, so that the
// benchmark can read where the service's time goes (service/RequestTimes.h):
// BackupServerThread on a BACKUP pipe of this process's own name, this
// process taken for the service by the senders, and the user told to the
// server as the main program's SETTINGS type 8 tells it. The same serving
// code as the installed service's; the stop at the end is the process's.
#ifndef BRINDLEWOX_BENCH_SERVICEHERE_H
#define BRINDLEWOX_BENCH_SERVICEHERE_H

#include "engine/IpcRecords.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "service/RequestTimes.h"
#include "service/ServerThreads.h"
#include "service/SettingsServer.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>

class CBenchServiceHere
{
public:
    CBenchServiceHere()
    {
        std::snprintf(m_pipe, sizeof m_pipe, "\\\\.\\pipe\\BRINDLEWOX_BENCH_BACKUP_%lu",
                      ::GetCurrentProcessId());
        SetIpcPipeName(IpcPipe::Backup, m_pipe);
        SetServiceProcessProbe(::GetCurrentProcessId);
        m_server = std::thread([] { BackupServerThread(nullptr); });
        for (int i = 0; i < 6000 && !::WaitNamedPipeA(m_pipe, 1) &&
                        ::GetLastError() == ERROR_FILE_NOT_FOUND;
             ++i)
            ::Sleep(10);
        PipeClientIdentity user;
        user.known = GetCurrentUserSidText(user.sid);
        auto record = std::make_unique<IpcSettingsRecord>();
        std::memset(record.get(), 0, sizeof(IpcSettingsRecord));
        record->type = SETTINGS_USER_PROFILE;
        IpcCopyText(record->userKeyRoot, user.sid);
        IpcCopyText(record->profilePath, "C:\\bench");
        HandleSettingsRequest(*record, user);
    }
    CBenchServiceHere(const CBenchServiceHere&) = delete;
    CBenchServiceHere& operator=(const CBenchServiceHere&) = delete;
    ~CBenchServiceHere()
    {
        SetServiceQuitting();
        m_server.join();
        SetServiceProcessProbe(nullptr);
    }

    bool Serves() const { return IsServiceProfilePathKnown(); }

    // Prints the service's parts since timing was last turned on:
    // "service <part> <seconds> <count>".
    static void Report()
    {
        RequestPartTotal totals[static_cast<int>(RequestPart::Count)];
        ReadRequestTimes(totals);
        for (int i = 0; i < static_cast<int>(RequestPart::Count); ++i)
            std::printf("service %s %.3f %ld\n", RequestPartName(static_cast<RequestPart>(i)),
                        totals[i].microseconds / 1e6, totals[i].count);
        std::fflush(stdout);
    }

private:
    char m_pipe[80];
    std::thread m_server;
};

#endif
