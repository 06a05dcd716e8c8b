// Renders the SVG that make_art.py writes into the committed PNG and GIF
// files, following its manifest:
//   png <path> <w> <h> <svg>
//   gif <path> <w> <h> <delay ms> <matte> <svg>;<svg>;...
// usage: artrender <work dir> <output root>
#include "gifwriter.h"

#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QSvgRenderer>
#include <QTextStream>

#include <cstdio>

namespace {

QImage renderSvg(const QString& file, int w, int h, QString* error)
{
    QSvgRenderer renderer(file);
    if (!renderer.isValid()) {
        *error = QStringLiteral("invalid SVG ") + file;
        return QImage();
    }
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    renderer.render(&painter, QRectF(0, 0, w, h));
    return image;
}

bool isOpaque(const QImage& image)
{
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) != 255)
                return false;
    return true;
}

// Decodes the written GIF and compares each frame with what was meant; the
// palette may move a colour a little, transparency must match exactly.
QString verifyGif(const QString& path, const QList<QImage>& frames, QColor matte)
{
    QImageReader reader(path);
    if (reader.imageCount() != frames.size())
        return QStringLiteral("frame count %1, wanted %2").arg(reader.imageCount()).arg(frames.size());
    for (int i = 0; i < frames.size(); ++i) {
        const QImage got = reader.read().convertToFormat(QImage::Format_ARGB32);
        const QImage want = flattenForGif(frames[i], matte);
        if (got.size() != want.size())
            return QStringLiteral("frame %1 has the wrong size").arg(i);
        for (int y = 0; y < want.height(); ++y)
            for (int x = 0; x < want.width(); ++x) {
                const QRgb a = got.pixel(x, y), b = want.pixel(x, y);
                if ((qAlpha(a) == 0) != (qAlpha(b) == 0))
                    return QStringLiteral("frame %1 transparency differs at %2,%3").arg(i).arg(x).arg(y);
                if (qAlpha(b) && (qAbs(qRed(a) - qRed(b)) > 24 || qAbs(qGreen(a) - qGreen(b)) > 24
                                  || qAbs(qBlue(a) - qBlue(b)) > 24))
                    return QStringLiteral("frame %1 colour differs at %2,%3").arg(i).arg(x).arg(y);
            }
    }
    return QString();
}

QString renderLine(const QStringList& f, const QDir& work, const QDir& out)
{
    const QString target = out.filePath(f.value(1));
    QDir().mkpath(QFileInfo(target).absolutePath());
    const int w = f.value(2).toInt(), h = f.value(3).toInt();
    QString error;
    if (f.value(0) == QLatin1String("png") && f.size() == 5) {
        QImage image = renderSvg(work.filePath(f[4]), w, h, &error);
        if (image.isNull())
            return error;
        image = image.convertToFormat(isOpaque(image) ? QImage::Format_RGB32 : QImage::Format_ARGB32);
        return image.save(target, "PNG", 0) ? QString() : QStringLiteral("cannot write ") + target;
    }
    if (f.value(0) == QLatin1String("gif") && f.size() == 7) {
        QList<QImage> frames;
        for (const QString& name : f[6].split(QLatin1Char(';'))) {
            frames.append(renderSvg(work.filePath(name), w, h, &error));
            if (frames.last().isNull())
                return error;
        }
        const QColor matte(f[5]);
        error = writeGif(target, frames, f[4].toInt(), matte);
        return error.isEmpty() ? verifyGif(target, frames, matte) : error;
    }
    return QStringLiteral("bad manifest line: ") + f.join(QLatin1Char(' '));
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    if (argc != 3) {
        std::fprintf(stderr, "usage: artrender <work dir> <output root>\n");
        return 2;
    }
    const QDir work(QString::fromLocal8Bit(argv[1]));
    const QDir out(QString::fromLocal8Bit(argv[2]));
    QFile manifest(work.filePath(QStringLiteral("manifest.tsv")));
    if (!manifest.open(QIODevice::ReadOnly | QIODevice::Text)) {
        std::fprintf(stderr, "no manifest in %s\n", argv[1]);
        return 1;
    }
    int failures = 0, done = 0;
    QTextStream in(&manifest);
    while (!in.atEnd()) {
        const QString row = in.readLine();
        if (row.isEmpty())
            continue;
        const QString error = renderLine(row.split(QLatin1Char('\t')), work, out);
        if (!error.isEmpty()) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(row.section(QLatin1Char('\t'), 1, 1)),
                         qPrintable(error));
            ++failures;
        }
        ++done;
    }
    std::printf("%d rendered, %d failed\n", done - failures, failures);
    return failures ? 1 : 0;
}
