#include "app/ProgramTexts.h"

#include "engine/FileSystem.h"

namespace
{
CString Text(CIni& language, const char* key, const char* english)
{
    CString text;
    return language.GetString(text, "Language", key, english);
}

const char kRule[] = "===================================================================";
static_assert(sizeof(kRule) == 68, "the banner's rule is 67 equals signs");
} // namespace

const char* OsNameOf(DWORD major, DWORD minor)
{
    if (major >= 6)
        return "Windows Vista+";
    if (major < 5)
        return "Windows 9X";
    switch (minor)
    {
    case 2:
        return "Windows Server 2003";
    case 1:
        return "Windows XP";
    case 0:
        return "Windows 2000";
    default:
        return "Windows NT";
    }
}

void BuildStartBanner(CIni& language, const char* build, const char* osName,
                      const SYSTEMTIME& today, CString (&lines)[6])
{
    lines[0] = CString("\r\n") + kRule + "\r\n= " +
               Text(language, "DL_N_101_195", "Orvanel Brindlewox Startup") + "\r\n";
    lines[1] = "= Brindlewox Tool \r\n";
    lines[2] = CString("= Build: ") + build + " \r\n";
    lines[3] = CString("= OS: ") + osName + " " + "64-bit" + " \r\n";
    CString date;
    date.Format("%d-%02d-%02d.txt", today.wYear, today.wMonth, today.wDay);
    lines[4] = CString("= ") + Text(language, "DL_N_101_196", "Log File:") + " " + date + "\r\n";
    lines[5] = CString(kRule) + "\r\n\r\n";
}

CString FormatElapsed(long long seconds)
{
    if (seconds < 0)
        seconds = 0;
    // wvsprintfA (under CString::Format) knows no 64-bit arguments.
    const long long minutes = seconds / 60 < 0x7FFFFFFF ? seconds / 60 : 0x7FFFFFFF;
    CString text;
    text.Format("%02d:%02d", static_cast<int>(minutes), static_cast<int>(seconds % 60));
    return text;
}

CString BuildRunSummary(CIni& language, const char* files, const char* errors,
                        const char* elapsed, const SYSTEMTIME& endTime)
{
    CString time;
    time.Format("%d/%02d/%02d  %02d:%02d:%02d", endTime.wYear, endTime.wMonth, endTime.wDay,
                endTime.wHour, endTime.wMinute, endTime.wSecond);
    return CString(kRule) + "\r\n" + Text(language, "DL_N_101_32", "Files backuped:") + " " +
           files + "\r\n" + Text(language, "DL_N_101_33", "Errors found:") + " " + errors +
           "\r\n" + Text(language, "DL_N_101_294", "Elapsed time:") + " " + elapsed + "\r\n" +
           Text(language, "DL_N_101_199", "Backup finished at:") + " " + time + "\r\n" + kRule +
           "\r\n";
}

CString RunEndText(CIni& language, BackupOutcome outcome)
{
    switch (outcome)
    {
    case kBackupCompleted:
        return Text(language, "DL_N_101_535", "Task sucessfully completed.");
    case kBackupFailed:
        return Text(language, "DL_N_101_534", "Task failed.");
    default:
        return CString("");
    }
}

CString BackupEndText(CIni& language, BackupOutcome outcome, LONG errors)
{
    if (outcome != kBackupCompleted || errors <= 0)
        return RunEndText(language, outcome);
    CString count;
    count.Format("%ld", errors);
    return Text(language, "DL_N_101_33", "Errors found:") + " " + count;
}

CString WarningSoundPath(const char* programFolder)
{
    if (programFolder != nullptr && programFolder[0] != 0)
    {
        CString path = CString(programFolder) + "\\" + kWarningSoundName;
        if (FileExists(path))
            return path;
    }
    return CString(kWarningSoundName);
}

CString Decimal(DWORD value)
{
    CString text;
    text.Format("%lu", static_cast<unsigned long>(value));
    return text;
}
