#pragma once
// The order of the list's rows after a click on a column header: the name column in pinyin order
// with Latin names among the Chinese ones ("Alice" between 阿明 and 白雪), the birthday by date,
// every other column as text (numbers too, as the user typed them). Empty cells come last in
// either direction. The sort is stable: rows with equal keys keep the order they had, so a click
// on one column after another sorts by the second, then by the first.
//
// Each row's key is made once (sortKeysOf), never per comparison: 100,000 rows sort in a few tens
// of milliseconds. Pure functions of the rows: no data file, no window.
#include "core/store/RowTable.h"

#include <QtCore/qnamespace.h>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

// The stored pinyin sort key of every contact's name, by contact key (pinyinkeys::loadSortKeys).
// A row whose contact is missing here has its key made from its name on the spot (slow for many
// rows: ICU, about 25 µs a name). Looked up by the number in the key ("friend" + id), without
// hashing strings: the lookups are most of the cost of sorting by name.
class NameSortKeys {
public:
    void add(std::string_view contactKey, std::string_view sortKey);
    // Nothing when the contact has no stored key.
    std::optional<std::string_view> find(std::string_view contactKey) const;
    size_t size() const { return count_; }

private:
    struct Span {
        uint32_t offset = 0;
        uint32_t length = UINT32_MAX; // UINT32_MAX: none
    };
    static std::optional<int64_t> idOf(std::string_view contactKey);
    std::string bytes_;
    std::vector<Span> byId_;                        // dense ids, the usual case
    std::unordered_map<int64_t, Span> sparse_;      // ids far beyond the contacts' number
    std::unordered_map<std::string, Span> foreign_; // keys not of the form "friend" + id
    size_t count_ = 0;
};

// One key per row of a RowTable, in the table's current row order, for one column.
struct ColumnSortKeys {
    struct Key {
        uint64_t prefix = 0; // the key's first 8 bytes, big-endian: most comparisons end here
        uint32_t offset = 0; // into bytes
        uint32_t length = 0;
        uint32_t row = 0;
        bool empty = true; // sorted last in either direction
    };
    int column = -1;
    std::string bytes;
    std::vector<Key> keys;
};

// Makes the keys of one column. names is used for RowTable::NameColumn only; without it every
// name's key is made from the name (correct, but slow for a large list).
ColumnSortKeys sortKeysOf(const RowTable& rows, int column, const NameSortKeys* names = nullptr);

// The new order: order[i] is the row (in the table's current order) to show at i, as
// RowTable::reorder takes it.
std::vector<int> rowOrder(const ColumnSortKeys& keys, Qt::SortOrder order);
std::vector<int> rowOrder(const RowTable& rows, int column, Qt::SortOrder order, const NameSortKeys* names = nullptr);
