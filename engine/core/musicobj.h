// One track of a loaded library: its library copy and working copy, the
// analysis result, the user's choices, its duplicate group, the states of
// its online lookups and its artwork candidates.
#pragma once

#include "cadenzo.h"

#include <QString>
#include <QStringList>

class CMusicObj
{
public:
    // The working copy takes every field of working except the album ID.
    CMusicObj(const tagMMusicInfo& working, const tagMMusicInfo& iTunes);

    int GetiTunesMusicInfo(const tagMMusicInfo** out) const;
    int GetMusicInfo(const tagMMusicInfo** out) const;
    tagMMusicInfo& WorkingInfo() { return m_info; }

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

    int GetPixCount() const { return m_pixPaths.size(); }
    // Candidate i, or an empty text outside 0..count-1.
    QString GetNetPixPathList(int i) const;

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
    tagMMusicInfo m_iTunesInfo;
    tagDownloadState m_infoState = DS_NONE;
    tagDownloadState m_artworkState = DS_NONE;
    tagMusicRunMode m_runMode = tagMusicRunMode(0);
    QStringList m_pixPaths;
    QString m_strCurPixPath;
    tagMMusicInfo m_info;
    int m_iAbsence = 0;
    long long m_llRepeatID = 0;
    int m_iState = 0;
    bool m_bHasiTunesArtwork = false;
    bool m_bApplyDelete = false;
    bool m_bDirty = false;
};

// Allocates a track; the caller owns it until it hands it to the manager.
CMusicObj* CreateMuisicObj(const tagMMusicInfo* working, const tagMMusicInfo& iTunes);
