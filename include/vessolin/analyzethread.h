// The analysis walk of the main window: after the engine's analysis it
// reads every track, lowers the library score for each problem or
// duplicate and hands the tracks with one to the report or duplicate page.
#pragma once

#include "vessolin/cache.h"

#include <QMutex>
#include <QString>
#include <QThread>
#include <QWaitCondition>

#include <atomic>

class CAnalyReport;
class CDuplicate;
class CMusicLink;

// The walk's pause pair. Both flags change only while g_mutex is held, the
// mutex under which the walk tests them and waits, so a continue or stop
// can never fall between its test and its wait.
extern QMutex g_mutex;
extern QWaitCondition g_mycond;
extern std::atomic<int> iPauseThread;  // 1 while the walk is to pause
extern std::atomic<int> bAnalyzeQuit;  // non-zero: the walk ends at its next check

void ResetAnalysisWalk();               // both flags 0, before each analysis
void PauseAnalysisWalk();               // halts before the next track
void ContinueAnalysisWalk();            // releases a halted walk
void QuitAnalysisWalk();                // ends it, paused or not

// A track's share of its weight in the score, 0.0 to 1.0: in a duplicate
// scan 1 for a duplicate; otherwise a quarter for a missing file alone, or
// a quarter for each of missing artwork, artist and album, each only when
// the analysis mask asks for it.
double TrackWeight(int mode, int absence, int mask);

// What quarters quarters of a track's weight take off the score. The walk
// and the report's count of open problems both take the score from it, in
// one product each: the same problems give the same score to the last bit,
// where a sum over tens of thousands of tracks came out a hair below it
// and the truncated score read one point less.
double QuartersOff(int quarters, double itemScore);

struct tagAnalyzeJob
{
    int iRun = 0;
    int iMask = 0;        // the analysis mask of the settings ("Genernal")
    double dScore = 0.0;  // the score the walk starts from
    // Emptied at the end of a duplicate scan (its fingerprints) or of a
    // walk that found nothing: no fixing run will want them.
    tagCacheFolders cache;
};

class CAnalyzeThread : public QThread
{
    Q_OBJECT
public:
    CAnalyzeThread(CAnalyReport* report, CDuplicate* duplicate, CMusicLink* link, QObject* parent);
    ~CAnalyzeThread() override;

    // Walks on the thread; call only while it does not run.
    void Start(const tagAnalyzeJob& job);

signals:
    void UpdateProcess(int progress, int run);
    void StartFixAll(const QString& text, int run);
    // The walk ended (and the cache it was to empty is empty): the score
    // left and the weight of one track. A walk that was told to quit sends
    // nothing.
    void SandUpdataReport(int run, double score, double itemScore);

protected:
    void run() override;

private:
    // quarters: the quarters of a track's weight the walked tracks lack.
    bool Walk(int count, int mode, int& quarters, int& found);
    void Deliver(int mode, void* track, int absence, int state, long long repeatId);

    CAnalyReport* m_pAnalyReport;
    CDuplicate* m_pDuplicate;
    CMusicLink* m_pMusicLink;
    tagAnalyzeJob m_job;
};
