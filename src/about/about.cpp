#include "about/about.h"

#include "common.h"

#include <QApplication>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

QString SupportLinkAddress(const QString& support)
{
    // Secure pages are web pages too: taken for a mail address, the
    // support page would open an empty mail to "https://...".
    if (support.startsWith(QLatin1String("http://")) || support.startsWith(QLatin1String("https://")))
        return support;
    return QStringLiteral("mailto:") + support;
}

CAbout::CAbout(QWidget* parent, Qt::WindowFlags flags)
    : QDialog(parent, flags)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setMinimumSize(620, 250);
    setMaximumSize(620, 250);
    setWindowTitle(tr("About"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QPixmap(QStringLiteral(":/res/res/mac/label/icon.png")));
    icon->setMinimumSize(128, 128);
    icon->setMaximumSize(128, 128);
    auto* logo = new QLabel(this);
    logo->setPixmap(QPixmap(QStringLiteral(":/res/res/mac/label/zorvalogo.png")));
    auto* name = new QLabel(tr("Vessolin"), this);
    QFont nameFont = QApplication::font();
    nameFont.setWeight(QFont::Bold);
    nameFont.setPointSize(30);
    name->setFont(nameFont);
    auto* version = new QLabel(g_strVersion, this);
    auto* credit = new QLabel(tr("Music database powered by Sennet"), this);
    auto* support = new CLabelPress(SupportLinkAddress(SUPPORT), SUPPORT, this);
    auto* home = new CLabelPress(HOME, HOME, this);

    auto* form = new QFormLayout;
    form->addRow(tr("Version:"), version);
    form->addRow(tr("Support:"), support);
    form->addRow(tr("Home Page:"), home);
    auto* column = new QVBoxLayout;
    column->addWidget(logo, 4);
    column->addWidget(name, 4);
    column->addSpacing(20);
    column->addStretch();
    column->addLayout(form);
    column->addSpacing(10);
    column->addWidget(credit, 1);
    auto* row = new QHBoxLayout(this);
    row->addWidget(icon);
    row->addSpacing(10);
    row->addLayout(column);
}
