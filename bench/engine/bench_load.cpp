// Figures for loading a large iTunes library through the exported
// interface: a generated library of 50,000 tracks whose locations point at
// a few hundred small real files (hard links of the fixtures). Prints the
// time to open and load it, the same for reloading the saved database, and
// the peak memory of the load. Prints only.
//   bench_engine_load [tracks] [files]
#include "cadenzo.h"
#include "generatedlibrary.h"
#include "libraryxml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

using generatedlibrary::BenchFolder;
using generatedlibrary::EndWaiter;

bool writeLibrary(const QString& path, const QStringList& files, int trackCount)
{
    return generatedlibrary::writeLibrary(path, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i);
        t.artist = QStringLiteral("Artist %1").arg(i % 997);
        t.album = QStringLiteral("Album %1").arg(i % 4001);
        t.totalTime = 5000;
        t.bitRate = 64;
    });
}

// Peak resident memory since the last reset, in MiB.
double peakMiB()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').first().toDouble() / 1024.0;
    return -1;
}

void resetPeak()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct Timing
{
    qint64 openMs = 0;
    qint64 loadMs = 0;
    int tracks = 0;
};

Timing load(void* manager, const QByteArray& xml, const QByteArray& db, tagMusicRunMode mode)
{
    Timing timing;
    QElapsedTimer clock;
    clock.start();
    if (MMLoadMusicLibrary(manager, xml.isEmpty() ? nullptr : xml.constData(), db.constData(), mode) != 0)
        return timing;
    timing.openMs = clock.elapsed();
    EndWaiter waiter;
    const tagCtlCmdParam param{CMD_LOAD, &EndWaiter::callback, &waiter};
    MMLoadiTunesMusic(manager, &param);
    waiter.wait();
    timing.loadMs = clock.elapsed();
    timing.tracks = waiter.tracks.load();
    return timing;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int fileCount = argc > 2 ? atoi(argv[2]) : 300;
    const BenchFolder bench(fileCount, trackCount, writeLibrary);
    if (!bench.manager) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }

    resetPeak();
    const double before = peakMiB();
    const Timing library = load(bench.manager, bench.xml.toUtf8(), bench.db, RUN_ITUNES);
    const double peak = peakMiB();
    std::printf("library load: %d tracks over %d files (%.1f MB XML)\n", library.tracks,
                int(bench.files.size()), QFileInfo(bench.xml).size() / 1e6);
    std::printf("  open (agent and database): %lld ms\n", library.openMs);
    std::printf("  open and load:             %lld ms\n", library.loadMs);
    std::printf("  peak memory:               %.0f MiB (%.0f MiB before the load)\n", peak, before);

    const Timing project = load(bench.manager, QByteArray(), bench.db, RUN_PROJECT);
    std::printf("saved database reload: %d tracks in %lld ms\n", project.tracks, project.loadMs);
    return 0;
}
