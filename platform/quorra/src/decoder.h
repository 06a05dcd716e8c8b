// Decoding one file to interleaved signed 16-bit PCM.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace quorra {

// The points of a conversion at which it looks at the kill flag, in the
// order a conversion passes them. STEP_IO is FFmpeg asking, during every
// read and probe, whether to give up.
enum ConvertStep {
    STEP_WAV_OPEN,
    STEP_OPEN,
    STEP_IO,
    STEP_STREAM_INFO,
    STEP_CODEC,
    STEP_PACKET,
    STEP_BLOCK,
    STEP_DRAIN,
    STEP_VERDICT,
    STEP_COMMIT
};
// Called at each step before its kill check, on the converting thread;
// tests use it to kill at an exact point. Empty in the product.
using StepHook = std::function<void(ConvertStep step)>;

// What a conversion watches: the task's kill flag and its step hook.
struct ConvertControl
{
    const std::atomic<bool>& killed;
    const StepHook& hook;
    // Passes the step to the hook; true when the conversion was killed.
    bool killedAt(ConvertStep step) const
    {
        if (hook)
            hook(step);
        return killed.load();
    }
};

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
// CR_KILLED once the kill flag turns true, and reports CR_KILLED for every
// failure that follows a kill. A tagConverResult.
int decodeFile(const std::string& path, const ConvertControl& control, PcmSink& sink);

} // namespace quorra
