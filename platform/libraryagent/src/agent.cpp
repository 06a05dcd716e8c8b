#include "agent.h"

#include "libraryagent.h"
#include "safefile.h"

#include "platformbase.h"
#include "plist.h"

#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QStandardPaths>

#include <cstdlib>

namespace {

const char kRememberedKey[] = "Library Path";

// A later process, one that never opens the library itself (a saved
// project reloaded), still writes to the library last opened.
QString rememberedFile()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation)
        + QStringLiteral("/LibraryAgent/Library.plist");
}

QString rememberedLibrary()
{
    QFile file(rememberedFile());
    QVariant root;
    if (!file.open(QIODevice::ReadOnly) || PlistRead(&file, &root) != PLIST_OK)
        return QString();
    return root.toMap().value(QLatin1String(kRememberedKey)).toString();
}

void rememberLibrary(const QString& path)
{
    if (rememberedLibrary() == path)
        return;
    QByteArray xml;
    QString error;
    QDir().mkpath(QFileInfo(rememberedFile()).absolutePath());
    if (PlistWrite(QVariant(QVariantMap{{QLatin1String(kRememberedKey), path}}), &xml, &error) != PLIST_OK
        || !WriteFileAtomically(rememberedFile(), xml, &error))
        PlatformLog(QStringLiteral("Library agent: cannot remember %1: %2").arg(path, error));
}

tagNewTrack trackOf(const QString& path, const tagMusicTags& info)
{
    tagNewTrack track;
    track.values[SK_NAME] = info.strName.toUtf8();
    track.values[SK_ARTIST] = info.strArtist.toUtf8();
    track.values[SK_ALBUM] = info.strAlbum.toUtf8();
    track.values[SK_GENRE] = info.strGenre.toUtf8();
    track.values[SK_YEAR] = info.strYear.toUtf8();
    track.values[SK_SIZE] = info.strSize.toUtf8();
    track.values[SK_TOTAL_TIME] = info.strTotalTime.toUtf8();
    track.values[SK_BITRATE] = info.strBitRate.toUtf8();
    track.values[SK_LOCATION] = path.toUtf8();
    track.modified = QFileInfo(path).lastModified().toUTC();
    return track;
}

} // namespace


CAgent& CAgent::instance()
{
    static CAgent* agent = new CAgent;
    return *agent;
}

int CAgent::logged(int result, const QString& what, const QString& error)
{
    if (result != AGENT_OK)
        PlatformLog(QStringLiteral("Library agent: %1 failed (%2): %3").arg(what).arg(result).arg(error));
    return result;
}

int CAgent::openLocked(const QString& path)
{
    QString error;
    std::unique_ptr<CLibrary> opened;
    const int result = CLibrary::open(path, &opened, &error);
    if (result != AGENT_OK)
        return logged(result, QStringLiteral("opening %1").arg(path), error);
    // The same file read anew still has the entries the last reading saw
    // removed, for an undo to bring back.
    if (m_library && m_library->path() == opened->path())
        opened->adoptRemoved(*m_library);
    if (m_library && m_serving)
        m_retired.push_back(std::move(m_library));
    m_library = std::move(opened);
    m_hold = m_library->lock();
    if (!m_exitHook) {
        m_exitHook = true;
        std::atexit([] { CAgent::instance().flushAtExit(); });
    }
    return AGENT_OK;
}

// The library for a call that needs one: the one held, read again when
// something else replaced its file, else the library last opened.
int CAgent::libraryLocked(CLibrary** library)
{
    if (m_library && !m_library->isCurrent()) {
        const int result = openLocked(m_library->path());
        if (result != AGENT_OK)
            return result;
    }
    if (!m_library) {
        const QString path = m_path.isEmpty() ? rememberedLibrary() : m_path;
        if (path.isEmpty())
            return AGENT_ERR_NO_LIBRARY;
        const int result = openLocked(path);
        if (result != AGENT_OK)
            return result;
    }
    *library = m_library.get();
    return AGENT_OK;
}

// keep: the library stays in use afterwards.
int CAgent::flushLocked(bool keep)
{
    if (!m_library || !m_library->hasPendingChanges())
        return AGENT_OK;
    // Changes wait in the journal; one written over a file replaced
    // meanwhile would lose that file's own changes.
    CLibrary* library = nullptr;
    const int current = libraryLocked(&library);
    if (current != AGENT_OK)
        return current;
    QString error;
    return logged(library->rewrite(keep, &error), QStringLiteral("writing %1").arg(library->path()), error);
}

void CAgent::releaseLocked()
{
    flushLocked(false);
    m_library.reset();
    m_retired.clear();
}

void CAgent::afterChangeLocked()
{
    if (m_library && m_library->journalFull())
        flushLocked(true);
}

int CAgent::create(const QString& path)
{
    QMutexLocker lock(&m_lock);
    const QString real = CLibrary::realPath(path);
    const bool held = m_library && m_library->path() == real && m_library->isCurrent();
    if (!held) {
        releaseLocked();
        const int result = openLocked(real);
        if (result != AGENT_OK)
            return result;
    }
    m_path = real;
    m_serving = true;
    m_library->beginServing();
    rememberLibrary(real);
    return AGENT_OK;
}

int CAgent::trackCount()
{
    QMutexLocker lock(&m_lock);
    return m_serving && m_library ? m_library->servedCount() : 0;
}

int CAgent::find(char** out, const char* key, int index)
{
    QMutexLocker lock(&m_lock);
    if (!out || !key)
        return AGENT_ERR_ARGS;
    if (!m_serving || !m_library)
        return AGENT_ERR_NO_LIBRARY;
    const tagServedKey served = ServedKeyOf(key);
    if (served == SK_COUNT)
        return AGENT_ERR_VALUE;
    if (index < 0 || index >= m_library->servedCount())
        return AGENT_ERR_NO_TRACK;
    const char* text = m_library->servedText(index, served);
    if (!text)
        return AGENT_ERR_VALUE;
    *out = const_cast<char*>(text);
    return AGENT_OK;
}

void CAgent::destroy()
{
    QMutexLocker lock(&m_lock);
    m_serving = false;
    releaseLocked();
    m_hold.reset();
}

void CAgent::endServing()
{
    QMutexLocker lock(&m_lock);
    m_serving = false;
    releaseLocked();
}

int CAgent::writeFile()
{
    QMutexLocker lock(&m_lock);
    // Kept after the rewrite, served or not: the next apply, removal or
    // undo would otherwise read and parse the whole file again. Its stamp
    // still sends a file replaced meanwhile to be read anew.
    return flushLocked(true);
}

int CAgent::locate(const char* persistentId, QString* path)
{
    QMutexLocker lock(&m_lock);
    CLibrary* library = nullptr;
    const int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    return library->locationOf(persistentId, path) ? AGENT_OK : AGENT_ERR_NO_TRACK;
}

int CAgent::locateServed(int first, int count, QStringList* paths)
{
    QMutexLocker lock(&m_lock);
    if (!m_serving || !m_library)
        return AGENT_ERR_NO_LIBRARY;
    // The IDs come from the served library, as find gives them; their files
    // from the library locate would use.
    // Counted from first, so that no index past the last int is formed.
    QList<QByteArray> ids;
    const int served = m_library->servedCount();
    for (int i = 0; i < count; ++i) {
        const char* id = i < served - first ? m_library->servedText(first + i, SK_PERSISTENT_ID) : nullptr;
        ids.append(id ? QByteArray(id) : QByteArray());
    }
    CLibrary* library = nullptr;
    const int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    for (const QByteArray& id : ids) {
        QString path;
        if (id.isEmpty() || !library->locationOf(id, &path))
            path.clear();
        paths->append(path);
    }
    return AGENT_OK;
}

int CAgent::setField(const char* persistentId, const char* key, const char* value)
{
    QMutexLocker lock(&m_lock);
    const tagWritableInfo* field = WritableFieldOf(key);
    if (!field)
        return AGENT_ERR_VALUE;
    CLibrary* library = nullptr;
    int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    QString error;
    result = library->setField(persistentId, *field, value, &error);
    logged(result, QStringLiteral("setting %1 of %2").arg(QLatin1String(key), QLatin1String(persistentId)), error);
    afterChangeLocked();
    return result;
}

int CAgent::add(const QString& path, const tagMusicTags& info, const QByteArray& removedId, QByteArray* persistentId)
{
    QMutexLocker lock(&m_lock);
    CLibrary* library = nullptr;
    int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    const QByteArray existing = removedId.isEmpty() ? library->idOfLocation(path) : QByteArray();
    if (!existing.isEmpty()) {
        *persistentId = existing;
        return AGENT_OK;
    }
    return addLocked(library, trackOf(path, info), removedId, persistentId);
}

int CAgent::restoreHeld(const QString& path, const QByteArray& removedId, QByteArray* persistentId, bool* held)
{
    QMutexLocker lock(&m_lock);
    *held = false;
    CLibrary* library = nullptr;
    const int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    *held = library->holdsEntry(removedId, path.toUtf8());
    return *held ? addLocked(library, trackOf(path, tagMusicTags()), removedId, persistentId) : AGENT_OK;
}

int CAgent::addLocked(CLibrary* library, const tagNewTrack& track, const QByteArray& removedId,
                      QByteArray* persistentId)
{
    QString error;
    const int result = removedId.isEmpty() ? library->addTrack(track, persistentId, &error)
                                           : library->restoreTrack(removedId, track, persistentId, &error);
    logged(result, QStringLiteral("adding %1").arg(QString::fromUtf8(track.values[SK_LOCATION])), error);
    afterChangeLocked();
    return result;
}

int CAgent::remove(const char* persistentId)
{
    QMutexLocker lock(&m_lock);
    CLibrary* library = nullptr;
    int result = libraryLocked(&library);
    if (result != AGENT_OK)
        return result;
    QString error;
    result = library->deleteTrack(persistentId, &error);
    logged(result, QStringLiteral("removing %1").arg(QLatin1String(persistentId)), error);
    afterChangeLocked();
    return result;
}

void CAgent::flushAtExit()
{
    QMutexLocker lock(&m_lock);
    // The process ends: nobody uses the library after this.
    if (flushLocked(false) == AGENT_OK && (!m_library || !m_library->hasPendingChanges())) {
        m_library.reset();
        m_hold.reset();
    }
}
