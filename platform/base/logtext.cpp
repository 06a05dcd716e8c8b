#include "platformbase.h"

namespace {

// Characters a text editor or a terminal may take for the end of a line or
// for a command: C0 and C1 controls, DEL, and the Unicode line and
// paragraph separators.
bool breaksTheLine(QChar c)
{
    const QChar::Category category = c.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line
           || category == QChar::Separator_Paragraph;
}

QString escapeOf(QChar c)
{
    switch (c.unicode()) {
    case '\n':
        return QStringLiteral("\\n");
    case '\r':
        return QStringLiteral("\\r");
    case '\t':
        return QStringLiteral("\\t");
    default:
        return QStringLiteral("\\u%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    }
}

} // namespace

QString LogLineText(const QString& text)
{
    QString line;
    line.reserve(text.size());
    for (const QChar c : text) {
        if (breaksTheLine(c))
            line += escapeOf(c);
        else
            line += c;
    }
    return line;
}

QString ServerTextForLog(const QString& text)
{
    if (text.size() <= kMaxLoggedServerChars)
        return text;
    qsizetype cut = kMaxLoggedServerChars;
    // A character outside the BMP is two QChars; cutting between them would
    // leave half of it, which UTF-8 cannot write.
    if (text.at(cut).isLowSurrogate())
        --cut;
    return text.left(cut) + QStringLiteral("... (%1 more characters)").arg(text.size() - cut);
}
