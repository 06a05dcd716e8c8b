// Removing the marked duplicates into the trash on the apply thread, with
// pause and stop, and undoing one removal from its row.
#include "reporter/duplicate.h"

#include "common.h"
#include "duplicaterows.h"
#include "reporter/reportlists.h"
#include "reporter/storagefailure.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QIcon>
#include <QMessageBox>
#include <QMutexLocker>
#include <QStringList>

using namespace duprows;

namespace {

// One transaction for a whole removal or undo; what was done is committed
// on every way out, a stop included. Its end also writes the library file,
// so the file holds the removal when the removal ends. End() gives the
// end's result to a caller that tells the user; a way out the user is no
// longer waiting for (a stop) only logs it.
class CRemovalTransaction
{
public:
    explicit CRemovalTransaction(CMusicLink* link) : m_pLink(link) { m_pLink->DBTransaction(false); }
    ~CRemovalTransaction() { End(); }
    CRemovalTransaction(const CRemovalTransaction&) = delete;
    CRemovalTransaction& operator=(const CRemovalTransaction&) = delete;

    // 0, or the code of a commit rolled back or a library file not rewritten.
    int End()
    {
        if (m_bEnded)
            return m_iResult;
        m_bEnded = true;
        m_iResult = m_pLink->DBTransaction(true);
        if (m_iResult != 0)
            WriteUILog(QStringLiteral("The end of a removal or undo failed:%1").arg(m_iResult));
        return m_iResult;
    }

private:
    CMusicLink* m_pLink;
    bool m_bEnded = false;
    int m_iResult = 0;
};

} // namespace

// When the removal's or undo's thread is done with the page; its row
// updates were queued before, so the GUI thread has seen them all when
// this lets the next removal or undo in.
class CDuplicate::CRemovingEnd
{
public:
    explicit CRemovingEnd(CDuplicate* page) : m_pPage(page) {}
    ~CRemovingEnd()
    {
        CDuplicate* page = m_pPage;
        QMetaObject::invokeMethod(page, [page] { page->m_bRemoving = false; }, Qt::QueuedConnection);
    }
    CRemovingEnd(const CRemovingEnd&) = delete;
    CRemovingEnd& operator=(const CRemovingEnd&) = delete;

private:
    CDuplicate* m_pPage;
};

void CDuplicate::PrepareRemove()
{
    StopPlay();
    showPendingRows(true);
    QVector<RemoveGroup> plan;
    plan.reserve(m_pDuplicateTree->topLevelItemCount());
    for (int g = 0; g < m_pDuplicateTree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = m_pDuplicateTree->topLevelItem(g);
        RemoveGroup taken;
        taken.checked = isRowChecked(group);
        taken.songs.reserve(group->childCount());
        for (int c = 0; c < group->childCount(); ++c) {
            auto* song = static_cast<CTreeItem*>(group->child(c));
            taken.songs.append(RemoveSong{song, song->GetID(), isRowChecked(song), isRowEnabled(song)});
        }
        plan.append(std::move(taken));
    }
    m_removeHandshake.Begin();
    QMutexLocker lock(&m_mutexRemove);
    m_removePlan = std::move(plan);
    m_bPlanReady = true;
    m_iPlanGeneration = m_iGeneration;
    m_bRemoving = true;
}

bool CDuplicate::takeRemovePlan(QVector<RemoveGroup>& plan, int& generation)
{
    QMutexLocker lock(&m_mutexRemove);
    if (!m_bPlanReady)
        return false;
    m_bPlanReady = false;
    generation = m_iPlanGeneration;
    plan = std::move(m_removePlan);
    m_removePlan.clear();
    return true;
}

bool CDuplicate::stopRequested()
{
    return !m_removeHandshake.WaitForTurn();
}

void CDuplicate::RemoveDuplicate()
{
    WriteUILog(QStringLiteral("Start RemoveDuplicate()"));
    const CRemovingEnd removingEnd(this);
    m_iRemovalEnded = 0;
    m_iRemovalStayed = 0;
    m_iRemovalStayedCode = 0;
    m_iRemovalMoved = 0;
    QVector<RemoveGroup> plan;
    int generation = 0;
    // The rows are the GUI thread's: without the ones PrepareRemove took
    // there is nothing this thread may look at.
    if (!takeRemovePlan(plan, generation) || !m_pMusicLink) {
        WriteUILog(QStringLiteral("RemoveDuplicate: no rows were taken for the removal"));
        QMetaObject::invokeMethod(this, &CDuplicate::updateRemove, Qt::QueuedConnection);
        return;
    }

    int removed = 0;
    int stayed = 0;
    int stayedCode = 0;
    int ended = 0;
    {
        CRemovalTransaction transaction(m_pMusicLink);
        for (const RemoveGroup& group : plan) {
            if (stopRequested())
                return;
            if (!group.checked)
                continue;
            int remaining = 0;
            for (const RemoveSong& song : group.songs)
                remaining += song.enabled ? 1 : 0;
            const int remainingBefore = remaining;
            for (const RemoveSong& song : group.songs) {
                if (stopRequested())
                    return;
                if (!song.marked || !song.enabled)
                    continue;
                if (const int result = m_pMusicLink->ApplyiTunesMusicInfo_Temp(song.track, AC_DELETE); result != 0) {
                    if (stayed++ == 0)
                        stayedCode = result;
                    continue;
                }
                m_pMusicLink->SetMusicState(song.track, m_pMusicLink->GetMusicState(song.track) | MS_REMOVED);
                CTreeItem* row = song.row;
                QMetaObject::invokeMethod(this, [this, row, generation] { markRemoved(row, generation); },
                                          Qt::QueuedConnection);
                emit AddFixMissNum(1);
                ++removed;
                --remaining;
            }
            // A group down to one song is resolved: its last weight comes
            // back once, when this press brought it there, and goes again
            // when this press took that last song too.
            if (remaining != remainingBefore) {
                if (remaining == 1)
                    emit AddFixMissNum(1);
                else if (remainingBefore == 1)
                    emit AddFixMissNum(-1);
            }
        }
        ended = transaction.End();
    }
    m_iRemovalEnded = ended;
    m_iRemovalStayed = stayed;
    m_iRemovalStayedCode = stayedCode;
    m_iRemovalMoved = removed;
    emit StartFixAll(tr("Removed %1 duplicate(s). If not sure to remove, you can undo the removal.").arg(removed));
    // The songs that stayed are still marked, and a removal whose end did
    // not land may be pressed again: its end is made again, and the
    // library file written again. Looked at once the rows of the songs
    // that went are grey.
    QMetaObject::invokeMethod(this, &CDuplicate::updateRemove, Qt::QueuedConnection);
    WriteUILog(QStringLiteral("End RemoveDuplicate()"));
}

QString CDuplicate::RemovalFailureText() const
{
    QStringList parts;
    if (const int stayed = m_iRemovalStayed; stayed > 0)
        parts << CStorageFailure::RemovalSongsStayed(stayed, m_iRemovalStayedCode);
    if (const int ended = m_iRemovalEnded; ended != 0)
        parts << CStorageFailure::RemovalEndFailed(ended);
    return parts.join(QLatin1Char(' '));
}

void CDuplicate::AppleyCondition(tagCtlState state, bool wake)
{
    if (state == CTL_PAUSE)
        m_removeHandshake.Pause();
    else if (state == CTL_RUN && wake)
        m_removeHandshake.Resume();
}

void CDuplicate::Quit()
{
    m_removeHandshake.Quit();
}

void CDuplicate::markRemoved(CTreeItem* row, int generation)
{
    if (generation != m_iGeneration)
        return;
    row->setFlags(row->flags() & ~Qt::ItemIsEnabled);
    row->setIcon(kColUndo, SharedIcon(g_pReset));
    paintRow(row, removedColor(), false);
}

void CDuplicate::undoRemoval(CTreeItem* row)
{
    // The removal's rows and counts were taken when it started; an undo in
    // the middle of it would put them out of step. One undo at a time.
    if (m_bRemoving || !m_pMusicLink)
        return;
    emit UndoRequested(row);
}

void CDuplicate::PrepareUndo(QTreeWidgetItem* row)
{
    auto* song = static_cast<CTreeItem*>(row);
    QMutexLocker lock(&m_mutexRemove);
    m_undo = UndoSong{song, song->GetID(), m_iGeneration};
    m_bUndoReady = true;
    m_bRemoving = true;
}

void CDuplicate::UndoRemoval()
{
    const CRemovingEnd removingEnd(this);
    UndoSong undo;
    {
        QMutexLocker lock(&m_mutexRemove);
        if (!m_bUndoReady || !m_pMusicLink)
            return;
        m_bUndoReady = false;
        undo = m_undo;
    }
    bool restored = false;
    QString persistentId;
    int ended = 0;
    {
        // Ends as a removal does: the library file holds the song again
        // when the undo has ended, not at the next removal or the
        // library's close.
        CRemovalTransaction transaction(m_pMusicLink);
        restored = m_pMusicLink->ApplyiTunesMusicInfo_Temp(undo.track, AC_RESTORE) == 0;
        if (restored) {
            m_pMusicLink->SetMusicState(undo.track, m_pMusicLink->GetMusicState(undo.track) & ~MS_REMOVED);
            // Back in the library, the song has a new ID.
            const tagMMusicInfo* info = nullptr;
            if (m_pMusicLink->GetMusicInfo(undo.track, &info, INFO_NEW) == 0 && info)
                persistentId = info->strPersistentID;
        }
        ended = transaction.End();
    }
    QMetaObject::invokeMethod(this, [this, undo, restored, persistentId, ended] {
        undoEnded(undo, restored, persistentId, ended);
    }, Qt::QueuedConnection);
}

void CDuplicate::undoEnded(const UndoSong& undo, bool restored, const QString& persistentId, int ended)
{
    if (undo.generation != m_iGeneration)
        return;
    if (!restored) {
        QMessageBox::information(this, tr("Restore music failed"),
                                 tr("Undo remove failed. No remove history found in the Zorva_Trash."),
                                 QMessageBox::Ok);
        return;
    }
    CTreeItem* row = undo.row;
    QTreeWidgetItem* group = row->parent();
    const int songs = group->childCount();
    int removed = 0;
    for (int c = 0; c < songs; ++c)
        removed += isRowEnabled(group->child(c)) ? 0 : 1;
    if (removed < songs)
        emit AddFixMissNum(-1);
    if (songs - removed == 1)
        emit AddFixMissNum(-1);

    row->setFlags(row->flags() | Qt::ItemIsEnabled);
    row->setIcon(kColUndo, SharedIcon(g_pIconNull));
    paintRow(row, markedColor(), true);
    if (!persistentId.isNull())
        row->SetPersistentID(persistentId);
    if (ended != 0)
        emit StartFixAll(CStorageFailure::UndoEndFailed(ended));
    // The song is back and still marked.
    updateRemoveLater();
}
