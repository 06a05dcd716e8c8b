// The report page's construction, binding, stop, clear and destruction.
#include "reporter/analyreport.h"

#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "desktop.h"
#include "information/modifymusicinfo.h"
#include "musiclink.h"
#include "reportrow.h"
#include "reporter/converterthread.h"
#include "reporter/reportlists.h"
#include "reporter/temporarywav.h"
#include "reporter/typetreeitem.h"
#include "treeitem.h"
#include "treeobj/treeobj.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSplitter>
#include <QStackedWidget>
#include <QTimer>
#include <QVBoxLayout>

namespace {

struct CategoryRow {
    int kind;
    const char* caption;
    const char* icon;
};

// The order of the page's row vector and of the tree from the top.
const CategoryRow kCategoryRows[] = {
    {CAT_UNRECOGNIZED, QT_TRANSLATE_NOOP("CAnalyReport", "Unrecognized Songs"), ":res/res/mac/list/type/unrecognized.png"},
    {CAT_ARTWORK, QT_TRANSLATE_NOOP("CAnalyReport", "Songs Without Album Artwork"), ":res/res/mac/list/type/artwork.png"},
    {CAT_ARTIST, QT_TRANSLATE_NOOP("CAnalyReport", "Songs Without Artist"), ":res/res/mac/list/type/artist.png"},
    {CAT_ALBUM, QT_TRANSLATE_NOOP("CAnalyReport", "Songs Without Album"), ":res/res/mac/list/type/album.png"},
    {CAT_UNWRITABLE, QT_TRANSLATE_NOOP("CAnalyReport", "Unwritable Items"), ":res/res/mac/list/type/duplicate.png"},
};

void named(QWidget* widget, const QString& name)
{
    widget->setObjectName(name);
    widget->setAccessibleName(name);
}

} // namespace

CMoveFailedThread::CMoveFailedThread(CAnalyReport* report) : QThread(report), m_pReport(report) {}
CMoveFailedThread::~CMoveFailedThread() { exit(0); }

void CMoveFailedThread::run()
{
    if (m_pReport)
        m_pReport->MoveFailedItem();
    emit SendMoveOK();
}

CFixFailedThread::CFixFailedThread(CAnalyReport* report) : QThread(report), m_pReport(report) {}
CFixFailedThread::~CFixFailedThread() { exit(0); }

void CFixFailedThread::run()
{
    if (m_pReport)
        m_pReport->UpdataSucessItem();
    emit SendFixOK();
}

CAnalyReport::CAnalyReport(QWidget* parent)
    : QWidget(parent)
    , m_slots(m_track,
              [this](int slot, void* item, const CReportItemData& row) {
                  converter(slot)->SetTrackParams(item, row.GetPath(), row.GetConverPath(), FT_DEFAULT);
              })
    , m_inbox(this, [this](const CReportInbox::Batch& batch) { applyEntries(batch); })
{
    named(this, QStringLiteral("AnalyReport"));
    m_mapFailedItem.clear();
    m_pSplitter = new QSplitter(Qt::Horizontal, this);
    named(m_pSplitter, QStringLiteral("ReportSplitter"));
    m_pSplitter->setFocusPolicy(Qt::ClickFocus);
    m_pSplitter->setContentsMargins(0, 0, 0, 0);
    m_pSplitter->setOpaqueResize(true);
    m_pSplitter->setHandleWidth(1);
    buildTypeTree();

    m_pListStack = new QStackedWidget(this);
    named(m_pListStack, QStringLiteral("ReportListStack"));
    m_pListStack->setFocusPolicy(Qt::ClickFocus);
    m_pListStack->setMinimumWidth(400);
    buildArtworkGrid();
    m_pTreeAlbum = buildCategoryTree(QStringLiteral("AlbumTree"));
    m_pTreeArtist = buildCategoryTree(QStringLiteral("ArtistTree"));
    m_pTreeNotExist = buildCategoryTree(QStringLiteral("UnwritableTree"));
    m_pTreeNotExist->SetActionsEnabled(false);
    // A seventh column names the missing file: the pointing hand over it and
    // a click on it reveal where the song should be.
    m_pTreeNotExist->setColumnCount(7);
    m_pTreeNotExist->header()->setSectionResizeMode(6, QHeaderView::Stretch);
    m_pRightWidget = new QWidget(this);
    named(m_pRightWidget, QStringLiteral("ReportRightWidget"));
    buildUnrecognizedTree(m_pRightWidget);
    m_pModifyInfo = new CModifyMusicInfo(m_pRightWidget);
    m_pModifyInfo->setObjectName(QStringLiteral("ModifyMusicinfo"));
    m_pModifyInfo->setAccessibleName(QStringLiteral("ModifyMusicinfo"));
    m_pModifyInfo->setHidden(true);
    connect(m_pModifyInfo, &CModifyMusicInfo::SendEditItem, this, &CAnalyReport::EditFixItem);
    connect(this, &CAnalyReport::EditInfoHide, m_pModifyInfo, &CModifyMusicInfo::EditHide);
    buildLayout();
    connectLists();

    m_pMaxPicture = new CShowMaxPicture(m_pListArtwork);
    m_pMaxPicture->hide();
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        m_track[slot] = tagTrack();
        auto* thread = new CConverterThread(this);
        m_slots.SetConverter(slot, thread);
        connect(thread, &CConverterThread::SendConverterOK, this, &CAnalyReport::AcceptConverInfo);
    }
    setMinimumWidth(862);
    m_pMoveFailedThread = new CMoveFailedThread(this);
    m_pFixFailedThread = new CFixFailedThread(this);
    connect(m_pMoveFailedThread, &CMoveFailedThread::SendMoveOK, this, &CAnalyReport::MoveFailedItemOK);
    connect(m_pFixFailedThread, &CFixFailedThread::SendFixOK, this, &CAnalyReport::UpdataSucessItemOK);
    // Moves without a button reach the filter only while the view tracks them.
    m_pTreeNotExist->setMouseTracking(true);
    m_pTreeNotExist->viewport()->installEventFilter(this);
}

void CAnalyReport::buildTypeTree()
{
    m_pTypeTree = new QTreeWidget(this);
    named(m_pTypeTree, QStringLiteral("ReportListTypeOEM"));
    m_pTypeTree->setFrameShape(QFrame::NoFrame);
    m_pTypeTree->setFocusPolicy(Qt::NoFocus);
    m_pTypeTree->setContentsMargins(0, 0, 0, 0);
    m_pTypeTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTypeTree->header()->setSectionsMovable(false);
    m_pTypeTree->header()->hide();
    m_pTypeTree->setSelectionMode(QAbstractItemView::SingleSelection);
    m_pTypeTree->setColumnCount(4);
    // The badge column keeps the room of the longest count; the caption
    // gives way when the tree is narrow. The spacer is one pixel only when
    // the header lets a section be that small.
    QHeaderView* header = m_pTypeTree->header();
    header->setMinimumSectionSize(1);
    header->setStretchLastSection(false);
    const int widths[] = {1, 20, 200, CQuantityWidget::ColumnWidth()};
    for (int column = 0; column < 4; ++column)
        m_pTypeTree->setColumnWidth(column, widths[column]);
    header->setSectionResizeMode(0, QHeaderView::Fixed);
    header->setSectionResizeMode(1, QHeaderView::Fixed);
    header->setSectionResizeMode(2, QHeaderView::Stretch);
    header->setSectionResizeMode(3, QHeaderView::Fixed);
    m_pTypeTree->setMinimumWidth(250);
    m_pTypeTree->setRootIsDecorated(false);

    for (const CategoryRow& category : kCategoryRows) {
        auto* badge = new CQuantityWidget(0, this);
        const bool first = category.kind == CAT_UNRECOGNIZED;
        auto* row = new CTypeTreeItem(tr(category.caption), QString::fromLatin1(category.icon), badge,
                                      first ? nullptr : m_pTypeTree);
        if (first)
            m_pTypeTree->insertTopLevelItem(0, row);
        row->m_iType = category.kind;
        row->SetQuantityWidgetIndex(0);
        m_vecTypeItem.append(row);
        m_pTypeTree->setItemWidget(row, 3, badge);
    }
    m_pTypeTree->setCurrentItem(TypeRow(CAT_ARTWORK));
    connect(m_pTypeTree, &QTreeWidget::currentItemChanged, this, &CAnalyReport::ClickType);
}

void CAnalyReport::buildArtworkGrid()
{
    m_pListArtwork = new CListWidget(m_track, this);
    named(m_pListArtwork, QStringLiteral("ArtworkList"));
    m_pListArtwork->setDragDropMode(QAbstractItemView::NoDragDrop);
    m_pListArtwork->setFrameShape(QFrame::NoFrame);
    m_pListArtwork->setFocusPolicy(Qt::NoFocus);
    m_pListArtwork->setMovement(QListView::Static);
    m_pListArtwork->viewport()->setAcceptDrops(true);
    m_pListArtwork->setDropIndicatorShown(true);
    m_pListArtwork->setDragEnabled(false);
    m_pListArtwork->setViewMode(QListView::IconMode);
    m_pListArtwork->setGridSize(QSize(140, 140));
    m_pListArtwork->setIconSize(QSize(108, 108));
    m_pListArtwork->setResizeMode(QListView::Adjust);
    m_pListArtwork->setSelectionRectVisible(true);
    m_pListArtwork->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pListArtwork->setItemDelegate(new CListDelegate(m_pListArtwork, this));
}

CFailedTreeWidget* CAnalyReport::buildCategoryTree(const QString& name)
{
    auto* tree = new CFailedTreeWidget(this);
    named(tree, name);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setFrameShape(QFrame::NoFrame);
    tree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setAutoScroll(false);
    tree->setColumnCount(6);
    tree->header()->hide();
    const int widths[] = {160, 80, 150, 150, 0, 30};
    const QHeaderView::ResizeMode modes[] = {QHeaderView::Stretch, QHeaderView::Fixed, QHeaderView::Stretch,
                                             QHeaderView::Stretch, QHeaderView::Fixed, QHeaderView::Fixed};
    for (int column = 0; column < 6; ++column) {
        tree->setColumnWidth(column, widths[column]);
        tree->header()->setSectionResizeMode(column, modes[column]);
    }
    tree->setColumnHidden(4, true);
    tree->setAlternatingRowColors(true);
    tree->setRootIsDecorated(false);
    tree->header()->setStretchLastSection(false);
    tree->update();
    return tree;
}

void CAnalyReport::buildUnrecognizedTree(QWidget* parent)
{
    m_pTreeFailed = new CFailedTreeWidget(parent);
    named(m_pTreeFailed, QStringLiteral("UnrecognizedTree"));
    m_pTreeFailed->setFocusPolicy(Qt::NoFocus);
    m_pTreeFailed->setFrameShape(QFrame::NoFrame);
    m_pTreeFailed->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pTreeFailed->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pTreeFailed->setAlternatingRowColors(true);
    m_pTreeFailed->setAutoScroll(false);
    m_pTreeFailed->setIconSize(QSize(30, 30));
    m_pTreeFailed->setRootIsDecorated(false);
    m_pTreeFailed->setColumnCount(9);
    m_pTreeFailed->setHeaderLabels({QStringLiteral("    \u221a"), QStringLiteral(" "), tr("Song title"), tr("Time"),
                                    tr("Artist"), tr("Album"), QStringLiteral(" "), QStringLiteral(" "),
                                    QStringLiteral(" ")});
    const int widths[] = {50, 50, 200, 80, 200, 200, 25, 25, 10};
    const QHeaderView::ResizeMode F = QHeaderView::Fixed, S = QHeaderView::Stretch;
    const QHeaderView::ResizeMode modes[] = {F, F, S, F, S, S, F, F, F};
    for (int column = 0; column < 9; ++column) {
        m_pTreeFailed->setColumnWidth(column, widths[column]);
        m_pTreeFailed->header()->setSectionResizeMode(column, modes[column]);
    }
    m_pTreeFailed->header()->setStretchLastSection(false);
    m_pTreeFailed->setColumnHidden(6, true);
    m_pTreeFailed->setColumnHidden(7, true);
}

void CAnalyReport::buildLayout()
{
    // Stack pages: 0 artwork, 1 unwritable, 2 album, 3 artist, 4 unrecognized.
    for (QWidget* page : {static_cast<QWidget*>(m_pListArtwork), static_cast<QWidget*>(m_pTreeNotExist),
                          static_cast<QWidget*>(m_pTreeAlbum), static_cast<QWidget*>(m_pTreeArtist),
                          static_cast<QWidget*>(m_pTreeFailed)})
        m_pListStack->addWidget(page);
    auto* right = new QVBoxLayout(m_pRightWidget);
    right->setContentsMargins(0, 0, 0, 0);
    right->setSpacing(0);
    right->addWidget(m_pListStack);
    right->addWidget(m_pModifyInfo);
    m_pSplitter->addWidget(m_pTypeTree);
    m_pSplitter->addWidget(m_pRightWidget);
    m_pSplitter->setCollapsible(0, false);
    m_pSplitter->setCollapsible(1, false);
    m_pSplitter->setStretchFactor(0, 1);
    m_pSplitter->setStretchFactor(1, 3);
    m_pTypeTree->setMinimumWidth(280);
    m_pTypeTree->setMaximumWidth(350);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(0);
    page->addWidget(m_pSplitter);
}

void CAnalyReport::connectLists()
{
    connect(m_pListArtwork, &CListWidget::SendCheckState, this, &CAnalyReport::ArtworkChangeChecked);
    connect(m_pListArtwork, &CListWidget::SetUnchecked, this, &CAnalyReport::ArtworkChangeChecked);
    connect(m_pListArtwork, &CListWidget::SetAllUnchecked, this, &CAnalyReport::ArtworkUncheckedAll);
    connect(m_pListArtwork, &CListWidget::ListButtonPressed, this, &CAnalyReport::SelectArtworkList);
    connect(m_pTreeAlbum, &QTreeWidget::itemClicked, this, &CAnalyReport::AlbumChangeChecked);
    connect(m_pTreeArtist, &QTreeWidget::itemClicked, this, &CAnalyReport::ArtistChangeChecked);
    connect(m_pTreeNotExist, &QTreeWidget::itemClicked, this, &CAnalyReport::NotExistChangeChecked);
    connect(m_pTreeNotExist, &QTreeWidget::itemClicked, this, &CAnalyReport::OpenRepeatMusicPath);
    connect(m_pListArtwork, &QListWidget::itemDoubleClicked, this, &CAnalyReport::ShowMaxPicture);
    connect(m_pTreeAlbum, &CFailedTreeWidget::SetUnchecked, this, &CAnalyReport::AlbumChangeChecked);
    connect(m_pTreeArtist, &CFailedTreeWidget::SetUnchecked, this, &CAnalyReport::ArtistChangeChecked);
    connect(m_pTreeNotExist, &CFailedTreeWidget::SetUnchecked, this, &CAnalyReport::NotExistChangeChecked);
    connect(m_pTreeAlbum, &CFailedTreeWidget::SetAllUnchecked, this, &CAnalyReport::AlbumUncheckedAll);
    connect(m_pTreeArtist, &CFailedTreeWidget::SetAllUnchecked, this, &CAnalyReport::ArtistUncheckedAll);
    connect(m_pTreeNotExist, &CFailedTreeWidget::SetAllUnchecked, this, &CAnalyReport::NotExistUncheckedAll);
    connect(m_pTreeFailed->header(), &QHeaderView::sectionClicked, this, &CAnalyReport::SortFailedTree);
    connect(m_pListArtwork, &QListWidget::currentItemChanged, this,
            qOverload<QListWidgetItem*, QListWidgetItem*>(&CAnalyReport::CurrentItemChanged));
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(m_pTreeAlbum), static_cast<QTreeWidget*>(m_pTreeArtist),
                              static_cast<QTreeWidget*>(m_pTreeFailed)})
        connect(tree, &QTreeWidget::currentItemChanged, this,
                qOverload<QTreeWidgetItem*, QTreeWidgetItem*>(&CAnalyReport::CurrentItemChanged));
}

CAnalyReport::~CAnalyReport()
{
    StopWorking();
    qDeleteAll(m_clearedRows);
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        delete converter(slot);
        m_slots.SetConverter(slot, nullptr);
    }
    delete m_pMoveFailedThread;
    delete m_pFixFailedThread;
    m_pMoveFailedThread = nullptr;
    m_pFixFailedThread = nullptr;
    if (m_pMusicLink)
        PlayUnit_Destroy(m_pMusicLink);
    // Rows out of the category tree are the page's own; rows in it go with
    // the tree. Taking them all out first frees each exactly once.
    takeTypeRows();
    qDeleteAll(m_vecTypeItem);
    m_vecTypeItem.clear();
}

void CAnalyReport::SetMusicLink(CMusicLink* link)
{
    m_pMusicLink = link;
    if (!link)
        return;
    // The page acts on a preview's end only when it previews a row itself.
    connect(link, &CMusicLink::SendPlayOver, this, &CAnalyReport::PlayOver);
    m_pModifyInfo->SetMusicLink(link);
    PlayUnit_Create(&PlayCallBrakPlay, link);
    setFocusPolicy(Qt::ClickFocus);
    m_pArtworkChooser = new CArtworkList(link, m_pListArtwork, Qt::Popup);
    connect(m_pArtworkChooser, &CArtworkList::SetArtwork, m_pModifyInfo, &CModifyMusicInfo::OpenFileImg);
    m_pArtworkChooser->hide();
}

void CAnalyReport::SetExitFlag(bool exit) { m_bExit = exit; }

CConverterThread* CAnalyReport::converter(int slot) const
{
    // The slots hold only the page's own converters.
    return static_cast<CConverterThread*>(m_slots.Converter(slot));
}

void CAnalyReport::stopConverters()
{
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        if (CConverterThread* thread = converter(slot)) {
            thread->SetStop(true);
            thread->KillConvertTask();
            thread->wait();
            thread->SetStop(false);
        }
        // A track whose conversion finished waits for its lookup with its
        // WAV file; no result will come for it to delete that file.
        if (m_track[slot].item)
            RemoveTemporaryWav(CConfig::instance()->GetMusicPath(), m_slots.SlotData(slot)->GetConverPath());
        m_slots.Free(slot);
    }
}

void CAnalyReport::StopWorking()
{
    stopConverters();
    m_pMoveFailedThread->wait();
    m_pFixFailedThread->wait();
    StopPlay();
    ClearReport();
}

void CAnalyReport::takeTypeRows()
{
    while (m_pTypeTree->topLevelItemCount() > 0) {
        auto* row = static_cast<CTypeTreeItem*>(m_pTypeTree->takeTopLevelItem(0));
        row->DelQuantityWidget();
    }
}

void CAnalyReport::ClearReport()
{
    // Deliveries of this run still on their way are dropped.
    m_inbox.Clear();
    m_iFixNum = 0;
    m_iFixTotal = 0;
    m_iProblemNum = 0;
    m_bNeedApply = false;
    m_iApplyUnreached = 0;
    m_iArtworkState = m_iAlbumState = m_iArtistState = m_iNotExistState = m_iFailedState = CTL_IDLE;
    m_eFixState = FS_IDLE;
    {
        // Each category row taken would show the next one's list first.
        const QSignalBlocker quiet(m_pTypeTree);
        takeTypeRows();
    }
    for (CTypeTreeItem* row : std::as_const(m_vecTypeItem)) {
        row->SetSpinner(false);
        row->SetQuantityWidgetIndex(0);
    }
    m_pListArtwork->StopFlash();
    m_pListArtwork->SetSuccessNum(0);
    // Taken row by row, tens of thousands of rows held the GUI thread a
    // tenth of a second and more, each removal moving the current row on:
    // the trees' rows leave at once and are deleted a slice at a time, the
    // tiles go at once below.
    const bool deleting = !m_clearedRows.isEmpty();
    for (CFailedTreeWidget* tree : {m_pTreeFailed, m_pTreeAlbum, m_pTreeArtist}) {
        m_clearedRows += tree->invisibleRootItem()->takeChildren();
        tree->m_iSuccessNum = 0;
    }
    if (!deleting && !m_clearedRows.isEmpty())
        QTimer::singleShot(0, this, &CAnalyReport::deleteClearedRows);
    for (int i = m_pTreeNotExist->topLevelItemCount() - 1; i >= 0; --i) {
        m_pTreeNotExist->removeItemWidget(m_pTreeNotExist->topLevelItem(i), 1);
        delete m_pTreeNotExist->takeTopLevelItem(i);
    }
    m_pTreeNotExist->m_iSuccessNum = 0;
    m_pListArtwork->clear();
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(m_pTreeFailed), static_cast<QTreeWidget*>(m_pTreeAlbum),
                              static_cast<QTreeWidget*>(m_pTreeArtist), static_cast<QTreeWidget*>(m_pTreeNotExist)})
        tree->clear();
    m_mapFailedItem.clear();
    // A move or return pass of the cleared run decided about rows now gone.
    m_pMovePlan.reset();
    m_pPlayItem = nullptr;
}

void CAnalyReport::deleteClearedRows()
{
    constexpr int kSlice = 4096;
    const int count = qMin(kSlice, int(m_clearedRows.size()));
    qDeleteAll(m_clearedRows.end() - count, m_clearedRows.end());
    m_clearedRows.resize(m_clearedRows.size() - count);
    if (!m_clearedRows.isEmpty())
        QTimer::singleShot(0, this, &CAnalyReport::deleteClearedRows);
}

CTypeTreeItem* CAnalyReport::TypeRow(int kind) const
{
    for (CTypeTreeItem* row : m_vecTypeItem)
        if (row->m_iType == kind)
            return row;
    return nullptr;
}

tagCtlState CAnalyReport::CategoryState(int kind) const
{
    return const_cast<CAnalyReport*>(this)->stateOf(kind);
}

tagCtlState& CAnalyReport::stateOf(int kind)
{
    switch (kind) {
    case CAT_UNRECOGNIZED: return m_iFailedState;
    case CAT_ARTWORK: return m_iArtworkState;
    case CAT_ARTIST: return m_iArtistState;
    case CAT_ALBUM: return m_iAlbumState;
    default: return m_iNotExistState;
    }
}

void ShowMusicInWindow(const QString& path)
{
    if (!path.isEmpty())
        desktop::revealFile(path);
}

void PlayCallBrakPlay(unsigned int progress, tagPlayUnitState state, void* user)
{
    // A file that does not decode ends its preview too: no row may keep
    // its playing icon over silence.
    const bool ended = state == PU_ENDED && progress == PROGRESS_FULL;
    if ((ended || state == PU_ERROR) && user)
        static_cast<CMusicLink*>(user)->CallPlayState(progress, state, 0);
}
