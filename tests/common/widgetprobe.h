// What the widget tests share for looking at and answering the widgets:
// the texts of a tree's rows, and a hand for the next modal window.
#pragma once

#include <QApplication>
#include <QStringList>
#include <QTimer>
#include <QTreeWidget>

#include <functional>

namespace widgetprobe {

// The texts of column in the tree's top-level rows, top to bottom.
inline QStringList topLevelTexts(const QTreeWidget* tree, int column)
{
    QStringList texts;
    for (int i = 0; i < tree->topLevelItemCount(); ++i)
        texts << tree->topLevelItem(i)->text(column);
    return texts;
}

// Runs act on the next modal window once it is up, from inside its loop.
inline void onModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act] {
        if (QWidget* modal = QApplication::activeModalWidget())
            act(modal);
        else
            onModal(act);
    });
}

} // namespace widgetprobe
