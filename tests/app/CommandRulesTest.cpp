#include "app/CommandRules.h"

#include "tests/support/TempFolder.h"

#include <gtest/gtest.h>

#include <string>

namespace
{
// A language file of the test's own: every text is its English default
// until one is written.
class LanguageFile
{
public:
    LanguageFile() : language(m_temp / "default.ini") {}

    void Write(const char* text) { WriteTextFile(m_temp / "default.ini", text); }

private:
    TempFolder m_temp{"rules"};

public:
    CIni language;
};

RunFlags Running()
{
    RunFlags flags;
    flags.backupRunning = true;
    flags.workerAlive = true;
    return flags;
}
} // namespace

TEST(CommandRulesTest, StopWhilePausedDoesNothingUntilResumed)
{
    RunFlags flags = Running();
    ASSERT_EQ(DecidePauseResume(flags), RunAction::Pause);
    flags = AfterRunAction(flags, RunAction::Pause);
    EXPECT_TRUE(flags.paused);
    // Pause, then Stop: the held run stays held and running.
    EXPECT_EQ(DecideStartStop(flags), RunAction::None);
    // Resume, then Stop: the run is asked to stop.
    ASSERT_EQ(DecidePauseResume(flags), RunAction::Resume);
    flags = AfterRunAction(flags, RunAction::Resume);
    EXPECT_FALSE(flags.paused);
    ASSERT_EQ(DecideStartStop(flags), RunAction::StopRun);
    flags = AfterRunAction(flags, RunAction::StopRun);
    EXPECT_FALSE(flags.backupRunning);
    // Until the worker has ended, Start starts nothing; then it does.
    EXPECT_EQ(DecideStartStop(flags), RunAction::None);
    flags.workerAlive = false;
    EXPECT_EQ(DecideStartStop(flags), RunAction::StartRun);
    // With no run, Pause does nothing.
    EXPECT_EQ(DecidePauseResume(RunFlags{}), RunAction::None);
}

TEST(CommandRulesTest, CloseEndsAfterTheRunAndNeverWaitsOnAPause)
{
    EXPECT_EQ(DecideClose(RunFlags{}), RunAction::EndProgram);

    RunFlags paused = AfterRunAction(Running(), RunAction::Pause);
    ASSERT_EQ(DecideClose(paused), RunAction::EndAfterRun);
    RunFlags after = AfterRunAction(paused, RunAction::EndAfterRun);
    // The run is let go before it is asked to stop: it reaches its stop
    // check and reports its end, which ends the program.
    EXPECT_FALSE(after.paused);
    EXPECT_FALSE(after.backupRunning);
    EXPECT_TRUE(after.exitAfterRun);

    EXPECT_EQ(DecideClose(Running()), RunAction::EndAfterRun);
}

TEST(CommandRulesTest, CloseDuringARestoreIsIgnored)
{
    RunFlags restoring;
    restoring.restoreRunning = true;
    EXPECT_EQ(DecideClose(restoring), RunAction::None);
    EXPECT_EQ(DecideStartStop(restoring), RunAction::None);
    EXPECT_FALSE(AfterRunAction(restoring, DecideClose(restoring)).exitAfterRun);
}

TEST(CommandRulesTest, ChosenRowFallsBackToTheFirst)
{
    EXPECT_EQ(ChooseListRow(0, 0), -1);
    EXPECT_EQ(ChooseListRow(0, -1), -1);
    EXPECT_EQ(ChooseListRow(3, 2), 2);
    EXPECT_EQ(ChooseListRow(3, 3), 0);
    EXPECT_EQ(ChooseListRow(3, 40), 0);
    EXPECT_EQ(ChooseListRow(3, -1), 0);
}

TEST(CommandRulesTest, HelpFollowsTheFirstVisiblePage)
{
    LanguageFile file;
    bool visible[kPageNumberCount] = {};
    EXPECT_EQ(FirstVisiblePage(visible), Page::None);
    EXPECT_STREQ(HelpText(file.language, Page::None), "");
    // No page has the number 8: its flag is never looked at.
    visible[8] = true;
    EXPECT_EQ(FirstVisiblePage(visible), Page::None);
    visible[PageNumber(Page::Optimize)] = true;
    EXPECT_EQ(FirstVisiblePage(visible), Page::Optimize);
    visible[PageNumber(Page::MiscOptions)] = true;
    EXPECT_EQ(FirstVisiblePage(visible), Page::MiscOptions);
    visible[PageNumber(Page::Backup)] = true;
    EXPECT_EQ(FirstVisiblePage(visible), Page::Backup);

    EXPECT_STREQ(HelpText(file.language, Page::Backup),
                 "This windows is the core of Orvanel Brindlewox backup engine.\n"
                 "To begin backup press the 'Start' button. To break the backup\n"
                 "press the 'Stop' button. If you would like to pause the backup\n"
                 "press the 'Pause' button. To continue press the 'Resume' button.");
    EXPECT_STREQ(HelpText(file.language, Page::Blank), "");
    EXPECT_STREQ(HelpText(file.language, Page::Restore), "To restore files press the 'Restore' button");
    const char* options = "The Option window contains settings of Orvanel Brindlewox\n"
                          "that can be customizable. Sheduling is simple way to run\n"
                          "scans at specified time.";
    EXPECT_STREQ(HelpText(file.language, Page::BackupOptions), options);
    EXPECT_STREQ(HelpText(file.language, Page::MiscOptions), options);
    EXPECT_STREQ(HelpText(file.language, Page::SpareOptions), options);
    EXPECT_STREQ(HelpText(file.language, Page::Startup),
                 "The Startup window shows all applications that are started at Windows start.");
    EXPECT_STREQ(HelpText(file.language, Page::Uninstall),
                 "The Uninstall window shows all applications that can be uninstalled.");
    EXPECT_STREQ(HelpText(file.language, static_cast<Page>(8)), "");
    EXPECT_STREQ(HelpText(file.language, Page::Support), "The Support window allows you to contact technical support\n"
                              "in case you need help with Orvanel Brindlewox.");
    EXPECT_STREQ(HelpText(file.language, Page::Optimize), "The Optimize window allows you to backup and optimize registry.");
}

TEST(CommandRulesTest, HelpTextComesFromTheLanguageFile)
{
    LanguageFile file;
    file.Write("[Language]\r\nDL_N_101_152=Restaurer\r\nDL_N_101_170=ligne 2\r\n");
    EXPECT_STREQ(HelpText(file.language, Page::Restore), "Restaurer");
    EXPECT_STREQ(HelpText(file.language, Page::Support), "The Support window allows you to contact technical support\n"
                              "ligne 2");
}

TEST(CommandRulesTest, SupportFormNeedsEveryFieldAndAnAtSign)
{
    EXPECT_TRUE(SupportFormComplete("a@b", "Ann", "It hangs."));
    EXPECT_TRUE(SupportFormComplete("@", "n", "d"));
    EXPECT_FALSE(SupportFormComplete("ann.example.com", "Ann", "It hangs."));
    EXPECT_FALSE(SupportFormComplete("", "Ann", "It hangs."));
    EXPECT_FALSE(SupportFormComplete("a@b", "", "It hangs."));
    EXPECT_FALSE(SupportFormComplete("a@b", "Ann", ""));
    EXPECT_FALSE(SupportFormComplete(nullptr, "Ann", "d"));
}

TEST(CommandRulesTest, RegistryToolOutcomes)
{
    EXPECT_EQ(DecideRegistryOutcome(RegistryTool::Compact, 1), RegistryOutcome::AskRestart);
    EXPECT_EQ(DecideRegistryOutcome(RegistryTool::Restore, 1), RegistryOutcome::AskRestart);
    EXPECT_EQ(DecideRegistryOutcome(RegistryTool::Save, 1), RegistryOutcome::Completed);
    for (RegistryTool tool : {RegistryTool::Compact, RegistryTool::Save, RegistryTool::Restore})
        EXPECT_EQ(DecideRegistryOutcome(tool, 0), RegistryOutcome::Failed);

    // Compaction and restore keep their buttons off only while the restart
    // that completes them is under way.
    for (RegistryTool tool : {RegistryTool::Compact, RegistryTool::Restore})
    {
        EXPECT_TRUE(EnableAfterRegistryTool(tool, RegistryOutcome::Failed, false));
        EXPECT_TRUE(EnableAfterRegistryTool(tool, RegistryOutcome::AskRestart, false));
        EXPECT_FALSE(EnableAfterRegistryTool(tool, RegistryOutcome::AskRestart, true));
    }
    EXPECT_TRUE(EnableAfterRegistryTool(RegistryTool::Save, RegistryOutcome::Completed, false));
    EXPECT_TRUE(EnableAfterRegistryTool(RegistryTool::Save, RegistryOutcome::Failed, false));
}
