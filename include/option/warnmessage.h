// The application's own message box: an icon, a text and one to three
// buttons, with an optional countdown on the first button that answers for
// the user when it runs out. GUI thread only.
#pragma once

#include <QDialog>
#include <QString>

class QPushButton;
class QTimer;

class CWarnMessage : public QDialog
{
    Q_OBJECT
public:
    // mode 0: one "OK" button; 1: button1; 2: button1 and button2; any
    // other: all three. seconds > 0 counts down on the first button.
    CWarnMessage(QWidget* parent, const QString& title, const QString& text, int mode,
                 const QString& button1, const QString& button2, const QString& button3, int seconds);
    ~CWarnMessage() override;

    // Runs a box modally: 1, 2 or 3 for the button pressed, 1 also when the
    // countdown ran out, 0 when the box was closed another way. Not
    // re-entrant: the answer passes through one static.
    static int information(QWidget* parent, const QString& title, const QString& text, int mode,
                           const QString& button1, const QString& button2, const QString& button3,
                           int seconds);

public slots:
    void SecondRed();  // one tick of the countdown
    void MyClicked1();
    void MyClicked2();
    void MyClicked3();

private:
    void showSecondsLeft();
    void answer(int button);

    QTimer* m_pTimer = nullptr;
    QPushButton* m_pFirstBut = nullptr;
    int m_iSeconds = 0;
    QString m_strFirstText;

    static int m_iRet;
};
