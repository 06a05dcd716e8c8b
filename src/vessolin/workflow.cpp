// Interim: the window's side of the load and analysis workflow until the
// workflow's own files replace this one. It records the request and moves
// the window to its loading look so the menus and the start screen can be
// driven; it starts no load.
#include "vessolin/mainui.h"

#include "common.h"
#include "vessolin/menustate.h"

#include <QStackedWidget>

void CMainUI::ConnectWorkflow() {}

void CMainUI::LoadStartParam(const QStringList& paths, const QString& path, EMusicRunMode mode)
{
    if (mode == 0)
        return;
    m_eLoadMode = mode;
    m_strProjectPath = path;
    m_listLoadPaths = paths;
    m_pPageStack->setCurrentIndex(PAGE_LOAD);
    m_pTopStack->setCurrentIndex(HEADER_WORK);
    m_iState = MW_LOADING;
    m_iSubState = SUB_RUNNING;
    UpdateEditActions();
}

void CMainUI::Duplicate()
{
    m_pPageStack->setCurrentIndex(PAGE_DUPLICATE);
}

void CMainUI::CancelGroup()
{
    if (m_iState == MW_IDLE || (m_iSubState != SUB_RUNNING && m_iSubState != SUB_PAUSED))
        return;
    m_iSubState = m_iSubState == SUB_RUNNING ? SUB_PAUSED : SUB_RUNNING;
    SetPauseLook(m_iSubState == SUB_PAUSED);
    UpdateEditActions();
}

void CMainUI::ApplyOrSave(int)
{
    WriteUILog(QStringLiteral("Save Project: not available in this build yet"));
}
