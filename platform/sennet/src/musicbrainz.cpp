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

QString searchQuery(const QString& title, const QString& artist, const QString& album)
{
    const QString name = album.trimmed().isEmpty() ? title : album;
    QString query = QStringLiteral("releasegroup:") + phrase(name);
    if (!artist.trimmed().isEmpty())
        query += QStringLiteral(" AND artist:") + phrase(artist);
    return query;
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

QUrl releaseGroupSearchUrl(const QUrl& base, const QString& title, const QString& artist,
                           const QString& album, int limit)
{
    QUrl url = serviceUrl(base, QStringLiteral("/ws/2/release-group"));
    // Encoded by hand: a '+' in a title must reach the server as %2B, not
    // be read there as a space.
    const QByteArray query = "query=" + QUrl::toPercentEncoding(searchQuery(title, artist, album))
                             + "&limit=" + QByteArray::number(limit) + "&fmt=json";
    url.setQuery(QString::fromLatin1(query), QUrl::StrictMode);
    return url;
}

bool parseReleaseGroupSearch(const QByteArray& json, int minScore, int limit, QStringList* ids, QString* why)
{
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    std::vector<std::pair<int, QString>> matches;
    for (const QJsonValue& value : answer.value(QLatin1String("release-groups")).toArray()) {
        const QJsonObject group = value.toObject();
        const QString id = group.value(QLatin1String("id")).toString();
        const int score = group.value(QLatin1String("score")).toVariant().toInt();
        if (isMbid(id) && score >= minScore)
            matches.emplace_back(score, id);
    }
    std::stable_sort(matches.begin(), matches.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    // A server that lists more than it was asked for would otherwise cost a
    // cover request for every ID of a 4 MB answer.
    const auto wanted = static_cast<std::size_t>(qMax(0, limit));
    if (matches.size() > wanted)
        matches.resize(wanted);
    ids->clear();
    for (const auto& match : matches)
        ids->append(match.second);
    return true;
}

} // namespace sennet
