#include "store/NameSearch.h"

#include "store/Sql.h"

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
    if (!isPinyinText(typed))
        return {QString(u'(') + QString::fromUtf8(sql::NameCondition) + u')', {namePattern}};
    // Letters only here, so nothing in them needs escaping.
    const QString letters = typed.toLower().remove(u' ');
    return {QString::fromUtf8(sql::NameOrPinyinCondition),
            {namePattern, letters + u'%', QStringLiteral("% ") + letters + u'%', u'%' + letters + u'%'}};
}
