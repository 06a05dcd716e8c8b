#include "option/duplicatewidget.h"

#include "cadenzo.h"
#include "config.h"
#include "customcontrols/buttonstyle.h"
#include "option/historyoptwidget.h"
#include "optioncontrols.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QStyleOption>
#include <QVBoxLayout>

using optioncontrols::noFocus;

namespace {

const QString kSmallText = QStringLiteral("QLabel{font:11px;color:#333333;}");

enum { kDegreeLow = 0, kDegreeMedium = 1, kDegreeHigh = 2 };

QPushButton* styledButton(const QString& text, const QString& name, const QString& image, int width,
                          QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setObjectName(name);
    button->setStyleSheet(ImageButtonStyle(name, image, width, 26, QStringLiteral("#000000"), 12));
    return button;
}

QVBoxLayout* indented()
{
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(25, 0, 0, 0);
    return layout;
}

int degreeIndexOf(int mask)
{
    if (mask & OPT_DEGREE_HIGH)
        return kDegreeHigh;
    if (mask & OPT_DEGREE_MEDIUM)
        return kDegreeMedium;
    if (mask & OPT_DEGREE_LOW)
        return kDegreeLow;
    return kDegreeMedium;
}

int degreeBitOf(int index)
{
    if (index == kDegreeMedium)
        return OPT_DEGREE_MEDIUM;
    if (index == kDegreeHigh)
        return OPT_DEGREE_HIGH;
    return OPT_DEGREE_LOW;
}

} // namespace

CDuplicateWidget::CDuplicateWidget(QWidget* parent) : QWidget(parent)
{
    build();
    load(CConfig::instance()->Duplicate);
}

CDuplicateWidget::~CDuplicateWidget()
{
    Save();
}

void CDuplicateWidget::build()
{
    setObjectName(QStringLiteral("Duplicatemode"));
    setAccessibleName(objectName());
    setStyleSheet(QStringLiteral("QWidget#Duplicatemode{background-color:#dcecf3;border-color:transparent;}"));

    auto* main = new QVBoxLayout(this);
    main->setContentsMargins(0, 0, 0, 0);

    m_pHint = new QLabel(tr("Please choose one scanning\nmode to search duplicates."), this);
    m_pHint->setContentsMargins(25, 0, 0, 0);
    m_pQuick = noFocus(new QRadioButton(tr("Quick Scan"), this), tr("Quick Scan"));
    m_pDeep = noFocus(new QRadioButton(tr("Deep Scan"), this), tr("Deep Scan"));
    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    m_pNote = new QLabel(tr("It might take some time to\ndetermine duplicates with acoustic\n"
                            "fingerprint. Please be patient."),
                         this);
    m_pNote->setStyleSheet(kSmallText);

    m_pName = noFocus(new QCheckBox(tr("Name"), this), tr("Name"));
    m_pArtist = noFocus(new QCheckBox(tr("Artist"), this), tr("Artist"));
    m_pAlbum = noFocus(new QCheckBox(tr("Album"), this), tr("Album"));
    m_pSize = noFocus(new QCheckBox(tr("File size"), this), tr("File size"));
    m_pTime = noFocus(new QCheckBox(tr("Time"), this), tr("Time"));
    QVBoxLayout* quick = indented();
    quick->addWidget(m_pQuick);
    QVBoxLayout* criteria = indented();
    for (QCheckBox* box : {m_pName, m_pArtist, m_pAlbum, m_pSize, m_pTime})
        criteria->addWidget(box);
    quick->addLayout(criteria);

    auto* degreeLabel = new QLabel(tr("Match Degree: "), this);
    degreeLabel->setStyleSheet(kSmallText);
    m_pDegree = noFocus(new QComboBox(this), tr("Match Degree: ").trimmed());
    m_pDegree->setEditable(false);
    m_pDegree->setFixedWidth(85);
    m_pDegree->addItems({tr("Low"), tr("Medium"), tr("High")});
    auto* degree = new QHBoxLayout;
    degree->setContentsMargins(0, 0, 50, 0);
    degree->setSpacing(0);
    degree->addWidget(degreeLabel);
    degree->addWidget(m_pDegree);
    degree->addStretch();
    QVBoxLayout* deep = indented();
    deep->addWidget(m_pDeep);
    deep->addLayout(degree);
    deep->addWidget(m_pNote);

    QPushButton* history =
        noFocus(styledButton(tr("   Show Remove History"), QStringLiteral("duprembtn"),
                             QStringLiteral("removehistory"), 173, this),
                tr("Show Remove History"));
    // The options button is a picture only: its tooltip names it.
    QPushButton* options = styledButton(QString(), QStringLiteral("dupremoptbtn"),
                                        QStringLiteral("removeoption"), 32, this);
    options->setToolTip(tr("Removal History Options"));
    noFocus(options, options->toolTip());
    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(2);
    buttons->addWidget(history);
    buttons->addWidget(options);

    main->addSpacing(25);
    main->addWidget(m_pHint);
    main->addLayout(quick);
    main->addWidget(line);
    main->addLayout(deep);
    main->addStretch();
    main->addLayout(buttons);
    main->addSpacing(5);

    connect(m_pQuick, &QRadioButton::clicked, this, &CDuplicateWidget::StateChanged);
    connect(m_pDeep, &QRadioButton::clicked, this, &CDuplicateWidget::StateChanged);
    connect(history, &QPushButton::clicked, this, &CDuplicateWidget::ShowTrash);
    connect(options, &QPushButton::clicked, this, &CDuplicateWidget::SetRemoveOpt);
    // Connected after the items went in (index 0) and before loading: a
    // stored Medium or High then rewrites the mask in its saved form at once.
    connect(m_pDegree, &QComboBox::currentIndexChanged, this, &CDuplicateWidget::Match);
}

void CDuplicateWidget::load(int mask)
{
    m_pName->setChecked(mask & MF_TITLE);
    m_pArtist->setChecked(mask & MF_ARTIST);
    m_pAlbum->setChecked(mask & MF_ALBUM);
    m_pSize->setChecked(mask & MF_SIZE);
    m_pTime->setChecked(mask & MF_TIME);
    // Every scan compares names; the user cannot switch that off.
    m_pName->setEnabled(false);
    const bool deep = (mask & OPT_DEEP_SCAN) != 0;
    (deep ? m_pDeep : m_pQuick)->setChecked(true);
    enableMode(deep);
    m_pDegree->setCurrentIndex(degreeIndexOf(mask));
}

void CDuplicateWidget::enableMode(bool deep)
{
    for (QCheckBox* box : {m_pArtist, m_pAlbum, m_pSize, m_pTime})
        box->setEnabled(!deep);
    m_pDegree->setEnabled(deep);
}

void CDuplicateWidget::StateChanged()
{
    enableMode(!m_pQuick->isChecked());
    Save();
}

void CDuplicateWidget::Save()
{
    int mask = degreeBitOf(m_pDegree->currentIndex());
    const struct {
        QCheckBox* box;
        int bit;
    } criteria[] = {{m_pName, MF_TITLE}, {m_pArtist, MF_ARTIST}, {m_pAlbum, MF_ALBUM},
                    {m_pSize, MF_SIZE},  {m_pTime, MF_TIME}};
    for (const auto& c : criteria) {
        if (c.box->checkState() == Qt::Checked)
            mask |= c.bit;
    }
    if (m_pDeep->isChecked())
        mask |= OPT_DEEP_SCAN;
    CConfig::instance()->Duplicate = mask;
}

void CDuplicateWidget::SetRemoveOpt()
{
    auto* dialog = new CHistoryOptWidget(this);
    dialog->exec();
    delete dialog;
}

void CDuplicateWidget::Match(int)
{
    Save();
}

void CDuplicateWidget::paintEvent(QPaintEvent*)
{
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}
