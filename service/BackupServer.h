// The BACKUP server: BackupServerThread (ServerThreads.h) serves the BACKUP
// pipe on a CPipeServer, one request after another, with ServeBackupRequest
// (BackupRequests.h). Nothing is served before the main program has told
// the service its user (SETTINGS type 8): until then the pipe exists and a
// client waits.
#ifndef BRINDLEWOX_SERVICE_BACKUPSERVER_H
#define BRINDLEWOX_SERVICE_BACKUPSERVER_H

#include "foundation/Base.h"

// How long a connected client may take to send its request and to take the
// reply (kPipeClientTimeoutMs until changed). Tests shorten it; set it before
// the thread starts.
void SetBackupClientTimeout(DWORD timeoutMs);

#endif
