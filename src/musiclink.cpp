#include "musiclink.h"

#include "common.h"
#include "config.h"

#include <QByteArray>
#include <QVector>

#include <vector>

namespace {

// Long enough for any path the engine keeps (it refuses longer ones).
constexpr int kPathBuffer = 4096;

// The proxy record and the UTF-8 texts it points to, alive together.
struct ProxyRecord
{
    QByteArray host;
    QByteArray user;
    QByteArray password;
    tagProxySet set{-1, nullptr, 0, nullptr, nullptr};

    ProxyRecord()
    {
        CConfig* config = CConfig::instance();
        if (config->GetUseProxy() != 1)
            return;
        host = config->GetProxyHost().toUtf8();
        user = config->GetProxyUserName().toUtf8();
        password = config->GetProxyPassword().toUtf8();
        set.iKind = 0;
        // An empty host is an empty text, never null; empty credentials are null.
        set.pHost = host.constData();
        set.iPort = config->GetProxyPort();
        set.pUser = user.isEmpty() ? nullptr : user.constData();
        set.pPassword = password.isEmpty() ? nullptr : password.constData();
    }
    ProxyRecord(const ProxyRecord&) = delete;
    ProxyRecord& operator=(const ProxyRecord&) = delete;
};

QString LocationOf(const tagAnaluyzeInfo* info)
{
    return info->pLocation ? QString::fromUtf8(info->pLocation) : QString();
}

} // namespace

CThreadAWS::CThreadAWS(CMusicLink* link, EType type, QObject* parent)
    : QThread(parent), m_pLink(link), m_eType(type)
{
}

void CThreadAWS::run()
{
    // Once per bridge: the engine manager cleans the online side up when it
    // goes, so the manager of a later bridge starts it anew.
    if (m_eType == AWS_INIT)
        m_pLink->InitParam2();
}

CMusicLink::CMusicLink(QObject* owner) : QObject(owner)
{
    CConfig* config = CConfig::instance();
    const QByteArray data = config->GetLogFile().toUtf8();
    const QByteArray artwork = config->GetDowndImgPath().toUtf8();
    const QByteArray trash = config->GetTrashPath().toUtf8();
    m_pHandle = MMCreateManager(data.constData(), artwork.constData(), trash.constData());

    m_pThreadAWS = new CThreadAWS(this, CThreadAWS::AWS_INIT, this);
    m_pThreadAWS->start(QThread::InheritPriority);
}

CMusicLink::~CMusicLink()
{
    m_pThreadAWS->wait();
    delete m_pThreadAWS;
    m_pThreadAWS = nullptr;
    if (m_pHandle)
        MMDestroyManager(m_pHandle);
}

int CMusicLink::InitParam(tagMusicRunMode mode, const char* path)
{
    if (!m_pHandle)
        return -1;
    // While the init thread runs it hands the engine the proxy itself.
    if (m_pThreadAWS->isFinished())
        SetNetworkProxy();
    const QByteArray db = g_strDBName.toUtf8();
    const int result = MMLoadMusicLibrary(m_pHandle, path, db.constData(), mode);
    forgetLookups();  // the new library stopped the old one's lookups
    return result;
}

QString CMusicLink::RefusedLockFile() const
{
    char lock[4097] = {};
    const int length = m_pHandle ? MMGetRefusedLockFile(m_pHandle, lock, int(sizeof lock)) : 0;
    return length > 0 ? QString::fromUtf8(lock, length) : QString();
}

int CMusicLink::LoadiTunesMusic()
{
    const tagCtlCmdParam param{CMD_LOAD, &LoadMusicInfoCallBrak, this};
    return MMLoadiTunesMusic(m_pHandle, &param);
}

int CMusicLink::LoadExMusicFiles(const QStringList& files)
{
    std::vector<QByteArray> texts;
    std::vector<const char*> pointers;
    texts.reserve(files.size());
    pointers.reserve(files.size());
    for (const QString& file : files) {
        texts.push_back(file.toUtf8());
        pointers.push_back(texts.back().constData());
    }
    return MMLoadExMusicFiles(m_pHandle, int(pointers.size()), pointers.data());
}

int CMusicLink::AnalyzeMusicInfo(int mask)
{
    const tagCtlCmdParam param{CMD_ANALYSE, &AnalyzeMusicInfoCallBrak, this};
    return MMAnalyzeMusicInfo(m_pHandle, &param, mask);
}

int CMusicLink::DowldMusicInfo(void* track, const char* path, int what, tagFixType fix, int)
{
    CreateFolder(CConfig::instance()->GetDowndImgPath());
    const tagCtlCmdParam param{CMD_DOWNLOAD, &DowldMusicInfoCallBrak, this};
    // Counted before the call: the record may arrive on a download thread
    // before the call returns.
    beginLookup(track);
    const int result = MMDownloadMusicInfo(m_pHandle, track, path, what, &param, fix);
    if (result != 0)
        endLookup(track);
    return result;
}

bool CMusicLink::IsLookupRunning(void* track) const
{
    QMutexLocker lock(&m_mutexLookups);
    return track && m_lookups.contains(track);
}

void CMusicLink::beginLookup(void* track)
{
    QMutexLocker lock(&m_mutexLookups);
    ++m_lookups[track];
}

void CMusicLink::endLookup(void* track)
{
    QMutexLocker lock(&m_mutexLookups);
    auto it = m_lookups.find(track);
    if (it != m_lookups.end() && --it.value() <= 0)
        m_lookups.erase(it);
}

// A stopped lookup sends no record; once the engine has stopped its
// download threads none is running.
void CMusicLink::forgetLookups()
{
    QMutexLocker lock(&m_mutexLookups);
    m_lookups.clear();
}

void CMusicLink::SetNetworkProxy()
{
    if (!m_pHandle)
        return;
    ProxyRecord proxy;
    MMSetProxy(m_pHandle, &proxy.set);
}

void CMusicLink::InitParam2()
{
    if (!m_pHandle)
        return;
    CConfig* config = CConfig::instance();
    ProxyRecord proxy;
    const QByteArray artwork = config->GetDowndImgPath().toUtf8();
    tagInitParam init{this, artwork.constData(), 0, config->GetUseProxy(), proxy.set};
    MMInitManager(m_pHandle, &init);
}

void CMusicLink::CallPlayState(unsigned int uiTime, int state, int flag)
{
    if (flag == 0)
        emit SendPlayOver();
    else
        emit SendPlayModify(uiTime, state);
}

void CMusicLink::NoteDiskWork(EDiskWork work) const
{
    if (m_diskWorkHook)
        m_diskWorkHook(work);
}

std::function<void()> CMusicLink::DiskWorkNote(EDiskWork work) const
{
    return [hook = m_diskWorkHook, work] {
        if (hook)
            hook(work);
    };
}

int CMusicLink::DBTransaction(bool commit)
{
    if (commit)
        NoteDiskWork(DW_TRANSACTION_END);
    return MMDBTransaction(m_pHandle, commit);
}

void CMusicLink::WaitForSaveToDB()
{
    if (!m_pHandle)
        return;
    NoteDiskWork(DW_SAVE_WAIT);
    // Beginning a transaction waits for that save first; the transaction
    // itself holds nothing of ours.
    if (MMDBTransaction(m_pHandle, false) == 0)
        MMDBTransaction(m_pHandle, true);
}

int CMusicLink::GetMusicState(void* track) { return MMGetMusicState(m_pHandle, track); }

int CMusicLink::SetMusicState(void* track, int state)
{
    return MMSetMusicState(m_pHandle, track, state);
}

int CMusicLink::ChangeAllMusicState(int mask, int on)
{
    return MMChangeAllMusicState(m_pHandle, mask, on);
}

int CMusicLink::SetExitState(int state)
{
    const int result = MMSetExitState(m_pHandle, state);
    if (state != 0)
        forgetLookups();
    return result;
}

int CMusicLink::SendCtlCmd(tagCtlCmd target, tagCtlState state)
{
    return MMControlCommand(m_pHandle, target, state);
}

int CMusicLink::ApplyMusicInfo(int index, int flags)
{
    NoteDiskWork(DW_SONG_WRITE);
    return MMApplyMusicInfo(m_pHandle, index, flags);
}

int CMusicLink::WaitingMusicCount(int flags) const
{
    return m_pHandle ? MMGetWaitingMusicCount(m_pHandle, flags) : 0;
}

int CMusicLink::ApplyiTunesMusicInfo_Temp(void* track, int flags)
{
    // Read at each call: the apply's replace question may switch it off.
    const int replace = CConfig::instance()->Replace;
    NoteDiskWork(DW_SONG_MOVE);
    return MMApplyiTunesMusicInfo(m_pHandle, track, flags,
                                  (replace & OPT_REPLACE_META) ? replace : 0);
}

int CMusicLink::SetArtworkList(void* track, int index)
{
    return MMSetDowndArtworkForItem(m_pHandle, track, index);
}

int CMusicLink::GetArtworkList(void* track, int index, QString& out)
{
    QByteArray buffer(kPathBuffer, '\0');
    const int result = MMGetDowndArtworkForItemN(m_pHandle, track, index, buffer.data(), kPathBuffer);
    out = result == 0 ? QString::fromUtf8(buffer.constData()) : QString();
    return result;
}

int CMusicLink::GetArtworkConut(void* track) { return MMGetDowndArtworkCount(m_pHandle, track); }

int CMusicLink::DownloadGetGNArtworkState(void* track)
{
    return MMGetGNArtworkState(m_pHandle, track);
}

int CMusicLink::DownloadGNInfoState(void* track) { return MMGetGNInfoState(m_pHandle, track); }

int CMusicLink::GetiTunesArtwork(void* track, void** data, int& len)
{
    return MMGetiTunesArtwork(m_pHandle, track, data, &len);
}

int CMusicLink::ReleaseiTunesArtwork(void** data) { return MMReleaseiTunesArtwork(m_pHandle, data); }

int CMusicLink::GetMusicArtwork(void* track, QString& out)
{
    QByteArray buffer(kPathBuffer, '\0');
    const int result = MMGetMusicArtworkN(m_pHandle, track, buffer.data(), kPathBuffer);
    out = result == 0 ? QString::fromUtf8(buffer.constData()) : QString();
    return result;
}

int CMusicLink::SetUserMusicInfo(void* track, int mask, const char** values)
{
    NoteDiskWork(DW_EDIT_COMMIT);
    return MMSetUserMusicInfo(m_pHandle, track, mask, values);
}

int CMusicLink::GetMusicInfo(void* track, const tagMMusicInfo** out, tagInfoType type)
{
    return MMGetMusicInfo(m_pHandle, track, out, type);
}

long long CMusicLink::GetMusicRepeatID(void* track) { return MMGetMusicRepeatID(m_pHandle, track); }

int CMusicLink::GetMusicListMusic(int index, void** track, int& absence, int& state,
                                  long long& repeatId)
{
    if (!m_pHandle)
        return -1;
    return MMGetMusicListMusic(m_pHandle, index, track, &absence, &state, &repeatId);
}

int CMusicLink::GetMusicCountAMode(int* total, tagMusicRunMode* mode)
{
    if (!m_pHandle)
        return 0;
    return MMGetMusicCountAMode(m_pHandle, total, mode);
}

int CMusicLink::DestroyMusicLibrary()
{
    MMDestroyMusicLibrary(m_pHandle);
    forgetLookups();
    return 0;
}

int LoadMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user)
{
    if (!info || !user || info->iOperation != CMD_LOAD)
        return 0;
    auto* link = static_cast<CMusicLink*>(user);
    // A failed load ends without its end: the tracks it made are not stored.
    if (info->iState < 0) {
        emit link->SendLoadFailed(info->iState);
        return 0;
    }
    emit link->SendLoadMusic(info->pMusic, info->iProgress, LocationOf(info));
    if (info->iProgress >= PROGRESS_FULL)
        emit link->SendLoadOK();
    return 0;
}

int AnalyzeMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user)
{
    if (!info || !user)
        return 0;
    auto* link = static_cast<CMusicLink*>(user);
    // The save that follows the end could not store the analysis results.
    if (info->iState < 0) {
        emit link->SendSaveFailed(info->iState);
        return 0;
    }
    emit link->UpdateProcess(info->iProgress);
    // The end goes out as a signal too, so the receiver starts its own
    // analysis walk on its thread after the last progress record, never on
    // the engine's thread.
    if (info->iProgress >= PROGRESS_FULL)
        emit link->SendAnalyzeOK();
    else
        emit link->SendLoadMusic(info->pMusic, info->iProgress, LocationOf(info));
    return 0;
}

int DowldMusicInfoCallBrak(tagAnaluyzeInfo* info, void* user)
{
    if (!info || !user)
        return 0;
    auto* link = static_cast<CMusicLink*>(user);
    link->endLookup(info->pMusic);
    emit link->SendDowldInfo(info->pMusic, info->iAbsence, info->iFixType, info->iState);
    return 0;
}
