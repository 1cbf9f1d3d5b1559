#include "core/store/RowOrder.h"

#include "core/text/Pinyin.h"

#include <QDate>
#include <algorithm>
#include <cstring>

namespace {

uint64_t prefixOf(std::string_view key) {
    uint64_t prefix = 0;
    for (size_t i = 0; i < 8; ++i)
        prefix = (prefix << 8) | (i < key.size() ? static_cast<unsigned char>(key[i]) : 0u);
    return prefix;
}

// A stored birthday (YYYY-MM-DD, perhaps with a time after it) as its 10 characters, which
// compare like the dates; empty when it is no date. Same rule as parseStoredDate, without
// building a QString per row.
std::string_view birthdayKey(std::string_view text) {
    if (text.size() < 10 || text[4] != '-' || text[7] != '-')
        return {};
    int parts[3] = {0, 0, 0};
    const int starts[3] = {0, 5, 8}, lengths[3] = {4, 2, 2};
    for (int p = 0; p < 3; ++p) {
        for (int i = 0; i < lengths[p]; ++i) {
            const char c = text[static_cast<size_t>(starts[p] + i)];
            if (c < '0' || c > '9')
                return {};
            parts[p] = parts[p] * 10 + (c - '0');
        }
    }
    if (!QDate::isValid(parts[0], parts[1], parts[2]))
        return {};
    return text.substr(0, 10);
}

class KeyBuilder {
public:
    explicit KeyBuilder(ColumnSortKeys& keys) : keys_(keys) {}
    void add(int row, std::string_view key, bool foldCase = false) {
        ColumnSortKeys::Key k;
        k.row = static_cast<uint32_t>(row);
        k.empty = key.empty();
        k.offset = static_cast<uint32_t>(keys_.bytes.size());
        k.length = static_cast<uint32_t>(key.size());
        keys_.bytes.append(key);
        if (foldCase) {
            for (size_t i = k.offset; i < keys_.bytes.size(); ++i) {
                char& c = keys_.bytes[i];
                if (c >= 'A' && c <= 'Z')
                    c = static_cast<char>(c - 'A' + 'a');
            }
        }
        keys_.keys.push_back(k);
    }
    // The name's sort key, then the name itself, so that names of the same reading (张三, 章三)
    // still come in one fixed order.
    void addName(int row, std::string_view sortKey, std::string_view name) {
        if (sortKey.empty()) {
            add(row, {});
            return;
        }
        scratch_.assign(sortKey);
        scratch_.push_back('\0');
        scratch_.append(name);
        add(row, scratch_);
    }

private:
    ColumnSortKeys& keys_;
    std::string scratch_;
};

} // namespace

std::optional<int64_t> NameSortKeys::idOf(std::string_view contactKey) {
    constexpr std::string_view prefix = "friend";
    if (contactKey.size() <= prefix.size() || contactKey.size() > prefix.size() + 18 ||
        contactKey.substr(0, prefix.size()) != prefix || contactKey[prefix.size()] == '0')
        return std::nullopt;
    int64_t id = 0;
    for (const char c : contactKey.substr(prefix.size())) {
        if (c < '0' || c > '9')
            return std::nullopt;
        id = id * 10 + (c - '0');
    }
    return id;
}

void NameSortKeys::add(std::string_view contactKey, std::string_view sortKey) {
    const Span span{static_cast<uint32_t>(bytes_.size()), static_cast<uint32_t>(sortKey.size())};
    bytes_.append(sortKey);
    ++count_;
    const std::optional<int64_t> id = idOf(contactKey);
    if (!id) {
        foreign_[std::string(contactKey)] = span;
        return;
    }
    // A dense table while the ids stay within a few times the number of keys; beyond that, ids
    // left by many deletions, a hash of numbers.
    const auto limit = static_cast<int64_t>(4 * count_ + 4096);
    if (*id < limit) {
        if (static_cast<size_t>(*id) >= byId_.size())
            byId_.resize(static_cast<size_t>(std::max<int64_t>(*id + 1, static_cast<int64_t>(byId_.size()) * 2)));
        byId_[static_cast<size_t>(*id)] = span;
    } else {
        sparse_[*id] = span;
    }
}

std::optional<std::string_view> NameSortKeys::find(std::string_view contactKey) const {
    const Span* span = nullptr;
    if (const std::optional<int64_t> id = idOf(contactKey)) {
        if (static_cast<size_t>(*id) < byId_.size()) {
            span = &byId_[static_cast<size_t>(*id)];
        } else if (const auto it = sparse_.find(*id); it != sparse_.end()) {
            span = &it->second;
        }
    } else if (const auto it = foreign_.find(std::string(contactKey)); it != foreign_.end()) {
        span = &it->second;
    }
    if (!span || span->length == UINT32_MAX)
        return std::nullopt;
    return std::string_view(bytes_).substr(span->offset, span->length);
}

ColumnSortKeys sortKeysOf(const RowTable& rows, int column, const NameSortKeys* names) {
    ColumnSortKeys result;
    result.column = column;
    const int count = rows.rowCount();
    result.keys.reserve(static_cast<size_t>(count));
    result.bytes.reserve(static_cast<size_t>(count) * 24);
    KeyBuilder builder(result);
    for (int row = 0; row < count; ++row) {
        const std::string_view text = rows.text(row, column);
        if (column == RowTable::NameColumn) {
            const std::optional<std::string_view> stored =
                names ? names->find(rows.text(row, RowTable::KeyColumn)) : std::nullopt;
            if (stored) {
                builder.addName(row, *stored, text);
            } else {
                const QString made = pinyin::keysOf(rows.qtext(row, column)).sortKey;
                builder.addName(row, made.toStdString(), text);
            }
        } else if (column == RowTable::BirthdayColumn) {
            builder.add(row, birthdayKey(text));
        } else {
            builder.add(row, text, true);
        }
    }
    for (ColumnSortKeys::Key& k : result.keys)
        k.prefix = prefixOf(std::string_view(result.bytes).substr(k.offset, k.length));
    return result;
}

std::vector<int> rowOrder(const ColumnSortKeys& keys, Qt::SortOrder order) {
    std::vector<ColumnSortKeys::Key> sorted = keys.keys;
    const char* bytes = keys.bytes.data();
    const bool descending = order == Qt::DescendingOrder;
    auto compare = [bytes](const ColumnSortKeys::Key& a, const ColumnSortKeys::Key& b) {
        if (a.prefix != b.prefix)
            return a.prefix < b.prefix ? -1 : 1;
        const int c = std::memcmp(bytes + a.offset, bytes + b.offset, std::min(a.length, b.length));
        if (c != 0)
            return c;
        return a.length < b.length ? -1 : (a.length > b.length ? 1 : 0);
    };
    std::stable_sort(sorted.begin(), sorted.end(), [&](const ColumnSortKeys::Key& a, const ColumnSortKeys::Key& b) {
        if (a.empty || b.empty)
            return !a.empty && b.empty;
        const int c = compare(a, b);
        return descending ? c > 0 : c < 0;
    });
    std::vector<int> result;
    result.reserve(sorted.size());
    for (const ColumnSortKeys::Key& k : sorted)
        result.push_back(static_cast<int>(k.row));
    return result;
}

std::vector<int> rowOrder(const RowTable& rows, int column, Qt::SortOrder order, const NameSortKeys* names) {
    return rowOrder(sortKeysOf(rows, column, names), order);
}
