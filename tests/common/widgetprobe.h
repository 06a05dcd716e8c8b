// The texts of a tree's rows, as the widget tests compare them.
#pragma once

#include <QStringList>
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

} // namespace widgetprobe
