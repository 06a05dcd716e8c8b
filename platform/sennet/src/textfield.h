// Moving text between Qt strings and the fixed UTF-8 fields of the records.
#pragma once

#include <QString>

#include <cstddef>

namespace sennet {

// Writes text into a field of size bytes as UTF-8 with its terminator; text
// that does not fit is cut before the first character that would not.
void copyText(char* field, std::size_t size, const QString& text);
// Reads a field that may lack its terminator; null reads as empty.
QString fieldText(const char* field, std::size_t size);
// Reads a zero-terminated UTF-8 text; null reads as empty.
QString cText(const char* text);

template <std::size_t N>
void copyText(char (&field)[N], const QString& text)
{
    copyText(field, N, text);
}

template <std::size_t N>
QString fieldText(const char (&field)[N])
{
    return fieldText(field, N);
}

} // namespace sennet
