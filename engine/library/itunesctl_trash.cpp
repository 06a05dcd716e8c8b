// CiTunesCtl: removing a track (its library entry, its file into the trash)
// and bringing it back. Each removal or restore is all or nothing: a step
// that fails undoes the steps before it, so a file is never left in the
// trash without its row saying where, nor a library entry gone without
// its file in the trash.
#include "library/itunesctl.h"
#include "library/filemove.h"

#include "core/mmlog.h"
#include "db/trackdb.h"
#include "libraryagent.h"

#include <QByteArray>
#include <QFileInfo>

#include <cstdlib>

namespace {

// The agent writes 16 hex digits and a terminator; room to spare.
constexpr int kPersistentIdBuffer = 50;

bool isDuplicateMode(int mode)
{
    return mode == RUN_DUP_FILES || mode == RUN_DUP_ITUNES;
}

// The TrashPath column as it was, NULL included, to be written back.
struct TrashColumn {
    bool isNull = true;
    QByteArray value;
};

TrashColumn readTrashPath(const QByteArray& pid, int mode, int* result)
{
    char* text = nullptr;
    *result = SelectValueFromDB(pid.constData(), mode, "TrashPath", &text);
    TrashColumn column;
    if (*result == 0 && text) {
        column.isNull = false;
        column.value = text;
    }
    std::free(text);
    return column;
}

int writeTrashPath(const QByteArray& pid, int mode, const TrashColumn& column)
{
    const char* const columns[] = {"TrashPath"};
    const char* const values[] = {column.isNull ? nullptr : column.value.constData()};
    return UpdateMultiValuesToDB(pid.constData(), mode, columns, values, 1);
}

void moveBack(const QString& from, const QString& to)
{
    const int result = MoveFileNoReplace(from, to);
    if (result != MOVE_OK)
        WriteLog(QStringLiteral("%1 Move back to %2 Failed:%3").arg(from, to, QString::number(result)));
}

int deleteEntry(const tagMMusicInfo& info)
{
    const QByteArray pid = info.strPersistentID.toUtf8();
    const int result = DeleteTrackFromITunes_kwr(pid.constData());
    if (result == 0)
        return CTL_OK;
    WriteLog(QStringLiteral("%1 DeleteTrackFromITunes_kwr Failed: %2").arg(info.strLocation, QString::number(result)));
    return CTL_ERR_FAIL;
}

// The file goes first and its new place is recorded; the library entry goes
// last, when nothing can fail any more that would strand the file.
int moveToTrash(const QString& trashPath, const tagMMusicInfo& info, int mode)
{
    const QByteArray pid = info.strPersistentID.toUtf8();
    int read = 0;
    const TrashColumn before = readTrashPath(pid, mode, &read);
    const int moved = MoveFileNoReplace(info.strLocation, trashPath);
    if (moved != MOVE_OK) {
        WriteLog(QStringLiteral("%1 Move to %2 Failed!").arg(info.strLocation, trashPath));
        return CTL_ERR_FAIL;
    }
    const QByteArray target = trashPath.toUtf8();
    const int recorded = UpdateValueToDB(pid.constData(), mode, "TrashPath", target.constData(), 0,
                                         DB_MUST_CHANGE);
    if (recorded != 0) {
        WriteLog(QStringLiteral("DeleteMusic UpdateValueToDB Failed:%1 %2").arg(QString::number(recorded), info.strLocation));
        moveBack(trashPath, info.strLocation);
        return CTL_ERR_FAIL;
    }
    if (mode == RUN_DUP_ITUNES && deleteEntry(info) != CTL_OK) {
        if (writeTrashPath(pid, mode, before) != 0)
            WriteLog(QStringLiteral("DeleteMusic TrashPath of %1 not reset").arg(info.strLocation));
        moveBack(trashPath, info.strLocation);
        return CTL_ERR_FAIL;
    }
    return CTL_OK;
}

// Back into the library as the entry it was, under a new persistent ID,
// recorded with the emptied TrashPath in one update: a new entry also when
// another one uses the file, so a later removal takes this one again and
// never the other. -1 after undoing the re-add.
int readdToLibrary(tagMMusicInfo& info, int mode)
{
    const QByteArray oldId = info.strPersistentID.toUtf8(), location = info.strLocation.toUtf8();
    char newId[kPersistentIdBuffer] = {};
    const int added = RestoreTrackToITunes_kwr(oldId.constData(), location.constData(), newId);
    newId[kPersistentIdBuffer - 1] = '\0';
    if (added != 0) {
        WriteLog(QStringLiteral("%1 RestoreTrackToITunes_kwr Failed: %2").arg(info.strLocation, QString::number(added)));
        return CTL_ERR_FAIL;
    }
    const char* const columns[] = {"TrashPath", "PersistentID"};
    const char* const values[] = {"", newId};
    const int updated = UpdateMultiValuesToDB(oldId.constData(), mode, columns, values, 2);
    if (updated != 0) {
        WriteLog(QStringLiteral("RestoreMusic UpdateValueToDB of Persistent ID Failed:%1 %2")
                     .arg(QString::number(updated), info.strLocation));
        // An entry that never went is the agent's answer too, and stays.
        if (oldId != newId) {
            const int taken = DeleteTrackFromITunes_kwr(newId);
            if (taken != 0)
                WriteLog(QStringLiteral("RestoreMusic: the entry %1 of %2 that came back stays in the library, "
                                        "unknown to the database: DeleteTrackFromITunes_kwr Failed: %3")
                             .arg(QString::fromLatin1(newId), info.strLocation, QString::number(taken)));
        }
        return CTL_ERR_FAIL;
    }
    info.strPersistentID = QString::fromUtf8(newId);
    return CTL_OK;
}

int clearTrashPath(const tagMMusicInfo& info, int mode)
{
    const QByteArray pid = info.strPersistentID.toUtf8();
    const int updated = UpdateValueToDB(pid.constData(), mode, "TrashPath", "", 0, DB_MUST_CHANGE);
    if (updated == 0)
        return CTL_OK;
    WriteLog(QStringLiteral("RestoreMusic UpdateValueToDB of TrashPath Failed:%1 %2").arg(QString::number(updated), info.strLocation));
    return CTL_ERR_FAIL;
}

} // namespace

int CiTunesCtl::DeleteMusic(const QString& trashPath, const tagMMusicInfo* info, int mode)
{
    if (!info || mode == 0)
        return CTL_ERR_FAIL;
    if (isDuplicateMode(mode))
        return moveToTrash(trashPath, *info, mode);
    // Outside the duplicate scans the file stays where it is.
    return mode == RUN_ITUNES ? deleteEntry(*info) : CTL_OK;
}

int CiTunesCtl::DeleteLibraryEntry(const tagMMusicInfo* info)
{
    return info ? deleteEntry(*info) : CTL_ERR_FAIL;
}

int CiTunesCtl::RestoreLibraryEntry(tagMMusicInfo* info)
{
    return info ? readdToLibrary(*info, RUN_DUP_ITUNES) : CTL_ERR_FAIL;
}

int CiTunesCtl::RestoreMusic(tagMMusicInfo* info, int mode)
{
    if (!info || !isDuplicateMode(mode))
        return CTL_ERR_FAIL;
    const QByteArray pid = info->strPersistentID.toUtf8();
    int read = 0;
    const TrashColumn trash = readTrashPath(pid, mode, &read);
    if (read != 0 || trash.isNull) {
        WriteLog(QStringLiteral("RestoreMusic SelectValueFromDB of TrashPath Failed:%1 %2").arg(QString::number(read), info->strLocation));
        return CTL_ERR_FAIL;
    }
    const QString trashPath = QString::fromUtf8(trash.value);
    if (trashPath.isEmpty() || !QFileInfo(trashPath).isFile())
        return CTL_ERR_FAIL;
    // Never over a file that took the place meanwhile: the trashed copy
    // stays where it is then.
    if (MoveFileNoReplace(trashPath, info->strLocation) != MOVE_OK) {
        WriteLog(QStringLiteral("%1 Restore to %2 Failed!").arg(trashPath, info->strLocation));
        return CTL_ERR_FAIL;
    }
    const int done = mode == RUN_DUP_ITUNES ? readdToLibrary(*info, mode) : clearTrashPath(*info, mode);
    if (done != CTL_OK)
        moveBack(info->strLocation, trashPath);
    return done;
}

bool CiTunesCtl::IsInTrash(const tagMMusicInfo& info, int mode)
{
    int read = 0;
    const TrashColumn trash = readTrashPath(info.strPersistentID.toUtf8(), mode, &read);
    if (read != 0 || trash.isNull || trash.value.isEmpty())
        return false;
    return QFileInfo(QString::fromUtf8(trash.value)).isFile();
}
