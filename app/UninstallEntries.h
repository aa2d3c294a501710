// The installed-applications list's reading: the programs registered for
// uninstallation under HKLM "Software\Microsoft\Windows\CurrentVersion\Uninstall",
// first in the 64-bit view, then in the 32-bit view
// (WOW6432Node), where most of what users install registers; a subkey name
// already listed from the 64-bit view is skipped in the 32-bit one.
//
// Each subkey with a non-empty "UninstallString" (REG_SZ or REG_EXPAND_SZ,
// read whole however long) gives one entry; the command is what runs (its
// variables expanded when it is REG_EXPAND_SZ), the cleaned command names
// the program file, which is looked for when the command names it by a
// path.
#ifndef BRINDLEWOX_APP_UNINSTALLENTRIES_H
#define BRINDLEWOX_APP_UNINSTALLENTRIES_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

class CApplicationsTree;

// Row kinds of the uninstall list.
constexpr DWORD kUninstallerFound = 2;   // found, or not looked for
constexpr DWORD kUninstallerMissing = 3; // the program file is not there

extern const char* const kUninstallKeyPath;

struct UninstallEntry
{
    CString text; // "DisplayName", else the subkey's name
    CString path; // the cleaned command (the row's icon)
    DWORD kind = kUninstallerFound;
    CString command; // "UninstallString" as stored, expanded when REG_EXPAND_SZ: what runs
    CString subkey;  // the subkey's name
};

// The program file of an uninstall command: a leading double quote becomes
// a blank and the text is cut at the next double quote; then lower-cased,
// trimmed, and cut just after the first ".exe", else just after the first
// ".dll". *checkFile becomes true when the result holds a "\" and one of the
// two was found: only then is the file looked for.
//   "\"C:\Program Files\App\unins000.exe\" /SILENT" -> c:\program files\app\unins000.exe, checked
//   "MsiExec.exe /X{GUID}"                      -> msiexec.exe, not checked
//   "rundll32 c:\x\foo.dll,Entry"               -> rundll32 c:\x\foo.dll, checked
CString CleanUninstallCommand(const char* command, bool* checkFile);

// Whether the program file that a command line names exists. The line is
// trimmed and lower-cased; a leading "@" goes; a line beginning "rundll32"
// loses its first "rundll32.exe", then its first "rundll32" (the DLL is
// checked). "%programw6432%" becomes `programFilesFolder`;
// "%commonprogramw6432%" is the Common Files folder (the system's variable
// where it is defined, else CSIDL_PROGRAM_FILES_COMMON); other variables
// are expanded. No box asks for a disk in an empty drive.
bool ResolveCommandLineExecutable(const char* commandLine, const char* programFilesFolder);

// Every entry of both views, in order (64-bit view first, each in the
// registry's order). A view whose key does not open adds nothing.
void ReadUninstallEntries(CArray<UninstallEntry>& entries, const char* programFilesFolder);

// The uninstall list's rows. A row holds an entry as: text, path (the
// cleaned command), state = kind, third text = the command, value 2 = 1;
// unchecked.
void AddUninstallRows(CApplicationsTree& list, const CArray<UninstallEntry>& entries);

// Runs the command of every checked row, in list order, one after the
// other: each started shown normally (an uninstaller asks its questions in
// windows of its own) and waited for with WaitRepainting. A command that
// does not start is skipped. Returns the count started.
int RunCheckedUninstallers(CApplicationsTree& list);

// Waits for a process's end on the user-interface thread. Meanwhile this
// thread's windows are repainted, their timers run and messages other
// threads send it are served, but no input or other posted message is taken
// from the queue: the window does not turn white under a long uninstaller,
// its schedule and saved options go on, and no click or posted command runs
// inside the wait (a command sent from another thread can: the caller
// guards against starting itself again).
void WaitRepainting(HANDLE process);

#endif
