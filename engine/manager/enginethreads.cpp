#include "manager/enginethreads.h"
#include "manager/musicmanage.h"

void CLoadThread::run()
{
    m_pManage->LoadMusicListThreadProc();
}

void CAnalyzeThrad::run()
{
    m_pManage->AnalyzeMusicInfo();
}

void CSaveToDBThread::run()
{
    m_pManage->SaveDataToDB();
}

void CDowndThrad::run()
{
    m_pManage->DownloadMousicInfoThreadProc(m_pSlot);
    m_pSlot = nullptr;
}
