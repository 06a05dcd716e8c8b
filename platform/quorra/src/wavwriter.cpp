#include "wavwriter.h"

#include "../quorra.h"

#include <QtEndian>

namespace quorra {

namespace {

// The samples go to disk as they come from the decoder.
static_assert(Q_BYTE_ORDER == Q_LITTLE_ENDIAN, "WAV data is little-endian");

const int kHeaderBytes = 44;
// The RIFF size field counts everything after itself in 32 bits.
const quint64 kMaxDataBytes = 0xFFFFFFFFull - (kHeaderBytes - 8);

void put16(char* at, quint16 value) { qToLittleEndian(value, at); }
void put32(char* at, quint32 value) { qToLittleEndian(value, at); }

QByteArray header(int rate, int channels, quint32 dataBytes)
{
    QByteArray bytes(kHeaderBytes, '\0');
    char* h = bytes.data();
    const quint16 blockAlign = quint16(channels * 2);
    memcpy(h, "RIFF", 4);
    put32(h + 4, quint32(kHeaderBytes - 8) + dataBytes);
    memcpy(h + 8, "WAVEfmt ", 8);
    put32(h + 16, 16);
    put16(h + 20, 1); // PCM
    put16(h + 22, quint16(channels));
    put32(h + 24, quint32(rate));
    put32(h + 28, quint32(rate) * blockAlign);
    put16(h + 32, blockAlign);
    put16(h + 34, 16);
    memcpy(h + 36, "data", 4);
    put32(h + 40, dataBytes);
    return bytes;
}

} // namespace

WavWriter::WavWriter(const std::string& path) : m_file(QString::fromStdString(path))
{
    // Writing straight into the destination would leave a half file
    // behind a kill; a folder without write access fails instead.
    m_file.setDirectWriteFallback(false);
}

int WavWriter::open()
{
    if (!m_file.open(QIODevice::WriteOnly))
        return CR_WRITE;
    // Room for the header, which is written once the sizes are known.
    return m_file.write(QByteArray(kHeaderBytes, '\0')) == kHeaderBytes ? CR_OK : CR_WRITE;
}

int WavWriter::format(int sampleRate, int channels)
{
    m_rate = sampleRate;
    m_channels = channels;
    return CR_OK;
}

int WavWriter::write(const int16_t* samples, int frames)
{
    const qint64 bytes = qint64(frames) * m_channels * 2;
    if (m_dataBytes + quint64(bytes) > kMaxDataBytes)
        return CR_TOO_LONG;
    if (m_file.write(reinterpret_cast<const char*>(samples), bytes) != bytes)
        return CR_WRITE;
    m_dataBytes += quint64(bytes);
    return CR_OK;
}

int WavWriter::commit()
{
    if (m_channels == 0)
        return CR_WRITE;
    if (!m_file.seek(0) || m_file.write(header(m_rate, m_channels, quint32(m_dataBytes))) != kHeaderBytes)
        return CR_WRITE;
    return m_file.commit() ? CR_OK : CR_WRITE;
}

} // namespace quorra
