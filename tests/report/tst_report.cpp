// The report page fed by a real engine load of a generated folder: rows per
// category, badges, captions, summary lines, the score texts, check states
// kept in the track database across a reload, stop and clear, a second
// run, a burst of deliveries from a worker thread, and the words an apply
// by a normal user ends with.
#include "reporter/reportlists.h"
#include "reporter/typetreeitem.h"
#include "reportsession.h"
#include "treeitem.h"
#include "widgetprobe.h"
#include "information/modifymusicinfo.h"
#include "otheruser.h"
#include "fileattributes.h"
#include "meanwhile.h"
#include "enginedb.h"
#include "libraryxml.h"

#include <QHeaderView>
#include <QImage>
#include <QMouseEvent>
#include <QProcess>
#include <QSignalSpy>
#include <QStackedWidget>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sys/file.h>
#include <fcntl.h>
#include <unistd.h>

using namespace reporttest;
using widgetprobe::topLevelTexts;

namespace {

const QString kTagged = QStringLiteral("tagged.mp3");      // every field and a cover
const QString kUntagged = QStringLiteral("untagged.mp3");  // nothing
const QString kNoArt = QStringLiteral("noart.mp3");        // every field, no cover
const QString kPartial = QStringLiteral("partial.mp3");    // title and artist only
const QString kReadOnly = QStringLiteral("readonly.mp3");  // nothing, not writable
const QString kMissing = QStringLiteral("missing.mp3");    // gone before the analysis

CTypeTreeItem* shownRow(CAnalyReport& report, const QString& caption)
{
    QTreeWidget* tree = report.TypeTree();
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        if (tree->topLevelItem(i)->text(2) == caption)
            return static_cast<CTypeTreeItem*>(tree->topLevelItem(i));
    return nullptr;
}

} // namespace

class TestReport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_music;
    CMusicLink* m_pLink = nullptr;

    QString file(const QString& name) const { return m_music.filePath(name); }

    QStringList folderFiles() const
    {
        return {file(kTagged), file(kUntagged), file(kNoArt), file(kPartial), file(kReadOnly), file(kMissing)};
    }

    bool copyFixture(const QString& fixture, const QString& name)
    {
        QFile::remove(file(name));
        return QFile::copy(testenv::fixture(fixture), file(name))
               && QFile::setPermissions(file(name), QFile::ReadOwner | QFile::WriteOwner);
    }

    // A fresh working database with the folder loaded and analysed.
    bool loadFolder(const QStringList& files)
    {
        m_pLink->DestroyMusicLibrary();
        QFile::remove(g_strDBName);
        if (!copyFixture(QStringLiteral("untagged.mp3"), kMissing))
            return false;
        return loadAndAnalyse(*m_pLink, RUN_FILES, files, [this] { QFile::remove(file(kMissing)); });
    }

private slots:
    void initTestCase()
    {
        CreateLinkAndName();
        CConfig::instance();
        CreateImage();
        QVERIFY(m_music.isValid());
        QVERIFY(copyFixture(QStringLiteral("id3v2-cover.mp3"), kTagged));
        QVERIFY(copyFixture(QStringLiteral("untagged.mp3"), kUntagged));
        QVERIFY(copyFixture(QStringLiteral("id3v1-only.mp3"), kNoArt));
        QVERIFY(copyFixture(QStringLiteral("id3v2-partial.mp3"), kPartial));
        QVERIFY(copyFixture(QStringLiteral("untagged.mp3"), kReadOnly));
        QVERIFY(QFile::setPermissions(file(kReadOnly), QFile::ReadOwner));
        m_pLink = new CMusicLink();
        QVERIFY(m_pLink->HasEngine());
    }

    void cleanupTestCase()
    {
        m_pLink->SetExitState(1);
        m_pLink->DestroyMusicLibrary();
        delete m_pLink;
        DestroyImage();
    }

    // What a user sees after the analysis, category by category.
    void categories_data()
    {
        QTest::addColumn<QString>("caption");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("rows");
        QTest::addColumn<QString>("summary");
        QTest::newRow("artwork") << "Songs Without Album Artwork" << 0 << 4
                                 << "Scanned 6 song(s), 4 song(s) without artwork.";
        QTest::newRow("artist") << "Songs Without Artist" << 3 << 2
                                << "Scanned 6 song(s), 2 song(s) without artist.";
        QTest::newRow("album") << "Songs Without Album" << 2 << 3
                               << "Scanned 6 song(s), 3 song(s) without album.";
        QTest::newRow("unwritable") << "Unwritable Items" << 1 << 1
                                    << "Scanned 6 song(s), 1 song(s) unwritable,check them if exist in your computer.";
    }

    void categories()
    {
        QFETCH(QString, caption);
        QFETCH(int, page);
        QFETCH(int, rows);
        QFETCH(QString, summary);
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        fillReport(*m_pLink, report);

        // Only categories with songs are listed, in the page's order.
        QStringList shown;
        for (int i = 0; i < report.TypeTree()->topLevelItemCount(); ++i)
            shown << report.TypeTree()->topLevelItem(i)->text(2);
        QCOMPARE(shown, (QStringList{"Songs Without Album Artwork", "Songs Without Artist", "Songs Without Album",
                                     "Unwritable Items"}));
        CTypeTreeItem* row = shownRow(report, caption);
        QVERIFY(row);
        QCOMPARE(row->QuantityWidget()->CountText(), QString::number(rows));
        QVERIFY(accessibleNames(report.TypeTree()).contains(caption));

        texts.clear();
        report.TypeTree()->setCurrentItem(nullptr);
        report.TypeTree()->setCurrentItem(row);
        QCOMPARE(report.ListStack()->currentIndex(), page);
        QVERIFY(!texts.isEmpty());
        QCOMPARE(texts.last().at(0).toString(), summary);
        QCOMPARE(report.IsNeedFix(), true);
    }

    // A category being fixed or done sums up what was fixed; picking one
    // during a fixing run switches the list without a summary line.
    void fixedSummaries_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("badgePage");
        QTest::addColumn<QString>("summary");
        QTest::newRow("artwork done") << int(CAT_ARTWORK) << 1
                                      << "Fixed 3 song(s) without artwork. Still 1 song(s) not fixed.";
        QTest::newRow("artist fixing") << int(CAT_ARTIST) << 2
                                       << "Fixed 1 song(s) without artist. Still 1 song(s) not fixed.";
        QTest::newRow("album done") << int(CAT_ALBUM) << 1
                                    << "Fixed 0 song(s) without album. Still 3 song(s) not fixed.";
        QTest::newRow("unwritable done")
            << int(CAT_UNWRITABLE) << 1
            << QStringLiteral("1 unwritable song(s) not fixed\uff0cplease check them if exist in your computer.");
        QTest::newRow("unrecognized") << int(CAT_UNRECOGNIZED) << 0
                                      << "Fixed 4 problem(s). Still 1 song(s) unrecognized.";
    }

    void fixedSummaries()
    {
        QFETCH(int, kind);
        QFETCH(int, badgePage);
        QFETCH(QString, summary);
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        // A new page lists all five categories, the artwork one current.
        QStringList captions;
        for (int i = 0; i < report.TypeTree()->topLevelItemCount(); ++i)
            captions << report.TypeTree()->topLevelItem(i)->text(2);
        QCOMPARE(captions, (QStringList{"Unrecognized Songs", "Songs Without Album Artwork", "Songs Without Artist",
                                        "Songs Without Album", "Unwritable Items"}));
        QCOMPARE(report.TypeTree()->currentItem(), report.TypeRow(CAT_ARTWORK));
        QCOMPARE(report.ListStack()->currentIndex(), 0);

        fillReport(*m_pLink, report);
        new CTreeItem(report.UnrecognizedTree());
        report.ReflashMusicNum(false);
        report.ArtworkList()->m_iSuccessNum = 3;
        report.ArtistTree()->m_iSuccessNum = 1;
        CTypeTreeItem* row = report.TypeRow(kind);
        row->SetQuantityWidgetIndex(badgePage);
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        report.TypeTree()->setCurrentItem(nullptr);
        report.TypeTree()->setCurrentItem(row);
        QCOMPARE(texts.count(), 1);
        QCOMPARE(texts.last().at(0).toString(), summary);

        report.SetFixState(CAnalyReport::FS_RUN);
        report.TypeTree()->setCurrentItem(report.TypeRow(kind == CAT_ARTIST ? CAT_ALBUM : CAT_ARTIST));
        QCOMPARE(report.ListStack()->currentIndex(), kind == CAT_ARTIST ? 2 : 3);
        QCOMPARE(texts.count(), 1);
        report.SetFixState(CAnalyReport::FS_IDLE);
    }

    // Rows carry what they show; a missing value reads "Unknown ...".
    void rows()
    {
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        fillReport(*m_pLink, report);

        QStringList tiles;
        for (int i = 0; i < report.ArtworkList()->count(); ++i)
            tiles << report.ArtworkList()->item(i)->text();
        QCOMPARE(tiles.size(), 4);
        QVERIFY(tiles.contains(QStringLiteral("Lantern Steps")));
        QVERIFY(tiles.contains(QStringLiteral("Grey Water Caf\u00e9")));
        QCOMPARE(topLevelTexts(report.AlbumTree(), 3),
                 QStringList({"Unknown Album", "Unknown Album", "Unknown Album"}));
        QVERIFY(topLevelTexts(report.AlbumTree(), 2).contains(QStringLiteral("Mira Kessel")));
        QCOMPARE(topLevelTexts(report.ArtistTree(), 2), QStringList({"Unknown Artist", "Unknown Artist"}));
        QCOMPARE(report.AlbumTree()->topLevelItem(0)->foreground(3).color(), QColor("#32a5e6"));
        QCOMPARE(report.AlbumTree()->topLevelItem(0)->checkState(0), Qt::Checked);
        const QStringList names = accessibleNames(report.AlbumTree());
        QVERIFY(names.contains(QStringLiteral("Grey Water Caf\u00e9")));

        // A missing file is only listed as unwritable, and without a box.
        QTreeWidgetItem* gone = report.UnwritableTree()->topLevelItem(0);
        QCOMPARE(report.UnwritableTree()->topLevelItemCount(), 1);
        QCOMPARE(static_cast<CTreeItem*>(gone)->GetPath(), file(kMissing));
        QCOMPARE(gone->text(6), file(kMissing));  // where the hand and the reveal act
        report.ListStack()->setCurrentWidget(report.UnwritableTree());
        report.resize(1000, 600);
        report.show();
        QVERIFY(QTest::qWaitForWindowExposed(&report));
        QWidget* viewport = report.UnwritableTree()->viewport();
        const int y = report.UnwritableTree()->visualItemRect(gone).center().y();
        auto hover = [&](int x) {
            QMouseEvent move(QEvent::MouseMove, QPointF(x, y), viewport->mapToGlobal(QPointF(x, y)), Qt::NoButton,
                             Qt::NoButton, Qt::NoModifier);
            QCoreApplication::sendEvent(viewport, &move);
            return report.cursor().shape();
        };
        QCOMPARE(hover(report.UnwritableTree()->header()->sectionPosition(6) + 3), Qt::PointingHandCursor);
        QCOMPARE(hover(2), Qt::ArrowCursor);
        QVERIFY(!gone->data(0, Qt::CheckStateRole).isValid());
        for (QTreeWidget* tree : {static_cast<QTreeWidget*>(report.ArtistTree()), static_cast<QTreeWidget*>(report.AlbumTree())})
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                QVERIFY(static_cast<CTreeItem*>(tree->topLevelItem(i))->GetPath() != file(kMissing));
    }

    // What the engine already holds for a song counts as found: its cover
    // makes the tile fixed, its album the album row, and both count as
    // fixed in the score's text.
    void foundValuesShowFixed()
    {
        QVERIFY(loadFolder(folderFiles()));
        void* track = nullptr;
        for (int i = 0; !track && i < m_pLink->GetMusicCountAMode(nullptr, nullptr); ++i) {
            int absence = 0, state = 0;
            long long repeat = 0;
            if (m_pLink->GetMusicListMusic(i, &track, absence, state, repeat) != 0
                || (absence & (MF_ALBUM | MF_ARTWORK)) != (MF_ALBUM | MF_ARTWORK))
                track = nullptr;
        }
        QVERIFY(track);
        // The page writes the cover out to the engine's path: a copy, never
        // the fixture itself.
        const QString cover = file(QStringLiteral("cover.png"));
        QFile::remove(cover);
        QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("cover.png")), cover));
        QVERIFY(QFile::setPermissions(cover, QFile::ReadOwner | QFile::WriteOwner));
        const QByteArray coverPath = cover.toUtf8();
        const char* values[] = {"Harbour Lights", coverPath.constData()};
        QCOMPARE(m_pLink->SetUserMusicInfo(track, MF_ALBUM | MF_ARTWORK, values), 0);

        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        fillReport(*m_pLink, report);
        CListItem* tile = nullptr;
        for (int i = 0; i < report.ArtworkList()->count(); ++i)
            if (static_cast<CListItem*>(report.ArtworkList()->item(i))->GetID() == track)
                tile = static_cast<CListItem*>(report.ArtworkList()->item(i));
        QVERIFY(tile);
        QCOMPARE(tile->GetItemSate(), CListItem::IS_FIXED);
        QCOMPARE(int(tile->GetFixState()), int(DS_DONE));
        QCOMPARE(tile->m_iArtworkCount, 1);
        QVERIFY(QImage(tile->GetArtworkPath()).width() > 0);
        QCOMPARE(report.ArtworkList()->m_iSuccessNum, 1);
        CTreeItem* album = nullptr;
        for (int i = 0; i < report.AlbumTree()->topLevelItemCount(); ++i)
            if (static_cast<CTreeItem*>(report.AlbumTree()->topLevelItem(i))->GetID() == track)
                album = static_cast<CTreeItem*>(report.AlbumTree()->topLevelItem(i));
        QVERIFY(album);
        QCOMPARE(album->text(3), QStringLiteral("Harbour Lights"));
        QVERIFY(!album->icon(5).isNull());
        QCOMPARE(int(album->GetFixState()), int(DS_DONE));
        QCOMPARE(report.AlbumTree()->m_iSuccessNum, 1);
        QCOMPARE(texts.last().at(0).toString(),
                 QStringLiteral("Fixed 5 song(s), 2 problem(s). Still 8 problem(s) not fixed."));
    }

    void score_data()
    {
        QTest::addColumn<bool>("clean");
        QTest::addColumn<int>("open");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("allFixed");
        QTest::newRow("open problems") << false << 10
                                       << "Fixed 5 song(s), 0 problem(s). Still 10 problem(s) not fixed." << false;
        QTest::newRow("all fixed") << true << 0 << "Congratulations, your music library is 100% cleaned!" << true;
    }

    void score()
    {
        QFETCH(bool, clean);
        QFETCH(int, open);
        QFETCH(QString, text);
        QFETCH(bool, allFixed);
        QVERIFY(loadFolder(clean ? QStringList{file(kTagged)} : folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        QSignalSpy infos(&report, &CAnalyReport::ReportFixInfo);
        QSignalSpy ends(&report, &CAnalyReport::EndFialedState);
        QSignalSpy texts(&report, &CAnalyReport::StartFixAll);
        fillReport(*m_pLink, report);
        QCOMPARE(infos.last(), (QList<QVariant>{open, PROGRESS_FULL}));
        QCOMPARE(ends.last().at(0).toBool(), allFixed);
        QCOMPARE(texts.last().at(0).toString(), text);
        QCOMPARE(report.CalculateScore(), open);
        QCOMPARE(report.TypeTree()->topLevelItemCount(), clean ? 0 : 4);
    }

    // A box changed on screen is the "State" column of the track's row, and
    // a reload of the project shows it again.
    void checkStateSurvivesReload()
    {
        QVERIFY(loadFolder(folderFiles()));
        {
            CAnalyReport report(nullptr);
            report.SetMusicLink(m_pLink);
            fillReport(*m_pLink, report);
            auto* artist = static_cast<CTreeItem*>(report.ArtistTree()->topLevelItem(0));
            const QString location = artist->GetPath();
            artist->setCheckState(0, Qt::Unchecked);
            emit report.ArtistTree()->itemClicked(artist, 2);  // not the box column
            QCOMPARE(storedState(location) & MF_ARTIST, 0);
            emit report.ArtistTree()->itemClicked(artist, 0);
            QCOMPARE(storedState(location), int(MF_ARTIST));
            // Space on the current row ticks its box and stores it as a click does.
            auto* next = static_cast<CTreeItem*>(report.ArtistTree()->topLevelItem(1));
            report.ArtistTree()->setCurrentItem(next, 0);
            QTest::keyClick(report.ArtistTree(), Qt::Key_Space);
            QCOMPARE(next->checkState(0), Qt::Unchecked);
            QCOMPARE(storedState(next->GetPath()) & MF_ARTIST, int(MF_ARTIST));
            QTest::keyClick(report.ArtistTree(), Qt::Key_Space);
            QCOMPARE(storedState(next->GetPath()) & MF_ARTIST, 0);

            auto* tile = static_cast<CListItem*>(report.ArtworkList()->item(0));
            tile->SetCheckState(Qt::Unchecked, false);
            emit report.ArtworkList()->SendCheckState(tile);
            QCOMPARE(storedState(tile->GetPath()) & MF_ARTWORK, int(MF_ARTWORK));
            report.StopWorking();
        }
        QVERIFY(loadAndAnalyse(*m_pLink, RUN_PROJECT, {}));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        fillReport(*m_pLink, report, true);
        // A reopened project opens the editor on the first song shown.
        QCOMPARE(report.ArtworkList()->currentRow(), 0);
        QVERIFY(!static_cast<QWidget*>(report.ModifyInfo())->isHidden());
        QVERIFY(!report.ModifyInfo()->isHidden());  // its detail area too
        int unchecked = 0;
        for (int i = 0; i < report.ArtistTree()->topLevelItemCount(); ++i)
            unchecked += report.ArtistTree()->topLevelItem(i)->checkState(0) == Qt::Unchecked;
        QCOMPARE(unchecked, 1);
        unchecked = 0;
        for (int i = 0; i < report.ArtworkList()->count(); ++i)
            unchecked += static_cast<CListItem*>(report.ArtworkList()->item(i))->GetCheckState() == Qt::Unchecked;
        QCOMPARE(unchecked, 1);
    }

    void uncheckAll_data()
    {
        QTest::addColumn<int>("bit");
        QTest::newRow("artwork") << int(MF_ARTWORK);
        QTest::newRow("artist") << int(MF_ARTIST);
        QTest::newRow("album") << int(MF_ALBUM);
        QTest::newRow("unwritable") << int(MF_FILE);
    }

    // "Uncheck All" unticks every row and sets the bit on every track;
    // "Check All" gives it back.
    void uncheckAll()
    {
        QFETCH(int, bit);
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        fillReport(*m_pLink, report);
        QTreeWidget* tree = bit == MF_ARTIST ? static_cast<QTreeWidget*>(report.ArtistTree())
                            : bit == MF_ALBUM ? static_cast<QTreeWidget*>(report.AlbumTree())
                                              : static_cast<QTreeWidget*>(report.UnwritableTree());
        auto uncheckAllRows = [&](bool uncheck) {
            if (bit == MF_ARTWORK)
                uncheck ? report.ArtworkList()->UnAllItem() : report.ArtworkList()->AllItem();
            else
                uncheck ? static_cast<CFailedTreeWidget*>(tree)->UnAllItem() : static_cast<CFailedTreeWidget*>(tree)->AllItem();
        };
        uncheckAllRows(true);
        for (const QString& path : {file(kUntagged), file(kTagged), file(kMissing)})
            QCOMPARE(storedState(path) & bit, bit);
        if (bit == MF_ARTWORK) {
            for (int i = 0; i < report.ArtworkList()->count(); ++i)
                QCOMPARE(static_cast<CListItem*>(report.ArtworkList()->item(i))->GetCheckState(), Qt::Unchecked);
        } else {
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                QCOMPARE(tree->topLevelItem(i)->checkState(0), Qt::Unchecked);
        }
        uncheckAllRows(false);
        QCOMPARE(storedState(file(kUntagged)) & bit, 0);
    }

    // Stop and clear leave an empty page, drop what the old run still had
    // on its way, and a second run fills it as the first did.
    void stopClearAndSecondRun()
    {
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        report.StopWorking();  // nothing ever started: returns at once
        QCOMPARE(report.TypeTree()->topLevelItemCount(), 0);

        // Deliveries still queued when the page stops never show up.
        WalkThread walk(m_pLink, &report, CConfig::instance()->Genernal);
        walk.start();
        walk.wait();
        const int runBefore = report.RunNumber();
        report.StopWorking();
        QCoreApplication::processEvents();
        QVERIFY(report.RunNumber() != runBefore);
        report.ShowReport(false);
        QCOMPARE(report.ArtworkList()->count(), 0);
        QCOMPARE(report.ArtistTree()->topLevelItemCount(), 0);
        QCOMPARE(report.UnwritableTree()->topLevelItemCount(), 0);
        QCOMPARE(report.TypeTree()->topLevelItemCount(), 0);
        QCOMPARE(report.m_iProblemNum.load(), 0);
        for (int kind = CAT_UNRECOGNIZED; kind <= CAT_UNWRITABLE; ++kind)
            QCOMPARE(int(report.CategoryState(kind)), int(CTL_IDLE));

        // An exit flag keeps a stopping page from taking anything.
        report.SetExitFlag(true);
        fillReport(*m_pLink, report);
        QCOMPARE(report.ArtworkList()->count(), 0);
        report.SetExitFlag(false);

        for (int run = 0; run < 2; ++run) {
            QVERIFY(loadFolder(folderFiles()));
            fillReport(*m_pLink, report);
            QCOMPARE(report.ArtworkList()->count(), 4);
            QCOMPARE(report.AlbumTree()->topLevelItemCount(), 3);
            QCOMPARE(report.TypeTree()->topLevelItemCount(), 4);
            for (CTypeTreeItem* row : {report.TypeRow(CAT_ARTWORK), report.TypeRow(CAT_UNWRITABLE)})
                QCOMPARE(row->QuantityWidget()->CurrentPage(), 0);
            report.ClearReport();
            QCOMPARE(report.AlbumTree()->topLevelItemCount(), 0);
        }
    }

    // 5,000 deliveries from a worker arrive in call order, the worker never
    // waits for the GUI thread, and the GUI thread takes them in slices.
    void burstArrivesInOrder()
    {
        QVERIFY(loadFolder(folderFiles()));
        CAnalyReport report(nullptr);
        report.SetMusicLink(m_pLink);
        report.m_iAnalyzeMask = CConfig::instance()->Genernal;
        QList<void*> grid;  // the artwork tracks, in list order
        for (int i = 0; i < m_pLink->GetMusicCountAMode(nullptr, nullptr); ++i) {
            void* track = nullptr;
            int absence = 0, state = 0;
            long long repeat = 0;
            m_pLink->GetMusicListMusic(i, &track, absence, state, repeat);
            if (absence & MF_ARTWORK)
                grid << track;
        }
        QCOMPARE(grid.size(), 4);
        constexpr int kBurst = 5000;
        QList<void*> sent;
        for (int i = 0; i < kBurst; ++i)
            sent << grid[(i * 7 + i / 3) % grid.size()];
        class Burst : public QThread
        {
        public:
            Burst(CAnalyReport* r, const QList<void*>& t) : report(r), tracks(t) {}
            CAnalyReport* report;
            QList<void*> tracks;
            void run() override
            {
                for (void* track : tracks)
                    report->AddReportItem(track, MF_ARTWORK, 0, 0, true);
            }
        } burst(&report, sent);
        burst.start();
        // The GUI thread serves no event until the worker is through: a
        // worker that waited for it would never end.
        QVERIFY(burst.wait(kWaitMs));
        QCOMPARE(report.ArtworkList()->count(), 0);
        // The end of the analysis waits behind the tracks.
        QSignalSpy scores(&report, &CAnalyReport::ReportFixInfo);
        report.ShowReport(false);
        QCOMPARE(report.CalculateScore(), -1);
        QCOMPARE(report.TypeRow(CAT_ARTWORK)->QuantityWidget()->CountText(), QStringLiteral("0"));
        QCoreApplication::sendPostedEvents(&report, QEvent::MetaCall);
        QVERIFY(report.ArtworkList()->count() > 0);
        QVERIFY(report.ArtworkList()->count() < kBurst);
        QVERIFY(scores.isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(scores.count(), 1, kWaitMs);
        QCOMPARE(scores.first(), (QList<QVariant>{kBurst, PROGRESS_FULL}));
        QCOMPARE(report.ArtworkList()->count(), kBurst);
        QCOMPARE(report.TypeRow(CAT_ARTWORK)->QuantityWidget()->CountText(), QString::number(kBurst));
        for (int i = 0; i < kBurst; ++i)
            QCOMPARE(static_cast<CListItem*>(report.ArtworkList()->item(i))->GetID(), sent[i]);
    }

    // The pages hear of a preview's end through the bridge; a file that
    // does not decode ends its preview too.
    void playerCallback_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<int>("progress");
        QTest::addColumn<bool>("withLink");
        QTest::addColumn<int>("overs");
        QTest::newRow("ended") << int(PU_ENDED) << PROGRESS_FULL << true << 1;
        QTest::newRow("short of the end") << int(PU_ENDED) << PROGRESS_FULL - 1 << true << 0;
        QTest::newRow("no bridge") << int(PU_ENDED) << PROGRESS_FULL << false << 0;
        QTest::newRow("playing") << int(PU_PLAYABLE) << 5000 << true << 0;
        QTest::newRow("undecodable") << int(PU_ERROR) << 0 << true << 1;
    }

    void playerCallback()
    {
        QFETCH(int, state);
        QFETCH(int, progress);
        QFETCH(bool, withLink);
        QFETCH(int, overs);
        QSignalSpy ended(m_pLink, &CMusicLink::SendPlayOver);
        PlayCallBrakPlay(unsigned(progress), tagPlayUnitState(state), withLink ? m_pLink : nullptr);
        QCOMPARE(ended.count(), overs);
    }

    void badgeWidth_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("width");
        QTest::newRow("0") << 0 << 25;
        QTest::newRow("42") << 42 << 30;
        QTest::newRow("1234") << 1234 << 40;
    }

    // The words an apply ends with name why each song was not written, and a
    // song refused for one cause is never told to check another. Root sets
    // the songs up; a child that is the user loads, analyses and applies an
    // album, as the window's threads do. A song given as "gone" is removed
    // after the analysis. A held library's songs are tracks of a library
    // file (owned as the folder): the child loads it, lets it go, reopens
    // the working database as a saved project and applies while a process
    // of its own holds the library's lock, as another Vessolin does; the
    // library file must come out of it as it was. Every refused song's
    // album still waits in the child's working database, read here.
    void applyTellsWhySongsWereNotWritten_data()
    {
        QTest::addColumn<QString>("folderOwner"); // uid:gid
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<QStringList>("songs");   // "uid:gid mode" each, or "gone"
        QTest::addColumn<QString>("user");        // uid:gid,more groups; "root" stays the super-user
        QTest::addColumn<bool>("heldLibrary");
        QTest::addColumn<QString>("told");
        QTest::newRow("a song gone since the analysis")
            << "0:0" << 0755 << QStringList{"gone"} << "root" << false
            << "1 song(s) could not be written: the files are no longer where they were.";
        QTest::newRow("a song in a folder the user may not write")
            << "1234:2000" << 0755 << QStringList{"1234:2000 0664"} << "1000:1000,2000" << false
            << "1 song(s) could not be written: no working copy could be made beside them. "
               "Please check that their folders are writable.";
        QTest::newRow("a setgid song that cannot keep its mode")
            << "1000:2000" << 02775 << QStringList{"1000:2000 2664"} << "1000:1000" << false
            << "1 song(s) could not be written: they would lose their permissions, as their group is not one of yours.";
        QTest::newRow("a read-only song and one gone")
            << "0:0" << 0755 << QStringList{"0:0 0444", "gone"} << "root" << false
            << "1 song(s) could not be written. Please check that the files are writable. "
               "1 song(s) could not be written: the files are no longer where they were.";
        // Another tagger saves the song again each time it is written.
        QTest::newRow("a song another program saves at every try")
            << "1000:2000" << 02775 << QStringList{"1000:2000 0664 changing"} << "1000:1000,2000" << false
            << "1 song(s) could not be written: another program changed them while they were being written. "
               "Please apply again.";
        // Its desktop's attributes find no room beside the new file.
        QTest::newRow("a song whose attributes cannot be kept")
            << "1000:2000" << 02775 << QStringList{"1000:2000 0664 attributes"} << "1000:1000,2000" << false
            << "1 song(s) could not be written: they would lose their extended attributes or their access "
               "control list.";
        QTest::newRow("a reopened project whose library another Vessolin has open")
            << "1234:2000" << 02775 << QStringList{"1234:2000 0664", "1234:2000 0664"} << "1000:1000,2000" << true
            << "2 song(s) could not be written: the iTunes library is in use by another Vessolin, on this or "
               "another computer. Please close it there and apply again.";
    }

    void applyTellsWhySongsWereNotWritten()
    {
        QFETCH(QString, folderOwner);
        QFETCH(int, folderMode);
        QFETCH(QStringList, songs);
        QFETCH(QString, user);
        QFETCH(bool, heldLibrary);
        QFETCH(QString, told);
        if (::geteuid() != 0)
            QSKIP("only the super-user can set up the files of other users");
        const otheruser::Place place(user);
        QVERIFY(place.isValid());
        const QString folder = place.folder();
        QStringList arguments{QStringLiteral("--child"), QStringLiteral("apply-as"), user};
        for (int i = 0; i < songs.size(); ++i) {
            const QString song = folder + QStringLiteral("/song %1.mp3").arg(i);
            QVERIFY(QFile::copy(testenv::fixture(QStringLiteral("id3v2-partial.mp3")), song));
            const QStringList ownerAndMode = songs[i].split(QLatin1Char(' '));
            if (songs[i] != QLatin1String("gone"))
                QVERIFY(otheruser::give(song, ownerAndMode.at(0), ownerAndMode.at(1).toInt(nullptr, 8)));
            // What happens to the song: "gone", "changing", "attributes".
            const QString fate = songs[i] == QLatin1String("gone") ? songs[i] : ownerAndMode.value(2);
            if (fate == QLatin1String("attributes"))
                QVERIFY(fileattributes::set(song, fileattributes::desktopAttributes()));
            arguments << (fate.isEmpty() ? QString() : fate + QLatin1Char(':')) + song;
        }
        const QString library = folder + QStringLiteral("/Library.xml");
        QByteArray libraryBefore;
        if (heldLibrary) {
            const QStringList files = arguments.mid(3);
            QVERIFY(libraryxml::write(library, libraryxml::titledTracks(files)));
            QVERIFY(otheruser::give(library, folderOwner, 0664));
            libraryBefore = testenv::readAll(library);
            arguments << QStringLiteral("library:") + library;
        }
        QVERIFY(otheruser::give(folder, folderOwner, folderMode));

        QProcess child;
        child.setProcessEnvironment(place.environment());
        child.start(QCoreApplication::applicationFilePath(), arguments);
        QVERIFY(child.waitForFinished(kWaitMs));
        if (child.exitCode() == 2)
            QSKIP("this process cannot become another user");
        // One line each, the words first: empty when every song was written.
        QStringList printed = QString::fromUtf8(child.readAllStandardOutput()).split(QLatin1Char('\n'));
        if (printed.size() > 1 && printed.last().isEmpty())
            printed.removeLast();
        if (printed.first() == QLatin1String("unreachable"))
            QSKIP("the test folder cannot be reached by another user");
        QVERIFY2(child.exitCode() == 0, child.readAllStandardError().right(2000).constData());
        QCOMPARE(printed.size(), 2);
        QCOMPARE(printed.first(), told);
        const QByteArray waiting = "Album = 'New Album' AND (Absence & " + QByteArray::number(MF_ALBUM) + ") != 0";
        QCOMPARE(mmtest::countRows(printed.last(), waiting), int(songs.size()));
        if (heldLibrary) {
            QCOMPARE(testenv::readAll(library), libraryBefore);
            QVERIFY(!QFile::exists(library + QStringLiteral(".journal")));
        }
    }

    void badgeWidth()
    {
        QFETCH(int, count);
        QFETCH(int, width);
        CQuantityWidget badge(7, nullptr);
        badge.SetMusicNum(count);
        QCOMPARE(badge.m_pStackedWidget->width(), width);
        QCOMPARE(badge.CountText(), QString::number(count));
        QCOMPARE(badge.CurrentPage(), 0);
    }
};

// "hold-lock <file>" holds an exclusive lock on the file, made if need be,
// says "held" and keeps it until its input ends, as another Vessolin holds
// the library's.
static int holdLock(const char* path)
{
    const int fd = ::open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0664);
    if (fd < 0 || ::flock(fd, LOCK_EX) != 0)
        return 1;
    std::printf("held\n");
    std::fflush(stdout);
    while (std::getchar() != EOF) {
    }
    return 0;
}

// "apply-as <uid:gid,groups or root> <songs...> [library:<file>]" becomes
// that user, without a way back, loads and analyses the songs in the file
// mode, gives each an album, removes those given as "gone:<path>", has
// another program save the one given as "changing:<path>" at every try of
// its write (meanwhile.h), finds no room for the attributes of a copy of
// one given as "attributes:<path>", applies
// as the window's apply thread does and prints the words the apply ended
// with, then the path of its working database. With a library file, the
// songs are its tracks: it is loaded and let go, and the working database
// opened as a saved project is applied while another process holds the
// library's lock. Ends without exit handlers: a leak check cannot watch a
// process that changed its user.
static int applyAsUser(int argc, char** argv)
{
    if (std::strcmp(argv[3], "root") != 0) {
        if (!otheruser::become(QString::fromLocal8Bit(argv[3])))
            return 2;
    }
    QApplication app(argc, argv);
    QStringList songs, gone;
    QString library;
    for (int i = 4; i < argc; ++i) {
        const QString song = QString::fromLocal8Bit(argv[i]);
        if (song.startsWith(QLatin1String("library:"))) {
            library = song.mid(8);
            continue;
        }
        const QString fate = song.section(QLatin1Char(':'), 0, 0);
        const QString path = song.contains(QLatin1Char(':')) ? song.section(QLatin1Char(':'), 1) : song;
        if (fate == QLatin1String("gone"))
            gone << path;
        if (fate == QLatin1String("changing"))
            meanwhile::install(path, QStringLiteral("saved at every try"));
        if (fate == QLatin1String("attributes"))
            syncfaults::setAttributeHook([path](const QString& file, const QByteArray& name) {
                return meanwhile::isCopyBeside(file, path) && name.startsWith("user.") ? ENOSPC : 0;
            });
        songs << path;
    }
    if (::access(QFile::encodeName(QDir::homePath()).constData(), W_OK | X_OK) != 0
        || ::access(QFile::encodeName(songs.first()).constData(), R_OK) != 0) {
        std::printf("unreachable\n");
        std::fflush(stdout);
        ::_exit(0);
    }
    CreateLinkAndName();
    CConfig::instance();
    CreateImage();
    {
        CMusicLink link;
        CAnalyReport report(nullptr);
        report.SetMusicLink(&link);
        QProcess holder;
        if (library.isEmpty()) {
            if (!loadAndAnalyse(link, RUN_FILES, songs))
                ::_exit(3);
        } else {
            if (!loadAndAnalyse(link, RUN_ITUNES, {}, {}, library))
                ::_exit(3);
            link.DestroyMusicLibrary();
            holder.start(QCoreApplication::applicationFilePath(),
                         {QStringLiteral("--child"), QStringLiteral("hold-lock"), library + QStringLiteral(".lock")});
            if (!holder.waitForReadyRead(kWaitMs) || holder.readLine().trimmed() != "held")
                ::_exit(5);
            if (!loadAndAnalyse(link, RUN_PROJECT, {}))
                ::_exit(3);
        }
        for (int i = 0; i < link.GetMusicCountAMode(nullptr, nullptr); ++i) {
            void* track = nullptr;
            int absence = 0, state = 0;
            long long repeat = 0;
            const char* album[] = {"New Album"};
            if (link.GetMusicListMusic(i, &track, absence, state, repeat) != 0
                || link.SetUserMusicInfo(track, MF_ALBUM, album) != 0)
                ::_exit(4);
        }
        for (const QString& song : gone)
            QFile::remove(song);
        report.AppleyiTunes();
        std::printf("%s\n%s\n", report.ApplyFailureText().toUtf8().constData(), g_strDBName.toUtf8().constData());
        std::fflush(stdout);
        holder.closeWriteChannel();
        holder.waitForFinished(kWaitMs);
    }
    ::_exit(0);
}

int main(int argc, char** argv)
{
    if (argc > 3 && std::strcmp(argv[1], "--child") == 0 && std::strcmp(argv[2], "apply-as") == 0)
        return applyAsUser(argc, argv);
    if (argc > 3 && std::strcmp(argv[1], "--child") == 0 && std::strcmp(argv[2], "hold-lock") == 0)
        return holdLock(argv[3]);
    QApplication app(argc, argv);
    app.setAttribute(Qt::AA_Use96Dpi, true);
    TestReport test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_report.moc"
