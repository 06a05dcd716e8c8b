// The library agent: the engine's door to the iTunes library. The library
// is the iTunes library XML file itself; changes go into it.
//
// Every call is thread-safe. Results: 0 (AGENT_OK) success, a negative
// tagAgentResult failure, unless a call says otherwise. Texts are UTF-8.
// The reading calls (GetTrackCount_kwr, FindAttributeValue_kwr) serve the
// library of CreateAgent_kwr until DestroyAgent_kwr; every other call works
// without an agent, also in a later process, on the library last opened.
// A change is acknowledged only once it is on disk, and the library file is
// at every moment a complete file: the old one or the new one. One process
// at a time has a library: from the call that opens it until
// DestroyAgent_kwr (or the process's end) another process's calls on it
// answer AGENT_ERR_IN_USE, except on a file system that gives no lock.
#pragma once

enum tagAgentResult {
    AGENT_OK = 0,
    AGENT_ERR_ARGS = -1,       // a null or empty argument
    AGENT_ERR_READ = -2,       // the library file is missing or unreadable
    AGENT_ERR_FORMAT = -3,     // the library is no UTF-8 XML property list
    AGENT_ERR_NO_TRACKS = -4,  // a property list without "Tracks"
    AGENT_ERR_NO_LIBRARY = -5, // no library was ever opened
    AGENT_ERR_NO_TRACK = -6,   // no served track has that persistent ID or index
    AGENT_ERR_VALUE = -7,      // a key that cannot be written, or a value the library cannot hold
    AGENT_ERR_WRITE = -8,      // the change could not be put on disk; nothing changed
    AGENT_ERR_FILE = -9,       // the track's file is missing or no readable audio file
    AGENT_ERR_NO_ARTWORK = -10, // the track's file holds no picture, or refused one
    AGENT_ERR_IN_USE = -11,    // another process has the library open; nothing was read
    // The library's lock file ("<library>.lock") cannot be had, in a folder
    // this user may write (elsewhere the library opens without one):
    AGENT_ERR_LOCK_DENIED = -12,   // this user may not open it
    AGENT_ERR_LOCK_NOT_FILE = -13, // what is in its place is no file (a folder, a FIFO)
    AGENT_ERR_LOCK = -14           // it cannot be opened or locked otherwise (an I/O error)
};

extern "C" {

// Opens the library file; null opens the user's own: "iTunes Music
// Library.xml", else "iTunes Library.xml", in the folder "iTunes" of the
// Music folder. Served are the tracks with a local file: no streams, none
// without "Location". Changes of an earlier process that never reached the
// file are applied first.
int CreateAgent_kwr(const char* xmlPath);
// Writes the path of the lock file of the library xmlPath (null: the
// user's own, as for CreateAgent_kwr) into out, UTF-8 and NUL-terminated:
// "<library>.lock" beside the file a link there points to. Its length;
// AGENT_ERR_ARGS when out is null or shorter than the path and its NUL.
int LockFileOf_kwr(const char* xmlPath, char* out, int size);
// The number of served tracks (indexes 0 to count - 1); 0 without an agent.
int GetTrackCount_kwr();
// Points *out at the value of key ("PersistentID", "TrackID", "Name",
// "Artist", "Album", "Size" in bytes, "TotalTime" in ms, "Location" as a
// local path, "Year", "Genre", "Bitrate" in kbit/s) of track index; the
// text stays valid until DestroyAgent_kwr. A missing value leaves *out
// untouched and returns AGENT_ERR_VALUE.
int FindAttributeValue_kwr(char** out, const char* key, int index);
// Ends serving; pending changes are written into the library file, and
// the library is let go for other processes.
void DestroyAgent_kwr();
// Ends serving as DestroyAgent_kwr does, but the library stays this
// process's for the changes still to come.
void EndServing_kwr();
// Writes the changes waiting in the journal into the library file now, as
// at the end of an apply. AGENT_OK when the file holds every acknowledged
// change (also when none waited); else the failure, logged with its reason,
// and the changes stay in the journal, which the next open applies.
int WriteLibraryFile_kwr();

// 1 when the track's file holds a picture, else 0 (also on any failure).
int HasArtwork_kwr(const char* persistentId);
// HasArtwork_kwr of the persistent IDs of the served tracks first to
// first + count - 1, into answers[0] to answers[count - 1]; one call for
// many tracks takes the library's lock once. AGENT_ERR_ARGS for a null
// answers, a negative first or count; AGENT_ERR_NO_LIBRARY when nothing is
// served; else AGENT_OK, with 0 for each index outside the served tracks.
int HasArtworkOfServed_kwr(int first, int count, int* answers);
// Hands out the track file's picture in a malloc'd buffer the caller frees.
int GetArtworkData_kwr(const char* persistentId, void** data, int* length);
// Writes a picture into the track file's tags (a picture already there is
// kept). Without data nothing changes and the result is AGENT_ERR_ARGS.
int SetArtworkData_kwr(const char* persistentId, void* data, int length);

// Sets "Name", "Artist", "Album", "Genre" or "Year" (digits only); an empty
// value removes the field.
int SetAttributeValue_kwr(const char* persistentId, const char* key, const char* value);
// Adds the file, described by its tags, and writes its new persistent ID
// (16 hex digits and a NUL) into persistentIdOut (at least 17 bytes). A file
// already in the library gives that track's ID.
int AddTrackToITunes_kwr(const char* location, char* persistentIdOut);
// Brings back the entry removedPersistentId had, for an undo, as a new
// entry of the file with a new Track ID and persistent ID (written as by
// AddTrackToITunes_kwr), also when another entry uses the file. Every field
// of the old entry and its places in the playlists come back when the
// agent saw the entry of that file go in this process; else the file's
// tags describe it. An entry that never went gives its own ID.
int RestoreTrackToITunes_kwr(const char* removedPersistentId, const char* location, char* persistentIdOut);
// Removes the track and its entries in every playlist; the file stays.
int DeleteTrackFromITunes_kwr(const char* persistentId);

} // extern "C"
