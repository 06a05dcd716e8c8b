#include "customcontrols/customcontrols.h"

#include "elide.h"

#include <QPainter>

namespace {
const QColor kLinkColor(0, 115, 203);
const QColor kHoverColor(0, 170, 187);
}

CTextButton::CTextButton(QWidget* parent)
    : QPushButton(parent)
{
    QFont f = font();
    f.setPixelSize(11);
    setFont(f);
}

void CTextButton::setText(const QString& text)
{
    QPushButton::setText(text);
    if (fontMetrics().horizontalAdvance(text) > width())
        setToolTip(text);
    else
        setToolTip(QString());
}

void CTextButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_bHovered ? kHoverColor : kLinkColor);
    const QFontMetrics metrics = fontMetrics();
    QString shown = text();
    int w = width();
    const int textWidth = metrics.horizontalAdvance(shown);
    if (textWidth > w - 4) {
        const int available = w - 5 - metrics.horizontalAdvance(QStringLiteral("..."));
        shown = ElideKeepingStart(metrics, shown, available, 5);
    } else if (textWidth < w - 4) {
        // The button hugs its text; it never grows back for a longer one.
        w = textWidth + 4;
        setMinimumWidth(w);
        setMaximumWidth(w);
    }
    painter.drawText(QRect(0, -5, w, height()), Qt::AlignCenter, shown);
}

void CTextButton::enterEvent(QEnterEvent*)
{
    setCursor(Qt::PointingHandCursor);
    m_bHovered = true;
    update();
}

void CTextButton::leaveEvent(QEvent*)
{
    setCursor(Qt::ArrowCursor);
    m_bHovered = false;
    update();
}
