// Changes to the engine's working database made over a connection of the
// test's own, beside the engine's.
#pragma once

#include "recordlist.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <sqlite3.h>

namespace mmtest {

// Runs SQL on the database file; false, with SQLite's message as a warning,
// when it fails.
inline bool execSql(const QString& dbPath, const QString& sql)
{
    sqlite3* db = nullptr;
    char* message = nullptr;
    // The engine may still be committing a load or a save.
    const bool ok = sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_busy_timeout(db, testrecords::kWaitMs) == SQLITE_OK
        && sqlite3_exec(db, sql.toUtf8().constData(), nullptr, nullptr, &message) == SQLITE_OK;
    if (!ok)
        qWarning("%s: %s", qPrintable(sql), message ? message : sqlite3_errmsg(db));
    sqlite3_free(message);
    sqlite3_close(db);
    return ok;
}

// The rows of TracksTable that match where (an SQL condition); -1 when the
// file cannot be read as the engine's database. Opened for writing, so a
// commit a killed process left half done is rolled back first; never made.
inline int countRows(const QString& dbPath, const QByteArray& where = "1")
{
    sqlite3* db = nullptr;
    sqlite3_stmt* query = nullptr;
    int count = -1;
    const QByteArray sql = "select count(*) from TracksTable where " + where;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.constData(), -1, &query, nullptr) == SQLITE_OK
        && sqlite3_step(query) == SQLITE_ROW)
        count = sqlite3_column_int(query, 0);
    sqlite3_finalize(query);
    sqlite3_close(db);
    return count;
}

} // namespace mmtest
