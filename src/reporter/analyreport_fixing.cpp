// The Fix All scheduler: the chain of categories, up to four tracks in
// flight (conversion, then online lookup), pause and run, and the end of a
// conversion. GUI thread only.
#include "reporter/analyreport.h"

#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reporter/temporarywav.h"
#include "reporter/typetreeitem.h"
#include "reportrow.h"
#include "treeitem.h"
#include "treeobj/treeobj.h"

#include <QDir>
#include <QFileInfo>
#include <QTime>

namespace {

constexpr int kLookupAll = DW_INFO | DW_SEARCH_ARTWORK | DW_INFO_ARTWORK;

int nextKind(int kind)
{
    switch (kind) {
    case CAT_ARTWORK: return CAT_ARTIST;
    case CAT_ARTIST: return CAT_ALBUM;
    default: return CAT_UNWRITABLE;
    }
}

} // namespace

QString CAnalyReport::wavPathFor(const QString& persistentId) const
{
    const QString folder = CConfig::instance()->GetMusicPath();
    CreateFolder(folder);
    // Tracks started in the same second without a plain ID share the time
    // of day as their name, and their files do not exist yet: two
    // conversions would write one file and each lookup hear the other.
    return TemporaryWavPath(folder, persistentId, QTime::currentTime(), m_slots.HeldWavPaths());
}

void CAnalyReport::SetArtworkState(tagCtlState state)
{
    m_inbox.Flush();
    m_iArtworkState = state;
    if (state == CTL_RUN)
        TypeRow(CAT_ARTWORK)->MarkFixing();
    else
        TypeRow(CAT_ARTWORK)->SetSpinner(false);
    m_iFixNum = 0;
    m_iFixTotal = m_pListArtwork->count() + m_pTreeAlbum->topLevelItemCount()
                  + m_pTreeArtist->topLevelItemCount() + m_pTreeNotExist->topLevelItemCount();
}

void CAnalyReport::SetFixState(EFixState state)
{
    m_eFixState = state;
    if (state != FS_PAUSE && state != FS_RUN)
        return;
    const bool run = state == FS_RUN;
    for (int kind : {CAT_UNRECOGNIZED, CAT_ARTWORK, CAT_UNWRITABLE, CAT_ARTIST, CAT_ALBUM})
        if (stateOf(kind) == CTL_RUN)
            TypeRow(kind)->SetSpinner(run);
    if (m_iArtworkState == CTL_RUN)
        for (int slot = 0; slot < kConverterSlots; ++slot)
            if (m_track[slot].item)
                m_pListArtwork->StartPauseFlash(slot, run ? 1 : 0);
}

void CAnalyReport::FixAnalyList()
{
    if (m_bExit || m_eFixState == FS_PAUSE)
        return;
    for (int step = 0; step < kConverterSlots; ++step) {
        if (m_iArtworkState == CTL_RUN)
            FixArtwork();
        else if (m_iNotExistState == CTL_RUN)
            FixNotExist();
        else if (m_iArtistState == CTL_RUN)
            FixArtist();
        else if (m_iAlbumState == CTL_RUN)
            FixAlbum();
        else if (m_iFailedState == CTL_RUN)
            FixFailed();
    }
}

int CAnalyReport::CheckMangaList()
{
    return m_slots.FreeSlot();
}

void CAnalyReport::reportProgress()
{
    if (m_iFixTotal >= 1)
        emit ReportFixInfo(-1, int(qint64(m_iFixNum) * PROGRESS_FULL / m_iFixTotal));
}

bool CAnalyReport::settleArtwork(CListItem* item, int engineState)
{
    if (engineState == DS_FAILED) {
        if (g_pimgFailed)
            item->setIcon(*g_pimgFailed);
        item->SetItemState(CListItem::IS_FAILED, true);
        item->SetFixState(DS_FAILED);
        return true;
    }
    if (engineState != DS_DONE)
        return false;
    const int candidates = m_pMusicLink->GetArtworkConut(item->GetID());
    if (candidates >= 0)
        item->m_iArtworkCount = candidates;
    if (candidates > 1)
        item->SetListButShow(true);
    item->SetItemState(CListItem::IS_FIXED, false);
    item->SetFixState(DS_DONE);
    ++m_pListArtwork->m_iSuccessNum;
    return true;
}

void CAnalyReport::FixArtwork()
{
    if (m_iArtworkState == CTL_IDLE)
        m_iArtworkState = CTL_RUN;
    bool clean = true, busySeen = false;
    // Every tile already taken up reports the same progress; once per scan
    // says it as well as once per tile, which a large grid cannot afford.
    bool settledSeen = false;
    for (int i = 0; i < m_pListArtwork->count(); ++i) {
        auto* item = static_cast<CListItem*>(m_pListArtwork->item(i));
        const int slot = m_slots.SlotForRow(item, item->GetCheckState() == Qt::Checked, busySeen);
        if (slot < 0) {
            if (item->GetFixState() != DS_NONE && !settledSeen) {
                reportProgress();
                settledSeen = true;
            }
            continue;
        }
        m_iFixNum = i;
        emit StartFixAll(tr("Fixing Songs Without Album Artwork: %1").arg(item->text()));
        if (i > 0 && i % 18 == 0 && m_pArtworkChooser && m_pArtworkChooser->isVisible())
            m_pArtworkChooser->hide();
        if (settleArtwork(item, m_pMusicLink->DownloadGetGNArtworkState(item->GetID()))) {
            if (item->GetID())
                reportProgress();
            continue;
        }
        auto markFailed = [this, item, slot](bool flash) {
            if (g_pimgFailed)
                item->setIcon(*g_pimgFailed);
            item->SetItemState(CListItem::IS_FAILED, true);
            item->SetFixState(DS_FAILED);
            if (flash)
                m_pListArtwork->PushFlashItem(slot, item);
            if (item->GetID())
                reportProgress();
        };
        if (item->GetPath().isEmpty()) {
            markFailed(false);
            clean = false;
            continue;
        }
        item->SetConverPath(wavPathFor(item->GetPersistentID()));
        WriteUILog(QStringLiteral("FixArtwork Converter id: %1 Name:%2").arg(item->GetPersistentID(), item->text()));
        if (g_pimgDef)
            item->setIcon(*g_pimgDef);
        item->SetItemState(CListItem::IS_FIXING, true);
        if (!m_slots.Start(slot, TK_ARTWORK, item, item)) {
            markFailed(true);
            clean = false;
            continue;
        }
        m_pListArtwork->PushFlashItem(slot, item);
        return;
    }
    if (clean && !busySeen)
        finishCategory(CAT_ARTWORK);
}

void CAnalyReport::markTreeFailed(CTreeItem* item, int fieldColumn)
{
    item->SetFixState(DS_FAILED);
    item->setText(fieldColumn, tr("Failed"));
    if (g_pFailed)
        item->setIcon(5, *g_pFailed);
}

void CAnalyReport::showFoundTexts(CTreeItem* item, const CReportRow& row)
{
    ShowRowTexts(item, kCategoryColumns, FROMUTF8(row.name, QString()), FROMUTF8(row.artist, QStringLiteral("Artist")),
                 FROMUTF8(row.album, QStringLiteral("Album")));
}

void CAnalyReport::markTreeFixed(CTreeItem* item, CFailedTreeWidget* tree, int fieldColumn, int stateColumn)
{
    item->SetFixState(DS_DONE);
    item->setForeground(fieldColumn, m_clrBlack);
    if (g_pOK)
        item->setIcon(stateColumn, *g_pOK);
    ++tree->m_iSuccessNum;
}

bool CAnalyReport::settleTree(CTreeItem* item, int kind, int engineState)
{
    if (engineState != DS_FAILED && engineState != DS_DONE)
        return false;
    const int field = kind == CAT_ARTIST ? 2 : 3;
    item->setForeground(field, m_clrRed);
    if (engineState == DS_FAILED) {
        markTreeFailed(item, field);
        return true;
    }
    const CReportRow row = CReportRow::Read(m_pMusicLink, item->GetID(), item->GetAbsenceType());
    if (!row.hasInfo) {
        markTreeFailed(item, field);
        return true;
    }
    showFoundTexts(item, row);
    if ((kind == CAT_ARTIST ? row.artist : row.album).isEmpty())
        markTreeFailed(item, field);
    else
        markTreeFixed(item, kind == CAT_ARTIST ? m_pTreeArtist : m_pTreeAlbum, field);
    return true;
}

void CAnalyReport::FixArtist() { FixTreeCategory(CAT_ARTIST); }
void CAnalyReport::FixAlbum() { FixTreeCategory(CAT_ALBUM); }

void CAnalyReport::FixTreeCategory(int kind)
{
    const bool artist = kind == CAT_ARTIST;
    CFailedTreeWidget* tree = artist ? m_pTreeArtist : m_pTreeAlbum;
    if (artist && m_iArtistState == CTL_IDLE)
        m_iArtistState = CTL_RUN;
    const int offset = m_pListArtwork->count() + (artist ? 0 : m_pTreeArtist->topLevelItemCount());
    const int field = artist ? 2 : 3;
    bool clean = true, busySeen = false;
    for (int i = 0; i < tree->topLevelItemCount(); ++i) {
        auto* item = static_cast<CTreeItem*>(tree->topLevelItem(i));
        const int slot = m_slots.SlotForRow(item, item->checkState(0) == Qt::Checked, busySeen);
        if (slot < 0)
            continue;
        m_iFixNum = offset + i;
        emit StartFixAll((artist ? tr("Fixing Songs Without Artist: %1") : tr("Fixing Songs Without Album: %1"))
                             .arg(item->text(0)));
        if (artist)
            tree->setCurrentItem(item);
        if (settleTree(item, kind, m_pMusicLink->DownloadGNInfoState(item->GetID()))) {
            if (item->GetID())
                reportProgress();
            continue;
        }
        if (item->GetPath().isEmpty() || !m_slots.Converter(slot)) {
            markTreeFailed(item, field);
            if (item->GetID())
                reportProgress();
            clean = false;
            continue;
        }
        item->SetConverPath(wavPathFor(item->GetPersistentID()));
        WriteUILog(QStringLiteral("%1 Converter id: %2 Name:%3 Artist:%4 Album:%5")
                       .arg(artist ? QStringLiteral("FixArtist") : QStringLiteral("FixAlbum"),
                            item->GetPersistentID(), item->text(0), item->text(2), item->text(3)));
        if (g_pRun)
            item->setIcon(5, *g_pRun);
        m_slots.Start(slot, artist ? TK_ARTIST : TK_ALBUM, item, item);
        return;
    }
    if (clean && !busySeen)
        finishCategory(kind);
}

void CAnalyReport::finishCategory(int kind)
{
    m_slots.FreeAll();
    const int next = nextKind(kind);
    stateOf(next) = CTL_RUN;
    stateOf(kind) = CTL_STOP;
    if (kind == CAT_ARTWORK)
        m_pListArtwork->StopFlash();
    TypeRow(kind)->MarkFinished();
    CTypeTreeItem* nextRow = TypeRow(next);
    if (m_pTypeTree->indexOfTopLevelItem(nextRow) >= 0)
        m_pTypeTree->setCurrentItem(nextRow);
    nextRow->MarkFixing();
    FixAnalyList();
}

void CAnalyReport::FixNotExist()
{
    m_iNotExistState = CTL_STOP;
    TypeRow(CAT_UNWRITABLE)->MarkFinished();
    emit MoveFailedItemState();
    snapshotLists();
    m_pMoveFailedThread->start(QThread::InheritPriority);
}

void CAnalyReport::AcceptConverInfo(void* pItem, bool bState, int iFixType)
{
    if (m_bExit)
        return;
    if (!pItem) {
        WriteUILog(QStringLiteral("Accept Conver work obj null "));
        return;
    }
    // A conversion of a run that was stopped since names an item that may
    // be gone; only an item a slot still holds is real.
    const int slot = m_slots.SlotOfItem(pItem);
    if (slot < 0)
        return;
    if (m_track[slot].kind == TK_ARTWORK)
        acceptArtworkConversion(static_cast<CListItem*>(pItem), bState, iFixType);
    else
        acceptTreeConversion(static_cast<CTreeItem*>(pItem), bState, iFixType);
}

void CAnalyReport::acceptArtworkConversion(CListItem* item, bool ok, int)
{
    WriteUILog(QStringLiteral("Accept Artwork Conver ok PID: %1 bState: %2").arg(item->GetPersistentID()).arg(int(ok)));
    if (m_bExit)
        return;
    void* track = item->GetID();
    const int absence = item->GetAbsenceType();
    const QString wav = item->GetConverPath();
    if (!ok || !QFileInfo::exists(wav)) {
        FixCallBrack(track, absence, 0, DS_FAILED);
        return;
    }
    const QByteArray path = wav.toUtf8();
    if (m_pMusicLink->DowldMusicInfo(track, path.constData(), kLookupAll, FT_DEFAULT, 1) == 0)
        return;
    if (g_pimgFailed)
        item->setIcon(*g_pimgFailed);
    item->SetFixState(DS_FAILED);
    item->SetItemState(CListItem::IS_FAILED, true);
    if (!m_bExit)
        FixCallBrack(track, absence, 0, DS_FAILED);
}

void CAnalyReport::acceptTreeConversion(CTreeItem* item, bool ok, int fixType)
{
    const bool unrecognized = m_iFailedState == CTL_RUN;
    const QString line = unrecognized             ? QStringLiteral("Accept Failed Conver ok PID: %1 bState: %2")
                         : m_iArtistState == CTL_RUN ? QStringLiteral("Accept Artist Conver ok PID: %1 bState: %2")
                                                     : QStringLiteral("Accept Album  Conver ok PID: %1 bState: %2");
    WriteUILog(line.arg(item->GetPersistentID()).arg(int(ok)));
    if (m_bExit)
        return;
    void* track = item->GetID();
    const int absence = item->GetAbsenceType();
    const QString wav = item->GetConverPath();
    const int stateColumn = unrecognized ? 8 : 5;
    auto refused = [&] {
        item->SetFixState(DS_FAILED);
        if (g_pFailed)
            item->setIcon(stateColumn, *g_pFailed);
        if (!m_bExit)
            FixCallBrack(track, absence, 0, DS_FAILED);
    };
    const bool noCandidates = m_pMusicLink->GetArtworkConut(track) <= 0;
    if (!ok || !QFileInfo::exists(wav)) {
        if (unrecognized && noCandidates) {
            if (m_pMusicLink->DowldMusicInfo(track, nullptr, DW_SEARCH_ARTWORK, FT_DEFAULT, 1) != 0)
                refused();
            return;
        }
        FixCallBrack(track, absence, 0, DS_FAILED);
        return;
    }
    int what = DW_INFO;
    if (unrecognized && (absence & MF_ARTWORK) && (m_iAnalyzeMask & MF_ARTWORK) && noCandidates)
        what = kLookupAll;
    const QByteArray path = wav.toUtf8();
    if (m_pMusicLink->DowldMusicInfo(track, path.constData(), what, tagFixType(fixType), 1) != 0)
        refused();
}

void CAnalyReport::FixCallBrack(void* track, int, int, int)
{
    if (m_bExit)
        return;
    if (m_iArtworkState == CTL_RUN) {
        UpateMusicArtworkState(track);
    } else if (m_iAlbumState == CTL_RUN) {
        UpateMusicAttrState(track, m_pTreeAlbum, 5, 3);
    } else if (m_iArtistState == CTL_RUN) {
        UpateMusicAttrState(track, m_pTreeArtist, 5, 2);
    } else if (m_iFailedState == CTL_RUN) {
        Failed_UpateAttrState_temp(track);
        if (const int rows = m_pTreeFailed->topLevelItemCount(); rows > 0)
            emit ReportFixInfo(-1, int(qint64(m_iFixNum) * PROGRESS_FULL / rows));
    }
    if (m_iFailedState != CTL_RUN && track)
        reportProgress();
    FixAnalyList();
}
