#include "musicrequest.h"

#include "httpsession.h"
#include "parserlog.h"

#include <QMutexLocker>

void tagMusicRequest::setAlbumId(const QString& id)
{
    QMutexLocker lock(&m_mutex);
    m_albumId = id;
}

QString tagMusicRequest::albumId() const
{
    QMutexLocker lock(&m_mutex);
    return m_albumId;
}

namespace sennet {

std::unique_ptr<tagMusicInfo> newRecord(int kind, int subKind)
{
    auto record = std::make_unique<tagMusicInfo>(); // value-initialised: all zero
    record->iKind = kind;
    record->iSubKind = subKind;
    return record;
}

int failureStatus(bool stopped)
{
    return stopped ? MP_STATUS_STOPPED : MP_STATUS_FAILED;
}

int sessionStatus(const HttpSession& session, const tagMusicRequest& request)
{
    if (session.isAttached())
        return MP_STATUS_DONE;
    if (request.gate.isStopped())
        return MP_STATUS_STOPPED;
    logLine(QStringLiteral("Request of %1 refused: another call is running on it").arg(describe(request)));
    return MP_STATUS_FAILED;
}

int deliver(tagMusicRequest& request, int status, tagMusicInfo* record, const char* what)
{
    if (status == MP_STATUS_STOPPED)
        logLine(QStringLiteral("%1 of %2 stopped").arg(QLatin1String(what), describe(request)));
    request.callBack(request.slot, request.track, status, status == MP_STATUS_DONE ? record : nullptr);
    return MP_OK;
}

QString describe(const tagMusicRequest& request)
{
    if (request.audioPath.isEmpty())
        return request.persistentId;
    return QStringLiteral("%1 (%2)").arg(request.persistentId, request.audioPath);
}

} // namespace sennet
