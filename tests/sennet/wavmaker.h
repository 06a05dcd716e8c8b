// Test audio made on the spot: a short melody as 16-bit PCM, wrapped in the
// WAV variants the client meets, and its fingerprint computed directly.
#pragma once

#include <QByteArray>
#include <QtEndian>
#include <QtMath>

#include <chromaprint.h>

#include <vector>

namespace wavmaker {

// A tone that changes every quarter second, so the fingerprint has
// something to hold on to.
inline std::vector<qint16> melody(int rate, int channels, double seconds)
{
    const qint64 frames = qint64(rate * seconds);
    std::vector<qint16> samples(size_t(frames * channels));
    static const double notes[] = {220.0, 277.2, 329.6, 440.0, 392.0, 293.7, 246.9, 349.2};
    for (qint64 i = 0; i < frames; ++i) {
        const double t = double(i) / rate;
        const double f = notes[qint64(t * 4) % 8];
        for (int c = 0; c < channels; ++c) {
            const double v = 0.45 * qSin(2 * M_PI * f * t) + 0.2 * qSin(2 * M_PI * f * (1.5 + c * 0.01) * t);
            samples[size_t(i * channels + c)] = qint16(v * 32767);
        }
    }
    return samples;
}

inline void put16(QByteArray& out, quint16 v)
{
    char b[2];
    qToLittleEndian(v, b);
    out.append(b, 2);
}

inline void put32(QByteArray& out, quint32 v)
{
    char b[4];
    qToLittleEndian(v, b);
    out.append(b, 4);
}

struct Layout {
    quint16 format = 1;      // 1 PCM, 0xFFFE extensible, 3 float
    quint16 bits = 16;
    bool extraChunk = false; // an odd-sized LIST chunk before the audio
    bool dataChunk = true;
    qint64 dataSize = -1;    // -1: the real size; else written as given
};

inline QByteArray formatChunk(int rate, int channels, const Layout& layout)
{
    QByteArray fmt;
    put16(fmt, layout.format);
    put16(fmt, quint16(channels));
    put32(fmt, quint32(rate));
    put32(fmt, quint32(rate * channels * layout.bits / 8));
    put16(fmt, quint16(channels * layout.bits / 8));
    put16(fmt, layout.bits);
    if (layout.format == 0xFFFE) {
        put16(fmt, 22);
        put16(fmt, layout.bits);
        put32(fmt, channels == 1 ? 4 : 3);
        put16(fmt, 1); // PCM sub-format GUID 00000001-0000-0010-8000-00aa00389b71
        fmt.append(QByteArray::fromHex("000000001000800000aa00389b71"));
    }
    return fmt;
}

inline QByteArray wav(const std::vector<qint16>& samples, int rate, int channels, const Layout& layout = Layout())
{
    QByteArray body = "WAVE";
    const QByteArray fmt = formatChunk(rate, channels, layout);
    body += "fmt ";
    put32(body, quint32(fmt.size()));
    body += fmt;
    if (layout.extraChunk) {
        body += "LIST";
        put32(body, 5);
        body += QByteArray("INFOx") + '\0'; // odd size, one pad byte
    }
    if (layout.dataChunk) {
        QByteArray pcm;
        for (qint16 s : samples)
            put16(pcm, quint16(s));
        body += "data";
        put32(body, layout.dataSize < 0 ? quint32(pcm.size()) : quint32(layout.dataSize));
        body += pcm;
    }
    QByteArray out = "RIFF";
    put32(out, quint32(body.size()));
    return out + body;
}

inline QByteArray fingerprint(const std::vector<qint16>& samples, int rate, int channels)
{
    ChromaprintContext* context = chromaprint_new(CHROMAPRINT_ALGORITHM_DEFAULT);
    chromaprint_start(context, rate, channels);
    chromaprint_feed(context, samples.data(), int(samples.size()));
    chromaprint_finish(context);
    char* text = nullptr;
    chromaprint_get_fingerprint(context, &text);
    const QByteArray result(text ? text : "");
    chromaprint_dealloc(text);
    chromaprint_free(context);
    return result;
}

} // namespace wavmaker
