// The window when its work does not reach the disk: a load whose songs
// the working database cannot store, a save after the analysis that keeps
// nothing, an apply whose end is rolled back or whose songs find no room,
// a library file that cannot be rewritten, and a removal whose end is
// rolled back. The disk is made full by a layer under SQLite or by a file
// size limit on this process. Each case checks what the window says, the
// state it stands in, whether results still wait to be applied, and
// whether closing keeps the working database.
#include "filesizelimit.h"
#include "fulldisk.h"
#include "windowdriver.h"

#include "desktop.h"
#include "reporter/analyreport.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

using namespace driver;

namespace {

const QString kSong = QStringLiteral("untagged.mp3");
// Below the song's size: its working copy finds no room.
constexpr qint64 kRoomForSongs = 32768;

// Three songs without artist, album or artwork.
QString MakeSongs(const QTemporaryDir& dir)
{
    MakeMusicFolder(dir.path(), {{"a.mp3", kSong}, {"b.mp3", kSong}, {"c.mp3", kSong}});
    return dir.path();
}

// A library of songs tracks without artist over copies of a song, then
// streams the loader passes over: they make the library file larger than
// anything else this test writes.
QString MakeBigLibrary(const QTemporaryDir& dir, int songs, int streams)
{
    const QString file = dir.filePath(QStringLiteral("song.mp3"));
    MakeMusicFolder(dir.path(), {{"song.mp3", kSong}});
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < songs + streams; ++i) {
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        t.album = QStringLiteral("Album");
        if (i < songs)
            t.location = libraryxml::fileUrl(file);
        tracks << t;
    }
    const QString xml = dir.filePath(QStringLiteral("Library.xml"));
    return libraryxml::write(xml, tracks) ? xml : QString();
}

// The user's artist for every track: each has something to write.
void GiveEveryTrackAnArtist(CMainUI& window)
{
    CMusicLink* link = window.MusicLink();
    const QByteArray artist("Someone");
    const char* values[] = {artist.constData()};
    for (int i = 0; i < EngineTrackCount(window); ++i) {
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeat = 0;
        link->GetMusicListMusic(i, &track, absence, state, repeat);
        QCOMPARE(link->SetUserMusicInfo(track, MF_ARTIST, values), 0);
    }
}

bool ApplyOrRemovalEnded(const CMainUI& window)
{
    return QTest::qWaitFor([&] { return window.State().iState == MW_APPLY && !IsWorking(window.State()); },
                           kWaitMs);
}

const QString kLibraryFile =
    QStringLiteral("The library file could not be updated. The changes are kept and will be written at the next start.");

} // namespace

class TestStorageWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { fulldisk::install(); }

    void init() { ForgetWorkingDatabase(); }

    void cleanup()
    {
        fulldisk::setRoom(-1, -1);
        filesizelimit::set(-1);
        ForgetWorkingDatabase();
        CConfig::instance()->SetMsgInfo(0);
        CConfig::Destroy();
    }

    void failureIsToldAndKept_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<QString>("text");     // the status line
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("sub");
        QTest::addColumn<int>("page");         // of the button stack
        QTest::addColumn<bool>("needApply");   // the exit asks to apply
        QTest::addColumn<bool>("kept");        // the working database after the close
        QTest::newRow("load")
            << "load"
            << "The songs could not be stored: the disk is full or cannot be written. Please go back and try again."
            << int(MW_LOADING) << int(SUB_FINISHED) << int(BP_TRYAGAIN) << false << false;
        // Another Vessolin, here or on another computer, has the library.
        QTest::newRow("load, the library in use")
            << "in use"
            << "The iTunes library is in use by another Vessolin, on this or another computer. "
               "Please close it there, then go back and try again."
            << int(MW_LOADING) << int(SUB_FINISHED) << int(BP_TRYAGAIN) << false << false;
        // Something not of this program's in the place of its lock file,
        // which the user could move away: the load says what and where (%1:
        // the library file).
        QTest::newRow("load, a folder in the lock file's place")
            << "lock folder"
            << "The iTunes library cannot be opened: what is in the place of its lock file \"%1.lock\" is not a file. "
               "Please move it away, then go back and try again."
            << int(MW_LOADING) << int(SUB_FINISHED) << int(BP_TRYAGAIN) << false << false;
        // Start to Clean iTunes opens the user's own library, here a link
        // in the Music folder: the lock file named is the one beside the
        // file the link points to.
        QTest::newRow("load of the user's own library, a folder in the lock file's place")
            << "own lock folder"
            << "The iTunes library cannot be opened: what is in the place of its lock file \"%1.lock\" is not a file. "
               "Please move it away, then go back and try again."
            << int(MW_LOADING) << int(SUB_FINISHED) << int(BP_TRYAGAIN) << false << false;
        QTest::newRow("save after the analysis")
            << "save" << "The analysis results could not be stored: the disk is full or cannot be written."
            << int(MW_ANALYSING) << int(SUB_FINISHED) << int(BP_FIXALL) << false << true;
        QTest::newRow("apply, its end rolled back")
            << "apply end"
            << "The results were applied, but the working database could not record them: there is not enough free disk space."
            << int(MW_APPLY) << int(SUB_NONE) << int(BP_APPLY) << true << true;
        QTest::newRow("apply, no room for the songs")
            << "apply songs"
            << "3 song(s) could not be written: there is not enough free disk space. Please free some space and apply again."
            << int(MW_APPLY) << int(SUB_NONE) << int(BP_APPLY) << true << true;
        // Apply chosen at close, and the songs find no room again: the
        // window stays open to say why.
        QTest::newRow("apply at close, no room for the songs")
            << "apply songs at close"
            << "3 song(s) could not be written: there is not enough free disk space. Please free some space and apply again."
            << int(MW_APPLY) << int(SUB_NONE) << int(BP_APPLY) << true << true;
        QTest::newRow("apply, library file not rewritten")
            << "library file" << kLibraryFile << int(MW_APPLY) << int(SUB_NONE) << int(BP_APPLY) << true << true;
        // A duplicate scan's database is no run to continue: it goes as
        // after any removal.
        QTest::newRow("removal, its end rolled back")
            << "removal"
            << "Removed 1 duplicate(s). If not sure to remove, you can undo the removal. "
               "The working database could not record the removal: there is not enough free disk space."
            << int(MW_APPLY) << int(SUB_NONE) << int(BP_REMOVE) << false << false;
    }

    void failureIsToldAndKept()
    {
        QFETCH(QString, failure);
        QFETCH(QString, text);
        QFETCH(int, stage);
        QFETCH(int, sub);
        QFETCH(int, page);
        QFETCH(bool, needApply);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        CMainUI window;
        window.show();
        CAnalyReport* report = window.findChild<CAnalyReport*>();
        QObject scope;
        if (failure == QLatin1String("load")) {
            const QString xml = MakeLongLibraryOf(dir, 600);
            // Room for the empty database, none for the rows.
            fulldisk::setRoom(16384, -1);
            window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
            QVERIFY(WaitForStage(window, MW_LOADING));
            QVERIFY(!QFile::exists(g_strDBName));
        } else if (failure == QLatin1String("in use")) {
            const QString xml = MakeLongLibraryOf(dir, 6);
            // The lock the other one holds beside the library.
            const int held = ::open(QFile::encodeName(xml + QStringLiteral(".lock")).constData(),
                                    O_RDWR | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(held >= 0 && ::flock(held, LOCK_EX) == 0);
            window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
            const bool failed = WaitForStage(window, MW_LOADING);
            ::close(held);
            QVERIFY(failed);
            QVERIFY(!QFile::exists(g_strDBName));
        } else if (failure.endsWith(QLatin1String("lock folder"))) {
            const QString xml = MakeLongLibraryOf(dir, 6);
            QVERIFY(QDir().mkpath(xml + QStringLiteral(".lock")));
            const bool own = failure.startsWith(QLatin1String("own"));
            const QString itunes = desktop::standardFolder(desktop::Folder::Music) + QStringLiteral("/iTunes");
            const QString link = itunes + QStringLiteral("/iTunes Music Library.xml");
            if (own)
                QVERIFY(QDir().mkpath(itunes) && QFile::link(xml, link));
            window.LoadStartParam(own ? QStringList() : QStringList{xml}, g_strDBName, RUN_ITUNES);
            const bool failed = WaitForStage(window, MW_LOADING);
            QFile::remove(link);
            QVERIFY(failed);
            QVERIFY(!QFile::exists(g_strDBName));
            text = text.arg(QFileInfo(xml).canonicalFilePath());
        } else if (failure == QLatin1String("save")) {
            // The rows are stored; the save after the analysis finds no
            // room for its journal.
            connect(window.MusicLink(), &CMusicLink::SendLoadOK, &scope, [] { fulldisk::setRoom(-1, 512); },
                    Qt::DirectConnection);
            window.LoadStartParam({MakeSongs(dir)}, g_strDBName, RUN_FILES);
            QVERIFY(WaitForReport(window));
            QTRY_COMPARE_WITH_TIMEOUT(StatusText(window), text, kWaitMs);
        } else if (failure == QLatin1String("removal")) {
            QVERIFY(MakeMusicFolder(dir.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"copy/a.mp3", "id3v2-cover.mp3"}}));
            CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
            CConfig::instance()->SetMsgInfo(2);
            window.LoadStartParam({dir.path()}, g_strDBName, RUN_DUP_FILES);
            QVERIFY(WaitForReport(window));
            window.MusicLink()->WaitForSaveToDB();
            // The commit must write the database in place: no block left.
            fulldisk::setRoom(0, -1, true);
            Button(window, "main_removebut")->click();
            QVERIFY(ApplyOrRemovalEnded(window));
            fulldisk::setRoom(-1, -1);
            QVERIFY(Button(window, "main_removebut")->isEnabled());
            QCOMPARE(QDir(dir.filePath(QStringLiteral("copy"))).entryList(QDir::Files).size()
                         + QDir(dir.path()).entryList(QDir::Files).size(),
                     1);
        } else {
            const bool library = failure == QLatin1String("library file");
            const QString xml = library ? MakeBigLibrary(dir, 3, 1500) : QString();
            if (library)
                window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
            else
                window.LoadStartParam({MakeSongs(dir)}, g_strDBName, RUN_FILES);
            QVERIFY(WaitForReport(window));
            window.MusicLink()->WaitForSaveToDB();
            GiveEveryTrackAnArtist(window);
            if (failure.startsWith(QLatin1String("apply end")))
                fulldisk::setRoom(0, -1, true);
            else if (failure.startsWith(QLatin1String("apply songs")))
                filesizelimit::set(kRoomForSongs);
            else
                // The new library file is larger than the old one.
                filesizelimit::set(QFileInfo(xml).size());
            window.ApplyiTunes();
            QVERIFY(ApplyOrRemovalEnded(window));
            if (failure.endsWith(QLatin1String("at close"))) {
                ModalWatch apply([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Apply")); });
                QVERIFY(!window.close());
                QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
                QVERIFY(ApplyOrRemovalEnded(window));
                QCOMPARE(apply.handled, 1);
                QVERIFY(window.isVisible());
            }
            fulldisk::setRoom(-1, -1);
            filesizelimit::set(-1);
            QVERIFY(!StatusText(window).contains(QLatin1String("Results applyed")));
            if (library)
                QCOMPARE(ArtistsIn(xml), QStringList());
            m_library = xml;
        }
        QCOMPARE(StatusText(window), text);
        QCOMPARE(window.State().iState, stage);
        QCOMPARE(window.State().iSubState, sub);
        QCOMPARE(ButtonPage(window), page);
        QCOMPARE(report->IsNeedApply(), needApply);

        QString asked;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Ignore"), &asked); });
        QVERIFY(window.close());
        QCOMPARE(watch.handled, needApply ? 1 : 0);
        QCOMPARE(asked, needApply ? QStringLiteral("Do you want to apply the new results?|") : QString());
        QCOMPARE(QFile::exists(g_strDBName), kept);
        // The changes the library file could not take waited in its
        // journal; closing the library writes them.
        if (failure == QLatin1String("library file"))
            QCOMPARE(ArtistsIn(m_library), QStringList(3, QStringLiteral("Someone")));
    }

private:
    QString m_library;

    // The artists the library file itself holds, no journal applied.
    static QStringList ArtistsIn(const QString& xml)
    {
        QStringList artists;
        for (const auto& track : libraryxml::read(xml)) {
            if (!track.value(QStringLiteral("Artist")).isEmpty())
                artists << track.value(QStringLiteral("Artist"));
        }
        return artists;
    }

    // A library of count tracks over a few copies of a song.
    static QString MakeLongLibraryOf(const QTemporaryDir& dir, int count)
    {
        QStringList files;
        for (int i = 0; i < 4; ++i) {
            const QString name = QStringLiteral("s%1.mp3").arg(i);
            MakeMusicFolder(dir.path(), {{name, kSong}});
            files << dir.filePath(name);
        }
        const QString xml = dir.filePath(QStringLiteral("Library.xml"));
        return MakeLibrary(xml, files, count) ? xml : QString();
    }
};

QTEST_MAIN(TestStorageWindow)
#include "tst_storagewindow.moc"
