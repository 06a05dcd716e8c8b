// The loader's and the manager's internals: one entry per file, the
// artwork flag each run mode gives a track and the answers asked ahead for
// it, the analysis's pause control and the records of the information
// service.
#include "core/musicobj.h"
#include "library/artworkprefetch.h"
#include "library/uniquefiles.h"
#include "libraryxml.h"
#include "manager/musicmanage.h"
#include "manager/servicerecords.h"
#include "mm/mmhandle.h"
#include "mmsession.h"
#include "testenv.h"

#include <QFile>
#include <QMap>
#include <QTest>
#include <QThread>

#include <sqlite3.h>

#include <atomic>
#include <cstddef>
#include <memory>
#include <unistd.h>

using mmtest::RecordSink;
using mmtest::Session;

namespace {

const QString kWithCover = QStringLiteral("id3v2-cover.mp3");
const QString kWithoutCover = QStringLiteral("id3v2-partial.mp3");

QList<bool> artworkFlags(const RecordSink& sink)
{
    QList<bool> flags;
    for (const mmtest::Record& r : sink.trackRecords())
        flags << static_cast<CMusicObj*>(r.track)->GetiTunesMusicArtwork();
    return flags;
}

// The State column of every row, by persistent ID.
QMap<QString, int> storedStates(const QString& dbPath)
{
    QMap<QString, int> states;
    sqlite3* db = nullptr;
    sqlite3_stmt* query = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT PersistentID, State FROM TracksTable", -1, &query, nullptr) == SQLITE_OK) {
        while (sqlite3_step(query) == SQLITE_ROW)
            states.insert(QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(query, 0))),
                          sqlite3_column_int(query, 1));
    }
    sqlite3_finalize(query);
    sqlite3_close(db);
    return states;
}

} // namespace

class TestLoader : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& relative) const { return m_dir.filePath(relative); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QDir(m_dir.path()).mkpath(QStringLiteral("dir"));
        QVERIFY(testenv::writeAll(path(QStringLiteral("a.mp3")), "a"));
        QVERIFY(testenv::writeAll(path(QStringLiteral("b.mp3")), "b"));
        QVERIFY(::link(QFile::encodeName(path(QStringLiteral("a.mp3"))).constData(),
                       QFile::encodeName(path(QStringLiteral("hard-a.mp3"))).constData()) == 0);
        QVERIFY(QFile::link(path(QStringLiteral("b.mp3")), path(QStringLiteral("link-b.mp3"))));
    }

    void oneEntryPerFile_data()
    {
        QTest::addColumn<QStringList>("given");
        QTest::addColumn<QStringList>("kept");
        const QString a = QStringLiteral("a.mp3"), b = QStringLiteral("b.mp3");
        QTest::newRow("different files") << QStringList{a, b} << QStringList{a, b};
        QTest::newRow("same text twice") << QStringList{a, b, a} << QStringList{a, b};
        QTest::newRow("dot-dot form") << QStringList{QStringLiteral("dir/../a.mp3"), a}
                                      << QStringList{QStringLiteral("dir/../a.mp3")};
        QTest::newRow("symbolic link") << QStringList{QStringLiteral("link-b.mp3"), b}
                                       << QStringList{QStringLiteral("link-b.mp3")};
        QTest::newRow("hard link") << QStringList{a, QStringLiteral("hard-a.mp3")} << QStringList{a};
        QTest::newRow("missing file twice")
            << QStringList{QStringLiteral("gone.mp3"), QStringLiteral("dir/../gone.mp3"), a}
            << QStringList{QStringLiteral("gone.mp3"), a};
    }

    void oneEntryPerFile()
    {
        QFETCH(QStringList, given);
        QFETCH(QStringList, kept);
        std::vector<QByteArray> utf8;
        for (const QString& name : given)
            utf8.push_back(path(name).toUtf8());
        std::vector<const char*> paths;
        for (const QByteArray& p : utf8)
            paths.push_back(p.constData());
        paths.insert(paths.begin() + 1, nullptr); // a null entry names no file
        QStringList expected;
        for (const QString& name : kept)
            expected << path(name);
        QCOMPARE(UniqueFilePaths(paths.data(), int(paths.size())), expected);
    }

    void artworkFlagByRunMode_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("reload");
        QTest::addColumn<int>("absence");
        QTest::addColumn<QList<bool>>("flags");
        QTest::newRow("files: from the tags") << int(RUN_FILES) << false << 0 << QList<bool>{true, false};
        QTest::newRow("library: asked per track") << int(RUN_ITUNES) << false << 0 << QList<bool>{true, false};
        QTest::newRow("duplicate scan: never asked") << int(RUN_DUP_ITUNES) << false << 0 << QList<bool>{false, false};
        QTest::newRow("reloaded library rows") << int(RUN_ITUNES) << true << 0 << QList<bool>{true, false};
        QTest::newRow("reloaded file rows") << int(RUN_FILES) << true << 0 << QList<bool>{true, false};
        QTest::newRow("reloaded analysed rows") << int(RUN_FILES) << true << int(AT_ANALYSED)
                                                << QList<bool>{false, false};
    }

    void artworkFlagByRunMode()
    {
        QFETCH(int, mode);
        QFETCH(bool, reload);
        QFETCH(int, absence);
        QFETCH(QList<bool>, flags);
        Session s;
        QDir().mkpath(s.path(QStringLiteral("music")));
        QStringList files;
        QList<libraryxml::Track> tracks;
        for (const QString& fixture : {kWithCover, kWithoutCover}) {
            const QString file = s.path(QStringLiteral("music/") + fixture);
            QVERIFY(QFile::copy(testenv::fixture(fixture), file));
            files << file;
            libraryxml::Track t;
            t.trackId = tracks.size() + 1;
            t.persistentId = libraryxml::persistentId(quint64(t.trackId));
            t.name = fixture;
            t.location = libraryxml::fileUrl(file);
            tracks << t;
        }
        const QString xml = s.path(QStringLiteral("Library.xml"));
        QVERIFY(libraryxml::write(xml, tracks));

        RecordSink sink;
        QVERIFY(s.load(tagMusicRunMode(mode), xml, files, sink));
        QVERIFY(sink.waitForEnd());
        if (reload) {
            MMDestroyMusicLibrary(s.handle);
            sqlite3* db = nullptr;
            QCOMPARE(sqlite3_open(s.dbPath().toUtf8().constData(), &db), SQLITE_OK);
            const QByteArray sql = QByteArray("update TracksTable set Absence=") + QByteArray::number(absence);
            QCOMPARE(sqlite3_exec(db, sql.constData(), nullptr, nullptr, nullptr), SQLITE_OK);
            sqlite3_close(db);
            RecordSink reloaded;
            QVERIFY(s.load(RUN_PROJECT, QString(), {}, reloaded));
            QVERIFY(reloaded.waitForEnd());
            QCOMPARE(artworkFlags(reloaded), flags);
            return;
        }
        QCOMPARE(artworkFlags(sink), flags);
    }

    // Answers asked ahead belong to their own tracks, whichever thread
    // asked them and whichever tracks the loop skips.
    void prefetchedArtworkAnswers_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("step"); // the loop asks for every step-th track
        QTest::newRow("no track") << 0 << 1;
        QTest::newRow("one track") << 1 << 1;
        QTest::newRow("every track") << 5000 << 1;
        QTest::newRow("every seventh track") << 5000 << 7;
        QTest::newRow("two far apart") << 5000 << 4000;
    }

    void prefetchedArtworkAnswers()
    {
        QFETCH(int, count);
        QFETCH(int, step);
        auto truth = [](int index) { return index * 7919 % 3 == 0; };
        std::atomic<int> asked{0};
        CArtworkPrefetch prefetch(count, [&](int first, int tracks, int* answers) {
            for (int i = 0; i < tracks; ++i)
                answers[i] = truth(first + i);
            asked += tracks;
        });
        for (int i = 0; i < count; i += step)
            QCOMPARE(prefetch.Answer(i), truth(i));
        QVERIFY(!prefetch.Answer(count));
        QVERIFY(asked <= count);
    }

    // While the loop stands still (paused), the threads stop a window
    // ahead of it instead of reading through the whole library.
    void prefetchWaitsForTheLoop()
    {
        std::atomic<int> furthest{-1};
        {
            CArtworkPrefetch prefetch(100000, [&](int first, int tracks, int* answers) {
                for (int i = 0; i < tracks; ++i)
                    answers[i] = 0;
                int seen = furthest;
                while (first + tracks - 1 > seen && !furthest.compare_exchange_weak(seen, first + tracks - 1)) {
                }
            });
            QVERIFY(!prefetch.Answer(10));
        }
        QVERIFY2(furthest < 1000, qPrintable(QString::number(furthest)));
    }

    void analysisPauseControl_data()
    {
        QTest::addColumn<QList<int>>("commands"); // tagCtlState, or 0 for the exit
        QTest::addColumn<bool>("goesOn");
        QTest::newRow("continue") << QList<int>{CTL_RUN} << true;
        QTest::newRow("stop") << QList<int>{CTL_STOP} << false;
        QTest::newRow("stop is final") << QList<int>{CTL_STOP, CTL_RUN} << false;
        QTest::newRow("exit") << QList<int>{0} << false;
    }

    void analysisPauseControl()
    {
        QFETCH(QList<int>, commands);
        QFETCH(bool, goesOn);
        QTemporaryDir dir;
        const QByteArray folder = dir.path().toUtf8();
        CMusicManage manager(folder.constData(), folder.constData(), folder.constData());
        manager.CtlCmdState(CTL_RUN);
        manager.CtlCmdState(CTL_PAUSE);
        std::atomic<int> result{-1};
        std::unique_ptr<QThread> loop(QThread::create([&] { result = manager.WaitAnalysisTurn(); }));
        loop->start();
        QVERIFY(!loop->wait(200)); // paused
        for (int command : commands) {
            if (command == 0)
                manager.SetExitState(1);
            else
                manager.CtlCmdState(tagCtlState(command));
        }
        QVERIFY(loop->wait(mmtest::kWaitMs));
        QCOMPARE(result.load(), int(goesOn));
    }

    void newAnalysisForgetsAnOldPause()
    {
        QTemporaryDir dir;
        const QByteArray folder = dir.path().toUtf8();
        CMusicManage manager(folder.constData(), folder.constData(), folder.constData());
        // A pause that reached an idle analysis must not hold the next one,
        // which a continue could not release (it equals the new state).
        manager.CtlCmdState(CTL_PAUSE);
        const tagCtlCmdParam param{CMD_ANALYSE, nullptr, nullptr};
        QCOMPARE(manager.AnalyzeMusicList(&param, MF_TITLE), 0);
        std::unique_ptr<QThread> loop(QThread::create([&] { manager.WaitAnalysisTurn(); }));
        loop->start();
        QVERIFY(loop->wait(mmtest::kWaitMs));
        manager.SetExitState(1);
    }

    // A check box the user changes while the save after an analysis runs
    // reaches the database, also when it comes just before the save writes
    // that track's row: the row ends with the state memory has.
    void stateChangedDuringTheSaveIsKept_data()
    {
        QTest::addColumn<bool>("bulk");
        QTest::newRow("one track's check box") << false;
        QTest::newRow("a change of every track") << true;
    }

    void stateChangedDuringTheSaveIsKept()
    {
        QFETCH(bool, bulk);
        Session s;
        // Without an album, so the analysis has work for both and saves both.
        const QStringList files = {s.musicFile(kWithoutCover, QStringLiteral("a.mp3")),
                                   s.musicFile(kWithoutCover, QStringLiteral("b.mp3"))};
        RecordSink load;
        QVERIFY(s.load(RUN_FILES, QString(), files, load));
        QVERIFY(load.waitForEnd());
        CMusicManage* manager = ManagerOf(s.handle);
        QVERIFY(manager);
        void* changed = nullptr;
        manager->SetBeforeRowSavedHook([&](CMusicObj* music) {
            if (changed)
                return;
            changed = music;
            if (bulk)
                MMChangeAllMusicState(s.handle, MF_ALBUM, 1);
            else
                MMSetMusicState(s.handle, music, MF_ALBUM);
        });
        RecordSink analysis;
        const tagCtlCmdParam param = analysis.param(CMD_ANALYSE);
        QCOMPARE(MMAnalyzeMusicInfo(s.handle, &param, MF_ALBUM | MF_ARTWORK), 0);
        QVERIFY(analysis.waitForEnd());
        // Beginning a transaction waits for the save.
        QCOMPARE(MMDBTransaction(s.handle, false), 0);
        QCOMPARE(MMDBTransaction(s.handle, true), 0);
        manager->SetBeforeRowSavedHook(nullptr);
        QVERIFY(changed);
        const QMap<QString, int> rows = storedStates(s.dbPath());
        QCOMPARE(rows.size(), 2);
        for (int i = 0; i < s.count(); ++i) {
            void* track = nullptr;
            int state = -1;
            QCOMPARE(MMGetMusicListMusic(s.handle, i, &track, nullptr, &state, nullptr), 0);
            QCOMPARE(state & MF_ALBUM, bulk || track == changed ? int(MF_ALBUM) : 0);
            QCOMPARE(rows.value(s.info(track)->strPersistentID, -1), state);
        }
    }

    // A save writes the tracks whose results changed since the last save,
    // not every track ever analysed: a second analysis that finds the same
    // leaves the rows alone, and the apply that waits for the save waits
    // for nothing.
    void saveSkipsTracksAlreadySaved()
    {
        Session s;
        const QStringList files = {s.musicFile(kWithoutCover, QStringLiteral("a.mp3")),
                                   s.musicFile(kWithoutCover, QStringLiteral("b.mp3"))};
        RecordSink load;
        QVERIFY(s.load(RUN_FILES, QString(), files, load));
        QVERIFY(load.waitForEnd());
        CMusicManage* manager = ManagerOf(s.handle);
        QVERIFY(manager);
        int written = 0;
        manager->SetBeforeRowSavedHook([&](CMusicObj*) { ++written; });
        for (const int expected : {2, 0}) {
            written = 0;
            RecordSink analysis;
            const tagCtlCmdParam param = analysis.param(CMD_ANALYSE);
            QCOMPARE(MMAnalyzeMusicInfo(s.handle, &param, MF_ALBUM | MF_ARTWORK), 0);
            QVERIFY(analysis.waitForEnd());
            QCOMPARE(MMDBTransaction(s.handle, false), 0);
            QCOMPARE(MMDBTransaction(s.handle, true), 0);
            QCOMPARE(written, expected);
        }
        manager->SetBeforeRowSavedHook(nullptr);
    }

    void serviceRecordLayout()
    {
        tagAWSStartRecord start;
        QCOMPARE(FillStartRecord(start, "/art", "/logs"), 0);
        const char* bytes = reinterpret_cast<const char*>(&start);
        QCOMPARE(QByteArray(bytes + 4), QByteArray("/art"));
        QCOMPARE(QByteArray(bytes + 516), QByteArray("/logs"));
        QCOMPARE(start.iReserved, 0);

        tagAWSProxyRecord proxy;
        const tagProxySet withHost{0, "proxy.example", 3128, "me", "secret"};
        QCOMPARE(FillProxyRecord(proxy, withHost), 0);
        bytes = reinterpret_cast<const char*>(&proxy);
        QCOMPARE(proxy.iPort, 3128);
        QCOMPARE(QByteArray(bytes + 8), QByteArray("proxy.example"));
        QCOMPARE(QByteArray(bytes + 72), QByteArray("me"));
        QCOMPARE(QByteArray(bytes + 104), QByteArray("secret"));

        const tagProxySet noHost{-1, nullptr, 3128, nullptr, nullptr};
        QCOMPARE(FillProxyRecord(proxy, noHost), 0);
        QCOMPARE(proxy.iKind, -1);
        QCOMPARE(proxy.iPort, 0); // a port means nothing without a host
    }
};

QTEST_GUILESS_MAIN(TestLoader)
#include "tst_loader.moc"
