// The main window's load and analysis workflow with the real engine:
// requests from the start screen and the duplicate page, the report and
// score, the load failure and Try Again, pause and continue, Home in every
// phase, Save Project, the close rules, and a run killed mid-way.
#include "accessnames.h"
#include "enginedb.h"
#include "filesizelimit.h"
#include "windowdriver.h"

#include "information/lineedit.h"
#include "information/modifymusicinfo.h"
#include "reporter/analyreport.h"
#include "reporter/duplicate.h"
#include "treeobj/treeobj.h"
#include "widgetprobe.h"
#include "vessolin/analyzethread.h"
#include "vessolin/applythread.h"
#include "vessolin/loadthread.h"
#include "vessolin/startui.h"

#include <QHeaderView>
#include <QProcess>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

#include <sqlite3.h>

#include <cstdio>

using namespace driver;

namespace {

// The scanned folder holds the trash folder: the artwork folder, whose
// plain files the window clears at start, so the songs lie in sub-folders.
QString ScanFolder() { return CConfig::instance()->GetDowndImgPath(); }

// Four songs, two of them complete (set aside by the analysis), two
// lacking artist, album and artwork (three quarters of their weight each):
// 10000 - 4 x 2500 x 0 - 2 x 2500 x 0.75 = 6250, shown as 62. An mp4 file
// and a song in the trash do not count.
bool MakeFourSongs()
{
    const QString trashed = CConfig::instance()->GetTrashPath() + QStringLiteral("/2020-01-01/old.mp3");
    return MakeMusicFolder(ScanFolder(), {{"Songs/A.MP3", "id3v2-cover.mp3"},
                                          {"Songs/b.M4a", "empty.m4a"},
                                          {"Songs/sub/c.mp3", "untagged.mp3"},
                                          {"Songs/sub/D.m4A", "cover.m4a"},
                                          {"Songs/e.mp4", "cover.m4a"}})
        && MakeMusicFolder(QFileInfo(trashed).absolutePath(), {{"old.mp3", "untagged.mp3"}});
}

QString SongsFolder() { return ScanFolder() + QStringLiteral("/Songs"); }

// The trash folder of today and of tomorrow: the engine files a run's
// removals under the day it started.
QStringList DayFoldersOfTheTrash()
{
    const QString trash = CConfig::instance()->GetTrashPath() + QLatin1Char('/');
    const QDate today = QDate::currentDate();
    return {trash + today.toString(QStringLiteral("yyyy-MM-dd")),
            trash + today.addDays(1).toString(QStringLiteral("yyyy-MM-dd"))};
}

QString CleanFolder(const QTemporaryDir& dir)
{
    MakeMusicFolder(dir.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"b.m4a", "cover.m4a"}});
    return dir.path();
}

bool NoWorkerRuns(CMainUI& window)
{
    for (QThread* thread : window.findChildren<QThread*>()) {
        if ((qobject_cast<CReadyLoadThread*>(thread) || qobject_cast<CAnalyzeThread*>(thread)
             || qobject_cast<CApplyThread*>(thread))
            && thread->isRunning())
            return false;
    }
    return true;
}

int RowsIn(const QString& database)
{
    sqlite3* db = nullptr;
    int rows = -1;
    if (sqlite3_open_v2(database.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_stmt* check = nullptr;
        if (sqlite3_prepare_v2(db, "PRAGMA integrity_check", -1, &check, nullptr) == SQLITE_OK
            && sqlite3_step(check) == SQLITE_ROW
            && qstrcmp(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)), "ok") == 0) {
            sqlite3_stmt* count = nullptr;
            if (sqlite3_prepare_v2(db, "SELECT count(*) FROM TracksTable", -1, &count, nullptr) == SQLITE_OK
                && sqlite3_step(count) == SQLITE_ROW)
                rows = sqlite3_column_int(count, 0);
            sqlite3_finalize(count);
        }
        sqlite3_finalize(check);
    }
    sqlite3_close(db);
    return rows;
}

// A project an earlier run saved of the four songs, two of them with
// problems; the working database is gone again.
bool SaveAProject(const QString& project)
{
    CMainUI first;
    first.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
    if (!WaitForReport(first))
        return false;
    first.MusicLink()->WaitForSaveToDB();
    const bool saved = QFile::copy(g_strDBName, project) && first.close();
    ForgetWorkingDatabase();
    return saved;
}

// The library of the tests that need a longer run: count tracks over a
// few copies of a song without tags.
QString MakeLongLibrary(const QTemporaryDir& dir, int count)
{
    QStringList files;
    for (int i = 0; i < 5; ++i) {
        const QString name = QStringLiteral("s%1.mp3").arg(i);
        MakeMusicFolder(dir.path(), {{name, "untagged.mp3"}});
        files << dir.filePath(name);
    }
    const QString xml = dir.filePath(QStringLiteral("Library.xml"));
    return MakeLibrary(xml, files, count) ? xml : QString();
}

} // namespace

class TestWorkflow : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void openMusicFiles_data();
    void openMusicFiles();
    void duplicateScanEndsOnTheDuplicatePage_data();
    void duplicateScanEndsOnTheDuplicatePage();
    void removalSaysWhatWent_data();
    void removalSaysWhatWent();
    void noMusicFilesFound();
    void progressNeverNarrowerThanItsStyle_data();
    void progressNeverNarrowerThanItsStyle();
    void cleanItunes_data();
    void cleanItunes();
    void pauseAndContinue_data();
    void pauseAndContinue();
    void homeDuringEachPhase_data();
    void homeDuringEachPhase();
    void homeFromTheDuplicatePageKeepsAnInterruptedRun();
    void undoAndHomeWaitForNoDisk_data();
    void undoAndHomeWaitForNoDisk();
    void windowStepsWaitForNoDisk_data();
    void windowStepsWaitForNoDisk();
    void savesAndEndsWaitForNoDisk_data();
    void savesAndEndsWaitForNoDisk();
    void keptRunQuestionWaitsForNoDisk();
    void homeAsksAboutTheRunItCouldNotCopyBack_data();
    void homeAsksAboutTheRunItCouldNotCopyBack();
    void saveProject_data();
    void saveProject();
    void closeRules_data();
    void closeRules();
    void killedRunCanBeContinued_data();
    void killedRunCanBeContinued();
    void continuedRunClosedBeforeItsReport_data();
    void continuedRunClosedBeforeItsReport();
    void continuedRunWhoseLoadFailsIsKept();
    void keptRunGoesOnlyWhenItIsOver_data();
    void keptRunGoesOnlyWhenItIsOver();
    void freshRunClosedDuringItsLoad_data();
    void freshRunClosedDuringItsLoad();
    void continuedRunShowsTheSameScore_data();
    void continuedRunShowsTheSameScore();
    void failedSaveOrOpenIsSaid_data();
    void failedSaveOrOpenIsSaid();
    void interruptedOpenIsNoInterruptedRun_data();
    void interruptedOpenIsNoInterruptedRun();
    void homeDuringTryAgainOrReturnEndsAtHome_data();
    void homeDuringTryAgainOrReturnEndsAtHome();
};

void TestWorkflow::init()
{
    ForgetWorkingDatabase();
}

void TestWorkflow::cleanup()
{
    ForgetWorkingDatabase();
    QDir(SongsFolder()).removeRecursively();
    // An old day in the trash would make the duplicate page ask to clear it.
    QDir(CConfig::instance()->GetTrashPath() + QStringLiteral("/2020-01-01")).removeRecursively();
    for (const QString& day : DayFoldersOfTheTrash()) {
        if (QFileInfo(day).isFile())
            QFile::remove(day);
    }
    CConfig::Destroy();
}

void TestWorkflow::openMusicFiles_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the panel picks the folder") << "panel";
    QTest::newRow("a folder given twice") << "twice";
    QTest::newRow("a file and its folder") << "file and folder";
}

void TestWorkflow::openMusicFiles()
{
    QFETCH(QString, how);
    QVERIFY(MakeFourSongs());
    CMainUI window;
    window.show();
    QSignalSpy folders(&window, &CMainUI::ScaningPath);
    const QString folder = ScanFolder();
    if (how == QLatin1String("panel")) {
        ModalWatch watch([&](QWidget* modal) {
            return AnswerFilesAndFolders(modal, QFileInfo(folder).absolutePath(), {QFileInfo(folder).fileName()});
        });
        Button(window, "open_obj")->click();
        QCOMPARE(watch.handled, 1);
    } else if (how == QLatin1String("twice")) {
        window.LoadStartParam({folder, folder}, g_strDBName, RUN_FILES);
    } else {
        window.LoadStartParam({SongsFolder() + QStringLiteral("/A.MP3"), folder}, g_strDBName, RUN_FILES);
    }
    QCOMPARE(window.State().iState, int(MW_LOADING));
    QVERIFY(WaitForReport(window));

    int highest = 0;
    EngineTrackCount(window, &highest);
    QCOMPARE(highest, 4);
    QCOMPARE(window.State().iOutcome, int(OUT_REPORT));
    QCOMPARE(ScoreText(window), QStringLiteral("62"));
    QCOMPARE(window.Score(), 6250.0);
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_REPORT));
    QCOMPARE(ButtonPage(window), int(BP_FIXALL));
    // Fix All comes first: Refix only after it, or for a reopened project.
    QVERIFY(!Named<QWidget>(window, "MainUIRetry")->isVisible());
    const QStringList lowBand = {
        QStringLiteral("Uh, mess library. It is urgent to clean up your music now. Let's start."),
        QStringLiteral("Dear, how mess your library is. May I help you clean up it?"),
        QStringLiteral("Oops, music library in chaos! Go ahead to clean up them now.")};
    QVERIFY2(lowBand.contains(TipText(window)), qPrintable(TipText(window)));
    QVERIFY(!MenuAction(window, QStringLiteral("Pause"))->isEnabled());
    QVERIFY(MenuAction(window, QStringLiteral("Save Project"))->isEnabled());
    // Everything the report shows can be found and read out by name.
    const QStringList unnamed = accessnames::unnamedControls(&window, {}, true);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
    QStringList announced;
    for (const QList<QVariant>& args : folders)
        announced << args.at(0).toString();
    QVERIFY(announced.contains(SongsFolder() + QStringLiteral("/sub")));
    for (const QString& shown : announced)
        QVERIFY2(!shown.contains(QLatin1String("Ossival_Trash"), Qt::CaseInsensitive), qPrintable(shown));
    QVERIFY(QFile::exists(g_strDBName));
}

// Three songs, two of them copies of one tagged file: a group of two, each
// of its songs a whole track's weight off the score (10000 - 2 x 3333.3).
void TestWorkflow::duplicateScanEndsOnTheDuplicatePage_data()
{
    QTest::addColumn<bool>("blocked");  // a plain file stands where the day's folder of the trash goes
    QTest::newRow("into the trash") << false;
    QTest::newRow("a trash that cannot take the day's folder") << true;
}

void TestWorkflow::duplicateScanEndsOnTheDuplicatePage()
{
    QFETCH(bool, blocked);
    if (blocked) {
        // The engine makes the day's folder when it starts; a run that
        // starts at midnight takes the next day.
        for (const QString& day : DayFoldersOfTheTrash()) {
            QVERIFY(QDir(day).removeRecursively());
            QVERIFY(testenv::writeAll(day, "not a folder"));
        }
    }
    QTemporaryDir dir;
    QVERIFY(MakeMusicFolder(dir.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"copy/a.mp3", "id3v2-cover.mp3"},
                                         {"b.mp3", "id3v2-partial.mp3"}}));
    CMainUI window;
    window.show();
    // The quick scan by fields: five-second songs are too short to compare by sound.
    CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
    window.LoadStartParam({dir.path()}, g_strDBName, RUN_DUP_FILES);
    QVERIFY(WaitForReport(window));
    QCOMPARE(window.State().iOutcome, int(OUT_DUPLICATES));
    QCOMPARE(StatusText(window), QStringLiteral("Scanned 3 song(s), found 2 duplicates."));
    QCOMPARE(ScoreText(window), QStringLiteral("33"));
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_DUPLICATE));
    QCOMPARE(ButtonPage(window), int(BP_REMOVE));
    const QStringList unnamed = accessnames::unnamedControls(&window, {}, true);
    QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));

    // Remove, with its confirmation switched off, moves the copy marked to
    // go into the trash on the apply thread.
    CConfig::instance()->SetMsgInfo(2);
    Button(window, "main_removebut")->click();
    QCOMPARE(window.State().iState, int(MW_APPLY));
    QCOMPARE(StatusText(window), QStringLiteral("Removing duplicates music, please wait..."));
    QVERIFY(WaitForStage(window, MW_APPLY));
    QCOMPARE(ButtonPage(window), int(BP_REMOVE));
    const int left = int(QFile::exists(dir.filePath(QStringLiteral("a.mp3"))))
                   + int(QFile::exists(dir.filePath(QStringLiteral("copy/a.mp3"))));
    CConfig::instance()->SetMsgInfo(0);
    if (!blocked) {
        QCOMPARE(TipText(window), QStringLiteral("Congratulations! Duplicates has been removed successfully."));
        QCOMPARE(left, 1);
        QVERIFY(!Button(window, "main_removebut")->isEnabled());
        return;
    }
    // Nothing moved: said with its reason, no success, and Remove can be
    // pressed again for the song still marked.
    QCOMPARE(left, 2);
    QVERIFY(TipText(window).isEmpty());
    QCOMPARE(StatusText(window),
             QStringLiteral("Removed 0 duplicate(s). If not sure to remove, you can undo the removal. "
                            "1 marked song(s) could not be removed and stayed where they were: the disk cannot "
                            "be written. Please check that the trash folder can be written and press Remove again."));
    QVERIFY(Button(window, "main_removebut")->isEnabled());
    QCOMPARE(ScoreText(window), QStringLiteral("33"));
}

void TestWorkflow::removalSaysWhatWent_data()
{
    QTest::addColumn<int>("copies");     // of one song; all but the one that stays are marked
    QTest::addColumn<bool>("clearOne");  // a marked copy's box cleared with the mouse
    QTest::addColumn<bool>("stuck");     // the file of a marked copy is gone before the press
    QTest::addColumn<int>("moved");
    QTest::addColumn<bool>("congratulated");
    QTest::newRow("every marked copy goes") << 2 << false << false << 1 << true;
    QTest::newRow("the only marked copy cleared") << 2 << true << false << 0 << false;
    QTest::newRow("one of two marked copies stays") << 3 << false << true << 1 << false;
}

// Remove is off once no song is marked, and only a removal that moved
// every marked song congratulates. A cleared last mark left Remove on,
// and its press said "Removed 0 duplicate(s)." beside the congratulations.
void TestWorkflow::removalSaysWhatWent()
{
    QFETCH(int, copies);
    QFETCH(bool, clearOne);
    QFETCH(bool, stuck);
    QFETCH(int, moved);
    QFETCH(bool, congratulated);
    QTemporaryDir dir;
    const QStringList names = {"a.mp3", "b/a.mp3", "c/a.mp3"};
    for (int i = 0; i < copies; ++i)
        QVERIFY(MakeMusicFolder(dir.path(), {{names[i], "id3v2-cover.mp3"}}));
    CMainUI window;
    window.show();
    CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
    CConfig::instance()->SetMsgInfo(2);
    window.LoadStartParam({dir.path()}, g_strDBName, RUN_DUP_FILES);
    QVERIFY(WaitForReport(window));
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));
    QVERIFY(tree && tree->topLevelItemCount() == 1);
    QList<QTreeWidgetItem*> marked;
    for (int c = 0; c < tree->topLevelItem(0)->childCount(); ++c) {
        if (tree->topLevelItem(0)->child(c)->checkState(0) == Qt::Checked)
            marked << tree->topLevelItem(0)->child(c);
    }
    QCOMPARE(marked.size(), copies - 1);
    QVERIFY(Button(window, "main_removebut")->isEnabled());
    if (clearOne) {
        widgetprobe::clickCheckBox(tree, marked.first());
        QCOMPARE(marked.first()->checkState(0), Qt::Unchecked);
        QCoreApplication::sendPostedEvents();
        QVERIFY2(!Button(window, "main_removebut")->isEnabled(), "Remove stayed on with no song marked");
    }
    if (stuck)
        QVERIFY(QFile::remove(marked.last()->text(4)));
    int before = 0;
    for (int i = 0; i < copies; ++i)
        before += QFile::exists(dir.filePath(names[i])) ? 1 : 0;
    // Pressed, or asked for while Remove is off: the window's own answer.
    window.RemoveDuplicate();
    QVERIFY(WaitForStage(window, MW_APPLY));
    CConfig::instance()->SetMsgInfo(0);
    int after = 0;
    for (int i = 0; i < copies; ++i)
        after += QFile::exists(dir.filePath(names[i])) ? 1 : 0;
    QCOMPARE(before - after, moved);
    QVERIFY(StatusText(window).startsWith(QStringLiteral("Removed %1 duplicate(s).").arg(moved)));
    QCOMPARE(TipText(window) == QStringLiteral("Congratulations! Duplicates has been removed successfully."),
             congratulated);
    QCOMPARE(Button(window, "main_removebut")->isEnabled(), stuck);
}

void TestWorkflow::noMusicFilesFound()
{
    QTemporaryDir dir;
    QVERIFY(testenv::writeAll(dir.filePath(QStringLiteral("notes.txt")), "no music"));
    CMainUI window;
    window.show();
    window.LoadStartParam({dir.path()}, g_strDBName, RUN_FILES);
    QVERIFY(WaitForStage(window, MW_LOADING));
    QCOMPARE(StatusText(window), QStringLiteral("No music files found. Please go back and try again."));
    QCOMPARE(ButtonPage(window), int(BP_TRYAGAIN));
    QCOMPARE(Button(window, "main_selectbut")->text(), QStringLiteral("Try Again"));
    QVERIFY(!QFile::exists(g_strDBName));
    QVERIFY(!MenuAction(window, QStringLiteral("Pause"))->isEnabled());

    Button(window, "main_selectbut")->click();
    // The cache goes on the apply thread first.
    QVERIFY(WaitForDiskStep(window));
    QCOMPARE(window.State().iState, int(MW_IDLE));
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
    QCOMPARE(HeaderPage(window), int(CMainUI::HEADER_WELCOME));
    QCOMPARE(Button(window, "cleaner_obj")->text(), QStringLiteral("Start to Clean iTunes"));
}

void TestWorkflow::progressNeverNarrowerThanItsStyle_data()
{
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("progress");
    QTest::addColumn<int>("shown");
    QTest::newRow("300 pixels, 100") << 300 << 100 << 500;
    QTest::newRow("300 pixels, 600") << 300 << 600 << 600;
    QTest::newRow("more than full") << 300 << 12000 << 10000;
    QTest::newRow("not laid out yet") << 0 << 100 << 100;
}

// Fifteen pixels at least, whatever the width; a bar of no width yet
// divides nothing.
void TestWorkflow::progressNeverNarrowerThanItsStyle()
{
    QFETCH(int, width);
    QFETCH(int, progress);
    QFETCH(int, shown);
    CMainUI window;
    window.show();
    auto* bar = Named<QProgressBar>(window, "main_progress");
    bar->setMinimumWidth(0);
    bar->resize(width, bar->height());
    window.UpdateProcess(progress);
    QCOMPARE(bar->value(), shown);
}

void TestWorkflow::cleanItunes_data()
{
    QTest::addColumn<QString>("how");
    QTest::newRow("the library at its usual place") << "default";
    QTest::newRow("at the older name") << "older name";
    QTest::newRow("no library file, Try Again, then the panel") << "panel";
    QTest::newRow("the library file given") << "given";
}

namespace {

QString UsualLibrary(bool olderName)
{
    return QString::fromLocal8Bit(qgetenv("XDG_MUSIC_DIR"))
        + (olderName ? QStringLiteral("/iTunes/iTunes Library.xml") : QStringLiteral("/iTunes/iTunes Music Library.xml"));
}

} // namespace

// Six tracks, each lacking its artist and artwork: half their weight off,
// a score of 50.
void TestWorkflow::cleanItunes()
{
    QFETCH(QString, how);
    QTemporaryDir dir;
    const QString xml = MakeLongLibrary(dir, 6);
    QVERIFY(!xml.isEmpty());
    for (bool older : {false, true})
        QFile::remove(UsualLibrary(older));
    if (how == QLatin1String("default") || how == QLatin1String("older name")) {
        const QString usual = UsualLibrary(how != QLatin1String("default"));
        QVERIFY(QDir().mkpath(QFileInfo(usual).absolutePath()));
        QVERIFY(QFile::copy(xml, usual));
    }
    CMainUI window;
    window.show();
    if (how == QLatin1String("panel")) {
        Button(window, "cleaner_obj")->click();
        QVERIFY(WaitForStage(window, MW_LOADING));
        QCOMPARE(StatusText(window),
                 QStringLiteral("No valid iTunes library xml file found. Please go back and try again."));
        QVERIFY(!QFile::exists(g_strDBName));
        Button(window, "main_selectbut")->click();
        QVERIFY(WaitForDiskStep(window));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QCOMPARE(Button(window, "cleaner_obj")->text(), QStringLiteral("Select Library XML File"));
        ModalWatch watch([&](QWidget* modal) { return AnswerFileDialog(modal, xml); });
        Button(window, "cleaner_obj")->click();
        QCOMPARE(watch.handled, 1);
    } else if (how == QLatin1String("given")) {
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    } else {
        Button(window, "cleaner_obj")->click();
    }
    QVERIFY(WaitForReport(window));
    for (bool older : {false, true})
        QFile::remove(UsualLibrary(older));
    int highest = 0;
    EngineTrackCount(window, &highest);
    QCOMPARE(highest, 6);
    QCOMPARE(ScoreText(window), QStringLiteral("50"));
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_REPORT));
}

void TestWorkflow::pauseAndContinue_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<QString>("paused");
    QTest::addColumn<QString>("continued");
    QTest::addColumn<bool>("saveProject");  // while paused
    QTest::newRow("engine load") << "load" << "Paused. Wanna continue and explore the world of music?"
                                 << "Continue to scan music library,please wait a moment." << false;
    QTest::newRow("engine analysis of a duplicate scan") << "duplicates" << "Pause" << "Continue" << true;
    QTest::newRow("between the engine's end and the walk") << "walk" << "Pause" << "Continue" << true;
}

// The engine or the analysis is held at a known point until the window has
// paused, so the pause lands in that phase every time.
void TestWorkflow::pauseAndContinue()
{
    QFETCH(QString, phase);
    QFETCH(QString, paused);
    QFETCH(QString, continued);
    QFETCH(bool, saveProject);
    QTemporaryDir dir;
    QVERIFY(MakeMusicFolder(dir.path(), {{"a.mp3", "untagged.mp3"}, {"b/a.mp3", "untagged.mp3"},
                                         {"c.m4a", "empty.m4a"}, {"d.mp3", "id3v2-partial.mp3"}}));
    CMainUI window;
    window.show();
    Gate gate;
    if (phase == QLatin1String("load")) {
        gate.Arm();
        GateLoadRecords(window.MusicLink(), gate, this);
    } else if (phase == QLatin1String("duplicates")) {
        gate.Arm(4 + 1);  // past the load's four tracks and its end
        GateLoadRecords(window.MusicLink(), gate, this);
    } else {
        gate.Arm();
        GateAnalysisEnd(window.MusicLink(), gate, this);
    }
    const int mode = phase == QLatin1String("duplicates") ? RUN_DUP_FILES : RUN_FILES;
    window.LoadStartParam({dir.path()}, g_strDBName, EMusicRunMode(mode));
    QVERIFY(QTest::qWaitFor([&] { return gate.Reached(); }, kWaitMs));
    const int stage = phase == QLatin1String("load") ? MW_LOADING : MW_ANALYSING;
    QVERIFY(QTest::qWaitFor([&] { return window.State().iState == stage; }, kWaitMs));

    Button(window, "main_cancelbut")->click();
    QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
    QCOMPARE(StatusText(window), paused);
    QCOMPARE(Button(window, "main_cancelbut")->text(), QStringLiteral("   Continue"));
    QVERIFY(!MenuAction(window, QStringLiteral("Pause"))->isEnabled());
    QVERIFY(MenuAction(window, QStringLiteral("Continue"))->isEnabled());
    QCOMPARE(MenuAction(window, QStringLiteral("Save Project"))->isEnabled(), saveProject);
    gate.Release();
    const int loaded = EngineTrackCount(window);
    QTest::qWait(300);
    QCOMPARE(window.State().iState, stage);
    QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
    if (stage == MW_LOADING)
        QCOMPARE(EngineTrackCount(window), loaded);

    MenuAction(window, QStringLiteral("Continue"))->trigger();
    QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
    QCOMPARE(StatusText(window), continued);
    QCOMPARE(Button(window, "main_cancelbut")->text(), QStringLiteral("   Pause"));
    QVERIFY(WaitForReport(window));
    int highest = 0;
    EngineTrackCount(window, &highest);
    QCOMPARE(highest, 4);
}

void TestWorkflow::homeDuringEachPhase_data()
{
    QTest::addColumn<QString>("phase");
    for (const char* phase : {"load thread", "engine load", "engine load paused", "engine analysis",
                              "engine analysis paused", "walk", "walk paused", "report", "fixing",
                              "fixing paused", "load failed", "duplicate results", "removal paused"})
        QTest::newRow(phase) << QString::fromLatin1(phase);
}

// Home stops whatever runs, and nothing of the stopped run happens after:
// no load starts on the released library, no report comes, the working
// database is gone, and the window takes the next request.
void TestWorkflow::homeDuringEachPhase()
{
    QFETCH(QString, phase);
    QTemporaryDir dir, music;
    const QString xml = MakeLongLibrary(dir, 3000);
    QVERIFY(MakeMusicFolder(music.path(), {{"a.mp3", "untagged.mp3"}, {"b/a.mp3", "untagged.mp3"}}));
    CMainUI window;
    window.show();
    auto* report = window.findChild<CAnalyReport*>();
    auto* walk = window.findChild<CAnalyzeThread*>();
    Gate gate;
    ModalWatch watch([&](QWidget* modal) {
        gate.Release();
        return PressMessageButton(modal, QStringLiteral("Yes"));
    });
    if (phase == QLatin1String("load thread")) {
        gate.Arm();
        connect(window.findChild<CReadyLoadThread*>(), &CReadyLoadThread::ScaningPath, this,
                [&](const QString&) { gate.Pass(); }, Qt::DirectConnection);
        window.LoadStartParam({music.path()}, g_strDBName, RUN_FILES);
    } else if (phase.startsWith(QLatin1String("engine load"))) {
        gate.Arm(10);
        GateLoadRecords(window.MusicLink(), gate, this);
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    } else if (phase.startsWith(QLatin1String("engine analysis"))) {
        gate.Arm();
        GateAnalysisEnd(window.MusicLink(), gate, this);
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    } else if (phase.startsWith(QLatin1String("walk"))) {
        // A walk slowed to seconds: Home must end it, not wait for it.
        connect(walk, &CAnalyzeThread::UpdateProcess, this, [&](int, int) {
            gate.Pass();
            QThread::msleep(2);
        }, Qt::DirectConnection);
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
        QVERIFY(QTest::qWaitFor([&] { return report->m_iProblemNum > 0; }, kWaitMs));
    } else if (phase == QLatin1String("removal paused")) {
        // Three copies, two to go: held after the first, the removal
        // pauses before the second.
        const QString copies = dir.filePath(QStringLiteral("copies"));
        QVERIFY(MakeMusicFolder(copies, {{"a.mp3", "id3v2-cover.mp3"}, {"b/a.mp3", "id3v2-cover.mp3"},
                                         {"c/a.mp3", "id3v2-cover.mp3"}}));
        CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
        CConfig::instance()->SetMsgInfo(2);
        window.LoadStartParam({copies}, g_strDBName, RUN_DUP_FILES);
        QVERIFY(WaitForReport(window));
        gate.Arm();
        connect(window.findChild<CDuplicate*>(), &CDuplicate::AddFixMissNum, this, [&](int) { gate.Pass(); },
                Qt::DirectConnection);
        Button(window, "main_removebut")->click();
        CConfig::instance()->SetMsgInfo(0);
    } else if (phase == QLatin1String("load failed")) {
        window.LoadStartParam({dir.filePath(QStringLiteral("none.xml"))}, g_strDBName, RUN_ITUNES);
        QVERIFY(WaitForStage(window, MW_LOADING));
    } else {
        const int mode = phase == QLatin1String("duplicate results") ? RUN_DUP_FILES : RUN_FILES;
        window.LoadStartParam({music.path()}, g_strDBName, EMusicRunMode(mode));
        QVERIFY(WaitForReport(window));
        if (phase.startsWith(QLatin1String("fixing")))
            Button(window, "main_fixallbut")->click();
        if (phase == QLatin1String("fixing paused"))
            Button(window, "main_cancelbut")->click();
    }
    if (phase.contains(QLatin1String("engine")) || phase == QLatin1String("load thread")
        || phase.startsWith(QLatin1String("removal")))
        QVERIFY(QTest::qWaitFor([&] { return gate.Reached(); }, kWaitMs));
    // Paused, the engine's load, the walk or the removal waits: the stop
    // must wake it.
    if (phase.endsWith(QLatin1String(" paused")) && !phase.startsWith(QLatin1String("fixing"))) {
        Button(window, "main_cancelbut")->click();
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        gate.Release();
    }
    const int problemsBefore = report->m_iProblemNum;

    Button(window, "main_gohome")->click();
    QCOMPARE(watch.handled, 1);
    // A removal first ends its song and its transaction on its thread.
    QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_IDLE; }, kWaitMs));
    QVERIFY(NoWorkerRuns(window));
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
    QCOMPARE(HeaderPage(window), int(CMainUI::HEADER_WELCOME));
    QCOMPARE(ScoreText(window), QStringLiteral("100"));
    QCOMPARE(Button(window, "main_cancelbut")->text(), QStringLiteral("   Pause"));
    QVERIFY(!QFile::exists(g_strDBName));
    if (phase.startsWith(QLatin1String("walk")))
        QVERIFY2(report->m_iProblemNum < problemsBefore + 2500, "the walk went on after Home");
    // What the stopped run still had on its way changes nothing.
    QTest::qWait(200);
    QCOMPARE(window.State().iState, int(MW_IDLE));
    QCOMPARE(EngineTrackCount(window), 0);
    QVERIFY(!QFile::exists(g_strDBName));

    window.LoadStartParam({music.path()}, g_strDBName, RUN_FILES);
    // A load end of the stopped run that comes only now, while the next
    // request is still being prepared, is not this request's.
    window.AcceptLoadOK();
    QCOMPARE(window.State().iState, int(MW_LOADING));
    QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
    QVERIFY(WaitForReport(window));
    int highest = 0;
    EngineTrackCount(window, &highest);
    QCOMPARE(highest, 2);
}

// Declined at the start, the interrupted run's database is not this run's
// to delete, neither by Home nor by closing.
void TestWorkflow::homeFromTheDuplicatePageKeepsAnInterruptedRun()
{
    QVERIFY(testenv::writeAll(g_strDBName, "an interrupted run"));
    ModalWatch watch([&](QWidget* modal) {
        // The question at start is declined; Home is confirmed.
        return PressMessageButton(modal, QStringLiteral("Yes")) || PressMessageButton(modal, QStringLiteral("Cancel"));
    });
    CMainUI window;
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    Button(window, "duplicate_obj")->click();
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_DUPLICATE));
    QCOMPARE(ButtonPage(window), int(BP_SCAN));
    Button(window, "main_gohome")->click();
    QCOMPARE(watch.handled, 2);
    QTRY_COMPARE_WITH_TIMEOUT(PageIndex(window), int(CMainUI::PAGE_START), kWaitMs);
    QCOMPARE(testenv::readAll(g_strDBName), QByteArray("an interrupted run"));
}

void TestWorkflow::undoAndHomeWaitForNoDisk_data()
{
    QTest::addColumn<QString>("action");
    QTest::addColumn<int>("held");
    QTest::newRow("undo, its song's move") << "undo" << int(CMusicLink::DW_SONG_MOVE);
    QTest::newRow("undo, the library file's rewrite") << "undo" << int(CMusicLink::DW_TRANSACTION_END);
    QTest::newRow("home during a removal's song") << "home" << int(CMusicLink::DW_SONG_MOVE);
    QTest::newRow("home during a removal's library rewrite") << "home" << int(CMusicLink::DW_TRANSACTION_END);
}

// Undo and Home leave the disk work to the apply thread, held here as a
// hung disk would hold it: the window keeps answering and shows busy, and
// finishes when the work has ended.
void TestWorkflow::undoAndHomeWaitForNoDisk()
{
    QFETCH(QString, action);
    QFETCH(int, held);
    const bool undo = action == QLatin1String("undo");
    QTemporaryDir dir;
    QVERIFY(MakeMusicFolder(dir.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"b/a.mp3", "id3v2-cover.mp3"},
                                         {"c/a.mp3", "id3v2-cover.mp3"}}));
    CMainUI window;
    window.show();
    CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
    CConfig::instance()->SetMsgInfo(2);
    window.LoadStartParam({dir.path()}, g_strDBName, RUN_DUP_FILES);
    QVERIFY(WaitForReport(window));
    auto* busy = window.findChild<CAnalyWidget*>();
    auto* tree = window.findChild<QTreeWidget*>(QStringLiteral("DuplicateTree"));
    QVERIFY(busy && tree);
    DiskHold hold(window.MusicLink(), CMusicLink::EDiskWork(held));
    ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
    QTreeWidgetItem* removed = nullptr;
    if (undo) {
        Button(window, "main_removebut")->click();
        QVERIFY(WaitForStage(window, MW_APPLY));
        QTreeWidgetItem* group = tree->topLevelItem(0);
        for (int c = 0; group && c < group->childCount() && !removed; ++c)
            removed = group->child(c)->flags() & Qt::ItemIsEnabled ? nullptr : group->child(c);
        QVERIFY(removed);
        QVERIFY(!QFile::exists(removed->text(4)));
        hold.Arm();
        constexpr int kColUndo = 6;
        const QHeaderView* header = tree->header();
        const QPoint undoCell(header->sectionViewportPosition(kColUndo) + header->sectionSize(kColUndo) / 2,
                              tree->visualItemRect(removed).center().y());
        QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, undoCell);
    } else {
        hold.Arm();
        Button(window, "main_removebut")->click();
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        Button(window, "main_gohome")->click();
        QCOMPARE(watch.handled, 1);
    }
    QCOMPARE(hold.HeldOnAWorker(), QString());
    // The duplicate tree's menu would call the engine meanwhile; the
    // preferences would change what the apply thread reads.
    QCOMPARE(WaitsAsAWhole(window), QString());
    QVERIFY(busy->isVisible());
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_DUPLICATE));
    if (undo) {
        QVERIFY(window.State().bUndoing);
        QVERIFY(!(removed->flags() & Qt::ItemIsEnabled));
        QVERIFY(!MenuAction(window, QStringLiteral("Save Project"))->isEnabled());
    } else {
        QVERIFY(window.State().bGoingHome);
        QCOMPARE(StatusText(window), QStringLiteral("Stopping, please wait a moment."));
        QVERIFY(!Button(window, "main_cancelbut")->isEnabled());
    }
    hold.Release();
    if (undo) {
        QVERIFY(QTest::qWaitFor([&] { return !window.State().bUndoing; }, kWaitMs));
        QVERIFY(removed->flags() & Qt::ItemIsEnabled);
        QVERIFY(QFile::exists(removed->text(4)));
        QVERIFY(MenuAction(window, QStringLiteral("Save Project"))->isEnabled());
    } else {
        QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_IDLE; }, kWaitMs));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QVERIFY(!QFile::exists(g_strDBName));
    }
    QVERIFY(!busy->isVisible());
    QVERIFY(!hold.GaveUp());
    QVERIFY(NoWorkerRuns(window));
    CConfig::instance()->SetMsgInfo(0);
}

void TestWorkflow::windowStepsWaitForNoDisk_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("held");
    QTest::addColumn<int>("passes");  // times the work is let through first
    QTest::newRow("Home right after Start") << "home at start" << int(CMusicLink::DW_CACHE_CLEAR) << 0;
    QTest::newRow("Home from a report") << "home" << int(CMusicLink::DW_CACHE_CLEAR) << 0;
    QTest::newRow("nothing found") << "nothing found" << int(CMusicLink::DW_CACHE_CLEAR) << 1;
    QTest::newRow("duplicate results") << "duplicates" << int(CMusicLink::DW_CACHE_CLEAR) << 1;
    QTest::newRow("Load Saved Result") << "load project" << int(CMusicLink::DW_PROJECT_COPY) << 0;
    QTest::newRow("Apply with an open edit") << "apply edit" << int(CMusicLink::DW_EDIT_COMMIT) << 0;
}

// Each step's disk work (held here as a hung disk would hold it: the
// cache's deletion, a project's copy, the editor's commit, and the load
// thread that Home waits for) runs on a worker while the window shows
// busy and waits as a whole; the step ends when the work has.
void TestWorkflow::windowStepsWaitForNoDisk()
{
    QFETCH(QString, step);
    QFETCH(int, held);
    QFETCH(int, passes);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir, copies;
    QVERIFY(MakeMusicFolder(copies.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"b/a.mp3", "id3v2-cover.mp3"}}));
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    if (step == QLatin1String("load project"))
        QVERIFY(SaveAProject(project));
    const QString cover = CConfig::instance()->GetDowndImgPath() + QStringLiteral("/fingerprint.bin");
    QVERIFY(testenv::writeAll(cover, "an earlier run's cache"));
    CMainUI window;
    window.show();
    DiskHold hold(window.MusicLink(), CMusicLink::EDiskWork(held));
    ModalWatch watch([&](QWidget* modal) {
        return PressMessageButton(modal, QStringLiteral("Yes")) || AnswerFileDialog(modal, project);
    });
    CModifyMusicInfo* editor = window.findChild<CAnalyReport*>()->ModifyInfo();
    void* edited = nullptr;
    if (step == QLatin1String("home at start")) {
        hold.Arm(passes);
        window.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        Button(window, "main_gohome")->click();
    } else if (step == QLatin1String("nothing found") || step == QLatin1String("duplicates")) {
        hold.Arm(passes);
        const bool duplicates = step == QLatin1String("duplicates");
        CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
        window.LoadStartParam({duplicates ? copies.path() : CleanFolder(dir)}, g_strDBName,
                              duplicates ? RUN_DUP_FILES : RUN_FILES);
    } else if (step == QLatin1String("load project")) {
        hold.Arm(passes);
        Button(window, "load_obj")->click();
    } else {
        window.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(window));
        hold.Arm(passes);
        // The editor open under the overlay: its fields would take keys.
        int absence = 0, state = 0;
        long long repeat = 0;
        QCOMPARE(window.MusicLink()->GetMusicListMusic(0, &edited, absence, state, repeat), 0);
        editor->SetItem(absence, edited);
        if (editor->isHidden())
            editor->EditHide();
        for (CLineEdit* field : editor->findChildren<CLineEdit*>())
            if (field->accessibleName() == QLatin1String("New Tag Artist"))
                field->setText(QStringLiteral("Typed Artist"));
        if (step == QLatin1String("home"))
            Button(window, "main_gohome")->click();
        else
            window.ApplyiTunes();
    }
    QCOMPARE(hold.HeldOnAWorker(), QString());
    // The walk empties the cache before it ends, its stage still running.
    if (step == QLatin1String("nothing found") || step == QLatin1String("duplicates")) {
        QVERIFY(EventLoopTurns(window));
        QCOMPARE(window.State().iState, int(MW_ANALYSING));
        QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
    } else {
        QCOMPARE(WaitsAsAWhole(window), QString());
    }
    if (step == QLatin1String("apply edit"))
        QCOMPARE(window.State().iSubState, int(SUB_FINISHED));
    hold.Release();

    if (step.startsWith(QLatin1String("home"))) {
        QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_IDLE; }, kWaitMs));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QVERIFY(!QFile::exists(g_strDBName));
    } else if (step == QLatin1String("apply edit")) {
        QVERIFY(WaitForStage(window, MW_APPLY));
        const tagMMusicInfo* working = nullptr;
        window.MusicLink()->GetMusicInfo(edited, &working, INFO_NEW);
        QVERIFY(working);
        QCOMPARE(working->strArtist, QStringLiteral("Typed Artist"));
    } else {
        QVERIFY(WaitForReport(window));
        if (step == QLatin1String("load project"))
            QCOMPARE(ButtonPage(window), int(BP_APPLY));
        else
            QCOMPARE(window.State().iOutcome, int(step == QLatin1String("duplicates") ? OUT_DUPLICATES : OUT_NOTHING_FOUND));
    }
    QVERIFY(!window.findChild<CAnalyWidget*>()->isVisible() || window.State().iOutcome == OUT_NOTHING_FOUND);
    QVERIFY(!QFile::exists(cover));
    QVERIFY(!hold.GaveUp());
}

void TestWorkflow::savesAndEndsWaitForNoDisk_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<int>("held");
    QTest::newRow("Save Project, the engine's save") << "save" << int(CMusicLink::DW_SAVE_WAIT);
    QTest::newRow("Save Project, the copy") << "save" << int(CMusicLink::DW_PROJECT_COPY);
    QTest::newRow("Save Project that fails") << "save fails" << int(CMusicLink::DW_PROJECT_COPY);
    QTest::newRow("Home of an opened project, the copy back") << "home project" << int(CMusicLink::DW_PROJECT_COPY);
    QTest::newRow("Home of an opened project, the deletion") << "home project" << int(CMusicLink::DW_DATABASE_DELETE);
    QTest::newRow("Try Again, the cache") << "try again" << int(CMusicLink::DW_CACHE_CLEAR);
    QTest::newRow("Return, the deletion") << "return" << int(CMusicLink::DW_DATABASE_DELETE);
    QTest::newRow("a failed load, the deletion") << "load fails" << int(CMusicLink::DW_DATABASE_DELETE);
}

// Save Project, Home of an opened project, Try Again, Return and a failed
// load do their disk work (held here as a hung disk would hold it) on a
// worker while the window shows busy and waits as a whole; each ends as it
// did: the project file holds the run, a failed copy is said, the working
// database goes.
void TestWorkflow::savesAndEndsWaitForNoDisk()
{
    QFETCH(QString, step);
    QFETCH(int, held);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    const QString journal = g_strDBName + QStringLiteral("-journal");
    if (step == QLatin1String("home project"))
        QVERIFY(SaveAProject(project));
    CMainUI window;
    window.show();
    QString told;
    ModalWatch watch([&](QWidget* modal) {
        return PressMessageButton(modal, QStringLiteral("Yes")) || PressMessageButton(modal, QStringLiteral("OK"), &told)
            || AnswerFileDialog(modal, project);
    });
    if (step == QLatin1String("home project")) {
        Button(window, "load_obj")->click();
        QVERIFY(WaitForReport(window));
        QVERIFY(testenv::writeAll(project, "the project as it was opened"));
    } else if (step == QLatin1String("try again")) {
        window.LoadStartParam({dir.filePath(QStringLiteral("none.xml"))}, g_strDBName, RUN_ITUNES);
        QVERIFY(WaitForStage(window, MW_LOADING));
    } else if (step == QLatin1String("load fails")) {
        // Its failure is the step: the request comes once the hold is armed.
    } else {
        window.LoadStartParam({step == QLatin1String("return") ? CleanFolder(dir) : SongsFolder()}, g_strDBName,
                              RUN_FILES);
        QVERIFY(WaitForReport(window));
    }
    if (step != QLatin1String("load fails"))
        QCOMPARE(ButtonPage(window), int(step.startsWith(QLatin1String("save")) ? BP_FIXALL
                                         : step == QLatin1String("home project") ? BP_APPLY : BP_TRYAGAIN));
    window.MusicLink()->WaitForSaveToDB();
    const QString cover = CConfig::instance()->GetDowndImgPath() + QStringLiteral("/fingerprint.bin");
    QVERIFY(testenv::writeAll(cover, "this run's cache"));
    if (step == QLatin1String("save fails"))
        QVERIFY(testenv::writeAll(journal, QByteArray()));
    DiskHold hold(window.MusicLink(), CMusicLink::EDiskWork(held));
    hold.Arm();
    if (step.startsWith(QLatin1String("save")))
        MenuAction(window, QStringLiteral("Save Project"))->trigger();
    else if (step == QLatin1String("home project"))
        Button(window, "main_gohome")->click();
    else if (step == QLatin1String("load fails"))
        window.LoadStartParam({dir.filePath(QStringLiteral("none.xml"))}, g_strDBName, RUN_ITUNES);
    else
        Button(window, "main_selectbut")->click();
    QCOMPARE(hold.HeldOnAWorker(), QString());
    QCOMPARE(WaitsAsAWhole(window), QString());
    QVERIFY(told.isEmpty());
    hold.Release();

    QVERIFY(QTest::qWaitFor([&] { return !window.State().bDiskStep && !window.State().bGoingHome; }, kWaitMs));
    if (step.startsWith(QLatin1String("save"))) {
        QTRY_COMPARE_WITH_TIMEOUT(told.isEmpty(), step == QLatin1String("save"), kWaitMs);
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_REPORT));
        QCOMPARE(ButtonPage(window), int(BP_FIXALL));
        QVERIFY(QFile::exists(g_strDBName));
        if (step == QLatin1String("save")) {
            QCOMPARE(testenv::readAll(project), testenv::readAll(g_strDBName));
            QCOMPARE(RowsIn(project), 2);
        } else {
            QCOMPARE(told, QStringLiteral("The project could not be saved to \"%1\".|").arg(project));
            QVERIFY(!QFile::exists(project));
            QVERIFY(QFile::remove(journal));
        }
        QVERIFY(!window.findChild<CAnalyWidget*>()->isVisible());
    } else if (step == QLatin1String("load fails")) {
        QCOMPARE(ButtonPage(window), int(BP_TRYAGAIN));
        QCOMPARE(StatusText(window), QStringLiteral("No valid iTunes library xml file found. Please go back and try again."));
        QVERIFY(!QFile::exists(g_strDBName));
    } else {
        QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_IDLE; }, kWaitMs));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QVERIFY(!window.findChild<CAnalyWidget*>()->isVisible());
        QVERIFY(!QFile::exists(g_strDBName));
        QVERIFY(!QFile::exists(cover));
        if (step == QLatin1String("home project"))
            QCOMPARE(RowsIn(project), 2);
    }
    QVERIFY(!hold.GaveUp());
}

// The look whether an interrupted run's working database is there runs on
// a worker: the window's event loop turns meanwhile, and the question
// comes once the look has ended.
void TestWorkflow::keptRunQuestionWaitsForNoDisk()
{
    QVERIFY(testenv::writeAll(g_strDBName, "an interrupted run"));
    QString question;
    ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Cancel"), &question); });
    CMainUI window;
    DiskHold hold(window.MusicLink(), CMusicLink::DW_DATABASE_LOOK);
    hold.Arm();
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return hold.Reached() || hold.OnGuiThread(); }, kWaitMs));
    QVERIFY2(!hold.OnGuiThread(), "the GUI thread looked at the disk");
    QVERIFY(EventLoopTurns(window));
    QCOMPARE(watch.handled, 0);
    hold.Release();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    QVERIFY(question.contains(QLatin1String("Do you want to continue it?")));
    QVERIFY(!hold.GaveUp());
    QCOMPARE(testenv::readAll(g_strDBName), QByteArray("an interrupted run"));
}

void TestWorkflow::homeAsksAboutTheRunItCouldNotCopyBack_data()
{
    QTest::addColumn<QString>("answer");
    QTest::newRow("continued") << "Continue";
    QTest::newRow("declined, then Load Saved Result") << "Cancel";
}

// Home keeps the working database when the opened project cannot take the
// run back. Any next request replaces that database, so the start screen
// asks about it at once, as at start.
void TestWorkflow::homeAsksAboutTheRunItCouldNotCopyBack()
{
    QFETCH(QString, answer);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    {
        CMainUI first;
        first.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(first));
        QVERIFY(first.close());
    }
    QVERIFY(QFile::rename(g_strDBName, project));
    CConfig::Destroy();
    CMainUI window;
    window.show();
    auto loadProject = [&] {
        ModalWatch watch([&](QWidget* modal) { return AnswerFileDialog(modal, project); });
        Button(window, "load_obj")->click();
        return watch.handled == 1 && WaitForReport(window);
    };
    QVERIFY(loadProject());
    window.MusicLink()->WaitForSaveToDB();
    const QByteArray projectBefore = testenv::readAll(project);
    const QByteArray run = testenv::readAll(g_strDBName);
    // A journal beside the working database: no copy of it can be taken.
    const QString journal = g_strDBName + QStringLiteral("-journal");
    QVERIFY(testenv::writeAll(journal, QByteArray()));
    QString question, told;
    ModalWatch watch([&](QWidget* modal) {
        if (PressMessageButton(modal, QStringLiteral("Yes")) || PressMessageButton(modal, QStringLiteral("OK"), &told))
            return true;
        QFile::remove(journal);
        return PressMessageButton(modal, answer, &question);
    });
    Button(window, "main_gohome")->click();
    // Home ends on the apply thread; the failure is said, and the question
    // follows.
    QTRY_COMPARE_WITH_TIMEOUT(watch.handled, 3, kWaitMs);
    QCOMPARE(told, QStringLiteral("The project could not be saved to \"%1\".|").arg(project));
    QVERIFY(question.contains(QLatin1String("Do you want to continue it?")));
    QCOMPARE(testenv::readAll(project), projectBefore);
    if (answer == QLatin1String("Continue")) {
        QVERIFY(WaitForReport(window));
        int highest = 0;
        EngineTrackCount(window, &highest);
        QCOMPARE(highest, 2);
        QCOMPARE(ButtonPage(window), int(BP_APPLY));
        return;
    }
    QCOMPARE(window.State().iState, int(MW_IDLE));
    QCOMPARE(testenv::readAll(g_strDBName), run);
    // Let go, as after the question at start: the next request takes its place.
    QVERIFY(loadProject());
    QCOMPARE(window.State().iOutcome, int(OUT_REPORT));
}

void TestWorkflow::saveProject_data()
{
    QTest::addColumn<bool>("oldProject");
    QTest::addColumn<bool>("cancelled");
    QTest::addColumn<bool>("unwritable");
    QTest::newRow("new project file") << false << false << false;
    QTest::newRow("replaces an old project") << true << false << false;
    QTest::newRow("cancelled panel") << true << true << false;
    QTest::newRow("the engine still writing") << false << false << true;
}

void TestWorkflow::saveProject()
{
    QFETCH(bool, oldProject);
    QFETCH(bool, cancelled);
    QFETCH(bool, unwritable);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("Sommer ä.zorvadata"));
    if (oldProject)
        QVERIFY(testenv::writeAll(project, "an older project"));
    CMainUI window;
    window.show();
    window.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
    QVERIFY(WaitForReport(window));
    // A journal beside the working database says the engine is writing it:
    // no copy can be taken then. The engine's own save after the analysis
    // may still run past the report; its journal would replace this one and
    // go with its commit, so it ends first.
    window.MusicLink()->WaitForSaveToDB();
    const QString journal = g_strDBName + QStringLiteral("-journal");
    if (unwritable)
        QVERIFY(testenv::writeAll(journal, QByteArray()));
    QString told;
    ModalWatch watch([&](QWidget* modal) {
        return AnswerFileDialog(modal, cancelled ? QString() : project) || PressMessageButton(modal, "OK", &told);
    });
    MenuAction(window, QStringLiteral("Save Project"))->trigger();
    // The copy runs on the apply thread; a failure is said after it.
    QVERIFY(WaitForDiskStep(window));
    QCOMPARE(watch.handled, unwritable ? 2 : 1);
    if (unwritable) {
        QCOMPARE(told, QStringLiteral("The project could not be saved to \"%1\".|").arg(project));
        QVERIFY(!QFile::exists(project));
        QVERIFY(QFile::remove(journal));
    } else if (cancelled) {
        QCOMPARE(testenv::readAll(project), QByteArray("an older project"));
    } else {
        const QByteArray saved = testenv::readAll(project);
        QVERIFY(saved.startsWith("SQLite format 3"));
        QCOMPARE(saved, testenv::readAll(g_strDBName));
        QCOMPARE(RowsIn(project), 2);
    }
    QVERIFY(QFile::exists(g_strDBName));
}

void TestWorkflow::closeRules_data()
{
    QTest::addColumn<QString>("run");
    QTest::newRow("a clean library") << "clean";
    QTest::newRow("problems left") << "problems";
    QTest::newRow("an opened project") << "project";
    QTest::newRow("an opened project, Save Project cancelled") << "project, save cancelled";
    QTest::newRow("a failed copy to the project") << "failed copy";
    QTest::newRow("an interrupted run not continued") << "declined";
}

void TestWorkflow::closeRules()
{
    QFETCH(QString, run);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    const bool opened = run.startsWith(QLatin1String("project"));
    if (opened || run == QLatin1String("failed copy")) {
        // A project made by an earlier run with problems left.
        CMainUI first;
        first.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(first));
        first.close();
        QVERIFY(QFile::rename(g_strDBName, project));
        CConfig::Destroy();
    }
    QByteArray atClose;
    if (run == QLatin1String("declined")) {
        // The start screen's question answered Cancel, then the window closed.
        QVERIFY(testenv::writeAll(g_strDBName, "an interrupted run"));
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Cancel")); });
        CMainUI window;
        window.show();
        QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
        QVERIFY(window.close());
        atClose = "an interrupted run";
    } else {
        CMainUI window;
        window.show();
        if (run == QLatin1String("clean")) {
            window.LoadStartParam({CleanFolder(dir)}, g_strDBName, RUN_FILES);
        } else if (run == QLatin1String("problems")) {
            window.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        } else {
            ModalWatch watch([&](QWidget* modal) { return AnswerFileDialog(modal, project); });
            Button(window, "load_obj")->click();
            QCOMPARE(watch.handled, 1);
        }
        QVERIFY(WaitForReport(window));
        QCOMPARE(ScoreText(window) == QLatin1String("100"), run == QLatin1String("clean"));
        if (run.endsWith(QLatin1String("save cancelled"))) {
            ModalWatch watch([&](QWidget* modal) { return AnswerFileDialog(modal, QString()); });
            MenuAction(window, QStringLiteral("Save Project"))->trigger();
            QCOMPARE(watch.handled, 1);
        }
        window.MusicLink()->WaitForSaveToDB();
        atClose = testenv::readAll(g_strDBName);
        if (run == QLatin1String("failed copy"))
            QVERIFY(testenv::writeAll(g_strDBName + QStringLiteral("-journal"), QByteArray()));
        const QByteArray before = testenv::readAll(project);
        QString told;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("OK"), &told); });
        QVERIFY(window.close());
        // A copy back that fails is said before the window closes.
        QCOMPARE(told, run == QLatin1String("failed copy")
                           ? QStringLiteral("The project could not be saved to \"%1\".|").arg(project)
                           : QString());
        // The opened project takes the run back, also after a Save Project
        // whose panel was cancelled.
        if (opened)
            QCOMPARE(testenv::readAll(project), atClose);
        if (run == QLatin1String("failed copy"))
            QCOMPARE(testenv::readAll(project), before);
    }
    const bool kept = run == QLatin1String("problems") || run == QLatin1String("failed copy")
                   || run == QLatin1String("declined");
    QCOMPARE(QFile::exists(g_strDBName), kept);
    QFile::remove(g_strDBName + QStringLiteral("-journal"));
    if (!kept)
        return;
    QCOMPARE(testenv::readAll(g_strDBName), atClose);
    if (run == QLatin1String("declined"))
        return;

    // The next start offers to continue, and continuing reopens the run.
    CConfig::Destroy();
    QString question;
    ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Continue"), &question); });
    CMainUI next;
    next.show();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    QVERIFY(question.contains(QLatin1String("Do you want to continue it?")));
    QVERIFY(WaitForReport(next));
    QCOMPARE(next.State().iOutcome, int(OUT_REPORT));
    QCOMPARE(ButtonPage(next), int(BP_APPLY));
    // Its problems are still there: Refix offers to fix them again.
    QVERIFY(QTest::qWaitFor([&] { return Named<QWidget>(next, "MainUIRetry")->isVisible(); }, kWaitMs));
}

void TestWorkflow::killedRunCanBeContinued_data()
{
    QTest::addColumn<QString>("phase");
    QTest::addColumn<bool>("reportAfter");
    // The load writes its rows in one transaction: killed inside it, the
    // database comes back empty, and continuing says so and cleans up.
    QTest::newRow("load") << "load" << false;
    QTest::newRow("analysis") << "analysis" << true;
}

// A child process runs the window on a library of 3000 tracks and is
// killed (SIGKILL) while the engine is held in that phase.
void TestWorkflow::killedRunCanBeContinued()
{
    QFETCH(QString, phase);
    QFETCH(bool, reportAfter);
    QTemporaryDir dir;
    const QString xml = MakeLongLibrary(dir, 3000);
    QVERIFY(!xml.isEmpty());
    CConfig::Destroy();
    QProcess child;
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--child"), phase, xml});
    QVERIFY(child.waitForStarted());
    QByteArray said;
    while (!said.contains("REACHED") && child.state() == QProcess::Running) {
        child.waitForReadyRead(1000);
        said += child.readAllStandardOutput();
    }
    QVERIFY2(said.contains("REACHED"), said.constData());
    child.kill();
    QVERIFY(child.waitForFinished());
    QCOMPARE(child.exitStatus(), QProcess::CrashExit);

    CConfig::instance();
    QVERIFY(QFile::exists(g_strDBName));
    const int rows = RowsIn(g_strDBName);
    QCOMPARE(rows, reportAfter ? 3000 : 0);

    ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Continue")); });
    CMainUI next;
    next.show();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    if (reportAfter) {
        QVERIFY(WaitForReport(next));
        int highest = 0;
        EngineTrackCount(next, &highest);
        QCOMPARE(highest, 3000);
        QCOMPARE(ButtonPage(next), int(BP_APPLY));
    } else {
        QVERIFY(WaitForStage(next, MW_LOADING));
        QCOMPARE(StatusText(next), QStringLiteral("Invalid project file. Please go back and try again."));
        QVERIFY(!QFile::exists(g_strDBName));
    }
}

void TestWorkflow::continuedRunClosedBeforeItsReport_data()
{
    QTest::addColumn<QString>("phase");
    for (const char* phase : {"engine load", "engine analysis", "walk"})
        QTest::newRow(phase) << QString::fromLatin1(phase);
}

// A kept run, continued and closed again before its report is back, is the
// only copy of its work: the next start offers it again, with its tracks
// and its score. The score the window starts with is no clean library.
void TestWorkflow::continuedRunClosedBeforeItsReport()
{
    QFETCH(QString, phase);
    QVERIFY(MakeFourSongs());
    {
        CMainUI first;
        first.show();
        first.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(first));
        QCOMPARE(ScoreText(first), QStringLiteral("62"));
        QVERIFY(first.close());
    }
    QVERIFY(QFile::exists(g_strDBName));
    for (int start = 0; start < 2; ++start) {
        CConfig::Destroy();
        QString question;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Continue"), &question); });
        CMainUI window;
        Gate gate;
        gate.Arm();
        if (phase == QLatin1String("engine load")) {
            GateLoadRecords(window.MusicLink(), gate, this);
        } else if (phase == QLatin1String("engine analysis")) {
            GateAnalysisEnd(window.MusicLink(), gate, this);
        } else {
            connect(window.findChild<CAnalyzeThread*>(), &CAnalyzeThread::UpdateProcess, this,
                    [&](int, int) { gate.Pass(); }, Qt::DirectConnection);
        }
        window.show();
        QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
        QVERIFY(question.contains(QLatin1String("Do you want to continue it?")));
        if (start == 1) {
            gate.Release();
            QVERIFY(WaitForReport(window));
            int highest = 0;
            EngineTrackCount(window, &highest);
            // As any continuation of the run shows it: the two songs with
            // problems, each now half the library (10000 - 2 x 5000 x 0.75).
            QCOMPARE(highest, 2);
            QCOMPARE(window.Score(), 2500.0);
            QCOMPARE(ScoreText(window), QStringLiteral("25"));
            QCOMPARE(ButtonPage(window), int(BP_APPLY));
            return;
        }
        QVERIFY(QTest::qWaitFor([&] { return gate.Reached(); }, kWaitMs));
        QVERIFY(!HasFinishedAnalysis(window.State()));
        QCOMPARE(ScoreText(window), QStringLiteral("100"));
        // Nothing reaches the window between the release and the close.
        gate.Release();
        QVERIFY(window.close());
        QVERIFY(QFile::exists(g_strDBName));
        // The two songs with problems; the complete ones are not kept.
        QCOMPARE(RowsIn(g_strDBName), 2);
    }
}

// A continued run is the only copy of its work: a load that cannot read
// its database (another program holds it locked) leaves it where it is,
// and Try Again offers it again; continued once the lock is gone, the run
// shows its report.
void TestWorkflow::continuedRunWhoseLoadFailsIsKept()
{
    QVERIFY(MakeFourSongs());
    {
        CMainUI first;
        first.show();
        first.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(first));
        first.MusicLink()->WaitForSaveToDB();
        QVERIFY(first.close());
    }
    QCOMPARE(RowsIn(g_strDBName), 2);
    sqlite3* holder = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(g_strDBName).constData(), &holder), SQLITE_OK);
    QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    CConfig::Destroy();
    QStringList questions;
    ModalWatch watch([&](QWidget* modal) {
        QString question;
        const bool pressed = PressMessageButton(modal, QStringLiteral("Continue"), &question);
        questions << question;
        return pressed;
    });
    CMainUI window;
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    QVERIFY(WaitForStage(window, MW_LOADING));
    QCOMPARE(ButtonPage(window), int(BP_TRYAGAIN));
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    QCOMPARE(RowsIn(g_strDBName), 2);

    Button(window, "main_selectbut")->click();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 2; }, kWaitMs));
    QVERIFY(questions.value(1).contains(QLatin1String("Do you want to continue it?")));
    QVERIFY(WaitForReport(window));
    QCOMPARE(ScoreText(window), QStringLiteral("25"));
}

void TestWorkflow::keptRunGoesOnlyWhenItIsOver_data()
{
    QTest::addColumn<QString>("save");   // Save Project after the failed load: "", "fails", "succeeds"
    QTest::addColumn<QString>("button"); // what leaves the failed load or the empty report
    QTest::addColumn<bool>("nothingLeft");
    // Nothing left to show, but covers found earlier wait to be written:
    // the analysis settings no longer ask for artwork.
    QTest::addColumn<bool>("coversWait");
    QTest::addColumn<bool>("library"); // the run was one of a library file, not of files
    QTest::newRow("Save Project failed, then Try Again") << "fails" << "main_selectbut" << false << false << false;
    QTest::newRow("Save Project succeeded, then Try Again") << "succeeds" << "main_selectbut" << false << false << false;
    QTest::newRow("Save Project failed, then Home") << "fails" << "main_gohome" << false << false << false;
    QTest::newRow("Home after the failed load") << "" << "main_gohome" << false << false << false;
    QTest::newRow("nothing left to do, then Return") << "" << "main_selectbut" << true << false << false;
    QTest::newRow("nothing left to show, covers waiting, then Return")
        << "" << "main_selectbut" << true << true << false;
    QTest::newRow("a library's run, nothing left to show, covers waiting, then Return")
        << "" << "main_selectbut" << true << true << true;
}

// A kept run's working database is its only copy until the run is over. A
// continued run whose load failed (another program held the database) is
// offered again by Try Again and Home, whatever Save Project did meanwhile;
// continued once the lock is gone, it shows its report. A kept run whose
// every song is complete shows Return, and Return lets it go: the next
// start asks nothing. Whatever run is kept, the start screen holds no
// library: another Vessolin may open it from there.
void TestWorkflow::keptRunGoesOnlyWhenItIsOver()
{
    QFETCH(QString, save);
    QFETCH(QString, button);
    QFETCH(bool, nothingLeft);
    QFETCH(bool, coversWait);
    QFETCH(bool, library);
    QTemporaryDir dir;
    QVERIFY(MakeFourSongs());
    const QString xml = dir.filePath(QStringLiteral("Library.xml"));
    QVERIFY(MakeLibrary(xml, {SongsFolder() + QStringLiteral("/A.MP3")}, 2));
    {
        CMainUI first;
        first.show();
        first.LoadStartParam({library ? xml : SongsFolder()}, g_strDBName, library ? RUN_ITUNES : RUN_FILES);
        QVERIFY(WaitForReport(first));
        first.MusicLink()->WaitForSaveToDB();
        QVERIFY(first.close());
    }
    QCOMPARE(RowsIn(g_strDBName), 2);
    sqlite3* holder = nullptr;
    QCOMPARE(sqlite3_open(QFile::encodeName(g_strDBName).constData(), &holder), SQLITE_OK);
    // As an apply leaves the tracks whose every problem it wrote, when the
    // run is killed before its close.
    const QByteArray complete = QByteArray::number(AT_ANALYSED | (coversWait ? MF_ARTWORK : 0));
    // A found cover: its bytes and where the run keeps its file.
    const QByteArray covers = coversWait ? ", ArtData = X'FFD8FFE000104A46494600', ArtPath = 'found.jpg'" : "";
    if (nothingLeft)
        QCOMPARE(sqlite3_exec(holder, QByteArray("UPDATE TracksTable SET Absence = " + complete + covers).constData(),
                              nullptr, nullptr, nullptr), SQLITE_OK);
    else
        QCOMPARE(sqlite3_exec(holder, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr), SQLITE_OK);
    // A track the killed run had not analysed yet, complete: the continued
    // run asks the library whether its file holds artwork, which takes the
    // library's lock.
    if (library)
        QCOMPARE(sqlite3_exec(holder,
                              "UPDATE TracksTable SET Absence = 0, Artist = 'Someone', ArtData = NULL, ArtPath = NULL "
                              "WHERE rowid = (SELECT min(rowid) FROM TracksTable)",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
    const QByteArray kept = testenv::readAll(g_strDBName);
    const QString project = dir.filePath(QStringLiteral("saved run.zorvadata"));
    const QString journal = g_strDBName + QStringLiteral("-journal");
    CConfig::Destroy();
    QStringList questions;
    QString told;
    // Whether the library's lock file was there at each question: its
    // holder removes it when it lets go.
    QList<bool> locked;
    ModalWatch watch([&](QWidget* modal) {
        QString question;
        if (PressMessageButton(modal, QStringLiteral("Continue"), &question)) {
            questions << question;
            locked << QFile::exists(xml + QStringLiteral(".lock"));
            return true;
        }
        return AnswerFileDialog(modal, project) || PressMessageButton(modal, QStringLiteral("OK"), &told)
            || PressMessageButton(modal, QStringLiteral("Yes"));
    });
    CMainUI window;
    // Back before the window's end saves the settings.
    struct MaskBack {
        int mask;
        ~MaskBack() { CConfig::instance()->Genernal = mask; }
    } maskBack{CConfig::instance()->Genernal};
    if (coversWait)
        CConfig::instance()->Genernal &= ~MF_ARTWORK;
    window.show();
    QVERIFY(QTest::qWaitFor([&] { return questions.size() == 1; }, kWaitMs));
    QVERIFY(WaitForStage(window, nothingLeft ? MW_ANALYSING : MW_LOADING));
    QCOMPARE(ButtonPage(window), int(BP_TRYAGAIN));
    QCOMPARE(Button(window, "main_selectbut")->text(), nothingLeft ? QStringLiteral("Return") : QStringLiteral("Try Again"));
    if (nothingLeft)
        QCOMPARE(ScoreText(window), QStringLiteral("100"));
    if (!save.isEmpty()) {
        // A journal says a write is under way: no copy can be taken.
        if (save == QLatin1String("fails"))
            QVERIFY(testenv::writeAll(journal, QByteArray()));
        MenuAction(window, QStringLiteral("Save Project"))->trigger();
        QTRY_VERIFY_WITH_TIMEOUT(!window.State().bDiskStep && watch.handled >= (save == QLatin1String("fails") ? 3 : 2), kWaitMs);
        if (save == QLatin1String("fails")) {
            QCOMPARE(told, QStringLiteral("The project could not be saved to \"%1\".|").arg(project));
            QVERIFY(!QFile::exists(project));
            QVERIFY(QFile::remove(journal));
        } else {
            QVERIFY(told.isEmpty());
            QCOMPARE(testenv::readAll(project), kept);
        }
    }
    sqlite3_exec(holder, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(holder);
    // The continued run stores what it analysed of the track left undone.
    if (!library)
        QCOMPARE(testenv::readAll(g_strDBName), kept);

    Button(window, qPrintable(button))->click();
    QVERIFY(QTest::qWaitFor([&] {
        return (window.State().iState == MW_IDLE && !window.State().bDiskStep) || questions.size() > 1;
    }, kWaitMs));
    if (coversWait) {
        // Offered again, and continued: the covers still wait.
        QVERIFY(QTest::qWaitFor([&] { return questions.size() == 2; }, kWaitMs));
        QVERIFY(questions.at(1).contains(QLatin1String("Do you want to continue it?")));
        QCOMPARE(locked, QList<bool>({false, false}));
        QVERIFY(WaitForStage(window, MW_ANALYSING));
        QCOMPARE(mmtest::countRows(g_strDBName, "(Absence & " + QByteArray::number(MF_ARTWORK)
                                                    + ") != 0 AND ArtData IS NOT NULL"),
                 library ? 1 : 2);
        return;
    }
    if (nothingLeft) {
        QCOMPARE(questions.size(), 1);
        QVERIFY(!QFile::exists(g_strDBName));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        window.StartUI()->CheckingIsSave();
        QCOMPARE(questions.size(), 1);
        QCOMPARE(window.State().iState, int(MW_IDLE));
        return;
    }
    QVERIFY(QTest::qWaitFor([&] { return questions.size() == 2; }, kWaitMs));
    QVERIFY(questions.at(1).contains(QLatin1String("Do you want to continue it?")));
    QVERIFY(WaitForReport(window));
    QCOMPARE(ScoreText(window), QStringLiteral("25"));
    QCOMPARE(ButtonPage(window), int(BP_APPLY));
}

void TestWorkflow::freshRunClosedDuringItsLoad_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("paused");
    QTest::newRow("the library") << int(RUN_ITUNES) << false;
    QTest::newRow("the library, paused") << int(RUN_ITUNES) << true;
    QTest::newRow("a duplicate scan of files") << int(RUN_DUP_FILES) << false;
}

// The engine is held at its first load record, so the close comes while it
// loads. What it stored is a part of a library that is untouched where it
// came from: the close deletes it, and the next start offers nothing.
void TestWorkflow::freshRunClosedDuringItsLoad()
{
    QFETCH(int, mode);
    QFETCH(bool, paused);
    QTemporaryDir dir;
    const QString xml = MakeLongLibrary(dir, 3000);
    QVERIFY(!xml.isEmpty());
    {
        CMainUI window;
        Gate gate;
        gate.Arm();
        GateLoadRecords(window.MusicLink(), gate, this);
        window.show();
        window.LoadStartParam({mode == RUN_ITUNES ? xml : dir.path()}, g_strDBName, EMusicRunMode(mode));
        QVERIFY(QTest::qWaitFor([&] { return gate.Reached() && !window.State().bPreparing; }, kWaitMs));
        QCOMPARE(window.State().iState, int(MW_LOADING));
        if (paused) {
            Button(window, "main_cancelbut")->click();
            QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        }
        gate.Release();
        QVERIFY(window.close());
    }
    QVERIFY(!QFile::exists(g_strDBName));
    CConfig::Destroy();
    ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Cancel")); });
    CMainUI next;
    next.show();
    next.StartUI()->CheckingIsSave();
    QCOMPARE(watch.handled, 0);
    QCOMPARE(next.State().iState, int(MW_IDLE));
}

void TestWorkflow::continuedRunShowsTheSameScore_data()
{
    QTest::addColumn<int>("tracks");
    // Counts whose quarter weights, summed one track at a time, came out
    // below 7500.
    QTest::newRow("11 tracks") << 11;
    QTest::newRow("3000 tracks") << 3000;
}

// A library whose every song file is gone (and has no artwork or year): no
// track is complete, so the continued run has every track the first one
// had, each costing a quarter of its weight. The first report and the
// continued one's count of open problems show the same score.
void TestWorkflow::continuedRunShowsTheSameScore()
{
    QFETCH(int, tracks);
    QTemporaryDir dir;
    const QString xml = dir.filePath(QStringLiteral("Library.xml"));
    QVERIFY(MakeLibrary(xml, {dir.filePath(QStringLiteral("gone.mp3"))}, tracks));
    {
        CMainUI first;
        first.show();
        first.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
        QVERIFY(WaitForReport(first));
        QCOMPARE(ScoreText(first), QStringLiteral("75"));
        first.MusicLink()->WaitForSaveToDB();
        QVERIFY(first.close());
    }
    QCOMPARE(RowsIn(g_strDBName), tracks);
    CConfig::Destroy();
    ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Continue")); });
    CMainUI next;
    next.show();
    QVERIFY(QTest::qWaitFor([&] { return watch.handled == 1; }, kWaitMs));
    QVERIFY(WaitForReport(next));
    // Refix shows once the report page has counted the open problems.
    QVERIFY(QTest::qWaitFor([&] { return Named<QWidget>(next, "MainUIRetry")->isVisible(); }, kWaitMs));
    QCOMPARE(ScoreText(next), QStringLiteral("75"));
    QCOMPARE(next.Score(), 7500.0);
}

void TestWorkflow::failedSaveOrOpenIsSaid_data()
{
    QTest::addColumn<QString>("step");
    QTest::addColumn<bool>("closed");  // the window is closed while the copy runs
    QTest::newRow("Save Project, closed during its copy") << "save" << true;
    QTest::newRow("Load Saved Result, the disk full half-way") << "open" << false;
    QTest::newRow("Load Saved Result, the disk full, closed during its copy") << "open" << true;
}

// A copy to or from a project that fails is said before the window moves
// on or closes, also when the close came while it ran (held here, and let
// go as the close begins). Nothing is left half made: no project file, no
// working database.
void TestWorkflow::failedSaveOrOpenIsSaid()
{
    QFETCH(QString, step);
    QFETCH(bool, closed);
    const bool save = step == QLatin1String("save");
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    const QString journal = g_strDBName + QStringLiteral("-journal");
    if (!save)
        QVERIFY(SaveAProject(project));
    const QByteArray projectBefore = testenv::readAll(project);
    CMainUI window;
    window.show();
    QStringList told;
    ModalWatch watch([&](QWidget* modal) {
        QString seen;
        if (!PressMessageButton(modal, QStringLiteral("OK"), &seen))
            return AnswerFileDialog(modal, project);
        told << seen;
        return true;
    });
    if (save) {
        window.LoadStartParam({SongsFolder()}, g_strDBName, RUN_FILES);
        QVERIFY(WaitForReport(window));
        window.MusicLink()->WaitForSaveToDB();
        // A journal says a write is under way: no copy can be taken.
        QVERIFY(testenv::writeAll(journal, QByteArray()));
    }
    DiskHold hold(window.MusicLink(), CMusicLink::DW_PROJECT_COPY);
    if (closed)
        hold.Arm();
    if (!save)
        filesizelimit::set(projectBefore.size() / 2);
    if (save)
        MenuAction(window, QStringLiteral("Save Project"))->trigger();
    else
        Button(window, "load_obj")->click();
    if (closed) {
        QCOMPARE(hold.HeldOnAWorker(), QString());
        hold.Release();
        QVERIFY(window.close());
    } else {
        QVERIFY(WaitForDiskStep(window));
    }
    filesizelimit::set(-1);
    const QString text = save ? QStringLiteral("The project could not be saved to \"%1\".|")
                              : QStringLiteral("The project \"%1\" could not be opened.|");
    QVERIFY2(QTest::qWaitFor([&] { return !told.isEmpty(); }, kWaitMs), "nothing was said");
    QCOMPARE(told, QStringList{text.arg(project)});
    QCOMPARE(window.isVisible(), !closed);
    if (save) {
        QVERIFY(!QFile::exists(project));
        // The run with its problems stays for the next start.
        QVERIFY(QFile::remove(journal));
        QCOMPARE(RowsIn(g_strDBName), 2);
    } else {
        QCOMPARE(testenv::readAll(project), projectBefore);
        QVERIFY(!QFile::exists(g_strDBName));
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QCOMPARE(window.State().iState, int(MW_IDLE));
    }
}

void TestWorkflow::interruptedOpenIsNoInterruptedRun_data()
{
    QTest::addColumn<QString>("stop");
    QTest::addColumn<bool>("afterFailedOpen");
    QTest::newRow("closed during the copy") << "close" << false;
    QTest::newRow("Home during the copy") << "home" << false;
    QTest::newRow("closed during the copy, after a project that failed to open") << "close" << true;
    QTest::newRow("Home during the copy, after a project that failed to open") << "home" << true;
}

// A close or Home while Load Saved Result puts the project in the working
// database's place (held here) leaves no working database: the next start
// offers no interrupted run, and both project files are as they were. The
// project of an earlier request that failed to open takes nothing of it.
void TestWorkflow::interruptedOpenIsNoInterruptedRun()
{
    QFETCH(QString, stop);
    QFETCH(bool, afterFailedOpen);
    QVERIFY(MakeFourSongs());
    QTemporaryDir dir;
    const QString project = dir.filePath(QStringLiteral("run.zorvadata"));
    const QString broken = dir.filePath(QStringLiteral("broken.zorvadata"));
    QVERIFY(SaveAProject(project));
    QVERIFY(testenv::writeAll(broken, "no project of ours"));
    const QByteArray projectBefore = testenv::readAll(project);
    {
        CMainUI window;
        window.show();
        QString chosen = broken;
        int questions = 0;
        ModalWatch watch([&](QWidget* modal) {
            if (PressMessageButton(modal, QStringLiteral("Yes")))
                return true;
            if (PressMessageButton(modal, QStringLiteral("Continue"))) {
                ++questions;
                return true;
            }
            return AnswerFileDialog(modal, chosen);
        });
        if (afterFailedOpen) {
            Button(window, "load_obj")->click();
            QVERIFY(WaitForStage(window, MW_LOADING));
            QCOMPARE(StatusText(window), QStringLiteral("Invalid project file. Please go back and try again."));
            Button(window, "main_selectbut")->click();
            QVERIFY(WaitForIdle(window));
        }
        chosen = project;
        DiskHold hold(window.MusicLink(), CMusicLink::DW_PROJECT_COPY);
        hold.Arm();
        Button(window, "load_obj")->click();
        QCOMPARE(hold.HeldOnAWorker(), QString());
        if (stop == QLatin1String("close")) {
            hold.Release();
            QVERIFY(window.close());
        } else {
            Button(window, "main_gohome")->click();
            QVERIFY(window.State().bGoingHome);
            hold.Release();
            QVERIFY(WaitForIdle(window));
            QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
            QVERIFY(window.close());
        }
        QCOMPARE(questions, 0);
        QVERIFY(!hold.GaveUp());
    }
    QVERIFY(!QFile::exists(g_strDBName));
    QCOMPARE(testenv::readAll(project), projectBefore);
    QCOMPARE(testenv::readAll(broken), QByteArray("no project of ours"));
    CConfig::Destroy();
    ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Continue")); });
    CMainUI next;
    next.show();
    next.StartUI()->CheckingIsSave();
    QTest::qWait(200);
    QCOMPARE(watch.handled, 0);
    QCOMPARE(next.State().iState, int(MW_IDLE));
}

void TestWorkflow::homeDuringTryAgainOrReturnEndsAtHome_data()
{
    QTest::addColumn<QString>("end");
    QTest::newRow("Try Again after a duplicate scan that found no songs") << "try again";
    QTest::newRow("Return after a duplicate scan that found no duplicates") << "return";
}

// Home pressed while Try Again or Return deletes the cache (held here)
// ends at the start screen, as Home does everywhere, once the step has
// ended: not on the duplicate page the step itself leads to.
void TestWorkflow::homeDuringTryAgainOrReturnEndsAtHome()
{
    QFETCH(QString, end);
    QTemporaryDir dir, empty;
    CMainUI window;
    window.show();
    CConfig::instance()->Duplicate = MF_TITLE | MF_ARTIST | OPT_DEGREE_MEDIUM;
    const bool tryAgain = end == QLatin1String("try again");
    // Two songs of different titles, and a folder without songs.
    QVERIFY(MakeMusicFolder(dir.path(), {{"a.mp3", "id3v2-cover.mp3"}, {"b.mp3", "untagged.mp3"}}));
    window.LoadStartParam({tryAgain ? empty.path() : dir.path()}, g_strDBName, RUN_DUP_FILES);
    QVERIFY(WaitForStage(window, tryAgain ? MW_LOADING : MW_ANALYSING));
    QCOMPARE(ButtonPage(window), int(BP_TRYAGAIN));
    QCOMPARE(Button(window, "main_selectbut")->text(), tryAgain ? QStringLiteral("Try Again") : QStringLiteral("Return"));
    DiskHold hold(window.MusicLink(), CMusicLink::DW_CACHE_CLEAR);
    hold.Arm();
    Button(window, "main_selectbut")->click();
    QCOMPARE(hold.HeldOnAWorker(), QString());
    ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
    Button(window, "main_gohome")->click();
    QCOMPARE(watch.handled, 1);
    QVERIFY(window.State().bGoingHome);
    hold.Release();
    QVERIFY(WaitForIdle(window));
    QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
    QCOMPARE(HeaderPage(window), int(CMainUI::HEADER_WELCOME));
    QVERIFY(!window.State().bDuplicatePage);
    QVERIFY(!window.findChild<CAnalyWidget*>()->isVisible());
    QVERIFY(!QFile::exists(g_strDBName));
    QVERIFY(NoWorkerRuns(window));
    QVERIFY(!hold.GaveUp());
}

namespace {

// The child: the window loads the library and the engine is held for good
// once it is in the phase; the parent kills it there.
int RunChild(const QString& phase, const QString& xml)
{
    ForgetWorkingDatabase();
    CMainUI window;
    window.show();
    auto reached = [] {
        std::fputs("REACHED\n", stdout);
        std::fflush(stdout);
    };
    std::atomic<int> records{0};
    if (phase == QLatin1String("load")) {
        QObject::connect(window.MusicLink(), &CMusicLink::SendLoadMusic, &window, [&, reached](void*, int, QString) {
            if (++records == 1000) {
                reached();
                QSemaphore().acquire();
            }
        }, Qt::DirectConnection);
    } else {
        QObject::connect(window.MusicLink(), &CMusicLink::UpdateProcess, &window, [reached](int progress) {
            if (progress >= PROGRESS_FULL) {
                reached();
                QSemaphore().acquire();
            }
        }, Qt::DirectConnection);
    }
    window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
    return qApp->exec();
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc >= 4 && qstrcmp(argv[1], "--child") == 0)
        return RunChild(QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3]));
    TestWorkflow test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_workflow.moc"
