// Small interactions of the report page: the enlarged artwork of a tile,
// the preview of a row with its playing icon, and revealing a song's file.
#include "reporter/analyreport.h"

#include "common.h"
#include "customcontrols/customcontrols.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QIcon>
#include <QMessageBox>
#include <QPixmap>
#include <QSplitter>

namespace {

constexpr int kPopupSide = 376;
constexpr int kPlayColumn = 6;
constexpr int kPathColumn = 6;

// The popup is centred on a side long enough to hold it, else it starts there.
int centredOffset(int side)
{
    return side > kPopupSide ? (side - kPopupSide) / 2 : 0;
}

bool isProtected(const QString& path)
{
    return path.right(4) == QLatin1String(".m4p");
}

} // namespace

int CAnalyReport::leftPaneWidth() const
{
    QWidget* left = m_pSplitter ? m_pSplitter->widget(0) : nullptr;
    return left ? left->width() : 0;
}

void CAnalyReport::ShowMaxPicture(QListWidgetItem* pItem)
{
    auto* item = dynamic_cast<CListItem*>(pItem);
    if (!item || !m_pMusicLink || !m_pMaxPicture)
        return;
    QString path;
    m_pMusicLink->GetMusicArtwork(item->GetID(), path);
    if (path.isEmpty())
        return;
    // The grid's own position taken through the page: the left pane's
    // width puts it back beside the category tree.
    const QPoint origin = mapToGlobal(m_pListArtwork->pos());
    m_pMaxPicture->setGeometry(origin.x() + leftPaneWidth() + centredOffset(m_pListArtwork->width()),
                               origin.y() + centredOffset(m_pListArtwork->height()), kPopupSide, kPopupSide);
    // Before the picture shows the popup: a shown window keeps its modality.
    m_pMaxPicture->setWindowModality(Qt::ApplicationModal);
    m_pMaxPicture->SetPicture(QPixmap(path));
}

void CAnalyReport::PlayMusic(QTreeWidgetItem* item, tagPlayState state)
{
    if (state != PS_PLAYING) {
        StopPlay();
        return;
    }
    if (!item)
        return;
    const bool again = item == m_pPlayItem;
    if (m_ePlayState == PS_PLAYING) {
        StopPlay();
        if (again)
            return;  // a second press stops
    }
    // The row's own copy of the path: the working copy may be written by a
    // lookup of the same song while the preview starts.
    const QString path = static_cast<CTreeItem*>(item)->GetPath();
    const QByteArray utf8 = path.toUtf8();
    if (path.isEmpty() || isProtected(path) || PlayUnit_SetMediaFile(utf8.constData(), m_pMusicLink) != 0
        || PlayUnit_Start() != 0) {
        item->setIcon(kPlayColumn, SharedIcon(g_pIconNull));
        m_ePlayState = PS_STOPPED;
        QMessageBox::information(this, QString(), tr("Playback failure!"), QMessageBox::Ok);
        return;
    }
    WriteUILog(QStringLiteral("PlayUnit_Start:") + path);
    m_ePlayState = PS_PLAYING;
    item->setIcon(kPlayColumn, SharedIcon(g_pIconPause));
    m_pPlayItem = item;
}

void CAnalyReport::StopPlay()
{
    editorForget();
    // Only the page's own preview: the editor's label may be playing.
    if (m_pPlayItem && PlayUnit_FileOwner() == m_pMusicLink)
        PlayUnit_Stop();
    PlayOver();
}

void CAnalyReport::PlayOver()
{
    if (!m_pPlayItem)
        return;
    const bool current = m_pTreeFailed->currentItem() == m_pPlayItem;
    m_pPlayItem->setIcon(kPlayColumn, SharedIcon(current ? g_pIconPlay : g_pIconNull));
    m_ePlayState = PS_STOPPED;
    m_pPlayItem = nullptr;
}

void CAnalyReport::OpenRepeatMusicPath(QTreeWidgetItem* item, int column)
{
    // The reveal waits while a fixing run has the songs' files in use.
    if (!item || column != kPathColumn || m_eFixState == FS_RUN)
        return;
    ShowMusicInWindow(item->text(kPathColumn));
}
