#include "engine/BackupOneFile.h"

#include "engine/BackupCache.h"
#include "engine/FileSystem.h"
#include "engine/StoredTree.h"
#include "foundation/Exception.h"
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

bool DecideBackupFile(const BackupFileServices& services, CSqlDB& cache,
                      const BackupStoreSettings& settings, const char* path, PendingStore& pending,
                      CCacheLookup* lookup, CStoredCopies* copies)
{
    CString stamp("");
    (IsNetworkPath(path) ? services.network : services.local).GetFileStamp(path, stamp);

    const CString key = CachePathEscape(path);
    // Unchanged only with a real stamp that the cache holds and a stored copy
    // that is still there to be restored.
    if (!stamp.IsEmpty() &&
        (lookup != nullptr ? lookup->Holds(key, stamp) : CacheHoldsStamp(cache, key, stamp)))
    {
        const CString stored = StoredCopyPath(settings.treeRoot, path);
        if (copies != nullptr ? copies->Exists(stored) : FileExists(stored))
            return false;
    }

    pending.path = path;
    pending.key = key;
    pending.stamp = stamp;
    // The service never reaches the network: a file there, or any file when
    // the stored-file tree is there, is this program's to store.
    pending.network = IsNetworkLocation(path) || IsNetworkLocation(settings.treeRoot);
    return true;
}

bool StorePendingFile(const BackupFileServices& services, const BackupStoreSettings& settings,
                      const PendingStore& pending)
{
    IFileStoreService& service = pending.network ? services.network : services.local;
    try
    {
        return service.StoreFile(pending.path, settings.treeRoot, settings.compress,
                                 settings.encrypt, settings.password);
    }
    catch (CException* e)
    {
        delete e;
    }
    catch (...)
    {
    }
    return false;
}

int RecordStoreOutcome(IBackupFileReport& report, CSqlDB& cache, const PendingStore& pending,
                       bool stored)
{
    if (!stored)
    {
        report.WriteLog(report.GetLanguageText(kErrorAtKey, kErrorAtText) + " " + pending.path +
                        "\r\n\r\n");
        report.FileFailed(pending.path);
    }
    ForgetCachedPath(cache, pending.key);
    if (!stored)
        return kBackupFileFailed;
    if (!pending.stamp.IsEmpty())
        RecordCachedStamp(cache, pending.key, pending.stamp);
    return kBackupFileDone;
}

int BackupOneFile(IBackupFileReport& report, const BackupFileServices& services, CSqlDB& cache,
                  const BackupStoreSettings& settings, const char* path)
{
    report.FileStarted(path);
    PendingStore pending;
    if (!DecideBackupFile(services, cache, settings, path, pending))
        return kBackupFileDone;
    return RecordStoreOutcome(report, cache, pending,
                              StorePendingFile(services, settings, pending));
}
