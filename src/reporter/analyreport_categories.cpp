// The category tree: switching categories, the summary line, rebuilding the
// rows after the lists changed, the editor following the current song, the
// regrouping of the unrecognized list and the hover filter of the
// unwritable list.
#include "reporter/analyreport.h"

#include "common.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "reportrow.h"
#include "treeitem.h"

#include <QEvent>
#include <QHeaderView>
#include <QMouseEvent>
#include <QStackedWidget>

namespace {

// The stack page of each kind.
int pageOfKind(int kind)
{
    switch (kind) {
    case CAT_UNRECOGNIZED: return 4;
    case CAT_ARTWORK: return 0;
    case CAT_ARTIST: return 3;
    case CAT_ALBUM: return 2;
    default: return 1;
    }
}

// Set while the hover filter shows the pointing hand.
bool bIsClicked = false;

} // namespace

QWidget* CAnalyReport::listOfKind(int kind) const
{
    switch (kind) {
    case CAT_UNRECOGNIZED: return m_pTreeFailed;
    case CAT_ARTWORK: return m_pListArtwork;
    case CAT_ARTIST: return m_pTreeArtist;
    case CAT_ALBUM: return m_pTreeAlbum;
    default: return m_pTreeNotExist;
    }
}

int CAnalyReport::listCount(int kind) const
{
    if (kind == CAT_ARTWORK)
        return m_pListArtwork->count();
    return static_cast<QTreeWidget*>(listOfKind(kind))->topLevelItemCount();
}

QString CAnalyReport::summaryText(int kind, int page) const
{
    int scanned = 0;
    if (kind != CAT_UNRECOGNIZED && page == 0 && m_pMusicLink)
        m_pMusicLink->GetMusicCountAMode(&scanned, nullptr);
    const int rows = listCount(kind);
    auto fixedOf = [this](int k) {
        return k == CAT_ARTWORK ? m_pListArtwork->m_iSuccessNum
                                : static_cast<CFailedTreeWidget*>(listOfKind(k))->m_iSuccessNum;
    };
    switch (kind) {
    case CAT_ARTWORK:
        return page == 0 ? tr("Scanned %1 song(s), %2 song(s) without artwork.").arg(scanned).arg(rows)
                         : tr("Fixed %1 song(s) without artwork. Still %2 song(s) not fixed.")
                               .arg(fixedOf(kind)).arg(rows - fixedOf(kind));
    case CAT_ARTIST:
        return page == 0 ? tr("Scanned %1 song(s), %2 song(s) without artist.").arg(scanned).arg(rows)
                         : tr("Fixed %1 song(s) without artist. Still %2 song(s) not fixed.")
                               .arg(fixedOf(kind)).arg(rows - fixedOf(kind));
    case CAT_ALBUM:
        return page == 0 ? tr("Scanned %1 song(s), %2 song(s) without album.").arg(scanned).arg(rows)
                         : tr("Fixed %1 song(s) without album. Still %2 song(s) not fixed.")
                               .arg(fixedOf(kind)).arg(rows - fixedOf(kind));
    case CAT_UNWRITABLE:
        return page == 0
                   ? tr("Scanned %1 song(s), %2 song(s) unwritable,check them if exist in your computer.")
                         .arg(scanned).arg(rows)
                   : tr("%1 unwritable song(s) not fixed\uff0cplease check them if exist in your computer.")
                         .arg(rows);
    default:
        return tr("Fixed %1 problem(s). Still %2 song(s) unrecognized.")
            .arg(fixedOf(CAT_ARTWORK) + fixedOf(CAT_ARTIST) + fixedOf(CAT_ALBUM) + fixedOf(CAT_UNWRITABLE))
            .arg(rows);
    }
}

void CAnalyReport::ClickType(QTreeWidgetItem* pItem, QTreeWidgetItem* pPrevious)
{
    if (auto* row = static_cast<CTypeTreeItem*>(pItem)) {
        const int kind = row->m_iType;
        if (m_eFixState == FS_IDLE)
            emit StartFixAll(summaryText(kind, row->GetQuantityWidgetIndex()));
        m_pListStack->setCurrentIndex(pageOfKind(kind));
        m_pListStack->currentWidget()->update();
        if (row->QuantityWidget())
            row->QuantityWidget()->SetSelected(true);
        loadEditorFromList(listOfKind(kind));
    }
    if (auto* previous = static_cast<CTypeTreeItem*>(pPrevious); previous && previous->QuantityWidget())
        previous->QuantityWidget()->SetSelected(false);
}

void CAnalyReport::loadEditorFromList(QWidget* list)
{
    if (list == m_pListArtwork) {
        if (!m_pListArtwork->currentItem()) {
            if (m_pListArtwork->count() > 0)
                m_pListArtwork->setCurrentRow(0);
        } else {
            CurrentItemChanged(m_pListArtwork->currentItem(), static_cast<QListWidgetItem*>(nullptr));
        }
        return;
    }
    auto* tree = static_cast<QTreeWidget*>(list);
    if (!tree->currentItem()) {
        if (tree->topLevelItemCount() > 0)
            tree->setCurrentItem(tree->topLevelItem(0));
    } else {
        CurrentItemChanged(tree->currentItem(), static_cast<QTreeWidgetItem*>(nullptr));
    }
}

void CAnalyReport::CurrentItemChanged(QListWidgetItem* current, QListWidgetItem*)
{
    if (m_eFixState != FS_IDLE || m_bExit || !current)
        return;
    auto* item = static_cast<CListItem*>(current);
    editorSetItem(item->GetAbsenceType(), item->GetID());
}

void CAnalyReport::CurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem*)
{
    if (m_eFixState != FS_IDLE || m_bExit || !current)
        return;
    auto* item = static_cast<CTreeItem*>(current);
    editorSetItem(item->GetAbsenceType(), item->GetID());
}

void CAnalyReport::ReflashMusicNum(bool bSelect)
{
    WriteUILog(QStringLiteral("CAnalyReport::ReflashMusicNum"));
    disconnect(m_pTypeTree, &QTreeWidget::currentItemChanged, this, &CAnalyReport::ClickType);
    QTreeWidgetItem* remembered = m_pTypeTree->currentItem();
    takeTypeRows();
    for (CTypeTreeItem* row : std::as_const(m_vecTypeItem)) {
        const int count = listCount(row->m_iType);
        if (count <= 0)
            continue;
        auto* badge = new CQuantityWidget(count, this);
        row->SetQuantityWidget(badge);
        badge->SetCurrentlabel(row->GetQuantityWidgetIndex());
        m_pTypeTree->addTopLevelItem(row);
        m_pTypeTree->setItemWidget(row, 3, badge);
    }
    if (m_pTypeTree->topLevelItemCount() > 0) {
        const bool kept = remembered && m_pTypeTree->indexOfTopLevelItem(remembered) >= 0;
        auto* row = static_cast<CTypeTreeItem*>(kept ? remembered : m_pTypeTree->topLevelItem(0));
        row->QuantityWidget()->SetSelected(true);
        m_pTypeTree->setCurrentItem(row);
        if (!kept)
            ClickType(row, nullptr);
        if (bSelect)
            selectFirstSong(row->m_iType);
    }
    connect(m_pTypeTree, &QTreeWidget::currentItemChanged, this, &CAnalyReport::ClickType);
}

void CAnalyReport::selectFirstSong(int kind)
{
    if (kind == CAT_UNWRITABLE) {
        editorForget();
        return;
    }
    if (kind == CAT_ARTWORK) {
        if (auto* first = static_cast<CListItem*>(m_pListArtwork->item(0))) {
            m_pListArtwork->setCurrentItem(first);
            editorShow(first->GetAbsenceType(), first->GetID());
        }
        return;
    }
    auto* tree = qobject_cast<QTreeWidget*>(m_pListStack->currentWidget());
    if (auto* first = tree ? static_cast<CTreeItem*>(tree->topLevelItem(0)) : nullptr) {
        tree->setCurrentItem(first);
        editorShow(first->GetAbsenceType(), first->GetID());
    }
}

void CAnalyReport::ShowReport(bool bSelect)
{
    if (!m_inbox.QueueBehind(bSelect ? CReportDelivery::SHOW_SELECT : CReportDelivery::SHOW))
        showNow(bSelect);
}

void CAnalyReport::showNow(bool bSelect)
{
    const bool grid = m_pListArtwork->count() > 0;
    if (grid)
        m_pListArtwork->hide();
    ReflashMusicNum(bSelect);
    if (grid)
        m_pListArtwork->show();
}

void CAnalyReport::SortFailedTree(int column)
{
    if (column != 1)
        return;
    const Qt::SortOrder order = m_pTreeFailed->header()->sortIndicatorOrder();
    QList<QTreeWidgetItem*> moved;
    for (int i = m_pTreeFailed->topLevelItemCount() - 1; i >= 0; --i) {
        auto* item = static_cast<CTreeItem*>(m_pTreeFailed->topLevelItem(i));
        bool take = false;
        if (!(item->GetAbsenceType() & MF_ARTWORK)) {
            take = order == Qt::DescendingOrder;
        } else {
            QString path;
            if (m_pMusicLink)
                m_pMusicLink->GetMusicArtwork(item->GetID(), path);
            take = path.isEmpty() ? order == Qt::AscendingOrder : order == Qt::DescendingOrder;
        }
        if (take)
            moved.append(m_pTreeFailed->takeTopLevelItem(i));
    }
    m_pTreeFailed->addTopLevelItems(moved);
}

bool CAnalyReport::eventFilter(QObject* obj, QEvent* ev)
{
    if (obj != m_pTreeNotExist->viewport())
        return QWidget::eventFilter(obj, ev);
    auto restoreArrow = [this] {
        if (!bIsClicked)
            return false;
        bIsClicked = false;
        setCursor(Qt::ArrowCursor);
        return true;
    };
    if (ev->type() == QEvent::MouseMove) {
        const QPoint pos = static_cast<QMouseEvent*>(ev)->position().toPoint();
        QTreeWidgetItem* item = m_pTreeNotExist->itemAt(pos);
        const int column = m_pTreeNotExist->columnAt(pos.x());
        if (column == 6 && item && !item->text(6).isEmpty()) {
            if (bIsClicked)
                return false;
            bIsClicked = true;
            setCursor(Qt::PointingHandCursor);
            return true;
        }
        return restoreArrow();
    }
    if (ev->type() == QEvent::Leave)
        return restoreArrow();
    return QWidget::eventFilter(obj, ev);
}
