// The editor's widgets, its open and collapsed states and its events.
// Loading a track and committing its edits: modifymusicinfo_edit.cpp.
#include "information/modifymusicinfo.h"

#include "customcontrols/buttonstyle.h"
#include "information/labelartwork.h"
#include "information/lineedit.h"
#include "musiclink.h"

#include <QEvent>
#include <QFrame>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QIntValidator>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyleOption>
#include <QVBoxLayout>

namespace {

const QString kHideButName = QStringLiteral("InfoHideBut");
constexpr int kCollapsedHeight = 12;
constexpr int kOpenHeight = 170;
constexpr int kPictureSide = 110;
constexpr int kSideSpacing = 30;
constexpr int kRowSpacing = 5;

QLabel* captionLabel(const QString& text, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setStyleSheet(QStringLiteral("QLabel{font: bold 16px;}"));
    return label;
}

// One column: its caption over the picture, the row captions and fields.
QGridLayout* columnGrid(QLabel* caption, QLabel* picture, QLabel* const (&rows)[5],
                        CLineEdit* const (&fields)[5])
{
    auto* grid = new QGridLayout;
    grid->setContentsMargins(0, 0, 0, 0);
    grid->setVerticalSpacing(kRowSpacing);
    grid->addWidget(caption, 0, 0, 1, 5, Qt::AlignLeft);
    grid->addWidget(picture, 1, 0, 5, 2, Qt::AlignCenter);
    for (int i = 0; i < 5; ++i) {
        grid->addWidget(rows[i], i + 1, 2, Qt::AlignCenter);
        grid->addWidget(fields[i], i + 1, 3, 1, 2, Qt::AlignLeft);
        rows[i]->setBuddy(fields[i]);
        // "New Tag Name": the column and the row, as a reader hears them.
        QString row = rows[i]->text();
        if (row.endsWith(QLatin1Char(':')))
            row.chop(1);
        fields[i]->setAccessibleName(caption->text() + QLatin1Char(' ') + row);
    }
    return grid;
}

} // namespace

CModifyMusicInfo::CModifyMusicInfo(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags)
{
    buildWidgets();
    buildLayout();
    m_pInfoWidget->hide();
    setFixedHeight(kCollapsedHeight);
    m_pNewArtwork->installEventFilter(this);
    // No width here: Qt knows no fixed width for a line edit, and a
    // minimum tied to the editor's width would grow the editor it sizes.
    setStyleSheet(QStringLiteral(
        "QWidget#ModifyMusicinfo QLineEdit{\tborder: 0px;background-color:#eeeeee;}\t"
        "QWidget#ModifyMusicinfo QLineEdit:hover{\tborder: 1px solid #4e8ec1;\tborder-radius: 2px;"
        "background-color:#ffffff;}"));
}

CModifyMusicInfo::~CModifyMusicInfo() = default;

void CModifyMusicInfo::buildWidgets()
{
    m_pHideBut = new QPushButton(this);
    m_pHideBut->setFocusPolicy(Qt::NoFocus);
    m_pHideBut->setObjectName(kHideButName);
    setHideButLook(false);
    // The click, not any release: a press dragged off the button is no
    // request, and the accessibility press action arrives as a click.
    connect(m_pHideBut, &QPushButton::clicked, this, &CModifyMusicInfo::EditHide);

    m_pInfoWidget = new QWidget(this);
    m_pOrgNameLabel = new QLabel(tr("Name:"), m_pInfoWidget);
    m_pOrgArtistLabel = new QLabel(tr("Artist:"), m_pInfoWidget);
    m_pOrgAlbumLabel = new QLabel(tr("Album:"), m_pInfoWidget);
    m_pOrgYearLabel = new QLabel(tr("Year:"), m_pInfoWidget);
    m_pOrgGenreLabel = new QLabel(tr("Genre:"), m_pInfoWidget);
    for (CLineEdit** field : {&m_pOrgName, &m_pOrgArtist, &m_pOrgAlbum, &m_pOrgYear, &m_pOrgGenre}) {
        *field = new CLineEdit(m_pInfoWidget);
        (*field)->setEnabled(false);
    }
    m_pNewNameLabel = new QLabel(tr("Name:"), m_pInfoWidget);
    m_pNewArtistLabel = new QLabel(tr("Artist:"), m_pInfoWidget);
    m_pNewAlbumLabel = new QLabel(tr("Album:"), m_pInfoWidget);
    m_pNewYearLabel = new QLabel(tr("Year:"), m_pInfoWidget);
    m_pNewGenreLabel = new QLabel(tr("Genre:"), m_pInfoWidget);
    for (CLineEdit** field : {&m_pNewName, &m_pNewArtist, &m_pNewAlbum, &m_pNewYear, &m_pNewGenre})
        *field = new CLineEdit(m_pInfoWidget);
    m_pNewYear->setValidator(new QIntValidator(0, 9999, m_pNewYear));

    m_pOrgArtwork = new QLabel(m_pInfoWidget);
    m_pOrgArtwork->setObjectName(QStringLiteral("OrgArtwork"));
    m_pOrgArtwork->setAccessibleName(tr("Orginal artwork"));
    m_pOrgArtwork->setFixedSize(kPictureSide, kPictureSide);
    m_pNewArtwork = new CLabelArtwork(m_pInfoWidget);
    m_pNewArtwork->setFixedSize(kPictureSide, kPictureSide);
    m_pNewArtwork->setFocusPolicy(Qt::WheelFocus);
    m_pNewArtwork->setObjectName(QStringLiteral("NewArtwork"));
    m_pNewArtwork->setAccessibleName(tr("New artwork"));
    // Shown while the pointer is over the picture.
    m_pNewArtwork->SetPlayHidden(true);
    connect(m_pNewArtwork, &CLabelArtwork::DropImg, this, &CModifyMusicInfo::OpenFileImg);
}

void CModifyMusicInfo::buildLayout()
{
    QGridLayout* left = columnGrid(
        captionLabel(tr("Orginal Tag"), m_pInfoWidget), m_pOrgArtwork,
        {m_pOrgNameLabel, m_pOrgArtistLabel, m_pOrgAlbumLabel, m_pOrgYearLabel, m_pOrgGenreLabel},
        {m_pOrgName, m_pOrgArtist, m_pOrgAlbum, m_pOrgYear, m_pOrgGenre});
    QGridLayout* right = columnGrid(
        captionLabel(tr("New Tag"), m_pInfoWidget), m_pNewArtwork,
        {m_pNewNameLabel, m_pNewArtistLabel, m_pNewAlbumLabel, m_pNewYearLabel, m_pNewGenreLabel},
        {m_pNewName, m_pNewArtist, m_pNewAlbum, m_pNewYear, m_pNewGenre});

    auto* line = new QFrame(m_pInfoWidget);
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);

    auto* columns = new QHBoxLayout;
    columns->setContentsMargins(0, 0, 0, 0);
    columns->addSpacing(kSideSpacing);
    columns->addLayout(left);
    columns->addWidget(line);
    columns->addLayout(right);
    columns->addSpacing(kSideSpacing);
    m_pInfoWidget->setLayout(columns);
    m_pInfoWidget->setContentsMargins(0, 0, 0, 0);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_pHideBut, 0, Qt::AlignCenter);
    layout->addWidget(m_pInfoWidget);
    layout->addStretch();
}

void CModifyMusicInfo::SetMusicLink(CMusicLink* link)
{
    if (m_pMusicLink)
        disconnect(m_pMusicLink, nullptr, this, nullptr);
    m_pMusicLink = link;
    if (link) {
        // Queued from the download thread: the record of a lookup that the
        // editor waits for lets it show the track's fields again.
        connect(link, &CMusicLink::SendDowldInfo, this,
                [this](void* track, int absence, int, int) { lookupEnded(track, absence); });
    }
}

void CModifyMusicInfo::setHideButLook(bool open)
{
    m_pHideBut->setStyleSheet(ImageButtonStyle(kHideButName, open ? QStringLiteral("infohide")
                                                                  : QStringLiteral("infoshow"),
                                               52, 12, QStringLiteral("#000000"), 12));
    const QString name = open ? tr("Hide track information") : tr("Show track information");
    m_pHideBut->setToolTip(name);
    m_pHideBut->setAccessibleName(name);
}

void CModifyMusicInfo::EditHide()
{
    if (!m_bOpen) {
        setHideButLook(true);
        m_pInfoWidget->show();
        setFixedHeight(kOpenHeight);
        m_bOpen = true;
        if (m_pItem) {
            GetMusicInfoInID(m_iAbsence, m_pItem);
            m_strArtworkPath.clear();
        }
        return;
    }
    collapse();
    if (m_pItem)
        ModifyMusic();
    m_strArtworkPath.clear();
}

void CModifyMusicInfo::collapse()
{
    setHideButLook(false);
    m_pInfoWidget->hide();
    setFixedHeight(kCollapsedHeight);
    m_bOpen = false;
}

void CModifyMusicInfo::SetItem(int absence, void* track)
{
    if (!m_bOpen) {
        m_pItem = track;
        m_iAbsence = absence;
        return;
    }
    if (m_pItem)
        ModifyMusic();
    if (!track)
        return;
    m_strArtworkPath.clear();
    m_pItem = track;
    m_iAbsence = 0;
    GetMusicInfoInID(absence, track);
}

void CModifyMusicInfo::setHidden(bool hide)
{
    if (hide) {
        if (m_pItem)
            ModifyMusic();
        m_strArtworkPath.clear();
        m_pItem = nullptr;
        m_iAbsence = 0;
    }
    QWidget::setHidden(hide);
}

void CModifyMusicInfo::HideModify()
{
    m_pNewArtwork->SetPlayState(PS_STOPPED);
    m_strArtworkPath.clear();
    m_iAbsence = 0;
    m_pItem = nullptr;
}

bool CModifyMusicInfo::CommitPendingEdit()
{
    if (!m_bOpen)
        return true;
    EditHide();
    // A track shown while its lookup ran had nothing typed into it.
    return !m_pItem || m_pItem == m_pWaitingTrack;
}

bool CModifyMusicInfo::TakePendingEdit(tagEditCommit& edit)
{
    edit = tagEditCommit();
    if (!m_bOpen)
        return true;
    collapse();
    if (m_pItem && !takeEdit(edit))
        edit = tagEditCommit();
    m_strArtworkPath.clear();
    return !m_pItem || m_pItem == m_pWaitingTrack;
}

bool CModifyMusicInfo::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_pNewArtwork) {
        if (event->type() == QEvent::Enter)
            m_pNewArtwork->SetPlayHidden(false);
        else if (event->type() == QEvent::Leave)
            m_pNewArtwork->SetPlayHidden(true);
    }
    return QWidget::eventFilter(watched, event);
}

void CModifyMusicInfo::paintEvent(QPaintEvent*)
{
    // Style sheets reach a plain QWidget subclass only through PE_Widget.
    QStyleOption option;
    option.initFrom(this);
    QPainter painter(this);
    style()->drawPrimitive(QStyle::PE_Widget, &option, &painter, this);
}

void CModifyMusicInfo::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    ChangeFontColor();
}
