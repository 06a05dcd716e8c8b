// The duplicate page: scan options and sources, the result groups,
// removal into the dated trash and undo. GUI thread, but for the
// operations marked for the analysis and apply threads.
#pragma once

#include "musiclink.h"
#include "player/PlayUnit.h"
#include "player/playstate.h"
#include "vessolin/pausehandshake.h"

#include <QDate>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QVector>
#include <QWaitCondition>
#include <QWidget>

#include <atomic>
#include <deque>

class CClearTrashThread;
class CDuplicateWidget;
class CFailedTreeWidget;
class CDuptOptWidget;
class CTreeItem;
class QSplitter;
class QStackedLayout;
class QTimer;
class QTreeWidgetItem;

class CDuplicate : public QWidget
{
    Q_OBJECT
public:
    // link may be null; the real one comes with SetMusicLink.
    CDuplicate(CMusicLink* link, QWidget* parent);
    // Cancels and waits for the history clearing, empties the page, saves
    // the scan options and leaves the preview player.
    ~CDuplicate() override;

    // Right after the bridge was made: its day is the day of this run's trash folder.
    void SetMusicLink(CMusicLink* link);

    // Analysis thread: one duplicate track; shown later on the GUI thread,
    // in the order of the calls.
    void AddDuplicateItem(void* track, int absence, int state, long long repeatId);
    // Reports the copies removed earlier through AddFixMissNum and switches
    // sorting on, once every row handed over is shown.
    void Calculate();
    // 0: the scan options, 1: the result groups.
    void ShowDuplicate(int page);
    // Moves the chosen sources (files and folders) into out; stores the scan options.
    void GetMusicNames(QStringList& out);
    // Clears old removal history, at most once per program run.
    void ClearTrash();

    // GUI thread, right before the apply thread runs RemoveDuplicate: stops
    // the preview, takes the rows and marks the removal works on, and lets
    // the removal start unpaused.
    void PrepareRemove();
    // Apply thread: removes the marked copies taken by PrepareRemove in one
    // transaction; pauses and stops at every group and song.
    void RemoveDuplicate();
    // GUI thread, right before the apply thread runs UndoRemoval: takes the
    // removed row whose undo was asked for by UndoRequested.
    void PrepareUndo(QTreeWidgetItem* row);
    // Apply thread: brings the song taken by PrepareUndo back from the
    // trash in a transaction of its own, whose end rewrites the library
    // file; the row shows it once that has ended.
    void UndoRemoval();
    // CTL_PAUSE pauses the removal; CTL_RUN with wake resumes it.
    void AppleyCondition(tagCtlState state, bool wake);
    // Sets m_bExit through the removal's handshake: a paused removal wakes
    // to see it. StopWorking clears it.
    void Quit();
    // The last removal's end (MMDBTransaction(true)): 0, or the code of a
    // commit that was rolled back or of a library file not rewritten. Read
    // once the apply thread has ended.
    int RemovalEndResult() const { return m_iRemovalEnded; }
    // What the last removal left undone, in words, with the reasons: marked
    // songs that stayed, an end that did not land. Empty when every marked
    // song went and the end landed. Read once the apply thread has ended.
    QString RemovalFailureText() const;
    // The songs the last removal moved into the trash. Read once the apply
    // thread has ended.
    int RemovalMoved() const { return m_iRemovalMoved; }
    // Empties the page and shows the options; clears m_bExit.
    void StopWorking();

    // Stop request for the removal loop; set by Quit.
    std::atomic<bool> m_bExit{false};

signals:
    void SetRemoveEnable(bool enable);
    void AddFixMissNum(int count);
    void StartFixAll(QString text);
    void Complete(const QStringList& paths, const QString& path, EMusicRunMode mode);
    // A removed row's undo icon was clicked while no removal or undo runs.
    void UndoRequested(QTreeWidgetItem* row);

public slots:
    void CurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void ItemClicked(QTreeWidgetItem* row, int column);
    // A row's check box changed: the group takes part or not, a song is
    // marked or not (in the engine's state word).
    void ItemSelected(QTreeWidgetItem* row, int column);
    void PlayOver();
    // Reveals the trash folder of this run's day.
    void OpenTrash();
    void ShowAskMessage(int seconds);

public:
    // Starts or stops the preview of the current row.
    void PlayMusic();
    void StopPlay();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend void DuplicatePlayReport(unsigned int progress, tagPlayUnitState state, void* user);
    class CRemovingEnd;

    // A track read on the analysis thread, waiting to be shown.
    struct PendingRow {
        void* track = nullptr;
        int absence = 0;
        int state = 0;
        long long repeatId = 0;      // the group it joins
        long long ownRepeatId = 0;   // its group's key should it open one
        QString name, size, time, location, bitRate, persistentId;
    };
    struct RemoveSong {
        CTreeItem* row = nullptr;  // a key for the row updates, never read off the GUI thread
        void* track = nullptr;
        bool marked = false;
        bool enabled = false;
    };
    struct RemoveGroup {
        bool checked = false;
        QVector<RemoveSong> songs;
    };
    struct UndoSong {
        CTreeItem* row = nullptr;  // a key for the row update, never read off the GUI thread
        void* track = nullptr;
        int generation = 0;
    };
    struct GroupRef {
        CTreeItem* row = nullptr;
        int order = 0;
    };

    void buildTree();
    void connectParts();
    void drainPending();
    void showPendingRows(bool untilDone);
    bool hasRowsToShow();
    void showRow(const PendingRow& pending);
    CTreeItem* groupFor(const PendingRow& pending, bool& known);
    CTreeItem* makeGroup(const PendingRow& pending);
    void runCalculate();
    void undoRemoval(CTreeItem* row);
    void undoEnded(const UndoSong& undo, bool restored, const QString& persistentId, int ended);
    void markRemoved(CTreeItem* row, int generation);
    // Whether a removal would move a song now: one marked, not removed,
    // in a group whose box is ticked.
    bool hasSongsToRemove() const;
    void updateRemoveLater();
    void updateRemove();
    void previewFailed(QTreeWidgetItem* row);
    bool stopRequested();
    bool takeRemovePlan(QVector<RemoveGroup>& plan, int& generation);

    CMusicLink* m_pMusicLink = nullptr;
    CClearTrashThread* m_pClearTrashThread = nullptr;
    QStackedLayout* m_pStackLayout = nullptr;
    QSplitter* m_pSplitter = nullptr;
    CDuplicateWidget* m_pDuplicateWidget = nullptr;
    CDuptOptWidget* m_pDuptOptWidget = nullptr;
    CFailedTreeWidget* m_pDuplicateTree = nullptr;
    tagPlayState m_iPlayState = PS_STOPPED;
    QTreeWidgetItem* m_pPlayItem = nullptr;
    bool m_bHandCursor = false;
    QDate m_dateOfRun;  // the day the engine files this run's removals under

    bool m_bPause = false;  // under m_mutexRemove
    QWaitCondition m_waitRemove;
    QMutex m_mutexRemove;
    // The removal's pause and stop: m_bPause, m_waitRemove and m_mutexRemove with m_bExit.
    CRemoveHandshake m_removeHandshake{m_mutexRemove, m_waitRemove, m_bPause, m_bExit};
    QVector<RemoveGroup> m_removePlan;  // under m_mutexRemove
    bool m_bPlanReady = false;          // under m_mutexRemove
    int m_iPlanGeneration = 0;          // under m_mutexRemove
    UndoSong m_undo;                    // under m_mutexRemove
    bool m_bUndoReady = false;          // under m_mutexRemove
    // A removal or an undo runs, or its row updates are still on their way.
    std::atomic<bool> m_bRemoving{false};
    std::atomic<int> m_iRemovalEnded{0};  // set on the apply thread
    // Marked songs the last removal could not move or take out of the
    // library, and the engine's answer for the first of them; apply thread.
    std::atomic<int> m_iRemovalStayed{0};
    std::atomic<int> m_iRemovalStayedCode{0};
    std::atomic<int> m_iRemovalMoved{0};
    // An update of Remove is posted: a menu action that unmarks a
    // thousand rows looks at the tree once, after the last of them.
    bool m_bRemoveUpdatePosted = false;

    // Rows handed over by the analysis thread, shown in slices so the GUI
    // thread never stalls on a large result.
    QMutex m_mutexPending;
    QVector<PendingRow> m_pending;  // under m_mutexPending
    bool m_bDraining = false;       // under m_mutexPending: a drain is posted or running
    std::deque<PendingRow> m_showing;  // GUI thread only
    QTimer* m_pDrainTimer = nullptr;   // the next slice
    bool m_bCalculateWaiting = false;
    QHash<long long, GroupRef> m_groupsByRepeat;
    QHash<void*, GroupRef> m_groupsByHead;
    int m_iGroupOrder = 0;
    // Bumped by StopWorking: deliveries of an earlier run are dropped.
    int m_iGeneration = 0;
};
