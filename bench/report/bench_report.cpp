// Figures for filling the report page from the analysis thread: a generated
// library of problem tracks is loaded and analysed through the engine
// bridge, then a worker walks it into the page as the main window's
// analysis thread does, and the page shows it. Prints only:
//  1. the time from the first AddReportItem to the shown, scored page
//     (the score's signal);
//  2. the longest stretch the GUI thread spent without serving its event
//     loop meanwhile (a 1 ms timer's largest gap);
//  3. the machine's load average at the start.
//   bench_report [tracks]
#include "benchenv.h"
#include "common.h"
#include "config.h"
#include "generatedlibrary.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cstdio>

namespace {

// What the main window's analysis thread does per track, then the end of
// the analysis queued behind the last delivery.
class Walk : public QThread
{
public:
    Walk(CMusicLink* link, CAnalyReport* report) : m_pLink(link), m_pReport(report) {}
    std::function<void()> done;

protected:
    void run() override
    {
        pagewalk::reportProblems(*m_pLink, *m_pReport, CConfig::instance()->Genernal);
        QMetaObject::invokeMethod(m_pReport, done, Qt::QueuedConnection);
    }

private:
    CMusicLink* m_pLink;
    CAnalyReport* m_pReport;
};

bool loadLibrary(CMusicLink& link, const QString& xml)
{
    QSignalSpy loaded(&link, &CMusicLink::SendLoadOK);
    QSignalSpy analysed(&link, &CMusicLink::SendAnalyzeOK);
    const QByteArray path = xml.toUtf8();
    return link.InitParam(RUN_ITUNES, path.constData()) == 0 && link.LoadiTunesMusic() == 0
           && loaded.wait(600000) && link.AnalyzeMusicInfo(CConfig::instance()->Genernal) == 0
           && analysed.wait(600000);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 20000;
    const QByteArray load = benchenv::loadAverage();
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();

    const QStringList files = generatedlibrary::makeFiles(home.filePath(QStringLiteral("music")), trackCount);
    const QString xml = home.filePath(QStringLiteral("Library.xml"));
    // No track has its artist, every third lacks its album.
    generatedlibrary::writeLibrary(xml, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i);
        t.album = i % 3 == 0 ? QString() : QStringLiteral("Album %1").arg(i % 401);
        t.totalTime = 5000 + i % 5;
        t.bitRate = 64;
    });
    CMusicLink link;
    if (!loadLibrary(link, xml)) {
        std::fprintf(stderr, "could not load the library\n");
        return 1;
    }
    CAnalyReport report(nullptr);
    report.SetMusicLink(&link);
    report.resize(1000, 700);
    if (!qEnvironmentVariableIsSet("NOSHOW")) report.show();

    QElapsedTimer clock, tick;
    qint64 longest = 0, filled = -1;
    QTimer timer;
    timer.setInterval(1);
    QObject::connect(&timer, &QTimer::timeout, [&] {
        longest = std::max(longest, tick.restart());
    });
    Walk walk(&link, &report);
    qint64 endReport = 0;
    int backlog = 0;
    // The end of the analysis: the page and its score, at once or behind
    // the deliveries still queued. The score's signal ends the figure.
    walk.done = [&] {
        QElapsedTimer end;
        end.start();
        backlog = report.PendingDeliveries();
        report.ShowReport(false);
        report.CalculateScore();
        endReport = end.elapsed();
    };
    QObject::connect(&report, &CAnalyReport::ReportFixInfo, &app, [&] {
        filled = clock.elapsed();
        // The gap this very event made counts too.
        longest = std::max(longest, tick.elapsed());
        app.quit();
    });
    clock.start();
    tick.start();
    timer.start();
    walk.start();
    app.exec();
    walk.wait();

    std::printf("report: %d problem tracks (%d tiles, %d artist rows, %d album rows) shown and scored in %lld ms\n",
                report.m_iProblemNum.load(), report.ArtworkList()->count(),
                report.ArtistTree()->topLevelItemCount(), report.AlbumTree()->topLevelItemCount(), filled);
    std::printf("report: longest GUI thread stall while filling: %lld ms (the end of the analysis took %lld ms "
                "and came with %d deliveries still queued)\n", longest, endReport, backlog);
    std::printf("machine load average at start: %s\n", load.constData());
    report.StopWorking();
    link.SetExitState(1);
    link.DestroyMusicLibrary();
    DestroyImage();
    return 0;
}
