// One of the manager's four download slots: the request it holds and the
// thread that serves it.
#pragma once

#include "cadenzo.h"

#include <QString>

#include <atomic>

class CDowndThrad;
class CMusicManage;
class CMusicObj;

constexpr int kDownloadSlotCount = 4;

struct tagDowndWrok
{
    CMusicManage* pManage = nullptr;
    CDowndThrad* pThread = nullptr; // owned by the manager
    MMCallBack pCallBack = nullptr;
    void* pUser = nullptr;
    int iOperation = CMD_DOWNLOAD;
    std::atomic<int> iBusy{0};      // 1 while the slot holds a request
    CMusicObj* pMusic = nullptr;
    QString strPersistentID;
    QString strName;
    QString strArtist;
    QString strAlbum;
    QString strPath;                // audio file of the request, may be empty
    int iAbsence = 0;
    std::atomic<int> iStop{0};      // checked before every call to the service
    int iWhat = 0;                  // tagDownloadWhat bits
    int iCurLookup = 0;
    int iFixType = FT_DEFAULT;
};
