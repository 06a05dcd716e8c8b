#include "option/warnmessage.h"

#include "optioncontrols.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

int CWarnMessage::m_iRet = 0;

using optioncontrols::plainButton;

CWarnMessage::CWarnMessage(QWidget* parent, const QString& title, const QString& text, int mode,
                           const QString& button1, const QString& button2, const QString& button3,
                           int seconds)
    : QDialog(parent), m_iSeconds(seconds)
{
    setObjectName(QStringLiteral("CWarnMessage"));
    setAccessibleName(title.isEmpty() ? objectName() : title);
    setFixedSize(500, 150);
    setWindowTitle(title);

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/res/res/mac/label/starticon.png")));
    icon->setMinimumSize(100, 100);
    icon->setMaximumSize(100, 100);

    auto* message = new QLabel(text, this);
    message->setTextFormat(Qt::PlainText);
    message->setWordWrap(false);
    message->setAccessibleName(text);

    m_pFirstBut = plainButton(button1, this);
    QPushButton* second = plainButton(button2, this);
    QPushButton* third = plainButton(button3, this);
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(5);
    buttons->addStretch();
    buttons->addWidget(m_pFirstBut);
    buttons->addWidget(second);
    buttons->addWidget(third);

    if (mode == 0) {
        m_pFirstBut->setText(tr("OK"));
        m_pFirstBut->setAccessibleName(m_pFirstBut->text());
    }
    // Hidden buttons keep their texts; only their visibility depends on the mode.
    second->setVisible(mode != 0 && mode != 1);
    third->setVisible(mode != 0 && mode != 1 && mode != 2);

    auto* column = new QVBoxLayout;
    column->setAlignment(Qt::AlignLeft);
    column->setContentsMargins(0, 10, 0, 15);
    column->addWidget(message);
    column->addLayout(buttons);
    column->addSpacing(10);

    auto* outer = new QHBoxLayout(this);
    outer->setSpacing(5);
    outer->addSpacing(30);
    outer->addWidget(icon);
    outer->addLayout(column);
    outer->addSpacing(30);

    connect(m_pFirstBut, &QPushButton::clicked, this, &CWarnMessage::MyClicked1);
    connect(second, &QPushButton::clicked, this, &CWarnMessage::MyClicked2);
    connect(third, &QPushButton::clicked, this, &CWarnMessage::MyClicked3);

    if (m_iSeconds > 0) {
        m_strFirstText = m_pFirstBut->text();
        showSecondsLeft();
        m_pTimer = new QTimer(this);
        connect(m_pTimer, &QTimer::timeout, this, &CWarnMessage::SecondRed);
        m_pTimer->start(1000);
    }
}

CWarnMessage::~CWarnMessage()
{
    if (m_pTimer && m_pTimer->isActive())
        m_pTimer->stop();
}

int CWarnMessage::information(QWidget* parent, const QString& title, const QString& text, int mode,
                              const QString& button1, const QString& button2, const QString& button3,
                              int seconds)
{
    m_iRet = 0;
    CWarnMessage box(parent, title, text, mode, button1, button2, button3, seconds);
    box.exec();
    return m_iRet;
}

void CWarnMessage::SecondRed()
{
    --m_iSeconds;
    showSecondsLeft();
    if (m_iSeconds <= 0) {
        m_pTimer->stop();
        answer(1);
    }
}

void CWarnMessage::MyClicked1() { answer(1); }
void CWarnMessage::MyClicked2() { answer(2); }
void CWarnMessage::MyClicked3() { answer(3); }

void CWarnMessage::showSecondsLeft()
{
    m_pFirstBut->setText(m_strFirstText + QStringLiteral("(%1)").arg(m_iSeconds));
}

void CWarnMessage::answer(int button)
{
    // A box closed by a button must not be answered again by a tick
    // already queued behind the click.
    if (m_pTimer)
        m_pTimer->stop();
    m_iRet = button;
    close();
}
