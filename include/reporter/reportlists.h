// The report's list views: the artwork grid with its tile delegate and the
// trees of the categories (also used by the duplicate page). Each keeps the
// count of its fixed items and offers the check and reveal menu.
// GUI thread only.
#pragma once

#include "reporter/reporttypes.h"

#include <QListWidget>
#include <QMap>
#include <QStyledItemDelegate>
#include <QTreeWidget>

class QAction;
class QLabel;
class QMenu;

// The menu both views share: "Check All", "Uncheck All", separator,
// "Check selected", "Uncheck selected", separator, "Show in Finder".
struct CReportMenu
{
    QMenu* m_pMenu = nullptr;
    QAction* m_pAllAct = nullptr;
    QAction* m_pUnAllAct = nullptr;
    QAction* m_pSelAct = nullptr;
    QAction* m_pUnSelAct = nullptr;
    QAction* m_pSeparator1 = nullptr;
    QAction* m_pFinderAct = nullptr;
    QAction* m_pSeparator2 = nullptr;

    // checked/unchecked: what the selected items hold; reveal: whether the
    // one selected item may be revealed.
    void Prepare(int selected, int count, bool checked, bool unchecked, bool reveal);
};

class CListWidget : public QListWidget
{
    Q_OBJECT
public:
    // tracks: the report's four converter slots (read for the busy marks).
    CListWidget(tagTrack* tracks, QWidget* parent);
    ~CListWidget() override;

    // Shows the slot's busy mark centred over item while the slot works on
    // a grid tile lying wholly in view; hides it otherwise.
    void PushFlashItem(int slot, QListWidgetItem* item);
    // Stops (start 0) or runs the shared busy animation.
    void StartPauseFlash(int slot, int start);
    void StopFlash();  // hides every busy mark
    void SetSuccessNum(int count) { m_iSuccessNum = count; }
    int SuccessNum() const { return m_iSuccessNum; }
    QListWidgetItem* GetItemFromIndex(const QModelIndex& index) const { return itemFromIndex(index); }
    QLabel* FlashLabel(int slot) const { return m_mapFlash.value(slot); }
    const QMenu* Menu() const { return m_menu.m_pMenu; }

    int m_iSuccessNum = 0;  // fixed tiles; the report raises and reads it

public slots:
    void AllItem();
    void UnAllItem();
    void SelectItem();
    void UnSelectItem();
    void ShowInFinder();
    void PushFlash(int);

signals:
    void SendCheckState(QListWidgetItem* item);
    void SetUnchecked(QListWidgetItem* item);
    void SetAllUnchecked(int unchecked);
    // The list button of a fixed tile was pressed: the page opens the
    // artwork chooser beside it.
    void ListButtonPressed(QListWidgetItem* item);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void leftPress(const QPoint& pos);
    void showMenu(const QPoint& global);
    void checkAll(Qt::CheckState state);
    void checkSelected(Qt::CheckState state);

    CReportMenu m_menu;
    QMap<int, QLabel*> m_mapFlash;
    bool m_bInPress = false;
    tagTrack* m_pTrack = nullptr;
};

class CFailedTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CFailedTreeWidget(QWidget* parent);
    ~CFailedTreeWidget() override;

    // A disabled menu never opens.
    void SetActionsEnabled(bool enabled);
    QTreeWidgetItem* GetItemFromIndex(const QModelIndex& index) const { return itemFromIndex(index); }
    const QMenu* Menu() const { return m_menu.m_pMenu; }

    int m_iSuccessNum = 0;  // fixed rows; the report raises and reads it

public slots:
    void AllItem();
    void UnAllItem();
    void SelectItem();
    void UnSelectItem();
    void ShowInFinder();

signals:
    void SetUnchecked(QTreeWidgetItem* item, int column);
    void SetAllUnchecked(int unchecked);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void showMenu(const QPoint& global);
    void checkAll(Qt::CheckState state);
    void checkSelected(Qt::CheckState state);

    CReportMenu m_menu;
    bool m_bMenuEnabled = true;
};

// Paints a grid tile: its picture by state, the check box and candidate
// button of a fixed tile, the title cut to the tile's width.
class CListDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    CListDelegate(QListWidget* list, QObject* parent);
    ~CListDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    // The title as drawn in a tile width wide.
    QString ElidedTitle(const QString& title, int width) const;

private:
    QListWidget* m_pListWidget = nullptr;
    int m_iElideMargin = 0;
};

// The picture with a 4-pixel rounded blue gradient border.
QPixmap framedPixmap(const QPixmap& source);
