#include "option/option.h"

#include "config.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QVBoxLayout>

namespace {
enum Schedule { kOff = 0, kEveryNDays = 1, kDaily = 2, kWeekly = 3, kMonthly = 4 };
constexpr int kDefaultDays = 7;
}

CUpdateWidget::CUpdateWidget(QWidget* parent)
    : QWidget(parent)
{
    m_pEnable = new QCheckBox(tr("Enable automatic update check."), this);
    m_pEnable->setFocusPolicy(Qt::NoFocus);
    m_pGroup = new QGroupBox(this);
    m_pDays = new QSpinBox(m_pGroup);
    m_pDays->setFixedWidth(50);
    m_pDays->setRange(1, 99);
    m_pEveryDay = new QRadioButton(tr("Update every day"), m_pGroup);
    m_pEveryWeek = new QRadioButton(tr("Update every week"), m_pGroup);
    m_pEveryMonth = new QRadioButton(tr("Update every month"), m_pGroup);
    m_pEveryDays = new QRadioButton(tr("Number of days between update checks (At least 1 days)"), m_pGroup);

    auto* periods = new QVBoxLayout;
    periods->setSpacing(5);
    periods->addWidget(m_pEveryDay);
    periods->addWidget(m_pEveryWeek);
    periods->addWidget(m_pEveryMonth);
    periods->addStretch();
    auto* grid = new QGridLayout(m_pGroup);
    grid->setSpacing(15);
    grid->addWidget(m_pEveryDays, 0, 0);
    grid->addWidget(m_pDays, 0, 1, Qt::AlignLeft);
    grid->addLayout(periods, 1, 0, Qt::AlignLeft);
    auto* column = new QVBoxLayout(this);
    column->addSpacing(25);
    column->addWidget(m_pEnable);
    column->addWidget(m_pGroup);
    column->addStretch();

    connect(m_pEnable, &QCheckBox::clicked, this, &CUpdateWidget::AutoMaticUpdate);
    connect(m_pEveryDays, &QRadioButton::clicked, this, &CUpdateWidget::normalDayFun);
    connect(m_pEveryDay, &QRadioButton::clicked, this, &CUpdateWidget::everyDayFun);
    connect(m_pEveryWeek, &QRadioButton::clicked, this, &CUpdateWidget::everyWeekFun);
    connect(m_pEveryMonth, &QRadioButton::clicked, this, &CUpdateWidget::ereryMonthFun);
}

void CUpdateWidget::AutoMaticUpdate(bool bUpdate) { m_pGroup->setEnabled(bUpdate); }
void CUpdateWidget::normalDayFun() { m_pDays->setEnabled(true); }
void CUpdateWidget::everyDayFun() { m_pDays->setEnabled(false); }
void CUpdateWidget::everyWeekFun() { m_pDays->setEnabled(false); }
void CUpdateWidget::ereryMonthFun() { m_pDays->setEnabled(false); }

void CUpdateWidget::InitUpdate()
{
    const CConfig* config = CConfig::instance();
    const int days = config->GetAutoDays();
    m_pDays->setValue(days >= 1 && days <= 99 ? days : kDefaultDays);
    const int schedule = config->GetAutoUpdate();
    if (schedule < 1) {
        m_pGroup->setEnabled(false);
        m_pEnable->setChecked(false);
        m_pEveryDays->setChecked(true);
    } else {
        m_pGroup->setEnabled(true);
        m_pEnable->setChecked(true);
        QRadioButton* const buttons[] = {m_pEveryDays, m_pEveryDay, m_pEveryWeek, m_pEveryMonth};
        if (schedule <= kMonthly)
            buttons[schedule - 1]->setChecked(true);
    }
    m_pDays->setEnabled(m_pEveryDays->isChecked());
}

void CUpdateWidget::SaveUpdate()
{
    CConfig* config = CConfig::instance();
    if (!m_pEnable->isChecked()) {
        config->SetAutoUpdate(kOff);
        return;
    }
    if (m_pEveryDays->isChecked()) {
        config->SetAutoUpdate(kEveryNDays);
        config->SetAutoDays(m_pDays->text().toInt());
    } else if (m_pEveryMonth->isChecked()) {
        config->SetAutoUpdate(kMonthly);
    } else if (m_pEveryDay->isChecked()) {
        config->SetAutoUpdate(kDaily);
    } else if (m_pEveryWeek->isChecked()) {
        config->SetAutoUpdate(kWeekly);
    }
}
