// The duplicate page's result rows: columns and the colours of a song's
// state, shared by the page's files. GUI thread only.
#pragma once

#include <QColor>
#include <QTreeWidgetItem>

namespace duprows {

enum Column {
    kColCheck = 0,
    kColName = 1,
    kColSize = 2,
    kColTime = 3,
    kColPath = 4,
    kColPlay = 5,
    kColUndo = 6,
    kColReveal = 7,
    kColSpare = 8,
    kColBitRate = 9,
    kColumnCount = 10,
};

inline QColor markedColor() { return QColor(0, 150, 255); }
inline QColor removedColor() { return QColor(154, 166, 178); }
inline QColor plainColor() { return QColor(0, 0, 0); }

// The text of the song's cells; withCheck also colours the check column.
inline void paintRow(QTreeWidgetItem* row, const QColor& color, bool withCheck)
{
    if (withCheck)
        row->setForeground(kColCheck, color);
    for (int column : {kColName, kColSize, kColTime, kColPath, kColBitRate})
        row->setForeground(column, color);
}

inline bool isSongRow(const QTreeWidgetItem* row) { return row && row->parent(); }
inline bool isRowEnabled(const QTreeWidgetItem* row) { return row->flags() & Qt::ItemIsEnabled; }
inline bool isRowChecked(const QTreeWidgetItem* row) { return row->checkState(kColCheck) == Qt::Checked; }

} // namespace duprows
