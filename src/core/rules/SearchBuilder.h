#pragma once
// The search form's statement, built without any window: one condition per filled box, all of
// which must hold. Typed texts are bound, never spliced, and match only themselves.
#include "core/store/FieldCatalogue.h"
#include "core/store/Query.h"

#include <QString>
#include <array>
#include <iterator>

namespace search {

// Text1 to Text14: a box per field the list shows (姓名 ... 备注), in the catalogue's order.
inline constexpr int BoxCount = catalogue::listedCount();
// After them, boxes for values beyond the columns: 单位, 职务, 微信.
inline constexpr catalogue::Field ValueBoxFields[] = {catalogue::Field::Organization, catalogue::Field::Title,
                                                      catalogue::Field::WeChat};
inline constexpr int ValueBoxCount = static_cast<int>(std::size(ValueBoxFields));
inline constexpr int AllBoxCount = BoxCount + ValueBoxCount;
using BoxTexts = std::array<QString, AllBoxCount>;

// "Contains" as a LIKE pattern: %text% with the text's own %, _ and \ escaped by \.
QString containsPattern(const QString& text);

// The condition of box number box (0 for Text1): its column contains text. A fragment of the where
// clause with its own binds, so that a box may ask more than one thing. A box of numbers also finds
// any of the person's other numbers, and by its digits alone (with or without +86); the e-mail and
// address boxes find the other e-mail addresses and addresses too; a value box (box >= BoxCount)
// finds the typed values of its field.
Query boxCondition(int box, const QString& text);

// The digits of a typed number, the separators and a leading +86 or 0086 left out; empty when the
// text is not a number ("138-0013 8000" gives 13800138000, "+86 138" gives 138, "张" nothing).
QString typedNumberDigits(const QString& text);

// The conditions of every box whose text is not exactly empty (a text of blanks counts as filled),
// in the boxes' order, joined by " and ". An empty Query when no box is filled.
Query buildQuery(const BoxTexts& texts);

} // namespace search
