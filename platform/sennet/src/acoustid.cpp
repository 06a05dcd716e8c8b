#include "acoustid.h"

#include "jsonfields.h"
#include "musicbrainz.h"
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

// A result scoring below this is too unlike the song to name it; the
// service lists matches from 0.4 up.
constexpr double kMinScore = 0.5;

// Lower is better; a recording that names its album wins over one that
// does not.
constexpr int kNoAlbumRank = 8;

int releaseGroupRank(const QJsonObject& group)
{
    return albumRank(group.value(QLatin1String("type")).toString(),
                     !group.value(QLatin1String("secondarytypes")).toArray().isEmpty());
}

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

QString titleOf(const QJsonObject& recording)
{
    return recording.value(QLatin1String("title")).toString().trimmed();
}

QString artistOf(const QJsonObject& recording)
{
    return creditText(recording.value(QLatin1String("artists")).toArray());
}

bool isUsable(const QJsonObject& recording)
{
    return !titleOf(recording).isEmpty() && isMbid(recording.value(QLatin1String("id")).toString());
}

// The recording with its best album; that album's rank, kNoAlbumRank
// without one.
int takeAlbum(const QJsonObject& recording, Identification* out)
{
    const QJsonObject group = bestReleaseGroup(recording.value(QLatin1String("releasegroups")).toArray());
    out->recordingId = recording.value(QLatin1String("id")).toString();
    out->releaseGroupId = group.value(QLatin1String("id")).toString();
    out->album = group.value(QLatin1String("title")).toString().trimmed();
    return group.isEmpty() ? kNoAlbumRank : releaseGroupRank(group);
}

// A result lists many recordings of the song, the first often on a
// various-artists compilation, and now and then one of another song. The
// song is the recording most sources confirm (the first among equals);
// only its own recordings, the same title by the same artists however
// written, may lend it a better album, and the title and artist stay the
// song's.
bool takeFromResult(const QJsonObject& result, Identification* out)
{
    std::vector<QJsonObject> recordings;
    for (const QJsonValue& value : result.value(QLatin1String("recordings")).toArray()) {
        const QJsonObject recording = value.toObject();
        if (isUsable(recording))
            recordings.push_back(recording);
    }
    if (recordings.empty())
        return false;
    const QJsonObject song = *std::max_element(recordings.begin(), recordings.end(),
                                               [](const QJsonObject& a, const QJsonObject& b) {
        return a.value(QLatin1String("sources")).toInt() < b.value(QLatin1String("sources")).toInt();
    });
    out->title = titleOf(song);
    out->artist = artistOf(song);
    int bestRank = takeAlbum(song, out);
    for (const QJsonObject& recording : recordings) {
        if (!isSameSong(titleOf(recording), artistOf(recording), out->title, out->artist))
            continue;
        Identification other;
        const int rank = takeAlbum(recording, &other);
        if (rank >= bestRank)
            continue;
        out->recordingId = other.recordingId;
        out->releaseGroupId = other.releaseGroupId;
        out->album = other.album;
        bestRank = rank;
    }
    return true;
}

double scoreOf(const QJsonObject& result)
{
    return result.value(QLatin1String("score")).toDouble();
}

QString noMatchReason(const std::vector<QJsonObject>& results)
{
    if (results.empty())
        return QStringLiteral("no match");
    if (scoreOf(results.front()) < kMinScore)
        return QStringLiteral("the best match scores %1, below %2").arg(scoreOf(results.front())).arg(kMinScore);
    return QStringLiteral("no match names a recording (of those scoring %1 or more)").arg(kMinScore);
}

QString errorMessage(const QJsonObject& answer)
{
    return answer.value(QLatin1String("error")).toObject().value(QLatin1String("message")).toString();
}

} // namespace

QByteArray lookupForm(const QString& clientKey, const Fingerprint& fingerprint)
{
    return "client=" + formValue(clientKey)
           + "&meta=recordings+releasegroups+sources+compress&format=json"
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
    std::stable_sort(results.begin(), results.end(),
                     [](const QJsonObject& a, const QJsonObject& b) { return scoreOf(a) > scoreOf(b); });
    // Sorted: once one scores too low, so do the rest.
    for (const QJsonObject& result : results) {
        if (scoreOf(result) < kMinScore)
            break;
        if (takeFromResult(result, out))
            return true;
    }
    *why = noMatchReason(results);
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
