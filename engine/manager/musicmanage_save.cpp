// CMusicManage: storing the analysis results and the user's choices and
// edits in the track database.
#include "manager/musicmanage.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"
#include "db/dbsavepoint.h"

#include <QMutexLocker>

namespace {

// The state bits that a bulk change also makes in memory.
constexpr int kBulkStateBits = MF_ARTWORK | MF_ARTIST | MF_ALBUM | MF_FILE | MS_REMOVE;

} // namespace

int CMusicManage::SaveMusicObj(CMusicObj* music)
{
    if (m_bExit)
        return 0;
    if (!music)
        return MM_ERR_FAIL;
    if (m_beforeRowSaved)
        m_beforeRowSaved(music);
    const QByteArray pid = music->WorkingCopy().strPersistentID.toUtf8();
    if (m_bExit)
        return 0;
    // The values are read under the library's lock, which the user's state
    // changes hold from memory to row: a check box changed while the save
    // runs is in memory before the save reads it or reaches the row after
    // the save wrote it, and no older copy overwrites it.
    const int result = withLibrary([&](CiTunesCtl& library) {
        const QByteArray absence = QByteArray::number(music->GetAbsenceType());
        const QByteArray repeatId = QByteArray::number(music->GetRepeatID());
        const QByteArray state = QByteArray::number(music->GetState());
        const char* const columns[] = {"Absence", "RepeatID", "State"};
        const char* const values[] = {absence.constData(), repeatId.constData(), state.constData()};
        return library.SaveMusicInfo(pid.constData(), music->GetRunMode(), columns, values, 3);
    }, MM_ERR_FAIL);
    if (result != 0)
        WriteLog(QStringLiteral("SaveMusicObj Failed:") + music->WorkingCopy().strLocation);
    return result;
}

void CMusicManage::SetBeforeRowSavedHook(std::function<void(CMusicObj*)> hook)
{
    m_beforeRowSaved = std::move(hook);
}

// Runs on the save thread after every finished analysis. All of it is one
// savepoint, so a crash leaves the database as before the save; tracks
// found complete leave memory only once their rows are gone for good, and
// a track is clean again only once its row is, so the next save skips the
// tracks whose results did not change since.
void CMusicManage::SaveDataToDB()
{
    if (!hasLibrary())
        return;
    WriteLog(QStringLiteral("start SaveDataToDB()"));
    DBSavepoint savepoint("SaveDataToDB");
    const QVector<CMusicObj*> tracks = tracksSnapshot();
    QVector<CMusicObj*> saved;
    for (CMusicObj* music : tracks) {
        if (m_bExit)
            break;
        // In the exit state a save writes nothing, and says 0 all the same.
        if (music && music->isDirty() && SaveMusicObj(music) == 0 && !m_bExit)
            saved.append(music);
    }
    WriteLog(QStringLiteral("End SaveDataToDB()"));
    const QVector<CMusicObj*> deleted = deleteCompleteRows();
    // Without a savepoint (no connection) each write stood on its own.
    const bool kept = savepoint.status() != 0 || savepoint.commit() == 0;
    if (kept) {
        for (CMusicObj* music : saved)
            music->SetDirty(false);
        forgetCompleteTracks(deleted);
    }
    WriteLog(QStringLiteral("End Delete Complete Music"));
}

QVector<CMusicObj*> CMusicManage::tracksSnapshot()
{
    QMutexLocker lock(&m_mutexList);
    return m_musicList;
}

// Deletes the rows of the tracks found complete, the last first; returns
// the tracks whose rows went.
QVector<CMusicObj*> CMusicManage::deleteCompleteRows()
{
    QVector<CMusicObj*> complete;
    {
        QMutexLocker lock(&m_mutexList);
        complete = m_completeList;
    }
    WriteLog(QStringLiteral("Start Delete Complete Music: %1").arg(complete.size()));
    QVector<CMusicObj*> deleted;
    for (int i = complete.size() - 1; i >= 0; --i) {
        if (m_bExit)
            break;
        CMusicObj* music = complete[i];
        const QByteArray pid = music->WorkingCopy().strPersistentID.toUtf8();
        const int result = withLibrary([&](CiTunesCtl& library) {
            return library.DeleteMusicFromDB(pid.constData(), music->GetRunMode());
        }, MM_ERR_FAIL);
        if (result == 0)
            deleted.append(music);
    }
    return deleted;
}

void CMusicManage::forgetCompleteTracks(const QVector<CMusicObj*>& tracks)
{
    QMutexLocker lock(&m_mutexList);
    for (CMusicObj* music : tracks) {
        if (m_completeList.removeOne(music))
            delete music;
    }
}

int CMusicManage::SetMusicState(CMusicObj* music, int state)
{
    if (!music)
        return MM_ERR_FAIL;
    const QByteArray pid = music->WorkingCopy().strPersistentID.toUtf8();
    return withLibrary([&](CiTunesCtl& library) {
        music->SetState(state);
        return library.SaveMusicInfo(pid.constData(), music->GetRunMode(), "State", nullptr, state);
    }, MM_ERR_FAIL);
}

int CMusicManage::ChangeAllMusicState(int mask, int on)
{
    const int bits = mask & kBulkStateBits;
    // Memory changes under the library's lock with the rows, so that the
    // save after an analysis never writes a state the rows have left; and
    // under the list's lock, which keeps the save from freeing a track the
    // analysis found complete while it is changed here.
    const int result = withLibrary([&](CiTunesCtl& library) {
        const int changed = library.ChangeAllMusicState(mask, on);
        if (changed != 0)
            return changed;
        QMutexLocker lock(&m_mutexList);
        for (CMusicObj* music : qAsConst(m_musicList)) {
            if (music)
                music->SetState(on ? music->GetState() | bits : music->GetState() & ~bits);
        }
        return 0;
    }, MM_ERR_FAIL);
    if (result != 0)
        WriteLog(QStringLiteral("ChangeAllMusicState %1 Failed:%2").arg(mask).arg(result));
    return result;
}

int CMusicManage::SaveUserMusicInfo(CMusicObj* music, int mask, const char** values)
{
    if (!music || !values || !hasLibrary())
        return MM_ERR_FAIL;
    if (m_bExit)
        return 0;
    const tagMMusicInfo working = music->WorkingCopy();
    tagMMusicInfo edited = working;
    int next = 0;
    int changed = 0;
    // One value per bit of the mask, in the order of the editable fields.
    for (const tagTrackField& field : kTrackFields) {
        if (!isEditable(field) || !(mask & field.bit))
            continue;
        const QString value = QString::fromUtf8(values[next++]);
        if (value != working.*field.member) {
            edited.*field.member = value;
            changed |= field.bit;
        }
    }
    if (changed) {
        const int result = withLibrary([&](CiTunesCtl& library) {
            return library.SaveMusicInfo(&edited, music->GetRunMode(), changed);
        }, MM_ERR_FAIL);
        // Memory follows the row, so the two never disagree.
        if (result != 0)
            return result;
        music->SetAWSMusicInfo(&edited);
    }
    if (mask & MF_ARTWORK)
        saveUserArtwork(music, edited, QString::fromUtf8(values[next]));
    return 0;
}

void CMusicManage::saveUserArtwork(CMusicObj* music, const tagMMusicInfo& info, const QString& path)
{
    if (m_bExit || !(music->GetAbsenceType() & MF_ARTWORK) || path == music->GetCurPixPath())
        return;
    const int result = withLibrary([&](CiTunesCtl& library) {
        return library.SaveArtworkPic(&info, music->GetRunMode(), path);
    }, MM_ERR_FAIL);
    if (result != 0) {
        WriteLog(QStringLiteral("m_piTunes->SaveArtworkPic Failed! PID:%1 Name:%2 picPath:%3")
                     .arg(info.strPersistentID, info.strName, path));
        return;
    }
    music->SetCurPixPath(path);
    music->SetArtworkState(DS_DONE);
}
