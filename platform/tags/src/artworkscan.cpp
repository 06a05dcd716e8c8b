// The scan by extension, and the two containers that hold their tag as a
// plain ID3v2 tag at the start: MP3 and FLAC.
#include "artworkscan.h"
#include "scanfile.h"
#include "tagfile.h"

#include <cstring>

namespace {

// MPEG audio frame headers, as TagLib judges them: a header counts only
// when the next frame starts right after it with the same version, layer
// and sample rate.
struct MpegHeader {
    int version = 0; // 0 MPEG 1, 1 MPEG 2, 2 MPEG 2.5
    int layer = 0;   // 1 to 3
    int bitrate = 0; // kbit/s
    int sampleRate = 0;
    bool padded = false;
};

bool IsFrameSync(const unsigned char* p)
{
    return p[0] == 0xFF && p[1] != 0xFF && (p[1] & 0xE0) == 0xE0;
}

bool ParseMpegHeader(const unsigned char* p, MpegHeader& h)
{
    static const int kBitrates[2][3][16] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448, 0},
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384, 0},
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 0}},
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0},
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, 0}}};
    static const int kSampleRates[3][4] = {{44100, 48000, 32000, 0}, {22050, 24000, 16000, 0}, {11025, 12000, 8000, 0}};
    if (!IsFrameSync(p))
        return false;
    static const int kVersions[4] = {2, -1, 1, 0};
    h.version = kVersions[(p[1] >> 3) & 0x03];
    static const int kLayers[4] = {0, 3, 2, 1};
    h.layer = kLayers[(p[1] >> 1) & 0x03];
    if (h.version < 0 || h.layer == 0)
        return false;
    h.bitrate = kBitrates[h.version == 0 ? 0 : 1][h.layer - 1][(p[2] >> 4) & 0x0F];
    h.sampleRate = kSampleRates[h.version][(p[2] >> 2) & 0x03];
    h.padded = (p[2] & 0x02) != 0;
    return h.bitrate != 0 && h.sampleRate != 0;
}

int FrameLength(const MpegHeader& h)
{
    static const int kSamplesPerFrame[3][2] = {{384, 384}, {1152, 1152}, {1152, 576}};
    static const int kPadding[3] = {4, 1, 1};
    const int samples = kSamplesPerFrame[h.layer - 1][h.version == 0 ? 0 : 1];
    return samples * h.bitrate * 125 / h.sampleRate + (h.padded ? kPadding[h.layer - 1] : 0);
}

bool IsMpegFramePairAt(CScanFile& file, int64_t offset)
{
    unsigned char first[4], next[4];
    MpegHeader header;
    if (!file.readAll(offset, first, 4) || !ParseMpegHeader(first, header))
        return false;
    if (!file.readAll(offset + FrameLength(header), next, 4))
        return false;
    constexpr uint32_t kSameStream = 0xFFFE0C00;
    return (BigEndian32(first) & kSameStream) == (BigEndian32(next) & kSameStream);
}

// An ID3v1 or APE tag at the end, which TagLib reads from instead of an
// ID3v2 tag without text.
bool HasTrailingTags(CScanFile& file)
{
    return TrailingTagsStart(file) < file.size();
}

// The ID3v2 tag at the start of a file, when there is one.
enum LeadingTag { LEAD_NONE, LEAD_TAG, LEAD_UNSURE };

LeadingTag ReadLeadingTag(CScanFile& file, tagId3v2Scan& tag)
{
    if (!file.holds(0, "ID3", 3))
        return LEAD_NONE;
    return ScanId3v2(file, 0, tag) ? LEAD_TAG : LEAD_UNSURE;
}

} // namespace

ScanAnswer ScanMp3(CScanFile& file)
{
    tagId3v2Scan tag;
    switch (ReadLeadingTag(file, tag)) {
    case LEAD_UNSURE:
        return SCAN_UNSURE;
    case LEAD_NONE:
        // No ID3v2 tag, so no picture, if TagLib finds the audio right away.
        return IsMpegFramePairAt(file, 0) ? SCAN_NO_PICTURE : SCAN_UNSURE;
    case LEAD_TAG:
        break;
    }
    // TagLib looks for the audio from the tag's end on; found right there,
    // the file opens.
    if (!IsMpegFramePairAt(file, tag.end))
        return SCAN_UNSURE;
    if (!tag.hasPicture)
        return SCAN_NO_PICTURE;
    // A tag without text gives way to an ID3v1 or APE tag with text, which
    // has no pictures.
    if (tag.hasText || !HasTrailingTags(file))
        return SCAN_PICTURE;
    return SCAN_UNSURE;
}

ScanAnswer ScanFlac(CScanFile& file)
{
    tagId3v2Scan tag;
    const LeadingTag lead = ReadLeadingTag(file, tag);
    if (lead == LEAD_UNSURE)
        return SCAN_UNSURE;
    // TagLib searches for the stream marker from the tag's end on: found
    // right there, it is the first.
    int64_t offset = lead == LEAD_TAG ? tag.end : 0;
    if (!file.holds(offset, "fLaC", 4))
        return SCAN_UNSURE;
    offset += 4;
    enum BlockType { STREAMINFO = 0, PADDING = 1, SEEKTABLE = 3 };
    bool first = true;
    for (;;) {
        tagFlacBlock block;
        if (!ReadFlacBlock(file, offset, block))
            return SCAN_UNSURE;
        const int type = block.type;
        const uint32_t length = block.length;
        if ((first && type != STREAMINFO) || (length == 0 && type != PADDING && type != SEEKTABLE)
            || offset + 4 + int64_t(length) > file.size())
            return SCAN_UNSURE;
        if (first) {
            // The sample rate: the first 20 bits of bytes 10 to 12.
            unsigned char rate[3];
            if (length < 18 || !file.readAll(offset + 4 + 10, rate, 3)
                || (uint32_t(rate[0]) << 12 | uint32_t(rate[1]) << 4 | rate[2] >> 4) == 0)
                return SCAN_UNSURE;
        }
        // Every other block, pictures included, is skipped unread.
        first = false;
        offset += 4 + int64_t(length);
        if (block.last)
            break;
    }
    // The tag access reads a FLAC file's ID3v2 tag, not its Vorbis comment
    // or picture blocks.
    if (lead == LEAD_NONE)
        return SCAN_NO_TAG;
    return tag.hasPicture ? SCAN_PICTURE : SCAN_NO_PICTURE;
}

bool ReadFlacBlock(CScanFile& file, int64_t offset, tagFlacBlock& block)
{
    unsigned char header[4];
    if (!file.readAll(offset, header, 4))
        return false;
    block.type = header[0] & 0x7F;
    block.last = (header[0] & 0x80) != 0;
    block.length = BigEndian24(header + 1);
    return true;
}

int64_t TrailingTagsStart(CScanFile& file)
{
    constexpr int kId3v1Size = 128;
    constexpr int kApeFooterSize = 32;
    enum { APE_HAS_HEADER = 0x80000000u };
    int64_t end = file.size();
    if (end >= kId3v1Size && file.holds(end - kId3v1Size, "TAG", 3))
        end -= kId3v1Size;
    unsigned char footer[kApeFooterSize];
    if (end < kApeFooterSize || !file.readAll(end - kApeFooterSize, footer, kApeFooterSize)
        || std::memcmp(footer, "APETAGEX", 8) != 0)
        return end;
    // The size counts the items and the footer; a header comes on top.
    const bool hasHeader = (LittleEndian32(footer + 20) & APE_HAS_HEADER) != 0;
    const int64_t size = int64_t(LittleEndian32(footer + 12)) + (hasHeader ? kApeFooterSize : 0);
    return size <= end ? end - size : end;
}

ScanAnswer ScanArtwork(const QString& path, int64_t* bytesRead)
{
    struct Scanner { const char* extension; ScanAnswer (*scan)(CScanFile&); };
    static const Scanner kScanners[] = {
        {"MP3", ScanMp3}, {"FLAC", ScanFlac}, {"AIF", ScanAiff}, {"AIFF", ScanAiff}, {"WAV", ScanWav},
        {"M4A", ScanMp4}, {"WMA", ScanAsf}, {"ASF", ScanAsf},
    };
    if (bytesRead)
        *bytesRead = 0;
    const QString extension = ExtensionOf(path);
    for (const Scanner& scanner : kScanners) {
        if (extension != QLatin1String(scanner.extension))
            continue;
        CScanFile file(path);
        if (!file.isOpen())
            return SCAN_UNSURE;
        const ScanAnswer answer = scanner.scan(file);
        if (bytesRead)
            *bytesRead = file.bytesRead();
        return answer;
    }
    return SCAN_UNSURE;
}
