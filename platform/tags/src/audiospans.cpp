// The audio of each container TagLib writes tags into, as the stretches a
// tag write leaves alone: MP3 and TrueAudio between the ID3v2 tags in front
// and the ID3v1 and APE tags at the end; FLAC the frames after the metadata
// blocks; AIFF and WAV every chunk but the tag chunks; MP4 the media data;
// ASF everything after the header object.
#include "audiospans.h"

#include "artworkscan.h"
#include "scanfile.h"
#include "tagfile.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int kCompareBlock = 1 << 20;

uint32_t NameOf(const QByteArray& name)
{
    return name.size() == 4 ? BigEndian32(reinterpret_cast<const unsigned char*>(name.constData())) : 0;
}

void AddSpan(AudioSpans& spans, int64_t from, int64_t to, uint32_t name = 0)
{
    spans.push_back({from, std::max<int64_t>(0, to - from), name});
}

// Where the stream starts after the ID3v2 tags in front: a tag written twice
// over (some taggers did) is skipped as well.
int64_t LeadingTagsEnd(CScanFile& file)
{
    int64_t offset = 0;
    for (int64_t end = Id3v2TagEnd(file, offset); end > offset; end = Id3v2TagEnd(file, offset)) {
        offset = end;
        if (offset >= file.size())
            return file.size();
    }
    return offset;
}

bool StreamSpans(CScanFile& file, AudioSpans& spans)
{
    AddSpan(spans, LeadingTagsEnd(file), TrailingTagsStart(file));
    return true;
}

bool FlacSpans(CScanFile& file, AudioSpans& spans)
{
    int64_t offset = LeadingTagsEnd(file);
    if (!file.holds(offset, "fLaC", 4))
        return false;
    offset += 4;
    for (;;) {
        tagFlacBlock block;
        if (!ReadFlacBlock(file, offset, block))
            return false;
        offset += 4 + int64_t(block.length);
        if (block.last)
            break;
    }
    if (offset > file.size())
        return false;
    AddSpan(spans, offset, TrailingTagsStart(file));
    return true;
}

// The chunks TagLib rewrites, moves or drops when it saves: the ID3v2 chunk
// and the INFO list.
bool IsTagChunk(CScanFile& file, const tagRiffChunk& chunk)
{
    if (chunk.name == "ID3 " || chunk.name == "id3 ")
        return true;
    return chunk.name == "LIST" && chunk.size >= 4 && file.holds(chunk.offset, "INFO", 4);
}

bool ChunkSpans(CScanFile& file, bool bigEndian, AudioSpans& spans)
{
    std::vector<tagRiffChunk> chunks;
    if (!ReadRiffChunks(file, bigEndian, chunks))
        return false;
    for (const tagRiffChunk& chunk : chunks) {
        if (!IsTagChunk(file, chunk))
            AddSpan(spans, chunk.offset, chunk.offset + chunk.size, NameOf(chunk.name));
    }
    return true;
}

bool AiffSpans(CScanFile& file, AudioSpans& spans)
{
    return file.holds(0, "FORM", 4) && (file.holds(8, "AIFF", 4) || file.holds(8, "AIFC", 4))
        && ChunkSpans(file, true, spans);
}

bool WavSpans(CScanFile& file, AudioSpans& spans)
{
    return file.holds(0, "RIFF", 4) && file.holds(8, "WAVE", 4) && ChunkSpans(file, false, spans);
}

// The sample tables point into the media data, so TagLib moves them along
// when the tag grows in front of it; the media data itself never changes.
bool Mp4Spans(CScanFile& file, AudioSpans& spans)
{
    int64_t offset = 0;
    while (offset + 8 <= file.size()) {
        tagAtomHeader atom;
        if (!ReadAtomHeader(file, offset, atom))
            return false;
        if (atom.name == "mdat")
            AddSpan(spans, offset + atom.headerSize, std::min(offset + atom.length, file.size()), NameOf(atom.name));
        offset += atom.length;
    }
    return true;
}

bool AsfSpans(CScanFile& file, AudioSpans& spans)
{
    const int64_t header = AsfHeaderSize(file);
    if (header < 0)
        return false;
    AddSpan(spans, header, file.size());
    return true;
}

AudioComparison CompareSpan(CScanFile& original, const tagAudioSpan& a, CScanFile& copy, const tagAudioSpan& b,
                            std::vector<unsigned char>& buffer)
{
    unsigned char* const first = buffer.data();
    unsigned char* const second = first + kCompareBlock;
    for (int64_t done = 0; done < a.length;) {
        const int length = int(std::min<int64_t>(kCompareBlock, a.length - done));
        if (!original.readAll(a.offset + done, first, length) || !copy.readAll(b.offset + done, second, length))
            return AUDIO_UNREADABLE;
        if (std::memcmp(first, second, size_t(length)) != 0)
            return AUDIO_DIFFERENT;
        done += length;
    }
    return AUDIO_SAME;
}

} // namespace

bool FindAudioSpans(CScanFile& file, const QString& extension, AudioSpans& spans)
{
    struct Finder { const char* extension; bool (*find)(CScanFile&, AudioSpans&); };
    static const Finder kFinders[] = {
        {"MP3", StreamSpans}, {"TTA", StreamSpans}, {"FLAC", FlacSpans}, {"AIF", AiffSpans}, {"AIFF", AiffSpans},
        {"WAV", WavSpans},    {"M4A", Mp4Spans},    {"WMA", AsfSpans},   {"ASF", AsfSpans},
    };
    spans.clear();
    for (const Finder& finder : kFinders) {
        if (extension == QLatin1String(finder.extension))
            return file.isOpen() && finder.find(file, spans);
    }
    return false;
}

AudioComparison CompareAudio(const QString& original, const QString& copy)
{
    // The copy's name carries the extension TagLib chose its reading by.
    const QString extension = ExtensionOf(copy);
    CScanFile before(original), after(copy);
    AudioSpans a, b;
    if (!FindAudioSpans(before, extension, a) || !FindAudioSpans(after, extension, b))
        return AUDIO_UNREADABLE;
    if (a.size() != b.size())
        return AUDIO_DIFFERENT;
    for (size_t i = 0; i < a.size(); ++i) {
        if (a[i].length != b[i].length || a[i].name != b[i].name)
            return AUDIO_DIFFERENT;
    }
    std::vector<unsigned char> buffer(2 * size_t(kCompareBlock));
    for (size_t i = 0; i < a.size(); ++i) {
        const AudioComparison compared = CompareSpan(before, a[i], after, b[i], buffer);
        if (compared != AUDIO_SAME)
            return compared;
    }
    return AUDIO_SAME;
}
