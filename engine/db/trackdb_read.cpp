// Reading the track database: row count, single values, the batch reader of
// the reload loop and cached artwork.
#include "db/dbconnection.h"
#include "db/trackdb.h"

#include <QDebug>

#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

// Rows a batch holds at least; a batch fetched at row i asks for up to
// i + kBatchRows rows, so a reload of n rows needs only about log2(n) queries.
constexpr int kBatchRows = 3000;

// The columns of a batch row, in the order of kBatchQuery.
const char* const kRowColumns[TRACKDB_ROW_VALUES] = {
    "PersistentID", "Name", "TotalTime", "Artist", "Album", "Size", "Location",
    "ArtPath", "Absence", "State", "RepeatID", "Type", "Year", "Genre", "Bitrate",
    "NameOld", "ArtistOld", "AlbumOld", "YearOld", "GenreOld",
};

const char* const kBatchQuery =
    "select PersistentID,Name,\t\t\t\tTotalTime,Artist,Album,Size,\t\t\t\tLocation,ArtPath,"
    "Absence,State,\t\t\t\tRepeatID,Type,Year,Genre,Bitrate,\t\t\t\tNameOld,ArtistOld,"
    "AlbumOld,\t\t\t\tYearOld,GenreOld from TracksTable\t\t\t\trowid order by rowid "
    "limit ?,?\n";

// One batch: every value's text laid end to end, and per value a pointer into
// that text (null for NULL), TRACKDB_ROW_VALUES per row.
struct Batch
{
    std::string text;
    std::vector<const char*> cells;
    int rows = 0;
};

int m_iTrackCount = 0;
std::unique_ptr<Batch> m_tableInfo;
int m_iReadCount = 0;
int m_iCurrentIndex = 0;

void releaseBatch()
{
    m_tableInfo.reset();
    m_iReadCount = 0;
    m_iCurrentIndex = 0;
}

std::unique_ptr<Batch> fetchBatch(sqlite3* db, int index)
{
    trackdb::Statement query(db, kBatchQuery);
    query.bindInt(1, index);
    query.bindInt(2, static_cast<long long>(index) + kBatchRows);
    auto batch = std::make_unique<Batch>();
    std::vector<long long> offsets;
    while (query.step() == SQLITE_ROW) {
        for (int column = 0; column < TRACKDB_ROW_VALUES; ++column) {
            const auto* value = reinterpret_cast<const char*>(sqlite3_column_text(query.get(), column));
            offsets.push_back(value ? static_cast<long long>(batch->text.size()) : -1);
            if (value)
                batch->text.append(value, sqlite3_column_bytes(query.get(), column) + 1);
        }
        ++batch->rows;
    }
    const int result = query.finish();
    if (result != SQLITE_OK) {
        qDebug("sql:%s\nFailed:%d %s", kBatchQuery, result, sqlite3_errmsg(db));
        return nullptr;
    }
    batch->cells.reserve(offsets.size());
    for (long long offset : offsets)
        batch->cells.push_back(offset < 0 ? nullptr : batch->text.data() + offset);
    return batch;
}

char* copyText(sqlite3_stmt* stmt)
{
    const auto* text = sqlite3_column_text(stmt, 0);
    const int bytes = sqlite3_column_bytes(stmt, 0);
    auto* copy = static_cast<char*>(std::malloc(bytes + 1));
    if (copy) {
        std::memcpy(copy, text, bytes);
        copy[bytes] = '\0';
    }
    return copy;
}

} // namespace

void trackdb::resetReadState()
{
    releaseBatch();
    m_iTrackCount = 0;
}

int SelectTrackCountFromDB()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    trackdb::Statement query(db, "select count(*) from TracksTable");
    const bool gotRow = query.step() == SQLITE_ROW;
    const int count = gotRow ? sqlite3_column_int(query.get(), 0) : 0;
    const int result = query.finish();
    if (!gotRow || result != SQLITE_OK) {
        qDebug("SelectTrackCount Failed:%d %s", result, sqlite3_errmsg(db));
        return m_iTrackCount;
    }
    m_iTrackCount = count;
    return m_iTrackCount;
}

int SelectValueFromDB(const char* persistentId, int type, const char* column, char** out)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    const char* name = trackdb::tableColumn(column);
    if (!persistentId || !name || !out)
        return DB_ERR_ARGUMENT;
    char sql[512];
    snprintf(sql, sizeof sql, "Select %s from TracksTable where\t\t\tPersistentID = ? and Type = ?", name);
    trackdb::Statement query(db, sql);
    query.bindText(1, persistentId);
    query.bindInt(2, type);
    char* value = nullptr;
    bool several = false;
    if (query.step() == SQLITE_ROW) {
        if (sqlite3_column_type(query.get(), 0) != SQLITE_NULL && !(value = copyText(query.get())))
            return SQLITE_NOMEM;
        several = query.step() == SQLITE_ROW;
    }
    const int result = query.finish();
    if (result != SQLITE_OK) {
        qDebug("sql:%s\nFailed:%d %s", sql, result, sqlite3_errmsg(db));
        std::free(value);
        return DB_ERR_QUERY;
    }
    if (!value || several) {
        std::free(value);
        return DB_ERR_NOT_FOUND;
    }
    *out = value;
    return DB_OK;
}

const char* const* SelectMultiValuesFromDB(int index)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db || index < 0 || index >= m_iTrackCount)
        return nullptr;
    if (!m_tableInfo || m_iCurrentIndex >= m_iReadCount) {
        releaseBatch();
        m_tableInfo = fetchBatch(db, index);
        if (!m_tableInfo)
            return nullptr;
        m_iReadCount = m_tableInfo->rows;
    }
    // Rows deleted since the count was taken can leave the batch short.
    if (m_iCurrentIndex >= m_iReadCount)
        return nullptr;
    return m_tableInfo->cells.data() + static_cast<size_t>(m_iCurrentIndex++) * TRACKDB_ROW_VALUES;
}

const char* FindValueFromData(const char* const* row, const char* columnName)
{
    if (!row || !columnName)
        return nullptr;
    for (int column = 0; column < TRACKDB_ROW_VALUES; ++column) {
        if (std::strcmp(kRowColumns[column], columnName) == 0)
            return row[column];
    }
    return nullptr;
}

int ReleaseSelectMultiValues()
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    releaseBatch();
    return DB_OK;
}

int SelectArtworkDataFromDB(const char* persistentId, int type, void** data, int* length)
{
    std::lock_guard<std::mutex> guard(trackdb::callLock());
    sqlite3* db = trackdb::handle();
    if (!db)
        return DB_ERR_NO_CONNECTION;
    if (!persistentId || !data || !length)
        return DB_ERR_ARGUMENT;
    *length = 0;
    *data = nullptr;
    trackdb::Statement query(db, "select ArtData from TracksTable \t\t\t\t where PersistentID = ? and Type = ?");
    query.bindText(1, persistentId);
    query.bindInt(2, type);
    if (query.step() == SQLITE_ROW) {
        const int bytes = sqlite3_column_bytes(query.get(), 0);
        if (bytes > 0 && (*data = std::malloc(bytes))) {
            std::memcpy(*data, sqlite3_column_blob(query.get(), 0), bytes);
            *length = bytes;
        }
    }
    const int result = query.finish();
    if (result != SQLITE_OK) {
        qDebug("SelectArtworkData Failed:%d PID:%s Type:%d", result, persistentId, type);
        ReleaseArtworkData(data);
        *length = 0;
        return result;
    }
    return *data ? DB_OK : DB_ERR_NO_ARTWORK;
}

int ReleaseArtworkData(void** data)
{
    if (data && *data) {
        std::free(*data);
        *data = nullptr;
    }
    return DB_OK;
}
