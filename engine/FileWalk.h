// The folder walk of the backup run, its clean-up and the restore run: one
// folder level lists the entries of a pattern in the order the file system
// gives them, and a tree is walked breadth first, every entry of one depth
// before any entry of the next.
//
// Each listed entry keeps the fields of the file stamp (last-write time,
// attributes, size) as the listing gave them, so a walk can stamp every
// entry without opening it: under Wine an open costs about as much as
// listing a hundred entries, and the service's stamp a pipe round trip.
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
    FILETIME lastWrite = {};

    bool IsFolder() const { return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0; }
    // The path without a folder's trailing backslash.
    CString ItemPath() const;
    // The entry's file stamp (engine/FileStamp.h), the same text as
    // MakeFileStamp gives for the path; empty when the time cannot be
    // converted.
    CString Stamp() const;
};

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
template <class MayGoOn, class LevelStarted, class Visit>
bool WalkBreadthFirst(const char* pattern, const std::atomic<LONG>& running, MayGoOn&& mayGoOn,
                      LevelStarted&& levelStarted, Visit&& visit)
{
    std::vector<WalkEntry> level;
    std::vector<WalkEntry> next;
    std::vector<size_t> descend;
    ListEntries(pattern, running, level);
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
            ListEntries(level[i].path + "*.*", running, next);
        }
        level.swap(next);
    }
    return true;
}

#endif
