// The report page's four converter slots: which one a row may take, filling
// one (with a conversion, or for a lookup alone) and freeing it, and what
// each holds. Every write to the slots goes through here, so the row a slot
// holds is always known without its widget type. GUI thread only; a slot's
// converter runs on a thread of its own.
#pragma once

#include "reporter/reporttypes.h"

#include <QStringList>

#include <functional>

class CReportItemData;
class QThread;

class CConverterSlots
{
public:
    // Hands a slot's next conversion (the item, the row's file and its WAV
    // path) to the slot's converter, before the converter starts.
    using Prepare = std::function<void(int slot, void* item, const CReportItemData& row)>;

    // track: the page's kConverterSlots slots, which the artwork grid reads
    // too.
    CConverterSlots(tagTrack* track, Prepare prepare) : m_track(track), m_prepare(std::move(prepare)) {}
    // The slot's converter, started and waited for as a thread; null: none.
    // Held here only: the slots in track carry no converter.
    void SetConverter(int slot, QThread* converter) { m_converter[slot] = converter; }
    QThread* Converter(int slot) const { return m_converter[slot]; }

    // The first free slot, -1 when none. A free slot's converter runs on
    // only between its end signal and its return; it is waited for.
    int FreeSlot();
    // The free slot for a checked row nothing has taken up yet; -1 for any
    // other row (busySeen notes one still being fixed) or without a slot.
    int SlotForRow(const CReportItemData* row, bool checked, bool& busySeen);
    // Puts item into slot and starts the conversion of row's file into
    // row's WAV path; false, and the slot left alone, without a converter.
    bool Start(int slot, int kind, void* item, CReportItemData* row);
    // Puts item into slot for a lookup that needs no conversion.
    void Hold(int slot, int kind, void* item, CReportItemData* row);
    void Free(int slot);
    void FreeAll();

    // The first busy slot whose row is track's, -1 when none; resetFree
    // sets the kind of every free slot passed to TK_NONE.
    int SlotOfTrack(void* track, bool resetFree);
    // The slot holding item, -1 when none (a stopped run's item).
    int SlotOfItem(const void* item) const;
    // The row a busy slot holds; null for a free one.
    CReportItemData* SlotData(int slot) const { return m_row[slot]; }
    // The WAV files of the conversions in the slots, written or not yet.
    QStringList HeldWavPaths() const;

private:
    void fill(int slot, int kind, void* item, CReportItemData* row);

    tagTrack* const m_track;
    const Prepare m_prepare;
    QThread* m_converter[kConverterSlots] = {};
    CReportItemData* m_row[kConverterSlots] = {};
};
