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
// Of the best scored result, the recording with a title and a valid ID on
// the best album (an album before an EP or single, any of them before
// compilations and live albums); false with why when the answer is
// malformed, an error, or names no such recording.
bool bestRecording(const QByteArray& json, Identification* out, QString* why);
// The message of the service's error answer, empty when it gives none.
QString lookupError(const QByteArray& json);

} // namespace sennet
