// The application's one main window: the header with score, progress and
// action buttons, the central pages (load list, report, start screen,
// duplicates), the menus, the support functions and the workflow that
// drives them. GUI thread only; worker threads reach it by queued signals.
#pragma once

#include "musiclink.h"
#include "vessolin/mainstate.h"

#include <QMainWindow>
#include <QString>
#include <QStringList>

class CAnalyReport;
class CAnalyWidget;
class CBugReport;
class CDuplicate;
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

// Songs added to the load list since it was last emptied; GUI thread.
extern int g_iMusicNum;

class CMainUI : public QMainWindow
{
    Q_OBJECT
public:
    // Builds the whole window, the engine bridge and the update check, and
    // deletes the cache files of the previous run. Never fails.
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

    // Deletes the plain files of the artwork and music folders, only when
    // each is the application's own folder below Pictures and Music; any
    // other folder is refused with a UI log line (cache.cpp). Keeps
    // sub-folders (the trash) and hidden files.
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
    // Enables the Edit entries as MainControlsOf derives them from the
    // workflow state; the one place their enabled state is set.
    void UpdateEditActions();

private:
    void CreateActions();
    void CreateMenuBar();
    void DeleteMenus();
    QAction* NewAction(const QString& text, const char* name);

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
    // report and duplicate pages and the header's action buttons.
public:
    // The workflow state; UpdateEditActions derives the menus from it.
    const tagMainState& State() const { return m_state; }

public slots:
    void LoadStartParam(const QStringList& paths, const QString& path, EMusicRunMode mode);
    void Duplicate();
    void CancelGroup();
    void ApplyOrSave(int index = 3);

private:
    void ConnectWorkflow();

    tagMainState m_state;
    QString m_strProjectPath;
    QStringList m_listLoadPaths;
    EMusicRunMode m_eLoadMode = EMusicRunMode(0);
};
