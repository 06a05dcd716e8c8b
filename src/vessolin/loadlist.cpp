// The load list: a fixed number of rows that show a window onto every song
// reported so far, moved by its own scroll bar and the wheel, and fitted to
// the window's height.
#include "vessolin/mainui.h"

#include "loadtree.h"
#include "sharedimages.h"
#include "treeobj/treeobj.h"

#include <QIcon>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStackedWidget>
#include <QToolBar>
#include <QWheelEvent>

int g_iMusicNum = 0;

namespace {

constexpr int kRowHeight = 25;

int RowsThatFit(int height)
{
    return height / kRowHeight + (height % kRowHeight ? 1 : 0);
}

QTreeWidgetItem* NewLoadRow()
{
    auto* item = new QTreeWidgetItem;
    if (g_pOK)
        item->setIcon(0, *g_pOK);
    item->setSizeHint(0, QSize(60, kRowHeight));
    return item;
}

} // namespace

void CTreeWidget::wheelEvent(QWheelEvent* event)
{
    // Ignored here, the wheel goes up to the tree, where the window's
    // filter turns each notch into one song.
    QWidget::wheelEvent(event);
}

void CMainUI::LoadWidgetScrollChanged(int value)
{
    const int rows = m_pLoadTree->topLevelItemCount();
    for (int i = 0; i < rows && 2 * (value + i) + 1 < m_strLoadName.size(); ++i) {
        QTreeWidgetItem* item = m_pLoadTree->topLevelItem(i);
        item->setData(1, Qt::DisplayRole, m_strLoadName.at(2 * (value + i)));
        item->setData(2, Qt::DisplayRole, m_strLoadName.at(2 * (value + i) + 1));
    }
}

bool CMainUI::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pLoadTree && event->type() == QEvent::Wheel) {
        auto* wheel = static_cast<QWheelEvent*>(event);
        event->ignore();
        const int step = wheel->angleDelta().y() > 0 ? -1 : 1;
        m_pLoadScrollBar->setValue(m_pLoadScrollBar->value() + step);
        return true;
    }
    return QMainWindow::eventFilter(watched, event);
}

void CMainUI::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (m_pBusyWidget)
        m_pBusyWidget->FitArea();
    // The first resize comes before the layout has given the pages a size.
    if (++m_iResizeCount == 1)
        return;
    const int width = m_pPageStack->width();
    m_pToolBar->setMinimumWidth(width);
    m_pToolBar->setMaximumWidth(width);
    m_pTopStack->setMinimumWidth(width - 40);
    m_pTopStack->setMaximumWidth(width - 40);
    if (m_pLoadTree && !m_pLoadTree->isHidden())
        ResizeLoadList();
}

void CMainUI::ResizeLoadList()
{
    const int oldCount = m_iLoadItemFixNum;
    const int newCount = RowsThatFit(m_pLoadTree->height());
    m_iLoadItemFixNum = newCount;
    const int rows = m_pLoadTree->topLevelItemCount();
    // Only a full list changes its rows; a shorter one already shows every song.
    if (rows < 1 || rows != oldCount || newCount == oldCount)
        return;
    if (newCount > oldCount) {
        const int added = newCount - oldCount;
        const int value = m_pLoadScrollBar->value();
        if (m_strLoadName.size() <= 2 * (newCount + value) + 1)
            m_pLoadScrollBar->setValue(qMax(0, value - added));
        AddLoadRows(added);
        LoadWidgetScrollChanged(m_pLoadScrollBar->value());
        m_pLoadScrollBar->setMaximum(qMax(0, m_pLoadScrollBar->maximum() - added));
        return;
    }
    const int removed = oldCount - newCount;
    for (int i = 0; i < removed; ++i)
        delete m_pLoadTree->takeTopLevelItem(newCount);
    m_pLoadScrollBar->setMaximum(m_pLoadScrollBar->maximum() + removed);
}

QString CMainUI::LoadListCategory()
{
    static const QString category = tr("Library Music");
    return category;
}

// The first song of a list: the rows that fit are counted anew.
void CMainUI::StartLoadList()
{
    m_iLoadItemFixNum = RowsThatFit(m_pLoadTree->height());
    QResizeEvent relayout(size(), size());
    resizeEvent(&relayout);
    m_bLoadListFull = false;
}

// The list shows at most the rows that fit; later songs only lengthen the
// list behind it and the scroll bar's range.
void CMainUI::AddLoadListSong(const QString& location)
{
    const QString category = LoadListCategory();
    m_strLoadName << category << location;
    ++g_iMusicNum;
    if (!m_bLoadListFull) {
        if (g_iMusicNum > m_iLoadItemFixNum) {
            m_bLoadListFull = true;
            m_pLoadScrollBar->show();
        } else {
            AddLoadRows(1);
            QTreeWidgetItem* row = m_pLoadTree->topLevelItem(m_pLoadTree->topLevelItemCount() - 1);
            row->setText(1, category);
            row->setText(2, location);
        }
    }
    if (m_bLoadListFull)
        m_pLoadScrollBar->setMaximum(g_iMusicNum - m_iLoadItemFixNum);
}

void CMainUI::AddLoadRows(int count)
{
    for (int i = 0; i < count; ++i)
        m_pLoadTree->addTopLevelItem(NewLoadRow());
}

void CMainUI::DelelteLoadTreeItem()
{
    if (!m_pLoadTree)
        return;
    for (int i = m_pLoadTree->topLevelItemCount() - 1; i >= 0; --i)
        delete m_pLoadTree->takeTopLevelItem(i);
    m_pLoadTree->clear();
    m_strLoadName.clear();
    g_iMusicNum = 0;
    m_pLoadScrollBar->setMaximum(0);
    m_pLoadScrollBar->hide();
}
