// Bundle information, the system version, showing a file in the file
// manager, and the application-modal file panels. Reveal and the panels
// belong to the GUI thread.
#pragma once

#include <QString>

#include <cstddef>
#include <vector>

constexpr size_t kInfoValueSize = 128;  // what GetInfoAttribute assumes
constexpr size_t kBundleIdSize = 200;   // what GetBundleIdentifier clears

extern "C" {

// Writes the UTF-8 value of key from the bundle information into out with a
// terminating zero. 0; -1 when the key is missing or the value would not
// fit in size bytes (out is then untouched).
int GetInfoAttribute_s(char* out, size_t size, const char* key);
// The same for a caller buffer of at least kInfoValueSize zeroed bytes.
int GetInfoAttribute(char* out, const char* key);

// Clears size bytes of out, then writes the bundle identifier. 0, or -1
// when there is none or it would not fit.
int GetBundleIdentifier_s(char* out, size_t size);
// The same for a caller buffer of at least kBundleIdSize bytes.
int GetBundleIdentifier(char* out);

// Selects the file (UTF-16, length units) in a file-manager window, else
// opens its folder. 0, also for a null path; -1 when neither could be shown.
int OpenFileInWindows(const unsigned short* path, int length);

}

// The distribution's version; 10, 0, 0 when it cannot be read. Null
// pointers are skipped.
void GetSystemVersionMajor(unsigned int* major, unsigned int* minor, unsigned int* update);
// The update number on 10.7.0 to 10.7.2, else -1.
int CheckOSVersionIsNotSafe();

// File panels. The start folder is UTF-16 with its length in units (empty
// means the Music folder). Each panel blocks the application until closed;
// a cancelled panel gives an empty result.

// Files of the types "mp3" and "m4a" and folders, several at once. out is
// emptied first.
void GetOpenFileNamesFun(const unsigned short* folder, int length, std::vector<QString>& out);
// One existing file with the given extension; empty, with no panel, for a null extension.
QString GetOpenFileNameFun(const unsigned short* folder, int length, const char* extension);
// A new or existing file name with the given extension; empty, with no panel, for a null extension.
QString GetSaveFileFunWithType(const unsigned short* folder, int length, const char* extension);
// A file name for a project ("zorvadata").
QString GetSaveFileFun(const unsigned short* folder, int length);
// One subtitle file ("srt").
QString GetSubtitleFileFun(const unsigned short* folder, int length);
// One folder.
QString GetSaveFolderFun(const unsigned short* folder, int length);
QString GetOpenFilesCompetence(const unsigned short* folder, int length);
