#pragma once
// Names the program reads from the file itself (a table's columns) written into the SQL of its own
// triggers and statements. Never for a value a user typed: those are bound.
#include <QString>

namespace sqlquote {

// "name", with every " doubled.
QString identifier(const QString& name);
// 'text', with every ' doubled.
QString literal(const QString& text);

} // namespace sqlquote
