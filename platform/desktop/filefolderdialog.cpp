#include "filefolderdialog.h"

#include <QAction>
#include <QCompleter>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

#include <algorithm>

namespace desktop {

namespace {

constexpr int kPlacesWidth = 170;

// A typed or pasted location as a clean absolute path: "~" is the home
// folder, a file manager's "file://" URL its local path, and a relative
// path is taken from the folder on show.
QString resolveLocation(const QString& typed, const QString& current)
{
    QString path = typed;
    if (path.startsWith(QLatin1String("file://"))) {
        const QUrl url(path);
        if (url.isLocalFile())
            path = url.toLocalFile();
    }
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        path = QDir::homePath() + path.mid(1);
    return QDir::cleanPath(QDir(current).absoluteFilePath(path));
}

struct PlaceLook {
    const char* theme;  // the desktop's icon name
    QStyle::StandardPixmap fallback;
};

PlaceLook placeLook(PlaceKind kind)
{
    switch (kind) {
    case PlaceKind::Home: return {"user-home", QStyle::SP_DirHomeIcon};
    case PlaceKind::Music: return {"folder-music", QStyle::SP_DirIcon};
    case PlaceKind::Desktop: return {"user-desktop", QStyle::SP_DesktopIcon};
    case PlaceKind::Root: return {"drive-harddisk", QStyle::SP_DriveHDIcon};
    case PlaceKind::Volume: return {"drive-removable-media", QStyle::SP_DriveHDIcon};
    case PlaceKind::Network: return {"folder-remote", QStyle::SP_DriveNetIcon};
    }
    return {"folder", QStyle::SP_DirIcon};
}

QIcon placeIcon(PlaceKind kind, const QStyle* style)
{
    const PlaceLook look = placeLook(kind);
    return QIcon::fromTheme(QLatin1String(look.theme), style->standardIcon(look.fallback));
}

bool isEnterKey(const QKeyEvent* key)
{
    return key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter;
}

} // namespace

FileFolderDialog::FileFolderDialog(const QString& start, const QStringList& extensions, QWidget* parent,
                                   const QList<Place>& places)
    : QDialog(parent), m_extensions(extensions)
{
    setWindowTitle(tr("Choose Files and Folders"));
    setAccessibleName(windowTitle());
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns << (extension.isEmpty() ? QStringLiteral("*") : QStringLiteral("*.") + extension);
    m_model->setNameFilters(patterns);
    // Files of other types are hidden rather than shown greyed out.
    m_model->setNameFilterDisables(false);
    buildLayout(places);
    buildShortcuts();
    setFolder(start);
    // Arrow keys and type-ahead work at once; Ctrl+L reaches the field.
    m_view->setFocus();
}

void FileFolderDialog::buildLayout(const QList<Place>& places)
{
    m_up = new QToolButton(this);
    m_up->setText(tr("Up"));
    m_up->setAccessibleName(tr("Up"));
    m_up->setToolTip(tr("Up one folder (Alt+Up)"));
    buildLocationField();
    buildPlaces(places);
    buildListing();
    m_buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_up);
    top->addWidget(m_location, 1);
    auto* middle = new QHBoxLayout;
    middle->addWidget(m_places);
    middle->addWidget(m_view, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_problem);
    layout->addLayout(middle, 1);
    layout->addWidget(m_buttons);
    resize(760, 460);
    clearProblem();

    for (QWidget* keyed : {static_cast<QWidget*>(m_location), static_cast<QWidget*>(m_view),
                           static_cast<QWidget*>(m_places)})
        keyed->installEventFilter(this);
    connect(m_up, &QToolButton::clicked, this, &FileFolderDialog::goUp);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateOpenButton();
}

void FileFolderDialog::buildLocationField()
{
    m_location = new QLineEdit(this);
    m_location->setAccessibleName(tr("Location"));
    m_location->setToolTip(tr("Type or paste a folder or file path and press Enter (Ctrl+L)"));
    auto* completer = new QCompleter(this);
    m_folders = new QFileSystemModel(completer);
    m_folders->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot);
    m_folders->setRootPath(QString());
    completer->setModel(m_folders);
    m_location->setCompleter(completer);
    m_problemMark = m_location->addAction(style()->standardIcon(QStyle::SP_MessageBoxWarning),
                                          QLineEdit::TrailingPosition);
    m_problemMark->setText(tr("Location problem"));
    m_problem = new QLabel(this);
    m_problem->setAccessibleName(tr("Location problem"));
    m_problem->setWordWrap(true);

    // Enter in the completion list reaches the field past its event filter.
    connect(m_location, &QLineEdit::returnPressed, this, &FileFolderDialog::goToLocation);
    connect(m_location, &QLineEdit::textEdited, this, &FileFolderDialog::clearProblem);
    connect(m_location, &QLineEdit::textEdited, this, &FileFolderDialog::readTypedFolder);
}

void FileFolderDialog::buildPlaces(const QList<Place>& places)
{
    m_places = new QListWidget(this);
    m_places->setAccessibleName(tr("Places"));
    m_places->setFixedWidth(kPlacesWidth);
    // Theme and style icons come in several sizes; the list shows them alike.
    const int icon = style()->pixelMetric(QStyle::PM_SmallIconSize);
    m_places->setIconSize(QSize(icon, icon));
    for (const Place& place : places)
        addPlace(place);
    connect(m_places, &QListWidget::itemClicked, this, &FileFolderDialog::goToPlace);
}

void FileFolderDialog::addPlace(const Place& place)
{
    auto* item = new QListWidgetItem(placeIcon(place.kind, style()), place.name, m_places);
    item->setData(Qt::UserRole, place.path);
    item->setToolTip(place.path);
}

void FileFolderDialog::addPlaces(const QList<Place>& places)
{
    QSet<QString> listed;
    for (int row = 0; row < m_places->count(); ++row)
        listed.insert(m_places->item(row)->data(Qt::UserRole).toString());
    for (const Place& place : places) {
        if (listed.contains(place.path))
            continue;
        listed.insert(place.path);
        addPlace(place);
        // The folder on show may be the volume that just came.
        if (QDir::cleanPath(place.path) == folder() && m_places->selectedItems().isEmpty())
            m_places->setCurrentItem(m_places->item(m_places->count() - 1));
    }
}

void FileFolderDialog::buildListing()
{
    m_view = new QTreeView(this);
    m_view->setAccessibleName(tr("Files and folders"));
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(0, Qt::AscendingOrder);
    m_view->header()->setSectionResizeMode(0, QHeaderView::Stretch);
    m_view->header()->setAccessibleName(tr("Sort by"));
    connect(m_view, &QTreeView::doubleClicked, this, &FileFolderDialog::enter);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileFolderDialog::updateOpenButton);
}

void FileFolderDialog::buildShortcuts()
{
    auto* toLocation = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_L), this);
    connect(toLocation, &QShortcut::activated, this, [this] {
        m_location->setFocus(Qt::ShortcutFocusReason);
        m_location->selectAll();
    });
    auto* up = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Up), this);
    connect(up, &QShortcut::activated, this, &FileFolderDialog::goUp);
}

// Enter and Backspace mean navigation here, not what the widgets or the
// dialog's default button would make of them.
bool FileFolderDialog::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress)
        return QDialog::eventFilter(watched, event);
    const auto* key = static_cast<QKeyEvent*>(event);
    if (watched == m_location) {
        if (!isEnterKey(key))
            return false;
        goToLocation();
        return true;
    }
    if (key->key() == Qt::Key_Backspace && key->modifiers() == Qt::NoModifier) {
        goUp();
        return true;
    }
    if (!isEnterKey(key))
        return false;
    if (watched == m_places) {
        goToPlace(m_places->currentItem());
        m_view->setFocus(Qt::OtherFocusReason);
    } else {
        enterSelection();
    }
    return true;
}

void FileFolderDialog::setFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder.isEmpty() ? QDir::homePath() : folder).absoluteFilePath());
    m_view->setRootIndex(m_model->setRootPath(path));
    m_view->clearSelection();
    m_view->setCurrentIndex(QModelIndex());
    m_location->setText(path);
    markPlace(path);
    clearProblem();
    m_up->setEnabled(!QDir(path).isRoot());
    updateOpenButton();
}

QString FileFolderDialog::folder() const
{
    return m_model->rootPath();
}

QStringList FileFolderDialog::selectedPaths() const
{
    QModelIndexList rows = m_view->selectionModel()->selectedRows(0);
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    QStringList paths;
    for (const QModelIndex& row : rows)
        paths << m_model->filePath(row);
    return paths;
}

void FileFolderDialog::goToLocation()
{
    if (m_location->text().trimmed().isEmpty())
        return;
    const QString path = resolveLocation(m_location->text(), folder());
    const QFileInfo info(path);
    if (!info.exists())
        return showProblem(tr("\"%1\" does not exist.").arg(path));
    if (info.isDir() && !(info.isReadable() && info.isExecutable()))
        return showProblem(tr("\"%1\" cannot be opened.").arg(path));
    if (!info.isDir() && !isAllowedFile(path))
        return showProblem(tr("Only %1 files can be chosen.").arg(m_extensions.join(QStringLiteral(", "))));
    setFolder(info.isDir() ? path : info.absolutePath());
    if (!info.isDir())
        selectFile(path);
    m_view->setFocus(Qt::OtherFocusReason);
}

// The completer looks names up only in folders its model has read, and
// on its own reads one more level per separator typed slowly enough: a
// pasted path would be offered nothing. Reading the typed folder walks
// the whole way there at once.
void FileFolderDialog::readTypedFolder(const QString& text)
{
    if (QDir::isAbsolutePath(text))
        m_folders->setRootPath(QFileInfo(text).path());
}

void FileFolderDialog::enter(const QModelIndex& index)
{
    if (m_model->isDir(index))
        setFolder(m_model->filePath(index));
    else
        accept();
}

// One folder opens; anything else selected is the choice.
void FileFolderDialog::enterSelection()
{
    const QModelIndexList rows = m_view->selectionModel()->selectedRows(0);
    if (rows.isEmpty())
        return;
    if (rows.size() == 1 && m_model->isDir(rows.first()))
        setFolder(m_model->filePath(rows.first()));
    else
        accept();
}

// The folder left behind stays selected, so Enter goes straight back.
void FileFolderDialog::goUp()
{
    const QString from = folder();
    QDir current(from);
    if (!current.cdUp())
        return;
    setFolder(current.absolutePath());
    if (!QFileInfo(from).isHidden())
        selectFile(from);
}

void FileFolderDialog::goToPlace(QListWidgetItem* item)
{
    if (item)
        setFolder(item->data(Qt::UserRole).toString());
}

// The place shown is marked in the list, and none when the folder is no place.
void FileFolderDialog::markPlace(const QString& folder)
{
    for (int row = 0; row < m_places->count(); ++row) {
        QListWidgetItem* item = m_places->item(row);
        if (item->data(Qt::UserRole).toString() == folder) {
            m_places->setCurrentItem(item);
            return;
        }
    }
    m_places->clearSelection();
}

void FileFolderDialog::selectFile(const QString& path)
{
    const QModelIndex index = m_model->index(path);
    if (!index.isValid())
        return;
    m_view->setCurrentIndex(index);
    m_view->scrollTo(index);
}

void FileFolderDialog::showProblem(const QString& message)
{
    m_problem->setText(message);
    m_problem->show();
    m_problemMark->setToolTip(message);
    m_problemMark->setVisible(true);
    m_location->setAccessibleDescription(message);
    m_location->setFocus(Qt::OtherFocusReason);
}

void FileFolderDialog::clearProblem()
{
    m_problem->clear();
    m_problem->hide();
    m_problemMark->setVisible(false);
    m_location->setAccessibleDescription(QString());
}

void FileFolderDialog::updateOpenButton()
{
    m_buttons->button(QDialogButtonBox::Open)->setEnabled(m_view->selectionModel()->hasSelection());
}

bool FileFolderDialog::isAllowedFile(const QString& path) const
{
    const QString name = QFileInfo(path).fileName();
    const auto matches = [&](const QString& extension) {
        return extension.isEmpty() || name.endsWith(QLatin1Char('.') + extension, Qt::CaseInsensitive);
    };
    return m_extensions.isEmpty() || std::any_of(m_extensions.cbegin(), m_extensions.cend(), matches);
}

} // namespace desktop
