#include "trackfile.h"

#include "libraryagent.h"
#include "safefile.h"
#include "tags.h"

#include <QFileInfo>
#include <QHash>
#include <QMutex>
#include <QMutexLocker>
#include <QReadWriteLock>

#include <cstring>

namespace {

struct tagCachedAnswer
{
    tagFileStamp stamp;
    bool hasArtwork;
};

// A picture written while another thread reads the same file would be
// read half-written: writes wait for every read and reads for the write.
// Reads run side by side, as the load asks about many files at once.
QReadWriteLock& tagsLock()
{
    static QReadWriteLock lock;
    return lock;
}

// The answers and their lock, taken only briefly inside the tags lock.
QMutex& answersLock()
{
    static QMutex lock;
    return lock;
}

QHash<QString, tagCachedAnswer>& answers()
{
    static QHash<QString, tagCachedAnswer> cache;
    return cache;
}

// -1 when unknown.
int cachedAnswer(const QString& path, tagFileStamp* stamp)
{
    if (!StampOfFile(path, stamp))
        return -1;
    QMutexLocker lock(&answersLock());
    const auto found = answers().constFind(path);
    return found != answers().constEnd() && found->stamp == *stamp ? int(found->hasArtwork) : -1;
}

void storeAnswer(const QString& path, const tagFileStamp& stamp, bool hasArtwork)
{
    QMutexLocker lock(&answersLock());
    answers().insert(path, {stamp, hasArtwork});
}

void forgetAnswer(const QString& path)
{
    QMutexLocker lock(&answersLock());
    answers().remove(path);
}

void remember(const QString& path, bool hasArtwork)
{
    tagFileStamp stamp;
    if (StampOfFile(path, &stamp))
        storeAnswer(path, stamp, hasArtwork);
}

CPICTURE_TYPE pictureTypeOf(const void* data, int length)
{
    const auto starts = [&](const char* magic, int size) {
        return length >= size && std::memcmp(data, magic, size_t(size)) == 0;
    };
    if (starts("\x89PNG", 4))
        return CPICTURE_PNG;
    if (starts("GIF8", 4))
        return CPICTURE_GIF;
    if (starts("BM", 2))
        return CPICTURE_BMP;
    return CPICTURE_JPEG;
}

} // namespace

int FileHasArtwork(const QString& path)
{
    QReadLocker lock(&tagsLock());
    tagFileStamp stamp;
    const int known = cachedAnswer(path, &stamp);
    if (known >= 0)
        return known;
    if (stamp.size < 0)
        return 0;
    const int result = HasMusicArtwork_tag(path);
    if (result < 0)
        return 0;
    storeAnswer(path, stamp, result == 1);
    return result == 1 ? 1 : 0;
}

int FileArtwork(const QString& path, void** data, int* length)
{
    QReadLocker lock(&tagsLock());
    tagFileStamp stamp;
    if (cachedAnswer(path, &stamp) == 0)
        return AGENT_ERR_NO_ARTWORK;
    const int result = GetMusicArtwork_tag(path, data, length);
    if (result < 0)
        return AGENT_ERR_FILE;
    if (stamp.size >= 0)
        storeAnswer(path, stamp, result == 0);
    return result == 0 ? AGENT_OK : AGENT_ERR_NO_ARTWORK;
}

int WriteFileArtwork(const QString& path, const void* data, int length)
{
    QWriteLocker lock(&tagsLock());
    forgetAnswer(path);
    const int result = SetMusicArtwork_tag(path, data, length, pictureTypeOf(data, length));
    if (result != 0)
        return result == -2 || result == -3 ? AGENT_ERR_FILE : AGENT_ERR_NO_ARTWORK;
    remember(path, true);
    return AGENT_OK;
}

int ReadFileTags(const QString& path, tagMusicTags* info)
{
    QReadLocker lock(&tagsLock());
    const int result = GetMusicInfo_tag(path, info);
    // -4: an audio file without tags, which iTunes adds all the same.
    if (result < 0 && result != -4)
        return AGENT_ERR_FILE;
    if (info->strName.isEmpty())
        info->strName = QFileInfo(path).completeBaseName();
    return AGENT_OK;
}
