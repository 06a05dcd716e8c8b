#include "libraryagent.h"

#include "desktop.h"
#include "src/agent.h"
#include "src/library.h"
#include "src/trackfile.h"

#include <QFileInfo>
#include <QStringList>

#include <cstring>

namespace {

bool isEmpty(const char* text)
{
    return !text || !*text;
}

// Where iTunes keeps its library in the Music folder: the older name
// first, as iTunes itself still reads it when both are there. Neither
// there: the first, which then fails to open as any missing file does.
QString defaultLibraryPath()
{
    const QString folder = desktop::standardFolder(desktop::Folder::Music) + QStringLiteral("/iTunes/");
    const QString older = folder + QStringLiteral("iTunes Music Library.xml");
    const QString newer = folder + QStringLiteral("iTunes Library.xml");
    return !QFileInfo(older).isFile() && QFileInfo(newer).isFile() ? newer : older;
}

} // namespace

int CreateAgent_kwr(const char* xmlPath)
{
    if (!xmlPath)
        return CAgent::instance().create(defaultLibraryPath());
    if (isEmpty(xmlPath))
        return AGENT_ERR_ARGS;
    return CAgent::instance().create(QString::fromUtf8(xmlPath));
}

int LockFileOf_kwr(const char* xmlPath, char* out, int size)
{
    if (!out || (xmlPath && !*xmlPath))
        return AGENT_ERR_ARGS;
    const QString library = xmlPath ? QString::fromUtf8(xmlPath) : defaultLibraryPath();
    const QByteArray lock = (CLibrary::realPath(library) + QStringLiteral(".lock")).toUtf8();
    if (size <= lock.size())
        return AGENT_ERR_ARGS;
    std::memcpy(out, lock.constData(), size_t(lock.size()) + 1);
    return int(lock.size());
}

int GetTrackCount_kwr()
{
    return CAgent::instance().trackCount();
}

int FindAttributeValue_kwr(char** out, const char* key, int index)
{
    return CAgent::instance().find(out, key, index);
}

void DestroyAgent_kwr()
{
    CAgent::instance().destroy();
}

void EndServing_kwr()
{
    CAgent::instance().endServing();
}

int WriteLibraryFile_kwr()
{
    return CAgent::instance().writeFile();
}

int HasArtwork_kwr(const char* persistentId)
{
    QString path;
    if (isEmpty(persistentId) || CAgent::instance().locate(persistentId, &path) != AGENT_OK)
        return 0;
    return FileHasArtwork(path);
}

int HasArtworkOfServed_kwr(int first, int count, int* answers)
{
    if (!answers || first < 0 || count < 0)
        return AGENT_ERR_ARGS;
    QStringList paths;
    const int result = CAgent::instance().locateServed(first, count, &paths);
    for (int i = 0; i < count; ++i) {
        // The files are asked outside the library's lock.
        const QString path = result == AGENT_OK ? paths.value(i) : QString();
        answers[i] = path.isEmpty() ? 0 : FileHasArtwork(path);
    }
    return result;
}

int GetArtworkData_kwr(const char* persistentId, void** data, int* length)
{
    if (isEmpty(persistentId) || !data || !length)
        return AGENT_ERR_ARGS;
    QString path;
    const int result = CAgent::instance().locate(persistentId, &path);
    return result != AGENT_OK ? result : FileArtwork(path, data, length);
}

int SetArtworkData_kwr(const char* persistentId, void* data, int length)
{
    if (isEmpty(persistentId) || !data || length <= 0)
        return AGENT_ERR_ARGS;
    QString path;
    const int result = CAgent::instance().locate(persistentId, &path);
    return result != AGENT_OK ? result : WriteFileArtwork(path, data, length);
}

int SetAttributeValue_kwr(const char* persistentId, const char* key, const char* value)
{
    if (isEmpty(persistentId) || !key || !value)
        return AGENT_ERR_ARGS;
    return CAgent::instance().setField(persistentId, key, value);
}

namespace {

// removedId: the entry to bring back, null for a plain add.
int addTrack(const char* location, const char* removedId, char* persistentIdOut)
{
    const QString path = QFileInfo(QString::fromUtf8(location)).absoluteFilePath();
    if (!QFileInfo(path).isFile())
        return AGENT_ERR_FILE;
    QByteArray id;
    bool held = false;
    int result = AGENT_OK;
    // An entry the agent holds comes back as it was, with no need of the
    // file's tags, which may not even be readable.
    if (removedId)
        result = CAgent::instance().restoreHeld(path, QByteArray(removedId), &id, &held);
    if (result == AGENT_OK && !held) {
        // Tags are read before the library is locked: other calls need not wait.
        tagMusicTags info;
        result = ReadFileTags(path, &info);
        if (result == AGENT_OK)
            result = CAgent::instance().add(path, info, QByteArray(removedId), &id);
    }
    if (result == AGENT_OK)
        std::memcpy(persistentIdOut, id.constData(), size_t(id.size()) + 1);
    return result;
}

} // namespace

int AddTrackToITunes_kwr(const char* location, char* persistentIdOut)
{
    if (isEmpty(location) || !persistentIdOut)
        return AGENT_ERR_ARGS;
    return addTrack(location, nullptr, persistentIdOut);
}

int RestoreTrackToITunes_kwr(const char* removedPersistentId, const char* location, char* persistentIdOut)
{
    if (isEmpty(removedPersistentId) || isEmpty(location) || !persistentIdOut)
        return AGENT_ERR_ARGS;
    return addTrack(location, removedPersistentId, persistentIdOut);
}

int DeleteTrackFromITunes_kwr(const char* persistentId)
{
    if (isEmpty(persistentId))
        return AGENT_ERR_ARGS;
    return CAgent::instance().remove(persistentId);
}
