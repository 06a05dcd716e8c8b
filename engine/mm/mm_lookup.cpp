// The exported MM functions of online lookups and artwork.
#include "mm/mmhandle.h"

#include "manager/musicmanage.h"

extern "C" {

CADENZO_API int MMDownloadMusicInfo(void* handle, void* music, const char* path, int what,
                                    const tagCtlCmdParam* param, tagFixType fixType)
{
    CMusicManage* manager = ManagerOf(handle);
    if (!manager || !music)
        return MM_ERR_BAD_ARGS;
    return manager->StartDownload(TrackOf(music), path, what, param, fixType);
}

CADENZO_API int MMSetDowndArtworkForItem(void* handle, void* music, int index)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->SetDowndArtworkForItem(TrackOf(music), index) : MM_ERR_FAIL;
}

CADENZO_API int MMGetiTunesArtwork(void* handle, void* music, void** data, int* length)
{
    if (data)
        *data = nullptr;
    if (length)
        *length = 0;
    CMusicManage* manager = ManagerOf(handle);
    if (!manager || !music || !data || !length)
        return MM_ERR_FAIL;
    return manager->GetiTunesArtwork(TrackOf(music), data, *length);
}

// Bytes come only from MMGetiTunesArtwork; giving them back is the
// controller's.
CADENZO_API int MMReleaseiTunesArtwork(void* handle, void** data)
{
    CMusicManage* manager = ManagerOf(handle);
    return manager ? manager->ReleaseiTunesArtwork(data) : MM_ERR_FAIL;
}

} // extern "C"
