#include "customcontrols/customcontrols.h"

#include "elide.h"

#include <QPainter>
#include <QRandomGenerator>
#include <QTimerEvent>

namespace {
constexpr int kScrollTickMs = 100;
constexpr int kHoldMs = 10000;
}

CShadeLabel::CShadeLabel(QWidget* statusBar)
    : QLabel(nullptr)
    , m_pStatusBar(statusBar)
{
}

CShadeLabel::~CShadeLabel()
{
    stopTimer();
}

void CShadeLabel::setText(const QString& text)
{
    QLabel::setText(text);
}

bool CShadeLabel::InputText(const QString& text)
{
    if (text.isEmpty() || m_listTips.contains(text))
        return false;
    m_listTips.append(text);
    return true;
}

void CShadeLabel::ClearText()
{
    if (!isHidden())
        setHidden(true);
    m_listTips.clear();
    setText(QString());
}

void CShadeLabel::setHidden(bool hidden)
{
    if (hidden) {
        stopTimer();
        QLabel::setHidden(true);
        return;
    }
    m_iOffset = 0;
    stopTimer();
    if (m_listTips.size() >= 2) {
        const int index = QRandomGenerator::global()->bounded(int(m_listTips.size()));
        setText(m_listTips.at(index));
        restartTimer(kScrollTickMs);
    } else if (m_listTips.size() == 1) {
        setText(m_listTips.first());
    }
    QLabel::setHidden(false);
}

QString CShadeLabel::NextText() const
{
    const int i = m_listTips.indexOf(text());
    if (i < 0)
        return QString();
    return m_listTips.at((i + 1) % m_listTips.size());
}

void CShadeLabel::ChangedText()
{
    setText(NextText());
}

QString CShadeLabel::elided(const QString& line) const
{
    const QFontMetrics metrics = fontMetrics();
    if (metrics.horizontalAdvance(line) <= width())
        return line;
    const int available = width() - (metrics.horizontalAdvance(QStringLiteral("...")) + 5);
    return ElideKeepingStart(metrics, line, available, 1);
}

void CShadeLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    painter.drawText(QRect(0, -m_iOffset, w, h), Qt::AlignLeft | Qt::AlignTop, elided(text()));
    if (m_listTips.size() >= 2)
        painter.drawText(QRect(0, h - m_iOffset, w, h), Qt::AlignLeft | Qt::AlignTop, elided(NextText()));
}

void CShadeLabel::timerEvent(QTimerEvent* event)
{
    if (m_iTimerId == 0 || event->timerId() != m_iTimerId) {
        QLabel::timerEvent(event);
        return;
    }
    ++m_iOffset;
    if (m_iOffset == 1) {
        restartTimer(kHoldMs);
        return;
    }
    if (m_iOffset == 2)
        restartTimer(kScrollTickMs);
    if (m_iOffset >= height()) {
        setText(NextText());
        m_iOffset = 0;
    }
    // Moving the pixels already drawn costs one exposed row per tick
    // instead of a repaint of the whole label.
    scroll(0, -1);
}

void CShadeLabel::enterEvent(QEnterEvent*)
{
    if (auto* bar = qobject_cast<QStatusBar*>(m_pStatusBar))
        bar->showMessage(text());
    // The id stays, so leaving knows there was a ticker to resume.
    if (m_iTimerId != 0 && !m_bPaused) {
        killTimer(m_iTimerId);
        m_bPaused = true;
    }
}

void CShadeLabel::leaveEvent(QEvent*)
{
    if (auto* bar = qobject_cast<QStatusBar*>(m_pStatusBar))
        bar->clearMessage();
    if (m_iTimerId != 0) {
        if (!m_bPaused)
            killTimer(m_iTimerId);
        m_bPaused = false;
        m_iTimerId = startTimer(kScrollTickMs);
    }
}

void CShadeLabel::restartTimer(int ms)
{
    stopTimer();
    m_iTimerId = startTimer(ms);
}

void CShadeLabel::stopTimer()
{
    if (m_iTimerId != 0 && !m_bPaused)
        killTimer(m_iTimerId);
    m_iTimerId = 0;
    m_bPaused = false;
}
