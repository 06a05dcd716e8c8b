#include "reporter/storagefailure.h"

#include "cadenzo.h"

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

QString CStorageFailure::LoadFailed(int code)
{
    if (code == MM_ERR_LIBRARY_IN_USE)
        return tr("The iTunes library is in use by another Vessolin, on this or another computer. "
                  "Please close it there, then go back and try again.");
    return tr("The songs could not be stored: %1. Please go back and try again.").arg(Reason(code));
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
