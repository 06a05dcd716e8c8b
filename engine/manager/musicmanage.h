// The engine's one manager per process: its folders, the track lists, the
// controller of the loaded library, the download slots and the worker
// threads, and the pause, continue, stop and exit of their work.
#pragma once

#include "cadenzo.h"
#include "core/pausegate.h"
#include "manager/downloadslot.h"
#include "manager/savereport.h"

#include "library/itunesctl.h"
#include "manager/sharedfiles.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <functional>
#include <memory>

class CAnalyzeThrad;
class CDuplicateScan;
class CLoadThread;
class CMusicObj;
class CSaveToDBThread;
struct tagMusicInfo;

class CMusicManage
{
public:
    // Opens the engine log in logFolder and makes the trash folder of the day.
    CMusicManage(const char* logFolder, const char* artworkFolder, const char* trashFolder);
    // Stops every activity and waits for every thread before freeing anything.
    ~CMusicManage();
    CMusicManage(const CMusicManage&) = delete;
    CMusicManage& operator=(const CMusicManage&) = delete;

    // --- the library (musicmanage_library.cpp)
    // Ends the previous library, then opens the database and the source. 0 or -1.
    int LoadMusicLibrary(const char* xmlPath, const char* dbPath, tagMusicRunMode mode);
    // The lock file of the library the last LoadMusicLibrary could not lock
    // (one of the MM_ERR_LIBRARY_LOCK codes); empty after any other answer.
    QString RefusedLockFile();
    // Stops all work, frees every track and the controller. 0.
    int DestroyMusicLibrary();
    // Frees every track of both lists. 0.
    int DestroyMusicList();
    // The files to load in the file run modes; -1 without a library.
    int LoadExMusicFiles(int count, const char** paths);
    // false begins, true commits a transaction; -1 without a library.
    int DBTransaction(bool commit);
    bool hasLibrary();
    // Gives back artwork bytes the controller handed out; -1 without a library.
    int ReleaseiTunesArtwork(void** data);

    // --- loading, control and exit (musicmanage_control.cpp)
    // Starts the load thread; 0, also when the exit state refuses it. -1 while
    // a load still runs.
    int LoadMusicList(const tagCtlCmdParam* param);
    void LoadMusicListThreadProc();
    // CMD_ANALYSE: the analysis's control; CMD_LOAD: the loader's. 0.
    int CtlCmd(tagCtlCmd target, tagCtlState state);
    // Non-zero: stop everything and wait for every engine thread (never call
    // it from one). 0, or -1 for 0.
    int SetExitState(int exitState);
    bool isExitState() const { return m_bExit.load(); }

    // --- analysis (musicmanage_analyze.cpp)
    // Stores the mask and the callback and starts the analysis thread. 0;
    // -1 while an analysis runs. Nothing starts in the exit state.
    int AnalyzeMusicList(const tagCtlCmdParam* param, int mask);
    // Pause, continue or stop of the analysis. 0.
    int CtlCmdState(tagCtlState state);
    // For the analysis loop between tracks: blocks while paused; false when
    // the loop must end (stop or exit).
    bool WaitAnalysisTurn();
    // Body of the analysis thread.
    int AnalyzeMusicInfo();
    // Duplicate run modes: compares the track after lastIndex with the
    // tracks up to lastIndex. 1 a duplicate (its group's ID in *repeatId,
    // whether it is the copy to go in removeCurrent), 0 none, -1 the
    // fingerprint test cannot run for it. Analysis thread only.
    int RepeatMusicList_kwr(const tagMMusicInfo* current, int lastIndex, int mask,
                            long long* repeatId, bool& removeCurrent);
    // Body of the save thread: the analysis results in one savepoint; the
    // tracks found complete leave the database and memory. It stops at the
    // first write that fails and keeps nothing then: the failure is logged
    // and, unless the engine exits, sent as a record after the end of the
    // analysis. 0 or the database's code.
    int SaveDataToDB();

    // --- the database and the user's choices (musicmanage_save.cpp)
    // Absence, repeat ID and state in one update, as the track has them
    // when its row is written. 0 (doing nothing) in the exit state; -1 null
    // track or no library; else the database result.
    int SaveMusicObj(CMusicObj* music);
    // For tests: called on the save thread before SaveMusicObj writes a
    // track's row, outside every lock. Set it while no save runs.
    void SetBeforeRowSavedHook(std::function<void(CMusicObj* music)> hook);
    // Sets the state word, then stores it. -1 null track or no library.
    int SetMusicState(CMusicObj* music, int state);
    // The database first, then the state bits of every track. The database
    // result; -1 without a library.
    int ChangeAllMusicState(int mask, int on);
    // The editor's values, one per bit of mask (title, artist, album, year,
    // genre, artwork path). 0, or the database result of the fields; -1
    // null track or values, no library.
    int SaveUserMusicInfo(CMusicObj* music, int mask, const char** values);

    // --- applying (musicmanage_apply.cpp)
    // Writes list entry index's fixed fields. 0 nothing to do; -1 outside
    // the list, no library or nothing to write; else the write's result.
    int ApplyMusicInfo(int index, int replaceMask);
    // The tracks of the list ApplyMusicInfo would write now. Any thread,
    // also while lookups run.
    int WaitingMusicCount(int replaceMask);
    // Removes (MF_FILE, AC_DELETE), restores (AC_RESTORE) or writes fields.
    int ApplyiTunesMusicInfo(CMusicObj* music, int flags, int replaceMask);
    // Writes the given fields and what the replace mask adds. 0 nothing to
    // do; -1 null track or no library; else the write's result.
    int SetMusicInfoToMusic(CMusicObj* music, int fields, int replaceMask);

    // --- removal and restore (musicmanage_trash.cpp)
    // Removes the track (duplicate modes: into the trash of the day). 0
    // removed or removed before; -1 failure, nothing changed.
    int DeletePlayListMusic(CMusicObj* music);
    // Brings a removed track back. 0 restored or back already; -1 failure,
    // also when another file now lies at its location.
    int RestoreMusic(CMusicObj* music);

    // --- the online information service (musicmanage_service.cpp)
    // Start and proxy change; negative on failure (logged). MM_ERR_BAD_ARGS
    // for a text longer than its record field.
    int InitAWS(const tagInitParam* param);
    int SetNetProxy(const tagProxySet* proxy);

    // --- online lookups (musicmanage_download.cpp, musicmanage_lookup.cpp)
    // Takes a free download slot and starts its thread. 0; -1 with no free
    // slot or in the exit state; MM_ERR_BAD_ARGS for a null track or record
    // or a what without a lookup bit.
    int StartDownload(CMusicObj* music, const char* path, int what, const tagCtlCmdParam* param,
                      tagFixType fixType);
    void DownloadMousicInfoThreadProc(tagDowndWrok* slot);
    // The result callback of every request to the information service; runs
    // on the slot's own thread, inside the call that asked.
    static int OnMusicInfoCallBack(void* slot, void* track, int status, tagMusicInfo* record);

    // --- artwork (musicmanage_artwork.cpp)
    // Makes candidate index the track's artwork. 0; -1 for no such
    // candidate or in the exit state.
    int SetDowndArtworkForItem(CMusicObj* music, int index);
    // Hands out the track's artwork bytes (give them back with
    // ReleaseiTunesArtwork) and keeps a file of them. The controller's
    // result; -1 without track, data, library or artwork.
    int GetiTunesArtwork(CMusicObj* music, void** data, int& length);

    // --- the track list (musicmanage_tracks.cpp)
    // Appends a loaded track (called by the loader); returns it as its handle.
    CMusicObj* AddMusic(CMusicObj* music);
    // Size of the track list; total = the larger of it and the kept count.
    int GetMusicCountAMode(int* total, tagMusicRunMode* mode);
    // One entry of the track list; -1 outside the list or for an empty entry.
    int GetMusicListMusic(int index, void** music, int* absence, int* state, long long* repeatId);
    int GetMusicInfo(CMusicObj* music, const tagMMusicInfo** out, tagInfoType type);
    int GetMusicState(CMusicObj* music);
    long long GetMusicRepeatID(CMusicObj* music);
    int GetGNInfoState(CMusicObj* music);
    int GetGNArtworkState(CMusicObj* music);
    int GetDowndArtworkCount(CMusicObj* music);
    QString GetDowndArtworkForItem(CMusicObj* music, int index);
    // The current artwork path; empty for none. Makes its file when missing,
    // so a track without a path gets one by the next call.
    QString GetAWSImgPath(CMusicObj* music);

private:
    // Download slots (musicmanage_download.cpp).
    void initDownloadSlots();
    void resetDownloadSlots();
    void stopDownloadSlots();
    void stopSlotRequests(tagDowndWrok& slot);
    void endDownloads();
    int CheckDownloadList() const;
    tagDowndWrok* claimSlot();
    int startSlot(tagDowndWrok& slot, CMusicObj* music, const char* path, int what,
                  const tagCtlCmdParam& param, tagFixType fixType);
    void DowndGnInfoProc(tagDowndWrok* slot);
    void DowndGoogleArtworkProc(tagDowndWrok* slot);
    void sendEarlyFailure(tagDowndWrok* slot, int infoState);
    void Test_DownloadCallBreak(tagDowndWrok* slot);
    void sendDownloadRecord(tagDowndWrok* slot, int infoState, int artworkState, int absence);
    // Lookup results (musicmanage_lookup.cpp).
    void onLookupDone(tagDowndWrok* slot, const tagMusicInfo& record);
    void onLookupFailed(tagDowndWrok* slot);
    void onTrackInfo(tagDowndWrok* slot, const tagMusicInfo& record);
    void onArtworkList(tagDowndWrok* slot, const tagMusicInfo& record, bool albumCover);
    void SetAWSMusicInfo(CMusicObj* music, const tagMMusicInfo& found);
    int CheckMusicAlbumID(const QString& albumId, CMusicObj* music);
    // Analysis, saving, applying, removal (their own files).
    QVector<CMusicObj*> startAnalysisPass();
    bool walkTracks(const QVector<CMusicObj*>& tracks, QVector<bool>& complete);
    int duplicateStep(CMusicObj* music, int index);
    void sendTrackRecord(CMusicObj* music, int progress);
    void setCompleteTracksAside(const QVector<CMusicObj*>& tracks, const QVector<bool>& complete);
    QVector<CMusicObj*> tracksSnapshot();
    int saveDirtyTracks(QVector<CMusicObj*>& saved);
    int deleteCompleteRows(QVector<CMusicObj*>& deleted);
    void forgetCompleteTracks(const QVector<CMusicObj*>& tracks);
    void saveUserArtwork(CMusicObj* music, const tagMMusicInfo& info, const QString& path);
    CMusicObj* trackAt(int index);
    int writeTrack(CMusicObj* music, const tagMMusicInfo& working, const QString& artworkPath, int bits);
    int removeDuplicate(CMusicObj* music, const tagMMusicInfo& info, int mode);
    // Brings a removed track back, its file from the trash or, entryOnly,
    // its library entry alone. 0 or MM_ERR_FAIL.
    int restoreTrack(CMusicObj* music, bool entryOnly);
    void takeOverRestored(CMusicObj* music, const tagMMusicInfo& restored);
    void waitForWorkerThreads();
    void clearLibraryState();
    // Runs call on the open library with the controller pointer held still,
    // so a library being closed on another thread is never used half-deleted;
    // fallback without a library. Not for calls that wait on engine threads.
    template <typename Call>
    int withLibrary(Call call, int fallback);

    QMap<QString, CMusicObj*> m_albumIdMap;   // album ID -> first track of it; guarded by m_mutexList
    QVector<CMusicObj*> m_musicList;          // load order; guarded by m_mutexList
    QVector<CMusicObj*> m_completeList;       // found complete; guarded by m_mutexList
    QMutex m_mutexList;
    CiTunesCtl* m_piTunes = nullptr;          // guarded by m_mutexCtl
    QMutex m_mutexCtl;
    QString m_strRefusedLock;                 // guarded by m_mutexCtl
    std::array<tagDowndWrok, kDownloadSlotCount> m_slots;
    // Serialises taking and starting a slot with stopping the slots.
    QMutex m_mutexSlots;
    std::atomic<int> m_iCurOperation{0};
    // The analysis's control; a pause sent before it starts holds it too.
    CPauseGate m_analysisGate{CPauseGate::PAUSE_ANY_STATE};
    QString m_strLogFolder;
    QString m_strArtworkFolder;
    QString m_strTrashFolder;                 // the trash folder of the start-up day
    MMCallBack m_pLoadCallBack = nullptr;
    void* m_pUser = nullptr;
    MMCallBack m_pAnalyzeCallBack = nullptr;
    CSaveReport m_saveReport;                 // a failed save's record
    std::unique_ptr<CLoadThread> m_pLoadThread;
    std::unique_ptr<CAnalyzeThrad> m_pAnalyzeThread;
    std::unique_ptr<CSaveToDBThread> m_pSaveThread;
    std::atomic<int> m_iAnalyzeMask{0};
    int m_iKeepCount = 0;                     // guarded by m_mutexList
    std::atomic<bool> m_bExit{false};
    std::atomic<bool> m_bNoYearGenre{false};
    CDuplicateScan* m_pDuplicateScan = nullptr; // while a duplicate analysis runs
    CSharedFiles m_sharedFiles;                 // for removals
    std::function<void(CMusicObj*)> m_beforeRowSaved; // tests only
};

template <typename Call>
int CMusicManage::withLibrary(Call call, int fallback)
{
    QMutexLocker lock(&m_mutexCtl);
    return m_piTunes ? call(*m_piTunes) : fallback;
}

// The process's one manager, null while none exists.
extern std::atomic<CMusicManage*> g_pManag;
