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

bool FormatFileRecordStamp(DWORD attributes, DWORD sizeLow, const FILETIME& lastWrite,
                           CString& stamp)
{
    SYSTEMTIME time;
    if (!FileTimeToSystemTime(&lastWrite, &time))
        return false;
    stamp = FormatFileStamp(time, attributes, sizeLow);
    return true;
}

bool MakeFileStamp(const char* path, CString& stamp)
{
    WIN32_FILE_ATTRIBUTE_DATA record;
    if (!GetFileAttributesExA(path, GetFileExInfoStandard, &record))
        return false;
    // A folder's record may carry a size on some file systems; its stamp has
    // always read 0 there.
    const DWORD sizeLow =
        (record.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) ? 0 : record.nFileSizeLow;
    return FormatFileRecordStamp(record.dwFileAttributes, sizeLow, record.ftLastWriteTime, stamp);
}
