// CMusicManage: the four download slots, their threads, the start of each
// lookup and the record that ends a request.
#include "manager/musicmanage.h"
#include "manager/enginethreads.h"

#include "core/musicobj.h"

#include "sennet.h"

#include <QMutexLocker>
#include <QThread>

#include <utility>

namespace {

constexpr int kLookupBits = DW_INFO | DW_SEARCH_ARTWORK | DW_INFO_ARTWORK;
constexpr int MM_ERR_NO_SLOT = -17;

void clearRequest(tagDowndWrok& slot)
{
    slot.iOperation = 0;
    slot.pMusic = nullptr;
    slot.strPersistentID.clear();
    slot.strName.clear();
    slot.strArtist.clear();
    slot.strAlbum.clear();
    slot.strPath.clear();
    slot.iAbsence = 0;
    slot.iCurLookup = CL_NONE;
}

// Only once the slot's thread has ended: no call can run on them then.
void destroyRequests(tagDowndWrok& slot)
{
    MusicRequestHandle info = nullptr;
    MusicRequestHandle search = nullptr;
    {
        QMutexLocker lock(&slot.mutexRequest);
        std::swap(info, slot.hInfoRequest);
        std::swap(search, slot.hSearchRequest);
    }
    if (info)
        MusicParserDestroyRequest(info);
    if (search)
        MusicParserDestroyRequest(search);
}

void fillRequest(tagDowndWrok& slot, CMusicObj* music, const char* path, int what,
                 const tagCtlCmdParam& param, tagFixType fixType)
{
    const tagMMusicInfo working = music->WorkingCopy();
    slot.pCallBack = param.pCallBack;
    slot.pUser = param.pUser;
    slot.iOperation = param.iOperation;
    slot.pMusic = music;
    slot.strPersistentID = working.strPersistentID;
    slot.strName = working.strName;
    slot.strArtist = working.strArtist;
    slot.strAlbum = working.strAlbum;
    slot.iAbsence = music->GetAbsenceType();
    slot.iWhat = what;
    slot.iFixType = fixType;
    slot.iCurLookup = CL_NONE;
    slot.strPath = path ? QString::fromUtf8(path) : QString();
}

// Creates a request into field unless the slot is being stopped: a stop
// that comes later finds the handle there and stops it. False when stopped.
template <typename Create>
bool openRequest(tagDowndWrok& slot, MusicRequestHandle& field, Create create)
{
    QMutexLocker lock(&slot.mutexRequest);
    if (slot.iStop)
        return false;
    field = create();
    return true;
}

} // namespace

void CMusicManage::initDownloadSlots()
{
    for (tagDowndWrok& slot : m_slots) {
        slot.pManage = this;
        slot.pThread = new CDowndThrad(this);
    }
}

// Stops the running call, lets the thread end, and only then frees the
// handles the thread was using.
void CMusicManage::stopSlotRequests(tagDowndWrok& slot)
{
    slot.iStop = 1;
    {
        QMutexLocker lock(&slot.mutexRequest);
        if (slot.hInfoRequest)
            MusicParserStopPerform(slot.hInfoRequest);
        if (slot.hSearchRequest)
            MusicParserStopPerform(slot.hSearchRequest);
    }
    slot.pThread->wait();
    destroyRequests(slot);
}

// Called by a new library load: requests of the old library end first.
void CMusicManage::resetDownloadSlots()
{
    for (tagDowndWrok& slot : m_slots) {
        {
            QMutexLocker lock(&m_mutexSlots);
            slot.iStop = 1;
        }
        stopSlotRequests(slot);
        QMutexLocker lock(&m_mutexSlots);
        clearRequest(slot);
        slot.iBusy = 0;
        slot.iStop = 0;
    }
}

// The exit: the flag is set already, so once every stop flag is set under
// the slots' lock no request can start any more.
void CMusicManage::stopDownloadSlots()
{
    {
        QMutexLocker lock(&m_mutexSlots);
        for (tagDowndWrok& slot : m_slots)
            slot.iStop = 1;
    }
    for (tagDowndWrok& slot : m_slots) {
        stopSlotRequests(slot);
        slot.iBusy = 0;
    }
}

// Destruction: every thread has ended by now.
void CMusicManage::endDownloads()
{
    for (tagDowndWrok& slot : m_slots) {
        slot.pThread->wait();
        destroyRequests(slot);
        delete slot.pThread;
        slot.pThread = nullptr;
    }
    // The service wants its requests gone before it is cleaned up.
    MusicParserCleanup();
}

int CMusicManage::CheckDownloadList() const
{
    for (int i = 0; i < kDownloadSlotCount; ++i) {
        const tagDowndWrok& slot = m_slots[size_t(i)];
        // Taking a slot waits for its thread, and no thread can wait for
        // itself: a caller on a download thread never gets that one's slot.
        if (slot.iBusy == 0 && QThread::currentThread() != slot.pThread)
            return i;
    }
    return MM_ERR_NO_SLOT;
}

tagDowndWrok* CMusicManage::claimSlot()
{
    QMutexLocker lock(&m_mutexSlots);
    if (isExitState())
        return nullptr;
    const int index = CheckDownloadList();
    if (index < 0)
        return nullptr;
    tagDowndWrok& slot = m_slots[size_t(index)];
    slot.iBusy = 1;
    return &slot;
}

int CMusicManage::startSlot(tagDowndWrok& slot, CMusicObj* music, const char* path, int what,
                            const tagCtlCmdParam& param, tagFixType fixType)
{
    QMutexLocker lock(&m_mutexSlots);
    // The exit may have come while the slot's last thread was ending.
    if (isExitState() || slot.iStop) {
        slot.iBusy = 0;
        return MM_ERR_FAIL;
    }
    fillRequest(slot, music, path, what, param, fixType);
    slot.iBusy = 1;
    m_iCurOperation = param.iOperation;
    m_analysisGate.SetState(CTL_RUN);
    slot.pThread->SetIndex(&slot);
    slot.pThread->start();
    return 0;
}

int CMusicManage::StartDownload(CMusicObj* music, const char* path, int what,
                                const tagCtlCmdParam* param, tagFixType fixType)
{
    // A request without a lookup would hold its slot until the next load.
    if (!music || !param || (what & kLookupBits) == 0)
        return MM_ERR_BAD_ARGS;
    tagDowndWrok* slot = claimSlot();
    if (!slot)
        return MM_ERR_FAIL;
    // A completion frees its slot just before its thread ends, so the next
    // request may find that thread still finishing: it waits, not refuses.
    // Not under the slots' lock, which a stop takes while that thread may
    // still be in the caller's callback.
    slot->pThread->wait();
    destroyRequests(*slot);
    return startSlot(*slot, music, path, what, *param, fixType);
}

void CMusicManage::DownloadMousicInfoThreadProc(tagDowndWrok* slot)
{
    if (!slot)
        return;
    if (slot->iWhat & (DW_INFO | DW_INFO_ARTWORK))
        DowndGnInfoProc(slot);
    else if (slot->iWhat & DW_SEARCH_ARTWORK)
        DowndGoogleArtworkProc(slot);
}

void CMusicManage::DowndGnInfoProc(tagDowndWrok* slot)
{
    slot->iCurLookup = CL_INFO;
    const QByteArray persistentId = slot->strPersistentID.toUtf8();
    const QByteArray audioPath = slot->strPath.toUtf8();
    const tagInfoRequest request{slot->pMusic, persistentId.constData(), audioPath.constData(), slot,
                                 &CMusicManage::OnMusicInfoCallBack};
    if (!openRequest(*slot, slot->hInfoRequest, [&] { return MusicParserCreateGnRequest(&request); }))
        return;
    // A negative result means no callback came: the lookup never started.
    if (!slot->hInfoRequest || MusicParserGetTrackData(slot->hInfoRequest) < 0) {
        slot->pMusic->SetGNInfoState(DS_FAILED);
        sendEarlyFailure(slot, DS_FAILED);
    }
}

void CMusicManage::DowndGoogleArtworkProc(tagDowndWrok* slot)
{
    slot->iCurLookup = CL_SEARCH;
    if (slot->iStop)
        return;
    CMusicObj* music = slot->pMusic;
    if (!music || slot->strPersistentID.isEmpty() || slot->strName.isEmpty() || !slot->iBusy) {
        sendEarlyFailure(slot, music ? int(music->GetGNInfoState()) : int(DS_FAILED));
        return;
    }
    const QByteArray persistentId = slot->strPersistentID.toUtf8(), name = slot->strName.toUtf8(),
                     artist = slot->strArtist.toUtf8(), album = slot->strAlbum.toUtf8();
    const tagImageSearchRequest request{music, persistentId.constData(), name.constData(),
                                        artist.constData(), album.constData(), slot,
                                        &CMusicManage::OnMusicInfoCallBack};
    if (!openRequest(*slot, slot->hSearchRequest, [&] { return MusicParserCreateGoogleRequest(&request); }))
        return;
    if (!slot->hSearchRequest || MusicParserGetAlbumCoverData(slot->hSearchRequest) < 0)
        sendEarlyFailure(slot, int(music->GetGNInfoState()));
}

// A lookup that could not start: its artwork word says so whatever the
// track's state, and a failed image search marks the track's artwork.
void CMusicManage::sendEarlyFailure(tagDowndWrok* slot, int infoState)
{
    CMusicObj* music = slot->pMusic;
    if (music && slot->iCurLookup == CL_SEARCH && music->GetArtworkState() != DS_DONE)
        music->SetArtworkState(DS_FAILED);
    sendDownloadRecord(slot, infoState, DS_FAILED, slot->iAbsence);
}

// The end of a request: the record carries the track's own states.
void CMusicManage::Test_DownloadCallBreak(tagDowndWrok* slot)
{
    CMusicObj* music = slot->pMusic;
    if (isExitState() || !music)
        return;
    sendDownloadRecord(slot, music->GetGNInfoState(), music->GetArtworkState(),
                       music->GetAbsenceType());
}

// Frees the slot, then sends the record. Nothing of the slot is touched
// after it is free: the next request may take it at once.
void CMusicManage::sendDownloadRecord(tagDowndWrok* slot, int infoState, int artworkState,
                                      int absence)
{
    tagAnaluyzeInfo record{};
    record.iOperation = CMD_DOWNLOAD;
    record.iState = infoState;
    record.iArtworkState = artworkState;
    record.pMusic = slot->pMusic;
    record.iAbsence = absence;
    record.iFixType = slot->iFixType;
    const MMCallBack callback = slot->pCallBack;
    void* const user = slot->pUser;
    clearRequest(*slot);
    slot->iBusy = 0;
    if (callback && !isExitState())
        callback(&record, user);
}
