#include "core/store/ValueLists.h"

#include "core/store/FieldCatalogue.h"

#include <algorithm>

namespace valuelists {

namespace {

using catalogue::Field;

const ColumnOfKind Kinds[] = {
    {&ContactFields::mobile, Field::Phone, u"手机"},
    {&ContactFields::workPhone, Field::Phone, u"工作"},
    {&ContactFields::homePhone, Field::Phone, u"家庭"},
    {&ContactFields::fax, Field::Phone, u"传真"},
    {&ContactFields::email, Field::OtherEmail, nullptr},
};

bool ofKind(const TypedValue& row, const ColumnOfKind& kind) {
    return row.field == kind.field && (!kind.label || row.label == QStringView(kind.label));
}

QString labelOf(const ColumnOfKind& kind) {
    return kind.label ? QString::fromUtf16(kind.label) : QString();
}

} // namespace

std::span<const ColumnOfKind> columnKinds() {
    return Kinds;
}

int rowOfColumn(const std::vector<TypedValue>& rows, const ColumnOfKind& kind) {
    const auto found = std::find_if(rows.begin(), rows.end(), [&](const TypedValue& row) { return ofKind(row, kind); });
    return found == rows.end() ? -1 : static_cast<int>(found - rows.begin());
}

std::vector<TypedValue> spread(const ContactFields& fields) {
    std::vector<TypedValue> rows;
    rows.reserve(fields.values.size() + std::size(Kinds));
    for (const ColumnOfKind& kind : Kinds) {
        if (!(fields.*kind.column).isEmpty())
            rows.push_back({kind.field, labelOf(kind), fields.*kind.column, QString()});
    }
    rows.insert(rows.end(), fields.values.begin(), fields.values.end());
    return rows;
}

void gather(ContactFields& fields, const std::vector<TypedValue>& rows) {
    std::vector<bool> taken(rows.size(), false);
    for (const ColumnOfKind& kind : Kinds) {
        QString& column = fields.*kind.column;
        column.clear();
        for (size_t i = 0; i < rows.size(); ++i) {
            if (!taken[i] && ofKind(rows[i], kind) && !rows[i].value.isEmpty()) {
                column = rows[i].value;
                taken[i] = true;
                break;
            }
        }
    }
    fields.values.clear();
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!taken[i] && (!rows[i].value.isEmpty() || !rows[i].line.isEmpty()))
            fields.values.push_back(rows[i]);
    }
}

void setColumn(std::vector<TypedValue>& rows, const ColumnOfKind& kind, const QString& text) {
    if (const int row = rowOfColumn(rows, kind); row >= 0) {
        TypedValue& value = rows[static_cast<size_t>(row)];
        if (value.value != text) {
            value.value = text;
            value.line.clear(); // written anew from the value
        }
        return;
    }
    if (text.isEmpty())
        return;
    const auto last = std::find_if(rows.rbegin(), rows.rend(), [&](const TypedValue& row) { return row.field == kind.field; });
    rows.insert(last == rows.rend() ? rows.end() : last.base(), TypedValue{kind.field, labelOf(kind), text, QString()});
}

QStringList structuredParts(const QString& value) {
    QStringList parts{QString()};
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            parts.back() += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
        } else if (c == u';') {
            parts.append(QString());
        } else {
            parts.back() += c;
        }
    }
    return parts;
}

QString joinParts(const QStringList& parts, qsizetype keep) {
    qsizetype count = parts.size();
    while (count > keep && parts[count - 1].isEmpty())
        --count;
    QStringList escaped;
    for (qsizetype i = 0; i < count; ++i) {
        QString part = parts[i];
        part.replace(u'\\', QStringLiteral("\\\\")).replace(u';', QStringLiteral("\\;")).replace(u',', QStringLiteral("\\,"));
        escaped << part;
    }
    return escaped.join(u';');
}

} // namespace valuelists
