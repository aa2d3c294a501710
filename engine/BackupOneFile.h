// The backup of one walked file or folder: skip it when the cache holds the
// stamp it has now and its stored copy is there, else store it and record
// its new stamp.
//
// A local path is stored by the service (it reads with LocalSystem's
// rights); a path on the network (a UNC path or a mapped drive,
// IsNetworkLocation), and every path when the stored-file tree is on the
// network, by the main program itself, which holds the user's network
// credentials: the service, whose logon is the machine's, never touches the
// network. Both go
// through IFileStoreService, so the decision runs the same against the
// service's pipe, the in-process store and a test's fake.
//
// What the decision holds to:
// - an empty stamp (none could be had) never counts as unchanged, and no
//   row is recorded for it, so the file is stored again on every run until
//   it can be stamped;
// - only a store that reports success counts as stored and gets a row; a
//   failed store is logged ("Error at:") and counted, keeps no row, and the
//   last good stored copy stays as it was (the services never delete it);
// - a row whose stored copy is gone (deleted by the clean-up or by hand)
//   does not skip the file: it is stored again, so no cache row outlives
//   its stored copy for longer than the next run;
// - the row carries the stamp taken before the store, so a file that
//   changes while it is stored is stored again on the next run.
#ifndef BRINDLEWOX_ENGINE_BACKUPONEFILE_H
#define BRINDLEWOX_ENGINE_BACKUPONEFILE_H

#include "foundation/Base.h"
#include "foundation/String.h"

class CSqlDB;
class CCacheLookup;
class CStoredCopies;

// Stamps and stores single files for the decision. A backup run calls
// StoreFile from its store workers, several threads at once, and
// GetFileStamp from its own thread.
class IFileStoreService
{
public:
    virtual ~IFileStoreService() = default;

    // The file stamp of a file or folder; false, with `stamp` untouched, when
    // none can be had (the file cannot be opened, or no service answers).
    virtual bool GetFileStamp(const char* path, CString& stamp) = 0;
    // Stores the source at its stored path under the tree root
    // (StoredCopyPath) in the form the three settings give. True only when
    // the stored copy was written whole; on false an earlier stored copy is
    // left as it was and no partial file stays.
    virtual bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                           const char* password) = 0;
};

// Where the decision reports: the run's counters and the path shown, the
// log and the language texts. Called on the backup thread.
class IBackupFileReport
{
public:
    virtual ~IBackupFileReport() = default;

    // One more entry processed (skipped ones and folders included): count it
    // and show the count ("%ld") and the path.
    virtual void FileStarted(const char* path) = 0;
    // One more failure: count it and show the count.
    virtual void FileFailed(const char* path) = 0;
    virtual void WriteLog(const char* text) = 0;
    // The text of a language key, or the English default.
    virtual CString GetLanguageText(const char* key, const char* englishDefault) = 0;
};

// The two services of a run: the service's for local paths, the in-process
// one for network paths.
struct BackupFileServices
{
    IFileStoreService& local;
    IFileStoreService& network;
};

// The settings a run stores with (from backup_settings).
struct BackupStoreSettings
{
    CString treeRoot; // the destination followed by "Files\"
    int compress = 0;
    int encrypt = 0;
    CString password;
};

// The 13 characters that stand for the leading "\\" of a network path in
// the stored-file tree.
constexpr const char* kNetworkMarker = "NETWK-QUARZL-";

// Longer than two characters and starting with two backslashes.
bool IsNetworkPath(const char* path);

// Where a source is stored under the tree root: a network path with its
// first "\\" replaced by the marker (\\srv\share\f under R becomes
// R + NETWK-QUARZL-srv\share\f), a local path with its first ":" removed
// (E:\dir\f becomes R + E\dir\f; a path without ":" is appended unchanged).
CString StoredCopyPath(const char* treeRoot, const char* source);

// Language key and English text of the failure line.
constexpr const char* kErrorAtKey = "DL_N_101_584";
constexpr const char* kErrorAtText = "Error at:";

// BackupOneFile's results.
constexpr int kBackupFileDone = 0;   // skipped or stored
constexpr int kBackupFileFailed = 1; // logged and counted

// The decision for one path (a folder without its trailing backslash). The
// cache is the run's open Cache.prb. Database errors throw CSqlException and
// leave the file neither stored nor counted: the caller logs them
// (CLogFile::WriteDebugLog) and goes on with the next entry.
//
// It is the three steps below in turn on one thread; the backup run takes
// them apart, storing on its store workers (FileWorkers.h) while only its
// own thread touches the cache.
int BackupOneFile(IBackupFileReport& report, const BackupFileServices& services, CSqlDB& cache,
                  const BackupStoreSettings& settings, const char* path);

// A file the decision found changed: what its store needs, and what is
// recorded once the store has ended.
struct PendingStore
{
    CString path{""};     // the source, a folder without its backslash
    CString key{""};      // its cache key (CachePathEscape)
    CString stamp{""};    // taken before the store; empty when none could be had
    bool network = false; // stored by the network service (this program)
};

// 1. On the cache's thread: true when the path must be stored (`pending`
//    filled), false when it is unchanged and its stored copy is there.
//    A run that decides many entries passes its lookup of the cache and of
//    the stored copies (null: each asked of the cache and the file system
//    by itself); the answers are the same.
bool DecideBackupFile(const BackupFileServices& services, CSqlDB& cache,
                      const BackupStoreSettings& settings, const char* path,
                      PendingStore& pending, CCacheLookup* lookup = nullptr,
                      CStoredCopies* copies = nullptr);
// 2. On any thread: the store. True only when the stored copy was written
//    whole; an exception of the service counts as a failed store.
bool StorePendingFile(const BackupFileServices& services, const BackupStoreSettings& settings,
                      const PendingStore& pending);
// 3. On the cache's thread: a stored file gets its row (when it has a
//    stamp); a failed one is logged ("Error at:") and counted before the
//    cache is touched, and keeps no row. kBackupFileDone or
//    kBackupFileFailed.
int RecordStoreOutcome(IBackupFileReport& report, CSqlDB& cache, const PendingStore& pending,
                       bool stored);

#endif
