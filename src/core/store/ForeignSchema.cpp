#include "core/store/ForeignSchema.h"

#include "core/store/Sql.h"
#include "core/store/Store.h"

#include <sqlite3.h>
#include <string>
#include <vector>

namespace foreignschema {
namespace {

struct Object {
    bool trigger = false;
    std::string name;
};

[[noreturn]] void fail(sqlite3* db, const char* what) {
    throw StoreError(std::string(what) + sqlite3_errmsg(db), sqlite3_errcode(db), sqlite3_extended_errcode(db));
}

std::vector<Object> objects(sqlite3* db) {
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(db, sql::SelectForeignSchema, -1, &statement, nullptr) != SQLITE_OK) {
        sqlite3_finalize(statement);
        fail(db, "不能读取数据文件的结构: ");
    }
    std::vector<Object> found;
    int rc = SQLITE_ROW;
    while ((rc = sqlite3_step(statement)) == SQLITE_ROW) {
        const auto* type = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
        const auto* name = reinterpret_cast<const char*>(sqlite3_column_text(statement, 1));
        found.push_back({type && std::string(type) == "trigger",
                         name ? std::string(name, static_cast<size_t>(sqlite3_column_bytes(statement, 1))) : ""});
    }
    sqlite3_finalize(statement);
    if (rc != SQLITE_DONE)
        fail(db, "不能读取数据文件的结构: ");
    return found;
}

QString label(const Object& object) {
    return (object.trigger ? QStringLiteral("触发器 ") : QStringLiteral("视图 ")) + QString::fromStdString(object.name);
}

// A name from the file goes into the statement only as a quoted identifier, its quotes doubled.
std::string quoted(const std::string& name) {
    std::string out = "\"";
    for (const char c : name) {
        out += c;
        if (c == '"')
            out += '"';
    }
    return out + '"';
}

} // namespace

QStringList find(sqlite3* db) {
    QStringList names;
    for (const Object& object : objects(db))
        names.append(label(object));
    return names;
}

QStringList drop(sqlite3* db) {
    std::vector<Object> found = objects(db);
    const bool readOnly = sqlite3_db_readonly(db, "main") == 1;
    // A trigger runs only on a write, and a file opened read-only is never written: only a view
    // could still harm a read.
    if (readOnly)
        std::erase_if(found, [](const Object& object) { return object.trigger; });
    if (found.empty())
        return {};
    QStringList names;
    for (const Object& object : found)
        names.append(label(object));
    if (readOnly)
        throw StoreError(("数据文件中有不是本程序建立的" + names.join(QStringLiteral("、")) + "，只读的文件不能清除它们")
                             .toStdString());
    std::string script = std::string(sql::BeginImmediate) + ';';
    for (const Object& object : found)
        script += (object.trigger ? sql::DropTriggerPrefix : sql::DropViewPrefix) + quoted(object.name) + ';';
    script += std::string(sql::Commit) + ';';
    char* message = nullptr;
    if (sqlite3_exec(db, script.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        const std::string reason = message ? message : sqlite3_errmsg(db);
        const int code = sqlite3_errcode(db), extended = sqlite3_extended_errcode(db);
        sqlite3_free(message);
        sqlite3_exec(db, sql::Rollback, nullptr, nullptr, nullptr);
        throw StoreError("不能清除数据文件中不是本程序建立的触发器和视图: " + reason, code, extended);
    }
    return names;
}

} // namespace foreignschema
