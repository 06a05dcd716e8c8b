// Copying the working track database to a project file and back. A copy
// never leaves a half-written target: the bytes go to a temporary file
// beside it, which takes the target's place only once its size and bytes
// equal the source's. Any thread; the window calls them on a worker.
#pragma once

#include <QString>

enum EProjectCopy {
    PC_OK = 0,
    PC_NO_SOURCE = -1,       // the source cannot be read
    PC_NO_TARGET = -2,       // no file can be made beside the target
    PC_WRITE_FAILED = -3,    // writing or syncing the temporary file failed
    PC_VERIFY_FAILED = -4,   // the temporary file reads back different
    PC_SOURCE_CHANGED = -5,  // the source changed while it was copied
    PC_SOURCE_BUSY = -6,     // a database write is under way (its journal exists)
    PC_RENAME_FAILED = -7,
};

// from and to the same file is refused as PC_NO_TARGET. On any failure
// the target is as it was before the call.
int CopyProjectFile(const QString& from, const QString& to);

// Puts the project file in the working database's place and removes the
// side files (journal, write-ahead log) of the database it replaces. False
// when the copy could not be made: the database is then as it was.
bool PlaceProject(const QString& project, const QString& database);
