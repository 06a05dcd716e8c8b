#include "core/musicobj.h"

#include "core/trackfields.h"

#include <QFileInfo>
#include <QImage>

namespace {

constexpr qint64 kMinCandidateBytes = 1001;
constexpr int kMaxCandidates = 10;

bool isUsableImage(const QString& path)
{
    return !QImage(path).isNull();
}

} // namespace

CMusicObj::CMusicObj(const tagMMusicInfo& working, const tagMMusicInfo& iTunes)
    : m_iTunesInfo(iTunes), m_info(working)
{
    // The album ID comes only from an online lookup of this track.
    m_info.strAlbumID.clear();
}

int CMusicObj::GetiTunesMusicInfo(const tagMMusicInfo** out) const
{
    *out = &m_iTunesInfo;
    return 0;
}

int CMusicObj::GetMusicInfo(const tagMMusicInfo** out) const
{
    *out = &m_info;
    return 0;
}

tagMMusicInfo CMusicObj::WorkingCopy() const
{
    QMutexLocker lock(&m_mutex);
    return m_info;
}

int CMusicObj::GetPixCount() const
{
    QMutexLocker lock(&m_mutex);
    return m_pixPaths.size();
}

QString CMusicObj::GetNetPixPathList(int i) const
{
    QMutexLocker lock(&m_mutex);
    return m_pixPaths.value(i);
}

QStringList CMusicObj::GetPixPaths() const
{
    QMutexLocker lock(&m_mutex);
    return m_pixPaths;
}

void CMusicObj::SetAWSMusicInfo(const tagMMusicInfo* info)
{
    QMutexLocker lock(&m_mutex);
    for (const tagTrackField& field : kTrackFields) {
        if (isEditable(field) && !(info->*field.member).isEmpty())
            m_info.*field.member = info->*field.member;
    }
}

void CMusicObj::SetNetPixPathList(const char* path)
{
    const QString candidate = QString::fromUtf8(path);
    // The file checks run before the lock: decoding an image takes a while
    // and the application's readers wait for the lock.
    if (!isUsableImage(candidate))
        return;
    if (QFileInfo(candidate).size() < kMinCandidateBytes)
        return;
    QMutexLocker lock(&m_mutex);
    if (m_pixPaths.size() >= kMaxCandidates)
        return;
    m_pixPaths.append(candidate);
}

void CMusicObj::SetCurPixPath(const QString& path)
{
    QMutexLocker lock(&m_mutex);
    if (!m_pixPaths.contains(path))
        m_pixPaths.append(path);
    m_strCurPixPath = path;
}

QString CMusicObj::GetCurPixPath()
{
    QMutexLocker lock(&m_mutex);
    if (m_strCurPixPath.isEmpty() && !m_pixPaths.isEmpty())
        m_strCurPixPath = m_pixPaths.first();
    return m_strCurPixPath;
}

CMusicObj* CreateMuisicObj(const tagMMusicInfo* working, const tagMMusicInfo& iTunes)
{
    return new CMusicObj(*working, iTunes);
}
