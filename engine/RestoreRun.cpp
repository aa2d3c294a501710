#include "engine/RestoreRun.h"

#include "engine/FileSystem.h"
#include "engine/FileWalk.h"
#include "foundation/Exception.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/Settings.h"
#include "engine/SqlDB.h"
#include "engine/StoredFile.h"

namespace
{
bool EndsWithBackslash(const CString& path)
{
    return !path.IsEmpty() && path[path.GetLength() - 1] == '\\';
}

// The stored form and the password of the profile's settings row; without a
// readable row they stay "plain, no password".
ProfileSettings ReadStoredForm(CRunContext& context)
{
    ProfileSettings settings;
    try
    {
        CProfileDB(context.profilePath).LoadSettings(settings);
    }
    catch (const CSqlException& e)
    {
        context.WriteDebugLog(e);
    }
    return settings;
}

// One entry of a level: a folder's listed path loses its backslash.
void RestoreEntry(CRunContext& context, const CString& entry, const CString& target,
                  const ProfileSettings& settings)
{
    CString path = entry;
    if (path.GetLength() >= 2 && EndsWithBackslash(path))
        path = path.Left(path.GetLength() - 1);
    try
    {
        RestoreOneFile(context, path, target, settings.compress, settings.encrypt,
                       settings.password);
    }
    catch (...)
    {
        // A failure inside the request itself: the entry counts as done, as
        // the service never saw it.
    }
}
// Level by level, breadth first: every entry of a level in listing order,
// then the next level from the folders among them, until a level is empty
// or the worker is stopped.
void RestoreLevels(CRunContext& context, const CString& pattern, const CString& target,
                   const ProfileSettings& settings)
{
    WalkBreadthFirst(
        pattern, context.engineBusy, [&context] { return context.restoreWorker.WaitToContinue(); },
        [](size_t) {},
        [&](size_t, const WalkEntry& entry)
        {
            RestoreEntry(context, entry.path, target, settings);
            return true;
        });
}
} // namespace

unsigned __stdcall RestoreThread(void* parameter)
{
    CRunContext& context = *static_cast<CRunContext*>(parameter);
    BackupOutcome outcome = kBackupFailed;
    {
        CLockGuard lock(context.restoreLock);
        try
        {
            const int ran = RestoreFiles(context);
            const HANDLE stop = context.restoreWorker.GetStopEvent();
            if ((stop != nullptr && ::WaitForSingleObject(stop, 0) == WAIT_OBJECT_0) ||
                context.engineBusy.load() == 0)
                outcome = kBackupStopped;
            else if (ran && context.GetDisplay().restoreFailed == 0)
                outcome = kBackupCompleted;
        }
        catch (CException* e)
        {
            delete e;
        }
        catch (...)
        {
            // Nothing may leave the thread; the end message still goes out,
            // as a failed restore.
        }
        context.RestoreEnded();
    }
    if (context.window)
        ::PostMessageA(context.window, WM_RESTORE_FINISHED, outcome, 0);
    return 0;
}

int RestoreFiles(CRunContext& context)
{
    const CString stored = context.whatPath;
    CString target = context.wherePath;
    if (stored.IsEmpty() || target.IsEmpty())
        return 0;
    // The service joins the target and the stored path as they are: without
    // the backslash, E:\R and D\Backup\... would give E:\RD\Backup\..., a
    // folder beside the chosen one.
    if (!EndsWithBackslash(target))
        target += '\\';
    const ProfileSettings settings = ReadStoredForm(context);

    CString pattern = stored;
    if (IsFolderOrMissing(stored))
    {
        // The folder itself first: that makes the target folder with its
        // times and attributes, even when it is empty.
        CString folder = stored;
        if (folder.GetLength() >= 2 && EndsWithBackslash(folder))
            folder = folder.Left(folder.GetLength() - 1);
        RestoreEntry(context, folder, target, settings);
        if (!EndsWithBackslash(pattern))
            pattern += '\\';
        pattern += "*.*";
    }

    RestoreLevels(context, pattern, target, settings);
    context.ShowCurrentFile(context.GetLanguageText(kNotActiveKey, kNotActiveText));
    return 1;
}

int RestoreOneFile(CRunContext& context, const CString& storedPath, const CString& targetRoot,
                   BOOL compress, BOOL encrypt, const CString& password)
{
    context.ShowCurrentFile(storedPath);
    int result = kPipeFailed;
    if (IsNetworkLocation(storedPath) || IsNetworkLocation(targetRoot))
    {
        // The service never touches the network: a stored tree or a target
        // there is this program's to read and write, with the user's logon.
        CTransferSource opened;
        if (opened.Open(storedPath) &&
            TransferFromSource(opened, StoredCopyPath(targetRoot, storedPath), compress, encrypt,
                               password, kTransferRestore))
            result = kPipeDone;
    }
    else
    {
        result = PipeRestoreFile(storedPath, targetRoot, compress, encrypt, password,
                                 context.restoreWorker.GetStopEvent());
    }
    if (result != kPipeDone)
    {
        context.WriteLog(context.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + storedPath +
                         "\r\n\r\n");
        context.RestoreFailed();
    }
    return result;
}

BOOL LoadRestorePaths(CString& whatPath, CString& wherePath)
{
    const BOOL what = ReadSettingString("WhatRestorePath", whatPath);
    const BOOL where = ReadSettingString("WhereRestorePath", wherePath);
    return what && where;
}
