#include "library/uniquefiles.h"

#include "platformbase.h"

#include <QDir>
#include <QFileInfo>
#include <QSet>

namespace {

// A file that exists is known by its device and inode, which every path to
// it shares; a missing one only by its cleaned absolute path (it is skipped
// later with its own log line, and once is enough).
QString fileIdentity(const QString& path)
{
    FileId id;
    if (FileIdOf(path, id))
        return QStringLiteral("%1:%2").arg(id.first).arg(id.second);
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

} // namespace

QStringList UniqueFilePaths(const char* const* paths, int count)
{
    QStringList unique;
    QSet<QString> seen;
    for (int i = 0; i < count; ++i) {
        if (!paths[i])
            continue;
        const QString path = QString::fromUtf8(paths[i]);
        const QString identity = fileIdentity(path);
        if (seen.contains(identity))
            continue;
        seen.insert(identity);
        unique.append(path);
    }
    return unique;
}
