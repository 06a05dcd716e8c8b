// Applying an artist and a cover to MP3s of 4 MB, as a file-mode apply
// does, without and with the comparison of each saved copy's audio with
// the song's: what the check costs next to the copy it checks. Each song
// has a twin, made the same, and the two are applied one right after the
// other, one with the check and one without, the first of them taking
// turns: every write then meets the same state of the disk, which a
// thousand fsync'd copies of 4 MB keep changing. The songs are made at run
// time in a temporary folder (8 GB for 1,000 pairs). Prints only.
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
    // What the songs left to write back must not weigh on the apply.
    ::sync();
    return true;
}

struct Pass {
    qint64 ns = 0;
    int failed = 0;
};

void applyOne(const QString& path, const QByteArray& cover, bool checked, Pass& pass)
{
    SetAudioCheck(checked);
    QElapsedTimer timer;
    timer.start();
    tagMusicTags info;
    info.strLocation = path;
    info.strArtist = QStringLiteral("Artist of the bench");
    if (SetMusicInfo_tag(&info, TF_ARTIST) != 0
        || SetMusicArtwork_tag(path, cover.constData(), cover.size(), CPICTURE_JPEG) != 0)
        ++pass.failed;
    pass.ns += timer.nsecsElapsed();
}

void print(const char* what, const Pass& pass, int songs)
{
    const double ms = double(pass.ns) / 1e6;
    std::printf("%-20s %9.0f ms  %6.2f ms/song  %d failed\n", what, ms, ms / songs, pass.failed);
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
    QStringList plain, checked;
    for (int i = 0; i < songs; ++i) {
        plain << dir.filePath(QStringLiteral("song %1.mp3").arg(i));
        checked << dir.filePath(QStringLiteral("twin %1.mp3").arg(i));
    }
    if (!writeSongs(plain + checked, song)) {
        std::fprintf(stderr, "could not make %d songs in %s\n", 2 * songs, qPrintable(dir.path()));
        return 1;
    }
    std::printf("%d songs of %.1f MB and their twins, artist and a %d KiB cover each, in %s\nload before: %s\n",
                songs, double(song.size()) / (1024 * 1024), kCoverBytes / 1024, qPrintable(dir.path()),
                benchenv::loadAverage().constData());
    Pass without, with;
    for (int i = 0; i < songs; ++i) {
        const bool checkedFirst = i % 2 == 1;
        applyOne(checkedFirst ? checked[i] : plain[i], cover, checkedFirst, checkedFirst ? with : without);
        applyOne(checkedFirst ? plain[i] : checked[i], cover, !checkedFirst, checkedFirst ? without : with);
    }
    print("audio not compared:", without, songs);
    print("audio compared:", with, songs);
    std::printf("ratio compared/not compared: %.3f\nload after: %s\n",
                without.ns > 0 ? double(with.ns) / double(without.ns) : 0.0, benchenv::loadAverage().constData());
    return 0;
}
