#include "customcontrols/customcontrols.h"

#include <QPainter>

CStatusBar::CStatusBar(QWidget* parent)
    : QStatusBar(parent)
    , m_imgLogo(QStringLiteral(":/res/res/mac/label/zorvalogo.png"))
{
    // Without its logo the bar keeps its natural height rather than folding
    // to nothing and taking the messages with it.
    if (!m_imgLogo.isNull()) {
        const int h = int(m_imgLogo.height() * 1.5);
        setMinimumHeight(h);
        setMaximumHeight(h);
    }
}

void CStatusBar::paintEvent(QPaintEvent* event)
{
    QStatusBar::paintEvent(event);
    if (!currentMessage().isEmpty() || m_imgLogo.isNull())
        return;
    QPainter painter(this);
    painter.drawImage(QPoint((width() - m_imgLogo.width()) / 2, (height() - m_imgLogo.height()) / 2), m_imgLogo);
}
