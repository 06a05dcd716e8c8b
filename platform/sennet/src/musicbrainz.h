// The music metadata service: year and genre of a recording or release
// group, and the release-group search behind the image search.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace sennet {

struct Details {
    QString year;
    QString genre;
};

// /ws/2/<entity>/<id>?inc=genres+tags&fmt=json; entity is "recording" or
// "release-group".
QUrl detailsUrl(const QUrl& base, const QString& entity, const QString& id);
// Year of "first-release-date" and the most voted genre, empty without one
// (tags never count). False with why for a malformed answer.
bool parseDetails(const QByteArray& json, Details* out, QString* why);
// The "error" text of the service's error answer, empty when it gives none.
QString musicBrainzError(const QByteArray& json);

// /ws/2/release-group?query=...&limit=...&fmt=json for the album (or, without
// one, the title as a single) by the artist.
QUrl releaseGroupSearchUrl(const QUrl& base, const QString& title, const QString& artist,
                           const QString& album, int limit);
// IDs of the best limit matches (the search's own limit) scoring at least
// minScore, best first; false with why for a malformed answer.
bool parseReleaseGroupSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why);

} // namespace sennet
