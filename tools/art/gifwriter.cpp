#include "gifwriter.h"

#include <QFile>
#include <QHash>

#include <algorithm>
#include <cstdint>
#include <vector>

namespace {

constexpr int kTransparent = 255; // palette index kept for transparent pixels
constexpr int kMaxColours = 255;

struct Box
{
    std::vector<std::pair<QRgb, int>> colours; // colour and pixel count
};

int channel(QRgb c, int ch)
{
    return ch == 0 ? qRed(c) : ch == 1 ? qGreen(c) : qBlue(c);
}

// Median cut over the colour histogram, weighted by pixel counts.
QList<QRgb> medianCut(const QHash<QRgb, int>& histogram)
{
    std::vector<Box> boxes(1);
    for (auto it = histogram.begin(); it != histogram.end(); ++it)
        boxes[0].colours.emplace_back(it.key(), it.value());
    // Hash order changes from run to run; the committed files must not.
    std::sort(boxes[0].colours.begin(), boxes[0].colours.end());
    while (int(boxes.size()) < kMaxColours) {
        int best = -1, bestRange = 0, bestChannel = 0;
        for (int b = 0; b < int(boxes.size()); ++b) {
            if (boxes[b].colours.size() < 2)
                continue;
            for (int ch = 0; ch < 3; ++ch) {
                int lo = 255, hi = 0;
                for (const auto& c : boxes[b].colours) {
                    lo = std::min(lo, channel(c.first, ch));
                    hi = std::max(hi, channel(c.first, ch));
                }
                if (hi - lo > bestRange) {
                    bestRange = hi - lo;
                    best = b;
                    bestChannel = ch;
                }
            }
        }
        if (best < 0)
            break;
        auto& cs = boxes[best].colours;
        std::stable_sort(cs.begin(), cs.end(), [bestChannel](const auto& a, const auto& b) {
            return channel(a.first, bestChannel) < channel(b.first, bestChannel);
        });
        long total = 0;
        for (const auto& c : cs)
            total += c.second;
        long run = 0;
        size_t cut = 1;
        for (size_t i = 0; i + 1 < cs.size(); ++i) {
            run += cs[i].second;
            cut = i + 1;
            if (run * 2 >= total)
                break;
        }
        Box other;
        other.colours.assign(cs.begin() + long(cut), cs.end());
        cs.resize(cut);
        boxes.push_back(std::move(other));
    }
    QList<QRgb> palette;
    for (const Box& box : boxes) {
        double r = 0, g = 0, b = 0, n = 0;
        for (const auto& c : box.colours) {
            r += qRed(c.first) * c.second;
            g += qGreen(c.first) * c.second;
            b += qBlue(c.first) * c.second;
            n += c.second;
        }
        palette.append(qRgb(int(r / n + 0.5), int(g / n + 0.5), int(b / n + 0.5)));
    }
    return palette;
}

int nearest(const QList<QRgb>& palette, QRgb c)
{
    int best = 0;
    long bestDist = -1;
    for (int i = 0; i < palette.size(); ++i) {
        const long dr = qRed(c) - qRed(palette[i]);
        const long dg = qGreen(c) - qGreen(palette[i]);
        const long db = qBlue(c) - qBlue(palette[i]);
        const long d = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (bestDist < 0 || d < bestDist) {
            bestDist = d;
            best = i;
        }
    }
    return best;
}

class BitWriter
{
public:
    void put(int code, int size)
    {
        m_acc |= uint32_t(code) << m_bits;
        m_bits += size;
        while (m_bits >= 8) {
            m_bytes.push_back(char(m_acc & 0xff));
            m_acc >>= 8;
            m_bits -= 8;
        }
    }
    QByteArray finish()
    {
        if (m_bits > 0)
            m_bytes.push_back(char(m_acc & 0xff));
        return m_bytes;
    }

private:
    QByteArray m_bytes;
    uint32_t m_acc = 0;
    int m_bits = 0;
};

// LZW with 8-bit minimum code size, as the GIF format wants it.
QByteArray lzw(const std::vector<uint8_t>& indices)
{
    const int clearCode = 256, endCode = 257;
    BitWriter out;
    QHash<uint32_t, int> table;
    int codeSize = 9, maxCode = endCode;
    out.put(clearCode, codeSize);
    int prefix = indices.empty() ? 0 : indices[0];
    for (size_t i = 1; i < indices.size(); ++i) {
        const uint32_t key = (uint32_t(prefix) << 8) | indices[i];
        const auto found = table.constFind(key);
        if (found != table.constEnd()) {
            prefix = found.value();
            continue;
        }
        out.put(prefix, codeSize);
        table.insert(key, ++maxCode);
        if (maxCode >= (1 << codeSize))
            ++codeSize;
        if (maxCode == 4095) {
            out.put(clearCode, codeSize);
            table.clear();
            codeSize = 9;
            maxCode = endCode;
        }
        prefix = indices[i];
    }
    out.put(prefix, codeSize);
    out.put(endCode, codeSize);
    return out.finish();
}

void putWord(QByteArray& b, int v)
{
    b.append(char(v & 0xff));
    b.append(char((v >> 8) & 0xff));
}

} // namespace

QImage flattenForGif(const QImage& frame, QColor matte)
{
    QImage src = frame.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    QImage out(src.size(), QImage::Format_ARGB32);
    for (int y = 0; y < src.height(); ++y) {
        const QRgb* in = reinterpret_cast<const QRgb*>(src.constScanLine(y));
        QRgb* o = reinterpret_cast<QRgb*>(out.scanLine(y));
        for (int x = 0; x < src.width(); ++x) {
            const int a = qAlpha(in[x]);
            if (a < 128) {
                o[x] = 0;
                continue;
            }
            auto over = [a](int premul, int m) { return std::clamp(premul + m * (255 - a) / 255, 0, 255); };
            o[x] = qRgb(over(qRed(in[x]), matte.red()), over(qGreen(in[x]), matte.green()),
                        over(qBlue(in[x]), matte.blue()));
        }
    }
    return out;
}

QString writeGif(const QString& path, const QList<QImage>& frames, int delayMs, QColor matte)
{
    if (frames.isEmpty())
        return QStringLiteral("no frames");
    const QSize size = frames.first().size();
    QList<QImage> flat;
    QHash<QRgb, int> histogram;
    for (const QImage& frame : frames) {
        if (frame.size() != size)
            return QStringLiteral("frames differ in size");
        flat.append(flattenForGif(frame, matte));
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = flat.last().pixel(x, y);
                if (qAlpha(c))
                    ++histogram[c];
            }
    }
    QList<QRgb> palette = histogram.size() <= kMaxColours ? histogram.keys() : medianCut(histogram);
    std::sort(palette.begin(), palette.end());
    QHash<QRgb, int> lookup;

    QByteArray gif("GIF89a");
    putWord(gif, size.width());
    putWord(gif, size.height());
    gif.append(char(0xF7)); // global table of 256 entries, 8 bits per channel
    gif.append(char(kTransparent));
    gif.append(char(0));
    for (int i = 0; i < 256; ++i) {
        const QRgb c = i < palette.size() ? palette[i] : (i == kTransparent ? matte.rgb() : 0);
        gif.append(char(qRed(c)));
        gif.append(char(qGreen(c)));
        gif.append(char(qBlue(c)));
    }
    gif.append("\x21\xFF\x0BNETSCAPE2.0\x03\x01\x00\x00\x00", 19); // loop for ever

    for (const QImage& frame : flat) {
        // Graphic control: dispose to background, so each frame starts clear.
        gif.append("\x21\xF9\x04", 3);
        gif.append(char((2 << 2) | 1));
        putWord(gif, (delayMs + 5) / 10);
        gif.append(char(kTransparent));
        gif.append(char(0));
        gif.append(char(0x2C));
        putWord(gif, 0);
        putWord(gif, 0);
        putWord(gif, size.width());
        putWord(gif, size.height());
        gif.append(char(0));
        std::vector<uint8_t> indices;
        indices.reserve(size_t(size.width() * size.height()));
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x) {
                const QRgb c = frame.pixel(x, y);
                if (!qAlpha(c)) {
                    indices.push_back(kTransparent);
                    continue;
                }
                auto it = lookup.find(c);
                if (it == lookup.end())
                    it = lookup.insert(c, nearest(palette, c));
                indices.push_back(uint8_t(it.value()));
            }
        gif.append(char(8));
        const QByteArray data = lzw(indices);
        for (int off = 0; off < data.size(); off += 255) {
            const int n = std::min(255, int(data.size()) - off);
            gif.append(char(n));
            gif.append(data.mid(off, n));
        }
        gif.append(char(0));
    }
    gif.append(char(0x3B));

    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(gif) != gif.size())
        return QStringLiteral("cannot write ") + path;
    return QString();
}
