#pragma once
// Kept properties in the syntax of the version a card is written in: a card read as vCard 4.0 and
// written as 3.0 (or the other way) must not carry the other version's forms, which readers of that
// version reject or misread.
#include "core/exchange/VCardWriter.h"

#include <QString>

namespace versionsyntax {

// The property's name without its group ("item1.TEL" gives "TEL"), in capitals.
QString nameOf(const QString& line);

// A content line as `version` writes it: a BDAY whose value is a date not in the version's own form
// (1985/5/17, 1985年5月17日, --0517 in 3.0, 1985-05-17 or Apple's 1604-05-17 in 4.0) gets the date in
// that form; a 4.0 TEL URI (TEL;VALUE=uri:tel:+86...) becomes the number in 3.0. Every other line,
// and every line already right, stays as it is.
QString inVersion(const QString& line, VCardVersion version);

// The parameters of a PHOTO line whose picture follows inline: in 3.0 with its TYPE (from the
// picture's extension when it has none) and without 4.0's MEDIATYPE and VALUE; in 4.0 without 3.0's
// ENCODING and picture TYPE. `header` is the line before the colon.
QString photoHeader(const QString& header, const QString& type30, VCardVersion version);

// A person's kept CATEGORIES line once they are in another group: CATEGORIES with the group they are
// in now, then the line's other categories as written (all but `oldGroup`, the one they were in
// when the card was read), so that a card in several categories keeps the others. Empty when the
// person is in no group and the line had no others.
QString categoriesLine(const QString& line, const QString& oldGroup, const QString& group);

} // namespace versionsyntax
