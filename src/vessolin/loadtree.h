// The load list's tree: it never scrolls by itself, so a wheel over it
// reaches the main window's event filter, which moves the list one song.
#pragma once

#include <QTreeWidget>

class CTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit CTreeWidget(QWidget* parent = nullptr) : QTreeWidget(parent) {}

protected:
    void wheelEvent(QWheelEvent* event) override;
};
