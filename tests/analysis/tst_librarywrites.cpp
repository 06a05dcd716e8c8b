// The library controller's writing half: moves that never replace a file
// (also across file systems), field writes that report what they wrote,
// and removals and restores that undo a half-done step.
#include "core/mmlog.h"
#include "core/musicobj.h"
#include "db/trackdb.h"
#include "fileattributes.h"
#include "killedwrite.h"
#include "library/filemove.h"
#include "library/itunesctl.h"
#include "libraryxml.h"
#include "syncfaults.h"
#include "tags.h"
#include "tagread.h"
#include "testenv.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <memory>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

const QString kUntagged = QStringLiteral("id3v2-partial.mp3"); // title and artist, no picture

QString trashPathOf(const tagMMusicInfo& info, int mode)
{
    char* text = nullptr;
    const QByteArray pid = info.strPersistentID.toUtf8();
    if (SelectValueFromDB(pid.constData(), mode, "TrashPath", &text) != 0)
        return QStringLiteral("<none>");
    const QString value = QString::fromUtf8(text);
    std::free(text);
    return value;
}

bool insertRow(const tagMMusicInfo& info, int mode)
{
    const QByteArray location = info.strLocation.toUtf8(), pid = info.strPersistentID.toUtf8();
    return InsertDataToDB("n", "a", "b", "1000", "1", location.constData(), pid.constData(), "", "", "64",
                          1, mode) == 0;
}

struct FileState {
    QByteArray bytes;
    qint64 mtime = 0;
    uint mode = 0;
};

FileState stateOf(const QString& path)
{
    struct stat st;
    FileState state;
    state.bytes = testenv::readAll(path);
    if (::stat(QFile::encodeName(path).constData(), &st) == 0) {
        state.mtime = qint64(st.st_mtim.tv_sec);
        state.mode = st.st_mode & 07777;
    }
    return state;
}

// A folder on another file system than than (a tmpfs at /dev/shm on most
// machines), or null.
std::unique_ptr<QTemporaryDir> otherFileSystem(const QString& than)
{
    auto other = std::make_unique<QTemporaryDir>(QStringLiteral("/dev/shm/vessolin-XXXXXX"));
    struct stat a, b;
    if (!other->isValid() || ::stat(QFile::encodeName(other->path()).constData(), &a) != 0
        || ::stat(QFile::encodeName(than).constData(), &b) != 0 || a.st_dev == b.st_dev)
        return nullptr;
    return other;
}

// The hidden files in folder: copies of moves or writes under way or left.
QStringList hiddenFiles(const QString& folder)
{
    return QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(QRegularExpression(QStringLiteral("^\\.")));
}

// Whether path, as the system names an open file, is a hidden file in
// folder: the working copy of a move into it.
bool isCopyIn(const QString& path, const QString& folder)
{
    const QFileInfo info(path);
    return info.fileName().startsWith(QLatin1Char('.')) && info.absolutePath() == QFileInfo(folder).canonicalFilePath();
}

void killChild(pid_t child)
{
    ::kill(child, SIGKILL);
    int status = 0;
    ::waitpid(child, &status, 0);
}

// Moves from -> to across file systems in a child that stops once its copy
// holds every byte, before the copy is synced: the child, or -1 when it
// never got there.
pid_t startHeldMove(const QString& from, const QString& to)
{
    int ready[2];
    if (::pipe(ready) != 0)
        return -1;
    const pid_t child = ::fork();
    if (child == 0) {
        const QString folder = QFileInfo(to).absolutePath();
        syncfaults::setHook([&](const QString& path) {
            const char done = 'x';
            if (isCopyIn(path, folder) && ::write(ready[1], &done, 1) == 1)
                for (;;)
                    ::pause();
            return true;
        });
        MoveFileNoReplace(from, to);
        ::_exit(1);
    }
    ::close(ready[1]);
    char done = 0;
    const bool stopped = child > 0 && ::read(ready[0], &done, 1) == 1;
    ::close(ready[0]);
    if (child > 0 && !stopped) {
        killChild(child);
        return -1;
    }
    return child;
}

tagMMusicInfo songRow(const QString& location, int persistentId)
{
    tagMMusicInfo info;
    info.strPersistentID = QString::number(persistentId);
    info.strLocation = location;
    return info;
}

} // namespace

class TestLibraryWrites : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_next = 0;

    // A fresh folder for one case.
    QString folder()
    {
        const QString path = m_dir.filePath(QString::number(++m_next));
        QDir().mkpath(path);
        return path;
    }

    QString copyFixture(const QString& fixture, const QString& target)
    {
        QFile::copy(testenv::fixture(fixture), target);
        QFile(target).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        return target;
    }

    // Library.xml beside song, with song as its one track (ID 1); empty
    // when it cannot be written.
    static QString oneTrackLibrary(const QString& song)
    {
        libraryxml::Track t;
        t.trackId = 1;
        t.persistentId = libraryxml::persistentId(1);
        t.name = QFileInfo(song).completeBaseName();
        t.location = libraryxml::fileUrl(song);
        const QString xml = QFileInfo(song).absolutePath() + QStringLiteral("/Library.xml");
        return libraryxml::write(xml, {t}) ? xml : QString();
    }

    std::unique_ptr<CiTunesCtl> controller(tagMusicRunMode mode, const QString& xml = QString(),
                                           TrackSink sink = nullptr)
    {
        const QByteArray db = (folder() + QStringLiteral("/MusicLibrary.db")).toUtf8();
        const QByteArray xmlPath = xml.toUtf8();
        int result = -99;
        auto library = std::make_unique<CiTunesCtl>(std::move(sink), xml.isEmpty() ? nullptr : xmlPath.constData(),
                                                     db.constData(), mode, &result);
        return result >= 0 ? std::move(library) : nullptr;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(CreateLog(m_dir.path()));
    }

    void cleanupTestCase() { DestroyLog(); }

    void movesNeverReplace_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<bool>("sourceExists");
        QTest::addColumn<int>("expected");
        QTest::newRow("free target") << false << true << int(MOVE_OK);
        QTest::newRow("taken target") << true << true << int(MOVE_TARGET_EXISTS);
        QTest::newRow("no source") << false << false << int(MOVE_NO_SOURCE);
    }

    void movesNeverReplace()
    {
        QFETCH(bool, targetExists);
        QFETCH(bool, sourceExists);
        QFETCH(int, expected);
        const QString dir = folder();
        const QString from = dir + QStringLiteral("/a.mp3"), to = dir + QStringLiteral("/b.mp3");
        if (sourceExists)
            QVERIFY(testenv::writeAll(from, "source"));
        if (targetExists)
            QVERIFY(testenv::writeAll(to, "target"));
        QCOMPARE(MoveFileNoReplace(from, to), expected);
        QCOMPARE(QFile::exists(from), sourceExists && expected != MOVE_OK);
        if (expected == MOVE_OK)
            QCOMPARE(testenv::readAll(to), QByteArray("source"));
        if (targetExists)
            QCOMPARE(testenv::readAll(to), QByteArray("target"));
    }

    // /dev/shm is another file system than the test folder on most
    // machines; there the move is a verified copy and a delete. A file
    // system that gives no locks (a share without a lock service) is moved
    // to all the same; a lock that fails otherwise stops the move. A song
    // keeps its extended attributes and ACL into the trash and back; one
    // whose attributes find no room there stays where it was.
    void movesAcrossFileSystems_data()
    {
        QTest::addColumn<bool>("targetExists");
        QTest::addColumn<int>("lockRefusal"); // the errno of the copy's flock, 0 for none
        QTest::addColumn<int>("attributeRefusal"); // the errno of the copy's fsetxattr, 0 for none
        QTest::addColumn<int>("expected");
        QTest::newRow("free target") << false << 0 << 0 << int(MOVE_OK);
        QTest::newRow("taken target") << true << 0 << 0 << int(MOVE_TARGET_EXISTS);
        QTest::newRow("no lock service") << false << int(ENOLCK) << 0 << int(MOVE_OK);
        QTest::newRow("no locks on the file system") << false << int(EOPNOTSUPP) << 0 << int(MOVE_OK);
        QTest::newRow("a lock that failed otherwise") << false << int(EINVAL) << 0 << int(MOVE_FAILED);
        QTest::newRow("no room for the song's attributes") << false << 0 << int(ENOSPC) << int(MOVE_FAILED);
    }

    void movesAcrossFileSystems()
    {
        QFETCH(bool, targetExists);
        QFETCH(int, lockRefusal);
        QFETCH(int, attributeRefusal);
        QFETCH(int, expected);
        const std::unique_ptr<QTemporaryDir> other = otherFileSystem(m_dir.path());
        if (!other)
            QSKIP("no second file system to move across");
        const QString from = other->filePath(QStringLiteral("song.mp3"));
        QByteArray bytes(3 * 1024 * 1024 + 17, '\0');
        for (int i = 0; i < bytes.size(); ++i)
            bytes[i] = char(i * 7);
        QVERIFY(testenv::writeAll(from, bytes));
        QVERIFY(QFile(from).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadGroup));
        QFile f(from);
        QVERIFY(f.open(QIODevice::ReadWrite));
        QVERIFY(f.setFileTime(QDateTime::fromSecsSinceEpoch(1000000000), QFileDevice::FileModificationTime));
        f.close();
        const QString acl = QStringLiteral("user::rw-,user:4321:rw-,group::r--,mask::rw-,other::---");
        const bool attributes = fileattributes::supported(from) && fileattributes::supported(m_dir.path());
        if (attributes)
            QVERIFY(fileattributes::set(from, fileattributes::desktopAttributes()) && fileattributes::setAcl(from, acl));
        const FileState before = stateOf(from);
        const QString dir = folder();
        const QString to = dir + QStringLiteral("/song.mp3");
        if (targetExists)
            QVERIFY(testenv::writeAll(to, "target"));
        syncfaults::setLockHook([&](const QString& path) { return isCopyIn(path, dir) ? lockRefusal : 0; });
        syncfaults::setAttributeHook([&](const QString& path, const QByteArray&) {
            return QFileInfo(path).absolutePath() == QFileInfo(dir).canonicalFilePath() ? attributeRefusal : 0;
        });
        const int result = MoveFileNoReplace(from, to);
        syncfaults::setLockHook(nullptr);
        syncfaults::setAttributeHook(nullptr);
        QCOMPARE(result, expected);
        QCOMPARE(QFile::exists(from), expected != MOVE_OK);
        const FileState after = stateOf(to);
        if (targetExists) {
            QCOMPARE(after.bytes, QByteArray("target"));
        } else if (expected != MOVE_OK) {
            QVERIFY(!QFile::exists(to));
            QCOMPARE(stateOf(from).bytes, before.bytes);
        } else {
            QCOMPARE(after.bytes, before.bytes);
            QCOMPARE(after.mtime, before.mtime);
            QCOMPARE(after.mode, before.mode);
        }
        // What the song carries is where the song is, also once it is back.
        const QString song = expected == MOVE_OK ? to : from;
        if (attributes && !targetExists) {
            QCOMPARE(fileattributes::of(song), fileattributes::desktopAttributes());
            QCOMPARE(fileattributes::aclOf(song), acl);
        }
        if (attributes && expected == MOVE_OK) {
            QCOMPARE(MoveFileNoReplace(to, from), int(MOVE_OK));
            QCOMPARE(fileattributes::of(from), fileattributes::desktopAttributes());
            QCOMPARE(fileattributes::aclOf(from), acl);
            QVERIFY(QFile::rename(from, to));
        }
        // No temporary copy is left behind.
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden).size(), expected == MOVE_FAILED ? 0 : 1);
    }

    // Across file systems the copy, its new name and every folder that name
    // rests on are on the disk before the original goes. A sync that fails
    // until then leaves the original as it was and nothing in the trash;
    // once the original is gone the move stands, and a failed sync of its
    // old folder is logged.
    void crossMoveIsOnTheDiskBeforeTheOriginalGoes_data()
    {
        QTest::addColumn<QString>("failing"); // whose sync fails
        QTest::addColumn<int>("expected");
        QTest::newRow("every sync made") << "" << int(MOVE_OK);
        QTest::newRow("the copy") << "copy" << int(MOVE_FAILED);
        QTest::newRow("the trash folder") << "trash" << int(MOVE_FAILED);
        QTest::newRow("the folder above the trash") << "above" << int(MOVE_FAILED);
        QTest::newRow("the original's folder") << "source" << int(MOVE_OK);
    }

    void crossMoveIsOnTheDiskBeforeTheOriginalGoes()
    {
        QFETCH(QString, failing);
        QFETCH(int, expected);
        const std::unique_ptr<QTemporaryDir> other = otherFileSystem(m_dir.path());
        if (!other)
            QSKIP("no second file system to move across");
        const QString from = other->filePath(QStringLiteral("song.mp3"));
        const QByteArray bytes("the song's bytes");
        QVERIFY(testenv::writeAll(from, bytes));
        const QString trash = folder() + QStringLiteral("/day");
        QVERIFY(QDir().mkpath(trash));
        const QString to = trash + QStringLiteral("/song.mp3");
        const QString trashPath = QFileInfo(trash).canonicalFilePath();
        const QString sourcePath = QFileInfo(other->path()).canonicalFilePath();
        QStringList synced; // each with whether the original was still there
        syncfaults::setHook([&](const QString& path) {
            const QString what = isCopyIn(path, trash)             ? QStringLiteral("copy")
                : path == trashPath                                 ? QStringLiteral("trash")
                : path == QFileInfo(trashPath).path()               ? QStringLiteral("above")
                : path == sourcePath                                ? QStringLiteral("source")
                                                                    : QString();
            if (!what.isEmpty())
                synced << what + (QFile::exists(from) ? QStringLiteral(", original there") : QStringLiteral(", original gone"));
            return what.isEmpty() || what != failing;
        });
        const int result = MoveFileNoReplace(from, to);
        syncfaults::setHook(nullptr);
        QCOMPARE(result, expected);
        QCOMPARE(QFile::exists(from), expected != MOVE_OK);
        QCOMPARE(QFile::exists(to), expected == MOVE_OK);
        QCOMPARE(testenv::readAll(expected == MOVE_OK ? to : from), bytes);
        QVERIFY(hiddenFiles(trash).isEmpty());
        if (failing.isEmpty())
            QCOMPARE(synced, (QStringList{"copy, original there", "trash, original there", "above, original there",
                                          "source, original gone"}));
        QCOMPARE(testenv::readAll(m_dir.filePath(QStringLiteral("MM.log")))
                     .contains(QFile::encodeName(from) + " SyncFolder after a move to " + QFile::encodeName(to) + " Failed"),
                 failing == QLatin1String("source"));
    }

    // A move across file systems killed half-way leaves its hidden copy in
    // the trash and the song where it was. The next run's first move into
    // the trash sweeps the copy, logged; the file of a move the run before
    // completed stays, and the moves of this run are undone as ever.
    void killedMoveIsSweptByTheNextRun()
    {
        const std::unique_ptr<QTemporaryDir> other = otherFileSystem(m_dir.path());
        if (!other)
            QSKIP("no second file system to move across");
        const QString trash = folder();
        QStringList songs;
        for (const char* name : {"done.mp3", "killed.mp3", "later.mp3"}) {
            songs << other->filePath(QLatin1String(name));
            QVERIFY(testenv::writeAll(songs.last(), QByteArray("bytes of ") + name));
        }
        {
            auto first = controller(RUN_DUP_FILES);
            QVERIFY(first);
            tagMMusicInfo done = songRow(songs[0], 65535);
            QVERIFY(insertRow(done, RUN_DUP_FILES));
            QCOMPARE(first->DeleteMusic(trash + QStringLiteral("/done.mp3"), &done, RUN_DUP_FILES), 0);
        }
        const pid_t killed = startHeldMove(songs[1], trash + QStringLiteral("/killed.mp3"));
        QVERIFY(killed > 0);
        killChild(killed);
        const QStringList left = hiddenFiles(trash);
        QCOMPARE(left.size(), 1);
        QCOMPARE(testenv::readAll(songs[1]), QByteArray("bytes of killed.mp3"));

        auto next = controller(RUN_DUP_FILES);
        QVERIFY(next);
        QList<tagMMusicInfo> rows = {songRow(songs[2], 65536), songRow(songs[1], 65537)};
        for (tagMMusicInfo& row : rows) {
            QVERIFY(insertRow(row, RUN_DUP_FILES));
            QCOMPARE(next->DeleteMusic(trash + QLatin1Char('/') + QFileInfo(row.strLocation).fileName(), &row,
                                       RUN_DUP_FILES), 0);
        }
        QCOMPARE(QDir(trash).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"done.mp3", "killed.mp3", "later.mp3"}));
        QVERIFY(testenv::readAll(m_dir.filePath(QStringLiteral("MM.log")))
                    .contains(QFile::encodeName(trash + QLatin1Char('/') + left.first())
                              + " Removed: a copy left by an interrupted write"));
        for (tagMMusicInfo& row : rows) {
            QCOMPARE(next->RestoreMusic(&row, RUN_DUP_FILES), 0);
            QCOMPARE(testenv::readAll(row.strLocation), "bytes of " + QFileInfo(row.strLocation).fileName().toUtf8());
        }
        QCOMPARE(QDir(trash).entryList(QDir::Files | QDir::Hidden), QStringList{"done.mp3"});
        QCOMPARE(testenv::readAll(trash + QStringLiteral("/done.mp3")), QByteArray("bytes of done.mp3"));
    }

    // The copy of a move under way, of this process or of another one, is
    // never swept; once its mover is gone it is.
    void liveMoveCopyIsNotSwept_data()
    {
        QTest::addColumn<bool>("ownProcess");
        QTest::newRow("a move of this process") << true;
        QTest::newRow("a move of another process") << false;
    }

    void liveMoveCopyIsNotSwept()
    {
        QFETCH(bool, ownProcess);
        const std::unique_ptr<QTemporaryDir> other = otherFileSystem(m_dir.path());
        if (!other)
            QSKIP("no second file system to move across");
        const QString from = other->filePath(QStringLiteral("song.mp3"));
        QVERIFY(testenv::writeAll(from, "the song's bytes"));
        const QString trash = folder();
        const QString to = trash + QStringLiteral("/song.mp3");
        QSemaphore made, resume;
        int result = 1;
        std::unique_ptr<QThread> mover;
        pid_t child = -1;
        if (ownProcess) {
            syncfaults::setHook([&](const QString& path) {
                if (isCopyIn(path, trash)) {
                    made.release();
                    resume.acquire();
                }
                return true;
            });
            mover.reset(QThread::create([&] { result = MoveFileNoReplace(from, to); }));
            mover->start();
            made.acquire();
        } else {
            child = startHeldMove(from, to);
            QVERIFY(child > 0);
        }
        const QStringList live = hiddenFiles(trash);
        QCOMPARE(live.size(), 1);
        const int sweptLive = RemoveStaleTagCopies(trash);
        const bool removedLive = RemoveStaleTagCopy(trash + QLatin1Char('/') + live.first());
        const QStringList stays = hiddenFiles(trash);
        if (ownProcess) {
            resume.release();
            mover->wait();
            syncfaults::setHook(nullptr);
        } else {
            killChild(child);
        }
        QCOMPARE(sweptLive, 0);
        QVERIFY(!removedLive);
        QCOMPARE(stays, live);
        if (ownProcess) {
            QCOMPARE(result, int(MOVE_OK));
            QCOMPARE(testenv::readAll(to), QByteArray("the song's bytes"));
        } else {
            QCOMPARE(RemoveStaleTagCopies(trash), 1);
            QCOMPARE(testenv::readAll(from), QByteArray("the song's bytes"));
        }
        QCOMPARE(QFile::exists(from), !ownProcess);
        QVERIFY(hiddenFiles(trash).isEmpty());
    }

    void fieldWritesReportWhatWasWritten_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<bool>("withArtworkFile");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("written");
        const int fields = MF_ARTIST | MF_ALBUM | MF_YEAR;
        QTest::newRow("fields") << fields << false << false << 0 << fields;
        QTest::newRow("fields and artwork") << (fields | MF_ARTWORK) << true << false << 0 << (fields | MF_ARTWORK);
        QTest::newRow("artwork without bytes") << (fields | MF_ARTWORK) << false << false << -1 << fields;
        QTest::newRow("year alone") << int(MF_YEAR) << false << false << 0 << int(MF_YEAR);
        QTest::newRow("read-only file") << (fields | MF_ARTWORK) << true << true << int(TAG_WRITE_READ_ONLY) << 0;
    }

    void fieldWritesReportWhatWasWritten()
    {
        QFETCH(int, flags);
        QFETCH(bool, withArtworkFile);
        QFETCH(bool, readOnly);
        QFETCH(int, result);
        QFETCH(int, written);
        auto library = controller(RUN_FILES);
        QVERIFY(library);
        tagMMusicInfo info;
        info.strPersistentID = QStringLiteral("65535");
        info.strLocation = copyFixture(kUntagged, folder() + QStringLiteral("/song.mp3"));
        info.strArtist = QStringLiteral("New Artist");
        info.strAlbum = QStringLiteral("New Album");
        info.strYear = QStringLiteral("2001");
        QVERIFY(insertRow(info, RUN_FILES));
        if (readOnly)
            QVERIFY(QFile(info.strLocation).setPermissions(QFileDevice::ReadOwner));
        const QByteArray before = testenv::readAll(info.strLocation);
        const QString artwork = withArtworkFile ? testenv::fixture(QStringLiteral("cover.jpg")) : QString();
        int done = -1;
        QCOMPARE(library->SetMusicInfo(&info, artwork, RUN_FILES, flags, &done), result);
        QCOMPARE(done, written);
        const tagread::Fields tags = tagread::fields(info.strLocation);
        QCOMPARE(tags.artist == info.strArtist, bool(written & MF_ARTIST));
        QCOMPARE(tags.year == 2001u, bool(written & MF_YEAR));
        const QByteArray picture = tagread::mp3Picture(info.strLocation);
        QCOMPARE(!picture.isEmpty() && picture == testenv::readAll(artwork), bool(written & MF_ARTWORK));
        if (written == 0)
            QCOMPARE(testenv::readAll(info.strLocation), before);
    }

    // A tag write killed half-way leaves a hidden copy of the song. The
    // next run removes it, logged, whether it loads the song's folder or
    // writes into it first; that this process swept the folder in an
    // earlier run does not matter.
    void killedWriteIsSweptByTheNextRun_data()
    {
        QTest::addColumn<bool>("load");
        QTest::newRow("the next run loads the folder") << true;
        QTest::newRow("the next run writes into the folder") << false;
    }

    void killedWriteIsSweptByTheNextRun()
    {
        QFETCH(bool, load);
        const QString dir = folder();
        tagMMusicInfo other;
        other.strPersistentID = QStringLiteral("65535");
        other.strLocation = copyFixture(kUntagged, dir + QStringLiteral("/other.mp3"));
        other.strArtist = QStringLiteral("First run");
        const QString song = copyFixture(kUntagged, dir + QStringLiteral("/song.mp3"));
        const QByteArray before = testenv::readAll(song);
        int done = 0;
        {
            auto first = controller(RUN_FILES);
            QVERIFY(first);
            QCOMPARE(first->SetMusicInfo(&other, QString(), RUN_FILES, MF_ARTIST, &done), 0);
        }

        QVERIFY(killedwrite::killMidWrite(song));
        const QStringList copies = QDir(dir).entryList({QStringLiteral(".vessolin-*")}, QDir::Files | QDir::Hidden);
        QCOMPARE(copies.size(), 1);

        auto library = controller(RUN_FILES, QString(), [](CMusicObj* music) { delete music; });
        QVERIFY(library);
        if (load) {
            const QByteArray path = song.toUtf8();
            const char* paths[] = {path.constData()};
            QCOMPARE(library->LoadFilesInfomationToSave(paths, 1), 0);
            QCOMPARE(library->LoadMusicList(folder(), nullptr, nullptr), 0);
        } else {
            other.strArtist = QStringLiteral("Second run");
            QCOMPARE(library->SetMusicInfo(&other, QString(), RUN_FILES, MF_ARTIST, &done), 0);
        }
        QCOMPARE(QDir(dir).entryList(QDir::Files | QDir::Hidden), (QStringList{"other.mp3", "song.mp3"}));
        QCOMPARE(testenv::readAll(song), before);
        const QString line =
            QLatin1Char('/') + copies.first() + QStringLiteral(" Removed: a copy left by an interrupted write");
        QVERIFY(testenv::readAll(m_dir.filePath(QStringLiteral("MM.log"))).contains(line.toUtf8()));
    }

    // The cached picture is the one chosen for the track; a file path only
    // stands in when nothing is cached.
    void cachedArtworkComesFirst()
    {
        auto library = controller(RUN_FILES);
        QVERIFY(library);
        tagMMusicInfo info;
        info.strPersistentID = QStringLiteral("65536");
        info.strLocation = copyFixture(kUntagged, folder() + QStringLiteral("/song.mp3"));
        QVERIFY(insertRow(info, RUN_FILES));
        const QString png = testenv::fixture(QStringLiteral("cover.png"));
        QCOMPARE(library->SaveArtworkPic(&info, RUN_FILES, png), 0);
        int done = 0;
        QCOMPARE(library->SetMusicInfo(&info, testenv::fixture(QStringLiteral("cover.jpg")), RUN_FILES,
                                       MF_ARTWORK, &done), 0);
        QCOMPARE(done, int(MF_ARTWORK));
        QCOMPARE(tagread::mp3Picture(info.strLocation), testenv::readAll(png));
    }

    void otherModesWriteNothing_data()
    {
        QTest::addColumn<int>("mode");
        QTest::newRow("project") << int(RUN_PROJECT);
        QTest::newRow("duplicate files") << int(RUN_DUP_FILES);
        QTest::newRow("duplicate library") << int(RUN_DUP_ITUNES);
    }

    void otherModesWriteNothing()
    {
        QFETCH(int, mode);
        auto library = controller(RUN_FILES);
        tagMMusicInfo info;
        info.strLocation = copyFixture(kUntagged, folder() + QStringLiteral("/song.mp3"));
        info.strArtist = QStringLiteral("x");
        const QByteArray before = testenv::readAll(info.strLocation);
        int done = -1;
        QCOMPARE(library->SetMusicInfo(&info, QString(), mode, MF_ARTIST, &done), -1);
        QCOMPARE(done, 0);
        QCOMPARE(testenv::readAll(info.strLocation), before);
    }

    // The library entry goes last; when it cannot, the file comes back from
    // the trash and the row forgets the trash path again.
    void removalUndoneWhenTheEntryCannotGo()
    {
        const QString dir = folder();
        const QString xml = oneTrackLibrary(copyFixture(kUntagged, dir + QStringLiteral("/kept.mp3")));
        QVERIFY(!xml.isEmpty());
        auto library = controller(RUN_DUP_ITUNES, xml);
        QVERIFY(library);
        tagMMusicInfo info; // a row whose track the library does not hold
        info.strPersistentID = libraryxml::persistentId(2);
        info.strLocation = copyFixture(kUntagged, dir + QStringLiteral("/gone.mp3"));
        QVERIFY(insertRow(info, RUN_DUP_ITUNES));
        const QString trash = folder() + QStringLiteral("/gone.mp3");
        QCOMPARE(library->DeleteMusic(trash, &info, RUN_DUP_ITUNES), -1);
        QVERIFY(QFile::exists(info.strLocation));
        QVERIFY(!QFile::exists(trash));
        QCOMPARE(trashPathOf(info, RUN_DUP_ITUNES), QStringLiteral("<none>")); // NULL as before
    }

    // An undo whose database update fails takes the entry it brought back
    // out of the library again; when even that fails, the entry stays,
    // which the log must say: the database knows nothing of it.
    void failedUndoReportsAnEntryLeftInTheLibrary()
    {
        const QString dir = folder();
        const QString song = copyFixture(kUntagged, dir + QStringLiteral("/song.mp3"));
        const QString xml = oneTrackLibrary(song);
        QVERIFY(!xml.isEmpty());
        auto library = controller(RUN_DUP_ITUNES, xml);
        QVERIFY(library);
        tagMMusicInfo removed = songRow(song, 0);
        removed.strPersistentID = libraryxml::persistentId(1);
        QCOMPARE(library->DeleteLibraryEntry(&removed), 0);
        // No database to record the new ID in, and a journal that takes the
        // entry's return but not its removal.
        CloseSqlite3DB();
        const QString journal = QFileInfo(xml).canonicalFilePath() + QStringLiteral(".journal");
        int journalSyncs = 0;
        syncfaults::setHook([&](const QString& path) { return path != journal || journalSyncs++ == 0; });
        const int result = library->RestoreLibraryEntry(&removed);
        syncfaults::setHook(nullptr);
        QCOMPARE(result, -1);
        QCOMPARE(journalSyncs, 2);
        const QString log = QString::fromUtf8(testenv::readAll(m_dir.filePath(QStringLiteral("MM.log"))));
        QVERIFY2(log.contains(QStringLiteral("RestoreMusic: the entry ")) && log.contains(QStringLiteral(" of %1 that came back stays in the library").arg(song)),
                 qPrintable(log.right(500)));
    }

    void removalWithoutARowIsRefused()
    {
        auto library = controller(RUN_DUP_FILES);
        tagMMusicInfo info;
        info.strPersistentID = QStringLiteral("70000");
        info.strLocation = copyFixture(kUntagged, folder() + QStringLiteral("/song.mp3"));
        const QString trash = folder() + QStringLiteral("/song.mp3");
        QCOMPARE(library->DeleteMusic(trash, &info, RUN_DUP_FILES), -1);
        QVERIFY(QFile::exists(info.strLocation));
        QVERIFY(!QFile::exists(trash));
    }

    // A file that took the track's place meanwhile stays, and so does the
    // trashed copy and the row's record of it.
    void restoreNeverOverwrites()
    {
        auto library = controller(RUN_DUP_FILES);
        tagMMusicInfo info;
        info.strPersistentID = QStringLiteral("65535");
        info.strLocation = copyFixture(kUntagged, folder() + QStringLiteral("/song.mp3"));
        QVERIFY(insertRow(info, RUN_DUP_FILES));
        const QByteArray original = testenv::readAll(info.strLocation);
        const QString trash = folder() + QStringLiteral("/song.mp3");
        QCOMPARE(library->DeleteMusic(trash, &info, RUN_DUP_FILES), 0);
        QCOMPARE(trashPathOf(info, RUN_DUP_FILES), trash);
        QVERIFY(library->IsInTrash(info, RUN_DUP_FILES));
        QVERIFY(testenv::writeAll(info.strLocation, "another file"));
        QCOMPARE(library->RestoreMusic(&info, RUN_DUP_FILES), -1);
        QCOMPARE(testenv::readAll(info.strLocation), QByteArray("another file"));
        QCOMPARE(testenv::readAll(trash), original);
        QCOMPARE(trashPathOf(info, RUN_DUP_FILES), trash);
        QVERIFY(QFile::remove(info.strLocation));
        QCOMPARE(library->RestoreMusic(&info, RUN_DUP_FILES), 0);
        QCOMPARE(testenv::readAll(info.strLocation), original);
        QCOMPARE(trashPathOf(info, RUN_DUP_FILES), QString());
        QVERIFY(!library->IsInTrash(info, RUN_DUP_FILES));
        // Restored before: nothing left to restore.
        QCOMPARE(library->RestoreMusic(&info, RUN_DUP_FILES), -1);
    }
};

QTEST_GUILESS_MAIN(TestLibraryWrites)
#include "tst_librarywrites.moc"
