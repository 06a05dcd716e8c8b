#include "treeobj/treeobj.h"

#include "linkcalls.h"
#include "treeitem.h"

#include <QFile>
#include <QListWidget>
#include <QPainter>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {
constexpr int kIconSide = 80;
constexpr int kGridSide = 90;
constexpr int kCellWidth = 95;
constexpr int kStripHeight = 156;

QIcon candidateIcon(const QString& path)
{
    QImage image;
    QFile file(path);
    if (file.exists() && file.open(QIODevice::ReadOnly))
        image = QImage::fromData(file.readAll());
    if (image.isNull())
        return QIcon();
    return QIcon(QPixmap::fromImage(image.scaled(kIconSide, kIconSide, Qt::IgnoreAspectRatio, Qt::FastTransformation)));
}
} // namespace

CArtworkList::CArtworkList(CArtworkChoiceCalls* link, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags)
    , m_imgLeft(QStringLiteral(":/res/res/mac/list/expandbg_left.png"))
    , m_imgCenter(QStringLiteral(":/res/res/mac/list/expandbg_center.png"))
    , m_imgRight(QStringLiteral(":/res/res/mac/list/expandbg_right.png"))
    , m_imgPointer(QStringLiteral(":/res/res/mac/list/expandbcl.png"))
    , m_pLink(link)
{
    setObjectName(QStringLiteral("Artwork_list"));
    setAccessibleName(tr("Artwork chooser"));
    setStyleSheet(QStringLiteral("QWidget#Artwork_list{background-color: transparent;}"));
    m_pList = new QListWidget(this);
    m_pList->setObjectName(QStringLiteral("Artwork_list_list"));
    m_pList->setAccessibleName(tr("Downloaded artwork"));
    m_pList->setContentsMargins(0, 0, 0, 0);
    m_pList->setStyleSheet(QStringLiteral("QListWidget#Artwork_list_list{ border:1; background-color: transparent; }"));
    m_pList->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pList->setViewMode(QListView::IconMode);
    m_pList->setMovement(QListView::Static);
    m_pList->setFlow(QListView::LeftToRight);
    m_pList->setFocusPolicy(Qt::NoFocus);
    m_pList->setGridSize(QSize(kGridSide, kGridSide));
    m_pList->setIconSize(QSize(kIconSide, kIconSide));
    m_pList->setResizeMode(QListView::Adjust);
    m_pList->setSelectionRectVisible(true);
    m_pList->setSelectionMode(QAbstractItemView::ExtendedSelection);
    connect(m_pList, &QListWidget::currentItemChanged, this, &CArtworkList::CurItemChanged);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(10, 35, 35, 10);
    layout->addWidget(m_pList);
    setFixedHeight(kStripHeight);
    setMinimumWidth(200);
}

CArtworkList::~CArtworkList() = default;

void CArtworkList::Init(QListWidgetItem* item, int index, const QStringList& paths)
{
    m_pItem = item;
    m_listPaths = paths;
    clearCandidates();
    for (int i = 0; i < paths.size(); ++i) {
        addCandidate(paths.at(i));
        if (i == index)
            m_pList->setCurrentRow(i);
    }
    const int n = int(paths.size());
    if (n > 0) {
        m_pList->setMinimumSize(kCellWidth * n, kGridSide);
        m_pList->setMaximumSize(kCellWidth * n, kGridSide);
        setMinimumSize(kCellWidth * n + 10, kStripHeight);
        setMaximumSize(kCellWidth * n + 10, kStripHeight);
    }
}

void CArtworkList::clearCandidates()
{
    // While the old candidates go, the list moves its current row to a
    // neighbour; heard as a choice, that would give the new cell a
    // candidate nobody picked.
    const QSignalBlocker quiet(m_pList);
    while (m_pList->count() > 0)
        delete m_pList->takeItem(m_pList->count() - 1);
    m_pList->clear();
}

void CArtworkList::addCandidate(const QString& path)
{
    auto* candidate = new QListWidgetItem;
    candidate->setSizeHint(QSize(kIconSide, kIconSide));
    candidate->setIcon(candidateIcon(path));
    m_pList->addItem(candidate);
}

void CArtworkList::SetBCLMoveX(int x)
{
    m_iPointerX = x;
}

int CArtworkList::GetSelectArtwork() const
{
    return m_pList->currentRow();
}

void CArtworkList::CurItemChanged(QListWidgetItem* pCurItem, QListWidgetItem* pPreItem)
{
    if (!pCurItem || pCurItem == pPreItem)
        return;
    const int row = m_pList->currentRow();
    if (row < 0 || row >= m_listPaths.size())
        return;
    const QString& path = m_listPaths.at(row);
    if (auto* cell = dynamic_cast<CListItem*>(m_pItem)) {
        cell->SetArtworkPath(path);
        if (m_pLink)
            m_pLink->SetArtworkList(cell->GetID(), row);
    }
    emit SetArtwork(path, false);
}

void CArtworkList::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width() - 1;
    if (!m_imgLeft.isNull())
        painter.drawImage(QPoint(0, 0), m_imgLeft);
    if (!m_imgRight.isNull())
        painter.drawImage(QPoint(w - m_imgRight.width(), 0), m_imgRight);
    if (!m_imgCenter.isNull()) {
        const QRect middle(m_imgLeft.width(), 0, w - m_imgLeft.width() - m_imgRight.width(), m_imgCenter.height());
        painter.drawImage(middle, m_imgCenter);
    }
    if (!m_imgPointer.isNull())
        painter.drawImage(QPoint(m_iPointerX, 0), m_imgPointer);
}

void CArtworkList::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    emit SendHide();
}
