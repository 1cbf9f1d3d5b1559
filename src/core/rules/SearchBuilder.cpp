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
    // The boxes are the listed fields of the catalogue, in their order.
    return containsCondition(catalogue::listed()[static_cast<size_t>(box)]->column, text);
}

Query buildQuery(const BoxTexts& texts) {
    Query query;
    for (int box = 0; box < BoxCount; ++box) {
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
