#include "gui/list/ContactListModel.h"

#include "gui/shared/ContactDrag.h"

#include <QSet>

#include "gui/list/ListColumns.h"
#include "gui/shared/ColourScheme.h"
#include "gui/shared/Pictures.h"
#include "core/text/TypedDate.h"
#include "core/store/Store.h"

#include <QFont>

QString shortDate(std::string_view stored) {
    if (const std::string_view shown = shownBirthdayText(stored); !shown.empty())
        return QString::fromUtf8(shown.data(), static_cast<qsizetype>(shown.size()));
    const std::optional<QDate> date = parseStoredDate(stored);
    if (!date)
        return QString::fromUtf8(stored.data(), static_cast<qsizetype>(stored.size()));
    return birthdayText(*date);
}

ContactListModel::ContactListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ContactListModel::fill(RowTable rows, int picture, std::optional<ReminderMarks> reminder) {
    emit rowsAboutToChange();
    beginResetModel();
    rows_ = std::move(rows);
    picture_ = picture;
    reminder_ = std::move(reminder);
    endResetModel();
}

void ContactListModel::setRows(RowTable rows, int picture) {
    emit rowsAboutToChange();
    beginResetModel();
    rows_ = std::move(rows);
    picture_ = picture;
    endResetModel();
}

void ContactListModel::showFillRows(const std::vector<int>* fillRows, const std::function<void(RowTable&)>& arrange) {
    beginResetModel();
    if (fillRows)
        rows_.showOnly(*fillRows);
    else
        rows_.showAll();
    if (arrange)
        arrange(rows_);
    endResetModel();
}

void ContactListModel::clear() {
    fill(RowTable(), picture_, std::nullopt);
}

void ContactListModel::removeContactRow(int row) {
    if (row < 0 || row >= rows_.rowCount())
        return;
    emit rowsAboutToChange();
    beginRemoveRows({}, row, row);
    rows_.removeRow(row);
    endRemoveRows();
}

void ContactListModel::setName(int row, const QString& name) {
    if (row < 0 || row >= rows_.rowCount())
        return;
    rows_.setText(row, RowTable::NameColumn, name);
    emit dataChanged(index(row, 0), index(row, 0), {Qt::DisplayRole, Qt::EditRole});
}

QString ContactListModel::keyAt(int row) const {
    if (row < 0 || row >= rows_.rowCount())
        return {};
    return rows_.key(row);
}

int ContactListModel::rowOfKey(const QString& key) const {
    return rows_.findKey(key.toStdString());
}

int ContactListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : rows_.rowCount();
}

int ContactListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : reminder_ ? listcolumns::WithReminder : listcolumns::Count;
}

const BirthdayCountdown* ContactListModel::countdownOf(int row) const {
    if (!reminder_)
        return nullptr;
    const auto found = reminder_->find(std::string(rows_.text(row, RowTable::KeyColumn)));
    return found == reminder_->end() ? nullptr : &found->second;
}

QString ContactListModel::cellText(int row, int column) const {
    if (column == listcolumns::DaysLeft || column == listcolumns::AgeTurning) {
        const BirthdayCountdown* countdown = countdownOf(row);
        if (!countdown)
            return {};
        return column == listcolumns::DaysLeft ? daysLeftText(countdown->daysLeft) : ageText(countdown->age);
    }
    // Column 1 is the name (RowTable column 1); cells 1 to 13 follow; column 15 stays empty.
    if (column == listcolumns::Empty)
        return {};
    const int source = column + 1;
    if (rows_.isNull(row, source))
        return {};
    if (column == listcolumns::Birthday)
        return shortDate(rows_.text(row, source));
    return rows_.qtext(row, source);
}

QVariant ContactListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rows_.rowCount())
        return {};
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return cellText(index.row(), index.column());
    case Qt::DecorationRole:
        // Every row is a person: it shows the person's picture whatever number the fill gave it
        // (a search refilled after a save gives 1, the top node's, which read as a group).
        return index.column() == 0 ? QVariant(pictures::node(3)) : QVariant();
    case Qt::FontRole: {
        // Today's birthdays stand out in the reminder.
        const BirthdayCountdown* countdown = countdownOf(index.row());
        if (!countdown || countdown->daysLeft != 0)
            return {};
        QFont bold;
        bold.setBold(true);
        return bold;
    }
    case Qt::ForegroundRole: {
        // And in the colour of a mark, one that stays readable in the light and the dark scheme.
        const BirthdayCountdown* countdown = countdownOf(index.row());
        if (!countdown || countdown->daysLeft != 0)
            return {};
        return schemes::todayMark();
    }
    case KeyRole:
        return rows_.key(index.row());
    case PictureRole:
        return index.column() == 0 ? QVariant(picture_) : QVariant();
    default:
        return {};
    }
}

QVariant ContactListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return {};
    if (role == Qt::DisplayRole)
        return listcolumns::header(section);
    if (role == Qt::TextAlignmentRole)
        return int(Qt::AlignLeft | Qt::AlignVCenter);
    return {};
}

Qt::ItemFlags ContactListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren | Qt::ItemIsDragEnabled;
    if (index.column() == 0)
        f |= Qt::ItemIsEditable;
    return f;
}

QStringList ContactListModel::mimeTypes() const {
    return {contactdrag::MimeType};
}

QMimeData* ContactListModel::mimeData(const QModelIndexList& indexes) const {
    QStringList keys;
    QSet<int> rows;
    for (const QModelIndex& index : indexes) {
        if (index.isValid() && !rows.contains(index.row())) {
            rows.insert(index.row());
            keys << keyAt(index.row());
        }
    }
    return contactdrag::mimeOf(keys);
}

bool ContactListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.column() != 0 || role != Qt::EditRole)
        return false;
    emit nameEdited(keyAt(index.row()), value.toString());
    return true;
}
