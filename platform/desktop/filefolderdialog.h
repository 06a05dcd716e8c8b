// A dialog that lets the user choose files and folders together, which the
// standard file dialog cannot: one folder at a time as a flat list, folders
// entered by double-click, files limited to the given extensions.
#pragma once

#include <QDialog>
#include <QStringList>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QToolButton;
class QTreeView;

namespace desktop {

class FileFolderDialog : public QDialog
{
    Q_OBJECT
public:
    FileFolderDialog(const QString& start, const QStringList& extensions, QWidget* parent = nullptr);

    // Shows the contents of folder.
    void setFolder(const QString& folder);
    QString folder() const;
    // The chosen items, top to bottom; valid after the dialog was accepted.
    QStringList selectedPaths() const;

private:
    void buildLayout();
    void enter(const QModelIndex& index);
    void goUp();
    void updateOpenButton();

    QFileSystemModel* m_model = nullptr;
    QTreeView* m_view = nullptr;
    QLabel* m_location = nullptr;
    QToolButton* m_up = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

} // namespace desktop
