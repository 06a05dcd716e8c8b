// Loading through the exported interface only: a folder's files, iTunes
// library files and saved databases; the load records; pause, continue,
// stop and exit; destroying and loading again.
#include "cadenzo.h"
#include "enginedb.h"
#include "libraryxml.h"
#include "mmsession.h"
#include "testenv.h"

#include <QDate>
#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <atomic>
#include <dlfcn.h>

using mmtest::execSql;
using mmtest::Record;
using mmtest::RecordSink;
using mmtest::Session;

namespace {

const QString kFixtureA = QStringLiteral("id3v2-cover.mp3");   // every field, picture
const QString kFixtureB = QStringLiteral("id3v2-partial.mp3"); // title and artist only
const QString kFixtureC = QStringLiteral("id3v1-only.mp3");

QStringList copies(const Session& s, int count)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files << s.musicFile(kFixtureA, QStringLiteral("copy %1.mp3").arg(i));
    return files;
}

QList<int> progressOf(const QList<Record>& records)
{
    QList<int> progress;
    for (const Record& r : records)
        progress << r.progress;
    return progress;
}

libraryxml::Track libraryTrack(int n, const QString& file, const QString& url)
{
    libraryxml::Track t;
    t.trackId = 100 + n;
    t.persistentId = libraryxml::persistentId(quint64(n));
    t.name = QStringLiteral("Song %1").arg(n);
    t.artist = QStringLiteral("Artist %1").arg(n);
    t.album = QStringLiteral("Album & Co");
    t.genre = QStringLiteral("Jazz");
    t.year = 1990 + n;
    t.size = QFileInfo(file).size();
    t.totalTime = 5000 + n;
    t.bitRate = 64;
    t.location = url;
    return t;
}

// The rows another connection reads at once; -1 when the file is locked.
int committedRows(const QString& dbPath)
{
    sqlite3* db = nullptr;
    int rows = -1;
    sqlite3_stmt* query = nullptr;
    if (sqlite3_open_v2(dbPath.toUtf8().constData(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK
        && sqlite3_prepare_v2(db, "SELECT count(*) FROM TracksTable", -1, &query, nullptr) == SQLITE_OK
        && sqlite3_step(query) == SQLITE_ROW)
        rows = sqlite3_column_int(query, 0);
    sqlite3_finalize(query);
    sqlite3_close(db);
    return rows;
}

// A load paused from inside its own callback at record pauseAt.
void pauseAt(Session& s, RecordSink& sink, int pauseAt)
{
    void* handle = s.handle;
    sink.onRecord = [handle, pauseAt](const Record&, int index) {
        if (index == pauseAt)
            MMControlCommand(handle, CMD_LOAD, CTL_PAUSE);
    };
}

} // namespace

class TestMMLoad : public QObject
{
    Q_OBJECT

private slots:
    void everyExportResolvesByName()
    {
        void* library = dlopen(CADENZO_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        QVERIFY2(library, dlerror());
        const char* const names[] = {
            "MMCreateManager", "MMInitManager", "MMSetProxy", "MMLoadMusicLibrary",
            "MMLoadiTunesMusic", "MMLoadExMusicFiles", "MMAnalyzeMusicInfo", "MMControlCommand",
            "MMGetMusicCountAMode", "MMGetMusicListMusic", "MMGetMusicInfo", "MMGetMusicState",
            "MMSetMusicState", "MMGetMusicRepeatID", "MMChangeAllMusicState", "MMApplyMusicInfo",
            "MMApplyiTunesMusicInfo", "MMDownloadMusicInfo", "MMGetGNInfoState",
            "MMGetGNArtworkState", "MMGetDowndArtworkCount", "MMGetDowndArtworkForItem",
            "MMSetDowndArtworkForItem", "MMGetMusicArtwork", "MMGetiTunesArtwork",
            "MMReleaseiTunesArtwork", "MMSetUserMusicInfo", "MMDBTransaction", "MMSetExitState",
            "MMDestroyMusicLibrary", "MMDestroyManager", "MMGetDowndArtworkForItemN",
            "MMGetMusicArtworkN", "MMGetWaitingMusicCount",
        };
        for (const char* name : names)
            QVERIFY2(dlsym(library, name), name);
        // Internals stay hidden.
        QVERIFY(!dlsym(library, "_Z8WriteLogRK7QString"));
        dlclose(library);
    }

    void oneManagerPerProcess()
    {
        Session s;
        QVERIFY(s.handle);
        const QString today = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
        QVERIFY(QFileInfo(s.trashFolder() + QLatin1Char('/') + today).isDir());
        QVERIFY(QFileInfo::exists(s.dataFolder() + QStringLiteral("/MM.log")));

        QTemporaryDir other;
        const QByteArray otherPath = other.path().toUtf8();
        QCOMPARE(MMCreateManager(otherPath.constData(), otherPath.constData(), otherPath.constData()),
                 s.handle);
        QVERIFY(QDir(other.path()).isEmpty());
    }

    void unusableHandlesAreRefused()
    {
        void* stale = nullptr;
        {
            Session s;
            stale = s.handle;
        }
        for (void* handle : {static_cast<void*>(nullptr), stale}) {
            int total = 7;
            QCOMPARE(MMLoadMusicLibrary(handle, "x", "y", RUN_FILES), -1);
            tagCtlCmdParam param{CMD_LOAD, nullptr, nullptr};
            QCOMPARE(MMLoadiTunesMusic(handle, &param), -1);
            QCOMPARE(MMLoadExMusicFiles(handle, 0, nullptr), -1);
            QCOMPARE(MMControlCommand(handle, CMD_LOAD, CTL_PAUSE), -1);
            QCOMPARE(MMGetMusicCountAMode(handle, &total, nullptr), -1);
            QCOMPARE(total, 7);
            QCOMPARE(MMGetWaitingMusicCount(handle, 0), 0);
            QCOMPARE(MMGetMusicListMusic(handle, 0, nullptr, nullptr, nullptr, nullptr), -1);
            QCOMPARE(MMGetGNInfoState(handle, nullptr), -21);
            QCOMPARE(MMGetGNArtworkState(handle, nullptr), -1);
            QCOMPARE(MMGetDowndArtworkCount(handle, nullptr), 0);
            QCOMPARE(MMDownloadMusicInfo(handle, nullptr, nullptr, DW_INFO, &param, FT_DEFAULT), -21);
            QCOMPARE(MMDBTransaction(handle, false), -1);
            QCOMPARE(MMSetExitState(handle, 1), -1);
            QCOMPARE(MMInitManager(handle, nullptr), -1);
            QCOMPARE(MMSetProxy(handle, nullptr), -1);
            MMDestroyMusicLibrary(handle);
            MMDestroyManager(handle);
        }
    }

    void nullTracksAreRefused()
    {
        Session s;
        const tagMMusicInfo* info = nullptr;
        QCOMPARE(MMGetMusicInfo(s.handle, nullptr, &info, INFO_NEW), -1);
        QCOMPARE(MMGetMusicState(s.handle, nullptr), -1);
        QCOMPARE(MMGetMusicRepeatID(s.handle, nullptr), -1LL);
        QCOMPARE(MMGetGNInfoState(s.handle, nullptr), -21);
        QCOMPARE(MMGetGNArtworkState(s.handle, nullptr), -1);
        QCOMPARE(MMGetDowndArtworkCount(s.handle, nullptr), 0);
        char buffer[16] = {};
        QCOMPARE(MMGetMusicArtwork(s.handle, nullptr, buffer), -1);
        QCOMPARE(MMGetDowndArtworkForItem(s.handle, nullptr, 0, buffer), -1);
        tagCtlCmdParam param{CMD_DOWNLOAD, nullptr, nullptr};
        QCOMPARE(MMDownloadMusicInfo(s.handle, nullptr, nullptr, DW_INFO, &param, FT_DEFAULT), -21);
    }

    void loadsFolderFiles()
    {
        Session s;
        const QString a = s.musicFile(kFixtureA);
        const QString b = s.musicFile(kFixtureB);
        const QString c = s.musicFile(kFixtureC);
        const QString noTag = s.musicFile(QStringLiteral("vorbis-only.flac"));
        const QString missing = s.path(QStringLiteral("music/missing.mp3"));
        QFile::link(b, s.path(QStringLiteral("music/link to b.mp3")));
        // One file named twice, and reached through a link and a ".." path:
        // loaded once, at its first place in the list.
        const QStringList files = {a, b, a, s.path(QStringLiteral("music/link to b.mp3")), c,
                                   s.path(QStringLiteral("music/../music/")) + kFixtureC,
                                   noTag, missing};
        RecordSink sink;
        QVERIFY(s.load(RUN_FILES, QString(), files, sink));
        QVERIFY(sink.waitForEnd());

        // Five different files; the untagged FLAC and the missing file are
        // skipped but still count in the progress.
        const QList<Record> tracks = sink.trackRecords();
        QCOMPARE(progressOf(sink.records()), (QList<int>{2000, 4000, 6000, 10000}));
        QCOMPARE(tracks.size(), 3);
        QCOMPARE(tracks[0].location, a);
        QCOMPARE(tracks[1].location, b);
        QCOMPARE(tracks[2].location, c);
        for (const Record& r : tracks)
            QCOMPARE(r.state, 1);
        const QByteArray log = testenv::readAll(s.dataFolder() + QStringLiteral("/MM.log"));
        QVERIFY(log.contains((missing + QStringLiteral(" GetMusicInfo Failed: -2")).toUtf8()));

        int total = 0;
        tagMusicRunMode mode = tagMusicRunMode(0);
        QCOMPARE(MMGetMusicCountAMode(s.handle, &total, &mode), 3);
        QCOMPARE(total, 3);
        QCOMPARE(mode, RUN_FILES);

        const tagMMusicInfo* first = s.info(tracks[0].track);
        QVERIFY(first);
        QCOMPARE(first->strPersistentID, QStringLiteral("65535"));
        QCOMPARE(first->strName, QStringLiteral("Lantern Steps"));
        QCOMPARE(first->strArtist, QStringLiteral("Orrin Vale"));
        QCOMPARE(first->strAlbum, QStringLiteral("Harbour Lights"));
        QCOMPARE(first->strYear, QStringLiteral("1998"));
        QCOMPARE(first->strGenre, QStringLiteral("Jazz"));
        QCOMPARE(first->strSize, QString::number(QFileInfo(a).size()));
        QCOMPARE(first->strLocation, a);
        QCOMPARE(s.info(tracks[1].track)->strName, QStringLiteral("Grey Water Café"));
        QCOMPARE(s.info(tracks[1].track)->strPersistentID, QStringLiteral("65536"));
        QCOMPARE(s.info(tracks[2].track)->strPersistentID, QStringLiteral("65537"));

        // The library copy holds only the fields a user may see changed.
        const tagMMusicInfo* original = s.info(tracks[0].track, INFO_ORIGINAL);
        QCOMPARE(original->strName, QStringLiteral("Lantern Steps"));
        QCOMPARE(original->strGenre, QStringLiteral("Jazz"));
        QVERIFY(original->strLocation.isEmpty());
        QVERIFY(original->strPersistentID.isEmpty());

        // The list reader agrees with the records.
        void* track = nullptr;
        int absence = -1, state = -1;
        long long repeat = -1;
        QCOMPARE(MMGetMusicListMusic(s.handle, 2, &track, &absence, &state, &repeat), 0);
        QCOMPARE(track, tracks[2].track);
        QCOMPARE(absence, 0);
        QCOMPARE(state, 0);
        QCOMPARE(repeat, 0LL);
        QCOMPARE(MMGetMusicListMusic(s.handle, 3, &track, nullptr, nullptr, nullptr), -1);
        QCOMPARE(MMGetMusicListMusic(s.handle, -1, &track, nullptr, nullptr, nullptr), -1);
    }

    // A hidden copy that a killed tag write left beside a song is no song:
    // handed to a load with the song (a folder scan finds it), it goes
    // instead of becoming a duplicate of the song.
    void leftoverTagCopiesAreNotLoaded()
    {
        Session s;
        const QString song = s.musicFile(kFixtureA);
        const QString leftover = s.musicFile(kFixtureA, QStringLiteral(".vessolin-Ab12Cd.mp3"));
        const QString lookalike = s.musicFile(kFixtureA, QStringLiteral(".vessolin-notes.mp3"));
        RecordSink sink;
        QVERIFY(s.load(RUN_DUP_FILES, QString(), {song, leftover, lookalike}, sink));
        QVERIFY(sink.waitForEnd());
        const QList<Record> tracks = sink.trackRecords();
        QCOMPARE(tracks.size(), 2);
        QCOMPARE(tracks[0].location, song);
        QCOMPARE(tracks[1].location, lookalike);
        QCOMPARE(progressOf(sink.records()), (QList<int>{3333, 9999, 10000}));
        QVERIFY(!QFile::exists(leftover));
        QVERIFY(QFile::exists(lookalike));
    }

    void progressCountsEveryTrack_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("progress");
        QTest::newRow("none") << 0 << QList<int>{10000};
        QTest::newRow("one") << 1 << QList<int>{9999, 10000};
        QTest::newRow("three") << 3 << QList<int>{3333, 6666, 9999, 10000};
        QTest::newRow("seven") << 7 << QList<int>{1428, 2857, 4285, 5714, 7142, 8571, 9999, 10000};
    }

    void progressCountsEveryTrack()
    {
        QFETCH(int, count);
        QFETCH(QList<int>, progress);
        Session s;
        RecordSink sink;
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, count), sink));
        QVERIFY(sink.waitForEnd());
        QCOMPARE(progressOf(sink.records()), progress);
        for (const Record& r : sink.records())
            QCOMPARE(r.operation, int(CMD_LOAD));
    }

    void endRecordFollowsTheCommit_data()
    {
        QTest::addColumn<int>("count");
        QTest::newRow("none") << 0;
        QTest::newRow("three") << 3;
        QTest::newRow("two hundred") << 200;
    }

    // Another connection, which does not wait for locks, already reads
    // every loaded row when the end record arrives.
    void endRecordFollowsTheCommit()
    {
        QFETCH(int, count);
        Session s;
        std::atomic<int> stored{-2};
        RecordSink sink;
        sink.onRecord = [&](const Record& r, int) {
            if (!r.track && r.progress == PROGRESS_FULL)
                stored = committedRows(s.dbPath());
        };
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, count), sink));
        QVERIFY(sink.waitForEnd());
        QCOMPARE(stored.load(), count);
    }

    void loadsLibraryXml()
    {
        Session s;
        const QString a = s.musicFile(kFixtureA, QStringLiteral("Ünïcode 100% & more.mp3"));
        const QString b = s.musicFile(kFixtureB);
        const QString c = s.musicFile(kFixtureC);
        QList<libraryxml::Track> tracks = {
            libraryTrack(1, a, libraryxml::fileUrl(a)),
            libraryTrack(2, b, libraryxml::localhostUrl(b)),
            libraryTrack(3, c, QString()),              // no file: not served
            libraryTrack(4, c, libraryxml::fileUrl(c)),
        };
        libraryxml::Track stream = libraryTrack(5, c, QStringLiteral("http://radio.example/stream"));
        stream.trackType = QStringLiteral("URL");
        tracks << stream;
        const QString xml = s.path(QStringLiteral("Library.xml"));
        QVERIFY(libraryxml::write(xml, tracks));

        RecordSink sink;
        QVERIFY(s.load(RUN_ITUNES, xml, {}, sink));
        QVERIFY(sink.waitForEnd());
        const QList<Record> loaded = sink.trackRecords();
        QCOMPARE(loaded.size(), 3);
        QCOMPARE(progressOf(sink.records()), (QList<int>{3333, 6666, 9999, 10000}));
        tagMusicRunMode mode = tagMusicRunMode(0);
        QCOMPARE(MMGetMusicCountAMode(s.handle, nullptr, &mode), 3);
        QCOMPARE(mode, RUN_ITUNES);

        QHash<QString, const tagMMusicInfo*> byId;
        for (const Record& r : loaded) {
            const tagMMusicInfo* info = s.info(r.track);
            QVERIFY(info);
            QCOMPARE(r.location, info->strLocation);
            byId.insert(info->strPersistentID, info);
        }
        const tagMMusicInfo* first = byId.value(tracks[0].persistentId);
        QVERIFY(first);
        QCOMPARE(first->strLocation, a);
        QCOMPARE(first->strName, QStringLiteral("Song 1"));
        QCOMPARE(first->strArtist, QStringLiteral("Artist 1"));
        QCOMPARE(first->strAlbum, QStringLiteral("Album & Co"));
        QCOMPARE(first->strYear, QStringLiteral("1991"));
        QCOMPARE(first->strGenre, QStringLiteral("Jazz"));
        QCOMPARE(first->strTotalTime, QStringLiteral("5001"));
        QCOMPARE(first->strBitRate, QStringLiteral("64"));
        QCOMPARE(first->strSize, QString::number(QFileInfo(a).size()));
        QVERIFY(first->strAlbumID.isEmpty());
        QCOMPARE(byId.value(tracks[1].persistentId)->strLocation, b);
        QVERIFY(byId.contains(tracks[3].persistentId));
        QVERIFY(!byId.contains(tracks[2].persistentId));
        QVERIFY(!byId.contains(tracks[4].persistentId));
    }

    // "Start to Clean iTunes" gives no path: the library in the Music
    // folder is loaded, in both iTunes run modes; without one the open
    // fails.
    void loadsTheUsersOwnLibrary_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<bool>("present");
        QTest::newRow("clean-up, library there") << int(RUN_ITUNES) << true;
        QTest::newRow("duplicates, library there") << int(RUN_DUP_ITUNES) << true;
        QTest::newRow("clean-up, no library") << int(RUN_ITUNES) << false;
    }

    void loadsTheUsersOwnLibrary()
    {
        QFETCH(int, mode);
        QFETCH(bool, present);
        Session s;
        QDir folder(QDir::cleanPath(QStandardPaths::writableLocation(QStandardPaths::MusicLocation)) + QStringLiteral("/iTunes"));
        QVERIFY(folder.mkpath(QStringLiteral(".")));
        const QString file = s.musicFile(kFixtureA);
        if (present)
            QVERIFY(libraryxml::write(folder.filePath(QStringLiteral("iTunes Library.xml")),
                                      {libraryTrack(1, file, libraryxml::fileUrl(file))}));
        QCOMPARE(s.openLibrary(QString(), tagMusicRunMode(mode)), present ? 0 : -1);
        if (present) {
            RecordSink sink;
            QCOMPARE(s.startLoad(sink), 0);
            QVERIFY(sink.waitForEnd());
            QCOMPARE(sink.trackRecords().size(), 1);
            QCOMPARE(sink.trackRecords().first().location, file);
        }
        MMDestroyMusicLibrary(s.handle);
        QVERIFY(folder.removeRecursively());
    }

    void loadsRealWorldLibrary()
    {
        const QString xml = testenv::sharedTestData(QStringLiteral("itunes/Test Library.xml"));
        if (xml.isEmpty())
            QSKIP("the real-world library is not present");
        Session s;
        RecordSink sink;
        QVERIFY(s.load(RUN_ITUNES, xml, {}, sink));
        QVERIFY(sink.waitForEnd());
        // 402 tracks, of which 388 have a file; streams and remote tracks
        // have nothing to tidy.
        const QList<Record> loaded = sink.trackRecords();
        QCOMPARE(loaded.size(), 388);
        QCOMPARE(loaded.last().progress, 9999);
        const tagMMusicInfo* known = nullptr;
        for (const Record& r : loaded) {
            const tagMMusicInfo* info = s.info(r.track);
            QVERIFY(!info->strLocation.startsWith(QStringLiteral("file:")));
            if (info->strPersistentID == QStringLiteral("ECF2584D15DCF139"))
                known = info;
        }
        QVERIFY(known);
        QCOMPARE(known->strName, QStringLiteral("That's All I Ask"));
        QCOMPARE(known->strArtist, QStringLiteral("Nina Simone"));
        QCOMPARE(known->strYear, QStringLiteral("2003"));
        QCOMPARE(known->strTotalTime, QStringLiteral("147922"));
        QCOMPARE(known->strSize, QStringLiteral("6186302"));
        QCOMPARE(known->strBitRate, QStringLiteral("256"));
        QCOMPARE(known->strLocation,
                 QStringLiteral("/Users/nathan/Music/iTunes/iTunes Media/Music/Nina Simone/"
                                "Four Women_ The Complete Nina Simone On Philips/"
                                "3-16 That's All I Ask 1.m4a"));
    }

    void reloadsSavedDatabase()
    {
        Session s;
        const QStringList files = {s.musicFile(kFixtureA), s.musicFile(kFixtureB),
                                   s.musicFile(kFixtureC)};
        {
            RecordSink sink;
            QVERIFY(s.load(RUN_FILES, QString(), files, sink));
            QVERIFY(sink.waitForEnd());
            MMDestroyMusicLibrary(s.handle);
        }
        // What a clean-up leaves in a project: edits, findings, choices and
        // artwork paths (bare names are relative to the artwork folder).
        QVERIFY(execSql(s.dbPath(),
            QStringLiteral("update TracksTable set Name='Edited', Absence=%1, State=%2, "
                           "RepeatID=123456789012, ArtPath='cover 1.jpg' where PersistentID='65536';"
                           "update TracksTable set ArtPath='/pictures/x.png' where PersistentID='65537';")
                .arg(MF_ALBUM | AT_ANALYSED).arg(MF_ARTIST)));
        const QByteArray before = testenv::readAll(s.dbPath());

        RecordSink sink;
        QVERIFY(s.load(RUN_PROJECT, QString(), {}, sink));
        QVERIFY(sink.waitForEnd());
        const QList<Record> tracks = sink.trackRecords();
        QCOMPARE(progressOf(sink.records()), (QList<int>{3333, 6666, 9999, 10000}));
        QCOMPARE(tracks[0].location, files[0]);
        // A reload reads the project; it never rebuilds it. (Asking for
        // artwork below may cache pictures in it.)
        QCOMPARE(testenv::readAll(s.dbPath()), before);

        tagMusicRunMode mode = tagMusicRunMode(0);
        QCOMPARE(MMGetMusicCountAMode(s.handle, nullptr, &mode), 3);
        QCOMPARE(mode, RUN_FILES); // each track keeps the mode it was first loaded under

        void* edited = tracks[1].track;
        for (int type : {0, 1, 3})
            QCOMPARE(s.info(edited, tagInfoType(type))->strName, QStringLiteral("Edited"));
        QCOMPARE(s.info(edited, INFO_ORIGINAL)->strName, QStringLiteral("Grey Water Café"));
        QCOMPARE(s.info(edited)->strPersistentID, QStringLiteral("65536"));

        int absence = 0, state = 0;
        long long repeat = 0;
        QCOMPARE(MMGetMusicListMusic(s.handle, 1, nullptr, &absence, &state, &repeat), 0);
        QCOMPARE(absence, int(MF_ALBUM | AT_ANALYSED));
        QCOMPARE(state, int(MF_ARTIST));
        QCOMPARE(repeat, 123456789012LL);
        QCOMPARE(MMGetMusicState(s.handle, edited), int(MF_ARTIST));
        QCOMPARE(MMGetMusicRepeatID(s.handle, edited), 123456789012LL);

        QCOMPARE(MMGetGNArtworkState(s.handle, tracks[0].track), int(DS_NONE));
        QCOMPARE(MMGetGNArtworkState(s.handle, edited), int(DS_DONE));
        QCOMPARE(MMGetGNArtworkState(s.handle, tracks[2].track), int(DS_DONE));
        char path[512];
        const QByteArray expected = (s.artworkFolder() + QStringLiteral("/cover 1.jpg")).toUtf8();
        QCOMPARE(MMGetMusicArtwork(s.handle, edited, path), 0);
        QCOMPARE(QByteArray(path), expected);
        QCOMPARE(MMGetMusicArtworkN(s.handle, tracks[2].track, path, int(sizeof path)), 0);
        QCOMPARE(QByteArray(path), QByteArray("/pictures/x.png"));
        QCOMPARE(MMGetMusicArtwork(s.handle, tracks[0].track, path), -1);

        // A buffer one byte short of the path and its terminator is refused
        // and left alone.
        QByteArray small(expected.size(), 'x');
        QCOMPARE(MMGetMusicArtworkN(s.handle, edited, small.data(), small.size()), -1);
        QCOMPARE(small, QByteArray(expected.size(), 'x'));
        QCOMPARE(MMGetDowndArtworkCount(s.handle, edited), 1);
        QByteArray candidate(expected.size() + 1, 'x');
        QCOMPARE(MMGetDowndArtworkForItemN(s.handle, edited, 0, candidate.data(), candidate.size()), 0);
        QCOMPARE(QByteArray(candidate.constData()), expected);
        QCOMPARE(MMGetDowndArtworkForItemN(s.handle, edited, 0, small.data(), small.size()), -1);
        QCOMPARE(MMGetDowndArtworkForItem(s.handle, edited, 1, path), -1);
    }

    void pauseThenContinueOrStop_data()
    {
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<bool>("finishes");
        QTest::newRow("continue") << QList<int>{CTL_RUN} << true;
        QTest::newRow("stop") << QList<int>{CTL_STOP} << false;
        QTest::newRow("stop, then continue") << QList<int>{CTL_STOP, CTL_RUN} << false;
        QTest::newRow("pause again, then continue") << QList<int>{CTL_PAUSE, CTL_RUN} << true;
    }

    void pauseThenContinueOrStop()
    {
        QFETCH(QList<int>, commands);
        QFETCH(bool, finishes);
        constexpr int kTracks = 6;
        Session s;
        RecordSink sink;
        pauseAt(s, sink, 1);
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, kTracks), sink));
        QVERIFY(sink.waitForCount(2));
        // Paused before the third track: nothing more arrives meanwhile.
        QTest::qWait(200);
        QCOMPARE(sink.records().size(), 2);

        for (int command : commands)
            QCOMPARE(MMControlCommand(s.handle, CMD_LOAD, tagCtlState(command)), 0);
        if (finishes) {
            QVERIFY(sink.waitForEnd());
            QCOMPARE(sink.trackRecords().size(), kTracks);
            return;
        }
        // A stopped load stays stopped: nothing more arrives, and the exit
        // (which waits for the load thread) finds no end record either.
        QTest::qWait(200);
        QCOMPARE(sink.records().size(), 2);
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        QCOMPARE(sink.records().size(), 2);
        QVERIFY(!sink.hasEndRecord());
        QCOMPARE(s.count(), 2);

        // The rows of a stopped load are committed.
        MMDestroyMusicLibrary(s.handle);
        RecordSink reload;
        QVERIFY(s.load(RUN_PROJECT, QString(), {}, reload));
        QVERIFY(reload.waitForEnd());
        QCOMPARE(reload.trackRecords().size(), 2);
    }

    void stopWhileRunningEndsAtNextTrack()
    {
        Session s;
        RecordSink sink;
        void* handle = s.handle;
        sink.onRecord = [handle](const Record&, int index) {
            if (index == 2)
                MMControlCommand(handle, CMD_LOAD, CTL_STOP);
        };
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, 6), sink));
        QVERIFY(sink.waitForCount(3));
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        QCOMPARE(sink.records().size(), 3);
        QVERIFY(!sink.hasEndRecord());
    }

    void exitWakesPausedLoad()
    {
        Session s;
        RecordSink sink;
        pauseAt(s, sink, 0);
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, 4), sink));
        QVERIFY(sink.waitForCount(1));
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        QCOMPARE(sink.records().size(), 1);
        // Twice: the stops and waits repeat and return at once.
        QCOMPARE(MMSetExitState(s.handle, 1), 0);

        // Work asked for in the exit state starts nothing.
        RecordSink after;
        QCOMPARE(s.startLoad(after), 0);
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        QVERIFY(after.records().isEmpty());
    }

    void exitDuringLoadStopsRecords()
    {
        Session s;
        const QString file = s.musicFile(kFixtureA);
        QList<libraryxml::Track> tracks;
        for (int i = 0; i < 3000; ++i)
            tracks << libraryTrack(i, file, libraryxml::fileUrl(file));
        const QString xml = s.path(QStringLiteral("Big.xml"));
        QVERIFY(libraryxml::write(xml, tracks));

        RecordSink sink;
        // A slow receiver keeps the load busy for seconds, so the exit
        // surely comes in the middle of it.
        sink.onRecord = [](const Record&, int) { QThread::usleep(1000); };
        QVERIFY(s.load(RUN_ITUNES, xml, {}, sink));
        QVERIFY(sink.waitForCount(10));
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        const int seen = sink.records().size();
        QVERIFY(seen < tracks.size());
        QVERIFY(!sink.hasEndRecord());
        QTest::qWait(100);
        QCOMPARE(sink.records().size(), seen);
        // The tracks loaded so far stay readable until the library goes.
        QVERIFY(s.count() >= 10);
        const tagMMusicInfo* info = s.info(sink.records().first().track);
        QVERIFY(info);
        QCOMPARE(info->strLocation, file);
    }

    void destroyingTheManagerDuringALoad()
    {
        QString dbPath;
        {
            Session s;
            RecordSink sink;
            pauseAt(s, sink, 1);
            QVERIFY(s.load(RUN_FILES, QString(), copies(s, 5), sink));
            QVERIFY(sink.waitForCount(2));
            // No exit state first: destruction itself must stop and wait
            // for the paused load before anything is freed.
            MMDestroyManager(s.handle);
            s.handle = nullptr;
            QCOMPARE(sink.records().size(), 2);
        }
        // And a new manager loads again.
        Session s;
        RecordSink sink;
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, 2), sink));
        QVERIFY(sink.waitForEnd());
        QCOMPARE(sink.trackRecords().size(), 2);
    }

    void destroyAndReloadRepeatedly()
    {
        Session s;
        const QString file = s.musicFile(kFixtureA);
        QList<libraryxml::Track> tracks;
        for (int i = 0; i < 50; ++i)
            tracks << libraryTrack(i, file, libraryxml::fileUrl(file));
        const QString xml = s.path(QStringLiteral("Library.xml"));
        QVERIFY(libraryxml::write(xml, tracks));
        for (int round = 0; round < 4; ++round) {
            RecordSink sink;
            QVERIFY(s.load(round % 2 ? RUN_DUP_ITUNES : RUN_ITUNES, xml, {}, sink));
            QVERIFY(sink.waitForEnd());
            QCOMPARE(s.count(), 50);
            // The exit state of the last round does not outlive a new load.
            QCOMPARE(MMSetExitState(s.handle, 1), 0);
            if (round % 2)
                MMDestroyMusicLibrary(s.handle);
        }
        MMDestroyMusicLibrary(s.handle);
        QCOMPARE(s.count(), 0);
    }

    void exitStateZeroChangesNothing()
    {
        Session s;
        QCOMPARE(MMSetExitState(s.handle, 0), 0);
        RecordSink sink;
        QVERIFY(s.load(RUN_FILES, QString(), copies(s, 2), sink));
        QCOMPARE(MMSetExitState(s.handle, 0), 0);
        QVERIFY(sink.waitForEnd());
        QCOMPARE(sink.trackRecords().size(), 2);
    }

    void unopenableDatabase()
    {
        Session s;
        const QString db = s.path(QStringLiteral("no such folder/MusicLibrary.db"));
        QCOMPARE(s.openLibrary(QString(), RUN_FILES, db), -1);
        const char* path = "x.mp3";
        QCOMPARE(MMLoadExMusicFiles(s.handle, 1, &path), -1);
        QCOMPARE(MMDBTransaction(s.handle, false), -1);
        RecordSink sink;
        QCOMPARE(s.startLoad(sink), 0);
        QCOMPARE(MMSetExitState(s.handle, 1), 0);
        QVERIFY(sink.records().isEmpty());
    }

    void unusableLibraryFiles_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("not a plist") << QByteArray("just text\n");
        QTest::newRow("no tracks") << QByteArray(
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?><plist version=\"1.0\"><dict>"
            "<key>Major Version</key><integer>1</integer></dict></plist>");
    }

    void unusableLibraryFiles()
    {
        QFETCH(QByteArray, content);
        Session s;
        const QString xml = s.path(QStringLiteral("Library.xml"));
        if (!content.isEmpty())
            QVERIFY(testenv::writeAll(xml, content));
        QCOMPARE(s.openLibrary(xml, RUN_ITUNES), -1);
        QCOMPARE(s.openLibrary(xml, RUN_DUP_ITUNES), -1);
    }

    void unknownRunModeKeepsTheDatabase()
    {
        Session s;
        QVERIFY(testenv::writeAll(s.dbPath(), "the last run's work"));
        for (int mode : {0, 6, -1})
            QCOMPARE(s.openLibrary(QString(), tagMusicRunMode(mode)), -1);
        QCOMPARE(testenv::readAll(s.dbPath()), QByteArray("the last run's work"));

        // A fresh run starts a fresh database, side files included.
        QVERIFY(testenv::writeAll(s.dbPath() + QStringLiteral("-journal"), "stale"));
        QCOMPARE(s.openLibrary(QString(), RUN_FILES), 0);
        QVERIFY(testenv::readAll(s.dbPath()) != QByteArray("the last run's work"));
        QVERIFY(!QFile::exists(s.dbPath() + QStringLiteral("-journal")));
    }

    void transactionsNeedALibrary()
    {
        Session s;
        QCOMPARE(MMDBTransaction(s.handle, false), -1);
        QCOMPARE(s.openLibrary(QString(), RUN_FILES), 0);
        QCOMPARE(MMDBTransaction(s.handle, false), 0);
        QCOMPARE(MMDBTransaction(s.handle, true), 0);
    }

    void serviceTextsThatDoNotFitAreRefused_data()
    {
        QTest::addColumn<int>("folder");
        QTest::addColumn<int>("host");
        QTest::addColumn<int>("user");
        QTest::addColumn<int>("password");
        QTest::addColumn<bool>("refused");
        QTest::newRow("all fit") << 511 << 63 << 31 << 15 << false;
        QTest::newRow("folder") << 512 << 1 << 1 << 1 << true;
        QTest::newRow("host") << 10 << 64 << 1 << 1 << true;
        QTest::newRow("user") << 10 << 1 << 32 << 1 << true;
        QTest::newRow("password") << 10 << 1 << 1 << 16 << true;
    }

    void serviceTextsThatDoNotFitAreRefused()
    {
        QFETCH(int, folder);
        QFETCH(int, host);
        QFETCH(int, user);
        QFETCH(int, password);
        QFETCH(bool, refused);
        Session s;
        const QByteArray f(folder, 'f'), h(host, 'h'), u(user, 'u'), p(password, 'p');
        tagProxySet proxy{0, h.constData(), 8080, u.constData(), p.constData()};
        tagInitParam init{nullptr, f.constData(), 0, 1, proxy};
        QCOMPARE(MMInitManager(s.handle, &init) == MM_ERR_BAD_ARGS, refused);
        const bool proxyTooLong = host > 63 || user > 31 || password > 15;
        QCOMPARE(MMSetProxy(s.handle, &proxy) == MM_ERR_BAD_ARGS, proxyTooLong);
        // A proxy that is not to be used is not looked at.
        init.iUseProxy = 0;
        QCOMPARE(MMInitManager(s.handle, &init) == MM_ERR_BAD_ARGS, folder > 511);
    }
};

QTEST_GUILESS_MAIN(TestMMLoad)
#include "tst_mm_load.moc"
