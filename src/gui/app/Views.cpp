#include "gui/app/Views.h"

#include "gui/shared/Pictures.h"

#include <QApplication>
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
}

void NodeTreeView::keyPressEvent(QKeyEvent* event) {
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
    setSelectionMode(QAbstractItemView::SingleSelection);
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

void ReportView::keyPressEvent(QKeyEvent* event) {
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
