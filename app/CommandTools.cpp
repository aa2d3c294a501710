#include "app/CommandTools.h"

#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "resources/MessageDialogs.h"
#include "skin/SkinFiles.h"

#include <cstdlib>

CString RegistryRestoreRoot(const CString& systemDrive)
{
    CString root(systemDrive);
    CString last;
    if (ReadSettingString(setting::LastBackupDir, last))
        root = last;
    // A bare drive ("C:", as the system drive is kept) names the drive's
    // current folder to the file functions: its root is meant.
    if (root.GetLength() == 2 && root[1] == ':')
        root += "\\";
    // FileExists finds no drive root: the attributes tell a folder that is
    // there, a root included.
    DWORD attributes = root.IsEmpty() ? INVALID_FILE_ATTRIBUTES : GetFileAttributesA(root);
    bool folder = attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
    return folder ? root : CString("");
}

bool BeginRegistryTool(RegistryTool tool, IRegistryToolView& view, CIni& language,
                       const CString& systemDrive, CString& folder)
{
    folder = "";
    if (tool == RegistryTool::Save)
    {
        folder = view.ChooseFolder("");
        if (folder.IsEmpty())
            return false;
        WriteSettingString(setting::LastBackupDir, folder);
    }
    else if (tool == RegistryTool::Restore)
    {
        folder = view.ChooseFolder(RegistryRestoreRoot(systemDrive));
        if (folder.IsEmpty())
            return false;
    }
    view.ShowStatus(tool, LanguageText(language, "DL_N_101_531", "Please wait..."), true);
    view.EnableButtons(tool, false);
    return true;
}

int SendRegistryTool(RegistryTool tool, const CString& folder)
{
    switch (tool)
    {
    case RegistryTool::Compact:
        return PipeCompactRegistryHives();
    case RegistryTool::Save:
        return PipeSaveRegistryHives(folder);
    case RegistryTool::Restore:
        break;
    }
    return PipeRestoreRegistryHives(folder);
}

RegistryToolRun FinishRegistryTool(RegistryTool tool, int result, IRegistryToolView& view,
                                   CIni& language)
{
    RegistryToolRun run;
    view.ShowStatus(tool, LanguageText(language, "DL_N_101_532", "Finished"), false);
    run.outcome = DecideRegistryOutcome(tool, result);
    switch (run.outcome)
    {
    case RegistryOutcome::AskRestart:
        if (view.ShowMessage(IDD_MESSAGE_OKCANCEL,
                             LanguageText(language, "DL_N_101_533",
                                          "Please restart your PC to complete the task.")) == IDOK)
            run.restartStarted = view.Restart();
        break;
    case RegistryOutcome::Completed:
        view.ShowMessage(IDD_MESSAGE_RESULT,
                         LanguageText(language, "DL_N_101_535", "Task sucessfully completed."));
        break;
    case RegistryOutcome::Failed:
        view.ShowMessage(IDD_MESSAGE_RESULT,
                         LanguageText(language, "DL_N_101_534", "Task failed."));
        break;
    }
    if (EnableAfterRegistryTool(tool, run.outcome, run.restartStarted))
        view.EnableButtons(tool, true);
    return run;
}

bool UpdateProxySettings(const CString& host, const CString& portText, const CString& login,
                         const CString& password, DWORD proxyType)
{
    DWORD port = static_cast<DWORD>(atoi(portText));
    WriteSettingString(setting::ProxyHost, host);
    WriteSettingDword(setting::ProxyPort, port);
    WriteSettingString(setting::ProxyLogin, login);
    WriteSettingString(setting::ProxyPassword, password);
    WriteSettingDword(setting::ProxyType, proxyType);
    return PipeSendProxySettings(host, port, login, password, proxyType);
}
