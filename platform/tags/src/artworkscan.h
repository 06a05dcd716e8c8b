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

#include <QString>

#include <cstdint>

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
