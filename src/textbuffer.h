// Copying text into the caller-owned buffers of the platform helpers.
#pragma once

#include <QByteArray>

#include <cstring>

// Copies text and a terminating zero into out; -1, leaving out untouched,
// when that needs more than size bytes.
inline int CopyToBuffer(const QByteArray& text, char* out, size_t size)
{
    if (!out || size_t(text.size()) + 1 > size)
        return -1;
    std::memcpy(out, text.constData(), size_t(text.size()));
    out[text.size()] = '\0';
    return 0;
}
