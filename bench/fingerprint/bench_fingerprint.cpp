// Figures of the deep duplicate scan:
//  1. files fingerprinted per second by CFingerprintStore (fresh caches),
//     on one thread and on every core, beside the cost of fingerprinting
//     whole files the way a scan would without the early stop;
//  2. 20,000 tracks from cache files: loading them into a store, then the
//     analysis loop's comparisons (each track against every earlier one in
//     list order until the first match) on the values held in memory.
// Usage: bench_fingerprint [tracks=20000] [minutes per generated file=4]
#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintside.h"
#include "fingerprint/fingerprintstore.h"
#include "cadenzo.h"
#include "quorra.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>
#include <QtEndian>

#include <cstdio>
#include <memory>
#include <vector>

namespace {

constexpr int kPieces = 8;

// A piece of music-like audio; seed varies tempo, scale and bass.
QString pieceExpression(int seed)
{
    const double beat = 0.2 + 0.03 * seed;
    const int step = 3 + seed % 5;
    const double root = 180 + 17 * seed;
    return QStringLiteral("0.25*sin(PI*mod(t,%1)/%1)*sin(2*PI*t*%2*pow(2,mod(floor(t/%1)*%3+floor(t/2)*%4,24)/12))"
                          "+0.15*(0.6+0.4*sin(PI*mod(t,2)/2))*sin(2*PI*t*%5*pow(2,mod(floor(t/2)*7,12)/12))"
                          "+0.01*(random(1)-0.5)")
        .arg(beat)
        .arg(root)
        .arg(step)
        .arg(seed % 4 + 1)
        .arg(root / 2);
}

QProcess* startFfmpeg(const QStringList& arguments)
{
    auto* process = new QProcess;
    process->start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                                         QStringLiteral("error"), QStringLiteral("-nostdin"),
                                                         QStringLiteral("-y")}
                                                 + arguments);
    return process;
}

// Runs the ffmpeg commands a few at a time; false when one failed.
bool runAll(const QList<QStringList>& commands)
{
    const int parallel = qMax(1, QThread::idealThreadCount());
    bool ok = true;
    for (int first = 0; first < commands.size(); first += parallel) {
        std::vector<std::unique_ptr<QProcess>> running;
        for (int i = first; i < qMin<int>(first + parallel, commands.size()); ++i)
            running.emplace_back(startFfmpeg(commands[i]));
        for (auto& p : running)
            ok = p->waitForFinished(-1) && p->exitCode() == 0 && ok;
    }
    return ok;
}

// kPieces pieces, each in six encodings: 48 files of `minutes` length.
QStringList makeAudio(const QString& dir, int minutes)
{
    QDir().mkpath(dir);
    QList<QStringList> renders;
    for (int i = 0; i < kPieces; ++i)
        renders.append({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                        QStringLiteral("aevalsrc=exprs='%1':s=44100:d=%2").arg(pieceExpression(i)).arg(minutes * 60),
                        QStringLiteral("-ac"), QStringLiteral("2"), QStringLiteral("%1/p%2.wav").arg(dir).arg(i)});
    if (!runAll(renders))
        return {};
    auto codec = [](const char* name, const char* rate) {
        QStringList options{QStringLiteral("-c:a"), QLatin1String(name)};
        if (rate)
            options << QStringLiteral("-b:a") << QLatin1String(rate);
        return options;
    };
    struct Encoding { const char* ext; QStringList options; };
    const Encoding encodings[] = {
        {"128.mp3", codec("libmp3lame", "128k")}, {"320.mp3", codec("libmp3lame", "320k")},
        {"m4a", codec("aac", "192k")},           {"flac", codec("flac", nullptr)},
        {"wma", codec("wmav2", "160k")},
    };
    QList<QStringList> encodes;
    QStringList files;
    for (int i = 0; i < kPieces; ++i) {
        const QString wav = QStringLiteral("%1/p%2.wav").arg(dir).arg(i);
        for (const Encoding& e : encodings) {
            files.append(QStringLiteral("%1/p%2.%3").arg(dir).arg(i).arg(QLatin1String(e.ext)));
            encodes.append(QStringList{QStringLiteral("-i"), wav} + e.options + QStringList{files.last()});
        }
        files.append(wav);
    }
    return runAll(encodes) ? files : QStringList();
}

// Seconds for a store to load every file, driven like the analysis loop.
double timeStore(const QStringList& files, const QString& cacheDir, int threads, int* similar)
{
    QDir(cacheDir).removeRecursively();
    QDir().mkpath(cacheDir);
    QVector<tagFingerprintSource> sources;
    for (int i = 0; i < files.size(); ++i)
        sources.append({files[i].toUtf8(), QStringLiteral("%1/%2fingerprint.bin").arg(cacheDir).arg(i).toUtf8()});
    QElapsedTimer timer;
    timer.start();
    CFingerprintStore store(threads);
    store.Start(sources);
    *similar = 0;
    for (int i = 1; i < files.size(); ++i)
        *similar += store.Compare(i, i - 1, OPT_DEGREE_MEDIUM) == 1;
    return timer.nsecsElapsed() / 1e9;
}

int wholeFileInfo(void* user, int rate, int channels, int)
{
    return chromaprint_start(static_cast<ChromaprintContext*>(user), rate, channels) == 1 ? 0 : 1;
}

int wholeFileData(void* user, const short* samples, int bytes)
{
    return chromaprint_feed(static_cast<ChromaprintContext*>(user), samples, bytes / 2) == 1 ? 0 : 1;
}

// Seconds to fingerprint every file whole on this thread, for comparison.
double timeWholeFiles(const QStringList& files)
{
    QElapsedTimer timer;
    timer.start();
    for (const QString& file : files) {
        ChromaprintPtr context(chromaprint_new(1));
        void* task = CreateConverTask(CK_DECODE, nullptr);
        DecoderAudio(&task, file.toUtf8().constData(), wholeFileInfo, wholeFileData, context.get());
        chromaprint_finish(context.get());
        DestroyConvertTask(&task);
    }
    return timer.nsecsElapsed() / 1e9;
}

void fingerprintFigures(const QString& work, int minutes)
{
    const QStringList files = makeAudio(work + QStringLiteral("/audio"), minutes);
    if (files.isEmpty()) {
        std::printf("could not make the audio (is the ffmpeg tool installed?)\n");
        return;
    }
    const int cores = qMax(1, QThread::idealThreadCount());
    std::printf("%d files of %d min (MP3 128k/320k, AAC, FLAC, WMA, WAV; 44.1 kHz stereo)\n",
                int(files.size()), minutes);
    int similar = 0;
    const double one = timeStore(files, work + QStringLiteral("/c1"), 1, &similar);
    std::printf("  store, 1 thread:   %6.2f s  %7.1f files/s  (neighbours alike: %d)\n", one, files.size() / one,
                similar);
    const double all = timeStore(files, work + QStringLiteral("/cn"), cores, &similar);
    std::printf("  store, %d threads: %6.2f s  %7.1f files/s  (neighbours alike: %d)\n", cores, all,
                files.size() / all, similar);
    const double whole = timeWholeFiles(files);
    std::printf("  whole files without the early stop, 1 thread: %6.2f s  %7.1f files/s\n", whole,
                files.size() / whole);
}

// Cache files for `tracks` tracks: random series of 210 values, where one
// track in twenty repeats an earlier one with a little bit noise.
bool writeCaches(const QString& dir, int tracks, int* copies)
{
    QDir().mkpath(dir);
    QRandomGenerator random(20000);
    std::vector<std::vector<quint32>> series(tracks);
    *copies = 0;
    for (int i = 0; i < tracks; ++i) {
        std::vector<quint32>& values = series[i];
        if (i > 0 && random.bounded(20) == 0) {
            values = series[random.bounded(i)];
            for (quint32& v : values)
                v ^= 1u << random.bounded(32);
            ++*copies;
        } else {
            values.resize(210);
            for (quint32& v : values)
                v = random.generate();
        }
        QByteArray bytes(8 + 4 * int(values.size()), '\0');
        qToLittleEndian<qint32>(44100, bytes.data());
        qToLittleEndian<qint32>(16, bytes.data() + 4);
        for (size_t k = 0; k < values.size(); ++k)
            qToLittleEndian<quint32>(values[k], bytes.data() + 8 + 4 * k);
        QFile file(QStringLiteral("%1/%2fingerprint.bin").arg(dir).arg(i));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            return false;
    }
    return true;
}

void comparisonFigures(const QString& work, int tracks)
{
    const QString dir = work + QStringLiteral("/caches");
    int copies = 0;
    if (!writeCaches(dir, tracks, &copies)) {
        std::printf("could not write the caches\n");
        return;
    }
    // The audio paths are never opened: every track has its cache.
    QVector<tagFingerprintSource> sources;
    for (int i = 0; i < tracks; ++i)
        sources.append({QByteArrayLiteral("/nonexistent.mp3"),
                        QStringLiteral("%1/%2fingerprint.bin").arg(dir).arg(i).toUtf8()});
    std::printf("%d cached tracks (%d repeat an earlier one)\n", tracks, copies);
    CFingerprintStore store;
    QElapsedTimer timer;
    timer.start();
    store.Start(sources);
    store.Compare(tracks - 1, 0, OPT_DEGREE_MEDIUM);
    std::printf("  loading the caches into memory: %.2f s\n", timer.nsecsElapsed() / 1e9);
    const struct { const char* name; int flags; } degrees[] = {
        {"high", OPT_DEGREE_HIGH}, {"medium", OPT_DEGREE_MEDIUM}, {"low", OPT_DEGREE_LOW}};
    for (const auto& degree : degrees) {
        long long pairs = 0;
        int matched = 0;
        timer.restart();
        for (int i = 1; i < tracks; ++i) {
            for (int j = 0; j < i; ++j) {
                ++pairs;
                if (store.Compare(i, j, OPT_DEEP_SCAN | degree.flags) == 1) {
                    ++matched;
                    break;
                }
            }
        }
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("  every track against every earlier one until a match, %-6s: %7.2f s  %lld pairs  "
                    "%.0f ns/pair  %d matched\n",
                    degree.name, seconds, pairs, seconds * 1e9 / pairs, matched);
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int tracks = argc > 1 ? QByteArray(argv[1]).toInt() : 20000;
    const int minutes = argc > 2 ? QByteArray(argv[2]).toInt() : 4;
    QTemporaryDir work;
    if (!work.isValid())
        return 1;
    fingerprintFigures(work.path(), qMax(1, minutes));
    comparisonFigures(work.path(), qMax(2, tracks));
    return 0;
}
