#include "customcontrols/customcontrols.h"

#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QTimerEvent>

namespace {
const QColor kLinkColor(0, 115, 203);
constexpr int kHoverPollMs = 120;
}

CRichLabel::CRichLabel(QWidget* parent)
    : QLabel(parent)
{
    setMouseTracking(true);
}

CRichLabel::~CRichLabel()
{
    if (m_iTimerId != 0)
        killTimer(m_iTimerId);
}

void CRichLabel::InsertString(const QString& text, Str_Type type)
{
    m_listStrings.append(text);
    m_listTypes.append(type);
    setMinimumSize(width() + fontMetrics().horizontalAdvance(text), height());
}

void CRichLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    QFont linkFont = font();
    linkFont.setUnderline(true);
    int x = 0;
    for (int i = 0; i < m_listStrings.size(); ++i) {
        const QString& segment = m_listStrings.at(i);
        const Str_Type type = m_listTypes.at(i);
        if (segment.isEmpty() || (type != STR_TEXT && type != STR_LINK))
            continue;
        const int w = fontMetrics().horizontalAdvance(segment);
        if (type == STR_LINK) {
            painter.setFont(linkFont);
            painter.setPen(kLinkColor);
        } else {
            painter.setFont(font());
            painter.setPen(palette().color(foregroundRole()));
        }
        painter.drawText(QRect(x, -3, w, height()), Qt::AlignCenter, segment);
        x += w;
    }
}

void CRichLabel::timerEvent(QTimerEvent* event)
{
    if (m_iTimerId == 0 || event->timerId() != m_iTimerId) {
        QLabel::timerEvent(event);
        return;
    }
    // The pointer may rest while the label changes under it; asking again
    // keeps the cursor true to the segment below.
    const QPointF local = mapFromGlobal(QCursor::pos());
    QMouseEvent move(QEvent::MouseMove, local, mapToGlobal(local), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    mouseMoveEvent(&move);
}

void CRichLabel::enterEvent(QEnterEvent*)
{
    if (m_iTimerId == 0)
        m_iTimerId = startTimer(kHoverPollMs);
}

void CRichLabel::leaveEvent(QEvent*)
{
    if (m_iTimerId != 0) {
        killTimer(m_iTimerId);
        m_iTimerId = 0;
    }
    if (handShown())
        setCursor(Qt::ArrowCursor);
}

void CRichLabel::mouseMoveEvent(QMouseEvent* event)
{
    hitTest(int(event->position().x()));
}

void CRichLabel::mousePressEvent(QMouseEvent*)
{
    if (handShown())
        emit Clicked(m_iCurrentLink);
}

void CRichLabel::hitTest(int x)
{
    int total = 0;
    for (int i = 0; i < m_listStrings.size(); ++i) {
        total += fontMetrics().horizontalAdvance(m_listStrings.at(i));
        if (total < x)
            continue;
        if (m_listTypes.at(i) == STR_LINK) {
            setCursor(Qt::PointingHandCursor);
            m_iCurrentLink = i;
            return;
        }
        break;
    }
    if (handShown())
        setCursor(Qt::ArrowCursor);
}

bool CRichLabel::handShown() const
{
    return cursor().shape() == Qt::PointingHandCursor;
}
