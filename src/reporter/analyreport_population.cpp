// Filling the report from the analysis, the check boxes and the score.
//
// AddReportItem runs on the main window's analysis thread while that thread
// holds the pause mutex the GUI thread locks to pause it, so it must never
// wait for the GUI thread. It reads the engine, prepares plain rows and
// puts them into the page's inbox, which the GUI thread drains in slices;
// every call that reads the lists flushes the rest first, so nothing
// overtakes a row still queued.
#include "reporter/analyreport.h"

#include "common.h"
#include "musiclink.h"
#include "reporter/reportlists.h"
#include "reportrow.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QApplication>
#include <QIcon>
#include <QImage>
#include <QPixmap>
#include <QTreeWidget>

namespace {

QFont missingFont()
{
    QFont font = QApplication::font();
    font.setPointSize(11);
    font.setItalic(true);
    return font;
}

// Decodes the track's artwork bytes and saves them where the engine keeps
// its current artwork. Any thread: QImage, not QPixmap.
bool exportArtwork(CMusicLink* link, void* track, const QString& path)
{
    void* data = nullptr;
    int length = 0;
    bool saved = false;
    if (link->GetiTunesArtwork(track, &data, length) == 0 && data && length > 0) {
        QImage image;
        saved = image.loadFromData(static_cast<const uchar*>(data), length) && image.save(path);
    }
    if (data)
        link->ReleaseiTunesArtwork(&data);
    return saved;
}

} // namespace

CReportRow CReportRow::Read(CMusicLink* link, void* track, int absence)
{
    CReportRow row;
    row.track = track;
    row.absence = absence;
    const tagMMusicInfo* info = nullptr;
    if (!link || link->GetMusicInfo(track, &info, INFO_NEW) != 0 || !info)
        return row;
    row.hasInfo = true;
    row.name = info->strName;
    CFormatTime(info->strTotalTime, row.time);
    row.artist = info->strArtist;
    row.album = info->strAlbum;
    row.path = info->strLocation;
    row.persistentId = info->strPersistentID;
    return row;
}

QString FROMUTF8(const QString& value, const QString& name)
{
    return value.isEmpty() ? QStringLiteral("Unknown %1").arg(name) : value;
}

void ShowRowTexts(QTreeWidgetItem* item, const CRowColumns& columns, const QString& title,
                  const QString& artist, const QString& album)
{
    item->setText(columns.title, title);
    item->setToolTip(columns.title, title);
    item->setData(0, Qt::AccessibleTextRole, title);
    item->setText(columns.artist, artist);
    item->setText(columns.album, album);
}

void ShowRowTexts(QListWidgetItem* tile, const QString& title)
{
    tile->setText(title);
    tile->setToolTip(title);
    tile->setData(Qt::AccessibleTextRole, title);
}

QPixmap LibraryPicture(CMusicLink* link, void* track)
{
    void* data = nullptr;
    int length = 0;
    QPixmap picture;
    if (link->GetiTunesArtwork(track, &data, length) == 0 && data)
        picture.loadFromData(static_cast<const uchar*>(data), uint(length));
    if (data)
        link->ReleaseiTunesArtwork(&data);
    else if (g_xFailedX)
        picture = *g_xFailedX;
    return picture;
}

QIcon RowThumbnail(const QPixmap& picture)
{
    return QIcon(picture.scaled(30, 30, Qt::IgnoreAspectRatio, Qt::FastTransformation));
}

int CAnalyReport::AddReportItem(void* track, int absence, int state, long long, bool)
{
    if (m_bExit || !m_pMusicLink)
        return 0;
    const int mask = m_iAnalyzeMask;
    CReportDelivery entry;
    entry.run = m_inbox.Run();
    entry.state = state;
    if ((absence & MF_FILE) && track) {
        if (!(mask & MF_FILE))
            return 0;
        entry.unwritable = true;
    } else if (track) {
        entry.artist = absence & mask & MF_ARTIST;
        entry.album = absence & mask & MF_ALBUM;
        entry.artwork = absence & mask & MF_ARTWORK;
    }
    if (!entry.unwritable && !entry.artist && !entry.album && !entry.artwork)
        return 0;
    entry.row = CReportRow::Read(m_pMusicLink, track, absence);
    if (!entry.row.hasInfo)
        return 0;
    if (entry.artwork) {
        QString path;
        m_pMusicLink->GetMusicArtwork(track, path);
        if (!path.isEmpty()) {
            if (exportArtwork(m_pMusicLink, track, path))
                entry.artworkPath = path;
            else
                WriteUILog(QStringLiteral("pixmap.loadFromData Failed: PID:%1 picPath:%2")
                               .arg(entry.row.persistentId, path));
        }
    }
    m_inbox.Push(std::move(entry));
    return 0;
}

// Rows made from one batch of entries, inserted list by list in one go: a
// view told of each row alone spends most of the fill on the telling.
struct CAnalyReport::NewRows
{
    QList<QListWidgetItem*> grid;
    QList<QTreeWidgetItem*> artist, album, unwritable;

    QList<QTreeWidgetItem*>& of(int kind) { return kind == 1 ? unwritable : kind == 2 ? artist : album; }
};

void CAnalyReport::applyEntries(const CReportInbox::Batch& entries)
{
    NewRows rows;
    auto insertRows = [this, &rows] {
        for (QListWidgetItem* item : std::as_const(rows.grid))
            m_pListArtwork->addItem(item);
        m_pTreeArtist->addTopLevelItems(rows.artist);
        m_pTreeAlbum->addTopLevelItems(rows.album);
        m_pTreeNotExist->addTopLevelItems(rows.unwritable);
        rows = NewRows();
    };
    for (const CReportDelivery& entry : entries) {
        if (entry.kind == CReportDelivery::TRACK) {
            applyEntry(entry, rows);
            continue;
        }
        insertRows();
        if (entry.run != m_inbox.Run())
            continue;
        if (entry.kind == CReportDelivery::SCORE)
            scoreNow();
        else
            showNow(entry.kind == CReportDelivery::SHOW_SELECT);
    }
    insertRows();
}

void CAnalyReport::applyEntry(const CReportDelivery& entry, NewRows& rows)
{
    if (entry.run != m_inbox.Run() || m_bExit)
        return;
    const CReportRow& row = entry.row;
    if (entry.unwritable) {
        appendTreeItem(row, m_pTreeNotExist, 1, (entry.state & MF_FILE) ? Qt::Unchecked : Qt::Checked,
                       entry.state & MS_REMOVED, &rows);
        return;
    }
    if (entry.artist)
        appendTreeItem(row, m_pTreeArtist, 2, (entry.state & MF_ARTIST) ? Qt::Unchecked : Qt::Checked, false, &rows);
    if (entry.album)
        appendTreeItem(row, m_pTreeAlbum, 3, (entry.state & MF_ALBUM) ? Qt::Unchecked : Qt::Checked, false, &rows);
    if (!entry.artwork)
        return;
    CListItem* item = appendArtworkItem(row, (entry.state & MF_ARTWORK) ? Qt::Unchecked : Qt::Checked, &rows);
    if (!entry.artworkPath.isEmpty()) {
        item->m_iArtworkCount = 1;
        item->SetItemState(CListItem::IS_FIXED, false);
        item->SetFixState(DS_DONE);
        item->SetArtworkPath(entry.artworkPath);
        ++m_pListArtwork->m_iSuccessNum;
    }
}

CListItem* CAnalyReport::appendArtworkItem(const CReportRow& row, Qt::CheckState check, NewRows* rows)
{
    auto* item = new CListItem(row.track, row.absence, nullptr);
    item->setData(Qt::TextAlignmentRole, int(Qt::AlignHCenter | Qt::AlignBottom));
    item->setSizeHint(QSize(108, 128));
    ShowRowTexts(item, row.name);
    item->setFont(missingFont());
    item->SetPath(row.path);
    item->SetPersistentID(row.persistentId);
    item->SetCheckState(check, false);
    if (rows)
        rows->grid.append(item);
    else
        m_pListArtwork->addItem(item);
    return item;
}

CTreeItem* CAnalyReport::appendTreeItem(const CReportRow& row, QTreeWidget* tree, int kind,
                                        Qt::CheckState check, bool fixed, NewRows* rows)
{
    auto* item = new CTreeItem(nullptr);
    item->SetCtlParam(row.track, row.absence);
    if (kind != 1) {
        item->setCheckState(0, check);
    } else {
        item->setText(6, row.path);
        item->setToolTip(6, row.path);
    }
    ShowRowTexts(item, kCategoryColumns, row.name, FROMUTF8(row.artist, tr("Artist")), FROMUTF8(row.album, tr("Album")));
    item->setText(1, row.time);
    item->SetPath(row.path);
    item->SetPersistentID(row.persistentId);
    auto* widget = static_cast<CFailedTreeWidget*>(tree);
    const bool hasField = kind == 3 ? !row.album.isEmpty() : !row.artist.isEmpty();
    if (kind == 2 || kind == 3) {
        const int column = kind == 3 ? 3 : 2;
        if (!hasField) {
            item->setForeground(column, m_clrBlue);
            item->setFont(column, missingFont());
        } else {
            fixed = true;
        }
    }
    if (fixed) {
        if (g_pOK)
            item->setIcon(5, *g_pOK);
        item->SetFixState(DS_DONE);
        ++widget->m_iSuccessNum;
    }
    item->setSizeHint(0, QSize(300, 25));
    if (rows)
        rows->of(kind).append(item);
    else
        tree->addTopLevelItem(item);
    return item;
}

int CAnalyReport::AddTreeItem(void* track, int absence, QTreeWidget* tree, int kind, Qt::CheckState check,
                              bool fixed)
{
    if (!m_pMusicLink)
        return 0;
    const CReportRow row = CReportRow::Read(m_pMusicLink, track, absence);
    if (!row.hasInfo)
        return -1;
    appendTreeItem(row, tree, kind, check, fixed);
    return 0;
}

void CAnalyReport::AddArtworkItem_temp(void* track, int absence, Qt::CheckState check)
{
    if (!(absence & MF_ARTWORK) || !m_pMusicLink)
        return;
    const CReportRow row = CReportRow::Read(m_pMusicLink, track, absence);
    if (!row.hasInfo)
        return;
    CListItem* item = appendArtworkItem(row, check);
    const int candidates = m_pMusicLink->GetArtworkConut(track);
    if (candidates > 1)
        item->SetListButShow(true);
    if (candidates >= 0)
        item->m_iArtworkCount = candidates;
    QString path;
    m_pMusicLink->GetMusicArtwork(track, path);
    if (!path.isEmpty()) {
        item->SetArtworkPath(path);
        item->SetItemState(CListItem::IS_FIXED, true);
        item->SetFixState(DS_DONE);
        ++m_pListArtwork->m_iSuccessNum;
    }
}

int CAnalyReport::openInUnrecognized() const
{
    int open = 0;
    const int mask = m_iAnalyzeMask;
    for (int i = 0; i < m_pTreeFailed->topLevelItemCount(); ++i) {
        auto* item = static_cast<CTreeItem*>(m_pTreeFailed->topLevelItem(i));
        const tagMMusicInfo* info = nullptr;
        if (!m_pMusicLink || m_pMusicLink->GetMusicInfo(item->GetID(), &info, INFO_NEW) != 0 || !info)
            continue;
        QString path;
        m_pMusicLink->GetMusicArtwork(item->GetID(), path);
        const int both = item->GetAbsenceType() & mask;
        open += (both & MF_TITLE) && info->strName.isEmpty();
        open += (both & MF_ARTIST) && info->strArtist.isEmpty();
        open += (both & MF_ALBUM) && info->strAlbum.isEmpty();
        open += (both & MF_ARTWORK) && path.isEmpty();
    }
    return open;
}

int CAnalyReport::CalculateScore()
{
    return m_inbox.QueueBehind(CReportDelivery::SCORE) ? -1 : scoreNow();
}

int CAnalyReport::scoreNow()
{
    int open = 0;
    auto addOpen = [&open](int count, int fixed) { open += fixed < count ? count - fixed : 0; };
    addOpen(m_pListArtwork->count(), m_pListArtwork->m_iSuccessNum);
    for (CFailedTreeWidget* tree : {m_pTreeArtist, m_pTreeAlbum, m_pTreeNotExist})
        addOpen(tree->topLevelItemCount(), tree->m_iSuccessNum);
    open += openInUnrecognized();
    emit ReportFixInfo(open, PROGRESS_FULL);
    if (open == 0) {
        emit EndFialedState(true);
        emit StartFixAll(tr("Congratulations, your music library is 100% cleaned!"));
        return open;
    }
    const int songs = m_iProblemNum - m_pTreeFailed->topLevelItemCount();
    const int fixed = m_pListArtwork->m_iSuccessNum + m_pTreeArtist->m_iSuccessNum
                      + m_pTreeAlbum->m_iSuccessNum + m_pTreeNotExist->m_iSuccessNum;
    emit EndFialedState(false);
    emit StartFixAll(tr("Fixed %1 song(s), %2 problem(s). Still %3 problem(s) not fixed.")
                         .arg(songs).arg(fixed).arg(open));
    return open;
}

bool CAnalyReport::IsNeedFix()
{
    m_inbox.Flush();
    for (int i = 0; i < m_pListArtwork->count(); ++i)
        if (static_cast<CListItem*>(m_pListArtwork->item(i))->GetFixState() == DS_NONE)
            return true;
    for (QTreeWidget* tree : {static_cast<QTreeWidget*>(m_pTreeArtist), static_cast<QTreeWidget*>(m_pTreeAlbum)})
        for (int i = 0; i < tree->topLevelItemCount(); ++i)
            if (static_cast<CTreeItem*>(tree->topLevelItem(i))->GetFixState() == DS_NONE)
                return true;
    for (int i = 0; i < m_pTreeNotExist->topLevelItemCount(); ++i) {
        auto* item = static_cast<CTreeItem*>(m_pTreeNotExist->topLevelItem(i));
        if (item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked && item->GetFixState() == DS_NONE)
            return true;
    }
    return false;
}

void CAnalyReport::changeChecked(void* track, int bit, int check)
{
    if (!m_pMusicLink)
        return;
    const int state = m_pMusicLink->GetMusicState(track);
    if (state == -1)
        return;
    const int next = check == Qt::Unchecked ? state | bit : state & ~bit;
    if (next != state)
        m_pMusicLink->SetMusicState(track, next);
}

void CAnalyReport::ArtworkChangeChecked(QListWidgetItem* item)
{
    if (auto* tile = static_cast<CListItem*>(item))
        changeChecked(tile->GetID(), MF_ARTWORK, tile->GetCheckState());
}

void CAnalyReport::ArtistChangeChecked(QTreeWidgetItem* item, int column)
{
    if (item && column == 0)
        changeChecked(static_cast<CTreeItem*>(item)->GetID(), MF_ARTIST, item->data(0, Qt::CheckStateRole).toInt());
}

void CAnalyReport::AlbumChangeChecked(QTreeWidgetItem* item, int column)
{
    if (item && column == 0)
        changeChecked(static_cast<CTreeItem*>(item)->GetID(), MF_ALBUM, item->data(0, Qt::CheckStateRole).toInt());
}

void CAnalyReport::NotExistChangeChecked(QTreeWidgetItem* item, int column)
{
    if (item && column == 0)
        changeChecked(static_cast<CTreeItem*>(item)->GetID(), MF_FILE, item->data(0, Qt::CheckStateRole).toInt());
}

void CAnalyReport::ArtworkUncheckedAll(int unchecked)
{
    if (m_pMusicLink)
        m_pMusicLink->ChangeAllMusicState(MF_ARTWORK, unchecked);
}

void CAnalyReport::ArtistUncheckedAll(int unchecked)
{
    if (m_pMusicLink)
        m_pMusicLink->ChangeAllMusicState(MF_ARTIST, unchecked);
}

void CAnalyReport::AlbumUncheckedAll(int unchecked)
{
    if (m_pMusicLink)
        m_pMusicLink->ChangeAllMusicState(MF_ALBUM, unchecked);
}

void CAnalyReport::NotExistUncheckedAll(int unchecked)
{
    if (m_pMusicLink)
        m_pMusicLink->ChangeAllMusicState(MF_FILE, unchecked);
}
