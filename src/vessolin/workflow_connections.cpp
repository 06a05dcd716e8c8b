// The workflow's worker threads and every connection that feeds it: the
// bridge's records, the threads' reports, the pages' signals and the
// header's action buttons. All are automatic connections, so what a worker
// or the engine sends arrives queued, in order, on the GUI thread.
#include "vessolin/mainui.h"

#include "customcontrols/customcontrols.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "vessolin/analyzethread.h"
#include "vessolin/applythread.h"
#include "vessolin/loadthread.h"

#include <QPushButton>
#include <QTreeWidgetItem>

void CMainUI::ConnectWorkflow()
{
    m_pReadyLoadThread = new CReadyLoadThread(m_pMusicLink, m_bCancel, this);
    m_pAnalyzeThread = new CAnalyzeThread(m_pAnalyReport, m_pDuplicate, m_pMusicLink, this);
    m_pApplyThread = new CApplyThread(m_pAnalyReport, m_pDuplicate, this);
    ConnectWorkerThreads();
    ConnectWorkflowBridge();
    ConnectWorkflowPages();
    ConnectWorkflowButtons();
}

void CMainUI::ConnectWorkerThreads()
{
    connect(m_pReadyLoadThread, &CReadyLoadThread::ReadyToLoadingOK, this, &CMainUI::ReadyToLoadingOK);
    connect(m_pReadyLoadThread, &CReadyLoadThread::ScaningPath, this, [this](const QString& folder) {
        if (!m_bCancel)
            emit ScaningPath(folder);
    });
    connect(this, &CMainUI::ScaningPath, this, &CMainUI::StartFixAll);
    connect(m_pAnalyzeThread, &CAnalyzeThread::UpdateProcess, this, [this](int progress, int run) {
        if (run == m_iRun)
            UpdateProcess(progress);
    });
    connect(m_pAnalyzeThread, &CAnalyzeThread::StartFixAll, this, [this](const QString& text, int run) {
        if (run == m_iRun)
            StartFixAll(text);
    });
    connect(m_pAnalyzeThread, &CAnalyzeThread::SandUpdataReport, this, &CMainUI::UpdataReport);
    connect(m_pApplyThread, &CApplyThread::SendApplyOK, this, &CMainUI::UpdataApplyOK);
    connect(m_pApplyThread, &CApplyThread::SendUndoOK, this, &CMainUI::UndoEnded);
    connect(m_pApplyThread, &CApplyThread::WorkEnded, this, &CMainUI::ApplyWorkEnded);
}

void CMainUI::ConnectWorkflowBridge()
{
    if (!m_pMusicLink)
        return;
    connect(m_pMusicLink, &CMusicLink::SendLoadOK, this, &CMainUI::AcceptLoadOK);
    connect(m_pMusicLink, &CMusicLink::SendLoadFailed, this, &CMainUI::AcceptLoadFailed);
    connect(m_pMusicLink, &CMusicLink::SendSaveFailed, this, &CMainUI::AcceptSaveFailed);
    connect(m_pMusicLink, &CMusicLink::SendDowldInfo, this, &CMainUI::AcceptDowldInfo);
    connect(m_pMusicLink, &CMusicLink::SendLoadMusic, this, &CMainUI::LoadMusic);
    connect(m_pMusicLink, &CMusicLink::UpdateProcess, this, &CMainUI::UpdateProcess);
    connect(m_pMusicLink, &CMusicLink::SendAnalyzeOK, this, &CMainUI::AcceptAnalyzeInfo);
}

void CMainUI::ConnectWorkflowPages()
{
    connect(m_pAnalyReport, &CAnalyReport::UpdateProcess, this, &CMainUI::UpdateProcess);
    connect(m_pAnalyReport, &CAnalyReport::ReportFixInfo, this, &CMainUI::ReportFixInfo);
    connect(m_pAnalyReport, &CAnalyReport::StartFixAll, this, &CMainUI::StartFixAll);
    connect(m_pAnalyReport, &CAnalyReport::EndFialedState, this, &CMainUI::EndFialedState);
    connect(m_pAnalyReport, &CAnalyReport::ReportFixAllComplete, this, &CMainUI::ReportFixAllComplete);
    connect(m_pAnalyReport, &CAnalyReport::MoveFailedItemState, this, &CMainUI::MoveFailedItemState);
    connect(m_pAnalyReport, &CAnalyReport::MoveFailedItemStateOK, this, &CMainUI::MoveFailedItemStateOK);
    connect(m_pDuplicate, &CDuplicate::SetRemoveEnable, this, &CMainUI::SetRemoveEnable);
    connect(m_pDuplicate, &CDuplicate::AddFixMissNum, this, &CMainUI::AddFixMissNum);
    connect(m_pDuplicate, &CDuplicate::StartFixAll, this, &CMainUI::StartFixAll);
    connect(m_pDuplicate, &CDuplicate::Complete, this, &CMainUI::LoadStartParam);
    connect(m_pDuplicate, &CDuplicate::UndoRequested, this, &CMainUI::UndoRemoval);
    connect(m_pApplyOrSaveLabel, &CRichLabel::Clicked, this, &CMainUI::ApplyOrSave);
}

void CMainUI::ConnectWorkflowButtons()
{
    connect(m_pHomeBut, &QPushButton::clicked, this, &CMainUI::GoHome);
    connect(m_pPauseBut, &QPushButton::clicked, this, &CMainUI::CancelGroup);
    connect(m_pFixAllBut, &QPushButton::clicked, this, &CMainUI::Fixall);
    connect(m_pApplyBut, &QPushButton::clicked, this, &CMainUI::ApplyiTunes);
    connect(m_pTryAgainBut, &QPushButton::clicked, this, &CMainUI::LoadXMLPath);
    connect(m_pRefixBut, &QPushButton::clicked, this, &CMainUI::ButControl);
    connect(m_pScanBut, &QPushButton::clicked, this, &CMainUI::ScanDuplicate);
    connect(m_pRemoveBut, &QPushButton::clicked, this, &CMainUI::RemoveDuplicate);
}
