// A whole backup and restore of a tree through the BACKUP pipe, for the
// end-to-end run against the installed service (child mode "backup-restore"
// of ServiceChildren.cpp).
//
// In `folder` it makes a source tree (nested and empty folders, names with
// blanks, an apostrophe and dots, read-only and hidden files, an empty file
// and one of several 16,384-byte blocks, old last-write times), then, for
// each of the four combinations of compress and encrypt: writes a profile
// with the tree as its one source and that form and password, runs the
// backup run on its worker into "dest<n>\" (its local files stored through
// the BACKUP pipe), and runs the restore run on its worker to restore the
// stored tree into "restore<n>" (given without a trailing
// backslash). Every file of the restored tree must then equal its source in
// bytes, last-write time and attributes, and every folder in last-write time
// and attributes.
#ifndef BRINDLEWOX_TESTS_SERVICE_BACKUPROUNDTRIP_H
#define BRINDLEWOX_TESTS_SERVICE_BACKUPROUNDTRIP_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <string>

// One line per difference or failed request; empty when every form came
// back identical.
std::string RunBackupRoundTrip(const CString& folder);

#endif
