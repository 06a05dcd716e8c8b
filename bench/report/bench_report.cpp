// Figures for filling the report page from the analysis thread: a generated
// library of problem tracks is loaded and analysed through the engine
// bridge, then a worker walks it into the page as the main window's
// analysis thread does, and the page shows it. Prints only:
//  1. the time from the first AddReportItem to the shown, scored page
//     (the score's signal);
//  2. the longest stretch the GUI thread spent without serving its event
//     loop meanwhile (a 1 ms timer's largest gap);
//  3. the machine's load average at the start.
// Then, in the real window (offscreen) over an iTunes library of a second
// size whose first songs carry an edit waiting to be applied: Apply, then
// Pause and Continue each pressed while a song is being written, and Home
// pressed while another is, each with the longest the GUI thread went
// without serving a 1 ms timer until the press had taken effect (Home:
// until the window was back Home, after the apply's end had rewritten the
// library file).
//   bench_report [tracks] [library tracks] [edited songs]
#include "benchenv.h"
#include "common.h"
#include "config.h"
#include "generatedlibrary.h"
#include "guistall.h"
#include "information/lineedit.h"
#include "information/modifymusicinfo.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "vessolin/mainui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <atomic>
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

// Counts the tracks the apply thread has begun to write; the edited ones
// come first.
struct WriteCounter
{
    std::atomic<int> begun{0};
    bool waitForMore(int than) const
    {
        return QTest::qWaitFor([&] { return begun.load() > than; }, 600000);
    }
};

void openEditorWithAnEdit(CMainUI& window)
{
    void* track = nullptr;
    int absence = 0, state = 0;
    long long repeat = 0;
    if (window.MusicLink()->GetMusicListMusic(0, &track, absence, state, repeat) != 0)
        return;
    CModifyMusicInfo* editor = window.findChild<CAnalyReport*>()->ModifyInfo();
    editor->SetItem(absence, track);
    if (editor->isHidden())
        editor->EditHide();
    for (CLineEdit* field : editor->findChildren<CLineEdit*>())
        if (field->accessibleName() == QLatin1String("New Tag Artist"))
            field->setText(QStringLiteral("Typed Artist"));
}

// Apply, Pause, Continue and Home in the window; false when a step did not
// take effect.
bool windowFigures(const QString& home, int trackCount, int edited)
{
    const QStringList files = generatedlibrary::makeFiles(home + QStringLiteral("/library"), 300);
    const QString xml = home + QStringLiteral("/Window Library.xml");
    // Each track lacks its artist: the report shows them all.
    if (files.isEmpty() || !generatedlibrary::writeLibrary(xml, files, trackCount, [](int i, libraryxml::Track& t) {
            t.name = QStringLiteral("Title %1").arg(i);
            t.album = QStringLiteral("Album %1").arg(i % 4001);
            t.totalTime = 5000;
            t.bitRate = 64;
        })) {
        std::fprintf(stderr, "could not make the library\n");
        return false;
    }
    CMainUI window;
    window.resize(1100, 700);
    window.show();
    window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    if (!QTest::qWaitFor([&] {
            return window.State().iState == MW_ANALYSING && window.State().iSubState == SUB_FINISHED;
        }, 600000)) {
        std::fprintf(stderr, "the report did not come\n");
        return false;
    }
    // Every row of the report is shown before the apply begins.
    auto* report = window.findChild<CAnalyReport*>();
    if (!QTest::qWaitFor([report] { return report->PendingDeliveries() == 0; }, 600000))
        return false;
    CMusicLink* link = window.MusicLink();
    for (int i = 0; i < edited; ++i) {
        void* track = nullptr;
        int absence = 0, state = 0;
        long long repeat = 0;
        const QByteArray artist = QStringLiteral("Artist %1").arg(i).toUtf8();
        const char* values[] = {artist.constData()};
        if (link->GetMusicListMusic(i, &track, absence, state, repeat) == 0)
            link->SetUserMusicInfo(track, MF_ARTIST, values);
    }
    // The editor stays open on the first track with a typed artist: Apply
    // commits it first.
    openEditorWithAnEdit(window);
    WriteCounter writes;
    link->SetDiskWorkHook([&writes](CMusicLink::EDiskWork work) {
        if (work == CMusicLink::DW_SONG_WRITE)
            ++writes.begun;
    });
    std::printf("window, %d tracks (%.1f MB library file, %d artist rows in the report), %d of them edited:\n",
                trackCount, QFileInfo(xml).size() / 1e6, report->ArtistTree()->topLevelItemCount(), edited);
    const auto sub = [&window] { return window.State().iSubState; };
    bool ok = true;
    const guistall::Figure apply = guistall::Measure([&] { window.ApplyiTunes(); },
                                                     [&] { return writes.begun.load() > 0; });
    guistall::Print("Apply with an open edit, to its first song", apply);
    QPushButton* pause = guistall::Button(window, "main_cancelbut");
    // Pressed while an edited song is being written.
    ok = ok && writes.waitForMore(edited / 10);
    const guistall::Figure paused = guistall::Measure([&] { pause->click(); }, [&] { return sub() == SUB_PAUSED; });
    guistall::Print("Pause during a song's write", paused);
    const int atPause = writes.begun.load();
    const guistall::Figure continued =
        guistall::Measure([&] { pause->click(); }, [&] { return sub() == SUB_RUNNING && writes.begun > atPause; });
    guistall::Print("Continue, to the next song", continued);
    ok = ok && writes.waitForMore(edited / 2);
    const guistall::Figure goingHome = guistall::Measure([&] { guistall::Button(window, "main_gohome")->click(); },
                                                         [&] { return window.State().iState == MW_IDLE; });
    guistall::Print("Home during a song's write, to Home", goingHome);
    std::printf("  tracks the apply had reached when Home was back: %d of %d\n", writes.begun.load(), trackCount);
    link->SetDiskWorkHook(nullptr);
    window.close();
    return ok && apply.stallMs >= 0 && paused.stallMs >= 0 && continued.stallMs >= 0 && goingHome.stallMs >= 0;
}

// The report page's figures over a library of trackCount problem tracks.
int pageFigures(QTemporaryDir& home, int trackCount)
{
    const QByteArray load = benchenv::loadAverage();

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
    QObject::connect(&report, &CAnalyReport::ReportFixInfo, qApp, [&] {
        filled = clock.elapsed();
        // The gap this very event made counts too.
        longest = std::max(longest, tick.elapsed());
        qApp->quit();
    });
    clock.start();
    tick.start();
    timer.start();
    walk.start();
    QApplication::exec();
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
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const long fsyncMs = benchenv::slowDiskOrLocal(argv);
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int trackCount = argc > 1 ? atoi(argv[1]) : 20000;
    const int libraryTracks = argc > 2 ? atoi(argv[2]) : 50000;
    const int edited = argc > 3 ? atoi(argv[3]) : 200;
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();
    benchenv::printDisk(fsyncMs);
    if (const int failed = pageFigures(home, trackCount); failed != 0)
        return failed;
    const bool ended = guistall::WithLoad([&] { return windowFigures(home.path(), libraryTracks, edited); });
    DestroyImage();
    return ended ? 0 : 1;
}
