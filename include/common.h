// Shared names and links, the UI log, format helpers and small file helpers.
// Everything here is a free function or a global.
#pragma once

#include "sharedimages.h"

#include <QString>

// Names and links; written during start-up on the GUI thread, read anywhere.
extern QString g_strBundleId;       // the bundle identifier
extern QString g_strVersion;        // "CFBundleVersion"
extern QString g_strDBName;         // full path of the working track database
extern QString HOME, HELP, EMAIL, EULA, SUPPORT, INSTALL;
extern QString g_strTranslate;      // the translation page
extern QString g_strAppName;
extern QString g_strAppUpdateName;  // the product name the update endpoint knows
extern QString g_strUpdateTitle;

// Sets the links and names, before the settings are first made (they open INSTALL).
void CreateLinkAndName();

// The bundle identifier, or the one Vessolin is built with when the bundle
// information lacks it; never empty.
QString AppBundleIdentifier();
// The data folder: the user's data home plus the bundle identifier.
QString AppDataFolder();

// The UI log "UI.log" in the data folder; callable from any thread.
// CreateUILog: false when the log existed already or could not be opened.
bool CreateUILog();
// One line "yyyy-MM-dd hh:mm:ss[tid:N]: text", flushed at once, a newline or
// other control character in text written as an escape; 0, or -1 when the
// log could not be opened (the line is dropped). Rotates at 10 MiB.
int WriteUILog(const QString& text);
void DestroyUILog();
// The kernel's id of the calling thread.
long CurrentKernelThreadId();

// Milliseconds to "hh:mm:ss" of the whole seconds plus one; bad input counts as 0.
int CFormatTime(const QString& ms, QString& out);
// Bytes (a 64-bit count) to "%1.2fMB"; bad or larger input counts as 0.
int CFormatSize(const QString& bytes, QString& out);

bool isFileExtist(const QString& path);      // file or folder
bool isFolderExtist(const QString& path);
bool CreateFolder(const QString& path);      // true when it exists afterwards
bool CreateFile_Zorva(const QString& path);  // makes the parent folder and an empty file
// Replaces *dst with a malloc'd copy of src; a null src changes nothing.
void MemoryValue(char** dst, const char* src);
