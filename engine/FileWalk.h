// The folder walk of the backup run, its clean-up and the restore run: one
// folder level lists the entries of a pattern in the order the file system
// gives them, and a tree is walked breadth first, every entry of one depth
// before any entry of the next.
//
// A listing is only the walk's: what it says of an entry's size and time is
// the directory entry's copy, which on NTFS lags behind for a file a writer
// holds open. A file's stamp comes from the file's own record
// (MakeFileStamp), never from here.
#ifndef BRINDLEWOX_ENGINE_FILEWALK_H
#define BRINDLEWOX_ENGINE_FILEWALK_H

#include "foundation/Base.h"
#include "foundation/Array.h"
#include "foundation/String.h"

#include <atomic>
#include <vector>

// One listed entry.
struct WalkEntry
{
    CString path; // the full path; a folder's ends with a backslash
    DWORD attributes = 0;
    DWORD sizeLow = 0; // 0 for a folder

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // The path without a folder's trailing backslash.
    CString ItemPath() const;
};

// A test seam: called with every listing ListEntries made (the pattern and
// the entries it appended, from `first` on), which it may change, as a file
// system whose directory entries lag behind would. Null, the default: none.
typedef void (*ListingHook)(const char* pattern, std::vector<WalkEntry>& entries, size_t first);
void SetListingHook(ListingHook hook);

// Appends the matches of `pattern` (a folder followed by "\*.*", or one
// file's path) to `entries`. "." and ".." are skipped, and so is every
// reparse point (junctions, mount points and links are never followed, so a
// walk cannot leave its tree or go round in a loop). The listing stops early
// when `running` reads 0 (the run's busy flag: a stop cuts it short). A
// pattern that matches nothing appends nothing.
void ListEntries(const char* pattern, const std::atomic<LONG>& running,
                 std::vector<WalkEntry>& entries);

// The same listing as paths (a folder's with a trailing backslash) and the
// low 32 bits of the sizes (0 for a folder).
void WalkFiles(const char* pattern, const std::atomic<LONG>& running, CStringArray& paths,
               CArray<DWORD>& sizes);

// Walks breadth first from the entries of `pattern`:
// - levelStarted(count) is told the number of entries of each level;
// - before every entry and before listing every folder of the next level,
//   mayGoOn() is asked, and false ends the walk;
// - visit(index, entry) handles each entry of a level in listing order and
//   returns whether a folder entry is to be walked into;
// - the folders walked into are listed with "*.*" appended, in the order of
//   the level, to make the next one.
// True when the walk ran to its end, false when mayGoOn ended it.
// The listings are ListEntries', or list(pattern, entries)'s when given
// (one that appends to entries as ListEntries does).
template <class MayGoOn, class LevelStarted, class Visit, class List>
bool WalkBreadthFirst(const char* pattern, const std::atomic<LONG>& running, MayGoOn&& mayGoOn,
                      LevelStarted&& levelStarted, Visit&& visit, List&& list)
{
    std::vector<WalkEntry> level;
    std::vector<WalkEntry> next;
    std::vector<size_t> descend;
    list(pattern, level);
    while (!level.empty())
    {
        levelStarted(level.size());
        descend.clear();
        for (size_t i = 0; i < level.size(); ++i)
        {
            if (!mayGoOn())
                return false;
            if (visit(i, level[i]) && level[i].IsFolder())
                descend.push_back(i);
        }
        next.clear();
        for (size_t i : descend)
        {
            if (!mayGoOn())
                return false;
            list(level[i].path + "*.*", next);
        }
        level.swap(next);
    }
    return true;
}

template <class MayGoOn, class LevelStarted, class Visit>
bool WalkBreadthFirst(const char* pattern, const std::atomic<LONG>& running, MayGoOn&& mayGoOn,
                      LevelStarted&& levelStarted, Visit&& visit)
{
    return WalkBreadthFirst(pattern, running, mayGoOn, levelStarted, visit,
                            [&running](const char* folderPattern, std::vector<WalkEntry>& entries)
                            { ListEntries(folderPattern, running, entries); });
}

#endif
