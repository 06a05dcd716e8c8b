// Fix All then Apply through the main window, against the real engine and
// the fake services on 127.0.0.1: the files end up tagged with what the
// services returned, the report shows each category fixed or the song
// unrecognized, and no temporary WAV file is left.
#include "lookupfakes.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "tagread.h"
#include "widgetprobe.h"
#include "windowdriver.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace driver;
using widgetprobe::topLevelTexts;

namespace {

// The folder scan takes MP3 and M4A files: copies of untagged fixtures,
// which the lookup service knows, and one cut to half its length, which
// the converter refuses, so it is never identified.
const QStringList kKnownSongs{"song 0.mp3", "song 1.mp3", "song 2.m4a"};
const QString kUnknownSong = QStringLiteral("song 3.mp3");
constexpr int kKnown = 3;

} // namespace

class TestFixAllWindow : public QObject
{
    Q_OBJECT

    FakeService m_fake;
    QTemporaryDir m_music;

private slots:
    void initTestCase()
    {
        using namespace lookupfakes;
        useFakeServices(m_fake);
        m_fake.answer(lookupPath(), FakeAnswer::json(lookupAnswer(true)));
        m_fake.answer(recordingPath(), FakeAnswer::json(recordingDetails("1999-05-04", "Rock")));
        m_fake.answer(frontPath(kAlbumGroup), FakeAnswer::image(noiseJpeg(5)));
        m_fake.answer(searchPath(), FakeAnswer::json(searchAnswer({})));
        QVERIFY(m_music.isValid());
        for (const QString& name : kKnownSongs) {
            const QString fixture = name.endsWith(QLatin1String(".m4a")) ? QStringLiteral("empty.m4a")
                                                                          : QStringLiteral("untagged.mp3");
            QVERIFY(QFile::copy(testenv::fixture(fixture), m_music.filePath(name)));
            QVERIFY(QFile::setPermissions(m_music.filePath(name), QFile::ReadOwner | QFile::WriteOwner));
        }
        const QByteArray whole = testenv::readAll(testenv::fixture(QStringLiteral("untagged.mp3")));
        QVERIFY(testenv::writeAll(m_music.filePath(kUnknownSong), whole.left(whole.size() / 2)));
        ForgetWorkingDatabase();
    }

    void fixAllThenApply()
    {
        CMainUI window;
        window.show();
        window.LoadStartParam({m_music.path()}, g_strDBName, RUN_FILES);
        QVERIFY(QTest::qWaitFor([&] { return IsFinished(window, MW_ANALYSING); }, kWaitMs));
        auto* report = window.findChild<CAnalyReport*>();
        QVERIFY(report);
        QTRY_COMPARE_WITH_TIMEOUT(report->PendingDeliveries(), 0, kWaitMs);
        QCOMPARE(report->ArtworkList()->count(), kKnown + 1);

        Button(window, "main_fixallbut")->click();
        // The end of the fixing puts the window before its apply.
        QVERIFY(QTest::qWaitFor([&] { return window.State().iState == MW_APPLY; }, kWaitMs));
        QCOMPARE(topLevelTexts(report->ArtistTree(), 2), QStringList(kKnown, QStringLiteral("Artist")));
        QCOMPARE(topLevelTexts(report->AlbumTree(), 3), QStringList(kKnown, QStringLiteral("Album")));
        QCOMPARE(report->ArtworkList()->m_iSuccessNum, kKnown);
        QCOMPARE(report->UnrecognizedTree()->topLevelItemCount(), 1);
        QCOMPARE(report->UnrecognizedTree()->topLevelItem(0)->text(2), QStringLiteral("song 3"));
        QCOMPARE(topLevelTexts(report->ArtistTree(), 0), QStringList(kKnown, QStringLiteral("Song")));

        // An apply question, should the settings ask for one, is answered yes.
        ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
        Button(window, "main_applybut")->click();
        QVERIFY(QTest::qWaitFor([&] { return IsFinished(window, MW_APPLY); }, kWaitMs));
        QTRY_COMPARE_WITH_TIMEOUT(StatusText(window), QStringLiteral("Results applyed. You can try fix again."), kWaitMs);
        for (const QString& name : kKnownSongs + QStringList{kUnknownSong}) {
            const tagread::Fields tags = tagread::fields(m_music.filePath(name));
            const bool known = name != kUnknownSong;
            QCOMPARE(tags.artist, known ? QStringLiteral("Artist") : QString());
            QCOMPARE(tags.album, known ? QStringLiteral("Album") : QString());
        }
        QCOMPARE(QDir(CConfig::instance()->GetMusicPath()).entryList({QStringLiteral("*.wav")}, QDir::Files),
                 QStringList());
        QCOMPARE(report->IsNeedApply(), false);
    }
};

QTEST_MAIN(TestFixAllWindow)
#include "tst_fixallwindow.moc"
