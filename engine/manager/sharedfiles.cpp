#include "manager/sharedfiles.h"

#include "core/musicobj.h"

#include <QFile>
#include <QMutexLocker>

#include <sys/stat.h>

namespace {

bool fileKey(const CMusicObj* music, QPair<quint64, quint64>& key)
{
    const QString location = music->WorkingCopy().strLocation;
    struct stat st;
    if (location.isEmpty() || ::stat(QFile::encodeName(location).constData(), &st) != 0)
        return false;
    key = qMakePair(quint64(st.st_dev), quint64(st.st_ino));
    return true;
}

} // namespace

bool CSharedFiles::SharedWithKeptTrack(const CMusicObj* music, const QVector<CMusicObj*>& tracks)
{
    FileKey own;
    if (!music || !fileKey(music, own))
        return false;
    QMutexLocker lock(&m_mutex);
    if (!m_bLearnt) {
        FileKey key;
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
