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
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    std::vector<Match> matches;
    for (const QJsonValue& value : answer.value(QLatin1String("release-groups")).toArray()) {
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

bool parseRecordingSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why)
{
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    // Ordered by the recording's score, then by the album's rank: the
    // song's studio album before the compilations that carry it too.
    std::vector<Match> matches;
    for (const QJsonValue& value : answer.value(QLatin1String("recordings")).toArray()) {
        const QJsonObject recording = value.toObject();
        const int score = scoreOf(recording);
        if (score < minScore)
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
