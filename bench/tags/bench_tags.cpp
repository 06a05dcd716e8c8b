// Reading the tags of 2,000 files, as a file-mode load does: hard links
// (copies where links are refused) of the fixtures in a temporary folder,
// each read once through GetMusicInfo_tag. Prints only.
#include "tags.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QTemporaryDir>

#include <cstdio>
#include <unistd.h>

namespace {

constexpr int kFiles = 2000;

const char* const kFixtures[] = {"id3v2-cover.mp3", "id3v2-partial.mp3", "id3v1-only.mp3", "ape-only.mp3",
                                 "untagged.mp3",    "cover.m4a",         "empty.m4a",      "tagged.wma",
                                 "id3v2.flac",      "id3v2-title.tta",   "id3v2-cover.aiff", "plain.wav"};

QStringList makeFiles(const QString& folder)
{
    QStringList paths;
    const int kinds = int(sizeof kFixtures / sizeof *kFixtures);
    for (int i = 0; i < kFiles; ++i) {
        const QString fixture = QStringLiteral(VESSOLIN_FIXTURES_DIR "/") + QLatin1String(kFixtures[i % kinds]);
        const QString path = QStringLiteral("%1/%2 %3").arg(folder).arg(i).arg(QLatin1String(kFixtures[i % kinds]));
        if (::link(QFile::encodeName(fixture).constData(), QFile::encodeName(path).constData()) != 0
            && !QFile::copy(fixture, path))
            return {};
        paths << path;
    }
    return paths;
}

} // namespace

int main()
{
    QTemporaryDir dir;
    const QStringList paths = makeFiles(dir.path());
    if (paths.size() != kFiles) {
        std::fprintf(stderr, "could not make %d files in %s\n", kFiles, qPrintable(dir.path()));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    int read = 0, pictures = 0;
    for (const QString& path : paths) {
        tagMusicTags info;
        const int result = GetMusicInfo_tag(path, &info);
        read += result >= 0;
        pictures += result == 1;
    }
    const qint64 ms = timer.elapsed();
    std::printf("GetMusicInfo_tag: %d files (%d read, %d with a picture) in %lld ms, %.0f files/s\n", kFiles, read,
                pictures, static_cast<long long>(ms), ms > 0 ? kFiles * 1000.0 / double(ms) : 0.0);
    return 0;
}
