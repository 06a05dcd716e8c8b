// Driving the file and folder chooser the way a keyboard user does. Each
// step is a key as a person would write it ("Ctrl+L", "Return",
// "Shift+Down"), sent to whatever has the focus; "text:..." types the
// text there; "wait:NAME" waits until the listing shows NAME, and
// "list:A,B,C" until it shows exactly these, in this order: the listing
// fills in from a background thread and sorts itself a moment later.
#pragma once

#include <QApplication>
#include <QFileSystemModel>
#include <QKeySequence>
#include <QTest>
#include <QTreeView>
#include <QWidget>

namespace chooserkeys {

// Generous: the listing's thread competes with every core of a busy machine.
constexpr int kListingTimeoutMs = 60000;

inline QStringList listed(QWidget* chooser)
{
    auto* view = chooser->findChild<QTreeView*>();
    auto* model = view ? qobject_cast<QFileSystemModel*>(view->model()) : nullptr;
    QStringList names;
    if (!model)
        return names;
    const QModelIndex root = view->rootIndex();
    for (int row = 0; row < model->rowCount(root); ++row)
        names << model->fileName(model->index(row, 0, root));
    return names;
}

// One key per character, each carrying its character whole: a path below
// HOME may hold letters that QTest::keyClicks would cut to Latin-1.
inline void typeText(QWidget* target, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, target, Qt::Key(ch.toUpper().unicode()), QString(ch), Qt::NoModifier);
}

// Runs the steps on the shown chooser; false, with the reason in why, when
// it could not be made the active window or a wait ran out.
inline bool press(QWidget* chooser, const QStringList& steps, QString* why)
{
    chooser->activateWindow();
    if (!QTest::qWaitForWindowActive(chooser)) {
        *why = QStringLiteral("the chooser never became the active window");
        return false;
    }
    for (const QString& step : steps) {
        if (step.startsWith(QLatin1String("wait:")) || step.startsWith(QLatin1String("list:"))) {
            const bool whole = step.startsWith(QLatin1String("list:"));
            const QStringList names = step.mid(5).split(QLatin1Char(','));
            const auto shown = [&] {
                const QStringList now = listed(chooser);
                return whole ? now == names : now.contains(names.first());
            };
            if (!QTest::qWaitFor(shown, kListingTimeoutMs)) {
                *why = QStringLiteral("never listed: ") + names.join(QLatin1Char(',')) + QStringLiteral(" but ")
                    + listed(chooser).join(QLatin1Char(','));
                return false;
            }
            continue;
        }
        QWidget* target = QApplication::focusWidget() ? QApplication::focusWidget() : chooser;
        if (step.startsWith(QLatin1String("text:"))) {
            typeText(target, step.mid(5));
            continue;
        }
        const QKeyCombination key = QKeySequence::fromString(step)[0];
        QTest::keyClick(target, key.key(), key.keyboardModifiers());
    }
    return true;
}

} // namespace chooserkeys
