// A RIFF WAV file of 16-bit PCM that appears under its name only when whole.
#pragma once

#include "decoder.h"

#include <QSaveFile>

namespace quorra {

class WavWriter : public PcmSink
{
public:
    explicit WavWriter(const std::string& path);

    // Creates the hidden file beside the destination; a tagConverResult.
    int open();
    int format(int sampleRate, int channels) override;
    int write(const int16_t* samples, int frames) override;
    // Completes the header and moves the file to its name; a tagConverResult.
    // Without it the hidden file is discarded with the writer.
    int commit();

private:
    QSaveFile m_file;
    int m_rate = 0;
    int m_channels = 0;
    quint64 m_dataBytes = 0;
};

} // namespace quorra
