// The incremental cache: one SQLite database per destination,
// "Settings\Cache.prb", recording for every stored source the stamp
// (engine/FileStamp.h) it had when it was stored. Its one table and two
// indexes are part of the stored format and are created exactly so:
//
//   backup_cache  id_backup_cache (row id), path (the escaped source path,
//                 CachePathEscape), attrib_val (the stamp)
//
// Rows are looked up by path alone and the stamp is compared here: asked for
// both columns, the library may choose the stamp's index, and when many rows
// share a stamp (all empty, in an old cache made while the service was away)
// every lookup would scan them all and a run would grow with the square of
// its files. By path the lookup stays one index probe.
//
// Database errors throw CSqlException.
#ifndef BRINDLEWOX_ENGINE_BACKUPCACHE_H
#define BRINDLEWOX_ENGINE_BACKUPCACHE_H

#include "foundation/Base.h"
#include "foundation/String.h"
#include "engine/SqlDB.h"

class CSqlDB;

// The statements that make a new cache: the table and indexes of the stored
// format above.
constexpr const char* kCacheCreateTable = "CREATE TABLE backup_cache (id_backup_cache INTEGER "
                                          "PRIMARY KEY, path TEXT, attrib_val TEXT );";
constexpr const char* kCacheCreatePathIndex =
    "create index backup_cache_index on backup_cache(path);";
constexpr const char* kCacheCreateStampIndex =
    "create index backup_attrib_index on backup_cache(attrib_val);";

// The cache of a destination: the destination text (which ends with a
// backslash) followed by "Settings" and "\Cache.prb".
CString GetCacheFilePath(const char* destination);

// Makes the cache file with its table and indexes when no file is there:
// true when it was made. The three statements run in one transaction and a
// failed creation removes the file again, so the next run does not find a
// file without the table (whose every lookup would fail). Throws
// CSqlException when the file cannot be made.
bool CreateCacheIfMissing(const char* file);

// The key of a source path: every ' becomes "#1#", then the first ; "#2#",
// the first % "#3#", the first & "#4#" and the first ? "#5#", each on the
// result of the one before. Stored caches hold keys made so; the key is
// never turned back into a path (two paths may share one, which costs at
// most one needless store).
CString CachePathEscape(const char* path);

// True when a row of the key holds exactly this stamp. An empty stamp (none
// could be made) matches nothing, whatever the rows hold. One lookup of a
// CCacheLookup of its own.
bool CacheHoldsStamp(CSqlDB& cache, const char* key, const char* stamp);
// CacheHoldsStamp for a run's many lookups on one open cache: the lookup's
// statement is compiled once, at the first lookup, and run again for each
// key, the key bound as a value (never spliced into the statement). The
// object must not outlive the cache's connection.
class CCacheLookup
{
public:
    explicit CCacheLookup(CSqlDB& cache) : m_cache(cache) {}
    CCacheLookup(const CCacheLookup&) = delete;
    CCacheLookup& operator=(const CCacheLookup&) = delete;

    bool Holds(const char* key, const char* stamp);

private:
    CSqlDB& m_cache;
    CSqlQuery m_query;
    bool m_compiled = false;
};

// Deletes every row of the key.
void ForgetCachedPath(CSqlDB& cache, const char* key);
// Adds a row for the key with the stamp.
void RecordCachedStamp(CSqlDB& cache, const char* key, const char* stamp);

#endif
