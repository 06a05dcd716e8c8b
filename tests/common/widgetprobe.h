// The texts of a tree's rows, as the widget tests compare them, and a
// mouse click on a row's check box.
#pragma once

#include <QStringList>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <QTest>
#include <QTreeWidget>

namespace widgetprobe {

// The texts of column in the tree's top-level rows, top to bottom.
inline QStringList topLevelTexts(const QTreeWidget* tree, int column)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(column);
    return texts;
}

// The model index of item's cell in column.
inline QModelIndex indexOf(const QTreeWidget* tree, QTreeWidgetItem* item, int column)
{
    QTreeWidgetItem* parent = item->parent();
    if (!parent)
        return tree->model()->index(tree->indexOfTopLevelItem(item), column);
    return tree->model()->index(parent->indexOfChild(item), column, indexOf(tree, parent, 0));
}

// A click of the mouse on the check box of item's first cell, where the
// style draws it, as a person ticks or clears it.
inline void clickCheckBox(QTreeWidget* tree, QTreeWidgetItem* item)
{
    tree->scrollToItem(item);
    QStyleOptionViewItem option;
    option.initFrom(tree->viewport());
    option.rect = tree->visualRect(indexOf(tree, item, 0));
    option.features = QStyleOptionViewItem::HasCheckIndicator;
    const QRect box = tree->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, tree);
    QTest::mouseClick(tree->viewport(), Qt::LeftButton, Qt::NoModifier, box.center());
}

} // namespace widgetprobe
