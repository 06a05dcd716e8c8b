// Duplicate scans through the exported interface: groups by fields and
// locations with the keep rule, repeat IDs and progress records; the deep
// scan on audio made here; removal into the trash of the day and restore.
#include "cadenzo.h"
#include "libraryxml.h"
#include "mmanalysis.h"
#include "mmsession.h"
#include "testenv.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTest>
#include <QtEndian>

#include <unistd.h>

using namespace mmtest;

namespace {

const QString kSong = QStringLiteral("id3v2-partial.mp3");
constexpr int kGrouped = AT_DUPLICATE | AT_ANALYSED;
constexpr int kDeep = OPT_DEEP_SCAN | OPT_DEGREE_MEDIUM;

// A track of a generated library: "title,duration,bit rate,file", where
// tracks naming one file share its path and "-" names a missing file.
struct Spec {
    QString title;
    int time = 0;
    int rate = 0;
    QString file;
};

QList<Spec> specs(const QStringList& texts)
{
    QList<Spec> list;
    for (const QString& text : texts) {
        const QStringList parts = text.split(QLatin1Char(','));
        list << Spec{parts[0], parts[1].toInt(), parts[2].toInt(), parts[3]};
    }
    return list;
}

long long groupIdOf(const QString& persistentId)
{
    return static_cast<long long>(persistentId.toULongLong(nullptr, 16));
}

QString writeLibrary(const Session& s, const QList<Spec>& list)
{
    QList<libraryxml::Track> tracks;
    for (int i = 0; i < list.size(); ++i) {
        const Spec& spec = list[i];
        libraryxml::Track t;
        t.trackId = i + 1;
        t.persistentId = libraryxml::persistentId(quint64(i));
        t.name = spec.title;
        t.artist = QStringLiteral("Artist");
        t.totalTime = spec.time;
        t.bitRate = spec.rate;
        const QString path = s.path(QStringLiteral("music/") + spec.file + QStringLiteral(".mp3"));
        if (spec.file != QLatin1String("-") && !QFile::exists(path))
            s.musicFile(kSong, spec.file + QStringLiteral(".mp3"));
        t.location = libraryxml::fileUrl(path);
        tracks << t;
    }
    const QString xml = s.path(QStringLiteral("Library.xml"));
    return libraryxml::write(xml, tracks) ? xml : QString();
}

bool ffmpeg(const QStringList& arguments)
{
    QProcess process;
    process.start(QStringLiteral("ffmpeg"), QStringList{QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"),
                                                        QStringLiteral("error"), QStringLiteral("-nostdin"),
                                                        QStringLiteral("-y")} + arguments);
    return process.waitForStarted() && process.waitForFinished(kWaitMs)
        && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Two pieces: notes over a changing bass (A), slower falling lines over
// chords (B), with a little noise.
const char* const kPieceA =
    "0.25*sin(PI*mod(t,0.25)/0.25)*sin(2*PI*t*220*pow(2,mod(floor(t*4)*5+floor(t/2)*3,24)/12))"
    "+0.15*sin(2*PI*t*110*pow(2,mod(floor(t/2)*7,12)/12))+0.01*(random(1)-0.5)";
const char* const kPieceB =
    "0.25*sin(PI*mod(t,0.375)/0.375)*sin(2*PI*t*294*pow(2,-mod(floor(t/0.375)*4+floor(t/3),19)/12))"
    "+0.1*(sin(2*PI*t*165)+sin(2*PI*t*196*pow(2,mod(floor(t/1.5),5)/12)))+0.01*(random(1)-0.5)";

// Encodes seconds of a piece as an MP3 with a title.
bool encode(const char* piece, double seconds, const char* rate, const QString& title, const QString& out)
{
    const QString source = QStringLiteral("aevalsrc=exprs='%1':s=44100:d=%2").arg(QLatin1String(piece)).arg(seconds);
    return ffmpeg({QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"), source, QStringLiteral("-ac"),
                   QStringLiteral("2"), QStringLiteral("-c:a"), QStringLiteral("libmp3lame"), QStringLiteral("-b:a"),
                   QLatin1String(rate), QStringLiteral("-metadata"), QStringLiteral("title=") + title, out});
}

struct Cache {
    qint32 rate = 0;
    int values = -1; // -1: no file, or not header plus whole values
};

Cache readCache(const QString& path)
{
    Cache cache;
    const QByteArray bytes = testenv::readAll(path);
    if (bytes.size() < 8 || (bytes.size() - 8) % 4 != 0)
        return cache;
    cache.rate = qFromLittleEndian<qint32>(bytes.constData());
    cache.values = (bytes.size() - 8) / 4;
    return cache;
}

bool writeCache(const QString& path, quint32 seed)
{
    QByteArray bytes(8 + 4 * 200, '\0');
    qToLittleEndian<qint32>(44100, bytes.data());
    QRandomGenerator random(seed);
    for (int i = 0; i < 200; ++i)
        qToLittleEndian<quint32>(random.generate(), bytes.data() + 8 + 4 * i);
    return testenv::writeAll(path, bytes);
}

QString cachePath(const Session& s, const QString& pid)
{
    return s.artworkFolder() + QLatin1Char('/') + pid + QStringLiteral("fingerprint.bin");
}

int removeTrack(const Session& s, void* track, int flag = AC_DELETE)
{
    return MMApplyiTunesMusicInfo(s.handle, track, flag, 0);
}

int restoreTrack(const Session& s, void* track)
{
    return MMApplyiTunesMusicInfo(s.handle, track, AC_RESTORE, 0);
}

} // namespace

class TestDuplicates : public QObject
{
    Q_OBJECT

    QTemporaryDir m_audio;
    bool m_haveAudio = false;

    QString audio(const QString& name) const { return m_audio.filePath(name); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_audio.isValid());
        m_haveAudio = encode(kPieceA, 45, "128k", QStringLiteral("One"), audio(QStringLiteral("a128.mp3")))
            && encode(kPieceB, 45, "192k", QStringLiteral("One"), audio(QStringLiteral("b.mp3")))
            && encode(kPieceA, 45, "320k", QStringLiteral("Two"), audio(QStringLiteral("a320.mp3")))
            && encode(kPieceA, 40, "192k", QStringLiteral("Three"), audio(QStringLiteral("a-cut.mp3")))
            && encode(kPieceA, 3, "192k", QStringLiteral("Short"), audio(QStringLiteral("a-3s.mp3")));
    }

    // groups: per track the index of its group's first track (whose
    // persistent ID names the group), -1 for none; removed: the copies to go.
    void quickScanGroups_data()
    {
        QTest::addColumn<int>("mask");
        QTest::addColumn<QStringList>("tracks");
        QTest::addColumn<QList<int>>("groups");
        QTest::addColumn<QList<int>>("removed");
        QTest::newRow("three alike: the first stays")
            << int(MF_TITLE) << QStringList{"A,100000,128,a", "A,100000,128,b", "A,100000,128,c"}
            << QList<int>{0, 0, 0} << QList<int>{1, 2};
        QTest::newRow("150000 ms longer stays") << int(MF_TITLE) << QStringList{"A,200000,128,a", "A,50000,320,b"}
                                                << QList<int>{0, 0} << QList<int>{1};
        QTest::newRow("close durations: higher bit rate stays")
            << int(MF_TITLE) << QStringList{"A,200000,128,a", "A,50001,320,b"} << QList<int>{0, 0} << QList<int>{0};
        QTest::newRow("equal bit rates: longer stays")
            << int(MF_TITLE) << QStringList{"A,100000,320,a", "A,120000,320,b"} << QList<int>{0, 0} << QList<int>{0};
        QTest::newRow("other titles") << int(MF_TITLE) << QStringList{"A,1000,128,a", "B,1000,128,b"}
                                      << QList<int>{-1, -1} << QList<int>{};
        QTest::newRow("one location joins other titles")
            << int(MF_TITLE) << QStringList{"A,1000,128,a", "B,1000,128,a"} << QList<int>{0, 0} << QList<int>{1};
        QTest::newRow("empty titles match nothing") << int(MF_TITLE) << QStringList{",1000,128,a", ",1000,128,b"}
                                                    << QList<int>{-1, -1} << QList<int>{};
        QTest::newRow("every criterion must hold")
            << int(MF_TITLE | MF_TIME) << QStringList{"A,1000,128,a", "A,2000,128,b", "A,1000,128,c"}
            << QList<int>{0, -1, 0} << QList<int>{2};
        QTest::newRow("no criterion: all alike") << 0 << QStringList{"A,1000,128,a", "B,1000,128,b", "C,1000,128,c"}
                                                 << QList<int>{0, 0, 0} << QList<int>{1, 2};
        QTest::newRow("a missing file is only a candidate")
            << int(MF_TITLE) << QStringList{"A,1000,128,-", "A,1000,128,b"} << QList<int>{0, 0} << QList<int>{1};
        QTest::newRow("copies to go join the first")
            << int(MF_TITLE) << QStringList{"A,1000,320,a", "A,1000,128,b", "A,5000,128,c"} << QList<int>{0, 0, 0}
            << QList<int>{1, 2};
        QTest::newRow("a better copy takes the lead")
            << int(MF_TITLE) << QStringList{"A,1000,128,a", "A,1000,320,b", "A,1000,192,c"} << QList<int>{0, 0, 0}
            << QList<int>{0, 2};
    }

    void quickScanGroups()
    {
        QFETCH(int, mask);
        QFETCH(QStringList, tracks);
        QFETCH(QList<int>, groups);
        QFETCH(QList<int>, removed);
        Session s;
        const QString xml = writeLibrary(s, specs(tracks));
        QVERIFY(loadAndWait(s, RUN_DUP_ITUNES, xml, {}));
        RecordSink sink;
        QVERIFY(analyse(s, mask, sink));

        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), tracks.size());
        for (int i = 0; i < list.size(); ++i) {
            const bool grouped = groups[i] >= 0;
            QCOMPARE(list[i].absence, grouped ? kGrouped : int(AT_ANALYSED));
            QCOMPARE(list[i].repeatId, grouped ? groupIdOf(list[groups[i]].pid) : 0LL);
            QCOMPARE(list[i].state, removed.contains(i) ? int(MS_REMOVE) : 0);
        }
        // One record per track with its progress, then the end.
        const QList<Record> records = sink.records();
        QCOMPARE(records.size(), list.size() + 1);
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(records[i].track, list[i].track);
            QCOMPARE(records[i].location, list[i].location);
            QCOMPARE(records[i].progress, std::min((i * 10000 + 10000) / int(list.size()), 9999));
        }
        QCOMPARE(records.last().progress, PROGRESS_FULL);

        QVERIFY(waitForSaves(s, 1));
        for (const Entry& e : list) {
            const Row row = rowOf(s.dbPath(), e.pid);
            QCOMPARE(row.absence, e.absence);
            QCOMPARE(row.state, e.state);
            QCOMPARE(row.repeatId, e.repeatId);
        }
    }

    // The same piece at two bit rates and cut short groups together; another
    // piece with the same title does not. A stale cache of an earlier file
    // run must not decide: file-mode caches go when such a library loads.
    void deepScanGroupsTheSamePiece()
    {
        if (!m_haveAudio)
            QSKIP("the ffmpeg tool is needed to make the test audio");
        Session s;
        QVERIFY(writeCache(cachePath(s, QStringLiteral("65535")), 7));
        QVERIFY(writeCache(cachePath(s, QStringLiteral("65536")), 7));
        const QStringList files = {audio(QStringLiteral("a128.mp3")), audio(QStringLiteral("b.mp3")),
                                   audio(QStringLiteral("a320.mp3")), audio(QStringLiteral("a-cut.mp3"))};
        QVERIFY(loadAndWait(s, RUN_DUP_FILES, QString(), files));
        RecordSink sink;
        QVERIFY(analyse(s, kDeep | MF_TITLE, sink));
        const QList<Entry> list = entries(s);
        QCOMPARE(list.size(), 4);
        const long long group = groupIdOf(QStringLiteral("65535"));
        const QList<long long> ids = {list[0].repeatId, list[1].repeatId, list[2].repeatId, list[3].repeatId};
        QCOMPARE(ids, (QList<long long>{group, 0, group, group}));
        QCOMPARE(list[1].absence, int(AT_ANALYSED));
        // 320 kbit/s is kept; the 128 kbit/s copy and the shorter one go.
        const QList<int> states = {list[0].state, list[1].state, list[2].state, list[3].state};
        QCOMPARE(states, (QList<int>{MS_REMOVE, 0, 0, MS_REMOVE}));
        QCOMPARE(sink.records().size(), 5);

        // Each track's cache: the decoder's sample rate, a third word, then
        // the raw values.
        for (const Entry& e : list) {
            const Cache cache = readCache(cachePath(s, e.pid));
            QCOMPARE(cache.rate, 44100);
            QVERIFY2(cache.values >= 200, qPrintable(QString::number(cache.values)));
        }
    }

    // Persistent IDs are texts of the library file, which may hold
    // anything. The artwork files and fingerprint caches named after them
    // stay in the artwork folder whatever an ID holds, one per track.
    void idsUnfitForFileNamesStayInTheArtworkFolder()
    {
        if (!m_haveAudio)
            QSKIP("the ffmpeg tool is needed to make the test audio");
        Session s;
        const QString escape = QStringLiteral("vessolin-escape-%1").arg(QCoreApplication::applicationPid());
        const QStringList ids = {QStringLiteral("../../") + escape, QStringLiteral("../") + escape,
                                 QStringLiteral("sub/") + escape, QStringLiteral("with space"),
                                 QStringLiteral("quote\"s'"), QStringLiteral(".."), QStringLiteral("A000000000000001")};
        // The same IDs over files with a cover, then over longer audio for fingerprints.
        auto library = [&](const QString& name, const QString& source) {
            QList<libraryxml::Track> tracks;
            for (int i = 0; i < ids.size(); ++i) {
                const QString file = s.path(QStringLiteral("music/%1-%2.mp3").arg(name).arg(i));
                QDir().mkpath(QFileInfo(file).path());
                QFile::copy(source, file);
                libraryxml::Track t;
                t.trackId = i + 1;
                t.persistentId = ids[i];
                t.name = QStringLiteral("Song");
                t.location = libraryxml::fileUrl(file);
                tracks << t;
            }
            const QString xml = s.path(name + QStringLiteral(".xml"));
            return libraryxml::write(xml, tracks) ? xml : QString();
        };
        QVERIFY(loadAndWait(s, RUN_ITUNES, library(QStringLiteral("cover"), testenv::fixture(QStringLiteral("id3v2-cover.mp3"))), {}));
        QStringList artwork;
        for (const Entry& e : entries(s)) {
            void* data = nullptr;
            int length = 0;
            MMGetiTunesArtwork(s.handle, e.track, &data, &length);
            QVERIFY2(data && length > 0, qPrintable(e.pid));
            MMReleaseiTunesArtwork(s.handle, &data);
            char path[512] = {};
            QCOMPARE(MMGetMusicArtwork(s.handle, e.track, path), 0);
            artwork << QString::fromUtf8(path);
        }
        QVERIFY(loadAndWait(s, RUN_DUP_ITUNES, library(QStringLiteral("audio"), audio(QStringLiteral("a128.mp3"))), {}));
        RecordSink sink;
        QVERIFY(analyse(s, kDeep | MF_TITLE, sink));

        const QDir folder(s.artworkFolder());
        QCOMPARE(artwork.size(), ids.size());
        for (const QString& path : artwork) {
            QCOMPARE(QFileInfo(path).absolutePath(), folder.absolutePath());
            QVERIFY(QFileInfo(path).isFile());
        }
        QCOMPARE(QSet<QString>(artwork.cbegin(), artwork.cend()).size(), ids.size());
        const QStringList caches = folder.entryList({QStringLiteral("*fingerprint.bin")}, QDir::Files);
        QCOMPARE(caches.size(), ids.size());
        // Nothing beside the artwork and caches, in no folder below or above.
        QCOMPARE(folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden).size(), 2 * ids.size());
        for (const QString& id : ids) {
            for (const QString& name : {id + QStringLiteral("_0.jpg"), id + QStringLiteral("fingerprint.bin")}) {
                const QString naive = QDir::cleanPath(folder.filePath(name));
                if (!naive.startsWith(folder.absolutePath() + QLatin1Char('/')))
                    QVERIFY2(!QFileInfo::exists(naive), qPrintable(naive));
            }
        }
        // Real IDs keep the names they always had.
        QVERIFY(caches.contains(QStringLiteral("A000000000000001fingerprint.bin")));
        QVERIFY(artwork.contains(folder.filePath(QStringLiteral("A000000000000001_0.jpg"))));
    }

    // A fingerprint too short to compare is charged to its own track.
    void deepScanFailuresStayWithTheirTrack_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<int>("failing");
        QTest::newRow("short track current") << QStringList{"a128.mp3", "a-3s.mp3"} << 1;
        QTest::newRow("short track earlier") << QStringList{"a-3s.mp3", "a128.mp3"} << 0;
    }

    void deepScanFailuresStayWithTheirTrack()
    {
        QFETCH(QStringList, files);
        QFETCH(int, failing);
        if (!m_haveAudio)
            QSKIP("the ffmpeg tool is needed to make the test audio");
        Session s;
        QStringList paths;
        for (const QString& f : files)
            paths << audio(f);
        QVERIFY(loadAndWait(s, RUN_DUP_FILES, QString(), paths));
        RecordSink sink;
        QVERIFY(analyse(s, kDeep, sink));
        const QList<Entry> list = entries(s);
        for (int i = 0; i < list.size(); ++i) {
            QCOMPARE(list[i].absence, i == failing ? AT_DUPLICATE_ERROR | AT_ANALYSED : int(AT_ANALYSED));
            QCOMPARE(list[i].repeatId, 0LL);
        }
    }

    // Removed files go into the trash folder of the day the engine started,
    // numbered when the name is taken, and come back on restore.
    void removalAndRestoreOfFiles()
    {
        Session s;
        const QStringList files = {s.musicFile(kSong, QStringLiteral("x/a.mp3")),
                                   s.musicFile(kSong, QStringLiteral("y/a.mp3")),
                                   s.musicFile(kSong, QStringLiteral("z/a.mp3"))};
        const QString trash = trashOfToday(s);
        QVERIFY(testenv::writeAll(trash + QStringLiteral("/a.mp3"), "was here first"));
        QVERIFY(loadAndWait(s, RUN_DUP_FILES, QString(), files));
        RecordSink sink;
        QVERIFY(analyse(s, MF_TITLE, sink));
        QVERIFY(waitForSaves(s, 1));
        const QList<Entry> list = entries(s);
        QCOMPARE(list[1].state, int(MS_REMOVE));
        QCOMPARE(list[2].state, int(MS_REMOVE));
        const QByteArray song = testenv::readAll(files[1]);

        QCOMPARE(removeTrack(s, list[1].track), 0);
        QCOMPARE(removeTrack(s, list[2].track, MF_FILE), 0);
        QCOMPARE(removeTrack(s, list[2].track), 0); // removed already: nothing more
        QVERIFY(QFile::exists(files[0]));
        QVERIFY(!QFile::exists(files[1]) && !QFile::exists(files[2]));
        QCOMPARE(testenv::readAll(trash + QStringLiteral("/a.mp3")), QByteArray("was here first"));
        QCOMPARE(testenv::readAll(trash + QStringLiteral("/a1.mp3")), song);
        QCOMPARE(testenv::readAll(trash + QStringLiteral("/a2.mp3")), song);
        QCOMPARE(rowOf(s.dbPath(), list[1].pid).trashPath, trash + QStringLiteral("/a1.mp3"));
        QCOMPARE(rowOf(s.dbPath(), list[2].pid).trashPath, trash + QStringLiteral("/a2.mp3"));

        // Another file took one place meanwhile: that restore fails and
        // leaves both where they are.
        QVERIFY(testenv::writeAll(files[2], "newcomer"));
        QCOMPARE(restoreTrack(s, list[1].track), 0);
        QCOMPARE(restoreTrack(s, list[2].track), -1);
        QCOMPARE(testenv::readAll(files[1]), song);
        QCOMPARE(testenv::readAll(files[2]), QByteArray("newcomer"));
        QCOMPARE(testenv::readAll(trash + QStringLiteral("/a2.mp3")), song);
        QVERIFY(!QFile::exists(trash + QStringLiteral("/a1.mp3")));
        QCOMPARE(rowOf(s.dbPath(), list[1].pid).trashPath, QString());
        QCOMPARE(rowOf(s.dbPath(), list[2].pid).trashPath, trash + QStringLiteral("/a2.mp3"));

        QVERIFY(QFile::remove(files[2]));
        QCOMPARE(restoreTrack(s, list[2].track), 0);
        QCOMPARE(testenv::readAll(files[2]), song);
        QCOMPARE(restoreTrack(s, list[2].track), 0); // back already
    }

    // In the library: the entry goes last and comes back under a new ID
    // that later writes reach. A file another kept entry uses stays where
    // it is, whether through the same path or a link of it.
    void removalAndRestoreInTheLibrary()
    {
        Session s;
        const QList<Spec> list = specs({"A,1000,128,x/a", "A,1000,128,y/a", "C,1000,128,c", "C,1000,128,c",
                                        "D,1000,128,d", "D,1000,128,e", "N,1000,128,n1/n", "N,1000,128,n2/n"});
        const QString xml = writeLibrary(s, list);
        // e.mp3 is another path of d.mp3; n1/n and n2/n have no '.' to number by.
        QFile::remove(s.path(QStringLiteral("music/e.mp3")));
        QCOMPARE(::link(QFile::encodeName(s.path(QStringLiteral("music/d.mp3"))).constData(),
                        QFile::encodeName(s.path(QStringLiteral("music/e.mp3"))).constData()), 0);
        for (const QString& dir : {QStringLiteral("n1"), QStringLiteral("n2")})
            QVERIFY(QFile::rename(s.path(QStringLiteral("music/%1/n.mp3").arg(dir)), s.path(QStringLiteral("music/%1/n").arg(dir))));
        QString text = QString::fromUtf8(testenv::readAll(xml));
        QVERIFY(testenv::writeAll(xml, text.replace(QStringLiteral("/n.mp3<"), QStringLiteral("/n<")).toUtf8()));
        const QString trash = trashOfToday(s);
        QVERIFY(testenv::writeAll(trash + QStringLiteral("/n"), "taken"));

        QVERIFY(loadAndWait(s, RUN_DUP_ITUNES, xml, {}));
        RecordSink sink;
        QVERIFY(analyse(s, MF_TITLE, sink));
        QVERIFY(waitForSaves(s, 1));
        const QList<Entry> tracks = entries(s);
        for (int i : {1, 3, 5, 7})
            QCOMPARE(tracks[i].state, int(MS_REMOVE));

        QCOMPARE(removeTrack(s, tracks[1].track), 0);
        QVERIFY(!QFile::exists(tracks[1].location));
        QVERIFY(QFile::exists(trash + QStringLiteral("/a.mp3")));
        QCOMPARE(removeTrack(s, tracks[3].track), 0);
        QCOMPARE(removeTrack(s, tracks[5].track), 0);
        QVERIFY(QFile::exists(tracks[3].location) && QFile::exists(tracks[4].location) && QFile::exists(tracks[5].location));
        QCOMPARE(QDir(trash).entryList(QDir::Files).size(), 2); // a.mp3 and the n that was there
        QCOMPARE(removeTrack(s, tracks[7].track), -1);
        QVERIFY(QFile::exists(tracks[7].location));

        QCOMPARE(restoreTrack(s, tracks[1].track), 0);
        QVERIFY(QFile::exists(tracks[1].location));
        const QString newId = s.info(tracks[1].track)->strPersistentID;
        QVERIFY(!newId.isEmpty() && newId != tracks[1].pid);
        QCOMPARE(rowOf(s.dbPath(), newId).trashPath, QString());
        QCOMPARE(MMSetMusicState(s.handle, tracks[1].track, MF_ALBUM), 0);
        QCOMPARE(rowOf(s.dbPath(), newId).state, int(MF_ALBUM));
        // Of a file another entry kept, only the entry went, and only the
        // entry comes back; once.
        QCOMPARE(restoreTrack(s, tracks[5].track), 0);
        const QString linkId = s.info(tracks[5].track)->strPersistentID;
        QVERIFY(!linkId.isEmpty() && linkId != tracks[5].pid);
        QCOMPARE(restoreTrack(s, tracks[5].track), 0);
        QCOMPARE(s.info(tracks[5].track)->strPersistentID, linkId);
        QCOMPARE(QDir(trash).entryList(QDir::Files).size(), 1);
        // An entry that shares its path with the kept one comes back as an
        // entry of its own, which a second removal takes again.
        QCOMPARE(restoreTrack(s, tracks[3].track), 0);
        const QString pathId = s.info(tracks[3].track)->strPersistentID;
        QVERIFY(!pathId.isEmpty() && pathId != tracks[3].pid && pathId != tracks[2].pid);
        QCOMPARE(removeTrack(s, tracks[3].track), 0);
        QVERIFY(QFile::exists(tracks[3].location));

        // The library as it stands now.
        QVERIFY(loadAndWait(s, RUN_ITUNES, xml, {}));
        QStringList ids;
        for (const Entry& e : entries(s))
            ids << e.pid;
        QCOMPARE(ids.size(), 7);
        for (int i : {0, 2, 4, 6, 7})
            QVERIFY(ids.contains(tracks[i].pid));
        QVERIFY(ids.contains(newId));
        QVERIFY(ids.contains(linkId));
        QVERIFY(!ids.contains(pathId));
    }
};

QTEST_GUILESS_MAIN(TestDuplicates)
#include "tst_duplicates.moc"
