// The SQL wrapper: every access of the main program to its databases (the
// profile and the cache) goes through these three classes over SQLite 3.
//
// - CSqlDB: one open database file, with a fixed busy time-out;
// - CSqlQuery: the forward-only cursor of one SELECT, columns by index;
// - CSqlException: the one error type, thrown by value, caught by reference.
//
// Every non-zero library result becomes a CSqlException whose text names the
// code ("SQL_ERROR[1]: no such table: backup_what"). The wrapper's own errors
// have code CSQL_ERROR (1000). Extended result codes stay off, so the codes
// keep to the name table of SqlErrorCodeName.
//
// Statements are built as text with values between single quotes; the
// library's own quoting is not used, so callers escape their values: the
// profile encodes its paths with "#245#", the cache its keys with "#1#" to
// "#5#", and every other text goes through SqlEscapeQuotes.
//
// Objects are not shared between threads; threads open the same file with
// separate CSqlDB objects and the library's locking with the busy time-out
// serialises them.
#ifndef BRINDLEWOX_ENGINE_SQLDB_H
#define BRINDLEWOX_ENGINE_SQLDB_H

#include "foundation/Base.h"
#include "foundation/String.h"

#include <initializer_list>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

// The code of the wrapper's own errors.
constexpr int CSQL_ERROR = 1000;

// The name of a result code as the exception texts show it: "SQL_OK" (0) to
// "SQL_RANGE" (25), "SQL_ROW" (100), "SQL_DONE" (101), "CSQL_ERROR" (1000),
// and "UNKNOWN_ERROR" for anything else (26, "file is not a database",
// included).
const char* SqlErrorCodeName(int code);

// The text with every apostrophe doubled, ready to go between the single
// quotes of a statement; the stored value is the text itself.
CString SqlEscapeQuotes(const char* text);

class CSqlException
{
public:
    // The message becomes "NAME[code]: text" (an empty text for a null
    // message). With freeMessage set, a given message came from the library's
    // allocator and is released here once copied.
    CSqlException(int code, const char* message, bool freeMessage);
    CSqlException(const CSqlException& other);
    CSqlException& operator=(const CSqlException& other);
    virtual ~CSqlException();

    int GetErrorCode() const { return m_code; }
    // The whole text, never null ("" when the library could not allocate it).
    const char* GetErrorMessage() const { return m_message ? m_message : ""; }

private:
    int m_code;
    // Owned; made by sqlite3_mprintf and released with sqlite3_free.
    char* m_message;
};

// The cursor of one SELECT. It owns its compiled statement and finalizes it
// once: a query can be moved (the source is left without a statement) but
// never copied. The column texts belong to the library and stay valid until
// the next step or the finalize.
class CSqlQuery
{
public:
    // No statement, at its end, no columns.
    CSqlQuery();
    CSqlQuery(CSqlQuery&& other) noexcept;
    // Finalizes the statement held (an error is swallowed), then takes over
    // the other's; the other is left empty.
    CSqlQuery& operator=(CSqlQuery&& other) noexcept;
    CSqlQuery(const CSqlQuery&) = delete;
    CSqlQuery& operator=(const CSqlQuery&) = delete;
    // Finalizes; never throws.
    virtual ~CSqlQuery();

    // Finalizes the statement held, takes over a compiled one and steps to its
    // first row. A failing step finalizes the statement and throws.
    void Attach(sqlite3_stmt* vm);
    // Gives up the statement without finalizing it; the query is empty after.
    sqlite3_stmt* Detach();
    // Runs the statement held again from its start, with `text` as the value
    // of its one parameter ("?"), and steps to the first row. The value is
    // bound as a text, never spliced into the statement, so it needs no
    // escaping; the statement is compiled once for any number of runs (the
    // compile costs more than a lookup by an index). A failing step
    // finalizes the statement and throws, as NextRow.
    void RunWith(const char* text);

    // Releases the statement; a non-zero result throws (the statement is gone
    // all the same).
    void Finalize();

    // The accessors below throw CSQL_ERROR "Null Virtual Machine pointer" on a
    // query without a statement (never filled, moved from, finalized, or
    // failed in a step).
    bool IsEof() const;
    // Steps to the next row. At the end it stays at the end: the library
    // would start the statement over. A failing step finalizes the statement
    // and throws.
    void NextRow();
    int GetFieldCount() const;
    // The column's text of the current row, or null for a NULL column (every
    // column reads as NULL at the end). An index outside the columns throws
    // CSQL_ERROR "Invalid field index requested".
    const char* GetFieldValue(int index) const;
    bool FieldIsNull(int index) const;
    // atoi of the text ("12abc" gives 12); the default for a NULL column.
    int GetFieldInt(int index, int defaultValue = 0) const;
    const char* GetFieldText(int index, const char* defaultValue = "") const;

private:
    void CheckVM() const;
    // One step: refreshes the row or sets the end flag; a failure finalizes
    // and throws.
    void Step();
    void Reset();

    sqlite3_stmt* m_vm;
    bool m_eof;
    int m_count;
    // The current row's texts as the library hands them out (null: NULL).
    std::vector<const char*> m_values;
};

// One open database file. Keep it as a local per operation: open, run the
// statements, close (the destructor closes too).
class CSqlDB
{
public:
    static constexpr int DefaultBusyTimeout = 60000;

    CSqlDB();
    CSqlDB(const CSqlDB&) = delete;
    CSqlDB& operator=(const CSqlDB&) = delete;
    virtual ~CSqlDB();

    // Opens (and when missing creates, as an empty database) the file, an
    // ANSI path, then applies the busy time-out. A handle already open is
    // closed first. Failure throws SQL_CANTOPEN (14) with the library's text.
    // The library opens lazily: a file that is no database opens fine and
    // its first statement throws code 26, "file is not a database".
    void Open(const char* file);
    // Closes when open. Statements still alive keep the file open until they
    // are finalized.
    void Close();
    bool IsOpen() const { return m_db != nullptr; }
    // Takes over an open handle (closing the one held); Detach gives it up
    // without closing.
    void Attach(sqlite3* handle);
    sqlite3* Detach();

    // Stores the time-out and applies it to an open handle; a busy database
    // is retried for that long before SQL_BUSY (5) is thrown.
    void SetBusyTimeout(int milliseconds);
    int GetBusyTimeout() const { return m_busyTimeout; }

    // The operations below throw CSQL_ERROR "Database not open" when no file
    // is open, and CSqlException for every library error.

    // Runs statements that return no rows; the rows changed by the last
    // INSERT, UPDATE or DELETE.
    int Execute(const char* sql);
    // Compiles one statement (text after it is ignored); the caller owns the
    // result (hand it to CSqlQuery::Attach).
    sqlite3_stmt* Compile(const char* sql);
    // Compiles one SELECT and steps to its first row.
    CSqlQuery Query(const char* sql);

private:
    void CheckDB() const;

    sqlite3* m_db;
    int m_busyTimeout;
};

// "BEGIN TRANSACTION;" on construction, "COMMIT;" by Commit, and "ROLLBACK;"
// when it goes out of scope uncommitted (an exception on the way out), so a
// group of statements is stored whole or not at all.
class CSqlTransaction
{
public:
    explicit CSqlTransaction(CSqlDB& db);
    CSqlTransaction(const CSqlTransaction&) = delete;
    CSqlTransaction& operator=(const CSqlTransaction&) = delete;
    // Rolls back when not committed; never throws.
    ~CSqlTransaction();
    void Commit();

private:
    CSqlDB& m_db;
    bool m_open;
};

// Makes a new database file with the statements (its tables, indexes and
// first rows) when nothing is at the path: true when it was made. The
// statements run in one transaction, and a failure removes the file again
// and throws, so no later open finds a file without its tables.
bool CreateDatabaseIfMissing(const char* file, std::initializer_list<const char*> statements);

#endif
