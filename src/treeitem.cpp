#include "treeitem.h"

#include "common.h"

#include <QListWidget>

CTreeItem::CTreeItem(QTreeWidget* view)
    : QTreeWidgetItem(view, QTreeWidgetItem::Type)
{
}

CTreeItem::~CTreeItem() = default;

void CTreeItem::SetCtlParam(void* id, int absence)
{
    m_pID = id;
    m_iAbsence = absence;
}

void* CTreeItem::GetID() { return m_pID; }
int CTreeItem::GetAbsenceType() { return m_iAbsence; }
void CTreeItem::SetFixState(tagDownloadState state) { m_eFixState = state; }
tagDownloadState CTreeItem::GetFixState() const { return m_eFixState; }
void CTreeItem::SetPath(const QString& path) { m_strPath = path; }
QString CTreeItem::GetPath() const { return m_strPath; }
void CTreeItem::SetPersistentID(const QString& id) { m_strPersistentID = id; }
QString CTreeItem::GetPersistentID() const { return m_strPersistentID; }
void CTreeItem::SetConverPath(QString path) { m_strConverPath = std::move(path); }
QString CTreeItem::GetConverPath() const { return m_strConverPath; }

CListItem::CListItem(void* id, int absence, QListWidget* parent)
    : QListWidgetItem(parent, QListWidgetItem::Type)
    , m_pID(id)
    , m_iAbsence(absence)
{
}

CListItem::~CListItem() = default;

void* CListItem::GetID() { return m_pID; }
int CListItem::GetAbsenceType() { return m_iAbsence; }

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
void CListItem::SetFixState(tagDownloadState state) { m_eFixState = state; }
tagDownloadState CListItem::GetFixState() const { return m_eFixState; }
void CListItem::SetPath(const QString& path) { m_strPath = path; }
QString CListItem::GetPath() const { return m_strPath; }
void CListItem::SetPersistentID(const QString& id) { m_strPersistentID = id; }
QString CListItem::GetPersistentID() const { return m_strPersistentID; }
void CListItem::SetConverPath(QString path) { m_strConverPath = std::move(path); }
QString CListItem::GetConverPath() const { return m_strConverPath; }
