// The analysis of the fix run modes, the save after it, the user's choices
// and edits, and applying results into file tags and into the library file,
// all through the exported interface. Changes to the library are checked
// from a new process; that every change acknowledged reaches the library
// file, also from a killed process, is the library agent's promise test.
// Songs are written by a process that is a normal user, on file systems
// with and without locks (a stand-in for flock).
#include "cadenzo.h"
#include "fileattributes.h"
#include "libraryxml.h"
#include "meanwhile.h"
#include "mmanalysis.h"
#include "mmsession.h"
#include "otheruser.h"
#include "syncfaults.h"
#include "tagread.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTest>

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <memory>
#include <sys/resource.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace mmtest;

namespace {

const QString kComplete = QStringLiteral("id3v2-cover.mp3"); // every field and a picture
const QString kPartial = QStringLiteral("id3v2-partial.mp3"); // title, artist; no album, year, genre, picture
const QString kNoPicture = QStringLiteral("id3v1-only.mp3");  // every field, no picture
constexpr int kFixMask = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_ARTWORK | MF_FILE;
constexpr int kDates = MF_YEAR | MF_GENRE;
constexpr int kDone = AT_ANALYSED;

QString cover()
{
    return testenv::fixture(QStringLiteral("cover.jpg"));
}

// A library whose tracks have a title and nothing else, one over each file.
QString emptyFieldsLibrary(const Session& s, const QStringList& files)
{
    const QString xml = s.path(QStringLiteral("Library.xml"));
    return libraryxml::write(xml, libraryxml::titledTracks(files)) ? xml : QString();
}

// The same over files without a picture: each its own, or all one.
QString emptyFieldsLibrary(const Session& s, int count, bool oneFile = false)
{
    QStringList files;
    const QString shared = oneFile ? s.musicFile(kPartial, QStringLiteral("shared.mp3")) : QString();
    for (int i = 0; i < count; ++i)
        files << (oneFile ? shared : s.musicFile(kPartial, QStringLiteral("song %1.mp3").arg(i)));
    return emptyFieldsLibrary(s, files);
}

QProcess* startChild(const QStringList& arguments, const QProcessEnvironment& env = QProcessEnvironment())
{
    auto* child = new QProcess;
    if (!env.isEmpty())
        child->setProcessEnvironment(env);
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments(QStringList{QStringLiteral("--child")} + arguments);
    child->start();
    return child;
}

// pid -> "artist|album" as a new process finds the library.
QMap<QString, QString> libraryAsSeenByANewProcess(const QString& xml)
{
    std::unique_ptr<QProcess> child(startChild({QStringLiteral("read"), xml}));
    child->waitForFinished(kWaitMs);
    QMap<QString, QString> seen;
    for (const QByteArray& line : child->readAllStandardOutput().split('\n')) {
        const QList<QByteArray> parts = line.split('\t');
        if (parts.size() == 3)
            seen.insert(QString::fromUtf8(parts[0]), QString::fromUtf8(parts[1] + '|' + parts[2]));
    }
    return seen;
}

// A song of about bytes: the partial fixture's tag and audio, followed by
// more frames of the untagged one, so that the file dwarfs the working
// database and the log beside it.
QString bigSong(const Session& s, const QString& name, int bytes)
{
    const QString path = s.musicFile(kPartial, name);
    QByteArray song = testenv::readAll(path);
    const QByteArray frames = testenv::readAll(testenv::fixture(QStringLiteral("untagged.mp3")));
    while (!frames.isEmpty() && song.size() < bytes)
        song += frames;
    return testenv::writeAll(path, song) ? path : QString();
}

// An MP3's bytes without its tags: an ID3v2 tag in front, an ID3v1 tag at
// the end.
QByteArray audioOf(QByteArray bytes)
{
    if (bytes.startsWith("ID3") && bytes.size() >= 10) {
        qsizetype size = 10 + ((bytes[5] & 0x10) ? 10 : 0);
        for (int i = 6; i < 10; ++i)
            size += qsizetype(uchar(bytes[i]) & 0x7f) << (7 * (9 - i));
        bytes.remove(0, size);
    }
    if (bytes.size() >= 128 && bytes.mid(bytes.size() - 128, 3) == "TAG")
        bytes.chop(128);
    return bytes;
}

// A file unchanged for two hours.
bool makeOld(const QString& path)
{
    const struct timespec old[2] = {{::time(nullptr) - 7200, 0}, {::time(nullptr) - 7200, 0}};
    return ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), old, 0) == 0;
}

// "uid:gid mode" of path, the mode in octal.
QString ownerAndMode(const QString& path)
{
    struct stat st;
    if (::stat(QFile::encodeName(path).constData(), &st) != 0)
        return QStringLiteral("missing");
    return QStringLiteral("%1:%2 %3").arg(st.st_uid).arg(st.st_gid).arg(st.st_mode & 07777, 4, 8, QLatin1Char('0'));
}

// One applied track as the child reports it.
struct Applied {
    int result = 0;
    int absence = 0;
    int stored = 0;
    bool logged = false;
};

} // namespace

class TestAnalysis : public QObject
{
    Q_OBJECT

private slots:
    // The application begins its transaction for applying as soon as the
    // analysis ended; on the one connection the save still works over, it
    // must wait for the save rather than fail or take the save's writes.
    void applyTransactionWaitsForTheSave()
    {
        Session s;
        const QString xml = emptyFieldsLibrary(s, 3000, true);
        QVERIFY(loadAndWait(s, RUN_ITUNES, xml, {}));
        RecordSink sink;
        QVERIFY(analyse(s, MF_ARTIST, sink));
        QCOMPARE(MMDBTransaction(s.handle, false), 0);
        QVERIFY(engineLog(s).contains(QStringLiteral("End Delete Complete Music")));
        QCOMPARE(MMApplyMusicInfo(s.handle, 0, 0), -1); // nothing to write yet
        QCOMPARE(MMDBTransaction(s.handle, true), 0);
        const QList<Row> saved = rows(s.dbPath());
        QCOMPARE(saved.size(), 3000);
        QCOMPARE(saved.last().absence, MF_ARTIST | kDates | kDone);
    }

    // Absence bits per file (-1: found complete, leaves the list) for
    // every field, fields missing in the tags, no picture, a missing file.
    void fixModeMarksWhatIsMissing_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QList<int>>("expected");
        QTest::newRow("every category") << kFixMask
            << QList<int>{-1, MF_ALBUM | MF_ARTWORK | kDates | kDone, MF_ARTWORK | kDone, MF_FILE | kDone};
        QTest::newRow("no artwork") << (kFixMask & ~MF_ARTWORK)
            << QList<int>{-1, MF_ALBUM | kDates | kDone, -1, MF_FILE | kDone};
        QTest::newRow("no missing files") << (kFixMask & ~MF_FILE)
            << QList<int>{-1, MF_ALBUM | MF_ARTWORK | kDates | kDone, MF_ARTWORK | kDone, kDone};
        QTest::newRow("titles only") << int(MF_TITLE | MF_FILE) << QList<int>{-1, -1, -1, MF_FILE | kDone};
    }

    void fixModeMarksWhatIsMissing()
    {
        QFETCH(int, mask);
        QFETCH(QList<int>, expected);
        Session s;
        const QStringList files = {s.musicFile(kComplete, QStringLiteral("a.mp3")),
                                   s.musicFile(kPartial, QStringLiteral("b.mp3")),
                                   s.musicFile(kNoPicture, QStringLiteral("c.mp3")),
                                   s.musicFile(kComplete, QStringLiteral("d.mp3"))};
        QVERIFY(loadAndWait(s, RUN_FILES, QString(), files));
        QVERIFY(QFile::remove(files[3]));
        RecordSink sink;
        QVERIFY(analyse(s, mask, sink));
        QCOMPARE(sink.records().size(), 1); // the fix modes tell only the end

        QStringList keptFiles;
        QList<int> keptAbsence;
        for (int i = 0; i < files.size(); ++i) {
            if (expected[i] >= 0) {
                keptFiles << files[i];
                keptAbsence << expected[i];
            }
        }
        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), keptFiles.size());
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(list[i].location, keptFiles[i]);
            QCOMPARE(list[i].absence, keptAbsence[i]);
        }
        int total = 0;
        QCOMPARE(MMGetMusicCountAMode(s.handle, &total, nullptr), keptFiles.size());
        QCOMPARE(total, files.size());

        // The save keeps the findings and drops the complete tracks' rows.
        QVERIFY(waitForSaves(s, 1));
        const QList<Row> saved = rows(s.dbPath());
        QCOMPARE(saved.size(), list.size());
        for (const Entry& e : list)
            QCOMPARE(rowOf(s.dbPath(), e.pid).absence, e.absence);
        QVERIFY(engineLog(s).contains(
            QStringLiteral("Start Delete Complete Music: %1").arg(files.size() - keptFiles.size())));
    }

    // A track analysed before keeps its findings; one whose file was
    // missing is looked at again.
    void reanalysisLooksOnlyAtMissingFiles()
    {
        Session s;
        const QStringList files = {s.musicFile(kPartial, QStringLiteral("b.mp3")),
                                   s.musicFile(kComplete, QStringLiteral("d.mp3"))};
        QVERIFY(loadAndWait(s, RUN_FILES, QString(), files));
        QVERIFY(QFile::rename(files[1], files[1] + QStringLiteral(".away")));
        RecordSink first;
        QVERIFY(analyse(s, kFixMask, first));
        QCOMPARE(entries(s).at(1).absence, MF_FILE | kDone);
        QVERIFY(QFile::rename(files[1] + QStringLiteral(".away"), files[1]));
        QVERIFY(waitForSaves(s, 1));

        RecordSink second;
        QVERIFY(analyse(s, MF_TITLE | MF_FILE, second));
        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), 1);
        QCOMPARE(list[0].absence, MF_ALBUM | MF_ARTWORK | kDates | kDone);
        int total = 0;
        MMGetMusicCountAMode(s.handle, &total, nullptr);
        QCOMPARE(total, 2);
        QVERIFY(waitForSaves(s, 2));
        QCOMPARE(rows(s.dbPath()).size(), 1);
    }

    void emptyLibrarySendsOnlyTheEnd()
    {
        Session s;
        const QString xml = s.path(QStringLiteral("Empty.xml"));
        QVERIFY(libraryxml::write(xml, {}));
        QVERIFY(loadAndWait(s, RUN_ITUNES, xml, {}));
        RecordSink sink;
        QVERIFY(analyse(s, kFixMask, sink));
        QCOMPARE(sink.records().size(), 1);
        QCOMPARE(sink.records().at(0).operation, int(CMD_ANALYSE));
        QCOMPARE(sink.records().at(0).state, 1);
        QVERIFY(waitForSaves(s, 1));
    }

    // A project saved before year and genre were kept never marks them.
    void oldProjectsLeaveYearAndGenreAlone()
    {
        Session s;
        const QString file = s.musicFile(kPartial, QStringLiteral("b.mp3"));
        const QString db = s.path(QStringLiteral("old.zorvadata"));
        QVERIFY(execSql(db, QStringLiteral(
            "create table TracksTable (TrackID integer, PersistentID text, Name text, TotalTime text, "
            "Artist text, Album text, Size text, Location text, ArtData blob, ArtPath text, "
            "Absence integer, State integer, RepeatID integer, Type integer, Year text, Genre text, "
            "Bitrate text, TrashPath text);"
            "insert into TracksTable values (10000, '65535', 'Grey', '5000', 'Mira', '', '1', '%1', "
            "NULL, NULL, 0, 0, 0, 2, '', '', '64', NULL);").arg(file)));
        QCOMPARE(s.openLibrary(QString(), RUN_PROJECT, db), 0);
        RecordSink load;
        QCOMPARE(s.startLoad(load), 0);
        QVERIFY(load.waitForEnd());
        RecordSink sink;
        QVERIFY(analyse(s, kFixMask, sink));
        QCOMPARE(entries(s).at(0).absence, MF_ALBUM | MF_ARTWORK | kDone);
    }

    void stopsAndExitsEndWithoutSaving_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<bool>("finishes");
        QTest::newRow("continue") << int(CTL_RUN) << true;
        QTest::newRow("stop") << int(CTL_STOP) << false;
        QTest::newRow("exit") << -1 << false;
    }

    // Paused from its own record, the analysis waits; a continue finishes
    // it, a stop or the exit ends it with neither end record nor save.
    void stopsAndExitsEndWithoutSaving()
    {
        QFETCH(int, command);
        QFETCH(bool, finishes);
        Session s;
        QStringList files;
        for (int i = 0; i < 5; ++i)
            files << s.musicFile(kPartial, QStringLiteral("%1.mp3").arg(i));
        QVERIFY(loadAndWait(s, RUN_DUP_FILES, QString(), files));
        RecordSink sink;
        void* handle = s.handle;
        sink.onRecord = [handle](const Record&, int index) {
            if (index == 1)
                MMControlCommand(handle, CMD_ANALYSE, CTL_PAUSE);
        };
        const tagCtlCmdParam param = sink.param(CMD_ANALYSE);
        QCOMPARE(MMAnalyzeMusicInfo(s.handle, &param, MF_TITLE), 0);
        QVERIFY(sink.waitForCount(2));
        QTest::qWait(100);
        QCOMPARE(sink.records().size(), 2);
        if (command < 0)
            QCOMPARE(MMSetExitState(s.handle, 1), 0);
        else
            QCOMPARE(MMControlCommand(s.handle, CMD_ANALYSE, tagCtlState(command)), 0);
        if (finishes) {
            QVERIFY(sink.waitForEnd());
            QCOMPARE(sink.records().size(), files.size() + 1);
            QVERIFY(waitForSaves(s, 1));
            return;
        }
        MMSetExitState(s.handle, 1);
        QCOMPARE(sink.records().size(), 2);
        QVERIFY(!engineLog(s).contains(QStringLiteral("start SaveDataToDB()")));
    }

    // Applying a reloaded project's track, whose row says what is missing
    // and unchecked: what is written, the result, what stays missing.
    void applyFollowsTheRules_data()
    {
        QTest::addColumn<int>("absence");
        QTest::addColumn<int>("state");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<int>("replace");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("written");
        const QString old = QStringLiteral("Mira Kessel"), other = QStringLiteral("Other Artist"),
                      album = QStringLiteral("New Album");
        QTest::newRow("only the year missing") << (MF_YEAR | kDone) << 0 << old << album << 0 << 0 << 0;
        QTest::newRow("album and year missing") << (MF_ALBUM | MF_YEAR | kDone) << 0 << old << album << 0 << 0
                                                << (MF_ALBUM | MF_YEAR);
        QTest::newRow("album unchecked, artist missing") << (MF_ARTIST | MF_ALBUM | kDone) << int(MF_ALBUM) << other
                                                         << album << 0 << 0 << int(MF_ARTIST);
        QTest::newRow("missing file") << (MF_FILE | MF_ALBUM | kDone) << 0 << old << album << 0 << 0 << 0;
        QTest::newRow("nothing to write") << (MF_ALBUM | kDone) << 0 << old << QString() << 0 << -1 << 0;
        QTest::newRow("artist replaced") << (MF_ALBUM | kDone) << 0 << other << album << int(MF_ARTIST) << 0
                                         << (MF_ALBUM | MF_ARTIST);
        QTest::newRow("same artist not replaced") << (MF_ALBUM | kDone) << 0 << old << album << int(MF_ARTIST) << 0
                                                  << int(MF_ALBUM);
        QTest::newRow("artist replaced only when asked") << (MF_ALBUM | kDone) << 0 << other << album << 0 << 0
                                                         << int(MF_ALBUM);
    }

    void applyFollowsTheRules()
    {
        QFETCH(int, absence);
        QFETCH(int, state);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QFETCH(int, replace);
        QFETCH(int, result);
        QFETCH(int, written);
        Session s;
        const QString file = s.musicFile(kPartial, QStringLiteral("b.mp3"));
        QVERIFY(loadAndWait(s, RUN_FILES, QString(), {file}));
        QVERIFY(execSql(s.dbPath(), QStringLiteral("update TracksTable set Absence=%1, State=%2, Artist='%3', "
                                                   "Album='%4', Year='2001'")
                                        .arg(absence).arg(state).arg(artist, album)));
        QVERIFY(loadAndWait(s, RUN_PROJECT, QString(), {}));
        const QByteArray before = testenv::readAll(file);

        QCOMPARE(MMApplyMusicInfo(s.handle, 0, replace), result);
        const tagread::Fields tags = tagread::fields(file);
        QCOMPARE(!album.isEmpty() && tags.album == album, bool(written & MF_ALBUM));
        QCOMPARE(tags.year == 2001u, bool(written & MF_YEAR));
        QCOMPARE(tags.artist, (written & MF_ARTIST) ? artist : QStringLiteral("Mira Kessel"));
        if (!written)
            QCOMPARE(testenv::readAll(file), before);
        const int left = absence & ~written;
        QCOMPARE(entries(s).at(0).absence, left);
        QCOMPARE(rows(s.dbPath()).at(0).absence, left);
        QCOMPARE(MMApplyMusicInfo(s.handle, 1, replace), -1); // outside the list
    }

    void editsAndChoicesReachTheDatabase()
    {
        Session s;
        QVERIFY(loadAndWait(s, RUN_FILES, QString(),
                            {s.musicFile(kPartial, QStringLiteral("b.mp3")), s.musicFile(kNoPicture, QStringLiteral("c.mp3"))}));
        RecordSink sink;
        QVERIFY(analyse(s, kFixMask, sink));
        QVERIFY(waitForSaves(s, 1));
        const QList<Entry> list = entries(s);
        void* track = list[0].track;

        // Values come one per bit, in the field order.
        QCOMPARE(setUserInfo(s, track, MF_ARTIST | MF_YEAR, {QStringLiteral("Ann"), QStringLiteral("1999")}), 0);
        QCOMPARE(s.info(track)->strArtist, QStringLiteral("Ann"));
        QCOMPARE(s.info(track)->strYear, QStringLiteral("1999"));
        QCOMPARE(rowOf(s.dbPath(), list[0].pid).artist, QStringLiteral("Ann"));
        QCOMPARE(rowOf(s.dbPath(), list[0].pid).year, QStringLiteral("1999"));
        // An emptied field is no edit.
        QCOMPARE(setUserInfo(s, track, MF_ARTIST, {QString()}), 0);
        QCOMPARE(s.info(track)->strArtist, QStringLiteral("Ann"));
        QCOMPARE(MMSetUserMusicInfo(s.handle, track, MF_ARTIST, nullptr), -1);

        QCOMPARE(MMSetMusicState(s.handle, track, MF_ALBUM), 0);
        QCOMPARE(MMGetMusicState(s.handle, track), int(MF_ALBUM));
        QCOMPARE(rowOf(s.dbPath(), list[0].pid).state, int(MF_ALBUM));

        // Every row, and in memory the categories the report shows.
        QCOMPARE(MMChangeAllMusicState(s.handle, MF_FILE | MF_TITLE, 1), 0);
        for (const Entry& e : entries(s)) {
            QCOMPARE(MMGetMusicState(s.handle, e.track) & (MF_FILE | MF_TITLE), int(MF_FILE));
            QCOMPARE(rowOf(s.dbPath(), e.pid).state & (MF_FILE | MF_TITLE), MF_FILE | MF_TITLE);
        }
        QCOMPARE(MMChangeAllMusicState(s.handle, MF_FILE, 0), 0);
        for (const Entry& e : entries(s)) {
            QCOMPARE(MMGetMusicState(s.handle, e.track) & MF_FILE, 0);
            QCOMPARE(rowOf(s.dbPath(), e.pid).state & MF_FILE, 0);
        }
        QCOMPARE(rowOf(s.dbPath(), list[0].pid).state & MF_ALBUM, int(MF_ALBUM));
    }

    // The user's edits and chosen artwork go into the file's tags; a field
    // that cannot be written stays missing.
    void applyingWritesTagsAndArtwork()
    {
        Session s;
        const QString writable = s.musicFile(kPartial, QStringLiteral("b.mp3"));
        const QString readOnly = s.musicFile(kNoPicture, QStringLiteral("c.mp3"));
        const QString pictureGone = s.musicFile(kNoPicture, QStringLiteral("d.mp3"));
        QVERIFY(loadAndWait(s, RUN_FILES, QString(), {writable, readOnly, pictureGone}));
        RecordSink sink;
        QVERIFY(analyse(s, kFixMask, sink));
        QVERIFY(waitForSaves(s, 1));
        const QList<Entry> list = entries(s);
        QCOMPARE(setUserInfo(s, list[0].track, MF_ALBUM | MF_YEAR | MF_GENRE | MF_ARTWORK,
                             {QStringLiteral("Harbour"), QStringLiteral("2003"), QStringLiteral("Folk"), cover()}),
                 0);
        QCOMPARE(setUserInfo(s, list[1].track, MF_ARTWORK, {cover()}), 0);
        const QString vanishing = s.path(QStringLiteral("vanishing.jpg"));
        QVERIFY(QFile::copy(cover(), vanishing));
        QCOMPARE(setUserInfo(s, list[2].track, MF_ARTWORK, {vanishing}), 0);
        QVERIFY(QFile::remove(vanishing));
        QVERIFY(execSql(s.dbPath(), QStringLiteral("update TracksTable set ArtData=NULL where PersistentID='%1'")
                                        .arg(list[2].pid)));
        QVERIFY(QFile(readOnly).setPermissions(QFileDevice::ReadOwner));
        const QByteArray untouched = testenv::readAll(readOnly);

        QCOMPARE(MMDBTransaction(s.handle, false), 0);
        QCOMPARE(MMApplyMusicInfo(s.handle, 0, 0), 0);
        QVERIFY(MMApplyMusicInfo(s.handle, 1, 0) < 0);
        // A picture with no bytes left is a failed write, never "nothing to write".
        QCOMPARE(MMApplyMusicInfo(s.handle, 2, 0), int(MM_ERR_WRITE));
        QCOMPARE(MMDBTransaction(s.handle, true), 0);

        const tagread::Fields tags = tagread::fields(writable);
        QCOMPARE(tags.album, QStringLiteral("Harbour"));
        QCOMPARE(tags.year, 2003u);
        QCOMPARE(tags.genre, QStringLiteral("Folk"));
        QCOMPARE(tagread::mp3Picture(writable), testenv::readAll(cover()));
        QCOMPARE(entries(s).at(0).absence, kDone);
        QCOMPARE(rowOf(s.dbPath(), list[0].pid).absence, kDone);
        QCOMPARE(testenv::readAll(readOnly), untouched);
        QCOMPARE(entries(s).at(1).absence, MF_ARTWORK | kDone);
        QCOMPARE(entries(s).at(2).absence, MF_ARTWORK | kDone);
    }

    // Fields go into the library file, artwork into the track's own file;
    // a new process opening the library sees them.
    void applyingWritesTheLibrary()
    {
        Session s;
        const QString xml = emptyFieldsLibrary(s, 3);
        QVERIFY(loadAndWait(s, RUN_ITUNES, xml, {}));
        RecordSink sink;
        QVERIFY(analyse(s, MF_ARTIST | MF_ALBUM | MF_ARTWORK, sink));
        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), 3);
        for (const Entry& e : list) {
            QCOMPARE(e.absence, MF_ARTIST | MF_ALBUM | MF_ARTWORK | kDates | kDone);
            QCOMPARE(setUserInfo(s, e.track, MF_ARTIST | MF_ALBUM | MF_ARTWORK,
                                 {QStringLiteral("Artist ") + e.pid, QStringLiteral("Album ") + e.pid, cover()}),
                     0);
        }
        for (int i = 0; i < list.size(); ++i)
            QCOMPARE(MMApplyMusicInfo(s.handle, i, 0), 0);
        for (const Entry& e : entries(s))
            QCOMPARE(e.absence, kDates | kDone);
        // A new process has the library only once this one let go of it.
        MMDestroyMusicLibrary(s.handle);
        const QMap<QString, QString> seen = libraryAsSeenByANewProcess(xml);
        QCOMPARE(seen.size(), 3);
        for (const Entry& e : list) {
            QCOMPARE(seen.value(e.pid), QStringLiteral("Artist %1|Album %1").arg(e.pid));
            QCOMPARE(tagread::mp3Picture(e.location), testenv::readAll(cover()));
        }
    }

    // A song the user may write gets its tags, with its mode, its extended
    // attributes, its ACL and as much of its owner and group as the user may
    // give (logged); one the user may not write, or whose mode or attributes
    // cannot be kept, is refused, its bytes, owner and mode as they were.
    // Another program that saves the song while it is written keeps its
    // save: the song is written again from the new bytes, or refused when
    // the other program saves again. Root sets the files up, a child that
    // is the user applies an artist and an album in the file mode; the
    // parent reads the song's tags, audio, attributes and stat itself. A
    // file system without locks is written all the same.
    void aSongTheUserMayWriteGetsItsTags_data()
    {
        QTest::addColumn<QString>("folderOwner"); // uid:gid
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<QString>("songOwner");
        QTest::addColumn<int>("songMode");
        QTest::addColumn<QString>("user"); // uid:gid,more groups; "root" stays the super-user
        QTest::addColumn<int>("lockRefusal"); // the errno of every flock, 0 for none
        QTest::addColumn<int>("result");
        QTest::addColumn<QString>("ownerAfter");
        QTest::addColumn<QString>("logged"); // empty: nothing said of the owner
        // "attributes" (the desktop's and an ACL on the song), "attributes
        // m4a", "attributes trusted" (and a trusted.* one), "attributes
        // refused" (a file system without room for them), or what another
        // program does meanwhile (meanwhile.h)
        QTest::addColumn<QString>("situation");
        const QString shared = QStringLiteral("1234:2000"), member = QStringLiteral("1000:1000,2000");
        const QString own = QStringLiteral("1000:2000");
        QTest::newRow("the super-user, another's song")
            << shared << 02775 << shared << 0664 << "root" << 0 << 0 << shared << "" << "";
        QTest::newRow("a member of the song's group, in a shared folder")
            << shared << 02775 << shared << 0664 << member << 0 << 0 << "1000:2000"
            << "now owned by 1000:2000 instead of 1234:2000" << "";
        QTest::newRow("the user's own song in a group the user is not in")
            << shared << 02775 << "1000:3000" << 0664 << member << 0 << 0 << "1000:2000"
            << "now owned by 1000:2000 instead of 1000:3000" << "";
        QTest::newRow("the user's own song in the shared group")
            << shared << 02775 << own << 0664 << member << 0 << 0 << own << "" << "";
        QTest::newRow("a song the group may not write")
            << shared << 02775 << shared << 0644 << member << 0 << int(MM_ERR_SONG_READ_ONLY) << shared << "" << "";
        QTest::newRow("a song in a folder the user may not write")
            << shared << 0755 << shared << 0664 << member << 0 << int(MM_ERR_SONG_NO_COPY) << shared << "" << "";
        QTest::newRow("a share without a lock service")
            << shared << 02775 << own << 0664 << member << int(ENOLCK) << 0 << own << "" << "";
        QTest::newRow("a file system without locks")
            << shared << 02775 << shared << 0664 << member << int(EOPNOTSUPP) << 0 << "1000:2000"
            << "now owned by 1000:2000 instead of 1234:2000" << "";
        QTest::newRow("a lock that fails otherwise")
            << shared << 02775 << own << 0664 << member << int(EINVAL) << int(MM_ERR_SONG_NO_COPY) << own << "" << "";
        QTest::newRow("a setgid song of the shared group")
            << shared << 02775 << shared << 02664 << member << 0 << 0 << "1000:2000"
            << "now owned by 1000:2000 instead of 1234:2000" << "";
        // The new file takes the folder's group, which the user left: the
        // kernel drops its setgid bit, so the mode cannot be kept.
        QTest::newRow("the user's own setgid song of a group the user left")
            << "1000:2000" << 02775 << own << 02664 << "1000:1000" << 0 << int(MM_ERR_SONG_MODE) << own << "" << "";
        QTest::newRow("a song with the desktop's attributes and an ACL")
            << shared << 02775 << own << 0664 << member << 0 << 0 << own << "" << "attributes";
        QTest::newRow("an M4A song with the desktop's attributes and an ACL")
            << shared << 02775 << own << 0664 << member << 0 << 0 << own << "" << "attributes m4a";
        QTest::newRow("the super-user, another's song with attributes, a trusted one and an ACL")
            << shared << 02775 << shared << 0664 << "root" << 0 << 0 << shared << "" << "attributes trusted";
        QTest::newRow("a song whose attributes find no room beside its new file")
            << shared << 02775 << own << 0664 << member << 0 << int(MM_ERR_SONG_ATTRIBUTES) << own << ""
            << "attributes refused";
        QTest::newRow("another tagger saves the song while it is written")
            << shared << 02775 << own << 0664 << member << 0 << 0 << own << "" << "saved meanwhile";
        QTest::newRow("another tagger saves the song at every try")
            << shared << 02775 << own << 0664 << member << 0 << int(MM_ERR_SONG_CHANGED) << own << ""
            << "saved at every try";
        QTest::newRow("another Vessolin replaces the song while it is written")
            << shared << 02775 << own << 0664 << member << 0 << 0 << own << "" << "replaced meanwhile";
    }

    void aSongTheUserMayWriteGetsItsTags()
    {
        QFETCH(QString, folderOwner);
        QFETCH(int, folderMode);
        QFETCH(QString, songOwner);
        QFETCH(int, songMode);
        QFETCH(QString, user);
        QFETCH(int, lockRefusal);
        QFETCH(int, result);
        QFETCH(QString, ownerAfter);
        QFETCH(QString, logged);
        QFETCH(QString, situation);
        if (::geteuid() != 0)
            QSKIP("only the super-user can set up the files of other users");
        const otheruser::Place place(user);
        QVERIFY(place.isValid());
        const QString folder = place.folder(), home = place.home();
        const bool m4a = situation.endsWith(QLatin1String("m4a"));
        const QString song = folder + (m4a ? QStringLiteral("/song.m4a") : QStringLiteral("/song.mp3"));
        QVERIFY(QFile::copy(testenv::fixture(m4a ? QStringLiteral("empty.m4a") : QStringLiteral("untagged.mp3")), song));
        // Saved long ago: a save by another program now changes its times.
        QVERIFY(makeOld(song));
        QVERIFY(otheruser::give(folder, folderOwner, folderMode) && otheruser::give(song, songOwner, songMode));
        const bool attributes = situation.startsWith(QLatin1String("attributes"));
        QMap<QByteArray, QByteArray> carried = fileattributes::desktopAttributes();
        if (situation.endsWith(QLatin1String("trusted")))
            carried.insert("trusted.vessolin.test", "kept by the super-user");
        const QString acl = QStringLiteral("user::rw-,user:4321:rw-,group::rw-,mask::rw-,other::r--");
        if (attributes) {
            if (!fileattributes::supported(folder))
                QSKIP("the test folder's file system keeps no extended attributes or ACLs");
            QVERIFY(fileattributes::set(song, carried) && fileattributes::setAcl(song, acl));
        }
        const QByteArray before = testenv::readAll(song);
        const QString stated = ownerAndMode(song);

        std::unique_ptr<QProcess> child(startChild(
            {QStringLiteral("tag-as"), user, home, QString::number(lockRefusal), song, situation}, place.environment()));
        QVERIFY(child->waitForFinished(kWaitMs));
        if (child->exitCode() == 2)
            QSKIP("this process cannot become another user");
        const QByteArray answer = child->readAllStandardOutput().trimmed();
        if (answer == "unreachable")
            QSKIP("the test folder cannot be reached by another user");
        QVERIFY2(child->exitCode() == 0, child->readAllStandardError().constData());
        QCOMPARE(answer, QByteArray::number(result));

        // The mode stays whatever happened; a refused song is as it was,
        // or as the other program saved it.
        QCOMPARE(ownerAndMode(song), QStringLiteral("%1 %2").arg(ownerAfter).arg(songMode, 4, 8, QLatin1Char('0')));
        const tagread::Fields tags = tagread::fields(song);
        const bool theirs = !attributes && !situation.isEmpty();
        if (result == 0) {
            QCOMPARE(tags.artist, QStringLiteral("New Artist"));
            QCOMPARE(tags.album, QStringLiteral("New Album"));
            if (!m4a)
                QCOMPARE(audioOf(testenv::readAll(song)), audioOf(before));
        } else if (theirs) {
            QVERIFY(tags.artist.isEmpty() && tags.album.isEmpty());
        } else {
            QCOMPARE(testenv::readAll(song), before);
            QCOMPARE(ownerAndMode(song), stated);
        }
        if (theirs)
            QCOMPARE(tags.comment.trimmed(), QString::fromLatin1(meanwhile::kComment));
        if (attributes) {
            QCOMPARE(fileattributes::of(song), carried);
            QCOMPARE(fileattributes::aclOf(song), acl);
        }
        QVERIFY(QDir(folder).entryList({QStringLiteral(".vessolin-*")}, QDir::Files | QDir::Hidden).isEmpty());
        const QString log = QString::fromUtf8(testenv::readAll(home + QStringLiteral("/data/MM.log")));
        if (logged.isEmpty())
            QVERIFY2(!log.contains(QStringLiteral("now owned by")), qPrintable(log.right(600)));
        else
            QVERIFY2(log.contains(song + QStringLiteral(" is now owned by")) && log.contains(logged),
                     qPrintable(log.right(600)));
        if (result == 0 && (lockRefusal == ENOLCK || lockRefusal == EOPNOTSUPP))
            QVERIFY2(log.contains(QStringLiteral("the file system gives no locks")), qPrintable(log.right(600)));
    }

    // A disk that fills up while the songs are written: the apply of each
    // fails with a code of its own (never "nothing to write"), the song is
    // left as it was, the failure is logged with the file, and what was not
    // written is still to be applied, in the track and in its row.
    void applyOutOfRoomKeepsSongsAndTheirNeed_data()
    {
        QTest::addColumn<int>("mode");
        QTest::addColumn<int>("kept");
        QTest::newRow("file tags") << int(RUN_FILES) << (MF_ALBUM | MF_ARTWORK);
        QTest::newRow("library, artwork into the file") << int(RUN_ITUNES) << int(MF_ARTWORK);
    }
    void applyOutOfRoomKeepsSongsAndTheirNeed()
    {
        QFETCH(int, mode);
        QFETCH(int, kept);
        Session s;
        constexpr int kSongBytes = 1 << 20;
        QStringList songs;
        for (int i = 0; i < 2; ++i)
            songs << bigSong(s, QStringLiteral("song %1.mp3").arg(i), kSongBytes);
        QVERIFY(!songs.contains(QString()));
        const QString xml = mode == RUN_ITUNES ? emptyFieldsLibrary(s, songs) : QStringLiteral("-");
        QVERIFY(!xml.isEmpty());
        QList<QByteArray> before;
        for (const QString& song : songs)
            before << testenv::readAll(song);
        // Room for a copy of a song, none for what a new tag adds to it.
        const qint64 limit = before.first().size() + 100;
        std::unique_ptr<QProcess> child(startChild(
            QStringList{QStringLiteral("apply-full"), QString::number(mode), QString::number(limit), xml} + songs));
        QVERIFY(child->waitForFinished(kWaitMs));
        QCOMPARE(child->exitCode(), 0);
        QList<Applied> applied;
        for (const QByteArray& line : child->readAllStandardOutput().split('\n')) {
            const QList<QByteArray> f = line.split('\t');
            if (f.size() == 4)
                applied << Applied{f[0].toInt(), f[1].toInt(), f[2].toInt(), f[3] == "1"};
        }
        QCOMPARE(applied.size(), songs.size());
        for (int i = 0; i < songs.size(); ++i) {
            QCOMPARE(testenv::readAll(songs[i]), before[i]);
            // What the application's apply counts as a song not written.
            QVERIFY2(applied[i].result != 0 && applied[i].result != MM_ERR_FAIL,
                     qPrintable(QString::number(applied[i].result)));
            QCOMPARE(applied[i].absence & (MF_ALBUM | MF_ARTWORK), kept);
            QCOMPARE(applied[i].stored, applied[i].absence);
            QVERIFY(applied[i].logged);
        }
        const QDir music(s.path(QStringLiteral("music")));
        QVERIFY(music.entryList({QStringLiteral(".vessolin-*")}, QDir::Hidden | QDir::Files).isEmpty());
    }
};

// "apply-full <mode> <limit> <library or -> <songs...>" loads the songs (or
// the library), gives every track a long album and the cover, lets no file
// grow past limit bytes and applies each track, printing for each its
// result, absence, stored absence and whether the log names its file.
static int applyWithoutRoom(const QStringList& args)
{
    Session s;
    const auto mode = tagMusicRunMode(args.value(0).toInt());
    const QStringList songs = args.mid(3);
    const bool library = mode == RUN_ITUNES;
    if (!loadAndWait(s, mode, library ? args.value(2) : QString(), library ? QStringList() : songs))
        return 2;
    RecordSink sink;
    if (!analyse(s, MF_ARTIST | MF_ALBUM | MF_ARTWORK, sink) || !waitForSaves(s, 1))
        return 3;
    const QList<Entry> list = entries(s);
    const QString album(3000, QLatin1Char('a'));
    for (const Entry& e : list) {
        if (setUserInfo(s, e.track, MF_ALBUM | MF_ARTWORK, {album, cover()}) != 0)
            return 4;
    }
    const struct rlimit limit = {rlim_t(args.value(1).toLongLong()), rlim_t(args.value(1).toLongLong())};
    if (::signal(SIGXFSZ, SIG_IGN) == SIG_ERR || ::setrlimit(RLIMIT_FSIZE, &limit) != 0)
        return 5;
    QList<int> results;
    for (int i = 0; i < list.size(); ++i)
        results << MMApplyMusicInfo(s.handle, i, 0);
    const QString log = engineLog(s);
    for (int i = 0; i < list.size(); ++i) {
        const Entry e = entries(s).at(i);
        const bool logged = log.contains(e.location + QStringLiteral(" SetMusicArtwork_tag Failed"))
            || log.contains(e.location + QStringLiteral(" SetAttributeValue_kwr Artwork Failed"));
        std::printf("%d\t%d\t%d\t%d\n", results[i], e.absence, rowOf(s.dbPath(), e.pid).absence, logged ? 1 : 0);
    }
    return 0;
}

// "tag-as <uid:gid,groups or root> <home> <flock errno> <song> <situation>"
// becomes that user, without a way back, refuses every flock with that
// errno (0: none), loads the song in the file mode with its working
// database in home, gives it an artist and an album and applies it,
// printing the result. The situation "attributes refused" refuses every
// user attribute of a working copy as a file system without room for them;
// another program acts on the song as meanwhile.h says.
static int tagAsUser(const QStringList& args)
{
    if (args.value(0) != QLatin1String("root")) {
        if (!otheruser::become(args.value(0)))
            return 2;
    }
    const QString song = args.value(3);
    if (::access(QFile::encodeName(args.value(1)).constData(), W_OK | X_OK) != 0
        || ::access(QFile::encodeName(song).constData(), R_OK) != 0) {
        std::printf("unreachable\n");
        return 0;
    }
    const int refusal = args.value(2).toInt();
    if (refusal != 0)
        syncfaults::setLockHook([refusal](const QString&) { return refusal; });
    const QString situation = args.value(4);
    if (situation == QLatin1String("attributes refused"))
        syncfaults::setAttributeHook([song](const QString& path, const QByteArray& name) {
            return meanwhile::isCopyBeside(path, song) && name.startsWith("user.") ? ENOSPC : 0;
        });
    meanwhile::install(song, situation);
    Session s(args.value(1));
    RecordSink sink;
    if (!loadAndWait(s, RUN_FILES, QString(), {song}) || !analyse(s, MF_ARTIST | MF_ALBUM, sink) || !waitForSaves(s, 1))
        return 3;
    const QList<Entry> list = entries(s);
    if (list.size() != 1
        || setUserInfo(s, list[0].track, MF_ARTIST | MF_ALBUM, {QStringLiteral("New Artist"), QStringLiteral("New Album")}) != 0)
        return 4;
    std::printf("%d\n", MMApplyMusicInfo(s.handle, 0, 0));
    std::fflush(stdout);
    return 0;
}

// Child modes: "read <library>" prints every track as "<persistent
// ID>\t<artist>\t<album>".
static int childMain(const QStringList& args)
{
    if (args.value(0) == QLatin1String("apply-full"))
        return applyWithoutRoom(args.mid(1));
    if (args.value(0) == QLatin1String("tag-as"))
        return tagAsUser(args.mid(1));
    Session s;
    if (args.value(0) != QLatin1String("read") || !loadAndWait(s, RUN_ITUNES, args.value(1), {}))
        return 2;
    for (const Entry& e : entries(s)) {
        const tagMMusicInfo* info = s.info(e.track);
        std::printf("%s\t%s\t%s\n", qPrintable(info->strPersistentID), info->strArtist.toUtf8().constData(),
                    info->strAlbum.toUtf8().constData());
    }
    return 0;
}

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (argc > 1 && std::strcmp(argv[1], "--child") == 0)
        return childMain(app.arguments().mid(2));
    TestAnalysis test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_analysis.moc"
