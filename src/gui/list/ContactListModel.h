#pragma once
// The list's rows: one per person, the name as the row's text and thirteen cells, all of one
// picture per fill. Rows stay as the UTF-8 SQLite handed out; a QString is made per painted cell.
#include "core/rules/BirthdayCountdown.h"
#include "core/store/RowTable.h"

#include <QAbstractTableModel>
#include <functional>
#include <vector>

class ContactListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    static constexpr int KeyRole = Qt::UserRole + 1;
    static constexpr int PictureRole = Qt::UserRole + 2;

    explicit ContactListModel(QObject* parent = nullptr);

    // Replaces every row (one model reset), and with them the reminder's countdown: with one, the
    // list has the two reminder columns (listcolumns::DaysLeft, AgeTurning) and today's rows are bold.
    void fill(RowTable rows, int picture, std::optional<ReminderMarks> reminder);
    // The same rows in another order, or fewer of them: the countdown stays.
    void setRows(RowTable rows, int picture);
    bool showsReminder() const { return reminder_.has_value(); }
    void clear();
    void removeContactRow(int row);
    void setName(int row, const QString& name);
    // The filter line's narrowing, one model reset: the given rows of the fill (RowTable::showOnly),
    // or every row again for nullptr; `arrange` may then put the rows shown in the user's order.
    void showFillRows(const std::vector<int>* fillRows, const std::function<void(RowTable&)>& arrange = {});

    const RowTable& rows() const { return rows_; }
    // The column and direction the user chose by a header click; -1 before the first click.
    int sortColumn() const { return sortColumn_; }
    Qt::SortOrder sortOrder() const { return sortOrder_; }
    void setSort(int column, Qt::SortOrder order) {
        sortColumn_ = column;
        sortOrder_ = order;
    }
    int picture() const { return picture_; }
    QString keyAt(int row) const;
    int rowOfKey(const QString& key) const; // -1 when no row has it

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    // A drag of rows carries their people's keys (gui/shared/ContactDrag.h), each person once.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

signals:
    // The user ended an in-place edit of a name, on the person with that key; nothing changes
    // until it is stored.
    void nameEdited(const QString& key, const QString& text);
    // The rows are about to be replaced or one removed: an editor open on a row must end first,
    // without writing, or it would be committed to whichever person takes that row.
    void rowsAboutToChange();

private:
    QString cellText(int row, int column) const;
    const BirthdayCountdown* countdownOf(int row) const;

    RowTable rows_;
    int picture_ = 3;
    std::optional<ReminderMarks> reminder_;
    int sortColumn_ = -1;
    Qt::SortOrder sortOrder_ = Qt::AscendingOrder;
};

// 生日 as the list and the record form show it: the short date format, the year in four digits.
QString shortDate(std::string_view stored);
