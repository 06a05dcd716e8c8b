#include "customcontrols/customcontrols.h"

#include "customcontrols/buttonstyle.h"

#include <QEvent>
#include <QPainter>
#include <QVBoxLayout>

namespace {
constexpr int kPopupSide = 376;
constexpr int kPictureSide = 300;
}

CShowMaxPicture::CShowMaxPicture(QWidget* parent)
    : QFrame(parent)
    , m_imgBackground(QStringLiteral(":/res/res/mac/label/enlarge_bg.png"))
{
    m_pPicture = new QLabel(this);
    m_pPicture->setAlignment(Qt::AlignCenter);
    m_pCloseBut = new QPushButton(this);
    m_pCloseBut->setObjectName(QStringLiteral("EnlargeClose"));
    m_pCloseBut->setFocusPolicy(Qt::NoFocus);
    m_pCloseBut->setAccessibleName(tr("Close"));
    m_pCloseBut->setStyleSheet(ImageButtonStyle(QStringLiteral("EnlargeClose"), QStringLiteral("enlargeclose"),
                                                17, 17, QStringLiteral("#000000"), 11));
    m_pCloseBut->installEventFilter(this);

    setWindowFlags(Qt::Window | Qt::FramelessWindowHint);
    setFocusPolicy(Qt::ClickFocus);
    setObjectName(QStringLiteral("enlarge"));
    setAccessibleName(tr("Enlarged artwork"));
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_pCloseBut, 0, Qt::AlignRight);
    layout->addWidget(m_pPicture);
    setFixedSize(kPopupSide, kPopupSide);
    hide();
}

void CShowMaxPicture::SetPicture(const QPixmap& pixmap)
{
    if (pixmap.isNull())
        return;
    const QPixmap scaled = pixmap.height() > pixmap.width()
        ? pixmap.scaledToHeight(kPictureSide, Qt::SmoothTransformation)
        : pixmap.scaledToWidth(kPictureSide, Qt::SmoothTransformation);
    m_pPicture->setPixmap(scaled);
    show();
}

void CShowMaxPicture::HidePicuture()
{
    hide();
    if (parentWidget())
        parentWidget()->repaint();
}

void CShowMaxPicture::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.drawImage(QPoint(0, 0), m_imgBackground);
}

bool CShowMaxPicture::eventFilter(QObject* watched, QEvent* event)
{
    // Hiding at the press, before the button sees its release.
    if (watched == m_pCloseBut && event->type() == QEvent::MouseButtonPress)
        HidePicuture();
    return QFrame::eventFilter(watched, event);
}
