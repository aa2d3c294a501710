// Cache lookups among rows that share one stamp: the time of one lookup
// with 1,000, 5,000 and 20,000 rows, for the lookup the decision makes (by
// path, stamp compared in code) and for the lookup by path and stamp in one
// statement, which the library answers through the stamp's index and so
// scans every row of that stamp. Rows share a stamp when it is empty (an old
// cache written while the service did not answer) or when files were made
// together (an unpacked archive).
//
// Run by hand under Wine, output to a file (a pipe slows every Wine call):
//   $WINE build/win64/bench/CacheLookupBench.exe >build/cache-bench.txt
// The decision's lookup should take the same time at every size.
#include "bench/BenchClock.h"
#include "engine/BackupCache.h"
#include "engine/SqlDB.h"
#include "engine/FileSystem.h"

#include <cstdio>

namespace
{
constexpr int kLookups = 1000;

CString Key(int i)
{
    CString key;
    key.Format("C:\\Users\\ann\\Documents\\project\\file%06d.txt", i);
    return key;
}

void Fill(CSqlDB& cache, int from, int to, const char* stamp)
{
    CSqlTransaction transaction(cache);
    for (int i = from; i < to; ++i)
        RecordCachedStamp(cache, Key(i), stamp);
    transaction.Commit();
}

// Microseconds per lookup of kLookups consecutive keys from the middle of
// the rows (the files of one folder, in the order a walk lists them), the
// best of three passes.
template <class Lookup> double PerLookup(int rows, Lookup&& lookup)
{
    double best = 1e30;
    for (int pass = 0; pass < 3; ++pass)
    {
        int found = 0;
        const double start = Now();
        for (int n = 0; n < kLookups; ++n)
            found += lookup(Key(rows / 2 - kLookups / 2 + n)) ? 1 : 0;
        const double elapsed = Now() - start;
        if (found != kLookups)
            printf("  (only %d of %d found)\n", found, kLookups);
        if (elapsed < best)
            best = elapsed;
    }
    return best * 1e6 / kLookups;
}

void Run(const char* label, const char* stamp)
{
    CString folder;
    folder.Format("C:\\bwtest\\cache-bench-%lu", GetCurrentProcessId());
    CreateDirectoryA("C:\\bwtest", nullptr);
    CreateDirectoryA(folder, nullptr);
    CreateDirectoryA(folder + "\\Settings", nullptr);
    const CString file = GetCacheFilePath(folder + "\\");
    CreateCacheIfMissing(file);

    printf("%s\n%8s %22s %22s\n", label, "rows", "by path (us/lookup)", "path+stamp (us/lookup)");
    CSqlDB cache;
    cache.Open(file);
    int rows = 0;
    for (int size : {1000, 5000, 20000})
    {
        Fill(cache, rows, size, stamp);
        rows = size;
        // The decision's lookup asks with a real stamp; rows recorded with an
        // empty one (an old cache) are compared and do not match.
        const char* asked = *stamp ? stamp : "20240307123456789-32-1234";
        // Inside a transaction, as the run makes every source's lookups.
        CSqlTransaction transaction(cache);
        const double byPath = PerLookup(rows,
                                        [&](const CString& key)
                                        {
                                            CacheHoldsStamp(cache, key, asked);
                                            return true;
                                        });
        const double both = PerLookup(
            rows,
            [&](const CString& key)
            {
                CString sql;
                sql.Format("SELECT * FROM backup_cache WHERE path='%s' AND attrib_val='%s';",
                           (const char*)key, stamp);
                return !cache.Query(sql).IsEof();
            });
        transaction.Commit();
        printf("%8d %22.1f %22.1f\n", rows, byPath, both);
        fflush(stdout);
    }
    cache.Close();
    DeleteFileA(file);
    DeleteFolderTree(folder);
}
} // namespace

int main()
{
    try
    {
        Run("every stamp empty", "");
        Run("every stamp the same", "20240307123456789-32-1234");
    }
    catch (const CSqlException& e)
    {
        printf("database error: %s\n", e.GetErrorMessage());
        return 1;
    }
    return 0;
}
