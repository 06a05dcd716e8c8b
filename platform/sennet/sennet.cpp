// The exported calls: argument checks, then the lookups of src/.
#include "sennet.h"

#include "src/layerstate.h"
#include "src/musicrequest.h"
#include "src/parserlog.h"
#include "src/textfield.h"

#include <QNetworkProxy>

#include <memory>

using namespace sennet;

namespace {

QString describeProxy(const QNetworkProxy& proxy)
{
    if (proxy.type() == QNetworkProxy::NoProxy)
        return QStringLiteral("none");
    return QStringLiteral("%1:%2%3").arg(proxy.hostName()).arg(proxy.port())
        .arg(proxy.user().isEmpty() ? QString() : QStringLiteral(" with user name"));
}

void release(tagMusicRequest* request)
{
    if (request->holders.fetch_sub(1) == 1)
        delete request;
}

// Keeps the request alive while a call runs on it: a destroy from another
// thread in the meantime stops the call and leaves the freeing to it.
class CallHold
{
public:
    explicit CallHold(tagMusicRequest* request) : m_request(request) { m_request->holders.fetch_add(1); }
    ~CallHold() { release(m_request); }
    CallHold(const CallHold&) = delete;
    CallHold& operator=(const CallHold&) = delete;

private:
    tagMusicRequest* m_request;
};

// The fields both kinds of request record share.
template <typename Record>
std::unique_ptr<tagMusicRequest> newRequest(tagMusicRequest::Kind kind, const Record& record)
{
    auto handle = std::make_unique<tagMusicRequest>();
    handle->kind = kind;
    handle->track = record.pMusic;
    handle->slot = record.pSlot;
    handle->callBack = record.pCallBack;
    handle->persistentId = cText(record.pPersistentID);
    return handle;
}

} // namespace

int MusicParserInit(const tagParserInitParam* param, const tagParserProxyParam* proxy)
{
    if (!param)
        return MP_ERR_BAD_ARGS;
    const QString logFolder = fieldText(param->szLogPath);
    if (!openLog(logFolder))
        qWarning("MusicParser: no log in \"%s\"", qPrintable(logFolder));
    setDownloadFolder(fieldText(param->szDownloadPath));
    setProxy(QNetworkProxy(QNetworkProxy::NoProxy));
    logLine(QStringLiteral("MusicParserInit: download folder \"%1\"").arg(downloadFolder()));
    return proxy ? MusicParserSetProxyParam(proxy) : MP_OK;
}

int MusicParserSetProxyParam(const tagParserProxyParam* proxy)
{
    QNetworkProxy settings;
    if (!proxy || !proxyFromRecord(*proxy, &settings)) {
        logLine(QStringLiteral("MusicParserSetProxyParam: unusable proxy record (kind %1, port %2); proxy unchanged")
                    .arg(proxy ? proxy->iKind : 0).arg(proxy ? proxy->iPort : 0));
        return MP_ERR_BAD_ARGS;
    }
    setProxy(settings);
    logLine(QStringLiteral("MusicParserSetProxyParam: proxy %1").arg(describeProxy(settings)));
    return MP_OK;
}

void MusicParserCleanup(void)
{
    logLine(QStringLiteral("MusicParserCleanup"));
    resetLayerState();
    closeLog();
}

MusicRequestHandle MusicParserCreateGnRequest(const tagInfoRequest* request)
{
    if (!request || !request->pCallBack)
        return nullptr;
    auto handle = newRequest(tagMusicRequest::Kind::Identification, *request);
    handle->audioPath = cText(request->pAudioPath);
    return handle.release();
}

int MusicParserGetTrackData(MusicRequestHandle request)
{
    if (!request)
        return MP_ERR_BAD_ARGS;
    if (request->kind != tagMusicRequest::Kind::Identification)
        return MP_ERR_WRONG_REQUEST;
    CallHold hold(request);
    return identifyTrack(*request);
}

MusicRequestHandle MusicParserCreateGoogleRequest(const tagImageSearchRequest* request)
{
    if (!request || !request->pCallBack || cText(request->pName).trimmed().isEmpty())
        return nullptr;
    auto handle = newRequest(tagMusicRequest::Kind::ImageSearch, *request);
    handle->name = cText(request->pName);
    handle->artist = cText(request->pArtist);
    handle->album = cText(request->pAlbum);
    return handle.release();
}

int MusicParserGetAlbumCoverData(MusicRequestHandle request)
{
    if (!request)
        return MP_ERR_BAD_ARGS;
    CallHold hold(request);
    if (request->kind == tagMusicRequest::Kind::ImageSearch)
        return searchImages(*request);
    return fetchAlbumCover(*request);
}

int MusicParserStopPerform(MusicRequestHandle request)
{
    if (!request)
        return MP_ERR_BAD_ARGS;
    request->gate.stop();
    return MP_OK;
}

int MusicParserDestroyRequest(MusicRequestHandle request)
{
    if (!request)
        return MP_ERR_BAD_ARGS;
    request->gate.stop();
    release(request);
    return MP_OK;
}
