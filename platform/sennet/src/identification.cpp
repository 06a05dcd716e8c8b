// Identification: fingerprint the WAV, ask the lookup service for the
// recording, then the metadata service for its year and genre.
#include "acoustid.h"
#include "httpsession.h"
#include "musicbrainz.h"
#include "musicrequest.h"
#include "parserlog.h"
#include "platformbase.h"
#include "services.h"
#include "textfield.h"
#include "wavfingerprint.h"

namespace sennet {

namespace {

int fingerprintStep(tagMusicRequest& request, Fingerprint* fingerprint)
{
    QString why;
    const int rc = fingerprintWav(request.audioPath, [&request] { return request.gate.isStopped(); },
                                  fingerprint, &why);
    if (rc == FingerprintOk)
        return MP_STATUS_DONE;
    logLine(QStringLiteral("Identification of %1: fingerprint failed: %2").arg(describe(request), why));
    return failureStatus(rc == FingerprintStopped);
}

int lookupStep(HttpSession& session, const Endpoints& endpoints, const tagMusicRequest& request,
               const Fingerprint& fingerprint, Identification* found)
{
    HttpAnswer answer;
    const int rc = session.postForm(Service::AcoustId, serviceUrl(endpoints.acoustId, QStringLiteral("/v2/lookup")),
                                    lookupForm(endpoints.acoustIdKey, fingerprint), kMaxJsonBytes, &answer);
    QString why = answer.error;
    if (rc == FetchOk && bestRecording(answer.body, found, &why))
        return MP_STATUS_DONE;
    const QString serviceSays = rc == FetchOk ? QString() : lookupError(answer.body);
    logLine(QStringLiteral("Identification of %1: lookup failed: %2").arg(describe(request), failureForLog(why, serviceSays)));
    return failureStatus(rc == FetchStopped);
}

enum DetailsResult { DetailsRead, DetailsUnavailable, DetailsUnusable, DetailsStopped };

// Only the service's 404 says it has no such entry. Anything else that is
// not the entry (busy after the second try, a server error, no connection,
// no answer in time, a success whose body broke off, a proxy's or portal's
// refusal) leaves year and genre unknown, which a later try may mend.
bool isUnavailable(int rc)
{
    return rc != FetchNotFound;
}

// One metadata answer; a failure leaves details alone, logged. An answer
// that arrives but is not the entity asked for (a portal's page, an error
// object with status 200, a body cut off) is no answer from the service,
// not word that it has no such entry.
DetailsResult detailsFrom(HttpSession& session, const QUrl& url, Details* details)
{
    HttpAnswer answer;
    const int rc = session.get(Service::MusicBrainz, url, kMaxJsonBytes, &answer);
    QString why = answer.error;
    if (rc == FetchOk && parseDetails(answer.body, details, &why))
        return DetailsRead;
    logLine(QStringLiteral("Metadata of %1 unavailable: %2")
                .arg(url.path(), failureForLog(why, musicBrainzError(answer.body))));
    if (rc == FetchStopped)
        return DetailsStopped;
    return isUnavailable(rc) ? DetailsUnavailable : DetailsUnusable;
}

// Many recordings carry no genre of their own while their album does. When
// no answer was read because the service could not give one, year and
// genre are not known to be absent: the identification fails, to be tried
// again, rather than be reported done and leave them empty for good.
int detailsStep(HttpSession& session, const Endpoints& endpoints, const tagMusicRequest& request,
                const Identification& found, Details* details)
{
    const QUrl recording = detailsUrl(endpoints.musicBrainz, QStringLiteral("recording"), found.recordingId);
    const DetailsResult ofRecording = detailsFrom(session, recording, details);
    if (ofRecording == DetailsStopped)
        return MP_STATUS_STOPPED;
    const bool askAlbum = !found.releaseGroupId.isEmpty() && (ofRecording != DetailsRead || details->genre.isEmpty());
    DetailsResult ofAlbum = DetailsUnavailable;
    if (askAlbum) {
        Details album;
        const QUrl group = detailsUrl(endpoints.musicBrainz, QStringLiteral("release-group"), found.releaseGroupId);
        ofAlbum = detailsFrom(session, group, &album);
        if (ofAlbum == DetailsStopped)
            return MP_STATUS_STOPPED;
        details->genre = album.genre;
        if (details->year.isEmpty())
            details->year = album.year;
    }
    if (ofRecording != DetailsUnavailable || (askAlbum && ofAlbum != DetailsUnavailable))
        return MP_STATUS_DONE;
    logLine(QStringLiteral("Identification of %1 failed: the metadata service could not give the year and genre "
                           "of \"%2\"").arg(describe(request), ServerTextForLog(found.title)));
    return MP_STATUS_FAILED;
}

void fillRecord(const Identification& found, const Details& details, tagMusicInfo* record)
{
    copyText(record->szAlbumID, found.releaseGroupId);
    copyText(record->szTitle, found.title);
    copyText(record->szArtist, found.artist);
    copyText(record->szAlbum, found.album);
    copyText(record->szYear, details.year);
    copyText(record->szGenre, details.genre);
}

int runIdentification(tagMusicRequest& request, tagMusicInfo* record)
{
    if (request.gate.isStopped())
        return MP_STATUS_STOPPED;
    const Endpoints endpoints = currentEndpoints();
    if (endpoints.acoustIdKey.isEmpty()) {
        logLine(QStringLiteral("Identification of %1 failed: no AcoustID client key; set VESSOLIN_ACOUSTID_KEY "
                               "(for a start from the desktop menu in ~/.config/environment.d/vessolin.conf, "
                               "then log in again)")
                    .arg(describe(request)));
        return MP_STATUS_FAILED;
    }
    Fingerprint fingerprint;
    int status = fingerprintStep(request, &fingerprint);
    if (status != MP_STATUS_DONE)
        return status;
    HttpSession session(request.gate);
    status = sessionStatus(session, request);
    if (status != MP_STATUS_DONE)
        return status;
    Identification found;
    status = lookupStep(session, endpoints, request, fingerprint, &found);
    Details details;
    if (status == MP_STATUS_DONE)
        status = detailsStep(session, endpoints, request, found, &details);
    if (status != MP_STATUS_DONE)
        return status;
    fillRecord(found, details, record);
    request.setAlbumId(found.releaseGroupId);
    logLine(QStringLiteral("Identified %1 as \"%2\" by \"%3\" on \"%4\"")
                .arg(describe(request), ServerTextForLog(found.title), ServerTextForLog(found.artist),
                     ServerTextForLog(found.album)));
    return MP_STATUS_DONE;
}

} // namespace

int identifyTrack(tagMusicRequest& request)
{
    request.setAlbumId(QString());
    auto record = newRecord(MI_KIND_INFO, MI_SUB_INFO);
    // The session ends inside runIdentification, before the callback, so a
    // cover asked for from the callback can start a session of its own.
    const int status = runIdentification(request, record.get());
    return deliver(request, status, record.get(), "Identification");
}

} // namespace sennet
