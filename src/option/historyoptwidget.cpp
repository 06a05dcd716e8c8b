#include "option/historyoptwidget.h"

#include "config.h"
#include "optioncontrols.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

using optioncontrols::plainButton;

namespace {

constexpr int kMinDays = 1;
constexpr int kMaxDays = 99;
constexpr int kDefaultDays = 7;

} // namespace

CHistoryOptWidget::CHistoryOptWidget(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("HistoryOptWidget"));
    setAccessibleName(objectName());
    setFixedSize(570, 160);

    m_pGroup = new QGroupBox(this);
    m_pGroup->setFixedHeight(60);
    m_pGroup->setObjectName(QStringLiteral("HistoryOptGroup"));

    m_pDays = new QSpinBox(this);
    m_pDays->setMinimumWidth(40);
    m_pDays->setMaximumWidth(40);
    m_pDays->setRange(kMinDays, kMaxDays);

    const QString before = tr("Automatically clear the duplicates removal history that exists over");
    const QString after = tr("day(s).");
    m_pDays->setAccessibleName(before + QLatin1Char(' ') + after);
    auto* sentence = new QHBoxLayout(m_pGroup);
    sentence->setSpacing(0);
    sentence->addWidget(new QLabel(before, this));
    sentence->addWidget(m_pDays);
    sentence->addWidget(new QLabel(after, this));
    sentence->addStretch();

    QPushButton* cancel = plainButton(tr("Cancel"), this);
    QPushButton* ok = plainButton(tr("OK"), this);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(0, 0, 0, 0);
    buttons->addStretch();
    buttons->addWidget(cancel);
    buttons->addWidget(ok);

    auto* layout = new QVBoxLayout(this);
    layout->setSpacing(20);
    layout->addSpacing(15);
    layout->addWidget(m_pGroup);
    layout->addLayout(buttons);
    layout->addStretch();

    connect(cancel, &QPushButton::clicked, this, &QDialog::close);
    connect(ok, &QPushButton::clicked, this, &CHistoryOptWidget::Save);
    InitOption();
}

CHistoryOptWidget::~CHistoryOptWidget() = default;

void CHistoryOptWidget::InitOption()
{
    const int days = CConfig::instance()->ClearDays;
    m_pDays->setValue(days >= kMinDays && days <= kMaxDays ? days : kDefaultDays);
}

void CHistoryOptWidget::Save()
{
    CConfig::instance()->ClearDays = m_pDays->value();
    close();
}
