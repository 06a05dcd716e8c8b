// The controller of one loaded library. It owns the track database
// connection while the library is loaded and turns every track of the
// source (the library agent, the tags of a list of files, or a saved
// database) into a database row and a track object of the manager.
#pragma once

#include "cadenzo.h"

#include <QString>
#include <QStringList>

#include <atomic>

class CMusicManage;
class CMusicObj;

enum CiTunesCtlResult {
    CTL_OK = 0,
    CTL_ERR_FAIL = -1, // bad run mode, no paths, no agent path
};

class CiTunesCtl
{
public:
    // Opens the database at dbPath (recreated unless mode is RUN_PROJECT)
    // and, in RUN_ITUNES and RUN_DUP_ITUNES, the agent on xmlPath.
    // *result: negative on failure (delete the object then), 1 when an older
    // database layout was migrated, else 0.
    CiTunesCtl(CMusicManage* manager, const char* xmlPath, const char* dbPath,
               tagMusicRunMode mode, int* result);
    // Closes the database (and an agent that no load released).
    ~CiTunesCtl();
    CiTunesCtl(const CiTunesCtl&) = delete;
    CiTunesCtl& operator=(const CiTunesCtl&) = delete;

    // Starts the library agent; its result, logged.
    int LoadiTunesInfomationToSave(const char* xmlPath);
    // The files to load in RUN_FILES and RUN_DUP_FILES, in the given order;
    // a file named twice, or reached through two paths, is kept once. -1 for
    // no paths.
    int LoadFilesInfomationToSave(const char* const* paths, int count);
    // The load loop, on the manager's load thread. -1 for a run mode outside
    // 1..5, else 0 (also when stopped or when single tracks failed).
    int LoadMusicList(const QString& artworkFolder, MMCallBack callback, void* user);
    // Pause (CTL_PAUSE), continue (CTL_RUN) or stop (CTL_STOP) the loop; 0.
    int CtlCmdState(tagCtlState state);
    // The engine shuts down: no more callbacks, a paused loop wakes and ends.
    void SetExitState();
    bool isExitState() const { return m_bExit.load(); }
    tagMusicRunMode GetRunMode() const { return m_runMode; }

    // Whether the library (RUN_ITUNES) or the file's tag (RUN_FILES) holds
    // artwork for the track; false in every other mode.
    bool HasArtwork(const tagMMusicInfo& info, int mode);
    // true commits, false begins a database transaction; the database result.
    int DBTransaction(bool commit);
    // Frees artwork bytes handed out by the controller; -1 for a null pointer.
    int ReleaseArtworkPic(void** data);

private:
    struct LoadedTrack;

    int openSources(const char* xmlPath, const char* dbPath);

    int sourceCount(const QStringList& files) const;
    bool waitForTurn();
    void setLoopState(tagCtlState state);
    bool readTrack(int index, const QStringList& files, const QString& artworkFolder,
                   LoadedTrack& track);
    bool readFileTrack(int index, const QString& path, LoadedTrack& track);
    bool readLibraryTrack(int index, LoadedTrack& track);
    bool readSavedTrack(int index, const QString& artworkFolder, LoadedTrack& track);
    CMusicObj* makeTrackObject(const LoadedTrack& track);
    bool loadTracks(int count, const QStringList& files, const QString& artworkFolder,
                    MMCallBack callback, void* user);
    void releaseSource();
    QStringList takeFileList();

    int m_iPaused = 0;              // guarded by the load pause mutex
    tagCtlState m_state = CTL_IDLE; // guarded by the load pause mutex
    CMusicManage* m_pManage;
    std::atomic<bool> m_bExit{false};
    tagMusicRunMode m_runMode;
    QStringList m_fileList;         // guarded by the load pause mutex
    bool m_bAgentOpen = false;
};
