#include "core/store/Schema.h"

#include "core/store/Connection.h"
#include "core/store/ContactUidTable.h"
#include "core/store/DataFiles.h"
#include "core/store/SchemaSql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"

#include <QFileInfo>
#include <algorithm>
#include <iterator>
#include <tuple>
#include <map>
#include <set>
#include <sqlite3.h>

namespace schema {
namespace {

using Object = Snapshot::Object;

// ---------------------------------------------------------------------------------------------
// The steps. Step N brings a file of version N - 1 to version N.

bool hasTable(Connection& connection, const char* name) {
    Statement exists(connection, schemasql::TableExists);
    exists.bind(1, name);
    return exists.step() && exists.integer(0) > 0;
}

std::set<std::string> columnsOf(Connection& connection, const char* table) {
    std::set<std::string> names;
    Statement columns(connection, schemasql::ColumnNames);
    columns.bind(1, table);
    while (columns.step())
        names.emplace(columns.view(0));
    return names;
}

// Every earlier build: the program's tables in whatever part of them a file has, the columns added to
// the recently deleted people's table since its first release, each contact's UID when the table is
// new (the form older builds wrote into cards), the indexes and the triggers.
void step1(Connection& connection) {
    connection.exec(schemasql::Step1Tables);
    const std::set<std::string> deleted = columnsOf(connection, schemasql::Step1DeletedTable);
    for (const auto& [column, alter] : schemasql::Step1DeletedColumns) {
        if (!deleted.contains(column))
            connection.exec(alter);
    }
    if (!hasTable(connection, schemasql::Step1UidTableName)) {
        connection.exec(schemasql::Step1UidTable);
        ContactUidTable(connection).giveEveryContactItsUid();
    }
    connection.exec(schemasql::Step1Indexes);
    connection.exec(schemasql::Step1Triggers);
}

// The typed values: a table, its index, the column of the recently deleted people that keeps them,
// and the triggers that delete them with the person and mark the sync's change.
void step2(Connection& connection) {
    connection.exec(schemasql::Step2Tables);
    if (!columnsOf(connection, schemasql::Step1DeletedTable).contains(schemasql::Step2DeletedColumn[0]))
        connection.exec(schemasql::Step2DeletedColumn[1]);
    connection.exec(schemasql::Step2Triggers);
}

struct Step {
    int version;
    void (*run)(Connection&);
};

constexpr Step Steps[] = {
    {1, step1},
    {2, step2},
};

constexpr int CurrentVersion = Steps[std::size(Steps) - 1].version;

// ---------------------------------------------------------------------------------------------

std::vector<Object> objectsOf(Connection& connection) {
    std::vector<Object> objects;
    Statement rows(connection, schemasql::SchemaRows);
    while (rows.step())
        objects.push_back({std::string(rows.view(0)), std::string(rows.view(1)), std::string(rows.view(2)),
                           std::string(rows.view(3))});
    return objects;
}

int versionOf(Connection& connection) {
    Statement version(connection, schemasql::UserVersion);
    return version.step() ? static_cast<int>(version.integer(0)) : 0;
}

void setVersion(Connection& connection, int version) {
    connection.exec(QString::fromLatin1(schemasql::SetUserVersion).arg(version).toUtf8().constData());
}

void makeDirectoryTables(Connection& connection) {
    connection.exec(schemasql::CreatePhone);
    connection.exec(schemasql::CreateGroups);
}

void runSteps(Connection& connection, int from) {
    for (const Step& step : Steps) {
        if (step.version > from)
            step.run(connection);
    }
}

// Every table, index and trigger of the program as this build makes them, read back from a scratch
// file in memory made by the steps themselves: the allow-list is what the steps write, by
// construction. Keyed by name (SQLite's names are unique across types).
const std::map<std::string, Object>& expected() {
    static const std::map<std::string, Object> objects = [] {
        Connection scratch(QStringLiteral(":memory:"), SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_MEMORY);
        makeDirectoryTables(scratch);
        scratch.exec(schemasql::CreateNextBirthdayIndexes);
        runSteps(scratch, 0);
        std::map<std::string, Object> byName;
        for (Object& object : objectsOf(scratch)) {
            // SQLite's own objects, and the two tables of the directory, which every file brings.
            const bool directory = object.type == "table" && (object.name == "phone" || object.name == "分类");
            if (!directory && object.name.rfind("sqlite_", 0) != 0)
                byName.emplace(object.name, std::move(object));
        }
        return byName;
    }();
    return objects;
}

bool isProgramName(const std::string& name) {
    return expected().contains(name);
}

// An index of the next-birthday column exists only once the column does.
bool wantedIn(const Object& object, const Snapshot& snapshot) {
    return snapshot.hasNextBirthdayColumn || object.sql.find(schemasql::NextBirthdayColumn) == std::string::npos;
}

bool exact(const Object& object) {
    const auto found = expected().find(object.name);
    return found != expected().end() && found->second.type == object.type && found->second.sql == object.sql;
}

// The triggers and views to drop: every one that is not exactly the program's own, and program
// indexes of another text.
std::vector<const Object*> notOurs(const Snapshot& snapshot) {
    std::vector<const Object*> found;
    for (const Object& object : snapshot.objects) {
        const bool code = object.type == "trigger" || object.type == "view";
        const bool ownIndex = object.type == "index" && isProgramName(object.name);
        if ((code || ownIndex) && !exact(object))
            found.push_back(&object);
    }
    // Told in a steady order: triggers, then views, each by name.
    std::sort(found.begin(), found.end(), [](const Object* a, const Object* b) {
        return std::tie(a->type, a->name) < std::tie(b->type, b->name);
    });
    return found;
}

std::vector<const Object*> missing(const Snapshot& snapshot) {
    std::set<std::string> present;
    for (const Object& object : snapshot.objects) {
        if (exact(object) || (object.type == "table" && isProgramName(object.name)))
            present.insert(object.name);
    }
    std::vector<const Object*> found;
    for (const auto& [name, object] : expected()) {
        if (!present.contains(name) && wantedIn(object, snapshot))
            found.push_back(&object);
    }
    // Tables before what stands on them.
    std::stable_sort(found.begin(), found.end(),
                     [](const Object* a, const Object* b) { return (a->type == "table") > (b->type == "table"); });
    return found;
}

QString label(const Object& object) {
    return (object.type == "trigger" ? QStringLiteral("触发器 ") : QStringLiteral("视图 ")) +
           QString::fromStdString(object.name);
}

// A name from the file goes into a statement only as a quoted identifier, its quotes doubled.
std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

const char* dropPrefix(const Object& object) {
    if (object.type == "trigger")
        return schemasql::DropTriggerPrefix;
    if (object.type == "view")
        return schemasql::DropViewPrefix;
    return schemasql::DropIndexPrefix;
}

void prepareReadOnly(Connection& connection, const Snapshot& snapshot) {
    QStringList views;
    for (const Object& object : snapshot.objects) {
        if (object.type == "view")
            views.append(label(object));
    }
    // A trigger runs only on a write, and a file opened read-only is never written: only a view could
    // still harm a read.
    if (!views.isEmpty())
        throw StoreError(("数据文件中有不是本程序建立的" + views.join(QStringLiteral("、")) + "，只读的文件不能清除它们")
                             .toStdString());
    auto has = [&](const char* name) {
        return std::any_of(snapshot.objects.begin(), snapshot.objects.end(),
                           [&](const Object& object) { return object.type == "table" && object.name == name; });
    };
    if (!has("pinyin"))
        connection.exec(schemasql::CreateTempPinyin);
    if (!has("zinteva_lunar_birthdays"))
        connection.exec(schemasql::CreateTempLunarBirthdays);
}

[[noreturn]] void failedStep(const StoreError& error, int from, int to, const QString& copy) {
    QString text = QStringLiteral("数据文件的结构从版本 %1 升级到版本 %2 没有成功，这一步已经撤销，文件保持原样: %3")
                       .arg(from)
                       .arg(to)
                       .arg(error.message());
    if (!copy.isEmpty())
        text += QStringLiteral("\n升级前的副本: ") + copy;
    throw StoreError(text.toStdString(), error.code(), error.extendedCode());
}

} // namespace

int currentVersion() {
    return CurrentVersion;
}

QString copyAsideName(const QString& path, int version) {
    QString name = path + QStringLiteral(".v%1.bak").arg(version);
    for (int n = 2; QFileInfo(name).exists() || QFileInfo(name).isSymLink(); ++n)
        name = path + QStringLiteral(".v%1-%2.bak").arg(version).arg(n);
    return name;
}

Snapshot read(Connection& connection) {
    Snapshot snapshot;
    snapshot.version = versionOf(connection);
    if (snapshot.version > CurrentVersion)
        throw StoreError(QStringLiteral("数据文件是较新版本的本程序写的（结构版本 %1，本程序只认识到版本 %2），"
                                        "为了不损坏它，本程序不打开它。请使用新版本的程序。")
                             .arg(snapshot.version)
                             .arg(CurrentVersion)
                             .toStdString());
    snapshot.objects = objectsOf(connection);
    // SQLite's names are case-insensitive: the file's own spelling of phone counts.
    auto table = [&](const char* name) {
        return std::any_of(snapshot.objects.begin(), snapshot.objects.end(), [&](const Object& object) {
            return object.type == "table" && sqlite3_stricmp(object.name.c_str(), name) == 0;
        });
    };
    for (const char* name : {"phone", "分类"}) {
        if (!table(name))
            throw StoreError(std::string("数据文件中没有表 ") + name);
    }
    snapshot.hasNextBirthdayColumn = columnsOf(connection, "phone").contains(schemasql::NextBirthdayColumn);
    return snapshot;
}

Prepared prepare(Connection& connection, const Snapshot& snapshot, const QString& path) {
    Prepared prepared;
    if (connection.isReadOnly()) {
        prepareReadOnly(connection, snapshot);
        return prepared;
    }
    const std::vector<const Object*> drop = notOurs(snapshot);
    const std::vector<const Object*> create = missing(snapshot);
    if (snapshot.version == CurrentVersion && drop.empty() && create.empty())
        return prepared;

    if (snapshot.version < CurrentVersion) {
        prepared.copiedAside = copyAsideName(path, snapshot.version);
        QString error;
        if (!copyDatabase(path, prepared.copiedAside, &error))
            throw StoreError(("升级数据文件的结构之前不能复制它，没有升级: " + error).toStdString());
    }

    // First what is not the program's, so that nothing of the file runs on the steps' own writes.
    for (const Object* object : drop) {
        // A program trigger of an earlier build's text is the program's own; at the current version
        // another text was put there by somebody else.
        if (object->type != "index" && (!isProgramName(object->name) || snapshot.version == CurrentVersion))
            prepared.dropped.append(label(*object));
    }
    if (!drop.empty()) {
        Transaction transaction(connection, Transaction::Lock::Immediate);
        try {
            for (const Object* object : drop)
                connection.exec((dropPrefix(*object) + quoted(object->name)).c_str());
            transaction.commit();
        } catch (const StoreError& e) {
            throw StoreError("不能清除数据文件中不是本程序建立的触发器和视图: " + e.detail().toStdString(), e.code(),
                             e.extendedCode());
        }
    }

    int version = snapshot.version;
    for (const Step& step : Steps) {
        if (step.version <= version)
            continue;
        try {
            Transaction transaction(connection, Transaction::Lock::Immediate);
            step.run(connection);
            setVersion(connection, step.version);
            transaction.commit();
        } catch (const StoreError& e) {
            failedStep(e, version, step.version, prepared.copiedAside);
        }
        version = step.version;
    }

    // A file at the current version that lost a table, an index or a trigger of the program (a tool
    // dropped it, an earlier build's text was dropped above) gets it back as the steps make it.
    const std::vector<const Object*> stillMissing = missing(read(connection));
    if (!stillMissing.empty()) {
        Transaction transaction(connection, Transaction::Lock::Immediate);
        for (const Object* object : stillMissing)
            connection.exec(object->sql.c_str());
        connection.exec(schemasql::Seeds);
        transaction.commit();
    }
    return prepared;
}

void createEmpty(Connection& connection) {
    Transaction transaction(connection);
    makeDirectoryTables(connection);
    connection.exec(schemasql::CreateNextBirthdayIndexes);
    runSteps(connection, 0);
    setVersion(connection, CurrentVersion);
    transaction.commit();
}

void addNextBirthdayColumn(Connection& connection) {
    Transaction transaction(connection);
    connection.exec(schemasql::AddNextBirthdayColumn);
    connection.exec(schemasql::CreateNextBirthdayIndexes);
    transaction.commit();
}

} // namespace schema
