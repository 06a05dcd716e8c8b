#include "about/about.h"

#include <QDesktopServices>
#include <QUrl>

namespace {
constexpr int kLinkWidth = 300;
}

CLabelPress::CLabelPress(QString url, QString text, QWidget* parent)
    : QLabel(parent)
    , m_strUrl(std::move(url))
{
    setCursor(Qt::PointingHandCursor);
    setMinimumWidth(kLinkWidth);
    setMaximumWidth(kLinkWidth);

    const QFontMetrics metrics = fontMetrics();
    QString shown = text;
    if (metrics.horizontalAdvance(shown) > width()) {
        const int available = width() - metrics.horizontalAdvance(QStringLiteral("..."));
        while (!shown.isEmpty() && metrics.horizontalAdvance(shown) > available)
            shown.remove(shown.size() / 2, 1);
        shown.insert((shown.size() + 1) / 2, QStringLiteral("..."));
        setToolTip(text);
    }
    // The address is text to show, not markup.
    setText(QStringLiteral("<u><font color=#4F94CD>%1</font></u>").arg(shown.toHtmlEscaped()));
}

void CLabelPress::mousePressEvent(QMouseEvent* event)
{
    QLabel::mousePressEvent(event);
    QDesktopServices::openUrl(QUrl::fromEncoded(m_strUrl.toLocal8Bit(), QUrl::TolerantMode));
}
