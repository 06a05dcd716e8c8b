// The conversion layer: decoding to callbacks, WAV files, kills and bad input.
#include "quorra.h"
#include "src/task.h"
#include "testenv.h"

#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QtEndian>

#include <taglib/fileref.h>
#include <taglib/tag.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>
#include <memory>
#include <vector>

namespace {

// What the decoder handed to the callbacks.
struct Capture
{
    int infoCalls = 0;
    int rate = 0;
    int channels = 0;
    int bits = 0;
    int dataCalls = 0;
    bool dataBeforeInfo = false;
    bool misaligned = false;
    bool keepPcm = true;
    qint64 bytes = 0;
    QByteArray pcm;
    int infoResult = 0; // returned by the format callback
    int stopAtCall = 0; // the data call (from 1) that returns 1
    QSemaphore* dataFlows = nullptr; // released at the first data call, which then
    QSemaphore* resume = nullptr;    // waits for this
};

int onInfo(void* user, int rate, int channels, int bits)
{
    auto* c = static_cast<Capture*>(user);
    ++c->infoCalls;
    c->rate = rate;
    c->channels = channels;
    c->bits = bits;
    return c->infoResult;
}

int onData(void* user, const short* samples, int byteCount)
{
    auto* c = static_cast<Capture*>(user);
    ++c->dataCalls;
    c->dataBeforeInfo |= c->infoCalls == 0;
    c->misaligned |= c->channels == 0 || byteCount <= 0 || byteCount % (c->channels * 2) != 0;
    c->bytes += byteCount;
    if (c->keepPcm)
        c->pcm.append(reinterpret_cast<const char*>(samples), byteCount);
    if (c->dataFlows && c->dataCalls == 1) {
        c->dataFlows->release();
        c->resume->acquire();
    }
    return c->dataCalls == c->stopAtCall ? 1 : 0;
}

int decode(const QString& path, Capture& capture)
{
    void* task = CreateConverTask(CK_DECODE, nullptr);
    const int result = DecoderAudio(&task, path.toUtf8().constData(), onInfo, onData, &capture);
    DestroyConvertTask(&task);
    return result;
}

// The record as the converter threads fill it: three zeroed 512-byte buffers.
struct Record
{
    std::vector<char> reserved = std::vector<char>(QUORRA_PATH_SIZE, 0);
    std::vector<char> source = std::vector<char>(QUORRA_PATH_SIZE, 0);
    std::vector<char> dest = std::vector<char>(QUORRA_PATH_SIZE, 0);
    tagConverRecord record{reserved.data(), source.data(), dest.data()};

    Record(const QByteArray& from, const QByteArray& to)
    {
        memcpy(source.data(), from.constData(), size_t(qMin<qsizetype>(from.size(), QUORRA_PATH_SIZE)));
        memcpy(dest.data(), to.constData(), size_t(qMin<qsizetype>(to.size(), QUORRA_PATH_SIZE)));
    }
};

void* createWavTask(const QString& source, const QString& dest)
{
    Record record(source.toUtf8(), dest.toUtf8());
    void* task = CreateConverTask(CK_WAV, &record.record);
    // The task must not need the caller's buffers any more.
    std::fill(record.source.begin(), record.source.end(), 'x');
    std::fill(record.dest.begin(), record.dest.end(), 'x');
    return task;
}

int convert(const QString& source, const QString& dest)
{
    void* task = createWavTask(source, dest);
    const int result = task ? StartConvertTask(&task) : -100;
    DestroyConvertTask(&task);
    return result;
}

// A WAV file of the writer's layout, checked field by field against the
// file's real size.
struct Wav
{
    QString fault;
    int channels = 0;
    int rate = 0;
    QByteArray data;
};

Wav readWav(const QString& path)
{
    Wav wav;
    const QByteArray bytes = testenv::readAll(path);
    const char* h = bytes.constData();
    auto u16 = [&](int at) { return qFromLittleEndian<quint16>(h + at); };
    auto u32 = [&](int at) { return qFromLittleEndian<quint32>(h + at); };
    if (bytes.size() < 44 || memcmp(h, "RIFF", 4) || memcmp(h + 8, "WAVEfmt ", 8) || memcmp(h + 36, "data", 4))
        wav.fault = QStringLiteral("no RIFF/WAVE with fmt and data chunks");
    else if (u32(4) != quint32(bytes.size() - 8) || u32(40) != quint32(bytes.size() - 44))
        wav.fault = QStringLiteral("chunk sizes disagree with the file size");
    else if (u32(16) != 16 || u16(20) != 1 || u16(34) != 16)
        wav.fault = QStringLiteral("not 16-bit PCM");
    else if (u16(32) != u16(22) * 2 || u32(28) != u32(24) * u16(32) || u32(40) % u16(32) != 0)
        wav.fault = QStringLiteral("block align, byte rate or data size inconsistent");
    if (!wav.fault.isEmpty())
        return wav;
    wav.channels = u16(22);
    wav.rate = int(u32(24));
    wav.data = bytes.mid(44);
    return wav;
}

} // namespace

class TestQuorra : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString temp(const QString& name) const { return m_dir.filePath(name); }

    static QString fixture(const char* name) { return testenv::fixture(QString::fromLatin1(name)); }

    static bool ffmpeg(const QStringList& arguments)
    {
        QProcess process;
        process.start(QStringLiteral("ffmpeg"),
                      QStringList{QStringLiteral("-nostdin"), QStringLiteral("-v"), QStringLiteral("error"),
                                  QStringLiteral("-y")} + arguments);
        return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit
            && process.exitCode() == 0;
    }

    // A test tone rendered by ffmpeg: "rate:channels:seconds" plus codec.
    bool tone(const QString& out, int rate, const QString& pan, const QStringList& codec)
    {
        return ffmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                                  QStringLiteral("sine=frequency=440:beep_factor=3:duration=3:sample_rate=%1").arg(rate),
                                  QStringLiteral("-af"), pan}
                      + codec + QStringList{temp(out)});
    }

    // Raw little-endian PCM of a file as the ffmpeg tool decodes it.
    bool rawOf(const QString& in, const QString& out, int channels)
    {
        return ffmpeg(QStringList{QStringLiteral("-i"), in, QStringLiteral("-ac"), QString::number(channels),
                                  QStringLiteral("-f"), QStringLiteral("s16le"), temp(out)});
    }

    QString copyWith(const QString& name, const QByteArray& bytes)
    {
        const QString path = temp(name);
        testenv::writeAll(path, bytes);
        return path;
    }

    QStringList entries(const QString& folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    }

    // Rows naming the point of a conversion that takes the kill.
    static void killSteps(bool wav)
    {
        QTest::addColumn<int>("step");       // -1: killed before the start
        QTest::addColumn<int>("occurrence"); // the step's nth pass (from 1) takes the kill
        QTest::newRow("kill before the start") << -1 << 0;
        if (wav)
            QTest::newRow("kill while the output opens") << int(quorra::STEP_WAV_OPEN) << 1;
        QTest::newRow("kill while the input opens") << int(quorra::STEP_OPEN) << 1;
        QTest::newRow("kill during the first read") << int(quorra::STEP_IO) << 1;
        QTest::newRow("kill during a later read") << int(quorra::STEP_IO) << 40;
        QTest::newRow("kill while the streams are probed") << int(quorra::STEP_STREAM_INFO) << 1;
        QTest::newRow("kill while the codec opens") << int(quorra::STEP_CODEC) << 1;
        QTest::newRow("kill while converting") << int(quorra::STEP_PACKET) << 20;
        QTest::newRow("kill while a block is handed on") << int(quorra::STEP_BLOCK) << 3;
        QTest::newRow("kill while draining") << int(quorra::STEP_DRAIN) << 1;
        QTest::newRow("kill at the verdict") << int(quorra::STEP_VERDICT) << 1;
        if (wav)
            QTest::newRow("kill before the commit") << int(quorra::STEP_COMMIT) << 1;
    }

    // Runs call on a thread of its own and kills the task at the row's step.
    // The converting thread stops there until the kill has been sent from
    // this thread, as a kill from the application would come: the point of
    // the kill is exact, not a race. The call's result.
    static int runKilled(void* task, const std::function<int()>& call)
    {
        QFETCH(int, step);
        QFETCH(int, occurrence);
        QSemaphore reached, resume;
        int passes = 0;
        if (step < 0)
            KillConverTask(task);
        else
            quorra::liveTask(task)->stepHook = [&](quorra::ConvertStep at) {
                if (at == step && ++passes == occurrence) {
                    reached.release();
                    resume.acquire();
                }
            };
        int result = 1;
        std::unique_ptr<QThread> worker(QThread::create([&] { result = call(); }));
        worker->start();
        bool killed = step < 0;
        while (!killed && !worker->isFinished()) {
            if (reached.tryAcquire(1, 20)) {
                killed = KillConverTask(task) == CR_OK;
                resume.release();
            }
        }
        worker->wait();
        return killed ? result : 1; // 1: the step was never reached
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        const QString left = QStringLiteral("pan=stereo|c0=c0|c1=0.3*c0");
        const QString six = QStringLiteral("pan=5.1|c0=c0|c1=0.5*c0|c2=0.2*c0|c3=0.05*c0|c4=0.7*c0|c5=0.1*c0");
        const QStringList flac{QStringLiteral("-c:a"), QStringLiteral("flac")};
        QVERIFY(tone(QStringLiteral("stereo48k.flac"), 48000, left, flac));
        QVERIFY(tone(QStringLiteral("surround.flac"), 44100, six, flac));
        QVERIFY(tone(QStringLiteral("stereo.mp3"), 32000, left, {QStringLiteral("-c:a"), QStringLiteral("libmp3lame")}));
        QVERIFY(tone(QStringLiteral("stereo.m4a"), 22050, left, {QStringLiteral("-c:a"), QStringLiteral("aac")}));
        QVERIFY(ffmpeg({QStringLiteral("-i"), fixture("tagged.wma"), QStringLiteral("-c"), QStringLiteral("copy"),
                        QStringLiteral("-metadata"), QStringLiteral("title=") + QString(30000, QLatin1Char('t')),
                        temp(QStringLiteral("long-title.wma"))}));
        QVERIFY(rawOf(fixture("plain.wav"), QStringLiteral("plain.raw"), 1));
        QVERIFY(rawOf(temp(QStringLiteral("stereo48k.flac")), QStringLiteral("stereo48k.raw"), 2));
        QVERIFY(rawOf(temp(QStringLiteral("surround.flac")), QStringLiteral("surround.raw"), 2));
    }

    void decodesEveryFormat_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::newRow("mp3") << fixture("untagged.mp3") << 44100 << 1 << 5.0;
        QTest::newRow("mp3 with picture stream") << fixture("id3v2-cover.mp3") << 44100 << 1 << 5.0;
        QTest::newRow("mp3 with ape tag") << fixture("ape-only.mp3") << 44100 << 1 << 5.0;
        QTest::newRow("mp3 stereo") << temp(QStringLiteral("stereo.mp3")) << 32000 << 2 << 3.0;
        QTest::newRow("m4a with cover") << fixture("cover.m4a") << 44100 << 1 << 5.0;
        QTest::newRow("m4a stereo") << temp(QStringLiteral("stereo.m4a")) << 22050 << 2 << 3.0;
        QTest::newRow("wma") << fixture("tagged.wma") << 44100 << 1 << 5.0;
        QTest::newRow("flac") << fixture("vorbis-only.flac") << 11025 << 1 << 5.0;
        QTest::newRow("flac stereo") << temp(QStringLiteral("stereo48k.flac")) << 48000 << 2 << 3.0;
        QTest::newRow("flac 5.1 becomes stereo") << temp(QStringLiteral("surround.flac")) << 44100 << 2 << 3.0;
        QTest::newRow("tta") << fixture("id3v2-title.tta") << 11025 << 1 << 5.0;
        QTest::newRow("aiff") << fixture("id3v2-cover.aiff") << 11025 << 1 << 5.0;
        QTest::newRow("wav") << fixture("plain.wav") << 11025 << 1 << 5.0;
    }

    void decodesEveryFormat()
    {
        QFETCH(QString, path);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        Capture c;
        QCOMPARE(decode(path, c), int(CR_OK));
        QCOMPARE(c.infoCalls, 1);
        QVERIFY(!c.dataBeforeInfo);
        QVERIFY(!c.misaligned);
        QCOMPARE(c.rate, rate);
        QCOMPARE(c.channels, channels);
        QCOMPARE(c.bits, 16);
        const double frames = double(c.bytes) / (channels * 2);
        QVERIFY2(qAbs(frames - seconds * rate) < seconds * rate * 0.02, qPrintable(QString::number(frames)));
        const auto* samples = reinterpret_cast<const qint16*>(c.pcm.constData());
        QVERIFY(*std::max_element(samples, samples + c.pcm.size() / 2) > 3000); // sound, not silence
    }

    // Lossless sources come out sample for sample; the stereo and 5.1 rows
    // also prove the channel order and the downmix.
    void losslessSourcesAreExact_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("reference");
        const QString plain = temp(QStringLiteral("plain.raw"));
        QTest::newRow("wav") << fixture("plain.wav") << plain;
        QTest::newRow("flac behind id3v2") << fixture("id3v2.flac") << plain;
        QTest::newRow("tta") << fixture("id3v2-title.tta") << plain;
        QTest::newRow("aiff") << fixture("id3v2-cover.aiff") << plain;
        QTest::newRow("flac stereo") << temp(QStringLiteral("stereo48k.flac")) << temp(QStringLiteral("stereo48k.raw"));
        QTest::newRow("flac 5.1") << temp(QStringLiteral("surround.flac")) << temp(QStringLiteral("surround.raw"));
    }

    void losslessSourcesAreExact()
    {
        QFETCH(QString, path);
        QFETCH(QString, reference);
        Capture c;
        QCOMPARE(decode(path, c), int(CR_OK));
        const QByteArray expected = testenv::readAll(reference);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(c.pcm.size(), expected.size());
        QVERIFY(c.pcm == expected);
    }

    void callbackStopsDecoding_data()
    {
        QTest::addColumn<int>("infoResult");
        QTest::addColumn<int>("stopAtCall");
        QTest::addColumn<int>("dataCalls");
        QTest::newRow("format callback refuses") << 1 << 0 << 0;
        QTest::newRow("format callback fails") << -1 << 0 << 0;
        QTest::newRow("first block refused") << 0 << 1 << 1;
        QTest::newRow("third block refused") << 0 << 3 << 3;
    }

    void callbackStopsDecoding()
    {
        QFETCH(int, infoResult);
        QFETCH(int, stopAtCall);
        QFETCH(int, dataCalls);
        Capture c;
        c.infoResult = infoResult;
        c.stopAtCall = stopAtCall;
        QCOMPARE(decode(fixture("untagged.mp3"), c), int(CR_CALLBACK));
        QCOMPARE(c.infoCalls, 1);
        QCOMPARE(c.dataCalls, dataCalls);
    }

    void writesCompleteWav_data()
    {
        QTest::addColumn<QString>("source");
        QTest::newRow("wav") << fixture("plain.wav");
        QTest::newRow("mp3") << fixture("id3v1-only.mp3");
        QTest::newRow("m4a") << fixture("empty.m4a");
        QTest::newRow("wma") << fixture("tagged.wma");
        QTest::newRow("flac stereo") << temp(QStringLiteral("stereo48k.flac"));
        QTest::newRow("flac 5.1") << temp(QStringLiteral("surround.flac"));
    }

    // The WAV holds exactly what decoding hands out, in a header that
    // describes it; the folder holds nothing else afterwards.
    void writesCompleteWav()
    {
        QFETCH(QString, source);
        QTemporaryDir out;
        const QString dest = out.filePath(QStringLiteral("ABCDEF0123456789.wav"));
        QCOMPARE(convert(source, dest), int(CR_OK));
        const Wav wav = readWav(dest);
        QVERIFY2(wav.fault.isEmpty(), qPrintable(wav.fault));
        Capture c;
        QCOMPARE(decode(source, c), int(CR_OK));
        QCOMPARE(wav.rate, c.rate);
        QCOMPARE(wav.channels, c.channels);
        QCOMPARE(wav.data.size(), c.pcm.size());
        QVERIFY(wav.data == c.pcm);
        QCOMPARE(entries(out.path()), QStringList{QStringLiteral("ABCDEF0123456789.wav")});
    }

    void unusualPathsWork_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("not ASCII") << QStringLiteral("Café 港の灯.flac");
        QTest::newRow("colon as in a time of day") << QStringLiteral("12:04:59.flac");
        QTest::newRow("looks like a protocol") << QStringLiteral("http:song.flac");
    }

    void unusualPathsWork()
    {
        QFETCH(QString, name);
        QTemporaryDir dir;
        QVERIFY(QFile::copy(fixture("id3v2.flac"), dir.filePath(name)));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(dir.path()));
        // Relative, so that a leading "http:" would be taken for a scheme.
        Capture c;
        const int decoded = decode(name, c);
        const int converted = convert(name, name + QStringLiteral(".wav"));
        QDir::setCurrent(previous);
        QCOMPARE(decoded, int(CR_OK));
        QCOMPARE(c.bytes, qint64(testenv::readAll(temp(QStringLiteral("plain.raw"))).size()));
        QCOMPARE(converted, int(CR_OK));
        QVERIFY(readWav(dir.filePath(name + QStringLiteral(".wav"))).fault.isEmpty());
    }

    // Tag editors grow and shrink the tag area of files and leave some
    // stated sizes behind (an ASF header's file size); that is no damage.
    void retaggedFilesStillDecode_data()
    {
        QTest::addColumn<QString>("source");
        for (const char* name : {"untagged.mp3", "cover.m4a", "tagged.wma", "vorbis-only.flac", "id3v2-title.tta",
                                 "id3v2-cover.aiff", "plain.wav"})
            QTest::newRow(name) << testenv::fixture(QString::fromLatin1(name));
        QTest::newRow("wma written with a long title") << temp(QStringLiteral("long-title.wma"));
    }

    void retaggedFilesStillDecode()
    {
        QFETCH(QString, source);
        Capture original;
        QCOMPARE(decode(source, original), int(CR_OK));
        QTemporaryDir dir;
        const QString copy = dir.filePath(QFileInfo(source).fileName());
        QVERIFY(QFile::copy(source, copy));
        for (const bool grow : {true, false}) {
            {
                TagLib::FileRef file(QFile::encodeName(copy).constData());
                QVERIFY(!file.isNull());
                file.tag()->setComment(grow ? TagLib::String(std::string(30000, 'c')) : TagLib::String());
                if (!grow)
                    file.tag()->setTitle(TagLib::String());
                QVERIFY(file.save());
            }
            Capture c;
            c.keepPcm = false;
            QCOMPARE(decode(copy, c), int(CR_OK));
            QCOMPARE(c.bytes, original.bytes);
        }
    }

    void badInputFailsCleanly_data()
    {
        QTest::addColumn<QString>("path");
        const char* const fixtures[] = {"untagged.mp3", "cover.m4a", "tagged.wma", "vorbis-only.flac",
                                        "id3v2-title.tta", "id3v2-cover.aiff", "plain.wav"};
        for (const char* name : fixtures) {
            const QByteArray bytes = testenv::readAll(fixture(name));
            QVERIFY(!bytes.isEmpty());
            for (int percent : {1, 10, 35, 60, 90, 97}) {
                const QString copy = QStringLiteral("%1.cut%2").arg(QLatin1String(name)).arg(percent);
                QTest::addRow("%s cut at %d%%", name, percent)
                    << copyWith(copy, bytes.left(bytes.size() * percent / 100));
            }
        }
        auto splice = [&](const char* head, const char* body, const char* row) {
            const QByteArray front = testenv::readAll(fixture(head)).left(4096);
            const QByteArray back = testenv::readAll(fixture(body)).mid(4096);
            QTest::newRow(row) << copyWith(QString::fromLatin1(row), front + back);
        };
        splice("vorbis-only.flac", "untagged.mp3", "flac head, mp3 body");
        splice("untagged.mp3", "tagged.wma", "mp3 head, wma body");
        splice("plain.wav", "id3v2-title.tta", "wav head, tta body");
        splice("tagged.wma", "empty.m4a", "wma head, m4a body");
        splice("id3v2-cover.aiff", "vorbis-only.flac", "aiff head, flac body");
        QByteArray noise(60000, '\0');
        QRandomGenerator random(4711);
        random.fillRange(reinterpret_cast<quint32*>(noise.data()), noise.size() / 4);
        QTest::newRow("random bytes") << copyWith(QStringLiteral("noise.mp3"), noise);
        QTest::newRow("empty file") << copyWith(QStringLiteral("empty.mp3"), QByteArray());
        QTest::newRow("text") << copyWith(QStringLiteral("notes.wav"), QByteArray(3000, 'a'));
        QTest::newRow("a picture") << fixture("cover.jpg");
        QTest::newRow("missing file") << temp(QStringLiteral("no such file.mp3"));
        QTest::newRow("directory") << m_dir.path();
        const QString fifo = temp(QStringLiteral("pipe.mp3"));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QTest::newRow("fifo nobody writes to") << fifo;
    }

    void badInputFailsCleanly()
    {
        QFETCH(QString, path);
        Capture c;
        QVERIFY(decode(path, c) < 0);
        QTemporaryDir out;
        const QString dest = out.filePath(QStringLiteral("out.wav"));
        QVERIFY(convert(path, dest) < 0);
        QVERIFY(entries(out.path()).isEmpty());
    }

    // Nothing half-written appears under the name, and a file already there
    // survives a failed conversion.
    void failedWavLeavesDestinationAlone_data()
    {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("destName");
        const QByteArray cut = testenv::readAll(fixture("untagged.mp3")).left(20000);
        QTest::newRow("broken source") << copyWith(QStringLiteral("broken.mp3"), cut) << QStringLiteral("out.wav");
        QTest::newRow("folder of destination missing") << fixture("plain.wav") << QStringLiteral("no/out.wav");
        QTest::newRow("destination is a folder") << fixture("plain.wav") << QStringLiteral("folder");
    }

    void failedWavLeavesDestinationAlone()
    {
        QFETCH(QString, source);
        QFETCH(QString, destName);
        QTemporaryDir out;
        QVERIFY(QDir(out.path()).mkdir(QStringLiteral("folder")));
        const QString older = out.filePath(QStringLiteral("out.wav"));
        QVERIFY(testenv::writeAll(older, "older file"));
        QVERIFY(convert(source, out.filePath(destName)) < 0);
        QCOMPARE(testenv::readAll(older), QByteArray("older file"));
        QCOMPARE(entries(out.path()), (QStringList{QStringLiteral("folder"), QStringLiteral("out.wav")}));
    }

    void killEndsDecoding()
    {
        // The kill comes while the first block is being handed over, so the
        // decoder is certainly in the middle of the file.
        QSemaphore dataFlows;
        QSemaphore resume;
        Capture c;
        c.keepPcm = false;
        c.dataFlows = &dataFlows;
        c.resume = &resume;
        void* task = CreateConverTask(CK_DECODE, nullptr);
        int result = 1;
        const QByteArray path = fixture("vorbis-only.flac").toUtf8();
        std::unique_ptr<QThread> worker(QThread::create([&] { result = DecoderAudio(&task, path.constData(), onInfo, onData, &c); }));
        worker->start();
        dataFlows.acquire();
        QCOMPARE(KillConverTask(task), int(CR_OK));
        resume.release();
        worker->wait();
        QCOMPARE(result, int(CR_KILLED));
        QCOMPARE(c.dataCalls, 1);
        DestroyConvertTask(&task);
    }

    void killEndsConversionWithoutWav_data() { killSteps(true); }

    void killEndsConversionWithoutWav()
    {
        QTemporaryDir out;
        void* task = createWavTask(fixture("untagged.mp3"), out.filePath(QStringLiteral("out.wav")));
        QVERIFY(task);
        QCOMPARE(runKilled(task, [&] { return StartConvertTask(&task); }), int(CR_KILLED));
        QVERIFY(entries(out.path()).isEmpty());
        DestroyConvertTask(&task);
    }

    void killEndsDecodingAtEveryStep_data() { killSteps(false); }

    void killEndsDecodingAtEveryStep()
    {
        Capture c;
        c.keepPcm = false;
        const QByteArray path = fixture("untagged.mp3").toUtf8();
        void* task = CreateConverTask(CK_DECODE, nullptr);
        QCOMPARE(runKilled(task, [&] { return DecoderAudio(&task, path.constData(), onInfo, onData, &c); }),
                 int(CR_KILLED));
        DestroyConvertTask(&task);
    }

    // The four converter slots run at once.
    void parallelConversionsStayApart()
    {
        const QString sources[] = {fixture("plain.wav"), fixture("untagged.mp3"), fixture("tagged.wma"),
                                   temp(QStringLiteral("stereo48k.flac"))};
        QTemporaryDir out;
        int results[4] = {1, 1, 1, 1};
        std::vector<std::unique_ptr<QThread>> threads;
        for (int i = 0; i < 4; ++i) {
            threads.emplace_back(QThread::create([&, i] {
                results[i] = convert(sources[i], out.filePath(QStringLiteral("%1.wav").arg(i)));
            }));
            threads.back()->start();
        }
        for (auto& thread : threads)
            thread->wait();
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(results[i], int(CR_OK));
            Capture c;
            QCOMPARE(decode(sources[i], c), int(CR_OK));
            QVERIFY(readWav(out.filePath(QStringLiteral("%1.wav").arg(i))).data == c.pcm);
        }
    }

    void tasksRefuseWhatTheyCannotDo_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("dest");
        const QByteArray wav = QFile::encodeName(fixture("plain.wav"));
        QTest::newRow("unknown kind 2") << 2 << wav << QByteArray("/tmp/x.wav");
        QTest::newRow("unknown kind 0") << 0 << wav << QByteArray("/tmp/x.wav");
        QTest::newRow("empty source") << int(CK_WAV) << QByteArray() << QByteArray("/tmp/x.wav");
        QTest::newRow("empty destination") << int(CK_WAV) << wav << QByteArray();
        QTest::newRow("source fills the buffer") << int(CK_WAV) << QByteArray(QUORRA_PATH_SIZE, 'a') << QByteArray("/tmp/x.wav");
    }

    void tasksRefuseWhatTheyCannotDo()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, dest);
        Record record(source, dest);
        QVERIFY(!CreateConverTask(kind, &record.record));
    }

    void handlesAreCheckedAndDestroySafely()
    {
        QVERIFY(!CreateConverTask(CK_WAV, nullptr));
        DestroyConvertTask(nullptr);
        void* none = nullptr;
        DestroyConvertTask(&none);
        QCOMPARE(StartConvertTask(nullptr), int(CR_BAD_ARGS));
        QCOMPARE(StartConvertTask(&none), int(CR_BAD_ARGS));

        void* decoder = CreateConverTask(CK_DECODE, nullptr);
        void* converter = createWavTask(fixture("plain.wav"), temp(QStringLiteral("never.wav")));
        QVERIFY(decoder && converter);
        Capture c;
        QCOMPARE(StartConvertTask(&decoder), int(CR_WRONG_KIND));
        QCOMPARE(DecoderAudio(&converter, "/x.mp3", onInfo, onData, &c), int(CR_WRONG_KIND));
        QCOMPARE(DecoderAudio(&decoder, nullptr, onInfo, onData, &c), int(CR_BAD_ARGS));
        QCOMPARE(DecoderAudio(&decoder, "/x.mp3", nullptr, onData, &c), int(CR_BAD_ARGS));
        QVERIFY(!QFile::exists(temp(QStringLiteral("never.wav"))));

        void* stale = converter;
        DestroyConvertTask(&converter);
        QVERIFY(!converter);
        QCOMPARE(KillConverTask(stale), int(CR_BAD_ARGS)); // a kill that comes too late
        QCOMPARE(StartConvertTask(&stale), int(CR_BAD_ARGS));
        DestroyConvertTask(&decoder);
        QVERIFY(!decoder);
    }
};

QTEST_GUILESS_MAIN(TestQuorra)
#include "tst_quorra.moc"
