#include "engine/RunContext.h"

#include "engine/BackupRun.h"
#include "engine/LogFile.h"
#include "engine/RestoreRun.h"
#include "foundation/Ini.h"

namespace
{
constexpr LONG kNoRun = 0;
constexpr LONG kBackupRun = 1;
constexpr LONG kRestoreRun = 2;

// Starts a run's thread. A run with nothing to do can end before Start looks
// at its thread (now and then, more often on a loaded machine), and Start
// then says FALSE; but that run has run and posted its end like any other,
// so it counts as started, and the window handles its end as the end of a
// run it started.
bool StartRunThread(CWorkerThread& worker, WorkerProcedure procedure, CRunContext* context)
{
    return worker.Start(procedure, context) || worker.HasEnteredProcedure();
}
} // namespace

const char* DescribeRunStart(RunStart start)
{
    switch (start)
    {
    case RunStart::Started:
        return "";
    case RunStart::BackupActive:
        return "A backup is running: no other run is started until it has ended.";
    case RunStart::RestoreActive:
        return "A restore is running: no other run is started until it has ended.";
    case RunStart::NotStarted:
        break;
    }
    return "The run's thread could not be started.";
}

RunStart CRunContext::CheckStart() const
{
    const LONG active = activeRun.load();
    if (active == kBackupRun || !backupWorker.HasEnded())
        return RunStart::BackupActive;
    if (active == kRestoreRun || !restoreWorker.HasEnded())
        return RunStart::RestoreActive;
    return RunStart::Started;
}

RunStart CRunContext::StartBackup(bool scheduledRun)
{
    const RunStart check = CheckStart();
    if (check != RunStart::Started)
        return check;
    {
        CLockGuard lock(m_displayLock);
        m_display.processedFiles = 0;
        m_display.errors = 0;
        m_display.progressRange = 0;
        m_display.progressPosition = 0;
    }
    scheduled.store(scheduledRun ? 1 : 0);
    activeRun.store(kBackupRun);
    engineBusy.store(1);
    if (StartRunThread(backupWorker, BackupThreadProc, this))
        return RunStart::Started;
    engineBusy.store(0);
    scheduled.store(0);
    activeRun.store(kNoRun);
    return RunStart::NotStarted;
}

RunStart CRunContext::StartRestore()
{
    const RunStart check = CheckStart();
    if (check != RunStart::Started)
        return check;
    {
        CLockGuard lock(m_displayLock);
        m_display.restoreFailed = 0;
    }
    activeRun.store(kRestoreRun);
    engineBusy.store(1);
    if (StartRunThread(restoreWorker, RestoreThread, this))
        return RunStart::Started;
    engineBusy.store(0);
    activeRun.store(kNoRun);
    return RunStart::NotStarted;
}

void CRunContext::RestoreEnded()
{
    engineBusy.store(0);
    activeRun.store(kNoRun);
}

void CRunContext::StopBackup()
{
    engineBusy.store(0);
    if (backupWorker.IsPaused())
        backupWorker.Resume();
}

void CRunContext::CollectBackup()
{
    backupWorker.StopIfRunning();
    backupWorker.Stop();
    engineBusy.store(0);
    activeRun.store(kNoRun);
}

RunDisplay CRunContext::GetDisplay() const
{
    CLockGuard lock(m_displayLock);
    return m_display;
}

void CRunContext::FileStarted(const char* path)
{
    CLockGuard lock(m_displayLock);
    ++m_display.processedFiles;
    m_display.currentFile = path;
}

void CRunContext::FileFailed(const char*)
{
    CLockGuard lock(m_displayLock);
    ++m_display.errors;
}

void CRunContext::WriteLog(const char* text)
{
    if (log)
        log->WriteLog(text);
}

void CRunContext::WriteDebugLog(const CSqlException& exception)
{
    if (log)
        log->WriteDebugLog(exception);
}

CString CRunContext::GetLanguageText(const char* key, const char* englishDefault)
{
    CString text(englishDefault);
    if (!languageFile.IsEmpty())
    {
        // Read afresh each time: the texts are needed only for log lines, and
        // a CIni of the run's own keeps the window's object off this thread.
        CIni language(languageFile);
        language.GetString(text, "Language", key, englishDefault);
    }
    return text;
}

void CRunContext::ShowCurrentFile(const char* path)
{
    CLockGuard lock(m_displayLock);
    m_display.currentFile = path;
}

void CRunContext::SetProgressRange(int count)
{
    CLockGuard lock(m_displayLock);
    m_display.progressRange = count;
    m_display.progressPosition = 0;
}

void CRunContext::SetProgressPosition(int position)
{
    CLockGuard lock(m_displayLock);
    m_display.progressPosition = position;
}

void CRunContext::RestoreFailed()
{
    CLockGuard lock(m_displayLock);
    ++m_display.restoreFailed;
}
