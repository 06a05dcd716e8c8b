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

// Whether the local path stored (null for none) names the file path does,
// path given as QFileInfo::absoluteFilePath gives it: a stored path may
// hold doubled slashes or dot segments, as other programs write them.
bool IsSameLocalPath(const char* stored, const QByteArray& path);
