#include "textfield.h"

#include <QByteArray>

#include <algorithm>
#include <cstring>

namespace sennet {

namespace {

bool isContinuationByte(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

} // namespace

void copyText(char* field, std::size_t size, const QString& text)
{
    if (!field || size == 0)
        return;
    const QByteArray utf8 = text.toUtf8();
    std::size_t length = std::min<std::size_t>(static_cast<std::size_t>(utf8.size()), size - 1);
    // Backing up to a lead byte drops a character cut in half, so the field
    // never ends in a broken sequence.
    if (length < static_cast<std::size_t>(utf8.size()))
        while (length > 0 && isContinuationByte(utf8[static_cast<qsizetype>(length)]))
            --length;
    std::memset(field, 0, size);
    std::memcpy(field, utf8.constData(), length);
}

QString fieldText(const char* field, std::size_t size)
{
    if (!field)
        return QString();
    return QString::fromUtf8(field, static_cast<qsizetype>(strnlen(field, size)));
}

QString cText(const char* text)
{
    return text ? QString::fromUtf8(text) : QString();
}

} // namespace sennet
