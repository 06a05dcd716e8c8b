#include "location.h"

#include <QUrl>

QByteArray LocalPathOfLocation(QStringView location)
{
    const QLatin1String scheme("file://");
    if (!location.startsWith(scheme, Qt::CaseInsensitive))
        return QByteArray();
    QStringView rest = location.mid(scheme.size());
    const QLatin1String localhost("localhost/");
    if (rest.startsWith(localhost, Qt::CaseInsensitive))
        rest = rest.mid(localhost.size() - 1);
    // Anything else before the path names another machine's share.
    if (!rest.startsWith(QLatin1Char('/')))
        return QByteArray();
    return QByteArray::fromPercentEncoding(rest.toUtf8());
}

QString LocationOfLocalPath(const QString& path)
{
    return QString::fromLatin1(QUrl::fromLocalFile(path).toEncoded(QUrl::FullyEncoded));
}
