// Shortening a text from its end, shared by the status-row widgets.
#pragma once

#include <QFontMetrics>
#include <QString>

// The first k characters (k counting from minKeep) whose width reaches
// available, followed by "..."; the whole text with "..." when even all of
// it stays short of available. The result may run past available: the kept
// prefix is the first that reaches it.
inline QString ElideKeepingStart(const QFontMetrics& metrics, const QString& text, int available, int minKeep)
{
    int k = minKeep;
    while (k < text.size() && metrics.horizontalAdvance(text.left(k)) < available)
        ++k;
    return text.left(k) + QStringLiteral("...");
}
