// The two stamp-and-store services of a backup run (IFileStoreService):
// - CPipeFileService, for local paths: the service does the work through the
//   BACKUP pipe, reading with LocalSystem's rights;
// - CDirectFileService, for network paths: the main program does it itself
//   with the user's network credentials, which the service does not have.
#ifndef BRINDLEWOX_ENGINE_FILESTORESERVICE_H
#define BRINDLEWOX_ENGINE_FILESTORESERVICE_H

#include "foundation/Sync.h"
#include "engine/BackupOneFile.h"

#include <atomic>

// Stamps and stores through the service. A request the service does not
// answer (not running, busy past the sender's waits, stopped) gives no stamp
// and no store: the file then counts as failed, never as stored.
//
// After the first unanswered request the object sends nothing more: every
// later stamp and store fails at once, and the requests other threads have
// under way are ended at once too. Each BACKUP request waits out its whole
// retry loop (about 19 s when no service runs) before it gives up, so
// without this a run would pay that for every file; one object lives for
// one run, and the next run asks the service again. A request ended by the
// stop event is not unanswered: the run is ending, the service may be fine.
//
// Its calls may come from several threads at once (the run's store workers).
class CPipeFileService : public IFileStoreService
{
public:
    // The stop event (the backup worker's, not owned) ends every wait of the
    // senders at once; null: none.
    explicit CPipeFileService(HANDLE stopEvent = nullptr);
    CPipeFileService(const CPipeFileService&) = delete;
    CPipeFileService& operator=(const CPipeFileService&) = delete;

    bool GetFileStamp(const char* path, CString& stamp) override;
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override;

    // True once a request went unanswered.
    bool HasGivenUp() const { return m_givenUp.load(); }

private:
    // Marks the service as given up after a request without an answer that
    // the stop did not end.
    void Answered(int result);

    HANDLE m_stopEvent;
    // Set with the give-up: the senders of the other threads end at once.
    CEvent m_givenUpEvent;
    std::atomic<bool> m_givenUp{false};
};

// Stamps with MakeFileStamp and stores at the source's stored path
// (StoredCopyPath), in this process, as the service stores: a folder as a
// folder, a file in its stored form, and a source that has vanished not at
// all (a failed store, never a folder of its name). A failed store leaves
// the earlier stored copy as it was (a temporary file is put in place only
// when it is whole).
class CDirectFileService : public IFileStoreService
{
public:
    bool GetFileStamp(const char* path, CString& stamp) override;
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override;
};

#endif
