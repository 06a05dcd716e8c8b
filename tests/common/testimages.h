// Images made at test time for the services' fake answers and the
// artwork files they become.
#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QImage>

namespace testimages {

// A 64x64 JPEG of noise. Noise does not compress, so every image is well
// over 1000 bytes, and each seed gives different bytes.
inline QByteArray noiseJpeg(int seed)
{
    QImage image(64, 64, QImage::Format_RGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixel(x, y, qRgb((x * 37 + y * 11 + seed * 71) % 256, (x * y + seed) % 256, (x ^ y ^ seed) % 256));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "JPG");
    return bytes;
}

} // namespace testimages
