// Another program that saves a song while this one writes it: the moment
// this program's working copy beside the song is synced before its rename
// (seen through the stand-in for fsync), the other program saves a
// comment into the song, as another tagger does (in place), or as another
// Vessolin does (a new file renamed over it). For tests of the engine,
// which link syncfaults.cpp and TagLib.
#pragma once

#include "syncfaults.h"

#include <QFile>
#include <QFileInfo>
#include <QString>

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <atomic>
#include <cstdio>
#include <sys/stat.h>

namespace meanwhile {

// What the other program writes into the song's comment (with padding
// after it at every further save, so that each save also changes the
// song's size).
const char kComment[] = "Saved by another program";

inline bool saveComment(const QString& path, int save)
{
    TagLib::FileRef file(QFile::encodeName(path).constData());
    if (file.isNull() || !file.tag())
        return false;
    const std::string comment = std::string(kComment) + std::string(size_t(save) * 3000, ' ');
    file.tag()->setComment(TagLib::String(comment, TagLib::String::UTF8));
    return file.save();
}

// Another Vessolin's way: a copy of the song with the comment, renamed over it.
inline bool replaceWithComment(const QString& song, int save)
{
    const QString theirs = QFileInfo(song).absolutePath() + QStringLiteral("/theirs.") + QFileInfo(song).suffix();
    struct stat st;
    return ::stat(QFile::encodeName(song).constData(), &st) == 0 && QFile::copy(song, theirs)
        && ::chmod(QFile::encodeName(theirs).constData(), st.st_mode & 07777) == 0 && saveComment(theirs, save)
        && ::rename(QFile::encodeName(theirs).constData(), QFile::encodeName(song).constData()) == 0;
}

// Whether path, as the system names an open file, is a working copy beside
// song: any other file of its folder (a copy made unnamed is named by its
// inode there until it has a name).
inline bool isCopyBeside(const QString& path, const QString& song)
{
    const QFileInfo file(path), original(song);
    return file.absolutePath() == original.canonicalPath() && file.fileName() != original.fileName();
}

// how: "saved meanwhile" (in place, at the first write of the song only),
// "saved at every try" (in place, at every write), "replaced meanwhile"
// (renamed over it, at the first write only); anything else does nothing.
inline void install(const QString& song, const QString& how)
{
    const bool every = how == QLatin1String("saved at every try");
    const bool replace = how == QLatin1String("replaced meanwhile");
    if (!every && !replace && how != QLatin1String("saved meanwhile"))
        return;
    static std::atomic<int> saves{0};
    syncfaults::setHook([=](const QString& path) {
        if (isCopyBeside(path, song) && (every || saves == 0)) {
            const int save = saves++;
            if (!(replace ? replaceWithComment(song, save) : saveComment(song, save)))
                std::fprintf(stderr, "the other program could not save %s\n", qPrintable(song));
        }
        return true;
    });
}

} // namespace meanwhile
