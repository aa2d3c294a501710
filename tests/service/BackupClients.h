// Several clients of the BACKUP pipe at once, for the end-to-end run against
// the installed service (child mode "backup-clients" of ServiceChildren.cpp).
//
// In `folder` it makes four files of 6 MiB, then four clients, each on a
// thread of its own, open the pipe together and ask for a compressed and
// encrypted store of their own file (slow enough that all four are under way
// at once); every byte of each request that the service does not answer in
// is the client's own (its own byte in the reserved fields, its own password
// and path). Once all four have the pipe open, a fifth client finds every
// instance busy, waits, and asks for the stamp of its own file.
//
// What must hold: the four were served at once (each opened the pipe before
// any reply came); each reply carries the status and the result asked for
// and, but for them (and the stamp of the fifth), exactly its own request's
// bytes, nothing of another client's; the fifth found the pipe busy, was
// let in only after one of the four was answered, and got its stamp.
#ifndef BRINDLEWOX_TESTS_SERVICE_BACKUPCLIENTS_H
#define BRINDLEWOX_TESTS_SERVICE_BACKUPCLIENTS_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <string>

// One line per failed check; empty when all held.
std::string RunConcurrentBackupClients(const CString& folder);

#endif
