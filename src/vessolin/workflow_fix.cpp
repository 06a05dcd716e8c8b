// The window's side of fixing and applying: Fix All and Refix, the score
// and progress the report page reports, the end of a fixing run, the apply
// with its replace question, and the apply's end.
#include "vessolin/mainui.h"

#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "information/modifymusicinfo.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "treeobj/treeobj.h"
#include "vessolin/analyzethread.h"
#include "vessolin/applythread.h"

#include <QLabel>
#include <QMessageBox>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QStackedWidget>

#include <memory>

namespace {

constexpr int kMetaFields = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_YEAR | MF_GENRE;

// The apply's last word: the state it ends in, then what it could not write.
QString withFailures(const QString& text, const QString& failures)
{
    return failures.isEmpty() ? text : text + QLatin1Char(' ') + failures;
}

} // namespace

void CMainUI::Fixall()
{
    if (!Advance(EV_FIX_START))
        return;
    StartFixing(true);
    m_pAnalyReport->SetArtworkState(CTL_RUN);
    m_pAnalyReport->SetFixState(CAnalyReport::FS_RUN);
    m_pAnalyReport->StopPlay();
    m_pAnalyReport->FixAnalyList();
}

void CMainUI::ButControl()
{
    if (m_pAnalyReport->IsNeedFix()) {
        Fixall();
        return;
    }
    if (!Advance(EV_FIX_START))
        return;
    StartFixing(false);
    m_pAnalyReport->StartFixFailed();
}

// The look of a fixing run; the picture changes only for a whole run.
void CMainUI::StartFixing(bool all)
{
    SetProgress(0);
    if (all)
        SetPhasePicture(QStringLiteral("fix_bg"), QStringLiteral("fix"), 1);
    m_pTipsLabel->setHidden(true);
    m_pProgressStack->setCurrentIndex(0);
    SetProgressColours(true);
}

void CMainUI::ReportFixInfo(int open, int progress)
{
    if (open >= 0) {
        m_dScore = PROGRESS_FULL - QuartersOff(open, m_dItemScore);
        if (m_dScore + QuartersOff(1, m_dItemScore) > PROGRESS_FULL) {
            m_dScore = PROGRESS_FULL;
            Advance(EV_PROBLEMS_LEFT, 0);
        } else if (m_dScore <= 0) {
            m_dScore = 0;
        }
        ShowScore();
    }
    UpdateProcess(progress);
}

void CMainUI::AddFixMissNum(int count)
{
    if (count == 0)
        return;
    m_dScore += count * m_dItemScore;
    // Within one track's weight of full is full: no rounding leaves 99.
    if (m_dScore + m_dItemScore > PROGRESS_FULL)
        m_dScore = PROGRESS_FULL;
    else if (m_dScore <= 0)
        m_dScore = 0;
    ShowScore();
}

void CMainUI::EndFialedState(bool ended)
{
    Advance(EV_PROBLEMS_LEFT, ended ? 0 : 1);
}

void CMainUI::MoveFailedItemState()
{
    Advance(EV_MOVE_FAILED);
    m_pStatusLabel->setText(tr("Processing failed songs list, please wait..."));
    SetBusyOverlay(1);
}

void CMainUI::MoveFailedItemStateOK()
{
    Advance(EV_MOVE_FAILED_DONE);
    SetBusyOverlay(0);
    if (m_bApplyAfterMove) {
        m_bApplyAfterMove = false;
        ApplyBeforeClose();
    }
}

void CMainUI::ReportFixAllComplete()
{
    if (!Advance(EV_FIX_END))
        return;
    ShowTips({tr("Congrats! Your library looks great now. You can apply all the results now."),
              tr("Relax now. Let me take you to start a great music feast."),
              tr("Well done. You have defeated most of other computers. Just enjoy your music now.")});
    m_pProgressStack->setCurrentIndex(1);
    SetPhasePicture(QStringLiteral("fix_end_bg"), QStringLiteral("fix_end"), 1);
}

void CMainUI::AcceptDowldInfo(void* track, int absence, int type, int state)
{
    // The page drops a result once its exit flag is set.
    m_pAnalyReport->FixCallBrack(track, absence, type, state);
}

void CMainUI::ApplyiTunes()
{
    if (!MainStateTakes(m_state, EV_APPLY_START))
        return;
    CConfig* config = CConfig::instance();
    if ((config->Replace & OPT_REPLACE_META) && (config->Replace & kMetaFields)) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            this, QString(), tr("Are you sure you want to replace songs meta and apply the result?"),
            QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes);
        // No never cancels: the apply goes on without replacing, now and later.
        if (answer == QMessageBox::No)
            config->Replace &= ~OPT_REPLACE_META;
    }
    // The question's own event loop may have let the state move on.
    if (!MainStateTakes(m_state, EV_APPLY_START))
        return;
    CommitOpenEdits();
}

// The apply thread reads the tracks' working copies: an edit still open in
// the track editor is written to them first. That write is an SQLite
// commit, so it runs on the apply thread too, as a disk step; the report
// hears of the edit before the apply begins, as after any other edit.
void CMainUI::CommitOpenEdits()
{
    CModifyMusicInfo* editor = m_pAnalyReport->ModifyInfo();
    auto edit = std::make_shared<tagEditCommit>();
    if (editor && !editor->TakePendingEdit(*edit))
        WriteUILog(QStringLiteral("The open edit was refused; the apply goes on without it"));
    if (!edit->track) {
        StartApply();
        return;
    }
    CMusicLink* link = m_pMusicLink;
    StartDiskStep([link, edit] { CModifyMusicInfo::CommitEdit(link, *edit); }, [this, editor, edit] {
        editor->EditCommitted(*edit);
        StartApply();
    });
}

// False when the state no longer takes the apply (Home came meanwhile).
bool CMainUI::StartApply()
{
    const bool insideFixing = m_state.iState == MW_FIXING;
    if (!Advance(EV_APPLY_START)) {
        // Nothing will close the window after an apply that never began.
        m_bCloseAfterApply = false;
        return false;
    }
    m_pPageStack->setCurrentIndex(PAGE_REPORT);
    SetBusyOverlay(1);
    if (insideFixing) {
        m_iSavedProgress = m_pProgressBar->value();
        SetProgress(0);
    } else {
        m_pProgressStack->setCurrentIndex(0);
    }
    m_pStatusLabel->setText(tr("Applying the results, please wait a moment."));
    m_pApplyThread->Start(CApplyThread::AW_APPLY, m_iRun);
    return true;
}

void CMainUI::UpdataApplyOK(int run)
{
    if (run != m_iRun)
        return;
    const bool insideFixing = m_state.bApplyInFix;
    // Work that did not reach the disk finishes nothing: what was applied
    // or removed waits to be pressed again.
    const int removalEnd = m_state.bDuplicates ? m_pDuplicate->RemovalEndResult() : 0;
    const bool landed = m_state.bDuplicates ? removalEnd == 0 : m_pAnalyReport->ApplyLanded();
    if (!Advance(landed ? EV_APPLY_END : EV_APPLY_FAILED))
        return;
    SetBusyOverlay(0);
    if (m_state.bDuplicates) {
        ShowRemovalEnd();
    } else if (insideFixing) {
        // Back in the paused fixing run, where it stood.
        m_pStatusLabel->setText(withFailures(tr("Paused."), m_pAnalyReport->ApplyFailureText()));
        SetProgress(m_iSavedProgress);
        m_iSavedProgress = -1;
    } else {
        ShowApplyEnd(landed);
    }
    if (!m_bCloseAfterApply)
        return;
    // The window stays open to say why; the next close asks again.
    if (!landed) {
        m_bCloseAfterApply = false;
        WriteUILog(QStringLiteral("The apply asked for at close did not land; the window stays open"));
        return;
    }
    // Done with either way: a close the window refuses now must not come
    // back at the end of a later apply.
    m_bCloseAfterApply = false;
    close();
}

void CMainUI::ShowApplyEnd(bool landed)
{
    m_pProgressStack->setCurrentIndex(1);
    // A song that could not be written needs the user, not another fix.
    const QString failures = m_pAnalyReport->ApplyFailureText();
    if (!landed)
        m_pStatusLabel->setText(failures);
    else if (!failures.isEmpty())
        m_pStatusLabel->setText(withFailures(tr("Results applyed."), failures));
    else
        m_pStatusLabel->setText(m_dScore >= PROGRESS_FULL ? tr("Results applyed.")
                                                          : tr("Results applyed. You can try fix again."));
}

void CMainUI::ShowRemovalEnd()
{
    m_pProgressStack->setCurrentIndex(1);
    const QString failures = m_pDuplicate->RemovalFailureText();
    if (failures.isEmpty() && m_pDuplicate->RemovalMoved() > 0) {
        ShowTips({tr("Congratulations! Duplicates has been removed successfully.")});
        return;
    }
    // No tip calls it a success while a marked song stayed, nor when no
    // song went. The page's count of removed songs came before the apply
    // thread's end and stays in front.
    m_pTipsLabel->ClearText();
    m_pTipsLabel->setHidden(true);
    if (!failures.isEmpty())
        m_pStatusLabel->setText(withFailures(m_pStatusLabel->text(), failures));
}

void CMainUI::ApplyOrSave(int index)
{
    if (index == 1) {
        ApplyiTunes();
        return;
    }
    // While the engine writes the working database (a load, an apply) no
    // copy of it can be whole.
    if (index == 3 && MainControlsOf(m_state).bSaveProject)
        SaveProjectNow();
}
