#pragma once
// The two views of the main window. The tree reports a node the user moved to, by mouse or by
// keyboard, as a click; a node the program selects is not reported. The selected node shows picture 4.
#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTimer>
#include <QTreeView>

class NodeTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit NodeTreeView(QWidget* parent = nullptr);
    // The menu key and Shift+F10: the tree's right-click menu, for its current node.
    void contextMenuKey();

    // Ends an open in-place editor without writing what it holds.
    void cancelEdit();
    bool editing() const { return state() == EditingState; }
    // The node marked under a drag of people; invalid when a drop here would do nothing.
    QModelIndex dropTarget() const { return dropTarget_; }

signals:
    void nodeClicked(const QModelIndex& node);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    // The node under a drag of people is filled with the highlight exactly while a drop there
    // would move somebody (the model decides); anywhere else nothing is marked.
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dragLeaveEvent(QDragLeaveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void setDropTarget(const QModelIndex& node);
    QPersistentModelIndex dropTarget_;
};

// Where a view cuts an item's text ("新朋…"), the whole text shows as its tooltip.
class FullTextTipDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    bool helpEvent(QHelpEvent* event, QAbstractItemView* view, const QStyleOptionViewItem& option,
                   const QModelIndex& index) override;
};

class SelectedPictureDelegate : public FullTextTipDelegate {
public:
    using FullTextTipDelegate::FullTextTipDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The contact list in report style: a flat QTreeView with uniform rows. A click on the name of
// the selected row starts its in-place rename once no second click has followed: a double click
// opens the person instead, and must not leave a rename behind.
class ReportView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);

    // Ends an open in-place editor without writing what it holds, and forgets a rename that a
    // click has scheduled.
    void cancelEdit();
    // The menu key and Shift+F10: the list's right-click menu, for its current row.
    void contextMenuKey();

signals:
    // Enter or Return on a row (not while its name is being edited).
    void rowEntered();
    // A character typed in the list (not a shortcut, not while a name is edited): the filter line
    // takes it.
    void typed(const QString& text);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    // The selected rows' people, dragged to a group of the tree. The list never removes rows
    // itself: it shows what the window refreshes after the move.
    void startDrag(Qt::DropActions supportedActions) override;

private:
    QTimer renameDelay_;
    QPersistentModelIndex renameOnRelease_;
};
