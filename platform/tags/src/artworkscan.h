// Whether a music file's tag holds a picture, told from the headers of its
// tag and container alone: frame, chunk, atom, block and object headers are
// read and every body that cannot matter (pictures above all) is skipped.
//
// The scan answers only where it is sure to give what TagLib, through
// HasMusicArtwork_tag's rules, would give: the file is one TagLib opens as
// audio, and the tag it picks holds a picture or not. Anything unusual (an
// encoding the scan does not follow, a damaged or cut file, a container
// whose reading differs between TagLib versions) is SCAN_UNSURE, and the
// caller asks TagLib. Internal to the tags module.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <vector>

class CScanFile;

enum ScanAnswer {
    SCAN_UNSURE = -1,
    SCAN_NO_PICTURE = 0,
    SCAN_PICTURE = 1,
    SCAN_NO_TAG = 2 // a FLAC file without an ID3v2 tag
};

// The scan of the file at path, by its extension. bytesRead, when given,
// receives what the scan took from the file.
ScanAnswer ScanArtwork(const QString& path, int64_t* bytesRead = nullptr);

// The scans of one container each, for the file already open.
ScanAnswer ScanMp3(CScanFile& file);
ScanAnswer ScanFlac(CScanFile& file);
ScanAnswer ScanAiff(CScanFile& file);
ScanAnswer ScanWav(CScanFile& file);
ScanAnswer ScanMp4(CScanFile& file);
ScanAnswer ScanAsf(CScanFile& file);

// What the scan of an ID3v2 tag found.
struct tagId3v2Scan {
    int64_t end = 0;         // the offset just after the tag
    bool hasPicture = false; // an attached-picture frame TagLib keeps
    bool hasText = false;    // the title, artist or album is certainly not empty
};
// Walks the frame headers of the ID3v2 tag at offset as TagLib does. False
// when the tag is not one the scan follows exactly (no "ID3", a version
// other than 2.2 to 2.4, a size TagLib takes as none, unsynchronisation of
// a whole 2.2 or 2.3 tag, an extended header or a footer).
bool ScanId3v2(CScanFile& file, int64_t offset, tagId3v2Scan& out);

// The layout readers below are shared with the check of a tag write, which
// finds by them where a file keeps its audio (audiospans.h).

// The version, flags and size of the ID3v2 tag header at offset: false
// when there is none ("ID3", version 2.2 to 2.4, a size TagLib reads).
struct tagId3v2Header {
    int major = 0;
    int flags = 0;
    uint32_t size = 0; // of the tag after its header, footer not counted
};
bool ReadId3v2Header(CScanFile& file, int64_t offset, tagId3v2Header& out);
// The offset just after the ID3v2 tag at offset, footer included (possibly
// beyond the end of a cut file); -1 when there is no tag there.
int64_t Id3v2TagEnd(CScanFile& file, int64_t offset);

// Where the ID3v1 and APE tags at the end of a file begin: the file's size
// when it has neither.
int64_t TrailingTagsStart(CScanFile& file);

// The header of the FLAC metadata block at offset.
struct tagFlacBlock {
    int type = 0;
    bool last = false;
    uint32_t length = 0; // of the block after its 4-byte header
};
bool ReadFlacBlock(CScanFile& file, int64_t offset, tagFlacBlock& block);

// One chunk of an AIFF or WAV file.
struct tagRiffChunk {
    QByteArray name;
    int64_t offset = 0; // of the data, after the 8-byte chunk header
    uint32_t size = 0;
    int padding = 0;    // a zero byte after an odd-sized chunk
};
// The chunks after the 12-byte form header, as TagLib lists them; false
// for a file TagLib takes as broken.
bool ReadRiffChunks(CScanFile& file, bool bigEndian, std::vector<tagRiffChunk>& chunks);

// The header of the MP4 atom at offset.
struct tagAtomHeader {
    int64_t offset = 0;
    int64_t length = 0; // header included; one stored as 0 runs to the end of the file
    int headerSize = 8;
    QByteArray name;
};
// False for a header TagLib takes as broken: shorter than itself, named
// outside printable ASCII, or ending beyond what an offset can hold.
bool ReadAtomHeader(CScanFile& file, int64_t offset, tagAtomHeader& atom);

// The size of the ASF header object at the start of the file, which holds
// every tag; -1 when the file does not start with one that fits in it.
int64_t AsfHeaderSize(CScanFile& file);
