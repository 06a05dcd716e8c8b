// Writing the track database: inserts, updates and deletes.
#include "db/dbconnection.h"
#include "db/trackdb.h"

#include <QDebug>

#include <string>

namespace {

// Longest statement the column updates may build, as their callers were
// written against a 512-byte text.
constexpr size_t kMaxStatement = 511;

// Steps a prepared statement once; its result is the finalize result.
int runOnce(trackdb::Statement& statement)
{
    statement.step();
    return statement.finish();
}

} // namespace

int InsertDataToDB(const char* name, const char* artist, const char* album,
                   const char* totalTime, const char* size, const char* location,
                   const char* persistentId, const char* year, const char* genre,
                   const char* bitrate, int trackId, int type)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    trackdb::Statement insert(db, "insert into TracksTable values(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    if (insert.prepareResult() != SQLITE_OK) {
        qDebug("InsertTracksTable_kwr() Failed! %d", insert.prepareResult());
        return insert.prepareResult();
    }
    insert.bindInt(1, trackId);
    insert.bindTextOrEmpty(2, persistentId);
    insert.bindTextOrEmpty(3, name);
    insert.bindTextOrEmpty(4, totalTime);
    insert.bindTextOrEmpty(5, artist);
    insert.bindTextOrEmpty(6, album);
    insert.bindTextOrEmpty(7, size);
    insert.bindTextOrEmpty(8, location);
    insert.bindNull(9);    // ArtData
    insert.bindNull(10);   // ArtPath
    insert.bindInt(11, 0); // Absence
    insert.bindInt(12, 0); // State
    insert.bindInt(13, 0); // RepeatID
    insert.bindInt(14, type);
    insert.bindTextOrEmpty(15, year);
    insert.bindTextOrEmpty(16, genre);
    insert.bindTextOrEmpty(17, bitrate);
    insert.bindNull(18);   // TrashPath
    insert.bindTextOrEmpty(19, name);
    insert.bindTextOrEmpty(20, artist);
    insert.bindTextOrEmpty(21, album);
    insert.bindTextOrEmpty(22, year);
    insert.bindTextOrEmpty(23, genre);
    const int result = runOnce(insert);
    if (result != SQLITE_OK)
        qDebug("sqlite3_finalize() Failed! %d", result);
    return result;
}

int UpdateValueToDB(const char* persistentId, int type, const char* column,
                    const char* text, long long value, DBUpdateRule rule)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    const char* name = trackdb::tableColumn(column);
    if (!persistentId || !name)
        return DB_ERR_ARGUMENT;
    char sql[512];
    snprintf(sql, sizeof sql, "update TracksTable set %s = ? where\t\t\tPersistentID = ? and Type = ?", name);
    trackdb::Statement update(db, sql);
    if (text)
        update.bindText(1, text);
    else
        update.bindInt(1, value);
    update.bindText(2, persistentId);
    update.bindInt(3, type);
    const int result = runOnce(update);
    if (result != SQLITE_OK) {
        qDebug("sql Failed:%d sql:%s", result, sql);
        return result;
    }
    // The call lock keeps other threads' statements off the connection, so
    // this count is our statement's.
    if (rule == DB_MUST_CHANGE && sqlite3_changes(db) == 0) {
        qDebug("sql changed no row: PID:%s Type:%d sql:%s", persistentId, type, sql);
        return DB_ERR_NO_ROW_CHANGED;
    }
    return DB_OK;
}

int UpdateMultiValuesToDB(const char* persistentId, int type, const char* const* columns,
                          const char* const* values, int count)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    if (!persistentId || !columns || !values || count <= 0)
        return DB_ERR_ARGUMENT;
    std::string sql = "update TracksTable set ";
    for (int i = 0; i < count; ++i) {
        const char* name = trackdb::tableColumn(columns[i]);
        if (!name)
            return DB_ERR_ARGUMENT;
        if (i > 0)
            sql += ',';
        sql.append(name).append(" =?");
    }
    sql += " where PersistentID = ? and Type = ?";
    if (sql.size() > kMaxStatement)
        return DB_ERR_QUERY;
    trackdb::Statement update(db, sql.c_str());
    for (int i = 0; i < count; ++i)
        update.bindText(i + 1, values[i]);
    update.bindText(count + 1, persistentId);
    update.bindInt(count + 2, type);
    const int result = runOnce(update);
    if (result != SQLITE_OK)
        qDebug("sql Failed:%d sql:%s", result, sql.c_str());
    return result;
}

int UpdateArtworkDataToDB(const char* persistentId, int type, const char* artPath,
                          const void* data, int length)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    if (!persistentId || !data || length <= 0)
        return DB_ERR_ARGUMENT;
    trackdb::Statement update(db, "update TracksTable set ArtData = ?,ArtPath = ? \t\t\t\t where PersistentID = ? and Type = ?");
    update.bindBlob(1, data, length);
    update.bindText(2, artPath);
    update.bindText(3, persistentId);
    update.bindInt(4, type);
    const int result = runOnce(update);
    if (result != SQLITE_OK)
        qDebug("UpdateArtworkData Failed:%d pPID:%s Type:%d", result, persistentId, type);
    return result;
}

int UpdateAllMusicStateToDB(int bits, int on)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    const char* sql = on ? "update TracksTable set State = State | ?"
                         : "update TracksTable set State = State & ~?";
    trackdb::Statement update(db, sql);
    update.bindInt(1, bits);
    const int result = runOnce(update);
    if (result != SQLITE_OK)
        qDebug("Update TracksTable Failed:%d %s sql:%s", result, sqlite3_errmsg(db), sql);
    return result;
}

int DeleteDataFromDB(const char* persistentId, int type)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    if (!persistentId)
        return DB_ERR_ARGUMENT;
    const char* sql = "delete from TracksTable where\t\t\tPersistentID = ? and Type = ?";
    trackdb::Statement remove(db, sql);
    remove.bindText(1, persistentId);
    remove.bindInt(2, type);
    const int result = runOnce(remove);
    if (result != SQLITE_OK)
        qDebug("DeleteData Failed:%d %s\nsql = %s", result, sqlite3_errmsg(db), sql);
    return result;
}
