// The exported MM functions of the manager's life, the library, loading,
// control and exit.
#include "mm/mmhandle.h"

#include "manager/musicmanage.h"

#include <QMutex>
#include <QMutexLocker>

#include <cstring>

namespace {

// Serialises creation and destruction of the one manager.
QMutex g_mutexManag;

} // namespace

CMusicManage* ManagerOf(void* handle)
{
    CMusicManage* live = g_pManag.load();
    return handle && handle == live ? live : nullptr;
}

extern "C" {

CADENZO_API void* MMCreateManager(const char* logFolder, const char* artworkFolder,
                                  const char* trashFolder)
{
    QMutexLocker lock(&g_mutexManag);
    if (!g_pManag.load())
        g_pManag = new CMusicManage(logFolder, artworkFolder, trashFolder);
    return g_pManag.load();
}

CADENZO_API int MMInitManager(void* handle, tagInitParam* param)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->InitAWS(param) : MM_ERR_FAIL;
}

CADENZO_API int MMSetProxy(void* handle, tagProxySet* proxy)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->SetNetProxy(proxy) : MM_ERR_FAIL;
}

CADENZO_API int MMLoadMusicLibrary(void* handle, const char* xmlPath, const char* dbPath,
                                   tagMusicRunMode mode)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->LoadMusicLibrary(xmlPath, dbPath, mode) : MM_ERR_FAIL;
}

CADENZO_API int MMGetRefusedLockFile(void* handle, char* buffer, int size)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager || !buffer)
        return MM_ERR_FAIL;
    const QByteArray lock = manager->RefusedLockFile().toUtf8();
    if (size <= lock.size())
        return MM_ERR_FAIL;
    std::memcpy(buffer, lock.constData(), size_t(lock.size()) + 1);
    return int(lock.size());
}

CADENZO_API int MMLoadiTunesMusic(void* handle, const tagCtlCmdParam* param)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager)
        return MM_ERR_FAIL;
    return param ? manager->LoadMusicList(param) : MM_ERR_BAD_ARGS;
}

CADENZO_API int MMLoadExMusicFiles(void* handle, int count, const char** paths)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->LoadExMusicFiles(count, paths) : MM_ERR_FAIL;
}

CADENZO_API int MMAnalyzeMusicInfo(void* handle, const tagCtlCmdParam* param, int mask)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager)
        return MM_ERR_FAIL;
    return param ? manager->AnalyzeMusicList(param, mask) : MM_ERR_BAD_ARGS;
}

CADENZO_API int MMControlCommand(void* handle, tagCtlCmd target, tagCtlState state)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->CtlCmd(target, state) : MM_ERR_FAIL;
}

CADENZO_API int MMDBTransaction(void* handle, bool commit)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->DBTransaction(commit) : MM_ERR_FAIL;
}

CADENZO_API int MMSetExitState(void* handle, int exitState)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager)
        return MM_ERR_FAIL;
    manager->SetExitState(exitState);
    return 0;
}

CADENZO_API void MMDestroyMusicLibrary(void* handle)
{
    if (CMusicManage* manager = ManagerOf(handle))
        manager->DestroyMusicLibrary();
}

CADENZO_API void MMDestroyManager(void* handle)
{
    QMutexLocker lock(&g_mutexManag);
    CMusicManage* manager = ManagerOf(handle);
    if (!manager)
        return;
    // Calls racing the destruction see no manager rather than a dying one.
    g_pManag = nullptr;
    delete manager;
}

} // extern "C"
