// The duplicate page's result tree: rows handed over by the analysis
// thread and shown on the GUI thread in slices, the score of a reopened
// result, marking and the clicks on a row's cells.
#include "reporter/duplicate.h"

#include "common.h"
#include "duplicaterows.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QCursor>
#include <QHeaderView>
#include <QElapsedTimer>
#include <QEvent>
#include <QIcon>
#include <QMessageBox>
#include <QMouseEvent>
#include <QTimer>

#include <iterator>

using namespace duprows;

namespace {

// The longest the GUI thread spends on new rows before it lets other
// events in.
constexpr int kSliceMs = 15;

CTreeItem* treeItem(QTreeWidgetItem* row)
{
    return static_cast<CTreeItem*>(row);
}

} // namespace

void CDuplicate::AddDuplicateItem(void* track, int absence, int state, long long repeatId)
{
    if (!track || !(absence & AT_DUPLICATE) || !m_pMusicLink)
        return;
    const tagMMusicInfo* info = nullptr;
    if (m_pMusicLink->GetMusicInfo(track, &info, INFO_NEW) != 0 || !info)
        return;
    PendingRow row;
    row.track = track;
    row.absence = absence;
    row.state = state;
    row.repeatId = repeatId;
    row.ownRepeatId = m_pMusicLink->GetMusicRepeatID(track);
    row.name = info->strName;
    CFormatSize(info->strSize, row.size);
    CFormatTime(info->strTotalTime, row.time);
    row.location = info->strLocation;
    row.bitRate = info->strBitRate + QStringLiteral("kbps");
    row.persistentId = info->strPersistentID;
    {
        QMutexLocker lock(&m_mutexPending);
        m_pending.append(std::move(row));
        if (m_bDraining)
            return;
        m_bDraining = true;
    }
    QMetaObject::invokeMethod(this, &CDuplicate::drainPending, Qt::QueuedConnection);
}

void CDuplicate::drainPending()
{
    showPendingRows(false);
}

bool CDuplicate::hasRowsToShow()
{
    if (!m_showing.empty())
        return true;
    QMutexLocker lock(&m_mutexPending);
    return !m_pending.isEmpty();
}

// Shows the rows handed over so far, in their order: a slice at a time,
// or all of them when untilDone. Once it runs, the analysis thread posts
// no more; the next slice comes from a timer, so that input, painting and
// other timers get their turn between slices.
void CDuplicate::showPendingRows(bool untilDone)
{
    QElapsedTimer clock;
    clock.start();
    int shown = 0;
    for (;;) {
        QVector<PendingRow> handed;
        {
            QMutexLocker lock(&m_mutexPending);
            handed.swap(m_pending);
        }
        std::move(handed.begin(), handed.end(), std::back_inserter(m_showing));
        while (!m_showing.empty()) {
            showRow(m_showing.front());
            m_showing.pop_front();
            if (!untilDone && ++shown % 32 == 0 && clock.elapsed() >= kSliceMs) {
                m_pDrainTimer->start();
                return;
            }
        }
        QMutexLocker lock(&m_mutexPending);
        if (m_pending.isEmpty()) {
            m_bDraining = false;
            break;
        }
    }
    m_pDrainTimer->stop();
    if (m_bCalculateWaiting) {
        m_bCalculateWaiting = false;
        runCalculate();
    }
}

// The group a handed-over track joins, searched as the groups were made:
// the first one whose first track is this track (known: nothing to add)
// or whose first track's repeat ID is the track's. Null: a new group.
CTreeItem* CDuplicate::groupFor(const PendingRow& pending, bool& known)
{
    known = false;
    const auto head = m_groupsByHead.constFind(pending.track);
    const auto match = m_groupsByRepeat.constFind(pending.repeatId);
    const bool hasHead = head != m_groupsByHead.constEnd();
    const bool hasMatch = match != m_groupsByRepeat.constEnd();
    if (hasHead && (!hasMatch || head->order <= match->order)) {
        known = true;
        return nullptr;
    }
    return hasMatch ? match->row : nullptr;
}

CTreeItem* CDuplicate::makeGroup(const PendingRow& pending)
{
    auto* group = new CTreeItem(nullptr);
    group->SetCtlParam(pending.track, pending.absence);
    group->SetPath(pending.location);
    group->SetPersistentID(pending.persistentId);
    group->setCheckState(kColCheck, Qt::Checked);
    group->setText(kColName, pending.name);
    group->setText(kColSize, QStringLiteral("0") + tr(" duplicates"));
    group->setSizeHint(kColCheck, QSize(80, 25));
    m_pDuplicateTree->addTopLevelItem(group);
    group->setExpanded(true);
    const GroupRef ref{group, m_iGroupOrder++};
    m_groupsByHead.insert(pending.track, ref);
    if (!m_groupsByRepeat.contains(pending.ownRepeatId))
        m_groupsByRepeat.insert(pending.ownRepeatId, ref);
    return group;
}

void CDuplicate::showRow(const PendingRow& pending)
{
    bool known = false;
    CTreeItem* group = groupFor(pending, known);
    if (known)
        return;
    if (!group)
        group = makeGroup(pending);

    // Everything is set before the row goes in, so the tree hears of it once.
    auto* song = new CTreeItem(nullptr);
    song->SetCtlParam(pending.track, pending.absence);
    song->SetPath(pending.location);
    song->SetPersistentID(pending.persistentId);
    song->setText(kColName, pending.name);
    song->setText(kColSize, pending.size);
    song->setText(kColTime, pending.time);
    song->setText(kColPath, pending.location);
    song->setText(kColBitRate, pending.bitRate);
    song->setSizeHint(kColCheck, QSize(80, 25));
    song->setIcon(kColReveal, SharedIcon(g_pOpen));
    const bool marked = pending.state & MS_REMOVE;
    song->setCheckState(kColCheck, marked ? Qt::Checked : Qt::Unchecked);
    if (marked)
        paintRow(song, markedColor(), false);
    if (pending.state & MS_REMOVED) {
        song->setFlags(song->flags() & ~Qt::ItemIsEnabled);
        paintRow(song, removedColor(), false);
        song->setIcon(kColUndo, SharedIcon(g_pReset));
    }
    // The songs that stay lead their group.
    if (marked)
        group->addChild(song);
    else
        group->insertChild(0, song);
    group->setText(kColSize, QString::number(group->childCount()) + tr(" duplicates"));
}

void CDuplicate::Calculate()
{
    if (hasRowsToShow()) {
        m_bCalculateWaiting = true;
        m_pDrainTimer->start();
        return;
    }
    runCalculate();
}

void CDuplicate::runCalculate()
{
    for (int g = 0; g < m_pDuplicateTree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = m_pDuplicateTree->topLevelItem(g);
        int removed = 0;
        for (int c = 0; c < group->childCount(); ++c) {
            if (!isRowEnabled(group->child(c))) {
                ++removed;
                emit AddFixMissNum(1);
            }
        }
        if (removed + 1 == group->childCount())
            emit AddFixMissNum(1);
    }
    // Sorting comes on without a column: the groups keep their order, the
    // kept songs lead, until the user picks a column to sort by.
    m_pDuplicateTree->header()->setSortIndicator(-1, Qt::AscendingOrder);
    m_pDuplicateTree->setSortingEnabled(true);
    updateRemove();
}

bool CDuplicate::hasSongsToRemove() const
{
    for (int g = 0; g < m_pDuplicateTree->topLevelItemCount(); ++g) {
        const QTreeWidgetItem* group = m_pDuplicateTree->topLevelItem(g);
        if (!group || !isRowChecked(group))
            continue;
        for (int c = 0; c < group->childCount(); ++c) {
            const QTreeWidgetItem* song = group->child(c);
            if (song && isRowChecked(song) && isRowEnabled(song))
                return true;
        }
    }
    return false;
}

void CDuplicate::updateRemoveLater()
{
    if (m_bRemoveUpdatePosted)
        return;
    m_bRemoveUpdatePosted = true;
    QMetaObject::invokeMethod(this, &CDuplicate::updateRemove, Qt::QueuedConnection);
}

// Remove offers what a press would do: move a marked song, or make again
// the end of a removal that did not land.
void CDuplicate::updateRemove()
{
    m_bRemoveUpdatePosted = false;
    emit SetRemoveEnable(m_iRemovalEnded != 0 || hasSongsToRemove());
}

void CDuplicate::ItemSelected(QTreeWidgetItem* row, int)
{
    if (!row || !isRowEnabled(row))
        return;
    if (!isSongRow(row)) {
        updateRemoveLater();
        return;
    }
    QTreeWidgetItem* group = row->parent();
    int unmarked = 0;
    for (int c = 0; c < group->childCount(); ++c) {
        const QTreeWidgetItem* song = group->child(c);
        if (!song || !isRowChecked(song))
            ++unmarked;
    }
    if (unmarked == 0
        && QMessageBox::question(this, QString(), tr("Are you sure you want to remove all files?"),
                                 QMessageBox::Yes | QMessageBox::No)
            != QMessageBox::Yes)
        row->setCheckState(kColCheck, Qt::Unchecked);

    const bool marked = isRowChecked(row);
    paintRow(row, marked ? markedColor() : plainColor(), true);
    updateRemoveLater();

    void* track = treeItem(row)->GetID();
    const int state = m_pMusicLink ? m_pMusicLink->GetMusicState(track) : -1;
    if (state < 0 || bool(state & MS_REMOVE) == marked)
        return;
    m_pMusicLink->SetMusicState(track, marked ? (state | MS_REMOVE) : (state & ~MS_REMOVE));
}

void CDuplicate::ItemClicked(QTreeWidgetItem* row, int column)
{
    if (!row)
        return;
    switch (column) {
    case kColCheck:
        // The click has changed the box already.
        ItemSelected(row, kColCheck);
        break;
    case kColPlay:
        if (isSongRow(row) && isRowEnabled(row)) {
            m_pDuplicateTree->setCurrentItem(row);
            PlayMusic();
        }
        break;
    case kColUndo:
        if (!isRowEnabled(row))
            undoRemoval(treeItem(row));
        break;
    case kColReveal:
        if (isSongRow(row) && isRowEnabled(row))
            ShowMusicInWindow(row->text(kColPath));
        break;
    default:
        break;
    }
}

void CDuplicate::CurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous)
{
    if (isSongRow(current)) {
        if (current != m_pPlayItem)
            current->setIcon(kColPlay, SharedIcon(current->text(kColPath).isEmpty() ? g_pIconNull : g_pIconPlay));
        else if (m_iPlayState == PS_STOPPED)
            current->setIcon(kColPlay, SharedIcon(g_pIconPlay));
    }
    if (previous && previous != current && isSongRow(previous)
        && !(previous == m_pPlayItem && m_iPlayState == PS_PLAYING))
        previous->setIcon(kColPlay, SharedIcon(g_pIconNull));
}

bool CDuplicate::eventFilter(QObject* watched, QEvent* event)
{
    if (watched != m_pDuplicateTree->viewport())
        return QWidget::eventFilter(watched, event);
    if (event->type() == QEvent::Leave && m_bHandCursor) {
        m_bHandCursor = false;
        setCursor(Qt::ArrowCursor);
        return true;
    }
    if (event->type() != QEvent::MouseMove)
        return QWidget::eventFilter(watched, event);
    const QPoint pos = static_cast<QMouseEvent*>(event)->position().toPoint();
    QTreeWidgetItem* row = m_pDuplicateTree->itemAt(pos);
    const int column = m_pDuplicateTree->header()->logicalIndexAt(pos.x());
    bool wanted = false;
    if (isSongRow(row)) {
        wanted = (column == kColPlay && !row->icon(kColPlay).isNull())
            || (column == kColUndo && !isRowEnabled(row)) || (column == kColReveal && isRowEnabled(row));
    }
    if (wanted == m_bHandCursor)
        return QWidget::eventFilter(watched, event);
    m_bHandCursor = wanted;
    setCursor(wanted ? Qt::PointingHandCursor : Qt::ArrowCursor);
    return true;
}
