// The application's one main window: the header with score, progress and
// action buttons, the central pages (load list, report, start screen,
// duplicates), the menus, the support functions and the workflow that
// drives them. GUI thread only; worker threads reach it by queued signals.
#pragma once

#include "musiclink.h"
#include "vessolin/cache.h"
#include "vessolin/mainstate.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>

class CAnalyReport;
class CAnalyWidget;
class CAnalyzeThread;
class CApplyThread;
class CBugReport;
class CDuplicate;
class CReadyLoadThread;
class CRegisterSetting;
class CRichLabel;
class CShadeLabel;
class CStartUI;
class CTextButton;
class CTreeWidget;
class CUpdater;
class QAction;
class QHBoxLayout;
class QLabel;
class QMenu;
class QMenuBar;
class QMovie;
class QProgressBar;
class QPushButton;
class QScrollBar;
class QStackedWidget;
class QToolBar;
class QTreeWidgetItem;

// Songs added to the load list since it was last emptied; GUI thread.
extern int g_iMusicNum;

class CMainUI : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the whole window, the engine bridge and the update check.
    // Touches no disk: the previous run's cache files go with the next
    // load. Never fails.
    explicit CMainUI(QWidget* parent = nullptr);
    // Frees the pages, the bridge (which destroys the engine), saves the
    // settings and closes the UI log. The caller has closed the window.
    ~CMainUI() override;

    // Pages of m_pPageStack and of m_pTopStack, by index.
    enum EPage { PAGE_LOAD = 0, PAGE_REPORT = 1, PAGE_START = 2, PAGE_DUPLICATE = 3 };
    enum EHeader { HEADER_WORK = 0, HEADER_WELCOME = 1 };

    CMusicLink* MusicLink() const { return m_pMusicLink; }
    CStartUI* StartUI() const { return m_pStartUI; }

    // ---- construction and layout (mainwindow.cpp, loadlist.cpp) ----
signals:
    void ScaningPath(const QString& path);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void LoadWidgetScrollChanged(int value);
    void DelelteLoadTreeItem();

private:
    void CreateGui();
    QWidget* CreateWorkHeader();
    QWidget* CreatePictureWidget();
    QWidget* CreateInfoWidget();
    QWidget* CreateButtonStack();
    QWidget* CreateWelcomeHeader();
    QWidget* CreateLoadListPage();
    void CreatePages();
    void Init();
    void CreateUpdateCheck();
    void ConntionStolToSignals();
    void ConnectBridge();
    void ConnectPages();
    void ConnectHeader();
    void AddLoadRows(int count);
    void ResizeLoadList();
    void StartLoadList();
    void AddLoadListSong(const QString& location);
    // The category column's text of every load list row.
    static QString LoadListCategory();

public:
    // Sets a header button's text, its accessible name (the text without
    // its leading blanks) and its image look.
    static void SetButtonLook(QPushButton* button, const QString& text, const QString& image,
                              const QString& color, int width = 132);
    // The Pause button's look for paused (Continue) or running (Pause).
    void SetPauseLook(bool paused);
    // The style of the header picture with image as its background.
    static QString PictureStyle(const QString& image);
    // The progress bar's style, its filled part from top to bottom colour.
    static QString ProgressStyle(const QString& top, const QString& bottom);

    // ClearCacheFolders (vessolin/cache.h) of the settings' folders, on the
    // calling thread: the close's, which may wait for the disk.
    void ClearCache();

private:
    QToolBar* m_pToolBar = nullptr;
    QStackedWidget* m_pTopStack = nullptr;
    QWidget* m_pWelcomeWidget = nullptr;
    QWidget* m_pPictureWidget = nullptr;
    QLabel* m_pMovieLabel = nullptr;
    QMovie* m_pMovie = nullptr;
    QWidget* m_pInfoWidget = nullptr;
    QLabel* m_pScoreNameLabel = nullptr;
    QLabel* m_pScoreLabel = nullptr;
    CShadeLabel* m_pStatusLabel = nullptr;
    QPushButton* m_pTryAgainBut = nullptr;
    CTextButton* m_pRefixBut = nullptr;
    CRichLabel* m_pApplyOrSaveLabel = nullptr;
    QHBoxLayout* m_pStatusLayout = nullptr;
    CShadeLabel* m_pTipsLabel = nullptr;
    QProgressBar* m_pProgressBar = nullptr;
    QStackedWidget* m_pProgressStack = nullptr;
    QStackedWidget* m_pButtonStack = nullptr;
    QPushButton* m_pHomeBut = nullptr;
    QPushButton* m_pPauseBut = nullptr;
    QPushButton* m_pFixAllBut = nullptr;
    QPushButton* m_pApplyBut = nullptr;
    QPushButton* m_pScanBut = nullptr;
    QPushButton* m_pRemoveBut = nullptr;
    QStackedWidget* m_pPageStack = nullptr;
    CTreeWidget* m_pLoadTree = nullptr;
    QScrollBar* m_pLoadScrollBar = nullptr;
    CAnalyWidget* m_pBusyWidget = nullptr;
    CAnalyReport* m_pAnalyReport = nullptr;
    CStartUI* m_pStartUI = nullptr;
    CDuplicate* m_pDuplicate = nullptr;
    CMusicLink* m_pMusicLink = nullptr;
    CRegisterSetting* m_pUpdateSetting = nullptr;
    CUpdater* m_pUpdater = nullptr;
    int m_iResizeCount = 0;

public:
    // Load list shared by every window of the process: two strings per
    // song (category, name) and the rows that fit.
    static QStringList m_strLoadName;
    static int m_iLoadItemFixNum;

    // ---- menus and actions (menus.cpp) ----
public slots:
    void About();
    void Preferences();
    // "Check for updates" and the automatic check: the proxy of the
    // settings, then one asynchronous query.
    void UpdataSoft();
    void UpdateInfo(int state);

public:
    // Enables the Edit entries and Preferences as MainControlsOf derives
    // them from the workflow state; the one place their enabled state is set.
    void UpdateEditActions();

private:
    void CreateActions();
    void CreateMenuBar();
    void DeleteMenus();
    // An action named name whose trigger calls slot (menus.cpp only).
    template <typename Slot>
    QAction* NewAction(const QString& text, const char* name, Slot slot);

    QMenuBar* m_pMenuBar = nullptr;
    QMenu* m_pEditMenu = nullptr;
    QMenu* m_pHelpMenu = nullptr;
    QAction* m_pPauseAct = nullptr;
    QAction* m_pContinueAct = nullptr;
    QAction* m_pSaveProjectAct = nullptr;
    QAction* m_pHomepageAct = nullptr;
    QAction* m_pHelpAct = nullptr;
    QAction* m_pSupportAct = nullptr;
    QAction* m_pEulaAct = nullptr;
    QAction* m_pBugReportAct = nullptr;
    QAction* m_pUpdateAct = nullptr;
    QAction* m_pTranslateAct = nullptr;
    QAction* m_pAboutAct = nullptr;
    QAction* m_pPreferencesAct = nullptr;

    // ---- support links and bug report (support.cpp) ----
public slots:
    void Home();
    void Help();
    void Support();
    void Eula();
    void Translate();
    // Packs the logs into the archive without blocking the window, then
    // mails it; the mail link opens when the mail cannot be handed on.
    void BugReport();

public:
    CBugReport* BugReporter() const { return m_pBugReport; }

private:
    CBugReport* m_pBugReport = nullptr;

    // ---- workflow: load, analysis, fixing, applying, stop (workflow files) ----
    // The constructor calls ConnectWorkflow after its own connections: it
    // makes the worker threads and connects the bridge, the threads, the
    // report and duplicate pages and the header's action buttons. Every
    // change of stage goes through Advance, which also sets the controls
    // the state decides (workflow_load.cpp).
public:
    // The workflow state; UpdateEditActions derives the menus from it.
    const tagMainState& State() const { return m_state; }
    double Score() const { return m_dScore; }

    // ---- load and analysis (workflow_load.cpp) ----
public slots:
    void LoadStartParam(const QStringList& paths, const QString& path, EMusicRunMode mode);
    // run: the request the load thread prepared; a stopped run's end is dropped.
    void ReadyToLoadingOK(int result, int run);
    void LoadMusic(void* track, int progress, QString location);
    void AcceptLoadOK();
    // The engine's load ended without storing its tracks (queued from the
    // bridge): the load failed, and says why.
    void AcceptLoadFailed(int code);
    // The save after the analysis kept nothing (queued from the bridge):
    // said once the report is shown.
    void AcceptSaveFailed(int code);
    // The engine's analysis has ended (queued from the bridge): starts the walk.
    void AcceptAnalyzeInfo();
    void UpdateProcess(int progress);
    // The walk ended with score and the weight of one track.
    void UpdataReport(int run, double score, double itemScore);
    void StartFixAll(const QString& text);

    // ---- fixing and applying (workflow_fix.cpp) ----
public slots:
    void Fixall();
    void ButControl();
    void ReportFixInfo(int open, int progress);
    void EndFialedState(bool ended);
    void ReportFixAllComplete();
    void AcceptDowldInfo(void* track, int absence, int type, int state);
    void ApplyiTunes();
    void UpdataApplyOK(int run);
    // 1 applies, 3 saves the project; other values do nothing.
    void ApplyOrSave(int index = 3);
    void AddFixMissNum(int count);

    // The report page's signals around moving failed tracks.
    void MoveFailedItemState();
    void MoveFailedItemStateOK();

    // ---- duplicates (workflow_duplicates.cpp) ----
public slots:
    void Duplicate();
    void ScanDuplicate();
    void RemoveDuplicate();
    void SetRemoveEnable(bool enabled);
    // The duplicate page asked to undo row's removal: on the apply thread,
    // the page shown busy until UndoEnded.
    void UndoRemoval(QTreeWidgetItem* row);
    void UndoEnded(int run);

    // ---- pause, stop, Home, close and projects (workflow_stop.cpp) ----
public slots:
    void CancelGroup();
    void GoHome();
    // Try Again and Return: back to the start screen (or the duplicate page).
    void LoadXMLPath();

public:
    // Copies the working database to the open project when there is one; at
    // exit also decides whether the working database goes (resultsWait:
    // results waited to be applied when the close began, so it stays). An
    // EProjectCopy result (PC_OK when nothing was to be copied).
    int SaveToDB(bool atExit, bool resultsWait = false);
    // Closes the engine's library, then deletes the working database.
    void DeleteDBFile();
    // Copies the working database to target, again while a row is being
    // written, and logs a failure. An EProjectCopy result; any thread.
    int CopyWorkingDatabase(const QString& target) const;
    // Deletes the working database file, the engine's library closed
    // already; logs a failure. Any thread.
    void RemoveWorkingDatabase() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void ConnectWorkflow();
    void ConnectWorkerThreads();
    void ConnectWorkflowBridge();
    void ConnectWorkflowPages();
    void ConnectWorkflowButtons();
    // Stops and deletes the worker threads; the destructor's first step.
    void EndWorkflow();

    // Moves the state on event; false (nothing changed) when it is not
    // taken. Sets the controls the state decides.
    bool Advance(int event, int detail = 0);
    void ShowControls();
    // code: 0 for a refused or empty load, else why the songs were not stored
    // or the library could not be had; empty: the engine read the request
    // and found no tracks.
    void LoadFailed(int code = 0, bool empty = false);
    // Deletes the failed load's working database, unless it is a continued
    // run's that may still hold its work.
    void DropFailedLoad(bool empty);
    // The run continues the working database itself: the interrupted run's
    // only copy.
    bool ContinuesKeptRun() const;
    // A continued run whose load failed: its working database is still the
    // interrupted run's, offered again. One whose load found nothing left
    // to do is over.
    bool KeepsInterruptedRun() const;
    void ShowSaveFailure();
    void AnalyzeMusicList();
    void ShowFoundReport();
    void ShowNothingFound();
    void SetPhasePicture(const QString& background, const QString& animation, int play);
    void SetProgress(int value);
    int MinimumVisibleProgress() const;
    void ShowScore();
    void ShowTips(const QStringList& tips);
    void SetBusyOverlay(int look);
    void SetProgressColours(bool fixing);
    void StartFixing(bool all);
    void CommitOpenEdits();
    bool StartApply();
    // The last word of an apply (landed: its work reached the disk) or of
    // a removal.
    void ShowApplyEnd(bool landed);
    void ShowRemovalEnd();
    void BeginStop();
    void ShowStopping();
    void StopSequence();
    // The close's, after StopSequence: what the disk step it stopped still
    // says or decides (a failed copy, an opened project never loaded).
    void EndStoppedStep();
    int PausedEngineStage() const;
    void StopPausedEngineAndWait(int pausedStage);
    // Home's waits for the stopped workers; the apply thread.
    void WaitForStoppedWorkers(int pausedStage);
    // The apply thread's start serial has ended: what waited for it on the
    // GUI thread runs, then a Home that waited for it goes on.
    void ApplyWorkEnded(int serial);

    // ---- the window's own disk work on the apply thread (workflow_disk.cpp) ----
    // Runs work on the apply thread, then done on the GUI thread once it
    // has ended; a close meanwhile waits for work, drops done and runs
    // atClose instead, if any.
    void RunOnApplyThread(std::function<void()> work, std::function<void()> done,
                          std::function<void()> atClose = nullptr);
    // RunOnApplyThread as a disk step: nothing else starts, Home waits and
    // the busy overlay covers the pages until done runs (also under a Home
    // that waits: done looks at bGoingHome). False, and nothing runs, when
    // the state takes no step now.
    bool StartDiskStep(std::function<void()> work, std::function<void()> done,
                       std::function<void()> atClose = nullptr);
    // The busy overlay as the stage wants it, busy during a disk step.
    void ShowBusyOverlay();
    // A project opened from its file takes the working database's place,
    // then its load is requested; a copy that fails leaves both as they
    // were and is said. A stop during the copy lets the copy go.
    void OpenProjectFile(const QString& project);
    void ProjectNotOpened(const QString& project, const QString& database);
    void StartLoadRequest(const QStringList& paths, const QString& path, EMusicRunMode mode);
    void ContinueGoHome();
    // Home once the stopped workers have ended: the pages, then the run's
    // library and its working database on the apply thread.
    void CloseStoppedRun();
    // The load list and the report of the stopped run; GUI thread.
    void ClearRunPages();
    // The cache files and the engine's library of the stopped run.
    void CloseRunLibrary(const tagCacheFolders& cache);
    // The end of Home, the stopped run's library closed and its working
    // database ended on the way unless the apply thread has done both;
    // atClose: the window closes next, and asks nothing about a kept run.
    void FinishGoHome(bool atClose);
    // What the end of Home does with the working database: strProject, an
    // opened project, takes the run back first; then the database goes
    // when bDelete, unless that copy failed. bInterrupted: it is a
    // continued run's whose load failed, and stays.
    struct tagRunEnd
    {
        QString strProject;
        bool bDelete = false;
        bool bInterrupted = false;
    };
    tagRunEnd RunEndAtHome() const;
    // Any thread, once the run's library is closed; the copy's result.
    int EndRunDatabase(const tagRunEnd& end) const;
    void ResetWorkflow();
    // Try Again's and Return's end, once the cache and the ended run's
    // database are gone (kept: the interrupted run's stays and is offered).
    void ReturnToStart(bool kept);
    // Save Project's end on the GUI thread: a failure is said.
    void ProjectSaved(const QString& chosen, int result);
    // Says that the run could not be copied to project (Save Project, or
    // an opened project taking the run back at Home or the close).
    void ProjectNotSaved(const QString& project);
    void ApplyBeforeClose();
    bool CloseAfterApplyComing() const;
    void SaveProjectNow();

    tagMainState m_state;
    double m_dScore = 10000.0;
    double m_dItemScore = 0.0;
    int m_iSavedProgress = -1;
    // Why this run's analysis results were not stored; 0 when they were.
    int m_iSaveFailure = 0;
    QString m_strProjectPath;
    QStringList m_listLoadPaths;
    bool m_bCloseAfterApply = false;
    // Apply was chosen at close while the failed songs were being moved:
    // the apply starts when the move has ended the fixing run.
    bool m_bApplyAfterMove = false;
    // Apply was chosen at close during a disk step: the apply starts when
    // the step has ended.
    bool m_bApplyAfterStep = false;
    bool m_bDeleteDB = false;
    EMusicRunMode m_eLoadMode = EMusicRunMode(0);
    EMusicRunMode m_eLibraryMode = EMusicRunMode(0);
    // Read by the load thread: set by a stop, cleared by the next request.
    std::atomic<bool> m_bCancel{false};
    // Each request and each stop starts a new run; what a worker reports
    // for an older one is dropped.
    int m_iRun = 0;
    bool m_bLoadListFull = false;
    CReadyLoadThread* m_pReadyLoadThread = nullptr;
    CAnalyzeThread* m_pAnalyzeThread = nullptr;
    CApplyThread* m_pApplyThread = nullptr;
    // The serial of the apply thread's last start whose end was heard.
    int m_iApplyEnded = 0;
    // A Home that waited has the apply thread close the run's library.
    bool m_bHomeClosing = false;
    // Home's copy back to an opened project: written by the thread that
    // ends the run, read once it has.
    int m_iHomeCopy = 0;
    // Runs when the apply thread's current start has ended; GUI thread.
    std::function<void()> m_afterApplyWork;
    // Runs instead when a close ends that start; then m_stoppedStepEnd
    // holds it until the close runs it.
    std::function<void()> m_closeApplyWork;
    std::function<void()> m_stoppedStepEnd;
    // What the stage asked SetBusyOverlay for.
    int m_iBusyLook = 0;
};
