// The engine's track database: one SQLite file holding the table TracksTable
// (23 columns, no key), reached through one process-wide connection that every
// engine thread shares. Every call is thread-safe. A row is addressed by the
// pair (PersistentID, Type), Type being the run mode the row was loaded under.
// Texts are UTF-8. Results: 0 success, the negative codes below, or an SQLite
// result code passed through; failures are also printed on qDebug.
#pragma once

enum TrackDBOpenResult {
    DB_OPENED = 0,
    DB_MIGRATED = 1,               // an older layout gained the missing columns
    DB_OPEN_NULL_PATH = -1,
    DB_OPEN_NO_MEMORY = -2,
    DB_OPEN_FAILED = -3,
    DB_OPEN_CREATE_FAILED = -4,
};

enum TrackDBResult {
    DB_OK = 0,
    DB_ERR_NO_CONNECTION = -1,
    DB_ERR_ARGUMENT = -2,          // null pointer, count below 1, unknown column
    DB_ERR_QUERY = -3,             // query failed, or the statement would be too long
    DB_ERR_NO_ARTWORK = -3,        // SelectArtworkDataFromDB delivered no bytes
    DB_ERR_NOT_FOUND = -4,         // SelectValueFromDB: no row, several rows or NULL
    DB_ERR_NO_ROW_CHANGED = -5,    // a DB_MUST_CHANGE update matched no row
    DB_ERR_ROLLED_BACK = -6,       // SQLite had already rolled the whole block back
    DB_ERR_NO_TABLE = -7,          // the file holds no TracksTable of ours
};

// Whether an update that matches no row is a failure.
enum DBUpdateRule { DB_ANY_ROWS, DB_MUST_CHANGE };

// Values per row handed out by SelectMultiValuesFromDB.
constexpr int TRACKDB_ROW_VALUES = 20;

// Opens (closing any open one) or creates the file. A new file gets the table;
// an existing one with an older layout gains the missing columns (result 1).
int OpenSqlite3DB(const char* path);
// DB_OK when the open file holds TracksTable with the columns every layout
// had; DB_ERR_NO_TABLE when not (an empty file, someone else's table).
int CheckTracksTable();
// Why a call of this layer failed, for a log line: SQLite's text for its
// codes, ours for the negative ones.
const char* DBResultText(int result);
// Closes the connection; safe when nothing is open.
int CloseSqlite3DB();

// Number of rows (remembered for the batch reader); the previous count when
// the query fails; -1 without a connection.
int SelectTrackCountFromDB();
// One column of the single row (persistentId, type): *out gets a malloc'd copy
// (free it with free). -4 when no row, several rows or NULL; *out untouched.
int SelectValueFromDB(const char* persistentId, int type, const char* column, char** out);
// Row index of the reload loop (call with 0, 1, 2, ... after
// SelectTrackCountFromDB): its TRACKDB_ROW_VALUES texts (each may be null),
// owned here until the next batch or ReleaseSelectMultiValues. Null on failure.
const char* const* SelectMultiValuesFromDB(int index);
// One value of such a row by its exact column name; null for unknown names.
const char* FindValueFromData(const char* const* row, const char* columnName);
// Frees the batch held for SelectMultiValuesFromDB.
int ReleaseSelectMultiValues();
// The cached artwork: *data a malloc'd copy of *length bytes (free with
// ReleaseArtworkData). -3 when there are no bytes.
int SelectArtworkDataFromDB(const char* persistentId, int type, void** data, int* length);
// Frees *data and nulls it; nothing when either is null.
int ReleaseArtworkData(void** data);

// Appends one track; null texts are stored as empty texts, the *Old columns
// repeat name, artist, album, year and genre.
int InsertDataToDB(const char* name, const char* artist, const char* album,
                   const char* totalTime, const char* size, const char* location,
                   const char* persistentId, const char* year, const char* genre,
                   const char* bitrate, int trackId, int type);
// Sets one column to text, or to value when text is null. With DB_MUST_CHANGE
// an update that matched no row returns DB_ERR_NO_ROW_CHANGED.
int UpdateValueToDB(const char* persistentId, int type, const char* column,
                    const char* text, long long value, DBUpdateRule rule = DB_ANY_ROWS);
// Sets count columns in one statement; a null value stores NULL.
int UpdateMultiValuesToDB(const char* persistentId, int type, const char* const* columns,
                          const char* const* values, int count);
// Stores artwork bytes and the path they came from (null path stores NULL).
int UpdateArtworkDataToDB(const char* persistentId, int type, const char* artPath,
                          const void* data, int length);
// Sets (on != 0) or clears the given State bits in every row.
int UpdateAllMusicStateToDB(int bits, int on);
// Deletes the rows (persistentId, type).
int DeleteDataFromDB(const char* persistentId, int type);

// A plain transaction over the shared connection. A commit that fails rolls
// back what the transaction still holds, so none stays open to swallow the
// writes that follow; its result is the commit's failure.
int BeginTransaction();
int CommitTransaction();
