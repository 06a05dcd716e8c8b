// ASF (WMA): a header object holding objects, each a GUID and a 64-bit
// size. Pictures are "WM/Picture" attributes of the extended content
// description or, when large, of the metadata objects inside the header
// extension. TagLib reads the attribute lists value by value, each value
// as long as its type says; the scan reads their headers the same way and
// takes a file only when every object then ends where its size says.
#include "artworkscan.h"
#include "scanfile.h"

#include <QByteArray>

#include <climits>
#include <cstring>

namespace {

using Guid = unsigned char[16];

const Guid kHeaderGuid = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                          0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Guid kFilePropertiesGuid = {0xA1, 0xDC, 0xAB, 0x8C, 0x47, 0xA9, 0xCF, 0x11,
                                  0x8E, 0xE4, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kStreamPropertiesGuid = {0x91, 0x07, 0xDC, 0xB7, 0xB7, 0xA9, 0xCF, 0x11,
                                    0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kContentDescriptionGuid = {0x33, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                      0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Guid kExtendedContentGuid = {0x40, 0xA4, 0xD0, 0xD2, 0x07, 0xE3, 0xD2, 0x11,
                                   0x97, 0xF0, 0x00, 0xA0, 0xC9, 0x5E, 0xA8, 0x50};
const Guid kHeaderExtensionGuid = {0xB5, 0x03, 0xBF, 0x5F, 0x2E, 0xA9, 0xCF, 0x11,
                                   0x8E, 0xE3, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65};
const Guid kMetadataGuid = {0xEA, 0xCB, 0xF8, 0xC5, 0xAF, 0x5B, 0x77, 0x48,
                            0x84, 0x67, 0xAA, 0x8C, 0x44, 0xFA, 0x4C, 0xCA};
const Guid kMetadataLibraryGuid = {0x94, 0x1C, 0x23, 0x44, 0x98, 0x94, 0xD1, 0x49,
                                   0xA1, 0x41, 0x1D, 0x13, 0x4E, 0x45, 0x70, 0x54};

constexpr int kObjectHeader = 24; // GUID and size
constexpr int kMaxNameBytes = 1024;

bool SameGuid(const unsigned char* a, const Guid& b)
{
    return std::memcmp(a, b, sizeof(Guid)) == 0;
}

// Where the attribute lists are: the extended content description (0), the
// metadata object (1) and the metadata library (2) lay their headers out
// differently.
enum AttributeList { LIST_CONTENT = 0, LIST_METADATA = 1, LIST_LIBRARY = 2 };

class CAsfWalk
{
public:
    explicit CAsfWalk(CScanFile& file) : m_file(file) {}

    ScanAnswer run();

private:
    bool object(int64_t offset, int64_t* next);
    bool objectHeader(int64_t offset, int64_t limit, unsigned char* header, int64_t* end);
    bool streamProperties(int64_t offset, int64_t end);
    bool contentDescription(int64_t offset, int64_t end);
    bool attributes(int64_t offset, int64_t end, AttributeList list);
    bool attribute(int64_t* position, int64_t end, AttributeList list);
    bool headerExtension(int64_t offset, int64_t end);
    bool take(int64_t* position, int64_t end, unsigned char* out, int length);
    bool isPictureName(int64_t offset, uint32_t length);

    CScanFile& m_file;
    bool m_hasFileProperties = false;
    bool m_hasStreamProperties = false;
    int64_t m_sampleRate = 0;
    bool m_hasPicture = false;
};

// Reads length bytes at *position, which must stay within end.
bool CAsfWalk::take(int64_t* position, int64_t end, unsigned char* out, int length)
{
    if (*position + length > end || !m_file.readAll(*position, out, length))
        return false;
    *position += length;
    return true;
}

ScanAnswer CAsfWalk::run()
{
    unsigned char header[30];
    if (!m_file.readAll(0, header, 30) || !SameGuid(header, kHeaderGuid))
        return SCAN_UNSURE;
    const uint32_t count = LittleEndian32(header + 24);
    int64_t position = 30;
    for (uint32_t i = 0; i < count; ++i) {
        if (!object(position, &position))
            return SCAN_UNSURE;
    }
    // TagLib gives its sample rate as an int.
    if (!m_hasFileProperties || !m_hasStreamProperties || m_sampleRate <= 0 || m_sampleRate > INT_MAX)
        return SCAN_UNSURE;
    return m_hasPicture ? SCAN_PICTURE : SCAN_NO_PICTURE;
}

// Reads the header of the object at offset and where the object ends,
// which must lie between the header's end and limit.
bool CAsfWalk::objectHeader(int64_t offset, int64_t limit, unsigned char* header, int64_t* end)
{
    int64_t position = offset;
    if (!take(&position, limit, header, kObjectHeader))
        return false;
    const uint64_t size = LittleEndian64(header + 16);
    if (size < uint64_t(kObjectHeader) || size > uint64_t(limit - offset))
        return false;
    *end = offset + int64_t(size);
    return true;
}

bool CAsfWalk::object(int64_t offset, int64_t* next)
{
    unsigned char header[kObjectHeader];
    int64_t end = 0;
    if (!objectHeader(offset, m_file.size(), header, &end))
        return false;
    *next = end;
    if (SameGuid(header, kFilePropertiesGuid)) {
        m_hasFileProperties = true;
        return true;
    }
    if (SameGuid(header, kStreamPropertiesGuid))
        return streamProperties(offset, end);
    if (SameGuid(header, kContentDescriptionGuid))
        return contentDescription(offset, end);
    if (SameGuid(header, kExtendedContentGuid))
        return attributes(offset + kObjectHeader, end, LIST_CONTENT);
    if (SameGuid(header, kHeaderExtensionGuid))
        return headerExtension(offset, end);
    // Any other object TagLib reads whole, or not at all when it is only a
    // header: it ends where its size says.
    return true;
}

bool CAsfWalk::streamProperties(int64_t offset, int64_t end)
{
    m_hasStreamProperties = true;
    // The sample rate lies at byte 58 of the object's data, which TagLib
    // reads only from 70 bytes on; every such object sets it anew.
    if (end - offset < kObjectHeader + 70)
        return true;
    unsigned char rate[4];
    if (!m_file.readAll(offset + kObjectHeader + 58, rate, 4))
        return false;
    m_sampleRate = int32_t(LittleEndian32(rate));
    return true;
}

bool CAsfWalk::contentDescription(int64_t offset, int64_t end)
{
    int64_t position = offset + kObjectHeader;
    unsigned char lengths[10];
    if (!take(&position, end, lengths, 10))
        return false;
    for (int i = 0; i < 5; ++i)
        position += LittleEndian16(lengths + 2 * i);
    return position == end;
}

bool CAsfWalk::attributes(int64_t offset, int64_t end, AttributeList list)
{
    int64_t position = offset;
    unsigned char count[2];
    if (!take(&position, end, count, 2))
        return false;
    for (uint32_t n = LittleEndian16(count); n > 0; --n) {
        if (!attribute(&position, end, list))
            return false;
    }
    return position == end;
}

bool CAsfWalk::attribute(int64_t* position, int64_t end, AttributeList list)
{
    enum { UNICODE = 0, BYTES = 1, BOOL = 2, DWORD = 3, QWORD = 4, WORD = 5, GUID = 6 };
    unsigned char fields[12];
    uint32_t nameLength = 0, type = 0, size = 0;
    int64_t nameOffset = 0;
    if (list == LIST_CONTENT) {
        if (!take(position, end, fields, 2))
            return false;
        nameLength = LittleEndian16(fields);
        nameOffset = *position;
        *position += nameLength;
        if (!take(position, end, fields + 2, 4))
            return false;
        type = LittleEndian16(fields + 2);
        size = LittleEndian16(fields + 4);
    } else {
        // Language or reserved, stream, name length, type, value size.
        if (!take(position, end, fields, 12))
            return false;
        nameLength = LittleEndian16(fields + 4);
        type = LittleEndian16(fields + 6);
        size = LittleEndian32(fields + 8);
        nameOffset = *position;
        *position += nameLength;
    }
    if (*position > end)
        return false;
    // The value is as long as TagLib reads it, by its type.
    int64_t valueLength = 0;
    switch (type) {
    case WORD: valueLength = 2; break;
    case BOOL: valueLength = list == LIST_CONTENT ? 4 : 2; break;
    case DWORD: valueLength = 4; break;
    case QWORD: valueLength = 8; break;
    case UNICODE:
    case BYTES:
    case GUID: valueLength = size; break;
    default: valueLength = 0; break;
    }
    *position += valueLength;
    if (*position > end)
        return false;
    if (isPictureName(nameOffset, nameLength))
        m_hasPicture = true;
    return true;
}

// Whether the UTF-16LE name, trailing zero characters dropped, is "WM/Picture".
bool CAsfWalk::isPictureName(int64_t offset, uint32_t length)
{
    static const char kName[] = "W\0M\0/\0P\0i\0c\0t\0u\0r\0e\0";
    constexpr int kNameBytes = sizeof(kName) - 1;
    if (length < uint32_t(kNameBytes) || length > uint32_t(kMaxNameBytes))
        return false;
    QByteArray name(int(length), Qt::Uninitialized);
    if (!m_file.readAll(offset, reinterpret_cast<unsigned char*>(name.data()), int(length)))
        return false;
    while (name.size() >= 2 && name.endsWith(QByteArray(2, '\0')))
        name.chop(2);
    return name.size() == kNameBytes && std::memcmp(name.constData(), kName, size_t(kNameBytes)) == 0;
}

bool CAsfWalk::headerExtension(int64_t offset, int64_t end)
{
    // Reserved GUID and number (18 bytes), then the size of the objects.
    int64_t position = offset + kObjectHeader + 18;
    unsigned char length[4];
    if (!take(&position, end, length, 4))
        return false;
    const int64_t dataEnd = position + LittleEndian32(length);
    while (position < dataEnd) {
        unsigned char header[kObjectHeader];
        int64_t objectEnd = 0;
        if (!objectHeader(position, end, header, &objectEnd))
            return false;
        const int64_t data = position + kObjectHeader;
        if (SameGuid(header, kMetadataGuid) && !attributes(data, objectEnd, LIST_METADATA))
            return false;
        if (SameGuid(header, kMetadataLibraryGuid) && !attributes(data, objectEnd, LIST_LIBRARY))
            return false;
        position = objectEnd;
    }
    return position == dataEnd && dataEnd == end;
}

} // namespace

ScanAnswer ScanAsf(CScanFile& file)
{
    return CAsfWalk(file).run();
}

int64_t AsfHeaderSize(CScanFile& file)
{
    unsigned char header[kObjectHeader];
    if (!file.readAll(0, header, kObjectHeader) || !SameGuid(header, kHeaderGuid))
        return -1;
    const uint64_t size = LittleEndian64(header + 16);
    return size >= uint64_t(kObjectHeader) && size <= uint64_t(file.size()) ? int64_t(size) : -1;
}
