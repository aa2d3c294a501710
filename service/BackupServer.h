// The BACKUP server: BackupServerThread (ServerThreads.h) serves the BACKUP
// pipe with ServeBackupRequest (BackupRequests.h) on kBackupPipeInstances
// instances, each a CPipeServingLoop on a thread of its own serving one request
// after another, so that as many clients are served at once (a backup run
// stores several files at a time). The thread creates every instance
// before it serves, the first as the first instance of the name, then
// serves the first itself and each other one on a thread it begins; it ends
// once all of them have ended, so the service's stop waits for every
// request under way. Each request is judged by the identity of its own
// client, read on the instance's own thread.
//
// Nothing is served before the main program has told the service its user
// (SETTINGS type 8): until then the instances exist and a client waits.
#ifndef BRINDLEWOX_SERVICE_BACKUPSERVER_H
#define BRINDLEWOX_SERVICE_BACKUPSERVER_H

#include "foundation/Base.h"

// How long a connected client may take to send its request and to take the
// reply (kPipeClientTimeoutMs until changed). Tests shorten it; set it before
// the thread starts.
void SetBackupClientTimeout(DWORD timeoutMs);

// Clients the BACKUP pipe serves at once: the store workers of a backup run
// and the restore workers of a restore run (kDefaultFileWorkers) each find
// an instance of their own.
constexpr DWORD kBackupPipeInstances = 4;

#endif
