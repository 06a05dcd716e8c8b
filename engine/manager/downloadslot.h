// One of the manager's four download slots: the request it holds and the
// thread that serves it.
#pragma once

#include "cadenzo.h"

#include <QMutex>
#include <QString>

#include <atomic>

class CDowndThrad;
class CMusicManage;
class CMusicObj;
struct tagMusicRequest; // a request handle of the information service

constexpr int kDownloadSlotCount = 4;

// Which lookup a slot runs now; the values of the request's what bits.
enum tagCurLookup { CL_NONE = 0, CL_INFO = DW_INFO, CL_SEARCH = DW_SEARCH_ARTWORK, CL_COVER = DW_INFO_ARTWORK };

// The request fields are filled by MMDownloadMusicInfo before the thread
// starts and then belong to the slot's thread until the next start, which
// waits for that thread first. Only the busy and stop words and the request
// handles are shared while the thread runs.
struct tagDowndWrok
{
    CMusicManage* pManage = nullptr;
    CDowndThrad* pThread = nullptr; // owned by the manager
    MMCallBack pCallBack = nullptr;
    void* pUser = nullptr;
    int iOperation = CMD_DOWNLOAD;
    std::atomic<int> iBusy{0};      // 1 while the slot holds a request
    // Stopping a slot reads the handles from another thread: they are set
    // and stopped under this lock, and destroyed only after the thread ended.
    QMutex mutexRequest;
    tagMusicRequest* hInfoRequest = nullptr;
    tagMusicRequest* hSearchRequest = nullptr;
    CMusicObj* pMusic = nullptr;
    QString strPersistentID;
    QString strName;
    QString strArtist;
    QString strAlbum;
    QString strPath;                // audio file of the request, may be empty
    int iAbsence = 0;
    std::atomic<int> iStop{0};      // checked before every call to the service
    int iWhat = 0;                  // tagDownloadWhat bits
    int iCurLookup = CL_NONE;
    int iFixType = FT_DEFAULT;
};
