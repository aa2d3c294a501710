#include "engine/LogFile.h"

#include "engine/SqlDB.h"
#include "foundation/File.h"
#include "foundation/Sync.h"
#include "foundation/Utility.h"

#include <cstring>

namespace
{
// The lock of every append in the process. A function-level static is made
// on first use, safely even when two threads log first at the same time.
CCriticalSection& AppendLock()
{
    static CCriticalSection lock;
    return lock;
}
} // namespace

CString GetLogFolder(const char* appDataFolder)
{
    return CString(appDataFolder) + "\\ORVANEL Brindlewox" + "\\Log";
}

CString GetLogFileName(const char* folder, const SYSTEMTIME& localDate)
{
    CString name;
    name.Format("%s\\LogFile_%d-%02d-%02d.txt", folder, (int)localDate.wYear, (int)localDate.wMonth,
                (int)localDate.wDay);
    return name;
}

CLogFile::CLogFile(const char* appDataFolder) : m_appData(appDataFolder) {}

CString CLogFile::GetCurrentFileName() const
{
    SYSTEMTIME utc, local;
    GetSystemTime(&utc);
    if (!UtcToLocalTime(&utc, &local))
        local = utc;
    return GetLogFileName(GetLogFolder(m_appData), local);
}

void CLogFile::WriteLog(const char* text)
{
    if (!text || !*text)
        return;
    try
    {
        const CString folder = GetLogFolder(m_appData);
        CreateDirectoryA(m_appData + "\\ORVANEL Brindlewox", nullptr);
        CreateDirectoryA(folder, nullptr);
        const CString name = GetCurrentFileName();

        CLockGuard guard(AppendLock());
        CFile file;
        file.Open(name,
                  CFile::modeAppend | CFile::modeWrite | CFile::shareRead | CFile::shareWrite);
        file.Write(text, (DWORD)std::strlen(text));
        file.Close();
    }
    catch (const CException&)
    {
        // The text is lost; the log has no one to report to.
    }
}

void CLogFile::WriteDebugLog(const CSqlException& exception)
{
    try
    {
        WriteLog(CString("\r\nDebug: ") + exception.GetErrorMessage() + "\r\n");
    }
    catch (const CException&)
    {
        // Memory ran out building the line: lost like any other failed text.
    }
}
