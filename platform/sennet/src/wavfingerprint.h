// The acoustic fingerprint of a 16-bit PCM WAV file, in the compressed
// base64 form the lookup service takes.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace sennet {

struct Fingerprint {
    QByteArray text;
    int durationSeconds = 0; // of the whole file
};

enum FingerprintResult {
    FingerprintOk = 0,
    FingerprintBadFile = -1, // unreadable, not RIFF/WAVE, not 16-bit PCM, no audio
    FingerprintFailed = -2,  // the fingerprinter refused the audio
    FingerprintStopped = -3
};

// stopped is polled between blocks so a stop need not wait for the whole
// file. why explains a failure for the log.
int fingerprintWav(const QString& path, const std::function<bool()>& stopped, Fingerprint* out,
                   QString* why);

} // namespace sennet
