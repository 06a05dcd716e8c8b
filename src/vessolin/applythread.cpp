#include "vessolin/applythread.h"

#include "reporter/analyreport.h"
#include "reporter/duplicate.h"

CApplyThread::CApplyThread(CAnalyReport* report, CDuplicate* duplicate, QObject* parent)
    : QThread(parent), m_pAnalyReport(report), m_pDuplicate(duplicate)
{
}

CApplyThread::~CApplyThread()
{
    wait();
}

void CApplyThread::Start(EWork work, int run)
{
    // The last work's end reached the window just before its run()
    // returned; a start before that return would be dropped by QThread.
    wait();
    m_eWork = work;
    m_iRun = run;
    ++m_iSerial;
    if (work == AW_APPLY)
        m_pAnalyReport->PrepareApply();
    start(QThread::InheritPriority);
}

void CApplyThread::StartDiskWork(std::function<void()> work)
{
    wait();
    m_diskWork = std::move(work);
    Start(AW_DISK, m_iRun);
}

void CApplyThread::run()
{
    switch (m_eWork) {
    case AW_APPLY:
        m_pAnalyReport->AppleyiTunes();
        emit SendApplyOK(m_iRun);
        break;
    case AW_REMOVAL:
        m_pDuplicate->RemoveDuplicate();
        emit SendApplyOK(m_iRun);
        break;
    case AW_UNDO:
        m_pDuplicate->UndoRemoval();
        emit SendUndoOK(m_iRun);
        break;
    case AW_DISK:
        m_diskWork();
        m_diskWork = nullptr;
        break;
    }
    emit WorkEnded(m_iSerial);
}
