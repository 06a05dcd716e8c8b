#include "segmenttext.h"

#include <QStringDecoder>

#include <cstring>

void CSegmentText::appendFile(const QByteArray& text, qint64 begin, qint64 end)
{
    if (end > begin)
        m_segments.append({text.constData() + begin, end - begin, begin});
}

void CSegmentText::appendOwn(const char* literal)
{
    m_segments.append({literal, qint64(std::strlen(literal)), -1});
}

CSegmentDevice::CSegmentDevice(const CSegmentText& text) : m_segments(text.segments())
{
    // The reader buffers on its own; a second buffer would only copy.
    open(QIODevice::ReadOnly | QIODevice::Unbuffered);
}

qint64 CSegmentDevice::readData(char* data, qint64 maxSize)
{
    qint64 copied = 0;
    while (copied < maxSize && m_segment < m_segments.size()) {
        const tagTextSegment& segment = m_segments.at(m_segment);
        const qint64 n = qMin(maxSize - copied, segment.size - m_at);
        std::memcpy(data + copied, segment.data + m_at, size_t(n));
        copied += n;
        m_at += n;
        if (m_at == segment.size) {
            ++m_segment;
            m_at = 0;
        }
    }
    return copied;
}

CUtf8OffsetMap::CUtf8OffsetMap(const CSegmentText& text) : m_segments(text.segments()) {}

qint64 CUtf8OffsetMap::byteAt(qint64 charOffset)
{
    while (m_char < charOffset && m_segment < m_segments.size()) {
        const tagTextSegment& segment = m_segments.at(m_segment);
        if (m_byte >= segment.size) {
            ++m_segment;
            m_byte = 0;
            continue;
        }
        const unsigned char lead = static_cast<unsigned char>(segment.data[m_byte]);
        // A four-byte sequence is one character outside the BMP: two UTF-16 units.
        const int bytes = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        m_byte += bytes;
        m_char += bytes == 4 ? 2 : 1;
    }
    // Our own text has no place in the file; its end is where the next
    // piece of the file begins.
    while (m_segment + 1 < m_segments.size() && m_segments.at(m_segment).fileOffset < 0
           && m_byte >= m_segments.at(m_segment).size) {
        ++m_segment;
        m_byte = 0;
    }
    if (m_segment >= m_segments.size())
        return -1;
    const tagTextSegment& segment = m_segments.at(m_segment);
    return segment.fileOffset < 0 ? -1 : segment.fileOffset + m_byte;
}

bool isValidUtf8(const char* data, qint64 size)
{
    constexpr qint64 kPiece = 1 << 16;
    const auto continuation = [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; };
    // Each piece is decoded on its own, so no piece may end inside a
    // sequence: a border is moved back before the sequence's lead byte.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    qint64 at = 0;
    while (at < size) {
        qint64 end = qMin(size, at + kPiece);
        for (int back = 0; end < size && back < 3 && continuation(data[end]); ++back)
            --end;
        const QString piece = decoder.decode(QByteArrayView(data + at, end - at));
        if (decoder.hasError())
            return false;
        at = end;
    }
    return true;
}

bool isXmlBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

qint64 skipXmlBlanks(const QByteArray& text, qint64 at)
{
    while (at < text.size() && isXmlBlank(text.at(at)))
        ++at;
    return at;
}
