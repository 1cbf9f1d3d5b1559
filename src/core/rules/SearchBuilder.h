#pragma once
// The search form's statement, built without any window: one condition per filled box, all of
// which must hold. Typed texts are bound, never spliced, and match only themselves.
#include "core/store/FieldCatalogue.h"
#include "core/store/Query.h"

#include <QString>
#include <array>

namespace search {

// Text1 to Text14: a box per field the list shows (姓名 ... 备注), in the catalogue's order.
inline constexpr int BoxCount = catalogue::listedCount();
using BoxTexts = std::array<QString, BoxCount>;

// "Contains" as a LIKE pattern: %text% with the text's own %, _ and \ escaped by \.
QString containsPattern(const QString& text);

// The condition of box number box (0 for Text1): its column contains text. A fragment of the where
// clause with its own binds, so that a box may ask more than one thing.
Query boxCondition(int box, const QString& text);

// The conditions of every box whose text is not exactly empty (a text of blanks counts as filled),
// in the boxes' order, joined by " and ". An empty Query when no box is filled.
Query buildQuery(const BoxTexts& texts);

} // namespace search
