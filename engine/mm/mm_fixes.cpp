// The exported MM functions that change tracks: the user's choices and
// edits, and applying results. Saving and applying are not built into the
// engine yet; until they are, these answer with their failure codes after
// the handle checks, and change nothing.
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

} // extern "C"
