// Results that were found and never applied survive the close and the next
// start, whoever found them: this run, the interrupted run it continues or
// the project it opened. The window is driven with the real engine and
// report page against the fake services on 127.0.0.1; every row reads the
// working database or the project file with SQLite of its own, and the
// songs' tags, never the window's flags.
#include "enginedb.h"
#include "windowdriver.h"

#include "information/modifymusicinfo.h"
#include "lookupfakes.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "tagread.h"
#include "treeitem.h"
#include "vessolin/startui.h"

#include <QHash>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace driver;
using lookupfakes::kAlbumGroup;

namespace {

constexpr int kSongs = 8;
const QString kCloseQuestion = QStringLiteral("Do you want to apply the new results?|");
// A row whose artwork waits to be written: found or dropped, not unticked,
// not applied. Read from the database itself.
const QByteArray kWaiting = "(Absence & " + QByteArray::number(MF_ARTWORK) + ") != 0 AND (State & "
                          + QByteArray::number(MF_ARTWORK) + ") = 0 AND ArtData IS NOT NULL";

// The rows waiting in the database at path; none when it is gone.
int WaitingIn(const QString& path)
{
    return QFile::exists(path) ? mmtest::countRows(path, kWaiting) : 0;
}

QString SongName(int i) { return QStringLiteral("song %1.mp3").arg(i); }

CAnalyReport* Report(CMainUI& window) { return window.findChild<CAnalyReport*>(); }

CListItem* Tile(CMainUI& window, const QString& path)
{
    QListWidget* grid = Report(window)->ArtworkList();
    for (int i = 0; i < grid->count(); ++i) {
        auto* tile = static_cast<CListItem*>(grid->item(i));
        if (tile->GetPath() == path)
            return tile;
    }
    return nullptr;
}

// A press on the tile's tick, where a person's mouse goes.
bool ClickTick(CMainUI& window, CListItem* tile)
{
    QListWidget* grid = Report(window)->ArtworkList();
    if (!tile)
        return false;
    grid->scrollToItem(tile);
    const Qt::CheckState before = tile->GetCheckState();
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, Qt::NoModifier,
                      grid->visualItemRect(tile).topLeft() + QPoint(15, 25));
    return tile->GetCheckState() != before;
}

// The close's question and the start's, answered as a row asks; every
// question seen is kept.
class Answers
{
public:
    explicit Answers(const QString& project) : m_project(project) {}
    QString close;           // the close's answer
    QStringList asked;
    QString started;         // the start's question, once answered Continue
    bool Act(QWidget* modal)
    {
        QString seen;
        if (PressMessageButton(modal, QStringLiteral("Continue"), &seen)) {
            started = seen;
            return true;
        }
        // A failure said on the way is no answer of the row's: it is seen.
        if (PressMessageButton(modal, close, &seen) || PressMessageButton(modal, QStringLiteral("OK"), &seen)) {
            asked << seen;
            return true;
        }
        return PressMessageButton(modal, QStringLiteral("Yes")) || AnswerFileDialog(modal, m_project);
    }

private:
    QString m_project;
};

} // namespace

class TestUnappliedResults : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    // One window for the whole run, as the application has: the engine's
    // online side starts once per process.
    std::unique_ptr<CMainUI> m_pWindow;
    // One folder of songs for every row: an interrupted run's database
    // names their files. Each row writes them anew, without pictures.
    QTemporaryDir m_songs;
    QTemporaryDir m_projects;
    // The database an interrupted run left after each action, made once.
    QHash<QString, QByteArray> m_interrupted;

    QString Song(int i) const { return m_songs.filePath(SongName(i)); }

    bool MakeSongs()
    {
        QList<QPair<QString, QString>> songs;
        for (int i = 0; i < kSongs; ++i)
            songs.append({SongName(i), QStringLiteral("id3v1-only.mp3")});
        return MakeMusicFolder(m_songs.path(), songs);
    }

    // The songs whose files hold a picture now.
    QStringList WithPictures() const
    {
        QStringList names;
        for (int i = 0; i < kSongs; ++i) {
            if (!tagread::mp3Picture(Song(i)).isEmpty())
                names << SongName(i);
        }
        return names;
    }

    // The songs an action leaves with a result waiting: Fix All finds every
    // cover; the edit drops a picture on song 0 alone; the undo takes back
    // the covers found for songs 0 and 1, then gives song 0's back.
    static QStringList WithResults(const QString& action)
    {
        QStringList names;
        for (int i = 0; i < kSongs; ++i) {
            const bool found = action == QLatin1String("fix all") || action == QLatin1String("undo");
            const bool takenBack = action == QLatin1String("undo") && i == 1;
            if ((found && !takenBack) || i == 0)
                names << SongName(i);
        }
        return names;
    }

    bool GoHome(CMainUI& window)
    {
        if (window.State().iState != MW_IDLE || window.State().bDuplicatePage) {
            ModalWatch home([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
            Button(window, "main_gohome")->click();
        }
        return WaitForIdle(window);
    }

    bool StartReport(CMainUI& window)
    {
        window.show();
        window.LoadStartParam({m_songs.path()}, g_strDBName, RUN_FILES);
        return WaitForReport(window) && ButtonPage(window) == BP_FIXALL;
    }

    bool Act(CMainUI& window, const QString& action)
    {
        CAnalyReport* report = Report(window);
        if (action != QLatin1String("edit")) {
            Button(window, "main_fixallbut")->click();
            if (!WaitForStage(window, MW_APPLY, SUB_NONE))
                return false;
        }
        report->TypeTree()->setCurrentItem(report->TypeRow(CAT_ARTWORK));
        if (action == QLatin1String("undo"))
            return ClickTick(window, Tile(window, Song(0))) && ClickTick(window, Tile(window, Song(1)))
                && ClickTick(window, Tile(window, Song(0)));
        if (action != QLatin1String("edit"))
            return true;
        // A picture dropped on the open editor of song 0, which collapsing
        // the editor commits.
        CListItem* tile = Tile(window, Song(0));
        CModifyMusicInfo* editor = report->ModifyInfo();
        if (!tile || !editor)
            return false;
        if (editor->isHidden())
            editor->EditHide();
        editor->SetItem(tile->GetAbsenceType(), tile->GetID());
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(testenv::fixture(QStringLiteral("cover.jpg")))});
        QWidget* target = editor->findChild<QWidget*>(QStringLiteral("NewArtwork"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);
        editor->EditHide();
        return editor->isHidden();
    }

    // What a run interrupted after action left (as a crash leaves it): its
    // working database, with the action's results waiting.
    QByteArray Interrupted(CMainUI& window, const QString& action)
    {
        if (!m_interrupted.contains(action)) {
            if (!StartReport(window) || !Act(window, action))
                return QByteArray();
            window.MusicLink()->WaitForSaveToDB();
            if (mmtest::countRows(g_strDBName, kWaiting) != WithResults(action).size())
                return QByteArray();
            m_interrupted.insert(action, testenv::readAll(g_strDBName));
            if (!GoHome(window))
                return QByteArray();
        }
        return m_interrupted.value(action);
    }

    // The start screen offers the working database as an interrupted run;
    // Continue shows its report.
    static bool ContinueRun(CMainUI& window, Answers& answers, const QByteArray& database)
    {
        if (!testenv::writeAll(g_strDBName, database))
            return false;
        answers.started.clear();
        window.StartUI()->CheckingIsSave();
        return QTest::qWaitFor([&] { return !answers.started.isEmpty(); }, kWaitMs) && WaitForReport(window)
            && answers.started.contains(QLatin1String("Do you want to continue it?"));
    }

    static bool OpenProject(CMainUI& window)
    {
        Button(window, "load_obj")->click();
        return WaitForReport(window) && ButtonPage(window) == BP_APPLY;
    }

    // Closes the window with the answer; Apply closes it once the apply
    // has ended.
    static bool CloseWith(CMainUI& window, Answers& answers, const QString& answer)
    {
        answers.close = answer;
        window.close();
        if (answer == QLatin1String("Cancel"))
            return window.isVisible();
        return QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.port() != 0);
        lookupfakes::useFakeServices(m_fake);
        m_fake.answer(lookupfakes::lookupPath(), FakeAnswer::json(lookupfakes::lookupAnswer(true)));
        m_fake.answer(lookupfakes::recordingPath(),
                      FakeAnswer::json(lookupfakes::recordingDetails("1999-05-04", "Rock")));
        m_fake.answer(lookupfakes::frontPath(kAlbumGroup), FakeAnswer::image(lookupfakes::noiseJpeg(5)));
        m_fake.answer(lookupfakes::searchPath(), FakeAnswer::json(lookupfakes::searchAnswer({kAlbumGroup})));
        ForgetWorkingDatabase();
        CConfig::instance()->Replace = 0x01000C00;
        m_pWindow = std::make_unique<CMainUI>();
    }

    void cleanupTestCase() { m_pWindow.reset(); }

    void init()
    {
        m_pWindow->show();
        QVERIFY(GoHome(*m_pWindow));
        ForgetWorkingDatabase();
        QVERIFY(MakeSongs());
    }

    void resultsSurviveTheCloseAndTheNextStart_data()
    {
        QTest::addColumn<QString>("run");
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("answer");
        for (const char* run : {"fresh run", "continued run", "opened project"}) {
            for (const char* action : {"fix all", "edit", "undo"}) {
                for (const char* answer : {"Apply", "Ignore", "Cancel"}) {
                    const QString row = QStringLiteral("%1, %2, %3").arg(QLatin1String(run), QLatin1String(action),
                                                                         QLatin1String(answer));
                    QTest::newRow(qPrintable(row)) << QString::fromLatin1(run) << QString::fromLatin1(action)
                                                   << QString::fromLatin1(answer);
                }
            }
        }
    }

    // The close asks whoever found the results. Apply writes them into the
    // songs; Ignore leaves them where the run keeps them (the working
    // database, or the opened project) for the next start, whose close asks
    // again; Cancel changes nothing. The working database goes only when
    // nothing waits in it and the score is full.
    void resultsSurviveTheCloseAndTheNextStart()
    {
        QFETCH(QString, run);
        QFETCH(QString, action);
        QFETCH(QString, answer);
        CMainUI& window = *m_pWindow;
        const bool opened = run == QLatin1String("opened project");
        const QString project = m_projects.filePath(QStringLiteral("run.zorvadata"));
        const QStringList results = WithResults(action);
        // Where the run keeps what waits.
        const QString keeper = opened ? project : g_strDBName;
        Answers answers(project);
        ModalWatch watch([&](QWidget* modal) { return answers.Act(modal); });
        if (run == QLatin1String("fresh run")) {
            QVERIFY(StartReport(window));
            QVERIFY(Act(window, action));
        } else {
            const QByteArray interrupted = Interrupted(window, action);
            QVERIFY(!interrupted.isEmpty());
            QVERIFY(MakeSongs());
            if (opened) {
                QVERIFY(testenv::writeAll(project, interrupted));
                QVERIFY(OpenProject(window));
            } else {
                QVERIFY(ContinueRun(window, answers, interrupted));
            }
        }
        QCOMPARE(WithPictures(), QStringList());
        window.MusicLink()->WaitForSaveToDB();

        if (answer == QLatin1String("Cancel")) {
            QVERIFY(CloseWith(window, answers, answer));
            QCOMPARE(answers.asked, QStringList{kCloseQuestion});
            QCOMPARE(mmtest::countRows(g_strDBName, kWaiting), results.size());
            QCOMPARE(WithPictures(), QStringList());
            answers.asked.clear();
        }
        const QString closing = answer == QLatin1String("Apply") ? answer : QStringLiteral("Ignore");
        QVERIFY(CloseWith(window, answers, closing));
        QCOMPARE(answers.asked, QStringList{kCloseQuestion});
        answers.asked.clear();
        if (closing == QLatin1String("Apply")) {
            QCOMPARE(WithPictures(), results);
            if (action == QLatin1String("edit"))
                QCOMPARE(QImage::fromData(tagread::mp3Picture(Song(0))).size(),
                         QImage(testenv::fixture(QStringLiteral("cover.jpg"))).size());
            // Seven songs still lack their cover after the edit alone: the
            // run is not over, and stays.
            QCOMPARE(QFile::exists(g_strDBName), !opened && action == QLatin1String("edit"));
            QCOMPARE(WaitingIn(keeper), 0);
            window.show();
            return;
        }
        QCOMPARE(WithPictures(), QStringList());
        QCOMPARE(QFile::exists(g_strDBName), !opened);
        QCOMPARE(mmtest::countRows(keeper, kWaiting), results.size());

        // The next start: the run is offered (the opened project is opened
        // again), and its close asks once more; Apply writes what waited.
        const QByteArray kept = testenv::readAll(g_strDBName);
        window.show();
        QVERIFY(GoHome(window));
        if (opened)
            QVERIFY(OpenProject(window));
        else
            QVERIFY(ContinueRun(window, answers, kept));
        QVERIFY(CloseWith(window, answers, QStringLiteral("Apply")));
        QCOMPARE(answers.asked, QStringList{kCloseQuestion});
        QCOMPARE(WithPictures(), results);
        QCOMPARE(WaitingIn(keeper), 0);
        window.show();
    }

    // Apply, answered to a close while Save Project copies the run, applies
    // once the copy has ended, and the window closes after the apply.
    void closeAnsweredApplyDuringADiskStep()
    {
        CMainUI& window = *m_pWindow;
        const QString project = m_projects.filePath(QStringLiteral("saved.zorvadata"));
        Answers answers(project);
        ModalWatch watch([&](QWidget* modal) { return answers.Act(modal); });
        QVERIFY(StartReport(window));
        QVERIFY(Act(window, QStringLiteral("fix all")));
        DiskHold hold(window.MusicLink(), CMusicLink::DW_PROJECT_COPY);
        hold.Arm();
        MenuAction(window, QStringLiteral("Save Project"))->trigger();
        QCOMPARE(hold.HeldOnAWorker(), QString());
        answers.close = QStringLiteral("Apply");
        QVERIFY(!window.close());
        QCOMPARE(answers.asked, QStringList{kCloseQuestion});
        QVERIFY(window.isVisible());
        // Asked again meanwhile, the close waits for the apply it chose.
        QVERIFY(!window.close());
        QCOMPARE(answers.asked.size(), 1);
        hold.Release();
        QVERIFY(QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs));
        QCOMPARE(answers.asked.size(), 1);
        QCOMPARE(WithPictures(), WithResults(QStringLiteral("fix all")));
        QCOMPARE(mmtest::countRows(project, kWaiting), kSongs);
        QVERIFY(!QFile::exists(g_strDBName));
        QVERIFY(!hold.GaveUp());
        window.show();
    }
};

QTEST_MAIN(TestUnappliedResults)
#include "tst_unappliedresults.moc"
