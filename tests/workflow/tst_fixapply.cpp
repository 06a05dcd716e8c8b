// The main window's fixing, applying and duplicate sides with the real
// engine, the real report page and the fake services on 127.0.0.1: Fix All
// to the Apply button, the apply and its end texts, the apply inside a
// paused fixing run, the replace question, closing with results waiting,
// and the score arithmetic of the pages' reports.
#include "accessnames.h"
#include "enginedb.h"
#include "windowdriver.h"

#include "information/modifymusicinfo.h"
#include "lookupfakes.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "tagread.h"
#include "treeobj/treeobj.h"
#include "vessolin/applythread.h"

#include <QDeadlineTimer>
#include <QMimeData>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWaitCondition>

#include <atomic>
#include <memory>

using namespace driver;
using lookupfakes::kAlbumGroup;

namespace {

constexpr int kSongs = 8;

// Songs with every field but a picture: the artwork category alone.
bool MakeSongs(const QTemporaryDir& dir)
{
    QList<QPair<QString, QString>> songs;
    for (int i = 0; i < kSongs; ++i)
        songs.append({QStringLiteral("song %1.mp3").arg(i), QStringLiteral("id3v1-only.mp3")});
    return MakeMusicFolder(dir.path(), songs);
}

CAnalyReport* Report(CMainUI& window) { return window.findChild<CAnalyReport*>(); }

int Progress(CMainUI& window) { return Named<QProgressBar>(window, "main_progress")->value(); }

bool NoThreadRuns(CMainUI& window)
{
    for (QThread* thread : window.findChildren<QThread*>()) {
        if (thread->isRunning() && thread->metaObject()->className() != QByteArray("CThreadAWS"))
            return false;
    }
    return true;
}

// Holds the apply thread after its first song until the page is told to
// stop (a close's) or Release() lets it go. Going out of scope stops an
// apply still under way and waits for it, so a failing row leaves no
// thread behind.
class ApplyHold
{
public:
    explicit ApplyHold(CMainUI& window) : m_report(Report(window)), m_thread(window.findChild<CApplyThread*>())
    {
        QObject::connect(m_report, &CAnalyReport::UpdateProcess, &m_scope, [this](int) {
            if (m_reached.exchange(true))
                return;
            const QDeadlineTimer guard(kWaitMs);
            while (!m_released && !m_report->ExitRequested() && !guard.hasExpired())
                QThread::msleep(2);
        }, Qt::DirectConnection);
    }
    ~ApplyHold()
    {
        Release();
        if (m_thread->isRunning())
            m_report->Quit();
        m_thread->wait();
    }
    bool Reached() const { return m_reached; }
    void Release() { m_released = true; }

private:
    CAnalyReport* m_report;
    CApplyThread* m_thread;
    QObject m_scope;  // the hold's connection ends with it
    std::atomic<bool> m_reached{false};
    std::atomic<bool> m_released{false};
};

} // namespace

class TestFixApply : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    // Songs of the current test: an apply writes into them.
    std::unique_ptr<QTemporaryDir> m_songs;
    // One window for the whole run, as the application has: the engine's
    // online side starts once per process. Each test begins at Home.
    std::unique_ptr<CMainUI> m_pWindow;
    // While set, no lookup finds a match.
    std::atomic<bool> m_lookupsFail{false};
    // While set, the cover service has no picture.
    std::atomic<bool> m_coversFail{false};

    // A window on the report of the songs, on its Fix All button.
    bool startReport(CMainUI& window)
    {
        window.show();
        window.LoadStartParam({m_songs->path()}, g_strDBName, RUN_FILES);
        return WaitForReport(window) && ButtonPage(window) == BP_FIXALL;
    }

    // Fix All, to the Apply button.
    bool fixAll(CMainUI& window)
    {
        Button(window, "main_fixallbut")->click();
        const bool ok = window.State().iState == MW_FIXING && WaitForStage(window, MW_APPLY, SUB_NONE);
        if (!ok)
            qWarning() << "fixing stands at" << window.State().iState << window.State().iSubState << StatusText(window);
        return ok;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.port() != 0);
        for (const char* name : {"VESSOLIN_ACOUSTID_URL", "VESSOLIN_MUSICBRAINZ_URL", "VESSOLIN_COVERART_URL"})
            qputenv(name, m_fake.baseUrl());
        qputenv("VESSOLIN_ACOUSTID_KEY", "test-key");
        m_fake.answerWith(lookupfakes::lookupPath(), [this](const SeenRequest&) {
            return FakeAnswer::json(lookupfakes::lookupAnswer(!m_lookupsFail));
        });
        m_fake.answer(lookupfakes::recordingPath(),
                      FakeAnswer::json(lookupfakes::recordingDetails("1999-05-04", "Rock")));
        m_fake.answerWith(lookupfakes::frontPath(kAlbumGroup), [this](const SeenRequest&) {
            return m_coversFail ? FakeAnswer::json("{}", 404) : FakeAnswer::image(lookupfakes::noiseJpeg(5));
        });
        m_fake.answer(lookupfakes::searchPath(), FakeAnswer::json(lookupfakes::searchAnswer({kAlbumGroup})));
        ForgetWorkingDatabase();
        m_pWindow = std::make_unique<CMainUI>();
    }

    void cleanupTestCase() { m_pWindow.reset(); }

    void init()
    {
        if (m_pWindow->State().iState != MW_IDLE) {
            ModalWatch home([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
            Button(*m_pWindow, "main_gohome")->click();
            QCOMPARE(home.handled, 1);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_pWindow->State().iState, int(MW_IDLE), kWaitMs);
        ForgetWorkingDatabase();
        m_lookupsFail = false;
        m_coversFail = false;
        CConfig::instance()->Replace = 0x01000C00;
        m_songs = std::make_unique<QTemporaryDir>();
        QVERIFY(MakeSongs(*m_songs));
    }

    void cleanup() { m_songs.reset(); }

    // Fix All ends on the Apply button with the score full; the apply
    // writes and ends with its text.
    void fixAllThenApply()
    {
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        // Eight songs lacking their artwork: 7500, the band below 8000.
        QCOMPARE(ScoreText(window), QStringLiteral("75"));
        const QStringList band = {
            QStringLiteral("It looks OK. But the library looks incomplete. Why not Fix All and perfect them?"),
            QStringLiteral("Looks OK but you'd better clean up your library soon. Why not let me help you, darling?"),
            QStringLiteral("Oh, dear, just slow down and take care of your lovely songs. They need your attention.")};
        QVERIFY2(band.contains(TipText(window)), qPrintable(TipText(window)));
        QVERIFY(fixAll(window));
        QCOMPARE(ButtonPage(window), int(BP_APPLY));
        QCOMPARE(ScoreText(window), QStringLiteral("100"));
        QVERIFY(!Named<QWidget>(window, "MainUIRetry")->isVisible());
        const QStringList done = {
            QStringLiteral("Congrats! Your library looks great now. You can apply all the results now."),
            QStringLiteral("Relax now. Let me take you to start a great music feast."),
            QStringLiteral("Well done. You have defeated most of other computers. Just enjoy your music now.")};
        QVERIFY2(done.contains(TipText(window)), qPrintable(TipText(window)));
        QVERIFY(!MenuAction(window, QStringLiteral("Pause"))->isEnabled());
        QVERIFY(Report(window)->IsNeedApply());
        const QStringList unnamed = accessnames::unnamedControls(&window, {}, true);
        QVERIFY2(unnamed.isEmpty(), qPrintable(unnamed.join(QStringLiteral(", "))));
        // A picture dropped on the report's open editor, over the cover the
        // lookup chose for that song.
        CModifyMusicInfo* editor = Report(window)->ModifyInfo();
        QVERIFY(editor->isVisible() && !editor->isHidden());
        const QString cover = testenv::fixture(QStringLiteral("cover.jpg"));
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(cover)});
        QWidget* target = editor->findChild<QWidget*>(QStringLiteral("NewArtwork"));
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &drop);

        Button(window, "main_applybut")->click();
        // The open editor's commit runs first, on the apply thread.
        QVERIFY(window.State().bDiskStep || window.State().iSubState == SUB_RUNNING);
        QVERIFY(!MenuAction(window, QStringLiteral("Save Project"))->isEnabled());
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
        QCOMPARE(StatusText(window), QStringLiteral("Results applyed."));
        QCOMPARE(ButtonPage(window), int(BP_APPLY));
        QVERIFY(!Report(window)->IsNeedApply());
        QVERIFY(MenuAction(window, QStringLiteral("Save Project"))->isEnabled());
        // The dropped picture is in exactly one song's file, the found cover
        // in the others.
        int dropped = 0;
        for (int i = 0; i < kSongs; ++i) {
            const QImage picture = QImage::fromData(tagread::mp3Picture(m_songs->filePath(QStringLiteral("song %1.mp3").arg(i))));
            QVERIFY(!picture.isNull());
            dropped += picture.size() == QImage(cover).size() ? 1 : 0;
        }
        QCOMPARE(dropped, 1);
    }

    // Paused while its first results come in, the run cannot end: most
    // songs have not started. "Apply Result" applies inside it and hands
    // back the paused run where it stood.
    void applyInsidePausedFixing()
    {
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        bool paused = false;
        QObject scope;  // the watch ends with this test; the window stays
        connect(Report(window), &CAnalyReport::ReportFixInfo, &scope, [&](int, int progress) {
            if (!paused && progress > 0 && window.State().iSubState == SUB_RUNNING) {
                paused = true;
                Button(window, "main_cancelbut")->click();
            }
        }, Qt::QueuedConnection);
        Button(window, "main_fixallbut")->click();
        QVERIFY(QTest::qWaitFor([&] { return paused; }, kWaitMs));
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        QCOMPARE(StatusText(window), QStringLiteral("Paused."));
        QVERIFY(Named<QWidget>(window, "MainUIQuitOrSave")->isVisible());
        const int stood = Progress(window);

        window.ApplyOrSave(1);
        QCOMPARE(window.State().iState, int(MW_APPLY));
        QVERIFY(!Named<QWidget>(window, "MainUIQuitOrSave")->isVisible());
        QVERIFY(WaitForStage(window, MW_FIXING, SUB_PAUSED));
        QCOMPARE(StatusText(window), QStringLiteral("Paused."));
        QCOMPARE(Button(window, "main_cancelbut")->text(), QStringLiteral("   Continue"));
        QCOMPARE(Progress(window), stood);
        QVERIFY(MenuAction(window, QStringLiteral("Continue"))->isEnabled());
        QVERIFY(Named<QWidget>(window, "MainUIQuitOrSave")->isVisible());

        MenuAction(window, QStringLiteral("Continue"))->trigger();
        QCOMPARE(StatusText(window), QStringLiteral("Continue to fix, please wait a moment."));
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_NONE));
    }

    void replaceQuestion_data()
    {
        QTest::addColumn<int>("replace");
        QTest::addColumn<QString>("answer");  // empty: no question expected
        QTest::addColumn<int>("replaceAfter");
        QTest::newRow("default settings") << 0x01000C00 << "" << 0x01000C00;
        QTest::newRow("switch without fields") << int(OPT_REPLACE_META) << "" << int(OPT_REPLACE_META);
        QTest::newRow("answered No") << int(OPT_REPLACE_META | MF_TITLE) << "No" << int(MF_TITLE);
        QTest::newRow("answered Yes") << int(OPT_REPLACE_META | MF_GENRE) << "Yes" << int(OPT_REPLACE_META | MF_GENRE);
    }

    // No never cancels the apply; it switches the replacing off, so the
    // second apply asks nothing.
    void replaceQuestion()
    {
        QFETCH(int, replace);
        QFETCH(QString, answer);
        QFETCH(int, replaceAfter);
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        CConfig::instance()->Replace = replace;
        QString asked;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, answer, &asked); });
        for (int round = 0; round < 2; ++round) {
            Button(window, "main_applybut")->click();
            QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
        }
        QCOMPARE(watch.handled, answer.isEmpty() ? 0 : (answer == QLatin1String("No") ? 1 : 2));
        if (!answer.isEmpty())
            QVERIFY(asked.contains(QLatin1String("Are you sure you want to replace songs meta and apply the result?")));
        QCOMPARE(CConfig::instance()->Replace, replaceAfter);
    }

    void closeWithResultsWaiting_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("apply");  // the apply under way at the close, if any
        QTest::addColumn<bool>("closed");
        QTest::newRow("Cancel") << "Cancel" << "" << false;
        QTest::newRow("Apply") << "Apply" << "" << true;
        QTest::newRow("Ignore") << "Ignore" << "" << true;
        QTest::newRow("during a paused apply, Ignore") << "Ignore" << "paused" << true;
        QTest::newRow("during a paused apply, Apply") << "Apply" << "paused" << true;
        QTest::newRow("during a running apply, Ignore") << "Ignore" << "running" << true;
        QTest::newRow("during a running apply, Apply") << "Apply" << "running" << true;
    }

    // Apply closes the window once the apply has ended, without asking
    // again. An apply under way has not written the songs after the one it
    // stands at: the close asks, Apply lets it (a paused one goes on) write
    // them before the window closes, and Ignore stops it there and keeps
    // the working database with the songs it never reached still waiting.
    void closeWithResultsWaiting()
    {
        QFETCH(QString, answer);
        QFETCH(QString, apply);
        QFETCH(bool, closed);
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        QVERIFY(Report(window)->IsNeedApply());
        ApplyHold hold(window);
        if (!apply.isEmpty()) {
            Button(window, "main_applybut")->click();
            QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
            if (apply == QLatin1String("paused")) {
                Button(window, "main_cancelbut")->click();
                QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
                QCOMPARE(StatusText(window), QStringLiteral("Paused. Wanna continue and experience a new library?"));
                hold.Release();
            }
            QVERIFY(Report(window)->IsNeedApply());
        }
        QString asked;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, answer, &asked); });
        window.close();
        if (answer == QLatin1String("Apply")) {
            QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
            hold.Release();
            QVERIFY(QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs));
            QVERIFY(!Report(window)->IsNeedApply());
            QCOMPARE(StatusText(window), QStringLiteral("Results applyed."));
        }
        QCOMPARE(watch.handled, 1);
        QCOMPARE(asked, QStringLiteral("Do you want to apply the new results?|"));
        QCOMPARE(!window.isVisible(), closed);
        if (answer == QLatin1String("Cancel")) {
            QCOMPARE(window.State().iState, int(MW_APPLY));
            QVERIFY(Report(window)->IsNeedApply());
        }
        QVERIFY(NoThreadRuns(window));
        if (!apply.isEmpty()) {
            // Stopped, the apply wrote its first song alone; the others keep
            // their old tags and their row still lacks the artwork, for the
            // run the next start offers to continue.
            const int written = answer == QLatin1String("Apply") ? kSongs : 1;
            int pictures = 0;
            for (int i = 0; i < kSongs; ++i)
                pictures += tagread::mp3Picture(m_songs->filePath(QStringLiteral("song %1.mp3").arg(i))).isEmpty() ? 0 : 1;
            QCOMPARE(pictures, written);
            QCOMPARE(QFile::exists(g_strDBName), written < kSongs);
            if (written < kSongs)
                QCOMPARE(mmtest::countRows(g_strDBName, "Absence & " + QByteArray::number(MF_ARTWORK)),
                         kSongs - written);
        }
        window.show();
    }

    void closeAgainDuringTheApplyChosenAtClose_data()
    {
        QTest::addColumn<bool>("again");
        QTest::newRow("closed once") << false;
        QTest::newRow("closed again while the apply runs") << true;
    }

    // The apply chosen at close closes the window when it ends; a close
    // while it runs asks nothing. Asked, and answered Cancel once the
    // apply had ended under the question, it kept the window open with
    // the close still pending, and the next ordinary Apply quit.
    void closeAgainDuringTheApplyChosenAtClose()
    {
        QFETCH(bool, again);
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        ApplyHold hold(window);
        QStringList asked;
        ModalWatch watch([&](QWidget* modal) {
            if (asked.isEmpty()) {
                QString seen;
                const bool pressed = PressMessageButton(modal, QStringLiteral("Apply"), &seen);
                asked.append(seen);
                return pressed;
            }
            hold.Release();
            if (window.State().iSubState != SUB_FINISHED)
                return false;
            QString seen;
            const bool pressed = PressMessageButton(modal, QStringLiteral("Cancel"), &seen);
            asked.append(seen);
            return pressed;
        });
        QVERIFY(!window.close());
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        QCOMPARE(window.State().iState, int(MW_APPLY));
        if (again)
            QVERIFY(!window.close());
        hold.Release();
        QVERIFY(QTest::qWaitFor([&] { return window.State().iSubState == SUB_FINISHED; }, kWaitMs));
        const bool closed = QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs);
        if (!closed) {
            // What the user then met: the next ordinary Apply quit.
            Button(window, "main_applybut")->click();
            QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
            QVERIFY2(window.isVisible(), "an ordinary Apply closed the window");
        }
        QVERIFY2(closed, "the apply chosen at close ended and the window stayed open");
        QCOMPARE(asked, QStringList{QStringLiteral("Do you want to apply the new results?|")});
        QCOMPARE(StatusText(window), QStringLiteral("Results applyed."));
        QVERIFY(!Report(window)->IsNeedApply());
        QVERIFY(NoThreadRuns(window));
        window.show();
    }

    // Pause and Continue answer at once while a song's write is under way
    // on a slow disk (held here), and the pause lands before the next song.
    void pauseAndContinueDuringASongWrite()
    {
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        DiskHold hold(window.MusicLink(), CMusicLink::DW_SONG_WRITE);
        hold.Arm();
        Button(window, "main_applybut")->click();
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        Button(window, "main_cancelbut")->click();
        QVERIFY2(!hold.GaveUp(), "Pause waited for the song's write");
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        QCOMPARE(StatusText(window), QStringLiteral("Paused. Wanna continue and experience a new library?"));
        hold.Release();
        // The song being written when Pause came is written; the next waits.
        QVERIFY(QTest::qWaitFor([&] { return Progress(window) == PROGRESS_FULL / kSongs; }, kWaitMs));
        QTest::qWait(200);
        QCOMPARE(hold.Count(), 1);
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));

        hold.Arm();
        MenuAction(window, QStringLiteral("Continue"))->trigger();
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        Button(window, "main_cancelbut")->click();
        MenuAction(window, QStringLiteral("Continue"))->trigger();
        QVERIFY2(!hold.GaveUp(), "Pause or Continue waited for the song's write");
        QCOMPARE(StatusText(window), QStringLiteral("Continue to apply the results,please wait a moment."));
        hold.Release();
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
        QCOMPARE(hold.Count(), kSongs);
        QCOMPARE(StatusText(window), QStringLiteral("Results applyed."));
        QVERIFY(!hold.OnGuiThread());
    }

    void homeDuringTheApply_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<bool>("paused");
        QTest::addColumn<bool>("closed");  // the window is closed while Home waits
        QTest::newRow("a song's write") << int(CMusicLink::DW_SONG_WRITE) << false << false;
        QTest::newRow("the library file's rewrite") << int(CMusicLink::DW_TRANSACTION_END) << false << false;
        QTest::newRow("paused, then the library file's rewrite") << int(CMusicLink::DW_TRANSACTION_END) << true
                                                                 << false;
        QTest::newRow("closed while Home waits") << int(CMusicLink::DW_SONG_WRITE) << false << true;
    }

    // Home during the apply shows busy while the apply ends its song and
    // rewrites the library file on its thread (held here), and goes Home
    // when it has ended; the window answers meanwhile.
    void homeDuringTheApply()
    {
        QFETCH(int, held);
        QFETCH(bool, paused);
        QFETCH(bool, closed);
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        DiskHold hold(window.MusicLink(), CMusicLink::EDiskWork(held));
        hold.Arm();
        Button(window, "main_applybut")->click();
        if (paused)
            Button(window, "main_cancelbut")->click();
        else
            QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
        Button(window, "main_gohome")->click();
        QCOMPARE(watch.handled, 1);
        QVERIFY(QTest::qWaitFor([&] { return hold.Reached(); }, kWaitMs));
        QVERIFY2(!hold.GaveUp(), "Home waited for the apply on the GUI thread");
        QVERIFY(window.State().bGoingHome);
        QVERIFY(window.findChild<CAnalyWidget*>()->isVisible());
        QCOMPARE(StatusText(window), QStringLiteral("Stopping, please wait a moment."));
        QVERIFY(!MenuAction(window, QStringLiteral("Pause"))->isEnabled());
        QVERIFY(!MenuAction(window, QStringLiteral("Continue"))->isEnabled());
        // Pressed again, Home asks nothing and waits for nothing.
        Button(window, "main_gohome")->click();
        QCOMPARE(watch.handled, 1);
        hold.Release();
        // The close, the program's end, may wait for the apply's end; Home
        // is done once, before it.
        if (closed)
            QVERIFY(window.close());
        QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_IDLE; }, kWaitMs));
        QCOMPARE(window.isVisible(), !closed);
        QCOMPARE(watch.handled, 1);
        window.show();
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
        QVERIFY(!window.findChild<CAnalyWidget*>()->isVisible());
        QVERIFY(!QFile::exists(g_strDBName));
        QVERIFY(NoThreadRuns(window));
        QVERIFY(!hold.GaveUp() && !hold.OnGuiThread());
    }

    // A pause that reaches the apply after its loop has ended, its end still
    // on the way to the window, holds no later apply at its first song.
    void pauseAfterTheApplyEnded()
    {
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        QVERIFY(fixAll(window));
        Button(window, "main_applybut")->click();
        QVERIFY(window.findChild<CApplyThread*>()->wait(kWaitMs));
        Button(window, "main_cancelbut")->click();
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
        Button(window, "main_applybut")->click();
        QCOMPARE(window.State().iSubState, int(SUB_RUNNING));
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_FINISHED));
        QCOMPARE(StatusText(window), QStringLiteral("Results applyed."));
    }

    // Apply chosen at close while a fixing run runs (a Refix after results
    // were left unapplied): the run is paused first, the apply works inside
    // it, and the window closes once the apply has ended, asking once. The
    // engine's lookup results after the first are held until the question
    // has been answered, so the run cannot end under it.
    void closeWithApplyWhileFixingRuns()
    {
        CMainUI& window = *m_pWindow;
        // Four songs without tags: no lookup knows them and no search can be
        // made for them, so they fail while the tagged ones are fixed.
        QList<QPair<QString, QString>> bare;
        for (int i = 0; i < 4; ++i)
            bare.append({QStringLiteral("bare %1.mp3").arg(i), QStringLiteral("untagged.mp3")});
        QVERIFY(MakeMusicFolder(m_songs->path(), bare));
        QVERIFY(startReport(window));
        m_lookupsFail = true;
        Button(window, "main_fixallbut")->click();
        QVERIFY(WaitForStage(window, MW_APPLY, SUB_NONE));
        m_lookupsFail = false;
        QVERIFY(Report(window)->IsNeedApply());
        auto* refix = Named<QAbstractButton>(window, "MainUIRetry");
        QVERIFY(refix->isVisible());

        QMutex mutex;
        QWaitCondition released;
        bool holding = true;
        int results = 0;
        QObject scope;
        connect(window.MusicLink(), &CMusicLink::SendDowldInfo, &scope, [&](void*, int, int, int) {
            QMutexLocker lock(&mutex);
            if (++results == 1)
                return;
            while (holding)
                released.wait(&mutex);
        }, Qt::DirectConnection);
        auto release = [&] {
            QMutexLocker lock(&mutex);
            holding = false;
            released.wakeAll();
        };
        tagMainState afterClose;
        bool asked = false;
        connect(Report(window), &CAnalyReport::ReportFixInfo, &scope, [&](int, int) {
            if (asked || window.State().iState != MW_FIXING || window.State().iSubState != SUB_RUNNING)
                return;
            asked = true;
            window.close();
            afterClose = window.State();
            release();
        }, Qt::QueuedConnection);
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Apply")); });
        refix->click();
        const bool closed = QTest::qWaitFor([&] { return asked && !window.isVisible(); }, kWaitMs);
        release();
        QVERIFY(closed);
        QCOMPARE(afterClose.iState, int(MW_APPLY));
        QVERIFY(afterClose.bApplyInFix);
        QCOMPARE(watch.handled, 1);
        QCOMPARE(window.State().iState, int(MW_FIXING));
        QCOMPARE(window.State().iSubState, int(SUB_PAUSED));
        QVERIFY(NoThreadRuns(window));
        window.show();
    }

    void closeWithApplyWhileFailedSongsMove_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<bool>("closed");
        QTest::newRow("Apply") << "Apply" << true;
        QTest::newRow("Cancel") << "Cancel" << false;
    }

    // Apply chosen at close while a fixing run moves its failed songs: the
    // move cannot pause, so the apply starts once the move has ended the
    // run, and the window closes after it. The library's file that is gone
    // keeps Refix starting whole runs, so a second run moves songs while
    // the first one's results wait; its move is held on its thread until
    // the question has been answered.
    void closeWithApplyWhileFailedSongsMove()
    {
        QFETCH(QString, answer);
        QFETCH(bool, closed);
        CMainUI& window = *m_pWindow;
        const QString xml = m_songs->filePath(QStringLiteral("Library.xml"));
        QVERIFY(MakeLibrary(xml, {m_songs->filePath(QStringLiteral("song 0.mp3")),
                                  m_songs->filePath(QStringLiteral("song 1.mp3")),
                                  m_songs->filePath(QStringLiteral("gone.mp3"))}, 3));
        window.show();
        window.LoadStartParam({xml}, g_strDBName, RUN_ITUNES);
        QVERIFY(WaitForReport(window));
        QVERIFY(fixAll(window));
        QVERIFY(Report(window)->IsNeedApply());
        auto* refix = Named<QAbstractButton>(window, "MainUIRetry");
        QVERIFY(refix->isVisible());

        Gate gate;
        gate.Arm();
        QObject scope;
        connect(Report(window)->findChild<CMoveFailedThread*>(), &QThread::started, &scope, [&] { gate.Pass(); },
                Qt::DirectConnection);
        // Ticked, the song whose file is gone is to be fixed again.
        QTreeWidgetItem* gone = Report(window)->UnwritableTree()->topLevelItem(0);
        QVERIFY(gone);
        gone->setCheckState(0, Qt::Checked);
        QVERIFY(Report(window)->IsNeedFix());
        refix->click();
        QVERIFY(QTest::qWaitFor([&] { return gate.Reached(); }, kWaitMs));
        QVERIFY(window.State().bMovingFailed);
        QString asked;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, answer, &asked); });
        window.close();
        QCOMPARE(watch.handled, 1);
        QCOMPARE(asked, QStringLiteral("Do you want to apply the new results?|"));
        QVERIFY(window.isVisible());
        QCOMPARE(window.State().iState, int(MW_FIXING));
        gate.Release();
        if (closed) {
            QVERIFY(QTest::qWaitFor([&] { return !window.isVisible(); }, kWaitMs));
            QCOMPARE(window.State().iState, int(MW_APPLY));
            QCOMPARE(window.State().iSubState, int(SUB_FINISHED));
            QVERIFY(!Report(window)->IsNeedApply());
            QCOMPARE(watch.handled, 1);
        } else {
            QVERIFY(WaitForStage(window, MW_APPLY, SUB_NONE));
            QVERIFY(window.isVisible());
            QVERIFY(Report(window)->IsNeedApply());
        }
        QVERIFY(NoThreadRuns(window));
        window.show();
    }

    void titleToolTipsFollowTheLookup_data()
    {
        QTest::addColumn<QString>("run");
        QTest::newRow("artist and album trees, Fix All") << "fix all";
        QTest::newRow("unrecognized songs, Refix") << "refix";
        QTest::newRow("artwork grid, on the way back after Refix") << "way back";
    }

    // A lookup that finds a song's title shows it in the row's title column
    // and in that column's tool tip, as a hand edit does.
    void titleToolTipsFollowTheLookup()
    {
        QFETCH(QString, run);
        const bool unrecognized = run == QLatin1String("refix");
        const bool wayBack = run == QLatin1String("way back");
        CMainUI& window = *m_pWindow;
        // Two songs without tags: the lookup gives them their title.
        QVERIFY(MakeMusicFolder(m_songs->path(), {{"bare 0.mp3", "untagged.mp3"}, {"bare 1.mp3", "untagged.mp3"}}));
        QVERIFY(startReport(window));
        // Without a cover no song is complete: all of them become unrecognized.
        m_lookupsFail = unrecognized || wayBack;
        m_coversFail = unrecognized;
        QVERIFY(fixAll(window));
        if (wayBack) {
            // A title alone is no cover search: the two songs without artist
            // leave the grid for the unrecognized, the others stay. Known
            // now, they come back complete, under the title the lookup found.
            QListWidget* grid = Report(window)->ArtworkList();
            QCOMPARE(grid->count(), kSongs);
            QCOMPARE(Report(window)->UnrecognizedTree()->topLevelItemCount(), 2);
            m_lookupsFail = false;
            Named<QAbstractButton>(window, "MainUIRetry")->click();
            QVERIFY(WaitForStage(window, MW_APPLY, SUB_NONE));
            QCOMPARE(Report(window)->UnrecognizedTree()->topLevelItemCount(), 0);
            int found = 0;
            for (int i = 0; i < grid->count(); ++i) {
                const QListWidgetItem* tile = grid->item(i);
                QCOMPARE(tile->toolTip(), tile->text());
                QCOMPARE(tile->data(Qt::AccessibleTextRole).toString(), tile->text());
                found += tile->text() == QLatin1String("Song") ? 1 : 0;
            }
            QCOMPARE(found, 2);
            return;
        }
        QList<QPair<QTreeWidget*, int>> titles;  // a tree and its title column
        int rows = 2;
        if (unrecognized) {
            // Known now, still without a cover: the songs stay unrecognized.
            m_lookupsFail = false;
            QTreeWidget* tree = Report(window)->UnrecognizedTree();
            rows = kSongs + 2;
            QCOMPARE(tree->topLevelItemCount(), rows);
            for (int i = 0; i < rows; ++i)
                QVERIFY(tree->topLevelItem(i)->text(2) != QLatin1String("Song"));
            Named<QAbstractButton>(window, "MainUIRetry")->click();
            QVERIFY(WaitForStage(window, MW_APPLY, SUB_NONE));
            titles = {{tree, 2}};
        } else {
            titles = {{Report(window)->ArtistTree(), 0}, {Report(window)->AlbumTree(), 0}};
        }
        for (const auto& [tree, column] : titles) {
            QCOMPARE(tree->topLevelItemCount(), rows);
            for (int i = 0; i < tree->topLevelItemCount(); ++i) {
                const QTreeWidgetItem* row = tree->topLevelItem(i);
                QCOMPARE(row->text(column), QStringLiteral("Song"));
                QCOMPARE(row->toolTip(column), QStringLiteral("Song"));
                QCOMPARE(row->data(0, Qt::AccessibleTextRole).toString(), QStringLiteral("Song"));
            }
        }
    }

    void scoreFromThePages_data()
    {
        QTest::addColumn<QString>("calls");  // "fix:open,progress" or "add:count"
        QTest::addColumn<double>("score");
        QTest::addColumn<QString>("shown");
        // Eight songs: each weighs 1250, a quarter of it per open problem.
        QTest::newRow("nothing open is full") << "fix:0,500" << 10000.0 << "100";
        QTest::newRow("a negative count keeps the score") << "fix:2,500 fix:-1,900" << 9375.0 << "93";
        QTest::newRow("two open") << "fix:2,500" << 9375.0 << "93";
        QTest::newRow("more open than there can be") << "fix:100,500" << 0.0 << "0";
        QTest::newRow("within one song of full is full") << "fix:3,0 add:1" << 10000.0 << "100";
        QTest::newRow("added songs") << "fix:8,0 add:2" << 10000.0 - 8 * 312.5 + 2 * 1250 << "100";
        QTest::newRow("no change for none") << "fix:8,0 add:0" << 7500.0 << "75";
        QTest::newRow("removed below zero") << "fix:8,0 add:-9" << 0.0 << "0";
    }

    void scoreFromThePages()
    {
        QFETCH(QString, calls);
        QFETCH(double, score);
        QFETCH(QString, shown);
        CMainUI& window = *m_pWindow;
        QVERIFY(startReport(window));
        for (const QString& call : calls.split(QLatin1Char(' '))) {
            const QStringList parts = call.section(QLatin1Char(':'), 1).split(QLatin1Char(','));
            if (call.startsWith(QLatin1String("fix")))
                window.ReportFixInfo(parts.at(0).toInt(), parts.at(1).toInt());
            else
                window.AddFixMissNum(parts.at(0).toInt());
        }
        QCOMPARE(window.Score(), score);
        QCOMPARE(ScoreText(window), shown);
        if (calls.endsWith(QLatin1String("fix:-1,900")))
            QCOMPARE(Progress(window), 900);
    }

    void requestsThatStartNothing()
    {
        CMainUI& window = *m_pWindow;
        window.show();
        const tagMainState before = window.State();
        window.ApplyOrSave(2);
        window.ScanDuplicate();  // no source chosen on the duplicate page
        window.LoadStartParam({m_songs->path()}, g_strDBName, EMusicRunMode(0));
        Button(window, "main_removebut")->click();
        QVERIFY(window.State() == before);
        QCOMPARE(PageIndex(window), int(CMainUI::PAGE_START));
    }
};

QTEST_MAIN(TestFixApply)
#include "tst_fixapply.moc"
