// Decoding one file to interleaved signed 16-bit PCM.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>

namespace quorra {

// Receives the decoded audio. Both calls return a tagConverResult; a
// non-zero result ends decoding with that result.
class PcmSink
{
public:
    virtual ~PcmSink() = default;
    // Once, before the first write.
    virtual int format(int sampleRate, int channels) = 0;
    virtual int write(const int16_t* samples, int frames) = 0;
};

// Decodes the file at path (UTF-8) into sink until its end; stops early with
// CR_KILLED once killed turns true. A tagConverResult.
int decodeFile(const std::string& path, const std::atomic<bool>& killed, PcmSink& sink);

} // namespace quorra
