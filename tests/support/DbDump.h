#pragma once
// What a data file holds, as one text: the schema and every row of every table (autoincrement
// counters included), in a fixed order, so that two states compare with ==. Contacts' UIDs, being
// random, show as "<uid>".
#include <QString>

struct sqlite3;

QString dumpDatabase(sqlite3* db);
// Opens the file read-write (so that SQLite rolls back a hot journal first, as the program would),
// dumps it and closes it. Throws StoreError when the file cannot be read.
QString dumpFile(const QString& path);
// "ok", or every complaint of PRAGMA integrity_check joined by newlines.
QString integrityOf(sqlite3* db);
QString integrityOfFile(const QString& path);
