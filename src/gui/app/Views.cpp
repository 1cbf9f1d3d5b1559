#include "gui/app/Views.h"

#include "gui/shared/Pictures.h"

#include <QApplication>
#include <QDrag>
#include <QDragMoveEvent>
#include <QDropEvent>
#include <QPainter>
#include <QPixmap>
#include <QHeaderView>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>

NodeTreeView::NodeTreeView(QWidget* parent) : QTreeView(parent) {
    setHeaderHidden(true);
    setUniformRowHeights(true);
    setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    setItemDelegate(new SelectedPictureDelegate(this));
    connect(this, &QTreeView::clicked, this, &NodeTreeView::nodeClicked);
    // People dragged from the list drop on a group; the model says where a drop does something,
    // and only there is the node outlined.
    setAcceptDrops(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setDragDropOverwriteMode(true);
    // Qt's own outline stays on the last node that took the drag when the pointer moves on to one
    // that does not: the view marks the node itself.
    setDropIndicatorShown(false);
    setDefaultDropAction(Qt::MoveAction);
}

void NodeTreeView::setDropTarget(const QModelIndex& node) {
    if (QPersistentModelIndex(node) == dropTarget_)
        return;
    dropTarget_ = node;
    viewport()->update();
}

void NodeTreeView::dragMoveEvent(QDragMoveEvent* event) {
    QTreeView::dragMoveEvent(event); // scrolling near the edges
    const QPoint at = event->position().toPoint();
    const QModelIndex node = indexAt(at);
    const bool takes = node.isValid() && visualRect(node).contains(at) && model() &&
                       model()->canDropMimeData(event->mimeData(), Qt::MoveAction, -1, -1, node);
    setDropTarget(takes ? node : QModelIndex());
    if (takes) {
        event->setDropAction(Qt::MoveAction);
        event->accept();
    } else {
        event->ignore();
    }
}

void NodeTreeView::dragLeaveEvent(QDragLeaveEvent* event) {
    QTreeView::dragLeaveEvent(event);
    setDropTarget({});
}

void NodeTreeView::dropEvent(QDropEvent* event) {
    setDropTarget({});
    QTreeView::dropEvent(event);
}

void NodeTreeView::paintEvent(QPaintEvent* event) {
    QTreeView::paintEvent(event);
    if (!dropTarget_.isValid())
        return;
    QPainter painter(viewport());
    const QRect node = visualRect(dropTarget_);
    QColor fill = palette().color(QPalette::Highlight);
    fill.setAlpha(80);
    painter.fillRect(node, fill);
    painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
    painter.drawRect(node.adjusted(1, 1, -1, -1));
}

namespace {
// The right-click menu asked for from the keyboard, at the current item (or the view's corner).
void menuAtCurrent(QAbstractItemView* view) {
    const QRect item = view->visualRect(view->currentIndex());
    const QPoint at = item.isValid() ? item.center() : QPoint(4, 4);
    emit view->customContextMenuRequested(at);
}
bool isMenuKey(const QKeyEvent* event) {
    return event->key() == Qt::Key_Menu ||
           (event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier);
}
} // namespace

void NodeTreeView::contextMenuKey() {
    menuAtCurrent(this);
}

void NodeTreeView::keyPressEvent(QKeyEvent* event) {
    if (isMenuKey(event) && state() != EditingState) {
        event->accept();
        contextMenuKey();
        return;
    }
    const QModelIndex before = currentIndex();
    QTreeView::keyPressEvent(event);
    if (state() != EditingState && currentIndex() != before && currentIndex().isValid())
        emit nodeClicked(currentIndex());
}

bool FullTextTipDelegate::helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                                    const QModelIndex& index) {
    if (event->type() != QEvent::ToolTip || !index.isValid() || !view)
        return QStyledItemDelegate::helpEvent(event, view, option, index);
    QStyleOptionViewItem shown = option;
    initStyleOption(&shown, index);
    const QRect visible = view->visualRect(index).intersected(view->viewport()->rect());
    const QString text = index.data(Qt::DisplayRole).toString();
    if (!text.isEmpty() && sizeHint(shown, index).width() > visible.width()) {
        QToolTip::showText(event->globalPos(), text, view->viewport(), visible);
        return true;
    }
    QToolTip::hideText();
    event->ignore();
    return true;
}

namespace {
// An open editor is always on the current index: moving the current index ends it.
void closeOpenEditor(QAbstractItemView* view, const QModelIndex& current) {
    if (!current.isValid())
        return;
    if (QWidget* editor = view->indexWidget(current))
        emit view->itemDelegate()->closeEditor(editor, QAbstractItemDelegate::NoHint);
}
} // namespace

void NodeTreeView::cancelEdit() {
    closeOpenEditor(this, currentIndex());
}

void SelectedPictureDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    if (option->state & QStyle::State_Selected)
        option->icon = pictures::node(pictures::Selected);
}

ReportView::ReportView(QWidget* parent) : QTreeView(parent) {
    setRootIsDecorated(false);
    setItemsExpandable(false);
    setUniformRowHeights(true);
    setAllColumnsShowFocus(true);
    setSelectionBehavior(QAbstractItemView::SelectRows);
    // Several people at once (Ctrl, Shift), to drag onto a group, move or delete together.
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setDragEnabled(true);
    setDragDropMode(QAbstractItemView::DragOnly);
    setEditTriggers(QAbstractItemView::EditKeyPressed); // and a click on the selected name, below
    setItemDelegate(new FullTextTipDelegate(this));
    header()->setStretchLastSection(false);
    header()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    renameDelay_.setSingleShot(true);
    connect(&renameDelay_, &QTimer::timeout, this, [this] {
        if (currentIndex().isValid() && currentIndex().column() == 0)
            edit(currentIndex());
    });
}

void ReportView::cancelEdit() {
    renameDelay_.stop();
    renameOnRelease_ = QPersistentModelIndex();
    closeOpenEditor(this, currentIndex());
}

void ReportView::contextMenuKey() {
    menuAtCurrent(this);
}

void ReportView::startDrag(Qt::DropActions) {
    const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows(0) : QModelIndexList();
    if (rows.isEmpty() || !model())
        return;
    auto* drag = new QDrag(this);
    drag->setMimeData(model()->mimeData(rows));
    // What is carried, beside the pointer: the first name and how many.
    const QString first = rows.front().data(Qt::DisplayRole).toString();
    const QString text = rows.size() == 1 ? first : QStringLiteral("%1 等 %2 人").arg(first).arg(rows.size());
    const QFontMetrics metrics(font());
    const qreal ratio = devicePixelRatioF();
    const QSize size(metrics.horizontalAdvance(text) + 12, metrics.height() + 6);
    QPixmap face(size * ratio);
    face.setDevicePixelRatio(ratio);
    face.fill(Qt::transparent);
    {
        QPainter painter(&face);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(palette().color(QPalette::Highlight));
        painter.setBrush(palette().color(QPalette::Base));
        painter.drawRoundedRect(QRectF(0.5, 0.5, size.width() - 1, size.height() - 1), 4, 4);
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(QRect(QPoint(0, 0), size), Qt::AlignCenter, text);
    }
    drag->setPixmap(face);
    drag->setHotSpot(QPoint(-12, -8));
    drag->exec(Qt::MoveAction, Qt::MoveAction);
}

void ReportView::keyPressEvent(QKeyEvent* event) {
    if (isMenuKey(event) && state() != EditingState) {
        event->accept();
        contextMenuKey();
        return;
    }
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && state() != EditingState && currentIndex().isValid()) {
        event->accept();
        emit rowEntered();
        return;
    }
    // F2 renames the selected row's name, whichever of its cells is current.
    if (event->key() == Qt::Key_F2 && event->modifiers() == Qt::NoModifier && state() != EditingState) {
        const QModelIndexList rows = selectionModel() ? selectionModel()->selectedRows(0) : QModelIndexList();
        const QModelIndex name = rows.isEmpty() ? currentIndex().siblingAtColumn(0) : rows.front();
        if (name.isValid()) {
            setCurrentIndex(name);
            edit(name);
            event->accept();
            return;
        }
    }
    const QString text = event->text();
    const bool plain = !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    if (plain && state() != EditingState && !text.isEmpty() && text.front().isPrint() && !text.front().isSpace()) {
        event->accept();
        emit typed(text);
        return;
    }
    QTreeView::keyPressEvent(event);
}

void ReportView::mousePressEvent(QMouseEvent* event) {
    renameDelay_.stop();
    const QModelIndex at = indexAt(event->position().toPoint());
    const bool onSelectedName = event->button() == Qt::LeftButton && event->modifiers() == Qt::NoModifier &&
                                at.isValid() && at.column() == 0 && at == currentIndex() &&
                                selectionModel()->isRowSelected(at.row(), {});
    renameOnRelease_ = onSelectedName ? QPersistentModelIndex(at) : QPersistentModelIndex();
    QTreeView::mousePressEvent(event);
}

void ReportView::mouseReleaseEvent(QMouseEvent* event) {
    QTreeView::mouseReleaseEvent(event);
    if (renameOnRelease_.isValid() && renameOnRelease_ == indexAt(event->position().toPoint()))
        renameDelay_.start(QApplication::doubleClickInterval());
    renameOnRelease_ = QPersistentModelIndex();
}

void ReportView::mouseDoubleClickEvent(QMouseEvent* event) {
    renameDelay_.stop();
    renameOnRelease_ = QPersistentModelIndex();
    QTreeView::mouseDoubleClickEvent(event);
}
