// The UI log: its line, its rotation into numbered files and writers on
// several threads.
#include "appenv.h"
#include "common.h"
#include "config.h"
#include "platformbase.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <vector>

namespace {

QString logPath()
{
    return appenv::dataFolder() + QStringLiteral("/UI.log");
}

QString rotatedPath(int n)
{
    return appenv::dataFolder() + QStringLiteral("/UI_%1.log").arg(n);
}

QStringList logLines(const QString& path = logPath())
{
    return QString::fromUtf8(testenv::readAll(path)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

// A file of exactly size bytes whose first line names it.
void makeFile(const QString& path, const QByteArray& head, qint64 size)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(head);
    QVERIFY(file.resize(qMax<qint64>(size, head.size())));
}

QByteArray headOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readLine().trimmed() : QByteArray();
}

} // namespace

class TestUILog : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        DestroyUILog();
        CConfig::instance();
        QFile::remove(logPath());
        for (int n = 0; n < 10; ++n)
            QFile::remove(rotatedPath(n));
    }

    void cleanupTestCase() { DestroyUILog(); }

    void lineCarriesTimeThreadAndText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::newRow("plain") << QStringLiteral("Enter CMainUI::closeEvent!");
        QTest::newRow("accents") << QStringLiteral("Ouvert « Été » – Zoë");
        QTest::newRow("empty") << QString();
    }

    void lineCarriesTimeThreadAndText()
    {
        QFETCH(QString, text);
        QCOMPARE(WriteUILog(text), 0);
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        static const QRegularExpression shape(
            QStringLiteral("^(\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d)\\[tid:(\\d+)\\]: (.*)$"));
        const QRegularExpressionMatch match = shape.match(lines.first());
        QVERIFY2(match.hasMatch(), qPrintable(lines.first()));
        QVERIFY(QDateTime::fromString(match.captured(1), QStringLiteral("yyyy-MM-dd hh:mm:ss")).isValid());
        QCOMPARE(match.captured(2).toLong(), CurrentKernelThreadId());
        QCOMPARE(match.captured(3), text);
    }

    // A name found online may hold anything; each call still writes one
    // line, which a reader (or the bug report's reader) can trust.
    void controlCharactersAreEscaped_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("written");
        QTest::newRow("newlines") << QStringLiteral("Name:a\nb\r\n2000-01-01 00:00:00[tid:1]: forged")
                                  << QStringLiteral("Name:a\\nb\\r\\n2000-01-01 00:00:00[tid:1]: forged");
        QTest::newRow("tab, terminal escape, delete") << QStringLiteral("\tx\x1b[2J\x7f") << QStringLiteral("\\tx\\u001b[2J\\u007f");
        QTest::newRow("line and paragraph separators")
            << QStringLiteral("a") + QChar(0x2028) + QStringLiteral("b") + QChar(0x2029) + QChar(0x85)
            << QStringLiteral("a\\u2028b\\u2029\\u0085");
        QTest::newRow("backslashes stay") << QStringLiteral("C:\\music\\n") << QStringLiteral("C:\\music\\n");
    }

    void controlCharactersAreEscaped()
    {
        QFETCH(QString, text);
        QFETCH(QString, written);
        QCOMPARE(WriteUILog(text), 0);
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().endsWith(QStringLiteral("]: ") + written), qPrintable(lines.first()));
    }

    void workerLinesNameTheirOwnThread()
    {
        long workerId = 0;
        std::unique_ptr<QThread> worker(QThread::create([&workerId] {
            workerId = CurrentKernelThreadId();
            WriteUILog(QStringLiteral("from the worker"));
        }));
        worker->start();
        QVERIFY(worker->wait());
        QVERIFY(workerId != CurrentKernelThreadId());
        QVERIFY(logLines().first().contains(QStringLiteral("[tid:%1]: from the worker").arg(workerId)));
    }

    void firstWriteMakesTheLog()
    {
        QVERIFY(!QFile::exists(logPath()));
        QCOMPARE(WriteUILog(QStringLiteral("first")), 0);
        QCOMPARE(logLines().size(), 1);
        // Closed and written again: the log reopens and appends.
        DestroyUILog();
        QCOMPARE(WriteUILog(QStringLiteral("second")), 0);
        QCOMPARE(logLines().size(), 2);
    }

    // The platform layers' failures (a mount the chooser left out) land
    // here while the log is open, and nowhere once it is closed.
    void platformLinesWhileOpen()
    {
        QVERIFY(CreateUILog());
        PlatformLog(QStringLiteral("Places: /mnt/nas did not answer"));
        DestroyUILog();
        PlatformLog(QStringLiteral("after the end"));
        const QStringList lines = logLines();
        QCOMPARE(lines.size(), 1);
        QVERIFY(lines.first().endsWith(QLatin1String("]: Places: /mnt/nas did not answer")));
    }

    void rotation_data()
    {
        QTest::addColumn<qint64>("liveSize");
        QTest::addColumn<QList<int>>("present");
        QTest::addColumn<int>("target");

        QTest::newRow("one byte short of the limit") << qint64(10485759) << QList<int>{} << -1;
        QTest::newRow("at the limit") << qint64(10485760) << QList<int>{} << 0;
        QTest::newRow("first free number") << qint64(10485760) << QList<int>{0, 2} << 1;
        QTest::newRow("nine present") << qint64(10485760) << QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8} << 9;
    }

    void rotation()
    {
        QFETCH(qint64, liveSize);
        QFETCH(QList<int>, present);
        QFETCH(int, target);
        QVERIFY(QDir().mkpath(appenv::dataFolder()));
        makeFile(logPath(), "live\n", liveSize);
        for (int n : present)
            makeFile(rotatedPath(n), "old " + QByteArray::number(n) + "\n", 10);

        QCOMPARE(WriteUILog(QStringLiteral("next")), 0);
        if (target < 0) {
            // The line follows the old content in the same file.
            const QByteArray tail = testenv::readAll(logPath()).mid(int(liveSize));
            QVERIFY(tail.endsWith("]: next\n"));
            QCOMPARE(tail.count('\n'), 1);
            QVERIFY(!QFile::exists(rotatedPath(0)));
            return;
        }
        QCOMPARE(QFileInfo(rotatedPath(target)).size(), liveSize);
        QCOMPARE(headOf(rotatedPath(target)), QByteArray("live"));
        for (int n : present)
            QCOMPARE(headOf(rotatedPath(n)), "old " + QByteArray::number(n));
        QCOMPARE(logLines().size(), 1);
        QVERIFY(logLines().first().endsWith(QLatin1String("]: next")));
    }

    void fullRotationDropsTheOldestFive()
    {
        QVERIFY(QDir().mkpath(appenv::dataFolder()));
        makeFile(logPath(), "live\n", 10485760);
        for (int n = 0; n < 10; ++n)
            makeFile(rotatedPath(n), "old " + QByteArray::number(n) + "\n", 10);

        QCOMPARE(WriteUILog(QStringLiteral("next")), 0);
        for (int n = 0; n < 5; ++n)
            QCOMPARE(headOf(rotatedPath(n)), "old " + QByteArray::number(n + 5));
        QCOMPARE(headOf(rotatedPath(5)), QByteArray("live"));
        for (int n = 6; n < 10; ++n)
            QVERIFY2(!QFile::exists(rotatedPath(n)), qPrintable(rotatedPath(n)));
        QCOMPARE(logLines().size(), 1);
    }

    // Threads that all find the log missing each get their line in.
    void concurrentFirstWritesKeepEveryLine()
    {
        constexpr int kWriters = 8;
        QSemaphore ready;
        QSemaphore go;
        std::vector<std::unique_ptr<QThread>> writers;
        std::vector<int> results(kWriters, -5);
        for (int i = 0; i < kWriters; ++i) {
            writers.emplace_back(QThread::create([&, i] {
                ready.release();
                go.acquire();
                results[size_t(i)] = WriteUILog(QStringLiteral("writer %1").arg(i));
            }));
            writers.back()->start();
        }
        ready.acquire(kWriters);
        go.release(kWriters);
        for (auto& writer : writers)
            QVERIFY(writer->wait());
        for (int result : results)
            QCOMPARE(result, 0);
        QCOMPARE(logLines().size(), kWriters);
    }
};

QTEST_GUILESS_MAIN(TestUILog)
#include "tst_uilog.moc"
