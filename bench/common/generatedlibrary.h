// What the engine's benchmarks share: a library generated over hard links
// of the fixtures in a folder of its own with an engine manager, and a
// wait for the end of a command started through the exported interface.
#pragma once

#include "cadenzo.h"
#include "libraryxml.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWaitCondition>

#include <atomic>
#include <unistd.h>

namespace generatedlibrary {

const char* const kFixtures[] = {"id3v2-cover.mp3", "id3v2-partial.mp3", "id3v1-only.mp3", "ape-only.mp3",
                                 "untagged.mp3", "cover.m4a", "empty.m4a"};

// Waits for the end record of one command and counts the track records
// before it. A track record takes no lock, so counting costs the timed
// command next to nothing.
struct EndWaiter
{
    QMutex mutex;
    QWaitCondition ended;
    bool done = false;
    std::atomic<int> tracks{0};

    static int callback(tagAnaluyzeInfo* info, void* user)
    {
        auto* self = static_cast<EndWaiter*>(user);
        if (info->pMusic) {
            self->tracks.fetch_add(1, std::memory_order_relaxed);
            return 0;
        }
        if (info->iProgress != PROGRESS_FULL)
            return 0;
        QMutexLocker lock(&self->mutex);
        self->done = true;
        self->ended.wakeAll();
        return 0;
    }

    void wait()
    {
        QMutexLocker lock(&mutex);
        while (!done)
            ended.wait(&mutex);
    }
};

// Copies each fixture into folder once, writable by its owner so that
// applying may change it. Returns the copies.
inline QStringList copyFixtures(const QString& folder)
{
    QDir().mkpath(folder);
    QStringList originals;
    for (const char* name : kFixtures) {
        const QString copy = folder + QStringLiteral("/original-") + QLatin1String(name);
        QFile::copy(QStringLiteral(VESSOLIN_FIXTURES_DIR "/") + QLatin1String(name), copy);
        QFile(copy).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        originals << copy;
    }
    return originals;
}

// Makes hard links "track N.<ext>" in folder, the original of link i being
// originalOf(i). Returns the links made.
template <typename OriginalOf>
QStringList linkFiles(const QString& folder, int count, OriginalOf originalOf)
{
    QStringList files;
    for (int i = 0; i < count; ++i) {
        const QString& original = originalOf(i);
        const QString link = folder + QStringLiteral("/track %1.%2").arg(i).arg(QFileInfo(original).suffix());
        if (::link(QFile::encodeName(original).constData(), QFile::encodeName(link).constData()) == 0)
            files << link;
    }
    return files;
}

// Copies the fixtures into folder and makes count hard links of the copies
// in turn. Returns the links made.
inline QStringList makeFiles(const QString& folder, int count)
{
    const QStringList originals = copyFixtures(folder);
    return linkFiles(folder, count, [&](int i) -> const QString& { return originals.at(i % originals.size()); });
}

// Writes a library of trackCount tracks over files, taken in turn. Each
// track gets its number, a persistent ID, the genre Jazz, a year and its
// file's size and location; vary(i, track) gives it the rest (name,
// artist, album, total time, bit rate).
template <typename Vary>
bool writeLibrary(const QString& path, const QStringList& files, int trackCount, Vary vary)
{
    QList<libraryxml::Track> tracks;
    tracks.reserve(trackCount);
    for (int i = 0; i < trackCount; ++i) {
        const QString& file = files.at(i % files.size());
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.genre = QStringLiteral("Jazz");
        t.year = 1950 + i % 70;
        t.size = QFileInfo(file).size();
        t.location = libraryxml::fileUrl(file);
        vary(i, t);
        tracks << t;
    }
    return libraryxml::write(path, tracks);
}

// A temporary folder with fileCount fixture links, the library write(xml,
// files, trackCount) makes over them, the database's path and an engine
// manager keeping its data, artwork and trash there. The manager stays null
// when the library could not be made; it is told to exit and destroyed with
// the folder.
class BenchFolder
{
public:
    template <typename Write>
    BenchFolder(int fileCount, int trackCount, Write write)
    {
        files = makeFiles(dir.filePath(QStringLiteral("music")), fileCount);
        xml = dir.filePath(QStringLiteral("Library.xml"));
        if (files.isEmpty() || !write(xml, files, trackCount))
            return;
        const QByteArray folder = dir.path().toUtf8();
        db = dir.filePath(QStringLiteral("MusicLibrary.db")).toUtf8();
        manager = MMCreateManager(folder.constData(), folder.constData(), folder.constData());
    }
    ~BenchFolder()
    {
        if (!manager)
            return;
        MMSetExitState(manager, 1);
        MMDestroyManager(manager);
    }
    BenchFolder(const BenchFolder&) = delete;
    BenchFolder& operator=(const BenchFolder&) = delete;

    QTemporaryDir dir;
    QStringList files;
    QString xml;
    QByteArray db;
    void* manager = nullptr;
};

} // namespace generatedlibrary
