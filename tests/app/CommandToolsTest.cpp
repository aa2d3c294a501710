#include "app/CommandTools.h"

#include "engine/IpcRecords.h"
#include "engine/Settings.h"
#include "resources/MessageDialogs.h"
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
// The SETTINGS pipe moved to a name of the test's own, with the fake
// service holding it; HKEY_CURRENT_USER redirected, for this process only, to
// a fresh key (deleted afterwards), so tests running side by side never see
// each other's settings.
class FakeService
{
public:
    FakeService()
        : m_name(UniquePipeName("settings")),
          server(std::make_unique<CFakePipeServer>(m_name.c_str(), sizeof(IpcSettingsRecord)))
    {
        SetIpcPipeName(IpcPipe::Settings, m_name.c_str());
        EXPECT_TRUE(m_user.IsActive());
    }
    ~FakeService()
    {
        server.reset();
        SetIpcPipeName(IpcPipe::Settings, kSettingsPipeName);
    }

private:
    // The test's own servers stand in for the service.
    CServiceInThisProcess m_serviceHere;

    std::string m_name;
    UserKeyOverride m_user{"Tools"};

public:
    std::unique_ptr<CFakePipeServer> server;
};

// A view that records what the tool did and answers from its script.
class RecordingView : public IRegistryToolView
{
public:
    std::vector<std::string> steps;
    CString folder{""};    // what the browser returns
    int answer = IDCANCEL; // the question's answer
    bool restartWorks = true;
    CString rootSeen{"<none>"};

    void ShowStatus(RegistryTool, const CString& text, bool working) override
    {
        steps.push_back(std::string(working ? "on " : "off ") + static_cast<const char*>(text));
    }
    void EnableButtons(RegistryTool, bool enable) override
    {
        steps.push_back(enable ? "enable" : "disable");
    }
    CString ChooseFolder(const CString& root) override
    {
        rootSeen = root;
        steps.push_back("choose");
        return folder;
    }
    int ShowMessage(UINT templateId, const CString& text) override
    {
        steps.push_back(std::to_string(templateId) + " " + static_cast<const char*>(text));
        return templateId == IDD_MESSAGE_OKCANCEL ? answer : IDOK;
    }
    bool Restart() override
    {
        steps.push_back("restart");
        return restartWorks;
    }
};

uint32_t RequestType(const std::string& request)
{
    return ReadU32(request, offsetof(IpcSettingsRecord, type));
}

// The three steps one after the other, as the window runs them (there the
// request on a thread of its own), with the English texts.
struct ToolRun : RegistryToolRun
{
    bool ran = false; // a request went to the service (no cancelled choice)
};
ToolRun RunTool(RegistryTool tool, RecordingView& view)
{
    CIni english("C:\\bwtest\\no such language.ini");
    ToolRun run;
    CString folder;
    if (!BeginRegistryTool(tool, view, english, "C:", folder))
        return run;
    run.ran = true;
    static_cast<RegistryToolRun&>(run) =
        FinishRegistryTool(tool, SendRegistryTool(tool, folder), view, english);
    return run;
}

std::string Setting(const char* name)
{
    CString value;
    return ReadSettingString(name, value) ? static_cast<const char*>(value) : "<missing>";
}
} // namespace

TEST(CommandToolsTest, FailedCompactionSaysSoAndEnablesTheButtonsAgain)
{
    FakeService service;
    service.server->Answer(StatusReply(0, sizeof(IpcSettingsRecord)));
    RecordingView view;
    ToolRun run = RunTool(RegistryTool::Compact, view);
    EXPECT_TRUE(run.ran);
    EXPECT_EQ(run.outcome, RegistryOutcome::Failed);
    std::vector<std::string> expected = {"on Please wait...", "disable", "off Finished",
                                         "199 Task failed.", "enable"};
    EXPECT_EQ(view.steps, expected);
    ASSERT_EQ(service.server->RequestCount(), 1);
    EXPECT_EQ(RequestType(service.server->Requests()[0]), 2u);
}

TEST(CommandToolsTest, NoServiceIsAFailureToo)
{
    FakeService service;
    service.server.reset();
    RecordingView view;
    ToolRun run = RunTool(RegistryTool::Compact, view);
    EXPECT_EQ(run.outcome, RegistryOutcome::Failed);
    EXPECT_EQ(view.steps.back(), "enable");
}

TEST(CommandToolsTest, CompactionAsksForTheRestartAndCancelRestartsNothing)
{
    FakeService service;
    service.server->Answer(StatusReply(1, sizeof(IpcSettingsRecord)));
    RecordingView view;
    view.answer = IDCANCEL;
    ToolRun run = RunTool(RegistryTool::Compact, view);
    EXPECT_EQ(run.outcome, RegistryOutcome::AskRestart);
    EXPECT_FALSE(run.restartStarted);
    std::vector<std::string> expected = {"on Please wait...", "disable", "off Finished",
                                         "1006 Please restart your PC to complete the task.",
                                         "enable"};
    EXPECT_EQ(view.steps, expected);

    // OK restarts, and the buttons stay off while the restart is under way.
    RecordingView accepting;
    accepting.answer = IDOK;
    run = RunTool(RegistryTool::Compact, accepting);
    EXPECT_TRUE(run.restartStarted);
    EXPECT_EQ(accepting.steps.back(), "restart");

    // A restart that could not begin leaves the tool usable.
    RecordingView refused;
    refused.answer = IDOK;
    refused.restartWorks = false;
    run = RunTool(RegistryTool::Compact, refused);
    EXPECT_FALSE(run.restartStarted);
    EXPECT_EQ(refused.steps.back(), "enable");
}

TEST(CommandToolsTest, BackupStoresItsFolderAndReportsCompletion)
{
    FakeService service;
    service.server->Answer(StatusReply(1, sizeof(IpcSettingsRecord)));
    RecordingView view;
    view.folder = "C:\\Hive backup";
    ToolRun run = RunTool(RegistryTool::Save, view);
    EXPECT_EQ(run.outcome, RegistryOutcome::Completed);
    std::vector<std::string> expected = {"choose", "on Please wait...", "disable", "off Finished",
                                         "199 Task sucessfully completed.", "enable"};
    EXPECT_EQ(view.steps, expected);
    EXPECT_EQ(Setting(setting::LastBackupDir), "C:\\Hive backup");
    ASSERT_EQ(service.server->RequestCount(), 1);
    std::string request = service.server->Requests()[0];
    EXPECT_EQ(RequestType(request), 3u);
    EXPECT_EQ(ReadText(request, offsetof(IpcSettingsRecord, key), 4096), "C:\\Hive backup");
}

TEST(CommandToolsTest, CancelledFolderChoiceDoesNothing)
{
    FakeService service;
    RecordingView view;
    for (RegistryTool tool : {RegistryTool::Save, RegistryTool::Restore})
    {
        view.steps.clear();
        EXPECT_FALSE(RunTool(tool, view).ran);
        std::vector<std::string> expected = {"choose"};
        EXPECT_EQ(view.steps, expected);
    }
    EXPECT_EQ(Setting(setting::LastBackupDir), "<missing>");
    EXPECT_EQ(service.server->RequestCount(), 0);
}

TEST(CommandToolsTest, RestoreStartsAtTheLastBackupFolder)
{
    FakeService service;
    service.server->Answer(StatusReply(1, sizeof(IpcSettingsRecord)));
    TempFolder last("hives");
    RecordingView view;
    view.folder = last.Path();

    // Without the setting: the system drive.
    EXPECT_STREQ(RegistryRestoreRoot("C:"), "C:\\");
    ASSERT_TRUE(WriteSettingString(setting::LastBackupDir, last.Path()));
    ToolRun run = RunTool(RegistryTool::Restore, view);
    EXPECT_STREQ(view.rootSeen, last.Path());
    EXPECT_EQ(run.outcome, RegistryOutcome::AskRestart);
    ASSERT_EQ(service.server->RequestCount(), 1);
    std::string request = service.server->Requests()[0];
    EXPECT_EQ(RequestType(request), 4u);
    EXPECT_EQ(ReadText(request, offsetof(IpcSettingsRecord, key), 4096),
              static_cast<const char*>(last.Path()));

    // A last folder that is gone roots the browser nowhere.
    ASSERT_TRUE(WriteSettingString(setting::LastBackupDir, "C:\\no such folder"));
    EXPECT_TRUE(RegistryRestoreRoot("C:").IsEmpty());
}

TEST(CommandToolsTest, ProxyUpdateWritesTheSettingsAndTellsTheService)
{
    FakeService service;
    service.server->Answer(NoReply());
    EXPECT_TRUE(UpdateProxySettings("proxy.local", "3128x", "ann", "s'cret", 1));
    DWORD port = 0, type = 0;
    EXPECT_EQ(Setting(setting::ProxyHost), "proxy.local");
    EXPECT_EQ(Setting(setting::ProxyLogin), "ann");
    EXPECT_EQ(Setting(setting::ProxyPassword), "s'cret");
    ASSERT_TRUE(ReadSettingDword(setting::ProxyPort, port));
    ASSERT_TRUE(ReadSettingDword(setting::ProxyType, type));
    EXPECT_EQ(port, 3128u);
    EXPECT_EQ(type, 1u);

    ASSERT_TRUE(service.server->WaitRequests(1));
    ASSERT_EQ(service.server->RequestCount(), 1);
    std::string request = service.server->Requests()[0];
    EXPECT_EQ(request.size(), 30740u);
    EXPECT_EQ(RequestType(request), 1u);
    EXPECT_EQ(ReadText(request, offsetof(IpcSettingsRecord, proxyHost), 4096), "proxy.local");
    EXPECT_EQ(ReadU32(request, offsetof(IpcSettingsRecord, proxyPort)), 3128u);
    EXPECT_EQ(ReadText(request, offsetof(IpcSettingsRecord, proxyPassword), 4096), "s'cret");
    EXPECT_EQ(ReadU32(request, offsetof(IpcSettingsRecord, proxyType)), 1u);
}
