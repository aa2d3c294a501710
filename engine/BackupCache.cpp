#include "engine/BackupCache.h"

#include "engine/SqlDB.h"
#include "foundation/Utility.h"

CString GetCacheFilePath(const char* destination)
{
    return CString(destination) + "Settings" + "\\Cache.prb";
}

bool CreateCacheIfMissing(const char* file)
{
    return CreateDatabaseIfMissing(
        file, {kCacheCreateTable, kCacheCreatePathIndex, kCacheCreateStampIndex});
}

CString CachePathEscape(const char* path)
{
    CString key(path);
    StringReplace("#1#", "'", key, TRUE);
    StringReplace("#2#", ";", key, FALSE);
    StringReplace("#3#", "%", key, FALSE);
    StringReplace("#4#", "&", key, FALSE);
    StringReplace("#5#", "?", key, FALSE);
    return key;
}

bool CacheHoldsStamp(CSqlDB& cache, const char* key, const char* stamp)
{
    CCacheLookup lookup(cache);
    return lookup.Holds(key, stamp);
}

bool CCacheLookup::Holds(const char* key, const char* stamp)
{
    if (!stamp || !*stamp)
        return false;
    if (!m_compiled)
    {
        // Compiled and stepped once with the parameter unbound (NULL): no
        // row, and the statement is ready to run with a key.
        m_query.Attach(m_cache.Compile("SELECT attrib_val FROM backup_cache WHERE path=?;"));
        m_compiled = true;
    }
    m_query.RunWith(key);
    // Read to the end, so that the statement holds nothing of the database
    // between lookups.
    bool holds = false;
    for (; !m_query.IsEof(); m_query.NextRow())
        holds = holds || CString(m_query.GetFieldText(0)) == stamp;
    return holds;
}

void ForgetCachedPath(CSqlDB& cache, const char* key)
{
    CString sql;
    sql.Format("DELETE FROM backup_cache WHERE path='%s';", key);
    cache.Execute(sql);
}

void RecordCachedStamp(CSqlDB& cache, const char* key, const char* stamp)
{
    // The stamp comes from the service's reply: its apostrophes, if it ever
    // had any, are doubled so that the stored value is the text itself.
    CString sql;
    sql.Format("INSERT INTO backup_cache VALUES (NULL, '%s', '%s');", key,
               (const char*)SqlEscapeQuotes(stamp));
    cache.Execute(sql);
}
