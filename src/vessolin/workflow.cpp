// Interim: the window's side of the load and analysis workflow until the
// workflow's own files replace this one. It records the request and moves
// the window to its loading look so the menus and the start screen can be
// driven; it starts no load.
#include "vessolin/mainui.h"

#include "common.h"

#include <QStackedWidget>

void CMainUI::ConnectWorkflow() {}

void CMainUI::LoadStartParam(const QStringList& paths, const QString& path, EMusicRunMode mode)
{
    const tagMainState next = MainStateAfter(m_state, EV_LOAD_REQUEST, mode);
    if (next == m_state)
        return;
    m_state = next;
    m_eLoadMode = mode;
    m_strProjectPath = path;
    m_listLoadPaths = paths;
    m_pPageStack->setCurrentIndex(PAGE_LOAD);
    m_pTopStack->setCurrentIndex(HEADER_WORK);
    UpdateEditActions();
}

void CMainUI::Duplicate()
{
    m_pPageStack->setCurrentIndex(PAGE_DUPLICATE);
}

void CMainUI::CancelGroup()
{
    const tagMainState next = MainStateAfter(m_state, m_state.iSubState == SUB_PAUSED ? EV_CONTINUE : EV_PAUSE);
    if (next == m_state)
        return;
    m_state = next;
    SetPauseLook(MainControlsOf(m_state).bContinueLook);
    UpdateEditActions();
}

void CMainUI::ApplyOrSave(int)
{
    WriteUILog(QStringLiteral("Save Project: not available in this build yet"));
}
