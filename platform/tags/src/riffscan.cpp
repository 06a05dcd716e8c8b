// AIFF and WAV: a list of chunks, one of which ("ID3 ") holds an ID3v2
// tag. TagLib takes a file for broken, and opens nothing, when a chunk has
// a name outside printable ASCII or runs past the end of the file; the
// audio needs a format chunk with a sample rate and a non-empty sound chunk.
#include "artworkscan.h"
#include "scanfile.h"

#include <QByteArray>

#include <climits>
#include <cmath>
#include <vector>

namespace {

bool IsChunkName(const unsigned char* name)
{
    for (int i = 0; i < 4; ++i) {
        if (name[i] < 32 || name[i] > 127)
            return false;
    }
    return true;
}

// The first chunk of either name; null when there is none.
const tagRiffChunk* FirstChunk(const std::vector<tagRiffChunk>& chunks, const char* name, const char* other = nullptr)
{
    for (const tagRiffChunk& chunk : chunks) {
        if (chunk.name == name || (other && chunk.name == other))
            return &chunk;
    }
    return nullptr;
}

bool HasSound(const tagRiffChunk* chunk)
{
    return chunk && int64_t(chunk->size) + chunk->padding > 0;
}

// An 80-bit IEEE extended number rounded as TagLib rounds the AIFF sample
// rate; false for one that is no ordinary positive number below INT_MAX.
bool AiffSampleRate(const unsigned char* p, int& rate)
{
    const int exponent = (p[0] & 0x7F) << 8 | p[1];
    const uint64_t mantissa = BigEndian64(p + 2);
    if ((p[0] & 0x80) || exponent == 0x7FFF || mantissa == 0)
        return false;
    const long double value = std::ldexp(static_cast<long double>(mantissa), exponent - 16383 - 63);
    if (!(value + 0.5L < static_cast<long double>(INT_MAX)))
        return false;
    rate = static_cast<int>(value + 0.5L);
    return true;
}

// The answer of the ID3v2 tag in chunk, or of none: TagLib gives such a
// file an empty tag.
ScanAnswer TagAnswer(CScanFile& file, const tagRiffChunk* chunk)
{
    if (!chunk)
        return SCAN_NO_PICTURE;
    tagId3v2Scan tag;
    if (!ScanId3v2(file, chunk->offset, tag))
        return SCAN_UNSURE;
    return tag.hasPicture ? SCAN_PICTURE : SCAN_NO_PICTURE;
}

} // namespace

bool ReadRiffChunks(CScanFile& file, bool bigEndian, std::vector<tagRiffChunk>& chunks)
{
    int64_t offset = 12;
    while (offset + 8 <= file.size()) {
        unsigned char header[8];
        if (!file.readAll(offset, header, 8) || !IsChunkName(header))
            return false;
        tagRiffChunk chunk;
        chunk.name = QByteArray(reinterpret_cast<const char*>(header), 4);
        chunk.size = bigEndian ? BigEndian32(header + 4) : LittleEndian32(header + 4);
        chunk.offset = offset + 8;
        if (chunk.offset + int64_t(chunk.size) > file.size())
            return false;
        offset = chunk.offset + chunk.size;
        if (offset & 1) {
            unsigned char pad = 1;
            if (file.read(offset, &pad, 1) == 1 && pad == 0) {
                chunk.padding = 1;
                ++offset;
            }
        }
        chunks.push_back(chunk);
    }
    return true;
}

ScanAnswer ScanAiff(CScanFile& file)
{
    std::vector<tagRiffChunk> chunks;
    // AIFF-C reads its format differently; TagLib answers for it.
    if (!file.holds(0, "FORM", 4) || !file.holds(8, "AIFF", 4) || !ReadRiffChunks(file, true, chunks))
        return SCAN_UNSURE;
    const tagRiffChunk* common = FirstChunk(chunks, "COMM");
    unsigned char format[18];
    int rate = 0;
    if (!common || common->size < 18 || !file.readAll(common->offset, format, 18)
        || !AiffSampleRate(format + 8, rate) || rate <= 0 || !HasSound(FirstChunk(chunks, "SSND")))
        return SCAN_UNSURE;
    return TagAnswer(file, FirstChunk(chunks, "ID3 ", "id3 "));
}

ScanAnswer ScanWav(CScanFile& file)
{
    enum { FORMAT_PCM = 1, FORMAT_IEEE_FLOAT = 3 };
    std::vector<tagRiffChunk> chunks;
    if (!file.holds(0, "RIFF", 4) || !file.holds(8, "WAVE", 4) || !ReadRiffChunks(file, false, chunks))
        return SCAN_UNSURE;
    const tagRiffChunk* format = FirstChunk(chunks, "fmt ");
    unsigned char fields[16];
    if (!format || format->size < 16 || !file.readAll(format->offset, fields, 16))
        return SCAN_UNSURE;
    // Other formats need a "fact" chunk for TagLib to take them.
    const uint32_t kind = LittleEndian16(fields);
    const uint32_t rate = LittleEndian32(fields + 4);
    if ((kind != FORMAT_PCM && kind != FORMAT_IEEE_FLOAT) || rate == 0 || rate > uint32_t(INT_MAX)
        || !HasSound(FirstChunk(chunks, "data")))
        return SCAN_UNSURE;
    return TagAnswer(file, FirstChunk(chunks, "ID3 ", "id3 "));
}
