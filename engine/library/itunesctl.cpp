// CiTunesCtl: construction, the list of files, pause/continue/stop, and the
// small services the manager forwards (artwork presence, transactions).
#include "library/itunesctl.h"
#include "library/uniquefiles.h"

#include "core/mmlog.h"
#include "db/trackdb.h"
#include "libraryagent.h"
#include "platformbase.h"
#include "tags.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <sqlite3.h>

#include <cstdlib>

namespace {

bool isLibraryMode(int mode)
{
    return mode == RUN_ITUNES || mode == RUN_DUP_ITUNES;
}

bool isValidRunMode(int mode)
{
    return mode >= RUN_ITUNES && mode <= RUN_DUP_ITUNES;
}

// A fresh run starts with a fresh database. SQLite's side files go too: a
// rollback journal left by a crash would otherwise be "replayed" into the
// new, unrelated file and corrupt it.
void removeDatabaseFiles(const QString& dbPath)
{
    for (const char* suffix : {"", "-journal", "-wal", "-shm"})
        QFile::remove(dbPath + QLatin1String(suffix));
}

} // namespace

int LibraryRefusalOf(int agentResult)
{
    switch (agentResult) {
    case AGENT_ERR_IN_USE:
        return MM_ERR_LIBRARY_IN_USE;
    case AGENT_ERR_LOCK_DENIED:
        return MM_ERR_LIBRARY_LOCK_DENIED;
    case AGENT_ERR_LOCK_NOT_FILE:
        return MM_ERR_LIBRARY_LOCK_NOT_FILE;
    case AGENT_ERR_LOCK:
        return MM_ERR_LIBRARY_LOCK;
    default:
        return 0;
    }
}

bool IsLibraryRefusal(int code)
{
    return code == MM_ERR_LIBRARY_IN_USE || code == MM_ERR_LIBRARY_LOCK_DENIED || code == MM_ERR_LIBRARY_LOCK_NOT_FILE
        || code == MM_ERR_LIBRARY_LOCK;
}

CiTunesCtl::CiTunesCtl(TrackSink sink, const char* xmlPath, const char* dbPath, tagMusicRunMode mode,
                       int* result)
    : m_trackSink(std::move(sink)), m_runMode(mode)
{
    // The agent and the tag access write their failures into our log.
    SetPlatformLog(&WriteLog);
    StartTagWriteRun();
    *result = openSources(xmlPath, dbPath);
}

int CiTunesCtl::openSources(const char* xmlPath, const char* dbPath)
{
    // An unknown mode must not cost the user the database of the last run.
    if (!isValidRunMode(m_runMode) || !dbPath)
        return CTL_ERR_FAIL;
    if (m_runMode == RUN_PROJECT)
        return openProject(dbPath);
    const QString database = QString::fromUtf8(dbPath);
    removeDatabaseFiles(database);
    int result = OpenSqlite3DB(dbPath);
    if (result >= 0 && isLibraryMode(m_runMode))
        result = LoadiTunesInfomationToSave(xmlPath);
    // What this run made is no run to continue at the next start.
    if (result < 0) {
        CloseSqlite3DB();
        removeDatabaseFiles(database);
    }
    return result;
}

// A project is opened, never made: a missing file, an empty one or one
// without our table is no saved run, however it came about.
int CiTunesCtl::openProject(const char* dbPath)
{
    const QString database = QString::fromUtf8(dbPath);
    if (!QFileInfo(database).isFile()) {
        WriteLog(QStringLiteral("Open project Failed: no file %1").arg(database));
        return CTL_ERR_NO_PROJECT;
    }
    const int opened = OpenSqlite3DB(dbPath);
    if (opened < 0)
        return opened;
    const int checked = CheckTracksTable();
    if (checked != DB_OK) {
        WriteLog(QStringLiteral("Open project Failed: %1 %2").arg(database, QString::fromUtf8(DBResultText(checked))));
        CloseSqlite3DB();
        return CTL_ERR_NO_PROJECT;
    }
    return opened;
}

CiTunesCtl::~CiTunesCtl()
{
    // The library file takes what the last writes left in its journal now,
    // while the engine log still hears of a failure, and the library is let
    // go: another process (another Vessolin) may open it from here on.
    DestroyAgent_kwr();
    CloseSqlite3DB();
}

int CiTunesCtl::LoadiTunesInfomationToSave(const char* xmlPath)
{
    // Without a path the agent opens the user's own library.
    const int result = CreateAgent_kwr(xmlPath);
    if (result != 0) {
        WriteLog(QStringLiteral("CreateAgent_kwr Failed:%1").arg(result));
        const int refusal = LibraryRefusalOf(result);
        return refusal != 0 ? refusal : result;
    }
    m_bAgentOpen = true;
    WriteLog(QStringLiteral("CreateAgent_kwr And Enter iTunes Com!"));
    return result;
}

QString CiTunesCtl::LockFileOf(const char* xmlPath)
{
    // A path longer than PATH_MAX opens no library either.
    char lock[4097];
    const int length = LockFileOf_kwr(xmlPath, lock, int(sizeof lock));
    return length > 0 ? QString::fromUtf8(lock, length) : QString();
}

int CiTunesCtl::LoadFilesInfomationToSave(const char* const* paths, int count)
{
    if (count <= 0 || !paths)
        return CTL_ERR_FAIL;
    const QStringList unique = UniqueFilePaths(paths, count);
    QMutexLocker lock(&m_mutexFiles);
    m_fileList = unique;
    return CTL_OK;
}

QStringList CiTunesCtl::takeFileList()
{
    QMutexLocker lock(&m_mutexFiles);
    QStringList files;
    files.swap(m_fileList);
    return files;
}

int CiTunesCtl::CtlCmdState(tagCtlState state)
{
    // A stop is final for the running loop: a later pause or continue must
    // not bring a stopped load back.
    m_gate.Command(state);
    return CTL_OK;
}

void CiTunesCtl::SetExitState()
{
    m_bExit = true;
    m_gate.Wake();
}

bool CiTunesCtl::HasArtwork(const tagMMusicInfo& info, int mode)
{
    if (mode == RUN_ITUNES)
        return HasArtwork_kwr(info.strPersistentID.toUtf8().constData()) != 0;
    if (mode != RUN_FILES)
        return false;
    const int result = HasMusicArtwork_tag(info.strLocation);
    if (result < 0) {
        WriteLog(QStringLiteral("%1 HasMusicArtwork_tag Failed : %2").arg(info.strLocation).arg(result));
        return false;
    }
    return result != 0;
}

// The application tells a full disk from other failures by these two.
static_assert(int(MM_ERR_NO_SPACE) == int(TAG_WRITE_NO_SPACE), "a song's write without room");
static_assert(int(MM_DB_FULL) == SQLITE_FULL, "a commit without room");
// And why a song was refused.
static_assert(int(MM_ERR_SONG_READ_ONLY) == int(TAG_WRITE_READ_ONLY), "a song the user may not write");
static_assert(int(MM_ERR_SONG_NO_COPY) == int(TAG_WRITE_NO_COPY), "a song without a working copy");
static_assert(int(MM_ERR_SONG_MODE) == int(TAG_WRITE_MODE), "a song that cannot keep its mode");
static_assert(int(MM_ERR_SONG_ATTRIBUTES) == int(TAG_WRITE_ATTRIBUTES), "a song that cannot keep its attributes");
static_assert(int(MM_ERR_SONG_CHANGED) == int(TAG_WRITE_CHANGED), "a song another program changed meanwhile");

int CiTunesCtl::DBTransaction(bool commit)
{
    if (!commit)
        return BeginTransaction();
    const int committed = CommitTransaction();
    if (committed != 0)
        WriteLog(QStringLiteral("CommitTransaction Failed:%1 %2")
                     .arg(committed).arg(QString::fromUtf8(DBResultText(committed))));
    // The end of an apply or a removal: the library file takes the changes
    // now, not at some later time when the journal fills or the process
    // ends. The agent logs why a rewrite failed.
    const int written = WriteLibraryFile_kwr();
    if (committed != 0)
        return committed;
    return written == AGENT_OK ? int(CTL_OK) : int(MM_ERR_LIBRARY_FILE);
}

int CiTunesCtl::ReleaseArtworkPic(void** data)
{
    if (!data)
        return CTL_ERR_FAIL;
    std::free(*data);
    *data = nullptr;
    return CTL_OK;
}
