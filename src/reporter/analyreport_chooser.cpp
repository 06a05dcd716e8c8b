// The artwork chooser strip beside a fixed tile of the grid.
#include "reporter/analyreport.h"

#include "musiclink.h"
#include "reporter/reportlists.h"
#include "treeitem.h"
#include "treeobj/treeobj.h"

#include <QGuiApplication>
#include <QScreen>
#include <QSplitter>

void CAnalyReport::SelectArtworkList(QListWidgetItem* pItem)
{
    auto* item = static_cast<CListItem*>(pItem);
    if (!item || !item->GetID() || !m_pMusicLink || !m_pArtworkChooser)
        return;
    void* track = item->GetID();
    QStringList paths;
    const int count = m_pMusicLink->GetArtworkConut(track);
    for (int i = 0; i < count; ++i) {
        QString path;
        m_pMusicLink->GetArtworkList(track, i, path);
        paths.append(path);
    }
    QString current;
    m_pMusicLink->GetMusicArtwork(track, current);
    const int index = current.isEmpty() ? -1 : int(paths.indexOf(current));
    const QPoint anchor = mapToGlobal(m_pListArtwork->visualItemRect(item).bottomRight());
    m_pArtworkChooser->Init(item, index, paths);

    const int half = m_pArtworkChooser->width() / 2;
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int screenWidth = screen ? screen->geometry().width() : 0;
    const int left = m_pSplitter->widget(0) ? m_pSplitter->widget(0)->width() : 0;
    int overflow = 0;
    if (anchor.x() + half > screenWidth)
        overflow = anchor.x() + half - screenWidth;
    else if (anchor.x() - half < 0)
        overflow = anchor.x() - half;
    m_pArtworkChooser->move(anchor.x() - 18 - overflow + left - half, anchor.y() - 10);
    m_pArtworkChooser->SetBCLMoveX(overflow + half - 18);
    m_pArtworkChooser->show();
}
