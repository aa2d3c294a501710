// The SETTINGS server: the service's side of the SETTINGS pipe
// (IpcSettingsRecord, engine/IpcRecords.h), served by SettingsServerThread
// on a CPipeServingLoop, one request at a time. It writes the machine-wide
// product values, moves and deletes startup entries, runs the registry hive
// tasks (HiveTasks.h), serves the requests no program of the system sends
// (9, 10, 11, 14), and keeps the user's hive name and profile path that the
// BACKUP server waits for.
//
// Every request is judged by the client's own token (PipeClientIdentity),
// never by what the record claims (IsSettingsRequestAllowed). A refused
// request changes nothing; when its type has a reply, the reply says 0.
// Replies go to types 2, 3, 4, 6, 7 and 14: the record with IPC_STATUS_OK
// first and the result in `result`; 1 only when the work was done.
#ifndef BRINDLEWOX_SERVICE_SETTINGSSERVER_H
#define BRINDLEWOX_SERVICE_SETTINGSSERVER_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "engine/IpcRecords.h"
#include "service/HiveTasks.h"
#include "service/PipeSecurity.h"

#include <vector>

// The thread procedure (ServerThreads.h); the parameter is not read. Ends
// at once when the pipe cannot be created, else at the quit.
unsigned __stdcall SettingsServerThread(void* parameter);

// Who may do what, by the client's token:
// - 1, 5 (product values): anyone known;
// - 8: when its userKeyRoot is the caller's own SID;
// - 2 (every system hive replaced at the next boot), 3, 4 (hives saved into
//   or replaced from a folder the caller names), 9, 10, 11: administrators
//   only;
// - 6, 7: scope 2 (the caller's own Run key) anyone; any other scope acts
//   on the machine's Run key, which starts programs for every user:
//   administrators only;
// - 14: anyone, checked with the caller's own SID.
// An unknown client and an unknown type: nothing.
bool IsSettingsRequestAllowed(const IpcSettingsRecord& request, const PipeClientIdentity& client);

// Handles the request in `record` (the bytes behind the request are zero)
// for `client`, with the hive tasks on `hives`. Returns the size of the
// reply now in `record` (sizeof(IpcSettingsRecord)) or 0 for none.
//
// What the caller could do alone is done as the caller (`caller` acts as
// him): type 14 opens the key it asks about as him, so it tells what he
// may delete and nothing of keys he may not see; types 6 and 7 on his own
// Run key (scope 2) read, write and delete as him. Without a caller, or
// when the thread cannot act as him, those reply 0. The startup entries'
// keys are never followed through a registry link (a key in the user's
// hive could lead the service's writes elsewhere).
DWORD HandleSettingsRequest(IpcSettingsRecord& record, const PipeClientIdentity& client,
                            IHiveRegistry& hives = GetSystemHiveRegistry(),
                            IPipeCaller* caller = nullptr);

// Kept from the last accepted type 8 (empty until then); safe from any
// thread. The BACKUP server serves nothing while the profile path is empty.
CString GetServiceUserKeyRoot();
CString GetServiceProfilePath();
bool IsServiceProfilePathKnown();

// The machine-wide product key "Software\Orvanel\Brindlewox" under
// HKEY_LOCAL_MACHINE, created when missing. It holds the proxy password, so
// it is made (and, when it was there before, set) readable by SYSTEM and the
// Administrators only; a key whose protection cannot be set is not written.
// True when the value was written.
bool WriteMachineSettingString(const char* valueName, const char* data);
bool WriteMachineSettingDword(const char* valueName, DWORD data);

// A registry value as stored: its type and its bytes. The three functions
// below open their keys without following registry links
// (CRegistryKey::OpenWithoutLinks): a link gives kErrorStoppedOnLink.
struct RegistryValue
{
    DWORD type = REG_NONE;
    std::vector<BYTE> data;
};
// Each returns the system's result; outputs are untouched on failure.
// Reads a value whole with its type.
LONG ReadRegistryValue(HKEY root, const char* keyPath, const char* valueName, RegistryValue& value);
// Writes a value with its type, the key created when missing.
LONG WriteRegistryValue(HKEY root, const char* keyPath, const char* valueName,
                        const RegistryValue& value);
LONG DeleteRegistryValue(HKEY root, const char* keyPath, const char* valueName);

// Type 6: moves the startup value `name` of the user `sid` between the Run
// key of the scope (2: HKEY_USERS\sid\...\Run; otherwise the machine's) and
// its parking key in the user's own hive ("Run1-Disabled" for scope 2,
// "Run-Disabled" otherwise, both under HKEY_USERS\sid\Software\Orvanel\Brindlewox):
// enable brings it from the parking key into the Run key, disable the other
// way. The value keeps its type and bytes (a REG_EXPAND_SZ command stays
// expandable). True only when it was read, written and deleted from where it
// was; a failed step ends the move (a failed deletion leaves it in both).
bool MoveStartupEntry(const char* sid, const char* name, DWORD scope, bool enable);
// Type 7: deletes `name` from the Run key of the scope. True when deleted.
bool DeleteStartupEntry(const char* sid, const char* name, DWORD scope);

// Type 14: the root and key that a display path such as
// "HKEY_CURRENT_USER\Software\X" names, with userRoot as the user's hive.
// The first of these found anywhere in the path decides:
// "HKEY_CLASSES_ROOT\" becomes "SOFTWARE\Classes\" under HKEY_LOCAL_MACHINE
// when that key exists there (classesKeyExists, asked with the path cut at
// "-[val]-", the mark of a value), else userRoot + "\SOFTWARE\Classes\"
// under HKEY_USERS; "HKEY_CURRENT_USER\" becomes userRoot + "\" under
// HKEY_USERS; "HKEY_LOCAL_MACHINE\", "HKEY_USERS\" and
// "HKEY_CURRENT_CONFIG\" are removed and name the root; any other path
// stays as it is under HKEY_LOCAL_MACHINE.
struct RegistryKeyPath
{
    HKEY root;
    CString path;
};
RegistryKeyPath ResolveDeletionCheckPath(const CString& displayPath, const CString& userRoot,
                                         bool (*classesKeyExists)(const char* machinePath));

#endif
