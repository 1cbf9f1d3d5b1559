#include "core/rules/SearchBuilder.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/NameSearch.h"
#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "core/text/TypedDate.h"


namespace search {

QString containsPattern(const QString& text) {
    return u'%' + escapeLike(text) + u'%';
}

QString typedNumberDigits(const QString& text) {
    QString digits;
    for (const QChar c : text) {
        if (c.isDigit() && c.unicode() < 128)
            digits += c;
        else if (c != u' ' && c != u'-' && c != u'(' && c != u')' && c != u'+' && c != u'.')
            return {};
    }
    const QString trimmed = text.trimmed();
    if (trimmed.startsWith(u"+86") && digits.startsWith(u"86"))
        digits.remove(0, 2);
    else if (trimmed.startsWith(u"0086") && digits.startsWith(u"0086"))
        digits.remove(0, 4);
    return digits;
}

namespace {

using catalogue::Field;

void append(Query& into, const Query& part, const char* joiner = sql::SearchOr) {
    if (!into.where.isEmpty())
        into.where += QString::fromUtf8(joiner);
    into.where += part.where;
    into.binds << part.binds;
}

// The column (a column of phone, or the typed values' `value`) contains the text, or, for a number,
// its digits contain the typed number's digits.
Query containsOrDigits(const char* column, const QString& text, bool number) {
    Query condition = containsCondition(column, text);
    const QString digits = number ? typedNumberDigits(text) : QString();
    if (!digits.isEmpty()) {
        append(condition, {QString::fromUtf8(sql::NumberDigits).arg(QString::fromUtf8(column)) +
                               QString::fromUtf8(sql::SearchContains),
                           {u'%' + digits + u'%'}});
    }
    return condition;
}

// The people with a typed value of `field` that contains the text.
Query typedCondition(Field field, const QString& text, bool number) {
    const Query inner = containsOrDigits("value", text, number);
    return {QString::fromUtf8(sql::SearchTypedValues).arg(inner.where),
            QStringList{QString::fromLatin1(catalogue::info(field).id)} + inner.binds};
}

// A column's own condition, or its typed values of `field` (the other numbers, addresses...).
Query columnOrTyped(int box, const QString& text, Field field, bool number) {
    Query condition = containsOrDigits(catalogue::listed()[static_cast<size_t>(box)]->column, text, number);
    append(condition, typedCondition(field, text, number));
    condition.where = u'(' + condition.where + u')';
    return condition;
}

} // namespace

Query boxCondition(int box, const QString& text) {
    // The name box also finds people by the pinyin of their names ("zs" finds 张三).
    if (box == 0)
        return nameCondition(text);
    // The birthday box: a whole date, as the record form would take it, is matched as a date; a
    // part of one (1985, 1985-12, 12-08) is looked for in the stored text as before.
    if (box == 1) {
        if (const std::optional<QDate> date = typedDate(text)) {
            if (birthday::isYearless(*date))
                return Query{QString::fromUtf8(sql::SearchBirthdayMonthDay), {storedDate(*date).mid(5)}};
            return Query{QString::fromUtf8(sql::SearchBirthdayIs), {storedDate(*date)}};
        }
    }
    if (box >= BoxCount)
        return typedCondition(ValueBoxFields[box - BoxCount], text, false);
    // The boxes are the listed fields of the catalogue, in their order.
    switch (catalogue::listed()[static_cast<size_t>(box)]->field) {
    case Field::Mobile:
    case Field::WorkPhone:
    case Field::HomePhone:
    case Field::Fax:
        return columnOrTyped(box, text, Field::Phone, true);
    case Field::Email:
        return columnOrTyped(box, text, Field::OtherEmail, false);
    case Field::Address:
        return columnOrTyped(box, text, Field::OtherAddress, false);
    default:
        return containsCondition(catalogue::listed()[static_cast<size_t>(box)]->column, text);
    }
}

Query buildQuery(const BoxTexts& texts) {
    Query query;
    for (int box = 0; box < AllBoxCount; ++box) {
        const QString& text = texts[box];
        if (text.isEmpty())
            continue;
        const Query condition = boxCondition(box, text);
        if (!query.where.isEmpty())
            query.where += QString::fromUtf8(sql::SearchAnd);
        query.where += condition.where;
        query.binds << condition.binds;
    }
    return query;
}

} // namespace search
