#include "information/lineedit.h"

#include <QEvent>
#include <QFontMetrics>

namespace {

const QString kEllipsis = QStringLiteral("...");
constexpr int kEllipsisMargin = 16;
constexpr int kFitMargin = 6;
constexpr int kShortestPrefix = 6;

} // namespace

CLineEdit::CLineEdit(QWidget* parent)
    : QLineEdit(parent)
    , m_iEllipsisWidth(fontMetrics().horizontalAdvance(kEllipsis) + kEllipsisMargin)
{
    connect(this, &QLineEdit::textChanged, this, &CLineEdit::TextChanged);
}

CLineEdit::~CLineEdit() = default;

void CLineEdit::setText(const QString& text)
{
    m_strText = text;
    // A focused field shows what its user edits, and an edit is copied
    // into the full text: the screen must hold this text now, or the next
    // key would store the previous track's text as this one's.
    if (m_bFocus) {
        m_bFocusIn = false;
        showText(text);
    }
    update();
}

void CLineEdit::ShowFullText()
{
    showText(m_strText);
}

void CLineEdit::TextChanged(const QString& text)
{
    // The shortened text that a paint puts on screen must never become
    // the full text.
    if (m_bFocus)
        m_strText = text;
}

bool CLineEdit::event(QEvent* event)
{
    if (event->type() == QEvent::FocusIn) {
        m_bFocus = true;
        m_bFocusIn = true;
    } else if (event->type() == QEvent::FocusOut) {
        m_bFocus = false;
    }
    return QLineEdit::event(event);
}

void CLineEdit::paintEvent(QPaintEvent* event)
{
    if (m_bFocus && m_bFocusIn) {
        m_bFocusIn = false;
        showText(m_strText);
    } else if (!m_bFocus && showText(shownText())) {
        // The setter put the cursor at the end, which would scroll a text
        // a little wider than the field to its tail.
        setCursorPosition(0);
    }
    QLineEdit::paintEvent(event);
}

QString CLineEdit::shownText() const
{
    const QFontMetrics metrics = fontMetrics();
    const int width = this->width();
    if (metrics.horizontalAdvance(m_strText) + kFitMargin <= width)
        return m_strText;
    const int limit = width - m_iEllipsisWidth;
    int length = qMin(kShortestPrefix, int(m_strText.size()));
    while (length < m_strText.size() && metrics.horizontalAdvance(m_strText.left(length)) < limit)
        ++length;
    return m_strText.left(length) + kEllipsis;
}

// The base setter schedules a repaint even for the same text, so only a
// change goes through it: a paint must not ask for the next one.
bool CLineEdit::showText(const QString& text)
{
    if (QLineEdit::text() == text)
        return false;
    QLineEdit::setText(text);
    return true;
}
