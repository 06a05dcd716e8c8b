#include "location.h"

#include <QDir>
#include <QUrl>

#include <cstring>

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

bool IsSameLocalPath(const char* stored, const QByteArray& path)
{
    if (!stored)
        return false;
    // Compared in place first: cleaning every track's path would cost an
    // allocation per track and call, and only an unclean one needs it.
    if (path == stored)
        return true;
    if (!std::strstr(stored, "//") && !std::strstr(stored, "/./") && !std::strstr(stored, "/../"))
        return false;
    return QDir::cleanPath(QString::fromUtf8(stored)).toUtf8() == path;
}
