// The track object, the pause gate of the engine's loops and the engine log.
#include "core/mmlog.h"
#include "core/musicobj.h"
#include "core/pausegate.h"
#include "recordlist.h"
#include "testenv.h"

#include <QImage>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <atomic>
#include <memory>

class TestCore : public QObject
{
    Q_OBJECT

    static tagMMusicInfo sampleInfo()
    {
        tagMMusicInfo info;
        info.strPersistentID = QStringLiteral("0123456789ABCDEF");
        info.strAlbumID = QStringLiteral("album-id");
        info.strName = QStringLiteral("Song");
        info.strArtist = QStringLiteral("Artist");
        info.strAlbum = QStringLiteral("Album");
        info.strYear = QStringLiteral("1999");
        info.strGenre = QStringLiteral("Jazz");
        return info;
    }

    // A PNG of at least minBytes (noise does not compress).
    static QString writeImage(const QString& dir, const QString& name, int side)
    {
        QImage image(side, side, QImage::Format_RGB32);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                image.setPixel(x, y, qRgb((x * 37 + y * 11) % 256, (x * y) % 256, (x ^ y) % 256));
        const QString path = dir + QLatin1Char('/') + name;
        image.save(path, "PNG");
        return path;
    }

    static QString fileOfSize(const QString& source, const QString& dir, const QString& name, int size)
    {
        QByteArray bytes = testenv::readAll(source);
        // PNG readers ignore bytes after IEND, so padding keeps it an image.
        bytes.append(QByteArray(qMax(0, size - bytes.size()), '\0'));
        bytes.truncate(size);
        const QString path = dir + QLatin1Char('/') + name;
        testenv::writeAll(path, bytes);
        return path;
    }

private slots:
    void workingCopyDropsAlbumId()
    {
        const tagMMusicInfo info = sampleInfo();
        std::unique_ptr<CMusicObj> track(CreateMuisicObj(&info, info));
        const tagMMusicInfo* working = nullptr;
        const tagMMusicInfo* original = nullptr;
        track->GetMusicInfo(&working);
        track->GetiTunesMusicInfo(&original);
        QVERIFY(working->strAlbumID.isEmpty());
        QCOMPARE(original->strAlbumID, QStringLiteral("album-id"));
        QCOMPARE(working->strName, QStringLiteral("Song"));
        QCOMPARE(track->GetGNInfoState(), DS_NONE);
        QCOMPARE(track->GetRepeatID(), 0LL);
    }

    void lookupResultsTakeOnlyNonEmptyFields()
    {
        const tagMMusicInfo info = sampleInfo();
        CMusicObj track(info, info);
        tagMMusicInfo found;
        found.strName = QStringLiteral("New name");
        found.strYear = QStringLiteral("2001");
        found.strPersistentID = QStringLiteral("FFFF");
        found.strLocation = QStringLiteral("/elsewhere");
        track.SetAWSMusicInfo(&found);
        const tagMMusicInfo* working = nullptr;
        track.GetMusicInfo(&working);
        QCOMPARE(working->strName, QStringLiteral("New name"));
        QCOMPARE(working->strArtist, QStringLiteral("Artist"));
        QCOMPARE(working->strYear, QStringLiteral("2001"));
        QCOMPARE(working->strPersistentID, QStringLiteral("0123456789ABCDEF"));
        QVERIFY(working->strLocation.isEmpty());
    }

    void candidateRules()
    {
        QTemporaryDir dir;
        const QString big = writeImage(dir.path(), QStringLiteral("big.png"), 64);
        QVERIFY(QFileInfo(big).size() > 1001);
        const QString small = writeImage(dir.path(), QStringLiteral("small.png"), 4);
        const QString exact1000 = fileOfSize(small, dir.path(), QStringLiteral("a1000.png"), 1000);
        const QString exact1001 = fileOfSize(small, dir.path(), QStringLiteral("a1001.png"), 1001);
        const QString notImage = dir.path() + QStringLiteral("/text.png");
        testenv::writeAll(notImage, QByteArray(5000, 'x'));

        const tagMMusicInfo info = sampleInfo();
        CMusicObj track(info, info);
        track.SetNetPixPathList(exact1000.toUtf8().constData());
        QCOMPARE(track.GetPixCount(), 0);
        track.SetNetPixPathList(exact1001.toUtf8().constData());
        QCOMPARE(track.GetPixCount(), 1);
        track.SetNetPixPathList(notImage.toUtf8().constData());
        track.SetNetPixPathList("/no/such/file.png");
        QCOMPARE(track.GetPixCount(), 1);

        for (int i = 0; i < 10; ++i)
            track.SetNetPixPathList(big.toUtf8().constData()); // the same path may come twice
        QCOMPARE(track.GetPixCount(), 10);
        QCOMPARE(track.GetNetPixPathList(9), big);
        QVERIFY(track.GetNetPixPathList(-1).isEmpty());
        QVERIFY(track.GetNetPixPathList(10).isEmpty());

        // A chosen picture is taken even past the download limit.
        track.SetCurPixPath(QStringLiteral("/chosen.jpg"));
        QCOMPARE(track.GetPixCount(), 11);
        QCOMPARE(track.GetCurPixPath(), QStringLiteral("/chosen.jpg"));
        track.SetCurPixPath(QStringLiteral("/chosen.jpg"));
        QCOMPARE(track.GetPixCount(), 11);
    }

    void currentPictureFallsBackToFirstCandidate()
    {
        QTemporaryDir dir;
        const QString big = writeImage(dir.path(), QStringLiteral("big.png"), 64);
        const tagMMusicInfo info = sampleInfo();
        CMusicObj track(info, info);
        QVERIFY(track.GetCurPixPath().isEmpty());
        track.SetNetPixPathList(big.toUtf8().constData());
        QCOMPARE(track.GetCurPixPath(), big);
        track.SetNetPixPathList(writeImage(dir.path(), QStringLiteral("b.png"), 64).toUtf8().constData());
        QCOMPARE(track.GetCurPixPath(), big); // kept as current
    }

    // The load and the analysis share the gate; only where a pause may
    // start differs: the analysis takes one sent before it runs, the load
    // only one sent while it runs.
    void pauseGateFollowsItsRule_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<int>("start");
        QTest::addColumn<QList<int>>("commands");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("paused");
        const int any = CPauseGate::PAUSE_ANY_STATE, running = CPauseGate::PAUSE_WHILE_RUNNING;
        for (const int rule : {any, running}) {
            const char* name = rule == any ? "analysis" : "load";
            auto row = [&](const char* what) -> QTestData& { return QTest::addRow("%s: %s", name, what); };
            row("pause while running") << rule << int(CTL_RUN) << QList<int>{CTL_PAUSE} << int(CTL_PAUSE) << true;
            row("pause, continue") << rule << int(CTL_RUN) << QList<int>{CTL_PAUSE, CTL_RUN} << int(CTL_RUN) << false;
            row("pause twice") << rule << int(CTL_RUN) << QList<int>{CTL_PAUSE, CTL_PAUSE} << int(CTL_PAUSE) << true;
            row("pause, stop") << rule << int(CTL_RUN) << QList<int>{CTL_PAUSE, CTL_STOP} << int(CTL_STOP) << false;
            row("stop is final") << rule << int(CTL_RUN) << QList<int>{CTL_STOP, CTL_RUN, CTL_PAUSE} << int(CTL_STOP)
                                 << false;
            row("unknown commands") << rule << int(CTL_RUN) << QList<int>{CTL_IDLE, 7} << int(CTL_RUN) << false;
            row("pause before the start") << rule << int(CTL_IDLE) << QList<int>{CTL_PAUSE} << int(CTL_PAUSE)
                                          << (rule == any);
            row("pause before the start, continue") << rule << int(CTL_IDLE) << QList<int>{CTL_PAUSE, CTL_RUN}
                                                    << int(CTL_RUN) << false;
        }
    }

    void pauseGateFollowsItsRule()
    {
        QFETCH(int, rule);
        QFETCH(int, start);
        QFETCH(QList<int>, commands);
        QFETCH(int, state);
        QFETCH(bool, paused);
        CPauseGate gate{CPauseGate::PauseRule(rule)};
        gate.Reset(tagCtlState(start));
        for (const int command : commands)
            gate.Command(tagCtlState(command));
        QCOMPARE(int(gate.State()), state);
        QCOMPARE(gate.IsPaused(), paused);
        const std::atomic<bool> noExit{false};
        if (!paused)
            QCOMPARE(gate.WaitForTurn(noExit), state != CTL_STOP);
    }

    // A loop held by a pause goes on after a continue and ends after a stop
    // or the exit, whenever the command comes: before the loop waits or
    // while it does.
    void pausedLoopWakes_data()
    {
        QTest::addColumn<int>("rule");
        QTest::addColumn<QString>("release");
        QTest::addColumn<bool>("turn");
        for (const int rule : {int(CPauseGate::PAUSE_ANY_STATE), int(CPauseGate::PAUSE_WHILE_RUNNING)}) {
            const char* name = rule == CPauseGate::PAUSE_ANY_STATE ? "analysis" : "load";
            QTest::addRow("%s: continue", name) << rule << QStringLiteral("continue") << true;
            QTest::addRow("%s: stop", name) << rule << QStringLiteral("stop") << false;
            QTest::addRow("%s: exit", name) << rule << QStringLiteral("exit") << false;
        }
    }

    void pausedLoopWakes()
    {
        QFETCH(int, rule);
        QFETCH(QString, release);
        QFETCH(bool, turn);
        CPauseGate gate{CPauseGate::PauseRule(rule)};
        gate.Reset(CTL_RUN);
        gate.Command(CTL_PAUSE);
        std::atomic<bool> exit{false};
        bool result = !turn;
        std::unique_ptr<QThread> loop(QThread::create([&] { result = gate.WaitForTurn(exit); }));
        loop->start();
        if (release == QLatin1String("continue")) {
            gate.Command(CTL_RUN);
        } else if (release == QLatin1String("stop")) {
            gate.Command(CTL_STOP);
        } else {
            exit = true;
            gate.Wake();
        }
        QVERIFY(loop->wait(testrecords::kWaitMs));
        QCOMPARE(result, turn);
    }

    void logLineFormatAndSizeRule_data()
    {
        QTest::addColumn<qint64>("startSize");
        QTest::addColumn<bool>("kept");
        QTest::newRow("exactly 10 MiB stays") << qint64(10485760) << true;
        QTest::newRow("one byte more is deleted") << qint64(10485761) << false;
        QTest::newRow("absent") << qint64(-1) << false;
    }

    void logLineFormatAndSizeRule()
    {
        QFETCH(qint64, startSize);
        QFETCH(bool, kept);
        QTemporaryDir dir;
        const QString path = dir.path() + QStringLiteral("/MM.log");
        if (startSize >= 0) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QVERIFY(f.resize(startSize));
        }
        QVERIFY(CreateLog(dir.path()));
        WriteLog(QStringLiteral("Start AnalyzeMusicInfo"));
        DestroyLog();
        WriteLog(QStringLiteral("dropped while closed"));

        QFile f(path);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.size() > startSize && startSize > 0, kept);
        if (kept)
            f.seek(startSize);
        const QString text = QString::fromUtf8(f.readAll());
        static const QRegularExpression line(QStringLiteral(
            "^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3} \\[tid: (\\d+)\\]: Start AnalyzeMusicInfo\\n$"));
        const auto match = line.match(text);
        QVERIFY2(match.hasMatch(), qPrintable(text));
        QCOMPARE(match.captured(1).toLong(), CurrentThreadId());
    }

    void logIsOffWithoutFolder()
    {
        QVERIFY(!CreateLog(QString()));
        WriteLog(QStringLiteral("nothing"));
    }

    void concurrentLinesStayWhole()
    {
        QTemporaryDir dir;
        QVERIFY(CreateLog(dir.path()));
        const QString longText(2000, QLatin1Char('x'));
        auto writer = [&] {
            for (int i = 0; i < 200; ++i)
                WriteLog(longText);
        };
        std::unique_ptr<QThread> a(QThread::create(writer));
        std::unique_ptr<QThread> b(QThread::create(writer));
        a->start();
        b->start();
        a->wait();
        b->wait();
        DestroyLog();
        const QList<QByteArray> lines = testenv::readAll(dir.path() + QStringLiteral("/MM.log")).split('\n');
        QCOMPARE(lines.size(), 401); // the last split is empty
        for (int i = 0; i < 400; ++i)
            QVERIFY(lines[i].endsWith("]: " + longText.toUtf8()));
    }

    void createFolderMakesParents()
    {
        QTemporaryDir dir;
        const QString deep = dir.path() + QStringLiteral("/a/b/c");
        QVERIFY(!isFileExists(deep));
        QVERIFY(CreateFolder(deep));
        QVERIFY(isFileExists(deep));
        QVERIFY(CreateFolder(deep));
        QVERIFY(!CreateFolder(QString()));
        testenv::writeAll(dir.path() + QStringLiteral("/file"), "x");
        QVERIFY(!CreateFolder(dir.path() + QStringLiteral("/file/sub")));
    }
};

QTEST_GUILESS_MAIN(TestCore)
#include "tst_core.moc"
