// The music metadata service: year and genre of a recording or release
// group, the searches behind the image search, and how its release-group
// types rank.
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

// Lower is better: an album, an EP, a single, anything else; any of them
// with secondary types (compilation, live, soundtrack...) after all without.
int albumRank(const QString& primaryType, bool hasSecondaryTypes);

// /ws/2/release-group?query=...&limit=...&fmt=json for the album by the
// artist.
QUrl releaseGroupSearchUrl(const QUrl& base, const QString& album, const QString& artist, int limit);
// IDs of the best limit matches (the search's own limit) scoring at least
// minScore, best first; false with why for a malformed answer.
bool parseReleaseGroupSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why);

// /ws/2/recording?query=...&limit=...&fmt=json for the song by the artist.
QUrl recordingSearchUrl(const QUrl& base, const QString& title, const QString& artist, int limit);
// Release-group IDs of the releases of the recordings scoring at least
// minScore: the best recording's first, and of one recording's the best
// ranked first; each once, at most limit; false with why for a malformed
// answer.
bool parseRecordingSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why);

} // namespace sennet
