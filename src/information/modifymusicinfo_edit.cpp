// The editor's data side: a track's two copies and pictures on screen, the
// commit of the hand edits, and the artwork dropped or picked.
#include "information/modifymusicinfo.h"

#include "common.h"
#include "config.h"
#include "information/labelartwork.h"
#include "information/lineedit.h"
#include "musiclink.h"

#include <QByteArray>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>

#include <vector>

namespace {

constexpr int kPictureSide = 110;
constexpr int kEditSignalMask = MF_TITLE | MF_ARTIST | MF_ALBUM | MF_ARTWORK;
// Enough names for any burst of drops within one second.
constexpr int kMaxNameTries = 1000;

const QString kNoArtwork = QStringLiteral(":/res/res/mac/label/noartwork.png");
const QString kFailedArtwork = QStringLiteral(":/res/res/mac/label/Failed_load_artwork_en.png");
const QString kDragArtwork = QStringLiteral(":/res/res/mac/label/drag_artwork_here_en.png");

QPixmap pictureSized(const QPixmap& picture)
{
    return picture.scaled(kPictureSide, kPictureSide, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

// Only U+0020 counts: a text of tabs is a text.
bool isBlank(const QString& text)
{
    return QString(text).remove(QLatin1Char(' ')).isEmpty();
}

void addEdit(tagEditCommit& edit, int bit, const QString& value)
{
    edit.mask |= bit;
    edit.values.push_back(value.toUtf8());
}

// An emptied field keeps the engine's value; only a new text counts.
void addText(tagEditCommit& edit, int bit, const QString& typed, const QString& current)
{
    if (!isBlank(typed) && typed != current)
        addEdit(edit, bit, typed);
}

bool readWholeFile(const QString& path, QByteArray& bytes)
{
    QFile file(path);
    if (!file.exists() || !file.open(QIODevice::ReadOnly))
        return false;
    bytes = file.readAll();
    return !bytes.isEmpty();
}

// A new file of the artwork folder named for this second, numbered when
// an earlier drop of the same second took the name; never replaced.
QString saveNewPicture(const QString& folder, const QImage& image)
{
    if (!CreateFolder(folder))
        return QString();
    const QString stamp = QDateTime::currentDateTime().toString(QStringLiteral("yyyy-MM-dd-hh-mm-ss"));
    for (int i = 0; i < kMaxNameTries; ++i) {
        const QString name = i == 0 ? stamp : QStringLiteral("%1_%2").arg(stamp).arg(i);
        const QString path = folder + QLatin1Char('/') + name + QStringLiteral(".jpg");
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (file.exists())
                continue;
            return QString();
        }
        if (image.save(&file, "JPG"))
            return path;
        file.remove();
        return QString();
    }
    return QString();
}

} // namespace

bool CModifyMusicInfo::isLookupRunning(void* track) const
{
    return m_pMusicLink && m_pMusicLink->IsLookupRunning(track);
}

void CModifyMusicInfo::GetMusicInfoInID(int absence, void* track)
{
    if (!m_pMusicLink)
        return;
    const tagMMusicInfo* original = nullptr;
    m_pMusicLink->GetMusicInfo(track, &original, INFO_ORIGINAL);
    if (original)
        showOriginal(original);
    if (isLookupRunning(track)) {
        // The lookup writes the working copy now: it is shown, and editable,
        // once the lookup's record has arrived.
        m_pWaitingTrack = track;
        showWorking(nullptr);
        if (original)
            m_pNewArtwork->SetCurrentFilename(original->strLocation);
        showPictures(absence, track);
        return;
    }
    m_pWaitingTrack = nullptr;
    const tagMMusicInfo* working = nullptr;
    m_pMusicLink->GetMusicInfo(track, &working, INFO_NEW);
    if (!working) {
        HideModify();
        return;
    }
    showWorking(working);
    m_pNewArtwork->SetCurrentFilename(working->strLocation);
    showPictures(absence, track);
}

void CModifyMusicInfo::lookupEnded(void* track, int absence)
{
    if (!track || track != m_pWaitingTrack)
        return;
    m_pWaitingTrack = nullptr;
    if (m_pItem == track && m_bOpen)
        GetMusicInfoInID(absence, track);
}

void CModifyMusicInfo::showOriginal(const tagMMusicInfo* info)
{
    const QString texts[] = {info->strName, info->strArtist, info->strAlbum, info->strYear, info->strGenre};
    CLineEdit* const fields[] = {m_pOrgName, m_pOrgArtist, m_pOrgAlbum, m_pOrgYear, m_pOrgGenre};
    for (int i = 0; i < 5; ++i) {
        fields[i]->setText(texts[i]);
        fields[i]->setToolTip(texts[i]);
    }
}

// Null: the working copy may not be read; the fields stay empty and locked.
void CModifyMusicInfo::showWorking(const tagMMusicInfo* info)
{
    CLineEdit* const fields[] = {m_pNewName, m_pNewArtist, m_pNewAlbum, m_pNewYear, m_pNewGenre};
    if (info) {
        const QString texts[] = {info->strName, info->strArtist, info->strAlbum, info->strYear, info->strGenre};
        for (int i = 0; i < 5; ++i)
            fields[i]->setText(texts[i]);
    } else {
        for (CLineEdit* field : fields)
            field->setText(QString());
    }
    setWorkingEditable(info != nullptr);
    ChangeFontColor();
}

void CModifyMusicInfo::setWorkingEditable(bool editable)
{
    for (CLineEdit* field : {m_pNewName, m_pNewArtist, m_pNewAlbum, m_pNewYear, m_pNewGenre})
        field->setEnabled(editable);
    m_pNewArtwork->setAcceptDrops(editable);
}

void CModifyMusicInfo::showPictures(int absence, void* track)
{
    void* bytes = nullptr;
    int length = 0;
    m_pMusicLink->GetiTunesArtwork(track, &bytes, length);
    QPixmap artwork;
    if (bytes && length > 0)
        artwork.loadFromData(static_cast<const uchar*>(bytes), uint(length));
    if (bytes)
        m_pMusicLink->ReleaseiTunesArtwork(&bytes);
    // Bytes that do not decode are artwork that cannot be read.
    const bool present = !artwork.isNull();
    const bool lacking = (absence & MF_ARTWORK) != 0;
    const QPixmap left = present && !lacking ? artwork : QPixmap(lacking ? kNoArtwork : kFailedArtwork);
    const QPixmap right = present ? artwork : QPixmap(lacking ? kDragArtwork : kFailedArtwork);
    m_pOrgArtwork->setPixmap(pictureSized(left));
    m_pNewArtwork->setPixmap(pictureSized(right));
}

void CModifyMusicInfo::ChangeFontColor()
{
    const QPalette plain = palette();
    QPalette red = plain;
    red.setBrush(QPalette::All, QPalette::Text, QBrush(QColor(238, 21, 21, 255)));
    const std::pair<CLineEdit*, CLineEdit*> rows[] = {{m_pNewName, m_pOrgName},
                                                      {m_pNewArtist, m_pOrgArtist},
                                                      {m_pNewAlbum, m_pOrgAlbum},
                                                      {m_pNewYear, m_pOrgYear},
                                                      {m_pNewGenre, m_pOrgGenre}};
    for (const auto& row : rows)
        row.first->setPalette(row.first->text() == row.second->text() ? plain : red);
}

void CModifyMusicInfo::ModifyMusic()
{
    tagEditCommit edit;
    if (!takeEdit(edit))
        return;
    CommitEdit(m_pMusicLink, edit);
    EditCommitted(edit);
}

bool CModifyMusicInfo::takeEdit(tagEditCommit& edit)
{
    if (!m_pMusicLink || !m_pItem || m_pItem == m_pWaitingTrack)
        return false;
    if (isLookupRunning(m_pItem)) {
        // The lookup writes the same working copy on its own thread; the
        // user's texts would race it, and the lookup's would win anyway.
        QMessageBox::information(this, QString(),
                                 tr("This song is being looked up online; your changes were not saved."),
                                 QMessageBox::Ok);
        return false;
    }
    const tagMMusicInfo* working = nullptr;
    m_pMusicLink->GetMusicInfo(m_pItem, &working, INFO_NEW);
    if (!working || refuseEmptyTitle(working))
        return false;
    edit = tagEditCommit();
    if (m_pNewName->text() != working->strName)
        addEdit(edit, MF_TITLE, m_pNewName->text());
    addText(edit, MF_ARTIST, m_pNewArtist->text(), working->strArtist);
    addText(edit, MF_ALBUM, m_pNewAlbum->text(), working->strAlbum);
    addText(edit, MF_YEAR, m_pNewYear->text(), working->strYear);
    addText(edit, MF_GENRE, m_pNewGenre->text(), working->strGenre);
    if (!m_strArtworkPath.isEmpty() && isFileExtist(m_strArtworkPath))
        addEdit(edit, MF_ARTWORK, m_strArtworkPath);

    edit.track = m_pItem;
    m_strArtworkPath.clear();
    m_pItem = nullptr;
    m_iAbsence = 0;
    return edit.mask != 0;
}

int CModifyMusicInfo::CommitEdit(CMusicLink* link, const tagEditCommit& edit)
{
    std::vector<const char*> values;
    for (const QByteArray& value : edit.values)
        values.push_back(value.constData());
    return link->SetUserMusicInfo(edit.track, edit.mask, values.data());
}

void CModifyMusicInfo::EditCommitted(const tagEditCommit& edit)
{
    if (edit.track && (edit.mask & kEditSignalMask))
        emit SendEditItem(edit.track);
}

bool CModifyMusicInfo::refuseEmptyTitle(const tagMMusicInfo* working)
{
    if (!isBlank(m_pNewName->text()))
        return false;
    QMessageBox::warning(this, QString(), tr("Please, music title cannot be empty."), QMessageBox::Ok);
    // The box ran an event loop; read the working copy again.
    working = nullptr;
    m_pMusicLink->GetMusicInfo(m_pItem, &working, INFO_NEW);
    if (working) {
        m_pNewName->setText(working->strName);
        m_pNewArtist->setText(working->strArtist);
        m_pNewAlbum->setText(working->strAlbum);
    }
    m_pNewName->ShowFullText();
    m_pNewName->selectAll();
    m_pNewName->setFocus(Qt::OtherFocusReason);
    return true;
}

void CModifyMusicInfo::OpenFileImg(const QString& path, bool bDrop)
{
    if (!m_bOpen)
        return;
    m_strArtworkPath.clear();
    QByteArray bytes;
    if (!readWholeFile(path, bytes))
        return;
    const QImage image = QImage::fromData(bytes);
    if (image.isNull()) {
        if (bDrop)
            QMessageBox::information(this, QString(),
                                     tr("Sorry, the file you dragged-in is not a valid image file."),
                                     QMessageBox::Ok);
        return;
    }
    m_pNewArtwork->setPixmap(pictureSized(QPixmap::fromImage(image)));
    // A picked candidate is recorded with the engine by the chooser.
    if (!bDrop)
        return;
    m_strArtworkPath = keepDroppedPicture(path, image);
}

// The engine re-encodes the picture it takes, so a user's own file is
// copied first; only a file already inside the artwork folder is used in
// place. Inside means below the folder itself, not a name that merely
// begins like it ("Artwork2/x.jpg") or holds it somewhere ("/tmp/Artwork/").
QString CModifyMusicInfo::keepDroppedPicture(const QString& path, const QImage& image)
{
    const QString folder = QDir::cleanPath(QFileInfo(CConfig::instance()->GetDowndImgPath()).absoluteFilePath());
    const QString file = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    if (file.startsWith(folder + QLatin1Char('/')))
        return file;
    return saveNewPicture(folder, image);
}
