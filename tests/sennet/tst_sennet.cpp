// The music-information client against fake services on 127.0.0.1:
// identification, album cover, image search, proxy, bad answers, stops and
// what server text does to the log.
#include "documentedanswers.h"
#include "fakeservice.h"
#include "sennet.h"
#include "src/imagefile.h"
#include "src/ratelimiter.h"
#include "src/services.h"
#include "testenv.h"
#include "testimages.h"
#include "wavmaker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

#include <memory>

Q_DECLARE_METATYPE(FakeAnswer)
using Routes = QList<QPair<QString, FakeAnswer>>;

namespace {

const char* const kPid = "0123456789ABCDEF";
// What the log keeps of a server's text, and its size limit.
constexpr int kMaxLoggedServerCharsForTest = 300;
constexpr qint64 kLogCap = 10 * 1024 * 1024;
const QString kRec1 = QStringLiteral("aaaaaaaa-0000-4000-8000-000000000001");
const QString kRec2 = QStringLiteral("aaaaaaaa-0000-4000-8000-000000000002");
const QString kGroup1 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000001");
const QString kGroup2 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000002");
const QString kGroup3 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000003");
const QString kGroup4 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000004");
const QString kGroup5 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000005");
const QString kGroup6 = QStringLiteral("bbbbbbbb-0000-4000-8000-000000000006");

struct Result {
    int status = 0;
    bool hadRecord = false;
    tagMusicInfo record{};
    void* track = nullptr;
    Qt::HANDLE thread = nullptr;
};

// Passed as the slot pointer, so each request's results land in its own.
struct Capture {
    QList<Result> results;
    // Asks for the album cover from inside a successful identification, the
    // way the engine does.
    MusicRequestHandle coverFrom = nullptr;
};

int onResult(void* slot, void* track, int status, tagMusicInfo* record)
{
    auto* capture = static_cast<Capture*>(slot);
    Result r;
    r.status = status;
    r.hadRecord = record != nullptr;
    if (record)
        r.record = *record;
    r.track = track;
    r.thread = QThread::currentThreadId();
    capture->results.append(r);
    if (capture->coverFrom && record && record->iKind == MI_KIND_INFO && record->iSubKind == MI_SUB_INFO)
        MusicParserGetAlbumCoverData(capture->coverFrom);
    return 0;
}

struct RequestFree {
    void operator()(tagMusicRequest* request) const { MusicParserDestroyRequest(request); }
};
using Request = std::unique_ptr<tagMusicRequest, RequestFree>;

Request infoRequest(Capture& capture, const QString& wavPath, const char* pid = kPid)
{
    const QByteArray path = wavPath.toUtf8();
    tagInfoRequest r{&capture, pid, path.constData(), &capture, onResult};
    return Request(MusicParserCreateGnRequest(&r));
}

Request searchRequest(Capture& capture, const QString& name, const QString& artist, const QString& album)
{
    const QByteArray n = name.toUtf8(), a = artist.toUtf8(), b = album.toUtf8();
    tagImageSearchRequest r{&capture, kPid, n.constData(), a.constData(), b.constData(), &capture, onResult};
    return Request(MusicParserCreateGoogleRequest(&r));
}

QJsonObject releaseGroup(const QString& id, const QString& title, const QString& type,
                         const QStringList& secondary = {})
{
    QJsonObject g{{"id", id}, {"title", title}, {"type", type}};
    if (!secondary.isEmpty())
        g.insert("secondarytypes", QJsonArray::fromStringList(secondary));
    return g;
}

QJsonObject artist(const QString& name, const QString& join = QString())
{
    QJsonObject a{{"id", "cccccccc-0000-4000-8000-000000000001"}, {"name", name}};
    if (!join.isEmpty())
        a.insert("joinphrase", join);
    return a;
}

QJsonObject recording(const QString& id, const QString& title, const QJsonArray& artists,
                      const QJsonArray& groups)
{
    QJsonObject r{{"id", id}, {"artists", artists}, {"releasegroups", groups}};
    if (!title.isNull())
        r.insert("title", title);
    return r;
}

QJsonObject match(double score, const QJsonArray& recordings)
{
    return QJsonObject{{"id", "dddddddd-0000-4000-8000-000000000001"}, {"score", score}, {"recordings", recordings}};
}

QByteArray lookupAnswer(const QJsonArray& results)
{
    return QJsonDocument(QJsonObject{{"status", "ok"}, {"results", results}}).toJson();
}

QByteArray simpleLookup()
{
    return lookupAnswer({match(0.9, {recording(kRec1, "Song", {artist("Artist")},
                                               {releaseGroup(kGroup1, "Album", "Album")})})});
}

QJsonArray votes(const QList<QPair<QString, int>>& names)
{
    QJsonArray out;
    for (const auto& n : names)
        out.append(QJsonObject{{"name", n.first}, {"count", n.second}});
    return out;
}

// The metadata service's answer of a recording or release group; which of
// them its ID names does not matter to the client.
QByteArray details(const QString& date, const QJsonArray& genres, const QJsonArray& tags = {})
{
    return QJsonDocument(QJsonObject{{"id", kRec1}, {"title", "Song"}, {"first-release-date", date},
                                     {"genres", genres}, {"tags", tags}}).toJson();
}

QByteArray searchAnswer(const QList<QPair<QString, int>>& groups)
{
    QJsonArray list;
    for (const auto& g : groups)
        list.append(QJsonObject{{"id", g.first}, {"score", g.second}, {"title", "x"}});
    return QJsonDocument(QJsonObject{{"count", list.size()}, {"release-groups", list}}).toJson();
}

// A text that runs over several lines, writes lines of its own that look
// like the log's and steers a terminal, with a character outside the BMP
// just where the excerpt the log keeps of it ends; size characters long.
QString hostileText(int size)
{
    const QString line = QStringLiteral("bad key\n2000-01-01 00:00:00:000 [tid: 1]: forged entry\r\n\x1b[2J");
    QString text;
    while (text.size() < size)
        text += line;
    text.replace(kMaxLoggedServerCharsForTest - 1, 2, QString::fromUtf8("\xF0\x9F\x98\x80"));
    return text.left(size);
}

QString manyGroupsId(int i)
{
    return QStringLiteral("bbbbbbbb-0000-4000-8000-%1").arg(i, 12, 10, QLatin1Char('0'));
}

using testimages::noiseJpeg;

QString recordingPath(const QString& id)
{
    return QStringLiteral("/ws/2/recording/") + id;
}

QString groupPath(const QString& id)
{
    return QStringLiteral("/ws/2/release-group/") + id;
}

QString frontPath(const QString& id)
{
    return QStringLiteral("/release-group/%1/front").arg(id);
}

tagParserProxyParam proxyRecord(int kind, const QByteArray& host, int port, const QByteArray& user = {},
                                const QByteArray& password = {})
{
    tagParserProxyParam p{};
    p.iKind = kind;
    p.iPort = port;
    qstrncpy(p.szHost, host.constData(), sizeof p.szHost);
    qstrncpy(p.szUser, user.constData(), sizeof p.szUser);
    qstrncpy(p.szPassword, password.constData(), sizeof p.szPassword);
    return p;
}

} // namespace

class TestSennet : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::vector<qint16> m_samples = wavmaker::melody(44100, 2, 10);

    QString downloadDir() const { return m_dir->path() + QStringLiteral("/art"); }
    QString logText() const { return QString::fromUtf8(testenv::readAll(m_dir->path() + QStringLiteral("/log/MusicParser.log"))); }

    QString writeFile(const QString& name, const QByteArray& bytes) const
    {
        const QString path = m_dir->path() + QLatin1Char('/') + name;
        testenv::writeAll(path, bytes);
        return path;
    }

    QString standardWav() const { return writeFile(QStringLiteral("song.wav"), wavmaker::wav(m_samples, 44100, 2)); }

    QStringList downloadedFiles() const
    {
        return QDir(downloadDir()).entryList(QDir::Files, QDir::Name);
    }

    void setServiceUrls(const QByteArray& base)
    {
        qputenv("VESSOLIN_ACOUSTID_URL", base);
        qputenv("VESSOLIN_MUSICBRAINZ_URL", base);
        qputenv("VESSOLIN_COVERART_URL", base);
    }

    // An identification whose album is kGroup1, so the cover can be asked for.
    void identify(Capture& capture, tagMusicRequest* request)
    {
        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        m_fake.answer(recordingPath(kRec1), FakeAnswer::json(details("1999", votes({{"rock", 1}}))));
        QCOMPARE(MusicParserGetTrackData(request), int(MP_OK));
        QCOMPARE(capture.results.size(), 1);
        QCOMPARE(capture.results[0].status, int(MP_STATUS_DONE));
    }

    void startLayer()
    {
        tagParserInitParam start{};
        qstrncpy(start.szDownloadPath, downloadDir().toUtf8().constData(), sizeof start.szDownloadPath);
        qstrncpy(start.szLogPath, (m_dir->path() + QStringLiteral("/log")).toUtf8().constData(), sizeof start.szLogPath);
        QCOMPARE(MusicParserInit(&start, nullptr), int(MP_OK));
    }

    QString logPath(const char* name = "MusicParser.log") const
    {
        return m_dir->path() + QStringLiteral("/log/") + QLatin1String(name);
    }

    static void verifyFailedOnce(const Capture& capture, int status = MP_STATUS_FAILED)
    {
        QCOMPARE(capture.results.size(), 1);
        QCOMPARE(capture.results[0].status, status);
        QVERIFY(!capture.results[0].hadRecord);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.port() != 0);
        setServiceUrls(m_fake.baseUrl());
        qputenv("VESSOLIN_ACOUSTID_KEY", "test-key");
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        startLayer();
        m_fake.reset();
    }

    void cleanup()
    {
        MusicParserCleanup();
        sennet::setRequestTimeoutMs(0);
        setServiceUrls(m_fake.baseUrl());
        qputenv("VESSOLIN_ACOUSTID_KEY", "test-key");
    }

    void limiterSpacesRequests_data()
    {
        QTest::addColumn<qint64>("interval");
        QTest::addColumn<QList<qint64>>("asked");
        QTest::addColumn<QList<qint64>>("granted");
        QTest::newRow("first request goes at once") << qint64(1000) << QList<qint64>{5000} << QList<qint64>{5000};
        QTest::newRow("a burst is spread out") << qint64(1000) << QList<qint64>{0, 0, 0} << QList<qint64>{0, 1000, 2000};
        QTest::newRow("a caller inside the interval waits the rest") << qint64(1000) << QList<qint64>{0, 400} << QList<qint64>{0, 1000};
        QTest::newRow("a late caller is not held back") << qint64(1000) << QList<qint64>{0, 1500} << QList<qint64>{0, 1500};
        QTest::newRow("bookings after a pause start afresh") << qint64(334) << QList<qint64>{0, 10, 5000, 5001} << QList<qint64>{0, 334, 5000, 5334};
    }

    void limiterSpacesRequests()
    {
        QFETCH(qint64, interval);
        QFETCH(QList<qint64>, asked);
        QFETCH(QList<qint64>, granted);
        sennet::RateLimiter limiter(interval);
        QList<qint64> got;
        for (qint64 now : asked)
            got.append(limiter.reserve(now));
        QCOMPARE(got, granted);
    }

    void lookupCarriesFingerprint_data()
    {
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<int>("format");
        QTest::addColumn<bool>("extraChunk");
        QTest::addColumn<qint64>("dataSize");
        QTest::addColumn<int>("duration");
        QTest::newRow("stereo 44.1 kHz") << 44100 << 2 << 10.0 << 1 << false << qint64(-1) << 10;
        QTest::newRow("mono 22.05 kHz, part second dropped") << 22050 << 1 << 7.5 << 1 << false << qint64(-1) << 7;
        QTest::newRow("extensible format") << 44100 << 2 << 8.0 << 0xFFFE << false << qint64(-1) << 8;
        QTest::newRow("odd-sized chunk before the audio") << 44100 << 2 << 8.0 << 1 << true << qint64(-1) << 8;
        QTest::newRow("audio size left open") << 44100 << 2 << 8.0 << 1 << false << qint64(0xFFFFFFFF) << 8;
        QTest::newRow("audio size zero") << 44100 << 1 << 8.0 << 1 << false << qint64(0) << 8;
        QTest::newRow("only two minutes are fingerprinted") << 11025 << 1 << 130.0 << 1 << false << qint64(-1) << 130;
    }

    void lookupCarriesFingerprint()
    {
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        QFETCH(int, format);
        QFETCH(bool, extraChunk);
        QFETCH(qint64, dataSize);
        QFETCH(int, duration);
        const std::vector<qint16> samples = wavmaker::melody(rate, channels, seconds);
        wavmaker::Layout layout;
        layout.format = quint16(format);
        layout.extraChunk = extraChunk;
        layout.dataSize = dataSize;
        const QString path = writeFile(QStringLiteral("in.wav"), wavmaker::wav(samples, rate, channels, layout));
        const std::vector<qint16> fed(samples.begin(), samples.begin() + qMin<qint64>(samples.size(), qint64(120) * rate * channels));

        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        Capture capture;
        Request request = infoRequest(capture, path);
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        QCOMPARE(capture.results.size(), 1);
        QCOMPARE(capture.results[0].status, int(MP_STATUS_DONE));

        const QList<SeenRequest> lookups = m_fake.requestsTo("/v2/lookup");
        QCOMPARE(lookups.size(), 1);
        const SeenRequest& lookup = lookups[0];
        QCOMPARE(lookup.method, QByteArray("POST"));
        QCOMPARE(lookup.formValue("client"), QStringLiteral("test-key"));
        QCOMPARE(lookup.formValue("meta"), QStringLiteral("recordings releasegroups sources compress"));
        QCOMPARE(lookup.formValue("duration").toInt(), duration);
        QCOMPARE(lookup.formValue("fingerprint").toLatin1(), wavmaker::fingerprint(fed, rate, channels));
        QCOMPARE(lookup.headers.value("user-agent"), QByteArray("Vessolin/" VESSOLIN_VERSION " ( " VESSOLIN_CONTACT " )"));
    }

    void badAudioFails_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<QString>("logged");
        const std::vector<qint16> samples = wavmaker::melody(44100, 2, 5);
        wavmaker::Layout eightBit;
        eightBit.bits = 8;
        wavmaker::Layout floats;
        floats.format = 3;
        wavmaker::Layout noData;
        noData.dataChunk = false;
        const QByteArray good = wavmaker::wav(samples, 44100, 2);
        QTest::newRow("missing file") << QByteArray() << "cannot open";
        QTest::newRow("not RIFF") << QByteArray(4000, 'x') << "not a RIFF/WAVE file";
        QTest::newRow("8-bit samples") << wavmaker::wav(samples, 44100, 2, eightBit) << "not 16-bit PCM";
        QTest::newRow("float samples") << wavmaker::wav(samples, 44100, 2, floats) << "not 16-bit PCM";
        QTest::newRow("no audio chunk") << wavmaker::wav(samples, 44100, 2, noData) << "no audio data chunk";
        QTest::newRow("header cut short") << good.left(30) << "short format chunk";
        QTest::newRow("too short to fingerprint") << wavmaker::wav(wavmaker::melody(44100, 2, 1), 44100, 2)
                                                  << "too short";
    }

    void badAudioFails()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(QString, logged);
        const QString path = bytes.isEmpty() ? m_dir->path() + QStringLiteral("/absent.wav")
                                             : writeFile(QStringLiteral("bad.wav"), bytes);
        Capture capture;
        Request request = infoRequest(capture, path);
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        verifyFailedOnce(capture);
        QVERIFY(m_fake.requests().isEmpty());
        QVERIFY2(logText().contains(logged), qPrintable(logText()));
    }

    void identification_data()
    {
        QTest::addColumn<QByteArray>("lookup");
        QTest::addColumn<FakeAnswer>("recordingAnswer");
        QTest::addColumn<FakeAnswer>("groupAnswer");
        QTest::addColumn<QStringList>("expected"); // album ID, title, artist, album, year, genre
        QTest::addColumn<QStringList>("metadataPaths");
        QTest::addColumn<Routes>("busyFirst");  // answers a path gives first, one each, before its own
        QTest::addColumn<int>("pauseMs");       // at least, before the path is asked again
        const QJsonObject album = releaseGroup(kGroup1, "Album", "Album");
        const QJsonArray oneArtist{artist("Artist")};
        const FakeAnswer plainDetails = FakeAnswer::json(details("1999-05-04", votes({{"rock", 3}, {"pop", 5}, {"jazz", 5}})));
        const FakeAnswer none = FakeAnswer::json("{}", 404);

        QTest::newRow("one match, most voted genre")
            << simpleLookup() << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("highest score wins over answer order")
            << lookupAnswer({match(0.4, {recording(kRec2, "Wrong", oneArtist, {album})}),
                             match(0.9, {recording(kRec1, "Song", oneArtist, {album})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("studio album preferred to compilation and single")
            << lookupAnswer({match(0.9, {recording(kRec1, "Song", oneArtist,
                                                   {releaseGroup(kGroup2, "Hits", "Album", {"Compilation"}),
                                                    releaseGroup(kGroup3, "Song", "Single"), album})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("artists joined by their phrases")
            << lookupAnswer({match(0.9, {recording(kRec1, "Song", {artist("Ann", " feat. "), artist("Bob")}, {album})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Ann feat. Bob", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("recording without title or with a bad ID skipped")
            << lookupAnswer({match(0.9, {recording(kRec2, QString(), oneArtist, {album}),
                                         recording("../../admin", "Evil", oneArtist, {album}),
                                         recording(kRec1, "Song", oneArtist, {album})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("recording naming its album preferred")
            << lookupAnswer({match(0.9, {recording(kRec2, "Song", oneArtist, {}), recording(kRec1, "Song", oneArtist, {album})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("downvoted genres ignored")
            << simpleLookup() << FakeAnswer::json(details("", votes({{"awful", -2}, {"jazz", 2}, {"misc", 1}}))) << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "", "jazz"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("the album of a later recording before a compilation listed first")
            << documented::compilationFirstLookup() << FakeAnswer::json(documented::recording(documented::kSoftRock, documented::kNone))
            << none << QStringList{kGroup1, "Tidewater", "Ansel Ruhe & The Shoals", "North Shore", "1977", "soft rock"}
            << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("an EP of a later recording before a single listed first")
            << lookupAnswer({match(0.9, {recording(kRec2, "Song", oneArtist, {releaseGroup(kGroup2, "Song", "Single")}),
                                         recording(kRec1, "Song", oneArtist, {releaseGroup(kGroup1, "Album", "EP")})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Album", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("a better album of a lower score does not win")
            << lookupAnswer({match(0.4, {recording(kRec2, "Wrong", oneArtist, {releaseGroup(kGroup2, "Album", "Album")})}),
                             match(0.9, {recording(kRec1, "Song", oneArtist,
                                                   {releaseGroup(kGroup1, "Hits", "Album", {"Compilation"})})})})
            << plainDetails << none
            << QStringList{kGroup1, "Song", "Artist", "Hits", "1999", "pop"} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("genre and year from the album")
            << simpleLookup() << FakeAnswer::json(details("", {})) << FakeAnswer::json(details("2001-02", votes({{"electronic", 1}})))
            << QStringList{kGroup1, "Song", "Artist", "Album", "2001", "electronic"}
            << QStringList{recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
        const FakeAnswer tagsOnly = FakeAnswer::json(documented::recording(documented::kNone, documented::kListenerTags));
        QTest::newRow("recording tags are no genre: the album's genres")
            << simpleLookup() << tagsOnly
            << FakeAnswer::json(documented::releaseGroup(documented::kSoftRock, documented::kListenerTags))
            << QStringList{kGroup1, "Song", "Artist", "Album", "1977", "soft rock"}
            << QStringList{recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
        QTest::newRow("album tags are no genre either")
            << simpleLookup() << tagsOnly << FakeAnswer::json(documented::releaseGroup(documented::kNone, documented::kFormatTag))
            << QStringList{kGroup1, "Song", "Artist", "Album", "1977", ""}
            << QStringList{recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
        QTest::newRow("album without genres or tags")
            << simpleLookup() << tagsOnly << FakeAnswer::json(documented::releaseGroup(documented::kNone, documented::kNone))
            << QStringList{kGroup1, "Song", "Artist", "Album", "1977", ""}
            << QStringList{recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
        QTest::newRow("the recording's metadata busy twice, the album's cut off: no identification")
            << simpleLookup() << FakeAnswer::json("busy", 503) << FakeAnswer::json("{oops") << QStringList()
            << QStringList{recordingPath(kRec1), recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
        QTest::newRow("no album: no album lookup")
            << lookupAnswer({match(0.9, {recording(kRec1, "Song", oneArtist, {})})}) << FakeAnswer::json(details("0000", {})) << none
            << QStringList{"", "Song", "Artist", "", "", ""} << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("long texts cut before a broken character")
            << lookupAnswer({match(0.9, {recording(kRec1, QString(100, QChar(0xE9)), {artist(QString(50, QChar(0x20AC)))},
                                                   {releaseGroup(kGroup1, QString(127, 'a') + "b", "Album")})})})
            << FakeAnswer::json(details("1999", votes({{QString(200, 'g'), 1}}))) << none
            << QStringList{kGroup1, QString(63, QChar(0xE9)), QString(42, QChar(0x20AC)), QString(127, 'a'), "1999", QString(127, 'g')}
            << QStringList{recordingPath(kRec1)} << Routes{} << 0;
            const FakeAnswer tidewater = FakeAnswer::json(documented::recording(documented::kSoftRock, documented::kNone));
        const QStringList northShore{kGroup1, "Tidewater", "Ansel Ruhe & The Shoals", "North Shore", "1977", "soft rock"};
        QTest::newRow("the song on compilations only, another song on a plain album")
            << documented::anotherSongBesideCompilationsLookup() << tidewater << none
            << QStringList{kGroup1, "Tidewater", "Ansel Ruhe", "Seventies Gold: 40 Hits", "1977", "soft rock"}
            << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        for (double score : {0.42, 0.49})
            QTest::addRow("the documented answer at %.2f: no match", score)
                << documented::compilationFirstLookup(score) << tidewater << none << QStringList() << QStringList()
                << Routes{} << 0;
        for (double score : {0.5, 0.51})
            QTest::addRow("the documented answer at %.2f: a match", score)
                << documented::compilationFirstLookup(score) << tidewater << none << northShore
                << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        QTest::newRow("the best result without recordings, then one at 0.45: no match")
            << documented::recordinglessFirstLookup(0.45) << tidewater << none << QStringList() << QStringList()
            << Routes{} << 0;
        QTest::newRow("the best result without recordings, then a strong one")
            << documented::recordinglessFirstLookup(0.9) << tidewater << none << northShore
            << QStringList{recordingPath(kRec1)} << Routes{} << 0;
        const QStringList plainSong{kGroup1, "Song", "Artist", "Album", "1999", "pop"};
        QTest::newRow("the lookup busy, asked again after its Retry-After")
            << simpleLookup() << plainDetails << none << plainSong << QStringList{recordingPath(kRec1)}
            << Routes{{"/v2/lookup", FakeAnswer::busy(503, "1", documented::kLookupBusy)}} << 1000;
        FakeAnswer untilDate = FakeAnswer::busy(429, QByteArray(), documented::kLookupBusy);
        untilDate.retryAfterDateSeconds = 2;
        QTest::newRow("the lookup rate limited until an HTTP date, then asked again")
            << simpleLookup() << plainDetails << none << plainSong << QStringList{recordingPath(kRec1)}
            << Routes{{"/v2/lookup", untilDate}} << 1000;
        QTest::newRow("the recording's metadata busy, asked again after a second")
            << simpleLookup() << plainDetails << none << plainSong << QStringList{recordingPath(kRec1), recordingPath(kRec1)}
            << Routes{{recordingPath(kRec1), FakeAnswer::busy(503, QByteArray(), documented::kRateLimited)}} << 1000;
        const FakeAnswer lookupBusy = FakeAnswer::busy(503, "0", documented::kLookupBusy);
        QTest::newRow("the lookup busy twice: no match")
            << simpleLookup() << plainDetails << none << QStringList() << QStringList()
            << Routes{{"/v2/lookup", lookupBusy}, {"/v2/lookup", lookupBusy}} << 0;
        const FakeAnswer metadataBusy = FakeAnswer::busy(503, "0", documented::kRateLimited);
        QTest::newRow("both metadata lookups busy twice: no identification")
            << simpleLookup() << metadataBusy << metadataBusy << QStringList()
            << QStringList{recordingPath(kRec1), recordingPath(kRec1), groupPath(kGroup1), groupPath(kGroup1)}
            << Routes{} << 0;
        QTest::newRow("the recording's metadata busy twice, the album's read")
            << simpleLookup() << metadataBusy << FakeAnswer::json(details("2001-02", votes({{"electronic", 1}})))
            << QStringList{kGroup1, "Song", "Artist", "Album", "2001", "electronic"}
            << QStringList{recordingPath(kRec1), recordingPath(kRec1), groupPath(kGroup1)} << Routes{} << 0;
    }

    void identification()
    {
        QFETCH(QByteArray, lookup);
        QFETCH(FakeAnswer, recordingAnswer);
        QFETCH(FakeAnswer, groupAnswer);
        QFETCH(QStringList, expected);
        QFETCH(QStringList, metadataPaths);
        QFETCH(Routes, busyFirst);
        QFETCH(int, pauseMs);
        QHash<QString, FakeAnswer> answers{{"/v2/lookup", FakeAnswer::json(lookup)},
                                           {recordingPath(kRec1), recordingAnswer},
                                           {groupPath(kGroup1), groupAnswer}};
        for (const auto& route : busyFirst)
            answers[route.first].earlier.push_back(route.second);
        for (auto it = answers.cbegin(); it != answers.cend(); ++it)
            m_fake.answer(it.key(), it.value());
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));

        QStringList seen;
        for (const SeenRequest& s : m_fake.requests())
            if (s.path.startsWith("/ws/2/")) {
                seen.append(s.path);
                QCOMPARE(s.query.queryItemValue("fmt"), QStringLiteral("json"));
                QCOMPARE(s.query.queryItemValue("inc"), QStringLiteral("genres+tags"));
            }
        QCOMPARE(seen, metadataPaths);
        if (!busyFirst.isEmpty()) {
            const QString retried = busyFirst.first().first;
            QCOMPARE(m_fake.requestsTo(retried).size(), busyFirst.size() + (expected.isEmpty() ? 0 : 1));
            QVERIFY2(m_fake.gapBetweenFirstTwo(retried) >= pauseMs, qPrintable(QString::number(m_fake.gapBetweenFirstTwo(retried))));
        }
        if (expected.isEmpty()) {
            verifyFailedOnce(capture);
            return;
        }
        QCOMPARE(capture.results.size(), 1);
        const Result& r = capture.results[0];
        QCOMPARE(r.status, int(MP_STATUS_DONE));
        QCOMPARE(r.track, static_cast<void*>(&capture));
        QCOMPARE(r.thread, QThread::currentThreadId());
        QCOMPARE(r.record.iKind, int(MI_KIND_INFO));
        QCOMPARE(r.record.iSubKind, int(MI_SUB_INFO));
        QCOMPARE(r.record.iArtworkCount, 0);
        const QStringList got{QString::fromUtf8(r.record.szAlbumID), QString::fromUtf8(r.record.szTitle),
                              QString::fromUtf8(r.record.szArtist), QString::fromUtf8(r.record.szAlbum),
                              QString::fromUtf8(r.record.szYear), QString::fromUtf8(r.record.szGenre)};
        QCOMPARE(got, expected);
    }

    void lookupFailures_data()
    {
        QTest::addColumn<FakeAnswer>("answer");
        QTest::addColumn<QString>("logged");
        QTest::newRow("server error") << FakeAnswer::json("", 500) << "HTTP 500";
        QTest::newRow("service error answer")
            << FakeAnswer::json(R"({"status":"error","error":{"code":4,"message":"invalid API key"}})", 400) << "invalid API key";
        QTest::newRow("malformed JSON") << FakeAnswer::json(R"({"status":"ok","results":[)") << "malformed JSON";
        QTest::newRow("not an object") << FakeAnswer::json("[1,2]") << "not an object";
        QTest::newRow("no results") << FakeAnswer::json(lookupAnswer({})) << "no match";
        QTest::newRow("results without recordings")
            << FakeAnswer::json(R"({"status":"ok","results":[{"id":"x","score":0.9}]})") << "no match names a recording";
        QTest::newRow("oversized answer") << FakeAnswer::json(QByteArray(5 * 1024 * 1024, ' ')) << "larger than";
        QTest::newRow("busy for longer than is waited: not asked again")
            << FakeAnswer::busy(503, "3600", documented::kLookupBusy).after({FakeAnswer::busy(503, "3600")})
            << "asks for a pause of more than 10 s (Retry-After: 3600): not asked again";
    }

    void lookupFailures()
    {
        QFETCH(FakeAnswer, answer);
        QFETCH(QString, logged);
        m_fake.answer("/v2/lookup", answer);
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        verifyFailedOnce(capture);
        QCOMPARE(m_fake.requests().size(), 1); // no metadata asked for
        QVERIFY2(logText().contains(logged), qPrintable(logText()));
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK)); // no album known
        QCOMPARE(capture.results.size(), 2);
        QCOMPARE(capture.results[1].status, int(MP_STATUS_FAILED));
        QCOMPARE(m_fake.requests().size(), 1);
    }

    void noKeyFailsAtOnce()
    {
        qunsetenv("VESSOLIN_ACOUSTID_KEY");
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        verifyFailedOnce(capture);
        QVERIFY(m_fake.requests().isEmpty());
        QVERIFY2(logText().contains("no AcoustID client key; set VESSOLIN_ACOUSTID_KEY"), qPrintable(logText()));
        // A person who starts Vessolin from the menu has no shell to set it in.
        QVERIFY2(logText().contains("~/.config/environment.d/"), qPrintable(logText()));
    }

    void albumCoverFollowsRedirects()
    {
        const QByteArray cover = noiseJpeg(1);
        m_fake.answer(frontPath(kGroup1), FakeAnswer::redirect(307, "/release/eeee/front"));
        m_fake.answer("/release/eeee/front", FakeAnswer::redirect(302, m_fake.baseUrl() + "/images/cover.jpg"));
        m_fake.answer("/images/cover.jpg", FakeAnswer::image(cover));
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        capture.coverFrom = request.get();
        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));

        QCOMPARE(capture.results.size(), 2); // the cover was delivered inside the first callback
        const Result& r = capture.results[1];
        QCOMPARE(r.status, int(MP_STATUS_DONE));
        QCOMPARE(r.record.iKind, int(MI_KIND_INFO));
        QCOMPARE(r.record.iSubKind, int(MI_SUB_ARTWORK));
        QCOMPARE(r.record.iArtworkCount, 1);
        QCOMPARE(QString::fromUtf8(r.record.szAlbumID), kGroup1);
        const QString path = QString::fromUtf8(r.record.artwork[0].szPath);
        QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(downloadDir()).absoluteFilePath());
        QCOMPARE(QFileInfo(path).fileName(), QStringLiteral("%1_cover_0.jpg").arg(kPid));
        QCOMPARE(testenv::readAll(path), cover);
        QCOMPARE(m_fake.requestsTo("/images/cover.jpg").size(), 1);
    }

    void albumCoverFailures_data()
    {
        QTest::addColumn<Routes>("routes");
        QTest::addColumn<QString>("logged");
        const QString front = frontPath(kGroup1);
        FakeAnswer html = FakeAnswer::json("<html>no cover here</html>" + QByteArray(3000, ' '));
        html.contentType = "image/jpeg";
        QTest::newRow("no cover") << Routes{} << "no front image";
        QTest::newRow("not an image") << Routes{{front, html}} << "not an image";
        QTest::newRow("redirect loop")
            << Routes{{front, FakeAnswer::redirect(307, "/loop")}, {"/loop", FakeAnswer::redirect(302, "/loop")}}
            << "more than 5 redirects";
        QTest::newRow("redirect off the web")
            << Routes{{front, FakeAnswer::redirect(307, "file:///etc/passwd")}} << "unsupported address";
        QTest::newRow("server error") << Routes{{front, FakeAnswer::json("", 502)}} << "HTTP 502";
        FakeAnswer busyPage = FakeAnswer::json(documented::kArchiveBusyPage, 503);
        busyPage.contentType = "text/html";
        QTest::newRow("the archive's error page")
            << Routes{{front, busyPage}}
            << "failed: HTTP 503 (503 Service Unavailable Service Unavailable Too many requests, slow down.)";
    }

    void albumCoverFailures()
    {
        QFETCH(Routes, routes);
        QFETCH(QString, logged);
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        identify(capture, request.get());
        for (const auto& route : routes)
            m_fake.answer(route.first, route.second);
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));
        QCOMPARE(capture.results.size(), 2);
        QCOMPARE(capture.results[1].status, int(MP_STATUS_FAILED));
        QVERIFY(!capture.results[1].hadRecord);
        QVERIFY(downloadedFiles().isEmpty());
        QVERIFY2(logText().contains(logged), qPrintable(logText()));
    }

    void imageSearchSavesBestMatches_data()
    {
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QByteArray>("answer");
        QTest::addColumn<QList<int>>("covers");    // groups with a front image
        QTest::addColumn<QList<int>>("saved");     // their images, in order
        QTest::addColumn<QList<int>>("notAsked");
        // Best first: 1 (100), 2 (95, no cover), 3 (90), 5 (80), 6 (70, beyond
        // the three wanted); 4 scores too low to be asked for.
        QTest::newRow("albums by the album and artist")
            << "Album" << "/ws/2/release-group"
            << searchAnswer({{kGroup5, 80}, {kGroup1, 100}, {kGroup4, 30}, {kGroup3, 90}, {kGroup2, 95}, {kGroup6, 70}})
            << QList<int>{1, 3, 4, 5, 6} << QList<int>{1, 3, 5} << QList<int>{4, 6};
        // The best recording's studio album (two editions, one album), then
        // its compilation, then the live recording's album; the weak match's
        // album is not asked for.
        QTest::newRow("without album: the albums of the song's releases")
            << "" << "/ws/2/recording" << documented::recordingSearch()
            << QList<int>{1, 2, 3, 7} << QList<int>{1, 3, 2} << QList<int>{7};
    }

    void imageSearchSavesBestMatches()
    {
        QFETCH(QString, album);
        QFETCH(QString, path);
        QFETCH(QByteArray, answer);
        QFETCH(QList<int>, covers);
        QFETCH(QList<int>, saved);
        QFETCH(QList<int>, notAsked);
        m_fake.answer(path, FakeAnswer::json(answer));
        for (int group : covers)
            m_fake.answer(frontPath(manyGroupsId(group)), FakeAnswer::image(noiseJpeg(group)));
        Capture capture;
        Request request = searchRequest(capture, "Tidewater", "Ansel Ruhe", album);
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));

        QCOMPARE(capture.results.size(), 1);
        const Result& r = capture.results[0];
        QCOMPARE(r.status, int(MP_STATUS_DONE));
        QCOMPARE(r.record.iKind, int(MI_KIND_ARTWORK));
        QCOMPARE(r.record.iArtworkCount, 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(testenv::readAll(QString::fromUtf8(r.record.artwork[i].szPath)), noiseJpeg(saved[i]));
        QCOMPARE(r.record.artwork[3].szPath[0], '\0');
        QCOMPARE(downloadedFiles().size(), 3);
        for (int group : notAsked)
            QVERIFY(m_fake.requestsTo(frontPath(manyGroupsId(group))).isEmpty());
    }

    // IDs that differ only where a file name cannot show it share a stem;
    // every save still takes a name of its own, in the download folder, and
    // replaces no other track's picture.
    // The search asks for five matches; an answer listing thousands costs
    // no more cover requests than five.
    void imageSearchTakesNoMoreThanItAskedFor()
    {
        QList<QPair<QString, int>> groups;
        for (int i = 0; i < 2000; ++i)
            groups.append({manyGroupsId(i), 50 + (i * 7919) % 50});  // every score from 50 to 99, mixed
        groups.append({manyGroupsId(5000), 100});
        m_fake.answer("/ws/2/release-group", FakeAnswer::json(searchAnswer(groups)));
        m_fake.answer(frontPath(manyGroupsId(5000)), FakeAnswer::image(noiseJpeg(1)));
        Capture capture;
        Request request = searchRequest(capture, "Song", "Artist", "Album");
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));

        QCOMPARE(capture.results.size(), 1);
        QCOMPARE(capture.results[0].status, int(MP_STATUS_DONE));
        QCOMPARE(capture.results[0].record.iArtworkCount, 1);
        QStringList asked;
        for (const SeenRequest& seen : m_fake.requests())
            if (seen.path.endsWith(QLatin1String("/front")))
                asked << seen.path.section(QLatin1Char('/'), 2, 2);
        // The best of all first, then four of those scoring 99.
        QCOMPARE(asked.size(), 5);
        QCOMPARE(asked.first(), manyGroupsId(5000));
        for (int i = 1; i < asked.size(); ++i) {
            const int index = asked[i].right(12).toInt();
            QCOMPARE(50 + (index * 7919) % 50, 99);
        }
    }

    void imagesOfLookalikeIdsStayApart()
    {
        const QString longId = QString(70, QLatin1Char('A'));
        const QStringList ids = {QStringLiteral("a/b"), QStringLiteral("a.b"), QStringLiteral("a_b"),
                                 QStringLiteral("../a b"), longId + QLatin1Char('1'), longId + QLatin1Char('2')};
        QStringList paths;
        for (int i = 0; i < ids.size(); ++i) {
            QString path, why;
            QVERIFY2(sennet::saveImageFile(noiseJpeg(i + 1), downloadDir(), sennet::imageStem(ids[i], QStringLiteral("cover")),
                                           &path, &why),
                     qPrintable(why));
            QCOMPARE(QFileInfo(path).absolutePath(), QFileInfo(downloadDir()).absoluteFilePath());
            paths << path;
        }
        QCOMPARE(downloadedFiles().size(), ids.size());
        for (int i = 0; i < ids.size(); ++i)
            QCOMPARE(testenv::readAll(paths[i]), noiseJpeg(i + 1));
    }

    void searchQuery_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("artist");
        QTest::addColumn<QString>("album");
        QTest::addColumn<QString>("path");  // empty: nothing is asked
        QTest::addColumn<QString>("query");
        const QString albums = QStringLiteral("/ws/2/release-group");
        const QString songs = QStringLiteral("/ws/2/recording");
        QTest::newRow("album and artist") << "Song" << "Artist" << "Album" << albums << R"(releasegroup:"Album" AND artist:"Artist")";
        QTest::newRow("no album: the song by its title and artist")
            << "Song" << "Artist" << "" << songs << R"(recording:"Song" AND artist:"Artist")";
        QTest::newRow("title alone: nothing asked") << "Unknown" << "" << "" << QString() << QString();
        QTest::newRow("album without artist: nothing asked") << "Song" << " " << "Greatest Hits" << QString() << QString();
        QTest::newRow("quotes, backslash, plus and ampersand")
            << "x" << "Me + You & \"Co\"" << "Best \\ Hits" << albums
            << "releasegroup:\"Best \\\\ Hits\" AND artist:\"Me + You & \\\"Co\\\"\"";
        QTest::newRow("quotes and plus in the song's title")
            << "1 + 1 \"live\"" << "Artist" << "" << songs << "recording:\"1 + 1 \\\"live\\\"\" AND artist:\"Artist\"";
    }

    void searchQuery()
    {
        QFETCH(QString, title);
        QFETCH(QString, artist);
        QFETCH(QString, album);
        QFETCH(QString, path);
        QFETCH(QString, query);
        m_fake.answer("/ws/2/release-group", FakeAnswer::json(searchAnswer({{kGroup1, 100}})));
        m_fake.answer("/ws/2/recording", FakeAnswer::json(documented::recordingSearch()));
        m_fake.answer(frontPath(kGroup1), FakeAnswer::image(noiseJpeg(1)));
        Capture capture;
        Request request = searchRequest(capture, title, artist, album);
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));
        if (path.isEmpty()) {
            verifyFailedOnce(capture);
            QVERIFY(m_fake.requests().isEmpty());
            QVERIFY(downloadedFiles().isEmpty());
            return;
        }
        const QList<SeenRequest> seen = m_fake.requestsTo(path);
        QCOMPARE(seen.size(), 1);
        QCOMPARE(seen[0].query.queryItemValue("query", QUrl::FullyDecoded), query);
        QCOMPARE(seen[0].query.queryItemValue("fmt"), QStringLiteral("json"));
        QCOMPARE(seen[0].query.queryItemValue("limit"), QStringLiteral("5"));
    }

    void imageSearchFailures_data()
    {
        QTest::addColumn<FakeAnswer>("answer");
        QTest::addColumn<QString>("logged");
        QTest::newRow("rate limited") << FakeAnswer::json("", 503) << "HTTP 503";
        QTest::newRow("rate limited, in the service's words")
            << FakeAnswer::json(documented::kRateLimited, 503)
            << "failed: HTTP 503 (Your requests are exceeding the allowable rate limit.)";
        QTest::newRow("malformed JSON") << FakeAnswer::json("{\"release-groups\": [") << "malformed JSON";
        QTest::newRow("no matches") << FakeAnswer::json(searchAnswer({})) << "found no artwork";
        QTest::newRow("only weak matches") << FakeAnswer::json(searchAnswer({{kGroup1, 49}})) << "found no artwork";
        QTest::newRow("no match has a cover") << FakeAnswer::json(searchAnswer({{kGroup2, 100}, {kGroup3, 90}})) << "found no artwork";
    }

    void imageSearchFailures()
    {
        QFETCH(FakeAnswer, answer);
        QFETCH(QString, logged);
        m_fake.answer("/ws/2/release-group", answer);
        m_fake.answer(frontPath(kGroup1), FakeAnswer::image(noiseJpeg(1)));
        Capture capture;
        Request request = searchRequest(capture, "Song", "Artist", "Album");
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));
        verifyFailedOnce(capture);
        QVERIFY(downloadedFiles().isEmpty());
        QVERIFY2(logText().contains(logged), qPrintable(logText()));
    }

    // Megabytes of server text, lookup after lookup: each entry stays one
    // line of a few hundred characters, and the log stays under its cap by
    // moving to one old file, while it is written.
    void serverTextKeepsTheLogBounded_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<FakeAnswer>("answer");
        QTest::addColumn<QString>("entry");  // what each lookup's line holds
        const QByteArray error = QJsonDocument(QJsonObject{
            {"status", "error"}, {"error", QJsonObject{{"code", 4}, {"message", hostileText(3 * 1000 * 1000)}}}}).toJson();
        QTest::newRow("the service's error message") << "/v2/lookup" << FakeAnswer::json(error, 400) << "lookup failed: HTTP 400 (";
        const QByteArray found = lookupAnswer({match(0.9, {recording(kRec1, hostileText(3 * 1000 * 1000),
                                                                     {artist(hostileText(100 * 1000))},
                                                                     {releaseGroup(kGroup1, hostileText(100 * 1000), "Album")})})});
        QTest::newRow("the title, artist and album found") << "/v2/lookup" << FakeAnswer::json(found) << "Identified ";
        const QByteArray metadataError = QJsonDocument(QJsonObject{{"error", hostileText(3 * 1000 * 1000)},
                                                                   {"help", "For usage, please see the documentation"}}).toJson();
        QTest::newRow("the metadata service's error message")
            << recordingPath(kRec1) << FakeAnswer::json(metadataError, 503) << "unavailable: HTTP 503 (";
    }

    void serverTextKeepsTheLogBounded()
    {
        QFETCH(QString, path);
        QFETCH(FakeAnswer, answer);
        QFETCH(QString, entry);
        // A log a few entries short of its cap, and an old file from before.
        MusicParserCleanup();
        const QByteArray filler("2000-01-01 00:00:00:000 [tid: 1]: an earlier entry\n");
        QByteArray earlier;
        while (earlier.size() + filler.size() <= kLogCap - 2048)
            earlier += filler;
        QVERIFY(testenv::writeAll(logPath(), earlier));
        QVERIFY(testenv::writeAll(logPath("MusicParser.old.log"), "2000-01-01 00:00:00:000 [tid: 1]: stale\n"));
        startLayer();

        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        m_fake.answer(recordingPath(kRec1), FakeAnswer::json(details("1999", votes({{"rock", 1}}))));
        m_fake.answer(path, answer);
        const QString wav = standardWav();
        constexpr int kLookups = 6;
        for (int i = 0; i < kLookups; ++i) {
            Capture capture;
            Request request = infoRequest(capture, wav);
            QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
            QCOMPARE(capture.results.size(), 1);
        }

        QVERIFY(QFileInfo(logPath()).size() <= kLogCap);
        QVERIFY(QFileInfo(logPath("MusicParser.old.log")).size() <= kLogCap);
        QVERIFY(testenv::readAll(logPath("MusicParser.old.log")).startsWith(earlier));
        const QString written = QString::fromUtf8(testenv::readAll(logPath("MusicParser.old.log")).mid(earlier.size())
                                                  + testenv::readAll(logPath()));
        QVERIFY(!written.contains(QChar::ReplacementCharacter));  // no character cut in half
        QVERIFY(!written.contains(QLatin1Char('\r')));
        QVERIFY(!written.contains(QChar(0x1b)));
        QVERIFY(written.contains(QLatin1String("bad key\\n2000-01-01 00:00:00:000 [tid: 1]: forged entry\\r\\n\\u001b[2J")));
        static const QRegularExpression shape(QStringLiteral("^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d:\\d{3} \\[tid: \\d+\\]: "));
        int entries = 0;
        for (const QString& line : written.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
            QVERIFY2(shape.match(line).hasMatch(), qPrintable(line.left(200)));
            QVERIFY2(!line.startsWith(QLatin1String("2000-")), qPrintable(line.left(200)));
            QVERIFY2(line.size() < 4000, qPrintable(line.left(200)));
            entries += line.contains(entry);
        }
        QCOMPARE(entries, kLookups);
    }

    void proxyCarriesEveryRequest()
    {
        // Nothing listens on port 1: an answer can only come through the proxy.
        setServiceUrls("http://127.0.0.1:1");
        FakeService proxy;
        proxy.requireProxyAuth("alice:s3cret");
        proxy.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        proxy.answer(recordingPath(kRec1), FakeAnswer::json(details("1999", votes({{"rock", 1}}))));
        proxy.answer(frontPath(kGroup1), FakeAnswer::image(noiseJpeg(1)));
        const tagParserProxyParam record = proxyRecord(0, "127.0.0.1", proxy.port(), "alice", "s3cret");
        QCOMPARE(MusicParserSetProxyParam(&record), int(MP_OK));

        Capture capture;
        Request request = infoRequest(capture, standardWav());
        capture.coverFrom = request.get();
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        QCOMPARE(capture.results.size(), 2);
        QCOMPARE(capture.results[0].status, int(MP_STATUS_DONE));
        QCOMPARE(capture.results[1].status, int(MP_STATUS_DONE));
        QStringList targets;
        for (const SeenRequest& seen : proxy.requests())
            if (seen.headers.value("proxy-authorization") == "Basic " + QByteArray("alice:s3cret").toBase64())
                targets.append(QString::fromLatin1(seen.target).section(QLatin1Char('?'), 0, 0));
        QCOMPARE(targets, (QStringList{"http://127.0.0.1:1/v2/lookup", "http://127.0.0.1:1" + recordingPath(kRec1),
                                       "http://127.0.0.1:1" + frontPath(kGroup1)}));
        QVERIFY(m_fake.requests().isEmpty());

        // Back to no proxy: the unreachable address now fails.
        const int seen = proxy.requests().size();
        const tagParserProxyParam none = proxyRecord(-1, "127.0.0.1", proxy.port());
        QCOMPARE(MusicParserSetProxyParam(&none), int(MP_OK));
        Capture direct;
        Request search = searchRequest(direct, "Song", "Artist", "Album");
        QCOMPARE(MusicParserGetAlbumCoverData(search.get()), int(MP_OK));
        verifyFailedOnce(direct);
        QCOMPARE(proxy.requests().size(), seen);
    }

    void proxyRecords_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<int>("result");
        QTest::newRow("none") << -1 << QByteArray() << 0 << int(MP_OK);
        QTest::newRow("host and port") << 0 << QByteArray("proxy.example") << 3128 << int(MP_OK);
        QTest::newRow("no host") << 0 << QByteArray() << 3128 << int(MP_ERR_BAD_ARGS);
        QTest::newRow("port 0") << 0 << QByteArray("proxy.example") << 0 << int(MP_ERR_BAD_ARGS);
        QTest::newRow("port too large") << 0 << QByteArray("proxy.example") << 65536 << int(MP_ERR_BAD_ARGS);
        QTest::newRow("unknown kind") << 2 << QByteArray("proxy.example") << 3128 << int(MP_ERR_BAD_ARGS);
    }

    void proxyRecords()
    {
        QFETCH(int, kind);
        QFETCH(QByteArray, host);
        QFETCH(int, port);
        QFETCH(int, result);
        const tagParserProxyParam record = proxyRecord(kind, host, port);
        QCOMPARE(MusicParserSetProxyParam(&record), result);
        tagParserInitParam start{};
        QCOMPARE(MusicParserInit(&start, &record), result);
        QCOMPARE(MusicParserInit(nullptr, nullptr), int(MP_ERR_BAD_ARGS));
        QCOMPARE(MusicParserSetProxyParam(nullptr), int(MP_ERR_BAD_ARGS));
    }

    void stopFromAnotherThread_data()
    {
        QTest::addColumn<QString>("hangingPath");
        QTest::addColumn<bool>("search");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<FakeAnswer>("answer");
        const FakeAnswer never = FakeAnswer::never();
        QTest::newRow("during the lookup") << "/v2/lookup" << false << false << never;
        QTest::newRow("during the metadata") << recordingPath(kRec1) << false << false << never;
        QTest::newRow("during the cover download") << frontPath(kGroup1) << false << true << never;
        QTest::newRow("during the image search") << "/ws/2/release-group" << true << false << never;
        // The longest pause that is waited for.
        QTest::newRow("during the pause before a busy service is asked again")
            << "/v2/lookup" << false << false << FakeAnswer::busy(503, "10", documented::kLookupBusy);
    }

    void stopFromAnotherThread()
    {
        QFETCH(QString, hangingPath);
        QFETCH(bool, search);
        QFETCH(bool, cover);
        QFETCH(FakeAnswer, answer);
        Capture capture;
        Request request = search ? searchRequest(capture, "Song", "Artist", "Album") : infoRequest(capture, standardWav());
        if (cover)
            identify(capture, request.get());
        capture.results.clear();
        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        m_fake.answer(hangingPath, answer);

        Qt::HANDLE workerId = nullptr;
        std::unique_ptr<QThread> worker(QThread::create([&] {
            workerId = QThread::currentThreadId();
            if (search || cover)
                MusicParserGetAlbumCoverData(request.get());
            else
                MusicParserGetTrackData(request.get());
        }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_fake.requestsTo(hangingPath).isEmpty(), 30000);
        QElapsedTimer sinceStop;
        sinceStop.start();
        QCOMPARE(MusicParserStopPerform(request.get()), int(MP_OK));
        QVERIFY(worker->wait(30000)); // a hang guard only
        QVERIFY2(sinceStop.elapsed() < 10000, "the stop waited for the pause to end");
        QCOMPARE(m_fake.requestsTo(hangingPath).size(), 1);
        verifyFailedOnce(capture, MP_STATUS_STOPPED);
        QCOMPARE(capture.results[0].thread, workerId);

        // A stopped request stays stopped and asks for nothing more.
        const int seen = m_fake.requests().size();
        QCOMPARE(MusicParserGetAlbumCoverData(request.get()), int(MP_OK));
        QCOMPARE(capture.results.size(), 2);
        QCOMPARE(capture.results[1].status, int(MP_STATUS_STOPPED));
        QCOMPARE(m_fake.requests().size(), seen);
    }

    void destroyDuringTheCallStopsIt()
    {
        m_fake.answer("/v2/lookup", FakeAnswer::never());
        Capture capture;
        MusicRequestHandle request = infoRequest(capture, standardWav()).release();
        std::unique_ptr<QThread> worker(QThread::create([&] { MusicParserGetTrackData(request); }));
        worker->start();
        QTRY_VERIFY_WITH_TIMEOUT(!m_fake.requestsTo("/v2/lookup").isEmpty(), 30000);
        QCOMPARE(MusicParserDestroyRequest(request), int(MP_OK));
        QVERIFY(worker->wait(30000)); // a hang guard only
        verifyFailedOnce(capture, MP_STATUS_STOPPED);
    }

    void stopBeforeTheCall()
    {
        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        QCOMPARE(MusicParserStopPerform(request.get()), int(MP_OK));
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        verifyFailedOnce(capture, MP_STATUS_STOPPED);
        QVERIFY(m_fake.requests().isEmpty());
    }

    void silentServerTimesOut()
    {
        sennet::setRequestTimeoutMs(500);
        m_fake.answer("/v2/lookup", FakeAnswer::never());
        Capture capture;
        Request request = infoRequest(capture, standardWav());
        QCOMPARE(MusicParserGetTrackData(request.get()), int(MP_OK));
        verifyFailedOnce(capture);
        QVERIFY2(logText().contains("timed out"), qPrintable(logText()));
    }

    void handleMisuse()
    {
        Capture capture;
        QCOMPARE(MusicParserGetTrackData(nullptr), int(MP_ERR_BAD_ARGS));
        QCOMPARE(MusicParserGetAlbumCoverData(nullptr), int(MP_ERR_BAD_ARGS));
        QCOMPARE(MusicParserStopPerform(nullptr), int(MP_ERR_BAD_ARGS));
        QCOMPARE(MusicParserDestroyRequest(nullptr), int(MP_ERR_BAD_ARGS));
        QVERIFY(!MusicParserCreateGnRequest(nullptr));
        QVERIFY(!MusicParserCreateGoogleRequest(nullptr));
        tagInfoRequest noCallback{&capture, kPid, "x.wav", &capture, nullptr};
        QVERIFY(!MusicParserCreateGnRequest(&noCallback));
        tagImageSearchRequest noName{&capture, kPid, nullptr, "Artist", "Album", &capture, onResult};
        QVERIFY(!MusicParserCreateGoogleRequest(&noName));

        Request search = searchRequest(capture, "Song", "Artist", "Album");
        QCOMPARE(MusicParserGetTrackData(search.get()), int(MP_ERR_WRONG_REQUEST));
        QVERIFY(capture.results.isEmpty());
        QVERIFY(m_fake.requests().isEmpty());
    }

    void fourLookupsAtOnce()
    {
        m_fake.answer("/v2/lookup", FakeAnswer::json(simpleLookup()));
        m_fake.answer(recordingPath(kRec1), FakeAnswer::json(details("1999", votes({{"rock", 1}}))));
        const QString wav = standardWav();
        Capture captures[4];
        std::unique_ptr<QThread> workers[4];
        Qt::HANDLE ids[4] = {};
        for (int i = 0; i < 4; ++i) {
            workers[i].reset(QThread::create([&, i] {
                ids[i] = QThread::currentThreadId();
                Request request = infoRequest(captures[i], wav);
                MusicParserGetTrackData(request.get());
            }));
            workers[i]->start();
        }
        for (auto& worker : workers)
            QVERIFY(worker->wait(60000));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(captures[i].results.size(), 1);
            QCOMPARE(captures[i].results[0].status, int(MP_STATUS_DONE));
            QCOMPARE(captures[i].results[0].track, static_cast<void*>(&captures[i]));
            QCOMPARE(captures[i].results[0].thread, ids[i]);
            QCOMPARE(QString::fromUtf8(captures[i].results[0].record.szTitle), QStringLiteral("Song"));
        }
        QCOMPARE(m_fake.requestsTo("/v2/lookup").size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestSennet)
#include "tst_sennet.moc"
