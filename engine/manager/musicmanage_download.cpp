// CMusicManage: the four download slots and their threads.
#include "manager/musicmanage.h"
#include "manager/enginethreads.h"

namespace {

void clearRequest(tagDowndWrok& slot)
{
    slot.iBusy = 0;
    slot.iOperation = 0;
    slot.pMusic = nullptr;
    slot.strPersistentID.clear();
    slot.strName.clear();
    slot.strArtist.clear();
    slot.strAlbum.clear();
    slot.strPath.clear();
    slot.iAbsence = 0;
}

} // namespace

void CMusicManage::initDownloadSlots()
{
    for (tagDowndWrok& slot : m_slots) {
        slot.pManage = this;
        slot.pThread = new CDowndThrad(this);
    }
}

// Called by a new library load: requests of the old library end first.
void CMusicManage::resetDownloadSlots()
{
    for (tagDowndWrok& slot : m_slots) {
        slot.iStop = 1;
        slot.pThread->wait();
        clearRequest(slot);
        slot.iStop = 0;
    }
}

void CMusicManage::stopDownloadSlots()
{
    for (tagDowndWrok& slot : m_slots) {
        slot.iStop = 1;
        slot.pThread->wait();
        slot.iBusy = 0;
    }
}

void CMusicManage::deleteDownloadThreads()
{
    for (tagDowndWrok& slot : m_slots) {
        delete slot.pThread;
        slot.pThread = nullptr;
    }
}

// No online lookup is built into the engine yet, and nothing hands a slot
// to its thread until there is one.
void CMusicManage::DownloadMousicInfoThreadProc(tagDowndWrok* slot)
{
    Q_UNUSED(slot);
}
