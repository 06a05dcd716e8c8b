#include "wavreader.h"

#include <QtEndian>

namespace sennet {

namespace {

constexpr quint16 kFormatPcm = 1;
constexpr quint16 kFormatExtensible = 0xFFFE;
constexpr int kMaxChannels = 8;
// A format chunk is small; anything larger is not worth reading.
constexpr quint32 kMaxFormatChunk = 1024;

quint16 u16(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint16>(bytes.constData() + offset);
}

quint32 u32(const QByteArray& bytes, int offset)
{
    return qFromLittleEndian<quint32>(bytes.constData() + offset);
}

} // namespace

bool WavReader::open(const QString& path, QString* why)
{
    m_file.setFileName(path);
    if (!m_file.open(QIODevice::ReadOnly)) {
        *why = QStringLiteral("cannot open: %1").arg(m_file.errorString());
        return false;
    }
    const QByteArray riff = m_file.read(12);
    if (riff.size() != 12 || !riff.startsWith("RIFF") || riff.mid(8, 4) != "WAVE") {
        *why = QStringLiteral("not a RIFF/WAVE file");
        return false;
    }
    bool haveFormat = false;
    QByteArray id;
    quint32 size = 0;
    while (readChunkHeader(&id, &size)) {
        if (id == "fmt ") {
            if (size < 16 || size > kMaxFormatChunk) {
                *why = QStringLiteral("bad format chunk");
                return false;
            }
            if (!parseFormat(m_file.read(size), why))
                return false;
            haveFormat = true;
        } else if (id == "data") {
            if (!haveFormat) {
                *why = QStringLiteral("audio before the format chunk");
                return false;
            }
            // Streaming writers leave the size open (0 or ~0); the file's
            // real length decides.
            const qint64 available = m_file.size() - m_file.pos();
            const qint64 bytes = (size == 0 || size > available) ? available : qint64(size);
            m_frames = bytes / (2 * m_channels);
            m_framesLeft = m_frames;
            if (m_frames == 0)
                *why = QStringLiteral("no audio");
            return m_frames > 0;
        } else if (!m_file.seek(m_file.pos() + size)) {
            break;
        }
        if (size % 2 && !m_file.seek(m_file.pos() + 1)) // chunks are padded to even sizes
            break;
    }
    *why = QStringLiteral("no audio data chunk");
    return false;
}

bool WavReader::readChunkHeader(QByteArray* id, quint32* size)
{
    const QByteArray header = m_file.read(8);
    if (header.size() != 8)
        return false;
    *id = header.left(4);
    *size = u32(header, 4);
    return true;
}

bool WavReader::parseFormat(const QByteArray& chunk, QString* why)
{
    if (chunk.size() < 16) {
        *why = QStringLiteral("short format chunk");
        return false;
    }
    quint16 format = u16(chunk, 0);
    if (format == kFormatExtensible && chunk.size() >= 26)
        format = u16(chunk, 24); // first two bytes of the sub-format GUID
    m_channels = u16(chunk, 2);
    m_sampleRate = static_cast<int>(qMin<quint32>(u32(chunk, 4), 1000000));
    const quint16 bits = u16(chunk, 14);
    if (format != kFormatPcm || bits != 16) {
        *why = QStringLiteral("not 16-bit PCM (format %1, %2 bits)").arg(format).arg(bits);
        return false;
    }
    if (m_channels < 1 || m_channels > kMaxChannels || m_sampleRate < 1) {
        *why = QStringLiteral("unsupported layout (%1 channels, %2 Hz)").arg(m_channels).arg(m_sampleRate);
        return false;
    }
    return true;
}

bool WavReader::readFrames(qint64 maxFrames, std::vector<qint16>* samples)
{
    const qint64 frames = qMin(maxFrames, m_framesLeft);
    samples->resize(static_cast<size_t>(frames * m_channels));
    if (frames <= 0)
        return false;
    const qint64 bytes = frames * m_channels * 2;
    const qint64 got = m_file.read(reinterpret_cast<char*>(samples->data()), bytes);
    if (got <= 0) {
        samples->clear();
        m_framesLeft = 0;
        return false;
    }
    const qint64 gotFrames = got / (m_channels * 2);
    samples->resize(static_cast<size_t>(gotFrames * m_channels));
    m_framesLeft = got < bytes ? 0 : m_framesLeft - gotFrames;
    qFromLittleEndian<qint16>(samples->data(), static_cast<qsizetype>(samples->size()), samples->data());
    return gotFrames > 0;
}

} // namespace sennet
