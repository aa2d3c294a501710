// The main window's commands that talk to the service or the system rather
// than to the window's own controls: the three registry tools (SETTINGS 2,
// 3 and 4, with the restart that completes compaction and restore) and the
// proxy settings' Update (SETTINGS 1). Each runs its steps against a view
// that the window implements, so the sequence can be driven without a
// window.
#ifndef BRINDLEWOX_APP_COMMANDTOOLS_H
#define BRINDLEWOX_APP_COMMANDTOOLS_H

#include "foundation/Base.h"
#include "foundation/Ini.h"
#include "foundation/String.h"
#include "app/CommandRules.h"

// What a registry tool does to the window and to the user.
class IRegistryToolView
{
public:
    virtual ~IRegistryToolView() = default;
    // The tool's status line (877, 878, 879) with the text, in the on-colour
    // (working) or the off-colour (done), redrawn at once.
    virtual void ShowStatus(RegistryTool tool, const CString& text, bool working) = 0;
    // Enables or disables the tool's buttons, each redrawn at once: 3022
    // and 3024 for compaction and restore, 3023 for the backup.
    virtual void EnableButtons(RegistryTool tool, bool enable) = 0;
    // The folder browser (no owner, empty title, no flags) rooted at the
    // folder (empty: the desktop); the chosen path, empty when cancelled.
    virtual CString ChooseFolder(const CString& root) = 0;
    // A message (template 199) and the question (template 1006: OK 1,
    // Close 2); the dialog's result.
    virtual int ShowMessage(UINT templateId, const CString& text) = 0;
    // Restarts Windows (RebootWindows); true when the restart is under way.
    virtual bool Restart() = 0;
};

// What a registry tool ended with.
struct RegistryToolRun
{
    RegistryOutcome outcome = RegistryOutcome::Failed;
    bool restartStarted = false; // OK to the question, and the restart began
};

// The root of Restore Registry's browser: the last backup folder
// ("LastBackupDir") when that setting can be read, else the system drive;
// none (the desktop) when that folder does not exist.
CString RegistryRestoreRoot(const CString& systemDrive);

// A registry tool in three steps. The service may work on the hives for
// minutes, so the window runs the first and the last step on its own thread
// and the request on a thread of its own, repainting and answering
// meanwhile; the tool's buttons stay disabled from the first step to the
// last. The texts come from the language file given (the window's own).
//
// 1. Chooses the folder (backup and restore), stores the backup's as
//    "LastBackupDir", shows "Please wait..." and disables the buttons. False
//    when the choice was cancelled: nothing else happens. `folder` gets the
//    folder chosen (empty for compaction).
bool BeginRegistryTool(RegistryTool tool, IRegistryToolView& view, CIni& language,
                       const CString& systemDrive, CString& folder);
// 2. The request (SETTINGS 2, 3 or 4), on any thread: the service's result,
//    0 when it failed or did not answer.
int SendRegistryTool(RegistryTool tool, const CString& folder);
// 3. Shows "Finished", then the outcome: the restart question after a
//    compaction or restore, "Task sucessfully completed." after a backup,
//    "Task failed." for any failure. The buttons are enabled again unless
//    the restart is under way.
RegistryToolRun FinishRegistryTool(RegistryTool tool, int result, IRegistryToolView& view,
                                   CIni& language);

// The proxy page's Update: "ProxyHost", "ProxyPort" (the port text as
// atoi reads it), "ProxyLogin", "ProxyPassword" and "ProxyType" into the
// settings key, then the same values to the service (SETTINGS 1). False
// when the service could not be given them (the settings are written all
// the same).
bool UpdateProxySettings(const CString& host, const CString& portText, const CString& login,
                         const CString& password, DWORD proxyType);

#endif
