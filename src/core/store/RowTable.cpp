#include "core/store/RowTable.h"

#include "core/store/Statement.h"

#include <algorithm>

std::string_view RowTable::text(int row, int column) const {
    const Cell& c = cell(row, column);
    if (c.length == NullLength)
        return {};
    return std::string_view(arena_.data() + c.offset, c.length);
}

QString RowTable::qtext(int row, int column) const {
    const std::string_view bytes = text(row, column);
    return QString::fromUtf8(bytes.data(), static_cast<qsizetype>(bytes.size()));
}

int RowTable::findKey(std::string_view key) const {
    for (int row = 0; row < rowCount(); ++row) {
        if (text(row, KeyColumn) == key)
            return row;
    }
    return -1;
}

RowTable::Cell RowTable::store(const char* bytes, size_t length) {
    const Cell c{static_cast<uint32_t>(arena_.size()), static_cast<uint32_t>(length)};
    arena_.append(bytes, length);
    return c;
}

void RowTable::appendFrom(const Statement& statement) {
    rows_.push_back(static_cast<uint32_t>(cells_.size() / Columns));
    for (int column = 0; column < Columns; ++column) {
        const std::optional<std::string_view> bytes = statement.optionalView(column);
        cells_.push_back(bytes ? store(bytes->data(), bytes->size()) : Cell{0, NullLength});
    }
    if (keepsGroups_ && statement.columnCount() > Columns) {
        const std::optional<std::string_view> group = statement.optionalView(Columns);
        groups_.push_back(group ? store(group->data(), group->size()) : Cell{0, NullLength});
    }
}

void RowTable::removeRow(int row) {
    if (narrowed_)
        if (const auto found = std::find(fill_.begin(), fill_.end(), rows_[row]); found != fill_.end())
            fill_.erase(found);
    rows_.erase(rows_.begin() + row);
}

std::string_view RowTable::fillText(int fillRow, int column) const {
    const uint32_t index = narrowed_ ? fill_[fillRow] : rows_[fillRow];
    const Cell& c = cells_[index * Columns + column];
    if (c.length == NullLength)
        return {};
    return std::string_view(arena_.data() + c.offset, c.length);
}

void RowTable::showOnly(const std::vector<int>& fillRows) {
    if (!narrowed_) {
        fill_ = rows_;
        narrowed_ = true;
    }
    rows_.clear();
    rows_.reserve(fillRows.size());
    for (int row : fillRows)
        rows_.push_back(fill_[row]);
}

void RowTable::showAll() {
    if (!narrowed_)
        return;
    rows_.swap(fill_);
    fill_.clear();
    fill_.shrink_to_fit();
    narrowed_ = false;
}

void RowTable::setText(int row, int column, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    cells_[rows_[row] * Columns + column] = store(bytes.constData(), static_cast<size_t>(bytes.size()));
}

void RowTable::reorder(const std::vector<int>& order) {
    std::vector<uint32_t> rows;
    rows.reserve(order.size());
    for (int old : order)
        rows.push_back(rows_[old]);
    rows_.swap(rows);
}

void RowTable::clear() {
    arena_.clear();
    cells_.clear();
    rows_.clear();
    fill_.clear();
    groups_.clear();
    narrowed_ = false;
    keepsGroups_ = false;
}

void RowTable::reserve(int rows) {
    rows_.reserve(rows);
    cells_.reserve(static_cast<size_t>(rows) * Columns);
    arena_.reserve(static_cast<size_t>(rows) * 120);
}
