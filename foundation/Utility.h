// Small free functions shared by many parts of the three programs: local
// time from the system clock, the program's own folder, text replacement in
// a CString and the debug privilege.
#ifndef BRINDLEWOX_FOUNDATION_UTILITY_H
#define BRINDLEWOX_FOUNDATION_UTILITY_H

#include "foundation/Base.h"
#include "foundation/String.h"

// Converts a UTC time to local time by the time-zone rules in force now.
// FALSE, with *local untouched, when the rules cannot be read or the
// conversion fails. Every local time of the programs is made this way from
// GetSystemTime.
BOOL UtcToLocalTime(const SYSTEMTIME* utc, SYSTEMTIME* local);

// The folder of the running program file, without a trailing backslash
// ("D:\Tools" for D:\Tools\app.exe, "D:" for D:\app.exe). Paths longer than
// MAX_PATH are read whole. FALSE, with `directory` untouched, when the
// module's name cannot be read.
BOOL GetAppDirectory(CString& directory);

// The part of a path before its last backslash: the whole path when it has
// none. GetAppDirectory applies it to the program file's path.
CString PathBeforeLastBackslash(const char* path);

// Replaces `oldText` by `newText` in `target`: the first occurrence only, or
// with `all` every one, the search resuming behind each inserted text, so
// text that a replacement produced is never searched again (a by aa in aXa
// gives aaXaa). Byte-wise and case-sensitive. An empty or null old text
// changes nothing; a null new text deletes.
void StringReplace(const char* newText, const char* oldText, CString& target, BOOL all);

// Enables SeDebugPrivilege in the process token on the NT family; every
// failure is ignored.
void EnableDebugPrivilege();

#endif
