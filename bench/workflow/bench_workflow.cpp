// Figures for the main window's load and analysis of a large iTunes
// library: a generated library of 50,000 tracks over a few hundred small
// real files, requested as "Start to Clean iTunes" with its file, through
// the real window (offscreen) and the real engine, from the request to the
// report. Prints the load, the analysis and the whole, and the machine's
// load average. Runs in a private home folder. Prints only.
//   bench_workflow [tracks] [files]
#include "generatedlibrary.h"
#include "libraryxml.h"

#include "common.h"
#include "config.h"
#include "reporter/analyreport.h"
#include "vessolin/mainui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
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

QByteArray loadAverage()
{
    QFile file(QStringLiteral("/proc/loadavg"));
    return file.open(QIODevice::ReadOnly) ? file.readAll().trimmed() : QByteArray("unknown");
}

void usePrivateHome(const QString& home)
{
    qputenv("HOME", home.toUtf8());
    qputenv("XDG_DATA_HOME", (home + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (home + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_CACHE_HOME", (home + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_MUSIC_DIR", (home + QStringLiteral("/Music")).toUtf8());
    qputenv("XDG_PICTURES_DIR", (home + QStringLiteral("/Pictures")).toUtf8());
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int fileCount = argc > 2 ? atoi(argv[2]) : 300;

    const QStringList files = generatedlibrary::makeFiles(home.filePath(QStringLiteral("music")), fileCount);
    const QString xml = home.filePath(QStringLiteral("Library.xml"));
    if (files.isEmpty() || !writeLibrary(xml, files, trackCount)) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }

    const QByteArray before = loadAverage();
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
    std::printf("  load average before / after:      %s / %s\n", before.constData(), loadAverage().constData());
    window.close();
    return 0;
}
