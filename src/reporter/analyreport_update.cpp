// Writing a finished lookup into its row (texts, icons, colours, counts),
// freeing its converter slot and deleting its WAV file; and carrying a hand
// edit into the track's rows. GUI thread only.
#include "reporter/analyreport.h"

#include "common.h"
#include "config.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reporter/temporarywav.h"
#include "reportrow.h"
#include "treeitem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QPixmap>

namespace {

// Only a file of our own, directly in the music folder, is ever deleted.
void removeWav(const QString& path)
{
    RemoveTemporaryWav(CConfig::instance()->GetMusicPath(), path);
}

} // namespace

void CAnalyReport::UpateMusicArtworkState(void* track)
{
    const bool success = track && m_pMusicLink->DownloadGetGNArtworkState(track) == DS_DONE;
    const int slot = m_slots.SlotOfTrack(track, false);
    if (slot < 0 || m_track[slot].kind != TK_ARTWORK) {
        WriteUILog(QStringLiteral("Update MusicArtworkState error"));
        return;
    }
    auto* item = static_cast<CListItem*>(m_track[slot].item);
    WriteUILog(QStringLiteral("Update Music Artwork State ok! ID:%1 Name:%2 %3")
                   .arg(item->GetPersistentID(), item->text(), success ? QStringLiteral("Success") : QStringLiteral("Failed.")));
    QString path;
    if (success)
        m_pMusicLink->GetMusicArtwork(track, path);
    if (path.isEmpty()) {
        if (g_pimgFailed)
            item->setIcon(*g_pimgFailed);
        item->SetItemState(CListItem::IS_FAILED, true);
        item->SetFixState(DS_FAILED);
    } else {
        const int candidates = m_pMusicLink->GetArtworkConut(track);
        if (candidates >= 2)
            item->SetListButShow(true);
        if (candidates >= 0)
            item->m_iArtworkCount = candidates;
        item->SetArtworkPath(path);
        item->SetItemState(CListItem::IS_FIXED, false);
        item->SetFixState(DS_DONE);
        ++m_pListArtwork->m_iSuccessNum;
    }
    const tagMMusicInfo* info = nullptr;
    if (success && m_pMusicLink->GetMusicInfo(track, &info, INFO_NEW) == 0 && info) {
        ShowRowTexts(item, info->strName);
    }
    m_slots.Free(slot);
    m_pListArtwork->PushFlashItem(slot, item);
    removeWav(item->GetConverPath());
}

void CAnalyReport::UpateMusicAttrState(void* track, QTreeWidget* tree, int column, int kind)
{
    if (!tree)
        return;
    const bool success = track && m_pMusicLink->DownloadGNInfoState(track) == DS_DONE;
    const int slot = m_slots.SlotOfTrack(track, true);
    if (slot < 0)
        return;
    auto* item = static_cast<CTreeItem*>(m_track[slot].item);
    const bool album = kind == 3;
    const int field = album ? 3 : 2;
    const QString what = album ? QStringLiteral("Album") : QStringLiteral("Artist");
    auto fail = [&](const QString& log) {
        item->SetFixState(DS_FAILED);
        if (g_pFailed)
            item->setIcon(column, *g_pFailed);
        item->setText(field, tr("Failed"));
        item->setForeground(field, m_clrRed);
        WriteUILog(log);
    };
    if (!success) {
        fail(QStringLiteral("Update Music %1 ok! PID:%2 Failed.")
                 .arg(album ? QStringLiteral("Album ") : QStringLiteral("Artist"), item->GetPersistentID()));
    } else {
        const CReportRow row = CReportRow::Read(m_pMusicLink, track, item->GetAbsenceType());
        const QString failedLine = QStringLiteral("Update Music %1 ok! PID:%2 Name:%3 Failed.").arg(what, item->GetPersistentID());
        if (!row.hasInfo) {
            // No record to read a name from: the row's own title stands in.
            fail(failedLine.arg(item->text(0)));
        } else {
            showFoundTexts(item, row);
            if ((album ? row.album : row.artist).isEmpty()) {
                fail(failedLine.arg(row.name));
            } else {
                markTreeFixed(item, static_cast<CFailedTreeWidget*>(tree), field, column);
                WriteUILog(QStringLiteral("Update Music %1 ok! PID:%2 Name:%3 Success.")
                               .arg(what, item->GetPersistentID(), row.name));
            }
        }
    }
    removeWav(item->GetConverPath());
    m_slots.Free(slot);
}

void CAnalyReport::Failed_UpateAttrState_temp(void* track)
{
    const int infoState = track ? m_pMusicLink->DownloadGNInfoState(track) : DS_FAILED;
    const int artworkState = track ? m_pMusicLink->DownloadGetGNArtworkState(track) : DS_FAILED;
    const int slot = m_slots.SlotOfTrack(track, false);
    if (slot < 0)
        return;
    auto* item = static_cast<CTreeItem*>(m_track[slot].item);
    const int absence = item->GetAbsenceType();
    const CReportRow row = CReportRow::Read(m_pMusicLink, track, absence);
    const bool infoFailed = (absence & (MF_ARTIST | MF_ALBUM)) && infoState != DS_DONE;
    const bool artworkFailed = (absence & MF_ARTWORK) && artworkState != DS_DONE;
    if ((absence & MF_ARTWORK) && artworkState == DS_DONE) {
        QString path;
        m_pMusicLink->GetMusicArtwork(track, path);
        if (!path.isEmpty())
            item->setIcon(1, RowThumbnail(QPixmap(path)));
    }
    if (row.hasInfo)
        ShowRowTexts(item, kUnrecognizedColumns, FROMUTF8(row.name, QString()),
                     FROMUTF8(row.artist, QStringLiteral("Artist")), FROMUTF8(row.album, QStringLiteral("Album")));
    if (!infoFailed && !artworkFailed) {
        item->SetFixState(DS_DONE);
        if (g_pOK)
            item->setIcon(8, *g_pOK);
        if (m_pMusicLink->GetMusicState(track) != 0)
            m_pMusicLink->SetMusicState(track, 0);
    } else {
        item->SetFixState(DS_FAILED);
        if (g_pFailed)
            item->setIcon(8, *g_pFailed);
    }
    WriteUILog(QStringLiteral("Update FixFailed State ok! PID:%1 Name:%2")
                   .arg(item->GetPersistentID(), row.hasInfo ? row.name : item->text(2)));
    removeWav(item->GetConverPath());
    m_slots.Free(slot);
}

void CAnalyReport::EditFixItem(void* track)
{
    const CReportRow row = CReportRow::Read(m_pMusicLink, track, 0);
    if (!row.hasInfo)
        return;
    // A hand edit is a result of its own, in every category: it waits to be
    // written, so the close asks and the working database keeps it.
    m_bNeedApply = true;
    for (int i = 0; i < m_pListArtwork->count(); ++i) {
        auto* item = static_cast<CListItem*>(m_pListArtwork->item(i));
        if (item->GetID() != track)
            continue;
        ShowRowTexts(item, row.name);
        QString path;
        m_pMusicLink->GetMusicArtwork(track, path);
        if (!path.isEmpty())
            item->SetArtworkPath(path);
        if (const int n = m_pMusicLink->GetArtworkConut(track); n >= 1)
            item->m_iArtworkCount = n;
        m_pListArtwork->viewport()->update();
        break;
    }
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(m_pTreeArtist), static_cast<QTreeWidget*>(m_pTreeAlbum)}) {
        for (int i = 0; i < tree->topLevelItemCount(); ++i) {
            auto* item = static_cast<CTreeItem*>(tree->topLevelItem(i));
            if (item->GetID() != track)
                continue;
            ShowRowTexts(item, kCategoryColumns, row.name, FROMUTF8(row.artist, tr("Artist")),
                         FROMUTF8(row.album, tr("Album")));
            break;
        }
    }
    for (int i = 0; i < m_pTreeFailed->topLevelItemCount(); ++i) {
        auto* item = static_cast<CTreeItem*>(m_pTreeFailed->topLevelItem(i));
        if (item->GetID() != track)
            continue;
        item->SetFixState(DS_DONE);
        if (!FailedToSuccess(item)) {
            ShowRowTexts(item, kUnrecognizedColumns, row.name, FROMUTF8(row.artist, tr("Artist")),
                         FROMUTF8(row.album, tr("Album")));
            item->setIcon(1, RowThumbnail(LibraryPicture(m_pMusicLink, track)));
            break;
        }
        // The removal moves the current row; the editor must not follow it.
        // An edit made while a fixing run goes on or waits paused is not
        // the run's end: the window would leave the run for the apply step
        // while it still converts, and a paused run would start again.
        const EFixState running = m_eFixState;
        m_eFixState = FS_RUN;
        delete m_pTreeFailed->takeTopLevelItem(i);
        ShowReport(false);
        CalculateScore();
        if (running == FS_IDLE)
            emit ReportFixAllComplete();
        m_eFixState = running;
        break;
    }
}
