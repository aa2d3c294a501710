// The registry hive tasks of the SETTINGS server: compact the registry
// (save every hive and have it replaced by its own fresh copy at the next
// start of Windows), save every hive into a folder, and replace every hive
// from such a folder at the next start. The SETTINGS server enables
// SeBackupPrivilege and SeRestorePrivilege around each task, on its own
// thread (CThreadPrivileges).
//
// The registry calls go through IHiveRegistry, so the order and the
// all-or-nothing rules can be tested with a fake: under Wine RegReplaceKeyA
// is a stub that does nothing and returns success, RegSaveKeyA writes
// Wine's own text format (and refuses any security attributes, error 1305),
// and SAM and SECURITY do not exist.
//
// Files, with D the folder: "D\SYSTEM.bak" the saved copy, "D\SYSTEM" the
// hive file a compaction's replacement keeps. A restore replaces the hives
// from copies of the checked "D\SYSTEM.bak" files in kRestoreFolder, and
// the hive files it replaces are kept there as "SYSTEM.last". Replacements
// take effect at the next start of Windows, and a scheduled one cannot be
// taken back.
#ifndef BRINDLEWOX_SERVICE_HIVETASKS_H
#define BRINDLEWOX_SERVICE_HIVETASKS_H

#include "foundation/Base.h"
#include "foundation/String.h"

// One hive: its root and its name under that root.
struct RegistryHive
{
    HKEY root;
    const char* name;
};

// SYSTEM, SOFTWARE, SAM and SECURITY under HKEY_LOCAL_MACHINE, then .DEFAULT
// under HKEY_USERS, in that order; an entry with a null root ends the table.
extern const RegistryHive kRegistryHives[];

// The folder of a compaction, before ExpandEnvironmentStringsA.
constexpr const char kCompactionFolder[] = "%SystemRoot%\\System32\\Config\\RC Backup";
// The folder a restore's replacements are read from, the same way: only
// SYSTEM may use it, and it lies on the system volume with the hives.
constexpr const char kRestoreFolder[] = "%SystemRoot%\\System32\\Config\\RC Restore";

// The registry calls of the hive tasks; each returns the system's result
// (ERROR_SUCCESS, 0, when done).
class IHiveRegistry
{
public:
    virtual ~IHiveRegistry() = default;
    // Opens the hive (RegOpenKeyA), flushes it and HKEY_LOCAL_MACHINE, saves
    // it into `file` (RegSaveKeyA) readable by SYSTEM and the Administrators
    // only, closes it. An existing file makes the save fail on Windows.
    virtual LONG SaveHive(const RegistryHive& hive, const char* file) = 0;
    // RegReplaceKeyA(root, name, newFile, oldFile); when scheduled, flushes
    // the root and HKEY_LOCAL_MACHINE.
    virtual LONG ReplaceHive(const RegistryHive& hive, const char* newFile,
                             const char* oldFile) = 0;
    // Whether the open file may stand in for a hive at the next start: a
    // file (not a folder, nor a link or other reparse point), owned by
    // SYSTEM or the Administrators and changeable by nobody else
    // (IsPrivateHiveCopy), not empty, in the system's hive format (its
    // first four bytes "regf"). A hive copy another user could have made or
    // changed would give him the machine at the next start. The copies the
    // hive backup makes pass (their descriptor is SYSTEM's and the
    // Administrators' alone). The handle has FILE_READ_DATA and
    // READ_CONTROL; what is read through it is read from where the file
    // stands, and the caller moves back to its start. `name` (the path it
    // was opened by) is for the log.
    virtual bool IsHiveFile(HANDLE file, const char* name) = 0;
};

// Whether a file's descriptor (owner and DACL) is that of a hive copy only
// SYSTEM and the Administrators made and may change: its owner is one of
// them, it has a DACL, and no entry of it grants anyone else a right that
// changes the file or its protection (writing, appending, extended
// attributes, deletion, the DACL, the owner; generic rights mapped first). Entries
// that deny, or that only children inherit, do not matter; an entry of
// another kind (a conditional or object grant) refuses the file.
bool IsPrivateHiveCopy(PSECURITY_DESCRIPTOR descriptor);

// The real calls.
IHiveRegistry& GetSystemHiveRegistry();

// Request type 2. Empties `folder` (DeleteFolderContents with desktop.ini
// and index.dat wiping), removes and creates it again (a folder that stays,
// its emptying having failed, is used as it is), saves every hive into it
// and then, only when every hive was saved, schedules every hive to be
// replaced by its saved copy, the current file kept as "D\hive". True when
// every hive was saved and scheduled. The default folder is the expanded
// kCompactionFolder.
bool CompactRegistryHives(IHiveRegistry& registry = GetSystemHiveRegistry(),
                          const char* folder = nullptr);
// Request type 3. Saves every hive into "folder\hive.bak"; the folder is
// neither made nor emptied. A hive that fails makes the result false and the
// walk goes on.
bool SaveRegistryHives(const char* folder, IHiveRegistry& registry = GetSystemHiveRegistry());
// Request type 4. Refuses a folder whose path leads through a link at any
// level (a junction, a symbolic link, a mount point: where the opened
// folder lies is not the path asked for), before anything in it is read.
// Then, for every hive, opens "folder\hive.bak" through the opened folder
// (never through a link, and held against writers), checks it
// (IsHiveFile), copies it through the same handle into `restoreFolder`
// (made anew, for SYSTEM alone) and compares the copy with it byte for
// byte. Only when every hive passed does it schedule every hive to be
// replaced by its copy, the current file kept as "restoreFolder\hive.last":
// whatever the folder the caller named holds later, or whatever its path
// names, never reaches the replacement. A mixture of hives of different
// times can leave Windows unable to start or without its accounts, so a
// folder that lacks one sound file schedules nothing. True when every hive
// was scheduled. The default restore folder is the expanded kRestoreFolder.
bool ScheduleRegistryRestore(const char* folder, IHiveRegistry& registry = GetSystemHiveRegistry(),
                             const char* restoreFolder = nullptr);

// Empties a folder: every entry but "." and ".." goes, "desktop.ini" (any
// case) only when includeDesktopIni; read-only entries lose the attribute
// first; folders are emptied the same way and removed; a file "index.dat"
// (any case) is first zeroed behind its header when wipeIndexDat. A
// junction or symbolic link is neither entered nor removed (the removal
// calls of Wine 8 act on the link's target). False when the folder holds
// nothing to find (a missing folder), true after the walk.
bool DeleteFolderContents(const char* folder, BOOL includeDesktopIni, BOOL wipeIndexDat);
// Overwrites "folder\fileName" with zeros from byte 64 to its end, its size
// unchanged; a file of 64 bytes or fewer is left as it is. True when the
// file opened.
bool WipeFileAfterHeader(const char* folder, const char* fileName);

#endif
