// The engine's log "MM.log" and two small file helpers.
#pragma once

#include <QString>

// Opens "MM.log" in folder (deleting it first when over 10 MiB). True when a
// log is open afterwards; a log already open stays in use.
bool CreateLog(const QString& folder);
// Appends one line "yyyy-MM-dd hh:mm:ss:zzz [tid: N]: text". Thread-safe;
// does nothing while no log is open.
void WriteLog(const QString& text);
// Closes the log; later writes are dropped.
void DestroyLog();

// True when the folder exists or was made with all missing parents.
bool CreateFolder(const QString& path);
// Whether a file or folder exists at path.
bool isFileExists(const QString& path);

// The kernel's id of the calling thread, as both logs write it.
long CurrentThreadId();
