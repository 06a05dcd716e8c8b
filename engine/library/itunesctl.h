// The controller of one loaded library. It owns the track database
// connection while the library is loaded and turns every track of the
// source (the library agent, the tags of a list of files, or a saved
// database) into a database row and a track object of the manager.
#pragma once

#include "cadenzo.h"
#include "core/pausegate.h"

#include <QMutex>
#include <QString>
#include <QStringList>

#include <atomic>
#include <functional>
#include <memory>

class CArtworkPrefetch;
class CMusicObj;
class DBSavepoint;

// Takes each track the load makes, in load order; owns it from then on.
using TrackSink = std::function<void(CMusicObj* music)>;

enum CiTunesCtlResult {
    CTL_OK = 0,
    CTL_ERR_FAIL = -1,       // bad run mode, no paths
    CTL_ERR_NO_PROJECT = -2, // RUN_PROJECT: no file, or none with our table
};

// The engine's code for the agent's refusal to open a library: another
// process has it (MM_ERR_LIBRARY_IN_USE) or its lock file cannot be had
// (the MM_ERR_LIBRARY_LOCK codes); 0 for any other result.
int LibraryRefusalOf(int agentResult);
// Whether code is one of those, which the application tells in words of
// their own.
bool IsLibraryRefusal(int code);

class CiTunesCtl
{
public:
    // Opens the database at dbPath (recreated unless mode is RUN_PROJECT)
    // and, in RUN_ITUNES and RUN_DUP_ITUNES, the agent on xmlPath (null:
    // the user's own library, see CreateAgent_kwr). Loaded
    // tracks go to sink. The platform layers log into the engine log from
    // here on. *result: negative on failure (delete the object then; a
    // database made for it is removed again), 1 when an older database
    // layout was migrated, else 0. RUN_PROJECT opens only an existing file
    // with our table (else CTL_ERR_NO_PROJECT).
    CiTunesCtl(TrackSink sink, const char* xmlPath, const char* dbPath, tagMusicRunMode mode,
               int* result);
    // Writes the library file from its journal (a failure is logged), lets
    // go of the library (another process may open it then) and closes the
    // database.
    ~CiTunesCtl();
    CiTunesCtl(const CiTunesCtl&) = delete;
    CiTunesCtl& operator=(const CiTunesCtl&) = delete;

    // Starts the library agent on xmlPath (null: the user's own library);
    // its result, logged; LibraryRefusalOf's code for a library another
    // process has or whose lock file cannot be had.
    int LoadiTunesInfomationToSave(const char* xmlPath);
    // The path of the lock file of the library xmlPath (null: the user's
    // own), links resolved as the agent resolves them; empty when none.
    static QString LockFileOf(const char* xmlPath);
    // The files to load in RUN_FILES and RUN_DUP_FILES, in the given order;
    // a file named twice, or reached through two paths, is kept once. -1 for
    // no paths.
    int LoadFilesInfomationToSave(const char* const* paths, int count);
    // The load loop, on the manager's load thread. -1 for a run mode outside
    // 1..5 or without a sink; MM_ERR_DATABASE when the loaded rows could not
    // be stored (logged; the final record then carries the code in word 1),
    // else 0 (also when stopped or when single tracks failed).
    int LoadMusicList(const QString& artworkFolder, MMCallBack callback, void* user);
    // Pause (CTL_PAUSE), continue (CTL_RUN) or stop (CTL_STOP) the loop; 0.
    int CtlCmdState(tagCtlState state);
    // The engine shuts down: no more callbacks, a paused loop wakes and ends.
    void SetExitState();

    // Whether the library (RUN_ITUNES) or the file's tag (RUN_FILES) holds
    // artwork for the track; false in every other mode.
    bool HasArtwork(const tagMMusicInfo& info, int mode);
    // false begins a database transaction: the database result. true
    // commits it (a failed commit rolls back what is left) and writes the
    // library file from its journal: 0, the database's code when the commit
    // failed, else MM_ERR_LIBRARY_FILE when the file could not be written.
    int DBTransaction(bool commit);
    // Frees artwork bytes handed out by the controller; -1 for a null pointer.
    int ReleaseArtworkPic(void** data);

    // --- writing back (itunesctl_write.cpp). mode is the track's own run
    // mode, the second half of its row's key. Failures are logged.

    // Writes the fields of flags (MF_TITLE, MF_ARTIST, MF_ALBUM, MF_YEAR,
    // MF_GENRE, MF_ARTWORK) to the library (RUN_ITUNES) or the file's tags
    // (RUN_FILES); the artwork is the row's cached picture, else the file at
    // artworkPath. *written gets the bits actually written. 0 when all asked
    // were written, else the last failure; -1 in other modes and in
    // RUN_ITUNES without a bit; -15 null info.
    int SetMusicInfo(const tagMMusicInfo* info, const QString& artworkPath, int mode, int flags,
                     int* written = nullptr);
    // One column: text, or value when text is null.
    int SaveMusicInfo(const char* persistentId, int mode, const char* column, const char* text,
                      long long value);
    // count columns in one statement; a null value stores NULL.
    int SaveMusicInfo(const char* persistentId, int mode, const char* const* columns,
                      const char* const* values, int count);
    // The non-empty name, artist, album, year and genre of info (mask does
    // not narrow them); 0 without writing when all are empty; -15 null info.
    int SaveMusicInfo(const tagMMusicInfo* info, int mode, int mask);
    int DeleteMusicFromDB(const char* persistentId, int mode);
    // Sets (on != 0) or clears bits of State in every row.
    int ChangeAllMusicState(int bits, int on);

    // Caches the picture file as the row's artwork. 0 doing nothing once the
    // engine exits; -1 null info, empty path, unreadable or empty file.
    int SaveArtworkPic(const tagMMusicInfo* info, int mode, const QString& imagePath);
    // Hands out the artwork (free it with ReleaseArtworkPic): the row's
    // cache, else the library's or the tag's picture, then cached with
    // exportPath as its path. 0 exactly when bytes were handed out (a
    // failed cache write is only logged); -25 null info or data; -1 other
    // modes; else the library's or the tag's failure, *data null.
    int GetArtworkPic(const tagMMusicInfo* info, int mode, const QString& exportPath, void** data,
                      int& length);

    // Removes a track: RUN_ITUNES its library entry, RUN_FILES nothing; the
    // duplicate modes move its file to trashPath (never over another file),
    // record TrashPath and, in RUN_DUP_ITUNES, delete the entry last. A
    // failing step undoes the earlier ones. 0 or -1.
    int DeleteMusic(const QString& trashPath, const tagMMusicInfo* info, int mode);
    // Deletes only the library entry; the file stays. 0 or -1.
    int DeleteLibraryEntry(const tagMMusicInfo* info);
    // Adds the entry DeleteLibraryEntry took back to the library, info
    // taking the new persistent ID. 0 or -1.
    int RestoreLibraryEntry(tagMMusicInfo* info);
    // Moves the file back from TrashPath (never over another file) and, in
    // RUN_DUP_ITUNES, adds it to the library again, info taking the new
    // persistent ID. All or nothing: 0, or -1 with the file left in the trash.
    int RestoreMusic(tagMMusicInfo* info, int mode);
    // Whether the track's file lies in the trash (TrashPath names a file).
    bool IsInTrash(const tagMMusicInfo& info, int mode);

private:
    struct LoadedTrack;

    int openSources(const char* xmlPath, const char* dbPath);
    int openProject(const char* dbPath);

    int sourceCount(const QStringList& files) const;
    bool readTrack(int index, const QStringList& files, const QString& artworkFolder,
                   LoadedTrack& track);
    bool readFileTrack(int index, const QString& path, LoadedTrack& track);
    bool readLibraryTrack(int index, LoadedTrack& track);
    bool readSavedTrack(int index, const QString& artworkFolder, LoadedTrack& track);
    CMusicObj* makeTrackObject(const LoadedTrack& track, int index, CArtworkPrefetch* artwork);
    std::unique_ptr<CArtworkPrefetch> prefetchArtwork(int count);
    bool loadTracks(int count, const QStringList& files, const QString& artworkFolder,
                    MMCallBack callback, void* user, CArtworkPrefetch* artwork, const DBSavepoint* rows,
                    int* stored);
    void sendLoadEnd(int state, MMCallBack callback, void* user);
    void releaseSource();
    void sweepTagCopies(const QStringList& files) const;
    QStringList takeFileList();

    // A pause holds only a running load.
    CPauseGate m_gate{CPauseGate::PAUSE_WHILE_RUNNING};
    TrackSink m_trackSink;
    std::atomic<bool> m_bExit{false};
    tagMusicRunMode m_runMode;
    QMutex m_mutexFiles;
    QStringList m_fileList;         // guarded by m_mutexFiles
    bool m_bAgentOpen = false;
};
