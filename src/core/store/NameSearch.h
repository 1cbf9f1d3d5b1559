#pragma once
// The search form's condition for the name box, with the pinyin alternatives: besides
// the names that contain the typed text, the contacts whose pinyin initials start with the typed
// letters ("zs" finds 张三 and 赵四, not 李四) or whose full pinyin contains them ("zhangs" and
// "zhang san" find 张三; blanks typed between syllables are left out).
#include "core/store/Query.h"

#include <QString>

// '%', '_' and '\' taken literally in a pattern used with "like ? escape '\'".
QString escapeLike(const QString& text);

// "column contains text", folding ASCII case, as a where fragment with its one bind: a LIKE pattern
// with the text's own %, _ and \ escaped; or, where LIKE cannot take the text (a pattern longer than
// SQLite allows, or a NUL character, at which LIKE stops reading its pattern and would find far too
// much), a plain substring test that folds case the same way.
Query containsCondition(const char* column, const QString& text);

// The condition for the name box holding `typed` (exactly as typed: nothing trimmed), as a
// parenthesised fragment of a where clause with its binds, to be joined to the other boxes'
// conditions with " and ". The name part is the plain one (姓名 contains the text, which
// here is bound and escaped, never spliced). The pinyin alternatives apply only when the text
// holds ASCII letters and blanks alone, with at least one letter.
Query nameCondition(const QString& typed);

// True when `typed` gets the pinyin alternatives.
bool isPinyinText(const QString& typed);
