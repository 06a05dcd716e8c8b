// What a screen reader or a test driver would find without a name: the
// controls, views and toolbars below a widget that announce no name.
#pragma once

#include <QAbstractButton>
#include <QAccessible>
#include <QAbstractItemView>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QStringList>
#include <QToolBar>
#include <QWidget>

namespace accessnames {

// Class and object name of every nameless control below root (root itself
// and the widgets named in pages included). Only widgets a user can see
// count when visibleOnly is set: a hidden page's controls are met later,
// with their page.
inline QStringList unnamedControls(QWidget* root, const QStringList& pages = {}, bool visibleOnly = false)
{
    QList<QWidget*> widgets = root->findChildren<QWidget*>();
    widgets << root;
    QStringList unnamed;
    for (QWidget* w : widgets) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QComboBox*>(w)
            || qobject_cast<QAbstractSpinBox*>(w) || qobject_cast<QAbstractItemView*>(w)
            || qobject_cast<QLineEdit*>(w) || qobject_cast<QToolBar*>(w) || w == root
            || pages.contains(w->objectName());
        // Qt's own parts (a combo box's popup list, a spin box's editor, a
        // scroll bar's buttons) are named through the widget that owns them.
        const bool internal = w->objectName().startsWith(QLatin1String("qt_"))
            || w->inherits("QComboBoxListView")
            || (qobject_cast<QLineEdit*>(w) && (qobject_cast<QAbstractSpinBox*>(w->parentWidget())
                                               || qobject_cast<QComboBox*>(w->parentWidget())));
        if (!control || internal || (visibleOnly && !w->isVisible()))
            continue;
        // What a reader announces: the accessible name, else the text or
        // title the widget's interface offers in its place.
        QAccessibleInterface* face = QAccessible::queryAccessibleInterface(w);
        if (w->accessibleName().isEmpty() && (!face || face->text(QAccessible::Name).isEmpty()))
            unnamed << QString::fromLatin1(w->metaObject()->className()) + QLatin1Char('/') + w->objectName();
    }
    return unnamed;
}

} // namespace accessnames
