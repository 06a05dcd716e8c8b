// A report row's texts and picture, and what the passes that move rows
// between the lists decide. The row's data itself is CReportRow.
#pragma once

#include "reporter/reportdelivery.h"

#include <QList>
#include <QPair>
#include <QSet>
#include <QString>

#include <vector>

class CMusicLink;
class QIcon;
class QPixmap;
class QListWidgetItem;
class QTreeWidgetItem;

// A field's display text: the value, or "Unknown %1" with the field's name.
QString FROMUTF8(const QString& value, const QString& name);

// Where a track row shows its title, artist and album.
struct CRowColumns
{
    int title;
    int artist;
    int album;
};
// The artist, album and unwritable trees; the unrecognized tree.
constexpr CRowColumns kCategoryColumns{0, 2, 3};
constexpr CRowColumns kUnrecognizedColumns{2, 4, 5};

// A track row's texts: the title, which is also the row's tool tip and its
// name for screen readers, the artist and the album. Every change of a
// row's texts goes through here, so the tool tip never keeps an old title.
void ShowRowTexts(QTreeWidgetItem* item, const CRowColumns& columns, const QString& title,
                  const QString& artist, const QString& album);
// The same for a tile of the artwork grid, which shows the title alone.
void ShowRowTexts(QListWidgetItem* tile, const QString& title);

// The picture of the track's library copy, or the failed-artwork picture
// when the library hands out no bytes. GUI thread (a pixmap).
QPixmap LibraryPicture(CMusicLink* link, void* track);
// A row's artwork icon: the picture at 30 x 30.
QIcon RowThumbnail(const QPixmap& picture);

// A list item as a worker pass sees it: taken on the GUI thread before the
// pass starts.
struct CMoveItem
{
    void* item = nullptr;
    void* track = nullptr;
    int absence = 0;
    int fixState = 0;
};

// Whether an unrecognized song is complete now, and what its row shows.
struct CReturnDecision
{
    void* item = nullptr;
    bool complete = false;
    QString artworkPath;
    CReportRow row;
};

// What a move or return pass decided; the completion slot carries it out.
struct CMovePlan
{
    std::vector<CMoveItem> grid, artist, album, failed;
    QSet<void*> known;  // tracks that have an unrecognized row
    QList<void*> gridTaken, artistTaken, albumTaken;
    QList<QPair<void*, CReportRow>> artistFixed, albumFixed;
    QList<CReportRow> newFailed;  // in the order made; each arrives checked
    QList<CReturnDecision> returns;
};
