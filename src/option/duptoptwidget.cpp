#include "option/duptoptwidget.h"

#include "appInfo.h"
#include "appguide.h"
#include "common.h"
#include "sharedimages.h"

#include <QAction>
#include <QDragEnterEvent>
#include <QDragLeaveEvent>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QHeaderView>
#include <QIcon>
#include <QMimeData>
#include <QToolBar>
#include <QTreeWidget>
#include <QUrl>
#include <QVBoxLayout>

#include <vector>

namespace {

enum { kColPath = 0, kColName = 1, kColSize = 2 };

// What a drop offers as a path to list: a music file as it is, a folder
// without its trailing "/"; an empty text for anything else. File managers
// on Linux send folder URLs without the slash, so a folder is known by the
// file system, not by the URL's spelling.
QString droppedPath(const QString& path)
{
    if (path.endsWith(QLatin1String(".mp3"), Qt::CaseInsensitive)
        || path.endsWith(QLatin1String(".m4a"), Qt::CaseInsensitive))
        return path;
    if (!QFileInfo(path).isDir())
        return QString();
    return path.endsWith(QLatin1Char('/')) && path.size() > 1 ? path.chopped(1) : path;
}

} // namespace

CDuptOptWidget::CDuptOptWidget(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("DuptOptWidget"));
    setAccessibleName(objectName());
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    m_pDragTree = new QTreeWidget(this);
    m_pDragTree->setAccessibleName(tr("Songs and folders to scan"));
    m_pDragTree->setHeaderLabels({tr("    Path"), tr("Name"), tr("File Size")});
    m_pDragTree->setFocusPolicy(Qt::NoFocus);
    m_pDragTree->setFrameShape(QFrame::NoFrame);
    m_pDragTree->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_pDragTree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    m_pDragTree->setAlternatingRowColors(true);
    m_pDragTree->setRootIsDecorated(false);
    QHeaderView* header = m_pDragTree->header();
    header->setAccessibleName(tr("Scan source columns"));
    header->setStretchLastSection(false);
    header->setSectionsMovable(false);
    m_pDragTree->setColumnWidth(kColPath, 370);
    m_pDragTree->setColumnWidth(kColName, 200);
    m_pDragTree->setColumnWidth(kColSize, 100);
    header->setSectionResizeMode(kColPath, QHeaderView::Stretch);
    header->setSectionResizeMode(kColName, QHeaderView::Fixed);
    header->setSectionResizeMode(kColSize, QHeaderView::Fixed);
    m_pDragTree->setSortingEnabled(true);
    m_pDragTree->sortByColumn(kColPath, Qt::AscendingOrder);

    auto* bar = new QToolBar(this);
    bar->setAccessibleName(tr("Scan sources"));
    bar->setContentsMargins(0, 0, 0, 0);
    bar->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    bar->setObjectName(QStringLiteral("DuptOptToolBarOEM"));
    m_pScaniTunes = new QAction(SharedIcon(g_pScaniTunes), tr("Scan iTunes"), this);
    m_pAdd = new QAction(SharedIcon(g_pAdd), tr("Add"), this);
    m_pDel = new QAction(SharedIcon(g_pDel), tr("Delete"), this);
    for (QAction* action : {m_pScaniTunes, m_pAdd, m_pDel}) {
        bar->addAction(action);
        if (QWidget* button = bar->widgetForAction(action)) {
            button->setAccessibleName(action->text());
            button->setFocusPolicy(Qt::NoFocus);
        }
    }

    layout->addWidget(m_pDragTree);
    layout->addWidget(bar);

    connect(m_pScaniTunes, &QAction::triggered, this, &CDuptOptWidget::ScaniTunes);
    connect(m_pAdd, &QAction::triggered, this, &CDuptOptWidget::AddFolders);
    connect(m_pDel, &QAction::triggered, this, &CDuptOptWidget::DelFolders);
    setAcceptDrops(true);
}

CDuptOptWidget::~CDuptOptWidget() = default;

void CDuptOptWidget::AddNewItems(const QStringList& paths)
{
    for (const QString& path : paths) {
        if (!m_pDragTree->findItems(path, Qt::MatchExactly | Qt::MatchCaseSensitive, kColPath).isEmpty())
            continue;
        auto* row = new QTreeWidgetItem;
        row->setText(kColPath, path);
        const QFileInfo info(path);
        if (info.isDir()) {
            row->setText(kColName, path.mid(path.lastIndexOf(QLatin1Char('/')) + 1));
            row->setText(kColSize, QStringLiteral("--"));
        } else {
            QString size;
            CFormatSize(QString::number(info.size()), size);
            row->setText(kColName, info.fileName());
            row->setText(kColSize, size);
        }
        row->setSizeHint(kColPath, QSize(400, 25));
        m_pDragTree->addTopLevelItem(row);
    }
}

void CDuptOptWidget::GetMusicNames(QStringList& names)
{
    for (int i = m_pDragTree->topLevelItemCount() - 1; i >= 0; --i) {
        QTreeWidgetItem* row = m_pDragTree->takeTopLevelItem(i);
        names.append(row->text(kColPath));
        delete row;
    }
    m_pDragTree->clear();
}

void CDuptOptWidget::ScaniTunes()
{
    emit Complete(QStringList(), QString(), RUN_DUP_ITUNES);
}

void CDuptOptWidget::AddFolders()
{
    char buffer[512] = {};
    QString start;
    if (applicationDataDirectory(buffer, kMusicFolder, nullptr) == 0)
        start = QString::fromUtf8(buffer);
    std::vector<QString> chosen;
    GetOpenFileNamesFun(reinterpret_cast<const unsigned short*>(start.utf16()), int(start.size()), chosen);
    if (!chosen.empty())
        AddNewItems(QStringList(chosen.cbegin(), chosen.cend()));
}

void CDuptOptWidget::DelFolders()
{
    const QList<QTreeWidgetItem*> selected = m_pDragTree->selectedItems();
    for (QTreeWidgetItem* row : selected) {
        const int index = m_pDragTree->indexOfTopLevelItem(row);
        if (index >= 0)
            delete m_pDragTree->takeTopLevelItem(index);
    }
}

void CDuptOptWidget::dragEnterEvent(QDragEnterEvent* event)
{
    event->acceptProposedAction();
}

void CDuptOptWidget::dragMoveEvent(QDragMoveEvent* event)
{
    event->acceptProposedAction();
}

void CDuptOptWidget::dragLeaveEvent(QDragLeaveEvent* event)
{
    event->accept();
}

void CDuptOptWidget::dropEvent(QDropEvent* event)
{
    QStringList taken;
    for (const QUrl& url : event->mimeData()->urls()) {
        // A link from a browser or a share carries a path too; read as a
        // local one it would name another file, which the scan would judge.
        if (!url.isLocalFile())
            continue;
        const QString path = droppedPath(url.toLocalFile());
        if (!path.isEmpty())
            taken << path;
    }
    event->acceptProposedAction();
    if (!taken.isEmpty())
        AddNewItems(taken);
}
