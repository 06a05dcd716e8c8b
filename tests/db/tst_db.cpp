// The track database: layout, migration of older files, reads and writes by
// (PersistentID, Type), the batch reader, transactions and savepoints.
#include "db/dbsavepoint.h"
#include "db/trackdb.h"
#include "cadenzo.h"

#include <sqlite3.h>

#include <QFile>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <QVariant>

#include <cstdlib>
#include <chrono>
#include <thread>
#include <vector>

namespace {

const char* const kCreateStatement =
    "create table TracksTable\t\t(TrackID integer,\t\t PersistentID text,Name text,"
    "TotalTime text,Artist text,\t\t Album text,Size text,Location text,ArtData blob,"
    "\t\t ArtPath text,Absence integer,State integer, RepeatID integer,\t\t Type integer,"
    "Year text,Genre text,Bitrate text,TrashPath text,\t\t NameOld text,ArtistOld text,"
    "AlbumOld text,YearOld text,GenreOld text)";

const QStringList kAllColumns = {
    "TrackID", "PersistentID", "Name", "TotalTime", "Artist", "Album", "Size", "Location",
    "ArtData", "ArtPath", "Absence", "State", "RepeatID", "Type", "Year", "Genre", "Bitrate",
    "TrashPath", "NameOld", "ArtistOld", "AlbumOld", "YearOld", "GenreOld",
};
const QStringList kAllTypes = {
    "integer", "text", "text", "text", "text", "text", "text", "text", "blob", "text",
    "integer", "integer", "integer", "integer", "text", "text", "text", "text", "text",
    "text", "text", "text", "text",
};

const char* const kHostileIds[] = {"x' or '1'='1", "'; drop table TracksTable; --"};

// A second, plain connection to the same file: what is really on disk.
class RawDb
{
public:
    explicit RawDb(const QString& path) { sqlite3_open(QFile::encodeName(path).constData(), &m_db); }
    ~RawDb() { sqlite3_close(m_db); }

    int exec(const QByteArray& sql) { return sqlite3_exec(m_db, sql.constData(), nullptr, nullptr, nullptr); }

    // Every row of a query, each value as a QVariant (null for NULL).
    QList<QVariantList> rows(const QByteArray& sql)
    {
        QList<QVariantList> result;
        sqlite3_stmt* stmt = nullptr;
        if (sqlite3_prepare_v2(m_db, sql.constData(), -1, &stmt, nullptr) != SQLITE_OK)
            return result;
        while (sqlite3_step(stmt) == SQLITE_ROW) {
            QVariantList row;
            for (int c = 0; c < sqlite3_column_count(stmt); ++c)
                row << value(stmt, c);
            result << row;
        }
        sqlite3_finalize(stmt);
        return result;
    }

    QVariant one(const QByteArray& sql)
    {
        const QList<QVariantList> all = rows(sql);
        return all.isEmpty() ? QVariant() : all.first().value(0);
    }

private:
    static QVariant value(sqlite3_stmt* stmt, int c)
    {
        switch (sqlite3_column_type(stmt, c)) {
        case SQLITE_NULL: return QVariant();
        case SQLITE_INTEGER: return QVariant(sqlite3_column_int64(stmt, c));
        case SQLITE_BLOB:
            return QByteArray(static_cast<const char*>(sqlite3_column_blob(stmt, c)), sqlite3_column_bytes(stmt, c));
        default:
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(stmt, c)));
        }
    }

    sqlite3* m_db = nullptr;
};

QStringList columnNames(RawDb& raw)
{
    QStringList names;
    for (const QVariantList& row : raw.rows("PRAGMA table_info(TracksTable)"))
        names << row.value(1).toString();
    return names;
}

bool hasKeyIndex(RawDb& raw)
{
    QStringList indexed;
    for (const QVariantList& index : raw.rows("PRAGMA index_list(TracksTable)")) {
        const QByteArray name = index.value(1).toString().toUtf8();
        QStringList columns;
        for (const QVariantList& column : raw.rows("PRAGMA index_info(" + name + ")"))
            columns << column.value(2).toString();
        indexed << columns.join(',');
    }
    return indexed.contains("PersistentID,Type");
}

int insertTrack(const char* id, int type, const char* name = "Song")
{
    return InsertDataToDB(name, "Artist", "Album", "180000", "4000000", "/music/a.mp3", id,
                          "1999", "Jazz", "256", 7, type);
}

QString selectText(const char* id, int type, const char* column, int* result = nullptr)
{
    char* out = nullptr;
    const int r = SelectValueFromDB(id, type, column, &out);
    if (result)
        *result = r;
    const QString text = out ? QString::fromUtf8(out) : QString();
    std::free(out);
    return text;
}

} // namespace

class TestTrackDb : public QObject
{
    Q_OBJECT

    QTemporaryDir* m_dir = nullptr;
    QString m_path;

    QByteArray path() const { return QFile::encodeName(m_path); }

    // A file in an older layout made with plain SQL: the first 14 columns,
    // or 18 with Year, Genre, Bitrate and TrashPath.
    void makeOldFile(int columns, bool withRows)
    {
        RawDb raw(m_path);
        QByteArray sql = "create table TracksTable(TrackID integer, PersistentID text,Name text,"
                         "TotalTime text,Artist text, Album text,Size text,Location text,ArtData blob,"
                         " ArtPath text,Absence integer,State integer, RepeatID integer, Type integer";
        if (columns == 18)
            sql += ",Year text,Genre text,Bitrate text,TrashPath text";
        QCOMPARE(raw.exec(sql + ")"), SQLITE_OK);
        if (!withRows)
            return;
        QByteArray values = "7,'OLD1','Old name','1000','Old artist','Old album','10','/old.mp3',NULL,NULL,1024,2048,99,3";
        if (columns == 18)
            values += ",'1980','Rock','128',NULL";
        QCOMPARE(raw.exec("insert into TracksTable values(" + values + ")"), SQLITE_OK);
    }

private slots:
    void init()
    {
        m_dir = new QTemporaryDir;
        QVERIFY(m_dir->isValid());
        m_path = m_dir->filePath("MusicLibrary.db");
    }

    void cleanup()
    {
        CloseSqlite3DB();
        delete m_dir;
        m_dir = nullptr;
    }

    void newFileGetsTheExactTable()
    {
        QCOMPARE(OpenSqlite3DB(path()), int(DB_OPENED));
        QCOMPARE(insertTrack("A", RUN_ITUNES), 0);
        CloseSqlite3DB();

        RawDb raw(m_path);
        // SQLite keeps the statement as sent, only capitalising its first two words.
        QCOMPARE(raw.one("select sql from sqlite_master where name = 'TracksTable'").toString(),
                 QString::fromLatin1(kCreateStatement).replace(0, 12, "CREATE TABLE"));
        QCOMPARE(columnNames(raw), kAllColumns);
        QStringList types;
        for (const QVariantList& row : raw.rows("PRAGMA table_info(TracksTable)"))
            types << row.value(2).toString().toLower();
        QCOMPARE(types, kAllTypes);
        QVERIFY(raw.rows("select * from sqlite_master where type = 'table'").size() == 1);
        QVERIFY(hasKeyIndex(raw));

        // Opening it again changes nothing.
        QCOMPARE(OpenSqlite3DB(path()), int(DB_OPENED));
        QCOMPARE(SelectTrackCountFromDB(), 1);
        QCOMPARE(columnNames(raw), kAllColumns);
    }

    void olderLayoutsGainTheMissingColumns_data()
    {
        QTest::addColumn<int>("columns");
        QTest::addColumn<bool>("withRows");
        QTest::newRow("14 columns with a row") << 14 << true;
        QTest::newRow("14 columns empty") << 14 << false;
        QTest::newRow("18 columns with a row") << 18 << true;
        QTest::newRow("18 columns empty") << 18 << false;
    }

    void olderLayoutsGainTheMissingColumns()
    {
        QFETCH(int, columns);
        QFETCH(bool, withRows);
        makeOldFile(columns, withRows);

        QCOMPARE(OpenSqlite3DB(path()), int(DB_MIGRATED));
        RawDb raw(m_path);
        QCOMPARE(columnNames(raw), kAllColumns);
        QVERIFY(hasKeyIndex(raw));
        // The loader can now add rows to the old file.
        QCOMPARE(insertTrack("NEW", 3), 0);
        QCOMPARE(SelectTrackCountFromDB(), withRows ? 2 : 1);
        if (withRows) {
            const QVariantList old = raw.rows("select Name, State, RepeatID, Year, TrashPath, NameOld, GenreOld "
                                              "from TracksTable where PersistentID = 'OLD1'").value(0);
            QCOMPARE(old.value(0).toString(), QString("Old name"));
            QCOMPARE(old.value(1).toLongLong(), 2048LL);
            QCOMPARE(old.value(2).toLongLong(), 99LL);
            QCOMPARE(old.value(3), columns == 18 ? QVariant(QString("1980")) : QVariant());
            QVERIFY(old.value(4).isNull());
            QVERIFY(old.value(5).isNull());
            QVERIFY(old.value(6).isNull());
        }
        CloseSqlite3DB();
        QCOMPARE(OpenSqlite3DB(path()), int(DB_OPENED));
    }

    void migratedRowsReloadWithNulls()
    {
        makeOldFile(14, true);
        QCOMPARE(OpenSqlite3DB(path()), int(DB_MIGRATED));
        QCOMPARE(SelectTrackCountFromDB(), 1);
        const char* const* row = SelectMultiValuesFromDB(0);
        QVERIFY(row);
        QCOMPARE(QByteArray(FindValueFromData(row, "PersistentID")), QByteArray("OLD1"));
        QCOMPARE(QByteArray(FindValueFromData(row, "State")), QByteArray("2048"));
        QVERIFY(!FindValueFromData(row, "Year"));
        QVERIFY(!FindValueFromData(row, "NameOld"));
    }

    void interruptedMigrationIsCompleted()
    {
        makeOldFile(14, true);
        {
            RawDb raw(m_path);
            QCOMPARE(raw.exec("ALTER TABLE TracksTable ADD COLUMN Year text"), SQLITE_OK);
            QCOMPARE(raw.exec("ALTER TABLE TracksTable ADD COLUMN Genre text"), SQLITE_OK);
        }
        QCOMPARE(OpenSqlite3DB(path()), int(DB_MIGRATED));
        RawDb raw(m_path);
        QCOMPARE(columnNames(raw), kAllColumns);
    }

    void foreignTablesAreLeftAlone()
    {
        {
            RawDb raw(m_path);
            QCOMPARE(raw.exec("create table TracksTable(Title text, Length integer)"), SQLITE_OK);
            QCOMPARE(raw.exec("create table Other(x)"), SQLITE_OK);
        }
        QCOMPARE(OpenSqlite3DB(path()), int(DB_OPENED));
        RawDb raw(m_path);
        QCOMPARE(columnNames(raw), QStringList({"Title", "Length"}));
    }

    void fileWithoutTheTableOpensButRefusesRows()
    {
        {
            RawDb raw(m_path);
            QCOMPARE(raw.exec("create table Other(x)"), SQLITE_OK);
        }
        QCOMPARE(OpenSqlite3DB(path()), int(DB_OPENED));
        QCOMPARE(insertTrack("A", 1), SQLITE_ERROR);
        RawDb raw(m_path);
        QVERIFY(columnNames(raw).isEmpty());
    }

    void openFailures()
    {
        QCOMPARE(OpenSqlite3DB(nullptr), int(DB_OPEN_NULL_PATH));
        const QByteArray missingFolder = QFile::encodeName(m_dir->filePath("no/such/folder/x.db"));
        QCOMPARE(OpenSqlite3DB(missingFolder), int(DB_OPEN_FAILED));
        QCOMPARE(SelectTrackCountFromDB(), int(DB_ERR_NO_CONNECTION));
    }

    void everyCallNeedsAConnection()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        CloseSqlite3DB();
        CloseSqlite3DB();
        char* out = nullptr;
        void* data = nullptr;
        int length = 1;
        const char* columns[] = {"State"};
        const char* values[] = {"1"};
        QCOMPARE(SelectTrackCountFromDB(), -1);
        QCOMPARE(SelectValueFromDB("A", 1, "Name", &out), -1);
        QVERIFY(!SelectMultiValuesFromDB(0));
        QCOMPARE(SelectArtworkDataFromDB("A", 1, &data, &length), -1);
        QCOMPARE(insertTrack("A", 1), -1);
        QCOMPARE(UpdateValueToDB("A", 1, "State", nullptr, 1), -1);
        QCOMPARE(UpdateMultiValuesToDB("A", 1, columns, values, 1), -1);
        QCOMPARE(UpdateArtworkDataToDB("A", 1, nullptr, "x", 1), -1);
        QCOMPARE(UpdateAllMusicStateToDB(1, 1), -1);
        QCOMPARE(DeleteDataFromDB("A", 1), -1);
        QCOMPARE(BeginTransaction(), -1);
        QCOMPARE(CommitTransaction(), -1);
        QCOMPARE(DBSavepoint("save").status(), -1);
        QVERIFY(!out);
    }

    void insertStoresEveryColumn()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(InsertDataToDB("Name", "Artist", "Album", "1000", "2000", "/m/ä.mp3", "PID",
                                "2001", "Pop", "320", 42, 5), 0);
        QCOMPARE(InsertDataToDB(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, "NULLS",
                                nullptr, nullptr, nullptr, 1, 2), 0);
        RawDb raw(m_path);
        const QVariantList row = raw.rows("select * from TracksTable where PersistentID = 'PID'").value(0);
        const QVariantList expected = {
            42LL, "PID", "Name", "1000", "Artist", "Album", "2000", QString::fromUtf8("/m/ä.mp3"),
            QVariant(), QVariant(), 0LL, 0LL, 0LL, 5LL, "2001", "Pop", "320", QVariant(),
            "Name", "Artist", "Album", "2001", "Pop",
        };
        QCOMPARE(row.size(), 23);
        for (int c = 0; c < 23; ++c)
            QVERIFY2(row[c] == expected[c], qPrintable(kAllColumns[c]));
        const QVariantList nulls = raw.rows("select Name, NameOld, Location, GenreOld from TracksTable "
                                            "where PersistentID = 'NULLS'").value(0);
        for (const QVariant& value : nulls)
            QCOMPARE(value, QVariant(QString("")));
    }

    void selectValueWantsExactlyOneRow()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("ONE", 1, "First"), 0);
        QCOMPARE(insertTrack("ONE", 2, "Other mode"), 0);
        QCOMPARE(insertTrack("TWICE", 1), 0);
        QCOMPARE(insertTrack("TWICE", 1), 0);
        int result = 0;
        QCOMPARE(selectText("ONE", 1, "Name", &result), QString("First"));
        QCOMPARE(result, 0);
        QCOMPARE(selectText("ONE", 2, "Name"), QString("Other mode"));
        QCOMPARE(selectText("ONE", 1, "state", &result), QString("0"));

        char sentinel = 0;
        char* out = &sentinel;
        QCOMPARE(SelectValueFromDB("TWICE", 1, "Name", &out), int(DB_ERR_NOT_FOUND));
        QCOMPARE(SelectValueFromDB("NONE", 1, "Name", &out), int(DB_ERR_NOT_FOUND));
        QCOMPARE(SelectValueFromDB("ONE", 3, "Name", &out), int(DB_ERR_NOT_FOUND));
        QCOMPARE(SelectValueFromDB("ONE", 1, "TrashPath", &out), int(DB_ERR_NOT_FOUND));
        QCOMPARE(out, &sentinel);
        QCOMPARE(SelectValueFromDB("ONE", 1, "Name from TracksTable --", &out), int(DB_ERR_ARGUMENT));
    }

    void hostileIdsTouchNothingElse_data()
    {
        QTest::addColumn<QByteArray>("id");
        for (const char* id : kHostileIds)
            QTest::newRow(id) << QByteArray(id);
    }

    void hostileIdsTouchNothingElse()
    {
        QFETCH(QByteArray, id);
        QCOMPARE(OpenSqlite3DB(path()), 0);
        // One row only: a pasted "or '1'='1" would select exactly it.
        QCOMPARE(insertTrack("SAFE", 1, "Keep"), 0);
        char* out = nullptr;
        const char* columns[] = {"Name", "State"};
        const char* values[] = {"Changed", "1"};
        QCOMPARE(SelectValueFromDB(id, 1, "Name", &out), int(DB_ERR_NOT_FOUND));
        QCOMPARE(UpdateValueToDB(id, 1, "Name", "Changed", 0), 0);
        QCOMPARE(UpdateValueToDB(id, 1, "TrashPath", "/trash", 0, DB_MUST_CHANGE), int(DB_ERR_NO_ROW_CHANGED));
        QCOMPARE(UpdateMultiValuesToDB(id, 1, columns, values, 2), 0);
        QCOMPARE(UpdateArtworkDataToDB(id, 1, "/a.jpg", "JPEG", 4), 0);
        QCOMPARE(DeleteDataFromDB(id, 1), 0);
        void* data = nullptr;
        int length = 0;
        QCOMPARE(SelectArtworkDataFromDB(id, 1, &data, &length), int(DB_ERR_NO_ARTWORK));

        RawDb raw(m_path);
        QCOMPARE(SelectTrackCountFromDB(), 1);
        QCOMPARE(raw.rows("select Name, State, ArtData, TrashPath from TracksTable").value(0),
                 QVariantList({"Keep", 0LL, QVariant(), QVariant()}));

        // A track whose ID really is that text is found and changed alone.
        QCOMPARE(insertTrack(id, 1, "Odd"), 0);
        QCOMPARE(selectText(id, 1, "Name"), QString("Odd"));
        QCOMPARE(UpdateValueToDB(id, 1, "TrashPath", "/trash/odd.mp3", 0, DB_MUST_CHANGE), 0);
        QCOMPARE(UpdateMultiValuesToDB(id, 1, columns, values, 2), 0);
        QCOMPARE(selectText(id, 1, "Name"), QString("Changed"));
        QCOMPARE(selectText("SAFE", 1, "Name"), QString("Keep"));
        QCOMPARE(raw.one("select count(*) from TracksTable where TrashPath is not null").toInt(), 1);
        QCOMPARE(DeleteDataFromDB(id, 1), 0);
        QCOMPARE(SelectTrackCountFromDB(), 1);
        QCOMPARE(selectText("SAFE", 1, "Name"), QString("Keep"));
    }

    void updateValueStoresTextOrInteger()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 1), 0);
        QCOMPARE(UpdateValueToDB("A", 1, "State", nullptr, 0x4400), 0);
        QCOMPARE(UpdateValueToDB("A", 1, "RepeatID", nullptr, 0x123456789ALL), 0);
        QCOMPARE(UpdateValueToDB("A", 1, "Name", "New", 5), 0);
        RawDb raw(m_path);
        QCOMPARE(raw.rows("select typeof(State), State, RepeatID, typeof(Name), Name from TracksTable").value(0),
                 QVariantList({"integer", 0x4400LL, 0x123456789ALL, "text", "New"}));
        QCOMPARE(UpdateValueToDB("A", 1, "NoSuchColumn", nullptr, 1), int(DB_ERR_ARGUMENT));
    }

    void mustChangeUpdatesReportMissingRows_data()
    {
        QTest::addColumn<QByteArray>("column");
        QTest::addColumn<QByteArray>("value");
        QTest::newRow("TrashPath") << QByteArray("TrashPath") << QByteArray("/trash/2024-01-01/a.mp3");
        QTest::newRow("PersistentID") << QByteArray("PersistentID") << QByteArray("NEWID");
    }

    void mustChangeUpdatesReportMissingRows()
    {
        QFETCH(QByteArray, column);
        QFETCH(QByteArray, value);
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 5), 0);
        QCOMPARE(UpdateValueToDB("A", 4, column, value, 0, DB_MUST_CHANGE), int(DB_ERR_NO_ROW_CHANGED));
        QCOMPARE(UpdateValueToDB("B", 5, column, value, 0, DB_MUST_CHANGE), int(DB_ERR_NO_ROW_CHANGED));
        // Without the rule a miss is no failure.
        QCOMPARE(UpdateValueToDB("B", 5, column, value, 0), 0);
        RawDb raw(m_path);
        QCOMPARE(raw.rows("select PersistentID, TrashPath from TracksTable").value(0),
                 QVariantList({"A", QVariant()}));
        QCOMPARE(UpdateValueToDB("A", 5, column, value, 0, DB_MUST_CHANGE), 0);
        QCOMPARE(raw.one("select " + column + " from TracksTable").toByteArray(), value);
    }

    void updateMultiValues()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 1), 0);
        QCOMPARE(insertTrack("B", 1), 0);
        const char* columns[] = {"Absence", "RepeatID", "State", "Name", "ArtPath"};
        const char* values[] = {"1048576", "9007199254740993", "16384", "Renamed", nullptr};
        QCOMPARE(UpdateMultiValuesToDB("A", 1, columns, values, 5), 0);
        RawDb raw(m_path);
        QCOMPARE(raw.rows("select Absence, RepeatID, State, Name, ArtPath from TracksTable where PersistentID = 'A'").value(0),
                 QVariantList({1048576LL, 9007199254740993LL, 16384LL, "Renamed", QVariant()}));
        QCOMPARE(raw.one("select Name from TracksTable where PersistentID = 'B'").toString(), QString("Song"));

        QCOMPARE(UpdateMultiValuesToDB("A", 1, columns, values, 0), int(DB_ERR_ARGUMENT));
        const char* bad[] = {"Name", "Name=1 --"};
        QCOMPARE(UpdateMultiValuesToDB("A", 1, bad, values, 2), int(DB_ERR_ARGUMENT));

        // 34 ArtistOld and one Bitrate make a statement of 511 characters;
        // with Location instead it is 512, one too many.
        std::vector<const char*> many(35, "ArtistOld");
        std::vector<const char*> manyValues(35, "x");
        many.back() = "Location";
        QCOMPARE(UpdateMultiValuesToDB("A", 1, many.data(), manyValues.data(), 35), int(DB_ERR_QUERY));
        QCOMPARE(raw.one("select Location from TracksTable where PersistentID = 'A'").toString(), QString("/music/a.mp3"));
        many.back() = "Bitrate";
        QCOMPARE(UpdateMultiValuesToDB("A", 1, many.data(), manyValues.data(), 35), 0);
        QCOMPARE(raw.one("select ArtistOld from TracksTable where PersistentID = 'A'").toString(), QString("x"));
    }

    void artworkRoundTrip()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 1), 0);
        void* data = reinterpret_cast<void*>(1);
        int length = 7;
        QCOMPARE(SelectArtworkDataFromDB("A", 1, &data, &length), int(DB_ERR_NO_ARTWORK));
        QVERIFY(!data);
        QCOMPARE(length, 0);

        QByteArray bytes(70000, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        QCOMPARE(UpdateArtworkDataToDB("A", 1, "/pics/cover.jpg", bytes.constData(), int(bytes.size())), 0);
        QCOMPARE(SelectArtworkDataFromDB("A", 1, &data, &length), 0);
        QCOMPARE(QByteArray(static_cast<const char*>(data), length), bytes);
        QCOMPARE(selectText("A", 1, "ArtPath"), QString("/pics/cover.jpg"));
        ReleaseArtworkData(&data);
        QVERIFY(!data);
        ReleaseArtworkData(&data);
        ReleaseArtworkData(nullptr);

        QCOMPARE(UpdateArtworkDataToDB("A", 1, nullptr, "AB", 2), 0);
        RawDb raw(m_path);
        QVERIFY(raw.one("select ArtPath from TracksTable").isNull());
        QCOMPARE(UpdateArtworkDataToDB("A", 1, nullptr, nullptr, 2), int(DB_ERR_ARGUMENT));
        QCOMPARE(UpdateArtworkDataToDB("A", 1, nullptr, "AB", 0), int(DB_ERR_ARGUMENT));
    }

    void stateBitsForEveryRow_data()
    {
        QTest::addColumn<int>("on");
        QTest::addColumn<qint64>("first");
        QTest::addColumn<qint64>("second");
        QTest::newRow("set") << 1 << qint64(0xC00) << qint64(0x400);
        QTest::newRow("clear") << 0 << qint64(0x800) << qint64(0);
    }

    void stateBitsForEveryRow()
    {
        QFETCH(int, on);
        QFETCH(qint64, first);
        QFETCH(qint64, second);
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 1), 0);
        QCOMPARE(insertTrack("B", 2), 0);
        QCOMPARE(UpdateValueToDB("A", 1, "State", nullptr, 0x800), 0);
        QCOMPARE(UpdateAllMusicStateToDB(0x400, on), 0);
        RawDb raw(m_path);
        const QList<QVariantList> rows = raw.rows("select State from TracksTable order by rowid");
        QCOMPARE(rows.value(0).value(0).toLongLong(), first);
        QCOMPARE(rows.value(1).value(0).toLongLong(), second);
    }

    void deleteAndCount()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(SelectTrackCountFromDB(), 0);
        for (const char* id : {"A", "B", "C"})
            QCOMPARE(insertTrack(id, 1), 0);
        QCOMPARE(insertTrack("A", 2), 0);
        QCOMPARE(SelectTrackCountFromDB(), 4);
        QCOMPARE(DeleteDataFromDB("A", 1), 0);
        QCOMPARE(DeleteDataFromDB("ZZZ", 1), 0);
        QCOMPARE(SelectTrackCountFromDB(), 3);
        QCOMPARE(selectText("A", 2, "PersistentID"), QString("A"));

        // A failed count keeps the last one it read.
        RawDb raw(m_path);
        QCOMPARE(raw.exec("drop table TracksTable"), SQLITE_OK);
        QCOMPARE(SelectTrackCountFromDB(), 3);
    }

    void batchReaderHandsOutEveryRowOnce()
    {
        const int total = 7000;
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QVERIFY(!SelectMultiValuesFromDB(0));   // no count read yet
        QCOMPARE(BeginTransaction(), 0);
        for (int i = 0; i < total; ++i) {
            const QByteArray id = QByteArray::number(i + 65535);
            const QByteArray name = "Name " + QByteArray::number(i);
            QCOMPARE(InsertDataToDB(name, "Artist", "Album", "1000", "2000", "/m.mp3", id,
                                    "2000", "Pop", "128", i + 10000, 2), 0);
        }
        QCOMPARE(CommitTransaction(), 0);
        QCOMPARE(SelectTrackCountFromDB(), total);

        RawDb raw(m_path);
        for (int i = 0; i < total; ++i) {
            // Rows are cached per batch: a change after a batch was fetched
            // shows only when a later batch is. Batches start at 0 and 3000,
            // and the one at 3000 reaches the end.
            if (i == 1)
                QCOMPARE(raw.exec("update TracksTable set Name = 'late' where PersistentID in ('68534', '68535')"), SQLITE_OK);
            if (i == 3001)
                QCOMPARE(raw.exec("update TracksTable set Name = 'late' where PersistentID = '72534'"), SQLITE_OK);
            const char* const* row = SelectMultiValuesFromDB(i);
            QVERIFY2(row, qPrintable(QString::number(i)));
            QCOMPARE(QByteArray(FindValueFromData(row, "PersistentID")), QByteArray::number(i + 65535));
            QByteArray expected = "Name " + QByteArray::number(i);
            if (i == 3000)
                expected = "late";
            QCOMPARE(QByteArray(FindValueFromData(row, "Name")), expected);
        }
        QVERIFY(!SelectMultiValuesFromDB(total));
        QVERIFY(!SelectMultiValuesFromDB(-1));
        ReleaseSelectMultiValues();
    }

    void batchRowValuesByName()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(InsertDataToDB("N", "Ar", "Al", "T", "S", "L", "P", "Y", "G", "B", 1, 3), 0);
        QCOMPARE(UpdateValueToDB("P", 3, "Absence", nullptr, 11), 0);
        QCOMPARE(UpdateValueToDB("P", 3, "State", nullptr, 12), 0);
        QCOMPARE(UpdateValueToDB("P", 3, "RepeatID", nullptr, 13), 0);
        QCOMPARE(UpdateValueToDB("P", 3, "ArtPath", "cover.jpg", 0), 0);
        QCOMPARE(UpdateValueToDB("P", 3, "Name", "N2", 0), 0);
        QCOMPARE(SelectTrackCountFromDB(), 1);
        const char* const* row = SelectMultiValuesFromDB(0);
        QVERIFY(row);
        const QList<QPair<const char*, const char*>> expected = {
            {"PersistentID", "P"}, {"Name", "N2"}, {"TotalTime", "T"}, {"Artist", "Ar"},
            {"Album", "Al"}, {"Size", "S"}, {"Location", "L"}, {"ArtPath", "cover.jpg"},
            {"Absence", "11"}, {"State", "12"}, {"RepeatID", "13"}, {"Type", "3"},
            {"Year", "Y"}, {"Genre", "G"}, {"Bitrate", "B"}, {"NameOld", "N"},
            {"ArtistOld", "Ar"}, {"AlbumOld", "Al"}, {"YearOld", "Y"}, {"GenreOld", "G"},
        };
        for (const auto& [column, value] : expected)
            QCOMPARE(QByteArray(FindValueFromData(row, column)), QByteArray(value));
        QVERIFY(!FindValueFromData(row, "name"));
        QVERIFY(!FindValueFromData(row, "TrackID"));
        QVERIFY(!FindValueFromData(row, "TrashPath"));
        QVERIFY(!FindValueFromData(row, nullptr));
        QVERIFY(!FindValueFromData(nullptr, "Name"));
    }

    void batchOfAnotherFileIsNeverHandedOut()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        for (const char* id : {"A1", "A2"})
            QCOMPARE(insertTrack(id, 3), 0);
        QCOMPARE(SelectTrackCountFromDB(), 2);
        QVERIFY(SelectMultiValuesFromDB(0));   // A2 stays cached

        const QByteArray second = QFile::encodeName(m_dir->filePath("second.db"));
        QCOMPARE(OpenSqlite3DB(second), 0);
        QVERIFY(!SelectMultiValuesFromDB(0));  // the count belongs to the old file
        for (const char* id : {"B1", "B2"})
            QCOMPARE(insertTrack(id, 3), 0);
        QCOMPARE(SelectTrackCountFromDB(), 2);
        QCOMPARE(QByteArray(FindValueFromData(SelectMultiValuesFromDB(0), "PersistentID")), QByteArray("B1"));
        QCOMPARE(QByteArray(FindValueFromData(SelectMultiValuesFromDB(1), "PersistentID")), QByteArray("B2"));
    }

    void transactions()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(BeginTransaction(), 0);
        QCOMPARE(BeginTransaction(), SQLITE_ERROR);
        QCOMPARE(insertTrack("A", 1), 0);
        RawDb raw(m_path);
        QCOMPARE(raw.one("select count(*) from TracksTable").toInt(), 0);
        QCOMPARE(CommitTransaction(), 0);
        QCOMPARE(raw.one("select count(*) from TracksTable").toInt(), 1);
        QCOMPARE(CommitTransaction(), SQLITE_ERROR);
    }

    void savepointRollsBackUnlessCommitted()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        {
            DBSavepoint save("save_after_analysis");
            QCOMPARE(save.status(), 0);
            QCOMPARE(insertTrack("DROPPED", 1), 0);
        }
        QCOMPARE(SelectTrackCountFromDB(), 0);
        {
            DBSavepoint save("save_after_analysis");
            QCOMPARE(insertTrack("KEPT", 1), 0);
            QCOMPARE(save.commit(), 0);
            QCOMPARE(save.commit(), -1);
        }
        RawDb raw(m_path);
        QCOMPARE(raw.one("select PersistentID from TracksTable").toString(), QString("KEPT"));
        QCOMPARE(DBSavepoint("x; drop table TracksTable").status(), int(DB_ERR_ARGUMENT));
        QCOMPARE(DBSavepoint(nullptr).status(), int(DB_ERR_ARGUMENT));
        QCOMPARE(SelectTrackCountFromDB(), 1);
    }

    void savepointNestsInTheApplicationsTransaction()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(BeginTransaction(), 0);
        QCOMPARE(insertTrack("OUTER", 1), 0);
        {
            DBSavepoint save("inner");
            QCOMPARE(save.status(), 0);
            QCOMPARE(insertTrack("INNER", 1), 0);
        }
        {
            DBSavepoint save("inner");
            QCOMPARE(insertTrack("INNER2", 1), 0);
            QCOMPARE(save.commit(), 0);
        }
        RawDb raw(m_path);
        QCOMPARE(raw.one("select count(*) from TracksTable").toInt(), 0);  // still uncommitted
        QCOMPARE(CommitTransaction(), 0);
        QCOMPARE(raw.rows("select PersistentID from TracksTable order by rowid"),
                 QList<QVariantList>({{"OUTER"}, {"INNER2"}}));
    }

    // A reader in another connection (a backup, a browser, a test) holding
    // its lock for a moment delays a commit instead of failing it.
    void commitWaitsForAnotherReader()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        QCOMPARE(insertTrack("A", 1), 0);
        RawDb reader(m_path);
        QCOMPARE(reader.exec("begin"), SQLITE_OK);
        QCOMPARE(reader.one("select count(*) from TracksTable").toInt(), 1);
        std::thread release([&reader] {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            reader.exec("commit");
        });
        int committed = -1;
        {
            DBSavepoint save("save_after_analysis");
            QCOMPARE(insertTrack("B", 1), 0);
            committed = save.commit();
        }
        release.join();
        QCOMPARE(committed, 0);
        QCOMPARE(SelectTrackCountFromDB(), 2);
    }

    void threadsShareTheConnection()
    {
        QCOMPARE(OpenSqlite3DB(path()), 0);
        const int threads = 4;
        const int perThread = 250;
        std::vector<std::thread> workers;
        std::vector<int> failures(threads, 0);
        for (int t = 0; t < threads; ++t) {
            workers.emplace_back([t, &failures] {
                for (int i = 0; i < perThread; ++i) {
                    const QByteArray id = QByteArray::number(t * 1000 + i);
                    failures[t] += insertTrack(id, 1) != 0;
                    failures[t] += UpdateValueToDB(id, 1, "State", nullptr, t, DB_MUST_CHANGE) != 0;
                    char* out = nullptr;
                    failures[t] += SelectValueFromDB(id, 1, "State", &out) != 0;
                    failures[t] += !out || atoi(out) != t;
                    std::free(out);
                }
            });
        }
        for (std::thread& worker : workers)
            worker.join();
        for (int t = 0; t < threads; ++t)
            QCOMPARE(failures[t], 0);
        QCOMPARE(SelectTrackCountFromDB(), threads * perThread);
    }
};

QTEST_GUILESS_MAIN(TestTrackDb)
#include "tst_db.moc"
