#include "db/dbconnection.h"
#include "db/trackdb.h"

#include <strings.h>

namespace trackdb {

std::mutex& callLock()
{
    static std::mutex lock;
    return lock;
}

int exec(sqlite3* db, const char* sql, char** message)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, message);
}

const char* tableColumn(const char* name)
{
    static const char* const columns[] = {
        "TrackID", "PersistentID", "Name", "TotalTime", "Artist", "Album", "Size",
        "Location", "ArtData", "ArtPath", "Absence", "State", "RepeatID", "Type",
        "Year", "Genre", "Bitrate", "TrashPath", "NameOld", "ArtistOld", "AlbumOld",
        "YearOld", "GenreOld",
    };
    if (!name)
        return nullptr;
    for (const char* column : columns) {
        if (strcasecmp(column, name) == 0)
            return column;
    }
    return nullptr;
}

Statement::Statement(sqlite3* db, const char* sql)
{
    m_prepare = sqlite3_prepare_v2(db, sql, -1, &m_stmt, nullptr);
}

Statement::~Statement()
{
    sqlite3_finalize(m_stmt);
}

// Without a prepared statement every bind fails; the prepare's failure is
// the one to tell.
void Statement::bound(int result)
{
    if (result != SQLITE_OK && m_stmt && m_failure == SQLITE_OK)
        m_failure = result;
}

void Statement::bindText(int pos, const char* text)
{
    if (text)
        bound(sqlite3_bind_text(m_stmt, pos, text, -1, SQLITE_STATIC));
    else
        bound(sqlite3_bind_null(m_stmt, pos));
}

void Statement::bindTextOrEmpty(int pos, const char* text)
{
    bound(sqlite3_bind_text(m_stmt, pos, text ? text : "", -1, SQLITE_STATIC));
}

void Statement::bindInt(int pos, long long value)
{
    bound(sqlite3_bind_int64(m_stmt, pos, value));
}

void Statement::bindNull(int pos)
{
    bound(sqlite3_bind_null(m_stmt, pos));
}

void Statement::bindBlob(int pos, const void* data, int length)
{
    bound(sqlite3_bind_blob(m_stmt, pos, data, length, SQLITE_STATIC));
}

int Statement::step()
{
    if (!m_stmt)
        return m_prepare;
    if (m_failure != SQLITE_OK)
        return m_failure;
    const int result = sqlite3_step(m_stmt);
    if (result != SQLITE_ROW && result != SQLITE_DONE)
        m_failure = result;
    return result;
}

int Statement::finish()
{
    if (m_prepare != SQLITE_OK)
        return m_prepare;
    const int result = sqlite3_finalize(m_stmt);
    m_stmt = nullptr;
    return m_failure != SQLITE_OK ? m_failure : result;
}

} // namespace trackdb

const char* DBResultText(int result)
{
    switch (result) {
    case DB_ERR_NO_CONNECTION: return "no database is open";
    case DB_ERR_ARGUMENT: return "a missing or unknown argument";
    case DB_ERR_QUERY: return "the query failed";
    case DB_ERR_NOT_FOUND: return "no single row";
    case DB_ERR_NO_ROW_CHANGED: return "no row matched";
    case DB_ERR_ROLLED_BACK: return "the database had already rolled the changes back";
    case DB_ERR_NO_TABLE: return "the file holds no track table";
    default: return sqlite3_errstr(result);
    }
}
