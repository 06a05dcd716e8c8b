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
// (tags never count). False with why for an answer that is not an entity
// with an ID: not JSON, cut off, an error object.
bool parseDetails(const QByteArray& json, Details* out, QString* why);
// The "error" text of the service's error answer, empty when it gives none.
QString musicBrainzError(const QByteArray& json);

// Whether two titles and artist credits name the same song: equal once in
// Unicode NFC, case folded, and with every quote and apostrophe form as
// the plain ' or ". The services spell one song in all these ways.
bool isSameSong(const QString& title, const QString& artist, const QString& otherTitle, const QString& otherArtist);

// Lower is better: an album, an EP, a single, anything else; any of them
// with secondary types (compilation, live, soundtrack...) after all without.
int albumRank(const QString& primaryType, bool hasSecondaryTypes);

// /ws/2/release-group?query=...&limit=...&fmt=json for the album by the
// artist.
QUrl releaseGroupSearchUrl(const QUrl& base, const QString& album, const QString& artist, int limit);
// IDs of the best limit matches (the search's own limit) scoring at least
// minScore, best first; false with why for an answer without the list.
bool parseReleaseGroupSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why);

// /ws/2/recording?query=...&limit=...&fmt=json for the song by the artist.
QUrl recordingSearchUrl(const QUrl& base, const QString& title, const QString& artist, int limit);
// Release-group IDs of the releases of the recordings of the song, its
// title by its artist (isSameSong), scoring at least minScore: the best
// recording's first, and of one recording's the best ranked first; each
// once, at most limit; false with why for an answer without the list.
bool parseRecordingSearch(const QByteArray& json, const QString& title, const QString& artist, int minScore,
                          int limit, QStringList* ids, QString* why);

} // namespace sennet
