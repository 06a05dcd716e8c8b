// The walk over an ID3v2 tag's frame headers. It follows TagLib's own
// reading step by step, because a frame TagLib throws away, or a frame
// after which it stops, must not count here either: a frame is taken only
// when its ID is upper-case letters and digits and its size neither zero
// nor beyond the tag data that is there, and the first frame that fails
// ends the tag.
#include "artworkscan.h"
#include "scanfile.h"

#include <QUtf8StringView>

#include <algorithm>
#include <cstring>

namespace {

constexpr int kTagHeaderSize = 10;
// Text frames longer than this give no evidence: the scan reads no frame
// body of any size.
constexpr int kMaxTextBody = 1024;

enum TagFlag { TAG_UNSYNCHRONISED = 0x80, TAG_EXTENDED_HEADER = 0x40, TAG_FOOTER = 0x10 };
// The second flag byte of a 2.3 and 2.4 frame header: anything set there
// (compression, encryption, grouping, unsynchronisation, data length)
// changes how the body reads.
constexpr unsigned char kNoFormatFlags = 0;
constexpr unsigned char kDataLengthIndicator = 0x01;

enum FrameKind { FRAME_OTHER, FRAME_PICTURE, FRAME_TITLE, FRAME_ARTIST, FRAME_ALBUM };

uint32_t SynchsafeOrPlain(const unsigned char* p)
{
    // Writers that ignore the rule store plain numbers; TagLib reads any
    // number with a high bit set that way.
    if ((p[0] | p[1] | p[2] | p[3]) & 0x80)
        return BigEndian32(p);
    return uint32_t(p[0]) << 21 | uint32_t(p[1]) << 14 | uint32_t(p[2]) << 7 | p[3];
}

bool IsFrameIdChar(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
}

FrameKind KindOf(const unsigned char* id, int length)
{
    struct Name { const char* id; FrameKind kind; };
    static const Name kNames[] = {
        {"APIC", FRAME_PICTURE}, {"TIT2", FRAME_TITLE}, {"TPE1", FRAME_ARTIST}, {"TALB", FRAME_ALBUM},
        // Version 2.2 names, which TagLib turns into the ones above.
        {"PIC", FRAME_PICTURE}, {"TT2", FRAME_TITLE}, {"TP1", FRAME_ARTIST}, {"TAL", FRAME_ALBUM},
    };
    for (const Name& name : kNames) {
        if (int(std::strlen(name.id)) == length && std::memcmp(name.id, id, size_t(length)) == 0)
            return name.kind;
    }
    return FRAME_OTHER;
}

// Whether a UTF-16 text holds a character: a code unit other than 0 and
// a byte order mark, in either order.
bool HasUtf16Character(const unsigned char* text, int length)
{
    for (int i = 0; i + 1 < length; i += 2) {
        const uint32_t unit = uint32_t(text[i]) << 8 | text[i + 1];
        if (unit != 0 && unit != 0xFEFF && unit != 0xFFFE)
            return true;
    }
    return false;
}

// Whether a text frame's body certainly reads as a non-empty text.
bool IsNonEmptyText(const unsigned char* body, int length)
{
    if (length < 2)
        return false;
    const unsigned char* text = body + 1;
    const int textLength = length - 1;
    const bool anyByte = std::any_of(text, text + textLength, [](unsigned char c) { return c != 0; });
    switch (body[0]) {
    case 0: // Latin-1
        return anyByte;
    case 3: // UTF-8
        return anyByte
            && QUtf8StringView(reinterpret_cast<const char*>(text), textLength).isValidUtf8();
    case 1: // UTF-16 with a byte order mark
    case 2: // UTF-16 big-endian
        return HasUtf16Character(text, textLength);
    default:
        return false;
    }
}

class CId3v2Walk
{
public:
    CId3v2Walk(CScanFile& file, int64_t dataStart, int64_t dataLength, int major, bool unsynchronised)
        : m_file(file), m_start(dataStart), m_length(dataLength), m_major(major),
          m_headerSize(major < 3 ? 6 : 10), m_unsynchronised(unsynchronised)
    {
    }

    void run(tagId3v2Scan& out);

private:
    // One frame at position p of the tag data; false where TagLib stops.
    bool frame(int64_t p, tagId3v2Scan& out, int64_t* next);
    uint32_t frameSize(int64_t p, const unsigned char* header);
    bool isFrameIdAt(int64_t p);
    void takeText(int64_t bodyOffset, int64_t available, uint32_t size, tagId3v2Scan& out);

    CScanFile& m_file;
    const int64_t m_start;  // file offset of the tag data (after its header)
    const int64_t m_length; // tag data present in the file
    const int m_major;
    const int m_headerSize;
    const bool m_unsynchronised;
    bool m_seen[FRAME_ALBUM + 1] = {};
};

void CId3v2Walk::run(tagId3v2Scan& out)
{
    // TagLib's loop: room for a frame header must remain after the position.
    int64_t p = 0;
    while (m_length > m_headerSize && p < m_length - m_headerSize) {
        if (!frame(p, out, &p))
            return;
        // Once both are known nothing later can change the answer.
        if (out.hasPicture && out.hasText)
            return;
    }
}

bool CId3v2Walk::isFrameIdAt(int64_t p)
{
    unsigned char id[4];
    return p >= 0 && p + 4 <= m_length && m_file.readAll(m_start + p, id, 4)
        && std::all_of(id, id + 4, IsFrameIdChar);
}

uint32_t CId3v2Walk::frameSize(int64_t p, const unsigned char* header)
{
    if (m_major == 2)
        return BigEndian24(header + 3);
    if (m_major == 3)
        return BigEndian32(header + 4);
    uint32_t size = SynchsafeOrPlain(header + 4);
    // Some writers put 2.3 sizes into 2.4 tags; TagLib takes the plain
    // reading when only it lands on the next frame's ID.
    if (size > 127 && !isFrameIdAt(p + int64_t(size) + 10)) {
        const uint32_t plain = BigEndian32(header + 4);
        if (isFrameIdAt(p + int64_t(plain) + 10))
            size = plain;
    }
    return size;
}

bool CId3v2Walk::frame(int64_t p, tagId3v2Scan& out, int64_t* next)
{
    unsigned char header[10];
    if (!m_file.readAll(m_start + p, header, m_headerSize))
        return false;
    if (header[0] == 0) // padding
        return false;
    const uint32_t size = frameSize(p, header);
    const unsigned char formatFlags = m_major >= 3 ? header[9] : kNoFormatFlags;
    const bool lengthIndicator = m_major >= 4 && (formatFlags & kDataLengthIndicator);
    const int64_t remaining = m_length - p;
    if (size <= (lengthIndicator ? 4u : 0u) || int64_t(size) > remaining)
        return false;
    // iTunes writes 2.2 frames into 2.3 tags, a zero after the three letters.
    int idLength = m_major == 2 ? 3 : 4;
    if (m_major == 3 && header[3] == 0)
        idLength = 3;
    if (!std::all_of(header, header + idLength, IsFrameIdChar))
        return false;
    const FrameKind kind = KindOf(header, idLength);
    if (kind == FRAME_PICTURE) {
        out.hasPicture = true;
    } else if (kind != FRAME_OTHER && !m_seen[kind]) {
        // Only the first frame of an ID gives the tag its text.
        m_seen[kind] = true;
        if (formatFlags == kNoFormatFlags && !m_unsynchronised)
            takeText(m_start + p + m_headerSize, remaining - m_headerSize, size, out);
    }
    *next = p + int64_t(size) + m_headerSize;
    return true;
}

void CId3v2Walk::takeText(int64_t bodyOffset, int64_t available, uint32_t size, tagId3v2Scan& out)
{
    const int64_t length = std::min<int64_t>(size, available);
    if (out.hasText || length > kMaxTextBody || length <= 0)
        return;
    unsigned char body[kMaxTextBody];
    if (m_file.readAll(bodyOffset, body, int(length)) && IsNonEmptyText(body, int(length)))
        out.hasText = true;
}

} // namespace

bool ReadId3v2Header(CScanFile& file, int64_t offset, tagId3v2Header& out)
{
    unsigned char header[kTagHeaderSize];
    if (!file.readAll(offset, header, kTagHeaderSize) || std::memcmp(header, "ID3", 3) != 0)
        return false;
    out.major = header[3];
    out.flags = header[5];
    if (out.major < 2 || out.major > 4 || ((header[6] | header[7] | header[8] | header[9]) & 0x80))
        return false;
    out.size = SynchsafeOrPlain(header + 6);
    return true;
}

int64_t Id3v2TagEnd(CScanFile& file, int64_t offset)
{
    tagId3v2Header header;
    if (!ReadId3v2Header(file, offset, header))
        return -1;
    const int footer = (header.flags & TAG_FOOTER) ? kTagHeaderSize : 0;
    return offset + kTagHeaderSize + int64_t(header.size) + footer;
}

bool ScanId3v2(CScanFile& file, int64_t offset, tagId3v2Scan& out)
{
    tagId3v2Header header;
    if (!ReadId3v2Header(file, offset, header))
        return false;
    const int major = header.major;
    const int flags = header.flags;
    if ((flags & (TAG_EXTENDED_HEADER | TAG_FOOTER)) || ((flags & TAG_UNSYNCHRONISED) && major <= 3))
        return false;
    const uint32_t tagSize = header.size;
    if (tagSize == 0)
        return false;
    out = tagId3v2Scan();
    out.end = offset + kTagHeaderSize + int64_t(tagSize);
    // A cut file holds less tag data than the header says; TagLib reads
    // what there is.
    const int64_t dataStart = offset + kTagHeaderSize;
    const int64_t present = std::max<int64_t>(0, std::min<int64_t>(tagSize, file.size() - dataStart));
    CId3v2Walk(file, dataStart, present, major, (flags & TAG_UNSYNCHRONISED) != 0).run(out);
    return true;
}
