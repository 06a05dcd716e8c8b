// Figures for the main window's load and analysis of a large iTunes
// library: a generated library of 50,000 tracks over a few hundred small
// real files, requested as "Start to Clean iTunes" with its file, through
// the real window (offscreen) and the real engine, from the request to the
// report. Prints the load, the analysis and the whole, and the machine's
// load average. Runs in a private home folder. Prints only.
//   bench_workflow [tracks] [files]
#include "benchenv.h"
#include "generatedlibrary.h"
#include "libraryxml.h"

#include "common.h"
#include "config.h"
#include "reporter/analyreport.h"
#include "vessolin/mainui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

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

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int fileCount = argc > 2 ? atoi(argv[2]) : 300;

    const QStringList files = generatedlibrary::makeFiles(home.filePath(QStringLiteral("music")), fileCount);
    const QString xml = home.filePath(QStringLiteral("Library.xml"));
    if (files.isEmpty() || !writeLibrary(xml, files, trackCount)) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }

    const QByteArray before = benchenv::loadAverage();
    CMainUI window;
    window.show();
    QElapsedTimer clock;
    clock.start();
    window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    if (!QTest::qWaitFor([&] { return window.State().iState == MW_ANALYSING; }, 600000)) {
        std::fprintf(stderr, "the load did not end\n");
        return 1;
    }
    const qint64 loadMs = clock.elapsed();
    const bool reported = QTest::qWaitFor(
        [&] { return window.State().iState == MW_ANALYSING && window.State().iSubState == SUB_FINISHED; }, 600000);
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
    window.close();
    return 0;
}
