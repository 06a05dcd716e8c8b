// The exported MM functions that change tracks: the user's choices and
// edits, applying results, online lookups and artwork. Saving and applying,
// the lookup and the artwork export are not built into the engine yet;
// until they are, these answer with their failure codes after the handle
// checks, and change nothing.
#include "mm/mmhandle.h"

#include "manager/musicmanage.h"

extern "C" {

CADENZO_API int MMSetMusicState(void* handle, void* music, int state)
{
    Q_UNUSED(handle);
    Q_UNUSED(music);
    Q_UNUSED(state);
    return MM_ERR_FAIL;
}

CADENZO_API int MMChangeAllMusicState(void* handle, int mask, int on)
{
    Q_UNUSED(handle);
    Q_UNUSED(mask);
    Q_UNUSED(on);
    return MM_ERR_FAIL;
}

CADENZO_API int MMApplyMusicInfo(void* handle, int index, int replaceMask)
{
    Q_UNUSED(handle);
    Q_UNUSED(index);
    Q_UNUSED(replaceMask);
    return MM_ERR_FAIL;
}

CADENZO_API int MMApplyiTunesMusicInfo(void* handle, void* music, int flags, int replaceMask)
{
    Q_UNUSED(handle);
    Q_UNUSED(music);
    Q_UNUSED(flags);
    Q_UNUSED(replaceMask);
    return MM_ERR_FAIL;
}

CADENZO_API int MMSetUserMusicInfo(void* handle, void* music, int mask, const char** values)
{
    Q_UNUSED(handle);
    Q_UNUSED(music);
    Q_UNUSED(mask);
    Q_UNUSED(values);
    return MM_ERR_FAIL;
}

CADENZO_API int MMDownloadMusicInfo(void* handle, void* music, const char* path, int what,
                                    const tagCtlCmdParam* param, tagFixType fixType)
{
    Q_UNUSED(path);
    Q_UNUSED(what);
    Q_UNUSED(param);
    Q_UNUSED(fixType);
    if (!ManagerOf(handle) || !music)
        return MM_ERR_BAD_ARGS;
    return MM_ERR_FAIL;
}

CADENZO_API int MMSetDowndArtworkForItem(void* handle, void* music, int index)
{
    Q_UNUSED(handle);
    Q_UNUSED(music);
    Q_UNUSED(index);
    return MM_ERR_FAIL;
}

CADENZO_API int MMGetiTunesArtwork(void* handle, void* music, void** data, int* length)
{
    Q_UNUSED(handle);
    Q_UNUSED(music);
    Q_UNUSED(data);
    Q_UNUSED(length);
    return MM_ERR_FAIL;
}

// Bytes come only from MMGetiTunesArtwork; giving them back is already the
// controller's.
CADENZO_API int MMReleaseiTunesArtwork(void* handle, void** data)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->ReleaseiTunesArtwork(data) : MM_ERR_FAIL;
}

} // extern "C"
