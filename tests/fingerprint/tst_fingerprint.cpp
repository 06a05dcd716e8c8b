// The deep duplicate test: series comparison, fingerprints of generated
// audio, cache files, and the store that loads fingerprints ahead.
#include "cadenzo.h"
#include "core/mmlog.h"
#include "fingerprint/fingerprint.h"
#include "fingerprint/fingerprintside.h"
#include "fingerprint/fingerprintstore.h"

#include <QDataStream>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>

#include <chromaprint.h>

#include <memory>

using Series = QVector<quint32>;
Q_DECLARE_METATYPE(Series)

namespace {

// Two pieces of about three quarters of a minute: note sequences over a
// changing bass (A) and slower falling lines over chords (B), each note shaped
// so it starts and ends at zero, with a little seeded noise.
const char* const kPieceA =
    "0.25*sin(PI*mod(t,0.25)/0.25)*sin(2*PI*t*220*pow(2,mod(floor(t*4)*5+floor(t/2)*3,24)/12))"
    "+0.15*(0.6+0.4*sin(PI*mod(t,2)/2))*sin(2*PI*t*110*pow(2,mod(floor(t/2)*7,12)/12))"
    "+0.01*(random(1)-0.5)";
const char* const kPieceB =
    "0.25*sin(PI*mod(t,0.375)/0.375)*sin(2*PI*t*294*pow(2,-mod(floor(t/0.375)*4+floor(t/3),19)/12))"
    "+0.1*sin(PI*mod(t,1.5)/1.5)*(sin(2*PI*t*165)+sin(2*PI*t*196*pow(2,mod(floor(t/1.5),5)/12)))"
    "+0.01*(random(1)-0.5)";

bool ffmpeg(const QStringList& arguments, QByteArray* output = nullptr)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"),
                  QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                              QStringLiteral("-nostdin"), QStringLiteral("-y")}
                      + arguments);
    if (!process.waitForStarted())
        return false;
    process.closeWriteChannel();
    QByteArray out;
    while (process.state() != QProcess::NotRunning) {
        process.waitForReadyRead(1000);
        out += process.readAllStandardOutput();
    }
    out += process.readAllStandardOutput();
    if (output)
        *output = out;
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool render(const char* piece, double seconds, int rate, int channels, const QString& out,
            const QStringList& codec)
{
    const QString source =
        QStringLiteral("aevalsrc=exprs='%1':s=%2:d=%3").arg(QLatin1String(piece)).arg(rate).arg(seconds);
    return ffmpeg(QStringList{QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source,
                              QStringLiteral("-ac"), QString::number(channels)}
                  + codec + QStringList{out});
}

// Chromaprint's own fingerprint of the whole file, decoded by the ffmpeg
// tool: the reference our caches must agree with.
Series referenceFingerprint(const QString& path, int rate, int channels)
{
    QByteArray pcm;
    if (!ffmpeg({QStringLiteral("-i"), path, QStringLiteral("-f"), QStringLiteral("s16le"), QStringLiteral("-ar"),
                 QString::number(rate), QStringLiteral("-ac"), QString::number(channels), QStringLiteral("-")},
                &pcm))
        return {};
    ChromaprintPtr context(chromaprint_new(1));
    uint32_t* raw = nullptr;
    int size = 0;
    if (!chromaprint_start(context.get(), rate, channels)
        || !chromaprint_feed(context.get(), reinterpret_cast<const int16_t*>(pcm.constData()), pcm.size() / 2)
        || !chromaprint_finish(context.get()) || !chromaprint_get_raw_fingerprint(context.get(), &raw, &size))
        return {};
    Series values(raw, raw + size);
    chromaprint_dealloc(raw);
    return values;
}

struct CacheFile {
    bool ok = false;
    qint32 rate = 0;
    qint32 third = 0;
    Series values;
};

CacheFile readCache(const QString& path)
{
    CacheFile cache;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || file.size() < 8 || (file.size() - 8) % 4 != 0)
        return cache;
    QDataStream in(&file);
    in.setByteOrder(QDataStream::LittleEndian);
    in >> cache.rate >> cache.third;
    while (!in.atEnd()) {
        quint32 value = 0;
        in >> value;
        cache.values.append(value);
    }
    cache.ok = in.status() == QDataStream::Ok;
    return cache;
}

bool writeCache(const QString& path, const Series& values, qint32 rate = 44100, qint32 third = 16)
{
    QByteArray bytes(8 + 4 * values.size(), '\0');
    qToLittleEndian<qint32>(rate, bytes.data());
    qToLittleEndian<qint32>(third, bytes.data() + 4);
    for (int i = 0; i < values.size(); ++i)
        qToLittleEndian<quint32>(values[i], bytes.data() + 8 + 4 * i);
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

Series randomSeries(int count, quint32 seed)
{
    QRandomGenerator random(seed);
    Series values(count);
    for (quint32& v : values)
        v = random.generate();
    return values;
}

// Makes a value differ from before in exactly `bits` bits.
void flipBits(quint32& value, int bits)
{
    value ^= bits >= 32 ? 0xffffffffu : (1u << bits) - 1;
}

void flipBits(Series& series, int index, int bits)
{
    flipBits(series[index], bits);
}

// Spreads `bits` differing bits over values first.. at most perValue each.
void spreadBits(Series& series, int first, int bits, int perValue)
{
    for (int i = first; bits > 0; ++i) {
        const int here = qMin(bits, perValue);
        flipBits(series, i, here);
        bits -= here;
    }
}

QByteArray utf8(const QString& path)
{
    return path.toUtf8();
}

int calculate(const QString& audio1, const QString& cache1, const QString& audio2, const QString& cache2, int flags)
{
    return DuplicateCalculate(utf8(audio1).constData(), utf8(cache1).constData(), utf8(audio2).constData(),
                              utf8(cache2).constData(), flags);
}

// The comparison written as plainly as it reads, pass by pass and window by
// window, for checking the quick one on many random pairs.
int plainSimilarCompare(const quint32* a, const quint32* b, int n, int level)
{
    auto window = [](const quint32* x, const quint32* y, int count, int tolerance, int& errors) {
        errors = 0;
        for (int k = 0; k < count; ++k) {
            const int bits = __builtin_popcount(x[k] ^ y[k]);
            if (bits > tolerance)
                return false;
            errors += bits;
        }
        return true;
    };
    int errors = 0;
    for (int pass = 1; pass <= level; ++pass) {
        for (int shift = 0; shift < 20; ++shift) {
            if (window(a, b + shift, 20, 5 * pass, errors) && errors / 640.0 < pass * 0.05) {
                const int m = n - shift;
                return window(a, b + shift, m, 5 * level, errors) && errors / (m * 32.0) <= level * 0.05;
            }
            if (shift != 0 && window(a + shift, b, 20, 5 * pass, errors) && errors / 640.0 < pass * 0.05) {
                const int m = n - shift;
                return window(a + shift, b, m, 5 * level, errors) && errors / (m * 32.0) <= level * 0.05;
            }
        }
    }
    return 0;
}

constexpr int kHigh = OPT_DEEP_SCAN | OPT_DEGREE_HIGH;
constexpr int kMedium = OPT_DEEP_SCAN | OPT_DEGREE_MEDIUM;
constexpr int kLow = OPT_DEEP_SCAN | OPT_DEGREE_LOW;

} // namespace

class TestFingerprint : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_cacheDirs = 0;

    QString audio(const QString& name) const { return m_dir.filePath(QStringLiteral("audio/") + name); }

    // A fresh, empty folder for cache files.
    QString newCacheDir()
    {
        const QString path = m_dir.filePath(QStringLiteral("cache%1").arg(++m_cacheDirs));
        QDir().mkpath(path);
        return path;
    }

    static QString cacheIn(const QString& dir, const QString& id)
    {
        return dir + QLatin1Char('/') + id + QStringLiteral("fingerprint.bin");
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QDir().mkpath(audio(QString())));
        QVERIFY(CreateLog(m_dir.path()));
        const QStringList wav{QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")};
        const QStringList flac{QStringLiteral("-c:a"), QStringLiteral("flac")};
        auto mp3 = [](const char* rate) {
            return QStringList{QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                               QLatin1String(rate)};
        };
        if (!render(kPieceA, 45, 44100, 2, audio(QStringLiteral("a.wav")), wav))
            QSKIP("the ffmpeg tool is needed to make the test audio");
        QVERIFY(render(kPieceB, 45, 44100, 2, audio(QStringLiteral("b.wav")), wav));
        struct Encoding { const char* name; QString source; QStringList options; };
        const QString a = audio(QStringLiteral("a.wav"));
        const Encoding encodings[] = {
            {"a.flac", a, flac},
            {"a128.mp3", a, mp3("128k")},
            {"a320.mp3", a, mp3("320k")},
            // The same piece with five seconds cut from its end.
            {"a-cut.mp3", a, QStringList{QStringLiteral("-t"), QStringLiteral("40")} + mp3("192k")},
            {"a-15s.flac", a, QStringList{QStringLiteral("-t"), QStringLiteral("15")} + flac},
            {"a-3s.flac", a, QStringList{QStringLiteral("-t"), QStringLiteral("3")} + flac},
            {"a-48k-mono.flac", a, QStringList{QStringLiteral("-ar"), QStringLiteral("48000"), QStringLiteral("-ac"),
                                               QStringLiteral("1")} + flac},
            {"a-22k.flac", a, QStringList{QStringLiteral("-ar"), QStringLiteral("22050")} + flac},
            {"a-8k-mono.flac", a, QStringList{QStringLiteral("-ar"), QStringLiteral("8000"), QStringLiteral("-ac"),
                                              QStringLiteral("1")} + flac},
            {"b.mp3", audio(QStringLiteral("b.wav")), mp3("192k")},
            {"b.flac", audio(QStringLiteral("b.wav")), flac},
        };
        for (const Encoding& e : encodings) {
            const QStringList arguments =
                QStringList{QStringLiteral("-i"), e.source} + e.options + QStringList{audio(QLatin1String(e.name))};
            QVERIFY2(ffmpeg(arguments), e.name);
        }
        QVERIFY(QFile::copy(QFINDTESTDATA("tst_fingerprint.cpp"), audio(QStringLiteral("text.mp3"))));
    }

    void cleanupTestCase() { DestroyLog(); }

    // ---- SimilarCompare on made-up series ----

    void similarCompare_data()
    {
        QTest::addColumn<Series>("a");
        QTest::addColumn<Series>("b");
        QTest::addColumn<int>("n");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("expected");

        const Series base = randomSeries(100, 1);
        for (int flags : {kHigh, kMedium, kLow, 0})
            QTest::addRow("identical, flags %x", flags) << base << base << 100 << flags << 1;
        QTest::newRow("n 39") << base << base << 39 << kMedium << int(SC_TOO_SHORT);
        QTest::newRow("n 40") << base << base << 40 << kHigh << 1;
        QTest::newRow("unrelated") << base << randomSeries(100, 2) << 100 << kLow << 0;

        // b starts 7 values later than a, or a later than b: the final test
        // runs over 93 values, whose level-1 limit is 148 bits (160 for 100).
        const Series longer = randomSeries(107, 3);
        const Series early = longer.mid(0, 100);
        const Series late = longer.mid(7, 100);
        QTest::newRow("b later by 7") << early << late << 100 << kHigh << 1;
        QTest::newRow("a later by 7") << late << early << 100 << kHigh << 1;
        for (int bits : {148, 149}) {
            Series noisy = late;
            spreadBits(noisy, 30, bits, 5);
            QTest::addRow("b later by 7, %d bits", bits) << early << noisy << 100 << kHigh << int(bits == 148);
            QTest::addRow("a later by 7, %d bits", bits) << noisy << early << 100 << kHigh << int(bits == 148);
        }

        // One value pair with 5, 6 or 11 differing bits inside the opening window.
        for (int bits : {5, 6, 10, 11}) {
            Series one = base;
            flipBits(one, 5, bits);
            QTest::addRow("%d-bit value, high", bits) << base << one << 100 << kHigh << int(bits <= 5);
            QTest::addRow("%d-bit value, medium", bits) << base << one << 100 << kMedium << int(bits <= 10);
        }

        // Bit errors inside the opening window, at the limit of each pass.
        struct Window { int bits; int perValue; int flags; int expected; };
        const Window windows[] = {
            {31, 5, kHigh, 1}, {32, 5, kHigh, 0},
            {63, 10, kMedium, 1}, {64, 10, kMedium, 0},
            {96, 15, kLow, 1}, {97, 15, kLow, 0},
        };
        for (const Window& w : windows) {
            Series noisy = base;
            spreadBits(noisy, 0, w.bits, w.perValue);
            QTest::addRow("window of %d bits, flags %x", w.bits, w.flags)
                << base << noisy << 100 << w.flags << w.expected;
        }

        // The final test over m = 100 values, errors past the opening window.
        for (int bits : {160, 161}) {
            Series noisy = base;
            spreadBits(noisy, 20, bits, 5);
            QTest::addRow("final %d bits, high", bits) << base << noisy << 100 << kHigh << int(bits == 160);
        }
        for (int bits : {320, 321}) {
            Series noisy = base;
            spreadBits(noisy, 20, bits, 10);
            QTest::addRow("final %d bits, medium", bits) << base << noisy << 100 << kMedium << int(bits == 320);
        }
    }

    void similarCompare()
    {
        QFETCH(Series, a);
        QFETCH(Series, b);
        QFETCH(int, n);
        QFETCH(int, flags);
        QFETCH(int, expected);
        QCOMPARE(SimilarCompare(a.constData(), b.constData(), n, flags), expected);
    }

    // Random pairs of shifted, noisy copies, from clean to unrelated: the
    // comparison must answer as the plain version does at every level.
    void similarCompareAgreesWithPlainVersion()
    {
        QRandomGenerator random(12345);
        int answers[2] = {0, 0};
        for (int round = 0; round < 20000; ++round) {
            const int n = 40 + int(random.bounded(161));
            const int shift = int(random.bounded(51)) - 25;
            const int noise = int(random.bounded(14)); // most bits one value may lose
            Series source = randomSeries(n + 25, random.generate());
            // Half the pairs are made of near-alike values, like a held
            // chord, so many shifts align, in different passes, and which
            // one is taken decides the answer.
            if (round % 2) {
                const quint32 chord = random.generate();
                const int spread = 1 + int(random.bounded(4));
                for (quint32& v : source) {
                    v = chord;
                    for (int k = int(random.bounded(spread + 1)); k > 0; --k)
                        v ^= 1u << random.bounded(32);
                    if (random.bounded(20) == 0) // now and then a value far off
                        flipBits(v, 6 + int(random.bounded(4)));
                }
            }
            Series a = source.mid(qMax(0, shift), n);
            Series b = source.mid(qMax(0, -shift), n);
            for (quint32& v : b)
                for (int k = int(random.bounded(noise + 1)); k > 0; --k)
                    v ^= 1u << random.bounded(32);
            const struct { int flags; int level; } levels[] = {{kHigh, 1}, {kMedium, 2}, {kLow, 3}};
            for (const auto& l : levels) {
                const int expected = plainSimilarCompare(a.constData(), b.constData(), n, l.level);
                const int got = SimilarCompare(a.constData(), b.constData(), n, l.flags);
                if (got != expected)
                    QFAIL(qPrintable(QStringLiteral("round %1, level %2: %3, expected %4")
                                         .arg(round).arg(l.level).arg(got).arg(expected)));
                ++answers[expected];
            }
        }
        // Both answers came up often enough for the check to mean something.
        QVERIFY2(answers[0] > 5000 && answers[1] > 5000,
                 qPrintable(QStringLiteral("%1 / %2").arg(answers[0]).arg(answers[1])));
    }

    // Which degree bits choose which level: a 7-bit value passes levels 2
    // and 3, a 12-bit value only level 3.
    void matchLevel_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("level");
        QTest::newRow("high") << int(OPT_DEGREE_HIGH) << 1;
        QTest::newRow("high and low") << int(OPT_DEGREE_HIGH | OPT_DEGREE_LOW) << 1;
        QTest::newRow("all three") << int(OPT_DEGREE_HIGH | OPT_DEGREE_MEDIUM | OPT_DEGREE_LOW) << 1;
        QTest::newRow("medium") << int(OPT_DEGREE_MEDIUM) << 2;
        QTest::newRow("medium and low") << int(OPT_DEGREE_MEDIUM | OPT_DEGREE_LOW) << 2;
        QTest::newRow("none") << 0 << 2;
        QTest::newRow("deep scan only") << int(OPT_DEEP_SCAN) << 2;
        QTest::newRow("low") << int(OPT_DEGREE_LOW) << 3;
    }

    void matchLevel()
    {
        QFETCH(int, flags);
        QFETCH(int, level);
        const Series base = randomSeries(60, 4);
        Series seven = base;
        flipBits(seven, 50, 7);
        Series twelve = base;
        flipBits(twelve, 50, 12);
        QCOMPARE(SimilarCompare(base.constData(), seven.constData(), 60, flags), int(level >= 2));
        QCOMPARE(SimilarCompare(base.constData(), twelve.constData(), 60, flags), int(level >= 3));
    }

    void similarCompareNullSeries()
    {
        const Series base = randomSeries(50, 5);
        QCOMPARE(SimilarCompare(nullptr, base.constData(), 50, kMedium), int(SC_NULL_SERIES));
        QCOMPARE(SimilarCompare(base.constData(), nullptr, 50, kMedium), int(SC_NULL_SERIES));
        QCOMPARE(SimilarCompare(nullptr, nullptr, 10, kMedium), int(SC_NULL_SERIES));
    }

    // Both sides are cut to the compared prefix, and a short side is named.
    void compareFingerprints_data()
    {
        QTest::addColumn<int>("count1");
        QTest::addColumn<int>("count2");
        QTest::addColumn<int>("expected");
        QTest::newRow("300 and 300, tails differ") << 300 << 300 << 1;
        QTest::newRow("300 and 200") << 300 << 200 << 1;
        QTest::newRow("40 and 300") << 40 << 300 << 1;
        QTest::newRow("39 and 300") << 39 << 300 << int(FP_FEW_VALUES_1);
        QTest::newRow("300 and 39") << 300 << 39 << int(FP_FEW_VALUES_2);
        QTest::newRow("39 and 39") << 39 << 39 << int(FP_FEW_VALUES_1);
        QTest::newRow("0 and 10") << 0 << 10 << int(FP_FEW_VALUES_1);
        QTest::newRow("10 and 0") << 10 << 0 << int(FP_FEW_VALUES_2);
    }

    void compareFingerprints()
    {
        QFETCH(int, count1);
        QFETCH(int, count2);
        QFETCH(int, expected);
        // Equal first 200 values, unrelated after them.
        const Series head = randomSeries(200, 6);
        const Series one = head + randomSeries(100, 7);
        const Series two = head + randomSeries(100, 8);
        QCOMPARE(CompareFingerprints(one.constData(), count1, two.constData(), count2, kHigh), expected);
    }

    // ---- DuplicateCalculate on generated audio ----

    void duplicateCalculate_data()
    {
        QTest::addColumn<QString>("file1");
        QTest::addColumn<QString>("file2");
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("expected");
        struct Pair { const char* one; const char* two; };
        const Pair same[] = {
            {"a320.mp3", "a128.mp3"},
            {"a128.mp3", "a320.mp3"},
            {"a.flac", "a128.mp3"},
            {"a-cut.mp3", "a.flac"},
            {"a.flac", "a-cut.mp3"},
            {"a-48k-mono.flac", "a320.mp3"},
        };
        for (const Pair& p : same)
            for (int flags : {kMedium, kLow})
                QTest::addRow("%s ~ %s, flags %x", p.one, p.two, flags)
                    << QString::fromLatin1(p.one) << QString::fromLatin1(p.two) << flags << 1;
        const Pair other[] = {{"b.mp3", "a.flac"}, {"a128.mp3", "b.flac"}, {"b.mp3", "a-cut.mp3"}};
        for (const Pair& p : other)
            for (int flags : {kHigh, kMedium, kLow})
                QTest::addRow("%s !~ %s, flags %x", p.one, p.two, flags)
                    << QString::fromLatin1(p.one) << QString::fromLatin1(p.two) << flags << 0;
    }

    // The first call fingerprints both files, the second reads both caches:
    // the answer must not change.
    void duplicateCalculate()
    {
        QFETCH(QString, file1);
        QFETCH(QString, file2);
        QFETCH(int, flags);
        QFETCH(int, expected);
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("1"));
        const QString cache2 = cacheIn(dir, QStringLiteral("2"));
        QCOMPARE(calculate(audio(file1), cache1, audio(file2), cache2, flags), expected);
        QVERIFY(QFile::exists(cache1));
        QVERIFY(QFile::exists(cache2));
        QCOMPARE(calculate(audio(file1), cache1, audio(file2), cache2, flags), expected);
    }

    // A long track's cache holds the values made before decoding stopped:
    // at least the compared 200, far fewer than the whole file has, each
    // equal to its value in Chromaprint's fingerprint of the whole file.
    void cacheOfLongTrack_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::newRow("44.1 kHz stereo") << QStringLiteral("a.flac") << 44100 << 2;
        QTest::newRow("48 kHz mono") << QStringLiteral("a-48k-mono.flac") << 48000 << 1;
        QTest::newRow("22.05 kHz stereo") << QStringLiteral("a-22k.flac") << 22050 << 2;
        QTest::newRow("8 kHz mono") << QStringLiteral("a-8k-mono.flac") << 8000 << 1;
    }

    void cacheOfLongTrack()
    {
        QFETCH(QString, file);
        QFETCH(int, rate);
        QFETCH(int, channels);
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("A"));
        const QString cache2 = cacheIn(dir, QStringLiteral("B"));
        QCOMPARE(calculate(audio(file), cache1, audio(QStringLiteral("b.flac")), cache2, kMedium), 0);
        // Renamed into place: no temporary file is left beside the caches.
        QCOMPARE(QDir(dir).entryList(QDir::Files, QDir::Name),
                 QStringList({QStringLiteral("Afingerprint.bin"), QStringLiteral("Bfingerprint.bin")}));

        const CacheFile cache = readCache(cache1);
        QVERIFY(cache.ok);
        QCOMPARE(cache.rate, rate);
        QCOMPARE(cache.third, 16);
        const Series reference = referenceFingerprint(audio(file), rate, channels);
        QVERIFY(reference.size() > 300);
        QVERIFY2(cache.values.size() >= kCompareValues && cache.values.size() < 240,
                 qPrintable(QString::number(cache.values.size())));
        QCOMPARE(cache.values, reference.mid(0, cache.values.size()));
    }

    // A track too short for the early stop is decoded whole, and its cache
    // holds every value of its fingerprint.
    void cacheOfShortTrack()
    {
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("A"));
        QCOMPARE(calculate(audio(QStringLiteral("a-15s.flac")), cache1, audio(QStringLiteral("a.flac")),
                           cacheIn(dir, QStringLiteral("B")), kMedium),
                 1);
        const CacheFile cache = readCache(cache1);
        QVERIFY(cache.ok);
        const Series reference = referenceFingerprint(audio(QStringLiteral("a-15s.flac")), 44100, 2);
        QVERIFY(reference.size() >= 40 && reference.size() < kCompareValues);
        QCOMPARE(cache.values, reference);
    }

    void tooFewValues()
    {
        const QString dir = newCacheDir();
        const QString shortCache = cacheIn(dir, QStringLiteral("S"));
        const QString longCache = cacheIn(dir, QStringLiteral("L"));
        const QString shortAudio = audio(QStringLiteral("a-3s.flac"));
        const QString longAudio = audio(QStringLiteral("a.flac"));
        QCOMPARE(calculate(shortAudio, shortCache, longAudio, longCache, kMedium), int(FP_FEW_VALUES_1));
        QCOMPARE(calculate(longAudio, longCache, shortAudio, shortCache, kMedium), int(FP_FEW_VALUES_2));
        QCOMPARE(calculate(shortAudio, shortCache, shortAudio, shortCache, kMedium), int(FP_FEW_VALUES_1));
        QVERIFY(readCache(shortCache).values.size() < 40);
    }

    // Cache files cut short yield fewer values; a file shorter than its
    // header yields none.
    void truncatedCache_data()
    {
        QTest::addColumn<int>("bytes1");
        QTest::addColumn<int>("bytes2");
        QTest::addColumn<int>("expected");
        const int full = -1;
        QTest::newRow("side 1 holds 39 values") << 8 + 39 * 4 << full << int(FP_FEW_VALUES_1);
        QTest::newRow("side 2 holds 39 values") << full << 8 + 39 * 4 << int(FP_FEW_VALUES_2);
        QTest::newRow("side 2 holds 39 values and a half") << full << 8 + 39 * 4 + 2 << int(FP_FEW_VALUES_2);
        QTest::newRow("both hold 30 values") << 8 + 30 * 4 << 8 + 30 * 4 << int(FP_FEW_VALUES_1);
        QTest::newRow("side 1 header only") << 8 << full << int(FP_FEW_VALUES_1);
        QTest::newRow("side 2 shorter than its header") << full << 6 << int(FP_FEW_VALUES_2);
        QTest::newRow("side 2 empty") << full << 0 << int(FP_FEW_VALUES_2);
        QTest::newRow("both hold 40 values") << 8 + 40 * 4 << 8 + 40 * 4 << 1;
    }

    void truncatedCache()
    {
        QFETCH(int, bytes1);
        QFETCH(int, bytes2);
        QFETCH(int, expected);
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("1"));
        const QString cache2 = cacheIn(dir, QStringLiteral("2"));
        const QString one = audio(QStringLiteral("a320.mp3"));
        const QString two = audio(QStringLiteral("a128.mp3"));
        QCOMPARE(calculate(one, cache1, two, cache2, kMedium), 1);
        if (bytes1 >= 0)
            QVERIFY(QFile::resize(cache1, bytes1));
        if (bytes2 >= 0)
            QVERIFY(QFile::resize(cache2, bytes2));
        QCOMPARE(calculate(one, cache1, two, cache2, kMedium), expected);
    }

    // Reading stops after 200 values whatever the file holds, so tails that
    // differ do not count.
    void cacheReadsAtMost200Values()
    {
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("1"));
        const QString cache2 = cacheIn(dir, QStringLiteral("2"));
        const Series head = randomSeries(kCompareValues, 9);
        QVERIFY(writeCache(cache1, head + randomSeries(300, 10)));
        QVERIFY(writeCache(cache2, head + randomSeries(50, 11)));
        // The audio is never read once both caches exist.
        const QString missing = audio(QStringLiteral("missing.mp3"));
        QCOMPARE(calculate(missing, cache1, missing, cache2, kHigh), 1);
    }

    void nullPath_data()
    {
        QTest::addColumn<int>("which");
        for (int i = 0; i < 4; ++i)
            QTest::addRow("argument %d", i + 1) << i;
    }

    void nullPath()
    {
        QFETCH(int, which);
        const QString dir = newCacheDir();
        const QByteArray a = utf8(audio(QStringLiteral("a.flac")));
        const QByteArray c = utf8(cacheIn(dir, QStringLiteral("1")));
        const char* args[4] = {a.constData(), c.constData(), a.constData(), c.constData()};
        args[which] = nullptr;
        QCOMPARE(DuplicateCalculate(args[0], args[1], args[2], args[3], kMedium), int(FP_NULL_PATH));
        QVERIFY(QDir(dir).isEmpty());
    }

    // Side 1 is done (and cached) before side 2 is looked at; a failure of
    // side 1 leaves side 2 alone.
    void sideFailures_data()
    {
        QTest::addColumn<QString>("file1");
        QTest::addColumn<QString>("file2");
        QTest::addColumn<int>("expected");
        QTest::addColumn<bool>("cached1");
        QTest::addColumn<bool>("cached2");
        QTest::newRow("side 2 missing") << "a.flac" << "missing.mp3" << int(FP_DECODE_2) << true << false;
        QTest::newRow("side 2 no audio") << "a.flac" << "text.mp3" << int(FP_DECODE_2) << true << false;
        QTest::newRow("side 1 missing") << "missing.mp3" << "a.flac" << int(FP_DECODE_1) << false << false;
        QTest::newRow("side 1 no audio") << "text.mp3" << "a.flac" << int(FP_DECODE_1) << false << false;
    }

    void sideFailures()
    {
        QFETCH(QString, file1);
        QFETCH(QString, file2);
        QFETCH(int, expected);
        QFETCH(bool, cached1);
        QFETCH(bool, cached2);
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("1"));
        const QString cache2 = cacheIn(dir, QStringLiteral("2"));
        QCOMPARE(calculate(audio(file1), cache1, audio(file2), cache2, kMedium), expected);
        QCOMPARE(QFile::exists(cache1), cached1);
        QCOMPARE(QFile::exists(cache2), cached2);
    }

    // A cache path that exists but cannot be read as a file.
    void unreadableCache()
    {
        const QString dir = newCacheDir();
        const QString cache1 = cacheIn(dir, QStringLiteral("1"));
        const QString cache2 = cacheIn(dir, QStringLiteral("2"));
        const QString a = audio(QStringLiteral("a.flac"));
        QVERIFY(QDir().mkpath(cache2));
        QCOMPARE(calculate(a, cache1, a, cache2, kMedium), int(FP_CACHE_OPEN_2));
        QVERIFY(QFile::exists(cache1));
        QCOMPARE(calculate(a, cache2, a, cache1, kMedium), int(FP_CACHE_OPEN_1));
    }

    // A cache that cannot be written is logged, and the test still answers.
    void failedCacheWrite()
    {
        const QString cache1 = m_dir.filePath(QStringLiteral("no-such-folder/1fingerprint.bin"));
        const QString dir = newCacheDir();
        const QString a = audio(QStringLiteral("a320.mp3"));
        const QString b = audio(QStringLiteral("a128.mp3"));
        QCOMPARE(calculate(a, cache1, b, cacheIn(dir, QStringLiteral("2")), kMedium), 1);
        QVERIFY(!QFile::exists(cache1));
        QFile log(m_dir.filePath(QStringLiteral("MM.log")));
        QVERIFY(log.open(QIODevice::ReadOnly));
        const QString expectedLine = QStringLiteral("Create %1 bin Failed! %2").arg(a, cache1);
        QVERIFY2(QString::fromUtf8(log.readAll()).contains(expectedLine), qPrintable(expectedLine));
    }

    void removeCaches()
    {
        const QString dir = newCacheDir();
        const QStringList caches{QStringLiteral("1fingerprint.bin"), QStringLiteral("ABCDEFfingerprint.bin"),
                                 QStringLiteral("7fingerprint.bin.Xy12Zq")};
        const QStringList kept{QStringLiteral("cover.jpg"), QStringLiteral("fingerprint.bin.txt"),
                               QStringLiteral("1fingerprint.binary")};
        for (const QString& name : caches + kept)
            QVERIFY(writeCache(dir + QLatin1Char('/') + name, {1, 2, 3}));
        QCOMPARE(RemoveFingerprintCaches(dir), 0);
        QStringList left = QDir(dir).entryList(QDir::Files, QDir::Name);
        QStringList expected = kept;
        expected.sort();
        QCOMPARE(left, expected);
    }

    // ---- CFingerprintStore ----

    // Every pair, in the order the analysis loop meets them, against
    // sequential DuplicateCalculate calls on their own caches: same codes
    // and the same cache files.
    void storeEqualsDuplicateCalculate_data()
    {
        QTest::addColumn<int>("flags");
        QTest::addColumn<int>("threads");
        QTest::newRow("medium, 3 threads") << kMedium << 3;
        QTest::newRow("high, 1 thread") << kHigh << 1;
        QTest::newRow("low, 8 threads") << kLow << 8;
    }

    void storeEqualsDuplicateCalculate()
    {
        QFETCH(int, flags);
        QFETCH(int, threads);
        // Ids name cache files; "b" twice: the second reads what the first wrote.
        struct Track { const char* file; const char* id; };
        const Track tracks[] = {
            {"a.flac", "a"}, {"a128.mp3", "a128"}, {"b.mp3", "b"}, {"a-cut.mp3", "cut"},
            {"missing.mp3", "missing"}, {"text.mp3", "text"}, {"a-3s.flac", "short"}, {nullptr, "out"},
            {"a320.mp3", "b"}, {"b.flac", "bflac"}, {"a-15s.flac", "a15"},
        };
        const QString storeDir = newCacheDir();
        const QString directDir = newCacheDir();
        QVector<tagFingerprintSource> sources;
        for (const Track& t : tracks)
            sources.append({t.file ? utf8(audio(QLatin1String(t.file))) : QByteArray(),
                            utf8(cacheIn(storeDir, QLatin1String(t.id)))});
        CFingerprintStore store(threads);
        QCOMPARE(store.Start(sources), 0);
        QCOMPARE(store.Count(), int(std::size(tracks)));
        int similar = 0;
        for (int i = 1; i < int(std::size(tracks)); ++i) {
            for (int j = 0; j < i; ++j) {
                const QByteArray a1 = tracks[i].file ? utf8(audio(QLatin1String(tracks[i].file))) : QByteArray();
                const QByteArray a2 = tracks[j].file ? utf8(audio(QLatin1String(tracks[j].file))) : QByteArray();
                const QByteArray c1 = utf8(cacheIn(directDir, QLatin1String(tracks[i].id)));
                const QByteArray c2 = utf8(cacheIn(directDir, QLatin1String(tracks[j].id)));
                const int direct = DuplicateCalculate(tracks[i].file ? a1.constData() : nullptr, c1.constData(),
                                                      tracks[j].file ? a2.constData() : nullptr, c2.constData(), flags);
                const int stored = store.Compare(i, j, flags);
                QVERIFY2(stored == direct, qPrintable(QStringLiteral("pair %1, %2: %3, expected %4")
                                                          .arg(i).arg(j).arg(stored).arg(direct)));
                similar += direct == 1;
            }
        }
        QVERIFY(similar >= 6); // the comparison above saw both answers
        store.Stop();
        const QStringList names = QDir(directDir).entryList(QDir::Files, QDir::Name);
        QCOMPARE(QDir(storeDir).entryList(QDir::Files, QDir::Name), names);
        for (const QString& name : names)
            QVERIFY2(readCache(storeDir + QLatin1Char('/') + name).values
                         == readCache(directDir + QLatin1Char('/') + name).values,
                     qPrintable(name));
    }

    // The store never runs further ahead of the loop than its lookahead.
    void storeStaysWithinLookahead()
    {
        const QString dir = newCacheDir();
        QVector<tagFingerprintSource> sources;
        for (int i = 0; i < 8; ++i)
            sources.append({utf8(audio(QStringLiteral("a-15s.flac"))), utf8(cacheIn(dir, QString::number(i)))});
        CFingerprintStore store(2, 2);
        QCOMPARE(store.Start(sources), 0);
        QCOMPARE(store.Compare(1, 0, kMedium), 1);
        // That call let the workers on to index 3; give them the time to
        // reach it, and so to run past it if nothing held them back.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(cacheIn(dir, QStringLiteral("3"))), 60000);
        store.Stop();
        QVERIFY(QFile::exists(cacheIn(dir, QStringLiteral("0"))));
        QVERIFY(QFile::exists(cacheIn(dir, QStringLiteral("1"))));
        for (int i = 4; i < 8; ++i)
            QVERIFY2(!QFile::exists(cacheIn(dir, QString::number(i))), qPrintable(QString::number(i)));
        QCOMPARE(store.Compare(7, 0, kMedium), int(FP_STOPPED));
        QCOMPARE(store.Compare(1, 0, kMedium), 1); // loaded before the stop
    }

    void storeRefusesBadCalls()
    {
        const QString dir = newCacheDir();
        CFingerprintStore store(1);
        QCOMPARE(store.Compare(0, 0, kMedium), int(FP_NULL_PATH)); // not started
        const QVector<tagFingerprintSource> sources{
            {utf8(audio(QStringLiteral("a-15s.flac"))), utf8(cacheIn(dir, QStringLiteral("0")))},
            {QByteArray(), utf8(cacheIn(dir, QStringLiteral("1")))},
        };
        QCOMPARE(store.Start(sources), 0);
        QCOMPARE(store.Start(sources), -1);
        QCOMPARE(store.Compare(2, 0, kMedium), int(FP_NULL_PATH));
        QCOMPARE(store.Compare(0, -1, kMedium), int(FP_NULL_PATH));
        QCOMPARE(store.Compare(1, 0, kMedium), int(FP_NULL_PATH));
        QCOMPARE(store.Compare(0, 1, kMedium), int(FP_NULL_PATH));
        QCOMPARE(store.Compare(0, 0, kMedium), 1);
        QVERIFY(!QFile::exists(cacheIn(dir, QStringLiteral("1"))));
    }
};

QTEST_GUILESS_MAIN(TestFingerprint)
#include "tst_fingerprint.moc"
