// One request handle of the layer, and the three lookups run on it.
#pragma once

#include "sennet.h"
#include "stopgate.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

struct tagMusicRequest {
    enum class Kind { Identification, ImageSearch };

    Kind kind = Kind::Identification;
    void* track = nullptr;
    void* slot = nullptr;
    MusicInfoCallBack callBack = nullptr;
    QString persistentId;
    QString audioPath;
    QString name;
    QString artist;
    QString album;
    sennet::StopGate gate;
    // The owner's reference plus one per running call; the last to let go
    // frees the request.
    std::atomic<int> holders{1};

    // The album found by the last identification, for the album cover that
    // may be asked for from inside the identification's own callback.
    void setAlbumId(const QString& id);
    QString albumId() const;

private:
    mutable QMutex m_mutex;
    QString m_albumId;
};

namespace sennet {

class HttpSession;

// Each runs its lookup, then hands the callback exactly one result: the
// record with MP_STATUS_DONE, or MP_STATUS_FAILED / MP_STATUS_STOPPED
// without one. MP_OK.
int identifyTrack(tagMusicRequest& request);
int fetchAlbumCover(tagMusicRequest& request);
int searchImages(tagMusicRequest& request);

// A zero-filled record of that kind.
std::unique_ptr<tagMusicInfo> newRecord(int kind, int subKind);
// The callback's status for a failure: MP_STATUS_STOPPED when a stop caused
// it, else MP_STATUS_FAILED.
int failureStatus(bool stopped);
// MP_STATUS_DONE when the session may run on the request; else the failure
// (stopped, or another call already running on it), logged.
int sessionStatus(const HttpSession& session, const tagMusicRequest& request);
// Calls the request's callback, handing it the record only with
// MP_STATUS_DONE; a stop is logged first as "<what> of <request> stopped".
int deliver(tagMusicRequest& request, int status, tagMusicInfo* record, const char* what);
// "<persistent ID>" or "<persistent ID> (<path>)" for log lines.
QString describe(const tagMusicRequest& request);

} // namespace sennet
