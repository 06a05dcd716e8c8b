// CMusicManage: construction, destruction, and opening and closing a library.
#include "manager/musicmanage.h"
#include "manager/enginethreads.h"

#include "core/mmlog.h"
#include "core/musicobj.h"
#include "db/trackdb.h"
#include "fingerprint/fingerprint.h"
#include "library/itunesctl.h"

#include <QDate>
#include <QMutexLocker>

std::atomic<CMusicManage*> g_pManag{nullptr};

namespace {

// Removals of one run go into one folder named for the day the engine
// started, also when the run goes past midnight. No folder without a given
// trash folder: the date alone would land at the file system's root.
QString trashFolderOfToday(const QString& trashFolder)
{
    if (trashFolder.isEmpty())
        return QString();
    QString folder = trashFolder;
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder + QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
}

} // namespace

CMusicManage::CMusicManage(const char* logFolder, const char* artworkFolder,
                           const char* trashFolder)
    : m_strLogFolder(QString::fromUtf8(logFolder)),
      m_strArtworkFolder(QString::fromUtf8(artworkFolder))
{
    initDownloadSlots();
    CreateLog(m_strLogFolder);
    m_strTrashFolder = trashFolderOfToday(QString::fromUtf8(trashFolder));
    if (m_strTrashFolder.isEmpty() || !CreateFolder(m_strTrashFolder))
        WriteLog(QStringLiteral("Create trash path:%1 Failed!").arg(m_strTrashFolder));
    m_pLoadThread = std::make_unique<CLoadThread>(this);
    m_pAnalyzeThread = std::make_unique<CAnalyzeThrad>(this);
    m_pSaveThread = std::make_unique<CSaveToDBThread>(this);
}

CMusicManage::~CMusicManage()
{
    WriteLog(QStringLiteral("Enter ~CMusicManage!"));
    // A QThread deleted while it runs aborts the process: every thread is
    // stopped and waited for before the first one is deleted.
    SetExitState(1);
    DestroyMusicLibrary();
    m_pLoadThread.reset();
    m_pAnalyzeThread.reset();
    m_pSaveThread.reset();
    endDownloads();
    DestroyLog();
}

int CMusicManage::LoadMusicLibrary(const char* xmlPath, const char* dbPath, tagMusicRunMode mode)
{
    WriteLog(QStringLiteral("Enter CMusicManage::LoadMusicLibrary(pXMLPath:%1,pDBPath:%2,mode:%3")
                 .arg(QString::fromUtf8(xmlPath), QString::fromUtf8(dbPath))
                 .arg(int(mode)));
    DestroyMusicLibrary();
    clearLibraryState();
    resetDownloadSlots();
    // Fingerprint caches are named by persistent ID, which for files is a
    // list position: a cache of an earlier run may belong to another file.
    if (mode == RUN_FILES || mode == RUN_DUP_FILES || mode == RUN_PROJECT)
        RemoveFingerprintCaches(m_strArtworkFolder);
    int result = 0;
    auto* library = new CiTunesCtl([this](CMusicObj* music) { AddMusic(music); }, xmlPath, dbPath, mode, &result);
    if (result < 0) {
        delete library;
        // Found here, on the thread that opened the library: the window
        // names the file without a disk of its own to ask.
        const bool lockRefused = IsLibraryRefusal(result) && result != MM_ERR_LIBRARY_IN_USE;
        const QString lock = lockRefused ? CiTunesCtl::LockFileOf(xmlPath) : QString();
        QMutexLocker locked(&m_mutexCtl);
        m_strRefusedLock = lock;
        return IsLibraryRefusal(result) ? result : int(MM_ERR_FAIL);
    }
    // A project saved by an older version never stored year and genre, so
    // their absence says nothing there.
    if (mode == RUN_PROJECT && result == DB_MIGRATED)
        m_bNoYearGenre = true;
    QMutexLocker lock(&m_mutexCtl);
    m_strRefusedLock.clear();
    m_piTunes = library;
    return 0;
}

QString CMusicManage::RefusedLockFile()
{
    QMutexLocker lock(&m_mutexCtl);
    return m_strRefusedLock;
}

void CMusicManage::clearLibraryState()
{
    m_bExit = false;
    m_bNoYearGenre = false;
    m_analysisGate.Reset(CTL_IDLE);
    m_iAnalyzeMask = 0;
    QMutexLocker lock(&m_mutexList);
    m_iKeepCount = 0;
    m_albumIdMap.clear();
}

int CMusicManage::DestroyMusicLibrary()
{
    if (!m_bExit) {
        SetExitState(1);
    } else {
        // The exit state was set earlier; whatever still runs ends now.
        stopDownloadSlots();
        waitForWorkerThreads();
    }
    DestroyMusicList();
    CiTunesCtl* library = nullptr;
    {
        QMutexLocker lock(&m_mutexCtl);
        std::swap(library, m_piTunes);
    }
    delete library;
    return 0;
}

int CMusicManage::DestroyMusicList()
{
    QMutexLocker lock(&m_mutexList);
    qDeleteAll(m_musicList);
    qDeleteAll(m_completeList);
    m_musicList.clear();
    m_completeList.clear();
    // The map points at tracks that are gone now.
    m_albumIdMap.clear();
    m_sharedFiles.Clear();
    return 0;
}

bool CMusicManage::hasLibrary()
{
    return withLibrary([](CiTunesCtl&) { return 1; }, 0) != 0;
}

int CMusicManage::LoadExMusicFiles(int count, const char** paths)
{
    return withLibrary([&](CiTunesCtl& library) { return library.LoadFilesInfomationToSave(paths, count); },
                       MM_ERR_FAIL);
}

int CMusicManage::DBTransaction(bool commit)
{
    // Both share the one connection: a transaction begun while the save
    // after an analysis holds its savepoint would swallow it. Never called
    // with the library held, which the save needs for every write.
    if (!commit)
        m_pSaveThread->wait();
    return withLibrary([&](CiTunesCtl& library) { return library.DBTransaction(commit); },
                       MM_ERR_FAIL);
}

int CMusicManage::ReleaseiTunesArtwork(void** data)
{
    return withLibrary([&](CiTunesCtl& library) { return library.ReleaseArtworkPic(data); },
                       MM_ERR_FAIL);
}
