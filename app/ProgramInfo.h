// What a program file says about itself in its version resource: the file
// version as text (the log's start banner, the About box, the support form)
// and the file description (the startup list's row texts).
//
// Neither function fails loudly: a file without a version resource, a
// resource without the part asked for, or any failing step gives "".
#ifndef BRINDLEWOX_APP_PROGRAMINFO_H
#define BRINDLEWOX_APP_PROGRAMINFO_H

#include "foundation/Base.h"
#include "foundation/String.h"

// The fixed file version of `modulePath`: "a.b.c.d" when the low half (c, d)
// is not 0, else "a.b" when the high half is not 0, else "". So 3,0,205,0
// gives "3.0.205.0", 2,5,0,0 "2.5", 0,0,0,5 "0.0.0.5" and 0,0,0,0 "".
CString GetFileVersionString(const char* modulePath);

// The "FileDescription" string of `path`, in the first language and code
// page of its translation table. "" when the path is empty, the file has no
// version resource, the translation table is missing or the string is.
CString GetFileDescription(const char* path);

// The version text of two fixed-version halves, by the rule above.
CString FormatFileVersion(DWORD versionMS, DWORD versionLS);

#endif
