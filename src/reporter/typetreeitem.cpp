#include "reporter/typetreeitem.h"

#include "sharedimages.h"

#include <QGraphicsScene>
#include <QGraphicsView>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QStackedWidget>
#include <QTimeLine>
#include <QTransform>
#include <QtMath>

namespace {

const QString kCountSheet = QStringLiteral("QLabel{background-color: #94a9c8; color: #ffffff; border-radius: %1; font: 12px}");
const QString kSelectedSheet = QStringLiteral("QLabel{background-color: #FFFFFF; color: #000000; border-radius: 7; font: 12px}");

// The badge's margins: the count sits flush left with a little room after it.
constexpr int kBadgeRightMargin = 5;
constexpr int kWidestCount = 999999;

} // namespace

CPixmapItem::~CPixmapItem() = default;

void CPixmapItem::paint(QPainter* painter, const QStyleOptionGraphicsItem*, QWidget*)
{
    const QRect own(0, 0, pixmap().width(), pixmap().height());
    painter->setClipRect(own);
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter->setRenderHint(QPainter::Antialiasing);
    painter->drawPixmap(own, pixmap());
}

CRotation::CRotation(const QString& picture, int width, int height, QWidget* parent)
    : QWidget(parent), m_iWidth(width), m_iHeight(height)
{
    m_pView = new QGraphicsView(this);
    m_pView->setStyleSheet(QStringLiteral("border:0px; background-color:rgba(0,0,0,0);"));
    m_pView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pView->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // The view shows exactly the scene, so the picture sits where the badge
    // puts the spinner.
    m_pView->setFixedSize(width, height);
    auto* scene = new QGraphicsScene(m_pView);
    scene->setSceneRect(0, 0, width, height);
    m_pView->setScene(scene);
    m_pPixmapItem = new CPixmapItem();
    m_pPixmapItem->setPixmap(QPixmap(picture));
    scene->addItem(m_pPixmapItem);
    setFixedSize(width, height);

    m_pTimeLine = new QTimeLine(500, this);
    m_pTimeLine->setFrameRange(0, 360);
    m_pTimeLine->setEasingCurve(QEasingCurve::Linear);
    connect(m_pTimeLine, &QTimeLine::frameChanged, this, &CRotation::Rotation);
    connect(m_pTimeLine, &QTimeLine::finished, this, &CRotation::Start);
}

CRotation::~CRotation() = default;

bool CRotation::IsRunning() const { return m_pTimeLine->state() == QTimeLine::Running; }

qreal CRotation::Angle() const
{
    const QTransform t = m_pPixmapItem->transform();
    return qRadiansToDegrees(qAtan2(t.m12(), t.m11()));
}

void CRotation::Rotation(int angle)
{
    QTransform transform;
    transform.translate(m_iWidth / 2, m_iHeight / 2);
    transform.rotate(angle, Qt::ZAxis);
    transform.translate(-(m_iWidth / 2), -(m_iHeight / 2));
    m_pPixmapItem->setTransform(transform);
}

void CRotation::Start()
{
    if (m_pTimeLine->state() == QTimeLine::NotRunning)
        m_pTimeLine->start();
    else if (m_pTimeLine->state() == QTimeLine::Paused)
        m_pTimeLine->resume();
}

void CRotation::Stop()
{
    if (m_pTimeLine->state() != QTimeLine::NotRunning)
        m_pTimeLine->stop();
}

CQuantityWidget::CQuantityWidget(int count, QWidget* parent) : QWidget(parent)
{
    m_pStackedWidget = new QStackedWidget(this);
    auto* layout = new QHBoxLayout();
    layout->setContentsMargins(0, 9, kBadgeRightMargin, 9);

    m_pNumLabel = new QLabel(m_pStackedWidget);
    m_pNumLabel->setAlignment(Qt::AlignCenter);
    m_pNumLabel->setStyleSheet(kCountSheet.arg(9));
    SetMusicNum(count);

    m_pIconLabel = new QLabel(m_pStackedWidget);
    m_pIconLabel->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    if (g_pOK)
        m_pIconLabel->setPixmap(g_pOK->pixmap(16, 16, QIcon::Normal, QIcon::Off));

    m_pRotation = new CRotation(QStringLiteral(":res/res/mac/list/fixing.png"), 16, 16, m_pStackedWidget);

    m_pStackedWidget->addWidget(m_pNumLabel);
    m_pStackedWidget->addWidget(m_pIconLabel);
    m_pStackedWidget->addWidget(m_pRotation);
    layout->addWidget(m_pStackedWidget, 0);
    layout->addStretch();
    setLayout(layout);
}

CQuantityWidget::~CQuantityWidget() = default;

int CQuantityWidget::CountWidth(int count)
{
    return 5 * int(QString::number(count).size()) + 20;
}

int CQuantityWidget::ColumnWidth()
{
    return CountWidth(kWidestCount) + kBadgeRightMargin;
}

void CQuantityWidget::SetMusicNum(int count)
{
    const QString text = QString::number(count);
    m_pStackedWidget->setFixedWidth(CountWidth(count));
    m_pNumLabel->setText(text);
    setAccessibleName(text);
}

void CQuantityWidget::SetSelected(bool selected)
{
    m_pNumLabel->setStyleSheet(selected ? kSelectedSheet : kCountSheet.arg(7));
}

void CQuantityWidget::SetCurrentlabel(int page) { m_pStackedWidget->setCurrentIndex(page); }

void CQuantityWidget::SetMovieState(bool run)
{
    if (run)
        m_pRotation->Start();
    else
        m_pRotation->Stop();
}

int CQuantityWidget::CurrentPage() const { return m_pStackedWidget->currentIndex(); }

QString CQuantityWidget::CountText() const { return m_pNumLabel->text(); }

CTypeTreeItem::CTypeTreeItem(const QString& text, const QString& icon, CQuantityWidget* badge,
                             QTreeWidget* tree)
    : QTreeWidgetItem(tree, 0), m_pQuantityWidget(badge)
{
    setData(1, Qt::DecorationRole, QIcon(icon));
    setText(2, text);
    // The caption names the row for screen readers and test drivers.
    setData(0, Qt::AccessibleTextRole, text);
    setSizeHint(0, QSize(1, 36));
}

CTypeTreeItem::~CTypeTreeItem() = default;

void CTypeTreeItem::DelQuantityWidget()
{
    delete m_pQuantityWidget;
    m_pQuantityWidget = nullptr;
}

void CTypeTreeItem::SetQuantityWidgetIndex(int page)
{
    m_iQuantityWidgetIndex = page;
    if (m_pQuantityWidget)
        m_pQuantityWidget->SetCurrentlabel(page);
}

void CTypeTreeItem::SetSpinner(bool run)
{
    if (m_pQuantityWidget)
        m_pQuantityWidget->SetMovieState(run);
}

void CTypeTreeItem::MarkFixing()
{
    SetQuantityWidgetIndex(2);
    SetSpinner(true);
}

void CTypeTreeItem::MarkFinished()
{
    SetSpinner(false);
    SetQuantityWidgetIndex(1);
}
