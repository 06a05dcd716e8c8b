// CMusicManage: what the information service answers, and the fallbacks
// between identification, album cover and image search.
#include "manager/musicmanage.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"

#include "sennet.h"

#include <QMutexLocker>

#include <cstring>

namespace {

// A zero-terminated text of a record field; a field without terminator
// ends at the field's end.
template <size_t N>
QString fieldText(const char (&field)[N])
{
    return QString::fromUtf8(field, int(qstrnlen(field, N)));
}

bool isWholeNumber(QStringView text)
{
    if (text.isEmpty())
        return false;
    for (const QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}

// Some services number their genres ("17.Pop"); the number means nothing
// to the user. "Hip.Hop" keeps its dot.
QString genreWithoutNumber(const QString& genre)
{
    const int dot = genre.indexOf(QLatin1Char('.'));
    if (dot > 0 && isWholeNumber(QStringView(genre).left(dot)))
        return genre.mid(dot + 1);
    return genre;
}

tagMMusicInfo foundInfo(const tagMusicInfo& record)
{
    tagMMusicInfo found;
    found.strAlbumID = fieldText(record.szAlbumID);
    found.strName = fieldText(record.szTitle);
    found.strArtist = fieldText(record.szArtist);
    found.strAlbum = fieldText(record.szAlbum);
    found.strYear = fieldText(record.szYear);
    found.strGenre = genreWithoutNumber(fieldText(record.szGenre));
    return found;
}

// The editable fields the service gave a value for.
int foundFieldBits(const tagMMusicInfo& found)
{
    int bits = 0;
    for (const tagTrackField& field : kTrackFields) {
        if (isEditable(field) && !(found.*field.member).isEmpty())
            bits |= field.bit;
    }
    return bits;
}

// A failed image search leaves artwork found earlier standing.
void failImageSearch(CMusicObj* music)
{
    if (music->GetArtworkState() != DS_DONE)
        music->SetArtworkState(DS_FAILED);
}

} // namespace

int CMusicManage::OnMusicInfoCallBack(void* slot, void* track, int status, tagMusicInfo* record)
{
    // The request carries the slot's own track; the slot is the truth.
    Q_UNUSED(track);
    auto* work = static_cast<tagDowndWrok*>(slot);
    if (!work || !work->pManage || !work->pMusic)
        return 0;
    if (status == MP_STATUS_DONE && record)
        work->pManage->onLookupDone(work, *record);
    else
        work->pManage->onLookupFailed(work);
    return 0;
}

void CMusicManage::onLookupDone(tagDowndWrok* slot, const tagMusicInfo& record)
{
    if (record.iKind == MI_KIND_ARTWORK)
        onArtworkList(slot, record, false);
    else if (record.iKind == MI_KIND_INFO && record.iSubKind == MI_SUB_ARTWORK)
        onArtworkList(slot, record, true);
    else if (record.iKind == MI_KIND_INFO && record.iSubKind == MI_SUB_INFO)
        onTrackInfo(slot, record);
    else
        Test_DownloadCallBreak(slot);
}

void CMusicManage::onLookupFailed(tagDowndWrok* slot)
{
    CMusicObj* music = slot->pMusic;
    if (slot->iCurLookup == CL_INFO)
        music->SetGNInfoState(DS_FAILED);
    else if (slot->iCurLookup == CL_COVER)
        music->SetArtworkState(DS_FAILED);
    else if (slot->iCurLookup == CL_SEARCH)
        failImageSearch(music);
    // The image search stands in for a failed identification or cover.
    if ((slot->iWhat & DW_SEARCH_ARTWORK) && slot->iCurLookup != CL_SEARCH)
        DowndGoogleArtworkProc(slot);
    else
        Test_DownloadCallBreak(slot);
}

void CMusicManage::onTrackInfo(tagDowndWrok* slot, const tagMusicInfo& record)
{
    CMusicObj* music = slot->pMusic;
    const tagMMusicInfo found = foundInfo(record);
    // The image search, if one follows, asks with what was identified.
    if (!found.strName.isEmpty())
        slot->strName = found.strName;
    if (!found.strArtist.isEmpty())
        slot->strArtist = found.strArtist;
    if (!found.strAlbum.isEmpty())
        slot->strAlbum = found.strAlbum;
    SetAWSMusicInfo(music, found);
    music->SetGNInfoState(DS_DONE);
    if (slot->iWhat & DW_INFO_ARTWORK) {
        if (CheckMusicAlbumID(found.strAlbumID, music) == 1) {
            SetDowndArtworkForItem(music, 0);
            Test_DownloadCallBreak(slot);
            return;
        }
        slot->iCurLookup = CL_COVER;
        // Its answer comes back through this callback, nested in this call.
        if (!slot->iStop && MusicParserGetAlbumCoverData(slot->hInfoRequest) < 0)
            onLookupFailed(slot);
    } else if (slot->iWhat & DW_SEARCH_ARTWORK) {
        DowndGoogleArtworkProc(slot);
    } else {
        Test_DownloadCallBreak(slot);
    }
}

void CMusicManage::onArtworkList(tagDowndWrok* slot, const tagMusicInfo& record, bool albumCover)
{
    CMusicObj* music = slot->pMusic;
    const int count = qBound(0, int(record.iArtworkCount), MI_MAX_ARTWORK);
    if (count == 0 && albumCover && (slot->iWhat & DW_SEARCH_ARTWORK)) {
        DowndGoogleArtworkProc(slot);
        return;
    }
    for (int i = 0; i < count; ++i) {
        const QString path = fieldText(record.artwork[i].szPath);
        if (!path.isEmpty())
            music->SetNetPixPathList(path.toUtf8().constData());
    }
    if (count > 0 && SetDowndArtworkForItem(music, 0) == 0)
        music->SetArtworkState(DS_DONE);
    else if (albumCover)
        music->SetArtworkState(DS_FAILED);
    else
        failImageSearch(music);
    Test_DownloadCallBreak(slot);
}

void CMusicManage::SetAWSMusicInfo(CMusicObj* music, const tagMMusicInfo& found)
{
    if (isExitState())
        return;
    music->SetAWSMusicInfo(&found);
    const tagMMusicInfo working = music->WorkingCopy();
    // The row is addressed by the track's persistent ID; only the fields
    // found are stored.
    tagMMusicInfo row = found;
    row.strPersistentID = working.strPersistentID;
    row.strLocation = working.strLocation;
    const tagMusicRunMode mode = music->GetRunMode();
    withLibrary([&](CiTunesCtl& library) { return library.SaveMusicInfo(&row, mode, foundFieldBits(found)); },
                MM_ERR_FAIL);
}

int CMusicManage::CheckMusicAlbumID(const QString& albumId, CMusicObj* music)
{
    if (albumId.isEmpty() || !music)
        return 0;
    QStringList paths;
    QString current;
    tagDownloadState state = DS_NONE;
    {
        // The list lock also keeps the earlier track alive while it is read.
        QMutexLocker lock(&m_mutexList);
        CMusicObj* earlier = m_albumIdMap.value(albumId);
        // The save after an analysis deletes the tracks it found complete;
        // an entry of one of them must not be followed.
        if (!earlier || !m_musicList.contains(earlier)) {
            m_albumIdMap.insert(albumId, music);
            return 0;
        }
        paths = earlier->GetPixPaths();
        if (paths.isEmpty())
            return 0;
        current = earlier->GetCurPixPath();
        state = earlier->GetArtworkState();
    }
    for (const QString& path : paths)
        music->SetNetPixPathList(path.toUtf8().constData());
    if (!current.isEmpty())
        music->SetCurPixPath(current);
    music->SetArtworkState(state);
    return 1;
}
