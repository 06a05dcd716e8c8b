// Changes to the engine's working database made over a connection of the
// test's own, beside the engine's.
#pragma once

#include "recordlist.h"

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

} // namespace mmtest
