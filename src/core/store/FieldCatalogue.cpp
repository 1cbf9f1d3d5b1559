#include "core/store/FieldCatalogue.h"

#include <vector>

namespace catalogue {

namespace {

using rows::Rows;

// Each row sits at its enum's place, so that info() is an index.
constexpr bool rowsInEnumOrder() {
    for (size_t i = 0; i < std::size(Rows); ++i)
        if (static_cast<size_t>(Rows[i].field) != i)
            return false;
    return true;
}

struct Views {
    std::vector<const FieldInfo*> columns, listed, texts;
    std::vector<std::pair<QString, const FieldInfo*>> byColumn;
    Views() {
        for (const FieldInfo& row : Rows) {
            if (row.storage != Storage::Column)
                continue;
            byColumn.emplace_back(QString::fromUtf8(row.column), &row);
            columns.push_back(&row);
            if (row.listed)
                listed.push_back(&row);
            if (row.kind == ColumnKind::Text && row.field != Field::Name)
                texts.push_back(&row);
        }
    }
};

const Views& views() {
    static const Views v;
    return v;
}

} // namespace

std::span<const FieldInfo> all() {
    static_assert(rowsInEnumOrder(), "the rows follow the enum");
    return Rows;
}

const FieldInfo& info(Field field) {
    return Rows[static_cast<size_t>(field)];
}

const FieldInfo* byId(QStringView id) {
    for (const FieldInfo& row : Rows)
        if (id == QLatin1String(row.id))
            return &row;
    return nullptr;
}

const FieldInfo* byColumn(QStringView column) {
    for (const auto& [name, row] : views().byColumn)
        if (column == name)
            return row;
    return nullptr;
}

std::span<const FieldInfo* const> columns() {
    return views().columns;
}

std::span<const FieldInfo* const> listed() {
    return views().listed;
}

std::span<const FieldInfo* const> texts() {
    return views().texts;
}

qsizetype characters(QStringView text) {
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate())
            ++i;
        ++n;
    }
    return n;
}

QString cut(const QString& text, int limit) {
    if (limit <= 0 || text.size() <= limit)
        return text;
    qsizetype end = 0;
    for (int n = 0; n < limit && end < text.size(); ++n)
        end += text[end].isHighSurrogate() && end + 1 < text.size() && text[end + 1].isLowSurrogate() ? 2 : 1;
    return text.left(end);
}

std::string columnList(std::span<const FieldInfo* const> fields, std::string_view separator, std::string_view pattern) {
    std::string out;
    for (const FieldInfo* field : fields) {
        if (!out.empty())
            out += separator;
        for (const char c : pattern) {
            if (c == '%')
                out += field->column;
            else if (c == '#')
                out += field->sqlType;
            else
                out += c;
        }
    }
    return out;
}

} // namespace catalogue
