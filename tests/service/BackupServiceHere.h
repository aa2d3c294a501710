// The service's BACKUP server run in the test's own process, for runs that
// go through the real pipe and the real serving code: BackupServerThread on
// a BACKUP pipe of the test's own name (its instances, each a serving loop
// on a thread of its own, answering as the service answers), this process
// taken for the service by the senders, and the user told to the server as
// the main program's SETTINGS type 8 tells it.
//
// The service's quit is the process's and cannot be undone: a test uses one
// server, and Quit (or the end of the object) ends it for the rest of the
// process. Each test of a program runs as a process of its own.
#ifndef BRINDLEWOX_TESTS_SERVICE_BACKUPSERVICEHERE_H
#define BRINDLEWOX_TESTS_SERVICE_BACKUPSERVICEHERE_H

#include "foundation/Base.h"
#include "tests/support/ServiceInThisProcess.h"

#include <string>
#include <thread>

// The main program's SETTINGS type 8 for this process's user, handled as the
// SETTINGS server handles it: the BACKUP server serves from then on.
void TellServiceTheUser();

class CBackupServiceHere
{
public:
    // Serves once the pipe's name is held; `tag` names the pipe.
    explicit CBackupServiceHere(const char* tag);
    CBackupServiceHere(const CBackupServiceHere&) = delete;
    CBackupServiceHere& operator=(const CBackupServiceHere&) = delete;
    // Quits (if not yet) and gives the BACKUP pipe its own name back.
    ~CBackupServiceHere();

    // The service stops, as at its stop: requests in hand are answered, then
    // every instance closes. Returns at once; any thread may call it.
    static void Quit();

private:
    CServiceInThisProcess m_serviceHere;
    std::string m_pipe;
    std::thread m_server;
};

#endif
