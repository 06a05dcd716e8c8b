// Opening, creating and migrating the track database, and its transactions.
#include "db/dbconnection.h"
#include "db/trackdb.h"

#include <QDebug>

#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>
#include <unistd.h>
#include <vector>

namespace {

struct Connection
{
    char* path = nullptr;
    sqlite3* handle = nullptr;
};

Connection* g_pGlobal = nullptr;

// How long a statement waits for another connection's lock on the file.
constexpr int kBusyWaitMs = 10000;

const char* const kCreateTable =
    "create table TracksTable\t\t(TrackID integer,\t\t PersistentID text,Name text,"
    "TotalTime text,Artist text,\t\t Album text,Size text,Location text,ArtData blob,"
    "\t\t ArtPath text,Absence integer,State integer, RepeatID integer,\t\t Type integer,"
    "Year text,Genre text,Bitrate text,TrashPath text,\t\t NameOld text,ArtistOld text,"
    "AlbumOld text,YearOld text,GenreOld text)";

// Every lookup, update and delete goes by (PersistentID, Type); without this a
// save of tens of thousands of tracks scans the whole table once per track.
// Readers that know only the table are not disturbed by it.
const char* const kCreateIndex =
    "CREATE INDEX IF NOT EXISTS TracksTableKey ON TracksTable (PersistentID, Type)";

// The columns every layout of the table has had.
const char* const kFirstColumns[] = {
    "TrackID", "PersistentID", "Name", "TotalTime", "Artist", "Album", "Size",
    "Location", "ArtData", "ArtPath", "Absence", "State", "RepeatID", "Type",
};

// The columns later layouts added, in the order they are added: the first four
// came with the 18-column layout, the rest with the 23-column one.
struct LaterColumn
{
    const char* name;
    const char* alter;
};
const LaterColumn kLaterColumns[] = {
    {"Year", "ALTER TABLE TracksTable ADD COLUMN Year text"},
    {"Genre", "ALTER TABLE TracksTable ADD COLUMN Genre text"},
    {"Bitrate", "ALTER TABLE TracksTable ADD COLUMN Bitrate text"},
    {"TrashPath", "ALTER TABLE TracksTable ADD COLUMN TrashPath text"},
    {"NameOld", "ALTER TABLE TracksTable ADD COLUMN NameOld text"},
    {"ArtistOld", "ALTER TABLE TracksTable ADD COLUMN ArtistOld text"},
    {"AlbumOld", "ALTER TABLE TracksTable ADD COLUMN AlbumOld text"},
    {"YearOld", "ALTER TABLE TracksTable ADD COLUMN YearOld text"},
    {"GenreOld", "ALTER TABLE TracksTable ADD COLUMN GenreOld text"},
};

// Column names of TracksTable as the file declares them; empty when the file
// holds no such table or cannot be read. Unlike a look at the first row, this
// sees the columns of an empty table too.
std::vector<std::string> presentColumns(sqlite3* db)
{
    std::vector<std::string> names;
    trackdb::Statement query(db, "PRAGMA table_info(TracksTable)");
    if (query.prepareResult() != SQLITE_OK)
        return names;
    while (query.step() == SQLITE_ROW) {
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), 1));
        names.emplace_back(name ? name : "");
    }
    return names;
}

bool hasColumn(const std::vector<std::string>& names, const char* column)
{
    for (const std::string& name : names) {
        if (strcasecmp(name.c_str(), column) == 0)
            return true;
    }
    return false;
}

void ensureIndex(sqlite3* db)
{
    char* message = nullptr;
    const int result = trackdb::exec(db, kCreateIndex, &message);
    if (result != SQLITE_OK)
        qDebug("Create TracksTable index Failed %d: %s", result, message);
    sqlite3_free(message);
}

// Any table that has the first fourteen columns is ours, in some layout,
// whatever else it has; a table missing any of them is someone else's.
bool isOurTable(const std::vector<std::string>& names)
{
    if (names.empty())
        return false;
    for (const char* column : kFirstColumns) {
        if (!hasColumn(names, column))
            return false;
    }
    return true;
}

// Adds what an older layout lacks, so a migration cut short earlier is
// completed now; a table not ours stays as it is. A failed ALTER is
// ignored: the next open tries it again.
int migrate(sqlite3* db)
{
    const std::vector<std::string> names = presentColumns(db);
    if (!isOurTable(names))
        return DB_OPENED;
    int result = DB_OPENED;
    for (const LaterColumn& later : kLaterColumns) {
        if (hasColumn(names, later.name))
            continue;
        trackdb::exec(db, later.alter, nullptr);
        result = DB_MIGRATED;
    }
    ensureIndex(db);
    return result;
}

int createTable(sqlite3* db)
{
    char* message = nullptr;
    int result = trackdb::exec(db, kCreateTable, &message);
    if (result == SQLITE_OK)
        result = trackdb::exec(db, kCreateIndex, &message);
    if (result != SQLITE_OK)
        qDebug("Create TracksTable Failed %d: %s", result, message);
    sqlite3_free(message);
    return result;
}

void closeConnection()
{
    if (!g_pGlobal)
        return;
    sqlite3_close(g_pGlobal->handle);
    std::free(g_pGlobal->path);
    delete g_pGlobal;
    g_pGlobal = nullptr;
}

// verb is "begin" or "commit"; the log texts follow from it.
int runTransactionStatement(sqlite3* db, const char* verb, const char* success)
{
    const std::string sql = std::string(verb) + " transaction";
    char* message = nullptr;
    const int result = trackdb::exec(db, sql.c_str(), &message);
    if (result == SQLITE_OK)
        qDebug("%s", success);
    else
        qDebug("%s transaction Failed!%d %s", verb, result, message);
    sqlite3_free(message);
    return result;
}

// A failed commit (a full disk, an I/O error) may leave the transaction
// open; every later write would then join it and be lost with it.
void rollBackWhatIsLeft(sqlite3* db)
{
    if (sqlite3_get_autocommit(db))
        return;
    char* message = nullptr;
    if (trackdb::exec(db, "rollback transaction", &message) != SQLITE_OK)
        qDebug("rollback transaction Failed! %s", message);
    sqlite3_free(message);
}

} // namespace

sqlite3* trackdb::handle()
{
    return g_pGlobal ? g_pGlobal->handle : nullptr;
}

int OpenSqlite3DB(const char* path)
{
    if (!path)
        return DB_OPEN_NULL_PATH;
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    closeConnection();
    // Rows or a count cached from the previous file must never be handed out
    // as if they belonged to this one.
    trackdb::resetReadState();

    g_pGlobal = new (std::nothrow) Connection;
    if (!g_pGlobal || !(g_pGlobal->path = strdup(path))) {
        closeConnection();
        return DB_OPEN_NO_MEMORY;
    }
    const bool existed = access(path, F_OK) == 0;
    // Serialized: the load, save and download threads share this one handle.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX;
    const int opened = sqlite3_open_v2(path, &g_pGlobal->handle, flags, nullptr);
    if (opened != SQLITE_OK) {
        qDebug("Can't open database: %s\n iRet = %d",
               g_pGlobal->handle ? sqlite3_errmsg(g_pGlobal->handle) : sqlite3_errstr(opened), opened);
        closeConnection();
        return DB_OPEN_FAILED;
    }
    // Another reader of the file (a backup tool, a database browser) holds
    // its lock only for a moment; a commit that met it would otherwise fail
    // at once as busy and the save after an analysis would be lost.
    sqlite3_busy_timeout(g_pGlobal->handle, kBusyWaitMs);
    if (existed)
        return migrate(g_pGlobal->handle);
    if (createTable(g_pGlobal->handle) != SQLITE_OK) {
        closeConnection();
        return DB_OPEN_CREATE_FAILED;
    }
    return DB_OPENED;
}

int CheckTracksTable()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    return isOurTable(presentColumns(db)) ? DB_OK : DB_ERR_NO_TABLE;
}

int CloseSqlite3DB()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    closeConnection();
    return DB_OK;
}

int BeginTransaction()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    return runTransactionStatement(db, "begin", "Begin Transaction");
}

int CommitTransaction()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    const int result = runTransactionStatement(db, "commit", "Commit Tranaction");
    if (result != SQLITE_OK)
        rollBackWhatIsLeft(db);
    return result;
}
