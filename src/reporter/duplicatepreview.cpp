// The duplicate page's preview of one song at a time through the shared
// player; the page is an owner of the player, so the reports of its own
// file come back here.
#include "reporter/duplicate.h"

#include "common.h"
#include "duplicaterows.h"
#include "player/PlayUnit.h"
#include "reporter/reportlists.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QIcon>
#include <QMessageBox>

using namespace duprows;

void DuplicatePlayReport(unsigned int progress, tagPlayUnitState state, void* user)
{
    auto* page = static_cast<CDuplicate*>(user);
    if (!page)
        return;
    if (state == PU_ENDED && progress == PROGRESS_FULL)
        QMetaObject::invokeMethod(page, &CDuplicate::PlayOver, Qt::QueuedConnection);
    else if (state == PU_ERROR)
        QMetaObject::invokeMethod(page, [page] {
            if (QTreeWidgetItem* row = page->m_pPlayItem)
                page->previewFailed(row);
        }, Qt::QueuedConnection);
}

void CDuplicate::PlayMusic()
{
    QTreeWidgetItem* row = m_pDuplicateTree->currentItem();
    if (!row)
        return;
    if (row == m_pPlayItem && m_iPlayState == PS_PLAYING) {
        StopPlay();
        return;
    }
    if (m_iPlayState == PS_PLAYING)
        StopPlay();

    const tagMMusicInfo* info = nullptr;
    if (m_pMusicLink)
        m_pMusicLink->GetMusicInfo(static_cast<CTreeItem*>(row)->GetID(), &info, INFO_NEW);
    // Protected songs are not offered to the player.
    const QString location = info ? info->strLocation : QString();
    const bool playable = !location.isEmpty() && !location.endsWith(QLatin1String(".m4p"))
        && PlayUnit_SetMediaFile(location.toUtf8().constData(), this) == 0 && PlayUnit_Start() == 0;
    if (!playable) {
        previewFailed(row);
        return;
    }
    WriteUILog(QStringLiteral("PlayUnit_Start:") + location);
    m_iPlayState = PS_PLAYING;
    row->setIcon(kColPlay, SharedIcon(g_pIconPause));
    m_pPlayItem = row;
}

void CDuplicate::previewFailed(QTreeWidgetItem* row)
{
    if (row == m_pPlayItem)
        PlayOver();
    row->setIcon(kColPlay, SharedIcon(g_pIconNull));
    m_iPlayState = PS_STOPPED;
    QMessageBox::information(this, QString(), tr("Playback failure!"), QMessageBox::Ok);
}

void CDuplicate::PlayOver()
{
    if (!m_pPlayItem)
        return;
    const bool current = m_pPlayItem == m_pDuplicateTree->currentItem();
    m_pPlayItem->setIcon(kColPlay, SharedIcon(current ? g_pIconPlay : g_pIconNull));
    m_iPlayState = PS_STOPPED;
    m_pPlayItem = nullptr;
}

void CDuplicate::StopPlay()
{
    // Only this page's own song: the player is shared with the other pages.
    if (m_pPlayItem && PlayUnit_FileOwner() == this)
        PlayUnit_Stop();
    PlayOver();
}
