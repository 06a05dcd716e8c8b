// Small JSON helpers shared by the answer readers.
#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

namespace sennet {

// The top-level object of json; false with why for anything else.
bool parseObject(const QByteArray& json, QJsonObject* out, QString* why);
// The list named key of the top-level object of json; false with why when
// there is no such list, as in a service's error object.
bool parseList(const QByteArray& json, const QString& key, QJsonArray* out, QString* why);
// An artist credit as it reads: each name followed by its join phrase.
QString creditText(const QJsonArray& credit);
// Whether text is a MusicBrainz identifier (a UUID), so it is safe to put
// into a service path.
bool isMbid(const QString& text);

} // namespace sennet
