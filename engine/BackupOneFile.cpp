#include "engine/BackupOneFile.h"

#include "engine/BackupCache.h"
#include "engine/FileSystem.h"
#include "foundation/Utility.h"

bool IsNetworkPath(const char* path)
{
    return path && path[0] == '\\' && path[1] == '\\' && path[2] != 0;
}

CString StoredCopyPath(const char* treeRoot, const char* source)
{
    CString mapped(source);
    if (IsNetworkPath(source))
        StringReplace(kNetworkMarker, "\\\\", mapped, FALSE);
    else
        StringReplace(nullptr, ":", mapped, FALSE);
    return CString(treeRoot) + mapped;
}

int BackupOneFile(IBackupFileReport& report, const BackupFileServices& services, CSqlDB& cache,
                  const BackupStoreSettings& settings, const char* path)
{
    report.FileStarted(path);

    CString stamp("");
    (IsNetworkPath(path) ? services.network : services.local).GetFileStamp(path, stamp);

    const CString key = CachePathEscape(path);
    // Unchanged only with a real stamp that the cache holds and a stored copy
    // that is still there to be restored.
    if (!stamp.IsEmpty() && CacheHoldsStamp(cache, key, stamp) &&
        FileExists(StoredCopyPath(settings.treeRoot, path)))
        return kBackupFileDone;

    // The service never reaches the network: a file there, or any file when
    // the stored-file tree is there, is this program's to store.
    IFileStoreService& service =
        IsNetworkLocation(path) || IsNetworkLocation(settings.treeRoot) ? services.network
                                                                        : services.local;
    const bool stored = service.StoreFile(path, settings.treeRoot, settings.compress,
                                          settings.encrypt, settings.password);
    ForgetCachedPath(cache, key);
    if (stored)
    {
        if (!stamp.IsEmpty())
            RecordCachedStamp(cache, key, stamp);
        return kBackupFileDone;
    }

    report.WriteLog(report.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + path + "\r\n\r\n");
    report.FileFailed(path);
    return kBackupFileFailed;
}
