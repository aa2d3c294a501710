#include "tests/service/BackupServiceHere.h"

#include "engine/IpcRecords.h"
#include "engine/Settings.h"
#include "service/ServerThreads.h"
#include "service/SettingsServer.h"
#include "tests/support/FakePipeServer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>

void TellServiceTheUser()
{
    PipeClientIdentity user;
    user.known = true;
    ASSERT_TRUE(GetCurrentUserSidText(user.sid));
    auto record = std::make_unique<IpcSettingsRecord>();
    std::memset(record.get(), 0, sizeof(IpcSettingsRecord));
    record->type = SETTINGS_USER_PROFILE;
    IpcCopyText(record->userKeyRoot, user.sid);
    IpcCopyText(record->profilePath, "C:\\users\\someone\\AppData");
    HandleSettingsRequest(*record, user);
    ASSERT_TRUE(IsServiceProfilePathKnown());
}

CBackupServiceHere::CBackupServiceHere(const char* tag) : m_pipe(UniquePipeName(tag))
{
    SetIpcPipeName(IpcPipe::Backup, m_pipe.c_str());
    m_server = std::thread([] { BackupServerThread(nullptr); });
    // Until the server holds its pipe's name.
    for (int i = 0; i < 6000 && !::WaitNamedPipeA(m_pipe.c_str(), 1) &&
                    ::GetLastError() == ERROR_FILE_NOT_FOUND;
         ++i)
        ::Sleep(10);
    TellServiceTheUser();
}

CBackupServiceHere::~CBackupServiceHere()
{
    Quit();
    m_server.join();
    SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
}

void CBackupServiceHere::Quit()
{
    SetServiceQuitting();
}
