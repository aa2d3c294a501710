// The Run entries: the programs Windows starts at logon from
// the two Run keys, and the entries the user parked (disabled) in the
// program's own parking keys. Reading is local; moving and deleting active
// entries is the service's work (SETTINGS types 6 and 7, engine/PipeClient.h),
// deleting a parked entry is done here, in the user's own key.
//
// The keys, in reading order (the list's order: key by key, then the
// values in the order the registry enumerates them):
//   1 HKLM "Software\Microsoft\Windows\CurrentVersion\Run"  active, scope 1
//   2 HKCU "Software\Microsoft\Windows\CurrentVersion\Run"  active, scope 2
//   3 HKCU "Software\Orvanel\Brindlewox\Run-Disabled"      parked, scope 1
//   4 HKCU "Software\Orvanel\Brindlewox\Run1-Disabled"     parked, scope 2
// The parking keys lie in the user's hive: the service writes them under
// HKEY_USERS\<the user's SID>, which is HKCU. HKLM is read in the 64-bit
// view only, the view the service writes.
#ifndef BRINDLEWOX_APP_RUNENTRIES_H
#define BRINDLEWOX_APP_RUNENTRIES_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

class CApplicationsTree;

// Row kinds of the startup list (the row's state: kind 0 draws dark red).
constexpr DWORD kRunEntryParked = 0;
constexpr DWORD kRunEntryActive = 1;

// The Run key path (under HKLM and HKCU alike).
extern const char* const kRunKeyPath;
// The parking key of a scope (1 machine, 2 user) under HKCU; null for any
// other scope.
const char* RunParkingKeyPath(DWORD scope);

// One value of one of the four keys.
struct RunEntry
{
    CString text; // the program's file description, else the value name
    CString path; // the program file (the row's icon); "" for non-text data
    DWORD kind = kRunEntryActive;
    DWORD scope = 1;   // StartupEntryScope: 1 machine, 2 user
    CString valueName; // the registry value's name
};

// The program file of a Run command line: the text between the first two
// double quotes when it holds a pair of them, else the whole text; then cut
// just after the first ".exe" (found without regard to case). So
// "\"C:\Prog Files\a.exe\" -x" gives C:\Prog Files\a.exe and
// "C:\x\b.EXE /q" gives C:\x\b.EXE; a text without ".exe" stays whole, and a
// lone quote stays where it is.
CString RunCommandPath(const char* commandLine);

// Every value of the four keys, in order; a key that does not open adds
// nothing. Data of any length is read whole and terminated. Only REG_SZ and
// REG_EXPAND_SZ data (the latter expanded) give a path, which is made long
// (GetLongPathNameA) when the file exists; other types are listed under
// their value name without a path.
void ReadRunEntries(CArray<RunEntry>& entries);

// A value's data read whole, whatever its length, with a terminator
// forced behind it: a string stored without one (or any other type's bytes)
// never reads past the data. `text` is the data up to its first NUL; *type
// (when given) the stored type. ERROR_SUCCESS, or the registry's error with
// the outputs untouched.
LONG ReadRegistryText(HKEY key, const char* name, CString& text, DWORD* type = nullptr);

// The long form of an existing path, and a text with its environment
// variables expanded; each gives its argument back when the call fails.
CString LongPathOf(const char* path);
CString ExpandEnvironment(const char* text);

// Deletes a parked entry from the user's parking key of its scope. ERROR_SUCCESS
// when deleted, else the registry's error (a missing key or value:
// ERROR_FILE_NOT_FOUND).
LONG DeleteParkedRunEntry(const char* valueName, DWORD scope);

// The startup list's rows. A row holds an entry as: text, path, state =
// kind, third text = value name, value 2 = scope; unchecked.
void AddRunEntryRows(CApplicationsTree& list, const CArray<RunEntry>& entries);

// Allow (enable) or Deny of every checked row, in list order. A row that is
// not in the state asked for is sent to the service (SETTINGS 6: a parked
// row to its Run key, an active row to its parking key); it takes the new
// kind and loses its check only when the service confirmed the move (1),
// and otherwise stays as it was, still checked. A row already in that
// state only loses its check: asking the service anyway would move another
// value of the same name (the parked one over the active one, or the other
// way). The caller repaints. Returns the rows moved.
int SetCheckedRunEntriesEnabled(CApplicationsTree& list, bool enable);

// Remove of every checked row, in list order: an active row through the
// service (SETTINGS 7, which deletes from the Run key of its scope only), a
// parked row from its own parking key here (nothing is sent, so an active
// entry of the same name is never deleted by mistake). A row leaves the
// list only when its value is gone (the service confirmed, or the parking
// key no longer holds it); otherwise it stays, still checked. The caller
// repaints. Returns the rows removed.
int RemoveCheckedRunEntries(CApplicationsTree& list);

// Select all and Deselect all of a list's rows.
void CheckAllRows(CApplicationsTree& list, bool checked);

#endif
