#include "customcontrols/customcontrols.h"

#include "config.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QVBoxLayout>

CMessgboxEx::CMessgboxEx(QWidget* parent)
    : QDialog(parent)
{
    m_pRemoveBut = new QPushButton(tr("Remove"), this);
    m_pRemoveBut->setFocusPolicy(Qt::NoFocus);
    connect(m_pRemoveBut, &QPushButton::clicked, this, &CMessgboxEx::Remove);
    m_pCheckBox = new QCheckBox(tr("Don't show it again."), this);
    m_pCheckBox->setFocusPolicy(Qt::NoFocus);
    m_pMessage = new QLabel(tr("Are you sure you want to remove the duplicates?\n"), this);
    m_pIcon = new QLabel(this);
    m_pIcon->setPixmap(QPixmap(QStringLiteral(":/res/res/mac/label/msg_warning.png")));
    auto* cancel = new QPushButton(tr("Cancel"), this);
    cancel->setFocusPolicy(Qt::NoFocus);
    connect(cancel, &QPushButton::clicked, this, &CMessgboxEx::Cancel);

    auto* texts = new QVBoxLayout;
    texts->addWidget(m_pMessage);
    texts->addWidget(m_pCheckBox);
    auto* top = new QHBoxLayout;
    top->addWidget(m_pIcon);
    top->addLayout(texts);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->setSpacing(5);
    buttons->addWidget(m_pRemoveBut);
    buttons->addWidget(cancel);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addLayout(buttons);
}

void CMessgboxEx::CloseMsg()
{
    CConfig::instance()->SetMsgInfo(m_pCheckBox->checkState());
}

void CMessgboxEx::Remove()
{
    CloseMsg();
    done(1);
}

void CMessgboxEx::Cancel()
{
    CloseMsg();
    done(0);
}
