// The engine's path tests and folder clean-up: existence and folder tests
// that never bring up the system's critical-error box, tree deletions that
// never follow a junction or symbolic link out of the tree, the removal of
// left-over "*.tse" entries, the shell's deletion, and the program's scratch
// folder "ov_temp" in the user's temporary folder.
//
// Every function works from any thread: the quiet error mode is set per
// thread, and none of them changes the process's current directory. None
// reports to the user or the log; the callers do.
#ifndef BRINDLEWOX_ENGINE_FILESYSTEM_H
#define BRINDLEWOX_ENGINE_FILESYSTEM_H

#include "foundation/Base.h"
#include "foundation/String.h"

// SEM_FAILCRITICALERRORS for the life of the object, on this thread only
// (the process-wide SetErrorMode would race with other threads' brackets): a
// drive without its disk then answers "not ready" instead of bringing up a
// box.
class QuietErrorMode
{
public:
    QuietErrorMode() { m_restore = SetThreadErrorMode(SEM_FAILCRITICALERRORS, &m_previous); }
    QuietErrorMode(const QuietErrorMode&) = delete;
    QuietErrorMode& operator=(const QuietErrorMode&) = delete;
    ~QuietErrorMode()
    {
        if (m_restore)
            SetThreadErrorMode(m_previous, nullptr);
    }

private:
    DWORD m_previous = 0;
    BOOL m_restore = FALSE;
};

// TRUE when anything is found at the path (a file or a folder; a pattern
// with wildcards when it matches). A path with a trailing backslash, or a
// bare drive root, is not found; nor is a path on a drive that is not ready,
// and that without an error box.
BOOL FileExists(const CString& path);

// 16 for a folder, 0 for a file, 1 when nothing is there (so callers that
// walk every non-zero result as a folder see a vanished source as an empty
// folder). Quiet like FileExists.
DWORD IsFolderOrMissing(const CString& path);

// Deletes everything below `folder` (no trailing backslash) and then the
// folder; read-only and hidden files go too. 0 on success or when the
// folder does not exist, else the Win32 code of the first failure (entries
// deleted before it stay deleted). A junction, mount point or symbolic link
// is removed itself and never entered: nothing outside the tree is touched.
// Where the system cannot remove a link without reaching its target (Wine 8
// follows links in every deletion call), the link stays and the result is
// ERROR_NOT_A_REPARSE_POINT (4390).
DWORD DeleteFolderTree(const CString& folder);

// Deletes the entries of `folder` whose long name ends with ".tse" (a match
// of the short 8.3 name alone does not count): folders as DeleteFolderTree,
// files after clearing their attributes. The folder itself stays. 0, or the
// Win32 code of the first failure.
DWORD DeleteTseFiles(const CString& folder);

// The user's temporary folder followed by "ov_temp" (no trailing
// backslash); an empty string when the temporary folder is unknown.
CString GetTempFolder();

// Deletes a file, or a folder with its contents, through SHFileOperationA:
// silently, without confirmation and without error boxes (an unattended run
// must never wait for a click), permanently or with `permanent` 0 into the
// recycle bin. A folder tree that holds a junction or symbolic link is not
// trusted to the shell (Wine's follows links): it is deleted permanently by
// DeleteFolderTree, or with `permanent` 0 left alone (FALSE). TRUE on
// success.
BOOL ShellDeletePath(const char* path, BOOL permanent);

// Whether a path lies on the network: a UNC path ("\\server\share...") or a
// drive letter whose root the system reports as DRIVE_REMOTE (a mapped
// drive). Such paths are the main program's to read and write with the
// user's own network logon; the service, whose logon is the machine's, never
// touches them. The drive type of a letter is asked again once its answer is
// a second old (a mapping can change under a running program).
bool IsNetworkLocation(const char* path);
// The same for one caller, asked while the thread acts as him: his drive
// letters are his logon session's own (a drive he mapped is not one for the
// program, and the answers IsNetworkLocation keeps are the program's). The
// object keeps his answers apart, each for a second as IsNetworkLocation
// does: the service keeps one for each pipe connection, whose caller is
// one for its life.
class CCallerDriveTypes
{
public:
    bool IsNetworkLocation(const char* path);

private:
    // Per letter: the tick count of the question and its answer (0 when
    // never asked), and the probe's turn it was asked in.
    ULONGLONG m_askedAt[26] = {};
    UINT m_types[26] = {};
    unsigned m_probeTurn = 0;
};
// The drive-type query both make, of "X:\": by default DRIVE_REMOTE for a
// drive on the network and DRIVE_FIXED for any other that opens (only the
// network counts here). Tests put their own in to play a mapped drive; null
// restores the system's. Either forgets the answers kept, a caller's too.
typedef UINT (*DriveTypeProbe)(const char* root);
void SetDriveTypeProbe(DriveTypeProbe probe);

// Empties the scratch folder: deletes GetTempFolder() and creates it again.
// Results are ignored; returns 0.
int ResetTempFolder();

#endif
