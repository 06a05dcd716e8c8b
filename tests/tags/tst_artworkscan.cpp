// Artwork presence from the headers alone: the same answer as TagLib for
// the fixtures, for files given pictures of every size, for tags built
// byte by byte and for damaged and cut copies, and no picture read.
#include "src/artworkscan.h"
#include "src/tagfile.h"
#include "tags.h"
#include "testenv.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

#include <climits>
#include <memory>

Q_DECLARE_METATYPE(ScanAnswer)

namespace {

// Picture bytes of a given size; the tags do not look inside.
QByteArray pictureOf(int size)
{
    QByteArray bytes(size, '\0');
    QRandomGenerator random{quint32(size)};
    for (char& c : bytes)
        c = char(random.bounded(256));
    bytes.replace(0, 4, "\xFF\xD8\xFF\xE0");
    return bytes;
}

// TagLib's answer in the scan's terms.
ScanAnswer fromTagLib(int result)
{
    switch (result) {
    case 1: return SCAN_PICTURE;
    case 0: return SCAN_NO_PICTURE;
    case -3: return SCAN_NO_TAG;
    default: return SCAN_UNSURE; // TagLib cannot open it: the scan may not answer
    }
}

// ID3v2 building blocks for tags made byte by byte.
QByteArray sizeBytes(int major, quint32 size, bool synchsafe)
{
    QByteArray out;
    if (major == 2) {
        for (int shift : {16, 8, 0})
            out += char((size >> shift) & 0xFF);
        return out;
    }
    for (int shift : {21, 14, 7, 0})
        out += synchsafe ? char((size >> shift) & 0x7F) : char((size >> (shift / 7 * 8)) & 0xFF);
    return out;
}

QByteArray frame(int major, const QByteArray& id, const QByteArray& body, char formatFlags = 0,
                 qint64 declared = -1, bool plainSize = false)
{
    const quint32 size = quint32(declared < 0 ? body.size() : declared);
    QByteArray out = id + sizeBytes(major, size, major == 4 && !plainSize);
    if (major > 2)
        out += QByteArray(1, '\0') + QByteArray(1, formatFlags);
    return out + body;
}

QByteArray tag(int major, const QByteArray& frames, char flags = 0, int padding = 0)
{
    const QByteArray data = frames + QByteArray(padding, '\0');
    return QByteArray("ID3") + char(major) + '\0' + flags + sizeBytes(4, quint32(data.size()), true) + data;
}

QByteArray text(const char* latin1)
{
    return QByteArray(1, '\0') + latin1;
}

QByteArray pictureBody(int size)
{
    return QByteArray("\0image/jpeg\0\3\0", 14) + pictureOf(size);
}

} // namespace

class TestArtworkScan : public QObject
{
    Q_OBJECT

    std::unique_ptr<QTemporaryDir> m_dir;

    QString write(const QString& name, const QByteArray& bytes)
    {
        const QString path = m_dir->filePath(name);
        return testenv::writeAll(path, bytes) ? path : QString();
    }

    // A copy of the fixture, given a picture of pictureSize bytes first when
    // that is above 0.
    QString prepared(const QString& fixture, int pictureSize, const QString& name)
    {
        const QString path = write(name + QLatin1Char('.') + QFileInfo(fixture).suffix(),
                                   testenv::readAll(testenv::fixture(fixture)));
        if (pictureSize > 0) {
            const QByteArray picture = pictureOf(pictureSize);
            if (SetMusicArtwork_tag(path, picture.constData(), picture.size(), CPICTURE_JPEG) != 0)
                return QString();
        }
        return path;
    }

    // The scan either answers as TagLib does or leaves it to TagLib, and
    // the public call gives TagLib's answer either way.
    static void compareWithTagLib(const QString& path, const char* what)
    {
        const int tagLib = HasPictureByTagLib(path);
        const ScanAnswer scan = ScanArtwork(path);
        QVERIFY2(scan == SCAN_UNSURE || scan == fromTagLib(tagLib),
                 qPrintable(QStringLiteral("%1: scan %2, TagLib %3").arg(QLatin1String(what)).arg(scan).arg(tagLib)));
        QCOMPARE(HasMusicArtwork_tag(path), tagLib);
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(QFile::exists(testenv::fixture(QStringLiteral("plain.wav"))), "VESSOLIN_FIXTURES not set");
    }
    void init() { m_dir = std::make_unique<QTemporaryDir>(); }
    void cleanup() { m_dir.reset(); }

    void filesAnswerLikeTagLib_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("pictureSize");
        QTest::addColumn<ScanAnswer>("scan");
        const int big = 1536 * 1024;
        const struct { const char* fixture; ScanAnswer plain; ScanAnswer pictured; } files[] = {
            {"id3v2-cover.mp3", SCAN_PICTURE, SCAN_PICTURE},
            {"id3v2-partial.mp3", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"untagged.mp3", SCAN_NO_PICTURE, SCAN_PICTURE},
            // The picture's write copies their ID3v1 and APE text into the new ID3v2 tag.
            {"id3v1-only.mp3", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"ape-only.mp3", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"cover.m4a", SCAN_PICTURE, SCAN_PICTURE},
            {"empty.m4a", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"tagged.wma", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"id3v2.flac", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"vorbis-only.flac", SCAN_NO_TAG, SCAN_NO_TAG},
            {"id3v2-cover.aiff", SCAN_PICTURE, SCAN_PICTURE},
            {"plain.wav", SCAN_NO_PICTURE, SCAN_PICTURE},
            {"id3v2-title.tta", SCAN_UNSURE, SCAN_UNSURE},
        };
        for (const auto& f : files) {
            QTest::addRow("%s", f.fixture) << f.fixture << 0 << f.plain;
            // vorbis-only.flac has no tag to take a picture.
            if (QLatin1String(f.fixture) == QLatin1String("vorbis-only.flac"))
                continue;
            QTest::addRow("%s, small picture", f.fixture) << f.fixture << 3000 << f.pictured;
            QTest::addRow("%s, 1.5 MB picture", f.fixture) << f.fixture << big << f.pictured;
        }
    }

    void filesAnswerLikeTagLib()
    {
        QFETCH(QString, fixture);
        QFETCH(int, pictureSize);
        QFETCH(ScanAnswer, scan);
        const QString path = prepared(fixture, pictureSize, QStringLiteral("song"));
        QVERIFY(!path.isEmpty());
        int64_t bytesRead = 0;
        QCOMPARE(ScanArtwork(path, &bytesRead), scan);
        compareWithTagLib(path, "as made");
        // Whatever the picture's size, the scan reads headers only.
        if (scan != SCAN_UNSURE)
            QVERIFY2(bytesRead <= 64 * 1024, qPrintable(QString::number(bytesRead)));
    }

    // Tags put together byte by byte in front of MP3 audio, for the rules
    // by which TagLib keeps or drops frames.
    void madeTagsAnswerLikeTagLib_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<bool>("id3v1");
        QTest::addColumn<ScanAnswer>("scan");
        const QByteArray title3 = frame(3, "TIT2", text("Song"));
        const QByteArray picture3 = frame(3, "APIC", pictureBody(600));
        const QByteArray picture4 = frame(4, "APIC", pictureBody(600));
        auto row = [](const char* name) -> QTestData& { return QTest::newRow(name); };
        row("2.3 title and picture") << tag(3, title3 + picture3) << false << SCAN_PICTURE;
        row("2.3 picture after padding") << tag(3, title3 + QByteArray(20, '\0') + picture3) << false << SCAN_NO_PICTURE;
        row("2.3 picture, then a bad ID") << tag(3, picture3 + frame(3, "tit2", text("x"))) << false << SCAN_PICTURE;
        row("2.3 bad ID before the picture") << tag(3, frame(3, "TiT2", text("x")) + picture3) << false
                                             << SCAN_NO_PICTURE;
        row("2.3 empty frame before the picture") << tag(3, frame(3, "TIT2", QByteArray()) + picture3) << false
                                                  << SCAN_NO_PICTURE;
        row("2.3 frame past the tag before the picture")
            << tag(3, frame(3, "TIT2", text("x"), 0, 5000) + picture3) << false << SCAN_NO_PICTURE;
        row("2.3 picture ending just past the tag")
            << tag(3, title3 + frame(3, "APIC", pictureBody(600), 0, 614 + 6)) << false << SCAN_PICTURE;
        row("2.2 picture") << tag(2, frame(2, "TT2", text("Song")) + frame(2, "PIC", QByteArray("\0JPG\3\0", 6) + pictureOf(500)))
                           << false << SCAN_PICTURE;
        row("2.2 frames in a 2.3 tag") << tag(3, frame(3, QByteArray("TT2\0", 4), text("Song")) + frame(3, QByteArray("PIC\0", 4), pictureBody(500)))
                                       << false << SCAN_PICTURE;
        row("2.4 title and picture") << tag(4, frame(4, "TIT2", text("Song")) + picture4) << false << SCAN_PICTURE;
        row("2.4 picture with a plain size") << tag(4, frame(4, "TIT2", text("Song")) + frame(4, "APIC", pictureBody(600), 0, -1, true) + frame(4, "TALB", text("Album")))
                                             << false << SCAN_PICTURE;
        row("2.4 UTF-16 title") << tag(4, frame(4, "TIT2", QByteArray("\1\xFF\xFES\0o\0", 7)) + picture4) << true
                                << SCAN_PICTURE;
        row("2.4 UTF-16 title of a byte order mark only")
            << tag(4, frame(4, "TIT2", QByteArray("\1\xFF\xFE", 3)) + picture4) << true << SCAN_UNSURE;
        row("picture without text, ID3v1 beside it") << tag(3, picture3) << true << SCAN_UNSURE;
        row("picture with text, ID3v1 beside it") << tag(3, title3 + picture3) << true << SCAN_PICTURE;
        row("empty title, ID3v1 beside it") << tag(3, frame(3, "TIT2", QByteArray(3, '\0')) + picture3) << true
                                            << SCAN_UNSURE;
        row("compressed title, ID3v1 beside it") << tag(3, frame(3, "TIT2", text("Song"), char(0x80)) + picture3)
                                                 << true << SCAN_UNSURE;
        row("2.4 length indicator too short") << tag(4, frame(4, "TIT2", QByteArray(3, 'x'), char(0x01)) + picture4)
                                              << false << SCAN_NO_PICTURE;
        row("2.3 unsynchronised tag") << tag(3, title3 + picture3, char(0x80)) << false << SCAN_UNSURE;
        row("2.3 extended header") << tag(3, title3 + picture3, char(0x40)) << false << SCAN_UNSURE;
        row("2.4 footer") << tag(4, frame(4, "TIT2", text("Song")) + picture4, char(0x10)) << false << SCAN_UNSURE;
        row("version 2.5") << tag(5, title3 + picture3) << false << SCAN_UNSURE;
        row("empty tag") << tag(3, QByteArray()) << false << SCAN_UNSURE;
        row("junk between tag and audio") << tag(3, title3 + picture3) + QByteArray(7, 'j') << false << SCAN_UNSURE;
    }

    void madeTagsAnswerLikeTagLib()
    {
        QFETCH(QByteArray, head);
        QFETCH(bool, id3v1);
        QFETCH(ScanAnswer, scan);
        QByteArray bytes = head + testenv::readAll(testenv::fixture(QStringLiteral("untagged.mp3")));
        if (id3v1)
            bytes += QByteArray("TAG") + QByteArray("Old title").leftJustified(30, '\0') + QByteArray(95, '\0');
        const QString path = write(QStringLiteral("made.mp3"), bytes);
        QCOMPARE(ScanArtwork(path), scan);
        compareWithTagLib(path, "made");
    }

    // Cut and damaged copies: the scan never contradicts TagLib, never
    // hangs, and the public answer stays TagLib's.
    void damagedFilesAnswerLikeTagLib_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<int>("pictureSize");
        const QStringList fixtures = {"id3v2-cover.mp3", "id3v2-partial.mp3", "untagged.mp3", "cover.m4a", "tagged.wma",
                                      "id3v2.flac", "vorbis-only.flac", "id3v2-cover.aiff", "plain.wav"};
        for (const QString& fixture : fixtures) {
            QTest::newRow(qPrintable(fixture)) << fixture << 0;
            if (fixture != QLatin1String("vorbis-only.flac"))
                QTest::newRow(qPrintable(fixture + QStringLiteral(" with a picture"))) << fixture << 20000;
        }
    }

    void damagedFilesAnswerLikeTagLib()
    {
        QFETCH(QString, fixture);
        QFETCH(int, pictureSize);
        const QString original = prepared(fixture, pictureSize, QStringLiteral("original"));
        QVERIFY(!original.isEmpty());
        const QByteArray bytes = testenv::readAll(original);
        const QString suffix = QFileInfo(fixture).suffix();
        const QString path = m_dir->filePath(QStringLiteral("damaged.") + suffix);
        // Cuts all through the file, and close together over its first
        // kilobytes where the headers lie.
        QList<int> cuts;
        for (int i = 0; i < 64; ++i)
            cuts << int(qint64(bytes.size()) * i / 64);
        for (int cut = 0; cut < qMin(bytes.size(), 4096); cut += 37)
            cuts << cut;
        for (const int cut : cuts) {
            QVERIFY(testenv::writeAll(path, bytes.left(cut)));
            compareWithTagLib(path, qPrintable(QStringLiteral("cut at %1").arg(cut)));
        }
        // Single bytes changed, mostly among the headers.
        QRandomGenerator random(uint(qHash(fixture)) + uint(pictureSize));
        for (int i = 0; i < 160; ++i) {
            QByteArray damaged = bytes;
            const int span = i % 4 == 0 ? damaged.size() : qMin(damaged.size(), 2048);
            const int at = random.bounded(span);
            damaged[at] = char(i % 3 == 0 ? 0 : i % 3 == 1 ? 0xFF : random.bounded(256));
            QVERIFY(testenv::writeAll(path, damaged));
            compareWithTagLib(path, qPrintable(QStringLiteral("byte %1 changed").arg(at)));
        }
    }

    // An MP4 atom whose 64-bit size reaches past any file offset, placed
    // where its end would be added to its start: the scan leaves the file
    // to TagLib instead of reading on from wherever the sum lands.
    void mp4AtomsTooLongForAnyFile_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<quint64>("size");
        const quint64 largest = quint64(LLONG_MAX);
        QTest::newRow("container of the largest size") << QByteArray("udta") << largest;
        QTest::newRow("container eight bytes short of it") << QByteArray("udta") << largest - 8;
        QTest::newRow("plain atom eight bytes short of it") << QByteArray("free") << largest - 8;
    }

    void mp4AtomsTooLongForAnyFile()
    {
        QFETCH(QByteArray, name);
        QFETCH(quint64, size);
        // The fixture's atoms, with its movie (and cover) wrapped in the long atom.
        const QByteArray original = testenv::readAll(testenv::fixture(QStringLiteral("cover.m4a")));
        const int movie = original.indexOf("moov") - 4;
        QVERIFY(movie > 0);
        QByteArray longAtom = QByteArray::fromHex("00000001") + name;
        for (int shift = 56; shift >= 0; shift -= 8)
            longAtom += char((size >> shift) & 0xFF);
        const QString path = write(QStringLiteral("long.m4a"), original.left(movie) + longAtom + original.mid(movie));
        QCOMPARE(ScanArtwork(path), SCAN_UNSURE);
        compareWithTagLib(path, "long atom");
    }

    void filesThatAreNoFilesAreLeftToTagLib()
    {
        const QString folder = m_dir->filePath(QStringLiteral("folder.mp3"));
        QVERIFY(QDir().mkpath(folder));
        QCOMPARE(ScanArtwork(folder), SCAN_UNSURE);
        QCOMPARE(HasMusicArtwork_tag(folder), -2);
        const QString fifo = m_dir->filePath(QStringLiteral("pipe.m4a"));
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QCOMPARE(ScanArtwork(fifo), SCAN_UNSURE);
        QCOMPARE(HasMusicArtwork_tag(fifo), -2);
        QCOMPARE(HasMusicArtwork_tag(m_dir->filePath(QStringLiteral("missing.mp3"))), -1);
    }
};

QTEST_GUILESS_MAIN(TestArtworkScan)
#include "tst_artworkscan.moc"
