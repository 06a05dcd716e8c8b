#include "reporter/storagefailure.h"

#include "cadenzo.h"

#include <QDir>

namespace {

// The changes wait in the library file's journal, which the next opening
// of the library (at the latest the next start) writes into the file.
QString LibraryFileNotUpdated()
{
    return CStorageFailure::tr(
        "The library file could not be updated. The changes are kept and will be written at the next start.");
}

} // namespace

QString CStorageFailure::Reason(int code)
{
    switch (code) {
    case MM_ERR_NO_SPACE:
    case MM_DB_FULL:
        return tr("there is not enough free disk space");
    case MM_ERR_DATABASE:
        // The engine does not tell a full disk from a failing one here.
        return tr("the disk is full or cannot be written");
    default:
        return tr("the disk cannot be written");
    }
}

CStorageFailure::SongCause CStorageFailure::SongCauseOf(int code)
{
    switch (code) {
    case MM_ERR_NO_SPACE:
    case MM_DB_FULL:
        return SONG_NO_SPACE;
    case MM_ERR_SONG_READ_ONLY:
        return SONG_READ_ONLY;
    case MM_ERR_SONG_GONE:
        return SONG_GONE;
    case MM_ERR_SONG_NO_COPY:
        return SONG_NO_COPY;
    case MM_ERR_SONG_MODE:
        return SONG_MODE;
    case MM_ERR_SONG_ATTRIBUTES:
        return SONG_ATTRIBUTES;
    case MM_ERR_SONG_CHANGED:
        return SONG_CHANGED;
    case MM_ERR_LIBRARY_IN_USE:
        return SONG_LIBRARY_IN_USE;
    default:
        // The working database answers with SQLite's codes, all above 0.
        return code > 0 || code == MM_ERR_DATABASE ? SONG_DATABASE : SONG_OTHER;
    }
}

QString CStorageFailure::SongsNotWritten(SongCause cause, int count)
{
    switch (cause) {
    case SONG_NO_SPACE:
        return tr("%1 song(s) could not be written: %2. Please free some space and apply again.")
            .arg(count)
            .arg(Reason(MM_ERR_NO_SPACE));
    case SONG_READ_ONLY:
        return tr("%1 song(s) could not be written. Please check that the files are writable.").arg(count);
    case SONG_GONE:
        return tr("%1 song(s) could not be written: the files are no longer where they were.").arg(count);
    case SONG_NO_COPY:
        return tr("%1 song(s) could not be written: no working copy could be made beside them. "
                  "Please check that their folders are writable.")
            .arg(count);
    case SONG_MODE:
        return tr("%1 song(s) could not be written: they would lose their permissions, as their group is not "
                  "one of yours.")
            .arg(count);
    case SONG_ATTRIBUTES:
        return tr("%1 song(s) could not be written: they would lose their extended attributes or their access "
                  "control list.")
            .arg(count);
    case SONG_CHANGED:
        return tr("%1 song(s) could not be written: another program changed them while they were being written. "
                  "Please apply again.")
            .arg(count);
    case SONG_LIBRARY_IN_USE:
        return tr("%1 song(s) could not be written: the iTunes library is in use by another Vessolin, on this or "
                  "another computer. Please close it there and apply again.")
            .arg(count);
    case SONG_DATABASE:
        return tr("%1 song(s) could not be recorded in the working database: %2.")
            .arg(count)
            .arg(Reason(MM_ERR_DATABASE));
    default:
        return tr("%1 song(s) could not be written.").arg(count);
    }
}

QString CStorageFailure::LoadFailed(int code, const QString& lockFile)
{
    if (code == MM_ERR_LIBRARY_IN_USE)
        return tr("The iTunes library is in use by another Vessolin, on this or another computer. "
                  "Please close it there, then go back and try again.");
    // The engine keeps the library one process's through this file beside it.
    const QString lock = lockFile.isEmpty() ? tr("beside the library file")
                                            : QStringLiteral("\"%1\"").arg(QDir::toNativeSeparators(lockFile));
    switch (code) {
    case MM_ERR_LIBRARY_LOCK_DENIED:
        return tr("The iTunes library cannot be opened: you may not open its lock file %1. Please ask its owner "
                  "to remove it, then go back and try again.")
            .arg(lock);
    case MM_ERR_LIBRARY_LOCK_NOT_FILE:
        return tr("The iTunes library cannot be opened: what is in the place of its lock file %1 is not a file. "
                  "Please move it away, then go back and try again.")
            .arg(lock);
    case MM_ERR_LIBRARY_LOCK:
        return tr("The iTunes library cannot be opened: its lock file %1 cannot be opened or locked. "
                  "Please go back and try again.")
            .arg(lock);
    default:
        return tr("The songs could not be stored: %1. Please go back and try again.").arg(Reason(code));
    }
}

bool CStorageFailure::IsLibraryRefusal(int code)
{
    return code == MM_ERR_LIBRARY_IN_USE || code == MM_ERR_LIBRARY_LOCK_DENIED || code == MM_ERR_LIBRARY_LOCK_NOT_FILE
        || code == MM_ERR_LIBRARY_LOCK;
}

QString CStorageFailure::SaveFailed(int code)
{
    return tr("The analysis results could not be stored: %1.").arg(Reason(code));
}

QString CStorageFailure::ApplyEndFailed(int code)
{
    if (code == MM_ERR_LIBRARY_FILE)
        return LibraryFileNotUpdated();
    // The songs or the library took the results; the record of them was
    // rolled back.
    return tr("The results were applied, but the working database could not record them: %1.").arg(Reason(code));
}

QString CStorageFailure::RemovalEndFailed(int code)
{
    if (code == MM_ERR_LIBRARY_FILE)
        return LibraryFileNotUpdated();
    return tr("The working database could not record the removal: %1.").arg(Reason(code));
}

QString CStorageFailure::RemovalSongsStayed(int count, int code)
{
    return tr("%1 marked song(s) could not be removed and stayed where they were: %2. "
              "Please check that the trash folder can be written and press Remove again.")
        .arg(count)
        .arg(Reason(code));
}

QString CStorageFailure::UndoEndFailed(int code)
{
    if (code == MM_ERR_LIBRARY_FILE)
        return LibraryFileNotUpdated();
    return tr("The working database could not record the undo: %1.").arg(Reason(code));
}
