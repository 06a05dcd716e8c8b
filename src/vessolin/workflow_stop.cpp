// Pause and continue of every step, the one ordered stop that closing the
// window and going home share, the project copy, the working database's
// end, Try Again, and the worker threads' end with the window.
#include "vessolin/mainui.h"

#include "appInfo.h"
#include "appguide.h"
#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "treeobj/treeobj.h"
#include "vessolin/analyzethread.h"
#include "vessolin/applythread.h"
#include "vessolin/cache.h"
#include "vessolin/loadthread.h"
#include "vessolin/projectcopy.h"
#include "vessolin/startui.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QMovie>
#include <QPushButton>
#include <QStackedWidget>
#include <QThread>

#include <memory>
#include <utility>

namespace {

// A lookup of a paused fixing run may still write a row while Save Project
// copies; the copy sees that and is made again.
constexpr int kCopyAttempts = 5;
constexpr int kCopyRetryMs = 50;

// The status line's text when a pause or continue reaches stage.
QString PauseOrContinueText(int stage, bool pause)
{
    switch (stage) {
    case MW_LOADING:
        return pause ? CMainUI::tr("Paused. Wanna continue and explore the world of music?")
                     : CMainUI::tr("Continue to scan music library,please wait a moment.");
    case MW_ANALYSING:
        return pause ? QStringLiteral("Pause") : QStringLiteral("Continue");
    case MW_FIXING:
        return pause ? CMainUI::tr("Paused.") : CMainUI::tr("Continue to fix, please wait a moment.");
    default:
        return pause ? CMainUI::tr("Paused. Wanna continue and experience a new library?")
                     : CMainUI::tr("Continue to apply the results,please wait a moment.");
    }
}

} // namespace

void CMainUI::CancelGroup()
{
    const bool pause = m_state.iSubState == SUB_RUNNING;
    const int event = pause ? EV_PAUSE : EV_CONTINUE;
    if (!MainStateTakes(m_state, event))
        return;
    const tagCtlState command = pause ? CTL_PAUSE : CTL_RUN;
    switch (m_state.iState) {
    case MW_LOADING:
        m_pMusicLink->SendCtlCmd(CMD_LOAD, command);
        break;
    case MW_ANALYSING:
        // Until the engine's analysis has handed over, the engine's own
        // loop is the one to hold.
        if (!m_pAnalyzeThread->isRunning())
            m_pMusicLink->SendCtlCmd(CMD_ANALYSE, command);
        else if (pause)
            PauseAnalysisWalk();
        else
            ContinueAnalysisWalk();
        break;
    case MW_FIXING:
        m_pAnalyReport->SetFixState(pause ? CAnalyReport::FS_PAUSE : CAnalyReport::FS_RUN);
        if (!pause)
            m_pAnalyReport->FixAnalyList();
        break;
    case MW_APPLY:
        if (m_state.bDuplicates)
            m_pDuplicate->AppleyCondition(command, true);
        else
            m_pAnalyReport->AppleyCondition(command, true);
        break;
    default:
        break;
    }
    const int stage = m_state.iState;
    Advance(event);
    m_pStatusLabel->setText(PauseOrContinueText(stage, pause));
    m_pMovie->setPaused(pause);
    if (pause)
        m_pBusyWidget->Stop();
    else
        m_pBusyWidget->Start();
}

// Waits for nothing: what the stopped run still reports is dropped, and a
// paused apply or removal wakes to see the stop.
void CMainUI::BeginStop()
{
    m_bCancel = true;
    ++m_iRun;
    m_pAnalyReport->Quit();
    m_pDuplicate->Quit();
}

// The apply thread still ends its song and then its transaction, whose end
// rewrites the library file.
void CMainUI::ShowStopping()
{
    SetBusyOverlay(1);
    m_pStatusLabel->setText(tr("Stopping, please wait a moment."));
}

// Every thread has ended when this returns; nothing of the stopped run
// reaches the window afterwards. The close's and the window's end only:
// Home waits on the apply thread instead.
void CMainUI::StopSequence()
{
    BeginStop();
    const int paused = PausedEngineStage();
    m_pMusicLink->SetExitState(1);
    // Also a walk that runs: closing must not wait for tens of thousands
    // of tracks to be walked for a report nobody will see.
    QuitAnalysisWalk();
    m_pAnalyzeThread->wait();
    m_pApplyThread->wait();
    // What waited for the apply thread's work on the GUI thread is the
    // close's to end now; what a stopped disk step still has to say or
    // decide waits for the close (EndStoppedStep), never for the window's
    // end, which shows nothing.
    m_afterApplyWork = nullptr;
    if (m_closeApplyWork)
        m_stoppedStepEnd = std::exchange(m_closeApplyWork, nullptr);
    StopPausedEngineAndWait(paused);
}

void CMainUI::EndStoppedStep()
{
    if (const std::function<void()> end = std::exchange(m_stoppedStepEnd, nullptr))
        end();
}

// A paused engine load or analysis waits for its continue: the stop must
// end it. 0 when none waits.
int CMainUI::PausedEngineStage() const
{
    const bool paused = m_state.iSubState == SUB_PAUSED
                     && (m_state.iState == MW_LOADING || m_state.iState == MW_ANALYSING);
    return paused ? m_state.iState : 0;
}

void CMainUI::StopPausedEngineAndWait(int pausedStage)
{
    if (pausedStage != 0)
        m_pMusicLink->SendCtlCmd(tagCtlCmd(pausedStage), CTL_STOP);
    m_pReadyLoadThread->wait();
}

// Home's waits, on the apply thread once its own work has ended: the
// engine's threads (a load on a slow disk commits for seconds), the walk
// (told to quit on the GUI thread) and the load thread.
void CMainUI::WaitForStoppedWorkers(int pausedStage)
{
    m_pMusicLink->SetExitState(1);
    m_pAnalyzeThread->wait();
    StopPausedEngineAndWait(pausedStage);
}

void CMainUI::closeEvent(QCloseEvent* event)
{
    WriteUILog(QStringLiteral("Enter CMainUI::closeEvent!"));
    // Home was confirmed and waits for the apply thread: the close, the
    // program's end, may wait for it, and goes on from the start screen.
    if (m_state.bGoingHome)
        FinishGoHome(true);
    // Apply was the answer of an earlier close: the apply's end closes the
    // window. Asked again, a Cancel would keep the window open past that
    // end (its close() is lost while this handler runs) and leave the
    // close waiting for whatever apply came next.
    if (CloseAfterApplyComing()) {
        WriteUILog(QStringLiteral("Close ignored: the window closes when the apply chosen at close ends"));
        event->ignore();
        return;
    }
    m_bCloseAfterApply = false;
    m_bApplyAfterMove = false;
    m_bApplyAfterStep = false;
    // Asked only where Apply can follow: with the report up. Elsewhere (a
    // continued run still loading, a walk that found nothing to show) the
    // working database keeps what waits.
    if (m_state.iOutcome == OUT_REPORT && m_pAnalyReport->IsNeedApply()) {
        const QMessageBox::StandardButton answer = QMessageBox::warning(
            this, tr("Do you want to apply new results?"), tr("Do you want to apply the new results?"),
            QMessageBox::Apply | QMessageBox::Ignore | QMessageBox::Cancel, QMessageBox::Ignore);
        if (answer == QMessageBox::Cancel) {
            event->ignore();
            return;
        }
        if (answer == QMessageBox::Apply) {
            event->ignore();
            ApplyBeforeClose();
            return;
        }
    }
    // At the program's end the close may wait for the apply thread; the
    // window says why it does not answer meanwhile.
    if (m_pApplyThread->isRunning()) {
        ShowStopping();
        repaint();
    }
    StopSequence();
    EndStoppedStep();
    // Ignore leaves them unapplied, and clearing the report forgets them:
    // the working database keeps them for the next start. Asked once the
    // apply has ended, so the songs a stopped apply did not reach count.
    const bool resultsWait = m_pAnalyReport->IsNeedApply();
    m_pAnalyReport->StopWorking();
    ClearCache();
    // The engine keeps the database open and may still write it: it lets
    // go of it before a byte of it is copied.
    m_pMusicLink->DestroyMusicLibrary();
    const QString project = m_strProjectPath;
    if (SaveToDB(true, resultsWait) != PC_OK)
        ProjectNotSaved(project);
    if (m_bDeleteDB)
        DeleteDBFile();
    QMainWindow::closeEvent(event);
}

// The apply Apply was chosen for at close is still to come or under way;
// false also when it never began, so a stale choice cannot hold the close.
bool CMainUI::CloseAfterApplyComing() const
{
    if ((m_bApplyAfterMove && m_state.bMovingFailed) || m_bApplyAfterStep)
        return true;
    return m_bCloseAfterApply && ((m_state.iState == MW_APPLY && IsWorking(m_state)) || m_state.bDiskStep);
}

// The window closes by itself when the apply ends. A running fixing run is
// paused first, so the apply works inside it; an apply under way only
// learns that the window is to close after it, and a paused one goes on.
void CMainUI::ApplyBeforeClose()
{
    if (m_state.iState == MW_APPLY && IsWorking(m_state)) {
        m_bCloseAfterApply = true;
        if (m_state.iSubState == SUB_PAUSED)
            CancelGroup();
        return;
    }
    // The move cannot be paused; its end ends the fixing run and comes
    // back here.
    if (m_state.bMovingFailed) {
        m_bApplyAfterMove = true;
        WriteUILog(QStringLiteral("The apply asked for at close starts when the failed songs are moved"));
        return;
    }
    // Nothing starts beside a disk step of the window's own (Save Project's
    // copy, the editor's commit): the step's end comes back here.
    if (m_state.bDiskStep) {
        m_bApplyAfterStep = true;
        WriteUILog(QStringLiteral("The apply asked for at close starts when the window's disk work has ended"));
        return;
    }
    if (m_state.iState == MW_FIXING && m_state.iSubState == SUB_RUNNING)
        CancelGroup();
    if (!MainStateTakes(m_state, EV_APPLY_START)) {
        WriteUILog(QStringLiteral("The apply asked for at close cannot start now; the window stays open"));
        return;
    }
    m_bCloseAfterApply = true;
    ApplyiTunes();
}

void CMainUI::GoHome()
{
    WriteUILog(QStringLiteral("Enter GoHome()"));
    // Confirmed already: it goes on when the apply thread has ended.
    if (m_state.bGoingHome)
        return;
    const QMessageBox::StandardButton answer = QMessageBox::warning(
        this, tr("Are you sure you want to back to Home?"),
        tr("Are you sure you want to back to Home? If back, the scanning results will not be saved."),
        QMessageBox::Yes | QMessageBox::Cancel, QMessageBox::NoButton);
    if (answer == QMessageBox::Cancel || !Advance(EV_HOME_WAIT))
        return;
    // An apply, a removal or an undo ends its song and then its
    // transaction, whose end rewrites the library file; the engine's load
    // commits what it read; the library's close writes what its journal
    // holds. Each takes seconds on a large library or a slow disk: all of
    // it runs on the apply thread, once that thread has ended what it ran,
    // and the window shows busy meanwhile instead of not answering.
    BeginStop();
    ShowStopping();
    // Its end may have come while the question was open.
    if (m_iApplyEnded == m_pApplyThread->Serial())
        ContinueGoHome();
}

// The apply thread waits for the other workers; then the pages are
// emptied and the same thread closes the library (the engine frees every
// track and writes what its journal still holds into the library file)
// and deletes the cache; then Home ends.
void CMainUI::ContinueGoHome()
{
    const int paused = PausedEngineStage();
    QuitAnalysisWalk();
    RunOnApplyThread([this, paused] { WaitForStoppedWorkers(paused); }, [this] { CloseStoppedRun(); });
}

void CMainUI::CloseStoppedRun()
{
    ClearRunPages();
    m_bHomeClosing = true;
    const tagCacheFolders cache = CacheFoldersOfSettings();
    const tagRunEnd end = RunEndAtHome();
    RunOnApplyThread(
        [this, cache, end] {
            CloseRunLibrary(cache);
            m_iHomeCopy = EndRunDatabase(end);
        },
        [this] { FinishGoHome(false); });
}

void CMainUI::ClearRunPages()
{
    DelelteLoadTreeItem();
    m_pAnalyReport->StopWorking();
}

// Any thread, once no worker uses the library.
void CMainUI::CloseRunLibrary(const tagCacheFolders& cache)
{
    ClearCacheFolders(cache, m_pMusicLink);
    m_pMusicLink->DestroyMusicLibrary();
}

CMainUI::tagRunEnd CMainUI::RunEndAtHome() const
{
    tagRunEnd end;
    if (m_strProjectPath != g_strDBName)
        end.strProject = m_strProjectPath;
    end.bInterrupted = KeepsInterruptedRun();
    // From the duplicate page nothing of this run is loaded: a working
    // database there is an interrupted run kept for a later start. So is
    // the database of a continued run whose load failed.
    end.bDelete = m_state.iState != MW_IDLE && !end.bInterrupted;
    return end;
}

// An opened project takes the run back first; if that copy fails, the
// working database is the run's only copy and stays.
int CMainUI::EndRunDatabase(const tagRunEnd& end) const
{
    const int copied = end.strProject.isEmpty() ? int(PC_OK) : CopyWorkingDatabase(end.strProject);
    if (copied == PC_OK && end.bDelete)
        RemoveWorkingDatabase();
    return copied;
}

void CMainUI::FinishGoHome(bool atClose)
{
    const tagRunEnd end = RunEndAtHome();
    // The close comes here at any point of Home: it waits for what runs on
    // the apply thread and does the rest itself.
    if (atClose)
        StopSequence();
    if (!m_bHomeClosing) {
        ClearRunPages();
        CloseRunLibrary(CacheFoldersOfSettings());
        m_iHomeCopy = EndRunDatabase(end);
    }
    m_bHomeClosing = false;
    const bool copyFailed = m_iHomeCopy != PC_OK;
    m_iHomeCopy = PC_OK;
    // Every copy lets go of the opened project, as at the close.
    if (!end.strProject.isEmpty())
        m_strProjectPath.clear();
    const bool kept = copyFailed || end.bInterrupted;
    if (copyFailed)
        WriteUILog(QStringLiteral("GoHome kept the working database: the project copy failed"));
    else if (end.bInterrupted)
        WriteUILog(QStringLiteral("GoHome kept the working database: the continued run's load failed"));
    m_eLoadMode = EMusicRunMode(0);
    ResetWorkflow();
    m_pRemoveBut->setEnabled(true);
    m_pDuplicate->StopWorking();
    if (copyFailed)
        ProjectNotSaved(end.strProject);
    // Every new request replaces the working database: the user decides
    // about the kept run first, as at start; a closing window keeps it for
    // the next start.
    if (kept && !atClose)
        m_pStartUI->CheckingIsSave();
}

// The start look: welcome header, start screen, score 100, nothing running.
void CMainUI::ResetWorkflow()
{
    m_dScore = PROGRESS_FULL;
    m_dItemScore = 0.0;
    m_iSavedProgress = -1;
    m_bCloseAfterApply = false;
    m_bApplyAfterMove = false;
    m_bApplyAfterStep = false;
    m_bDeleteDB = false;
    m_eLibraryMode = EMusicRunMode(0);
    Advance(EV_RESET);
    m_pMovie->stop();
    ShowScore();
    m_pTopStack->setCurrentIndex(HEADER_WELCOME);
    m_pPageStack->setCurrentIndex(PAGE_START);
    SetBusyOverlay(0);
}

void CMainUI::LoadXMLPath()
{
    m_pStartUI->SetCleanerBtnText(m_eLoadMode == RUN_ITUNES ? tr("Select Library XML File")
                                                            : tr("Start to Clean iTunes"));
    DelelteLoadTreeItem();
    // A continued run whose load failed left its database for a later try
    // (the start screen asks only while it is there); one whose load found
    // nothing left to do is over, and its database goes, unless results it
    // brought still wait there (the analysis settings changed since they
    // were found): it is offered again, as at start.
    const bool ownDatabase = m_strProjectPath == g_strDBName;
    const bool kept = KeepsInterruptedRun() || (ownDatabase && m_pAnalyReport->IsNeedApply());
    // An opened project takes nothing back from a run that ended here.
    if (!kept)
        m_strProjectPath.clear();
    const tagCacheFolders cache = CacheFoldersOfSettings();
    ++m_iRun;
    const bool started = StartDiskStep(
        [this, cache, kept] {
            ClearCacheFolders(cache, m_pMusicLink);
            // A kept run lives on in its working database alone, which the
            // start screen offers: the library goes in any case, and with it
            // its lock, so that another Vessolin may open the library now.
            m_pMusicLink->DestroyMusicLibrary();
            if (!kept)
                RemoveWorkingDatabase();
        },
        [this, kept] { ReturnToStart(kept); });
    if (!started)
        WriteUILog(QStringLiteral("Try Again waits: the window's own disk work runs"));
}

void CMainUI::ReturnToStart(bool kept)
{
    // Home was pressed while the step ran: its own end, once it has closed
    // the run, leads to the start screen.
    if (m_state.bGoingHome)
        return;
    ResetWorkflow();
    if (IsDuplicateRunMode(m_eLoadMode))
        Duplicate();
    else if (kept)
        m_pStartUI->CheckingIsSave();
}

int CMainUI::SaveToDB(bool atExit, bool resultsWait)
{
    if (m_strProjectPath.isEmpty() || m_strProjectPath == g_strDBName) {
        // The score starts full: until this run's analysis has ended it
        // says nothing of the library. A run closed before its report (a
        // continued one is the only copy of its work) stays for the next
        // start, and so does a database this run never loaded or whose
        // results still wait to be applied. A fresh run closed during its
        // load holds nothing of the user's: what it read is untouched where
        // it came from, and its part of it, continued, would be analysed as
        // if it were the whole library.
        const bool freshLoad = m_state.iState == MW_LOADING && IsWorking(m_state) && !m_state.bResumedProject;
        const bool done = HasFinishedAnalysis(m_state) && !resultsWait && m_dScore >= PROGRESS_FULL;
        if (atExit && QFile::exists(g_strDBName) && (freshLoad || done))
            m_bDeleteDB = true;
        return PC_OK;
    }
    const int result = CopyWorkingDatabase(m_strProjectPath);
    // Only a verified copy lets the working database go.
    if (atExit && result == PC_OK)
        m_bDeleteDB = true;
    m_strProjectPath.clear();
    return result;
}

int CMainUI::CopyWorkingDatabase(const QString& target) const
{
    m_pMusicLink->NoteDiskWork(CMusicLink::DW_PROJECT_COPY);
    int result = CopyProjectFile(g_strDBName, target);
    for (int attempt = 1; attempt < kCopyAttempts
                          && (result == PC_SOURCE_BUSY || result == PC_SOURCE_CHANGED);
         ++attempt) {
        QThread::msleep(kCopyRetryMs);
        result = CopyProjectFile(g_strDBName, target);
    }
    if (result == PC_NO_SOURCE || result == PC_NO_TARGET)
        WriteUILog(QStringLiteral("Open Save File or DB File Failed"));
    else if (result != PC_OK)
        WriteUILog(QStringLiteral("Copy To Save Failed"));
    return result;
}

void CMainUI::DeleteDBFile()
{
    if (m_pMusicLink)
        m_pMusicLink->DestroyMusicLibrary();
    RemoveWorkingDatabase();
}

void CMainUI::RemoveWorkingDatabase() const
{
    if (m_pMusicLink)
        m_pMusicLink->NoteDiskWork(CMusicLink::DW_DATABASE_DELETE);
    if (QFile::exists(g_strDBName) && !QFile::remove(g_strDBName))
        WriteUILog(QStringLiteral("Delete DB Failed:%1").arg(g_strDBName));
}

void CMainUI::SaveProjectNow()
{
    char music[512] = {};
    const QString folder = applicationDataDirectory_s(music, sizeof music, kMusicFolder, nullptr) == 0
                               ? QString::fromUtf8(music)
                               : QString();
    const QString chosen = GetSaveFileFunWithType(reinterpret_cast<const unsigned short*>(folder.utf16()),
                                                  int(folder.size()), "zorvadata");
    // A cancelled panel changes nothing: an opened project is still the
    // one that takes the run back at exit.
    if (chosen.isEmpty())
        return;
    // The engine's save after an analysis may still be writing; the wait
    // for it and the copy, seconds on a slow disk or a share, run on the
    // apply thread.
    auto result = std::make_shared<int>(PC_OK);
    const auto saved = [this, chosen, result] { ProjectSaved(chosen, *result); };
    // A close during the copy waits for it and says its end too.
    const bool started = StartDiskStep(
        [this, chosen, result] {
            m_pMusicLink->WaitForSaveToDB();
            *result = CopyWorkingDatabase(chosen);
        },
        saved, saved);
    // The panel's own event loop turned: something may have begun meanwhile.
    if (!started)
        ProjectSaved(chosen, PC_SOURCE_BUSY);
}

void CMainUI::ProjectSaved(const QString& chosen, int result)
{
    // The user asked for this file and would otherwise take it as saved.
    // What the run's working database is to the window stays as it was: an
    // opened project still takes the run back at exit, and a continued run
    // is still the kept run Try Again offers again.
    if (result != PC_OK) {
        ProjectNotSaved(chosen);
        return;
    }
    // The saved copy holds the run now: the opened project no longer takes
    // it back. A run of the working database itself is still that run,
    // unfinished: the copy is the user's file, which they may move or
    // delete, and Try Again or the next start offers the run as before.
    if (m_strProjectPath != g_strDBName)
        m_strProjectPath.clear();
}

void CMainUI::ProjectNotSaved(const QString& project)
{
    QMessageBox::warning(this, QString(), tr("The project could not be saved to \"%1\".")
                                              .arg(QDir::toNativeSeparators(project)));
}

void CMainUI::EndWorkflow()
{
    const bool running = (m_pReadyLoadThread && m_pReadyLoadThread->isRunning())
                      || (m_pAnalyzeThread && m_pAnalyzeThread->isRunning())
                      || (m_pApplyThread && m_pApplyThread->isRunning());
    if (running && m_pMusicLink)
        StopSequence();
    delete m_pAnalyzeThread;
    m_pAnalyzeThread = nullptr;
    delete m_pApplyThread;
    m_pApplyThread = nullptr;
    delete m_pReadyLoadThread;
    m_pReadyLoadThread = nullptr;
}
