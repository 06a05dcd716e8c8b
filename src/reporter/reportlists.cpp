#include "reporter/reportlists.h"

#include "reporter/analyreport.h"
#include "sharedimages.h"
#include "treeitem.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QMovie>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>

namespace {

constexpr int kFlashSize = 32;

void buildMenu(CReportMenu& menu, QObject* owner, const char* context)
{
    auto text = [context](const char* source) { return QCoreApplication::translate(context, source); };
    menu.m_pMenu = new QMenu();
    menu.m_pAllAct = new QAction(text("Check All"), owner);
    menu.m_pUnAllAct = new QAction(text("Uncheck All"), owner);
    menu.m_pSelAct = new QAction(text("Check selected"), owner);
    menu.m_pUnSelAct = new QAction(text("Uncheck selected"), owner);
    menu.m_pFinderAct = new QAction(text("Show in Finder"), owner);
    menu.m_pMenu->addAction(menu.m_pAllAct);
    menu.m_pMenu->addAction(menu.m_pUnAllAct);
    menu.m_pSeparator1 = menu.m_pMenu->addSeparator();
    menu.m_pMenu->addAction(menu.m_pSelAct);
    menu.m_pMenu->addAction(menu.m_pUnSelAct);
    menu.m_pSeparator2 = menu.m_pMenu->addSeparator();
    menu.m_pMenu->addAction(menu.m_pFinderAct);
}

void freeMenu(CReportMenu& menu)
{
    delete menu.m_pAllAct;
    delete menu.m_pUnAllAct;
    delete menu.m_pSelAct;
    delete menu.m_pUnSelAct;
    delete menu.m_pMenu;
    menu = CReportMenu();
}

template <typename View>
void connectMenu(const CReportMenu& menu, View* view)
{
    QObject::connect(menu.m_pAllAct, &QAction::triggered, view, &View::AllItem);
    QObject::connect(menu.m_pUnAllAct, &QAction::triggered, view, &View::UnAllItem);
    QObject::connect(menu.m_pSelAct, &QAction::triggered, view, &View::SelectItem);
    QObject::connect(menu.m_pUnSelAct, &QAction::triggered, view, &View::UnSelectItem);
    QObject::connect(menu.m_pFinderAct, &QAction::triggered, view, &View::ShowInFinder);
}

bool busyOrFailed(const CListItem* item)
{
    return item->GetItemSate() == CListItem::IS_FIXING || item->GetItemSate() == CListItem::IS_FAILED;
}

void drawCentred(QPainter* painter, const QRect& rect, const QPixmap& pixmap, bool selected)
{
    QApplication::style()->drawItemPixmap(painter, rect, Qt::AlignCenter,
                                          selected ? framedPixmap(pixmap) : pixmap);
}

// A fixed tile's own picture, read afresh at each paint.
QPixmap fixedPicture(const QString& path)
{
    QPixmap picture;
    QFile file(path);
    if (file.exists() && file.open(QIODevice::ReadOnly))
        picture.loadFromData(file.readAll());
    else
        picture.load(QStringLiteral(":/res/res/mac/list/artwork_failed.png"));
    if (picture.isNull())
        return picture;
    return picture.width() < picture.height()
               ? picture.scaledToHeight(100, Qt::SmoothTransformation)
               : picture.scaledToWidth(100, Qt::SmoothTransformation);
}

const QPixmap* statePicture(const CListItem* item)
{
    switch (item->GetItemSate()) {
    case CListItem::IS_NORMAL:
        return item->GetCheckState() == Qt::Checked ? g_pimgArLoad : g_pimgUncheckLoad;
    case CListItem::IS_FIXING:
        return g_xDefX;
    case CListItem::IS_FAILED:
        return g_xFailedX;
    case CListItem::IS_FIXED:
        return g_xFailedX;  // only reached without an artwork path
    }
    return nullptr;
}

} // namespace

void CReportMenu::Prepare(int selected, int count, bool checked, bool unchecked, bool reveal)
{
    if (selected == 0) {
        m_pAllAct->setEnabled(true);
        m_pUnAllAct->setEnabled(true);
        for (QAction* action : {m_pSeparator1, m_pSelAct, m_pUnSelAct, m_pSeparator2, m_pFinderAct})
            action->setVisible(false);
        return;
    }
    m_pFinderAct->setVisible(selected == 1 && reveal);
    m_pSeparator2->setVisible(selected == 1 && reveal);
    m_pSeparator1->setVisible(true);
    m_pAllAct->setEnabled(count >= 1);
    m_pUnAllAct->setEnabled(count >= 1);
    const bool onlyChecked = checked && !unchecked;
    const bool onlyUnchecked = unchecked && !checked;
    m_pSelAct->setVisible(!onlyChecked);
    m_pUnSelAct->setVisible(!onlyUnchecked);
}

// ---- the artwork grid ----

CListWidget::CListWidget(tagTrack* tracks, QWidget* parent)
    : QListWidget(parent), m_pTrack(tracks)
{
    buildMenu(m_menu, this, "CListWidget");
    connectMenu(m_menu, this);
    for (int slot = 0; slot < kConverterSlots; ++slot) {
        auto* label = new QLabel(this);
        if (g_pMovie) {
            label->setMovie(g_pMovie);
            if (g_pMovie->state() != QMovie::Running)
                g_pMovie->start();
        }
        label->hide();
        m_mapFlash.insert(slot, label);
    }
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CListWidget::PushFlash);
    connect(horizontalScrollBar(), &QScrollBar::valueChanged, this, &CListWidget::PushFlash);
}

CListWidget::~CListWidget()
{
    freeMenu(m_menu);
    for (QLabel* label : std::as_const(m_mapFlash)) {
        if (g_pMovie && g_pMovie->state() != QMovie::NotRunning)
            g_pMovie->stop();
        delete label;
    }
    m_mapFlash.clear();
}

void CListWidget::mousePressEvent(QMouseEvent* event)
{
    QListWidget::mousePressEvent(event);
    // A menu or a slot called from here may pump events; one press at a time.
    if (m_bInPress)
        return;
    m_bInPress = true;
    if (event->button() == Qt::LeftButton)
        leftPress(event->position().toPoint());
    else if (event->button() == Qt::RightButton)
        showMenu(event->globalPosition().toPoint());
    m_bInPress = false;
}

void CListWidget::leftPress(const QPoint& pos)
{
    auto* item = static_cast<CListItem*>(itemAt(pos));
    if (!item)
        return;
    const QRect r = visualItemRect(item);
    const QRect checkArea(QPoint(r.left() + 10, r.top() + 20), QPoint(r.left() + 23, r.top() + 34));
    const QRect buttonArea(QPoint(r.right() - 25, r.bottom() - 35), QPoint(r.right() - 2, r.bottom() - 12));
    if (checkArea.contains(pos)) {
        const Qt::CheckState next = item->GetCheckState() == Qt::Checked ? Qt::Unchecked : Qt::Checked;
        item->SetCheckState(next, item->GetItemSate() != CListItem::IS_NORMAL);
        emit SendCheckState(item);
    } else if (buttonArea.contains(pos) && item->GetListButShow()
               && item->GetItemSate() == CListItem::IS_FIXED) {
        emit ListButtonPressed(item);
    }
}

void CListWidget::showMenu(const QPoint& global)
{
    bool checked = false, unchecked = false;
    const QList<QListWidgetItem*> selected = selectedItems();
    for (QListWidgetItem* item : selected) {
        if (!item)
            continue;
        if (static_cast<CListItem*>(item)->GetCheckState() == Qt::Checked)
            checked = true;
        else
            unchecked = true;
    }
    m_menu.Prepare(int(selected.size()), count(), checked, unchecked, true);
    m_menu.m_pMenu->popup(global);
}

void CListWidget::resizeEvent(QResizeEvent* event)
{
    QListWidget::resizeEvent(event);
    PushFlash(0);
}

void CListWidget::checkAll(Qt::CheckState state)
{
    for (int i = 0; i < count(); ++i) {
        auto* listItem = static_cast<CListItem*>(item(i));
        if (!busyOrFailed(listItem))
            listItem->SetCheckState(state, listItem->GetItemSate() != CListItem::IS_NORMAL);
    }
    emit SetAllUnchecked(state == Qt::Unchecked ? 1 : 0);
    viewport()->update();
}

void CListWidget::checkSelected(Qt::CheckState state)
{
    for (QListWidgetItem* item : selectedItems()) {
        if (!item)
            continue;
        auto* listItem = static_cast<CListItem*>(item);
        if (!busyOrFailed(listItem))
            listItem->SetCheckState(state, listItem->GetItemSate() != CListItem::IS_NORMAL);
        emit SetUnchecked(item);
    }
    viewport()->update();
}

void CListWidget::AllItem() { checkAll(Qt::Checked); }
void CListWidget::UnAllItem() { checkAll(Qt::Unchecked); }
void CListWidget::SelectItem() { checkSelected(Qt::Checked); }
void CListWidget::UnSelectItem() { checkSelected(Qt::Unchecked); }

void CListWidget::ShowInFinder()
{
    if (auto* item = static_cast<CListItem*>(currentItem()))
        ShowMusicInWindow(item->GetPath());
}

void CListWidget::PushFlashItem(int slot, QListWidgetItem* item)
{
    if (!m_pTrack || slot < 0 || slot >= kConverterSlots)
        return;
    QLabel* label = m_mapFlash.value(slot);
    if (m_pTrack[slot].kind != TK_ARTWORK || !item) {
        if (label)
            label->hide();
        return;
    }
    const QRect r = visualItemRect(item);
    if (!rect().contains(r)) {
        if (label)
            label->hide();
        return;
    }
    if (!label)
        return;
    if (label->isHidden()) {
        label->show();
        if (QMovie* movie = label->movie(); movie && movie->state() != QMovie::Running)
            movie->start();
    }
    label->resize(kFlashSize, kFlashSize);
    label->move(r.left() + r.width() / 2 - kFlashSize / 2, r.top() + r.height() / 2 - kFlashSize / 2);
}

void CListWidget::PushFlash(int)
{
    if (!m_pTrack)
        return;
    for (int slot = 0; slot < kConverterSlots; ++slot)
        if (m_pTrack[slot].kind == TK_ARTWORK)
            PushFlashItem(slot, static_cast<CListItem*>(m_pTrack[slot].item));
}

void CListWidget::StartPauseFlash(int slot, int start)
{
    QLabel* label = m_mapFlash.value(slot);
    QMovie* movie = label ? label->movie() : nullptr;
    if (slot < 0 || slot >= kConverterSlots || !movie)
        return;
    if (start == 0 && movie->state() != QMovie::NotRunning)
        movie->stop();
    else if (start != 0 && movie->state() != QMovie::Running)
        movie->start();
}

void CListWidget::StopFlash()
{
    for (QLabel* label : std::as_const(m_mapFlash))
        label->hide();
}

// ---- the category trees ----

CFailedTreeWidget::CFailedTreeWidget(QWidget* parent) : QTreeWidget(parent)
{
    buildMenu(m_menu, this, "CFailedTreeWidget");
    connectMenu(m_menu, this);
}

CFailedTreeWidget::~CFailedTreeWidget() { freeMenu(m_menu); }

void CFailedTreeWidget::SetActionsEnabled(bool enabled)
{
    m_bMenuEnabled = enabled;
    m_menu.m_pMenu->setEnabled(enabled);
}

void CFailedTreeWidget::mousePressEvent(QMouseEvent* event)
{
    QTreeWidget::mousePressEvent(event);
    if (event->button() == Qt::RightButton)
        showMenu(event->globalPosition().toPoint());
}

void CFailedTreeWidget::keyPressEvent(QKeyEvent* event)
{
    // Space ticks the current row's box without a click; hand the change on
    // as a click on the box would, or the box and the stored choice part.
    QTreeWidgetItem* item = currentItem();
    const QVariant before = item ? item->data(0, Qt::CheckStateRole) : QVariant();
    QTreeWidget::keyPressEvent(event);
    if (item && before.isValid() && item == currentItem() && item->data(0, Qt::CheckStateRole) != before)
        emit itemClicked(item, 0);
}

void CFailedTreeWidget::showMenu(const QPoint& global)
{
    bool checked = false, unchecked = false;
    const QList<QTreeWidgetItem*> selected = selectedItems();
    for (QTreeWidgetItem* item : selected) {
        if (!item)
            continue;
        if (item->data(0, Qt::CheckStateRole).toInt() == Qt::Checked)
            checked = true;
        else
            unchecked = true;
    }
    bool reveal = false;
    if (selected.size() == 1 && selected.first())
        reveal = !static_cast<CTreeItem*>(selected.first())->GetPath().isEmpty();
    m_menu.Prepare(int(selected.size()), topLevelItemCount(), checked, unchecked, reveal);
    if (m_bMenuEnabled)
        m_menu.m_pMenu->popup(global);
}

void CFailedTreeWidget::checkAll(Qt::CheckState state)
{
    for (int i = 0; i < topLevelItemCount(); ++i)
        if (QTreeWidgetItem* item = topLevelItem(i))
            item->setCheckState(0, state);
    emit SetAllUnchecked(state == Qt::Unchecked ? 1 : 0);
}

void CFailedTreeWidget::checkSelected(Qt::CheckState state)
{
    for (QTreeWidgetItem* item : selectedItems()) {
        if (!item)
            continue;
        item->setCheckState(0, state);
        emit SetUnchecked(item, 0);
    }
}

void CFailedTreeWidget::AllItem() { checkAll(Qt::Checked); }
void CFailedTreeWidget::UnAllItem() { checkAll(Qt::Unchecked); }
void CFailedTreeWidget::SelectItem() { checkSelected(Qt::Checked); }
void CFailedTreeWidget::UnSelectItem() { checkSelected(Qt::Unchecked); }

void CFailedTreeWidget::ShowInFinder()
{
    if (auto* item = static_cast<CTreeItem*>(currentItem()))
        ShowMusicInWindow(item->GetPath());
}

// ---- the tile delegate ----

CListDelegate::CListDelegate(QListWidget* list, QObject* parent)
    : QStyledItemDelegate(parent), m_pListWidget(list)
{
    if (list)
        m_iElideMargin = list->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 10;
}

CListDelegate::~CListDelegate() = default;

QString CListDelegate::ElidedTitle(const QString& title, int width) const
{
    const QFontMetrics metrics = m_pListWidget->fontMetrics();
    if (metrics.horizontalAdvance(title) <= width)
        return title;
    int n = 5;
    while (n < title.size() && metrics.horizontalAdvance(title.left(n)) < width - m_iElideMargin)
        ++n;
    return title.left(n) + QStringLiteral("...");
}

void CListDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                          const QModelIndex& index) const
{
    auto* list = qobject_cast<CListWidget*>(m_pListWidget);
    auto* item = list ? static_cast<CListItem*>(list->GetItemFromIndex(index)) : nullptr;
    if (!item)
        return;
    QStyle* style = QApplication::style();
    const QRect r = option.rect;
    const bool selected = option.state & QStyle::State_Selected;
    const bool fixedWithPicture = item->GetItemSate() == CListItem::IS_FIXED && !item->GetArtworkPath().isEmpty();
    if (fixedWithPicture) {
        const QPixmap picture = fixedPicture(item->GetArtworkPath());
        if (!picture.isNull())
            drawCentred(painter, r, picture, selected);
        const QRect checkRect(QPoint(r.left() + 8, r.top() + 20), r.bottomRight());
        if (item->GetCheckState() == Qt::Checked && g_pimgCheck)
            style->drawItemPixmap(painter, checkRect, Qt::AlignLeft | Qt::AlignTop, *g_pimgCheck);
        else if (item->GetCheckState() == Qt::Unchecked && g_pimgUnCheck)
            style->drawItemPixmap(painter, checkRect, Qt::AlignLeft | Qt::AlignTop, *g_pimgUnCheck);
        if (item->GetListButShow() && g_pimgSelectBut) {
            style->drawItemPixmap(painter, QRect(r.topLeft(), QPoint(r.right() - 2, r.bottom() - 12)),
                                  Qt::AlignRight | Qt::AlignBottom, *g_pimgSelectBut);
            painter->save();
            QFont font = QApplication::font();
            font.setPixelSize(12);
            font.setWeight(QFont::Bold);
            painter->setFont(font);
            painter->setPen(QColor(0, 0, 0, 255));
            painter->drawText(QRect(QPoint(r.right() - 22, r.bottom() - 36), QPoint(r.right() - 2, r.bottom() - 12)),
                              Qt::AlignCenter, QString::number(item->m_iArtworkCount));
            painter->restore();
        }
    } else if (const QPixmap* picture = statePicture(item)) {
        drawCentred(painter, r, *picture, selected);
    }
    const QString title = ElidedTitle(item->text(), r.width());
    style->drawItemText(painter, QRect(QPoint(r.left(), r.bottom() - 5), QPoint(r.right(), r.bottom() + 10)),
                        Qt::AlignHCenter | Qt::AlignTop, option.palette, true, title);
}

QPixmap framedPixmap(const QPixmap& source)
{
    QPixmap framed(source.size());
    framed.fill(Qt::white);
    QPainter painter(&framed);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    QLinearGradient gradient(0, 0, 0, framed.height());
    gradient.setColorAt(0, QColor(0x67, 0xB4, 0xFF, 255));
    gradient.setColorAt(1, QColor(0x14, 0x78, 0xDA, 255));
    painter.setBrush(gradient);
    painter.drawRoundedRect(framed.rect(), 8, 8, Qt::RelativeSize);
    const QRect inner(4, 4, source.width() - 8, source.height() - 8);
    painter.drawPixmap(inner, source, inner);
    return framed;
}
