// Figures for the conversion layer on this machine: decoding for
// fingerprints and conversion to WAV, per format, in files per second and
// times real time. Renders three-minute stereo songs with the ffmpeg tool
// first. Prints only.
#include "quorra.h"

#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

namespace {

const double kSeconds = 180.0;
const int kRounds = 3;

struct Format
{
    const char* name;
    QStringList codec;
};

bool render(const QString& path, const QStringList& codec)
{
    QProcess ffmpeg;
    ffmpeg.start(QStringLiteral("ffmpeg"),
                 QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                             QStringLiteral("-y"), QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                             QStringLiteral("sine=frequency=440:beep_factor=4:sample_rate=44100:duration=%1").arg(kSeconds),
                             QStringLiteral("-af"), QStringLiteral("pan=stereo|c0=c0|c1=0.5*c0")}
                     + codec + QStringList{path});
    return ffmpeg.waitForFinished(600000) && ffmpeg.exitCode() == 0;
}

int ignoreInfo(void*, int, int, int) { return 0; }
int ignoreData(void*, const short*, int) { return 0; }

int decodeOnce(const QByteArray& path)
{
    void* task = CreateConverTask(CK_DECODE, nullptr);
    const int result = DecoderAudio(&task, path.constData(), ignoreInfo, ignoreData, nullptr);
    DestroyConvertTask(&task);
    return result;
}

int convertOnce(const QByteArray& source, const QByteArray& dest)
{
    char reserved[QUORRA_PATH_SIZE] = {};
    char from[QUORRA_PATH_SIZE] = {};
    char to[QUORRA_PATH_SIZE] = {};
    qstrncpy(from, source.constData(), sizeof from);
    qstrncpy(to, dest.constData(), sizeof to);
    tagConverRecord record{reserved, from, to};
    void* task = CreateConverTask(CK_WAV, &record);
    const int result = StartConvertTask(&task);
    DestroyConvertTask(&task);
    return result;
}

// Seconds per file, or -1 when a run failed.
template <typename Run>
double timeRounds(Run run)
{
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < kRounds; ++i) {
        if (run() != 0)
            return -1;
    }
    return timer.nsecsElapsed() / 1e9 / kRounds;
}

void report(const char* name, const char* what, double perFile)
{
    if (perFile < 0)
        std::printf("%-5s %-7s failed\n", name, what);
    else
        std::printf("%-5s %-7s %8.1f files/s %8.0fx real time\n", name, what, 1.0 / perFile, kSeconds / perFile);
}

} // namespace

int main()
{
    const QList<Format> formats{
        {"mp3", {QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"), QStringLiteral("192k")}},
        {"m4a", {QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-b:a"), QStringLiteral("160k")}},
        {"wma", {QStringLiteral("-c:a"), QStringLiteral("wmav2"), QStringLiteral("-b:a"), QStringLiteral("128k")}},
        {"flac", {QStringLiteral("-c:a"), QStringLiteral("flac")}},
        {"tta", {QStringLiteral("-c:a"), QStringLiteral("tta")}},
        {"aiff", {QStringLiteral("-c:a"), QStringLiteral("pcm_s16be")}},
        {"wav", {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")}},
    };
    QTemporaryDir dir;
    std::printf("%d rounds over a %.0f s stereo 44.1 kHz song per format\n", kRounds, kSeconds);
    for (const Format& format : formats) {
        const QByteArray source = QFile::encodeName(dir.filePath(QStringLiteral("song.") + QLatin1String(format.name)));
        const QByteArray dest = QFile::encodeName(dir.filePath(QStringLiteral("out.wav")));
        if (!render(QFile::decodeName(source), format.codec)) {
            std::printf("%-5s ffmpeg could not render the song\n", format.name);
            continue;
        }
        report(format.name, "decode", timeRounds([&] { return decodeOnce(source); }));
        report(format.name, "to WAV", timeRounds([&] { return convertOnce(source, dest); }));
    }
    return 0;
}
