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

void CApplyThread::Start(bool removal, int run)
{
    m_bRemoval = removal;
    m_iRun = run;
    // A pause pressed after the last apply's loop had ended, while its end
    // was still on the way to the window, is still set: this apply would
    // halt at its first song while the window shows it running. A removal
    // is released by the duplicate page's PrepareRemove.
    if (!removal)
        m_pAnalyReport->AppleyCondition(CTL_RUN, true);
    start(QThread::InheritPriority);
}

void CApplyThread::run()
{
    if (m_bRemoval)
        m_pDuplicate->RemoveDuplicate();
    else
        m_pAnalyReport->AppleyiTunes();
    emit SendApplyOK(m_iRun);
}
