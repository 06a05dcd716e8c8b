#include "treeitem.h"

#include "common.h"

#include <QListWidget>

CTreeItem::CTreeItem(QTreeWidget* tree)
    : QTreeWidgetItem(tree, QTreeWidgetItem::Type)
    , CReportItemData(nullptr, 0)
{
}

CTreeItem::~CTreeItem() = default;

void CTreeItem::SetCtlParam(void* id, int absence)
{
    SetTrack(id, absence);
}

CListItem::CListItem(void* id, int absence, QListWidget* parent)
    : QListWidgetItem(parent, QListWidgetItem::Type)
    , CReportItemData(id, absence)
{
}

CListItem::~CListItem() = default;

// The grid's delegate draws from these fields, so the view must repaint to
// show a change; the item itself has no data-changed notification for them.
void CListItem::repaintList()
{
    if (QListWidget* list = listWidget())
        list->viewport()->update();
}

void CListItem::SetItemState(EState state, bool repaint)
{
    if (state == m_eItemState)
        return;
    m_eItemState = state;
    if (repaint && (state == IS_NORMAL || state == IS_FIXED))
        repaintList();
}

CListItem::EState CListItem::GetItemSate() const { return m_eItemState; }

void CListItem::SetCheckState(Qt::CheckState state, bool repaint)
{
    if (state == m_eCheckState)
        return;
    m_eCheckState = state;
    if (repaint && m_eItemState != IS_FIXING && m_eItemState != IS_FAILED)
        repaintList();
}

Qt::CheckState CListItem::GetCheckState() const { return m_eCheckState; }

void CListItem::SetListButShow(bool show)
{
    if (show == m_bListButShow)
        return;
    m_bListButShow = show;
    if (m_eItemState != IS_FIXED)
        repaintList();
}

bool CListItem::GetListButShow() const { return m_bListButShow; }

void CListItem::SetArtworkPath(const QString& path)
{
    m_strArtworkPath = path;
    if (isFileExtist(path))
        repaintList();
}

QString CListItem::GetArtworkPath() { return m_strArtworkPath; }
