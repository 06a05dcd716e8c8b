// Building the main window: header, pages, the engine bridge, the update
// check and the window's own connections; and taking it down again.
#include "vessolin/mainui.h"

#include "common.h"
#include "config.h"
#include "customcontrols/buttonstyle.h"
#include "customcontrols/customcontrols.h"
#include "loadtree.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "treeobj/treeobj.h"
#include "update/updater.h"
#include "vessolin/bugreport.h"
#include "vessolin/startui.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QStackedLayout>
#include <QStackedWidget>
#include <QToolBar>
#include <QVBoxLayout>

QStringList CMainUI::m_strLoadName;
int CMainUI::m_iLoadItemFixNum = 0;

namespace {

constexpr int kHeaderButtonHeight = 43;

} // namespace

QString CMainUI::PictureStyle(const QString& image)
{
    return QStringLiteral("QWidget#label_back{ border:0;min-width: 89;max-width: 89;max-height: 89;"
                          "min-height: 89;background-image: url(:/res/res/mac/label/%1.png); }")
        .arg(image);
}

QString CMainUI::ProgressStyle(const QString& top, const QString& bottom)
{
    return QStringLiteral(
               "QProgressBar#%1 {min-width: 15px;min-height: 14px;max-height: 14px;"
               "background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, "
               "stop:0 rgba(100, 100, 100, 255), stop:0.295 rgba(152, 152, 152, 255), "
               "stop:0.855 rgba(152, 152, 152, 255), stop:0.950 rgba(130, 130, 130, 255),"
               "stop:1 rgba(255, 255, 255, 255));border-width: 0px;border-radius: 7px;border-style: solid;}"
               "QProgressBar#%1::chunk {background-color:qlineargradient(spread:pad, x1:0, y1:0, x2:0, y2:1, "
               "stop:0 rgba(100, 100, 100, 255), stop:0.03 rgba(100, 100, 100, 255), stop: 0.04 %2, "
               "stop: 1 %3);min-height: 12px;max-height: 12px;border-width: 0px;border-radius: 6px;"
               "border-style: solid;}")
        .arg(QStringLiteral("main_progress"), top, bottom);
}

namespace {

QLabel* NamedLabel(const QString& text, const char* name, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    return label;
}

// Pages and stacks are named by their object name for assistive tools.
void NameForTools(QWidget* widget, const char* name)
{
    widget->setObjectName(QLatin1String(name));
    widget->setAccessibleName(widget->objectName());
}

} // namespace

CMainUI::CMainUI(QWidget* parent) : QMainWindow(parent)
{
    setUnifiedTitleAndToolBarOnMac(true);
    setMinimumSize(920, 463);
    setWindowIcon(QIcon(QStringLiteral(":/res/res/mac/label/icon.png")));

    CreateLinkAndName();
    CreateImage();
    CreateUILog();

    // The desktop's window list and screen readers name the window by it.
    setWindowTitle(QGuiApplication::applicationDisplayName());
    CreateGui();
    CreateActions();
    CreateMenuBar();
    Init();
    CreateUpdateCheck();
    m_pBugReport = new CBugReport(this);
    ConntionStolToSignals();
    m_pLoadTree->installEventFilter(this);
    ConnectWorkflow();

    updateGeometry();
    m_strLoadName.clear();
    // The cache files of the previous run go with the next load, on its
    // thread, before anything of that run is written there.
    WriteUILog(QStringLiteral("Complete CMainUI::CMainUI! AppName:%1").arg(g_strAppName));
}

CMainUI::~CMainUI()
{
    WriteUILog(QStringLiteral("Enter CMainUI::~CMainUI!"));
    delete m_pUpdateSetting;  // with the update checker it owns
    m_pUpdateSetting = nullptr;
    m_pUpdater = nullptr;
    // The worker threads hold the pages and the bridge: they go first.
    EndWorkflow();

    DestroyImage();
    DelelteLoadTreeItem();

    DeleteMenus();

    // The report page first: its threads end before the pages around it go.
    delete m_pAnalyReport;
    m_pAnalyReport = nullptr;
    delete m_pBusyWidget;
    m_pBusyWidget = nullptr;
    delete m_pPageStack;
    m_pPageStack = nullptr;
    m_pStartUI = nullptr;
    m_pDuplicate = nullptr;
    m_pLoadTree = nullptr;
    m_pLoadScrollBar = nullptr;
    if (m_pMovie)
        m_pMovie->stop();
    delete m_pToolBar;
    m_pToolBar = nullptr;
    m_pMovie = nullptr;

    if (m_pMusicLink) {
        // A window destroyed without closing still leaves no engine work
        // behind the engine's destruction.
        m_pMusicLink->SetExitState(1);
        delete m_pMusicLink;
        m_pMusicLink = nullptr;
    }
    WriteUILog(QStringLiteral("End DEL_OBJ(m_pMusicLink)"));

    CConfig::instance()->Save();
    CConfig::Destroy();
    DestroyUILog();
}

void CMainUI::CreateGui()
{
    m_pToolBar = new QToolBar(this);
    m_pToolBar->setContentsMargins(0, 0, 0, 0);
    NameForTools(m_pToolBar, "MainUIToolBar");
    m_pToolBar->setMovable(false);
    m_pToolBar->setFloatable(false);
    m_pToolBar->toggleViewAction()->setVisible(false);
    addToolBar(m_pToolBar);
    m_pToolBar->setFixedHeight(120);

    m_pTopStack = new QStackedWidget(m_pToolBar);
    NameForTools(m_pTopStack, "MainUIHeader");
    m_pTopStack->setContentsMargins(0, 0, 0, 0);
    m_pTopStack->setMinimumWidth(880);
    m_pToolBar->addWidget(m_pTopStack);

    setStatusBar(new CStatusBar(this));

    m_pTopStack->addWidget(CreateWorkHeader());
    m_pTopStack->addWidget(CreateWelcomeHeader());
    m_pTopStack->setCurrentIndex(HEADER_WELCOME);

    CreatePages();
}

QWidget* CMainUI::CreateWorkHeader()
{
    auto* header = new QWidget;
    header->setObjectName(QStringLiteral("MainUIWorkHeader"));
    auto* row = new QHBoxLayout(header);
    row->addSpacing(10);
    row->addWidget(CreatePictureWidget());
    row->addSpacing(10);
    row->addWidget(CreateInfoWidget());
    row->addSpacing(20);

    m_pHomeBut = new QPushButton(header);
    m_pHomeBut->setObjectName(QStringLiteral("main_gohome"));
    m_pHomeBut->setFocusPolicy(Qt::NoFocus);
    SetButtonLook(m_pHomeBut, tr("  Home"), QStringLiteral("home"), QStringLiteral("#002d4c"), 112);
    row->addWidget(m_pHomeBut, 0, Qt::AlignRight | Qt::AlignVCenter);
    row->addSpacing(10);
    row->addWidget(CreateButtonStack(), 0, Qt::AlignRight | Qt::AlignVCenter);
    row->addSpacing(10);
    return header;
}

QWidget* CMainUI::CreatePictureWidget()
{
    m_pPictureWidget = new QWidget;
    m_pPictureWidget->setObjectName(QStringLiteral("label_back"));
    m_pPictureWidget->setStyleSheet(PictureStyle(QStringLiteral("scanned_bg")));
    // Only an object with this attribute paints its style-sheet background.
    m_pPictureWidget->setAttribute(Qt::WA_StyledBackground, true);
    auto* stack = new QStackedLayout(m_pPictureWidget);
    stack->setContentsMargins(0, 0, 0, 0);
    m_pMovieLabel = new QLabel(m_pPictureWidget);
    m_pMovie = new QMovie(m_pMovieLabel);
    m_pMovieLabel->setMovie(m_pMovie);
    stack->addWidget(m_pMovieLabel);
    return m_pPictureWidget;
}

QWidget* CMainUI::CreateInfoWidget()
{
    m_pInfoWidget = new QWidget;
    auto* column = new QVBoxLayout(m_pInfoWidget);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);

    auto* scoreRow = new QHBoxLayout;
    m_pScoreNameLabel = NamedLabel(tr("Music List Score: "), "MainUIScoreName", m_pInfoWidget);
    m_pScoreLabel = NamedLabel(QStringLiteral("100"), "MainUIScoreOEM", m_pInfoWidget);
    m_pScoreLabel->setMinimumWidth(100);
    scoreRow->addWidget(m_pScoreNameLabel);
    scoreRow->addWidget(m_pScoreLabel);
    scoreRow->addStretch();
    column->addLayout(scoreRow);
    column->addSpacing(10);

    m_pProgressStack = new QStackedWidget(m_pInfoWidget);
    m_pProgressStack->setContentsMargins(0, 0, 0, 0);
    m_pProgressBar = new QProgressBar;
    m_pProgressBar->setObjectName(QStringLiteral("main_progress"));
    m_pProgressBar->setAccessibleName(tr("Progress"));
    m_pProgressBar->setMinimumWidth(300);
    m_pProgressBar->setRange(0, PROGRESS_FULL);
    m_pProgressBar->setValue(0);
    m_pProgressBar->setTextVisible(false);
    m_pProgressBar->setStyleSheet(ProgressStyle(QStringLiteral("#93cd37"), QStringLiteral("#438200")));
    m_pProgressStack->addWidget(m_pProgressBar);
    m_pTipsLabel = new CShadeLabel(statusBar());
    m_pTipsLabel->setObjectName(QStringLiteral("MainUIScroll"));
    m_pProgressStack->addWidget(m_pTipsLabel);
    m_pTipsLabel->setHidden(true);
    m_pProgressStack->setCurrentIndex(0);
    column->addWidget(m_pProgressStack);
    column->addSpacing(10);

    m_pStatusLayout = new QHBoxLayout;
    m_pStatusLayout->setContentsMargins(0, 0, 0, 0);
    m_pStatusLayout->setSpacing(10);
    m_pStatusLabel = new CShadeLabel(statusBar());
    m_pStatusLabel->setObjectName(QStringLiteral("MainUIFixing"));
    m_pStatusLabel->setText(tr("Scanning Library: "));
    m_pStatusLabel->setFixedHeight(20);
    m_pRefixBut = new CTextButton(m_pInfoWidget);
    m_pRefixBut->setObjectName(QStringLiteral("MainUIRetry"));
    m_pRefixBut->setFocusPolicy(Qt::NoFocus);
    m_pRefixBut->setText(tr("Refix"));
    m_pRefixBut->setAccessibleName(tr("Refix"));
    m_pRefixBut->hide();
    m_pApplyOrSaveLabel = new CRichLabel(m_pInfoWidget);
    m_pApplyOrSaveLabel->setObjectName(QStringLiteral("MainUIQuitOrSave"));
    m_pApplyOrSaveLabel->InsertString(tr("You can "), CRichLabel::STR_TEXT);
    m_pApplyOrSaveLabel->InsertString(tr("Apply Result"), CRichLabel::STR_LINK);
    m_pApplyOrSaveLabel->InsertString(tr(" now, or "), CRichLabel::STR_TEXT);
    m_pApplyOrSaveLabel->InsertString(tr("Save Project"), CRichLabel::STR_LINK);
    m_pApplyOrSaveLabel->InsertString(tr(" to continue next time."), CRichLabel::STR_TEXT);
    m_pApplyOrSaveLabel->setAccessibleName(
        tr("You can Apply Result now, or Save Project to continue next time."));
    m_pApplyOrSaveLabel->hide();
    m_pStatusLayout->addWidget(m_pStatusLabel);
    m_pStatusLayout->addWidget(m_pRefixBut);
    m_pStatusLayout->addWidget(m_pApplyOrSaveLabel);
    m_pStatusLayout->addStretch();
    column->addLayout(m_pStatusLayout);
    column->addStretch();
    return m_pInfoWidget;
}

QWidget* CMainUI::CreateButtonStack()
{
    m_pButtonStack = new QStackedWidget;
    NameForTools(m_pButtonStack, "MainUIButtons");
    m_pButtonStack->setFocusPolicy(Qt::NoFocus);
    m_pButtonStack->setFixedSize(132, kHeaderButtonHeight);
    struct Spec {
        QPushButton** member;
        const char* text;
        const char* name;
        const char* image;
        const char* color;
    };
    const Spec specs[] = {
        {&m_pPauseBut, "   Pause", "main_cancelbut", "pause", "#3d90c5"},
        {&m_pFixAllBut, "   Fix All", "main_fixallbut", "fixallbut", "#002d4c"},
        {&m_pApplyBut, "Apply", "main_applybut", "apply", "#002d4c"},
        {&m_pTryAgainBut, "Try Again", "main_selectbut", "return", "#3d90c5"},
        {&m_pScanBut, "   Scan", "main_scanbut", "scan", "#002d4c"},
        {&m_pRemoveBut, "   Remove", "main_removebut", "remove", "#002d4c"},
    };
    for (const Spec& spec : specs) {
        auto* button = new QPushButton(m_pButtonStack);
        button->setObjectName(QLatin1String(spec.name));
        button->setFocusPolicy(Qt::NoFocus);
        SetButtonLook(button, tr(spec.text), QLatin1String(spec.image), QLatin1String(spec.color));
        m_pButtonStack->addWidget(button);
        *spec.member = button;
    }
    m_pButtonStack->setCurrentIndex(BP_PAUSE);
    return m_pButtonStack;
}

QWidget* CMainUI::CreateWelcomeHeader()
{
    m_pWelcomeWidget = new QWidget;
    m_pWelcomeWidget->setObjectName(QStringLiteral("MainUIWelcomeHeader"));
    auto* row = new QHBoxLayout(m_pWelcomeWidget);
    row->setContentsMargins(0, 0, 0, 0);
    row->addSpacing(50);
    auto* icon = NamedLabel(QString(), "StartUIIcon", m_pWelcomeWidget);
    row->addWidget(icon);
    row->addSpacing(20);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(20);
    texts->addWidget(NamedLabel(tr("Welcome!"), "StartUIWelcome", m_pWelcomeWidget));
    texts->addWidget(NamedLabel(tr("Vessolin is the only tool you need to tidy your music library!"),
                                "StartUIFunc", m_pWelcomeWidget));
    texts->addStretch();
    row->addLayout(texts);
    row->addStretch();
    return m_pWelcomeWidget;
}

QWidget* CMainUI::CreateLoadListPage()
{
    auto* page = new QWidget;
    NameForTools(page, "LoadListPage");
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);

    m_pLoadTree = new CTreeWidget(page);
    NameForTools(m_pLoadTree, "LoadList");
    m_pLoadTree->setFrameShape(QFrame::NoFrame);
    m_pLoadTree->setAutoScroll(false);
    m_pLoadTree->setAlternatingRowColors(true);
    m_pLoadTree->setColumnCount(3);
    m_pLoadTree->setColumnWidth(0, 60);
    m_pLoadTree->setColumnWidth(1, 80);
    m_pLoadTree->setColumnWidth(2, 520);
    m_pLoadTree->header()->hide();
    m_pLoadTree->header()->setSectionsMovable(false);
    m_pLoadTree->setFocusPolicy(Qt::NoFocus);
    m_pLoadTree->setTextElideMode(Qt::ElideMiddle);
    m_pLoadTree->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

    m_pLoadScrollBar = new QScrollBar(Qt::Vertical, page);
    m_pLoadScrollBar->setAccessibleName(tr("Load list position"));
    m_pLoadScrollBar->setFixedWidth(15);
    m_pLoadScrollBar->setPageStep(1);
    m_pLoadScrollBar->setRange(0, 0);
    m_pLoadScrollBar->hide();

    row->addWidget(m_pLoadTree);
    row->addWidget(m_pLoadScrollBar);
    return page;
}

void CMainUI::CreatePages()
{
    auto* central = new QWidget(this);
    central->setObjectName(QStringLiteral("MainUICentral"));
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    m_pPageStack = new QStackedWidget(central);
    NameForTools(m_pPageStack, "MainUIPages");
    m_pPageStack->setFocusPolicy(Qt::NoFocus);
    m_pPageStack->setContentsMargins(0, 0, 0, 0);
    column->addWidget(m_pPageStack, 1);
    setCentralWidget(central);

    m_pPageStack->addWidget(CreateLoadListPage());
    m_pAnalyReport = new CAnalyReport(this);
    m_pAnalyReport->setFocusPolicy(Qt::ClickFocus);
    m_pPageStack->addWidget(m_pAnalyReport);
    m_pStartUI = new CStartUI(this);
    NameForTools(m_pStartUI, "StartUIName");
    m_pPageStack->addWidget(m_pStartUI);
    // The bridge does not exist yet; Init hands it over.
    m_pDuplicate = new CDuplicate(m_pMusicLink, this);
    m_pPageStack->addWidget(m_pDuplicate);
    m_pPageStack->setCurrentIndex(PAGE_START);

    m_pBusyWidget = new CAnalyWidget(m_pPageStack, this);
    m_pBusyWidget->hide();
}

void CMainUI::Init()
{
    m_pMusicLink = new CMusicLink(this);
    if (!m_pMusicLink)
        return;
    m_pAnalyReport->SetMusicLink(m_pMusicLink);
    m_pAnalyReport->SetExitFlag(false);
    m_pDuplicate->SetMusicLink(m_pMusicLink);
    m_pStartUI->SetMusicLink(m_pMusicLink);
}

void CMainUI::CreateUpdateCheck()
{
    m_pUpdateSetting = CreateUpdateSetting(this);
    m_pUpdater = new CUpdater(m_pUpdateSetting);
    connect(m_pUpdater, &CUpdater::updateInfo, this, &CMainUI::UpdateInfo);
}

void CMainUI::ConntionStolToSignals()
{
    connect(m_pStartUI, &CStartUI::Duplicate, this, &CMainUI::Duplicate);
    connect(m_pStartUI, &CStartUI::Complete, this, &CMainUI::LoadStartParam);
    connect(m_pStartUI, &CStartUI::SetPreferences, this, &CMainUI::Preferences);
    connect(m_pLoadScrollBar, &QScrollBar::valueChanged, this, &CMainUI::LoadWidgetScrollChanged);
}

void CMainUI::SetButtonLook(QPushButton* button, const QString& text, const QString& image,
                            const QString& color, int width)
{
    button->setText(text);
    // The leading blanks make room for the image's glyph; a screen reader
    // or a test driver looks the button up by its words.
    button->setAccessibleName(text.trimmed());
    button->setStyleSheet(ImageButtonStyle(button->objectName(), image, width, kHeaderButtonHeight, color, 14));
}

void CMainUI::SetPauseLook(bool paused)
{
    if (paused)
        SetButtonLook(m_pPauseBut, tr("   Continue"), QStringLiteral("continue"), QStringLiteral("#1e4c00"));
    else
        SetButtonLook(m_pPauseBut, tr("   Pause"), QStringLiteral("pause"), QStringLiteral("#3d90c5"));
}
