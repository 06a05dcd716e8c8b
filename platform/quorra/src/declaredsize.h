// The length a file's header states, for the files whose truncation FFmpeg
// hides.
#pragma once

#include <cstdint>
#include <string>

namespace quorra {

// Bytes the header of a RIFF/WAVE or AIFF/AIFC file says the file has, where
// the data object of an ASF file ends, or where the top-level box of an MP4
// file that runs past actualSize ends;
// -1 for other files and for headers that leave the size open (streams).
int64_t declaredFileSize(const std::string& path, int64_t actualSize);

// True when the file is clearly shorter than its header states. A little
// slack lets through writers that count the size a few bytes off.
bool isCutShort(const std::string& path, int64_t actualSize);

// Samples per channel that the Xing/Info header of an MP3 file counts; -1
// without one.
int64_t declaredMp3Samples(const std::string& path);

} // namespace quorra
