#include "reporter/converterslots.h"

#include "reporter/reportitemdata.h"

#include <QThread>

int CConverterSlots::FreeSlot()
{
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        if (m_track[slot].item)
            continue;
        // Passed over, the track of a converter still returning would count
        // as done by a scan that found nothing else to wait for.
        if (QThread* converter = m_converter[slot]; converter && converter->isRunning())
            converter->wait();
        return slot;
    }
    return -1;
}

int CConverterSlots::SlotForRow(const CReportItemData* row, bool checked, bool& busySeen)
{
    const int state = row->GetFixState();
    if (state != DS_NONE) {
        busySeen |= state == DS_FIXING;
        return -1;
    }
    return checked ? FreeSlot() : -1;
}

void CConverterSlots::fill(int slot, int kind, void* item, CReportItemData* row)
{
    m_track[slot].kind = kind;
    m_track[slot].item = item;
    m_row[slot] = row;
    row->SetFixState(DS_FIXING);
}

bool CConverterSlots::Start(int slot, int kind, void* item, CReportItemData* row)
{
    QThread* converter = m_converter[slot];
    if (!converter)
        return false;
    m_prepare(slot, item, *row);
    fill(slot, kind, item, row);
    converter->start(QThread::InheritPriority);
    return true;
}

void CConverterSlots::Hold(int slot, int kind, void* item, CReportItemData* row)
{
    fill(slot, kind, item, row);
}

void CConverterSlots::Free(int slot)
{
    m_track[slot].kind = TK_NONE;
    m_track[slot].item = nullptr;
    m_row[slot] = nullptr;
}

void CConverterSlots::FreeAll()
{
    for (int slot = 0; slot < kConverterSlots; ++slot)
        Free(slot);
}

int CConverterSlots::SlotOfTrack(void* track, bool resetFree)
{
    int found = -1;
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        if (!m_track[slot].item) {
            if (resetFree)
                m_track[slot].kind = TK_NONE;
            continue;
        }
        if (found < 0 && m_row[slot]->GetID() == track)
            found = slot;
    }
    return found;
}

int CConverterSlots::SlotOfItem(const void* item) const
{
    if (!item)
        return -1;
    for (int slot = 0; slot < kConverterSlots; ++slot)
        if (m_track[slot].item == item)
            return slot;
    return -1;
}

QStringList CConverterSlots::HeldWavPaths() const
{
    QStringList held;
    for (int slot = 0; slot < kConverterSlots; ++slot)
        if (m_track[slot].item)
            held << m_row[slot]->GetConverPath();
    return held;
}
