#include "engine/SqlDB.h"

#include "engine/FileSystem.h"
#include "foundation/Utility.h"

#include <sqlite3.h>

#include <cstdlib>
#include <string>
#include <utility>

namespace
{
const char kNotOpen[] = "Database not open";
const char kNoMachine[] = "Null Virtual Machine pointer";
const char kBadIndex[] = "Invalid field index requested";

// The library takes file names in UTF-8; ours are ANSI texts of the code page
// (a user name with an accent is part of every per-user path).
std::string AnsiToUtf8(const char* text)
{
    int wide = MultiByteToWideChar(CP_ACP, 0, text, -1, nullptr, 0);
    if (wide <= 0)
        return text;
    std::wstring w(static_cast<size_t>(wide), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text, -1, &w[0], wide);
    int bytes = WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, nullptr, 0, nullptr, nullptr);
    if (bytes <= 0)
        return text;
    std::string utf8(static_cast<size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, w.c_str(), -1, &utf8[0], bytes, nullptr, nullptr);
    utf8.resize(static_cast<size_t>(bytes - 1));
    return utf8;
}
} // namespace

const char* SqlErrorCodeName(int code)
{
    static const char* const names[] = {
        "SQL_OK",       "SQL_ERROR",   "SQL_INTERNAL", "SQL_PERM",     "SQL_ABORT",
        "SQL_BUSY",     "SQL_LOCKED",  "SQL_NOMEM",    "SQL_READONLY", "SQL_INTERRUPT",
        "SQL_IOERR",    "SQL_CORRUPT", "SQL_NOTFOUND", "SQL_FULL",     "SQL_CANTOPEN",
        "SQL_PROTOCOL", "SQL_EMPTY",   "SQL_SCHEMA",   "SQL_TOOBIG",   "SQL_CONSTRAINT",
        "SQL_MISMATCH", "SQL_MISUSE",  "SQL_NOLFS",    "SQL_AUTH",     "SQL_FORMAT",
        "SQL_RANGE"};
    if (code >= 0 && code < static_cast<int>(sizeof(names) / sizeof(names[0])))
        return names[code];
    switch (code)
    {
    case 100:
        return "SQL_ROW";
    case 101:
        return "SQL_DONE";
    case CSQL_ERROR:
        return "CSQL_ERROR";
    default:
        return "UNKNOWN_ERROR";
    }
}

CString SqlEscapeQuotes(const char* text)
{
    CString result(text);
    StringReplace("''", "'", result, TRUE);
    return result;
}

// CSqlException

CSqlException::CSqlException(int code, const char* message, bool freeMessage)
    : m_code(code),
      m_message(sqlite3_mprintf("%s[%d]: %s", SqlErrorCodeName(code), code, message ? message : ""))
{
    if (freeMessage && message)
        sqlite3_free(const_cast<char*>(message));
}

CSqlException::CSqlException(const CSqlException& other)
    : m_code(other.m_code),
      m_message(other.m_message ? sqlite3_mprintf("%s", other.m_message) : nullptr)
{
}

CSqlException& CSqlException::operator=(const CSqlException& other)
{
    if (this != &other)
    {
        char* copy = other.m_message ? sqlite3_mprintf("%s", other.m_message) : nullptr;
        sqlite3_free(m_message);
        m_message = copy;
        m_code = other.m_code;
    }
    return *this;
}

CSqlException::~CSqlException()
{
    if (m_message)
    {
        sqlite3_free(m_message);
        m_message = nullptr;
    }
}

// CSqlQuery

CSqlQuery::CSqlQuery() : m_vm(nullptr), m_eof(true), m_count(0) {}

CSqlQuery::CSqlQuery(CSqlQuery&& other) noexcept
    : m_vm(other.m_vm), m_eof(other.m_eof), m_count(other.m_count),
      m_values(std::move(other.m_values))
{
    other.Reset();
}

CSqlQuery& CSqlQuery::operator=(CSqlQuery&& other) noexcept
{
    if (this != &other)
    {
        try
        {
            Finalize();
        }
        catch (const CSqlException&)
        {
            // The old statement is gone either way; its late error does not
            // concern the new one.
        }
        m_vm = other.m_vm;
        m_eof = other.m_eof;
        m_count = other.m_count;
        m_values = std::move(other.m_values);
        other.Reset();
    }
    return *this;
}

CSqlQuery::~CSqlQuery()
{
    try
    {
        Finalize();
    }
    catch (const CSqlException&)
    {
        // Destructors never throw; a statement that failed reported it when
        // it stepped.
    }
}

void CSqlQuery::Reset()
{
    m_vm = nullptr;
    m_eof = true;
    m_count = 0;
    m_values.clear();
}

void CSqlQuery::Attach(sqlite3_stmt* vm)
{
    try
    {
        Finalize();
    }
    catch (const CSqlException&)
    {
        // As in the move assignment: the old statement is gone either way.
    }
    // An empty statement text compiles to no statement: the query stays
    // empty and its accessors say so.
    m_vm = vm;
    if (m_vm)
        Step();
}

void CSqlQuery::RunWith(const char* text)
{
    CheckVM();
    sqlite3_reset(m_vm);
    const int bound = sqlite3_bind_text(m_vm, 1, text, -1, SQLITE_TRANSIENT);
    if (bound != SQLITE_OK)
        throw CSqlException(bound, sqlite3_errmsg(sqlite3_db_handle(m_vm)), false);
    Step();
}

sqlite3_stmt* CSqlQuery::Detach()
{
    sqlite3_stmt* vm = m_vm;
    Reset();
    return vm;
}

void CSqlQuery::Finalize()
{
    if (!m_vm)
        return;
    sqlite3_stmt* vm = m_vm;
    sqlite3* db = sqlite3_db_handle(vm);
    Reset();
    int result = sqlite3_finalize(vm);
    if (result != SQLITE_OK)
        throw CSqlException(result, sqlite3_errmsg(db), false);
}

void CSqlQuery::Step()
{
    int result = sqlite3_step(m_vm);
    if (result == SQLITE_ROW || result == SQLITE_DONE)
    {
        m_eof = result == SQLITE_DONE;
        m_count = sqlite3_column_count(m_vm);
        m_values.assign(static_cast<size_t>(m_count), nullptr);
        if (!m_eof)
        {
            // The type first: reading the text of a NULL column would give
            // a null pointer too, but only by way of a conversion.
            for (int i = 0; i < m_count; ++i)
                if (sqlite3_column_type(m_vm, i) != SQLITE_NULL)
                    m_values[static_cast<size_t>(i)] =
                        reinterpret_cast<const char*>(sqlite3_column_text(m_vm, i));
        }
        return;
    }
    // The step's own code is the statement's error; the text is copied into
    // the exception before the finalize releases the statement.
    CSqlException error(result, sqlite3_errmsg(sqlite3_db_handle(m_vm)), false);
    sqlite3_stmt* vm = m_vm;
    Reset();
    sqlite3_finalize(vm);
    throw error;
}

void CSqlQuery::CheckVM() const
{
    if (!m_vm)
        throw CSqlException(CSQL_ERROR, kNoMachine, false);
}

bool CSqlQuery::IsEof() const
{
    CheckVM();
    return m_eof;
}

void CSqlQuery::NextRow()
{
    CheckVM();
    if (!m_eof)
        Step();
}

int CSqlQuery::GetFieldCount() const
{
    CheckVM();
    return m_count;
}

const char* CSqlQuery::GetFieldValue(int index) const
{
    CheckVM();
    if (index < 0 || index >= m_count)
        throw CSqlException(CSQL_ERROR, kBadIndex, false);
    return m_values[static_cast<size_t>(index)];
}

bool CSqlQuery::FieldIsNull(int index) const
{
    return GetFieldValue(index) == nullptr;
}

int CSqlQuery::GetFieldInt(int index, int defaultValue) const
{
    const char* value = GetFieldValue(index);
    return value ? atoi(value) : defaultValue;
}

const char* CSqlQuery::GetFieldText(int index, const char* defaultValue) const
{
    const char* value = GetFieldValue(index);
    return value ? value : defaultValue;
}

// CSqlDB

CSqlDB::CSqlDB() : m_db(nullptr), m_busyTimeout(DefaultBusyTimeout) {}

CSqlDB::~CSqlDB()
{
    Close();
}

void CSqlDB::Open(const char* file)
{
    Close();
    sqlite3* db = nullptr;
    int result = sqlite3_open_v2(AnsiToUtf8(file ? file : "").c_str(), &db,
                                 SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK)
    {
        // The library hands out a handle even when the open fails; it holds
        // the error text and must be closed too.
        CSqlException error(SQLITE_CANTOPEN, db ? sqlite3_errmsg(db) : sqlite3_errstr(result),
                            false);
        sqlite3_close(db);
        throw error;
    }
    m_db = db;
    SetBusyTimeout(m_busyTimeout);
}

void CSqlDB::Close()
{
    if (m_db)
    {
        // The _v2 form: a query that outlives this object keeps the handle
        // alive until it is finalized, instead of leaking it.
        sqlite3_close_v2(m_db);
        m_db = nullptr;
    }
}

void CSqlDB::Attach(sqlite3* handle)
{
    Close();
    m_db = handle;
}

sqlite3* CSqlDB::Detach()
{
    sqlite3* db = m_db;
    m_db = nullptr;
    return db;
}

void CSqlDB::SetBusyTimeout(int milliseconds)
{
    m_busyTimeout = milliseconds;
    if (m_db)
        sqlite3_busy_timeout(m_db, milliseconds);
}

void CSqlDB::CheckDB() const
{
    if (!m_db)
        throw CSqlException(CSQL_ERROR, kNotOpen, false);
}

int CSqlDB::Execute(const char* sql)
{
    CheckDB();
    char* error = nullptr;
    int result = sqlite3_exec(m_db, sql, nullptr, nullptr, &error);
    if (result != SQLITE_OK)
        throw CSqlException(result, error, true);
    return sqlite3_changes(m_db);
}

sqlite3_stmt* CSqlDB::Compile(const char* sql)
{
    CheckDB();
    sqlite3_stmt* vm = nullptr;
    const char* tail = nullptr;
    int result = sqlite3_prepare_v2(m_db, sql, -1, &vm, &tail);
    if (result != SQLITE_OK)
        throw CSqlException(result, sqlite3_errmsg(m_db), false);
    return vm;
}

CSqlQuery CSqlDB::Query(const char* sql)
{
    CSqlQuery query;
    query.Attach(Compile(sql));
    return query;
}

// CSqlTransaction

CSqlTransaction::CSqlTransaction(CSqlDB& db) : m_db(db), m_open(false)
{
    m_db.Execute("BEGIN TRANSACTION;");
    m_open = true;
}

CSqlTransaction::~CSqlTransaction()
{
    if (!m_open)
        return;
    try
    {
        m_db.Execute("ROLLBACK;");
    }
    catch (const CSqlException&)
    {
        // Some failures (a full disk, a broken journal) have rolled the
        // transaction back already; there is nothing left to undo.
    }
}

void CSqlTransaction::Commit()
{
    m_db.Execute("COMMIT;");
    m_open = false;
}

bool CreateDatabaseIfMissing(const char* file, std::initializer_list<const char*> statements)
{
    if (FileExists(file))
        return false;
    try
    {
        CSqlDB db;
        db.Open(file);
        CSqlTransaction transaction(db);
        for (const char* statement : statements)
            db.Execute(statement);
        transaction.Commit();
    }
    catch (const CSqlException&)
    {
        DeleteFileA(file);
        throw;
    }
    return true;
}
