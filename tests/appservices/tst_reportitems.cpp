// The report's tree rows and grid cells: their starting values and which
// changes repaint the grid.
#include "testenv.h"
#include "treeitem.h"

#include <QApplication>
#include <QListWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

namespace {

// Counts the paints of a widget.
class PaintCounter : public QObject
{
public:
    int paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

void* track(quintptr value)
{
    return reinterpret_cast<void*>(value);
}

} // namespace

Q_DECLARE_METATYPE(CListItem::EState)

class TestReportItems : public QObject
{
    Q_OBJECT

    std::unique_ptr<QListWidget> m_list;
    PaintCounter m_counter;
    QTemporaryDir m_dir;

    // Lets the view finish laying out and painting a new item, then starts
    // counting afresh.
    void settle()
    {
        // The view lays out on a zero timer, which the next turn dispatches:
        // a single quiet turn proves nothing.
        int quiet = 0;
        for (int round = 0; round < 50 && quiet < 3; ++round) {
            m_counter.paints = 0;
            quiet = paintsAfterEvents() == 0 ? quiet + 1 : 0;
        }
        m_counter.paints = 0;
    }

    int paintsAfterEvents()
    {
        QCoreApplication::sendPostedEvents();
        QCoreApplication::processEvents();
        return m_counter.paints;
    }

    CListItem* itemIn(CListItem::EState state)
    {
        auto* item = new CListItem(track(0x10), MF_ARTWORK, m_list.get());
        item->SetItemState(state, false);
        settle();
        return item;
    }

private slots:
    void initTestCase()
    {
        m_list = std::make_unique<QListWidget>();
        m_list->resize(200, 200);
        m_list->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_list.get()));
        m_list->viewport()->installEventFilter(&m_counter);
    }

    void cleanup() { m_list->clear(); }

    void newItemsStartEmpty()
    {
        CListItem cell(track(0x1234), MF_ARTWORK | MF_TITLE, nullptr);
        QCOMPARE(cell.GetID(), track(0x1234));
        QCOMPARE(cell.GetAbsenceType(), MF_ARTWORK | MF_TITLE);
        QCOMPARE(cell.GetItemSate(), CListItem::IS_NORMAL);
        QCOMPARE(cell.GetCheckState(), Qt::Checked);
        QVERIFY(!cell.GetListButShow());
        QCOMPARE(cell.GetFixState(), DS_NONE);
        QCOMPARE(cell.m_iArtworkCount, 0);
        QVERIFY(cell.GetArtworkPath().isEmpty());
        QCOMPARE(cell.type(), 0);

        QTreeWidget tree;
        auto* row = new CTreeItem(&tree);
        QCOMPARE(tree.topLevelItemCount(), 1);
        QCOMPARE(tree.topLevelItem(0), row);
        QCOMPARE(row->GetID(), nullptr);
        QCOMPARE(row->GetAbsenceType(), 0);
        QCOMPARE(row->GetFixState(), DS_NONE);
        QCOMPARE(row->type(), 0);
        CTreeItem loose(nullptr);
        QCOMPARE(loose.treeWidget(), nullptr);
    }

    void treeRowCarriesTheTrack()
    {
        CTreeItem row(nullptr);
        row.SetCtlParam(track(0x99), AT_DUPLICATE | MF_FILE);
        row.SetFixState(DS_FAILED);
        row.SetPath(QStringLiteral("/Music/été.mp3"));
        row.SetPersistentID(QStringLiteral("0123456789ABCDEF"));
        row.SetConverPath(QStringLiteral("/tmp/x.wav"));
        QCOMPARE(row.GetID(), track(0x99));
        QCOMPARE(row.GetAbsenceType(), AT_DUPLICATE | MF_FILE);
        QCOMPARE(row.GetFixState(), DS_FAILED);
        QCOMPARE(row.GetPath(), QStringLiteral("/Music/été.mp3"));
        QCOMPARE(row.GetPersistentID(), QStringLiteral("0123456789ABCDEF"));
        QCOMPARE(row.GetConverPath(), QStringLiteral("/tmp/x.wav"));
    }

    void itemState_data()
    {
        QTest::addColumn<CListItem::EState>("from");
        QTest::addColumn<CListItem::EState>("to");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<bool>("repaints");
        QTest::newRow("to fixed") << CListItem::IS_FIXING << CListItem::IS_FIXED << true << true;
        QTest::newRow("back to normal") << CListItem::IS_FAILED << CListItem::IS_NORMAL << true << true;
        QTest::newRow("to failed") << CListItem::IS_FIXING << CListItem::IS_FAILED << true << false;
        QTest::newRow("to fixing") << CListItem::IS_NORMAL << CListItem::IS_FIXING << true << false;
        QTest::newRow("to fixed, caller repaints") << CListItem::IS_FIXING << CListItem::IS_FIXED << false
                                                   << false;
        QTest::newRow("unchanged") << CListItem::IS_FIXED << CListItem::IS_FIXED << true << false;
    }

    void itemState()
    {
        QFETCH(CListItem::EState, from);
        QFETCH(CListItem::EState, to);
        QFETCH(bool, flag);
        QFETCH(bool, repaints);
        CListItem* item = itemIn(from);
        item->SetItemState(to, flag);
        QCOMPARE(item->GetItemSate(), to);
        QCOMPARE(paintsAfterEvents() > 0, repaints);
    }

    void checkState_data()
    {
        QTest::addColumn<CListItem::EState>("state");
        QTest::addColumn<Qt::CheckState>("check");
        QTest::addColumn<bool>("flag");
        QTest::addColumn<bool>("repaints");
        QTest::newRow("normal, unchecked") << CListItem::IS_NORMAL << Qt::Unchecked << true << true;
        QTest::newRow("fixed, unchecked") << CListItem::IS_FIXED << Qt::Unchecked << true << true;
        QTest::newRow("fixing, unchecked") << CListItem::IS_FIXING << Qt::Unchecked << true << false;
        QTest::newRow("failed, unchecked") << CListItem::IS_FAILED << Qt::Unchecked << true << false;
        QTest::newRow("normal, no flag") << CListItem::IS_NORMAL << Qt::Unchecked << false << false;
        QTest::newRow("already checked") << CListItem::IS_NORMAL << Qt::Checked << true << false;
    }

    void checkState()
    {
        QFETCH(CListItem::EState, state);
        QFETCH(Qt::CheckState, check);
        QFETCH(bool, flag);
        QFETCH(bool, repaints);
        CListItem* item = itemIn(state);
        item->SetCheckState(check, flag);
        QCOMPARE(item->GetCheckState(), check);
        QCOMPARE(paintsAfterEvents() > 0, repaints);
    }

    void listButton_data()
    {
        QTest::addColumn<CListItem::EState>("state");
        QTest::addColumn<bool>("show");
        QTest::addColumn<bool>("repaints");
        QTest::newRow("normal, shown") << CListItem::IS_NORMAL << true << true;
        QTest::newRow("failed, shown") << CListItem::IS_FAILED << true << true;
        QTest::newRow("fixed, shown") << CListItem::IS_FIXED << true << false;
        QTest::newRow("normal, unchanged") << CListItem::IS_NORMAL << false << false;
    }

    void listButton()
    {
        QFETCH(CListItem::EState, state);
        QFETCH(bool, show);
        QFETCH(bool, repaints);
        CListItem* item = itemIn(state);
        item->SetListButShow(show);
        QCOMPARE(item->GetListButShow(), show);
        QCOMPARE(paintsAfterEvents() > 0, repaints);
    }

    void artworkPath_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::newRow("existing image") << true;
        QTest::newRow("missing file") << false;
    }

    void artworkPath()
    {
        QFETCH(bool, exists);
        const QString path = m_dir.path() + QStringLiteral("/cover.jpg");
        QFile::remove(path);
        if (exists)
            QVERIFY(testenv::writeAll(path, "\xFF\xD8\xFF"));
        CListItem* item = itemIn(CListItem::IS_NORMAL);
        item->SetArtworkPath(path);
        QCOMPARE(item->GetArtworkPath(), path);
        QCOMPARE(paintsAfterEvents() > 0, exists);
        // No equality test: the same existing path repaints again.
        item->SetArtworkPath(path);
        QCOMPARE(paintsAfterEvents() > 0, exists);
    }

    void plainSettersNeverRepaint()
    {
        CListItem* item = itemIn(CListItem::IS_NORMAL);
        item->SetFixState(DS_DONE);
        item->SetPath(QStringLiteral("/Music/a.m4a"));
        item->SetPersistentID(QStringLiteral("ABCDEF0123456789"));
        item->SetConverPath(QStringLiteral("/tmp/a.wav"));
        QCOMPARE(paintsAfterEvents(), 0);
        QCOMPARE(item->GetFixState(), DS_DONE);
        QCOMPARE(item->GetPath(), QStringLiteral("/Music/a.m4a"));
        QCOMPARE(item->GetPersistentID(), QStringLiteral("ABCDEF0123456789"));
        QCOMPARE(item->GetConverPath(), QStringLiteral("/tmp/a.wav"));
    }

    void itemOutsideAListStoresEverything()
    {
        const QString path = m_dir.path() + QStringLiteral("/loose.png");
        QVERIFY(testenv::writeAll(path, "png"));
        CListItem item(track(1), 0, nullptr);
        item.SetItemState(CListItem::IS_FIXED, true);
        item.SetCheckState(Qt::Unchecked, true);
        item.SetListButShow(true);
        item.SetArtworkPath(path);
        QCOMPARE(item.GetItemSate(), CListItem::IS_FIXED);
        QCOMPARE(item.GetCheckState(), Qt::Unchecked);
        QVERIFY(item.GetListButShow());
        QCOMPARE(item.GetArtworkPath(), path);
        QCOMPARE(paintsAfterEvents(), 0);
    }
};

QTEST_MAIN(TestReportItems)
#include "tst_reportitems.moc"
