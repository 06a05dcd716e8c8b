#include "jsonfields.h"

#include <QJsonDocument>
#include <QJsonParseError>
#include <QRegularExpression>

namespace sennet {

bool parseObject(const QByteArray& json, QJsonObject* out, QString* why)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError) {
        *why = QStringLiteral("malformed JSON: %1").arg(error.errorString());
        return false;
    }
    if (!document.isObject()) {
        *why = QStringLiteral("JSON answer is not an object");
        return false;
    }
    *out = document.object();
    return true;
}

bool isMbid(const QString& text)
{
    static const QRegularExpression uuid(QStringLiteral(
        "^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    return uuid.match(text).hasMatch();
}

} // namespace sennet
