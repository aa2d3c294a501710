// The main window's commands on a real window (null display driver): each
// command sent as the controls send it, the dialogs it opens answered by a
// test runner, the service faked on a SETTINGS pipe of the test's own.
#include "app/MainApplicationDialog.h"
#include "app/UserFolders.h"
#include "app/MessageDialog.h"
#include "app/ProfileDialogs.h"
#include "app/RebootWindows.h"
#include "app/SupportForm.h"
#include "engine/IpcRecords.h"
#include "engine/Profile.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "foundation/Module.h"
#include "resources/MainPages.h"
#include "resources/MainWindow.h"
#include "resources/MessageDialogs.h"
#include "resources/ProfileDialogs.h"
#include "resources/TrayMenu.h"
#include "skin/ApplicationsTree.h"
#include "skin/CustomFileDirTree.h"
#include "skin/SkinBalloonHelp.h"
#include "skin/SkinButton.h"
#include "skin/SkinFiles.h"
#include "tests/app/LiveRunSupport.h"
#include "tests/support/ControlTestSupport.h"
#include "tests/support/FakePipeServer.h"
#include "tests/support/LoopbackServer.h"
#include "tests/support/ServiceInThisProcess.h"
#include "tests/support/TempFolder.h"
#include "tests/support/UserKeyOverride.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstddef>
#include <cstdio>
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
    std::string fileDialogFolder; // where the last file dialog started
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
    if (auto* edit = dynamic_cast<WhatToAddDialog*>(&dialog))
    {
        g_script->messages.push_back("dialog " + std::to_string(templateId) + " row " +
                                     std::to_string(edit->GetRowId()));
        return IDCANCEL;
    }
    g_script->messages.push_back("dialog " + std::to_string(templateId));
    return IDCANCEL;
}

bool ChooseFile(bool, const char* folder, const char*, CString& path)
{
    g_script->fileDialogFolder = folder != nullptr ? folder : "";
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
        OverrideUserFolders(appData, m_folder / "Temp");
        OverrideSkinFilesFolders(userFolder, m_folder / "Program");
        m_settings = UniqueName("settings");
        SetIpcPipeName(IpcPipe::User, UniqueName("user").c_str());
        SetIpcPipeName(IpcPipe::Settings, m_settings.c_str());
        SetIpcPipeName(IpcPipe::Backup, UniqueName("backup").c_str());
        CTrayIcon::SetAddRetries(1, 0);
        SetShutdownCall(CountRestart);
        // The balloon's window classes, as the program's start makes them.
        if (!GetModuleState()->AreClassesRegistered())
        {
            ASSERT_TRUE(GetModuleState()->Init(GetModuleHandleA(nullptr), "", SW_SHOWNORMAL));
        }
        m_user = std::make_unique<UserKeyOverride>("Commands");
        ASSERT_TRUE(m_user->IsActive());
        window = std::make_unique<MainApplicationDialog>();
        ASSERT_TRUE(window->Create(nullptr, IDD_MAIN_WINDOW));
        MainWindowHooks hooks;
        hooks.runModal = RunDialog;
        hooks.chooseFolder = ChooseFolder;
        hooks.chooseFile = ChooseFile;
        hooks.openFolder = OpenFolder;
        // The end of a run says how it went through the script too, and
        // plays nothing.
        hooks.showRunEndMessage = [](MainApplicationDialog&, const char* text) {
            g_script->messages.push_back(std::string("end ") + text);
        };
        hooks.playSound = [](const char*) {};
        window->SetTestHooks(hooks);
    }

    void TearDown() override
    {
        window.reset();
        service.reset();
        SetShutdownCall(nullptr);
        OverrideUserFolders(nullptr, nullptr);
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
    // A command whose answer comes back from a thread (the registry tools,
    // the support form): the click, then the window's messages until it
    // shows its next message.
    void CommandAndAnswer(UINT id)
    {
        const size_t before = script.messages.size();
        Command(id);
        EXPECT_TRUE(PumpUntil(60000, [&] { return script.messages.size() > before; })) << id;
    }
    HWND Control(Page page, UINT id)
    {
        return GetDlgItem(window->GetPage(page)->GetHwnd(), static_cast<int>(id));
    }
    std::string Text(Page page, UINT id)
    {
        char text[512] = "";
        GetWindowTextA(Control(page, id), text, sizeof(text));
        return text;
    }
    bool Enabled(Page page, UINT id) { return IsWindowEnabled(Control(page, id)) != FALSE; }
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
    auto* list = window->GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
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
    auto* list = window->GetControl<CApplicationsTree>(Page::Backup, IDC_BACKUP_LIST);
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
    auto* box = window->GetControl<CSkinCheckBox>(Page::Backup, IDC_BACKUP_ENCRYPT);
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
    CommandAndAnswer(IDC_OPTIMIZE_DEFRAGMENT);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"199 Task failed."}));
    EXPECT_EQ(Text(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS), "Finished");
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY));
    EXPECT_EQ(script.restarts, 0);
}

TEST_F(CommandWindowTest, RegistryToolsDoneAskForTheRestartOrReportCompletion)
{
    StartService(1);
    script.questionAnswer = IDCANCEL;
    CommandAndAnswer(IDC_OPTIMIZE_DEFRAGMENT);
    script.chosenFolder = "C:\\Hives";
    CommandAndAnswer(IDC_OPTIMIZE_RESTORE_REGISTRY);
    CommandAndAnswer(IDC_OPTIMIZE_BACKUP_REGISTRY);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"1006 Please restart your PC to complete the task.",
                                        "1006 Please restart your PC to complete the task.",
                                        "199 Task sucessfully completed."}));
    // Close to the question: no restart, and the tools stay usable.
    EXPECT_EQ(script.restarts, 0);
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY));
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_BACKUP_REGISTRY));
    EXPECT_EQ(Setting(setting::LastBackupDir), "C:\\Hives");
    ASSERT_EQ(service->RequestCount(), 3);
    EXPECT_EQ(ReadU32(service->Requests()[0], 0), 2u);
    EXPECT_EQ(ReadU32(service->Requests()[1], 0), 4u);
    EXPECT_EQ(ReadU32(service->Requests()[2], 0), 3u);

    // OK restarts, and the buttons wait for it.
    script.questionAnswer = IDOK;
    CommandAndAnswer(IDC_OPTIMIZE_DEFRAGMENT);
    EXPECT_EQ(script.restarts, 1);
    EXPECT_FALSE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_FALSE(Enabled(Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY));
}

TEST_F(CommandWindowTest, ProxyUpdateStoresTheFieldsAndSendsOneRecord)
{
    StartService(1);
    service->Answer(NoReply());
    SetWindowTextA(Control(Page::MiscOptions, IDC_PROXY_HOST), "proxy.local");
    SetWindowTextA(Control(Page::MiscOptions, IDC_PROXY_PORT), "3128");
    SetWindowTextA(Control(Page::MiscOptions, IDC_PROXY_LOGIN), "ann");
    SetWindowTextA(Control(Page::MiscOptions, IDC_PROXY_PASSWORD), "pw");
    SendMessageA(Control(Page::MiscOptions, IDC_PROXY_TYPE), CB_SETCURSEL, 1, 0);
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
    auto* tree = window->GetControl<CCustomFileDirTree>(Page::Restore, IDC_RESTORE_TREE);
    ASSERT_NE(tree, nullptr);
    tree->DisplayTree(stored.Path());
    tree->SelectPath(stored.Path());
    std::string expected = static_cast<const char*>(stored.Path()) + std::string("\\");
    EXPECT_EQ(Text(Page::Restore, IDC_RESTORE_WHAT), expected);
    EXPECT_EQ(Setting(setting::WhatRestorePath), expected);
}

TEST_F(CommandWindowTest, ResetLogFolderAndAnIncompleteSupportForm)
{
    ASSERT_TRUE(WriteSettingDword(setting::StatusTotalErrors, 7));
    SetWindowTextA(Control(Page::Optimize, IDC_OPTIMIZE_ERRORS), "7");
    Command(IDC_OPTIMIZE_RESET);
    DWORD errors = 99;
    ASSERT_TRUE(ReadSettingDword(setting::StatusTotalErrors, errors));
    EXPECT_EQ(errors, 0u);
    EXPECT_EQ(Text(Page::Optimize, IDC_OPTIMIZE_ERRORS), "0");

    Command(IDC_OPTIMIZE_VIEW_LOGS);
    Command(IDC_SUPPORT_LOG_FILE);
    ASSERT_EQ(script.opened.size(), 2u);
    EXPECT_EQ(script.opened[0], std::string(GetLogFolder(window->GetFolders().appData)));

    SetWindowTextA(Control(Page::Support, IDC_SUPPORT_EMAIL), "no at sign");
    SetWindowTextA(Control(Page::Support, IDC_SUPPORT_NAME), "Ann");
    SetWindowTextA(Control(Page::Support, IDC_SUPPORT_DESCRIPTION), "It hangs.");
    CommandAndAnswer(IDC_SUPPORT_SUBMIT);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"190 Please fill in all required fields."}));
    EXPECT_EQ(Text(Page::Support, IDC_SUPPORT_EMAIL), "no at sign");
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
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Pause");
    Command(IDC_BACKUP_PAUSE);
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Pause");
    EXPECT_FALSE(window->GetRunContext().IsBackupPaused());
    // Close during a restore is ignored: the window stays.
    window->GetRunContext().activeRun.store(2);
    Command(ID_TRAY_CLOSE);
    EXPECT_TRUE(IsWindow(window->GetSafeHwnd()));
    EXPECT_FALSE(window->ExitsAfterRun());
    window->GetRunContext().activeRun.store(0);
}

TEST_F(CommandWindowTest, TheRestoreMenuCommandStartsTheRestoreAsRestoreDoes)
{
    for (UINT command : {IDC_RESTORE, ID_RESTORE_MENU_RESTORE})
    {
        // Nothing chosen to restore: the run starts and fails at once.
        Command(IDC_PAGE_RESTORE);
        Command(command);
        EXPECT_FALSE(Enabled(Page::Restore, IDC_RESTORE)) << command;
        EXPECT_FALSE(IsWindowEnabled(GetDlgItem(window->GetSafeHwnd(), IDC_PAGE_BACKUP))) << command;
        ASSERT_TRUE(PumpUntil(30000, [&] { return Enabled(Page::Restore, IDC_RESTORE); })) << command;
    }
    EXPECT_EQ(script.messages, (std::vector<std::string>{"end Task failed.", "end Task failed."}));
}

TEST_F(CommandWindowTest, PauseHoldsALiveRunAndResumeLetsItFinish)
{
    TempFolder folder("liverun");
    CGatedStore store;
    ASSERT_TRUE(PrepareLiveRun(*window, folder, store));
    CRunContext& run = window->GetRunContext();
    Command(IDC_BACKUP_START);
    ASSERT_TRUE(PumpUntil(30000, [&] { return store.StoresBegun() > 0; }));

    Command(IDC_BACKUP_PAUSE);
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Resume");
    EXPECT_TRUE(run.IsBackupPaused());
    // Stop while held does nothing: the run is resumed first.
    Command(IDC_BACKUP_START);
    EXPECT_EQ(run.engineBusy.load(), 1);
    EXPECT_TRUE(Enabled(Page::Backup, IDC_BACKUP_START));

    Command(IDC_BACKUP_PAUSE);
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Pause");
    EXPECT_FALSE(run.IsBackupPaused());
    store.Open();
    ASSERT_TRUE(PumpUntil(60000, [&] { return run.activeRun.load() == 0; }));
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_FILES), "5"); // the folder and its four files
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_ERRORS), "0");
    EXPECT_EQ(script.messages, (std::vector<std::string>{"end Task sucessfully completed."}));
}

TEST_F(CommandWindowTest, APausedRunStoppedByEscOrCloseLeavesPauseForTheNextRun)
{
    TempFolder folder("pausedstop");
    CRunContext& run = window->GetRunContext();
    for (UINT stop : {WM_COMMAND, WM_CLOSE})
    {
        CGatedStore store;
        ASSERT_TRUE(PrepareLiveRun(*window, folder, store, 1));
        Command(IDC_BACKUP_START);
        ASSERT_EQ(run.activeRun.load(), 1) << stop;
        Command(IDC_BACKUP_PAUSE);
        ASSERT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Resume") << stop;
        // Esc is the dialog's IDCANCEL.
        SendMessageA(window->GetSafeHwnd(), stop, stop == WM_COMMAND ? IDCANCEL : 0, 0);
        store.Open();
        ASSERT_TRUE(PumpUntil(60000, [&] { return run.activeRun.load() == 0; })) << stop;
        EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_PAUSE), "Pause") << stop;
        EXPECT_FALSE(run.IsBackupPaused()) << stop;
        run.services = nullptr;
    }
}

TEST_F(CommandWindowTest, ARegistryToolWaitsOnAThreadWithItsButtonsDisabledUntilTheAnswer)
{
    HANDLE answer = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    StartService(1);
    // The service works on the hives until the test lets it answer.
    const CFakePipeServer::Responder done = StatusReply(1, sizeof(IpcSettingsRecord));
    service->Answer([answer, done](const std::string& request) {
        WaitForSingleObject(answer, 30000);
        return done(request);
    });
    Command(IDC_OPTIMIZE_DEFRAGMENT);
    // The click came back at once: the window goes on while the service
    // works, the tool's buttons off.
    ASSERT_TRUE(service->WaitRequests(1));
    EXPECT_EQ(Text(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS), "Please wait...");
    EXPECT_FALSE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_FALSE(Enabled(Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY));
    EXPECT_TRUE(script.messages.empty());
    PumpFor(300);
    EXPECT_FALSE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(script.messages.empty());

    SetEvent(answer);
    ASSERT_TRUE(PumpUntil(30000, [&] { return !script.messages.empty(); }));
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"1006 Please restart your PC to complete the task."}));
    EXPECT_EQ(Text(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS), "Finished");
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT));
    EXPECT_TRUE(Enabled(Page::Optimize, IDC_OPTIMIZE_RESTORE_REGISTRY));
    service.reset();
    CloseHandle(answer);
}

TEST_F(CommandWindowTest, TheSupportFormIsSentOnAThreadWithSubmitDisabledUntilTheAnswer)
{
    // A server that takes the request only when the test lets it: the
    // attachment is far more than the connection holds.
    const CString attachment = Path("big.log");
    {
        std::string block(1 << 20, 'x');
        FILE* file = fopen(attachment, "wb");
        ASSERT_NE(file, nullptr);
        for (int i = 0; i < 32; ++i)
            fwrite(block.data(), 1, block.size(), file);
        fclose(file);
    }
    HANDLE release = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    std::atomic<bool> read{false};
    {
        CLoopbackServer server([&](SOCKET client) {
            WaitForSingleObject(release, 30000);
            loopback::ReceiveUntilClosed(client);
            read = true;
        });
        SetSupportServerForTests("127.0.0.1", server.GetPort());
        SetWindowTextA(Control(Page::Support, IDC_SUPPORT_EMAIL), "ann@example.com");
        SetWindowTextA(Control(Page::Support, IDC_SUPPORT_NAME), "Ann");
        SetWindowTextA(Control(Page::Support, IDC_SUPPORT_DESCRIPTION), "It hangs.");
        SetWindowTextA(Control(Page::Support, IDC_SUPPORT_ATTACHMENT), attachment);
        Command(IDC_SUPPORT_SUBMIT);
        // Back at once, the form kept and Submit off while it goes out.
        EXPECT_FALSE(Enabled(Page::Support, IDC_SUPPORT_SUBMIT));
        EXPECT_EQ(Text(Page::Support, IDC_SUPPORT_NAME), "Ann");
        PumpFor(300);
        EXPECT_TRUE(script.messages.empty());
        EXPECT_FALSE(Enabled(Page::Support, IDC_SUPPORT_SUBMIT));

        SetEvent(release);
        ASSERT_TRUE(PumpUntil(60000, [&] { return !script.messages.empty(); }));
        EXPECT_EQ(script.messages, (std::vector<std::string>{"190 Message sucessfully sent."}));
        EXPECT_TRUE(Enabled(Page::Support, IDC_SUPPORT_SUBMIT));
        for (UINT id : {IDC_SUPPORT_EMAIL, IDC_SUPPORT_NAME, IDC_SUPPORT_DESCRIPTION,
                        IDC_SUPPORT_ATTACHMENT})
            EXPECT_EQ(Text(Page::Support, id), "") << id;
        SetSupportServerForTests(nullptr, 0);
    }
    EXPECT_TRUE(read.load());
    CloseHandle(release);
}

TEST_F(CommandWindowTest, HelpRegistryAndSupportTextsKeepTheWindowsLanguage)
{
    // The user picks another language and applies it: until the restart the
    // window keeps the one it started with.
    ASSERT_TRUE(MakeFolder(Path("Program\\Languages")));
    ASSERT_TRUE(MakeFolder(Path("Program\\Languages\\Other")));
    ASSERT_TRUE(WriteTextFile(Path("Program\\Languages\\Other\\default.ini"),
                              "[Language]\r\nDL_N_101_328=Autre 328\r\nDL_N_101_534=Autre 534\r\n"
                              "DL_N_101_532=Autre 532\r\nDL_N_101_152=Autre 152\r\n"
                              "DL_N_101_172=Autre 172\r\n"));
    ASSERT_TRUE(WriteTextFile(Path("AppData\\ORVANEL Brindlewox\\settings.ini"),
                              "[Skin]\r\nDirectory=Default\r\n[Language]\r\nDirectory=Other\r\n"));

    CommandAndAnswer(IDC_SUPPORT_SUBMIT);
    CommandAndAnswer(IDC_OPTIMIZE_DEFRAGMENT);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"190 Please fill in all required fields.",
                                                         "199 Task failed."}));
    EXPECT_EQ(Text(Page::Optimize, IDC_OPTIMIZE_DEFRAGMENT_STATUS), "Finished");

    // The help balloon of the restore page, launched from the Help button.
    Command(IDC_PAGE_RESTORE);
    const int before = CSkinBalloonHelp::GetLiveCount();
    Command(IDC_TITLE_HELP);
    ASSERT_EQ(CSkinBalloonHelp::GetLiveCount(), before + 1);
    HWND balloon = FindWindowA(nullptr, "Orvanel Brindlewox Help");
    ASSERT_NE(balloon, nullptr);
    EXPECT_EQ(GetWindow(balloon, GW_OWNER), window->GetSafeHwnd());
    auto* help = dynamic_cast<CSkinBalloonHelp*>(CWindow::FromHandle(balloon));
    ASSERT_NE(help, nullptr);
    char content[256] = "";
    GetWindowTextA(help->GetContent().GetSafeHwnd(), content, sizeof(content));
    EXPECT_STREQ(content, "To restore files press the 'Restore' button");
    DestroyWindow(balloon);
}

TEST_F(CommandWindowTest, EditOpensTheChosenRowAndTheDestinationChooserSavesTheField)
{
    for (const char* path : {"C:\\First", "C:\\Second"})
    {
        ProfileItem item;
        item.path = path;
        Profile().AddItem(item);
    }
    window->LoadProfile();
    const std::vector<int> ids = RowIds();
    ASSERT_EQ(ids.size(), 2u);
    // No row selected yet: the first.
    Command(IDC_BACKUP_EDIT);
    EXPECT_EQ(script.messages,
              (std::vector<std::string>{"dialog 1002 row " + std::to_string(ids[0])}));

    // The destination's "..." opens the selection on the field, then saves
    // the field whatever the answer.
    script.messages.clear();
    SetWindowTextA(Control(Page::Backup, IDC_BACKUP_DESTINATION), "C:\\Dest\\");
    Command(IDC_BACKUP_CHOOSE_DESTINATION);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"dialog 402"}));
    ProfileSettings settings;
    ASSERT_TRUE(Profile().LoadSettings(settings));
    EXPECT_STREQ(settings.destination, "C:\\Dest\\");
}

TEST_F(CommandWindowTest, TheAttachmentIsChosenFromTheLogFolderAndShownLowered)
{
    script.chosenFile = "C:\\Logs\\LogFile_2024-03-05.TXT";
    Command(IDC_SUPPORT_CHOOSE_ATTACHMENT);
    EXPECT_EQ(script.fileDialogFolder, std::string(GetLogFolder(window->GetFolders().appData)));
    EXPECT_EQ(Text(Page::Support, IDC_SUPPORT_ATTACHMENT), "c:\\logs\\logfile_2024-03-05.txt");
    // Cancelled: the field keeps what it had.
    script.chosenFile = "";
    Command(IDC_SUPPORT_CHOOSE_ATTACHMENT);
    EXPECT_EQ(Text(Page::Support, IDC_SUPPORT_ATTACHMENT), "c:\\logs\\logfile_2024-03-05.txt");
}

TEST_F(CommandWindowTest, TheTrayMenuOpensShowsOptionsAboutStartupAndStartsARun)
{
    HWND hwnd = window->GetSafeHwnd();
    // 521: the window comes back from the tray.
    MinimiseToTray(hwnd);
    ASSERT_FALSE(IsWindowVisible(hwnd));
    Command(ID_TRAY_OPEN);
    EXPECT_TRUE(IsWindowVisible(hwnd));

    // 544: back from the tray on the first options tab.
    MinimiseToTray(hwnd);
    Command(ID_TRAY_OPTIONS);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindowVisible(window->GetPage(Page::BackupOptions)->GetHwnd()));
    EXPECT_FALSE(IsWindowVisible(window->GetPage(Page::Backup)->GetHwnd()));
    EXPECT_TRUE(window->GetControl<CSkinButton>(IDC_PAGE_OPTIONS)->IsChecked());
    EXPECT_TRUE(window->GetControl<CSkinButton>(Page::BackupOptions, IDC_OPTIONS_TAB_GENERAL)->IsChecked());

    // 538: the About dialog.
    Command(ID_TRAY_ABOUT);
    EXPECT_EQ(script.messages, (std::vector<std::string>{"dialog 157"}));

    // 543: "Run at Windows startup" flips and is saved at once, the Run
    // entry with it.
    auto* startup = window->GetControl<CSkinCheckBox>(Page::BackupOptions, IDC_OPTIONS_RUN_AT_STARTUP);
    ASSERT_NE(startup, nullptr);
    const bool before = startup->IsChecked();
    Command(ID_TRAY_LOAD_AT_STARTUP);
    EXPECT_NE(startup->IsChecked(), before);
    DWORD saved = 2;
    ASSERT_TRUE(ReadSettingDword(setting::StartOnStartup, saved));
    EXPECT_EQ(saved, before ? 0u : 1u);
    CString entry;
    EXPECT_EQ(ReadRegistryString(setting::RunValueName, entry, setting::RunKeyPath) != FALSE, !before);
    Command(ID_TRAY_LOAD_AT_STARTUP);
    EXPECT_EQ(startup->IsChecked(), before);

    // 545: from the tray, on the backup page, a run starts.
    TempFolder folder("trayrun");
    CGatedStore store;
    ASSERT_TRUE(PrepareLiveRun(*window, folder, store, 1));
    MinimiseToTray(hwnd);
    Command(ID_TRAY_START_BACKUP);
    EXPECT_TRUE(IsWindowVisible(hwnd));
    EXPECT_TRUE(IsWindowVisible(window->GetPage(Page::Backup)->GetHwnd()));
    EXPECT_EQ(window->GetRunContext().activeRun.load(), 1);
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_START), "Stop");
    // A second one while it runs starts nothing more.
    Command(ID_TRAY_START_BACKUP);
    EXPECT_EQ(Text(Page::Backup, IDC_BACKUP_START), "Stop");
    store.Open();
    ASSERT_TRUE(PumpUntil(60000, [&] { return window->GetRunContext().activeRun.load() == 0; }));
    window->GetRunContext().services = nullptr;
}
