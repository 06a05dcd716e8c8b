// The engine's one manager per process: its folders, the track lists, the
// controller of the loaded library, the download slots and the worker
// threads, and the pause, continue, stop and exit of their work.
#pragma once

#include "cadenzo.h"
#include "manager/downloadslot.h"

#include "library/itunesctl.h"

#include <QMap>
#include <QMutex>
#include <QString>
#include <QVector>

#include <array>
#include <atomic>
#include <memory>

class CAnalyzeThrad;
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
    // Body of the save thread.
    void SaveDataToDB();

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

    const QString& GetArtworkFolder() const { return m_strArtworkFolder; }
    const QString& GetTrashFolder() const { return m_strTrashFolder; }

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
    void setAnalysisState(tagCtlState state);
    void resetAnalysisControl();
    void wakeAnalysisForExit();
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
    std::array<tagDowndWrok, kDownloadSlotCount> m_slots;
    // Serialises taking and starting a slot with stopping the slots.
    QMutex m_mutexSlots;
    std::atomic<int> m_iCurOperation{0};
    tagCtlState m_ctlState = CTL_IDLE;        // guarded by the analysis pause mutex
    QString m_strLogFolder;
    QString m_strArtworkFolder;
    QString m_strTrashFolder;                 // the trash folder of the start-up day
    MMCallBack m_pLoadCallBack = nullptr;
    void* m_pUser = nullptr;
    MMCallBack m_pAnalyzeCallBack = nullptr;
    std::unique_ptr<CLoadThread> m_pLoadThread;
    std::unique_ptr<CAnalyzeThrad> m_pAnalyzeThread;
    std::unique_ptr<CSaveToDBThread> m_pSaveThread;
    std::atomic<int> m_iAnalyzeMask{0};
    int m_iKeepCount = 0;                     // guarded by m_mutexList
    std::atomic<bool> m_bExit{false};
    bool m_bPaused = false;                   // guarded by the analysis pause mutex
    std::atomic<bool> m_bNoYearGenre{false};
};

template <typename Call>
int CMusicManage::withLibrary(Call call, int fallback)
{
    QMutexLocker lock(&m_mutexCtl);
    return m_piTunes ? call(*m_piTunes) : fallback;
}

// The process's one manager, null while none exists.
extern std::atomic<CMusicManage*> g_pManag;
