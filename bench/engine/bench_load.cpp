// Figures for loading a large iTunes library through the exported
// interface: generated libraries of 50,000 tracks whose locations are as
// many hard links of a few real files, so that every track has a file of
// its own. Loaded once with the fixtures' small covers, and once with half
// the files carrying a 1.5 MB cover. Prints the time to open and load each,
// their ratio, the peak memory of each load, and the reload of the saved
// database. Then, as the duplicate page removes a song and undoes it, the
// removal, the undo and the end of each transaction (the library file's
// rewrite, on the caller's thread). Prints only.
//   bench_engine_load [tracks] [files]
#include "cadenzo.h"
#include "generatedlibrary.h"
#include "libraryxml.h"
#include "tags.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>

namespace {

using generatedlibrary::EndWaiter;

constexpr int kBigCover = 1536 * 1024;

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

// A copy of the fixture carrying a cover of kBigCover bytes.
QString withBigCover(const QString& folder, const char* fixture)
{
    const QString copy = folder + QStringLiteral("/big-") + QLatin1String(fixture);
    QFile::copy(QStringLiteral(VESSOLIN_FIXTURES_DIR "/") + QLatin1String(fixture), copy);
    QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    QByteArray cover(kBigCover, '\0');
    for (int i = 0; i < cover.size(); ++i)
        cover[i] = char((i * 2654435761u) >> 24);
    cover.replace(0, 4, "\xFF\xD8\xFF\xE0");
    return SetMusicArtwork_tag(copy, cover.constData(), cover.size(), CPICTURE_JPEG) == 0 ? copy : QString();
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
    double peak = 0;
};

Timing load(void* manager, const QString& xml, const QByteArray& db, tagMusicRunMode mode)
{
    Timing timing;
    const QByteArray xmlPath = xml.toUtf8();
    resetPeak();
    QElapsedTimer clock;
    clock.start();
    if (MMLoadMusicLibrary(manager, xml.isEmpty() ? nullptr : xmlPath.constData(), db.constData(), mode) != 0)
        return timing;
    timing.openMs = clock.elapsed();
    EndWaiter waiter;
    const tagCtlCmdParam param{CMD_LOAD, &EndWaiter::callback, &waiter};
    MMLoadiTunesMusic(manager, &param);
    waiter.wait();
    timing.loadMs = clock.elapsed();
    timing.tracks = waiter.tracks.load();
    timing.peak = peakMiB();
    return timing;
}

// One removal or undo in a transaction of its own: the call, then its end.
void timeChange(void* manager, void* music, int command, const char* what)
{
    MMDBTransaction(manager, false);
    QElapsedTimer clock;
    clock.start();
    const int changed = MMApplyiTunesMusicInfo(manager, music, command, 0);
    const qint64 changeMs = clock.restart();
    const int ended = MMDBTransaction(manager, true);
    const qint64 endMs = clock.elapsed();
    std::printf("  %-7s %6lld ms (result %d), end of the transaction %6lld ms (result %d)\n", what, changeMs,
                changed, endMs, ended);
}

void timeRemovalAndUndo(void* manager, const QString& xml, const QByteArray& db)
{
    const Timing loaded = load(manager, xml, db, RUN_DUP_ITUNES);
    void* music = nullptr;
    int absence = 0, state = 0;
    long long repeatId = 0;
    if (loaded.tracks == 0 || MMGetMusicListMusic(manager, 0, &music, &absence, &state, &repeatId) != 0) {
        std::fprintf(stderr, "could not load the library for the removal\n");
        return;
    }
    // A file of its own, not a link shared with other tracks: the removal
    // then takes the file into the trash, and the undo adds it back.
    const tagMMusicInfo* info = nullptr;
    MMGetMusicInfo(manager, music, &info, INFO_NEW);
    const QString location = info ? info->strLocation : QString();
    const QString own = location + QStringLiteral(".own");
    if (location.isEmpty() || !QFile::copy(location, own) || !QFile::remove(location) || !QFile::rename(own, location)) {
        std::fprintf(stderr, "could not give the song a file of its own\n");
        return;
    }
    std::printf("one song removed and brought back, %d tracks (%.1f MB XML):\n", loaded.tracks,
                QFileInfo(xml).size() / 1e6);
    timeChange(manager, music, AC_DELETE, "removal");
    timeChange(manager, music, AC_RESTORE, "undo");
    timeChange(manager, music, AC_DELETE, "removal");
}

void print(const char* what, const Timing& timing, int files, const QString& xml)
{
    std::printf("library load, %s: %d tracks over %d files (%.1f MB XML)\n", what, timing.tracks, files,
                QFileInfo(xml).size() / 1e6);
    std::printf("  open (agent and database): %lld ms\n", timing.openMs);
    std::printf("  open and load:             %lld ms\n", timing.loadMs);
    std::printf("  peak memory:               %.0f MiB\n", timing.peak);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 50000;
    const int fileCount = argc > 2 ? atoi(argv[2]) : trackCount;
    QTemporaryDir dir;
    const QString small = dir.filePath(QStringLiteral("small")), big = dir.filePath(QStringLiteral("big"));
    const QStringList smallOriginals = generatedlibrary::copyFixtures(small);
    const QStringList bigOriginals = generatedlibrary::copyFixtures(big);
    const QStringList bigCovers = {withBigCover(big, "id3v2-partial.mp3"), withBigCover(big, "empty.m4a")};
    if (bigCovers.contains(QString())) {
        std::fprintf(stderr, "could not make the files with big covers\n");
        return 1;
    }
    const QStringList smallFiles = generatedlibrary::linkFiles(small, fileCount, [&](int i) -> const QString& {
        return smallOriginals.at(i % smallOriginals.size());
    });
    // Every second file carries a big cover, the others are as above.
    const QStringList bigFiles = generatedlibrary::linkFiles(big, fileCount, [&](int i) -> const QString& {
        return i % 2 == 0 ? bigCovers.at(i / 2 % bigCovers.size()) : bigOriginals.at(i / 2 % bigOriginals.size());
    });
    const QString smallXml = dir.filePath(QStringLiteral("Small.xml")), bigXml = dir.filePath(QStringLiteral("Big.xml"));
    if (smallFiles.isEmpty() || bigFiles.isEmpty() || !writeLibrary(smallXml, smallFiles, trackCount)
        || !writeLibrary(bigXml, bigFiles, trackCount)) {
        std::fprintf(stderr, "could not make the libraries\n");
        return 1;
    }
    const QByteArray folder = dir.path().toUtf8();
    const QByteArray db = dir.filePath(QStringLiteral("MusicLibrary.db")).toUtf8();
    void* manager = MMCreateManager(folder.constData(), folder.constData(), folder.constData());

    const Timing smallCovers = load(manager, smallXml, db, RUN_ITUNES);
    print("small covers", smallCovers, int(smallFiles.size()), smallXml);
    const Timing bigCoversLoad = load(manager, bigXml, db, RUN_ITUNES);
    print("1.5 MB covers in half the files", bigCoversLoad, int(bigFiles.size()), bigXml);
    std::printf("  big covers / small covers:  %.2fx\n",
                smallCovers.loadMs > 0 ? double(bigCoversLoad.loadMs) / double(smallCovers.loadMs) : 0.0);

    const Timing project = load(manager, QString(), db, RUN_PROJECT);
    std::printf("saved database reload: %d tracks in %lld ms\n", project.tracks, project.loadMs);
    timeRemovalAndUndo(manager, smallXml, db);
    MMSetExitState(manager, 1);
    MMDestroyManager(manager);
    return 0;
}
