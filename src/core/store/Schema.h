#pragma once
// The one owner of the data file's schema: the only code that makes or changes its tables, indexes
// and triggers. A file carries its version in `pragma user_version` (0: a file of the directory alone,
// or one written by a build from before versions, in any of their shapes); numbered steps, each one
// transaction, bring it to the current version. The owner knows the exact text of every trigger and
// view of the program: before the first write, every other one is dropped, whatever its name, and a
// program trigger with another text is made again.
//
// To add a step: write its statements in store/SchemaSql.h and add one line to `Steps` in Schema.cpp.
#include <QString>
#include <QStringList>
#include <string>
#include <vector>

class Connection;

namespace schema {

// The version this build writes.
int currentVersion();

// The file's schema as read once when it is opened.
struct Snapshot {
    struct Object {
        std::string type, name, table, sql;
    };
    int version = 0;
    std::vector<Object> objects;
    bool hasNextBirthdayColumn = false;
};

// Reads the version and the schema rows. Throws StoreError when the file is of a newer version than
// this build knows (it is then never written), or when it lacks the table phone or 分类.
Snapshot read(Connection& connection);

// What bringing the file up did.
struct Prepared {
    QStringList dropped; // "触发器 x" / "视图 y": what the file brought that is not the program's
    QString copiedAside; // the copy of the file taken before a migration; empty when none ran
};

// Brings a file opened for writing to the current version and the program's exact triggers, before
// any other write. Unchanged files at the current version cost nothing beyond `snapshot`. Before a
// migration the file at `path` is copied aside (beside it, private, named after its version); a step
// that fails is rolled back, and the error says so. A file opened read-only is never written: its
// triggers stay (they run only on writes), a view refuses the file, and the tables the reads expect
// are made in temp when missing. Throws StoreError.
Prepared prepare(Connection& connection, const Snapshot& snapshot, const QString& path);

// A new data file: the two tables of the directory and everything of the program, current version.
void createEmpty(Connection& connection);

// The upgrade of a file without the next-birthday column: the column and its indexes, one transaction.
void addNextBirthdayColumn(Connection& connection);

// The name of the copy taken of `path` before it is brought up from `version` (first free of
// "<path>.v<version>.bak", "<path>.v<version>-2.bak", ...).
QString copyAsideName(const QString& path, int version);

} // namespace schema
