// A dialog that lets the user choose files and folders together, which the
// standard file dialog cannot: one folder at a time as a flat list, files
// limited to the given extensions, with a location field that takes a typed
// or pasted path, the usual places beside the listing, and the keyboard
// keys a desktop chooser answers to.
#pragma once

#include "places.h"

#include <QDialog>
#include <QStringList>

class QDialogButtonBox;
class QFileSystemModel;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QToolButton;
class QTreeView;

namespace desktop {

class FileFolderDialog : public QDialog
{
    Q_OBJECT
public:
    // places: what the list offers at once; volumes come with addPlaces.
    FileFolderDialog(const QString& start, const QStringList& extensions, QWidget* parent = nullptr,
                     const QList<Place>& places = folderPlaces());

    // Adds the places whose path the list does not offer yet, at its end.
    void addPlaces(const QList<Place>& places);

    // Shows the contents of folder.
    void setFolder(const QString& folder);
    QString folder() const;
    // The chosen items, top to bottom; valid after the dialog was accepted.
    QStringList selectedPaths() const;
    // Goes where the location field says: a folder is shown, a file of an
    // allowed type is selected in its folder. Anything else leaves the
    // listing alone and marks the field with the reason.
    void goToLocation();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildLayout(const QList<Place>& places);
    void buildLocationField();
    void buildPlaces(const QList<Place>& places);
    void addPlace(const Place& place);
    void buildListing();
    void buildShortcuts();
    void enter(const QModelIndex& index);
    void goUp();
    void enterSelection();
    void goToPlace(QListWidgetItem* item);
    void readTypedFolder(const QString& text);
    void markPlace(const QString& folder);
    void selectFile(const QString& path);
    void showProblem(const QString& message);
    void clearProblem();
    void updateOpenButton();
    bool isAllowedFile(const QString& path) const;

    QStringList m_extensions;
    QFileSystemModel* m_model = nullptr;
    QFileSystemModel* m_folders = nullptr;  // the location field's completions
    QTreeView* m_view = nullptr;
    QListWidget* m_places = nullptr;
    QLineEdit* m_location = nullptr;
    QAction* m_problemMark = nullptr;
    QLabel* m_problem = nullptr;
    QToolButton* m_up = nullptr;
    QDialogButtonBox* m_buttons = nullptr;
};

} // namespace desktop
