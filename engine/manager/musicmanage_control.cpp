// CMusicManage: starting the load, pause/continue/stop, and the exit that
// stops every activity and waits for every engine thread.
#include "manager/musicmanage.h"
#include "manager/enginethreads.h"

#include "core/mmlog.h"
#include "library/itunesctl.h"

int CMusicManage::LoadMusicList(const tagCtlCmdParam* param)
{
    WriteLog(QStringLiteral("CMusicManage::LoadMusicList()"));
    if (m_bExit)
        return 0;
    // The running load reads the callback and user; they are not ours to
    // change under it, and a second start would do nothing anyway.
    if (m_pLoadThread->isRunning())
        return MM_ERR_FAIL;
    m_iCurOperation = param->iOperation;
    m_analysisGate.SetState(CTL_RUN);
    m_pLoadCallBack = param->pCallBack;
    m_pUser = param->pUser;
    m_pLoadThread->start();
    return 0;
}

void CMusicManage::LoadMusicListThreadProc()
{
    // The library stays while this thread runs: closing it waits for the
    // thread first.
    CiTunesCtl* library = nullptr;
    withLibrary([&](CiTunesCtl& open) { library = &open; return 0; }, 0);
    if (library)
        library->LoadMusicList(m_strArtworkFolder, m_pLoadCallBack, m_pUser);
}

int CMusicManage::CtlCmd(tagCtlCmd target, tagCtlState state)
{
    if (target == CMD_ANALYSE)
        return CtlCmdState(state);
    if (target == CMD_LOAD)
        withLibrary([state](CiTunesCtl& library) { return library.CtlCmdState(state); }, 0);
    return 0;
}

int CMusicManage::SetExitState(int exitState)
{
    WriteLog(QStringLiteral("CMusicManage::SetExitState:%1").arg(exitState));
    if (exitState == 0)
        return MM_ERR_FAIL;
    m_bExit = true;
    withLibrary([](CiTunesCtl& library) { library.SetExitState(); return 0; }, 0);
    CtlCmd(tagCtlCmd(m_iCurOperation.load()), CTL_STOP);
    // A paused load or analysis must wake to see the exit, whichever
    // operation was requested last.
    m_analysisGate.Wake();
    stopDownloadSlots();
    waitForWorkerThreads();
    return 0;
}

void CMusicManage::waitForWorkerThreads()
{
    m_pLoadThread->wait();
    m_pAnalyzeThread->wait();
    m_pSaveThread->wait();
}
