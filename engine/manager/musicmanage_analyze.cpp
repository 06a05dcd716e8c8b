// CMusicManage: starting the analysis and its pause, continue and stop.
#include "manager/musicmanage.h"
#include "manager/enginethreads.h"

#include "core/mmlog.h"

#include <QMutexLocker>
#include <QWaitCondition>

namespace {

// The analysis's pause pair: the paused flag and the control state change
// under this mutex, the same one the loop holds while it tests them and
// waits, so a continue or stop cannot fall between its test and its wait.
QMutex m_mutexAnaly;
QWaitCondition m_waitAnaly;

} // namespace

int CMusicManage::AnalyzeMusicList(const tagCtlCmdParam* param, int mask)
{
    WriteLog(QStringLiteral("CMusicManage::AnalyzeMusicList()"));
    if (m_bExit)
        return 0;
    if (m_pAnalyzeThread->isRunning())
        return MM_ERR_FAIL;
    m_iAnalyzeMask = mask;
    m_iCurOperation = param->iOperation;
    // A pause left over from an earlier run would freeze the new one: a
    // continue equal to the state set here would change nothing.
    resetAnalysisControl();
    setAnalysisState(CTL_RUN);
    m_pAnalyzeCallBack = param->pCallBack;
    m_pUser = param->pUser;
    m_pAnalyzeThread->start();
    return 0;
}

int CMusicManage::CtlCmdState(tagCtlState state)
{
    QMutexLocker lock(&m_mutexAnaly);
    // A stop is final for the running analysis.
    if (state == m_ctlState || m_ctlState == CTL_STOP)
        return 0;
    switch (state) {
    case CTL_PAUSE:
        m_bPaused = true;
        break;
    case CTL_RUN:
    case CTL_STOP:
        m_bPaused = false;
        m_waitAnaly.wakeAll();
        break;
    default:
        return 0;
    }
    m_ctlState = state;
    return 0;
}

bool CMusicManage::WaitAnalysisTurn()
{
    QMutexLocker lock(&m_mutexAnaly);
    // Re-checked after every wake-up: it may be spurious.
    while (m_bPaused && m_ctlState != CTL_STOP && !m_bExit)
        m_waitAnaly.wait(&m_mutexAnaly);
    return m_ctlState != CTL_STOP && !m_bExit;
}

void CMusicManage::setAnalysisState(tagCtlState state)
{
    QMutexLocker lock(&m_mutexAnaly);
    m_ctlState = state;
}

void CMusicManage::resetAnalysisControl()
{
    QMutexLocker lock(&m_mutexAnaly);
    m_bPaused = false;
    m_ctlState = CTL_IDLE;
}

void CMusicManage::wakeAnalysisForExit()
{
    QMutexLocker lock(&m_mutexAnaly);
    m_waitAnaly.wakeAll();
}

// The walk over the tracks is not part of the engine yet; MMAnalyzeMusicInfo
// refuses, so nothing starts this thread from outside. Finding nothing to
// do, it leaves the control as the start set it, as it does without a library.
int CMusicManage::AnalyzeMusicInfo()
{
    WriteLog(QStringLiteral("Start AnalyzeMusicInfo"));
    return MM_ERR_FAIL;
}

// Only the end of an analysis starts this thread; with no analysis there is
// no result to store yet.
void CMusicManage::SaveDataToDB()
{
}
