// The main window's commands on a real window (null display driver): each
// command sent as the controls send it, the dialogs it opens answered by a
// test runner, the service faked on a SETTINGS pipe of the test's own.
#include "app/MainApplicationDialog.h"
#include "app/MainLife.h"
#include "app/MessageDialog.h"
#include "app/ProfileDialogs.h"
#include "app/RebootWindows.h"
#include "engine/IpcRecords.h"
#include "engine/Profile.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "resources/ProfileDialogs.h"
#include "resources/TrayMenu.h"
#include "skin/ApplicationsTree.h"
#include "skin/CustomFileDirTree.h"
#include "skin/SkinButton.h"
#include "skin/SkinFiles.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UserKeyOverride.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

namespace
{
// What the commands showed and asked, and the answers they get.
struct Script
{
    std::vector<std::string> messages; // "<template> <text>"
    int questionAnswer = IDCANCEL;
    int passwordAnswer = IDCANCEL;    // IDOK stores the password first
    CString chosenFolder{""};
    CString chosenFile{""}; // empty: the file dialog is cancelled
    int restarts = 0;
    std::vector<std::string> opened;
};
Script* g_script = nullptr;

int RunDialog(CDialog& dialog, UINT templateId)
{
    if (auto* message = dynamic_cast<MessageDialog*>(&dialog))
    {
        g_script->messages.push_back(std::to_string(templateId) + " " +
                                     static_cast<const char*>(message->GetMessageText()));
        return templateId == IDD_MESSAGE_OKCANCEL ? g_script->questionAnswer : IDOK;
    }
    if (dynamic_cast<EnterPasswordDialog*>(&dialog) != nullptr)
    {
        g_script->messages.push_back("password");
        return g_script->passwordAnswer;
    }
    g_script->messages.push_back("dialog " + std::to_string(templateId));
    return IDCANCEL;
}

bool ChooseFile(bool, const char*, const char*, CString& path)
{
    if (g_script->chosenFile.IsEmpty())
        return false;
    path = g_script->chosenFile;
    return true;
}

CString ChooseFolder(const CString&)
{
    return g_script->chosenFolder;
}

bool OpenFolder(const char* folder)
{
    g_script->opened.push_back(folder);
    return true;
}

BOOL WINAPI CountRestart(UINT, DWORD)
{
    ++g_script->restarts;
    return TRUE;
}

std::string UniqueName(const char* tag)
{
    return std::string("\\\\.\\pipe\\bw-cmd-") + tag + "-" + std::to_string(GetCurrentProcessId()) +
           "-" + std::to_string(GetTickCount64());
}

class CommandWindowTest : public ::testing::Test
{
protected:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    void SetUp() override
    {
        g_script = &script;
        CString appData = m_folder / "AppData";
        CString userFolder = appData + "\\ORVANEL Brindlewox";
        ASSERT_TRUE(MakeFolder(appData));
        ASSERT_TRUE(MakeFolder(userFolder));
        ASSERT_TRUE(MakeFolder(m_folder / "Temp"));
        ASSERT_TRUE(MakeFolder(m_folder / "Program"));
        ASSERT_TRUE(WriteTextFile(userFolder + "\\settings.ini",
                                  "[Skin]\r\nDirectory=Default\r\n[Language]\r\nDirectory=English\r\n"));
        OverrideMainStartupFolders(appData, m_folder / "Temp");
        OverrideSkinFilesFolders(userFolder, m_folder / "Program");
        m_settings = UniqueName("settings");
        SetIpcPipeName(IpcPipe::User, UniqueName("user").c_str());
        SetIpcPipeName(IpcPipe::Settings, m_settings.c_str());
        SetIpcPipeName(IpcPipe::Backup, UniqueName("backup").c_str());
        CTrayIcon::SetAddRetries(1, 0);
        SetShutdownCall(CountRestart);
        m_user = std::make_unique<UserKeyOverride>("Commands");
        ASSERT_TRUE(m_user->IsActive());
        window = std::make_unique<MainApplicationDialog>();
        ASSERT_TRUE(window->Create(nullptr, IDD_MAIN_WINDOW));
        window->SetCommandHooks(RunDialog, ChooseFolder, ChooseFile, OpenFolder);
    }

    void TearDown() override
    {
        window.reset();
        service.reset();
        SetShutdownCall(nullptr);
        OverrideMainStartupFolders(nullptr, nullptr);
        OverrideSkinFilesFolders(nullptr, nullptr);
        SetIpcPipeName(IpcPipe::User, kUserPipeName);
        SetIpcPipeName(IpcPipe::Settings, kSettingsPipeName);
        SetIpcPipeName(IpcPipe::Backup, kBackupPipeName);
        m_user.reset();
        g_script = nullptr;
    }

    // The fake service on the SETTINGS pipe, answering every request with
    // the result.
    void StartService(uint32_t result)
    {
        service = std::make_unique<CFakePipeServer>(m_settings.c_str(), sizeof(IpcSettingsRecord));
        service->Answer(StatusReply(result, sizeof(IpcSettingsRecord)));
    }

    // As the page's button reports a click.
    void Command(UINT id) { SendMessageA(window->GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(id, 1), 0); }
    HWND Control(int page, UINT id)
    {
        return GetDlgItem(window->GetPage(page)->GetHwnd(), static_cast<int>(id));
    }
    std::string Text(int page, UINT id)
    {
        char text[512] = "";
        GetWindowTextA(Control(page, id), text, sizeof(text));
        return text;
    }
    bool Enabled(int page, UINT id) { return IsWindowEnabled(Control(page, id)) != FALSE; }
    CProfileDB Profile() { return CProfileDB(window->GetRunContext().profilePath); }
    std::vector<int> RowIds()
    {
        CArray<ProfileItem> items;
        Profile().LoadItems(items);
        std::vector<int> ids;
        for (int i = 0; i < items.GetSize(); ++i)
            ids.push_back(items[i].id);
        return ids;
    }
    std::string Setting(const char* name)
    {
        CString value;
        return ReadSettingString(name, value) ? static_cast<const char*>(value) : "<missing>";
    }

    Script script;
    std::unique_ptr<MainApplicationDialog> window;
    std::unique_ptr<CFakePipeServer> service;

    CString Path(const char* name) { return m_folder / name; }

private:
    TempFolder m_folder{"commands"};
    std::string m_settings;
    std::unique_ptr<UserKeyOverride> m_user;
};
} // namespace

TEST_F(CommandWindowTest, DeleteActsOnTheChosenRowAndReloadsTheList)
{
    auto* list = window->GetControl<CApplicationsTree>(0, IDC_BACKUP_LIST);
    ASSERT_NE(list, nullptr);
    // Empty list: only the reload.
    Command(IDC_BACKUP_DELETE);
    EXPECT_EQ(list->GetItemCount(), 0);

    for (const char* path : {"C:\\one", "C:\\two", "C:\\three"})
    {
        ProfileItem item;
        item.path = path;
        Profile().AddItem(item);
    }
    ASSERT_TRUE(window->LoadProfile());
    ASSERT_EQ(list->GetItemCount(), 3);
    // The selected row goes (an index out of range would choose row 0:
    // CommandRulesTest).
    ASSERT_EQ(list->GetSelectedItem(), 0);
    Command(IDC_BACKUP_DELETE);
    EXPECT_EQ(RowIds(), (std::vector<int>{2, 3}));
    EXPECT_EQ(list->GetItemCount(), 2);
    EXPECT_STREQ(list->GetItem(0)->text, "[FS] C:\\two");
}

TEST_F(CommandWindowTest, SavedProfileLoadsBackAndAFileThatIsNoProfileChangesNothing)
{
    auto* list = window->GetControl<CApplicationsTree>(0, IDC_BACKUP_LIST);
    ASSERT_NE(list, nullptr);
    for (const char* path : {"C:\\one", "C:\\two"})
    {
        ProfileItem item;
        item.path = path;
        Profile().AddItem(item);
    }
    ASSERT_TRUE(window->LoadProfile());
    script.chosenFile = Path("saved.prb");
    Command(IDC_BACKUP_SAVE_PROFILE);
    ASSERT_NE(GetFileAttributesA(script.chosenFile), INVALID_FILE_ATTRIBUTES);

    // A text file is refused: the message, and profile and list as they were.
    script.chosenFile = Path("notes.prb");
    ASSERT_TRUE(WriteTextFile(script.chosenFile, "not a profile\r\n"));
    Command(IDC_BACKUP_LOAD_PROFILE);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"199 Task failed."}));
    EXPECT_EQ(RowIds(), (std::vector<int>{1, 2}));
    EXPECT_EQ(list->GetItemCount(), 2);

    // The saved profile comes back after the rows changed.
    Command(IDC_BACKUP_DELETE);
    ASSERT_EQ(RowIds().size(), 1u);
    script.chosenFile = Path("saved.prb");
    Command(IDC_BACKUP_LOAD_PROFILE);
    EXPECT_EQ(RowIds(), (std::vector<int>{1, 2}));
    ASSERT_EQ(list->GetItemCount(), 2);
    EXPECT_STREQ(list->GetItem(1)->text, "[FS] C:\\two");
    EXPECT_EQ(script.messages.size(), 1u);
}

TEST_F(CommandWindowTest, EncryptWithACancelledPasswordStaysUnchecked)
{
    auto* box = window->GetControl<CSkinCheckBox>(0, IDC_BACKUP_ENCRYPT);
    ASSERT_NE(box, nullptr);
    ASSERT_FALSE(box->IsChecked());
    // The box tells the window first, then flips itself.
    script.passwordAnswer = IDCANCEL;
    box->OnClicked();
    EXPECT_FALSE(box->IsChecked());
    ProfileSettings settings;
    ASSERT_TRUE(Profile().LoadSettings(settings));
    EXPECT_FALSE(settings.encrypt);

    script.passwordAnswer = IDOK;
    box->OnClicked();
    EXPECT_TRUE(box->IsChecked());
    ASSERT_TRUE(Profile().LoadSettings(settings));
    EXPECT_TRUE(settings.encrypt);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"password", "password"}));

    // Unchecking asks nothing.
    box->OnClicked();
    EXPECT_FALSE(box->IsChecked());
    ASSERT_TRUE(Profile().LoadSettings(settings));
    EXPECT_FALSE(settings.encrypt);
    EXPECT_EQ(script.messages.size(), 2u);
}

TEST_F(CommandWindowTest, RegistryToolsFailAgainstNoServiceAndStayUsable)
{
    Command(IDC_OPTIMIZE_DEFRAGMENT);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"199 Task failed."}));
    EXPECT_EQ(Text(10, IDC_OPTIMIZE_DEFRAGMENT_STATUS), "Finished");
    EXPECT_TRUE(Enabled(10, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(Enabled(10, IDC_OPTIMIZE_RESTORE_REGISTRY));
    EXPECT_EQ(script.restarts, 0);
}

TEST_F(CommandWindowTest, RegistryToolsDoneAskForTheRestartOrReportCompletion)
{
    StartService(1);
    script.questionAnswer = IDCANCEL;
    Command(IDC_OPTIMIZE_DEFRAGMENT);
    script.chosenFolder = "C:\\Hives";
    Command(IDC_OPTIMIZE_RESTORE_REGISTRY);
    Command(IDC_OPTIMIZE_BACKUP_REGISTRY);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"1006 Please restart your PC to complete the task.",
                                        "1006 Please restart your PC to complete the task.",
                                        "199 Task sucessfully completed."}));
    // Close to the question: no restart, and the tools stay usable.
    EXPECT_EQ(script.restarts, 0);
    EXPECT_TRUE(Enabled(10, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(Enabled(10, IDC_OPTIMIZE_RESTORE_REGISTRY));
    EXPECT_TRUE(Enabled(10, IDC_OPTIMIZE_BACKUP_REGISTRY));
    EXPECT_EQ(Setting(setting::LastBackupDir), "C:\\Hives");
    ASSERT_EQ(service->RequestCount(), 3);
    EXPECT_EQ(ReadU32(service->Requests()[0], 0), 2u);
    EXPECT_EQ(ReadU32(service->Requests()[1], 0), 4u);
    EXPECT_EQ(ReadU32(service->Requests()[2], 0), 3u);

    // OK restarts, and the buttons wait for it.
    script.questionAnswer = IDOK;
    Command(IDC_OPTIMIZE_DEFRAGMENT);
    EXPECT_EQ(script.restarts, 1);
    EXPECT_FALSE(Enabled(10, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_FALSE(Enabled(10, IDC_OPTIMIZE_RESTORE_REGISTRY));
}

TEST_F(CommandWindowTest, ProxyUpdateStoresTheFieldsAndSendsOneRecord)
{
    StartService(1);
    service->Answer(NoReply());
    SetWindowTextA(Control(4, IDC_PROXY_HOST), "proxy.local");
    SetWindowTextA(Control(4, IDC_PROXY_PORT), "3128");
    SetWindowTextA(Control(4, IDC_PROXY_LOGIN), "ann");
    SetWindowTextA(Control(4, IDC_PROXY_PASSWORD), "pw");
    SendMessageA(Control(4, IDC_PROXY_TYPE), CB_SETCURSEL, 1, 0);
    Command(IDC_PROXY_UPDATE);
    EXPECT_EQ(Setting(setting::ProxyHost), "proxy.local");
    EXPECT_EQ(Setting(setting::ProxyLogin), "ann");
    EXPECT_EQ(Setting(setting::ProxyPassword), "pw");
    DWORD port = 0, type = 0;
    ASSERT_TRUE(ReadSettingDword(setting::ProxyPort, port));
    ASSERT_TRUE(ReadSettingDword(setting::ProxyType, type));
    EXPECT_EQ(port, 3128u);
    EXPECT_EQ(type, 1u);
    ASSERT_TRUE(service->WaitRequests(1));
    std::vector<std::string> requests = service->Requests();
    // The window's own timers may send other requests meanwhile: exactly
    // one proxy record.
    int proxyRecords = 0;
    for (const std::string& request : requests)
    {
        if (ReadU32(request, 0) != 1)
            continue;
        ++proxyRecords;
        EXPECT_EQ(request.size(), 30740u);
        EXPECT_EQ(ReadText(request, offsetof(IpcSettingsRecord, proxyHost), 4096), "proxy.local");
        EXPECT_EQ(ReadU32(request, offsetof(IpcSettingsRecord, proxyPort)), 3128u);
    }
    EXPECT_EQ(proxyRecords, 1);
}

TEST_F(CommandWindowTest, RestoreTreeSelectionBecomesWhatToRestore)
{
    TempFolder stored("stored");
    auto* tree = window->GetControl<CCustomFileDirTree>(2, IDC_RESTORE_TREE);
    ASSERT_NE(tree, nullptr);
    tree->DisplayTree(stored.Path());
    tree->SelectPath(stored.Path());
    std::string expected = static_cast<const char*>(stored.Path()) + std::string("\\");
    EXPECT_EQ(Text(2, IDC_RESTORE_WHAT), expected);
    EXPECT_EQ(Setting(setting::WhatRestorePath), expected);
}

TEST_F(CommandWindowTest, ResetLogFolderAndAnIncompleteSupportForm)
{
    ASSERT_TRUE(WriteSettingDword(setting::StatusTotalErrors, 7));
    SetWindowTextA(Control(10, IDC_OPTIMIZE_ERRORS), "7");
    Command(IDC_OPTIMIZE_RESET);
    DWORD errors = 99;
    ASSERT_TRUE(ReadSettingDword(setting::StatusTotalErrors, errors));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(Text(10, IDC_OPTIMIZE_ERRORS), "0");

    Command(IDC_OPTIMIZE_VIEW_LOGS);
    Command(IDC_SUPPORT_LOG_FILE);
    ASSERT_EQ(script.opened.size(), 2u);
    EXPECT_EQ(script.opened[0], std::string(GetLogFolder(window->GetAppDataFolder())));

    SetWindowTextA(Control(9, IDC_SUPPORT_EMAIL), "no at sign");
    SetWindowTextA(Control(9, IDC_SUPPORT_NAME), "Ann");
    SetWindowTextA(Control(9, IDC_SUPPORT_DESCRIPTION), "It hangs.");
    Command(IDC_SUPPORT_SUBMIT);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"190 Please fill in all required fields."}));
    EXPECT_EQ(Text(9, IDC_SUPPORT_EMAIL), "no at sign");
}

TEST_F(CommandWindowTest, MaximiseTakesTheWorkAreaAndGivesTheRectangleBack)
{
    RECT before = {};
    GetWindowRect(window->GetSafeHwnd(), &before);
    Command(IDC_TITLE_MAXIMISE);
    EXPECT_TRUE(window->IsMaximised());
    RECT work = {};
    SystemParametersInfoA(SPI_GETWORKAREA, 0, &work, 0);
    RECT maximised = {};
    GetWindowRect(window->GetSafeHwnd(), &maximised);
    EXPECT_EQ(maximised.right - maximised.left, work.right - work.left);
    Command(IDC_TITLE_MAXIMISE);
    EXPECT_FALSE(window->IsMaximised());
    RECT after = {};
    GetWindowRect(window->GetSafeHwnd(), &after);
    EXPECT_EQ(after.left, before.left);
    EXPECT_EQ(after.right, before.right);
    EXPECT_EQ(after.bottom, before.bottom);
}

TEST_F(CommandWindowTest, PauseAndStopWithoutARunDoNothing)
{
    EXPECT_EQ(Text(0, IDC_BACKUP_PAUSE), "Pause");
    Command(IDC_BACKUP_PAUSE);
    EXPECT_EQ(Text(0, IDC_BACKUP_PAUSE), "Pause");
    EXPECT_FALSE(window->GetRunContext().IsBackupPaused());
    // Close during a restore is ignored: the window stays.
    window->GetRunContext().activeRun.store(2);
    Command(ID_TRAY_CLOSE);
    EXPECT_TRUE(IsWindow(window->GetSafeHwnd()));
    EXPECT_EQ(window->m_exitAfterRun.load(), 0);
    window->GetRunContext().activeRun.store(0);
}
