// Which tracks name one file: the same location twice, or two paths (hard
// or symbolic links) of one file. Removing one such track must not take the
// file from the others.
#pragma once

#include "platformbase.h"

#include <QMultiHash>
#include <QMutex>
#include <QVector>

class CMusicObj;

class CSharedFiles
{
public:
    // Whether a track of tracks other than music, and not removed, names
    // the file at music's location. The files of tracks are learnt on the
    // first call; music's own file is looked at anew every time.
    bool SharedWithKeptTrack(const CMusicObj* music, const QVector<CMusicObj*>& tracks);
    // Forgets what was learnt: the tracks are gone, or files moved back.
    void Clear();

private:
    QMutex m_mutex;
    bool m_bLearnt = false;                          // guarded by m_mutex
    QMultiHash<FileId, const CMusicObj*> m_tracks;   // guarded by m_mutex
};
