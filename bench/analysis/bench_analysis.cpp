// Figures for the analysis through the exported interface, on a generated
// library whose tracks each have a file of their own (hard links of the
// fixtures). Prints only:
//  1. the quick duplicate scan of a loaded library (title and artist);
//  2. the fix-mode analysis and the save after it;
//  3. applying edited fields to part of a library, in one transaction;
//  4. the deep scan of a library whose fingerprints are all cached (one
//     track in twenty repeats an earlier one).
//   bench_analysis [tracks] [applied] [deep-scanned]
#include "cadenzo.h"
#include "generatedlibrary.h"
#include "libraryxml.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QThread>
#include <QRandomGenerator>
#include <QtEndian>

#include <cstdio>

namespace {

using generatedlibrary::BenchFolder;
using generatedlibrary::EndWaiter;

// Half the titles repeat every 7,000 tracks (with their artists), so the
// scan finds groups of about four; every third track lacks its album.
bool writeLibrary(const QString& path, const QStringList& files, int trackCount)
{
    return generatedlibrary::writeLibrary(path, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i % 2 ? i : i % 7000);
        t.artist = QStringLiteral("Artist %1").arg(i % 7000 % 13);
        t.album = i % 3 == 0 ? QString() : QStringLiteral("Album %1").arg(i % 4001);
        t.totalTime = 5000 + i % 5;
        t.bitRate = 64 + 32 * (i % 3);
    });
}

bool load(void* manager, const QByteArray& xml, const QByteArray& db, tagMusicRunMode mode)
{
    if (MMLoadMusicLibrary(manager, xml.constData(), db.constData(), mode) != 0)
        return false;
    EndWaiter waiter;
    const tagCtlCmdParam param{CMD_LOAD, &EndWaiter::callback, &waiter};
    MMLoadiTunesMusic(manager, &param);
    waiter.wait();
    return true;
}

qint64 analyse(void* manager, int mask)
{
    QElapsedTimer clock;
    clock.start();
    EndWaiter waiter;
    const tagCtlCmdParam param{CMD_ANALYSE, &EndWaiter::callback, &waiter};
    if (MMAnalyzeMusicInfo(manager, &param, mask) != 0)
        return -1;
    waiter.wait();
    return clock.elapsed();
}

int savesLogged(const QString& folder)
{
    QFile log(folder + QStringLiteral("/MM.log"));
    return log.open(QIODevice::ReadOnly) ? int(log.readAll().count("End Delete Complete Music")) : 0;
}

void waitForSave(const QString& folder, int count)
{
    while (savesLogged(folder) < count)
        QThread::msleep(5);
}

int duplicatesFound(void* manager)
{
    int found = 0;
    const int count = MMGetMusicCountAMode(manager, nullptr, nullptr);
    for (int i = 0; i < count; ++i) {
        int absence = 0;
        MMGetMusicListMusic(manager, i, nullptr, &absence, nullptr, nullptr);
        found += (absence & AT_DUPLICATE) ? 1 : 0;
    }
    return found;
}

void benchQuickScan(void* manager, const QByteArray& xml, const QByteArray& db)
{
    if (!load(manager, xml, db, RUN_DUP_ITUNES))
        return;
    const qint64 ms = analyse(manager, MF_TITLE | MF_ARTIST);
    std::printf("quick duplicate scan: %d tracks in %lld ms, %d in groups\n",
                MMGetMusicCountAMode(manager, nullptr, nullptr), ms, duplicatesFound(manager));
}

void benchFixAnalysis(void* manager, const QByteArray& xml, const QByteArray& db, const QString& folder)
{
    if (!load(manager, xml, db, RUN_ITUNES))
        return;
    const int saves = savesLogged(folder);
    QElapsedTimer clock;
    clock.start();
    const qint64 ms = analyse(manager, MF_TITLE | MF_ARTIST | MF_ALBUM | MF_ARTWORK | MF_FILE);
    waitForSave(folder, saves + 1);
    int total = 0;
    const int kept = MMGetMusicCountAMode(manager, &total, nullptr);
    std::printf("fix-mode analysis: %d tracks in %lld ms (%d with findings); with the save: %lld ms\n", total, ms,
                kept, clock.elapsed());
}

void benchApply(void* manager, const QByteArray& xml, const QByteArray& db, int applied)
{
    if (!load(manager, xml, db, RUN_ITUNES) || analyse(manager, MF_ARTIST | MF_ALBUM) < 0)
        return;
    const int count = std::min(applied, MMGetMusicCountAMode(manager, nullptr, nullptr));
    for (int i = 0; i < count; ++i) {
        void* track = nullptr;
        MMGetMusicListMusic(manager, i, &track, nullptr, nullptr, nullptr);
        const QByteArray album = "Fixed album " + QByteArray::number(i);
        const char* values[] = {album.constData()};
        MMSetUserMusicInfo(manager, track, MF_ALBUM, values);
    }
    QElapsedTimer clock;
    clock.start();
    int failed = 0;
    MMDBTransaction(manager, false);
    for (int i = 0; i < count; ++i)
        failed += MMApplyMusicInfo(manager, i, 0) != 0 ? 1 : 0;
    MMDBTransaction(manager, true);
    const qint64 applyMs = clock.elapsed();
    MMDestroyMusicLibrary(manager); // the library file takes in the changes
    std::printf("applying: %d tracks in %lld ms (%d failed); with closing the library: %lld ms\n", count, applyMs,
                failed, clock.elapsed());
}

bool writeCaches(const QString& folder, int count)
{
    QRandomGenerator random(5);
    QList<QByteArray> written;
    for (int i = 0; i < count; ++i) {
        QByteArray bytes(8 + 4 * 200, '\0');
        qToLittleEndian<qint32>(44100, bytes.data());
        for (int v = 0; v < 200; ++v)
            qToLittleEndian<quint32>(random.generate(), bytes.data() + 8 + 4 * v);
        if (i % 20 == 19)
            bytes = written.at(int(random.bounded(i)));
        written << bytes;
        QFile file(folder + QLatin1Char('/') + libraryxml::persistentId(quint64(i)) + QStringLiteral("fingerprint.bin"));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

void benchDeepScan(void* manager, const QStringList& files, const QString& folder, int count)
{
    const QString xml = folder + QStringLiteral("/Deep.xml");
    const QByteArray db = (folder + QStringLiteral("/Deep.db")).toUtf8();
    if (!writeLibrary(xml, files.mid(0, count), count) || !writeCaches(folder, count)
        || !load(manager, xml.toUtf8(), db, RUN_DUP_ITUNES))
        return;
    const qint64 ms = analyse(manager, OPT_DEEP_SCAN | OPT_DEGREE_MEDIUM);
    std::printf("deep scan of cached fingerprints: %d tracks in %lld ms, %d in groups\n",
                MMGetMusicCountAMode(manager, nullptr, nullptr), ms, duplicatesFound(manager));
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int applied = argc > 2 ? atoi(argv[2]) : 5000;
    const int deepScanned = argc > 3 ? atoi(argv[3]) : 20000;
    const BenchFolder bench(trackCount, trackCount, writeLibrary);
    if (!bench.manager) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }
    const QByteArray xml = bench.xml.toUtf8();
    benchQuickScan(bench.manager, xml, bench.db);
    benchFixAnalysis(bench.manager, xml, bench.db, bench.dir.path());
    benchApply(bench.manager, xml, bench.db, applied);
    benchDeepScan(bench.manager, bench.files, bench.dir.path(), std::min(deepScanned, int(bench.files.size())));
    return 0;
}
