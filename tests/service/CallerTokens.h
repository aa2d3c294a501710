// The callers the store's read check weighs, as the service tests make them
// (under Wine every token is the same elevated administrator's, so the
// groups and privileges are the test's; the token the system's access check
// weighs is this process's own, whose user the file's own descriptor decides
// on), and the descriptors of the files they ask for.
#ifndef BRINDLEWOX_TESTS_SERVICE_CALLERTOKENS_H
#define BRINDLEWOX_TESTS_SERVICE_CALLERTOKENS_H

#include "service/BackupRequests.h"

#include <vector>

enum class Caller
{
    User,                  // a plain user: only what the file grants him
    Administrator,         // the Administrators enabled
    DenyOnlyAdministrator, // the Administrators for denial only (UAC, not elevated)
    DisabledAdministrator, // the group present, neither enabled nor for denial
    BackupOperator,        // the Backup Operators enabled
    BackupPrivilege,       // SeBackupPrivilege held, not enabled
    EnabledBackupPrivilege // SeBackupPrivilege enabled
};

// Fills a TOKEN_GROUPS image: the Users and, by the caller, one more group;
// the SIDs live in the same buffer.
void MakeGroups(Caller caller, std::vector<BYTE>& groups);
// A TOKEN_PRIVILEGES image: SeChangeNotifyPrivilege enabled, and the backup
// privilege for a caller who holds it.
void MakePrivileges(Caller caller, std::vector<BYTE>& privileges);
// The caller's token as a test makes it, at medium integrity unless said.
bool MakeCallerToken(Caller who, CCallerToken& caller,
                     DWORD integrityLevel = SECURITY_MANDATORY_MEDIUM_RID);

// Gives a file a DACL of its own (SDDL). Under Wine the DACL becomes the
// file's Unix mode, so a file the user may not read is one the tests still
// read: they run as root.
bool SetFileDacl(const char* path, const char* dacl);
constexpr char kEveryoneDacl[] = "D:(A;;FA;;;WD)";
// Writes the two files the connection tests ask for: a secret only SYSTEM
// may read and an open one everybody may.
bool WriteSecretAndOpenFiles(const char* secret, const char* open);

#endif
