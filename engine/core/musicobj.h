// One track of a loaded library: its library copy and working copy, the
// analysis result, the user's choices, its duplicate group, the states of
// its online lookups and its artwork candidates.
//
// The track's lock. Online lookups write a track on a download thread while
// the application and other engine threads read it, so:
// - the lookup states and the plain words are atomic;
// - the candidates and the current artwork path are read and written only
//   under the track's lock, inside the calls below;
// - the working copy's texts are written only under the track's lock
//   (SetAWSMusicInfo takes it; any other writer holds a CTrackLocker around
//   its writes to WorkingInfo()), and engine threads read them through
//   WorkingCopy(), which copies them under the lock.
// The application reads the working copy in place, without the lock. A
// lookup writes it only between MMDownloadMusicInfo accepting the track and
// the download record for that track, and all its writes are complete
// before that record is sent; so the application reads it safely before it
// asks for a lookup and after the lookup's record, never while one runs.
// The track's lock is the innermost lock of the engine: whoever holds it
// takes no other lock and calls nothing that might.
#pragma once

#include "cadenzo.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>

class CMusicObj
{
public:
    // The working copy takes every field of working except the album ID.
    CMusicObj(const tagMMusicInfo& working, const tagMMusicInfo& iTunes);

    int GetiTunesMusicInfo(const tagMMusicInfo** out) const;
    // Points at the working copy itself: the application's in-place view.
    int GetMusicInfo(const tagMMusicInfo** out) const;
    // The working copy for writing; only while holding a CTrackLocker.
    tagMMusicInfo& WorkingInfo() { return m_info; }
    // A copy of the working copy taken under the track's lock.
    tagMMusicInfo WorkingCopy() const;

    void SetMusicArtwork(int has) { m_bHasiTunesArtwork = has != 0; }
    bool GetiTunesMusicArtwork() const { return m_bHasiTunesArtwork; }

    void SetAbsenceType(int absence) { m_iAbsence = absence; }
    int GetAbsenceType() const { return m_iAbsence; }

    void SetGNInfoState(tagDownloadState state) { m_infoState = state; }
    tagDownloadState GetGNInfoState() const { return m_infoState; }

    void SetArtworkState(tagDownloadState state) { m_artworkState = state; }
    tagDownloadState GetArtworkState() const { return m_artworkState; }

    void SetApplyDelete(bool deleted) { m_bApplyDelete = deleted; }
    bool isApplyDelete() const { return m_bApplyDelete; }

    void SetRunMode(tagMusicRunMode mode) { m_runMode = mode; }
    tagMusicRunMode GetRunMode() const { return m_runMode; }

    void SetState(int state) { m_iState = state; }
    int GetState() const { return m_iState; }

    void SetRepeatID(long long id) { m_llRepeatID = id; }
    long long GetRepeatID() const { return m_llRepeatID; }

    void SetDirty(bool dirty) { m_bDirty = dirty; }
    bool isDirty() const { return m_bDirty; }

    int GetPixCount() const;
    // Candidate i, or an empty text outside 0..count-1.
    QString GetNetPixPathList(int i) const;
    // Every candidate, in order.
    QStringList GetPixPaths() const;

    // Copies the non-empty name, artist, album, year and genre of info.
    void SetAWSMusicInfo(const tagMMusicInfo* info);
    // Adds a downloaded candidate: a readable image of more than 1000 bytes,
    // while fewer than 10 are held. Others are dropped silently.
    void SetNetPixPathList(const char* path);
    // Appends path unless held, then makes it the current artwork.
    void SetCurPixPath(const QString& path);
    // The current artwork; candidate 0 becomes current when none is set.
    QString GetCurPixPath();

private:
    friend class CTrackLocker;

    mutable QMutex m_mutex;
    tagMMusicInfo m_iTunesInfo;
    std::atomic<tagDownloadState> m_infoState{DS_NONE};
    std::atomic<tagDownloadState> m_artworkState{DS_NONE};
    std::atomic<tagMusicRunMode> m_runMode{tagMusicRunMode(0)};
    QStringList m_pixPaths;       // guarded by m_mutex
    QString m_strCurPixPath;      // guarded by m_mutex
    tagMMusicInfo m_info;         // written under m_mutex
    std::atomic<int> m_iAbsence{0};
    std::atomic<long long> m_llRepeatID{0};
    std::atomic<int> m_iState{0};
    std::atomic<bool> m_bHasiTunesArtwork{false};
    std::atomic<bool> m_bApplyDelete{false};
    std::atomic<bool> m_bDirty{false};
};

// Holds a track's lock for a writer of its working copy.
class CTrackLocker
{
public:
    explicit CTrackLocker(const CMusicObj& music) : m_lock(&music.m_mutex) {}

private:
    QMutexLocker<QMutex> m_lock;
};

// Allocates a track; the caller owns it until it hands it to the manager.
CMusicObj* CreateMuisicObj(const tagMMusicInfo* working, const tagMMusicInfo& iTunes);
