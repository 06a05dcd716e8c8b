// The analysis report page: the problem categories, their lists, the
// fixing run, the apply and the score. Lives on the GUI thread; the main
// window's analysis and apply threads call the operations marked so.
#pragma once

#include "cadenzo.h"
#include "player/PlayUnit.h"
#include "player/playstate.h"
#include "reporter/converterslots.h"
#include "reporter/reportinbox.h"
#include "reporter/reporttypes.h"
#include "reporter/storagefailure.h"
#include "vessolin/pausehandshake.h"

#include <QColor>
#include <QList>
#include <QMap>
#include <QString>
#include <QThread>
#include <QVector>
#include <QWidget>

#include <array>
#include <atomic>
#include <memory>

class CAnalyReport;
class CArtworkList;
class CConverterThread;
class CFailedTreeWidget;
class CListItem;
class CListWidget;
class CModifyMusicInfo;
class CMusicLink;
class CShowMaxPicture;
class CTreeItem;
class CTypeTreeItem;
class QListWidgetItem;
class QSplitter;
class QStackedWidget;
class QTreeWidget;
class QTreeWidgetItem;
struct CMoveItem;
struct CMovePlan;
struct CReportRow;
struct CReturnDecision;

// Reveals a file in the file manager; an empty path does nothing.
void ShowMusicInWindow(const QString& path);
// The preview player's callback for the pages; user is the CMusicLink. The
// end of a preview becomes the bridge's SendPlayOver.
void PlayCallBrakPlay(unsigned int progress, tagPlayUnitState state, void* user);

// Moves the failed tracks into "Unrecognized Songs" (runs the page's pass).
class CMoveFailedThread : public QThread
{
    Q_OBJECT
public:
    explicit CMoveFailedThread(CAnalyReport* report);
    ~CMoveFailedThread() override;
signals:
    void SendMoveOK();
protected:
    void run() override;
private:
    CAnalyReport* m_pReport;
};

// Brings recognized songs back to their categories (runs the page's pass).
class CFixFailedThread : public QThread
{
    Q_OBJECT
public:
    explicit CFixFailedThread(CAnalyReport* report);
    ~CFixFailedThread() override;
signals:
    void SendFixOK();
protected:
    void run() override;
private:
    CAnalyReport* m_pReport;
};

class CAnalyReport : public QWidget
{
    Q_OBJECT
    friend class CMoveFailedThread;
    friend class CFixFailedThread;
public:
    enum EFixState { FS_IDLE = 0, FS_RUN = 1, FS_PAUSE = 2 };

    // ---- layout and lifecycle (analyreport.cpp) ----
    explicit CAnalyReport(QWidget* parent);
    // Stops every thread of the page, then frees it.
    ~CAnalyReport() override;

    // Binds the engine bridge; called once, right after it is made.
    void SetMusicLink(CMusicLink* link);
    // While set, nothing is added and the fixing, moving and apply loops stop.
    void SetExitFlag(bool exit);
    // Sets the exit flag through the apply loop's handshake: a paused apply
    // wakes to see it. SetExitFlag(false) clears it for the next run.
    void Quit();
    // Results wait to be written: found, edited or brought back and not
    // applied yet, whichever run or project brought them, a song the last
    // apply could not write, or one an apply has not reached. Reads the
    // engine's tracks, no disk.
    bool IsNeedApply() const;
    // Stops every thread of the page and empties it; blocks until they end.
    void StopWorking();
    // Empties every list and resets the run's counters and flags; deliveries
    // of the run still queued are dropped.
    void ClearReport();

    // ---- population and score (analyreport_population.cpp) ----
    // Analysis thread: one analysed track, in track order. The engine is
    // read here; the widget work happens later on the GUI thread, in call
    // order, and always before ShowReport and CalculateScore. Returns 0.
    int AddReportItem(void* track, int absence, int state, long long repeatId, bool show);
    // GUI thread: one row of kind 1 unwritable, 2 artist, 3 album appended
    // to tree. -1 without a working copy, 0 without a bridge.
    int AddTreeItem(void* track, int absence, QTreeWidget* tree, int kind, Qt::CheckState check, bool fixed);
    // GUI thread: a grid tile for a track back from the unrecognized list.
    void AddArtworkItem_temp(void* track, int absence, Qt::CheckState check);
    // Recounts the open problems, reports them, returns their number. GUI
    // thread. While deliveries of AddReportItem are still queued, the count
    // is queued behind them and -1 returned; the signals follow then.
    int CalculateScore();

    // ---- categories and navigation (analyreport_categories.cpp) ----
    // Rebuilds the category rows; bSelect loads the first song into the editor.
    void ReflashMusicNum(bool bSelect);
    // Hides the grid while the rows are rebuilt. Queued behind deliveries of
    // AddReportItem still on their way, as CalculateScore is.
    void ShowReport(bool bSelect);

    // ---- fixing (analyreport_fixing.cpp, _unrecognized.cpp) ----
    void SetArtworkState(tagCtlState state);
    void SetFixState(EFixState state);
    // One scheduler step: fills the free converter slots.
    void FixAnalyList();
    // The end of one online lookup; only the track is used.
    void FixCallBrack(void* track, int absence, int fixType, int state);
    // The first free converter slot, -1 when none.
    int CheckMangaList();

    // ---- apply (analyreport_apply.cpp) ----
    // GUI thread, right before the apply thread runs AppleyiTunes: lets the
    // apply start unpaused.
    void PrepareApply();
    // Apply thread: writes every track's results in one transaction.
    void AppleyiTunes();
    // CTL_PAUSE pauses the apply loop; CTL_RUN with wake resumes it.
    void AppleyCondition(tagCtlState state, bool wake);
    // What the last apply could not write, in words, with the reasons;
    // empty when it wrote everything and its end landed. Read once the
    // apply thread has ended.
    QString ApplyFailureText() const;
    // Whether the last apply's work reached the disk: its end (the commit
    // and the library file's rewrite) succeeded and no song's write found
    // the disk full. Songs refused for other reasons do not count here.
    bool ApplyLanded() const { return m_iApplyEnded == 0 && m_iApplyRefused[CStorageFailure::SONG_NO_SPACE] == 0; }

    // Stops the preview the page started and forgets the editor's track.
    void StopPlay();

    // Written by the main window's analysis thread before and while it
    // hands tracks over.
    std::atomic<int> m_iAnalyzeMask{0};
    std::atomic<int> m_iProblemNum{0};

    // Read-only views for the window and its tests.
    CListWidget* ArtworkList() const { return m_pListArtwork; }
    CFailedTreeWidget* ArtistTree() const { return m_pTreeArtist; }
    CFailedTreeWidget* AlbumTree() const { return m_pTreeAlbum; }
    CFailedTreeWidget* UnwritableTree() const { return m_pTreeNotExist; }
    CFailedTreeWidget* UnrecognizedTree() const { return m_pTreeFailed; }
    CModifyMusicInfo* ModifyInfo() const { return m_pModifyInfo; }
    QTreeWidget* TypeTree() const { return m_pTypeTree; }
    QStackedWidget* ListStack() const { return m_pListStack; }
    CTypeTreeItem* TypeRow(int kind) const;
    EFixState FixState() const { return m_eFixState; }
    // Quit() (or SetExitFlag) has told the page's loops to stop. Any thread.
    bool ExitRequested() const { return m_bExit; }
    tagCtlState CategoryState(int kind) const;
    const tagTrack& Slot(int index) const { return m_track[index]; }
    // Deliveries of AddReportItem the GUI thread has not taken yet.
    int PendingDeliveries() const { return m_inbox.Pending(); }
    // The page's run number; a clear starts a new one.
    int RunNumber() const { return m_inbox.Run(); }

signals:
    void UpdateProcess(int iPross);
    void ReportFixInfo(int iMissNum, int iPross);
    void StartFixAll(QString strName);
    void EndFialedState(bool f);
    void ReportFixAllComplete();
    void EditInfoHide();
    // The failed tracks are about to move, and have moved; the main window
    // connects these to its own slots of the same names.
    void MoveFailedItemState();
    void MoveFailedItemStateOK();

public slots:
    void StartFixFailed();
    void CurrentItemChanged(QTreeWidgetItem* current, QTreeWidgetItem* previous);
    void CurrentItemChanged(QListWidgetItem* current, QListWidgetItem* previous);
    void AcceptConverInfo(void* pItem, bool bState, int iFixType);
    void EditFixItem(void* pItem);
    void ClickType(QTreeWidgetItem* pItem, QTreeWidgetItem* pPrevious);
    void MoveFailedItemOK();
    void UpdataSucessItemOK();
    bool IsNeedFix();
    void ArtworkChangeChecked(QListWidgetItem* item);
    void ArtistChangeChecked(QTreeWidgetItem* item, int column);
    void AlbumChangeChecked(QTreeWidgetItem* item, int column);
    void NotExistChangeChecked(QTreeWidgetItem* item, int column);
    void ArtworkUncheckedAll(int unchecked);
    void ArtistUncheckedAll(int unchecked);
    void AlbumUncheckedAll(int unchecked);
    void NotExistUncheckedAll(int unchecked);
    void SortFailedTree(int column);
    // Opens the artwork chooser beside a fixed tile (the grid's list button).
    void SelectArtworkList(QListWidgetItem* pItem);

    // ---- preview, large picture and reveal (analyreport_preview.cpp) ----
    // The tile's current artwork enlarged in a 376 x 376 popup.
    void ShowMaxPicture(QListWidgetItem* pItem);
    // PS_PLAYING previews the row's file (a second press stops it), any
    // other state stops; "Playback failure!" when it cannot start.
    void PlayMusic(QTreeWidgetItem* item, tagPlayState state);
    // The end of the page's preview: the row's icon goes back to play.
    void PlayOver();
    // Reveals the path in column 6 of an unwritable row, unless fixing runs.
    void OpenRepeatMusicPath(QTreeWidgetItem* item, int column);

protected:
    bool eventFilter(QObject* obj, QEvent* ev) override;

private:
    // layout and lifecycle
    void buildTypeTree();
    void buildArtworkGrid();
    CFailedTreeWidget* buildCategoryTree(const QString& name);
    void buildUnrecognizedTree(QWidget* parent);
    void buildLayout();
    void connectLists();
    // The slot's converter; null: none.
    CConverterThread* converter(int slot) const;
    void stopConverters();
    void takeTypeRows();
    // A slice of the rows cleared reports took out of their trees.
    void deleteClearedRows();

    // the track editor (analyreport_editor.cpp)
    void editorSetItem(int absence, void* track);
    void editorForget();
    void editorShow(int absence, void* track);
    bool editorOpen() const;  // any thread

    // preview (analyreport_preview.cpp)
    int leftPaneWidth() const;

    // population (analyreport_population.cpp)
    void showNow(bool bSelect);
    int scoreNow();
    struct NewRows;
    void applyEntries(const CReportInbox::Batch& entries);
    void applyEntry(const CReportDelivery& entry, NewRows& rows);
    // Build a row; appended at once unless rows collects it for one insert.
    CListItem* appendArtworkItem(const CReportRow& row, Qt::CheckState check, NewRows* rows = nullptr);
    CTreeItem* appendTreeItem(const CReportRow& row, QTreeWidget* tree, int kind, Qt::CheckState check, bool fixed,
                              NewRows* rows = nullptr);
    void changeChecked(void* track, int bit, int check);
    int openInUnrecognized() const;

    // categories (analyreport_categories.cpp)
    int listCount(int kind) const;
    QString summaryText(int kind, int page) const;
    QWidget* listOfKind(int kind) const;
    void loadEditorFromList(QWidget* list);
    void selectFirstSong(int kind);

    // fixing (analyreport_fixing.cpp)
    void FixArtwork();
    void FixArtist();
    void FixAlbum();
    void FixNotExist();
    void FixTreeCategory(int kind);
    bool settleArtwork(CListItem* item, int engineState);
    bool settleTree(CTreeItem* item, int kind, int engineState);
    void markTreeFailed(CTreeItem* item, int fieldColumn);
    // The title, artist and album found for a category row.
    void showFoundTexts(CTreeItem* item, const CReportRow& row);
    // A category row whose field was found: done, the field black, the
    // tick in stateColumn, one more fixed row of tree.
    void markTreeFixed(CTreeItem* item, CFailedTreeWidget* tree, int fieldColumn, int stateColumn = 5);
    void finishCategory(int kind);
    void reportProgress();
    QString wavPathFor(const QString& persistentId) const;
    void acceptArtworkConversion(CListItem* item, bool ok, int fixType);
    void acceptTreeConversion(CTreeItem* item, bool ok, int fixType);
    tagCtlState& stateOf(int kind);

    // unrecognized (analyreport_unrecognized.cpp)
    void FixFailed();

    // row updates (analyreport_update.cpp)
    void UpateMusicArtworkState(void* track);
    void UpateMusicAttrState(void* track, QTreeWidget* tree, int column, int kind);
    void Failed_UpateAttrState_temp(void* track);

    // moving failed tracks (analyreport_movefailed.cpp): the worker passes
    // read the engine into m_pMovePlan; the completion slots change the lists.
    void snapshotLists();
    void MoveFailedItem();
    void DEL_TREE_ITEM(int kind);
    void GenerateFailed(void* track, int absence, Qt::CheckState check);
    void UpdataSucessItem();
    // GUI thread: true when the row's song is complete and went back.
    bool FailedToSuccess(CTreeItem* item);
    CReturnDecision decideReturn(const CMoveItem& item) const;
    bool applyReturn(CTreeItem* item, const CReturnDecision& decision);
    bool CheckAttList_temp(QTreeWidget* tree, void* track, QString album, QString artist, QString name);
    bool CheckArtworkList_temp(void* track, QString name);
    void applyTreeMoves(CFailedTreeWidget* tree, int kind);
    void rebuildUnrecognized();

    CMusicLink* m_pMusicLink = nullptr;
    std::atomic<bool> m_bExit{false};
    // The apply loop's pause pair: the flag changes and wakes under the
    // mutex the loop holds while it tests and waits, so a resume cannot slip
    // between. One apply loop runs in the process.
    static QMutex g_Applemutex;
    static QWaitCondition g_AppleCond;
    static int iApplePauseThread;  // under g_Applemutex
    // The apply loop's pause and stop: iApplePauseThread, g_AppleCond and g_Applemutex with m_bExit.
    CApplyHandshake m_applyHandshake{g_Applemutex, g_AppleCond, iApplePauseThread, m_bExit};
    std::atomic<bool> m_bNeedApply{false};
    // Songs the running apply, or one stopped before its end, has not
    // reached; set and counted down on the apply thread.
    std::atomic<int> m_iApplyUnreached{0};
    // Tracks the last apply failed to write, counted by cause, and its
    // end's result; set on the apply thread.
    std::array<std::atomic<int>, CStorageFailure::SONG_CAUSES> m_iApplyRefused{};
    std::atomic<int> m_iApplyEnded{0};
    int m_iFixNum = 0;
    int m_iFixTotal = 0;

    QSplitter* m_pSplitter = nullptr;
    QTreeWidget* m_pTypeTree = nullptr;
    QVector<CTypeTreeItem*> m_vecTypeItem;
    QStackedWidget* m_pListStack = nullptr;
    CArtworkList* m_pArtworkChooser = nullptr;
    CListWidget* m_pListArtwork = nullptr;
    CFailedTreeWidget* m_pTreeAlbum = nullptr;
    CFailedTreeWidget* m_pTreeArtist = nullptr;
    CFailedTreeWidget* m_pTreeNotExist = nullptr;
    QWidget* m_pRightWidget = nullptr;
    CFailedTreeWidget* m_pTreeFailed = nullptr;
    CModifyMusicInfo* m_pModifyInfo = nullptr;
    CShowMaxPicture* m_pMaxPicture = nullptr;

    tagCtlState m_iArtworkState = CTL_IDLE;
    tagCtlState m_iAlbumState = CTL_IDLE;
    tagCtlState m_iArtistState = CTL_IDLE;
    tagCtlState m_iNotExistState = CTL_IDLE;
    tagCtlState m_iFailedState = CTL_IDLE;
    tagTrack m_track[kConverterSlots];
    CConverterSlots m_slots;  // every write to m_track
    EFixState m_eFixState = FS_IDLE;
    QTreeWidgetItem* m_pPlayItem = nullptr;  // the previewed row
    tagPlayState m_ePlayState = PS_STOPPED;

    QColor m_clrBlue{QStringLiteral("#32a5e6")};
    QColor m_clrRed{QStringLiteral("#ff0000")};
    QColor m_clrBlack{QStringLiteral("#000000")};

    CMoveFailedThread* m_pMoveFailedThread = nullptr;
    QMap<void*, QTreeWidgetItem*> m_mapFailedItem;
    QList<QTreeWidgetItem*> m_clearedRows;  // out of their trees, waiting to be deleted
    std::unique_ptr<CMovePlan> m_pMovePlan;  // between a pass and its completion
    CFixFailedThread* m_pFixFailedThread = nullptr;

    // Deliveries of AddReportItem waiting for the GUI thread, oldest first.
    CReportInbox m_inbox;
};
