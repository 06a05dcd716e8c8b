#include "whatsnew/whatsnew.h"

#include "platformbase.h"
#include "update/updater.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace {

QIcon applicationIcon()
{
    return QIcon(QStringLiteral(":/res/res/mac/label/icon.png"));
}

// The description comes from the update answer: its images and style
// sheets could name files on this machine, so none is loaded. Each gets an
// empty stand-in, since for a null one the document and its image painter
// read the file themselves.
class CDescriptionBrowser : public QTextBrowser
{
public:
    explicit CDescriptionBrowser(QWidget* parent)
        : QTextBrowser(parent)
    {
        // Followed here, a link would load its target into the browser.
        setOpenLinks(false);
        connect(this, &QTextBrowser::anchorClicked, this, [](const QUrl& link) {
            if (IsWebLink(link))
                QDesktopServices::openUrl(link);
        });
    }

    QVariant loadResource(int type, const QUrl&) override
    {
        if (type != QTextDocument::ImageResource)
            return QVariant(QByteArray());
        QPixmap blank(1, 1);
        blank.fill(Qt::transparent);
        return blank;
    }
};

} // namespace

DialogIcon::DialogIcon(QWidget* parent)
    : QWidget(parent)
{
}

QSize DialogIcon::sizeHint() const
{
    return applicationIcon().actualSize(QSize(50, 50), QIcon::Normal, QIcon::Off);
}

void DialogIcon::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    applicationIcon().paint(&painter, rect(), Qt::AlignCenter, QIcon::Normal, QIcon::Off);
}

WhatsNew::WhatsNew(QWidget* parent)
    : QDialog(parent)
{
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowCloseButtonHint);
    setFixedSize(480, 320);

    m_pIcon = new DialogIcon(this);
    m_pIcon->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    m_pMessage = new QLabel(this);
    m_pMessage->setMinimumHeight(80);
    auto* top = new QHBoxLayout;
    top->setSpacing(20);
    top->addWidget(m_pIcon);
    top->addWidget(m_pMessage);

    m_pBrowser = new CDescriptionBrowser(this);
    m_pAction = new QPushButton(this);
    m_pAction->setMinimumWidth(80);
    m_pCancel = new QPushButton(tr("Cancel"), this);
    m_pCancel->setMinimumWidth(80);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(10, 10, 10, 5);
    buttons->setSpacing(20);
    buttons->addStretch();
    buttons->addWidget(m_pAction);
    buttons->addWidget(m_pCancel);

    auto* column = new QVBoxLayout(this);
    column->addLayout(top);
    column->addStretch();
    column->addWidget(m_pBrowser);
    column->addLayout(buttons);

    connect(m_pAction, &QPushButton::clicked, this, &WhatsNew::download);
    connect(m_pCancel, &QPushButton::clicked, this, &WhatsNew::close);
}

void WhatsNew::setVersionInfo(const QString& text)
{
    m_pMessage->setText(text);
}

void WhatsNew::setWhatsNew(QString text)
{
    m_pBrowser->setText(text);
}

void WhatsNew::setDownloadUrl(const QString& url)
{
    m_strDownloadUrl = url;
}

void WhatsNew::setInformation(int state)
{
    if (state == 1 && hasOfferedLink())
        m_pAction->setText(tr("Update"));
    else
        m_pAction->hide();
}

void WhatsNew::download()
{
    if (hasOfferedLink())
        QDesktopServices::openUrl(downloadLink());
    close();
}

QUrl WhatsNew::downloadLink() const
{
    return QUrl(m_strDownloadUrl, QUrl::TolerantMode);
}

bool WhatsNew::hasOfferedLink() const
{
    return IsOfferedUpdateLink(downloadLink(), QUrl(UpdateEndpoint()));
}
