#include "musicbrainz.h"

#include "jsonfields.h"
#include "services.h"

#include <QJsonArray>
#include <QJsonObject>

#include <algorithm>
#include <vector>

namespace sennet {

namespace {

QString yearOf(const QString& date)
{
    const QString year = date.left(4);
    bool ok = false;
    const int value = year.toInt(&ok);
    return ok && year.size() == 4 && value > 0 ? year : QString();
}

// Downvoted names (count 0 or less) are the community saying "not this".
QString mostVoted(const QJsonArray& names)
{
    QString best;
    int bestCount = 0;
    for (const QJsonValue& value : names) {
        const QJsonObject entry = value.toObject();
        const QString name = entry.value(QLatin1String("name")).toString().trimmed();
        const int count = entry.value(QLatin1String("count")).toInt();
        if (!name.isEmpty() && count > bestCount) {
            best = name;
            bestCount = count;
        }
    }
    return best;
}

QString phrase(const QString& text)
{
    QString escaped = text.trimmed();
    escaped.replace(QLatin1Char('\\'), QLatin1String("\\\\"));
    escaped.replace(QLatin1Char('"'), QLatin1String("\\\""));
    return QLatin1Char('"') + escaped + QLatin1Char('"');
}

QString fieldQuery(const QString& field, const QString& value, const QString& artist)
{
    return field + QLatin1Char(':') + phrase(value) + QStringLiteral(" AND artist:") + phrase(artist);
}

QUrl searchUrl(const QUrl& base, const QString& entity, const QString& query, int limit)
{
    QUrl url = serviceUrl(base, QStringLiteral("/ws/2/") + entity);
    // Encoded by hand: a '+' in a title must reach the server as %2B, not
    // be read there as a space.
    const QByteArray encoded = "query=" + QUrl::toPercentEncoding(query) + "&limit=" + QByteArray::number(limit)
                               + "&fmt=json";
    url.setQuery(QString::fromLatin1(encoded), QUrl::StrictMode);
    return url;
}

int scoreOf(const QJsonObject& match)
{
    return match.value(QLatin1String("score")).toVariant().toInt();
}

// How a title or credit reads once the ways of writing it that do not
// change it are set aside.
QString comparable(const QString& text)
{
    QString plain = text.trimmed().normalized(QString::NormalizationForm_C);
    for (QChar& c : plain) {
        switch (c.unicode()) {
        case 0x2019: case 0x2018: case 0x02BC: case 0x2032: case 0x0060: case 0x00B4:
            c = QLatin1Char('\'');
            break;
        case 0x201C: case 0x201D: case 0x201E: case 0x2033:
            c = QLatin1Char('"');
            break;
        default:
            break;
        }
    }
    return plain.toCaseFolded();
}

struct Match {
    int score;
    int rank; // albumRank, lower is better
    QString id;
};

// A server that lists more than it was asked for would otherwise cost a
// cover request for every ID of a 4 MB answer.
void keepBest(std::vector<Match>& matches, int limit, QStringList* ids)
{
    std::stable_sort(matches.begin(), matches.end(), [](const Match& a, const Match& b) {
        return a.score != b.score ? a.score > b.score : a.rank < b.rank;
    });
    ids->clear();
    for (const auto& match : matches) {
        if (ids->size() >= limit)
            break;
        if (!ids->contains(match.id))
            ids->append(match.id);
    }
}

} // namespace

QUrl detailsUrl(const QUrl& base, const QString& entity, const QString& id)
{
    QUrl url = serviceUrl(base, QStringLiteral("/ws/2/%1/%2").arg(entity, id));
    url.setQuery(QStringLiteral("inc=genres+tags&fmt=json"));
    return url;
}

bool parseDetails(const QByteArray& json, Details* out, QString* why)
{
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    // An error object, or a proxy's or portal's JSON, names no entity.
    if (!isMbid(answer.value(QLatin1String("id")).toString())) {
        *why = QStringLiteral("answer without the entity's ID");
        return false;
    }
    out->year = yearOf(answer.value(QLatin1String("first-release-date")).toString());
    // Only the curated genres: tags are free text ("seen live",
    // "format-dvd-video") that no one would file a song under.
    out->genre = mostVoted(answer.value(QLatin1String("genres")).toArray());
    return true;
}

QString musicBrainzError(const QByteArray& json)
{
    QJsonObject answer;
    QString ignored;
    if (!parseObject(json, &answer, &ignored))
        return QString();
    return answer.value(QLatin1String("error")).toString();
}

bool isSameSong(const QString& title, const QString& artist, const QString& otherTitle, const QString& otherArtist)
{
    return comparable(title) == comparable(otherTitle) && comparable(artist) == comparable(otherArtist);
}

int albumRank(const QString& primaryType, bool hasSecondaryTypes)
{
    const int rank = primaryType == QLatin1String("Album") ? 0 : primaryType == QLatin1String("EP") ? 1
                   : primaryType == QLatin1String("Single") ? 2 : 3;
    return hasSecondaryTypes ? rank + 4 : rank;
}

QUrl releaseGroupSearchUrl(const QUrl& base, const QString& album, const QString& artist, int limit)
{
    return searchUrl(base, QStringLiteral("release-group"), fieldQuery(QStringLiteral("releasegroup"), album, artist),
                     limit);
}

bool parseReleaseGroupSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why)
{
    QJsonArray groups;
    if (!parseList(json, QStringLiteral("release-groups"), &groups, why))
        return false;
    std::vector<Match> matches;
    for (const QJsonValue& value : groups) {
        const QJsonObject group = value.toObject();
        const QString id = group.value(QLatin1String("id")).toString();
        if (isMbid(id) && scoreOf(group) >= minScore)
            matches.push_back({scoreOf(group), 0, id});
    }
    keepBest(matches, limit, ids);
    return true;
}

QUrl recordingSearchUrl(const QUrl& base, const QString& title, const QString& artist, int limit)
{
    return searchUrl(base, QStringLiteral("recording"), fieldQuery(QStringLiteral("recording"), title, artist), limit);
}

bool parseRecordingSearch(const QByteArray& json, const QString& title, const QString& artist, int minScore,
                          int limit, QStringList* ids, QString* why)
{
    QJsonArray recordings;
    if (!parseList(json, QStringLiteral("recordings"), &recordings, why))
        return false;
    // Ordered by the recording's score, then by the album's rank: the
    // song's studio album before the compilations that carry it too. A
    // search also finds medleys that begin with the song and its covers by
    // other artists, whose albums' covers are not this song's.
    std::vector<Match> matches;
    for (const QJsonValue& value : recordings) {
        const QJsonObject recording = value.toObject();
        const int score = scoreOf(recording);
        if (score < minScore
            || !isSameSong(title, artist, recording.value(QLatin1String("title")).toString(),
                           creditText(recording.value(QLatin1String("artist-credit")).toArray())))
            continue;
        for (const QJsonValue& release : recording.value(QLatin1String("releases")).toArray()) {
            const QJsonObject group = release.toObject().value(QLatin1String("release-group")).toObject();
            const QString id = group.value(QLatin1String("id")).toString();
            if (!isMbid(id))
                continue;
            const int rank = albumRank(group.value(QLatin1String("primary-type")).toString(),
                                       !group.value(QLatin1String("secondary-types")).toArray().isEmpty());
            matches.push_back({score, rank, id});
        }
    }
    keepBest(matches, limit, ids);
    return true;
}

} // namespace sennet
