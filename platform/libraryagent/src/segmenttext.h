// A document made of pieces of the library text and short texts of our own,
// read by QXmlStreamReader without copying the pieces; the way back from
// the reader's character offsets to byte offsets in the library text; and
// the white space between its elements.
#pragma once

#include <QByteArray>
#include <QIODevice>
#include <QList>

struct tagTextSegment
{
    const char* data;
    qint64 size;
    qint64 fileOffset; // where data starts in the library text; -1 for our own text
};

class CSegmentText
{
public:
    void appendFile(const QByteArray& text, qint64 begin, qint64 end);
    void appendOwn(const char* literal);
    const QList<tagTextSegment>& segments() const { return m_segments; }

private:
    QList<tagTextSegment> m_segments;
};

// Sequential read-only device over the segments.
class CSegmentDevice : public QIODevice
{
public:
    explicit CSegmentDevice(const CSegmentText& text);
    bool isSequential() const override { return true; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QList<tagTextSegment> m_segments;
    int m_segment = 0;
    qint64 m_at = 0;
};

// Maps QXmlStreamReader::characterOffset() (UTF-16 units from the start of
// the document) to a byte offset in the library text. Offsets must be asked
// in increasing order; the text must be valid UTF-8 without a byte-order
// mark. An offset inside our own text maps to -1, except at its end, which
// maps to the start of the next piece of the file; an offset at the end of
// a piece of the file maps to that piece's end.
class CUtf8OffsetMap
{
public:
    explicit CUtf8OffsetMap(const CSegmentText& text);
    qint64 byteAt(qint64 charOffset);

private:
    QList<tagTextSegment> m_segments;
    int m_segment = 0;
    qint64 m_byte = 0; // within the current segment
    qint64 m_char = 0;
};

// True when bytes is valid UTF-8 (checked in pieces, in constant memory).
bool isValidUtf8(const char* data, qint64 size);

// Whether c is XML white space: space, tab, line feed or carriage return.
bool isXmlBlank(char c);
// The first place at or after at where text holds no XML white space.
qint64 skipXmlBlanks(const QByteArray& text, qint64 at);
