#include "core/rules/SearchBuilder.h"

#include "core/store/NameSearch.h"
#include "core/store/Sql.h"

#include <iterator>

namespace search {

namespace {
static_assert(std::size(sql::SearchColumns) == BoxCount, "one column per box");
} // namespace

QString containsPattern(const QString& text) {
    return u'%' + escapeLike(text) + u'%';
}

Query boxCondition(int box, const QString& text) {
    // The name box also finds people by the pinyin of their names ("zs" finds 张三).
    if (box == 0)
        return nameCondition(text);
    return containsCondition(sql::SearchColumns[box], text);
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
