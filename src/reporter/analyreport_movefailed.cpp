// Moving the tracks a Fix All left unfixed into "Unrecognized Songs", and
// bringing the ones a Refix completed back to their categories.
//
// Each move runs in two halves: a worker pass reads the engine (database
// transaction, lookup states, working copies, artwork export) against a
// snapshot of the lists and writes its decisions into the plan; the
// completion slot on the GUI thread then changes the lists in the order
// the decisions were made. Nothing touches a widget off the GUI thread.
#include "reporter/analyreport.h"

#include "common.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "reportrow.h"
#include "treeitem.h"

#include <QHeaderView>
#include <QPixmap>

namespace {

template <typename Item>
CMoveItem snapshotOf(Item* item)
{
    return CMoveItem{item, item->GetID(), item->GetAbsenceType(), int(item->GetFixState())};
}

std::vector<CMoveItem> snapshotTree(QTreeWidget* tree)
{
    std::vector<CMoveItem> items;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        items.push_back(snapshotOf(static_cast<CTreeItem*>(tree->topLevelItem(i))));
    return items;
}

} // namespace

void CAnalyReport::snapshotLists()
{
    m_pMovePlan = std::make_unique<CMovePlan>();
    for (int i = 0; i < m_pListArtwork->count(); ++i)
        m_pMovePlan->grid.push_back(snapshotOf(static_cast<CListItem*>(m_pListArtwork->item(i))));
    m_pMovePlan->artist = snapshotTree(m_pTreeArtist);
    m_pMovePlan->album = snapshotTree(m_pTreeAlbum);
    m_pMovePlan->failed = snapshotTree(m_pTreeFailed);
    for (auto it = m_mapFailedItem.cbegin(); it != m_mapFailedItem.cend(); ++it)
        m_pMovePlan->known.insert(it.key());
}

// ---- the move (worker half) ----

void CAnalyReport::MoveFailedItem()
{
    WriteUILog(QStringLiteral("Enter MoveFailed Item"));
    if (m_bExit || !m_pMovePlan)
        return;
    CMovePlan& plan = *m_pMovePlan;
    m_pMusicLink->DBTransaction(false);
    for (auto it = plan.grid.rbegin(); it != plan.grid.rend(); ++it)
        if (it->fixState != DS_DONE)
            plan.gridTaken.append(it->item);
    if (!m_bExit) {
        for (auto it = plan.grid.rbegin(); it != plan.grid.rend(); ++it)
            if (it->fixState != DS_DONE && it->track)
                GenerateFailed(it->track, it->absence, Qt::Checked);
    }
    if (!m_bExit) {
        DEL_TREE_ITEM(CAT_ALBUM);
        DEL_TREE_ITEM(CAT_ARTIST);
    }
    // The pass stores only check marks; the apply tells the user about the
    // end of its own transaction.
    if (const int ended = m_pMusicLink->DBTransaction(true); ended != 0)
        WriteUILog(QStringLiteral("MoveFailed Item: the end of the transaction failed:%1").arg(ended));
}

void CAnalyReport::DEL_TREE_ITEM(int kind)
{
    CMovePlan& plan = *m_pMovePlan;
    const bool album = kind == CAT_ALBUM;
    const std::vector<CMoveItem>& items = album ? plan.album : plan.artist;
    QList<void*>& taken = album ? plan.albumTaken : plan.artistTaken;
    QList<QPair<void*, CReportRow>>& fixed = album ? plan.albumFixed : plan.artistFixed;
    QList<const CMoveItem*> takenItems;
    for (auto it = items.rbegin(); it != items.rend() && !m_bExit; ++it) {
        if (!it->track || it->fixState == DS_DONE)
            continue;
        if (m_pMusicLink->DownloadGNInfoState(it->track) != DS_DONE) {
            taken.append(it->item);
            takenItems.append(&*it);
            continue;
        }
        const CReportRow row = CReportRow::Read(m_pMusicLink, it->track, it->absence);
        if (!row.hasInfo)
            continue;
        if ((album ? row.album : row.artist).isEmpty()) {
            taken.append(it->item);
            takenItems.append(&*it);
        } else {
            fixed.append({it->item, row});
        }
    }
    for (const CMoveItem* item : takenItems) {
        if (m_bExit)
            break;
        if (item->track)
            GenerateFailed(item->track, item->absence, Qt::Checked);
    }
}

void CAnalyReport::GenerateFailed(void* track, int absence, Qt::CheckState)
{
    CMovePlan& plan = *m_pMovePlan;
    if (plan.known.contains(track))
        return;
    const CReportRow row = CReportRow::Read(m_pMusicLink, track, absence);
    if (!row.hasInfo)
        return;
    plan.newFailed.append(row);
    if (m_bExit)
        return;
    QString path;
    m_pMusicLink->GetMusicArtwork(track, path);
    if (!(absence & MF_ARTWORK) && path.isEmpty()) {
        // Asking for the bytes makes the engine save them as the track's
        // current artwork file, which the row's thumbnail then shows.
        void* bytes = nullptr;
        int length = 0;
        m_pMusicLink->GetiTunesArtwork(track, &bytes, length);
        if (bytes)
            m_pMusicLink->ReleaseiTunesArtwork(&bytes);
    }
    plan.known.insert(track);
}

// ---- the move (GUI half) ----

void CAnalyReport::applyTreeMoves(CFailedTreeWidget* tree, int kind)
{
    const CMovePlan& plan = *m_pMovePlan;
    const bool album = kind == CAT_ALBUM;
    for (const auto& fixed : album ? plan.albumFixed : plan.artistFixed) {
        auto* item = static_cast<CTreeItem*>(fixed.first);
        showFoundTexts(item, fixed.second);
        markTreeFixed(item, tree, album ? 3 : 2);
    }
    for (void* taken : album ? plan.albumTaken : plan.artistTaken)
        delete tree->takeTopLevelItem(tree->indexOfTopLevelItem(static_cast<CTreeItem*>(taken)));
    if (tree->topLevelItemCount() > 0)
        m_bNeedApply = true;
}

void CAnalyReport::rebuildUnrecognized()
{
    while (m_pTreeFailed->topLevelItemCount() > 0)
        m_pTreeFailed->takeTopLevelItem(m_pTreeFailed->topLevelItemCount() - 1);
    m_pTreeFailed->setSortingEnabled(false);
    for (auto it = m_mapFailedItem.cbegin(); it != m_mapFailedItem.cend(); ++it) {
        auto* item = static_cast<CTreeItem*>(it.value());
        QString path;
        m_pMusicLink->GetMusicArtwork(item->GetID(), path);
        QPixmap picture;
        if (!path.isEmpty()) {
            picture.load(path);
        } else if (item->GetAbsenceType() & MF_ARTWORK) {
            picture = g_xFailedX ? *g_xFailedX : QPixmap();
        } else {
            picture = LibraryPicture(m_pMusicLink, item->GetID());
        }
        item->setIcon(1, RowThumbnail(picture));
        m_pTreeFailed->addTopLevelItem(item);
    }
    m_pTreeFailed->setSortingEnabled(true);
}

void CAnalyReport::MoveFailedItemOK()
{
    WriteUILog(QStringLiteral("Enter MoveFailedItemOK"));
    // The page was cleared since the pass began: nothing of it is left.
    if (!m_pMovePlan)
        return;
    for (void* taken : std::as_const(m_pMovePlan->gridTaken))
        delete m_pListArtwork->takeItem(m_pListArtwork->row(static_cast<CListItem*>(taken)));
    if (m_pListArtwork->count() > 0)
        m_bNeedApply = true;
    applyTreeMoves(m_pTreeAlbum, CAT_ALBUM);
    applyTreeMoves(m_pTreeArtist, CAT_ARTIST);
    for (const CReportRow& row : std::as_const(m_pMovePlan->newFailed)) {
        auto* item = new CTreeItem(nullptr);
        item->SetCtlParam(row.track, row.absence);
        item->setCheckState(0, Qt::Checked);
        item->setSizeHint(0, QSize(300, 40));
        ShowRowTexts(item, kUnrecognizedColumns, row.name, FROMUTF8(row.artist, tr("Artist")),
                     FROMUTF8(row.album, tr("Album")));
        item->setText(3, row.time);
        item->SetPath(row.path);
        item->SetPersistentID(row.persistentId);
        m_mapFailedItem.insert(row.track, item);
    }
    m_pMovePlan.reset();
    rebuildUnrecognized();
    m_iAlbumState = CTL_STOP;
    m_iFailedState = CTL_IDLE;
    ShowReport(true);
    CalculateScore();
    emit ReportFixAllComplete();
    m_eFixState = FS_IDLE;
    emit MoveFailedItemStateOK();
    WriteUILog(QStringLiteral("End MoveFailedItemOK()"));
}

// ---- the way back ----

CReturnDecision CAnalyReport::decideReturn(const CMoveItem& item) const
{
    CReturnDecision decision;
    decision.item = item.item;
    if (!item.item || !item.track || item.fixState != DS_DONE)
        return decision;
    decision.row = CReportRow::Read(m_pMusicLink, item.track, item.absence);
    if (!decision.row.hasInfo)
        return decision;
    m_pMusicLink->GetMusicArtwork(item.track, decision.artworkPath);
    const int mask = m_iAnalyzeMask;
    const bool incomplete = ((mask & MF_ARTWORK) && decision.artworkPath.isEmpty() && (item.absence & MF_ARTWORK))
                            || ((mask & MF_ARTIST) && decision.row.artist.isEmpty())
                            || ((mask & MF_ALBUM) && decision.row.album.isEmpty());
    if (incomplete)
        return decision;
    decision.complete = true;
    if (m_pMusicLink->GetMusicState(item.track) != 0)
        m_pMusicLink->SetMusicState(item.track, 0);
    return decision;
}

bool CAnalyReport::applyReturn(CTreeItem* item, const CReturnDecision& decision)
{
    item->SetFixState(DS_NONE);
    if (g_pIconNull)
        item->setIcon(8, *g_pIconNull);
    if (!decision.complete) {
        if (!decision.artworkPath.isEmpty())
            item->setIcon(1, RowThumbnail(QPixmap(decision.artworkPath)));
        return false;
    }
    void* track = item->GetID();
    const int absence = item->GetAbsenceType();
    const int both = absence & m_iAnalyzeMask;
    const CReportRow& row = decision.row;
    if ((both & MF_ARTWORK) && !CheckArtworkList_temp(track, row.name))
        AddArtworkItem_temp(track, absence, Qt::Checked);
    if ((both & MF_ARTIST) && !CheckAttList_temp(m_pTreeArtist, track, row.album, row.artist, row.name))
        AddTreeItem(track, absence, m_pTreeArtist, 2, Qt::Checked, false);
    if ((both & MF_ALBUM) && !CheckAttList_temp(m_pTreeAlbum, track, row.album, row.artist, row.name))
        AddTreeItem(track, absence, m_pTreeAlbum, 3, Qt::Checked, false);
    m_mapFailedItem.remove(track);
    return true;
}

bool CAnalyReport::FailedToSuccess(CTreeItem* item)
{
    if (!item || !item->GetID())
        return false;
    return applyReturn(item, decideReturn(snapshotOf(item)));
}

bool CAnalyReport::CheckAttList_temp(QTreeWidget* tree, void* track, QString album, QString artist, QString name)
{
    for (int i = tree->topLevelItemCount() - 1; i >= 0; --i) {
        auto* item = static_cast<CTreeItem*>(tree->topLevelItem(i));
        if (item->GetID() != track)
            continue;
        ShowRowTexts(item, kCategoryColumns, name, artist, album);
        return true;
    }
    return false;
}

bool CAnalyReport::CheckArtworkList_temp(void* track, QString name)
{
    for (int i = m_pListArtwork->count() - 1; i >= 0; --i) {
        auto* item = static_cast<CListItem*>(m_pListArtwork->item(i));
        if (item->GetID() != track)
            continue;
        ShowRowTexts(item, name);
        return true;
    }
    return false;
}

void CAnalyReport::UpdataSucessItem()
{
    WriteUILog(QStringLiteral("Enter UpdataSuccessItem"));
    if (!m_pMovePlan)
        return;
    for (auto it = m_pMovePlan->failed.rbegin(); it != m_pMovePlan->failed.rend(); ++it)
        m_pMovePlan->returns.append(decideReturn(*it));
}

void CAnalyReport::UpdataSucessItemOK()
{
    WriteUILog(QStringLiteral("Enter UpdataSuccessItemOK"));
    if (!m_pMovePlan)
        return;
    bool returned = false;
    for (const CReturnDecision& decision : std::as_const(m_pMovePlan->returns)) {
        auto* item = static_cast<CTreeItem*>(decision.item);
        if (applyReturn(item, decision)) {
            delete m_pTreeFailed->takeTopLevelItem(m_pTreeFailed->indexOfTopLevelItem(item));
            returned = true;
        }
    }
    m_pMovePlan.reset();
    if (returned)
        m_bNeedApply = true;
    CTypeTreeItem* row = TypeRow(CAT_UNRECOGNIZED);
    row->SetSpinner(false);
    row->SetQuantityWidgetIndex(0);
    m_iFailedState = CTL_IDLE;
    ShowReport(true);
    CalculateScore();
    emit ReportFixAllComplete();
    m_eFixState = FS_IDLE;
}
