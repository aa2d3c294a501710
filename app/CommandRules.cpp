#include "app/CommandRules.h"

#include "skin/SkinFiles.h"

#include <cstring>

RunAction DecideStartStop(const RunFlags& flags)
{
    if (flags.backupRunning)
        return flags.paused ? RunAction::None : RunAction::StopRun;
    // A restore holds the engine too; the start would be refused.
    if (flags.restoreRunning || flags.workerAlive)
        return RunAction::None;
    return RunAction::StartRun;
}

RunAction DecidePauseResume(const RunFlags& flags)
{
    if (flags.paused)
        return RunAction::Resume;
    if (flags.backupRunning)
        return RunAction::Pause;
    return RunAction::None;
}

RunAction DecideClose(const RunFlags& flags)
{
    if (flags.restoreRunning)
        return RunAction::None;
    if (!flags.backupRunning)
        return RunAction::EndProgram;
    return RunAction::EndAfterRun;
}

RunFlags AfterRunAction(RunFlags flags, RunAction action)
{
    switch (action)
    {
    case RunAction::StartRun:
        flags.backupRunning = true;
        flags.workerAlive = true;
        break;
    case RunAction::StopRun:
        flags.backupRunning = false;
        break;
    case RunAction::Pause:
        flags.paused = true;
        break;
    case RunAction::Resume:
        flags.paused = false;
        break;
    case RunAction::EndAfterRun:
        flags.paused = false;
        flags.backupRunning = false;
        flags.exitAfterRun = true;
        break;
    case RunAction::EndProgram:
    case RunAction::None:
        break;
    }
    return flags;
}

int ChooseListRow(int rowCount, int selected)
{
    if (rowCount <= 0)
        return -1;
    // No selection (-1) counts as out of range, not as a row before the first.
    return selected >= 0 && selected < rowCount ? selected : 0;
}

Page FirstVisiblePage(const bool (&visible)[kPageNumberCount])
{
    static const Page kOrder[] = {Page::Backup,        Page::Blank,       Page::Restore,
                                  Page::BackupOptions, Page::MiscOptions, Page::SpareOptions,
                                  Page::Startup,       Page::Uninstall,   Page::Support,
                                  Page::Optimize};
    for (Page page : kOrder)
    {
        if (visible[PageNumber(page)])
            return page;
    }
    return Page::None;
}

CString HelpText(CIni& language, Page page)
{
    CString text("");
    switch (page)
    {
    case Page::Backup:
        text = LanguageText(language, "DL_N_101_133",
                            "This windows is the core of Orvanel Brindlewox backup engine.");
        text += "\n";
        text += LanguageText(language, "DL_N_101_134",
                             "To begin backup press the 'Start' button. To break the backup");
        text += "\n";
        text += LanguageText(language, "DL_N_101_135",
                             "press the 'Stop' button. If you would like to pause the backup");
        text += "\n";
        text += LanguageText(language, "DL_N_101_136",
                             "press the 'Pause' button. To continue press the 'Resume' button.");
        break;
    case Page::Restore:
        text = LanguageText(language, "DL_N_101_152", "To restore files press the 'Restore' button");
        break;
    case Page::BackupOptions:
    case Page::MiscOptions:
    case Page::SpareOptions:
        text = LanguageText(language, "DL_N_101_153",
                            "The Option window contains settings of Orvanel Brindlewox");
        text += "\n";
        text += LanguageText(language, "DL_N_101_154",
                             "that can be customizable. Sheduling is simple way to run");
        text += "\n";
        text += LanguageText(language, "DL_N_101_155", "scans at specified time.");
        break;
    case Page::Startup:
        text = LanguageText(
            language, "DL_N_101_559",
            "The Startup window shows all applications that are started at Windows start.");
        break;
    case Page::Uninstall:
        text = LanguageText(language, "DL_N_101_560",
                            "The Uninstall window shows all applications that can be uninstalled.");
        break;
    case Page::Support:
        text = LanguageText(language, "DL_N_101_169",
                            "The Support window allows you to contact technical support");
        text += "\n";
        text += LanguageText(language, "DL_N_101_170", "in case you need help with Orvanel Brindlewox.");
        break;
    case Page::Optimize:
        text = LanguageText(language, "DL_N_101_530",
                            "The Optimize window allows you to backup and optimize registry.");
        break;
    default:
        break;
    }
    return text;
}

bool SupportFormComplete(const char* email, const char* name, const char* description)
{
    if (email == nullptr || name == nullptr || description == nullptr)
        return false;
    if (*email == 0 || *name == 0 || *description == 0)
        return false;
    return std::strchr(email, '@') != nullptr;
}

RegistryOutcome DecideRegistryOutcome(RegistryTool tool, int result)
{
    if (result == 0)
        return RegistryOutcome::Failed;
    return tool == RegistryTool::Save ? RegistryOutcome::Completed : RegistryOutcome::AskRestart;
}

bool EnableAfterRegistryTool(RegistryTool tool, RegistryOutcome outcome, bool restartStarted)
{
    if (tool == RegistryTool::Save)
        return true;
    return !(outcome == RegistryOutcome::AskRestart && restartStarted);
}
