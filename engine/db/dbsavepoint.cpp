#include "db/dbsavepoint.h"

#include "db/dbconnection.h"
#include "db/trackdb.h"

#include <QDebug>

#include <cctype>

namespace {

// Identifiers cannot be bound, so only plain words go into the statement.
bool isPlainIdentifier(const char* name)
{
    if (!name || !(std::isalpha(static_cast<unsigned char>(*name)) || *name == '_'))
        return false;
    for (const char* c = name; *c; ++c) {
        if (!(std::isalnum(static_cast<unsigned char>(*c)) || *c == '_'))
            return false;
    }
    return true;
}

int execOnConnection(const std::string& sql)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    char* message = nullptr;
    const int result = trackdb::exec(db, sql.c_str(), &message);
    if (result != SQLITE_OK)
        qDebug("%s Failed!%d %s", sql.c_str(), result, message);
    sqlite3_free(message);
    return result;
}

} // namespace

DBSavepoint::DBSavepoint(const char* name)
{
    if (!isPlainIdentifier(name)) {
        m_status = DB_ERR_ARGUMENT;
        return;
    }
    m_name = name;
    m_status = execOnConnection("SAVEPOINT " + m_name);
    m_open = m_status == SQLITE_OK;
}

DBSavepoint::~DBSavepoint()
{
    // A block SQLite rolled back has no savepoint left to go back to.
    if (!m_open || rolledBack())
        return;
    // ROLLBACK TO keeps the savepoint on the stack; RELEASE then removes it,
    // ending the transaction when this savepoint opened it.
    execOnConnection("ROLLBACK TO SAVEPOINT " + m_name);
    execOnConnection("RELEASE SAVEPOINT " + m_name);
}

// An open savepoint always stands in a transaction: the connection back in
// autocommit mode means the transaction is gone, and the savepoint with it.
bool DBSavepoint::rolledBack() const
{
    if (!m_open)
        return false;
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    return !db || sqlite3_get_autocommit(db) != 0;
}

int DBSavepoint::commit()
{
    if (!m_open)
        return DB_ERR_NO_CONNECTION;
    if (rolledBack()) {
        m_open = false;
        qDebug("RELEASE SAVEPOINT %s Failed! the block was rolled back", m_name.c_str());
        return DB_ERR_ROLLED_BACK;
    }
    const int result = execOnConnection("RELEASE SAVEPOINT " + m_name);
    if (result == SQLITE_OK)
        m_open = false;
    return result;
}
