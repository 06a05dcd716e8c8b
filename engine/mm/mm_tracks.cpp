// The exported MM functions that read the track list and single tracks.
#include "mm/mmhandle.h"

#include "manager/musicmanage.h"

#include <QByteArray>

#include <cstring>

namespace {

// The sizes the caller gives the size-less getters.
constexpr int kCandidatePathSize = 1024;
constexpr int kArtworkPathSize = 512;

// Copies the path with its terminator, or refuses (-1) when it is empty or
// would not fit: a cut path names another file.
int copyPath(const QString& path, char* out, int size)
{
    const QByteArray utf8 = path.toUtf8();
    if (!out || utf8.isEmpty() || utf8.size() + 1 > size)
        return MM_ERR_FAIL;
    std::memcpy(out, utf8.constData(), size_t(utf8.size()) + 1);
    return 0;
}

} // namespace

extern "C" {

CADENZO_API int MMGetMusicCountAMode(void* handle, int* total, tagMusicRunMode* mode)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetMusicCountAMode(total, mode) : MM_ERR_FAIL;
}

CADENZO_API int MMGetMusicListMusic(void* handle, int index, void** music, int* absence,
                                    int* state, long long* repeatId)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetMusicListMusic(index, music, absence, state, repeatId)
                   : MM_ERR_FAIL;
}

CADENZO_API int MMGetMusicInfo(void* handle, void* music, const tagMMusicInfo** out,
                               tagInfoType type)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetMusicInfo(TrackOf(music), out, type) : MM_ERR_FAIL;
}

CADENZO_API int MMGetMusicState(void* handle, void* music)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetMusicState(TrackOf(music)) : MM_ERR_FAIL;
}

CADENZO_API long long MMGetMusicRepeatID(void* handle, void* music)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetMusicRepeatID(TrackOf(music)) : (long long)MM_ERR_FAIL;
}

CADENZO_API int MMGetGNInfoState(void* handle, void* music)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetGNInfoState(TrackOf(music)) : MM_ERR_BAD_ARGS;
}

CADENZO_API int MMGetGNArtworkState(void* handle, void* music)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetGNArtworkState(TrackOf(music)) : MM_ERR_FAIL;
}

CADENZO_API int MMGetDowndArtworkCount(void* handle, void* music)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->GetDowndArtworkCount(TrackOf(music)) : 0;
}

CADENZO_API int MMGetDowndArtworkForItemN(void* handle, void* music, int index, char* out,
                                          int size)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager || !music)
        return MM_ERR_FAIL;
    return copyPath(manager->GetDowndArtworkForItem(TrackOf(music), index), out, size);
}

CADENZO_API int MMGetDowndArtworkForItem(void* handle, void* music, int index, char* out)
{
    return MMGetDowndArtworkForItemN(handle, music, index, out, kCandidatePathSize);
}

CADENZO_API int MMGetMusicArtworkN(void* handle, void* music, char* out, int size)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager || !music)
        return MM_ERR_FAIL;
    return copyPath(manager->GetAWSImgPath(TrackOf(music)), out, size);
}

CADENZO_API int MMGetMusicArtwork(void* handle, void* music, char* out)
{
    return MMGetMusicArtworkN(handle, music, out, kArtworkPathSize);
}

} // extern "C"
