// Figures for the duplicate page: a library of pairs is scanned by title
// through the bridge, then the analysis walk hands every duplicate to the
// page from a thread of its own, as the main window's analysis thread
// does, while the page is on screen. Prints the time until the last row
// is shown and sorting is on, and the longest the GUI thread went without
// serving a 5 ms timer meanwhile.
//   bench_duplicatepage [groups]
#include "benchenv.h"
#include "common.h"
#include "config.h"
#include "generatedlibrary.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/duplicate.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <cstdio>

namespace {

// Every name twice, so the scan by title makes groups of two.
bool writePairs(const QString& path, const QStringList& files, int trackCount)
{
    return generatedlibrary::writeLibrary(path, files, trackCount, [](int i, libraryxml::Track& t) {
        t.name = QStringLiteral("Title %1").arg(i / 2);
        t.artist = QStringLiteral("Artist %1").arg(i / 2 % 97);
        t.totalTime = 180000 + i % 7;
        t.bitRate = i % 2 ? 128 : 320;
    });
}

bool loadAndScan(CMusicLink& link, const QString& xml)
{
    QSignalSpy loaded(&link, &CMusicLink::SendLoadOK);
    QSignalSpy analysed(&link, &CMusicLink::SendAnalyzeOK);
    const QByteArray path = xml.toUtf8();
    if (link.InitParam(RUN_DUP_ITUNES, path.constData()) != 0 || link.LoadiTunesMusic() != 0
        || !loaded.wait(600000))
        return false;
    return link.AnalyzeMusicInfo(MF_TITLE) == 0 && analysed.wait(600000);
}

} // namespace

int main(int argc, char** argv)
{
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int groups = argc > 1 ? atoi(argv[1]) : 10000;
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();

    const QStringList files = generatedlibrary::makeFiles(home.filePath(QStringLiteral("music")), groups * 2);
    const QString xml = home.filePath(QStringLiteral("Library.xml"));
    if (files.size() != groups * 2 || !writePairs(xml, files, groups * 2)) {
        std::fprintf(stderr, "could not make the library\n");
        return 1;
    }
    CMusicLink link;
    auto* page = new CDuplicate(nullptr, nullptr);
    page->SetMusicLink(&link);
    if (!loadAndScan(link, xml)) {
        std::fprintf(stderr, "could not load and scan the library\n");
        return 1;
    }
    page->resize(1100, 700);
    page->ShowDuplicate(1);
    page->show();
    auto* tree = page->findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));
    // The page is on screen, painted and idle before the walk begins.
    QElapsedTimer settle;
    settle.start();
    while (settle.elapsed() < 200)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);

    QElapsedTimer clock, sinceTick;
    qint64 longestStall = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] {
        longestStall = std::max(longestStall, sinceTick.restart());
    });
    QThread* walk = QThread::create([&link, page] { pagewalk::duplicates(link, *page); });
    // The window hears the end of its walk queued, then updates the page.
    QObject::connect(walk, &QThread::finished, page, [page] {
        page->Calculate();
        page->ShowDuplicate(1);
    });
    clock.start();
    sinceTick.start();
    ticker.start(5);
    walk->start();
    while (!tree->isSortingEnabled())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    const qint64 shown = clock.elapsed();
    longestStall = std::max(longestStall, sinceTick.elapsed());
    ticker.stop();
    walk->wait();
    delete walk;

    int rows = 0;
    for (int g = 0; g < tree->topLevelItemCount(); ++g)
        rows += tree->topLevelItem(g)->childCount();
    std::printf("showing %d duplicate groups (%d rows) from the analysis thread: %lld ms\n",
                tree->topLevelItemCount(), rows, shown);
    std::printf("longest time the GUI thread went without serving a 5 ms timer: %lld ms\n", longestStall);
    std::printf("load average at the end: %s on %d cores\n", benchenv::loadAverage().constData(), QThread::idealThreadCount());
    delete page;
    link.SetExitState(1);
    return 0;
}
