#include "core/idname.h"

#include <QCryptographicHash>

#include <algorithm>

namespace {

bool IsPlainId(const QString& id)
{
    return !id.isEmpty() && std::all_of(id.cbegin(), id.cend(), [](QChar c) {
        return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            || (c >= QLatin1Char('a') && c <= QLatin1Char('z'));
    });
}

} // namespace

QString FileNameOfId(const QString& persistentId)
{
    if (IsPlainId(persistentId))
        return persistentId;
    // The "-" keeps the name apart from every plain ID.
    const QByteArray hash = QCryptographicHash::hash(persistentId.toUtf8(), QCryptographicHash::Sha1);
    return QStringLiteral("id-") + QString::fromLatin1(hash.toHex());
}
