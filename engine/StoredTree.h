// The stored-file tree of a destination D (a folder path ending with a
// backslash):
//
//   D + "Settings\Profile.prb"  the profile as the last run found it (its
//                               password blanked)
//   D + "Settings\Cache.prb"    the cache database
//   D + "Files\" + mapped path  one stored file or folder per source item
//   D + "Databases\..."         the web-site database dumps
//
// A source path maps to its stored path under "Files\" (StoredCopyPath in
// engine/BackupOneFile.h): a local path loses its first ":" (E:\dir\f is
// E\dir\f), a network path has its leading "\\" replaced by the marker
// "NETWK-QUARZL-" (\\srv\share\f is NETWK-QUARZL-srv\share\f). Each stored
// item keeps its source's name, times and attributes.
//
// The clean-up at the end of a backup run deletes the stored copies whose
// source is gone. It never deletes:
// - the top level of the tree (a drive letter or a marker folder), even
//   when empty;
// - anything under a source root that does not answer (a drive that is
//   missing or not ready, a share or server that is offline): those copies
//   may be the only ones left, and the source is not gone, only away;
// - an item whose source cannot be told missing (access denied, a network
//   error): only "file not found" and "path not found" count as gone.
#ifndef BRINDLEWOX_ENGINE_STOREDTREE_H
#define BRINDLEWOX_ENGINE_STOREDTREE_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "engine/FileWalk.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class CRunContext;
class CBackupGate;

// The source paths a run has just listed, kept as 64-bit hashes (8 bytes a
// path however large the tree). The clean-up takes a listed path as present
// without asking the file system again: per stored item that query costs as
// much as the listing did. A path not in the set is asked for; a hash that
// matches by chance can only keep a stale copy until a later run.
class CListedPaths
{
public:
    void Add(const char* path) { m_hashes.push_back(Hash(path)); }
    // Call once after the last Add, before Contains.
    void Seal();
    bool Contains(const char* path) const;

private:
    static uint64_t Hash(const char* path);
    std::vector<uint64_t> m_hashes;
};

// Whether the stored copies of a run's entries are there, asked entry by
// entry as the run decides them, folder by folder: the stored folder of the
// entries asked about is listed once (ListEntries), and a name listed
// exactly as asked (the stored copy bears its source's name) is there; any
// other answer is the file system's own (FileExists: a name in another
// case, a copy made since the listing). One listing per folder instead of
// one attribute query per unchanged file, which under Wine 8 cost as much as
// the rest of its decision.
//
// The listings are kept for the run's clean-up (PruneOrphanedCopies), which
// would otherwise list the same folders again, at most kKeptEntries entries
// in all (past that, a folder's listing serves its decisions alone). What
// the clean-up takes from them is what it would have found: every name the
// folder held when it was listed. A copy stored since then is missing from
// it, and is no orphan anyway (its source was just walked); a new folder's
// copy holds nothing older than the run.
// Used on the run's own thread only.
class CStoredCopies
{
public:
    static constexpr size_t kKeptEntries = 200000;

    bool Exists(const char* storedPath);
    // The kept listing of the folder of `pattern` (the folder with its
    // backslash, then "*.*"), or null when there is none.
    const std::vector<WalkEntry>* Listing(const char* pattern) const;

private:
    // The folders listed, by their path with its backslash.
    std::unordered_map<std::string, std::vector<WalkEntry>> m_listings;
    size_t m_keptEntries = 0;
    std::string m_folder; // the folder asked about last
    std::unordered_set<std::string> m_names;
};

// The folders a run walked, each with the record (times and attributes) of
// the folder it copies and the path of its copy: a source folder and its
// stored folder in a backup, a stored folder and its restored folder in a
// restore. A copy is given its folder's times when it is made, and its
// last-write time changes with every entry made in it or deleted from it
// afterwards (a stored or restored file put in place, the temporary file of
// one that failed, a copy the clean-up removed): so every non-empty folder
// would carry the time of its last entry. Once the run has written
// everything, Apply gives each copy its folder's record again.
//
// This program sets the copies' times itself rather than ask the service:
// the service writes the destination side of a store and both sides of a
// restore as its client (README, Security), so the user's own rights reach
// every copy it made, and the pipe's records hold no request for times
// alone (a restore request per folder would make each folder anew, a round
// trip apiece).
//
// Used on the run's own thread only.
class CWalkedFolders
{
public:
    // Remembers a folder, its record read now (one attribute query). False,
    // and nothing kept, when the record cannot be read.
    bool Add(const char* folder, const CString& copy);
    size_t Count() const { return m_folders.size(); }
    // Deepest first, so that a folder is set after every folder in it: each
    // copy that exists is queried once, and where its creation or last-write
    // time or its attributes differ from its folder's, the folder's times
    // and attributes are set (an unchanged tree costs one query a folder).
    // mayGoOn is asked before each folder; false ends the pass. Forgets every
    // folder; returns how many copies were set.
    size_t Apply(const std::function<bool()>& mayGoOn);

private:
    struct Walked
    {
        CString copy;
        WIN32_FILE_ATTRIBUTE_DATA record;
        int depth;
    };
    std::vector<Walked> m_folders;
};

// The source of a stored path given relative to the tree root: a path that
// starts with the marker gets "\\" in its place, any other has its first
// "\" replaced by ":\" (C\dir\f is C:\dir\f). False, with `source`
// untouched, for a path without a backslash (the top level of the tree),
// which maps to nothing.
bool MapStoredPathToSource(const char* relative, CString& source);

// The root a source path lies on: "X:\" for a drive path, "\\srv\share\"
// for a network path; empty when there is none.
CString SourceRootOf(const char* source);

// The clean-up of the stored-file tree under cleanupRoot + "Files\" (the
// profile's backup_where), walked breadth first with the run's stop, pause
// and busy checks before every entry; the current-file field shows each
// stored item. A stored file whose source is gone is deleted (read-only
// ones too), a stored folder with everything in it (a link inside is
// removed, never followed). 0 when the worker's stop event ended it, 1
// otherwise. Failed deletions are not reported; the walk goes on. Sources in
// `listed` (the run's own listing, sealed) count as present unasked.
// `copies` (when given): the run's listings of stored folders, taken for
// those folders instead of listing them again.
int PruneOrphanedCopies(CRunContext& context, CBackupGate& gate, const char* cleanupRoot,
                        const CListedPaths* listed = nullptr,
                        const CStoredCopies* copies = nullptr);

#endif
