// Artwork: the identified album's cover, and the image search by artist
// with album or title. Both save what they fetch as files in the download
// folder and hand back the paths.
#include "httpsession.h"
#include "imagefile.h"
#include "jsonfields.h"
#include "layerstate.h"
#include "musicbrainz.h"
#include "musicrequest.h"
#include "parserlog.h"
#include "platformbase.h"
#include "services.h"
#include "textfield.h"

#include <QRegularExpression>

namespace sennet {

namespace {

constexpr qint64 kMaxImageBytes = 16 * 1024 * 1024;
// Matches below this score are rarely the album asked for.
constexpr int kMinSearchScore = 50;
constexpr int kSearchLimit = 5;
constexpr int kMaxSearchImages = 3;

// The archive answers an error with a short text or an HTML page: its words
// without the markup. No '<' inside a tag, so a body of unclosed '<' stays
// one pass.
QString archiveError(const QByteArray& body)
{
    static const QRegularExpression markup(QStringLiteral("<[^<>]*>"));
    return QString::fromUtf8(body).replace(markup, QStringLiteral(" ")).simplified();
}

int fetchFront(HttpSession& session, const QUrl& coverArt, const QString& releaseGroupId,
               QByteArray* image, QString* why)
{
    HttpAnswer answer;
    const QUrl url = serviceUrl(coverArt, QStringLiteral("/release-group/%1/front").arg(releaseGroupId));
    const int rc = session.get(Service::CoverArt, url, kMaxImageBytes, &answer);
    if (rc == FetchOk) {
        *image = answer.body;
        return rc;
    }
    *why = failureForLog(rc == FetchNotFound ? QStringLiteral("no front image") : answer.error,
                         archiveError(answer.body));
    return rc;
}

// Fetches and saves one front image; FetchOk with path set, else a
// FetchResult with why, ready for the log.
int saveFront(HttpSession& session, const tagMusicRequest& request, const QString& releaseGroupId,
              const QString& purpose, QString* path, QString* why)
{
    QByteArray image;
    const int rc = fetchFront(session, currentEndpoints().coverArt, releaseGroupId, &image, why);
    if (rc != FetchOk)
        return rc;
    return saveImageFile(image, downloadFolder(), imageStem(request.persistentId, purpose), path, why)
               ? FetchOk : FetchFailed;
}

int runAlbumCover(tagMusicRequest& request, tagMusicInfo* record)
{
    const QString albumId = request.albumId();
    if (!isMbid(albumId)) {
        logLine(QStringLiteral("Album cover of %1: no identified album").arg(describe(request)));
        return request.gate.isStopped() ? MP_STATUS_STOPPED : MP_STATUS_FAILED;
    }
    HttpSession session(request.gate);
    const int status = sessionStatus(session, request);
    if (status != MP_STATUS_DONE)
        return status;
    QString path;
    QString why;
    const int rc = saveFront(session, request, albumId, QStringLiteral("cover"), &path, &why);
    if (rc != FetchOk) {
        logLine(QStringLiteral("Album cover of %1 (album %2) failed: %3").arg(describe(request), albumId, why));
        return failureStatus(rc == FetchStopped);
    }
    copyText(record->szAlbumID, albumId);
    copyText(record->artwork[0].szPath, path);
    record->iArtworkCount = 1;
    return MP_STATUS_DONE;
}

// By the album when there is one; else by the song, whose own recordings'
// releases lead to their albums' covers. The artist is always part of the
// question.
int searchMatches(HttpSession& session, const tagMusicRequest& request, QStringList* ids)
{
    const QUrl base = currentEndpoints().musicBrainz;
    const bool byAlbum = !request.album.trimmed().isEmpty();
    const QUrl url = byAlbum ? releaseGroupSearchUrl(base, request.album, request.artist, kSearchLimit)
                             : recordingSearchUrl(base, request.name, request.artist, kSearchLimit);
    HttpAnswer answer;
    const int rc = session.get(Service::MusicBrainz, url, kMaxJsonBytes, &answer);
    QString why = answer.error;
    if (rc == FetchOk
        && (byAlbum ? parseReleaseGroupSearch(answer.body, kMinSearchScore, kSearchLimit, ids, &why)
                    : parseRecordingSearch(answer.body, request.name, request.artist, kMinSearchScore, kSearchLimit,
                                           ids, &why)))
        return MP_STATUS_DONE;
    logLine(QStringLiteral("Image search for %1 failed: %2")
                .arg(describe(request), failureForLog(why, musicBrainzError(answer.body))));
    return failureStatus(rc == FetchStopped);
}

// A match without a front image is skipped; the next may have one.
int collectFronts(HttpSession& session, const tagMusicRequest& request, const QStringList& ids,
                  tagMusicInfo* record)
{
    for (const QString& id : ids) {
        if (record->iArtworkCount == kMaxSearchImages)
            break;
        QString path;
        QString why;
        const int rc = saveFront(session, request, id, QStringLiteral("search"), &path, &why);
        if (rc == FetchStopped)
            return MP_STATUS_STOPPED;
        if (rc != FetchOk) {
            logLine(QStringLiteral("Image search for %1: album %2 skipped: %3")
                        .arg(describe(request), id, why));
            continue;
        }
        copyText(record->artwork[record->iArtworkCount].szPath, path);
        ++record->iArtworkCount;
    }
    return MP_STATUS_DONE;
}

int runImageSearch(tagMusicRequest& request, tagMusicInfo* record)
{
    // A title alone, or an album title alone, names no one song: "Greatest
    // Hits" finds some artist's cover, never surely this one's.
    if (request.artist.trimmed().isEmpty()) {
        logLine(QStringLiteral("Image search for %1 (\"%2\", album \"%3\"): no artist to search by")
                    .arg(describe(request), request.name, request.album));
        return failureStatus(request.gate.isStopped());
    }
    HttpSession session(request.gate);
    int status = sessionStatus(session, request);
    if (status != MP_STATUS_DONE)
        return status;
    QStringList ids;
    status = searchMatches(session, request, &ids);
    if (status == MP_STATUS_DONE)
        status = collectFronts(session, request, ids, record);
    if (status == MP_STATUS_DONE && record->iArtworkCount == 0) {
        logLine(QStringLiteral("Image search for %1 (\"%2\", \"%3\", \"%4\") found no artwork")
                    .arg(describe(request), request.name, request.artist, request.album));
        status = MP_STATUS_FAILED;
    }
    return status;
}

} // namespace

int fetchAlbumCover(tagMusicRequest& request)
{
    auto record = newRecord(MI_KIND_INFO, MI_SUB_ARTWORK);
    const int status = runAlbumCover(request, record.get());
    return deliver(request, status, record.get(), "Album cover");
}

int searchImages(tagMusicRequest& request)
{
    auto record = newRecord(MI_KIND_ARTWORK, 0);
    const int status = runImageSearch(request, record.get());
    return deliver(request, status, record.get(), "Image search");
}

} // namespace sennet
