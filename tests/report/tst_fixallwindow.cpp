// Fix All then Apply through the main window, against the real engine and
// the fake services on 127.0.0.1: the files end up tagged with what the
// services returned, the report shows each category fixed or the song
// unrecognized, and no temporary WAV file is left. An edit left open in
// the track editor is written by the apply, and a song the apply cannot
// write is counted in the window's last word and still waits; so does a
// hand edit made after the apply.
#include "information/lineedit.h"
#include "information/modifymusicinfo.h"
#include "lookupfakes.h"
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "treeitem.h"
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

// Copies of the known songs, writable, in folder.
bool CopyKnownSongs(const QTemporaryDir& folder)
{
    for (const QString& name : kKnownSongs) {
        const QString fixture = name.endsWith(QLatin1String(".m4a")) ? QStringLiteral("empty.m4a")
                                                                      : QStringLiteral("untagged.mp3");
        if (!QFile::copy(testenv::fixture(fixture), folder.filePath(name))
            || !QFile::setPermissions(folder.filePath(name), QFile::ReadOwner | QFile::WriteOwner))
            return false;
    }
    return true;
}

// The window on its report of folder, after Fix All, before the apply.
CAnalyReport* FixAllOf(CMainUI& window, const QString& folder)
{
    window.show();
    window.LoadStartParam({folder}, g_strDBName, RUN_FILES);
    if (!QTest::qWaitFor([&] { return IsFinished(window, MW_ANALYSING); }, kWaitMs))
        return nullptr;
    auto* report = window.findChild<CAnalyReport*>();
    if (!report || !QTest::qWaitFor([&] { return report->PendingDeliveries() == 0; }, kWaitMs))
        return nullptr;
    Button(window, "main_fixallbut")->click();
    if (!QTest::qWaitFor([&] { return window.State().iState == MW_APPLY; }, kWaitMs))
        return nullptr;
    return report;
}

CListItem* TileOf(CAnalyReport& report, const QString& path)
{
    for (int i = 0; i < report.ArtworkList()->count(); ++i) {
        auto* tile = static_cast<CListItem*>(report.ArtworkList()->item(i));
        if (tile->GetPath() == path)
            return tile;
    }
    return nullptr;
}

CLineEdit* EditorField(CModifyMusicInfo& editor, const QString& name)
{
    for (CLineEdit* edit : editor.findChildren<CLineEdit*>())
        if (edit->accessibleName() == name)
            return edit;
    return nullptr;
}

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
        QVERIFY(CopyKnownSongs(m_music));
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
        QCOMPARE(report->UnrecognizedTree()->topLevelItem(0)->text(4), QStringLiteral("Unknown Artist"));
        QCOMPARE(report->UnrecognizedTree()->topLevelItem(0)->text(5), QStringLiteral("Unknown Album"));
        // Three songs fixed in three categories each; the unknown one still
        // lacks its artwork, artist and album.
        QCOMPARE(StatusText(window), QStringLiteral("Fixed 3 song(s), 9 problem(s). Still 3 problem(s) not fixed."));
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
            QCOMPARE(tags.year, known ? 1999u : 0u);
            QCOMPARE(tags.genre, known ? QStringLiteral("Rock") : QString());
            if (name.endsWith(QLatin1String(".mp3")))
                QCOMPARE(tagread::mp3Picture(m_music.filePath(name)), known ? lookupfakes::noiseJpeg(5) : QByteArray());
        }
        QCOMPARE(QDir(CConfig::instance()->GetMusicPath()).entryList({QStringLiteral("*.wav")}, QDir::Files),
                 QStringList());
        QCOMPARE(report->IsNeedApply(), false);
    }

    // The apply thread reads the working copies: a title typed into the
    // open editor reaches the file. A read-only song is counted in the
    // window's last word and still waits to be applied.
    void applyWritesTheOpenEditAndCountsFailures()
    {
        QTemporaryDir songs;
        QVERIFY(CopyKnownSongs(songs));
        const QString edited = songs.filePath(kKnownSongs.at(0));
        const QString locked = songs.filePath(kKnownSongs.at(1));
        ForgetWorkingDatabase();
        CMainUI window;
        CAnalyReport* report = FixAllOf(window, songs.path());
        QVERIFY(report);
        QCOMPARE(report->ArtworkList()->m_iSuccessNum, kKnown);

        CListItem* tile = TileOf(*report, edited);
        QVERIFY(tile);
        CModifyMusicInfo* editor = report->ModifyInfo();
        if (editor->isHidden())
            editor->EditHide();
        editor->SetItem(tile->GetAbsenceType(), tile->GetID());
        CLineEdit* title = EditorField(*editor, QStringLiteral("New Tag Name"));
        QVERIFY(title);
        title->setText(QStringLiteral("Typed Title"));
        QVERIFY(QFile::setPermissions(locked, QFile::ReadOwner));
        CConfig::instance()->Replace = OPT_REPLACE_META | MF_TITLE;
        ModalWatch watch([](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Yes")); });
        Button(window, "main_applybut")->click();
        QVERIFY(QTest::qWaitFor([&] { return IsFinished(window, MW_APPLY); }, kWaitMs));
        QFile::setPermissions(locked, QFile::ReadOwner | QFile::WriteOwner);
        CConfig::instance()->Replace = 0x01000C00;

        QCOMPARE(watch.handled, 1);
        QCOMPARE(tagread::fields(edited).title, QStringLiteral("Typed Title"));
        QCOMPARE(tagread::fields(edited).artist, QStringLiteral("Artist"));
        QCOMPARE(tagread::fields(locked).artist, QString());
        QCOMPARE(StatusText(window),
                 QStringLiteral("Results applyed. 1 song(s) could not be written. Please check that the files are writable."));
        QCOMPARE(report->IsNeedApply(), true);
        QCOMPARE(ButtonPage(window), int(BP_APPLY));
    }

    // After an apply nothing waits; a hand edit in any category then waits
    // to be applied, so the close asks, and Ignore keeps the working
    // database with the edit, also with the score at 100.
    void handEditAfterTheApplyWaits_data()
    {
        QTest::addColumn<QString>("category");
        QTest::newRow("artwork grid") << "artwork";
        QTest::newRow("artist tree") << "artist";
        QTest::newRow("album tree") << "album";
    }

    void handEditAfterTheApplyWaits()
    {
        QFETCH(QString, category);
        QTemporaryDir songs;
        QVERIFY(CopyKnownSongs(songs));
        ForgetWorkingDatabase();
        CMainUI window;
        CAnalyReport* report = FixAllOf(window, songs.path());
        QVERIFY(report);
        Button(window, "main_applybut")->click();
        QVERIFY(QTest::qWaitFor([&] { return IsFinished(window, MW_APPLY); }, kWaitMs));
        QCOMPARE(ScoreText(window), QStringLiteral("100"));
        QVERIFY(!report->IsNeedApply());

        // The category, then the song's row, as the user picks them.
        const QString edited = songs.filePath(kKnownSongs.at(0));
        const int kind = category == QLatin1String("artwork") ? CAT_ARTWORK
                       : category == QLatin1String("artist")  ? CAT_ARTIST
                                                               : CAT_ALBUM;
        report->TypeTree()->setCurrentItem(report->TypeRow(kind));
        if (kind == CAT_ARTWORK) {
            report->ArtworkList()->setCurrentItem(nullptr);
            report->ArtworkList()->setCurrentItem(TileOf(*report, edited));
        } else {
            QTreeWidget* tree = kind == CAT_ARTIST ? report->ArtistTree() : report->AlbumTree();
            QTreeWidgetItem* row = nullptr;
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                if (static_cast<CTreeItem*>(tree->topLevelItem(i))->GetPath() == edited)
                    row = tree->topLevelItem(i);
            QVERIFY(row);
            tree->setCurrentItem(nullptr);
            tree->setCurrentItem(row);
        }
        CModifyMusicInfo* editor = report->ModifyInfo();
        if (editor->isHidden())
            editor->EditHide();
        CLineEdit* title = EditorField(*editor, QStringLiteral("New Tag Name"));
        QVERIFY(title);
        QTRY_COMPARE_WITH_TIMEOUT(title->text(), QStringLiteral("Song"), kWaitMs);
        title->setText(QStringLiteral("Typed Title"));
        editor->EditHide();
        QVERIFY(report->IsNeedApply());

        QString asked;
        ModalWatch watch([&](QWidget* modal) { return PressMessageButton(modal, QStringLiteral("Ignore"), &asked); });
        QVERIFY(window.close());
        QCOMPARE(asked, QStringLiteral("Do you want to apply the new results?|"));
        QVERIFY(QFile::exists(g_strDBName));
        ForgetWorkingDatabase();
    }
};

QTEST_MAIN(TestFixAllWindow)
#include "tst_fixallwindow.moc"
