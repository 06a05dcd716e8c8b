#include "option/option.h"

#include "config.h"
#include "linkcalls.h"

#include <QComboBox>
#include <QFormLayout>
#include <QIntValidator>
#include <QLineEdit>

namespace {
// A proxy port outside 1..65535 cannot be used; Qt would cut a larger
// number down to 16 bits without a word.
constexpr int kLowestPort = 1;
constexpr int kHighestPort = 65535;

// The validator lets a number like 70000 stand while it is being typed;
// only a port it accepts is kept, anything else is stored as 0 like an
// empty field, and a proxy on port 0 fails visibly.
int portOf(const QLineEdit* edit)
{
    QString text = edit->text();
    int position = 0;
    if (edit->validator()->validate(text, position) != QValidator::Acceptable)
        return 0;
    return text.toInt();
}
}

CNetWidget::CNetWidget(CProxyCalls* link, QWidget* parent)
    : QWidget(parent)
    , m_pLink(link)
{
    m_pType = new QComboBox(this);
    m_pType->addItem(QStringLiteral("None"));
    m_pType->addItem(QStringLiteral("Http"));
    m_pHost = new QLineEdit(this);
    m_pPort = new QLineEdit(this);
    m_pPort->setValidator(new QIntValidator(kLowestPort, kHighestPort, m_pPort));
    m_pUser = new QLineEdit(this);
    m_pPassword = new QLineEdit(this);
    m_pPassword->setEchoMode(QLineEdit::Password);

    auto* form = new QFormLayout(this);
    form->setContentsMargins(30, 30, 30, 30);
    form->setSpacing(20);
    form->addRow(tr("Proxy type:"), m_pType);
    form->addRow(tr("Proxy host:"), m_pHost);
    form->addRow(tr("Proxy port:"), m_pPort);
    form->addRow(tr("Proxy name:"), m_pUser);
    form->addRow(tr("Proxy password:"), m_pPassword);

    connect(m_pType, &QComboBox::currentIndexChanged, this, &CNetWidget::CurrentIndex);
    InitNet();
}

void CNetWidget::CurrentIndex(int iIndex)
{
    const bool enable = iIndex >= 1;
    for (QLineEdit* edit : {m_pHost, m_pPort, m_pUser, m_pPassword})
        edit->setEnabled(enable);
}

void CNetWidget::InitNet()
{
    const CConfig* config = CConfig::instance();
    m_pHost->setText(config->GetProxyHost());
    m_pPort->setText(QString::number(config->GetProxyPort()));
    m_pUser->setText(config->GetProxyUserName());
    m_pPassword->setText(config->GetProxyPassword());
    if (config->GetUseProxy() == 0) {
        CurrentIndex(0);
        m_pType->setCurrentIndex(0);
        return;
    }
    CurrentIndex(1);
    // A type the list does not hold selects nothing, which disables the
    // fields through CurrentIndex.
    m_pType->setCurrentIndex(config->GetProxyType());
}

void CNetWidget::Save()
{
    CConfig* config = CConfig::instance();
    const int index = m_pType->currentIndex();
    if (index < 1) {
        config->SetUseProxy(0);
    } else {
        config->SetUseProxy(1);
        config->SetProxyType(index);
        config->SetProxyHost(m_pHost->text());
        config->SetProxyUserName(m_pUser->text());
        config->SetProxyPassword(m_pPassword->text());
        config->SetProxyPort(portOf(m_pPort));
    }
    if (m_pLink)
        m_pLink->SetNetworkProxy();
}
