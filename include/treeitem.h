// Rows of the report's tree and cells of its artwork grid: each carries the
// engine's track handle and what the application knows of the track.
// GUI thread only.
#pragma once

#include "reporter/reportitemdata.h"

#include <QListWidgetItem>
#include <QString>
#include <QTreeWidgetItem>

class CTreeItem : public QTreeWidgetItem, public CReportItemData
{
public:
    // A top-level item of tree; a null tree leaves inserting to the caller.
    explicit CTreeItem(QTreeWidget* tree);
    ~CTreeItem() override;

    void SetCtlParam(void* id, int absence);
};

class CListItem : public QListWidgetItem, public CReportItemData
{
public:
    enum EState { IS_NORMAL = 0, IS_FIXING = 1, IS_FIXED = 2, IS_FAILED = 3 };

    CListItem(void* id, int absence, QListWidget* parent);
    ~CListItem() override;

    // The repainting setters do nothing when the value is unchanged.
    // Repaints when repaint is set and the new state is IS_NORMAL or IS_FIXED.
    void SetItemState(EState state, bool repaint);
    EState GetItemSate() const;
    // Repaints when repaint is set, unless fixing or failed.
    void SetCheckState(Qt::CheckState state, bool repaint);
    Qt::CheckState GetCheckState() const;
    // Repaints unless fixed.
    void SetListButShow(bool show);
    bool GetListButShow() const;
    // Always stores; repaints when the file exists.
    void SetArtworkPath(const QString& path);
    QString GetArtworkPath();

    int m_iArtworkCount = 0;  // candidates downloaded; the report sets it directly

private:
    void repaintList();

    EState m_eItemState = IS_NORMAL;
    Qt::CheckState m_eCheckState = Qt::Checked;
    QString m_strArtworkPath;
    bool m_bListButShow = false;
};
