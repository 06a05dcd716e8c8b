// The sources of a duplicate scan of files: a list of music files and
// folders filled by "Add" and by drops, and "Scan iTunes" for a scan of the
// whole library. GUI thread only.
#pragma once

#include "cadenzo.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QAction;
class QTreeWidget;

class CDuptOptWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CDuptOptWidget(QWidget* parent);
    ~CDuptOptWidget() override;

    // Appends every listed path to names, last row first, and empties the list.
    void GetMusicNames(QStringList& names);
    // One row per path not listed yet (exact comparison), in the given order.
    void AddNewItems(const QStringList& paths);

signals:
    // A scan is asked for; only "Scan iTunes" sends it, with RUN_DUP_ITUNES.
    void Complete(const QStringList& paths, const QString& path, tagMusicRunMode mode);

public slots:
    void ScaniTunes();
    void AddFolders();  // the open panel, starting in the Music folder
    void DelFolders();  // the selected rows

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    // Takes local .mp3 and .m4a files (any case) and folders; ignores the
    // rest, links to other machines included.
    void dropEvent(QDropEvent* event) override;

private:
    QTreeWidget* m_pDragTree = nullptr;
    QAction* m_pScaniTunes = nullptr;
    QAction* m_pAdd = nullptr;
    QAction* m_pDel = nullptr;
};
