// UserFolders: the folders of the user and the system the main program works
// in, read once by the main window's constructor. All but the temporary
// folder are kept lower-cased: the uninstall list and the registry tools
// compare and build paths with them.
#ifndef BRINDLEWOX_APP_USERFOLDERS_H
#define BRINDLEWOX_APP_USERFOLDERS_H

#include "foundation/Base.h"
#include "foundation/String.h"

struct UserFolders
{
    CString temp;           // as given
    CString windows;        // lower-cased
    CString appData;        // lower-cased; the base of every per-user file
    CString systemDrive;    // the Windows folder before its first backslash
    CString programFiles;   // or system drive + "\Program Files"; lower-cased
    CString commonPrograms; // or Windows + "\All Users\Start Menu\Programs"; lower-cased
};

// The folders from what the system answered (empty for a failed query).
UserFolders DeriveUserFolders(const char* temp, const char* windows, const char* appData,
                              const char* programFiles, const char* commonPrograms);
// The folders of this user and system: the temporary and Windows folders,
// and the shell's application-data, Program Files and common Programs
// folders (none created); the test's folders while an override is set.
UserFolders ReadUserFolders();

// A lower-cased copy of the text (null: empty).
CString Lowered(const char* text);

// Tests only: the main window uses these folders instead of the user's
// (application data: where "ORVANEL Brindlewox" is made; temporary: where
// ".tse" entries are cleared), and its start skips the single-instance
// probe, the debug privilege, the crash handler and the reset of the
// program's scratch folder. Null gives the real ones back. Pair it with
// OverrideSkinFilesFolders on <appData>\ORVANEL Brindlewox.
void OverrideUserFolders(const char* appDataFolder, const char* tempFolder);
bool AreUserFoldersOverridden();

#endif
