#include "treeobj/treeobj.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMovie>
#include <QPainter>
#include <QVBoxLayout>

CAnalyWidget::CAnalyWidget(QWidget* area, QWidget* parent)
    : QWidget(parent)
    , m_pArea(area)
    , m_imgMask(QStringLiteral(":/res/res/mac/label/blackmask.png"))
    , m_pixFinished(QStringLiteral(":/res/res/mac/label/fixallok.png"))
{
    m_pLabel = new QLabel(this);
    m_pLabel->setFixedSize(60, 60);
    m_pMovie = new QMovie(QStringLiteral(":/res/res/mac/gif/bigloading.gif"), QByteArray(), this);
    m_pLabel->setMovie(m_pMovie);

    auto* column = new QVBoxLayout;
    column->addStretch();
    column->addWidget(m_pLabel, 128);
    column->addStretch();
    auto* row = new QHBoxLayout(this);
    row->addStretch();
    row->addLayout(column, 4);
    row->addStretch();
}

CAnalyWidget::~CAnalyWidget()
{
    if (m_pMovie->state() == QMovie::Running)
        m_pMovie->stop();
}

void CAnalyWidget::SetFash(bool running)
{
    m_pMovie->stop();
    if (running) {
        m_pLabel->setMovie(m_pMovie);
        m_pMovie->start();
    } else {
        m_pLabel->setPixmap(m_pixFinished);
    }
    FitArea();
    show();
    // Keys must not reach the page under the mask while work runs: the
    // focus alone would let Tab move on to the page's widgets.
    if (m_pArea)
        m_pArea->setEnabled(!running);
    if (running)
        setFocus();
}

void CAnalyWidget::setVisible(bool visible)
{
    QWidget::setVisible(visible);
    if (!visible && m_pArea)
        m_pArea->setEnabled(true);
}

void CAnalyWidget::FitArea()
{
    if (!m_pArea)
        return;
    // The area usually sits inside another widget than the overlay (the
    // page stack in the central widget, the overlay on the window), so its
    // own geometry would put the mask over the tool bar.
    const QPoint areaGlobal = m_pArea->mapToGlobal(QPoint(0, 0));
    const QPoint topLeft = parentWidget() ? parentWidget()->mapFromGlobal(areaGlobal) : areaGlobal;
    setGeometry(QRect(topLeft, m_pArea->size()));
}

void CAnalyWidget::Start()
{
    m_pMovie->start();
}

void CAnalyWidget::Stop()
{
    m_pMovie->stop();
}

void CAnalyWidget::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(rect(), m_imgMask);
}
