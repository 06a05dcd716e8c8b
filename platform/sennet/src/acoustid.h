// The fingerprint lookup service: the request form and the choice of the
// best recording in its answer.
#pragma once

#include <QByteArray>
#include <QString>

namespace sennet {

struct Fingerprint;

struct Identification {
    QString recordingId;
    QString title;
    QString artist;
    QString releaseGroupId; // the album ID
    QString album;
};

QByteArray lookupForm(const QString& clientKey, const Fingerprint& fingerprint);
// Of the best result scoring 0.5 or more that names a recording with a
// title and a valid ID: the song, its title and artist from the recording
// with the most sources, and its best album (an album before an EP or
// single, any of them before compilations and live albums) from the
// recordings of that same song (isSameSong). False with why when the
// answer is malformed, an error, or has no such result.
bool bestRecording(const QByteArray& json, Identification* out, QString* why);
// The message of the service's error answer, empty when it gives none.
QString lookupError(const QByteArray& json);

} // namespace sennet
