// Figures for the main window's load and analysis of a large iTunes
// library: a generated library of 50,000 tracks over a few hundred small
// real files, requested as "Start to Clean iTunes" with its file, through
// the real window (offscreen) and the real engine, from the request to the
// report. Prints the load, the analysis and the whole, and the machine's
// load average.
// Then, in the same window, the longest the GUI thread went without serving
// a 1 ms timer for each step that works on the disk, until it had ended:
// Save Project, Home from the report with 30,000 files in the cache, Home
// pressed right after Start, Load Saved Result, Home of that opened
// project (its database copied back), and a library with nothing to fix:
// the walk's end, which empties a cache of 30,000 files, and Return.
// With VESSOLIN_BENCH_FSYNC_MS=400 every fsync waits 400 ms more (a slow
// disk). Runs in a private home folder. Prints only.
//   bench_workflow [tracks] [files]
#include "benchenv.h"
#include "generatedlibrary.h"
#include "guistall.h"
#include "libraryxml.h"

#include "common.h"
#include "config.h"
#include "reporter/analyreport.h"
#include "vessolin/mainui.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

constexpr int kCacheFiles = 30000;

// Every third track lacks its artist, every fifth its album: the walk
// hands the report page a realistic share of the library.
bool writeLibrary(const QString& path, const QStringList& files, int trackCount)
{
    return generatedlibrary::writeLibrary(path, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i);
        if (i % 3 != 0)
            t.artist = QStringLiteral("Artist %1").arg(i % 997);
        if (i % 5 != 0)
            t.album = QStringLiteral("Album %1").arg(i % 4001);
        t.totalTime = 5000;
        t.bitRate = 64;
    });
}

// Nothing to fix: every track has its artist and album, every file a cover.
bool writeCleanLibrary(const QString& path, const QString& folder, int trackCount)
{
    const QStringList originals = generatedlibrary::copyFixtures(folder);
    QStringList covered;
    for (const QString& original : originals) {
        if (original.endsWith(QLatin1String("id3v2-cover.mp3")) || original.endsWith(QLatin1String("/original-cover.m4a")))
            covered << original;
    }
    const QStringList files = generatedlibrary::linkFiles(folder, 300, [&](int i) -> const QString& {
        return covered.at(i % covered.size());
    });
    return !files.isEmpty() && generatedlibrary::writeLibrary(path, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i);
        t.artist = QStringLiteral("Artist %1").arg(i % 997);
        t.album = QStringLiteral("Album %1").arg(i % 4001);
        t.totalTime = 5000;
        t.bitRate = 64;
    });
}

bool atReport(const CMainUI& window)
{
    return window.State().iState == MW_ANALYSING && window.State().iSubState == SUB_FINISHED;
}

bool atHome(const CMainUI& window)
{
    return window.State().iState == MW_IDLE && !window.State().bGoingHome && !window.State().bDiskStep;
}

QAction* saveProjectAction(CMainUI& window)
{
    for (QAction* action : window.findChildren<QAction*>())
        if (action->objectName() == QLatin1String("SaveProjectAct"))
            return action;
    return nullptr;
}

// The steps after the first report; false when one did not end.
bool diskSteps(CMainUI& window, const QString& home, const QString& xml, int trackCount)
{
    const QString project = home + QStringLiteral("/Saved Run.zorvadata");
    QPushButton* homeButton = guistall::Button(window, "main_gohome");
    window.MusicLink()->WaitForSaveToDB();
    const guistall::Figure save = guistall::MeasureAfterPanel(project, [&] { saveProjectAction(window)->trigger(); }, [&] {
        return QFileInfo(project).size() == QFileInfo(g_strDBName).size() && !window.State().bDiskStep;
    });
    guistall::Print("Save Project", save);
    const QByteArray saved = QByteArray::number(QFileInfo(project).size() / 1e6, 'f', 1);

    if (!guistall::FillCache(kCacheFiles))
        return false;
    const guistall::Figure homeWithCache = guistall::Measure([&] { homeButton->click(); }, [&] { return atHome(window); });
    guistall::Print("Home from the report, 30,000 cache files", homeWithCache);

    const guistall::Figure homeAtStart = guistall::Measure([&] {
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
        homeButton->click();
    }, [&] { return atHome(window); });
    guistall::Print("Home right after Start", homeAtStart);

    const guistall::Figure load = guistall::MeasureAfterPanel(project, [&] {
        guistall::Button(window, "load_obj")->click();
    }, [&] { return window.State().iState == MW_LOADING; });
    guistall::Print(qPrintable(QStringLiteral("Load Saved Result (%1 MB), to its load").arg(QString::fromLatin1(saved))), load);
    if (!QTest::qWaitFor([&] { return atReport(window); }, 600000))
        return false;
    const guistall::Figure homeOfProject = guistall::Measure([&] { homeButton->click(); }, [&] { return atHome(window); });
    guistall::Print("Home of the opened project (copied back)", homeOfProject);

    const QString clean = home + QStringLiteral("/Clean Library.xml");
    if (!writeCleanLibrary(clean, home + QStringLiteral("/clean music"), trackCount))
        return false;
    // The walk's end finds the cache full.
    guistall::FillCacheBeforeClear(window.MusicLink(), 2, kCacheFiles);
    window.LoadStartParam({clean}, g_strDBName, RUN_ITUNES);
    if (!QTest::qWaitFor([&] { return window.State().iState == MW_ANALYSING; }, 600000))
        return false;
    const guistall::Figure walkEnd = guistall::Measure([] {}, [&] { return atReport(window); });
    window.MusicLink()->SetDiskWorkHook(nullptr);
    guistall::Print("nothing found, 30,000 cache files: to report", walkEnd);
    if (window.State().iOutcome != OUT_NOTHING_FOUND || !guistall::FillCache(kCacheFiles))
        return false;
    const guistall::Figure back = guistall::Measure([&] { guistall::Button(window, "main_selectbut")->click(); },
                                                    [&] { return atHome(window); });
    guistall::Print("Return, 30,000 cache files", back);
    return save.stallMs >= 0 && homeWithCache.stallMs >= 0 && homeAtStart.stallMs >= 0 && load.stallMs >= 0
        && homeOfProject.stallMs >= 0 && walkEnd.stallMs >= 0 && back.stallMs >= 0;
}

} // namespace

int main(int argc, char** argv)
{
    const long fsyncMs = benchenv::slowDiskOrLocal(argv);
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int fileCount = argc > 2 ? atoi(argv[2]) : 300;
    benchenv::printDisk(fsyncMs);

    const QStringList files = generatedlibrary::makeFiles(home.filePath(QStringLiteral("music")), fileCount);
    const QString xml = home.filePath(QStringLiteral("Library.xml"));
    if (files.isEmpty() || !writeLibrary(xml, files, trackCount)) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }

    const QByteArray before = benchenv::loadAverage();
    CMainUI window;
    window.resize(1100, 700);
    window.show();
    QElapsedTimer clock;
    clock.start();
    window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    if (!QTest::qWaitFor([&] { return window.State().iState == MW_ANALYSING; }, 600000)) {
        std::fprintf(stderr, "the load did not end\n");
        return 1;
    }
    const qint64 loadMs = clock.elapsed();
    const bool reported = QTest::qWaitFor([&] { return atReport(window); }, 600000);
    const qint64 totalMs = clock.elapsed();
    if (!reported) {
        std::fprintf(stderr, "the analysis did not end\n");
        return 1;
    }
    int highest = 0;
    window.MusicLink()->GetMusicCountAMode(&highest, nullptr);
    const int problems = window.findChild<CAnalyReport*>()->m_iProblemNum;

    std::printf("window load and analysis: %d tracks over %d files, %d with a problem, score %.0f\n", highest,
                int(files.size()), problems, window.Score() / 100);
    std::printf("  request to analysis start (load): %lld ms\n", loadMs);
    std::printf("  analysis and report:              %lld ms\n", totalMs - loadMs);
    std::printf("  request to report:                %lld ms\n", totalMs);
    std::printf("  load average before / after:      %s / %s\n", before.constData(), benchenv::loadAverage().constData());
    std::printf("window steps on the disk, %d tracks:\n", trackCount);
    const bool ended = guistall::WithLoad([&] { return diskSteps(window, home.path(), xml, trackCount); });
    window.close();
    return ended ? 0 : 1;
}
