// Storage under the engine that fails or is no storage of ours, through the
// exported interface: the working database on a nearly full disk (a file
// system layer under SQLite), project files that are none, and the library
// file when an apply ends, also on a full disk (a child process whose file
// size limit stands for the room left) or in a read-only folder.
#include "cadenzo.h"
#include "enginedb.h"
#include "fulldisk.h"
#include "libraryxml.h"
#include "mmanalysis.h"
#include "mmsession.h"
#include "testenv.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mmtest;

namespace {

const QString kPartial = QStringLiteral("id3v2-partial.mp3");

// songs tracks with a title only, over a copy of a file each or over files
// that are not there, then streams (never loaded) that make the library
// file larger than anything the engine writes beside it.
QString songLibrary(const Session& s, int songs, bool withFiles, int streams = 0)
{
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < songs + streams; ++i) {
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        const QString name = QStringLiteral("song %1.mp3").arg(i);
        if (i < songs)
            t.location = libraryxml::fileUrl(withFiles ? s.musicFile(kPartial, name) : s.path(name));
        tracks << t;
    }
    const QString xml = s.path(QStringLiteral("Library.xml"));
    return libraryxml::write(xml, tracks) ? xml : QString();
}

// From here on a write past limit bytes of a file fails with EFBIG, as on
// a disk without more room. Negative: no limit.
void limitFileSize(qint64 limit)
{
    if (limit < 0)
        return;
    std::signal(SIGXFSZ, SIG_IGN);
    rlimit size{};
    getrlimit(RLIMIT_FSIZE, &size);
    size.rlim_cur = rlim_t(limit);
    setrlimit(RLIMIT_FSIZE, &size);
}

// Runs this program as a child (see childMain); its lines "key value".
QMap<QString, QString> runChild(const QStringList& args)
{
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), QStringList{QStringLiteral("--child")} + args);
    child.waitForFinished(kWaitMs);
    QMap<QString, QString> out;
    for (const QByteArray& line : child.readAllStandardOutput().split('\n')) {
        const qsizetype space = line.indexOf(' ');
        if (space > 0)
            out.insert(QString::fromUtf8(line.left(space)), QString::fromUtf8(line.mid(space + 1)));
    }
    return out;
}

} // namespace

class TestStorage : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fulldisk::install(); }
    void cleanup() { fulldisk::reset(); }

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
        QCOMPARE(mmtest::countRows(s.dbPath()), 0);
        QVERIFY(engineLog(s).contains(QRegularExpression(QStringLiteral("LoadMusicList Failed: .*:-?\\d+ \\w"))));
    }

    // What may befall one song's insert: the journal write the ballast's
    // update needs at song 20 fails as the disk or SQLite below the table
    // does, or the journal cannot be made for the first song at all. Any of
    // those ends the load with the failure and stores nothing, never ends
    // as if every song were stored. Only a row refused for its own values
    // (a trigger standing for a constraint, a value the wrong type for a
    // key, a title over the length limit) passes that song over.
    void loadStopsAtARowTheDatabaseRefuses_data()
    {
        QTest::addColumn<QString>("fault"); // journal write, journal open, trigger, long title
        QTest::addColumn<int>("code");      // what the fault gives
        QTest::addColumn<QString>("trigger");
        const QString room = QStringLiteral("update Ballast set b = b || randomblob(2000)");
        const QList<QPair<const char*, int>> disk = {
            {"no room", SQLITE_FULL}, {"failing disk", SQLITE_IOERR}, {"extended code", SQLITE_IOERR_WRITE},
            {"read-only", SQLITE_READONLY}, {"corrupt", SQLITE_CORRUPT}, {"no memory", SQLITE_NOMEM},
            {"busy", SQLITE_BUSY}, {"locked", SQLITE_LOCKED}, {"permission", SQLITE_PERM},
            {"not a database", SQLITE_NOTADB}, {"lock protocol", SQLITE_PROTOCOL}, {"cannot open", SQLITE_CANTOPEN},
            {"generic error", SQLITE_ERROR}, {"bind range", SQLITE_RANGE},
        };
        for (const auto& [name, code] : disk)
            QTest::newRow(name) << "journal write" << code << room;
        QTest::newRow("no journal") << "journal open" << int(SQLITE_CANTOPEN) << QString();
        QTest::newRow("folder takes no journal") << "journal open" << int(SQLITE_READONLY_DIRECTORY) << QString();
        QTest::newRow("one row refused") << "trigger" << int(SQLITE_CONSTRAINT) << "select raise(abort, 'refused')";
        QTest::newRow("value of the wrong type")
            << "trigger" << int(SQLITE_MISMATCH) << "insert into Keyed values(new.Name)";
        QTest::newRow("title too long") << "long title" << int(SQLITE_TOOBIG) << QString();
    }

    void loadStopsAtARowTheDatabaseRefuses()
    {
        QFETCH(QString, fault);
        QFETCH(int, code);
        QFETCH(QString, trigger);
        const bool ownData = fault == QLatin1String("trigger") || fault == QLatin1String("long title");
        Session s;
        const QString xml = songLibrary(s, 40, false);
        if (fault == QLatin1String("long title")) {
            QByteArray bytes = testenv::readAll(xml);
            QVERIFY(bytes.contains(">Song 20<"));
            bytes.replace(">Song 20<", ">Song 20 " + QByteArray(100 * 1024, 'x') + '<');
            QVERIFY(testenv::writeAll(xml, bytes));
            fulldisk::g_lengthLimit = 64 * 1024;
        }
        QCOMPARE(s.openLibrary(xml, RUN_ITUNES), 0);
        QVERIFY(execSql(s.dbPath(), QStringLiteral(
            "create table Ballast(b);"
            "insert into Ballast select randomblob(1000) from"
            " (with recursive n(i) as (select 1 union all select i + 1 from n where i < 200) select i from n);"
            "create table Keyed(k integer primary key);")));
        if (!trigger.isEmpty())
            QVERIFY(execSql(s.dbPath(), QStringLiteral(
                "create trigger Song20 after insert on TracksTable when new.Name = 'Song 20' begin %1; end").arg(trigger)));
        if (fault == QLatin1String("journal write")) {
            fulldisk::setRoom(-1, 64 * 1024);
            fulldisk::failWith(code);
        } else if (fault == QLatin1String("journal open")) {
            fulldisk::failWith(SQLITE_FULL, code);
        }
        RecordSink sink;
        QCOMPARE(s.startLoad(sink), 0);
        QVERIFY(sink.waitForEnd());
        fulldisk::reset();
        const int sent = ownData ? 39 : fault == QLatin1String("journal open") ? 0 : 20;
        QCOMPARE(sink.trackRecords().size(), sent);
        QVERIFY(!sink.records().last().track);
        QCOMPARE(sink.records().last().state, ownData ? 0 : int(MM_ERR_DATABASE));
        QCOMPARE(mmtest::countRows(s.dbPath()), ownData ? 39 : 0);
        QCOMPARE(mmtest::countRows(s.dbPath(), "Name like 'Song 20%'"), 0);
        // SQLite hands out the primary code of an extended one.
        const QString primary = QString::number(code & 0xff);
        const QString log = engineLog(s);
        QVERIFY2(log.contains(QStringLiteral("InsertDataToDB Failed:") + primary), qPrintable(log.right(2000)));
        QCOMPARE(log.contains(QStringLiteral("LoadMusicList Failed: the loaded tracks could not be stored:%1 ").arg(primary)),
                 !ownData);
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
        QCOMPARE(mmtest::countRows(s.dbPath()), 600);
        QCOMPARE(mmtest::countRows(s.dbPath(), "Absence != 0"), 0);
        QVERIFY(engineLog(s).contains(QRegularExpression(QStringLiteral("SaveDataToDB Failed:-?\\d+ \\w"))));
    }

    // The library file itself, not only its journal, holds every change
    // once an apply or a removal ended, or the library was closed.
    void libraryFileHoldsWhatWasApplied_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("ended"); // else the library is closed
        QTest::newRow("apply ends") << int(RUN_ITUNES) << true;
        QTest::newRow("library closed") << int(RUN_ITUNES) << false;
        QTest::newRow("removal ends") << int(RUN_DUP_ITUNES) << true;
    }

    void libraryFileHoldsWhatWasApplied()
    {
        QFETCH(int, mode);
        QFETCH(bool, ended);
        Session s;
        const QString xml = songLibrary(s, 3, true);
        QVERIFY(loadAndWait(s, tagMusicRunMode(mode), xml, {}));
        RecordSink sink;
        QVERIFY(mode == RUN_DUP_ITUNES || analyse(s, MF_ARTIST, sink));
        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), 3);
        QCOMPARE(MMDBTransaction(s.handle, false), 0);
        for (int i = 0; i < list.size(); ++i) {
            if (mode == RUN_DUP_ITUNES) {
                QCOMPARE(MMApplyiTunesMusicInfo(s.handle, list[i].track, AC_DELETE, 0), 0);
                continue;
            }
            QCOMPARE(setUserInfo(s, list[i].track, MF_ARTIST, {QStringLiteral("Artist ") + list[i].pid}), 0);
            QCOMPARE(MMApplyMusicInfo(s.handle, i, 0), 0);
        }
        if (ended)
            QCOMPARE(MMDBTransaction(s.handle, true), 0);
        else
            MMDestroyMusicLibrary(s.handle);
        QVERIFY(!QFile::exists(xml + QStringLiteral(".journal")));
        const QMap<QString, QMap<QString, QString>> tracks = libraryxml::read(xml);
        for (const Entry& e : list) {
            QCOMPARE(tracks.contains(e.pid), mode != RUN_DUP_ITUNES);
            if (mode != RUN_DUP_ITUNES)
                QCOMPARE(tracks[e.pid].value(QStringLiteral("Artist")), QStringLiteral("Artist ") + e.pid);
        }
    }

    // A library file that cannot take the changes when the apply ends says
    // so in the end's result and the log; the file stays as it was, the
    // changes wait in the journal, and the next opening has them all.
    void failedLibraryRewriteIsReported_data()
    {
        QTest::addColumn<QString>("obstacle");
        QTest::newRow("disk full") << "full";
        QTest::newRow("read-only folder") << "read-only";
        // Refused also for the super-user, whom no permission stops.
        QTest::newRow("read-only file") << "read-only file";
    }

    void failedLibraryRewriteIsReported()
    {
        QFETCH(QString, obstacle);
        if (obstacle == QLatin1String("read-only") && ::geteuid() == 0)
            QSKIP("a read-only folder stops no one running as root");
        QTemporaryDir root;
        Session s(root.path());
        const QString xml = songLibrary(s, 3, true, 500);
        const QByteArray before = testenv::readAll(xml);
        const QMap<QString, QString> out = runChild({root.path(), obstacle});
        ::chmod(QFile::encodeName(root.path()).constData(), 0700);
        QCOMPARE(out.value(QStringLiteral("applied")), QStringLiteral("3"));
        QCOMPARE(out.value(QStringLiteral("end")), QString::number(MM_ERR_LIBRARY_FILE));
        QCOMPARE(testenv::readAll(xml), before);
        QVERIFY(QFile::exists(xml + QStringLiteral(".journal")));
        QVERIFY(engineLog(s).contains(QRegularExpression(QStringLiteral("Library agent: writing .* failed \\(-?\\d+\\): \\w"))));
        QVERIFY(loadAndWait(s, RUN_ITUNES, xml, {}));
        for (const Entry& e : entries(s))
            QCOMPARE(s.info(e.track)->strArtist, QStringLiteral("Artist ") + e.pid);
    }
};

namespace {

// "apply": applies an artist to every song of the library in root; after
// the first, the library's folder or file becomes read-only or the disk full.
int applyThenEnd(Session& s, const QString& obstacle)
{
    const QString xml = s.path(QStringLiteral("Library.xml"));
    RecordSink sink;
    if (!loadAndWait(s, RUN_ITUNES, xml, {}) || !analyse(s, MF_ARTIST, sink) || MMDBTransaction(s.handle, false) != 0)
        return 2;
    const QList<Entry> list = entries(s);
    int applied = 0;
    for (int i = 0; i < list.size(); ++i) {
        setUserInfo(s, list[i].track, MF_ARTIST, {QStringLiteral("Artist ") + list[i].pid});
        applied += MMApplyMusicInfo(s.handle, i, 0) == 0;
        // The first change made the journal and the backup; the new file
        // is larger than the old one, which no longer fits.
        if (i == 0 && obstacle == QLatin1String("full"))
            limitFileSize(QFileInfo(xml).size());
        if (i == 0 && obstacle == QLatin1String("read-only"))
            ::chmod(QFile::encodeName(QFileInfo(xml).absolutePath()).constData(), 0500);
        if (i == 0 && obstacle == QLatin1String("read-only file"))
            ::chmod(QFile::encodeName(xml).constData(), 0444);
    }
    std::printf("applied %d\nend %d\n", applied, MMDBTransaction(s.handle, true));
    return 0;
}

// The child step "apply <obstacle>", in the folders of root.
int childMain(const QStringList& args)
{
    Session s(args.value(0));
    return applyThenEnd(s, args.value(1));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return childMain(app.arguments().mid(2));
    TestStorage test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_storage.moc"
