// Applying an artist and a cover to MP3s of 4 MB, as a file-mode apply
// does, once without and once with the comparison of each saved copy's
// audio with the song's: what the check costs next to the copy it checks.
// The songs are made at run time in a temporary folder (4 GB for 1,000 of
// them) from the fixtures, and made afresh for each pass. Prints only.
//   bench_tagwrite [songs] [MB per song]
#include "benchenv.h"
#include "src/tagwriter.h"
#include "tags.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kCoverBytes = 73 * 1024;

QByteArray fixture(const char* name)
{
    QFile file(QStringLiteral(VESSOLIN_FIXTURES_DIR "/") + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A tagged MP3 of about bytes: the partial fixture, then the frames of the
// untagged one over and over.
QByteArray makeSong(qint64 bytes)
{
    QByteArray song = fixture("id3v2-partial.mp3");
    const QByteArray frames = fixture("untagged.mp3");
    while (!frames.isEmpty() && song.size() < bytes)
        song += frames;
    return song;
}

QByteArray makeCover()
{
    QByteArray cover(kCoverBytes, '\0');
    for (int i = 0; i < cover.size(); ++i)
        cover[i] = char((i * 2654435761u) >> 24);
    return cover.replace(0, 4, "\xFF\xD8\xFF\xE0");
}

bool writeSongs(const QStringList& paths, const QByteArray& song)
{
    for (const QString& path : paths) {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(song) != song.size())
            return false;
    }
    // What the songs left to write back must not weigh on the pass.
    ::sync();
    return true;
}

struct Pass {
    qint64 ms = 0;
    int failed = 0;
};

Pass apply(const QStringList& paths, const QByteArray& cover)
{
    Pass pass;
    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < paths.size(); ++i) {
        tagMusicTags info;
        info.strLocation = paths[i];
        info.strArtist = QStringLiteral("Artist %1").arg(i % 97);
        if (SetMusicInfo_tag(&info, TF_ARTIST) != 0
            || SetMusicArtwork_tag(paths[i], cover.constData(), cover.size(), CPICTURE_JPEG) != 0)
            ++pass.failed;
    }
    pass.ms = timer.elapsed();
    return pass;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int songs = argc > 1 ? QByteArray(argv[1]).toInt() : 1000;
    const qint64 megabytes = argc > 2 ? QByteArray(argv[2]).toLongLong() : 4;
    QTemporaryDir dir;
    const QByteArray song = makeSong(megabytes * 1024 * 1024);
    const QByteArray cover = makeCover();
    QStringList paths;
    for (int i = 0; i < songs; ++i)
        paths << dir.filePath(QStringLiteral("song %1.mp3").arg(i));
    std::printf("%d songs of %.1f MB, artist and a %d KiB cover each, in %s\nload before: %s\n", songs,
                double(song.size()) / (1024 * 1024), kCoverBytes / 1024, qPrintable(dir.path()),
                benchenv::loadAverage().constData());
    Pass passes[2];
    for (const bool checked : {false, true}) {
        if (!writeSongs(paths, song)) {
            std::fprintf(stderr, "could not make %d songs in %s\n", songs, qPrintable(dir.path()));
            return 1;
        }
        SetAudioCheck(checked);
        passes[checked] = apply(paths, cover);
        std::printf("%-24s %8lld ms  %6.2f ms/song  %d failed\n", checked ? "audio compared:" : "audio not compared:",
                    static_cast<long long>(passes[checked].ms), double(passes[checked].ms) / songs,
                    passes[checked].failed);
    }
    std::printf("ratio compared/not compared: %.3f\nload after: %s\n",
                passes[0].ms > 0 ? double(passes[1].ms) / double(passes[0].ms) : 0.0,
                benchenv::loadAverage().constData());
    return 0;
}
