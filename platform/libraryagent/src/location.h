// Track locations: the library holds "file://" URLs, the engine local paths.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// The local path (UTF-8) of a file location: "file:///a%20b", and the older
// "file://localhost/a%20b", give "/a b". Empty for other schemes and hosts.
QByteArray LocalPathOfLocation(QStringView location);

// The location under which the library keeps a local path.
QString LocationOfLocalPath(const QString& path);
