// The pause handshake of the window's loops: what a pause, a continue, a
// quit and the start of a run do to the loop's next turn, for each kind of
// flag the loops declare. Links no widgets.
#include "vessolin/pausehandshake.h"

#include <QDeadlineTimer>
#include <QMutexLocker>
#include <QTest>
#include <QThread>

#include <memory>

namespace {

constexpr int kWaitMs = 60000;

template <typename PauseFlag, typename QuitFlag>
struct Loop
{
    QMutex mutex;
    QWaitCondition wake;
    PauseFlag paused{};
    QuitFlag quit{};
    CPauseHandshake<PauseFlag, QuitFlag> handshake{mutex, wake, paused, quit};

    // A step of the GUI thread, or a turn of the loop that must not block.
    void step(const QString& name)
    {
        if (name == QLatin1String("begin"))
            handshake.Begin();
        else if (name == QLatin1String("pause"))
            handshake.Pause();
        else if (name == QLatin1String("resume"))
            handshake.Resume();
        else if (name == QLatin1String("quit"))
            handshake.Quit();
        else if (name == QLatin1String("wake"))
            wake.wakeAll();
        else if (name == QLatin1String("exit"))  // the pages' stop flag, set without the mutex
            quit = true;
        else if (name == QLatin1String("turn"))
            passingTurn();
        else
            QFAIL(qPrintable(name));
    }

    // False when the turn had to be quit to end.
    bool join(QThread& loop)
    {
        if (loop.wait(QDeadlineTimer(kWaitMs)))
            return true;
        handshake.Quit();
        loop.wait();
        return false;
    }

    void passingTurn()
    {
        std::unique_ptr<QThread> loop(QThread::create([this] { handshake.WaitForTurn(); }));
        loop->start();
        QVERIFY2(join(*loop), "the turn waited");
    }

    // The last turn, held until every release step has run; each release
    // step comes while the turn is still held.
    void lastTurn(const QStringList& release, bool& result, bool& passedPause)
    {
        std::atomic<bool> entered{false}, returned{false};
        std::unique_ptr<QThread> loop(QThread::create([&] {
            QMutexLocker lock(&mutex);
            entered = true;
            result = handshake.WaitForTurnHeld();
            passedPause = result && paused;
            returned = true;
        }));
        loop->start();
        bool held = QTest::qWaitFor([&] { return entered.load(); }, kWaitMs);
        for (const QString& name : release) {
            {
                // The mutex is free only while the turn waits or once it has returned.
                QMutexLocker lock(&mutex);
                held = held && !returned;
            }
            if (!held)
                break;
            step(name);
            // A turn that took a bare wake-up for a resume returns now;
            // it gets the time to show it.
            if (name == QLatin1String("wake") && QTest::qWaitFor([&] { return returned.load(); }, 200)) {
                held = false;
                break;
            }
        }
        const bool ended = join(*loop);
        QVERIFY2(held, "the turn did not wait for its release");
        QVERIFY2(ended, "the turn waited on");
    }
};

template <typename PauseFlag, typename QuitFlag>
void runScript(const QStringList& before, const QStringList& release, bool turn, bool paused)
{
    Loop<PauseFlag, QuitFlag> loop;
    for (const QString& name : before) {
        loop.step(name);
        if (QTest::currentTestFailed())
            return;
    }
    bool result = !turn, passedPause = false;
    loop.lastTurn(release, result, passedPause);
    if (QTest::currentTestFailed())
        return;
    QVERIFY2(!passedPause, "a turn went on while paused");
    QCOMPARE(result, turn);
    QCOMPARE(bool(loop.paused), paused);
}

} // namespace

class TestPauseHandshake : public QObject
{
    Q_OBJECT

private slots:
    void rules_data()
    {
        QTest::addColumn<QString>("flags");
        QTest::addColumn<QStringList>("before");   // GUI steps and passing turns
        QTest::addColumn<QStringList>("release");  // empty: the last turn must not wait
        QTest::addColumn<bool>("turn");            // the last turn's answer: go on
        QTest::addColumn<bool>("paused");          // the pause flag afterwards
        const struct {
            const char* name;
            QStringList before, release;
            bool turn, paused;
        } rows[] = {
            {"pause before begin", {"pause", "begin"}, {}, true, false},
            {"pause after begin", {"begin", "pause"}, {"resume"}, true, false},
            {"pause after the loop ended", {"begin", "turn", "pause", "begin"}, {}, true, false},
            {"resume without pause", {"begin", "resume"}, {}, true, false},
            {"resume without pause, then pause", {"begin", "resume", "pause"}, {"resume"}, true, false},
            {"a bare wake-up while paused", {"begin", "pause"}, {"wake", "resume"}, true, false},
            {"quit while paused", {"begin", "pause"}, {"quit"}, false, false},
            {"quit while running", {"begin", "turn", "quit"}, {}, false, false},
            {"exit flag, then resume, while paused", {"begin", "pause"}, {"exit", "resume"}, false, false},
            {"quit outlasts begin", {"quit", "begin"}, {}, false, false},
            {"pause after quit", {"begin", "quit", "pause"}, {}, false, true},
        };
        for (const char* flags : {"walk", "apply", "removal"}) {
            for (const auto& row : rows) {
                QTest::addRow("%s: %s", flags, row.name)
                    << QString::fromLatin1(flags) << row.before << row.release << row.turn << row.paused;
            }
        }
    }

    void rules()
    {
        QFETCH(QString, flags);
        QFETCH(QStringList, before);
        QFETCH(QStringList, release);
        QFETCH(bool, turn);
        QFETCH(bool, paused);
        if (flags == QLatin1String("walk"))
            runScript<std::atomic<int>, std::atomic<int>>(before, release, turn, paused);
        else if (flags == QLatin1String("apply"))
            runScript<int, std::atomic<bool>>(before, release, turn, paused);
        else
            runScript<bool, std::atomic<bool>>(before, release, turn, paused);
    }
};

QTEST_GUILESS_MAIN(TestPauseHandshake)
#include "tst_pausehandshake.moc"
