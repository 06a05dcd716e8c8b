#include "acoustid.h"

#include "jsonfields.h"
#include "wavfingerprint.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QUrl>

#include <algorithm>
#include <vector>

namespace sennet {

namespace {

QByteArray formValue(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

QString joinedArtists(const QJsonArray& artists)
{
    QString joined;
    for (const QJsonValue& artist : artists) {
        const QJsonObject a = artist.toObject();
        joined += a.value(QLatin1String("name")).toString() + a.value(QLatin1String("joinphrase")).toString();
    }
    return joined.trimmed();
}

// Lower is better: an original studio album before EPs and singles, and any
// of them before compilations, live albums and soundtracks.
int releaseGroupRank(const QJsonObject& group)
{
    const QString type = group.value(QLatin1String("type")).toString();
    int rank = type == QLatin1String("Album") ? 0 : type == QLatin1String("EP") ? 1
             : type == QLatin1String("Single") ? 2 : 3;
    if (!group.value(QLatin1String("secondarytypes")).toArray().isEmpty())
        rank += 4;
    return rank;
}

// Below every album: a recording that names its album wins over one that
// does not.
constexpr int kNoAlbumRank = 8;

QJsonObject bestReleaseGroup(const QJsonArray& groups)
{
    QJsonObject best;
    int bestRank = 0;
    for (const QJsonValue& value : groups) {
        const QJsonObject group = value.toObject();
        if (!isMbid(group.value(QLatin1String("id")).toString()))
            continue;
        const int rank = releaseGroupRank(group);
        if (best.isEmpty() || rank < bestRank) {
            best = group;
            bestRank = rank;
        }
    }
    return best;
}

// The recording with its best album, and that album's rank (kNoAlbumRank
// without one).
bool takeRecording(const QJsonObject& recording, Identification* out, int* rank)
{
    const QString id = recording.value(QLatin1String("id")).toString();
    const QString title = recording.value(QLatin1String("title")).toString().trimmed();
    if (title.isEmpty() || !isMbid(id))
        return false;
    const QJsonObject group = bestReleaseGroup(recording.value(QLatin1String("releasegroups")).toArray());
    out->recordingId = id;
    out->title = title;
    out->artist = joinedArtists(recording.value(QLatin1String("artists")).toArray());
    out->releaseGroupId = group.value(QLatin1String("id")).toString();
    out->album = group.value(QLatin1String("title")).toString().trimmed();
    *rank = group.isEmpty() ? kNoAlbumRank : releaseGroupRank(group);
    return true;
}

// A result lists many recordings of one song, the first often on a
// various-artists compilation: the best album of all of them wins, with the
// title and artist of the recording that holds it; among equals, the first.
bool takeFromResult(const QJsonObject& result, Identification* out)
{
    int bestRank = 0;
    bool found = false;
    for (const QJsonValue& value : result.value(QLatin1String("recordings")).toArray()) {
        Identification candidate;
        int rank = 0;
        if (!takeRecording(value.toObject(), &candidate, &rank) || (found && rank >= bestRank))
            continue;
        *out = candidate;
        bestRank = rank;
        found = true;
    }
    return found;
}

QString errorMessage(const QJsonObject& answer)
{
    return answer.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
}

} // namespace

QByteArray lookupForm(const QString& clientKey, const Fingerprint& fingerprint)
{
    return "client=" + formValue(clientKey)
           + "&meta=recordings+releasegroups+compress&format=json"
           + "&duration=" + QByteArray::number(fingerprint.durationSeconds)
           + "&fingerprint=" + formValue(QString::fromLatin1(fingerprint.text));
}

bool bestRecording(const QByteArray& json, Identification* out, QString* why)
{
    QJsonObject answer;
    if (!parseObject(json, &answer, why))
        return false;
    if (answer.value(QLatin1String("status")).toString() != QLatin1String("ok")) {
        const QString error = errorMessage(answer);
        *why = error.isEmpty() ? QStringLiteral("answer without status ok") : error;
        return false;
    }
    std::vector<QJsonObject> results;
    for (const QJsonValue& value : answer.value(QLatin1String("results")).toArray())
        results.push_back(value.toObject());
    std::stable_sort(results.begin(), results.end(), [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(QLatin1String("score")).toDouble() > b.value(QLatin1String("score")).toDouble();
    });
    for (const QJsonObject& result : results)
        if (takeFromResult(result, out))
            return true;
    *why = results.empty() ? QStringLiteral("no match") : QStringLiteral("no match names a recording");
    return false;
}

QString lookupError(const QByteArray& json)
{
    QJsonObject answer;
    QString ignored;
    if (!parseObject(json, &answer, &ignored))
        return QString();
    return errorMessage(answer);
}

} // namespace sennet
