#pragma once
// The rows a list fill reads, kept as the UTF-8 bytes SQLite hands out. A QString is made only
// when a cell is painted, which keeps a fill of 100,000 contacts close to the cost of the read.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Statement;

class RowTable {
public:
    // friendid, 姓名, then the thirteen cells: 生日 移动电话 工作电话 家庭电话 传真号码 地址 邮政编码
    // qq icq msn email 昵称 备注
    static constexpr int Columns = 15;
    static constexpr int KeyColumn = 0;
    static constexpr int NameColumn = 1;
    static constexpr int BirthdayColumn = 2;

    int rowCount() const { return static_cast<int>(rows_.size()); }
    bool isNull(int row, int column) const { return cell(row, column).length == NullLength; }
    std::string_view text(int row, int column) const;
    QString qtext(int row, int column) const;
    QString key(int row) const { return qtext(row, KeyColumn); }
    int findKey(std::string_view key) const; // -1 when no row has it

    // Appends the current row of a statement whose first Columns result columns are the ones above.
    void appendFrom(const Statement& statement);
    void removeRow(int row);
    void setText(int row, int column, const QString& text);
    void reorder(const std::vector<int>& order); // order[i] = old row shown at i
    void clear();
    void reserve(int rows);

private:
    static constexpr uint32_t NullLength = UINT32_MAX;
    struct Cell {
        uint32_t offset;
        uint32_t length;
    };
    const Cell& cell(int row, int column) const { return cells_[rows_[row] * Columns + column]; }
    Cell store(const char* bytes, size_t length);

    std::string arena_;
    std::vector<Cell> cells_;
    std::vector<uint32_t> rows_; // the rows shown, as indexes into cells_ / Columns
};
