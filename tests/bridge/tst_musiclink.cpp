// The engine bridge: what the engine's callbacks become on the GUI thread,
// and the records it builds from the settings.
#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "testenv.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

namespace {

constexpr int kWaitMs = 60000;

// The order in which signals of one kind reach the GUI thread.
struct SignalLog
{
    QStringList names;
    QList<int> progress;
};

void follow(CMusicLink& link, SignalLog& log)
{
    QObject::connect(&link, &CMusicLink::SendLoadMusic, &link, [&log](void*, int p, QString) {
        log.names << QStringLiteral("load");
        log.progress << p;
    });
    QObject::connect(&link, &CMusicLink::SendLoadOK, &link,
                     [&log] { log.names << QStringLiteral("loadok"); });
    QObject::connect(&link, &CMusicLink::UpdateProcess, &link,
                     [&log](int) { log.names << QStringLiteral("progress"); });
    QObject::connect(&link, &CMusicLink::SendAnalyzeOK, &link,
                     [&log] { log.names << QStringLiteral("analyzeok"); });
}

} // namespace

class TestMusicLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void loadThenAnalyse_data();
    void loadThenAnalyse();
    void loadCallbackIgnoresOtherOperations();
    void failureRecordsEndNothingAsDone_data();
    void failureRecordsEndNothingAsDone();
    void nullEngineRefusesRequests();
    void everyBridgeStartsTheOnlineSide();

private:
    QTemporaryDir m_music;
};

void TestMusicLink::initTestCase()
{
    CreateLinkAndName();
    CConfig::instance();
    QVERIFY(m_music.isValid());
    for (const char* name : {"id3v2-cover.mp3", "untagged.mp3", "cover.m4a"}) {
        const QString from = testenv::fixture(QString::fromLatin1(name));
        QVERIFY(QFile::copy(from, m_music.filePath(QString::fromLatin1(name))));
        QFile::setPermissions(m_music.filePath(QString::fromLatin1(name)),
                              QFile::ReadOwner | QFile::WriteOwner);
    }
    // The copies of one file count once; the duplicate scan needs a pair.
    QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("untagged.mp3")),
                        m_music.filePath(QStringLiteral("untagged copy.mp3"))));
}

void TestMusicLink::loadThenAnalyse_data()
{
    QTest::addColumn<int>("mode");
    QTest::addColumn<bool>("perTrackAnalysisRecords");
    QTest::newRow("files") << int(RUN_FILES) << false;
    QTest::newRow("duplicate files") << int(RUN_DUP_FILES) << true;
}

// A load ends with its last track record followed by SendLoadOK; the
// analysis ends with UpdateProcess(10000) followed by SendAnalyzeOK, and
// only the duplicate scan reports every track on the way.
void TestMusicLink::loadThenAnalyse()
{
    QFETCH(int, mode);
    QFETCH(bool, perTrackAnalysisRecords);
    CMusicLink link;
    QVERIFY(link.HasEngine());
    SignalLog log;
    follow(link, log);

    QCOMPARE(link.InitParam(tagMusicRunMode(mode), nullptr), 0);
    QStringList files;
    for (const QString& name : QDir(m_music.path()).entryList(QDir::Files))
        files << m_music.filePath(name);
    QCOMPARE(link.LoadExMusicFiles(files), 0);
    QCOMPARE(link.LoadiTunesMusic(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(log.names.contains(QStringLiteral("loadok")), kWaitMs);
    QCOMPARE(log.names.last(), QStringLiteral("loadok"));
    QCOMPARE(log.names.count(QStringLiteral("load")), 5);  // four tracks and the end
    QCOMPARE(log.progress.last(), PROGRESS_FULL);

    int total = 0;
    tagMusicRunMode runMode = tagMusicRunMode(0);
    QCOMPARE(link.GetMusicCountAMode(&total, &runMode), 4);
    QCOMPARE(int(runMode), mode);

    log = SignalLog();
    const int mask = mode == RUN_DUP_FILES ? CConfig::instance()->Duplicate
                                           : CConfig::instance()->Genernal;
    QCOMPARE(link.AnalyzeMusicInfo(mask), 0);
    QTRY_VERIFY_WITH_TIMEOUT(log.names.contains(QStringLiteral("analyzeok")), kWaitMs);
    QCOMPARE(log.names.last(), QStringLiteral("analyzeok"));
    QCOMPARE(log.names.at(log.names.size() - 2), QStringLiteral("progress"));
    QCOMPARE(log.names.count(QStringLiteral("load")) > 0, perTrackAnalysisRecords);
    QCOMPARE(log.names.count(QStringLiteral("analyzeok")), 1);

    link.SetExitState(1);
    QCOMPARE(link.DestroyMusicLibrary(), 0);
}

void TestMusicLink::loadCallbackIgnoresOtherOperations()
{
    CMusicLink link;
    QSignalSpy loads(&link, &CMusicLink::SendLoadMusic);
    QSignalSpy ends(&link, &CMusicLink::SendLoadOK);
    tagAnaluyzeInfo info{};
    info.iOperation = CMD_ANALYSE;
    info.iProgress = PROGRESS_FULL;
    LoadMusicInfoCallBrak(&info, &link);
    LoadMusicInfoCallBrak(nullptr, &link);
    QCOMPARE(loads.count(), 0);
    QCOMPARE(ends.count(), 0);

    info.iOperation = CMD_LOAD;
    info.pLocation = "/music/\xc3\xa9t\xc3\xa9.mp3";
    LoadMusicInfoCallBrak(&info, &link);
    QCOMPARE(loads.count(), 1);
    QCOMPARE(loads.at(0).at(2).toString(), QStringLiteral("/music/\u00e9t\u00e9.mp3"));
    QCOMPARE(ends.count(), 1);
}

void TestMusicLink::failureRecordsEndNothingAsDone_data()
{
    QTest::addColumn<int>("operation");
    QTest::newRow("load whose tracks were not stored") << int(CMD_LOAD);
    QTest::newRow("save after the analysis") << int(CMD_ANALYSE);
}

// A failure record ends a load or a save as failed: only the failure signal
// goes out, never the ones that say the work was done or went on.
void TestMusicLink::failureRecordsEndNothingAsDone()
{
    QFETCH(int, operation);
    CMusicLink link;
    SignalLog log;
    follow(link, log);
    QSignalSpy loadFailed(&link, &CMusicLink::SendLoadFailed);
    QSignalSpy saveFailed(&link, &CMusicLink::SendSaveFailed);
    tagAnaluyzeInfo info{};
    info.iOperation = operation;
    info.iState = MM_ERR_DATABASE;
    info.iTotal = PROGRESS_FULL;
    info.iProgress = PROGRESS_FULL;
    if (operation == CMD_LOAD)
        LoadMusicInfoCallBrak(&info, &link);
    else
        AnalyzeMusicInfoCallBrak(&info, &link);
    QCoreApplication::processEvents();
    QVERIFY(log.names.isEmpty());
    QSignalSpy& failed = operation == CMD_LOAD ? loadFailed : saveFailed;
    QCOMPARE(loadFailed.count() + saveFailed.count(), 1);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.at(0).at(0).toInt(), int(MM_ERR_DATABASE));
}

// Paths that do not fit are refused, never cut; a missing track has none.
void TestMusicLink::nullEngineRefusesRequests()
{
    CMusicLink link;
    QString path = QStringLiteral("kept");
    QVERIFY(link.GetMusicArtwork(nullptr, path) != 0);
    QVERIFY(path.isEmpty());
    path = QStringLiteral("kept");
    QVERIFY(link.GetArtworkList(nullptr, 0, path) != 0);
    QVERIFY(path.isEmpty());
    QVERIFY(link.DowldMusicInfo(nullptr, nullptr, DW_SEARCH_ARTWORK, FT_DEFAULT) != 0);
    const tagMMusicInfo* info = nullptr;
    QVERIFY(link.GetMusicInfo(nullptr, &info, INFO_NEW) != 0);
    QVERIFY(!info);
}

// A bridge's engine manager stops the online side when it goes; the next
// bridge of the process must start it again, or its lookups would run
// without a download folder or a log.
void TestMusicLink::everyBridgeStartsTheOnlineSide()
{
    const QString log = CConfig::instance()->GetLogFile() + QStringLiteral("/MusicParser.log");
    auto starts = [&log] {
        QFile file(log);
        return file.open(QIODevice::ReadOnly) ? file.readAll().count("MusicParserInit") : 0;
    };
    const int before = starts();
    for (int bridge = 1; bridge <= 2; ++bridge) {
        CMusicLink link;
        QVERIFY(link.HasEngine());
    }
    QCOMPARE(starts() - before, 2);
}

QTEST_GUILESS_MAIN(TestMusicLink)
#include "tst_musiclink.moc"
