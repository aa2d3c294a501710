// The surroundings every test of the main window needs, for the life of one
// object: the per-user folder, the program folder (skins and languages) and
// the temporary folder in a fresh folder of the test's own (the start-up's
// and the skin files' overrides), pipe names of the test's own (no service
// and no other test is met), HKEY_CURRENT_USER redirected to a fresh key
// under the real one for this process (FirstRun, the schedule, the status
// values), and one quick tray attempt (there is no notification area
// here). Everything is put back, and removed, when the object goes.
#ifndef BRINDLEWOX_TESTS_APP_MAINLIFETESTSUPPORT_H
#define BRINDLEWOX_TESTS_APP_MAINLIFETESTSUPPORT_H

#include "app/UserFolders.h"
#include "engine/IpcRecords.h"
#include "skin/SkinFiles.h"
#include "skin/TrayIcon.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"

#include <string>

class MainTestEnvironment
{
public:
    explicit MainTestEnvironment(const char* tag)
        : m_folder(tag), m_appData(m_folder / "AppData"),
          m_userFolder(m_appData + "\\" + kProductFolderName), m_program(m_folder / "Program"),
          m_temp(m_folder / "Temp")
    {
        m_ready = MakeFolder(m_appData) && MakeFolder(m_program) && MakeFolder(m_temp);
        OverrideUserFolders(m_appData, m_temp);
        OverrideSkinFilesFolders(m_userFolder, m_program);
        m_userPipe = UniquePipeName((std::string(tag) + "-user").c_str());
        m_settingsPipe = UniquePipeName((std::string(tag) + "-settings").c_str());
        m_backupPipe = UniquePipeName((std::string(tag) + "-backup").c_str());
        SetIpcPipeName(IpcPipe::User, m_userPipe.c_str());
        SetIpcPipeName(IpcPipe::Settings, m_settingsPipe.c_str());
        SetIpcPipeName(IpcPipe::Backup, m_backupPipe.c_str());
        CTrayIcon::SetAddRetries(1, 0);
        m_root = "Software\\BrindlewoxTest-" + std::string(tag) + "-" +
                 std::to_string(GetCurrentProcessId()) + "-" + std::to_string(GetTickCount64());
        m_ready = m_ready &&
                  RegCreateKeyExA(HKEY_CURRENT_USER, m_root.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                                  nullptr, &m_user, nullptr) == ERROR_SUCCESS &&
                  RegOverridePredefKey(HKEY_CURRENT_USER, m_user) == ERROR_SUCCESS;
    }
    MainTestEnvironment(const MainTestEnvironment&) = delete;
    MainTestEnvironment& operator=(const MainTestEnvironment&) = delete;

    ~MainTestEnvironment()
    {
        OverrideUserFolders(nullptr, nullptr);
        OverrideSkinFilesFolders(nullptr, nullptr);
        SetIpcPipeName(IpcPipe::User, kUserPipeName);
        SetIpcPipeName(IpcPipe::Settings, kSettingsPipeName);
        SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
        RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
        if (m_user != nullptr)
            RegCloseKey(m_user);
        RegDeleteTreeA(HKEY_CURRENT_USER, m_root.c_str());
    }

    // False when a folder or the registry key could not be made.
    bool Ready() const { return m_ready; }
    const TempFolder& Folder() const { return m_folder; }
    // The application-data folder and its "ORVANEL Brindlewox".
    const CString& AppData() const { return m_appData; }
    const CString& UserFolder() const { return m_userFolder; }
    // The program folder: Skins and Languages lie in it.
    const CString& Program() const { return m_program; }
    const CString& Temp() const { return m_temp; }

private:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    TempFolder m_folder;
    CString m_appData;
    CString m_userFolder;
    CString m_program;
    CString m_temp;
    std::string m_userPipe;
    std::string m_settingsPipe;
    std::string m_backupPipe;
    std::string m_root;
    HKEY m_user = nullptr;
    bool m_ready = false;
};

#endif
