// The load thread: prepares one load request off the GUI thread. It
// deletes the cache files an earlier run left, hands the run mode and
// library file to the engine and, for music files and folders, scans the
// chosen folders for mp3 and m4a files.
#pragma once

#include "cadenzo.h"
#include "vessolin/cache.h"

#include <QFileInfo>
#include <QString>
#include <QStringList>
#include <QThread>

#include <atomic>
#include <functional>

class CMusicLink;

// Appends below entry every file whose extension is "mp3" or "m4a" in any
// letter case, as the scan reached it; skips the trash folder and what
// lies in it, and symbolic links. announce hears each folder before it is
// read. Ends at the next entry once cancel is set.
void OpenDirGetNames(QStringList& out, const QFileInfo& entry, const QString& trashPath,
                     const std::atomic<bool>& cancel,
                     const std::function<void(const QString&)>& announce);

// The paths in order, each once (the first occurrence stays).
QStringList UniquePaths(const QStringList& paths);

struct tagLoadRequest
{
    int iRun = 0;
    tagMusicRunMode eMode = tagMusicRunMode(0);
    QStringList listPaths;  // library file, or music files and folders
    QString strTrashPath;
    // Emptied before anything of the run can write there.
    tagCacheFolders cache;
};

class CReadyLoadThread : public QThread
{
    Q_OBJECT
public:
    // cancel is the window's stop request; both outlive the thread.
    CReadyLoadThread(CMusicLink* link, const std::atomic<bool>& cancel, QObject* parent);
    ~CReadyLoadThread() override;

    // Prepares request on the thread; call only while it does not run.
    void Start(const tagLoadRequest& request);

signals:
    void ScaningPath(const QString& path);
    // result: 0, or the engine's refusal of the run mode's parameters
    // (MM_ERR_LIBRARY_IN_USE: another Vessolin has the library). A stopped
    // request ends with 0 and hands nothing to the engine.
    void ReadyToLoadingOK(int result, int run);

protected:
    void run() override;

private:
    int ReadyToLoading();

    CMusicLink* m_pMusicLink;
    const std::atomic<bool>& m_bCancel;
    tagLoadRequest m_request;
};
