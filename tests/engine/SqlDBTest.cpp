#include "engine/SqlDB.h"

#include "tests/support/TempFolder.h"
#include "EngineTestSupport.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <cstring>
#include <string>
#include <type_traits>

static_assert(!std::is_copy_constructible_v<CSqlDB>, "one owned database handle");
static_assert(!std::is_copy_assignable_v<CSqlDB>, "one owned database handle");
static_assert(!std::is_copy_constructible_v<CSqlQuery>, "one owned statement");
static_assert(std::is_move_constructible_v<CSqlQuery>, "queries are returned by value");

namespace
{
// The statements the library still holds unfinalized on a handle.
int LiveStatements(CSqlDB& db)
{
    sqlite3* handle = db.Detach();
    int count = 0;
    for (sqlite3_stmt* s = sqlite3_next_stmt(handle, nullptr); s; s = sqlite3_next_stmt(handle, s))
        ++count;
    db.Attach(handle);
    return count;
}

class SqlDBTest : public ::testing::Test
{
protected:
    SqlDBTest() : folder("sql") {}

    void OpenWithRows()
    {
        db.Open(folder / "test.db");
        db.Execute("CREATE TABLE t (id INTEGER PRIMARY KEY, n INTEGER, s TEXT);");
        db.Execute("INSERT INTO t VALUES (NULL, '1', 'one');");
        db.Execute("INSERT INTO t VALUES (NULL, NULL, NULL);");
        db.Execute("INSERT INTO t VALUES (NULL, '3', '12abc');");
    }

    TempFolder folder;
    CSqlDB db;
};
} // namespace

TEST(SqlErrorTest, CodeNamesFollowTheTable)
{
    EXPECT_STREQ(SqlErrorCodeName(0), "SQL_OK");
    EXPECT_STREQ(SqlErrorCodeName(1), "SQL_ERROR");
    EXPECT_STREQ(SqlErrorCodeName(5), "SQL_BUSY");
    EXPECT_STREQ(SqlErrorCodeName(11), "SQL_CORRUPT");
    EXPECT_STREQ(SqlErrorCodeName(14), "SQL_CANTOPEN");
    EXPECT_STREQ(SqlErrorCodeName(21), "SQL_MISUSE");
    EXPECT_STREQ(SqlErrorCodeName(25), "SQL_RANGE");
    EXPECT_STREQ(SqlErrorCodeName(100), "SQL_ROW");
    EXPECT_STREQ(SqlErrorCodeName(101), "SQL_DONE");
    EXPECT_STREQ(SqlErrorCodeName(1000), "CSQL_ERROR");
    EXPECT_STREQ(SqlErrorCodeName(26), "UNKNOWN_ERROR");
    EXPECT_STREQ(SqlErrorCodeName(-1), "UNKNOWN_ERROR");
    EXPECT_STREQ(SqlErrorCodeName(102), "UNKNOWN_ERROR");
}

TEST(SqlErrorTest, TextNamesTheCodeAndCopiesSurvive)
{
    CSqlException plain(1, "no such table: x", false);
    EXPECT_EQ(plain.GetErrorCode(), 1);
    EXPECT_STREQ(plain.GetErrorMessage(), "SQL_ERROR[1]: no such table: x");

    CSqlException empty(5, nullptr, false);
    EXPECT_STREQ(empty.GetErrorMessage(), "SQL_BUSY[5]: ");

    CSqlException unknown(26, "file is not a database", false);
    EXPECT_STREQ(unknown.GetErrorMessage(), "UNKNOWN_ERROR[26]: file is not a database");

    // A library text is released by the exception once copied into its own.
    CSqlException library(19, sqlite3_mprintf("%s", "constraint failed"), true);
    EXPECT_STREQ(library.GetErrorMessage(), "SQL_CONSTRAINT[19]: constraint failed");

    CSqlException copy(library);
    EXPECT_EQ(copy.GetErrorCode(), 19);
    EXPECT_STREQ(copy.GetErrorMessage(), library.GetErrorMessage());
    EXPECT_NE(copy.GetErrorMessage(), library.GetErrorMessage());

    copy = plain;
    EXPECT_EQ(copy.GetErrorCode(), 1);
    EXPECT_STREQ(copy.GetErrorMessage(), "SQL_ERROR[1]: no such table: x");
}

TEST(SqlErrorTest, EscapeDoublesEveryApostrophe)
{
    EXPECT_STREQ(SqlEscapeQuotes("it's"), "it''s");
    EXPECT_STREQ(SqlEscapeQuotes("''"), "''''");
    EXPECT_STREQ(SqlEscapeQuotes("'a'b'"), "''a''b''");
    EXPECT_STREQ(SqlEscapeQuotes("plain"), "plain");
    EXPECT_TRUE(SqlEscapeQuotes("").IsEmpty());
    EXPECT_TRUE(SqlEscapeQuotes(nullptr).IsEmpty());
}

TEST_F(SqlDBTest, EveryOperationOfAClosedDatabaseThrows)
{
    EXPECT_FALSE(db.IsOpen());
    EXPECT_EQ(db.GetBusyTimeout(), 60000);
    for (int op = 0; op < 3; ++op)
    {
        CSqlException e = ThrownSql(
            [&]
            {
                if (op == 0)
                    db.Execute("SELECT 1;");
                else if (op == 1)
                    db.Compile("SELECT 1;");
                else
                    db.Query("SELECT 1;");
            });
        EXPECT_EQ(e.GetErrorCode(), CSQL_ERROR);
        EXPECT_STREQ(e.GetErrorMessage(), "CSQL_ERROR[1000]: Database not open");
    }

    // Closed again after use: the same.
    db.Open(folder / "a.db");
    db.Close();
    db.Close();
    EXPECT_EQ(ThrownSql([&] { db.Execute("SELECT 1;"); }).GetErrorCode(), CSQL_ERROR);
}

TEST_F(SqlDBTest, LibraryErrorsCarryTheirCodeAndText)
{
    OpenWithRows();
    CSqlException syntax = ThrownSql([&] { db.Execute("SELEKT 1;"); });
    EXPECT_EQ(syntax.GetErrorCode(), 1);
    EXPECT_EQ(std::string(syntax.GetErrorMessage()).rfind("SQL_ERROR[1]: ", 0), 0u)
        << syntax.GetErrorMessage();

    CSqlException missing = ThrownSql([&] { db.Query("SELECT * FROM backup_what;"); });
    EXPECT_EQ(missing.GetErrorCode(), 1);
    EXPECT_STREQ(missing.GetErrorMessage(), "SQL_ERROR[1]: no such table: backup_what");

    db.Execute("CREATE TABLE u (k TEXT UNIQUE);");
    db.Execute("INSERT INTO u VALUES ('x');");
    CSqlException unique = ThrownSql([&] { db.Execute("INSERT INTO u VALUES ('x');"); });
    EXPECT_EQ(unique.GetErrorCode(), 19);
    EXPECT_EQ(std::string(unique.GetErrorMessage()).rfind("SQL_CONSTRAINT[19]: ", 0), 0u);

    // The database stays usable after each error.
    EXPECT_EQ(db.Execute("UPDATE t SET s='x' WHERE n IS NOT NULL;"), 2);
}

TEST_F(SqlDBTest, OpenCreatesAMissingFileAndFailsOnAMissingFolder)
{
    CString file = folder / "new.db";
    EXPECT_EQ(GetFileAttributesA(file), INVALID_FILE_ATTRIBUTES);
    db.Open(file);
    EXPECT_TRUE(db.IsOpen());
    EXPECT_NE(GetFileAttributesA(file), INVALID_FILE_ATTRIBUTES);
    db.Close();

    CSqlException e = ThrownSql([&] { db.Open(folder / "no such folder\\x.db"); });
    EXPECT_EQ(e.GetErrorCode(), 14);
    EXPECT_STREQ(e.GetErrorMessage(), "SQL_CANTOPEN[14]: unable to open database file");
    EXPECT_FALSE(db.IsOpen());
}

TEST_F(SqlDBTest, AnsiPathsReachTheFileSystemUnchanged)
{
    // A folder name with a character above 127, as in a user's name; the
    // library wants UTF-8, the file must still appear under the ANSI name.
    CString sub = folder / "Jos\xe9 M\xfcller";
    ASSERT_TRUE(CreateDirectoryA(sub, nullptr));
    CString file = sub + "\\profile.prb";
    db.Open(file);
    db.Execute("CREATE TABLE t (x);");
    db.Close();
    EXPECT_NE(GetFileAttributesA(file), INVALID_FILE_ATTRIBUTES);
    EXPECT_EQ(ReadBytes(file).compare(0, 16, std::string("SQLite format 3\0", 16)), 0);
}

TEST_F(SqlDBTest, FilesThatAreNoDatabaseFailAtTheFirstStatement)
{
    CString text = folder / "text.prb";
    std::string garbage(4096, 'x');
    ASSERT_TRUE(WriteBytes(text, garbage));
    db.Open(text); // the library opens lazily
    CSqlException e = ThrownSql([&] { db.Query("SELECT * FROM backup_what;"); });
    EXPECT_EQ(e.GetErrorCode(), 26);
    EXPECT_STREQ(e.GetErrorMessage(), "UNKNOWN_ERROR[26]: file is not a database");
    // Nothing was written into the foreign file.
    EXPECT_EQ(ReadBytes(text), garbage);
}

TEST_F(SqlDBTest, CursorReadsEveryRowWithDefaultsForNull)
{
    OpenWithRows();
    CSqlQuery q = db.Query("SELECT * FROM t;");
    ASSERT_FALSE(q.IsEof());
    EXPECT_EQ(q.GetFieldCount(), 3);
    EXPECT_EQ(q.GetFieldInt(0), 1);
    EXPECT_EQ(q.GetFieldInt(1, -5), 1);
    EXPECT_STREQ(q.GetFieldText(2), "one");
    EXPECT_FALSE(q.FieldIsNull(2));

    q.NextRow();
    ASSERT_FALSE(q.IsEof());
    EXPECT_TRUE(q.FieldIsNull(1));
    EXPECT_EQ(q.GetFieldValue(1), nullptr);
    EXPECT_EQ(q.GetFieldInt(1, -5), -5);
    EXPECT_STREQ(q.GetFieldText(2, "default"), "default");
    EXPECT_STREQ(q.GetFieldText(2), "");

    q.NextRow();
    ASSERT_FALSE(q.IsEof());
    EXPECT_EQ(q.GetFieldInt(2, -5), 12);  // atoi of "12abc"
    EXPECT_STREQ(q.GetFieldText(1), "3"); // an INTEGER column reads back as digits

    q.NextRow();
    EXPECT_TRUE(q.IsEof());
    // At the end every column reads as NULL, and stepping again does not
    // start the statement over.
    EXPECT_EQ(q.GetFieldValue(2), nullptr);
    q.NextRow();
    EXPECT_TRUE(q.IsEof());
    EXPECT_EQ(q.GetFieldCount(), 3);
}

TEST_F(SqlDBTest, FieldIndexOutsideTheColumnsThrows)
{
    OpenWithRows();
    CSqlQuery q = db.Query("SELECT * FROM t;");
    for (int index : {-1, 3, 1000})
    {
        CSqlException e = ThrownSql([&] { q.GetFieldValue(index); });
        EXPECT_EQ(e.GetErrorCode(), CSQL_ERROR) << index;
        EXPECT_STREQ(e.GetErrorMessage(), "CSQL_ERROR[1000]: Invalid field index requested");
    }
    EXPECT_EQ(ThrownSql([&] { q.GetFieldInt(-1, 0); }).GetErrorCode(), CSQL_ERROR);
    EXPECT_EQ(ThrownSql([&] { q.GetFieldText(3, ""); }).GetErrorCode(), CSQL_ERROR);
    EXPECT_EQ(ThrownSql([&] { q.FieldIsNull(3); }).GetErrorCode(), CSQL_ERROR);
}

TEST_F(SqlDBTest, EmptySelectIsAtItsEndAndFinalizedByTheDestructor)
{
    OpenWithRows();
    {
        CSqlQuery q = db.Query("SELECT * FROM t WHERE id='99';");
        EXPECT_TRUE(q.IsEof());
        EXPECT_EQ(q.GetFieldCount(), 3);
        EXPECT_EQ(LiveStatements(db), 1);
    }
    EXPECT_EQ(LiveStatements(db), 0);
}

TEST_F(SqlDBTest, QueriesWithoutAStatementSaySo)
{
    OpenWithRows();
    CSqlQuery none;
    for (int op = 0; op < 4; ++op)
    {
        CSqlException e = ThrownSql(
            [&]
            {
                if (op == 0)
                    none.IsEof();
                else if (op == 1)
                    none.NextRow();
                else if (op == 2)
                    none.GetFieldValue(0);
                else
                    none.GetFieldCount();
            });
        EXPECT_EQ(e.GetErrorCode(), CSQL_ERROR);
        EXPECT_STREQ(e.GetErrorMessage(), "CSQL_ERROR[1000]: Null Virtual Machine pointer");
    }
    none.Finalize(); // nothing to finalize: no error

    CSqlQuery q = db.Query("SELECT * FROM t;");
    q.Finalize();
    EXPECT_EQ(ThrownSql([&] { q.IsEof(); }).GetErrorCode(), CSQL_ERROR);
    EXPECT_EQ(LiveStatements(db), 0);

    // A text without a statement compiles to nothing.
    CSqlQuery blank = db.Query("   ");
    EXPECT_EQ(ThrownSql([&] { blank.IsEof(); }).GetErrorCode(), CSQL_ERROR);
}

TEST_F(SqlDBTest, AssignmentMovesTheStatementAndFinalizesOnce)
{
    OpenWithRows();
    {
        CSqlQuery target = db.Query("SELECT * FROM t WHERE id='1';");
        CSqlQuery source = db.Query("SELECT * FROM t;");
        EXPECT_EQ(LiveStatements(db), 2);

        // The target's old statement is finalized, the source's taken over.
        target = std::move(source);
        EXPECT_EQ(LiveStatements(db), 1);
        EXPECT_EQ(ThrownSql([&] { source.IsEof(); }).GetErrorCode(), CSQL_ERROR);
        ASSERT_FALSE(target.IsEof());
        target.NextRow();
        target.NextRow();
        EXPECT_STREQ(target.GetFieldText(2), "12abc");

        // Reassigning from the database, the way callers reuse one query.
        target = db.Query("SELECT * FROM t WHERE id='2';");
        EXPECT_EQ(LiveStatements(db), 1);
        EXPECT_EQ(target.GetFieldInt(0), 2);

        CSqlQuery moved(std::move(target));
        EXPECT_EQ(moved.GetFieldInt(0), 2);
        EXPECT_EQ(ThrownSql([&] { target.IsEof(); }).GetErrorCode(), CSQL_ERROR);
        EXPECT_EQ(LiveStatements(db), 1);
    }
    EXPECT_EQ(LiveStatements(db), 0);
}

TEST_F(SqlDBTest, AttachAndDetachHandOverTheStatement)
{
    OpenWithRows();
    CSqlQuery q;
    q.Attach(db.Compile("SELECT * FROM t; trailing text is ignored"));
    EXPECT_FALSE(q.IsEof());
    EXPECT_STREQ(q.GetFieldText(2), "one");

    sqlite3_stmt* vm = q.Detach();
    ASSERT_NE(vm, nullptr);
    EXPECT_EQ(ThrownSql([&] { q.IsEof(); }).GetErrorCode(), CSQL_ERROR);
    EXPECT_EQ(LiveStatements(db), 1);
    sqlite3_finalize(vm);
    EXPECT_EQ(LiveStatements(db), 0);
}

TEST_F(SqlDBTest, AFailingStepThrowsAndLeavesNoStatement)
{
    OpenWithRows();
    // abs() of the smallest integer overflows while the row is computed.
    db.Execute("CREATE TABLE big (v INTEGER);");
    db.Execute("INSERT INTO big VALUES (1);");
    db.Execute("INSERT INTO big VALUES (-9223372036854775808);");

    CSqlQuery q = db.Query("SELECT abs(v) FROM big;");
    EXPECT_EQ(q.GetFieldInt(0), 1);
    CSqlException e = ThrownSql([&] { q.NextRow(); });
    EXPECT_EQ(e.GetErrorCode(), 1);
    EXPECT_STREQ(e.GetErrorMessage(), "SQL_ERROR[1]: integer overflow");
    EXPECT_STREQ(ThrownSql([&] { q.IsEof(); }).GetErrorMessage(),
                 "CSQL_ERROR[1000]: Null Virtual Machine pointer");

    CSqlException first = ThrownSql([&] { db.Query("SELECT abs(v) FROM big ORDER BY v;"); });
    EXPECT_EQ(first.GetErrorCode(), 1);
    EXPECT_EQ(LiveStatements(db), 0);
}

TEST_F(SqlDBTest, ApostrophesDoubledRoundTrip)
{
    OpenWithRows();
    const char* value = "Bob's 'quoted' pass''word'";
    CString sql;
    sql.Format("INSERT INTO t VALUES (NULL, '4', '%s');", (const char*)SqlEscapeQuotes(value));
    EXPECT_EQ(db.Execute(sql), 1);
    CSqlQuery q = db.Query("SELECT * FROM t WHERE n='4';");
    ASSERT_FALSE(q.IsEof());
    EXPECT_STREQ(q.GetFieldText(2), value);
}

TEST_F(SqlDBTest, ABusyDatabaseThrowsAfterTheTimeOut)
{
    OpenWithRows();
    CSqlDB other;
    other.Open(folder / "test.db");
    other.SetBusyTimeout(200);
    EXPECT_EQ(other.GetBusyTimeout(), 200);

    db.Execute("BEGIN EXCLUSIVE;");
    CSqlException e = ThrownSql([&] { other.Execute("INSERT INTO t VALUES (NULL, '9', 'x');"); });
    EXPECT_EQ(e.GetErrorCode(), 5);
    EXPECT_STREQ(e.GetErrorMessage(), "SQL_BUSY[5]: database is locked");
    db.Execute("COMMIT;");

    // Once the lock is gone the same statement goes through.
    EXPECT_EQ(other.Execute("INSERT INTO t VALUES (NULL, '9', 'x');"), 1);
}

TEST_F(SqlDBTest, QueryOutlivingItsDatabaseStaysReadable)
{
    CSqlQuery q;
    {
        CSqlDB local;
        local.Open(folder / "short.db");
        local.Execute("CREATE TABLE t (s TEXT);");
        local.Execute("INSERT INTO t VALUES ('kept');");
        q = local.Query("SELECT * FROM t;");
    }
    // The handle closes only once the statement is finalized.
    EXPECT_STREQ(q.GetFieldText(0), "kept");
    q.Finalize();
}
