#include "engine/RunContext.h"

#include "engine/BackupRun.h"
#include "engine/LogFile.h"
#include "foundation/Ini.h"

BOOL CRunContext::StartBackup(bool scheduledRun)
{
    if (engineBusy.load() != 0 || !backupWorker.HasEnded())
        return FALSE;
    {
        CLockGuard lock(m_displayLock);
        m_display.processedFiles = 0;
        m_display.errors = 0;
        m_display.progressRange = 0;
        m_display.progressPosition = 0;
    }
    scheduled.store(scheduledRun ? 1 : 0);
    engineBusy.store(1);
    if (backupWorker.Start(BackupThreadProc, this))
        return TRUE;
    engineBusy.store(0);
    scheduled.store(0);
    return FALSE;
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
