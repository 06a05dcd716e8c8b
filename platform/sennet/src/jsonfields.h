// Small JSON helpers shared by the answer readers.
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace sennet {

// The top-level object of json; false with why for anything else.
bool parseObject(const QByteArray& json, QJsonObject* out, QString* why);
// Whether text is a MusicBrainz identifier (a UUID), so it is safe to put
// into a service path.
bool isMbid(const QString& text);

} // namespace sennet
