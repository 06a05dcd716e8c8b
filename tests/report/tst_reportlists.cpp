// The report's views on their own: the check and reveal menu, a tile's
// check box and list button, the check actions, the busy mark, the tile
// title, and the regrouping of the unrecognized list.
#include "reporter/analyreport.h"
#include "reporter/reportlists.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QAction>
#include <QHeaderView>
#include <QLabel>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>

namespace {

QStringList visibleActions(const QMenu* menu)
{
    QStringList shown;
    for (QAction* action : menu->actions())
        if (action->isVisible() && !action->isSeparator())
            shown << action->text() + (action->isEnabled() ? QString() : QStringLiteral(" (off)"));
    return shown;
}

CTreeItem* treeRow(QTreeWidget* tree, const QString& title, Qt::CheckState check, const QString& path)
{
    auto* item = new CTreeItem(tree);
    item->setText(0, title);
    item->setCheckState(0, check);
    item->SetPath(path);
    return item;
}

// The grid laid out as the report lays it out, holding one tile in state.
CListItem* showOneTile(CListWidget& grid, CListItem::EState state)
{
    grid.setViewMode(QListView::IconMode);
    grid.setGridSize(QSize(140, 140));
    auto* tile = new CListItem(nullptr, MF_ARTWORK, &grid);
    tile->setSizeHint(QSize(108, 128));
    tile->SetItemState(state, false);
    grid.resize(400, 300);
    grid.show();
    return tile;
}

} // namespace

class TestReportLists : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { CreateImage(); }
    void cleanupTestCase() { DestroyImage(); }

    void treeMenu_data()
    {
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QStringList>("shown");
        QTest::newRow("none") << QList<int>{} << QStringList{"Check All", "Uncheck All"};
        QTest::newRow("one checked with a file")
            << QList<int>{0} << QStringList{"Check All", "Uncheck All", "Uncheck selected", "Show in Finder"};
        QTest::newRow("one without a file") << QList<int>{2} << QStringList{"Check All", "Uncheck All", "Check selected"};
        QTest::newRow("two checked") << QList<int>{0, 1} << QStringList{"Check All", "Uncheck All", "Uncheck selected"};
        QTest::newRow("mixed") << QList<int>{0, 2}
                               << QStringList{"Check All", "Uncheck All", "Check selected", "Uncheck selected"};
    }

    // What a right click offers depends on the selection.
    void treeMenu()
    {
        QFETCH(QList<int>, selected);
        QFETCH(QStringList, shown);
        CFailedTreeWidget tree(nullptr);
        tree.setSelectionMode(QAbstractItemView::MultiSelection);
        treeRow(&tree, "a", Qt::Checked, "/music/a.mp3");
        treeRow(&tree, "b", Qt::Checked, "/music/b.mp3");
        treeRow(&tree, "c", Qt::Unchecked, QString());
        tree.resize(300, 200);
        tree.show();
        for (int row : selected)
            tree.topLevelItem(row)->setSelected(true);
        const QPoint empty(150, 190);  // below the rows: the selection stays
        QTest::mousePress(tree.viewport(), Qt::RightButton, Qt::NoModifier, empty);
        QCOMPARE(visibleActions(tree.Menu()), shown);
        const_cast<QMenu*>(tree.Menu())->hide();
        tree.SetActionsEnabled(false);
        QTest::mousePress(tree.viewport(), Qt::RightButton, Qt::NoModifier, empty);
        QVERIFY(!tree.Menu()->isVisible());
    }

    // The tree's check actions: "All" visits every row and says so once,
    // "selected" says it per row.
    void treeCheckActions()
    {
        CFailedTreeWidget tree(nullptr);
        CTreeItem* a = treeRow(&tree, "a", Qt::Checked, QString());
        auto* boxless = new CTreeItem(&tree);
        QSignalSpy all(&tree, &CFailedTreeWidget::SetAllUnchecked);
        QSignalSpy one(&tree, &CFailedTreeWidget::SetUnchecked);
        tree.UnAllItem();
        QCOMPARE(a->checkState(0), Qt::Unchecked);
        QCOMPARE(boxless->checkState(0), Qt::Unchecked);  // gets a box
        QCOMPARE(all.takeFirst().at(0).toInt(), 1);
        tree.AllItem();
        QCOMPARE(all.takeFirst().at(0).toInt(), 0);
        a->setSelected(true);
        tree.UnSelectItem();
        QCOMPARE(a->checkState(0), Qt::Unchecked);
        QCOMPARE(boxless->checkState(0), Qt::Checked);
        QCOMPARE(one.count(), 1);
    }

    void tileCheckBox_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QPoint>("offset");
        QTest::addColumn<bool>("toggles");
        QTest::newRow("normal, on the box") << int(CListItem::IS_NORMAL) << QPoint(15, 25) << true;
        QTest::newRow("fixing, on the box") << int(CListItem::IS_FIXING) << QPoint(15, 25) << true;
        QTest::newRow("failed, on the box") << int(CListItem::IS_FAILED) << QPoint(20, 30) << true;
        QTest::newRow("beside the box") << int(CListItem::IS_NORMAL) << QPoint(40, 60) << false;
    }

    // A click on a tile's box toggles it in every state.
    void tileCheckBox()
    {
        QFETCH(int, state);
        QFETCH(QPoint, offset);
        QFETCH(bool, toggles);
        tagTrack track[kConverterSlots];
        CListWidget grid(track, nullptr);
        CListItem* tile = showOneTile(grid, CListItem::EState(state));
        QSignalSpy clicks(&grid, &CListWidget::SendCheckState);
        const QRect r = grid.visualItemRect(tile);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, r.topLeft() + offset);
        QCOMPARE(clicks.count(), toggles ? 1 : 0);
        QCOMPARE(tile->GetCheckState(), toggles ? Qt::Unchecked : Qt::Checked);
    }

    void tileListButton_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("shown");
        QTest::addColumn<bool>("asks");
        QTest::newRow("fixed, button shown") << int(CListItem::IS_FIXED) << true << true;
        QTest::newRow("fixed, button hidden") << int(CListItem::IS_FIXED) << false << false;
        QTest::newRow("normal, button shown") << int(CListItem::IS_NORMAL) << true << false;
        QTest::newRow("failed, button shown") << int(CListItem::IS_FAILED) << true << false;
    }

    // A press on the list button of a fixed tile asks for that tile's
    // chooser, and only then; the tile's check stays as it was.
    void tileListButton()
    {
        QFETCH(int, state);
        QFETCH(bool, shown);
        QFETCH(bool, asks);
        tagTrack track[kConverterSlots];
        CListWidget grid(track, nullptr);
        CListItem* tile = showOneTile(grid, CListItem::EState(state));
        tile->SetListButShow(shown);
        QSignalSpy asked(&grid, &CListWidget::ListButtonPressed);
        QSignalSpy checks(&grid, &CListWidget::SendCheckState);
        const QRect r = grid.visualItemRect(tile);
        QTest::mousePress(grid.viewport(), Qt::LeftButton, Qt::NoModifier, r.bottomRight() - QPoint(12, 20));
        QCOMPARE(asked.count(), asks ? 1 : 0);
        if (asks)
            QCOMPARE(asked.at(0).at(0).value<QListWidgetItem*>(), static_cast<QListWidgetItem*>(tile));
        QCOMPARE(checks.count(), 0);
        QCOMPARE(tile->GetCheckState(), Qt::Checked);
    }

    // "Uncheck All" leaves tiles being fixed or failed alone; "Uncheck
    // selected" still reports them.
    void tileCheckActions()
    {
        tagTrack track[kConverterSlots];
        CListWidget grid(track, nullptr);
        grid.setSelectionMode(QAbstractItemView::MultiSelection);
        auto* normal = new CListItem(nullptr, MF_ARTWORK, &grid);
        auto* busy = new CListItem(nullptr, MF_ARTWORK, &grid);
        busy->SetItemState(CListItem::IS_FIXING, false);
        QSignalSpy all(&grid, &CListWidget::SetAllUnchecked);
        QSignalSpy one(&grid, &CListWidget::SetUnchecked);
        grid.UnAllItem();
        QCOMPARE(normal->GetCheckState(), Qt::Unchecked);
        QCOMPARE(busy->GetCheckState(), Qt::Checked);
        QCOMPARE(all.takeFirst().at(0).toInt(), 1);
        normal->setSelected(true);
        busy->setSelected(true);
        grid.SelectItem();
        QCOMPARE(normal->GetCheckState(), Qt::Checked);
        QCOMPARE(busy->GetCheckState(), Qt::Checked);
        QCOMPARE(one.count(), 2);
    }

    // The busy mark follows a slot's tile only while it is wholly in view.
    void busyMark()
    {
        tagTrack track[kConverterSlots];
        CListWidget grid(track, nullptr);
        grid.setViewMode(QListView::IconMode);
        grid.setGridSize(QSize(140, 140));
        QList<CListItem*> tiles;
        for (int i = 0; i < 12; ++i) {
            tiles << new CListItem(nullptr, MF_ARTWORK, &grid);
            tiles.last()->setSizeHint(QSize(108, 128));
        }
        grid.resize(300, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        grid.PushFlashItem(1, tiles[0]);
        QVERIFY(grid.FlashLabel(1)->isHidden());  // the slot is not on a tile
        track[1] = tagTrack{TK_ARTWORK, tiles[0]};
        grid.PushFlashItem(1, tiles[0]);
        QVERIFY(!grid.FlashLabel(1)->isHidden());
        const QRect r = grid.visualItemRect(tiles[0]);
        QCOMPARE(grid.FlashLabel(1)->geometry().center(), QRect(r.left() + r.width() / 2 - 16, r.top() + r.height() / 2 - 16, 32, 32).center());
        track[1].item = tiles[11];  // far below: out of view
        grid.PushFlash(0);
        QVERIFY(grid.FlashLabel(1)->isHidden());
        track[1].item = tiles[0];
        grid.PushFlash(0);
        grid.StopFlash();
        QVERIFY(grid.FlashLabel(1)->isHidden());
    }

    void tileTitle_data()
    {
        QTest::addColumn<QString>("title");
        QTest::addColumn<bool>("cut");
        QTest::newRow("fits") << "Song" << false;
        QTest::newRow("too wide") << QString(60, QLatin1Char('W')) << true;
    }

    void tileTitle()
    {
        QFETCH(QString, title);
        QFETCH(bool, cut);
        tagTrack track[kConverterSlots];
        CListWidget grid(track, nullptr);
        CListDelegate delegate(&grid, nullptr);
        const QString shown = delegate.ElidedTitle(title, 140);
        QCOMPARE(shown != title, cut);
        if (cut) {
            QVERIFY(shown.endsWith(QStringLiteral("...")));
            QVERIFY(shown.size() - 3 >= 5);
            QVERIFY(title.startsWith(shown.chopped(3)));
            QVERIFY(grid.fontMetrics().horizontalAdvance(shown.chopped(3)) < 140);
        }
    }

    // The unrecognized list's artwork header groups songs that lack artwork
    // at the bottom, then the other way round.
    void regroupUnrecognized()
    {
        CAnalyReport report(nullptr);
        QTreeWidget* tree = report.UnrecognizedTree();
        const QList<int> absences{MF_ARTWORK, 0, MF_ARTWORK, 0};
        for (int i = 0; i < absences.size(); ++i) {
            auto* row = new CTreeItem(tree);
            row->SetCtlParam(nullptr, absences[i]);
            row->setText(2, QString::number(i));
        }
        auto order = [tree] {
            QString s;
            for (int i = 0; i < tree->topLevelItemCount(); ++i)
                s += tree->topLevelItem(i)->text(2);
            return s;
        };
        tree->header()->setSortIndicator(1, Qt::AscendingOrder);
        report.SortFailedTree(1);
        QCOMPARE(order(), QStringLiteral("1320"));
        tree->header()->setSortIndicator(1, Qt::DescendingOrder);
        report.SortFailedTree(1);
        QCOMPARE(order(), QStringLiteral("2031"));
        report.SortFailedTree(2);  // other columns: the header's own sorting
        QCOMPARE(order(), QStringLiteral("2031"));
    }
};

QTEST_MAIN(TestReportLists)
#include "tst_reportlists.moc"
