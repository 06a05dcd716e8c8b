// Where a music file keeps its audio, and whether two files keep the same:
// a tag write may change the tags of a file and nothing else, and TagLib's
// own word that it saved is no proof (a write that ran out of room half-way
// through moving the audio still reports success). Internal to the tags
// module.
#pragma once

#include <QString>

#include <cstdint>
#include <vector>

class CScanFile;

// A stretch of a file that holds audio. Containers made of named pieces
// give each piece's name, which must match as well.
struct tagAudioSpan {
    int64_t offset = 0;
    int64_t length = 0;
    uint32_t name = 0;
};
using AudioSpans = std::vector<tagAudioSpan>;

// The audio of a file of this extension (as ExtensionOf gives it), in file
// order: everything outside the regions its tags may take. False when the
// layout cannot be followed, so there is nothing to compare.
bool FindAudioSpans(CScanFile& file, const QString& extension, AudioSpans& spans);

enum AudioComparison {
    AUDIO_SAME,
    AUDIO_DIFFERENT,  // a span of another length or name, or other bytes
    AUDIO_UNREADABLE  // a layout not followed, or a read that failed or came short
};
// Compares the audio of copy with that of original, both read as files of
// the copy's extension, byte for byte in blocks: neither is read whole.
AudioComparison CompareAudio(const QString& original, const QString& copy);
