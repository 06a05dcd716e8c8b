// Reads the samples of a RIFF/WAVE file with 16-bit PCM, block by block.
#pragma once

#include <QFile>
#include <QString>
#include <QtGlobal>

#include <vector>

namespace sennet {

class WavReader
{
public:
    // False with why set when the file is not 16-bit PCM WAV with audio.
    bool open(const QString& path, QString* why);
    int sampleRate() const { return m_sampleRate; }
    int channels() const { return m_channels; }
    qint64 frameCount() const { return m_frames; }
    // Up to maxFrames interleaved frames in native byte order; an empty
    // block at the end or on a read error.
    bool readFrames(qint64 maxFrames, std::vector<qint16>* samples);

private:
    bool readChunkHeader(QByteArray* id, quint32* size);
    bool parseFormat(const QByteArray& chunk, QString* why);

    QFile m_file;
    int m_sampleRate = 0;
    int m_channels = 0;
    qint64 m_frames = 0;
    qint64 m_framesLeft = 0;
};

} // namespace sennet
