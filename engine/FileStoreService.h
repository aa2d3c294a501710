// The two stamp-and-store services of a backup run (IFileStoreService):
// - CPipeFileService, for local paths: the service does the work through the
//   BACKUP pipe, reading with LocalSystem's rights;
// - CDirectFileService, for network paths: the main program does it itself
//   with the user's network credentials, which the service does not have.
#ifndef BRINDLEWOX_ENGINE_FILESTORESERVICE_H
#define BRINDLEWOX_ENGINE_FILESTORESERVICE_H

#include "engine/BackupOneFile.h"

// Stamps and stores through the service. A request the service does not
// answer (not running, busy past the sender's waits, stopped) gives no stamp
// and no store: the file then counts as failed, never as stored.
//
// After the first unanswered request the object sends nothing more: every
// later stamp and store fails at once. Each BACKUP request waits out its
// whole retry loop (about 19 s when no service runs) before it gives up, so
// without this a run would pay that for every file; one object lives for
// one run, and the next run asks the service again.
class CPipeFileService : public IFileStoreService
{
public:
    // The stop event (the backup worker's, not owned) ends every wait of the
    // senders at once; null: none.
    explicit CPipeFileService(HANDLE stopEvent = nullptr) : m_stopEvent(stopEvent) {}

    bool GetFileStamp(const char* path, CString& stamp) override;
    bool StoreFile(const char* source, const char* treeRoot, int compress, int encrypt,
                   const char* password) override;

    // True once a request went unanswered.
    bool HasGivenUp() const { return m_givenUp; }

private:
    HANDLE m_stopEvent;
    bool m_givenUp = false;
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
