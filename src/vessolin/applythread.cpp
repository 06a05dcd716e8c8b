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
    // A removal is prepared by the duplicate page's PrepareRemove, which
    // takes its rows too.
    if (!removal)
        m_pAnalyReport->PrepareApply();
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
