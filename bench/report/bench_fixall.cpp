// Figures for Fix All on the report page against fake services on
// 127.0.0.1 that answer at once and know every song, so the one-request-a-
// second rule of the MusicBrainz-style service is what bounds the run.
// Prints only:
//  1. tracks fixed, the run's length and tracks per minute;
//  2. requests to that service, their average rate while tracks wait
//     (first to last request) and the shortest gap between two of them;
//  3. the machine's load average at the start.
//   bench_fixall [tracks]
#include "benchenv.h"
#include "common.h"
#include "config.h"
#include "fakeservice.h"
#include "lookupfakes.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "testenv.h"
#include "wavmaker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>

namespace {

constexpr int kWaitMs = 3600 * 1000;

// When each request to the rate-limited service came, in ms of the clock.
struct Arrivals
{
    QMutex mutex;
    QElapsedTimer clock;
    QList<qint64> times;

    void note()
    {
        QMutexLocker lock(&mutex);
        times << clock.elapsed();
    }
};

void answerEverything(FakeService& fake, Arrivals& arrivals)
{
    using namespace lookupfakes;
    fake.answer(lookupPath(), FakeAnswer::json(lookupAnswer(true)));
    fake.answerWith(recordingPath(), [&arrivals](const SeenRequest&) {
        arrivals.note();
        return FakeAnswer::json(recordingDetails("1999-05-04", "Rock"));
    });
    fake.answerWith(searchPath(), [&arrivals](const SeenRequest&) {
        arrivals.note();
        return FakeAnswer::json(searchAnswer({kSearchGroupA}));
    });
    fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(5)));
    fake.answer(frontPath(kSearchGroupA), FakeAnswer::image(noiseJpeg(6)));
}

bool loadSongs(CMusicLink& link, const QStringList& files)
{
    QSignalSpy loaded(&link, &CMusicLink::SendLoadOK);
    QSignalSpy analysed(&link, &CMusicLink::SendAnalyzeOK);
    if (link.InitParam(RUN_FILES, nullptr) != 0 || link.LoadExMusicFiles(files) != 0 || link.LoadiTunesMusic() != 0
        || !loaded.wait(kWaitMs) || link.AnalyzeMusicInfo(CConfig::instance()->Genernal) != 0
        || !analysed.wait(kWaitMs))
        return false;
    link.WaitForSaveToDB();
    return true;
}

// The analysis thread's walk, then the end of the analysis.
void fillReport(CMusicLink& link, CAnalyReport& report)
{
    QThread* walk = QThread::create(
        [&link, &report] { pagewalk::reportProblems(link, report, CConfig::instance()->Genernal); });
    walk->start();
    walk->wait();
    delete walk;
    report.ShowReport(false);
    report.CalculateScore();
    while (report.PendingDeliveries() > 0)
        QCoreApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 200;
    const QByteArray load = benchenv::loadAverage();

    FakeService fake;
    Arrivals arrivals;
    answerEverything(fake, arrivals);
    lookupfakes::useFakeServices(fake);
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();

    QStringList files;
    const QByteArray song = wavmaker::wav(wavmaker::melody(22050, 1, 6), 22050, 1);
    QDir().mkpath(home.filePath(QStringLiteral("songs")));
    for (int i = 0; i < trackCount; ++i) {
        files << home.filePath(QStringLiteral("songs/song %1.wav").arg(i));
        testenv::writeAll(files.last(), song);
    }
    CMusicLink link;
    if (!loadSongs(link, files)) {
        std::fprintf(stderr, "could not load the songs\n");
        return 1;
    }
    CAnalyReport report(nullptr);
    report.SetMusicLink(&link);
    QObject::connect(&link, &CMusicLink::SendDowldInfo, &report, &CAnalyReport::FixCallBrack);
    fillReport(link, report);

    QSignalSpy done(&report, &CAnalyReport::ReportFixAllComplete);
    QElapsedTimer run;
    arrivals.clock.start();
    run.start();
    report.SetArtworkState(CTL_RUN);
    report.SetFixState(CAnalyReport::FS_RUN);
    report.FixAnalyList();
    if (!done.wait(kWaitMs)) {
        std::fprintf(stderr, "Fix All did not end\n");
        return 1;
    }
    const double seconds = run.elapsed() / 1000.0;

    QList<qint64> times;
    {
        QMutexLocker lock(&arrivals.mutex);
        times = arrivals.times;
    }
    qint64 shortest = -1;
    for (int i = 1; i < times.size(); ++i)
        shortest = shortest < 0 ? times[i] - times[i - 1] : std::min(shortest, times[i] - times[i - 1]);
    const double span = times.size() > 1 ? (times.last() - times.first()) / 1000.0 : 0;
    std::printf("fix all: %d of %d tracks fixed in %.1f s, %.1f tracks/minute\n",
                report.ArtworkList()->m_iSuccessNum, trackCount, seconds, trackCount / seconds * 60);
    std::printf("rate-limited service: %d requests, %.3f requests/s while tracks wait, shortest gap %lld ms\n",
                int(times.size()), span > 0 ? (times.size() - 1) / span : 0.0, shortest);
    std::printf("machine load average at start: %s\n", load.constData());
    report.StopWorking();
    link.SetExitState(1);
    link.DestroyMusicLibrary();
    DestroyImage();
    return 0;
}
