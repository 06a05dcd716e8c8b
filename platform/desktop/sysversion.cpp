#include "desktop.h"

#include <QFile>
#include <QRegularExpression>
#include <QSysInfo>

namespace desktop {

namespace {

// Up to three dotted numbers at the start of text ("12", "22.04", "3.19.1").
bool parseVersion(const QString& text, SystemVersion& out)
{
    static const QRegularExpression pattern(QStringLiteral("^(\\d+)(?:\\.(\\d+))?(?:\\.(\\d+))?"));
    const QRegularExpressionMatch match = pattern.match(text.trimmed());
    if (!match.hasMatch())
        return false;
    out.major = match.captured(1).toUInt();
    out.minor = match.captured(2).toUInt();
    out.patch = match.captured(3).toUInt();
    return true;
}

QString osReleaseVersionId(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QString();
    while (!file.atEnd()) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (!line.startsWith(QLatin1String("VERSION_ID=")))
            continue;
        QString value = line.mid(int(qstrlen("VERSION_ID=")));
        // os-release values may be quoted with either quote character.
        if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return QString();
}

} // namespace

int systemVersion(SystemVersion& out, const QString& osRelease)
{
    SystemVersion found;
    if (parseVersion(osReleaseVersionId(osRelease), found)
        || parseVersion(QSysInfo::productVersion(), found)) {
        out = found;
        return 0;
    }
    return -1;
}

} // namespace desktop
