// The duplicate page: its construction, the options side and the page's
// lifecycle. The result rows, the preview and the removal live beside it.
#include "reporter/duplicate.h"

#include "player/PlayUnit.h"
#include "config.h"
#include "duplicaterows.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "option/duplicatewidget.h"
#include "option/duptoptwidget.h"
#include "option/warnmessage.h"
#include "reporter/cleartrashthread.h"
#include "treeitem.h"

#include <QHeaderView>
#include <QSplitter>
#include <QStackedLayout>
#include <QTimer>

using namespace duprows;

namespace {

const QString kDayFormat = QStringLiteral("yyyy-MM-dd");

} // namespace

// The player's reports of this page's file; they arrive on the GUI thread
// with the player's own code on the stack, so the page acts on them later.
void DuplicatePlayReport(unsigned int progress, tagPlayUnitState state, void* user);

CDuplicate::CDuplicate(CMusicLink* link, QWidget* parent)
    : QWidget(parent), m_pMusicLink(link), m_dateOfRun(QDate::currentDate())
{
    setObjectName(QStringLiteral("Duplicate"));
    setAccessibleName(objectName());

    m_pStackLayout = new QStackedLayout;
    m_pStackLayout->setContentsMargins(0, 0, 0, 0);

    m_pSplitter = new QSplitter(Qt::Horizontal);
    m_pSplitter->setObjectName(QStringLiteral("DuplicateOptions"));
    m_pSplitter->setAccessibleName(m_pSplitter->objectName());
    m_pSplitter->setFocusPolicy(Qt::NoFocus);
    m_pSplitter->setContentsMargins(0, 0, 0, 0);
    m_pSplitter->setOpaqueResize(true);
    m_pSplitter->setHandleWidth(1);
    m_pDuplicateWidget = new CDuplicateWidget(this);
    m_pDuptOptWidget = new CDuptOptWidget(this);
    m_pSplitter->addWidget(m_pDuplicateWidget);
    m_pSplitter->addWidget(m_pDuptOptWidget);
    m_pSplitter->setStretchFactor(0, 0);
    m_pSplitter->setCollapsible(0, false);
    m_pSplitter->setCollapsible(1, false);
    m_pDuplicateWidget->setMinimumWidth(250);
    m_pDuplicateWidget->setMaximumWidth(250);

    buildTree();

    m_pStackLayout->addWidget(m_pSplitter);
    m_pStackLayout->addWidget(m_pDuplicateTree);
    m_pStackLayout->setCurrentIndex(0);
    setLayout(m_pStackLayout);
    connectParts();
}

void CDuplicate::buildTree()
{
    m_pDuplicateTree = new CFailedTreeWidget(this);
    m_pDuplicateTree->setObjectName(QStringLiteral("DuplicateTree"));
    m_pDuplicateTree->setAccessibleName(tr("Duplicate songs"));
    const QString blank = QStringLiteral(" ");
    m_pDuplicateTree->setHeaderLabels({tr("    Remove File"), tr("Name"), tr("Size"), tr("Time"), tr("Path"), blank,
                                       blank, blank, blank, tr("Bitrate")});
    m_pDuplicateTree->setFocusPolicy(Qt::NoFocus);
    m_pDuplicateTree->setMouseTracking(true);
    m_pDuplicateTree->setAutoScroll(false);
    m_pDuplicateTree->setFrameShape(QFrame::NoFrame);
    m_pDuplicateTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pDuplicateTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pDuplicateTree->setAlternatingRowColors(true);
    m_pDuplicateTree->setColumnCount(kColumnCount);
    // Every row is 25 pixels high; knowing it spares the view from asking
    // each of tens of thousands of rows while it lays them out.
    m_pDuplicateTree->setUniformRowHeights(true);

    QHeaderView* header = m_pDuplicateTree->header();
    header->setAccessibleName(tr("Duplicate song columns"));
    header->setMinimumSectionSize(40);
    header->setStretchLastSection(false);
    const struct {
        int width;
        QHeaderView::ResizeMode mode;
    } columns[kColumnCount] = {{100, QHeaderView::Fixed}, {140, QHeaderView::Fixed}, {100, QHeaderView::Fixed},
                               {80, QHeaderView::Fixed},  {280, QHeaderView::Stretch}, {25, QHeaderView::Fixed},
                               {25, QHeaderView::Fixed},  {25, QHeaderView::Fixed},  {40, QHeaderView::Fixed},
                               {80, QHeaderView::Fixed}};
    for (int i = 0; i < kColumnCount; ++i) {
        m_pDuplicateTree->setColumnWidth(i, columns[i].width);
        header->setSectionResizeMode(i, columns[i].mode);
    }
    // The bit rate reads best beside the size.
    header->moveSection(kColBitRate, 3);
}

void CDuplicate::connectParts()
{
    connect(m_pDuplicateWidget, &CDuplicateWidget::ShowTrash, this, &CDuplicate::OpenTrash);
    // Saved before the request leaves the page, so the scan runs with the
    // options on screen.
    connect(m_pDuptOptWidget, &CDuptOptWidget::Complete, m_pDuplicateWidget, &CDuplicateWidget::Save);
    connect(m_pDuptOptWidget, &CDuptOptWidget::Complete, this, &CDuplicate::Complete);
    connect(m_pDuplicateTree, &QTreeWidget::currentItemChanged, this, &CDuplicate::CurrentItemChanged);
    connect(m_pDuplicateTree, &QTreeWidget::itemClicked, this, &CDuplicate::ItemClicked);
    // "Check All" and "Uncheck All" touch the group boxes only: they take
    // whole groups in or out without the songs' marks, and so only Remove
    // hears of them.
    connect(m_pDuplicateTree, &CFailedTreeWidget::SetUnchecked, this, &CDuplicate::ItemSelected);
    connect(m_pDuplicateTree, &CFailedTreeWidget::SetAllUnchecked, this, &CDuplicate::updateRemoveLater);
    m_pDuplicateTree->viewport()->installEventFilter(this);
    m_pDrainTimer = new QTimer(this);
    m_pDrainTimer->setSingleShot(true);
    m_pDrainTimer->setInterval(1);
    connect(m_pDrainTimer, &QTimer::timeout, this, &CDuplicate::drainPending);
    m_pClearTrashThread = new CClearTrashThread(this);
    connect(m_pClearTrashThread, &CClearTrashThread::AskClearTrash, this, &CDuplicate::ShowAskMessage);
}

CDuplicate::~CDuplicate()
{
    m_pClearTrashThread->AnswerClearTrash(true);
    m_pClearTrashThread->wait();
    StopWorking();
    PlayUnit_Destroy(this);
}

void CDuplicate::SetMusicLink(CMusicLink* link)
{
    m_pMusicLink = link;
    m_dateOfRun = QDate::currentDate();
    if (!link)
        return;
    connect(link, &CMusicLink::SendPlayOver, this, &CDuplicate::PlayOver, Qt::UniqueConnection);
    PlayUnit_Create(&DuplicatePlayReport, this);
}

void CDuplicate::ShowDuplicate(int page)
{
    m_pStackLayout->setCurrentIndex(page);
}

void CDuplicate::GetMusicNames(QStringList& out)
{
    m_pDuptOptWidget->GetMusicNames(out);
    m_pDuplicateWidget->Save();
}

void CDuplicate::OpenTrash()
{
    // The engine files every removal of this run under the day it started,
    // also when the run goes past midnight: that folder, not today's.
    ShowMusicInWindow(CConfig::instance()->GetTrashPath() + QLatin1Char('/') + m_dateOfRun.toString(kDayFormat));
}

void CDuplicate::ClearTrash()
{
    static bool bFirstEnter = false;
    if (bFirstEnter)
        return;
    bFirstEnter = true;
    CConfig* config = CConfig::instance();
    m_pClearTrashThread->StartClearing(config->GetTrashPath(), config->ClearDays, QDate::currentDate());
}

void CDuplicate::ShowAskMessage(int seconds)
{
    const QString text = tr("Vessolin will clear the duplicates removal\nhistory that exists over %1 day(s) in %2 seconds.")
                             .arg(CConfig::instance()->ClearDays)
                             .arg(seconds);
    const int answer = CWarnMessage::information(this, QString(), text, 2, tr("Sure"), tr("Cancel"), QString(), seconds);
    m_pClearTrashThread->AnswerClearTrash(answer != 1);
}

void CDuplicate::StopWorking()
{
    StopPlay();
    QStringList dropped;
    m_pDuptOptWidget->GetMusicNames(dropped);
    m_pDuplicateWidget->Save();
    {
        QMutexLocker lock(&m_mutexPending);
        m_pending.clear();
        m_bDraining = false;
    }
    m_pDrainTimer->stop();
    m_showing.clear();
    m_bCalculateWaiting = false;
    m_groupsByRepeat.clear();
    m_groupsByHead.clear();
    m_iGroupOrder = 0;
    ++m_iGeneration;
    {
        QMutexLocker lock(&m_mutexRemove);
        m_removePlan.clear();
        m_bPlanReady = false;
        m_bUndoReady = false;
    }
    m_bRemoving = false;
    // A removal of this run whose end did not land is no end to make
    // again in the next.
    m_iRemovalEnded = 0;
    m_pDuplicateTree->setSortingEnabled(false);
    m_pDuplicateTree->clear();
    m_pStackLayout->setCurrentIndex(0);
    m_bExit = false;
}
