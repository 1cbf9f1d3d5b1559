#include "core/store/TypedValues.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/ValueLists.h"

#include <algorithm>

namespace {

// Columns first..first+3: field, label, value, line. A row whose field this build does not know (a
// file edited by hand) is not read as a value.
std::optional<TypedValue> valueAt(const Statement& row, int first) {
    const catalogue::FieldInfo* field = catalogue::byId(row.text(first));
    if (!field || field->storage != catalogue::Storage::Typed)
        return std::nullopt;
    return TypedValue{field->field, row.text(first + 1), row.text(first + 2), row.text(first + 3)};
}

} // namespace

bool firstValuesIntoColumns(ContactFields& fields) {
    bool moved = false;
    for (const valuelists::ColumnOfKind& kind : valuelists::columnKinds()) {
        QString& column = fields.*kind.column;
        if (!column.isEmpty())
            continue;
        const auto first = std::find_if(fields.values.begin(), fields.values.end(), [&](const TypedValue& value) {
            return value.field == kind.field && (!kind.label || value.label == QStringView(kind.label)) &&
                   !value.value.isEmpty();
        });
        if (first == fields.values.end())
            continue;
        column = first->value;
        fields.values.erase(first);
        moved = true;
    }
    return moved;
}

std::vector<TypedValue> TypedValues::load(const QString& contactKey) {
    std::vector<TypedValue> values;
    Statement select(connection_, sql::SelectTypedValues);
    select.bind(1, contactKey);
    while (select.step()) {
        if (auto value = valueAt(select, 0))
            values.push_back(std::move(*value));
    }
    return values;
}

void TypedValues::write(const QString& contactKey, const std::vector<TypedValue>& values) {
    if (load(contactKey) == values)
        return;
    Statement(connection_, sql::DeleteTypedValues).bind(1, contactKey).exec();
    qint64 position = 0;
    for (const TypedValue& value : values) {
        Statement(connection_, sql::InsertTypedValue)
            .bind(1, contactKey)
            .bind(2, QString::fromLatin1(catalogue::info(value.field).id))
            .bind(3, value.label)
            .bind(4, value.value)
            .bind(5, value.line)
            .bind(6, position++)
            .exec();
    }
}

std::unordered_map<std::string, std::vector<TypedValue>> TypedValues::byContactKey() {
    std::unordered_map<std::string, std::vector<TypedValue>> found;
    Statement select(connection_, sql::SelectAllTypedValues);
    while (select.step()) {
        if (auto value = valueAt(select, 1))
            found[std::string(select.view(0))].push_back(std::move(*value));
    }
    return found;
}

std::vector<std::pair<catalogue::Field, int>> TypedValues::mostPerPerson() {
    std::vector<std::pair<catalogue::Field, int>> most;
    Statement select(connection_, sql::MostTypedValuesPerPerson);
    while (select.step()) {
        const catalogue::FieldInfo* field = catalogue::byId(select.text(0));
        if (field && field->storage == catalogue::Storage::Typed)
            most.emplace_back(field->field, static_cast<int>(select.integer(1)));
    }
    return most;
}

int TypedValues::rowCount() {
    Statement count(connection_, sql::CountTypedValues);
    return count.step() ? static_cast<int>(count.integer(0)) : 0;
}

FilterValueKeys TypedValues::loadFilterValues() {
    FilterValueKeys found;
    Statement select(connection_, sql::SelectFilterTypedValues);
    while (select.step()) {
        FilterValues& person = found[std::string(select.view(0))];
        std::string& into = select.view(1) == "phone" ? person.numbers : person.texts;
        if (!into.empty())
            into += '\n';
        into += select.view(2);
    }
    return found;
}
