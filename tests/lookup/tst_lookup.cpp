// Online lookups through the exported interface, against fake services on
// 127.0.0.1: the service's start and proxy records, the four download
// slots, identification, album cover, album reuse, image search and their
// fallbacks, the candidate rules, artwork files, and exit and reload while
// lookups run.
#include "cadenzo.h"
#include "documentedanswers.h"
#include "enginedb.h"
#include "lookupfakes.h"
#include "mmsession.h"
#include "testenv.h"
#include "wavmaker.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTest>

#include <sqlite3.h>

#include <memory>

Q_DECLARE_METATYPE(FakeAnswer)

using namespace lookupfakes;
using mmtest::execSql;
using mmtest::RecordSink;
using mmtest::Session;

namespace {

const QString kPlainFixture = QStringLiteral("id3v1-only.mp3");  // every field, no picture
const QString kCoverFixture = QStringLiteral("id3v2-cover.mp3"); // every field and a picture
const QString kTrackAlbum = QStringLiteral("Harbour Lights");
const QString kTrackArtist = QStringLiteral("Orrin Vale");
constexpr int kTrackCount = 5;

QString query(const QString& album, const QString& artist)
{
    return QStringLiteral("releasegroup:\"%1\" AND artist:\"%2\"").arg(album, artist);
}

// One column of a track's row, read beside the engine's own connection.
QByteArray rowValue(const QString& dbPath, const QString& persistentId, const char* column)
{
    sqlite3* db = nullptr;
    QByteArray value;
    sqlite3_stmt* statement = nullptr;
    const QByteArray sql = QByteArray("select ") + column + " from TracksTable where PersistentID=?";
    if (sqlite3_open(dbPath.toUtf8().constData(), &db) == SQLITE_OK
        && sqlite3_prepare_v2(db, sql.constData(), -1, &statement, nullptr) == SQLITE_OK) {
        const QByteArray id = persistentId.toUtf8();
        sqlite3_bind_text(statement, 1, id.constData(), id.size(), SQLITE_TRANSIENT);
        if (sqlite3_step(statement) == SQLITE_ROW)
            value = QByteArray(static_cast<const char*>(sqlite3_column_blob(statement, 0)),
                               sqlite3_column_bytes(statement, 0));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
    return value;
}

void setServiceUrls(const QByteArray& base)
{
    qputenv("VESSOLIN_ACOUSTID_URL", base);
    qputenv("VESSOLIN_MUSICBRAINZ_URL", base);
    qputenv("VESSOLIN_COVERART_URL", base);
}

// Requests to path that carried the credentials (a proxy answers the first
// try without them with 407, and the client asks again).
int authorisedRequests(const FakeService& proxy, const QString& path, const QByteArray& credentials)
{
    int count = 0;
    for (const SeenRequest& seen : proxy.requestsTo(path))
        count += seen.headers.value("proxy-authorization") == "Basic " + credentials.toBase64() ? 1 : 0;
    return count;
}

QString candidate(void* handle, void* track, int index)
{
    char path[1024] = {};
    return MMGetDowndArtworkForItem(handle, track, index, path) == 0 ? QString::fromUtf8(path) : QString();
}

QString currentArtwork(void* handle, void* track)
{
    char path[512] = {};
    return MMGetMusicArtwork(handle, track, path) == 0 ? QString::fromUtf8(path) : QString();
}

} // namespace

class TestLookup : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    std::unique_ptr<Session> m_session;
    QList<void*> m_tracks;
    QString m_wav;

    void* handle() const { return m_session->handle; }

    // Copies of the fixtures as the open library, loaded in the file mode.
    bool loadFixtures(const QStringList& fixtures)
    {
        QStringList files;
        const QString folder = m_session->path(QStringLiteral("music"));
        QDir().mkpath(folder);
        for (int i = 0; i < fixtures.size(); ++i) {
            const QString file = QStringLiteral("%1/%2 %3.mp3").arg(folder, QFileInfo(fixtures[i]).baseName()).arg(i);
            QFile::copy(testenv::fixture(fixtures[i]), file);
            files << file;
        }
        RecordSink sink;
        if (!m_session->load(RUN_FILES, QString(), files, sink) || !sink.waitForEnd())
            return false;
        m_tracks.clear();
        for (const mmtest::Record& r : sink.trackRecords())
            m_tracks << r.track;
        return m_tracks.size() == fixtures.size();
    }

    bool loadTracks(const QString& fixture, int count)
    {
        QStringList fixtures;
        for (int i = 0; i < count; ++i)
            fixtures << fixture;
        return loadFixtures(fixtures);
    }

    bool initService(const QString& downloadFolder, int useProxy, const tagProxySet& proxy)
    {
        const QByteArray folder = downloadFolder.toUtf8();
        tagInitParam param{nullptr, folder.constData(), 0, useProxy, proxy};
        return MMInitManager(handle(), &param) == 0;
    }

    int lookup(int track, int what, DownloadSink& sink, bool withAudio = true, tagFixType fixType = FT_DEFAULT)
    {
        const tagCtlCmdParam param = sink.param();
        const QByteArray wav = m_wav.toUtf8();
        return MMDownloadMusicInfo(handle(), m_tracks.value(track), withAudio ? wav.constData() : nullptr,
                                   what, &param, fixType);
    }

    Download lookupAndWait(int track, int what, bool withAudio = true)
    {
        DownloadSink sink;
        if (lookup(track, what, sink, withAudio) != 0 || !sink.waitForCount(1))
            return Download();
        return sink.records().first();
    }

    // A request ends with its record and then its thread. Asking again for
    // the slot that request used waits for that thread, so afterwards no
    // record of it can still come. The last track fails at once: no audio.
    void settle()
    {
        DownloadSink sink;
        QCOMPARE(lookup(kTrackCount - 1, DW_INFO, sink, false), 0);
        QVERIFY(sink.waitForCount(1));
    }

    void answerIdentification(const QString& genre = QStringLiteral("Rock"))
    {
        m_fake.answer(lookupPath(), FakeAnswer::json(lookupAnswer(true)));
        m_fake.answer(recordingPath(), FakeAnswer::json(recordingDetails("1999-05-04", genre)));
    }

    void answerSearch()
    {
        m_fake.answer(searchPath(), FakeAnswer::json(searchAnswer({kSearchGroupA, kSearchGroupB})));
        m_fake.answer(frontPath(kSearchGroupA), FakeAnswer::image(noiseJpeg(2)));
        m_fake.answer(frontPath(kSearchGroupB), FakeAnswer::image(noiseJpeg(3)));
    }

    void verifyRecord(const Download& d, void* track, int info, int artwork)
    {
        QCOMPARE(d.operation, int(CMD_DOWNLOAD));
        QCOMPARE(d.track, track);
        QCOMPARE(d.info, info);
        QCOMPARE(d.artwork, artwork);
        QCOMPARE(d.absence, 0);
        QVERIFY(!d.location);
        QVERIFY(d.thread != QThread::currentThreadId());
        QCOMPARE(MMGetGNInfoState(handle(), track), info);
        QCOMPARE(MMGetGNArtworkState(handle(), track), artwork);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.port() != 0);
        qputenv("VESSOLIN_ACOUSTID_KEY", "test-key");
    }

    void init()
    {
        m_fake.reset();
        setServiceUrls(m_fake.baseUrl());
        m_session = std::make_unique<Session>();
        QVERIFY(m_session->handle);
        QVERIFY(loadTracks(kPlainFixture, kTrackCount));
        m_wav = m_session->path(QStringLiteral("song.wav"));
        QVERIFY(testenv::writeAll(m_wav, wavmaker::wav(wavmaker::melody(44100, 2, 10), 44100, 2)));
        QVERIFY(initService(m_session->artworkFolder(), 0, tagProxySet{-1, nullptr, 0, nullptr, nullptr}));
    }

    void cleanup()
    {
        m_session.reset();
        m_tracks.clear();
    }

    void startRecordReachesService_data()
    {
        QTest::addColumn<int>("useProxy");
        QTest::newRow("with a proxy") << 1;
        QTest::newRow("proxy fields filled but not in use") << 0;
    }

    void startRecordReachesService()
    {
        QFETCH(int, useProxy);
        FakeService proxy;
        proxy.requireProxyAuth("alice:s3cret");
        for (FakeService* service : {&proxy, &m_fake}) {
            service->answer(lookupPath(), FakeAnswer::json(lookupAnswer(true)));
            service->answer(recordingPath(), FakeAnswer::json(recordingDetails("1999", "Rock")));
            service->answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        }
        // Through the proxy the services sit where nothing listens.
        if (useProxy)
            setServiceUrls("http://127.0.0.1:1");
        const QString downloads = m_session->path(QStringLiteral("downloads"));
        const QByteArray host("127.0.0.1");
        QVERIFY(initService(downloads, useProxy, tagProxySet{0, host.constData(), proxy.port(), "alice", "s3cret"}));

        verifyRecord(lookupAndWait(0, DW_INFO | DW_INFO_ARTWORK), m_tracks[0], DS_DONE, DS_DONE);
        const FakeService& used = useProxy ? proxy : m_fake;
        const FakeService& unused = useProxy ? m_fake : proxy;
        QVERIFY(unused.requests().isEmpty());
        if (useProxy)
            QCOMPARE(authorisedRequests(proxy, lookupPath(), "alice:s3cret"), 1);
        else
            QCOMPARE(used.requestsTo(lookupPath()).size(), 1);
        // The download folder and the log folder of the start record.
        QCOMPARE(QFileInfo(candidate(handle(), m_tracks[0], 0)).absolutePath(), downloads);
        QVERIFY(QFileInfo::exists(m_session->dataFolder() + QStringLiteral("/MusicParser.log")));
    }

    void proxyChangeReachesService()
    {
        setServiceUrls("http://127.0.0.1:1");
        FakeService proxies[2];
        const QByteArray users[2] = {"alice:s3cret", "bob:pw"};
        for (int i = 0; i < 2; ++i) {
            proxies[i].requireProxyAuth(users[i]);
            proxies[i].answer(lookupPath(), FakeAnswer::json(lookupAnswer(true)));
            proxies[i].answer(recordingPath(), FakeAnswer::json(recordingDetails("1999", "Rock")));
        }
        const QByteArray host("127.0.0.1");
        for (int i = 0; i < 2; ++i) {
            const QList<QByteArray> user = users[i].split(':');
            tagProxySet proxy{0, host.constData(), proxies[i].port(), user[0].constData(), user[1].constData()};
            QCOMPARE(MMSetProxy(handle(), &proxy), 0);
            verifyRecord(lookupAndWait(i, DW_INFO), m_tracks[i], DS_DONE, DS_NONE);
            QCOMPARE(authorisedRequests(proxies[i], lookupPath(), users[i]), 1);
            QCOMPARE(authorisedRequests(proxies[i], recordingPath(), users[i]), 1);
        }
        QCOMPARE(proxies[0].requestsTo(lookupPath()).size(), 2); // the second lookup went elsewhere

        const int seen = proxies[0].requests().size() + proxies[1].requests().size();
        tagProxySet none{-1, nullptr, 0, nullptr, nullptr};
        QCOMPARE(MMSetProxy(handle(), &none), 0);
        verifyRecord(lookupAndWait(2, DW_INFO), m_tracks[2], DS_FAILED, DS_NONE);
        QCOMPARE(proxies[0].requests().size() + proxies[1].requests().size(), seen);
    }

    void unusableProxyRecordsAreRefused_data()
    {
        QTest::addColumn<QByteArray>("host");
        QTest::addColumn<int>("port");
        QTest::addColumn<QByteArray>("password");
        QTest::addColumn<int>("result");
        QTest::newRow("kind 0 without a host") << QByteArray() << 3128 << QByteArray() << -1;
        QTest::newRow("port 0") << QByteArray("proxy.example") << 0 << QByteArray() << -1;
        QTest::newRow("host longer than its field") << QByteArray(64, 'h') << 3128 << QByteArray() << int(MM_ERR_BAD_ARGS);
        QTest::newRow("password longer than its field") << QByteArray("proxy.example") << 3128 << QByteArray(16, 'p')
                                                        << int(MM_ERR_BAD_ARGS);
        QTest::newRow("longest texts that fit") << QByteArray(63, 'h') << 3128 << QByteArray(15, 'p') << 0;
    }

    void unusableProxyRecordsAreRefused()
    {
        QFETCH(QByteArray, host);
        QFETCH(int, port);
        QFETCH(QByteArray, password);
        QFETCH(int, result);
        tagProxySet proxy{0, host.isEmpty() ? nullptr : host.constData(), port, "user",
                          password.isEmpty() ? nullptr : password.constData()};
        QCOMPARE(MMSetProxy(handle(), &proxy), result);
        tagInitParam start{nullptr, "/tmp", 0, 1, proxy};
        QCOMPARE(MMInitManager(handle(), &start), result);
        QCOMPARE(MMSetProxy(handle(), nullptr), int(MM_ERR_BAD_ARGS));
        QCOMPARE(MMSetProxy(nullptr, &proxy), -1);
        QCOMPARE(MMInitManager(nullptr, &start), -1);
    }

    void fourLookupsInFlightAndAFifthRefused()
    {
        m_fake.answer(lookupPath(), FakeAnswer::never());
        DownloadSink sink;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(lookup(i, DW_INFO, sink), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_fake.requestsTo(lookupPath()).size(), 4, kWaitMs);
        QCOMPARE(lookup(4, DW_INFO, sink), -1);

        // Bad requests are refused before a slot is looked for.
        const tagCtlCmdParam param = sink.param();
        QCOMPARE(MMDownloadMusicInfo(handle(), nullptr, nullptr, DW_INFO, &param, FT_DEFAULT), int(MM_ERR_BAD_ARGS));
        QCOMPARE(MMDownloadMusicInfo(nullptr, m_tracks[4], nullptr, DW_INFO, &param, FT_DEFAULT), int(MM_ERR_BAD_ARGS));
        QCOMPARE(MMDownloadMusicInfo(handle(), m_tracks[4], nullptr, DW_INFO, nullptr, FT_DEFAULT), int(MM_ERR_BAD_ARGS));
        QCOMPARE(MMDownloadMusicInfo(handle(), m_tracks[4], nullptr, 0x1, &param, FT_DEFAULT), int(MM_ERR_BAD_ARGS));

        // The exit stops the four calls that wait on the service.
        QCOMPARE(MMSetExitState(handle(), 1), 0);
        QVERIFY(sink.records().isEmpty());
        QCOMPARE(lookup(4, DW_INFO, sink), -1);
    }

    void slotFreedByACompletionIsTakenAtOnce()
    {
        // Three slots wait on an image search; the fourth serves a chain of
        // identifications that fail at once (no audio). Each is asked for
        // while the previous one's thread is still in its callback, held
        // there until just before the request.
        m_fake.answer(searchPath(), FakeAnswer::never());
        DownloadSink waiting;
        for (int i = 1; i <= 3; ++i)
            QCOMPARE(lookup(i, DW_SEARCH_ARTWORK, waiting, false), 0);
        DownloadSink chain;
        QSemaphore hold;
        chain.holdAfterRecord = &hold;
        constexpr int kChain = 10;
        QCOMPARE(lookup(0, DW_INFO, chain, false), 0);
        for (int i = 1; i < kChain; ++i) {
            QVERIFY(chain.arrived.tryAcquire(1, kWaitMs));
            hold.release();
            QCOMPARE(lookup(0, DW_INFO, chain, false), 0);
        }
        hold.release();
        QCOMPARE(lookup(4, DW_INFO, chain, false), -1); // all four taken again
        QVERIFY(chain.waitForCount(kChain));
        for (const Download& d : chain.records())
            verifyRecord(d, m_tracks[0], DS_FAILED, DS_NONE);
        QCOMPARE(MMSetExitState(handle(), 1), 0);
        QVERIFY(waiting.records().isEmpty());
    }

    void lookupPaths_data()
    {
        QTest::addColumn<int>("what");
        QTest::addColumn<bool>("audio");
        QTest::addColumn<bool>("known");
        QTest::addColumn<bool>("cover");
        QTest::addColumn<bool>("found");
        QTest::addColumn<int>("info");
        QTest::addColumn<int>("artwork");
        QTest::addColumn<int>("candidates");
        QTest::addColumn<QString>("searched");
        const int all = DW_INFO | DW_INFO_ARTWORK | DW_SEARCH_ARTWORK;
        const QString own = query(kTrackAlbum, kTrackArtist);
        const QString identified = query("Album", "Artist");
        QTest::newRow("identification and album cover")
            << (DW_INFO | DW_INFO_ARTWORK) << true << true << true << true << int(DS_DONE) << int(DS_DONE) << 1 << QString();
        QTest::newRow("unknown song: image search by the track's own fields")
            << all << true << false << true << true << int(DS_FAILED) << int(DS_DONE) << 2 << own;
        QTest::newRow("no album cover: image search by the identified fields")
            << all << true << true << false << true << int(DS_DONE) << int(DS_DONE) << 2 << identified;
        QTest::newRow("identification, then image search")
            << (DW_INFO | DW_SEARCH_ARTWORK) << true << true << true << true << int(DS_DONE) << int(DS_DONE) << 2 << identified;
        QTest::newRow("image search alone")
            << int(DW_SEARCH_ARTWORK) << false << true << true << true << int(DS_NONE) << int(DS_DONE) << 2 << own;
        QTest::newRow("information only")
            << int(DW_INFO) << true << true << true << true << int(DS_DONE) << int(DS_NONE) << 0 << QString();
        QTest::newRow("unknown song, no search asked")
            << (DW_INFO | DW_INFO_ARTWORK) << true << false << true << true << int(DS_FAILED) << int(DS_NONE) << 0 << QString();
        QTest::newRow("no album cover, no search asked")
            << (DW_INFO | DW_INFO_ARTWORK) << true << true << false << true << int(DS_DONE) << int(DS_FAILED) << 0 << QString();
        QTest::newRow("every lookup fails")
            << all << true << true << false << false << int(DS_DONE) << int(DS_FAILED) << 0 << identified;
        QTest::newRow("a failed image search marks the artwork failed")
            << int(DW_SEARCH_ARTWORK) << false << true << true << false << int(DS_NONE) << int(DS_FAILED) << 0 << own;
    }

    void lookupPaths()
    {
        QFETCH(int, what);
        QFETCH(bool, audio);
        QFETCH(bool, known);
        QFETCH(bool, cover);
        QFETCH(bool, found);
        QFETCH(int, info);
        QFETCH(int, artwork);
        QFETCH(int, candidates);
        QFETCH(QString, searched);
        m_fake.answer(lookupPath(), FakeAnswer::json(lookupAnswer(known)));
        m_fake.answer(recordingPath(), FakeAnswer::json(recordingDetails("1999-05-04", "Rock")));
        if (cover)
            m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        if (found)
            answerSearch();
        else
            m_fake.answer(searchPath(), FakeAnswer::json(searchAnswer({})));

        DownloadSink sink;
        QCOMPARE(lookup(0, what, sink, audio, tagFixType(1)), 0);
        // What the application reads while the lookup runs: never its
        // working copy, but states and candidates.
        QDeadlineTimer guard(kWaitMs);
        while (sink.records().isEmpty() && !guard.hasExpired()) {
            for (int i = 0; i < MMGetDowndArtworkCount(handle(), m_tracks[0]); ++i)
                candidate(handle(), m_tracks[0], i);
            MMGetGNInfoState(handle(), m_tracks[0]);
            MMGetGNArtworkState(handle(), m_tracks[0]);
        }
        settle();

        QCOMPARE(sink.records().size(), 1);
        const Download d = sink.records().first();
        verifyRecord(d, m_tracks[0], info, artwork);
        QCOMPARE(d.fixType, 1);
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[0]), candidates);
        const QList<SeenRequest> searches = m_fake.requestsTo(searchPath());
        QCOMPARE(searches.size(), searched.isEmpty() ? 0 : 1);
        if (!searched.isEmpty())
            QCOMPARE(searches[0].query.queryItemValue("query", QUrl::FullyDecoded), searched);

        const tagMMusicInfo* working = m_session->info(m_tracks[0]);
        const bool identifiedNow = (what & (DW_INFO | DW_INFO_ARTWORK)) && known;
        QCOMPARE(working->strName, identifiedNow ? QStringLiteral("Song") : QStringLiteral("Lantern Steps"));
        QCOMPARE(working->strAlbum, identifiedNow ? QStringLiteral("Album") : kTrackAlbum);
        QCOMPARE(working->strYear, identifiedNow ? QStringLiteral("1999") : QStringLiteral("1998"));
        QCOMPARE(m_session->info(m_tracks[0], INFO_ORIGINAL)->strName, QStringLiteral("Lantern Steps"));
        // The first candidate is the track's artwork, on disk as served.
        const QString chosen = currentArtwork(handle(), m_tracks[0]);
        QCOMPARE(chosen, candidate(handle(), m_tracks[0], 0));
        if (candidates > 0) {
            const QByteArray served = (what & DW_INFO_ARTWORK) && known && cover ? noiseJpeg(1) : noiseJpeg(2);
            QCOMPARE(testenv::readAll(chosen), served);
            QCOMPARE(QFileInfo(chosen).absolutePath(), m_session->artworkFolder());
        }
    }

    void identificationIsStoredInTheRow()
    {
        answerIdentification(QStringLiteral("Rock"));
        verifyRecord(lookupAndWait(1, DW_INFO), m_tracks[1], DS_DONE, DS_NONE);
        const QString id = m_session->persistentId(m_tracks[1]);
        QCOMPARE(rowValue(m_session->dbPath(), id, "Name"), QByteArray("Song"));
        QCOMPARE(rowValue(m_session->dbPath(), id, "Artist"), QByteArray("Artist"));
        QCOMPARE(rowValue(m_session->dbPath(), id, "Album"), QByteArray("Album"));
        QCOMPARE(rowValue(m_session->dbPath(), id, "Year"), QByteArray("1999"));
        QCOMPARE(rowValue(m_session->dbPath(), id, "Genre"), QByteArray("Rock"));
        // The other tracks' rows are untouched.
        const QString other = m_session->persistentId(m_tracks[2]);
        QCOMPARE(rowValue(m_session->dbPath(), other, "Name"), QByteArray("Lantern Steps"));
    }

    // Answers as the services document them: a compilation listed before the
    // studio album, a recording with tags but no genres, another song among
    // the song's recordings, the song spelled otherwise, weak matches, busy
    // services, answers that cannot be read; and tracks that name too little
    // to search a cover by, or whose search also finds another song. What
    // the row holds afterwards is read beside the engine.
    void identificationTakesTheAlbumAndGenre_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<QStringList>("typed");  // title, then artist, typed by the user first where not empty
        QTest::addColumn<int>("what");
        QTest::addColumn<FakeAnswer>("lookup");
        QTest::addColumn<FakeAnswer>("recordingAnswer");
        QTest::addColumn<FakeAnswer>("albumAnswer");
        QTest::addColumn<QByteArray>("songSearch");  // the recording search's answer
        QTest::addColumn<int>("info");
        QTest::addColumn<int>("artwork");
        QTest::addColumn<QStringList>("stored");  // Name, Artist, Album, Year, Genre of the row
        QTest::addColumn<QString>("searched");    // path and query of the image search, empty for none
        const FakeAnswer documentedLookup = FakeAnswer::json(documented::compilationFirstLookup());
        const FakeAnswer tagsOnly = FakeAnswer::json(documented::recording(documented::kNone, documented::kListenerTags));
        const FakeAnswer softRock = FakeAnswer::json(documented::releaseGroup(documented::kSoftRock, documented::kListenerTags));
        const QByteArray noSearch;
        const QStringList own{"Lantern Steps", kTrackArtist, kTrackAlbum, "1998", "Jazz"};
        const QStringList northShore{"Tidewater", "Ansel Ruhe & The Shoals", "North Shore", "1977", "soft rock"};
        QTest::newRow("the album's genre")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup << tagsOnly << softRock << noSearch
            << int(DS_DONE) << int(DS_NONE) << northShore << QString();
        QTest::newRow("no genre anywhere: the track keeps its own")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup
            << tagsOnly << FakeAnswer::json(documented::releaseGroup(documented::kNone, documented::kFormatTag)) << noSearch
            << int(DS_DONE) << int(DS_NONE) << QStringList{"Tidewater", "Ansel Ruhe & The Shoals", "North Shore", "1977", "Jazz"}
            << QString();
        QTest::newRow("the song on compilations only, another song on a plain album")
            << kPlainFixture << QStringList() << int(DW_INFO) << FakeAnswer::json(documented::anotherSongBesideCompilationsLookup())
            << tagsOnly << softRock << noSearch << int(DS_DONE) << int(DS_NONE)
            << QStringList{"Tidewater", "Ansel Ruhe", "Seventies Gold: 40 Hits", "1977", "soft rock"} << QString();
        const QString cafe = QStringLiteral("Caf\u00e9 Noir"), ruhe = QStringLiteral("Anselm R\u00fche");
        QTest::newRow("the song's recording on the plain album in decomposed Unicode")
            << kPlainFixture << QStringList() << int(DW_INFO)
            << FakeAnswer::json(documented::spelledOtherwiseLookup(cafe, ruhe, cafe.normalized(QString::NormalizationForm_D),
                                                                   ruhe.normalized(QString::NormalizationForm_D)))
            << tagsOnly << softRock << noSearch << int(DS_DONE) << int(DS_NONE)
            << QStringList{cafe, ruhe, "North Shore", "1977", "soft rock"} << QString();
        const QString curly = QStringLiteral("Don\u2019t Say \u201cWhen\u201d");
        QTest::newRow("the song's recording on the plain album with straight quotes")
            << kPlainFixture << QStringList() << int(DW_INFO)
            << FakeAnswer::json(documented::spelledOtherwiseLookup(curly, "Ansel Ruhe", QStringLiteral("don't say \"when\""),
                                                                   "Ansel Ruhe"))
            << tagsOnly << softRock << noSearch << int(DS_DONE) << int(DS_NONE)
            << QStringList{curly, "Ansel Ruhe", "North Shore", "1977", "soft rock"} << QString();
        QTest::newRow("the documented answer at 0.42: no match")
            << kPlainFixture << QStringList() << int(DW_INFO) << FakeAnswer::json(documented::compilationFirstLookup(0.42))
            << tagsOnly << softRock << noSearch << int(DS_FAILED) << int(DS_NONE) << own << QString();
        QTest::newRow("the best result without recordings, then one at 0.45: no match")
            << kPlainFixture << QStringList() << int(DW_INFO) << FakeAnswer::json(documented::recordinglessFirstLookup(0.45))
            << tagsOnly << softRock << noSearch << int(DS_FAILED) << int(DS_NONE) << own << QString();
        QTest::newRow("the best result without recordings, then a strong one")
            << kPlainFixture << QStringList() << int(DW_INFO) << FakeAnswer::json(documented::recordinglessFirstLookup(0.9))
            << tagsOnly << softRock << noSearch << int(DS_DONE) << int(DS_NONE) << northShore << QString();
        QTest::newRow("the lookup busy once, asked again")
            << kPlainFixture << QStringList() << int(DW_INFO)
            << documentedLookup.after({FakeAnswer::busy(503, "0", documented::kLookupBusy)}) << tagsOnly << softRock
            << noSearch << int(DS_DONE) << int(DS_NONE) << northShore << QString();
        const FakeAnswer metadataBusy = FakeAnswer::busy(503, "0", documented::kRateLimited);
        QTest::newRow("both metadata lookups busy twice: not identified")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup
            << metadataBusy << metadataBusy << noSearch << int(DS_FAILED) << int(DS_NONE) << own << QString();
        FakeAnswer portal = FakeAnswer::json(documented::kPortalPage);
        portal.contentType = "text/html";
        QTest::newRow("a portal's page instead of both metadata answers: not identified")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup << portal << portal << noSearch
            << int(DS_FAILED) << int(DS_NONE) << own << QString();
        const FakeAnswer errorObject = FakeAnswer::json(documented::kRateLimited);
        QTest::newRow("the service's error object with 200 for both: not identified")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup << errorObject << errorObject << noSearch
            << int(DS_FAILED) << int(DS_NONE) << own << QString();
        FakeAnswer cutOff = tagsOnly;
        cutOff.sentBytes = int(cutOff.body.size() / 2);
        FakeAnswer badGateway = FakeAnswer::json(documented::kBadGatewayPage, 502);
        badGateway.contentType = "text/html";
        QTest::newRow("the recording's answer cut off, the album's a 502 page: not identified")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup << cutOff << badGateway << noSearch
            << int(DS_FAILED) << int(DS_NONE) << own << QString();
        FakeAnswer proxyRefusal = FakeAnswer::json(documented::kPortalPage, 407);
        proxyRefusal.contentType = "text/html";
        QTest::newRow("a proxy's refusal for both metadata answers: not identified")
            << kPlainFixture << QStringList() << int(DW_INFO) << documentedLookup << proxyRefusal << proxyRefusal
            << noSearch << int(DS_FAILED) << int(DS_NONE) << own << QString();
        const int all = DW_INFO | DW_INFO_ARTWORK | DW_SEARCH_ARTWORK;
        const FakeAnswer unknown = FakeAnswer::json(lookupAnswer(false));
        QTest::newRow("a title alone: no image search")
            << QStringLiteral("untagged.mp3") << QStringList{"Unknown"} << all << unknown << tagsOnly << softRock << noSearch
            << int(DS_FAILED) << int(DS_FAILED) << QStringList{"Unknown", "", "", "", ""} << QString();
        const QString greyWater = QStringLiteral("Grey Water Caf\u00e9");
        QTest::newRow("a title and an artist: the song's releases are searched")
            << QStringLiteral("id3v2-partial.mp3") << QStringList() << all << unknown << tagsOnly << softRock
            << documented::recordingSearch(greyWater.normalized(QString::NormalizationForm_D), "Mira Kessel")
            << int(DS_FAILED) << int(DS_DONE) << QStringList{greyWater, "Mira Kessel", "", "", ""}
            << QStringLiteral("/ws/2/recording?recording:\"Grey Water Caf\u00e9\" AND artist:\"Mira Kessel\"");
        QTest::newRow("the song's single has no cover: none of the medley's compilation")
            << QStringLiteral("id3v2-partial.mp3") << QStringList{"Hocus Pocus", "Focus"} << all << unknown << tagsOnly
            << softRock << documented::medleySearch() << int(DS_FAILED) << int(DS_FAILED)
            << QStringList{"Hocus Pocus", "Focus", "", "", ""}
            << QStringLiteral("/ws/2/recording?recording:\"Hocus Pocus\" AND artist:\"Focus\"");
    }

    void identificationTakesTheAlbumAndGenre()
    {
        QFETCH(QString, fixture);
        QFETCH(QStringList, typed);
        QFETCH(int, what);
        QFETCH(FakeAnswer, lookup);
        QFETCH(FakeAnswer, recordingAnswer);
        QFETCH(FakeAnswer, albumAnswer);
        QFETCH(QByteArray, songSearch);
        QFETCH(int, info);
        QFETCH(int, artwork);
        QFETCH(QStringList, stored);
        QFETCH(QString, searched);
        QVERIFY(loadFixtures({fixture, kPlainFixture, kPlainFixture, kPlainFixture, kPlainFixture}));
        const int fields[] = {MF_TITLE, MF_ARTIST};
        for (int i = 0; i < typed.size(); ++i) {
            const QByteArray value = typed[i].toUtf8();
            const char* values[] = {value.constData()};
            QCOMPARE(MMSetUserMusicInfo(handle(), m_tracks[0], fields[i], values), 0);
        }
        m_fake.answer(lookupPath(), lookup);
        m_fake.answer(recordingPath(), recordingAnswer);
        m_fake.answer(QStringLiteral("/ws/2/release-group/") + kAlbumGroup, albumAnswer);
        // Whatever is searched finds covers.
        answerSearch();
        m_fake.answer(songSearchPath(), FakeAnswer::json(songSearch));
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        verifyRecord(lookupAndWait(0, what), m_tracks[0], info, artwork);

        const QString id = m_session->persistentId(m_tracks[0]);
        const QStringList row{QString::fromUtf8(rowValue(m_session->dbPath(), id, "Name")),
                              QString::fromUtf8(rowValue(m_session->dbPath(), id, "Artist")),
                              QString::fromUtf8(rowValue(m_session->dbPath(), id, "Album")),
                              QString::fromUtf8(rowValue(m_session->dbPath(), id, "Year")),
                              QString::fromUtf8(rowValue(m_session->dbPath(), id, "Genre"))};
        QCOMPARE(row, stored);
        QStringList searches;
        for (const SeenRequest& seen : m_fake.requests())
            if (seen.path == searchPath() || seen.path == songSearchPath())
                searches << seen.path + QLatin1Char('?') + seen.query.queryItemValue("query", QUrl::FullyDecoded);
        QCOMPARE(searches, searched.isEmpty() ? QStringList() : QStringList{searched});
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[0]) > 0, artwork == DS_DONE);
        if (artwork == DS_DONE)
            QCOMPARE(testenv::readAll(currentArtwork(handle(), m_tracks[0])), noiseJpeg(1));
    }

    void genreNumberPrefix_data()
    {
        QTest::addColumn<QString>("served");
        QTest::addColumn<QString>("stored");
        QTest::newRow("17.Pop") << "17.Pop" << "Pop";
        QTest::newRow("12.Rock") << "12.Rock" << "Rock";
        QTest::newRow("Hip.Hop") << "Hip.Hop" << "Hip.Hop";
        QTest::newRow("only the first number goes") << "1.2.Jazz" << "2.Jazz";
        QTest::newRow("no number before the dot") << ".Rock" << ".Rock";
        QTest::newRow("a number without a dot") << "17" << "17";
        QTest::newRow("a signed number") << "-3.Rock" << "-3.Rock";
    }

    void genreNumberPrefix()
    {
        QFETCH(QString, served);
        QFETCH(QString, stored);
        answerIdentification(served);
        verifyRecord(lookupAndWait(0, DW_INFO), m_tracks[0], DS_DONE, DS_NONE);
        QCOMPARE(m_session->info(m_tracks[0])->strGenre, stored);
        QCOMPARE(QString::fromUtf8(rowValue(m_session->dbPath(), m_session->persistentId(m_tracks[0]), "Genre")),
                 stored);
    }

    void candidateSizeRule_data()
    {
        QTest::addColumn<int>("coverBytes");
        QTest::addColumn<int>("candidates");
        QTest::addColumn<int>("artwork");
        QTest::newRow("1000 bytes is too small") << 1000 << 0 << int(DS_FAILED);
        QTest::newRow("1001 bytes is enough") << 1001 << 1 << int(DS_DONE);
    }

    void candidateSizeRule()
    {
        QFETCH(int, coverBytes);
        QFETCH(int, candidates);
        QFETCH(int, artwork);
        answerIdentification();
        const QByteArray image = jpegOfSize(coverBytes);
        QCOMPARE(image.size(), coverBytes);
        QVERIFY(!QImage::fromData(image).isNull());
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(image));
        verifyRecord(lookupAndWait(0, DW_INFO | DW_INFO_ARTWORK), m_tracks[0], DS_DONE, artwork);
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[0]), candidates);
        // The file is downloaded either way; only the big enough one is offered.
        QCOMPARE(QDir(m_session->artworkFolder()).entryList(QDir::Files).size(), 1);
    }

    void smallSearchImagesAreNotOffered()
    {
        m_fake.answer(searchPath(), FakeAnswer::json(searchAnswer({kSearchGroupA, kSearchGroupB})));
        m_fake.answer(frontPath(kSearchGroupA), FakeAnswer::image(jpegOfSize(900)));
        m_fake.answer(frontPath(kSearchGroupB), FakeAnswer::image(noiseJpeg(3)));
        verifyRecord(lookupAndWait(0, DW_SEARCH_ARTWORK, false), m_tracks[0], DS_NONE, DS_DONE);
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[0]), 1);
        QCOMPARE(testenv::readAll(candidate(handle(), m_tracks[0], 0)), noiseJpeg(3));
    }

    void secondTrackOfAnAlbumReusesItsCover()
    {
        answerIdentification();
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        verifyRecord(lookupAndWait(0, DW_INFO | DW_INFO_ARTWORK), m_tracks[0], DS_DONE, DS_DONE);
        verifyRecord(lookupAndWait(1, DW_INFO | DW_INFO_ARTWORK), m_tracks[1], DS_DONE, DS_DONE);
        QCOMPARE(m_fake.requestsTo(frontPath(kAlbumGroup)).size(), 1);
        QCOMPARE(m_fake.requestsTo(lookupPath()).size(), 2);
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[1]), 1);
        const QString first = candidate(handle(), m_tracks[0], 0);
        QCOMPARE(candidate(handle(), m_tracks[1], 0), first);
        QCOMPARE(currentArtwork(handle(), m_tracks[1]), first);
        QCOMPARE(m_session->info(m_tracks[1])->strName, QStringLiteral("Song"));
    }

    void albumOfATrackFoundCompleteIsNotReused()
    {
        // The first track is identified with its cover, then found complete
        // by an analysis and deleted by the save that follows it.
        QVERIFY(loadFixtures({kPlainFixture, QStringLiteral("id3v2-partial.mp3"), kPlainFixture, kPlainFixture,
                              kPlainFixture}));
        answerIdentification();
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        verifyRecord(lookupAndWait(0, DW_INFO | DW_INFO_ARTWORK), m_tracks[0], DS_DONE, DS_DONE);
        RecordSink analysis;
        const tagCtlCmdParam param = analysis.param(CMD_ANALYSE);
        QCOMPARE(MMAnalyzeMusicInfo(handle(), &param, MF_ALBUM), 0);
        QVERIFY(analysis.waitForEnd());
        // Beginning a transaction waits for the save.
        QCOMPARE(MMDBTransaction(handle(), false), 0);
        QCOMPARE(MMDBTransaction(handle(), true), 0);
        QCOMPARE(MMGetMusicCountAMode(handle(), nullptr, nullptr), 1);
        void* partial = nullptr;
        QCOMPARE(MMGetMusicListMusic(handle(), 0, &partial, nullptr, nullptr, nullptr), 0);
        QCOMPARE(partial, m_tracks[1]);

        // The second track of that album asks for the cover itself.
        Download d = lookupAndWait(1, DW_INFO | DW_INFO_ARTWORK);
        QCOMPARE(d.info, int(DS_DONE));
        QCOMPARE(d.artwork, int(DS_DONE));
        QCOMPARE(m_fake.requestsTo(frontPath(kAlbumGroup)).size(), 2);
        QCOMPARE(MMGetDowndArtworkCount(handle(), partial), 1);
        QCOMPARE(testenv::readAll(candidate(handle(), partial, 0)), noiseJpeg(1));
    }

    void failedSearchKeepsArtworkFoundBefore()
    {
        answerSearch();
        verifyRecord(lookupAndWait(0, DW_SEARCH_ARTWORK, false), m_tracks[0], DS_NONE, DS_DONE);
        m_fake.answer(searchPath(), FakeAnswer::json("busy", 503));
        verifyRecord(lookupAndWait(0, DW_SEARCH_ARTWORK, false), m_tracks[0], DS_NONE, DS_DONE);
        QCOMPARE(MMGetDowndArtworkCount(handle(), m_tracks[0]), 2);
    }

    void choosingACandidate()
    {
        // A track the analysis found without artwork keeps the chosen
        // picture in its row, for applying.
        const QString id = m_session->persistentId(m_tracks[0]);
        MMDestroyMusicLibrary(handle());
        QVERIFY(execSql(m_session->dbPath(), QStringLiteral("update TracksTable set Absence=%1 where PersistentID='%2'")
                                                 .arg(int(MF_ARTWORK)).arg(id)));
        RecordSink load;
        QVERIFY(m_session->load(RUN_PROJECT, QString(), {}, load));
        QVERIFY(load.waitForEnd());
        void* track = nullptr;
        for (const mmtest::Record& r : load.trackRecords())
            if (m_session->persistentId(r.track) == id)
                track = r.track;
        QVERIFY(track);
        m_tracks[0] = track;

        answerSearch();
        Download d = lookupAndWait(0, DW_SEARCH_ARTWORK, false);
        QCOMPARE(d.artwork, int(DS_DONE));
        QCOMPARE(d.absence, int(MF_ARTWORK));
        const QString first = candidate(handle(), track, 0), second = candidate(handle(), track, 1);
        QCOMPARE(rowValue(m_session->dbPath(), id, "ArtData"), testenv::readAll(first));
        QCOMPARE(MMSetDowndArtworkForItem(handle(), track, 1), 0);
        QCOMPARE(currentArtwork(handle(), track), second);
        QCOMPARE(rowValue(m_session->dbPath(), id, "ArtData"), testenv::readAll(second));
        QCOMPARE(rowValue(m_session->dbPath(), id, "ArtPath"), second.toUtf8());

        QCOMPARE(MMSetDowndArtworkForItem(handle(), track, 2), -1);
        QCOMPARE(MMSetDowndArtworkForItem(handle(), nullptr, 0), -1);
        QCOMPARE(MMSetExitState(handle(), 1), 0);
        QCOMPARE(MMSetDowndArtworkForItem(handle(), track, 0), -1);
        QCOMPARE(currentArtwork(handle(), track), second);
    }

    void artworkFileOnFirstCall_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::addColumn<bool>("nameTaken");
        QTest::addColumn<QString>("fileName"); // empty: no artwork
        QTest::newRow("picture in the tag") << kCoverFixture << false << "%1_0.jpg";
        QTest::newRow("first name taken") << kCoverFixture << true << "%1_1.jpg";
        QTest::newRow("no picture") << kPlainFixture << false << "";
    }

    void artworkFileOnFirstCall()
    {
        QFETCH(QString, fixture);
        QFETCH(bool, nameTaken);
        QFETCH(QString, fileName);
        QVERIFY(loadTracks(fixture, 1));
        void* track = m_tracks[0];
        const QString id = m_session->persistentId(track);
        const QString taken = m_session->artworkFolder() + QStringLiteral("/%1_0.jpg").arg(id);
        if (nameTaken)
            QVERIFY(testenv::writeAll(taken, "not mine"));
        const QStringList before = QDir(m_session->artworkFolder()).entryList(QDir::Files);

        char path[512] = {};
        QCOMPARE(MMGetMusicArtwork(handle(), track, path), -1);
        if (fileName.isEmpty()) {
            QCOMPARE(MMGetMusicArtwork(handle(), track, path), -1);
            QCOMPARE(QDir(m_session->artworkFolder()).entryList(QDir::Files), before);
            void* data = reinterpret_cast<void*>(1);
            int length = 7;
            QVERIFY(MMGetiTunesArtwork(handle(), track, &data, &length) != 0);
            QVERIFY(!data);
            QCOMPARE(length, 0);
            return;
        }
        const QString file = m_session->artworkFolder() + QLatin1Char('/') + fileName.arg(id);
        const QImage cover(testenv::fixture(QStringLiteral("cover.jpg")));
        QCOMPARE(QImage(file).size(), cover.size());
        QCOMPARE(MMGetMusicArtwork(handle(), track, path), 0);
        QCOMPARE(QString::fromUtf8(path), file);
        if (nameTaken)
            QCOMPARE(testenv::readAll(taken), QByteArray("not mine"));

        // The bytes come from the row's cache now, as the tag held them.
        void* data = nullptr;
        int length = 0;
        QCOMPARE(MMGetiTunesArtwork(handle(), track, &data, &length), 0);
        QVERIFY(data);
        QVERIFY(!QImage::fromData(static_cast<const uchar*>(data), length).isNull());
        QCOMPARE(QByteArray(static_cast<const char*>(data), length), rowValue(m_session->dbPath(), id, "ArtData"));
        QCOMPARE(MMReleaseiTunesArtwork(handle(), &data), 0);
        QVERIFY(!data);
        QCOMPARE(MMGetiTunesArtwork(handle(), track, nullptr, &length), -1);
        QCOMPARE(MMGetiTunesArtwork(handle(), nullptr, &data, &length), -1);

        // A file removed under the current path is made again.
        QVERIFY(QFile::remove(file));
        QCOMPARE(MMGetMusicArtwork(handle(), track, path), 0);
        QCOMPARE(QImage(file).size(), cover.size());
    }

    // The row's cache only spares the next read: when the database refuses
    // the bytes, the caller still gets them with success, every time, and
    // the file is made all the same.
    void artworkHandedOutWhenTheCacheRefusesIt()
    {
        QVERIFY(loadTracks(kCoverFixture, 1));
        void* track = m_tracks[0];
        const QString id = m_session->persistentId(track);
        QVERIFY(execSql(m_session->dbPath(), QStringLiteral("create trigger refuse before update of ArtData on TracksTable "
                                                            "begin select raise(abort, 'refused'); end")));
        const QImage cover(testenv::fixture(QStringLiteral("cover.jpg")));
        for (int call = 0; call < 2; ++call) {
            void* data = nullptr;
            int length = 0;
            QCOMPARE(MMGetiTunesArtwork(handle(), track, &data, &length), 0);
            QVERIFY(data);
            QCOMPARE(QImage::fromData(static_cast<const uchar*>(data), length).size(), cover.size());
            QCOMPARE(MMReleaseiTunesArtwork(handle(), &data), 0);
        }
        QVERIFY(rowValue(m_session->dbPath(), id, "ArtData").isEmpty());
        char path[512] = {};
        QCOMPARE(MMGetMusicArtwork(handle(), track, path), 0);
        QCOMPARE(QImage(QString::fromUtf8(path)).size(), cover.size());
        // Without the track there is nothing, and nothing is left set.
        void* data = reinterpret_cast<void*>(1);
        int length = 7;
        QCOMPARE(MMGetiTunesArtwork(handle(), nullptr, &data, &length), -1);
        QVERIFY(!data);
        QCOMPARE(length, 0);
    }

    void exitOrReloadWhileLookupsRun_data()
    {
        QTest::addColumn<QString>("waitingOn");
        QTest::addColumn<int>("what");
        QTest::addColumn<bool>("reload");
        const int info = DW_INFO | DW_INFO_ARTWORK;
        const QList<QPair<QString, QPair<QString, int>>> stages{
            {"identification", {lookupPath(), info | DW_SEARCH_ARTWORK}},
            {"metadata", {recordingPath(), info}},
            {"album cover", {frontPath(kAlbumGroup), info}},
            {"image search", {searchPath(), int(DW_SEARCH_ARTWORK)}},
        };
        for (bool reload : {false, true})
            for (const auto& stage : stages)
                QTest::addRow("%s during the %s", reload ? "reload" : "exit", qPrintable(stage.first))
                    << stage.second.first << stage.second.second << reload;
    }

    void exitOrReloadWhileLookupsRun()
    {
        QFETCH(QString, waitingOn);
        QFETCH(int, what);
        QFETCH(bool, reload);
        answerIdentification();
        answerSearch();
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(1)));
        m_fake.answer(waitingOn, FakeAnswer::never());
        DownloadSink old;
        for (int i = 0; i < 4; ++i)
            QCOMPARE(lookup(i, what, old, what != DW_SEARCH_ARTWORK), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!m_fake.requestsTo(waitingOn).isEmpty(), kWaitMs);

        if (!reload) {
            QCOMPARE(MMSetExitState(handle(), 1), 0);
            QCOMPARE(lookup(4, DW_INFO, old), -1);
            QVERIFY(old.records().isEmpty());
            return; // the session's end destroys the library and the manager
        }
        QVERIFY(loadTracks(kPlainFixture, kTrackCount));
        QVERIFY(old.records().isEmpty());
        // Every slot is free again, and the service answers.
        answerIdentification();
        DownloadSink fresh;
        for (int i = 0; i < 3; ++i)
            QCOMPARE(lookup(i, DW_INFO, fresh, false), 0);
        QCOMPARE(lookup(3, DW_INFO, fresh), 0);
        QVERIFY(fresh.waitForCount(4));
        QCOMPARE(MMGetGNInfoState(handle(), m_tracks[3]), int(DS_DONE));
        QCOMPARE(m_session->info(m_tracks[3])->strName, QStringLiteral("Song"));
        QVERIFY(old.records().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestLookup)
#include "tst_lookup.moc"
