#include "core/store/NameSearch.h"

#include "core/store/FieldCatalogue.h"
#include "core/store/Sql.h"

QString escapeLike(const QString& text) {
    QString escaped;
    escaped.reserve(text.size());
    for (const QChar c : text) {
        if (c == u'\\' || c == u'%' || c == u'_')
            escaped += u'\\';
        escaped += c;
    }
    return escaped;
}

namespace {
// SQLite refuses a LIKE pattern longer than this many bytes (its built-in upper limit).
constexpr qsizetype LikePatternLimit = 50000;

bool likeTakes(const QString& pattern) {
    return !pattern.contains(QChar(u'\0')) && pattern.toUtf8().size() <= LikePatternLimit;
}
} // namespace

Query containsCondition(const char* column, const QString& text) {
    const QString pattern = u'%' + escapeLike(text) + u'%';
    if (likeTakes(pattern))
        return {QString::fromUtf8(column) + QString::fromUtf8(sql::SearchContains), {pattern}};
    return {QString::fromUtf8(sql::SearchContainsLong).arg(QString::fromUtf8(column)), {text}};
}

bool isPinyinText(const QString& typed) {
    bool letter = false;
    for (const QChar c : typed) {
        const bool isLetter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!isLetter && c != u' ')
            return false;
        letter = letter || isLetter;
    }
    return letter;
}

Query nameCondition(const QString& typed) {
    const QString namePattern = u'%' + escapeLike(typed) + u'%';
    if (!isPinyinText(typed) || !likeTakes(namePattern)) {
        const Query contains = containsCondition(catalogue::info(catalogue::Field::Name).column, typed);
        return {QString(u'(') + contains.where + u')', contains.binds};
    }
    // Letters only here, so nothing in them needs escaping.
    const QString letters = typed.toLower().remove(u' ');
    return {QString::fromUtf8(sql::NameOrPinyinCondition),
            {namePattern, letters + u'%', QStringLiteral("% ") + letters + u'%', u'%' + letters + u'%'}};
}
