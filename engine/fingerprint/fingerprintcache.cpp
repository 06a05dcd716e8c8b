#include "fingerprint/fingerprintcache.h"

#include "core/idname.h"
#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintside.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QtEndian>


namespace {

// A cache is named by its track's persistent ID followed by this.
constexpr QLatin1String kCacheSuffix("fingerprint.bin");

constexpr qint64 kHeaderBytes = 8;
constexpr qint64 kValueBytes = 4;

int32_t takeInt32(const QByteArray& bytes, qint64 offset)
{
    if (bytes.size() < offset + 4)
        return 0;
    return qFromLittleEndian<qint32>(bytes.constData() + offset);
}

void appendUInt32(QByteArray& out, uint32_t value)
{
    char le[4];
    qToLittleEndian<quint32>(value, le);
    out.append(le, 4);
}

} // namespace

int ReadFingerprintCache(const QString& path, tagFingerprintRecord& record)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return SF_CACHE_OPEN;
    // A cache may hold many more values than are ever compared; the rest
    // is never read.
    const QByteArray bytes = file.read(kHeaderBytes + kCompareValues * kValueBytes);
    record.iSampleRate = takeInt32(bytes, 0);
    record.iThird = takeInt32(bytes, 4);
    record.values.reset(static_cast<uint32_t*>(std::malloc(kCompareValues * kValueBytes)));
    if (!record.values)
        return SF_CACHE_MEMORY;
    const qint64 valueBytes = qMax<qint64>(0, bytes.size() - kHeaderBytes);
    record.iCount = static_cast<int>(valueBytes / kValueBytes);
    for (int i = 0; i < record.iCount; ++i)
        record.values.get()[i] = qFromLittleEndian<quint32>(bytes.constData() + kHeaderBytes + i * kValueBytes);
    return SF_NONE;
}

bool WriteFingerprintCache(const QString& path, const tagFingerprintRecord& record)
{
    QByteArray bytes;
    bytes.reserve(kHeaderBytes + qint64(record.iCount) * kValueBytes);
    appendUInt32(bytes, static_cast<uint32_t>(record.iSampleRate));
    appendUInt32(bytes, static_cast<uint32_t>(record.iThird));
    for (int i = 0; i < record.iCount; ++i)
        appendUInt32(bytes, record.values.get()[i]);
    // QSaveFile writes beside the target and renames on commit, so a reader
    // never sees a half-written cache, even after a crash mid-write.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        file.commit();
        return false;
    }
    return file.commit();
}

QString FingerprintCachePath(const QString& folder, const QString& persistentId)
{
    // An ID unfit for a file name must not place the cache elsewhere.
    return folder + QLatin1Char('/') + FileNameOfId(persistentId) + kCacheSuffix;
}

int RemoveFingerprintCaches(const QString& folder)
{
    if (folder.isEmpty())
        return -1;
    // The second pattern catches temporary caches left by a crash mid-write
    // (QSaveFile appends a dot and six characters).
    const QString cache = QStringLiteral("*") + kCacheSuffix;
    const QStringList patterns = {cache, cache + QStringLiteral(".??????")};
    QDir dir(folder);
    int result = 0;
    for (const QString& name : dir.entryList(patterns, QDir::Files | QDir::Hidden | QDir::System)) {
        if (!dir.remove(name))
            result = -1;
    }
    return result;
}
