#include "engine/BackupCache.h"
#include "engine/SqlDB.h"
#include "tests/support/TempFolder.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

namespace
{
class BackupCacheTest : public ::testing::Test
{
protected:
    BackupCacheTest() : folder("cache"), file(GetCacheFilePath(folder.Path() + "\\"))
    {
        MakeFolder(folder / "Settings");
    }

    void Open()
    {
        ASSERT_TRUE(CreateCacheIfMissing(file));
        cache.Open(file);
    }

    TempFolder folder;
    CString file;
    CSqlDB cache;
};

// The virtual-machine steps of every statement run on the handle while the
// object lives: a lookup that scans rows takes one step per row.
class StepCounter
{
public:
    explicit StepCounter(CSqlDB& db) : m_db(db), m_handle(db.Detach())
    {
        sqlite3_trace_v2(m_handle, SQLITE_TRACE_PROFILE, &StepCounter::OnProfile, this);
        m_db.Attach(m_handle);
    }
    ~StepCounter() { sqlite3_trace_v2(m_handle, 0, nullptr, nullptr); }
    int Steps() const { return m_steps; }

private:
    static int OnProfile(unsigned, void* self, void* statement, void*)
    {
        static_cast<StepCounter*>(self)->m_steps += sqlite3_stmt_status(
            static_cast<sqlite3_stmt*>(statement), SQLITE_STMTSTATUS_VM_STEP, 0);
        return 0;
    }

    CSqlDB& m_db;
    sqlite3* m_handle;
    int m_steps = 0;
};
} // namespace

TEST_F(BackupCacheTest, IsCreatedOnceWithItsSchemaWordForWord)
{
    EXPECT_STREQ(file, folder.Path() + "\\Settings\\Cache.prb");
    Open();
    EXPECT_FALSE(CreateCacheIfMissing(file));

    CSqlQuery schema = cache.Query("SELECT sql FROM sqlite_master ORDER BY rowid;");
    const char* expected[] = {kCacheCreateTable, kCacheCreatePathIndex, kCacheCreateStampIndex};
    for (const char* statement : expected)
    {
        ASSERT_FALSE(schema.IsEof());
        // The library keeps each statement's text without its semicolon and
        // with its first two keywords in capitals ("CREATE INDEX").
        EXPECT_STRCASEEQ(CString(schema.GetFieldText(0)) + ";", statement);
        schema.NextRow();
    }
    EXPECT_TRUE(schema.IsEof());
}

TEST_F(BackupCacheTest, FailedCreationLeavesNoFile)
{
    // The Settings folder is missing: nothing can be made, nothing stays.
    const CString blocked = GetCacheFilePath(folder.Path() + "\\missing\\");
    ThrownSql([&] { CreateCacheIfMissing(blocked); });
    EXPECT_EQ(GetFileAttributesA(blocked), INVALID_FILE_ATTRIBUTES);
}

TEST(CachePathEscapeTest, ReplacesEveryApostropheAndTheFirstOfTheOthers)
{
    EXPECT_STREQ(CachePathEscape("C:\\it's;a%b&c?d;e'f"), "C:\\it#1#s#2#a#3#b#4#c#5#d;e#1#f");
    EXPECT_STREQ(CachePathEscape("C:\\a;b;c"), "C:\\a#2#b;c");
    EXPECT_STREQ(CachePathEscape("C:\\''x''"), "C:\\#1##1#x#1##1#");
    EXPECT_STREQ(CachePathEscape("C:\\%%&&??"), "C:\\#3#%#4#&#5#?");
    EXPECT_STREQ(CachePathEscape("C:\\plain\\file.txt"), "C:\\plain\\file.txt");
}

TEST_F(BackupCacheTest, RowsAreFoundByKeyAndExactStamp)
{
    Open();
    const CString key = CachePathEscape("C:\\ann's files\\o'neil;1.txt");
    RecordCachedStamp(cache, key, "20090315143025120-32-10240");
    EXPECT_TRUE(CacheHoldsStamp(cache, key, "20090315143025120-32-10240"));
    EXPECT_FALSE(CacheHoldsStamp(cache, key, "20090315143025121-32-10240"));
    EXPECT_FALSE(
        CacheHoldsStamp(cache, CachePathEscape("C:\\other"), "20090315143025120-32-10240"));

    // The key is stored as it is: an apostrophe in the source never reaches
    // the statement.
    CSqlQuery row = cache.Query("SELECT path FROM backup_cache;");
    EXPECT_STREQ(row.GetFieldText(0), "C:\\ann#1#s files\\o#1#neil#2#1.txt");
    row.Finalize();

    // An empty stamp matches nothing, not even a row recorded empty.
    RecordCachedStamp(cache, key, "");
    EXPECT_FALSE(CacheHoldsStamp(cache, key, ""));

    ForgetCachedPath(cache, key);
    EXPECT_FALSE(CacheHoldsStamp(cache, key, "20090315143025120-32-10240"));
}

TEST_F(BackupCacheTest, LookupStaysOneProbeWhenStampsRepeat)
{
    Open();
    {
        CSqlTransaction transaction(cache);
        for (int i = 0; i < 2000; ++i)
        {
            CString key;
            key.Format("C:\\data\\file%04d.txt", i);
            RecordCachedStamp(cache, key, "20200101000000000-32-0");
        }
        transaction.Commit();
    }
    StepCounter counter(cache);
    EXPECT_TRUE(CacheHoldsStamp(cache, "C:\\data\\file1999.txt", "20200101000000000-32-0"));
    EXPECT_FALSE(CacheHoldsStamp(cache, "C:\\data\\missing.txt", "20200101000000000-32-0"));
    // A lookup through the stamp's index would step over all 2,000 rows.
    EXPECT_LT(counter.Steps(), 100);
}

// A run's lookup, compiled once, answers right at every turn: rows added, a
// second row of a key, an empty stamp, rows forgotten, inside and after a
// transaction; and a key is a value, never statement text. (How many rows
// a lookup steps over: LookupStaysOneProbeWhenStampsRepeat.)
TEST_F(BackupCacheTest, ARunsLookupAnswersAtEveryTurn)
{
    Open();
    CCacheLookup lookup(cache);
    const CString key = CachePathEscape("C:\\ann's files\\o'neil;1.txt");
    const char* stamp = "20090315143025120-32-10240";
    EXPECT_FALSE(lookup.Holds(key, stamp));
    {
        CSqlTransaction transaction(cache);
        RecordCachedStamp(cache, key, stamp);
        EXPECT_TRUE(lookup.Holds(key, stamp));
        RecordCachedStamp(cache, key, "20090315143025121-32-10240");
        EXPECT_TRUE(lookup.Holds(key, "20090315143025121-32-10240"));
        EXPECT_TRUE(lookup.Holds(key, stamp));
        transaction.Commit();
    }
    EXPECT_FALSE(lookup.Holds(key, ""));
    EXPECT_FALSE(lookup.Holds("C:\\other'; DELETE FROM backup_cache; --", stamp));
    EXPECT_TRUE(lookup.Holds(key, stamp)) << "the rows are all there";
    ForgetCachedPath(cache, key);
    EXPECT_FALSE(lookup.Holds(key, stamp));
}
