// Answering what a window puts up while a test drives it: modal boxes and
// panels, found as the application shows them, and actions by their text.
#pragma once

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWidget>

#include <functional>

// Calls act with the application's modal widget every 10 ms, from inside
// that widget's own event loop; act returns true when it handled it.
class ModalWatch : public QObject
{
public:
    explicit ModalWatch(std::function<bool(QWidget*)> act) : m_act(std::move(act))
    {
        connect(&m_timer, &QTimer::timeout, this, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (modal && m_act(modal))
                ++handled;
        });
        m_timer.start(10);
    }
    int handled = 0;

private:
    std::function<bool(QWidget*)> m_act;
    QTimer m_timer;
};

// Calls act once with the next modal widget, from inside its own event
// loop, as soon as it is up.
inline void OnModal(std::function<void(QWidget*)> act)
{
    QTimer::singleShot(0, [act] {
        if (QWidget* modal = QApplication::activeModalWidget())
            act(modal);
        else
            OnModal(act);
    });
}

// Presses the button with text (its mnemonic marks ignored) in a message
// box; seen gets the box's text and informative text, joined by "|".
inline bool PressMessageButton(QWidget* modal, const QString& text, QString* seen = nullptr)
{
    auto* box = qobject_cast<QMessageBox*>(modal);
    if (!box)
        return false;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text().remove(QLatin1Char('&')) == text) {
            if (seen)
                *seen = box->text() + QLatin1Char('|') + box->informativeText();
            button->click();
            return true;
        }
    }
    return false;
}

// The first action below window with text, in its menus or not.
inline QAction* MenuAction(QWidget& window, const QString& text)
{
    for (QAction* action : window.findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}
