#pragma once
// The record form's lists below its fields: every number and e-mail address with its label, 微信 and
// other IDs, 单位 and 职务, addresses in Chinese order (省, 市, 区, 街道, 邮编), web pages and the rest
// of the catalogue's typed fields, each list with a 添加 button and each row with a 删除 button; then,
// read-only, what no field knows. It holds the rows (valuelists::spread) and gives them back; the form
// keeps its boxes and the rows agreeing (valuelists::setColumn, rowOfColumn).
#include "core/store/ContactFields.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/KeptProperties.h"

#include <QGroupBox>
#include <vector>

class QGridLayout;
class QLabel;
class QLineEdit;

class ValuePanel : public QGroupBox {
    Q_OBJECT
public:
    explicit ValuePanel(QWidget* parent);

    void setRows(std::vector<TypedValue> rows);
    const std::vector<TypedValue>& rows() const { return rows_; }
    // What no field knows, listed read-only.
    void setKept(const std::vector<KeptProperty>& kept);
    // A box of the form that stands for a row was edited (valuelists::columnKinds()[kind]).
    void setColumn(int kind, const QString& text);

    // The controls Tab reaches, in order: each list's 添加, then its rows' label, value and 删除.
    const QList<QWidget*>& tabStops() const { return tabStops_; }
    // Adds an empty row to the list of `field` and puts the focus into it.
    void addRow(catalogue::Field field);
    // Removes row `index` of rows() and puts the focus into the next row of its list, or its 添加.
    void removeRow(size_t index);

signals:
    // A row was edited, added or removed: the form's boxes follow.
    void rowsChanged();
    // The controls were made anew: the form chains its Tab order again.
    void rebuilt();

private:
    void rebuild(int focusRow = -1, catalogue::Field focusAdd = catalogue::Field::Phone, bool focusOnAdd = false);
    QWidget* valueRow(size_t index);
    void editValue(size_t index, const QString& value);
    void editLabel(size_t index, const QString& label);

    std::vector<TypedValue> rows_;
    QGridLayout* grid_ = nullptr;
    QWidget* lists_ = nullptr;
    QLabel* kept_ = nullptr;
    QList<QWidget*> tabStops_;
    std::vector<QLineEdit*> firstBoxOfRow_; // by index into rows_
};
