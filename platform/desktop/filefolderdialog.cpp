#include "filefolderdialog.h"

#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace desktop {

FileFolderDialog::FileFolderDialog(const QString& start, const QStringList& extensions, QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(tr("Choose Files and Folders"));
    m_model = new QFileSystemModel(this);
    m_model->setFilter(QDir::AllDirs | QDir::Files | QDir::NoDotAndDotDot);
    QStringList patterns;
    for (const QString& extension : extensions)
        patterns << (extension.isEmpty() ? QStringLiteral("*") : QStringLiteral("*.") + extension);
    m_model->setNameFilters(patterns);
    // Files of other types are hidden rather than shown greyed out.
    m_model->setNameFilterDisables(false);
    buildLayout();
    setFolder(start);
}

void FileFolderDialog::buildLayout()
{
    m_up = new QToolButton(this);
    m_up->setText(tr("Up"));
    m_location = new QLabel(this);
    m_location->setTextInteractionFlags(Qt::TextSelectableByMouse);

    m_view = new QTreeView(this);
    m_view->setModel(m_model);
    m_view->setRootIsDecorated(false);
    m_view->setItemsExpandable(false);
    m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_view->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_view->setSortingEnabled(true);
    m_view->sortByColumn(0, Qt::AscendingOrder);
    m_view->header()->setSectionResizeMode(0, QHeaderView::Stretch);

    m_buttons = new QDialogButtonBox(QDialogButtonBox::Open | QDialogButtonBox::Cancel, this);

    auto* top = new QHBoxLayout;
    top->addWidget(m_up);
    top->addWidget(m_location, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_buttons);
    resize(640, 420);

    connect(m_up, &QToolButton::clicked, this, &FileFolderDialog::goUp);
    connect(m_view, &QTreeView::doubleClicked, this, &FileFolderDialog::enter);
    connect(m_view->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &FileFolderDialog::updateOpenButton);
    connect(m_buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(m_buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    updateOpenButton();
}

void FileFolderDialog::setFolder(const QString& folder)
{
    const QString path = QDir::cleanPath(QFileInfo(folder.isEmpty() ? QDir::homePath() : folder).absoluteFilePath());
    m_view->setRootIndex(m_model->setRootPath(path));
    m_view->clearSelection();
    m_location->setText(path);
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

void FileFolderDialog::enter(const QModelIndex& index)
{
    if (m_model->isDir(index))
        setFolder(m_model->filePath(index));
    else
        accept();
}

void FileFolderDialog::goUp()
{
    QDir current(folder());
    if (current.cdUp())
        setFolder(current.absolutePath());
}

void FileFolderDialog::updateOpenButton()
{
    m_buttons->button(QDialogButtonBox::Open)->setEnabled(m_view->selectionModel()->hasSelection());
}

} // namespace desktop
