#pragma once
// The rows a list fill reads, kept as the UTF-8 bytes SQLite hands out. A QString is made only
// when a cell is painted, which keeps a fill of 100,000 contacts close to the cost of the read.
#include "core/store/FieldCatalogue.h"

#include <QString>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

class Statement;

// A birthday cell holds the stored date; for a birthday kept by the lunar calendar the text to show
// follows it after a mark ("1951-01-15\x1f农历 腊月初八"), so that the list still sorts it by its date.
inline constexpr char BirthdayShownMark = '\x1f';
// The text to show when the cell carries one; empty otherwise.
inline std::string_view shownBirthdayText(std::string_view cell) {
    const size_t mark = cell.find(BirthdayShownMark);
    return mark == std::string_view::npos ? std::string_view() : cell.substr(mark + 1);
}

class RowTable {
public:
    // friendid, then the fields the list shows (catalogue::listed(): 姓名 to 备注)
    static constexpr int Columns = 1 + catalogue::listedCount();
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
    // A fill of everybody (ListAll) has the person's group after them: it is kept beside the cells,
    // so that the group tree can be built from the same read (forEachFilled).
    void appendFrom(const Statement& statement);
    // Set before a fill of everybody: its rows' groups are kept.
    void keepGroups() { keepsGroups_ = true; }
    bool hasGroups() const { return keepsGroups_; }
    // Every row the fill read, in the order it read them (whatever was removed or reordered since),
    // with its key, group and name. Only when hasGroups().
    template <typename Visit> void forEachFilled(Visit&& visit) const {
        for (size_t row = 0; row < groups_.size(); ++row)
            visit(view(cells_[row * Columns + KeyColumn]), view(groups_[row]), view(cells_[row * Columns + NameColumn]));
    }
    // Also from the whole fill while the rows are narrowed.
    void removeRow(int row);
    void setText(int row, int column, const QString& text);
    void reorder(const std::vector<int>& order); // order[i] = old row shown at i
    void clear();
    void reserve(int rows);

    // The filter line's narrowing of a fill. The whole fill stays: fillRowCount() and fillText()
    // read it in its own order whether or not it is narrowed; showOnly() shows the given rows of
    // it (numbers among fillRowCount()), showAll() every one again. A row removed meanwhile stays
    // removed; an order applied meanwhile (reorder) holds for the rows shown only.
    int fillRowCount() const { return static_cast<int>(narrowed_ ? fill_.size() : rows_.size()); }
    std::string_view fillText(int fillRow, int column) const;
    void showOnly(const std::vector<int>& fillRows);
    void showAll();
    bool isNarrowed() const { return narrowed_; }

private:
    static constexpr uint32_t NullLength = UINT32_MAX;
    struct Cell {
        uint32_t offset;
        uint32_t length;
    };
    const Cell& cell(int row, int column) const { return cells_[rows_[row] * Columns + column]; }
    Cell store(const char* bytes, size_t length);
    std::string_view view(const Cell& c) const {
        return c.length == NullLength ? std::string_view() : std::string_view(arena_.data() + c.offset, c.length);
    }

    std::string arena_;
    std::vector<Cell> cells_;
    std::vector<Cell> groups_; // per row read, when the statement gave the group
    std::vector<uint32_t> rows_; // the rows shown, as indexes into cells_ / Columns
    std::vector<uint32_t> fill_; // while narrowed: every row of the fill, as rows_ held them
    bool narrowed_ = false;
    bool keepsGroups_ = false;
};
