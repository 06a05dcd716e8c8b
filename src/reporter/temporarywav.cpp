#include "reporter/temporarywav.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// Anything but a plain name could climb out of the folder ("..", "/") or
// name a file that is not ours.
bool isPlainName(const QString& id)
{
    static const QRegularExpression plain(QStringLiteral("^[0-9A-Za-z]+$"));
    return plain.match(id).hasMatch();
}

} // namespace

QString TemporaryWavPath(const QString& folder, const QString& persistentId, const QTime& now,
                         const QStringList& held)
{
    const QString base = isPlainName(persistentId) ? persistentId : now.toString(QStringLiteral("hh:mm:ss"));
    QString path = QStringLiteral("%1/%2.wav").arg(folder, base);
    for (int n = 1; QFileInfo::exists(path) || held.contains(path); ++n)
        path = QStringLiteral("%1/%2_%3.wav").arg(folder, base).arg(n);
    return path;
}

bool RemoveTemporaryWav(const QString& folder, const QString& path)
{
    if (path.isEmpty() || folder.isEmpty())
        return false;
    const QFileInfo file(path);
    if (file.absolutePath() != QDir(folder).absolutePath() || file.suffix() != QLatin1String("wav")
        || !file.isFile() || file.isSymLink())
        return false;
    return QFile::remove(file.absoluteFilePath());
}
