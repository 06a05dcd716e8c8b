#include "declaredsize.h"

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>

// FFmpeg clamps a WAV's data size, and ignores an ASF file's stated
// duration, as soon as they exceed the file; the audio that is there then
// decodes cleanly, and a cut file would pass for a short whole one. An MP4
// file cut inside its trailing metadata still plays, but is no whole file.
// An MP3 file whose Xing header disagrees with its size loses its frame
// count in FFmpeg, and a tail of junk or zeros is then skipped in silence.

namespace quorra {

namespace {

using Bytes = unsigned char;

const Bytes kAsfHeaderGuid[16] = {0x30, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                  0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
const Bytes kAsfDataGuid[16] = {0x36, 0x26, 0xB2, 0x75, 0x8E, 0x66, 0xCF, 0x11,
                                0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C};
// A data object's own fields before the first packet.
const uint64_t kAsfDataHeaderBytes = 50;
const int kMaxMp4Boxes = 10000;
// How far past the ID3v2 tag the first MP3 frame header is looked for.
const int kMp3SearchBytes = 65536;
const uint32_t kXingHasFrames = 0x1;

uint32_t le32(const Bytes* p) { return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24; }
uint32_t be32(const Bytes* p) { return uint32_t(p[3]) | uint32_t(p[2]) << 8 | uint32_t(p[1]) << 16 | uint32_t(p[0]) << 24; }
uint64_t le64(const Bytes* p) { return uint64_t(le32(p)) | uint64_t(le32(p + 4)) << 32; }
uint64_t be64(const Bytes* p) { return uint64_t(be32(p)) << 32 | uint64_t(be32(p + 4)); }

bool readAt(std::ifstream& in, uint64_t at, Bytes* into, int count)
{
    in.clear();
    in.seekg(std::streamoff(at));
    return bool(in.read(reinterpret_cast<char*>(into), count));
}

// Streaming writers leave the size at 0 or all ones.
int64_t iffSize(uint32_t chunkSize)
{
    return chunkSize == 0 || chunkSize >= 0xFFFFFFF0u ? -1 : int64_t(chunkSize) + 8;
}

// Where the data object that follows the header ends. Tag editors rewrite
// the header without updating the file size it states, but leave the data
// object alone.
int64_t asfSize(std::ifstream& in)
{
    Bytes header[24];
    Bytes data[24];
    if (!readAt(in, 0, header, 24))
        return -1;
    const uint64_t headerSize = le64(header + 16);
    if (!readAt(in, headerSize, data, 24) || memcmp(data, kAsfDataGuid, 16) != 0)
        return -1;
    const uint64_t dataSize = le64(data + 16);
    if (dataSize <= kAsfDataHeaderBytes || dataSize > uint64_t(INT64_MAX) - headerSize)
        return -1; // a live stream's, or nonsense
    return int64_t(headerSize + dataSize);
}

// Size of the MP4 box at the given offset; 0 for "up to the end of the file"
// and on a read error.
uint64_t mp4BoxSize(std::ifstream& in, uint64_t at)
{
    Bytes box[16];
    if (!readAt(in, at, box, 8))
        return 0;
    const uint32_t size = be32(box);
    if (size != 1)
        return size;
    return readAt(in, at + 8, box + 8, 8) ? be64(box + 8) : 0;
}

// The end of the top-level box that reaches past the end of the file, or
// -1 when the boxes end within it.
int64_t mp4Size(std::ifstream& in, int64_t actualSize)
{
    uint64_t at = 0;
    for (int i = 0; i < kMaxMp4Boxes && at < uint64_t(actualSize); ++i) {
        const uint64_t size = mp4BoxSize(in, at);
        if (size < 8 || size > uint64_t(INT64_MAX) - at)
            return -1;
        at += size;
    }
    return at > uint64_t(actualSize) ? int64_t(at) : -1;
}

uint64_t id3v2Length(std::ifstream& in)
{
    Bytes tag[10];
    if (!readAt(in, 0, tag, 10) || memcmp(tag, "ID3", 3) != 0)
        return 0;
    const uint64_t size = uint64_t(tag[6] & 0x7f) << 21 | uint64_t(tag[7] & 0x7f) << 14
        | uint64_t(tag[8] & 0x7f) << 7 | uint64_t(tag[9] & 0x7f);
    const bool footer = tag[5] & 0x10;
    return 10 + size + (footer ? 10 : 0);
}

bool isLayer3Header(const Bytes* h)
{
    const int version = (h[1] >> 3) & 3;
    const int layer = (h[1] >> 1) & 3;
    const int bitrate = h[2] >> 4;
    const int rate = (h[2] >> 2) & 3;
    return h[0] == 0xFF && (h[1] & 0xE0) == 0xE0 && version != 1 && layer == 1 && bitrate != 0 && bitrate != 15
        && rate != 3;
}

// Offset of the first Layer III frame header at or after from; -1 if none.
int64_t firstFrame(std::ifstream& in, uint64_t from)
{
    std::string window(kMp3SearchBytes + 3, '\0');
    in.clear();
    in.seekg(std::streamoff(from));
    in.read(&window[0], std::streamsize(window.size()));
    const auto* bytes = reinterpret_cast<const Bytes*>(window.data());
    for (std::streamsize i = 0; i + 4 <= in.gcount(); ++i) {
        if (isLayer3Header(bytes + i))
            return int64_t(from) + i;
    }
    return -1;
}

int64_t xingSamples(std::ifstream& in, uint64_t frame)
{
    Bytes h[4];
    if (!readAt(in, frame, h, 4))
        return -1;
    const bool mpeg1 = ((h[1] >> 3) & 3) == 3;
    const bool mono = (h[3] >> 6) == 3;
    const int sideInfo = mpeg1 ? (mono ? 17 : 32) : (mono ? 9 : 17);
    Bytes xing[12];
    if (!readAt(in, frame + 4 + uint64_t(sideInfo), xing, 12))
        return -1;
    if (memcmp(xing, "Xing", 4) != 0 && memcmp(xing, "Info", 4) != 0)
        return -1;
    if (!(be32(xing + 4) & kXingHasFrames))
        return -1;
    return int64_t(be32(xing + 8)) * (mpeg1 ? 1152 : 576);
}

} // namespace

int64_t declaredMp3Samples(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    const int64_t frame = firstFrame(in, id3v2Length(in));
    return frame < 0 ? -1 : xingSamples(in, uint64_t(frame));
}

int64_t declaredFileSize(const std::string& path, int64_t actualSize)
{
    std::ifstream in(path, std::ios::binary);
    Bytes head[16];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return -1;
    if (memcmp(head, "RIFF", 4) == 0 && memcmp(head + 8, "WAVE", 4) == 0)
        return iffSize(le32(head + 4));
    if (memcmp(head, "FORM", 4) == 0 && (memcmp(head + 8, "AIFF", 4) == 0 || memcmp(head + 8, "AIFC", 4) == 0))
        return iffSize(be32(head + 4));
    if (memcmp(head, kAsfHeaderGuid, 16) == 0)
        return asfSize(in);
    if (memcmp(head + 4, "ftyp", 4) == 0)
        return mp4Size(in, actualSize);
    return -1;
}

bool isCutShort(const std::string& path, int64_t actualSize)
{
    const int64_t declared = declaredFileSize(path, actualSize);
    return declared > 0 && actualSize < declared - declared / 100 - 64;
}

} // namespace quorra
