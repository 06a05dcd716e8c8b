// The window's side of duplicates: the duplicate page, its Scan request,
// the removal on the apply thread and the Remove button.
#include "vessolin/mainui.h"

#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "reporter/duplicate.h"
#include "treeobj/treeobj.h"
#include "vessolin/applythread.h"

#include <QLabel>
#include <QMovie>
#include <QPushButton>
#include <QStackedWidget>

void CMainUI::Duplicate()
{
    Advance(EV_DUPLICATE_PAGE);
    SetPhasePicture(QStringLiteral("duplicate"), QString(), 0);
    m_pProgressStack->setCurrentIndex(1);
    ShowTips({tr("Let Vessolin help you clean-up duplicate songs in your music library!")});
    m_pStatusLabel->setText(tr("Drag-and-drop or Add music files or folder(s) to find duplicates."));
    m_pPageStack->setCurrentIndex(PAGE_DUPLICATE);
    m_pTopStack->setCurrentIndex(HEADER_WORK);
    m_pDuplicate->ClearTrash();
}

void CMainUI::ScanDuplicate()
{
    QStringList names;
    m_pDuplicate->GetMusicNames(names);
    if (names.isEmpty())
        return;
    LoadStartParam(names, g_strDBName, RUN_DUP_FILES);
}

void CMainUI::RemoveDuplicate()
{
    if (!MainStateTakes(m_state, EV_APPLY_START))
        return;
    if (CConfig::instance()->GetMsgInfo() == 0) {
        CMessgboxEx confirm(this);
        if (confirm.exec() != 1)
            return;
    }
    if (!Advance(EV_APPLY_START))
        return;
    SetBusyOverlay(1);
    ShowTips({tr("Vessolin is cleaning up duplicate songs.")});
    m_pProgressStack->setCurrentIndex(1);
    m_pStatusLabel->setText(tr("Removing duplicates music, please wait..."));
    // The rows and marks are the page's widgets: taken here, on the GUI
    // thread, with the preview stopped, before the thread works on them.
    m_pDuplicate->PrepareRemove();
    m_pApplyThread->Start(CApplyThread::AW_REMOVAL, m_iRun);
}

void CMainUI::SetRemoveEnable(bool enabled)
{
    m_pRemoveBut->setEnabled(enabled);
}

void CMainUI::UndoRemoval(QTreeWidgetItem* row)
{
    if (!Advance(EV_UNDO_START))
        return;
    SetBusyOverlay(1);
    m_pDuplicate->PrepareUndo(row);
    m_pApplyThread->Start(CApplyThread::AW_UNDO, m_iRun);
}

void CMainUI::UndoEnded(int run)
{
    if (run != m_iRun || !Advance(EV_UNDO_END))
        return;
    SetBusyOverlay(0);
}
