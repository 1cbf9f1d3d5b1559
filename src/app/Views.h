#pragma once
// The two views of the main window. The tree reports a node the user moved to, by mouse or by
// keyboard, as a click; a node the program selects is not reported. The selected node shows picture 4.
#include <QStyledItemDelegate>
#include <QTreeView>

class NodeTreeView : public QTreeView {
    Q_OBJECT
public:
    explicit NodeTreeView(QWidget* parent = nullptr);

signals:
    void nodeClicked(const QModelIndex& node);

protected:
    void keyPressEvent(QKeyEvent* event) override;
};

class SelectedPictureDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
};

// The contact list in report style: a flat QTreeView with uniform rows.
class ReportView : public QTreeView {
    Q_OBJECT
public:
    explicit ReportView(QWidget* parent = nullptr);
};
