// CMusicManage: the track list and the per-track readers.
#include "manager/musicmanage.h"

#include "core/musicobj.h"

#include <QMutexLocker>

#include <algorithm>

CMusicObj* CMusicManage::AddMusic(CMusicObj* music)
{
    QMutexLocker lock(&m_mutexList);
    m_musicList.append(music);
    return music;
}

int CMusicManage::GetMusicCountAMode(int* total, tagMusicRunMode* mode)
{
    QMutexLocker lock(&m_mutexList);
    const int count = m_musicList.size();
    if (total) {
        // Tracks the analysis moved to the complete list still count.
        m_iKeepCount = std::max(m_iKeepCount, count);
        *total = m_iKeepCount;
    }
    if (mode) {
        const auto first = std::find_if(m_musicList.cbegin(), m_musicList.cend(),
                                        [](const CMusicObj* music) { return music != nullptr; });
        if (first != m_musicList.cend())
            *mode = (*first)->GetRunMode();
    }
    return count;
}

int CMusicManage::GetMusicListMusic(int index, void** music, int* absence, int* state,
                                    long long* repeatId)
{
    QMutexLocker lock(&m_mutexList);
    if (index < 0 || index >= m_musicList.size() || !m_musicList.at(index))
        return MM_ERR_FAIL;
    CMusicObj* entry = m_musicList.at(index);
    if (music)
        *music = entry;
    if (absence)
        *absence = entry->GetAbsenceType();
    if (state)
        *state = entry->GetState();
    if (repeatId)
        *repeatId = entry->GetRepeatID();
    return 0;
}

int CMusicManage::GetMusicInfo(CMusicObj* music, const tagMMusicInfo** out, tagInfoType type)
{
    if (!music || !out)
        return MM_ERR_FAIL;
    return type == INFO_ORIGINAL ? music->GetiTunesMusicInfo(out) : music->GetMusicInfo(out);
}

int CMusicManage::GetMusicState(CMusicObj* music)
{
    return music ? music->GetState() : int(MM_ERR_FAIL);
}

long long CMusicManage::GetMusicRepeatID(CMusicObj* music)
{
    return music ? music->GetRepeatID() : static_cast<long long>(MM_ERR_FAIL);
}

int CMusicManage::GetGNInfoState(CMusicObj* music)
{
    return music ? int(music->GetGNInfoState()) : int(MM_ERR_BAD_ARGS);
}

int CMusicManage::GetGNArtworkState(CMusicObj* music)
{
    return music ? int(music->GetArtworkState()) : int(MM_ERR_FAIL);
}

int CMusicManage::GetDowndArtworkCount(CMusicObj* music)
{
    return music ? music->GetPixCount() : 0;
}

QString CMusicManage::GetDowndArtworkForItem(CMusicObj* music, int index)
{
    return music ? music->GetNetPixPathList(index) : QString();
}
