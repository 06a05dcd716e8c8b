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

bool parseList(const QByteArray& json, const QString& key, QJsonArray* out, QString* why)
{
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    const QJsonValue list = answer.value(key);
    if (!list.isArray()) {
        *why = QStringLiteral("answer without \"%1\"").arg(key);
        return false;
    }
    *out = list.toArray();
    return true;
}

QString creditText(const QJsonArray& credit)
{
    QString text;
    for (const QJsonValue& value : credit) {
        const QJsonObject name = value.toObject();
        text += name.value(QLatin1String("name")).toString() + name.value(QLatin1String("joinphrase")).toString();
    }
    return text.trimmed();
}

bool isMbid(const QString& text)
{
    static const QRegularExpression uuid(QStringLiteral(
        "^[0-9a-fA-F]{8}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{4}-[0-9a-fA-F]{12}$"));
    return uuid.match(text).hasMatch();
}

} // namespace sennet
