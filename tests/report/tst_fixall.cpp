// Fix All, Refix and Apply on the report page against the real engine and
// the fake services on 127.0.0.1, driven as the main window drives them:
// the slots in flight, the temporary WAV files, the found texts, the move
// of failed songs into "Unrecognized Songs" and back, pause and continue,
// and the tags the apply writes.
#include "lookupfakes.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "reportsession.h"
#include "tagread.h"
#include "treeitem.h"
#include "wavmaker.h"
#include "widgetprobe.h"

#include <QDateTime>
#include <QDirIterator>
#include <QSignalSpy>
#include <QTimer>

using namespace reporttest;
using widgetprobe::topLevelTexts;
using lookupfakes::kAlbumGroup;
using lookupfakes::frontPath;
using lookupfakes::lookupAnswer;
using lookupfakes::lookupPath;
using lookupfakes::noiseJpeg;
using lookupfakes::recordingDetails;
using lookupfakes::recordingPath;
using lookupfakes::searchAnswer;
using lookupfakes::searchPath;

namespace {

constexpr int kKnown = 8;    // 6-second songs: the lookup service knows them
constexpr int kUnknown = 4;  // 9-second songs: it does not, until told to
constexpr int kTracks = kKnown + kUnknown;

// Converter slots holding a track.
int busySlots(const CAnalyReport& report)
{
    int busy = 0;
    for (int i = 0; i < kConverterSlots; ++i)
        busy += report.Slot(i).item != nullptr;
    return busy;
}

QStringList wavFiles(const QString& folder)
{
    return QDir(folder).entryList({QStringLiteral("*.wav")}, QDir::Files);
}

// Names, sizes and times of every file below folder.
QMap<QString, QString> fingerprintOf(const QString& folder)
{
    QMap<QString, QString> files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        files.insert(info.filePath(), QStringLiteral("%1 %2").arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch()));
    }
    return files;
}

} // namespace

class TestFixAll : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    QTemporaryDir m_music;
    CMusicLink* m_pLink = nullptr;
    std::unique_ptr<CAnalyReport> m_pReport;
    std::atomic<bool> m_bKnowAll{false};
    int m_iMaxBusy = 0;
    int m_iMaxWavs = 0;

    QStringList musicFiles() const
    {
        QStringList files;
        for (const QString& name : QDir(m_music.path()).entryList({QStringLiteral("*.wav")}, QDir::Files))
            files << m_music.filePath(name);
        return files;
    }

    // Untagged songs, the known ones first.
    bool writeSongs()
    {
        for (int i = 0; i < kTracks; ++i) {
            const double seconds = i < kKnown ? 6.2 : 9.2;
            const QByteArray wav = wavmaker::wav(wavmaker::melody(22050, 1, seconds), 22050, 1);
            if (!testenv::writeAll(m_music.filePath(QStringLiteral("song %1.wav").arg(i, 2, 10, QLatin1Char('0'))), wav))
                return false;
        }
        return true;
    }

    QString tempFolder() const { return CConfig::instance()->GetMusicPath(); }

    // A fresh report over a fresh load of the folder, wired as the window
    // wires it.
    bool startReport()
    {
        m_pReport.reset();
        m_pLink->DestroyMusicLibrary();
        QFile::remove(g_strDBName);
        if (!loadAndAnalyse(*m_pLink, RUN_FILES, musicFiles()))
            return false;
        m_pReport = std::make_unique<CAnalyReport>(nullptr);
        m_pReport->SetMusicLink(m_pLink);
        connect(m_pLink, &CMusicLink::SendDowldInfo, m_pReport.get(), &CAnalyReport::FixCallBrack);
        fillReport(*m_pLink, *m_pReport);
        return m_pReport->ArtworkList()->count() == kTracks;
    }

    // Fix All as the window starts it.
    void startFixAll()
    {
        m_pReport->SetArtworkState(CTL_RUN);
        m_pReport->SetFixState(CAnalyReport::FS_RUN);
        m_pReport->FixAnalyList();
    }

    // Fix All to its end; true once the page says it is done.
    bool runFixAll()
    {
        QSignalSpy done(m_pReport.get(), &CAnalyReport::ReportFixAllComplete);
        startFixAll();
        return done.wait(kWaitMs);
    }

    // Samples what is in flight while the event loop runs.
    void watch(QTimer& timer)
    {
        m_iMaxBusy = m_iMaxWavs = 0;
        timer.setInterval(1);
        connect(&timer, &QTimer::timeout, this, [this] {
            m_iMaxBusy = std::max(m_iMaxBusy, busySlots(*m_pReport));
            m_iMaxWavs = std::max(m_iMaxWavs, int(wavFiles(tempFolder()).size()));
        });
        timer.start();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_fake.port() != 0);
        lookupfakes::useFakeServices(m_fake);
        m_fake.answerWith(lookupPath(), [this](const SeenRequest& request) {
            const bool known = m_bKnowAll || request.formValue(QStringLiteral("duration")) == QLatin1String("6");
            return FakeAnswer::json(lookupAnswer(known));
        });
        m_fake.answer(recordingPath(), FakeAnswer::json(recordingDetails("1999-05-04", "Rock")));
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(5)));
        m_fake.answer(searchPath(), FakeAnswer::json(searchAnswer({})));

        CreateLinkAndName();
        CConfig::instance();
        CreateImage();
        QVERIFY(m_music.isValid());
        QVERIFY(writeSongs());
        m_pLink = new CMusicLink();
        QVERIFY(m_pLink->HasEngine());
        // What an interrupted earlier run may have left.
        QDir(tempFolder()).removeRecursively();
        QDir().mkpath(tempFolder());
    }

    void cleanupTestCase()
    {
        m_pReport.reset();
        m_pLink->SetExitState(1);
        m_pLink->DestroyMusicLibrary();
        delete m_pLink;
        DestroyImage();
    }

    // Up to four tracks in flight, every WAV gone at the end, nothing else
    // touched; found texts shown, unknown songs moved to their own list.
    void fixAll()
    {
        QVERIFY(startReport());
        QVERIFY(testenv::writeAll(tempFolder() + QStringLiteral("/keep.wav"), "not ours to delete"));
        QVERIFY(testenv::writeAll(tempFolder() + QStringLiteral("/notes.txt"), "neither"));
        const QMap<QString, QString> before = fingerprintOf(tempFolder());
        const QMap<QString, QString> music = fingerprintOf(m_music.path());
        QSignalSpy moving(m_pReport.get(), &CAnalyReport::MoveFailedItemState);
        QSignalSpy moved(m_pReport.get(), &CAnalyReport::MoveFailedItemStateOK);
        QTimer sampler;
        watch(sampler);
        QVERIFY(runFixAll());
        sampler.stop();

        QVERIFY(m_iMaxBusy >= 1);
        QVERIFY(m_iMaxBusy <= kConverterSlots);
        QVERIFY(m_iMaxWavs <= kConverterSlots + 1);  // keep.wav is always there
        QCOMPARE(fingerprintOf(tempFolder()), before);
        QCOMPARE(fingerprintOf(m_music.path()), music);
        QCOMPARE(moving.count(), 1);
        QCOMPARE(moved.count(), 1);

        CAnalyReport& report = *m_pReport;
        QCOMPARE(report.ArtworkList()->count(), kKnown);
        QCOMPARE(report.ArtworkList()->m_iSuccessNum, kKnown);
        for (int i = 0; i < report.ArtworkList()->count(); ++i) {
            auto* tile = static_cast<CListItem*>(report.ArtworkList()->item(i));
            QCOMPARE(tile->GetItemSate(), CListItem::IS_FIXED);
            QVERIFY(QFileInfo::exists(tile->GetArtworkPath()));
            QCOMPARE(tile->text(), QStringLiteral("Song"));
        }
        QCOMPARE(topLevelTexts(report.ArtistTree(), 2), QStringList(kKnown, QStringLiteral("Artist")));
        QCOMPARE(topLevelTexts(report.AlbumTree(), 3), QStringList(kKnown, QStringLiteral("Album")));
        QCOMPARE(report.UnrecognizedTree()->topLevelItemCount(), kUnknown);
        for (int i = 0; i < kUnknown; ++i)
            QCOMPARE(report.UnrecognizedTree()->topLevelItem(i)->checkState(0), Qt::Checked);
        QVERIFY(report.TypeRow(CAT_UNRECOGNIZED)->QuantityWidget());
        QCOMPARE(report.TypeRow(CAT_UNRECOGNIZED)->QuantityWidget()->CountText(), QString::number(kUnknown));
        QCOMPARE(report.IsNeedFix(), false);
        QCOMPARE(report.IsNeedApply(), true);
        QCOMPARE(report.FixState(), CAnalyReport::FS_IDLE);
    }

    // The service knows the rest now: Refix brings them back as fixed.
    void refix()
    {
        CAnalyReport& report = *m_pReport;
        m_bKnowAll = true;
        QSignalSpy done(&report, &CAnalyReport::ReportFixAllComplete);
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        report.StartFixFailed();
        QVERIFY(done.wait(kWaitMs));
        m_bKnowAll = false;
        QCOMPARE(report.UnrecognizedTree()->topLevelItemCount(), 0);
        QCOMPARE(report.ArtistTree()->topLevelItemCount(), kTracks);
        QCOMPARE(report.ArtistTree()->m_iSuccessNum, kTracks);
        QCOMPARE(report.AlbumTree()->m_iSuccessNum, kTracks);
        QCOMPARE(report.ArtworkList()->count(), kTracks);
        QVERIFY(wavFiles(tempFolder()) == QStringList{QStringLiteral("keep.wav")});
        QCOMPARE(texts.last().at(0).toString(), QStringLiteral("Congratulations, your music library is 100% cleaned!"));
        QCOMPARE(report.CalculateScore(), 0);
    }

    // Apply in file mode writes the found fields into the tags and clears
    // them from the absence bits; a file it cannot write is told and still
    // waits to be applied.
    void apply()
    {
        CAnalyReport& report = *m_pReport;
        const QString locked = musicFiles().last();
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner));
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        QSignalSpy progress(&report, &CAnalyReport::UpdateProcess);
        QThread* thread = QThread::create([&report] { report.AppleyiTunes(); });
        thread->start();
        QVERIFY(thread->wait(kWaitMs));
        delete thread;
        QTRY_VERIFY_WITH_TIMEOUT(!texts.isEmpty(), kWaitMs);
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);

        QCOMPARE(progress.last().at(0).toInt(), PROGRESS_FULL);
        QCOMPARE(texts.last().at(0).toString(),
                 QStringLiteral("1 song(s) could not be written. Please check that the files are writable."));
        QCOMPARE(report.IsNeedApply(), true);
        for (const QString& file : musicFiles()) {
            const tagread::Fields tags = tagread::fields(file);
            const bool written = file != locked;
            QCOMPARE(tags.artist, written ? QStringLiteral("Artist") : QString());
            QCOMPARE(tags.album, written ? QStringLiteral("Album") : QString());
        }
        for (const QString& file : musicFiles()) {
            const int stored = storedValue(file, "Absence");
            QVERIFY(stored >= 0);
            QCOMPARE((stored & (MF_ARTIST | MF_ALBUM)) == 0, file != locked);
        }
    }

    // A pause lets the tracks in flight finish and starts no new one;
    // continuing fills every slot at once.
    void pauseAndContinue()
    {
        QVERIFY(writeSongs());
        QVERIFY(startReport());
        CAnalyReport& report = *m_pReport;
        QSignalSpy done(&report, &CAnalyReport::ReportFixAllComplete);
        startFixAll();
        auto untouched = [&report] {
            int n = 0;
            for (int i = 0; i < report.ArtworkList()->count(); ++i)
                n += static_cast<CListItem*>(report.ArtworkList()->item(i))->GetFixState() == DS_NONE;
            return n;
        };
        QCOMPARE(busySlots(report), kConverterSlots);
        report.SetFixState(CAnalyReport::FS_PAUSE);
        QVERIFY(!report.TypeRow(CAT_ARTWORK)->QuantityWidget()->m_pRotation->IsRunning());
        QTRY_COMPARE_WITH_TIMEOUT(busySlots(report), 0, kWaitMs);
        QCOMPARE(untouched(), kTracks - kConverterSlots);
        report.SetFixState(CAnalyReport::FS_RUN);
        report.FixAnalyList();
        QCOMPARE(busySlots(report), kConverterSlots);
        QCOMPARE(untouched(), kTracks - 2 * kConverterSlots);
        QVERIFY(done.wait(kWaitMs));
        QCOMPARE(report.UnrecognizedTree()->topLevelItemCount(), kUnknown);
    }

    void handEditOfAnUnrecognizedSong_data()
    {
        QTest::addColumn<bool>("complete");
        QTest::addColumn<int>("fixState");
        QTest::newRow("artist only") << false << int(CAnalyReport::FS_IDLE);
        QTest::newRow("complete") << true << int(CAnalyReport::FS_IDLE);
        QTest::newRow("complete while a run waits paused") << true << int(CAnalyReport::FS_PAUSE);
    }

    // An edit that leaves a needed field empty rewrites the row; one that
    // completes the song sends it back to its categories. Only outside a
    // fixing run is that the end of one.
    void handEditOfAnUnrecognizedSong()
    {
        QFETCH(bool, complete);
        QFETCH(int, fixState);
        CAnalyReport& report = *m_pReport;
        CFailedTreeWidget* tree = report.UnrecognizedTree();
        QVERIFY(tree->topLevelItemCount() > 0);
        auto* row = static_cast<CTreeItem*>(tree->topLevelItem(0));
        void* track = row->GetID();
        const int rows = tree->topLevelItemCount();
        const QString cover = m_music.filePath(QStringLiteral("cover.jpg"));
        QVERIFY(testenv::writeAll(cover, noiseJpeg(7)));
        const QByteArray artist("Edited Artist"), album("Edited Album"), path = cover.toUtf8();
        const char* values[] = {artist.constData(), album.constData(), path.constData()};
        QCOMPARE(m_pLink->SetUserMusicInfo(track, complete ? MF_ARTIST | MF_ALBUM | MF_ARTWORK : MF_ARTIST, values), 0);
        report.SetFixState(CAnalyReport::EFixState(fixState));
        QSignalSpy ended(&report, &CAnalyReport::ReportFixAllComplete);
        report.EditFixItem(track);
        const int after = report.FixState();
        report.SetFixState(CAnalyReport::FS_IDLE);

        QCOMPARE(after, fixState);
        QCOMPARE(ended.count(), complete && fixState == CAnalyReport::FS_IDLE ? 1 : 0);
        QCOMPARE(tree->topLevelItemCount(), complete ? rows - 1 : rows);
        if (!complete) {
            QCOMPARE(row->text(4), QStringLiteral("Edited Artist"));
            QCOMPARE(row->text(5), QStringLiteral("Unknown Album"));
            QCOMPARE(row->GetFixState(), DS_NONE);
            return;
        }
        QCOMPARE(report.IsNeedApply(), true);
        QStringList artists;
        for (int i = 0; i < report.ArtistTree()->topLevelItemCount(); ++i) {
            auto* item = static_cast<CTreeItem*>(report.ArtistTree()->topLevelItem(i));
            if (item->GetID() == track)
                artists << item->text(2);
        }
        QCOMPARE(artists, QStringList{QStringLiteral("Edited Artist")});
    }

    // A search the engine refuses while nothing else runs ends the Refix
    // on its own: the song stays, ready for the next one.
    void refusedSearchEndsRefix()
    {
        CAnalyReport& report = *m_pReport;
        while (report.UnrecognizedTree()->topLevelItemCount() > 0)
            delete report.UnrecognizedTree()->takeTopLevelItem(0);
        auto* row = new CTreeItem(report.UnrecognizedTree());
        row->setCheckState(0, Qt::Checked);
        row->setText(2, QStringLiteral("No file, no track"));
        QSignalSpy done(&report, &CAnalyReport::ReportFixAllComplete);
        report.StartFixFailed();
        QVERIFY(done.wait(kWaitMs));
        QCOMPARE(report.UnrecognizedTree()->topLevelItemCount(), 1);
        QCOMPARE(row->GetFixState(), DS_NONE);
        QCOMPARE(report.FixState(), CAnalyReport::FS_IDLE);
        QCOMPARE(int(report.CategoryState(CAT_UNRECOGNIZED)), int(CTL_IDLE));
    }

    // A stop while conversions and lookups run empties the page; what the
    // engine still reports of that run changes nothing, and a new run works.
    void stopWhileFixing()
    {
        QVERIFY(writeSongs());
        QVERIFY(startReport());
        CAnalyReport& report = *m_pReport;
        QSignalSpy done(&report, &CAnalyReport::ReportFixAllComplete);
        startFixAll();
        QTRY_VERIFY_WITH_TIMEOUT(!m_fake.requestsTo(lookupPath()).isEmpty(), kWaitMs);
        report.StopWorking();
        for (int i = 0; i < kConverterSlots; ++i)
            QVERIFY(!report.Slot(i).item);
        QCOMPARE(report.ArtworkList()->count(), 0);
        QCOMPARE(wavFiles(tempFolder()), QStringList{QStringLiteral("keep.wav")});
        // Give the records of the stopped lookups their chance to arrive.
        QTest::qWait(1500);
        QCOMPARE(done.count(), 0);
        QCOMPARE(report.ArtworkList()->count(), 0);
        QVERIFY(writeSongs());
        QVERIFY(startReport());
        QVERIFY(runFixAll());
        QCOMPARE(m_pReport->UnrecognizedTree()->topLevelItemCount(), kUnknown);
    }
};

QTEST_MAIN(TestFixAll)
#include "tst_fixall.moc"
