// Figures for the library agent on this machine: opening a 50,000-track
// library file laid out as iTunes writes it, serving it to the loader,
// recording 5,000 changes and writing them into the file. Prints only.
//   bench_agent [track count]
#include "libraryagent.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <cstdio>

namespace {

constexpr int kChanges = 5000;
const char* const kKeys[] = {"PersistentID", "TrackID", "Name", "Artist", "Album", "Size",
                             "TotalTime", "Location", "Year", "Genre", "Bitrate"};

QByteArray persistentId(int i)
{
    return QByteArray::number(0x3A5C000000000000ULL + quint64(i) * 104729, 16).toUpper();
}

void appendTrack(QByteArray* out, int i)
{
    const QByteArray n = QByteArray::number(i);
    const QByteArray artist = "Artist " + QByteArray::number(i % 700);
    const QByteArray album = "Album " + QByteArray::number(i % 4000);
    const auto integer = [&](const char* key, qint64 v) {
        out->append("\t\t\t<key>").append(key).append("</key><integer>").append(QByteArray::number(v)).append("</integer>\n");
    };
    const auto text = [&](const char* key, const QByteArray& v) {
        out->append("\t\t\t<key>").append(key).append("</key><string>").append(v).append("</string>\n");
    };
    const auto date = [&](const char* key) {
        out->append("\t\t\t<key>").append(key).append("</key><date>2016-07-28T20:43:12Z</date>\n");
    };
    out->append("\t\t<key>").append(QByteArray::number(1000 + i)).append("</key>\n\t\t<dict>\n");
    integer("Track ID", 1000 + i);
    text("Name", "Title " + n + " &amp; Friends");
    text("Artist", artist);
    text("Album Artist", artist);
    text("Composer", "Composer " + QByteArray::number(i % 300));
    text("Album", album);
    text("Genre", "Jazz");
    text("Kind", "MPEG audio file");
    integer("Size", 3000000 + i * 37 % 5000000);
    integer("Total Time", 120000 + i * 13 % 300000);
    integer("Disc Number", 1);
    integer("Disc Count", 1);
    integer("Track Number", i % 14 + 1);
    integer("Track Count", 14);
    integer("Year", 1960 + i % 60);
    date("Date Modified");
    date("Date Added");
    integer("Bit Rate", 256);
    integer("Sample Rate", 44100);
    integer("Play Count", i % 40);
    integer("Play Date", 3552590592LL);
    date("Play Date UTC");
    integer("Artwork Count", 1);
    text("Sort Name", "Title " + n);
    text("Persistent ID", persistentId(i));
    text("Track Type", "File");
    text("Location", "file:///home/user/Music/iTunes/iTunes%20Media/Music/" + QByteArray(artist).replace(" ", "%20") + "/"
                         + QByteArray(album).replace(" ", "%20") + "/" + n + "%20Title.mp3");
    integer("File Folder Count", 5);
    integer("Library Folder Count", 1);
    out->append("\t\t</dict>\n");
}

void appendPlaylist(QByteArray* out, int id, const char* name, int count, int step)
{
    out->append("\t\t<dict>\n\t\t\t<key>Name</key><string>").append(name).append("</string>\n");
    out->append("\t\t\t<key>Playlist ID</key><integer>").append(QByteArray::number(id)).append("</integer>\n");
    out->append("\t\t\t<key>Playlist Persistent ID</key><string>").append(persistentId(900000 + id)).append("</string>\n");
    out->append("\t\t\t<key>All Items</key><true/>\n\t\t\t<key>Playlist Items</key>\n\t\t\t<array>\n");
    for (int i = 0; i < count; i += step)
        out->append("\t\t\t\t<dict>\n\t\t\t\t\t<key>Track ID</key><integer>")
            .append(QByteArray::number(1000 + i))
            .append("</integer>\n\t\t\t\t</dict>\n");
    out->append("\t\t\t</array>\n\t\t</dict>\n");
}

// Written piece by piece, so that making the file does not raise the
// peak memory measured afterwards.
bool writeLibrary(const QString& path, int count)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    QByteArray out("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                   "<!DOCTYPE plist PUBLIC \"-//Apple Computer//DTD PLIST 1.0//EN\" "
                   "\"http://www.apple.com/DTDs/PropertyList-1.0.dtd\">\n<plist version=\"1.0\">\n<dict>\n"
                   "\t<key>Major Version</key><integer>1</integer>\n\t<key>Minor Version</key><integer>1</integer>\n"
                   "\t<key>Application Version</key><string>12.6.0.100</string>\n\t<key>Tracks</key>\n\t<dict>\n");
    for (int i = 0; i < count; ++i) {
        appendTrack(&out, i);
        if (out.size() > (1 << 20) && file.write(out) == out.size())
            out.clear();
    }
    out.append("\t</dict>\n\t<key>Playlists</key>\n\t<array>\n");
    appendPlaylist(&out, 1, "Library", count, 1);
    appendPlaylist(&out, 2, "Music", count, 1);
    appendPlaylist(&out, 3, "Every tenth", count, 10);
    appendPlaylist(&out, 4, "Favourites", count, 97);
    out.append("\t</array>\n\t<key>Music Folder</key><string>file:///home/user/Music/iTunes/</string>\n</dict>\n</plist>\n");
    return file.write(out) == out.size();
}

long peakMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

void figure(const char* what, qint64 ms)
{
    std::printf("%-46s %8lld ms   peak %5ld MiB\n", what, static_cast<long long>(ms), peakMiB());
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc > 1 ? std::atoi(argv[1]) : 50000;
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("iTunes Music Library.xml"));
    if (!writeLibrary(path, count))
        return 1;
    std::printf("library of %d tracks: %.1f MB\n", count, QFileInfo(path).size() / 1e6);
    figure("start", 0);

    QElapsedTimer timer;
    timer.start();
    if (CreateAgent_kwr(QFile::encodeName(path)) != AGENT_OK)
        return 2;
    figure("CreateAgent_kwr (read and index)", timer.restart());

    qint64 bytes = 0;
    const int served = GetTrackCount_kwr();
    for (int i = 0; i < served; ++i)
        for (const char* key : kKeys) {
            char* value = nullptr;
            if (FindAttributeValue_kwr(&value, key, i) == AGENT_OK)
                bytes += qint64(qstrlen(value));
        }
    std::printf("served %d tracks, %lld bytes of values\n", served, static_cast<long long>(bytes));
    figure("FindAttributeValue_kwr, 11 keys of every track", timer.restart());
    DestroyAgent_kwr();
    figure("DestroyAgent_kwr (nothing to write)", timer.restart());

    if (SetAttributeValue_kwr(persistentId(0), "Genre", "Bebop") != AGENT_OK)
        return 3;
    figure("first change without an agent (reads the file)", timer.restart());
    for (int i = 1; i < kChanges; ++i)
        if (SetAttributeValue_kwr(persistentId(i * 7 % count), (i % 2) ? "Album" : "Year",
                                  (i % 2) ? "Changed Album" : "1999") != AGENT_OK)
            return 3;
    figure("4,999 more changes (journal, synced each)", timer.restart());
    DestroyAgent_kwr();
    figure("DestroyAgent_kwr (rewrites the file)", timer.restart());
    std::printf("library now %.1f MB\n", QFileInfo(path).size() / 1e6);
    return 0;
}
