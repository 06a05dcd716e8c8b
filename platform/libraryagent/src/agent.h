// The process-wide state behind the agent's calls: the library held, whether
// it is being served, and where changes go when no agent was created.
// Every method takes the one lock.
#pragma once

#include "library.h"
#include "tags.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

class CAgent
{
public:
    // Never destroyed: the exit flush and late calls from other threads
    // must not meet a dead object.
    static CAgent& instance();

    // The calls of libraryagent.h, arguments checked there.
    int create(const QString& path);
    int trackCount();
    int find(char** out, const char* key, int index);
    void destroy();
    // destroy, the library still held for this process.
    void endServing();
    // Pending changes go into the file now.
    int writeFile();
    // The file of the track with this ID, in the library held or last opened.
    int locate(const char* persistentId, QString* path);
    // locate for the IDs of count served tracks from first on; an empty path
    // where a track or its ID is missing.
    int locateServed(int first, int count, QStringList* paths);
    int setField(const char* persistentId, const char* key, const char* value);
    // info: what the file's tags say; path: the file, absolute. With a
    // removedId, the entry of that ID comes back as CLibrary::restoreTrack
    // brings it; without one, a file in the library already gives its ID.
    int add(const QString& path, const tagMusicTags& info, const QByteArray& removedId, QByteArray* persistentId);
    // add of removedId without the file's tags, when the library needs none
    // to bring the entry back (it is still there, or was seen to go): *held
    // says whether it did; else nothing changed.
    int restoreHeld(const QString& path, const QByteArray& removedId, QByteArray* persistentId, bool* held);
    int remove(const char* persistentId);
    // Run once at process exit: pending changes go into the file.
    void flushAtExit();

private:
    int libraryLocked(CLibrary** library);
    int openLocked(const QString& path);
    int flushLocked(bool keep);
    void releaseLocked();
    void afterChangeLocked();
    int addLocked(CLibrary* library, const tagNewTrack& track, const QByteArray& removedId, QByteArray* persistentId);
    int logged(int result, const QString& what, const QString& error);

    QMutex m_lock;
    std::unique_ptr<CLibrary> m_library;
    // Libraries replaced while their texts were handed out.
    std::vector<std::unique_ptr<CLibrary>> m_retired;
    // The lock of the library last opened, held also while no library is
    // read in: another process must not take over its journal in between.
    std::shared_ptr<CLibraryLock> m_hold;
    QString m_path;
    bool m_serving = false;
    bool m_exitHook = false;
};
