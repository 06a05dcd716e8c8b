#include "information/labelartwork.h"

#include "cadenzo.h"
#include "customcontrols/buttonstyle.h"
#include "player/PlayUnit.h"

#include <QDragEnterEvent>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QUrl>
#include <QVBoxLayout>

namespace {

const QString kButtonName = QStringLiteral("PlayMusicBut");
constexpr int kButtonSide = 48;

// The player's reports of the label's own files. A file that ends, fails
// to decode or is dropped for another owner's file all leave the label
// stopped, so the button never shows a pause look over silence.
void PlayCallBrakPlay(unsigned int progress, tagPlayUnitState state, void* user)
{
    if (!user)
        return;
    const bool ended = state == PU_ENDED && progress == PROGRESS_FULL;
    if (ended || state == PU_ERROR)
        static_cast<CLabelArtwork*>(user)->CallPlayState(progress, PS_STOPPED);
}

bool isProtected(const QString& path)
{
    return path.right(4) == QLatin1String(".m4p");
}

} // namespace

CLabelArtwork::CLabelArtwork(QWidget* parent) : QLabel(parent)
{
    // The unit keeps every owner's callback; the result only says whether
    // this label was one already.
    PlayUnit_Create(PlayCallBrakPlay, this);
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAlignment(Qt::AlignCenter);
    setAcceptDrops(true);
    setAutoFillBackground(true);

    m_pPlayBut = new QPushButton(this);
    m_pPlayBut->setFocusPolicy(Qt::NoFocus);
    m_pPlayBut->setObjectName(kButtonName);
    setPauseLook(false);

    auto* layout = new QVBoxLayout;
    layout->addStretch();
    layout->addWidget(m_pPlayBut, 0, Qt::AlignCenter);
    layout->addStretch();
    setLayout(layout);

    connect(m_pPlayBut, &QPushButton::clicked, this, &CLabelArtwork::PlayMusic);
    connect(this, &CLabelArtwork::PlayStateChange, this, &CLabelArtwork::SetPlayState);
}

CLabelArtwork::~CLabelArtwork()
{
    // Leaving the unit stops the label's file and ends the unit when the
    // label was its last owner; other owners' previews go on.
    PlayUnit_Destroy(this);
}

void CLabelArtwork::SetCurrentFilename(const QString& path)
{
    if (path.isEmpty())
        return;
    m_strFileName = path;
    setPauseLook(m_strFileName == m_strPlayFile && m_iPlayState == PS_PLAYING);
}

void CLabelArtwork::SetPlayHidden(bool hidden)
{
    if (!hidden)
        followPlayer();
    m_pPlayBut->setHidden(hidden);
}

void CLabelArtwork::CallPlayState(unsigned int, int state)
{
    emit PlayStateChange(state);
}

void CLabelArtwork::PlayMusic()
{
    followPlayer();
    const bool same = m_strFileName == m_strPlayFile;
    if (m_iPlayState == PS_PLAYING && same) {
        setPauseLook(false);
        PlayUnit_Pause();
        m_iPlayState = PS_PAUSED;
    } else if (m_iPlayState == PS_PAUSED && same) {
        setPauseLook(true);
        PlayUnit_Start();
        m_iPlayState = PS_PLAYING;
    } else if (!startCurrentFile()) {
        QMessageBox::information(this, QString(), tr("Playback failure!"), QMessageBox::Ok);
    }
}

bool CLabelArtwork::startCurrentFile()
{
    if (m_strFileName.isEmpty() || isProtected(m_strFileName))
        return false;
    const QByteArray path = m_strFileName.toUtf8();
    if (PlayUnit_SetMediaFile(path.constData(), this) != 0 || PlayUnit_Start() != 0) {
        // The player may hold the file it could open but not start.
        if (PlayUnit_FileOwner() == this)
            PlayUnit_Stop();
        forgetPreview();
        return false;
    }
    setPauseLook(true);
    m_strPlayFile = m_strFileName;
    m_iPlayState = PS_PLAYING;
    return true;
}

void CLabelArtwork::SetPlayState(int state)
{
    if (state != PS_STOPPED)
        return;
    // Only the label's own file: a stop of the editor must not silence a
    // row that another page is previewing.
    if (PlayUnit_FileOwner() == this)
        PlayUnit_Stop();
    forgetPreview();
}

void CLabelArtwork::forgetPreview()
{
    setPauseLook(false);
    m_strPlayFile.clear();
    m_iPlayState = PS_STOPPED;
}

// Another owner may have stopped the player since the label started it.
void CLabelArtwork::followPlayer()
{
    if (m_iPlayState != PS_STOPPED && PlayUnit_FileOwner() != this)
        forgetPreview();
}

void CLabelArtwork::setPauseLook(bool pause)
{
    const int look = pause ? 1 : 0;
    if (look == m_iLook)
        return;
    m_iLook = look;
    m_pPlayBut->setStyleSheet(ImageButtonStyle(kButtonName, pause ? QStringLiteral("musicpause")
                                                                  : QStringLiteral("musicplay"),
                                               kButtonSide, kButtonSide, QStringLiteral("#000000"), 12));
    const QString name = pause ? tr("Pause") : tr("Play");
    m_pPlayBut->setToolTip(name);
    m_pPlayBut->setAccessibleName(name);
}

void CLabelArtwork::dragEnterEvent(QDragEnterEvent* event)
{
    setBackgroundRole(QPalette::Highlight);
    event->acceptProposedAction();
}

void CLabelArtwork::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

// The highlight stays until the next drop.
void CLabelArtwork::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

void CLabelArtwork::dropEvent(QDropEvent* event)
{
    setBackgroundRole(QPalette::Dark);
    const QList<QUrl> urls = event->mimeData() ? event->mimeData()->urls() : QList<QUrl>();
    // Only a file of this machine can become the track's artwork.
    if (urls.isEmpty() || !urls.first().isLocalFile()) {
        event->ignore();
        return;
    }
    emit DropImg(urls.first().toLocalFile(), true);
    event->acceptProposedAction();
}
