// The window's workflow state: every path a user can take through the
// stages, and the controls each state shows. A path is a line of events
// from the start ("load:2" is a load request in run mode 2).
#include "vessolin/mainstate.h"

#include "cadenzo.h"

#include <QHash>
#include <QTest>

namespace {

int eventCode(const QString& name)
{
    static const QHash<QString, int> events = {
        {QStringLiteral("load"), EV_LOAD_REQUEST},      {QStringLiteral("prepared"), EV_LOAD_PREPARED},
        {QStringLiteral("loadfail"), EV_LOAD_FAILED},   {QStringLiteral("loaded"), EV_LOAD_ENDED},
        {QStringLiteral("analyse"), EV_ANALYSIS_START}, {QStringLiteral("report"), EV_REPORT},
        {QStringLiteral("pause"), EV_PAUSE},            {QStringLiteral("continue"), EV_CONTINUE},
        {QStringLiteral("fix"), EV_FIX_START},          {QStringLiteral("moving"), EV_MOVE_FAILED},
        {QStringLiteral("moved"), EV_MOVE_FAILED_DONE}, {QStringLiteral("fixed"), EV_FIX_END},
        {QStringLiteral("apply"), EV_APPLY_START},      {QStringLiteral("applied"), EV_APPLY_END},
        {QStringLiteral("notstored"), EV_APPLY_FAILED},
        {QStringLiteral("duppage"), EV_DUPLICATE_PAGE}, {QStringLiteral("reset"), EV_RESET},
        {QStringLiteral("left"), EV_PROBLEMS_LEFT},
        {QStringLiteral("undo"), EV_UNDO_START},        {QStringLiteral("undone"), EV_UNDO_END},
        {QStringLiteral("homewait"), EV_HOME_WAIT},
        {QStringLiteral("disk"), EV_DISK_STEP},         {QStringLiteral("diskdone"), EV_DISK_STEP_END},
    };
    const int event = events.value(name, -1);
    if (event < 0)
        qFatal("unknown event %s", qPrintable(name));
    return event;
}

tagMainState walk(const QString& path)
{
    tagMainState state;
    for (const QString& step : path.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        const QStringList parts = step.split(QLatin1Char(':'));
        const int event = eventCode(parts.at(0));
        state = MainStateAfter(state, event, parts.size() > 1 ? parts.at(1).toInt() : 0);
    }
    return state;
}

// Paths to the common points.
const char* const kReport = "load:2 prepared loaded analyse:2 report:1 ";
const char* const kDupReport = "load:4 prepared loaded analyse:4 report:1 ";
const char* const kFixing = "load:2 prepared loaded analyse:2 report:1 fix ";

} // namespace

class TestMainState : public QObject
{
    Q_OBJECT

private slots:
    void paths_data();
    void paths();
    void refusedEventsChangeNothing_data();
    void refusedEventsChangeNothing();
};

void TestMainState::paths_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<int>("stage");
    QTest::addColumn<int>("sub");
    QTest::addColumn<int>("page");
    // Pause action, Continue action, Pause button enabled, Continue look,
    // Save Project, Refix shown, the Apply Result or Save Project link
    // shown, the button stack taking presses, Preferences enabled, as a
    // word of letters: P C B L S R A K F (a dash for off).
    QTest::addColumn<QString>("controls");

    auto row = [](const char* name, const QString& path, int stage, int sub, int page, const char* controls) {
        QTest::newRow(name) << path << stage << sub << page << QString::fromLatin1(controls);
    };
    const QString report = QLatin1String(kReport), dup = QLatin1String(kDupReport),
                  fixing = QLatin1String(kFixing);
    row("start", QString(), MW_IDLE, SUB_NONE, BP_PAUSE, "--B----KF");
    row("mode 0 ignored", QStringLiteral("load:0"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B----KF");
    row("load thread runs", QStringLiteral("load:2"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "-------KF");
    row("engine loads", QStringLiteral("load:2 prepared"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "P-B----KF");
    row("load paused", QStringLiteral("load:2 prepared pause"), MW_LOADING, SUB_PAUSED, BP_PAUSE, "-CBL---KF");
    row("load continued", QStringLiteral("load:2 prepared pause continue"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "P-B----KF");
    row("load failed", QStringLiteral("load:1 prepared loadfail"), MW_LOADING, SUB_FINISHED, BP_TRYAGAIN, "--B-S--KF");
    row("refused by the engine", QStringLiteral("load:3 loadfail"), MW_LOADING, SUB_FINISHED, BP_TRYAGAIN, "--B-S--KF");
    row("load ended", QStringLiteral("load:2 prepared loaded"), MW_LOADING, SUB_FINISHED, BP_PAUSE, "--B-S--KF");
    row("end on its way at pause", QStringLiteral("load:2 prepared pause loaded"), MW_LOADING, SUB_FINISHED, BP_PAUSE, "--B-S--KF");
    row("analysing", QStringLiteral("load:2 prepared loaded analyse:2"), MW_ANALYSING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("analysis paused", QStringLiteral("load:2 prepared loaded analyse:2 pause"), MW_ANALYSING, SUB_PAUSED, BP_PAUSE, "-CBLS--KF");
    row("report", report, MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "--B-S--KF");
    row("nothing found", QStringLiteral("load:2 prepared loaded analyse:2 report:0"), MW_ANALYSING, SUB_FINISHED, BP_TRYAGAIN, "--B-S--KF");
    row("resumed project", QStringLiteral("load:3 prepared loaded analyse:2 report:1"), MW_ANALYSING, SUB_FINISHED, BP_APPLY, "--B-S--KF");
    row("project of a scan", QStringLiteral("load:3 prepared loaded analyse:5 report:1"), MW_ANALYSING, SUB_FINISHED, BP_REMOVE, "--B-S--KF");
    row("duplicates found", dup, MW_ANALYSING, SUB_FINISHED, BP_REMOVE, "--B-S--KF");
    row("fixing", fixing, MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("fixing paused", fixing + QStringLiteral("pause"), MW_FIXING, SUB_PAUSED, BP_PAUSE, "-CBLS-AKF");
    row("moving failed", fixing + QStringLiteral("moving"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "----S--KF");
    row("moved", fixing + QStringLiteral("moving moved"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("fixing ended", fixing + QStringLiteral("fixed"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-S--KF");
    row("applying", fixing + QStringLiteral("fixed apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("apply paused", fixing + QStringLiteral("fixed apply pause"), MW_APPLY, SUB_PAUSED, BP_PAUSE, "-CBL---K-");
    row("applied", fixing + QStringLiteral("fixed apply applied"), MW_APPLY, SUB_FINISHED, BP_APPLY, "--B-S--KF");
    row("apply again", fixing + QStringLiteral("fixed apply applied apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("refix after apply", fixing + QStringLiteral("fixed apply applied fix"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("refix of a project", QStringLiteral("load:3 prepared loaded analyse:2 report:1 fix"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("apply inside paused fixing", fixing + QStringLiteral("pause apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("back to paused fixing", fixing + QStringLiteral("pause apply applied"), MW_FIXING, SUB_PAUSED, BP_PAUSE, "-CBLS-AKF");
    row("fixing resumed after apply", fixing + QStringLiteral("pause apply applied continue"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("apply of a project", QStringLiteral("load:3 prepared loaded analyse:2 report:1 apply applied"), MW_APPLY, SUB_FINISHED, BP_APPLY, "--B-S--KF");
    row("removing", dup + QStringLiteral("apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("removal paused", dup + QStringLiteral("apply pause"), MW_APPLY, SUB_PAUSED, BP_PAUSE, "-CBL---K-");
    row("removed", dup + QStringLiteral("apply applied"), MW_APPLY, SUB_FINISHED, BP_REMOVE, "--B-S--KF");
    row("remove again", dup + QStringLiteral("apply applied apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("duplicate page", QStringLiteral("duppage"), MW_IDLE, SUB_NONE, BP_SCAN, "--B----KF");
    row("scan from the page", QStringLiteral("duppage load:4"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "-------KF");
    row("home while fixing", fixing + QStringLiteral("reset"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B-S--KF");
    row("try again", QStringLiteral("load:2 prepared loadfail reset"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B-S--KF");
    row("return to duplicates", QStringLiteral("load:4 prepared loaded analyse:4 report:0 reset duppage"), MW_IDLE, SUB_NONE, BP_SCAN, "--B-S--KF");
    row("new request after home", fixing + QStringLiteral("reset load:1 prepared"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "P-B----KF");
    row("new request after a report", report + QStringLiteral("load:1"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "-------KF");
    row("problems left while fixing", fixing + QStringLiteral("left:1"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "P-B-S--KF");
    row("refix after fixing", fixing + QStringLiteral("left:1 fixed"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-SR-KF");
    row("nothing left after fixing", fixing + QStringLiteral("left:1 fixed left:0"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-S--KF");
    row("no refix while applying", fixing + QStringLiteral("left:1 fixed apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("refix after the apply", fixing + QStringLiteral("left:1 fixed apply left:1 applied"), MW_APPLY, SUB_FINISHED, BP_APPLY, "--B-SR-KF");
    row("refix of a reopened project", QStringLiteral("load:3 prepared loaded analyse:2 report:1 left:1"), MW_ANALYSING, SUB_FINISHED, BP_APPLY, "--B-SR-KF");
    row("no refix before Fix All", report + QStringLiteral("left:1"), MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "--B-S--KF");
    row("paused fixing ended", fixing + QStringLiteral("pause fixed"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-S--KF");
    row("refix forgotten at home", fixing + QStringLiteral("left:1 fixed reset"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B-S--KF");
    // An apply or removal whose end did not land finishes nothing: it waits
    // to be pressed again, or its paused fixing run goes on.
    row("apply end not stored", fixing + QStringLiteral("fixed apply notstored"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-S--KF");
    row("not stored, problems left", fixing + QStringLiteral("left:1 fixed apply left:1 notstored"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-SR-KF");
    row("not stored, paused apply", fixing + QStringLiteral("fixed apply pause notstored"), MW_APPLY, SUB_NONE, BP_APPLY, "--B-S--KF");
    row("not stored inside paused fixing", fixing + QStringLiteral("pause apply notstored"), MW_FIXING, SUB_PAUSED, BP_PAUSE, "-CBLS-AKF");
    row("apply again after not stored", fixing + QStringLiteral("fixed apply notstored apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("removal end not stored", dup + QStringLiteral("apply notstored"), MW_APPLY, SUB_NONE, BP_REMOVE, "--B-S--KF");
    row("remove again after not stored", dup + QStringLiteral("apply notstored apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    // An undo runs on the apply thread: the engine writes, Remove waits.
    row("undoing after a removal", dup + QStringLiteral("apply applied undo"), MW_APPLY, SUB_FINISHED, BP_REMOVE, "--B----K-");
    row("undoing a removal of an earlier run", dup + QStringLiteral("undo"), MW_ANALYSING, SUB_FINISHED, BP_REMOVE, "--B----K-");
    row("undone", dup + QStringLiteral("apply applied undo undone"), MW_APPLY, SUB_FINISHED, BP_REMOVE, "--B-S--KF");
    row("remove after the undo", dup + QStringLiteral("apply applied undo undone apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    // Home during the apply thread's work waits for its end without any
    // control of the run it stops.
    row("home waits for the apply", fixing + QStringLiteral("fixed apply homewait"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "---------");
    row("home waits for a paused apply", fixing + QStringLiteral("fixed apply pause homewait"), MW_APPLY, SUB_PAUSED, BP_PAUSE, "---L-----");
    row("home waits for the removal", dup + QStringLiteral("apply homewait"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "---------");
    row("home waits for the undo", dup + QStringLiteral("undo homewait"), MW_ANALYSING, SUB_FINISHED, BP_REMOVE, "---------");
    // Home's own stop runs on the apply thread too, from any stage.
    row("home from duplicate results", dup + QStringLiteral("homewait"), MW_ANALYSING, SUB_FINISHED, BP_REMOVE, "---------");
    row("home while the engine loads", QStringLiteral("load:2 prepared homewait"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "---------");
    row("home from the duplicate page", QStringLiteral("duppage homewait"), MW_IDLE, SUB_NONE, BP_SCAN, "---------");
    // A disk step of the window's own (a project's copy, the editor's
    // commit before an apply): the window waits for it as a whole.
    row("project copied at the start", QStringLiteral("disk"), MW_IDLE, SUB_NONE, BP_PAUSE, "---------");
    row("project copied, then its load", QStringLiteral("disk diskdone load:3"), MW_LOADING, SUB_RUNNING, BP_PAUSE, "-------KF");
    row("saving a report", report + QStringLiteral("disk"), MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "---------");
    row("saving a running fixing run", fixing + QStringLiteral("disk"), MW_FIXING, SUB_RUNNING, BP_PAUSE, "---------");
    row("fixing ended while saving", fixing + QStringLiteral("disk fixed"), MW_APPLY, SUB_NONE, BP_APPLY, "---------");
    row("saved", report + QStringLiteral("disk diskdone"), MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "--B-S--KF");
    row("edit committed, then the apply", fixing + QStringLiteral("fixed disk diskdone apply"), MW_APPLY, SUB_RUNNING, BP_PAUSE, "P-B----K-");
    row("home waits for a disk step", report + QStringLiteral("disk homewait"), MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "---------");
    row("disk step ended while home waits", report + QStringLiteral("disk homewait diskdone"), MW_ANALYSING, SUB_FINISHED, BP_FIXALL, "---------");
    // Try Again and Return delete on the apply thread, then reset.
    row("try again deletes", QStringLiteral("load:3 prepared loadfail disk"), MW_LOADING, SUB_FINISHED, BP_TRYAGAIN, "---------");
    row("try again deleted", QStringLiteral("load:3 prepared loadfail disk diskdone reset"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B-S--KF");
    row("return deletes", QStringLiteral("load:3 prepared loaded analyse:2 report:0 disk"), MW_ANALYSING, SUB_FINISHED, BP_TRYAGAIN, "---------");
    row("home after the wait", fixing + QStringLiteral("fixed apply homewait reset"), MW_IDLE, SUB_NONE, BP_PAUSE, "--B-S--KF");
}

void TestMainState::paths()
{
    QFETCH(QString, path);
    QFETCH(int, stage);
    QFETCH(int, sub);
    QFETCH(int, page);
    QFETCH(QString, controls);
    const tagMainState state = walk(path);
    QCOMPARE(state.iState, stage);
    QCOMPARE(state.iSubState, sub);
    const tagMainControls c = MainControlsOf(state);
    QCOMPARE(c.iButtonPage, page);
    const QString shown = QString() + (c.bPauseAction ? 'P' : '-') + (c.bContinueAction ? 'C' : '-')
                        + (c.bPauseButton ? 'B' : '-') + (c.bContinueLook ? 'L' : '-')
                        + (c.bSaveProject ? 'S' : '-') + (c.bRefixButton ? 'R' : '-')
                        + (c.bApplyOrSaveLink ? 'A' : '-') + (c.bActionButtons ? 'K' : '-')
                        + (c.bPreferences ? 'F' : '-');
    QCOMPARE(shown, controls);
    QCOMPARE(c.bReturnText, state.iOutcome == OUT_NOTHING_FOUND);
}

void TestMainState::refusedEventsChangeNothing_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("event");
    const QString report = QLatin1String(kReport), fixing = QLatin1String(kFixing);
    QTest::newRow("pause when idle") << QString() << "pause";
    QTest::newRow("pause while the load thread runs") << "load:2" << "pause";
    QTest::newRow("pause while moving failed") << fixing + "moving" << "pause";
    QTest::newRow("continue while running") << fixing << "continue";
    QTest::newRow("pause a finished report") << report << "pause";
    QTest::newRow("stale load end after home") << fixing + "reset" << "loaded";
    QTest::newRow("load end while the request is prepared") << "load:2" << "loaded";
    QTest::newRow("stale load end while analysing") << "load:2 prepared loaded analyse:2" << "loaded";
    QTest::newRow("stale report after home") << fixing + "reset" << "report:1";
    QTest::newRow("report twice") << report << "report:1";
    QTest::newRow("analysis after a failed load") << "load:2 prepared loadfail" << "analyse:2";
    QTest::newRow("fix all of duplicates") << QString::fromLatin1(kDupReport) << "fix";
    QTest::newRow("fix before the report") << "load:2 prepared loaded analyse:2" << "fix";
    QTest::newRow("apply while fixing runs") << fixing << "apply";
    QTest::newRow("apply end when none runs") << report << "applied";
    QTest::newRow("apply end not stored when none runs") << fixing + "fixed" << "notstored";
    QTest::newRow("apply end not stored twice") << fixing + "fixed apply notstored" << "notstored";
    QTest::newRow("fix end after home") << fixing + "reset" << "fixed";
    QTest::newRow("duplicate page while loading") << "load:2 prepared" << "duppage";
    QTest::newRow("moving outside fixing") << report << "moving";
    QTest::newRow("load request while loading") << "load:2 prepared" << "load:2";
    QTest::newRow("load request while fixing paused") << fixing + "pause" << "load:4";
    QTest::newRow("load thread end twice") << "load:2 prepared" << "prepared";
    QTest::newRow("a count after home") << fixing + "reset" << "left:1";
    const QString dup = QLatin1String(kDupReport);
    QTest::newRow("undo outside duplicates") << fixing + "fixed" << "undo";
    QTest::newRow("undo while removing") << dup + "apply" << "undo";
    QTest::newRow("undo while undoing") << dup + "undo" << "undo";
    QTest::newRow("undo end when none runs") << dup << "undone";
    QTest::newRow("remove while undoing") << dup + "undo" << "apply";
    QTest::newRow("scan while undoing") << dup + "undo" << "load:4";
    QTest::newRow("home twice, nothing on the apply thread") << dup + "homewait" << "homewait";
    QTest::newRow("disk step while one runs") << report + "disk" << "disk";
    QTest::newRow("disk step during the apply") << fixing + "fixed apply" << "disk";
    QTest::newRow("disk step during an undo") << dup + "undo" << "disk";
    QTest::newRow("disk step while home waits") << report + "homewait" << "disk";
    QTest::newRow("disk step end when none runs") << report << "diskdone";
    QTest::newRow("load request during a disk step") << "disk" << "load:3";
    QTest::newRow("fix during a disk step") << report + "disk" << "fix";
    QTest::newRow("apply during a disk step") << fixing + "fixed disk" << "apply";
    QTest::newRow("remove during a disk step") << dup + "disk" << "apply";
    QTest::newRow("undo during a disk step") << dup + "disk" << "undo";
    QTest::newRow("pause during a disk step") << fixing + "disk" << "pause";
    QTest::newRow("continue during a disk step") << fixing + "pause disk" << "continue";
    QTest::newRow("home waits twice") << dup + "apply homewait" << "homewait";
    QTest::newRow("pause while home waits") << dup + "apply homewait" << "pause";
    QTest::newRow("continue while home waits") << dup + "apply pause homewait" << "continue";
    QTest::newRow("undo while home waits") << dup + "apply homewait" << "undo";
}

void TestMainState::refusedEventsChangeNothing()
{
    QFETCH(QString, path);
    QFETCH(QString, event);
    const tagMainState before = walk(path);
    const tagMainState after = walk(path + QLatin1Char(' ') + event);
    QVERIFY(before == after);
    const QStringList parts = event.split(QLatin1Char(':'));
    QVERIFY(!MainStateTakes(before, eventCode(parts.at(0)), parts.size() > 1 ? parts.at(1).toInt() : 0));
}

QTEST_APPLESS_MAIN(TestMainState)
#include "tst_mainstate.moc"
