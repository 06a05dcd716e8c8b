// CMusicManage: storing the analysis results and the user's choices and
// edits in the track database.
#include "manager/musicmanage.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/trackfields.h"
#include "db/dbsavepoint.h"
#include "db/trackdb.h"

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
// tracks whose results did not change since. A write that fails ends the
// save with nothing of it kept: SQLite may have rolled the block back by
// itself, and the writes after it would each have stood on their own.
int CMusicManage::SaveDataToDB()
{
    if (!hasLibrary())
        return 0;
    WriteLog(QStringLiteral("start SaveDataToDB()"));
    DBSavepoint savepoint("SaveDataToDB");
    QVector<CMusicObj*> saved, deleted;
    int result = saveDirtyTracks(saved);
    WriteLog(QStringLiteral("End SaveDataToDB()"));
    if (result == 0)
        result = deleteCompleteRows(deleted);
    // Without a savepoint (no connection) each write stood on its own.
    if (result == 0 && savepoint.status() == 0)
        result = savepoint.commit();
    if (result != 0) {
        WriteLog(QStringLiteral("SaveDataToDB Failed:%1 %2").arg(result).arg(QString::fromUtf8(DBResultText(result))));
        if (!m_bExit)
            m_saveReport.SaveFailed();
        return result;
    }
    for (CMusicObj* music : saved)
        music->SetDirty(false);
    forgetCompleteTracks(deleted);
    WriteLog(QStringLiteral("End Delete Complete Music"));
    return 0;
}

QVector<CMusicObj*> CMusicManage::tracksSnapshot()
{
    QMutexLocker lock(&m_mutexList);
    return m_musicList;
}

// The rows of the tracks whose results changed; the first failure, or 0.
int CMusicManage::saveDirtyTracks(QVector<CMusicObj*>& saved)
{
    for (CMusicObj* music : tracksSnapshot()) {
        if (m_bExit)
            break;
        if (!music || !music->isDirty())
            continue;
        const int result = SaveMusicObj(music);
        if (result != 0)
            return result;
        // In the exit state a save writes nothing, and says 0 all the same.
        if (!m_bExit)
            saved.append(music);
    }
    return 0;
}

// Deletes the rows of the tracks found complete, the last first; deleted
// gets the tracks whose rows went. The first failure, or 0.
int CMusicManage::deleteCompleteRows(QVector<CMusicObj*>& deleted)
{
    QVector<CMusicObj*> complete;
    {
        QMutexLocker lock(&m_mutexList);
        complete = m_completeList;
    }
    WriteLog(QStringLiteral("Start Delete Complete Music: %1").arg(complete.size()));
    for (int i = complete.size() - 1; i >= 0; --i) {
        if (m_bExit)
            break;
        CMusicObj* music = complete[i];
        const QByteArray pid = music->WorkingCopy().strPersistentID.toUtf8();
        const int result = withLibrary([&](CiTunesCtl& library) {
            return library.DeleteMusicFromDB(pid.constData(), music->GetRunMode());
        }, MM_ERR_FAIL);
        if (result != 0)
            return result;
        deleted.append(music);
    }
    return 0;
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
