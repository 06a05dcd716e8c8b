// The application's only door to the engine. Every MM call of the
// application goes through one CMusicLink, which holds the engine handle
// from construction to destruction. Engine callbacks arrive on engine
// threads and leave here as signals; connected with the default (automatic)
// connection their slots run queued on the receiver's thread, in the order
// the engine sent them.
#pragma once

#include "cadenzo.h"
#include "linkcalls.h"

#include <QHash>
#include <QMetaType>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QThread>

#include <functional>

typedef tagMusicRunMode EMusicRunMode;
Q_DECLARE_METATYPE(tagMusicRunMode)

class CMusicLink;

// Starts the engine's online side for the bridge's engine manager without
// blocking the GUI thread.
class CThreadAWS : public QThread
{
    Q_OBJECT
public:
    enum EType { AWS_INIT = 0 };

    CThreadAWS(CMusicLink* link, EType type, QObject* parent);

protected:
    void run() override;

private:
    CMusicLink* m_pLink;
    EType m_eType;
};

class CMusicLink : public QObject, public CArtworkChoiceCalls, public CProxyCalls
{
    Q_OBJECT
public:
    // Creates the engine manager with the data, artwork and trash folders of
    // the settings and starts the one-time init thread. owner becomes the
    // QObject parent.
    explicit CMusicLink(QObject* owner = nullptr);
    // Waits for the init thread, then destroys the engine manager. The
    // caller has stopped the engine's work first (SetExitState).
    ~CMusicLink() override;

    bool HasEngine() const { return m_pHandle != nullptr; }

    // Requests with callbacks; each returns the engine's result.
    // path: the library file in RUN_ITUNES (null: the default one), null
    // otherwise. -1 without an engine. Load thread.
    int InitParam(tagMusicRunMode mode, const char* path);
    // The lock file the last InitParam could not have (it answered one of
    // the MM_ERR_LIBRARY_LOCK codes); empty otherwise. Reads no disk; any
    // thread.
    QString RefusedLockFile() const;
    int LoadiTunesMusic();
    int LoadExMusicFiles(const QStringList& files);
    int AnalyzeMusicInfo(int mask);
    // path: the track's temporary WAV file, or null for the artwork search.
    // Non-zero: the lookup was not started.
    int DowldMusicInfo(void* track, const char* path, int what, tagFixType fix, int reserved = 0);
    // True from the start of a lookup of track until its download record
    // (or a stop of the engine's work): the engine writes the working copy
    // then, so it is neither read in place nor edited. Any thread.
    bool IsLookupRunning(void* track) const;

    // Hands the proxy of the settings to the engine; result ignored.
    void SetNetworkProxy() override;
    // MMInitManager with the settings; the init thread only.
    void InitParam2();

    // Relay of the preview player's end (flag 0) and progress reports.
    void CallPlayState(unsigned int uiTime, int state, int flag);

    // Thin wrappers: the engine's function of the same role and result.
    int DBTransaction(bool commit);
    // Returns once the engine's save after an analysis, which writes the
    // working database on a thread of its own, has ended. GUI thread, never
    // while the apply holds a transaction.
    void WaitForSaveToDB();
    int GetMusicState(void* track);
    int SetMusicState(void* track, int state);
    int ChangeAllMusicState(int mask, int on);
    int SetExitState(int state);
    int SendCtlCmd(tagCtlCmd target, tagCtlState state);
    int ApplyMusicInfo(int index, int flags);
    // The tracks ApplyMusicInfo(index, flags) would write now; 0 without an
    // engine. Reads no disk; any thread.
    int WaitingMusicCount(int flags) const;
    // The settings' Replace word goes along when it holds OPT_REPLACE_META.
    int ApplyiTunesMusicInfo_Temp(void* track, int flags);
    int SetArtworkList(void* track, int index) override;
    // Candidate index's path into out; -1 (out empty) when there is none.
    int GetArtworkList(void* track, int index, QString& out);
    int GetArtworkConut(void* track);
    int DownloadGetGNArtworkState(void* track);
    int DownloadGNInfoState(void* track);
    // The bytes belong to the engine until ReleaseiTunesArtwork.
    int GetiTunesArtwork(void* track, void** data, int& len);
    int ReleaseiTunesArtwork(void** data);
    // The track's current artwork file into out; -1 (out empty) when none.
    int GetMusicArtwork(void* track, QString& out);
    int SetUserMusicInfo(void* track, int mask, const char** values);
    // *out points into the engine's track: no copy, valid while it lives.
    int GetMusicInfo(void* track, const tagMMusicInfo** out, tagInfoType type);
    long long GetMusicRepeatID(void* track);
    // -1 without an engine.
    int GetMusicListMusic(int index, void** track, int& absence, int& state, long long& repeatId);
    // The number of tracks; 0 (outputs untouched) without an engine.
    int GetMusicCountAMode(int* total, tagMusicRunMode* mode);
    // Always 0.
    int DestroyMusicLibrary();

    // The disk work a user waits for: a song's write (ApplyMusicInfo), a
    // song's move into or out of the trash (ApplyiTunesMusicInfo_Temp), a
    // transaction's end, which rewrites the library file, a commit of hand
    // edits (SetUserMusicInfo) and the wait for the engine's save
    // (WaitForSaveToDB); and the window's own: a copy of the working
    // database to or from a project, the deletion of the cache files and
    // of the working database, and the look whether a working database is
    // there to offer.
    enum EDiskWork {
        DW_SONG_WRITE,
        DW_SONG_MOVE,
        DW_TRANSACTION_END,
        DW_EDIT_COMMIT,
        DW_SAVE_WAIT,
        DW_PROJECT_COPY,
        DW_CACHE_CLEAR,
        DW_DATABASE_DELETE,
        DW_DATABASE_LOOK,
    };
    // For tests: called on the calling thread right before that work, so a
    // test can hold it as a slow or hung disk would. Set while no thread
    // works on the engine.
    using DiskWorkHook = std::function<void(EDiskWork work)>;
    void SetDiskWorkHook(DiskWorkHook hook) { m_diskWorkHook = std::move(hook); }
    // Said by the window right before disk work of its own; any thread.
    void NoteDiskWork(EDiskWork work) const;
    // NoteDiskWork(work) as the hook stands now, callable after this
    // bridge is gone: for work on a thread that nothing waits for.
    std::function<void()> DiskWorkNote(EDiskWork work) const;

signals:
    void SendLoadMusic(void* pID, int iTotalPross, QString strName);
    void SendLoadOK();
    // The load ended without storing its tracks (MM_ERR_DATABASE); no
    // SendLoadOK follows.
    void SendLoadFailed(int code);
    void UpdateProcess(int iProgress);
    // The engine's analysis has ended (after its last UpdateProcess).
    void SendAnalyzeOK();
    // After SendAnalyzeOK: the save of the analysis results failed and kept
    // nothing (MM_ERR_DATABASE).
    void SendSaveFailed(int code);
    void SendDowldInfo(void* pID, int iAbsenceType, int iType, int iState);
    void SendPlayOver();
    void SendPlayModify(uint uiTime, int state);

private:
    friend int LoadMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);
    friend int AnalyzeMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);
    friend int DowldMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);

    void beginLookup(void* track);
    void endLookup(void* track);
    void forgetLookups();

    void* m_pHandle = nullptr;
    CThreadAWS* m_pThreadAWS = nullptr;
    DiskWorkHook m_diskWorkHook;
    mutable QMutex m_mutexLookups;
    QHash<void*, int> m_lookups;  // running lookups per track; guarded by m_mutexLookups
};

// The engine's callbacks; user is the CMusicLink. Each returns 0.
int LoadMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);
int AnalyzeMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);
int DowldMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user);
