#include "vessolin/loadthread.h"

#include "musiclink.h"

#include <QDir>
#include <QSet>

namespace {

bool IsMusicFile(const QFileInfo& file)
{
    // The text after the last "."; a file named plainly "mp3" counts.
    const QString name = file.fileName();
    const QString suffix = name.mid(name.lastIndexOf(QLatin1Char('.')) + 1);
    return suffix.compare(QLatin1String("mp3"), Qt::CaseInsensitive) == 0
        || suffix.compare(QLatin1String("m4a"), Qt::CaseInsensitive) == 0;
}

// The trash folder itself or anything inside it; a folder that only begins
// with the same letters ("Ossival_Trash_old") is the user's own.
bool IsInTrash(const QString& folder, const QString& trashPath)
{
    if (trashPath.isEmpty())
        return false;
    const QString trash = QDir::cleanPath(trashPath);
    const QString path = QDir::cleanPath(folder);
    if (path.compare(trash, Qt::CaseInsensitive) == 0)
        return true;
    return path.startsWith(trash + QLatin1Char('/'), Qt::CaseInsensitive);
}

} // namespace

void OpenDirGetNames(QStringList& out, const QFileInfo& entry, const QString& trashPath,
                     const std::atomic<bool>& cancel,
                     const std::function<void(const QString&)>& announce)
{
    if (cancel)
        return;
    if (entry.isDir()) {
        const QString folder = entry.absoluteFilePath();
        if (IsInTrash(folder, trashPath))
            return;
        if (announce)
            announce(folder);
        const QDir dir(entry.filePath());
        const QFileInfoList entries =
            dir.entryInfoList(QDir::Dirs | QDir::Files | QDir::NoSymLinks | QDir::NoDotAndDotDot,
                              QDir::Unsorted);
        for (const QFileInfo& child : entries) {
            if (cancel)
                return;
            OpenDirGetNames(out, child, trashPath, cancel, announce);
        }
    } else if (entry.isFile() && IsMusicFile(entry)) {
        out << entry.filePath();
    }
}

QStringList UniquePaths(const QStringList& paths)
{
    QStringList unique;
    QSet<QString> seen;
    seen.reserve(paths.size());
    for (const QString& path : paths) {
        if (!seen.contains(path)) {
            seen.insert(path);
            unique << path;
        }
    }
    return unique;
}

CReadyLoadThread::CReadyLoadThread(CMusicLink* link, const std::atomic<bool>& cancel, QObject* parent)
    : QThread(parent), m_pMusicLink(link), m_bCancel(cancel)
{
}

CReadyLoadThread::~CReadyLoadThread()
{
    // A QThread destroyed while it runs takes the process down.
    wait();
}

void CReadyLoadThread::Start(const tagLoadRequest& request)
{
    m_request = request;
    start(QThread::InheritPriority);
}

void CReadyLoadThread::run()
{
    emit ReadyToLoadingOK(ReadyToLoading(), m_request.iRun);
}

int CReadyLoadThread::ReadyToLoading()
{
    // What a killed or closed program left there (the window's own runs
    // empty them as they end) would be taken for this run's.
    ClearCacheFolders(m_request.cache, m_pMusicLink);
    const tagMusicRunMode mode = m_request.eMode;
    const QByteArray library = mode == RUN_ITUNES && !m_request.listPaths.isEmpty()
                                   ? m_request.listPaths.first().toUtf8()
                                   : QByteArray();
    if (const int refused = m_pMusicLink->InitParam(mode, library.isEmpty() ? nullptr : library.constData()))
        return refused;
    if (mode == RUN_FILES || mode == RUN_DUP_FILES) {
        QStringList files;
        const auto announce = [this](const QString& folder) { emit ScaningPath(folder); };
        for (const QString& path : m_request.listPaths) {
            if (m_bCancel)
                return 0;
            OpenDirGetNames(files, QFileInfo(path), m_request.strTrashPath, m_bCancel, announce);
        }
        if (m_bCancel)
            return 0;
        m_pMusicLink->LoadExMusicFiles(UniquePaths(files));
    }
    m_request.listPaths.clear();
    return 0;
}
