// Figures for the track database on this machine: a load's inserts, the save
// after the analysis, and a reload's batch read. Prints only.
#include "db/dbsavepoint.h"
#include "db/trackdb.h"

#include <sqlite3.h>

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

constexpr int kRunMode = 2;

QByteArray idOf(int row)
{
    return QByteArray::number(row + 65535);
}

bool insertRows(int count)
{
    if (BeginTransaction() != 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray location = "/home/user/Music/Artist " + n + "/Album/" + n + " Title.mp3";
        if (InsertDataToDB("Title " + n, "Artist " + n, "Album " + n, "215000", "5123456", location,
                           idOf(i), "1999", "Rock", "256", i + 10000, kRunMode) != 0)
            return false;
    }
    return CommitTransaction() == 0;
}

// The save after the analysis: one update of Absence, RepeatID and State per
// track, all inside one savepoint.
bool saveRows(int count)
{
    static const char* const columns[] = {"Absence", "RepeatID", "State"};
    DBSavepoint save("save_after_analysis");
    if (save.status() != 0)
        return false;
    for (int i = 0; i < count; ++i) {
        const QByteArray absence = QByteArray::number(0x100000 | 0x400);
        const QByteArray repeat = QByteArray::number(1000000000000LL + i / 2);
        const QByteArray state = QByteArray::number(i % 3 ? 0 : 0x4000);
        const char* values[] = {absence.constData(), repeat.constData(), state.constData()};
        if (UpdateMultiValuesToDB(idOf(i), kRunMode, columns, values, 3) != 0)
            return false;
    }
    return save.commit() == 0;
}

// The user's fields after a lookup or an edit: five texts per track.
bool saveUserFields(int count)
{
    static const char* const columns[] = {"Name", "Artist", "Album", "Year", "Genre"};
    DBSavepoint save("save_user_fields");
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        const QByteArray name = "Fixed title " + n, artist = "Fixed artist " + n, album = "Fixed album " + n;
        const char* values[] = {name.constData(), artist.constData(), album.constData(), "2001", "Jazz"};
        if (UpdateMultiValuesToDB(idOf(i), kRunMode, columns, values, 5) != 0)
            return false;
    }
    return save.commit() == 0;
}

bool readRows(int count)
{
    if (SelectTrackCountFromDB() != count)
        return false;
    long long checksum = 0;
    for (int i = 0; i < count; ++i) {
        const char* const* row = SelectMultiValuesFromDB(i);
        if (!row || !FindValueFromData(row, "PersistentID") || !FindValueFromData(row, "Location"))
            return false;
        checksum += atoll(FindValueFromData(row, "RepeatID"));
    }
    ReleaseSelectMultiValues();
    return checksum > 0;
}

bool dropKeyIndex(const QByteArray& path)
{
    sqlite3* db = nullptr;
    const bool ok = sqlite3_open(path.constData(), &db) == SQLITE_OK
        && sqlite3_exec(db, "DROP INDEX TracksTableKey", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(db);
    return ok;
}

template <typename Step>
bool report(const char* what, int rows, Step step)
{
    QElapsedTimer timer;
    timer.start();
    const bool ok = step(rows);
    const double ms = timer.nsecsElapsed() / 1e6;
    if (ok)
        std::printf("%-58s %7d rows %10.1f ms %8.2f us/row\n", what, rows, ms, ms * 1000 / rows);
    else
        std::printf("%-58s FAILED\n", what);
    return ok;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QByteArray path = QFile::encodeName(dir.filePath("MusicLibrary.db"));
    const QByteArray plainPath = QFile::encodeName(dir.filePath("NoIndex.db"));
    const int rows = 50000;
    const int plainRows = 5000;

    bool ok = OpenSqlite3DB(path) == 0
        && report("insert, one transaction", rows, insertRows)
        && report("save: Absence, RepeatID, State per row, one savepoint", rows, saveRows)
        && report("save: Name, Artist, Album, Year, Genre per row", rows, saveUserFields)
        && report("batch read of every row", rows, readRows);
    CloseSqlite3DB();

    // For comparison: the same save on a table without the (PersistentID,
    // Type) index, as in files written before it existed.
    ok = ok && OpenSqlite3DB(plainPath) == 0 && insertRows(plainRows) && dropKeyIndex(plainPath)
        && report("save without the key index (smaller table)", plainRows, saveRows);
    CloseSqlite3DB();
    return ok ? 0 : 1;
}
