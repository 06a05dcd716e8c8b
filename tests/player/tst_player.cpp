// The preview player driven through a scripted movie (its load levels,
// position and end are the test's to set), plus the real Qt Multimedia
// movie on the committed audio fixtures.
#include "MyQTMovie.h"
#include "cadenzo.h"
#include "player/PlayUnit.h"
#include "player.h"
#include "testenv.h"

#include <QFile>
#include <QPointer>
#include <QTemporaryDir>
#include <QTest>

namespace {

// A movie whose every value the test sets.
class ScriptedMovie : public player::Movie
{
    Q_OBJECT
public:
    long level = player::LOAD_LOADING;
    double length = 0.0;
    double position = 0.0;
    bool playing = false;
    float volume = 1.0f;
    QList<double> seeks;

    long loadState() const override { return level; }
    double duration() const override { return length; }
    double currentTime() const override { return position; }
    void setCurrentTime(double seconds) override
    {
        seeks << seconds;
        position = seconds;
    }
    void autoplay() override { playing = true; }
    void stop() override { playing = false; }
    void setVolume(float v) override { volume = v; }

    void arrive(long newLevel, double seconds = 0.0)
    {
        level = newLevel;
        if (seconds > 0)
            length = seconds;
        emit loadStateChanged();
    }
    void end() { emit didEnd(); }
};

struct Report {
    unsigned int progress;
    int state;
    void* user;
    bool operator==(const Report& o) const { return progress == o.progress && state == o.state && user == o.user; }
};

QList<Report> g_reports;
QPointer<ScriptedMovie> g_movie;
void* g_destroyOnEnd = nullptr;

// The movie the player opened last. A test that reaches for it before the
// player opened one stops here with a message instead of crashing.
ScriptedMovie& openedMovie()
{
    if (!g_movie)
        qFatal("the player has opened no movie");
    return *g_movie;
}

void record(unsigned int progress, tagPlayUnitState state, void* user)
{
    g_reports.append({progress, int(state), user});
    if (state == PU_ENDED && g_destroyOnEnd == user)
        PlayUnit_Destroy(user);
}

char g_ownerA, g_ownerB, g_ownerC;

QByteArray fixture(const char* name)
{
    return testenv::fixture(QString::fromLatin1(name)).toUtf8();
}

} // namespace

QT_BEGIN_NAMESPACE
namespace QTest {
template <> char* toString(const Report& r)
{
    return qstrdup(QByteArray("(" + QByteArray::number(r.progress) + ", " + QByteArray::number(r.state) + ")"));
}
}
QT_END_NAMESPACE

class TestPlayer : public QObject
{
    Q_OBJECT

    static void useScriptedMovies()
    {
        player::setMovieOpener([](const QString&, QString*) {
            auto movie = std::make_unique<ScriptedMovie>();
            g_movie = movie.get();
            return std::unique_ptr<player::Movie>(std::move(movie));
        });
    }

    // One owner with a scripted movie of the fixture WAV file.
    static void openOne()
    {
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), 0);
        QVERIFY(g_movie);
    }

private slots:
    void init()
    {
        g_reports.clear();
        g_destroyOnEnd = nullptr;
        useScriptedMovies();
    }

    void cleanup()
    {
        for (char* owner : {&g_ownerA, &g_ownerB, &g_ownerC})
            PlayUnit_Destroy(owner);
        QVERIFY(!PlayUnit_Player());
        player::setMovieOpener(nullptr);
    }

    void callsWithoutUnit()
    {
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), -2);
        QCOMPARE(PlayUnit_Start(), -2);
        QCOMPARE(PlayUnit_Stop(), -2);
        QCOMPARE(PlayUnit_Pause(), -1);
        QCOMPARE(PlayUnit_SeekTo(1000), -1);
        QCOMPARE(PlayUnit_ChangeVolume(0.5f), -1);
    }

    void missingOrUnreadableFileIsRefusedAtOnce_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("folder") << "folder";
        QTest::newRow("no read permission") << "unreadable";
        QTest::newRow("empty path") << "empty";
    }

    void missingOrUnreadableFileIsRefusedAtOnce()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        QString path = dir.filePath(QStringLiteral("song.mp3"));
        if (kind == QLatin1String("folder"))
            path = dir.path();
        else if (kind == QLatin1String("empty"))
            path.clear();
        else if (kind == QLatin1String("unreadable")) {
            QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("plain.wav")), path));
            QFile::setPermissions(path, QFileDevice::WriteOwner);
            if (QFile(path).open(QIODevice::ReadOnly))
                QSKIP("running with rights that read any file");
        }
        player::setMovieOpener(nullptr);  // the real layer: nothing may start decoding
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_SetMediaFile(path.toUtf8(), &g_ownerA), -1);
        QVERIFY(g_reports.isEmpty());
        QCOMPARE(PlayUnit_Start(), -1);
        QCOMPARE(PlayUnit_Stop(), 0);
    }

    void loadLevelsBecomeStates_data()
    {
        QTest::addColumn<long>("level");
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("timer");
        QTest::addColumn<bool>("rewound");
        QTest::newRow("loading") << long(player::LOAD_LOADING) << int(PU_LOADING) << false << false;
        QTest::newRow("error") << long(player::LOAD_ERROR) << int(PU_ERROR) << false << false;
        QTest::newRow("loaded, not playable") << long(player::LOAD_LOADED) << int(PU_LOADING) << false << true;
        QTest::newRow("playable") << long(player::LOAD_PLAYABLE) << int(PU_PLAYABLE) << false << true;
        QTest::newRow("plays through") << long(player::LOAD_THROUGH) << int(PU_PLAYABLE) << true << true;
        QTest::newRow("between the two") << 15000L << int(PU_PLAYABLE) << true << true;
        QTest::newRow("complete") << 100000L << int(PU_PLAYABLE) << false << true;
        QTest::newRow("unknown level") << 500L << int(PU_LOADING) << false << false;
    }

    void loadLevelsBecomeStates()
    {
        QFETCH(long, level);
        QFETCH(int, state);
        QFETCH(bool, timer);
        QFETCH(bool, rewound);
        openOne();
        QCOMPARE(g_reports, (QList<Report>{{0, PU_LOADING, &g_ownerA}}));
        openedMovie().position = 3.0;
        openedMovie().arrive(level, 60.0);
        QCOMPARE(g_reports.last(), (Report{0, state, &g_ownerA}));
        QCOMPARE(PlayUnit_Player()->playState(), state);
        QCOMPARE(PlayUnit_Player()->progressTimerRunning(), timer);
        QCOMPARE(openedMovie().seeks, rewound ? QList<double>{0.0} : QList<double>{});
        QCOMPARE(PlayUnit_Player()->movieDuration(), rewound ? 60.0 : 0.0);
    }

    void progressReportsShareOfDuration_data()
    {
        QTest::addColumn<double>("position");
        QTest::addColumn<unsigned int>("progress");
        QTest::newRow("start") << 0.0 << 0u;
        QTest::newRow("quarter") << 50.0 << 2500u;
        QTest::newRow("truncated") << 0.0299 << 1u;
        QTest::newRow("nearly done") << 199.99 << 9999u;
    }

    void progressReportsShareOfDuration()
    {
        QFETCH(double, position);
        QFETCH(unsigned int, progress);
        openOne();
        openedMovie().arrive(player::LOAD_THROUGH, 200.0);
        QVERIFY(PlayUnit_Player()->progressTimerRunning());
        QCOMPARE(PlayUnit_Start(), 0);
        QVERIFY(openedMovie().playing);
        openedMovie().position = position;
        g_reports.clear();
        PlayUnit_Player()->checkMovieTime();  // one tick of the progress timer
        QCOMPARE(g_reports, (QList<Report>{{progress, PU_PLAYABLE, &g_ownerA}}));
    }

    void noProgressBeforeTheDurationIsKnown()
    {
        openOne();
        g_reports.clear();
        openedMovie().position = 2.0;
        PlayUnit_Player()->checkMovieTime();
        QVERIFY(g_reports.isEmpty());
    }

    void endIsReportedOnceAndDropsTheMovie()
    {
        openOne();
        openedMovie().arrive(player::LOAD_THROUGH, 5.0);
        PlayUnit_Start();
        g_reports.clear();
        QPointer<ScriptedMovie> movie = g_movie;
        movie->end();
        QCOMPARE(g_reports, (QList<Report>{{PROGRESS_FULL, PU_ENDED, &g_ownerA}}));
        QVERIFY(!PlayUnit_Player()->progressTimerRunning());
        QVERIFY(!PlayUnit_Player()->pQTMovie());
        QCOMPARE(PlayUnit_Start(), -1);
        QCOMPARE(PlayUnit_Pause(), 0);
        QTest::qWait(0);  // the dropped movie goes once control is back in the loop
        QVERIFY(!movie);
        QCOMPARE(g_reports.size(), 1);
    }

    void seekWaitsUntilPlayable()
    {
        openOne();
        QCOMPARE(PlayUnit_SeekTo(4000), 0);
        QVERIFY(openedMovie().seeks.isEmpty());
        openedMovie().arrive(player::LOAD_PLAYABLE, 10.0);
        openedMovie().seeks.clear();
        QCOMPARE(PlayUnit_SeekTo(4000), 0);
        QCOMPARE(openedMovie().seeks, QList<double>{4.0});
    }

    void pauseStopsInPlaceAndStartResumes()
    {
        openOne();
        openedMovie().arrive(player::LOAD_THROUGH, 10.0);
        PlayUnit_Start();
        openedMovie().position = 4.0;
        QCOMPARE(PlayUnit_Pause(), 0);
        QVERIFY(!openedMovie().playing);
        QCOMPARE(openedMovie().position, 4.0);
        QCOMPARE(PlayUnit_ChangeVolume(0.25f), 0);
        QCOMPARE(openedMovie().volume, 0.25f);
        QCOMPARE(PlayUnit_Start(), 0);
        QVERIFY(openedMovie().playing);
    }

    void stopDropsTheMovieSilently()
    {
        openOne();
        openedMovie().arrive(player::LOAD_THROUGH, 10.0);
        g_reports.clear();
        QCOMPARE(PlayUnit_Stop(), 0);
        QVERIFY(!PlayUnit_Player()->pQTMovie());
        QVERIFY(!PlayUnit_Player()->progressTimerRunning());
        QCOMPARE(PlayUnit_Player()->playState(), int(PU_PLAYABLE));
        QCOMPARE(PlayUnit_Stop(), 0);
        QCOMPARE(PlayUnit_Start(), -1);
        QVERIFY(g_reports.isEmpty());
    }

    void reportsGoToTheOwnerThatSetTheFile()
    {
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_Create(record, &g_ownerB), 0);
        QCOMPARE(PlayUnit_Create(record, &g_ownerB), -1);
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerB), 0);
        openedMovie().arrive(player::LOAD_THROUGH, 10.0);
        openedMovie().end();
        QCOMPARE(g_reports, (QList<Report>{{0, PU_LOADING, &g_ownerB}, {0, PU_PLAYABLE, &g_ownerB},
                                           {PROGRESS_FULL, PU_ENDED, &g_ownerB}}));
        g_reports.clear();
        QCOMPARE(PlayUnit_SetMediaFile(fixture("untagged.mp3"), &g_ownerA), 0);
        openedMovie().arrive(player::LOAD_ERROR);
        QCOMPARE(g_reports, (QList<Report>{{0, PU_LOADING, &g_ownerA}, {0, PU_ERROR, &g_ownerA}}));
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerC), -2);  // never registered
    }

    // A file dropped for another owner's file ends for its owner, once;
    // an owner replacing its own file, or one that already ended, hears nothing.
    void takenOverFileEndsForItsOwner()
    {
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_Create(record, &g_ownerB), 0);
        QVERIFY(!PlayUnit_FileOwner());
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), 0);
        QCOMPARE(PlayUnit_FileOwner(), static_cast<void*>(&g_ownerA));
        QCOMPARE(PlayUnit_SetMediaFile(fixture("untagged.mp3"), &g_ownerA), 0);
        g_reports.clear();
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerB), 0);
        QCOMPARE(g_reports, (QList<Report>{{0, PU_LOADING, &g_ownerB}, {PROGRESS_FULL, PU_ENDED, &g_ownerA}}));
        QCOMPARE(PlayUnit_FileOwner(), static_cast<void*>(&g_ownerB));
        QCOMPARE(PlayUnit_Stop(), 0);
        QVERIFY(!PlayUnit_FileOwner());
        g_reports.clear();
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), 0);
        QCOMPARE(g_reports, (QList<Report>{{0, PU_LOADING, &g_ownerA}}));
    }

    void unitLivesUntilItsLastOwnerGoes()
    {
        PlayUnit_Create(record, &g_ownerA);
        PlayUnit_Create(record, &g_ownerB);
        PlayUnit_Create(record, &g_ownerC);
        PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA);
        openedMovie().arrive(player::LOAD_THROUGH, 10.0);
        PlayUnit_Start();
        QPointer<ScriptedMovie> movieOfA = g_movie;
        g_reports.clear();

        PlayUnit_Destroy(&g_ownerA);  // its file stops: nobody is left to hear of it
        MyPlayUnit* unit = PlayUnit_Player();
        QVERIFY(unit);
        QVERIFY(!unit->pQTMovie());
        const ScriptedMovie* stillThere = movieOfA.data();
        QVERIFY(!stillThere || !stillThere->playing);
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), -2);

        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerB), 0);
        PlayUnit_Destroy(&g_ownerC);  // not the one playing: B keeps its file
        openedMovie().end();
        QCOMPARE(g_reports.last(), (Report{PROGRESS_FULL, PU_ENDED, &g_ownerB}));
        PlayUnit_Destroy(&g_ownerB);
        QVERIFY(!PlayUnit_Player());
        QCOMPARE(PlayUnit_Start(), -2);
        QCOMPARE(PlayUnit_Pause(), -1);
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);  // a new unit
        QVERIFY(PlayUnit_Player());
    }

    void ownerMayEndTheUnitFromItsOwnReport()
    {
        openOne();
        openedMovie().arrive(player::LOAD_THROUGH, 10.0);
        g_destroyOnEnd = &g_ownerA;
        openedMovie().end();
        QVERIFY(!PlayUnit_Player());
        QCOMPARE(g_reports.last(), (Report{PROGRESS_FULL, PU_ENDED, &g_ownerA}));
        QTest::qWait(0);  // the player's deferred deletion runs here
    }

    // The real movie on real files: levels, decoding errors and the end.
    void qtMultimediaPlaysToTheEnd()
    {
        player::setMovieOpener(nullptr);
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_SetMediaFile(fixture("plain.wav"), &g_ownerA), 0);
        QVERIFY(QTest::qWaitFor([] { return PlayUnit_Player()->playState() == PU_PLAYABLE; }, 20000));
        QVERIFY(PlayUnit_Player()->movieDuration() > 4.5);
        QVERIFY(PlayUnit_Player()->progressTimerRunning());
        QCOMPARE(PlayUnit_SeekTo(4800), 0);
        QCOMPARE(PlayUnit_Start(), 0);
        QVERIFY(QTest::qWaitFor([] { return !g_reports.isEmpty() && g_reports.last().state == PU_ENDED; }, 20000));
        QCOMPARE(g_reports.last().progress, unsigned(PROGRESS_FULL));
        int ends = 0;
        for (const Report& r : g_reports)
            ends += r.state == PU_ENDED;
        QCOMPARE(ends, 1);
        QCOMPARE(PlayUnit_Start(), -1);
    }

    void qtMultimediaReportsUndecodableFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("not-audio.mp3"));
        QVERIFY(testenv::writeAll(path, QByteArray(4096, 'x')));
        player::setMovieOpener(nullptr);
        QCOMPARE(PlayUnit_Create(record, &g_ownerA), 0);
        QCOMPARE(PlayUnit_SetMediaFile(path.toUtf8(), &g_ownerA), 0);
        QVERIFY(QTest::qWaitFor([] { return !g_reports.isEmpty() && g_reports.last().state == PU_ERROR; }, 20000));
    }
};

QTEST_MAIN(TestPlayer)
#include "tst_player.moc"
