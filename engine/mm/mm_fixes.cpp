// The exported MM functions that change tracks: the user's choices and
// edits, applying results, and removing and restoring duplicates.
#include "mm/mmhandle.h"

#include "manager/musicmanage.h"

extern "C" {

CADENZO_API int MMSetMusicState(void* handle, void* music, int state)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->SetMusicState(TrackOf(music), state) : MM_ERR_FAIL;
}

CADENZO_API int MMChangeAllMusicState(void* handle, int mask, int on)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->ChangeAllMusicState(mask, on) : MM_ERR_FAIL;
}

CADENZO_API int MMApplyMusicInfo(void* handle, int index, int replaceMask)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->ApplyMusicInfo(index, replaceMask) : MM_ERR_FAIL;
}

CADENZO_API int MMGetWaitingMusicCount(void* handle, int replaceMask)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->WaitingMusicCount(replaceMask) : 0;
}

CADENZO_API int MMApplyiTunesMusicInfo(void* handle, void* music, int flags, int replaceMask)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->ApplyiTunesMusicInfo(TrackOf(music), flags, replaceMask) : MM_ERR_FAIL;
}

CADENZO_API int MMSetUserMusicInfo(void* handle, void* music, int mask, const char** values)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->SaveUserMusicInfo(TrackOf(music), mask, values) : MM_ERR_FAIL;
}

} // extern "C"
