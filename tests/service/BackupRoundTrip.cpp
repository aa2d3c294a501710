#include "tests/service/BackupRoundTrip.h"

#include "engine/BackupOneFile.h"
#include "engine/BackupRun.h"
#include "engine/FileWalk.h"
#include "engine/LogFile.h"
#include "engine/PipeClient.h"
#include "engine/RestoreRun.h"
#include "tests/support/StoredFormReference.h"
#include "tests/support/TestFiles.h"
#include "tests/support/TempFolder.h"

#include <string>
#include <vector>

namespace
{
// A tree entry relative to the tree's folder; folders end with "\".
const char* const kFolders[] = {"sub dir\\", "sub dir\\deeper\\", "empty folder\\", "a.b.c\\"};
struct TreeFile
{
    const char* name;
    DWORD attributes;
    size_t size;
};
const TreeFile kFiles[] = {
    {"plain.txt", FILE_ATTRIBUTE_NORMAL, 40},
    {"big random.bin", FILE_ATTRIBUTE_NORMAL, 3 * 16384 + 5},
    {"empty.dat", FILE_ATTRIBUTE_NORMAL, 0},
    {"it's here.txt", FILE_ATTRIBUTE_NORMAL, 100},
    {"read only.txt", FILE_ATTRIBUTE_READONLY, 17},
    {"hidden.txt", FILE_ATTRIBUTE_HIDDEN, 18},
    {"sub dir\\nested.txt", FILE_ATTRIBUTE_NORMAL, 16384},
    {"sub dir\\deeper\\x.y.z", FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN, 20000},
    {"a.b.c\\..dots", FILE_ATTRIBUTE_NORMAL, 3},
};

bool MakeTree(const CString& tree, std::string& problems)
{
    bool ok = MakeFolder(tree);
    for (const char* folder : kFolders)
        ok = MakeFolder(tree + "\\" + folder) && ok;
    WORD day = 1;
    for (const TreeFile& file : kFiles)
    {
        const std::string path(tree + "\\" + file.name);
        testfiles::WriteBytes(path, reference::Random(file.size, day));
        // Old times, a different day for each file.
        const FILETIME old = testfiles::MakeTime(2009, 3, day++, 14, 30, 25, 120);
        testfiles::SetTimes(path, {old, old, old});
        ok = ::SetFileAttributesA(path.c_str(), file.attributes) && ok;
    }
    ok = ::SetFileAttributesA(tree + "\\a.b.c", FILE_ATTRIBUTE_HIDDEN) && ok;
    if (!ok)
        problems += "the source tree could not be made\n";
    return ok;
}

CString WithoutBackslash(const CString& path)
{
    return path[path.GetLength() - 1] == '\\' ? path.Left(path.GetLength() - 1) : path;
}

// Every entry under the folder, each folder before its entries.
void Walk(const CString& folder, std::vector<CString>& entries)
{
    const std::atomic<LONG> running{1};
    CStringArray level;
    CArray<DWORD> sizes;
    WalkFiles(folder + "\\*.*", running, level, sizes);
    for (int i = 0; i < level.GetSize(); ++i)
    {
        entries.push_back(level[i]);
        if (level[i][level[i].GetLength() - 1] == '\\')
            Walk(WithoutBackslash(level[i]), entries);
    }
}

std::vector<CString> Walk(const CString& folder)
{
    std::vector<CString> entries;
    Walk(folder, entries);
    return entries;
}

ULONGLONG LastWrite(const CString& path)
{
    return testfiles::Ticks(testfiles::GetTimes(static_cast<const char*>(path)).written);
}

void Compare(const CString& source, const CString& restored, const std::vector<CString>& entries,
             std::string& problems)
{
    const int prefix = source.GetLength();
    for (const CString& entry : entries)
    {
        const CString from = WithoutBackslash(entry);
        const CString to = restored + from.Mid(prefix);
        const DWORD want = ::GetFileAttributesA(from);
        const DWORD have = ::GetFileAttributesA(to);
        std::string where(to);
        if (have == INVALID_FILE_ATTRIBUTES)
        {
            problems += "missing: " + where + "\n";
            continue;
        }
        if (have != want)
            problems += "attributes of " + where + "\n";
        // Folders too: the runs give them their times again once their
        // entries are written.
        if (LastWrite(to) != LastWrite(from))
            problems += "last-write time of " + where + "\n";
        if (want & FILE_ATTRIBUTE_DIRECTORY)
            continue;
        if (testfiles::ReadBytes(static_cast<const char*>(to)) !=
            testfiles::ReadBytes(static_cast<const char*>(from)))
            problems += "contents of " + where + "\n";
    }
    if (entries.size() != Walk(restored).size())
        problems += "the restored tree holds other entries: " + std::string(restored) + "\n";
}
} // namespace

std::string RunBackupRoundTrip(const CString& folder)
{
    std::string problems;
    const CString source = folder + "\\source";
    if (!MakeTree(source, problems))
        return problems;
    const std::vector<CString> entries = Walk(source);
    CLogFile log(folder);

    for (int form = 0; form < 4; ++form)
    {
        const BOOL compress = form & 2 ? TRUE : FALSE;
        const BOOL encrypt = form & 1 ? TRUE : FALSE;
        CString number;
        number.Format("%d", form);
        const CString files = folder + "\\dest" + number + "\\Files\\";
        const CString tag = CString("form ") + number + ": ";

        // The backup: the backup run over a profile that holds the tree as
        // its one source, its local files stored through the service's pipe.
        const CString destination = folder + "\\dest" + number + "\\";
        CRunContext context;
        context.profilePath = folder + "\\profile" + number + ".prb";
        context.log = &log;
        context.destination = destination;
        CProfileDB profile(context.profilePath);
        profile.CreateIfMissing();
        ProfileItem item;
        item.path = source;
        profile.AddItem(item);
        profile.Save(CSimpleArray<ProfileCheck>(), destination, compress != FALSE, encrypt != FALSE,
                     0);
        profile.SavePassword("pw");
        if (context.StartBackup(false) != RunStart::Started ||
            ::WaitForSingleObject(context.backupWorker.GetThreadHandle(), 600000) != WAIT_OBJECT_0)
        {
            problems += std::string(tag) + "the backup did not end\n";
            continue;
        }
        context.CollectBackup();
        const RunDisplay shown = context.GetDisplay();
        const LONG all = static_cast<LONG>(entries.size() + 1); // the tree's folder too
        if (shown.errors != 0 || shown.processedFiles != all)
            problems += std::string(tag) + "the backup stored " +
                        std::to_string(shown.processedFiles - shown.errors) + " of " +
                        std::to_string(all) + " entries\n";

        // The restore of the stored tree into another folder.
        const CString stored = StoredCopyPath(files, source);
        const CString target = folder + "\\restore" + number;
        context.whatPath = stored;
        context.wherePath = target;
        if (context.StartRestore() != RunStart::Started ||
            ::WaitForSingleObject(context.restoreWorker.GetThreadHandle(), 600000) != WAIT_OBJECT_0)
        {
            problems += std::string(tag) + "the restore did not end\n";
            continue;
        }
        context.restoreWorker.StopIfRunning();
        if (context.GetDisplay().restoreFailed != 0)
            problems += std::string(tag) + "restore failures in the log\n";
        Compare(source, StoredCopyPath(target + "\\", stored), entries, problems);
    }
    return problems;
}
