// CMusicManage: applying a track's results to the library or the file's
// tags, and clearing the absence bits of what was written.
#include "manager/musicmanage.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"

#include <QMutexLocker>

namespace {

// The fields a write can fill, and the absence bits it may clear.
constexpr int kWriteFields = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_ARTWORK | MF_YEAR | MF_GENRE;
// Reason enough to apply a track: one of these missing and not unchecked.
constexpr int kApplyReasons = MF_ARTIST | MF_ALBUM | MF_ARTWORK;

// A field that is there but that the user asked to replace with a new,
// different value.
bool isReplacement(const tagTrackField& field, const tagMMusicInfo& working, const tagMMusicInfo& original,
                   int replaceMask)
{
    const QString& value = working.*field.member;
    return (replaceMask & field.bit) && !value.isEmpty() && value != original.*field.member;
}

// Missing fields are written once found; the user's unchecking holds back
// all but those that only ride along.
int applyBits(const tagMMusicInfo& working, const tagMMusicInfo& original, int absence, int state,
              int replaceMask, const QString& artworkPath)
{
    int bits = 0;
    for (const tagTrackField& field : kTrackFields) {
        if (!isEditable(field))
            continue;
        if (absence & field.bit) {
            const bool unchecked = !field.ridesAlong && (state & field.bit);
            if (!unchecked && !(working.*field.member).isEmpty())
                bits |= field.bit;
        } else if (isReplacement(field, working, original, replaceMask)) {
            bits |= field.bit;
        }
    }
    if ((absence & MF_ARTWORK) && !(state & MF_ARTWORK) && !artworkPath.isEmpty())
        bits |= MF_ARTWORK;
    return bits;
}

int chosenFieldBits(const tagMMusicInfo& working, const tagMMusicInfo& original, int absence,
                    int fields, int replaceMask)
{
    int bits = fields;
    for (const tagTrackField& field : kTrackFields) {
        if (!isEditable(field))
            continue;
        if (field.ridesAlong) {
            if ((absence & field.bit) && !(working.*field.member).isEmpty())
                bits |= field.bit;
        } else if (!(absence & field.bit) && isReplacement(field, working, original, replaceMask)) {
            bits |= field.bit;
        }
    }
    return bits;
}

tagMMusicInfo originalOf(const CMusicObj* music)
{
    const tagMMusicInfo* original = nullptr;
    music->GetiTunesMusicInfo(&original);
    return *original;
}

// A missing file has nothing to write into; title, year and genre alone
// are not worth a write either.
bool hasApplyReason(const CMusicObj* music)
{
    const int absence = music->GetAbsenceType();
    return !(absence & MF_FILE) && (absence & ~music->GetState() & kApplyReasons);
}

// The fields the apply writes into a track that has a reason for one, and
// the working copy and artwork they come from; 0 when nothing is found or
// edited yet. Any thread: both are read under the track's lock.
int pendingBits(CMusicObj* music, int replaceMask, tagMMusicInfo& working, QString& artworkPath)
{
    artworkPath = music->GetCurPixPath();
    working = music->WorkingCopy();
    return applyBits(working, originalOf(music), music->GetAbsenceType(), music->GetState(), replaceMask,
                     artworkPath);
}

} // namespace

CMusicObj* CMusicManage::trackAt(int index)
{
    QMutexLocker lock(&m_mutexList);
    return index >= 0 && index < m_musicList.size() ? m_musicList.at(index) : nullptr;
}

int CMusicManage::ApplyMusicInfo(int index, int replaceMask)
{
    CMusicObj* music = trackAt(index);
    if (!music || !hasLibrary())
        return MM_ERR_FAIL;
    if (!hasApplyReason(music))
        return 0;
    tagMMusicInfo working;
    QString artworkPath;
    const int bits = pendingBits(music, replaceMask, working, artworkPath);
    if (bits == 0)
        return MM_ERR_FAIL;
    return writeTrack(music, working, artworkPath, bits);
}

int CMusicManage::WaitingMusicCount(int replaceMask)
{
    QMutexLocker lock(&m_mutexList);
    int waiting = 0;
    tagMMusicInfo working;
    QString artworkPath;
    for (CMusicObj* music : std::as_const(m_musicList)) {
        if (music && hasApplyReason(music) && pendingBits(music, replaceMask, working, artworkPath) != 0)
            ++waiting;
    }
    return waiting;
}

int CMusicManage::ApplyiTunesMusicInfo(CMusicObj* music, int flags, int replaceMask)
{
    if (!music)
        return MM_ERR_FAIL;
    if (flags & (MF_FILE | AC_DELETE))
        return DeletePlayListMusic(music);
    if (flags & AC_RESTORE)
        return RestoreMusic(music);
    return SetMusicInfoToMusic(music, flags, replaceMask);
}

int CMusicManage::SetMusicInfoToMusic(CMusicObj* music, int fields, int replaceMask)
{
    if (!music || !hasLibrary())
        return MM_ERR_FAIL;
    const int absence = music->GetAbsenceType();
    if (!(fields & absence) && !(fields & replaceMask))
        return 0;
    const tagMMusicInfo working = music->WorkingCopy();
    const int bits = chosenFieldBits(working, originalOf(music), absence, fields, replaceMask);
    return writeTrack(music, working, music->GetCurPixPath(), bits);
}

// Writes, then clears the absence bits of the fields that were written,
// also when others failed: those stay missing and are offered again.
int CMusicManage::writeTrack(CMusicObj* music, const tagMMusicInfo& working, const QString& artworkPath,
                             int bits)
{
    int written = 0;
    int result = withLibrary([&](CiTunesCtl& library) {
        return library.SetMusicInfo(&working, artworkPath, music->GetRunMode(), bits, &written);
    }, MM_ERR_FAIL);
    // The apply takes -1 for "nothing to write"; a write asked for that
    // failed with the same bare -1 (artwork without bytes, a refused
    // attribute) must not read as that, or the track would count as done.
    if (result == MM_ERR_FAIL)
        result = MM_ERR_WRITE;
    const int absence = music->GetAbsenceType();
    const int remaining = absence & ~(written & kWriteFields);
    if (remaining == absence)
        return result;
    music->SetAbsenceType(remaining);
    const QByteArray pid = working.strPersistentID.toUtf8();
    const int stored = withLibrary([&](CiTunesCtl& library) {
        return library.SaveMusicInfo(pid.constData(), music->GetRunMode(), "Absence", nullptr, remaining);
    }, MM_ERR_FAIL);
    return result != 0 ? result : stored;
}
