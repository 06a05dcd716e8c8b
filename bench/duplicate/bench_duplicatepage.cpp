// Figures for the duplicate page: a library of pairs is scanned by title
// through the bridge, then the analysis walk hands every duplicate to the
// page from a thread of its own, as the main window's analysis thread
// does, while the page is on screen. Prints the time until the last row
// is shown and sorting is on, and the longest the GUI thread went without
// serving a 5 ms timer meanwhile.
// Then, in the real window (offscreen) over an iTunes library of a second
// size with four pairs among its tracks: the removal, an Undo and Home
// pressed while a second removal runs, each with the longest the GUI
// thread went without serving a 1 ms timer until its work had ended (the
// removal's and the undo's end rewrite the library file), and before them
// the scan's end, which empties a cache of 30,000 fingerprint files. With
// VESSOLIN_BENCH_FSYNC_MS=400 every fsync waits 400 ms more (a slow disk).
//   bench_duplicatepage [groups] [library tracks]
#include "benchenv.h"
#include "common.h"
#include "config.h"
#include "generatedlibrary.h"
#include "guistall.h"
#include "musiclink.h"
#include "pagewalks.h"
#include "reporter/duplicate.h"
#include "vessolin/mainui.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QTreeWidget>

#include <atomic>
#include <cstdio>

namespace {

constexpr int kCacheFiles = 30000;

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

// Four pairs of songs with files of their own, which a removal moves,
// among trackCount tracks: the others are streams, which the scan passes
// over and the library file keeps.
bool writeLibraryWithPairs(const QString& xml, const QString& folder, int trackCount)
{
    QDir().mkpath(folder);
    constexpr int kPaired = 8;
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < trackCount; ++i) {
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.genre = QStringLiteral("Jazz");
        t.year = 1950 + i % 70;
        t.totalTime = 180000 + i % 7;
        t.bitRate = i % 2 ? 128 : 320;
        t.name = i < kPaired ? QStringLiteral("Pair %1").arg(i / 2) : QStringLiteral("Stream %1").arg(i);
        t.artist = QStringLiteral("Artist %1").arg(i < kPaired ? i / 2 : i);
        if (i < kPaired) {
            const QString file = folder + QStringLiteral("/pair %1.mp3").arg(i);
            if (!QFile::copy(QStringLiteral(VESSOLIN_FIXTURES_DIR "/id3v2-cover.mp3"), file))
                return false;
            QFile(file).setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
            t.size = QFileInfo(file).size();
            t.location = libraryxml::fileUrl(file);
        }
        tracks << t;
    }
    return libraryxml::write(xml, tracks);
}

QTreeWidgetItem* firstRemovedRow(QTreeWidget* tree)
{
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
        QTreeWidgetItem* group = tree->topLevelItem(g);
        for (int c = 0; c < group->childCount(); ++c) {
            if (!(group->child(c)->flags() & Qt::ItemIsEnabled))
                return group->child(c);
        }
    }
    return nullptr;
}

void clickUndo(QTreeWidget* tree, QTreeWidgetItem* row)
{
    constexpr int kColUndo = 6;
    tree->scrollToItem(row);
    const QHeaderView* header = tree->header();
    const QPoint at(header->sectionViewportPosition(kColUndo) + header->sectionSize(kColUndo) / 2,
                    tree->visualItemRect(row).center().y());
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, at);
}

// The removal, Undo and Home in the window; false when a step did not end.
bool windowFigures(const QString& home, int trackCount)
{
    const QString xml = home + QStringLiteral("/Music/iTunes/iTunes Music Library.xml");
    QDir().mkpath(QFileInfo(xml).absolutePath());
    if (!writeLibraryWithPairs(xml, home + QStringLiteral("/library"), trackCount)) {
        std::fprintf(stderr, "could not make the library\n");
        return false;
    }
    CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
    CConfig::instance()->SetMsgInfo(2);
    CMainUI window;
    window.resize(1100, 700);
    window.show();
    const auto at = [&window](int stage, int sub) {
        return window.State().iState == stage && window.State().iSubState == sub;
    };
    // The scan's end finds the cache full, as a deep scan leaves it.
    guistall::FillCacheBeforeClear(window.MusicLink(), 2, kCacheFiles);
    window.LoadStartParam({}, g_strDBName, RUN_DUP_ITUNES);
    if (!QTest::qWaitFor([&] { return window.State().iState == MW_ANALYSING; }, 600000))
        return false;
    const guistall::Figure scanEnd = guistall::Measure([] {}, [&] { return at(MW_ANALYSING, SUB_FINISHED); });
    window.MusicLink()->SetDiskWorkHook(nullptr);
    if (window.State().iOutcome != OUT_DUPLICATES) {
        std::fprintf(stderr, "the scan did not find the pairs\n");
        return false;
    }
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));
    QPushButton* remove = guistall::Button(window, "main_removebut");
    std::printf("window, %d tracks (%.1f MB library file), %d duplicate groups:\n", trackCount,
                QFileInfo(xml).size() / 1e6, tree->topLevelItemCount());
    guistall::Print("the scan's end, 30,000 cache files", scanEnd);
    const guistall::Figure removal =
        guistall::Measure([&] { remove->click(); }, [&] { return at(MW_APPLY, SUB_FINISHED); });
    guistall::Print("Remove", removal);
    QTreeWidgetItem* removed = firstRemovedRow(tree);
    if (removal.stallMs < 0 || !removed)
        return false;
    const guistall::Figure undo = guistall::Measure([&] { clickUndo(tree, removed); }, [&] {
        return !window.State().bUndoing && (removed->flags() & Qt::ItemIsEnabled);
    });
    guistall::Print("Undo", undo);
    // Home comes when the second removal's end, with its library rewrite,
    // has begun on the apply thread.
    std::atomic<bool> ending{false};
    window.MusicLink()->SetDiskWorkHook([&ending](CMusicLink::EDiskWork work) {
        if (work == CMusicLink::DW_TRANSACTION_END)
            ending = true;
    });
    // Remove comes back on once the page has seen the undone row marked.
    if (!QTest::qWaitFor([&] { return remove->isEnabled(); }, 600000))
        return false;
    remove->click();
    if (!QTest::qWaitFor([&] { return ending.load(); }, 600000))
        return false;
    const guistall::Figure goingHome = guistall::Measure([&] { guistall::Button(window, "main_gohome")->click(); },
                                                         [&] { return window.State().iState == MW_IDLE; });
    window.MusicLink()->SetDiskWorkHook(nullptr);
    guistall::Print("Home during a removal's end", goingHome);
    CConfig::instance()->SetMsgInfo(0);
    window.close();
    return scanEnd.stallMs >= 0 && undo.stallMs >= 0 && goingHome.stallMs >= 0;
}

// The walk's figures over a library of groups pairs.
int pageFigures(const QTemporaryDir& home, int groups)
{
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

} // namespace

int main(int argc, char** argv)
{
    const long fsyncMs = benchenv::slowDiskOrLocal(argv);
    QTemporaryDir home;
    benchenv::usePrivateHome(home.path());
    QApplication app(argc, argv);
    const int groups = argc > 1 ? atoi(argv[1]) : 10000;
    const int libraryTracks = argc > 2 ? atoi(argv[2]) : 50000;
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();
    benchenv::printDisk(fsyncMs);
    if (const int failed = pageFigures(home, groups); failed != 0)
        return failed;
    return guistall::WithLoad([&] { return windowFigures(home.path(), libraryTracks); }) ? 0 : 1;
}
