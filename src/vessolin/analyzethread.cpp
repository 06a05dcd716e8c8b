#include "vessolin/analyzethread.h"

#include "cadenzo.h"
#include "musiclink.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "vessolin/mainstate.h"
#include "vessolin/pausehandshake.h"

#include <QMutexLocker>

QMutex g_mutex;
QWaitCondition g_mycond;
std::atomic<int> iPauseThread{0};
std::atomic<int> bAnalyzeQuit{0};

namespace {

CWalkHandshake g_walkHandshake(g_mutex, g_mycond, iPauseThread, bAnalyzeQuit);

} // namespace

void ResetAnalysisWalk()
{
    {
        QMutexLocker lock(&g_mutex);
        bAnalyzeQuit = 0;
    }
    g_walkHandshake.Begin();
}

void PauseAnalysisWalk()
{
    g_walkHandshake.Pause();
}

void ContinueAnalysisWalk()
{
    g_walkHandshake.Resume();
}

void QuitAnalysisWalk()
{
    g_walkHandshake.Quit();
}

double TrackWeight(int mode, int absence, int mask)
{
    if (IsDuplicateRunMode(mode))
        return (absence & AT_DUPLICATE) ? 1.0 : 0.0;
    // A missing file is the one problem of its track, whatever else lacks.
    if ((absence & MF_FILE) && (mask & MF_FILE))
        return 0.25;
    double weight = 0.0;
    for (const int field : {MF_ARTWORK, MF_ARTIST, MF_ALBUM}) {
        if ((absence & field) && (mask & field))
            weight += 0.25;
    }
    return weight;
}

double QuartersOff(int quarters, double itemScore)
{
    return quarters * itemScore * 0.25;
}

CAnalyzeThread::CAnalyzeThread(CAnalyReport* report, CDuplicate* duplicate, CMusicLink* link,
                               QObject* parent)
    : QThread(parent), m_pAnalyReport(report), m_pDuplicate(duplicate), m_pMusicLink(link)
{
}

CAnalyzeThread::~CAnalyzeThread()
{
    QuitAnalysisWalk();
    wait();
}

void CAnalyzeThread::Start(const tagAnalyzeJob& job)
{
    m_job = job;
    start(QThread::InheritPriority);
}

void CAnalyzeThread::run()
{
    int highest = 0;
    tagMusicRunMode mode = tagMusicRunMode(0);
    const int count = m_pMusicLink->GetMusicCountAMode(&highest, &mode);
    // The score carries over from an earlier walk of the same run; a library
    // with no count known gives its tracks no weight rather than a division
    // by zero.
    const double itemScore = highest > 0 ? m_job.dScore / highest : 0.0;
    m_pAnalyReport->m_iAnalyzeMask = m_job.iMask;
    int quarters = 0;
    int found = 0;
    if (!Walk(count, mode, quarters, found))
        return;
    const double score = m_job.dScore - QuartersOff(quarters, itemScore);
    // Here rather than on the GUI thread when the page shows: a deep scan
    // leaves one fingerprint file per track.
    if (IsDuplicateRunMode(mode) || score >= PROGRESS_FULL)
        ClearCacheFolders(m_job.cache, m_pMusicLink);
    if (IsDuplicateRunMode(mode))
        emit StartFixAll(tr("Scanned %1 song(s), found %2 duplicates.").arg(count).arg(found), m_job.iRun);
    emit SandUpdataReport(m_job.iRun, score, itemScore);
}

// False when told to quit.
bool CAnalyzeThread::Walk(int count, int mode, int& quarters, int& found)
{
    int shown = -1;
    for (int i = 0; i < count; ++i) {
        // The mutex is held only for the test and the wait, not while a
        // track is read and handed over (which may export its artwork): a
        // pause or stop on the GUI thread takes it at once.
        if (!g_walkHandshake.WaitForTurn())
            return false;
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeatId = 0;
        // A track that cannot be read counts as one without problems.
        if (m_pMusicLink->GetMusicListMusic(i, &track, absence, state, repeatId) != 0) {
            track = nullptr;
            absence = state = 0;
            repeatId = 0;
        }
        const double weight = TrackWeight(mode, absence, m_job.iMask);
        // Whole quarters: the sum stays exact however many tracks it takes.
        quarters += int(weight * 4);
        // One signal per visible step, not per track.
        const int progress = int(qint64(i) * PROGRESS_FULL / count);
        if (progress != shown) {
            shown = progress;
            emit UpdateProcess(progress, m_job.iRun);
        }
        if (weight > 0) {
            Deliver(mode, track, absence, state, repeatId);
            if (IsDuplicateRunMode(mode))
                ++found;
        }
    }
    return true;
}

void CAnalyzeThread::Deliver(int mode, void* track, int absence, int state, long long repeatId)
{
    if (IsDuplicateRunMode(mode)) {
        m_pDuplicate->AddDuplicateItem(track, absence, state, repeatId);
        return;
    }
    ++m_pAnalyReport->m_iProblemNum;
    m_pAnalyReport->AddReportItem(track, absence, state, repeatId, true);
}
