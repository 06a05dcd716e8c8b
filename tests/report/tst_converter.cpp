// The converter slots' worker and the temporary WAV files: what a
// conversion reports for good and unusable paths, a stop before the start,
// kills from another thread while conversions start and end, and which
// names and deletions the temporary files get.
#include "reporter/converterthread.h"
#include "reporter/temporarywav.h"
#include "testenv.h"
#include "wavmaker.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>

namespace {

// A folder path of at least length bytes below root, made on disk.
QString deepFolder(const QString& root, int length)
{
    QString folder = root;
    while (folder.toUtf8().size() < length)
        folder += QLatin1Char('/') + QString(200, QLatin1Char('d'));
    QDir().mkpath(folder);
    return folder;
}

bool writeMelody(const QString& path, double seconds)
{
    return testenv::writeAll(path, wavmaker::wav(wavmaker::melody(22050, 1, seconds), 22050, 1));
}

} // namespace

class TestConverter : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path(const QString& name) const { return m_dir.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(writeMelody(path(QStringLiteral("short.wav")), 2));
        QVERIFY(writeMelody(path(QStringLiteral("long.wav")), 40));
        const QString deep = deepFolder(path(QStringLiteral("deep")), 520);
        QVERIFY(QFile::copy(path(QStringLiteral("short.wav")), deep + QStringLiteral("/song.wav")));
    }

    void convert_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("dest");
        QTest::addColumn<bool>("ok");
        const QString deep = deepFolder(path(QStringLiteral("deep")), 520);
        QTest::newRow("a music file") << path("short.wav") << path("out/a.wav") << true;
        QTest::newRow("no source") << QString() << path("out/b.wav") << false;
        QTest::newRow("no destination") << path("short.wav") << QString() << false;
        QTest::newRow("missing source") << path("gone.mp3") << path("out/c.wav") << false;
        // Too long for the conversion record: refused whole, never cut to a
        // path that names another file.
        QTest::newRow("source over 511 bytes") << deep + "/song.wav" << path("out/d.wav") << false;
        QTest::newRow("destination over 511 bytes") << path("short.wav") << deep + "/out.wav" << false;
    }

    void convert()
    {
        QFETCH(QString, source);
        QFETCH(QString, dest);
        QFETCH(bool, ok);
        QDir().mkpath(path(QStringLiteral("out")));
        CConverterThread thread(nullptr);
        QSignalSpy ends(&thread, &CConverterThread::SendConverterOK);
        int item = 0;
        thread.SetTrackParams(&item, source, dest, FT_DEFAULT);
        thread.start();
        QVERIFY(thread.wait(60000));
        QCOMPARE(ends.count(), 1);
        QCOMPARE(ends.first().at(0).value<void*>(), static_cast<void*>(&item));
        QCOMPARE(ends.first().at(1).toBool(), ok);
        QCOMPARE(!dest.isEmpty() && QFileInfo(dest).size() > 44, ok);
        QVERIFY(!thread.HasTask());
        // The parameters went with the signal: a second start has none.
        thread.start();
        QVERIFY(thread.wait(60000));
        QCOMPARE(ends.count(), 2);
        QCOMPARE(ends.last().at(1).toBool(), false);
    }

    void stopBeforeStart()
    {
        CConverterThread thread(nullptr);
        QSignalSpy ends(&thread, &CConverterThread::SendConverterOK);
        int item = 0;
        thread.SetTrackParams(&item, path("short.wav"), path("stopped.wav"), FT_DEFAULT);
        thread.SetStop(true);
        thread.start();
        QVERIFY(thread.wait(60000));
        QCOMPARE(ends.count(), 0);
        QVERIFY(!QFileInfo::exists(path("stopped.wav")));
    }

    // A kill from another thread, at any moment of a conversion's life,
    // reaches a live task or none.
    void killFromAnotherThread()
    {
        CConverterThread thread(nullptr);
        std::atomic<bool> done{false};
        std::atomic<int> kills{0};
        QThread* killer = QThread::create([&] {
            while (!done) {
                thread.KillConvertTask();
                kills.fetch_add(1, std::memory_order_relaxed);
            }
        });
        killer->start();
        int ended = 0, killed = 0;
        connect(&thread, &CConverterThread::SendConverterOK, this,
                [&](void*, bool ok, int) { ++ended; killed += ok ? 0 : 1; }, Qt::DirectConnection);
        int item = 0;
        for (int i = 0; i < 1000; ++i) {
            thread.SetTrackParams(&item, path("long.wav"), path("killed.wav"), FT_DEFAULT);
            thread.start();
            QVERIFY(thread.wait(60000));
        }
        done = true;
        killer->wait();
        delete killer;
        QCOMPARE(ended, 1000);
        QVERIFY(killed > 0);
        QVERIFY(kills.load() > 0);
        QVERIFY(!thread.HasTask());
    }

    void wavNames_data()
    {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QStringList>("held");  // names of conversions not written yet
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        const QStringList none;
        QTest::newRow("free") << none << none << "00A1" << "00A1.wav";
        QTest::newRow("taken") << QStringList{"00A1.wav"} << none << "00A1" << "00A1_1.wav";
        QTest::newRow("taken twice") << QStringList{"00A1.wav", "00A1_1.wav"} << none << "00A1" << "00A1_2.wav";
        QTest::newRow("no id") << none << none << "" << "07:08:09.wav";
        QTest::newRow("no id, taken") << QStringList{"07:08:09.wav"} << none << "" << "07:08:09_1.wav";
        QTest::newRow("climbs out") << none << none << "../../victim" << "07:08:09.wav";
        QTest::newRow("a path") << none << none << "/etc/passwd" << "07:08:09.wav";
        QTest::newRow("dots") << none << none << ".." << "07:08:09.wav";
        QTest::newRow("same second, first still converting")
            << none << QStringList{"07:08:09.wav"} << "" << "07:08:09_1.wav";
        QTest::newRow("held and taken") << QStringList{"07:08:09_1.wav"} << QStringList{"07:08:09.wav"} << ""
                                        << "07:08:09_2.wav";
    }

    void wavNames()
    {
        QFETCH(QStringList, taken);
        QFETCH(QStringList, held);
        QFETCH(QString, id);
        QFETCH(QString, name);
        QTemporaryDir folder;
        for (const QString& file : taken)
            QVERIFY(testenv::writeAll(folder.filePath(file), "x"));
        QStringList heldPaths;
        for (const QString& file : held)
            heldPaths << folder.filePath(file);
        const QString wav = TemporaryWavPath(folder.path(), id, QTime(7, 8, 9), heldPaths);
        QCOMPARE(wav, folder.filePath(name));
    }

    void removeWav_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<bool>("removed");
        QTest::newRow("ours") << "music/1.wav" << true;
        QTest::newRow("outside the folder") << "elsewhere/1.wav" << false;
        QTest::newRow("climbing out") << "music/../elsewhere/2.wav" << false;
        QTest::newRow("not a wav") << "music/song.mp3" << false;
        QTest::newRow("below the folder") << "music/sub/1.wav" << false;
    }

    void removeWav()
    {
        QFETCH(QString, relative);
        QFETCH(bool, removed);
        QTemporaryDir root;
        const QString file = QDir::cleanPath(root.filePath(relative));
        QDir().mkpath(QFileInfo(file).path());
        QDir().mkpath(root.filePath(QStringLiteral("music")));
        QVERIFY(testenv::writeAll(file, "x"));
        QCOMPARE(RemoveTemporaryWav(root.filePath(QStringLiteral("music")), root.filePath(relative)), removed);
        QCOMPARE(QFileInfo::exists(file), !removed);
    }
};

QTEST_GUILESS_MAIN(TestConverter)
#include "tst_converter.moc"
