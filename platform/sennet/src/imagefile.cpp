#include "imagefile.h"

#include "sennet.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>

namespace sennet {

namespace {

constexpr int kMaxNumber = 1000;
constexpr int kMaxStemId = 64;

bool writeNew(const QString& path, const QByteArray& bytes, bool* taken)
{
    QFile file(path);
    // NewOnly makes taking the name atomic, so two slots saving for the
    // same track cannot write into one file.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        *taken = file.exists();
        return false;
    }
    if (file.write(bytes) == bytes.size() && file.flush())
        return true;
    file.close();
    file.remove();
    *taken = false;
    return false;
}

} // namespace

QString imageExtension(const QByteArray& bytes)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray format = reader.format();
    // Decoding the whole image also catches files cut short in transfer.
    if (format.isEmpty() || reader.read().isNull())
        return QString();
    return format == "jpeg" ? QStringLiteral("jpg") : QString::fromLatin1(format);
}

QString imageStem(const QString& persistentId, const QString& purpose)
{
    QString id;
    for (const QChar c : persistentId.left(kMaxStemId))
        id += (c.isLetterOrNumber() && c.unicode() < 128) || c == QLatin1Char('-') ? c : QLatin1Char('_');
    return (id.isEmpty() ? QStringLiteral("track") : id) + QLatin1Char('_') + purpose;
}

bool saveImageFile(const QByteArray& bytes, const QString& folder, const QString& stem,
                   QString* path, QString* why)
{
    const QString extension = imageExtension(bytes);
    if (extension.isEmpty()) {
        *why = QStringLiteral("the answer is not an image (%1 bytes)").arg(bytes.size());
        return false;
    }
    if (folder.isEmpty() || !QDir().mkpath(folder)) {
        *why = QStringLiteral("no usable download folder \"%1\"").arg(folder);
        return false;
    }
    for (int n = 0; n < kMaxNumber; ++n) {
        const QString candidate = QDir(folder).filePath(QStringLiteral("%1_%2.%3").arg(stem).arg(n).arg(extension));
        if (candidate.toUtf8().size() >= MI_PATH_SIZE) {
            *why = QStringLiteral("path too long for the record: %1").arg(candidate);
            return false;
        }
        bool taken = false;
        if (writeNew(candidate, bytes, &taken)) {
            *path = candidate;
            return true;
        }
        if (!taken) {
            *why = QStringLiteral("cannot write %1").arg(candidate);
            return false;
        }
    }
    *why = QStringLiteral("no free file name for %1").arg(stem);
    return false;
}

} // namespace sennet
