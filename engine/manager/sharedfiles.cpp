#include "manager/sharedfiles.h"

#include "core/musicobj.h"

#include <QMutexLocker>

namespace {

bool fileKey(const CMusicObj* music, FileId& key)
{
    return FileIdOf(music->WorkingCopy().strLocation, key);
}

} // namespace

bool CSharedFiles::SharedWithKeptTrack(const CMusicObj* music, const QVector<CMusicObj*>& tracks)
{
    FileId own;
    if (!music || !fileKey(music, own))
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_bLearnt) {
        FileId key;
        for (const CMusicObj* track : tracks) {
            if (track && fileKey(track, key))
                m_tracks.insert(key, track);
        }
        m_bLearnt = true;
    }
    for (auto it = m_tracks.constFind(own); it != m_tracks.cend() && it.key() == own; ++it) {
        // Only tracks still in the list are looked at: others may be gone.
        CMusicObj* other = const_cast<CMusicObj*>(it.value());
        if (other != music && tracks.contains(other) && !other->isApplyDelete())
            return true;
    }
    return false;
}

void CSharedFiles::Clear()
{
    QMutexLocker lock(&m_mutex);
    m_tracks.clear();
    m_bLearnt = false;
}
