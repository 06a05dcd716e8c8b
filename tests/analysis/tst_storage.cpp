// Storage under the engine that fails or is no storage of ours, through the
// exported interface: the working database on a nearly full disk (a file
// system layer under SQLite) and project files that are none.
#include "cadenzo.h"
#include "fulldisk.h"
#include "libraryxml.h"
#include "mmanalysis.h"
#include "mmsession.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTest>

using namespace mmtest;

namespace {

const QString kPartial = QStringLiteral("id3v2-partial.mp3");

// songs tracks with a title only, over a copy of a file each or over files
// that are not there.
QString songLibrary(const Session& s, int songs, bool withFiles)
{
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < songs; ++i) {
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        const QString name = QStringLiteral("song %1.mp3").arg(i);
        t.location = libraryxml::fileUrl(withFiles ? s.musicFile(kPartial, name) : s.path(name));
        tracks << t;
    }
    const QString xml = s.path(QStringLiteral("Library.xml"));
    return libraryxml::write(xml, tracks) ? xml : QString();
}

// The rows matching where that a connection of our own finds, as the next
// start would (a journal left behind is rolled back first); -1 when it
// cannot read them.
int storedRows(const QString& dbPath, const QByteArray& where = "1")
{
    sqlite3* db = nullptr;
    sqlite3_stmt* query = nullptr;
    int count = -1;
    const QByteArray sql = "select count(*) from TracksTable where " + where;
    if (sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.constData(), -1, &query, nullptr) == SQLITE_OK
        && sqlite3_step(query) == SQLITE_ROW)
        count = sqlite3_column_int(query, 0);
    sqlite3_finalize(query);
    sqlite3_close(db);
    return count;
}

} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fulldisk::install(); }
    void cleanup() { fulldisk::setRoom(-1, -1); }

    // A database that a run could not make is not left to be offered as a
    // run to continue; a project is only a file with our table in it.
    void unusableDatabasesAreRefused_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<qint64>("room");
        QTest::addColumn<QString>("before"); // what the database file is
        QTest::addColumn<int>("result");
        QTest::newRow("files, no room") << int(RUN_FILES) << qint64(0) << "none" << -1;
        QTest::newRow("library, no room") << int(RUN_ITUNES) << qint64(0) << "none" << -1;
        QTest::newRow("files, room") << int(RUN_FILES) << qint64(-1) << "none" << 0;
        QTest::newRow("project, no file") << int(RUN_PROJECT) << qint64(-1) << "none" << -1;
        QTest::newRow("project, empty file") << int(RUN_PROJECT) << qint64(-1) << "empty" << -1;
        QTest::newRow("project, another table") << int(RUN_PROJECT) << qint64(-1) << "other" << -1;
    }

    void unusableDatabasesAreRefused()
    {
        QFETCH(int, mode);
        QFETCH(qint64, room);
        QFETCH(QString, before);
        QFETCH(int, result);
        Session s;
        const QString xml = songLibrary(s, 2, true);
        if (before == QLatin1String("empty"))
            QVERIFY(testenv::writeAll(s.dbPath(), QByteArray()));
        if (before == QLatin1String("other"))
            QVERIFY(execSql(s.dbPath(), QStringLiteral("create table Other(x)")));
        const QByteArray bytes = testenv::readAll(s.dbPath());
        fulldisk::setRoom(room, room);
        QCOMPARE(s.openLibrary(xml, tagMusicRunMode(mode)), result);
        QCOMPARE(QFile::exists(s.dbPath()), result == 0 || before != QLatin1String("none"));
        if (result != 0)
            QCOMPARE(testenv::readAll(s.dbPath()), bytes);
        QVERIFY(!QFile::exists(s.dbPath() + QStringLiteral("-journal")));
    }

    // The tracks fit into memory but their rows not on the disk: the load
    // ends in a failure, never in a load end over an empty database.
    void loadWhoseRowsCannotBeStoredFails()
    {
        Session s;
        const QString xml = songLibrary(s, 600, false);
        fulldisk::setRoom(16384, -1);
        RecordSink sink;
        QVERIFY(s.load(RUN_ITUNES, xml, {}, sink) && sink.waitForEnd());
        QCOMPARE(sink.trackRecords().size(), 600);
        QCOMPARE(sink.records().last().state, int(MM_ERR_DATABASE));
        fulldisk::setRoom(-1, -1);
        QCOMPARE(storedRows(s.dbPath()), 0);
        QVERIFY(engineLog(s).contains(QRegularExpression(QStringLiteral("LoadMusicList Failed: .*:-?\\d+ \\w"))));
    }

    // SQLite gives up the save's block at the first write that finds no
    // room for its journal; the writes after it would each find room for
    // their own small one, and none of them may be stored.
    void abandonedSaveStoresNothing_data()
    {
        QTest::addColumn<int>("percent"); // of the database's size: the room for a journal
        QTest::newRow("first rows") << 10;
        QTest::newRow("half-way") << 50;
    }

    void abandonedSaveStoresNothing()
    {
        QFETCH(int, percent);
        Session s;
        QVERIFY(loadAndWait(s, RUN_ITUNES, songLibrary(s, 600, false), {}));
        fulldisk::setRoom(-1, QFileInfo(s.dbPath()).size() * percent / 100);
        RecordSink sink;
        QVERIFY(analyse(s, MF_ARTIST | MF_FILE, sink));
        // Waits for the save, then for the thread that may send its failure.
        MMDBTransaction(s.handle, false);
        MMDBTransaction(s.handle, true);
        MMSetExitState(s.handle, 1);
        QCOMPARE(sink.records().last().state, int(MM_ERR_DATABASE));
        QCOMPARE(storedRows(s.dbPath()), 600);
        QCOMPARE(storedRows(s.dbPath(), "Absence != 0"), 0);
        QVERIFY(engineLog(s).contains(QRegularExpression(QStringLiteral("SaveDataToDB Failed:-?\\d+ \\w"))));
    }
};

QTEST_GUILESS_MAIN(TestStorage)
#include "tst_storage.moc"
