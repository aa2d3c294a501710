#include "engine/FileStamp.h"

CString FormatFileStamp(const SYSTEMTIME& lastWriteUtc, DWORD attributes, DWORD sizeLow)
{
    CString stamp;
    stamp.Format("%d%02d%02d%02d%02d%02d%03d-%d-%d", (int)lastWriteUtc.wYear,
                 (int)lastWriteUtc.wMonth, (int)lastWriteUtc.wDay, (int)lastWriteUtc.wHour,
                 (int)lastWriteUtc.wMinute, (int)lastWriteUtc.wSecond,
                 (int)lastWriteUtc.wMilliseconds, (int)attributes, (int)sizeLow);
    return stamp;
}

bool MakeFileStamp(const char* path, CString& stamp)
{
    const DWORD attributes = GetFileAttributesA(path);
    HANDLE file = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    // Only the low part goes into the stamp; the high part is asked for so
    // that a low part of 0xFFFFFFFF is a size, not a failure.
    DWORD high = 0;
    const DWORD sizeLow = GetFileSize(file, &high);
    FILETIME created, accessed, written;
    SYSTEMTIME lastWrite;
    const bool ok = GetFileTime(file, &created, &accessed, &written) &&
                    FileTimeToSystemTime(&written, &lastWrite);
    CloseHandle(file);
    if (!ok)
        return false;
    stamp = FormatFileStamp(lastWrite, attributes, sizeLow);
    return true;
}
