#include "wavfingerprint.h"

#include "wavreader.h"

#include <chromaprint.h>

#include <memory>
#include <vector>

namespace sennet {

namespace {

// The lookup service matches on the start of a track; like its own command
// line tool, feed at most the first two minutes.
constexpr qint64 kFingerprintSeconds = 120;
constexpr qint64 kBlockFrames = 65536;

struct ContextFree {
    void operator()(ChromaprintContext* context) const { chromaprint_free(context); }
};
struct ChromaprintFree {
    void operator()(char* text) const { chromaprint_dealloc(text); }
};
using ContextPtr = std::unique_ptr<ChromaprintContext, ContextFree>;
using TextPtr = std::unique_ptr<char, ChromaprintFree>;

int feedAudio(WavReader& wav, ChromaprintContext* context, const std::function<bool()>& stopped)
{
    qint64 framesLeft = kFingerprintSeconds * wav.sampleRate();
    std::vector<qint16> block;
    while (framesLeft > 0 && wav.readFrames(qMin(framesLeft, kBlockFrames), &block)) {
        if (stopped && stopped())
            return FingerprintStopped;
        if (!chromaprint_feed(context, block.data(), static_cast<int>(block.size())))
            return FingerprintFailed;
        framesLeft -= static_cast<qint64>(block.size()) / wav.channels();
    }
    return FingerprintOk;
}

} // namespace

int fingerprintWav(const QString& path, const std::function<bool()>& stopped, Fingerprint* out,
                   QString* why)
{
    WavReader wav;
    if (!wav.open(path, why))
        return FingerprintBadFile;
    ContextPtr context(chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT));
    if (!context || !chromaprint_start(context.get(), wav.sampleRate(), wav.channels())) {
        *why = QStringLiteral("fingerprinter refused %1 Hz, %2 channels").arg(wav.sampleRate()).arg(wav.channels());
        return FingerprintFailed;
    }
    const int fed = feedAudio(wav, context.get(), stopped);
    if (fed != FingerprintOk) {
        *why = fed == FingerprintStopped ? QStringLiteral("stopped") : QStringLiteral("fingerprinter refused the audio");
        return fed;
    }
    // A second or two of audio gives a valid but empty fingerprint, which
    // matches nothing; say so here instead of asking the service.
    int items = 0;
    char* raw = nullptr;
    const bool finished = chromaprint_finish(context.get())
                          && chromaprint_get_raw_fingerprint_size(context.get(), &items) && items > 0
                          && chromaprint_get_fingerprint(context.get(), &raw);
    TextPtr text(raw);
    if (!finished || !text || !*text) {
        *why = QStringLiteral("audio too short for a fingerprint");
        return FingerprintFailed;
    }
    out->text = QByteArray(text.get());
    out->durationSeconds = static_cast<int>(wav.frameCount() / wav.sampleRate());
    return FingerprintOk;
}

} // namespace sennet
