// The workflow's pieces below the window: the folder scan of the load
// thread, the weight of a track in the score, the analysis walk's pause
// and stop against the real engine and report page, and the project copy.
#include "vessolin/analyzethread.h"
#include "vessolin/loadthread.h"
#include "vessolin/projectcopy.h"

#include "cadenzo.h"
#include "common.h"
#include "config.h"
#include "libraryxml.h"
#include "musiclink.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "sharedimages.h"
#include "signalrecorder.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>

namespace {

void touch(const QString& path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
}

QStringList relative(const QString& root, QStringList paths)
{
    for (QString& path : paths)
        path = QDir(root).relativeFilePath(path);
    paths.sort();
    return paths;
}

} // namespace

class TestWorkflowParts : public QObject
{
    Q_OBJECT

private slots:
    void folderScan_data();
    void folderScan();
    void stoppedScanFindsNothing();
    void trackWeight_data();
    void trackWeight();
    void walkHaltsAndGoesOnOrEnds_data();
    void walkHaltsAndGoesOnOrEnds();
    void projectCopy_data();
    void projectCopy();
};

void TestWorkflowParts::folderScan_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("request");  // relative to the root; "." is the root
    QTest::addColumn<QStringList>("found");
    QTest::addColumn<QStringList>("announced");

    const QStringList mixed = {"A.MP3", "b.m4a", "c.mp4", "d.Mp3", "mp3", "e.txt", "f.mp3.bak",
                               "sub/g.M4A", "sub/deeper/h.mp3"};
    QTest::newRow("letter case and depth") << mixed << QStringList{"."}
        << QStringList{"A.MP3", "b.m4a", "d.Mp3", "mp3", "sub/deeper/h.mp3", "sub/g.M4A"}
        << QStringList{".", "sub", "sub/deeper"};
    QTest::newRow("trash skipped, not announced")
        << QStringList{"a.mp3", "Trash/b.mp3", "Trash/2020-01-01/c.mp3", "Trash_old/d.mp3"} << QStringList{"."}
        << QStringList{"Trash_old/d.mp3", "a.mp3"} << QStringList{".", "Trash_old"};
    QTest::newRow("trash in another letter case")
        << QStringList{"a.mp3", "TRASH/b.mp3"} << QStringList{"."} << QStringList{"a.mp3"} << QStringList{"."};
    QTest::newRow("folder given twice") << QStringList{"x/a.mp3", "x/b.m4a"} << QStringList{"x", "x"}
        << QStringList{"x/a.mp3", "x/b.m4a"} << QStringList{"x", "x"};
    QTest::newRow("file and its folder") << QStringList{"x/a.mp3"} << QStringList{"x/a.mp3", "x"}
        << QStringList{"x/a.mp3"} << QStringList{"x"};
    QTest::newRow("a file in the trash named directly is taken")
        << QStringList{"Trash/a.mp3"} << QStringList{"Trash/a.mp3"} << QStringList{"Trash/a.mp3"} << QStringList{};
    QTest::newRow("nothing there") << QStringList{} << QStringList{"missing"} << QStringList{} << QStringList{};
}

// The trash folder is <root>/Trash; a link inside the root leads to a
// folder with a music file, which the scan must not follow.
void TestWorkflowParts::folderScan()
{
    QFETCH(QStringList, files);
    QFETCH(QStringList, request);
    QFETCH(QStringList, found);
    QFETCH(QStringList, announced);
    QTemporaryDir root, outside;
    for (const QString& file : files)
        touch(root.filePath(file));
    touch(outside.filePath(QStringLiteral("linked.mp3")));
    QVERIFY(QFile::link(outside.path(), root.filePath(QStringLiteral("link"))));

    const std::atomic<bool> cancel{false};
    QStringList out, folders;
    for (const QString& path : request)
        OpenDirGetNames(out, QFileInfo(root.filePath(path)), root.filePath(QStringLiteral("trash")), cancel,
                        [&folders](const QString& folder) { folders << folder; });
    QCOMPARE(relative(root.path(), UniquePaths(out)), found);
    QCOMPARE(UniquePaths(out).size(), found.size());
    QCOMPARE(relative(root.path(), folders), announced);
}

void TestWorkflowParts::stoppedScanFindsNothing()
{
    QTemporaryDir root;
    touch(root.filePath(QStringLiteral("a/b.mp3")));
    const std::atomic<bool> cancel{true};
    QStringList out;
    int announced = 0;
    OpenDirGetNames(out, QFileInfo(root.path()), QString(), cancel, [&](const QString&) { ++announced; });
    QVERIFY(out.isEmpty());
    QCOMPARE(announced, 0);
}

void TestWorkflowParts::trackWeight_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("absence");
    QTest::addColumn<int>("mask");
    QTest::addColumn<double>("weight");
    const int defaults = 0x08010C00;  // artwork, file, artist, album
    QTest::newRow("complete") << int(RUN_ITUNES) << 0 << defaults << 0.0;
    QTest::newRow("artwork") << int(RUN_ITUNES) << int(MF_ARTWORK) << defaults << 0.25;
    QTest::newRow("three fields") << int(RUN_FILES) << int(MF_ARTWORK | MF_ARTIST | MF_ALBUM) << defaults << 0.75;
    QTest::newRow("missing file counts alone")
        << int(RUN_ITUNES) << int(MF_FILE | MF_ARTIST | MF_ALBUM) << defaults << 0.25;
    QTest::newRow("file not asked for") << int(RUN_ITUNES) << int(MF_FILE | MF_ARTIST) << int(MF_ARTIST) << 0.25;
    QTest::newRow("field not asked for") << int(RUN_ITUNES) << int(MF_ARTWORK) << int(MF_ARTIST) << 0.0;
    QTest::newRow("title and year do not count")
        << int(RUN_PROJECT) << int(MF_TITLE | MF_YEAR | MF_GENRE) << -1 << 0.0;
    QTest::newRow("duplicate") << int(RUN_DUP_FILES) << int(AT_DUPLICATE) << 0 << 1.0;
    QTest::newRow("duplicate scan ignores fields") << int(RUN_DUP_ITUNES) << int(MF_ARTWORK) << defaults << 0.0;
    QTest::newRow("duplicate bit outside a scan") << int(RUN_FILES) << int(AT_DUPLICATE) << defaults << 0.0;
}

void TestWorkflowParts::trackWeight()
{
    QFETCH(int, mode);
    QFETCH(int, absence);
    QFETCH(int, mask);
    QFETCH(double, weight);
    QCOMPARE(TrackWeight(mode, absence, mask), weight);
}

void TestWorkflowParts::walkHaltsAndGoesOnOrEnds_data()
{
    QTest::addColumn<bool>("quit");
    QTest::addColumn<bool>("held");  // the pause comes while the walk is held at its first track
    QTest::newRow("continue") << false << false;
    QTest::newRow("stop while halted") << true << false;
    QTest::newRow("paused while a track is on its way") << false << true;
}

// 200 tracks, each lacking its artist and artwork: half the weight of each
// off the score. The walk is told to pause while it is at its first track
// (from inside the walk, or from this thread while the walk is held
// there, as a slow artwork export would hold it); it delivers that track
// and halts before the next. A pause never waits for the track's end.
void TestWorkflowParts::walkHaltsAndGoesOnOrEnds()
{
    QFETCH(bool, quit);
    QFETCH(bool, held);
    constexpr int kTracks = 200;
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();
    QTemporaryDir dir;
    const QString song = dir.filePath(QStringLiteral("song.mp3"));
    QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("untagged.mp3")), song));
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < kTracks; ++i) {
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = QStringLiteral("Song %1").arg(i);
        t.album = QStringLiteral("Album");
        t.size = QFileInfo(song).size();
        t.location = libraryxml::fileUrl(song);
        tracks << t;
    }
    const QString xml = dir.filePath(QStringLiteral("Library.xml"));
    QVERIFY(libraryxml::write(xml, tracks));

    CMusicLink link;
    SignalRecorder loaded(&link, &CMusicLink::SendLoadOK);
    SignalRecorder analysed(&link, &CMusicLink::SendAnalyzeOK);
    QCOMPARE(link.InitParam(RUN_ITUNES, xml.toUtf8().constData()), 0);
    QCOMPARE(link.LoadiTunesMusic(), 0);
    QVERIFY(loaded.wait(60000));
    QCOMPARE(link.AnalyzeMusicInfo(CConfig::instance()->Genernal), 0);
    QVERIFY(analysed.wait(60000));
    {
        CAnalyReport report(nullptr);
        report.SetMusicLink(&link);
        CDuplicate duplicate(&link, nullptr);
        CAnalyzeThread walk(&report, &duplicate, &link, nullptr);
        SignalRecorder ended(&walk, &CAnalyzeThread::SandUpdataReport);
        bool first = true;
        QSemaphore atFirst, release;
        connect(&walk, &CAnalyzeThread::UpdateProcess, this, [&](int, int) {
            if (first && held) {
                atFirst.release();
                release.acquire();
            } else if (first) {
                iPauseThread = 1;
            }
            first = false;
        }, Qt::DirectConnection);
        ResetAnalysisWalk();
        tagAnalyzeJob job;
        job.iRun = 7;
        job.iMask = CConfig::instance()->Genernal;
        job.dScore = PROGRESS_FULL;
        walk.Start(job);
        if (held) {
            QVERIFY(atFirst.tryAcquire(1, 60000));
            std::atomic<bool> paused{false};
            std::thread pauser([&] {
                PauseAnalysisWalk();
                paused = true;
            });
            const bool answered = QTest::qWaitFor([&] { return paused.load(); }, 10000);
            release.release();
            pauser.join();
            QVERIFY2(answered, "the pause waited for the walk's track");
        }
        QTRY_COMPARE(report.m_iProblemNum.load(), 1);
        QTest::qWait(200);
        QCOMPARE(report.m_iProblemNum.load(), 1);
        QVERIFY(walk.isRunning());
        if (quit) {
            QuitAnalysisWalk();
            QVERIFY(walk.wait(60000));
            QCoreApplication::processEvents();
            QCOMPARE(ended.count(), 0);
            QCOMPARE(report.m_iProblemNum.load(), 1);
        } else {
            ContinueAnalysisWalk();
            // The walk may be done before a wait would begin.
            QTRY_COMPARE_WITH_TIMEOUT(ended.count(), 1, 60000);
            QCOMPARE(report.m_iProblemNum.load(), kTracks);
            QCOMPARE(ended.at(0).at(0).toInt(), 7);
            QCOMPARE(ended.at(0).at(1).toDouble(), 5000.0);
            QCOMPARE(ended.at(0).at(2).toDouble(), 50.0);
        }
        walk.wait();
        report.StopWorking();
    }
    link.SetExitState(1);
    link.DestroyMusicLibrary();
    DestroyImage();
}

void TestWorkflowParts::projectCopy_data()
{
    QTest::addColumn<QString>("setup");  // what stands at the target before
    QTest::addColumn<int>("result");
    QTest::newRow("new project") << "" << int(PC_OK);
    QTest::newRow("replaces an old project") << "old" << int(PC_OK);
    QTest::newRow("no source keeps the old project") << "old nosource" << int(PC_NO_SOURCE);
    QTest::newRow("source being written") << "old journal" << int(PC_SOURCE_BUSY);
    QTest::newRow("no folder for the target") << "nofolder" << int(PC_NO_TARGET);
    QTest::newRow("target is a folder") << "folder" << int(PC_RENAME_FAILED);
    QTest::newRow("onto itself") << "self" << int(PC_NO_TARGET);
}

void TestWorkflowParts::projectCopy()
{
    QFETCH(QString, setup);
    QFETCH(int, result);
    const QStringList given = setup.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("MusicLibrary.db"));
    QString target = dir.filePath(QStringLiteral("saved.zorvadata"));
    QByteArray bytes;
    for (int i = 0; i < 70000; ++i)
        bytes.append(char(i * 7 % 251));
    bytes.append('\0');
    const QByteArray old("an older project");
    QVERIFY(testenv::writeAll(source, bytes));
    if (given.contains(QLatin1String("old")))
        QVERIFY(testenv::writeAll(target, old));
    if (given.contains(QLatin1String("nosource")))
        QVERIFY(QFile::remove(source));
    if (given.contains(QLatin1String("journal")))
        touch(source + QStringLiteral("-journal"));
    if (given.contains(QLatin1String("nofolder")))
        target = dir.filePath(QStringLiteral("gone/saved.zorvadata"));
    if (given.contains(QLatin1String("folder")))
        QVERIFY(QDir().mkpath(target + QStringLiteral("/inside")));
    if (given.contains(QLatin1String("self")))
        target = source;

    QCOMPARE(CopyProjectFile(source, target), result);
    if (result == PC_OK)
        QCOMPARE(testenv::readAll(target), bytes);
    else if (given.contains(QLatin1String("old")))
        QCOMPARE(testenv::readAll(target), old);
    if (given.contains(QLatin1String("folder")))
        QVERIFY(QFileInfo::exists(target + QStringLiteral("/inside")));
    if (!given.contains(QLatin1String("nosource")))
        QCOMPARE(testenv::readAll(source), bytes);
    // No temporary file is left beside the target.
    const QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden);
    for (const QString& name : left)
        QVERIFY2(!name.startsWith(QLatin1String(".saved")), qPrintable(name));
}

QTEST_MAIN(TestWorkflowParts)
#include "tst_workflowparts.moc"
