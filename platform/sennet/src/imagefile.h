// Downloaded images become files in the download folder.
#pragma once

#include <QByteArray>
#include <QString>

namespace sennet {

// File-name extension for bytes that decode as an image, else empty.
QString imageExtension(const QByteArray& bytes);
// A file-name stem from a persistent ID and a purpose ("cover", "search").
QString imageStem(const QString& persistentId, const QString& purpose);
// Writes bytes to folder/<stem>_<n>.<ext> with the first n not taken, never
// replacing a file. False with why, leaving no file behind.
bool saveImageFile(const QByteArray& bytes, const QString& folder, const QString& stem,
                   QString* path, QString* why);

} // namespace sennet
