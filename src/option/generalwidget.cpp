#include "option/option.h"

#include "cadenzo.h"
#include "config.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace {

const int kFixBits[4] = {MF_ARTWORK, MF_ARTIST, MF_ALBUM, MF_FILE};
const int kFieldBits[5] = {MF_TITLE, MF_ARTIST, MF_ALBUM, MF_YEAR, MF_GENRE};

QCheckBox* makeBox(const QString& text, QWidget* parent)
{
    auto* box = new QCheckBox(text, parent);
    box->setFocusPolicy(Qt::NoFocus);
    return box;
}

bool fullyChecked(const QCheckBox* box)
{
    return box->checkState() == Qt::Checked;
}

} // namespace

CGeneralWidget::CGeneralWidget(QWidget* parent)
    : QWidget(parent)
{
    build();
    load();
    connect(m_pReplace, &QCheckBox::clicked, this, [this] { StateChanged(0); });
    for (int i = 0; i < 5; ++i)
        connect(m_pField[i], &QCheckBox::clicked, this, [this, i] { StateChanged(i + 1); });
}

void CGeneralWidget::build()
{
    m_pFix[0] = makeBox(tr("Songs Without Album Artwork"), this);
    m_pFix[1] = makeBox(tr("Songs Without Artist"), this);
    m_pFix[2] = makeBox(tr("Songs Without Album"), this);
    m_pFix[3] = makeBox(tr("Unwritable items"), this);
    m_pReplace = makeBox(tr("Replace original songs meta"), this);
    m_pField[0] = makeBox(tr("Name"), this);
    m_pField[1] = makeBox(tr("Artist"), this);
    m_pField[2] = makeBox(tr("Album"), this);
    m_pField[3] = makeBox(tr("Year"), this);
    m_pField[4] = makeBox(tr("Genre"), this);

    auto* grid = new QGridLayout;
    grid->addWidget(new QLabel(tr("Fix:"), this), 0, 0);
    for (int i = 0; i < 4; ++i)
        grid->addWidget(m_pFix[i], i, 1, 1, 8, Qt::AlignLeft);
    auto* fields = new QHBoxLayout;
    fields->setContentsMargins(20, 0, 0, 0);
    for (QCheckBox* box : m_pField)
        fields->addWidget(box);
    fields->addStretch();
    auto* note = new QLabel(tr("     Replace original songs meta with the new information from our server.\n"
                               "     This will help to modify wrong songs meta, and also overwrite some\n"
                               "     personal customized records."),
                            this);
    note->setStyleSheet(QStringLiteral("QLabel {font:11px;color:#000000;}"));

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(30, 25, 30, 25);
    column->addLayout(grid);
    column->addSpacing(15);
    column->addWidget(m_pReplace);
    column->addLayout(fields);
    column->addWidget(note);
    column->addStretch();
}

void CGeneralWidget::load()
{
    const CConfig* config = CConfig::instance();
    for (int i = 0; i < 4; ++i)
        m_pFix[i]->setChecked((config->Genernal & kFixBits[i]) != 0);
    const bool master = (config->Replace & OPT_REPLACE_META) != 0;
    m_pReplace->setChecked(master);
    if (!master)
        enableFields(false);
    for (int i = 0; i < 5; ++i)
        m_pField[i]->setChecked((config->Replace & kFieldBits[i]) != 0);
    // A master switch over no field would overwrite nothing.
    if (!anyFieldChecked())
        m_pReplace->setChecked(false);
}

void CGeneralWidget::StateChanged(int id)
{
    if (id == 0) {
        const bool on = fullyChecked(m_pReplace);
        enableFields(on);
        if (on && !anyFieldChecked()) {
            for (QCheckBox* box : m_pField)
                box->setChecked(true);
        }
    } else if (id >= 1 && id <= 5) {
        if (!anyFieldChecked())
            m_pReplace->setChecked(false);
    }
}

void CGeneralWidget::Save()
{
    CConfig* config = CConfig::instance();
    int general = 0;
    for (int i = 0; i < 4; ++i) {
        if (fullyChecked(m_pFix[i]))
            general |= kFixBits[i];
    }
    int replace = fullyChecked(m_pReplace) ? int(OPT_REPLACE_META) : 0;
    for (int i = 0; i < 5; ++i) {
        if (fullyChecked(m_pField[i]))
            replace |= kFieldBits[i];
    }
    config->Genernal = general;
    config->Replace = replace;
}

bool CGeneralWidget::anyFieldChecked() const
{
    for (const QCheckBox* box : m_pField) {
        if (fullyChecked(box))
            return true;
    }
    return false;
}

void CGeneralWidget::enableFields(bool enable)
{
    for (QCheckBox* box : m_pField)
        box->setEnabled(enable);
}
