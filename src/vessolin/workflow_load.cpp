// The window's load and analysis: taking a load request, the load list and
// its progress, the load failure, the start of the engine's analysis, the
// walk over its results and the report or duplicate results at the end.
// Also the one place a change of stage sets the controls it decides.
#include "vessolin/mainui.h"

#include "common.h"
#include "config.h"
#include "customcontrols/customcontrols.h"
#include "loadtree.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "reporter/storagefailure.h"
#include "treeobj/treeobj.h"
#include "vessolin/analyzethread.h"
#include "vessolin/cache.h"
#include "vessolin/loadthread.h"

#include <QLabel>
#include <QMovie>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStackedWidget>

namespace {

// The filled part of the progress bar is never narrower than its style's
// 15 pixels: below this many pixels' worth of progress it would not show.
constexpr int kMinimumFilledPixels = 15;

} // namespace

bool CMainUI::Advance(int event, int detail)
{
    if (!MainStateTakes(m_state, event, detail))
        return false;
    const tagMainState after = MainStateAfter(m_state, event, detail);
    // The page reports counts often; an unchanged state restyles nothing.
    if (after != m_state) {
        m_state = after;
        ShowControls();
    }
    return true;
}

void CMainUI::ShowControls()
{
    const tagMainControls controls = MainControlsOf(m_state);
    UpdateEditActions();
    m_pButtonStack->setEnabled(controls.bActionButtons);
    m_pPauseBut->setEnabled(controls.bPauseButton);
    SetPauseLook(controls.bContinueLook);
    if (controls.iButtonPage == BP_TRYAGAIN)
        SetButtonLook(m_pTryAgainBut, controls.bReturnText ? tr("Return") : tr("Try Again"),
                      QStringLiteral("return"), QStringLiteral("#3d90c5"));
    m_pButtonStack->setCurrentIndex(controls.iButtonPage);
    m_pRefixBut->setVisible(controls.bRefixButton);
    m_pApplyOrSaveLabel->setVisible(controls.bApplyOrSaveLink);
}

void CMainUI::LoadStartParam(const QStringList& paths, const QString& path, EMusicRunMode mode)
{
    // The start screen hands an opened project over as its file; the
    // working database takes its bytes first, on the apply thread.
    if (mode == RUN_PROJECT && path != g_strDBName) {
        OpenProjectFile(path);
        return;
    }
    StartLoadRequest(paths, path, mode);
}

void CMainUI::StartLoadRequest(const QStringList& paths, const QString& path, EMusicRunMode mode)
{
    if (!Advance(EV_LOAD_REQUEST, mode))
        return;
    m_bCancel = false;
    ++m_iRun;
    m_iSaveFailure = 0;
    m_eLoadMode = mode;
    m_strProjectPath = path;
    m_listLoadPaths = paths;

    SetProgressColours(false);
    SetProgress(0);
    m_pTipsLabel->setHidden(true);
    m_pProgressStack->setCurrentIndex(0);
    m_pPageStack->setCurrentIndex(PAGE_LOAD);
    m_pTopStack->setCurrentIndex(HEADER_WORK);
    SetBusyOverlay(1);
    m_pStatusLabel->setText(tr("Loading, please wait..."));
    SetPhasePicture(QString(), QStringLiteral("scanning"), 1);

    QResizeEvent relayout(size(), size());
    resizeEvent(&relayout);
    tagLoadRequest request;
    request.iRun = m_iRun;
    request.eMode = mode;
    request.listPaths = paths;
    request.strTrashPath = CConfig::instance()->GetTrashPath();
    request.cache = CacheFoldersOfSettings();
    m_pReadyLoadThread->Start(request);
}

void CMainUI::ReadyToLoadingOK(int result, int run)
{
    // A stopped request's end: the library it prepared is gone or going.
    if (run != m_iRun || m_bCancel)
        return;
    if (result != 0) {
        // Only a library in use, or one whose lock file cannot be had, has
        // a reason of its own to tell.
        LoadFailed(CStorageFailure::IsLibraryRefusal(result) ? result : 0);
        return;
    }
    if (!Advance(EV_LOAD_PREPARED))
        return;
    SetBusyOverlay(0);
    if (m_pMusicLink->LoadiTunesMusic() != 0)
        LoadFailed();
}

void CMainUI::LoadMusic(void* track, int progress, QString location)
{
    const bool busy = IsWorking(m_state);
    const bool loading = m_state.iState == MW_LOADING && busy && !m_state.bPreparing;
    if (!loading && !(m_state.iState == MW_ANALYSING && busy))
        return;
    // The engine's load sets itself running when its loop begins, which
    // can undo a pause given just before; a record while paused says so.
    if (loading && m_state.iSubState == SUB_PAUSED)
        m_pMusicLink->SendCtlCmd(CMD_LOAD, CTL_PAUSE);
    if (g_iMusicNum == 0)
        StartLoadList();
    if (!track || location.isEmpty())
        return;
    AddLoadListSong(location);
    const QString name = location.mid(location.lastIndexOf(QLatin1Char('/')) + 1);
    m_pStatusLabel->setText((m_state.iState == MW_ANALYSING ? tr("Analyzing Library: %1  %2")
                                                            : tr("Scanning Library: %1  %2"))
                                .arg(LoadListCategory(), name));
    SetProgress(qMax(progress, MinimumVisibleProgress()));
}

void CMainUI::AcceptLoadOK()
{
    // The end carries no run: one of a stopped load may still be on its way
    // while the next request is prepared, and must neither fail that
    // request nor free the library its load thread is opening.
    if (m_bCancel || !MainStateTakes(m_state, EV_LOAD_ENDED))
        return;
    const int count = m_pMusicLink->GetMusicCountAMode(nullptr, &m_eLibraryMode);
    if (count <= 0) {
        LoadFailed(0, true);
        return;
    }
    if (Advance(EV_LOAD_ENDED))
        AnalyzeMusicList();
}

void CMainUI::AcceptLoadFailed(int code)
{
    // As for the end: one of a stopped load may still be on its way.
    if (m_bCancel || !MainStateTakes(m_state, EV_LOAD_ENDED))
        return;
    WriteUILog(QStringLiteral("The load could not store its songs:%1").arg(code));
    LoadFailed(code);
}

void CMainUI::LoadFailed(int code, bool empty)
{
    if (!Advance(EV_LOAD_FAILED))
        return;
    SetProgress(PROGRESS_FULL);
    m_pProgressStack->setCurrentIndex(1);
    SetPhasePicture(QStringLiteral("fix_end_bg"), QStringLiteral("fix_end"), 2);
    SetBusyOverlay(2);
    // The working database goes: the songs were not stored in it, and on a
    // full disk its room is wanted back.
    if (code != 0) {
        // The tips about an empty library would mislead.
        m_pTipsLabel->ClearText();
        m_pTipsLabel->setHidden(true);
        m_pStatusLabel->setText(CStorageFailure::LoadFailed(code, m_pMusicLink->RefusedLockFile()));
        DropFailedLoad(false);
        return;
    }
    ShowTips({tr("Wow. It looks like someone knew I'll scan all files and cleaned them up in advance."),
              tr("Unbelievable, no music files found! Wanna try again?"),
              tr("Hah,nothing found. You must be playing \"hide-and-seek\" with me.")});
    switch (m_eLoadMode) {
    case RUN_ITUNES:
        m_pStatusLabel->setText(tr("No valid iTunes library xml file found. Please go back and try again."));
        break;
    case RUN_FILES:
        m_pStatusLabel->setText(tr("No music files found. Please go back and try again."));
        break;
    case RUN_PROJECT:
        m_pStatusLabel->setText(tr("Invalid project file. Please go back and try again."));
        break;
    default:
        m_pStatusLabel->setText(QString());
        break;
    }
    DropFailedLoad(empty);
}

// A continued run reopens the working database itself, the only copy of
// the interrupted run's work: a load that could not read it (a full or
// read-only disk, a database locked by another program) leaves it for a
// later try. One the engine read and found without tracks holds nothing.
// The engine lets go of the database and the file goes on the apply
// thread, as at Home: on a slow disk either takes its time.
void CMainUI::DropFailedLoad(bool empty)
{
    const bool keep = ContinuesKeptRun() && !empty;
    // An opened project whose copy could not be loaded is as it was: Home
    // and the close have nothing to take back into it.
    if (!keep)
        m_strProjectPath.clear();
    const bool started = StartDiskStep(
        [this, keep] {
            // The load thread may still be ending when its failure arrives.
            m_pReadyLoadThread->wait();
            m_pMusicLink->DestroyMusicLibrary();
            if (!keep)
                RemoveWorkingDatabase();
        },
        [keep] {
            if (keep)
                WriteUILog(QStringLiteral("The continued run's load failed; its working database stays"));
        });
    // Try Again and Home delete it in their own steps all the same.
    if (!started)
        WriteUILog(QStringLiteral("The failed load's working database waits: the window's own disk work runs"));
}

bool CMainUI::ContinuesKeptRun() const
{
    return m_state.bResumedProject && m_strProjectPath == g_strDBName;
}

bool CMainUI::KeepsInterruptedRun() const
{
    return ContinuesKeptRun() && m_state.iOutcome == OUT_LOAD_FAILED;
}

void CMainUI::AnalyzeMusicList()
{
    m_pMovie->stop();
    int mask = 0;
    if (IsDuplicateRunMode(m_eLibraryMode)) {
        DelelteLoadTreeItem();
        m_pStatusLabel->setText(tr("Scanning music, please wait a moment..."));
        SetPhasePicture(QStringLiteral("duplicate_bg"), QStringLiteral("duplicate"), 1);
        mask = CConfig::instance()->Duplicate;
    } else {
        m_pStatusLabel->setText(tr("Preparing report, please wait a moment..."));
        SetPhasePicture(QStringLiteral("scanned_bg"), QStringLiteral("scanned"), 1);
        SetBusyOverlay(1);
        mask = CConfig::instance()->Genernal;
    }
    SetProgress(0);
    Advance(EV_ANALYSIS_START, m_eLibraryMode);
    ResetAnalysisWalk();
    m_pAnalyReport->SetExitFlag(false);
    m_pMusicLink->AnalyzeMusicInfo(mask);
}

void CMainUI::AcceptAnalyzeInfo()
{
    if (m_bCancel || m_state.iState != MW_ANALYSING || !IsWorking(m_state) || m_pAnalyzeThread->isRunning())
        return;
    tagAnalyzeJob job;
    job.iRun = m_iRun;
    job.iMask = CConfig::instance()->Genernal;
    job.dScore = m_dScore;
    job.cache = CacheFoldersOfSettings();
    // A pause pressed after the engine's last record went to the engine;
    // the walk starts paused then, as the window says.
    if (m_state.iSubState == SUB_PAUSED)
        PauseAnalysisWalk();
    m_pAnalyzeThread->Start(job);
}

void CMainUI::AcceptSaveFailed(int code)
{
    // The save follows this run's analysis; one of a stopped run, or one
    // still on its way when the next request began, is no news.
    if (m_bCancel || m_state.iState < MW_ANALYSING)
        return;
    WriteUILog(QStringLiteral("The analysis results could not be stored:%1").arg(code));
    m_iSaveFailure = code;
    if (HasFinishedAnalysis(m_state))
        ShowSaveFailure();
}

// Said when the report is there: the walk's own texts would hide it before.
void CMainUI::ShowSaveFailure()
{
    if (m_iSaveFailure != 0)
        m_pStatusLabel->setText(CStorageFailure::SaveFailed(m_iSaveFailure));
}

void CMainUI::UpdateProcess(int progress)
{
    SetProgress(qMin(int(PROGRESS_FULL), qMax(progress, MinimumVisibleProgress())));
}

void CMainUI::UpdataReport(int run, double score, double itemScore)
{
    if (run != m_iRun || m_bCancel)
        return;
    if (!Advance(EV_REPORT, score < PROGRESS_FULL ? 1 : 0))
        return;
    m_dScore = score;
    m_dItemScore = itemScore;
    SetProgress(PROGRESS_FULL);
    m_pTipsLabel->ClearText();
    if (score >= PROGRESS_FULL)
        ShowNothingFound();
    else
        ShowFoundReport();
    m_pProgressStack->setCurrentIndex(1);
    m_pTipsLabel->setHidden(false);
    ShowSaveFailure();
}

// The walk has emptied the cache: nothing is left to fix.
void CMainUI::ShowNothingFound()
{
    m_pStatusLabel->setText(QString());
    SetPhasePicture(QStringLiteral("fix_end_bg"), QStringLiteral("fix_end"), 2);
    SetBusyOverlay(2);
    if (m_state.bDuplicates)
        ShowTips({tr("Hah, no duplicaites on your Mac. Satisfied?"),
                  tr("Huh! I'm having a day off--no duplicates found today."),
                  tr("We're double checked everything. You're clear now."),
                  tr("You won't believe me, but there are no duplicates on your Mac.")});
    else
        ShowTips({tr("Wow. It looks like someone knew I'll scan all files and cleaned them up in advance."),
                  tr("Unbelievable! No unrecognized songs or duplicates found!"),
                  tr("Hah, nothing found. You must be playing \"hide-and-seek\" with me.")});
}

namespace {

QStringList TipsForScore(double score)
{
    if (score < 7000)
        return {CMainUI::tr("Uh, mess library. It is urgent to clean up your music now. Let's start."),
                CMainUI::tr("Dear, how mess your library is. May I help you clean up it?"),
                CMainUI::tr("Oops, music library in chaos! Go ahead to clean up them now.")};
    if (score < 8000)
        return {CMainUI::tr("It looks OK. But the library looks incomplete. Why not Fix All and perfect them?"),
                CMainUI::tr("Looks OK but you'd better clean up your library soon. Why not let me help you, darling?"),
                CMainUI::tr("Oh, dear, just slow down and take care of your lovely songs. They need your attention.")};
    if (score < 9000)
        return {CMainUI::tr("Nice library list. Take a little time will make it more charming. Go to Fix All."),
                CMainUI::tr("How considerate you are. I can not wait to listen to them any more."),
                CMainUI::tr("I can't believe!  You get such a good result. Wanna break the record?")};
    return {CMainUI::tr("Almost perfect. Only one click will organize them well. Just go!"),
            CMainUI::tr("You won't believe me. Few songs are incomplete. Just one click will recover them."),
            CMainUI::tr("Aha, excellent. But I have the magic power to make it better. Wanna experience?")};
}

} // namespace

void CMainUI::ShowFoundReport()
{
    DelelteLoadTreeItem();
    ShowScore();
    SetBusyOverlay(0);
    if (m_state.bDuplicates) {
        // The walk has emptied the cache of the scan's fingerprints.
        SetPhasePicture(QStringLiteral("duplicate"), QString(), 0);
        m_pDuplicate->Calculate();
        m_pDuplicate->ShowDuplicate(1);
        m_pPageStack->setCurrentIndex(PAGE_DUPLICATE);
        ShowTips({tr("Duplicates found. Let me help you remove them and keep your library clean."),
                  tr("Dear, why not let me help you clean up duplicates immediately?"),
                  tr("Duplicates appeared. Wanna tidy them and make your library clean?"),
                  tr("Duplicates found. Click Remove to clean up duplicates easily.")});
        return;
    }
    m_pAnalyReport->ShowReport(m_eLoadMode == RUN_PROJECT);
    m_pPageStack->setCurrentIndex(PAGE_REPORT);
    ShowTips(TipsForScore(m_dScore));
    // A reopened project offers to apply at once and, when the page counts
    // problems left, to fix them again.
    if (m_eLoadMode == RUN_PROJECT)
        m_pAnalyReport->CalculateScore();
}

void CMainUI::StartFixAll(const QString& text)
{
    m_pStatusLabel->setText(text);
}

// play: 1 the animation runs, 2 its first frame stands still, 0 none. An
// empty background leaves the picture's background as it is.
void CMainUI::SetPhasePicture(const QString& background, const QString& animation, int play)
{
    m_pMovie->stop();
    if (!background.isEmpty())
        m_pPictureWidget->setStyleSheet(PictureStyle(background));
    if (play == 0 || animation.isEmpty()) {
        m_pMovieLabel->clear();
        return;
    }
    m_pMovie->setFileName(QStringLiteral(":/res/res/mac/gif/") + animation + QStringLiteral(".gif"));
    m_pMovieLabel->setMovie(m_pMovie);
    if (play == 1) {
        m_pMovie->start();
    } else {
        m_pMovie->jumpToFrame(0);
    }
}

void CMainUI::SetProgress(int value)
{
    m_pProgressBar->setValue(qBound(0, value, int(PROGRESS_FULL)));
}

int CMainUI::MinimumVisibleProgress() const
{
    // A bar not laid out yet has no width to divide by.
    const int width = m_pProgressBar->width();
    return width > 0 ? kMinimumFilledPixels * PROGRESS_FULL / width : 0;
}

void CMainUI::ShowScore()
{
    m_pScoreLabel->setText(QString::number(int(m_dScore / 100)));
}

void CMainUI::ShowTips(const QStringList& tips)
{
    m_pTipsLabel->ClearText();
    for (const QString& tip : tips)
        m_pTipsLabel->InputText(tip);
    m_pTipsLabel->setHidden(false);
}

void CMainUI::SetProgressColours(bool fixing)
{
    m_pProgressBar->setStyleSheet(fixing ? ProgressStyle(QStringLiteral("#53c1ff"), QStringLiteral("#0078bc"))
                                         : ProgressStyle(QStringLiteral("#93cd37"), QStringLiteral("#438200")));
}
