#include "core/store/Store.h"

#include "core/text/Keys.h"
#include "core/store/LunarBirthdays.h"
#include "core/store/PinyinKeys.h"
#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"
#include "core/store/Transaction.h"

#include <QFileInfo>
#include <SQLiteCpp/SQLiteCpp.h>
#include <cstdio>
#include <sqlite3.h>

namespace {
using storehelpers::columnText;
using storehelpers::guarded;

std::string utf8(const QString& text) {
    return text.toStdString();
}

void bindText(SQLite::Statement& statement, int index, const QString& text) {
    statement.bind(index, utf8(text));
}

void bindDate(SQLite::Statement& statement, int index, const std::optional<QDate>& date) {
    if (date && date->isValid())
        statement.bind(index, utf8(storedDate(*date)));
    else
        statement.bind(index); // Null
}

// The fills read straight from SQLite's C API: no copies between the row and the RowTable.
class RawStatement {
public:
    RawStatement(SQLite::Database& db, const char* text) : db_(db.getHandle()) {
        if (sqlite3_prepare_v2(db_, text, -1, &statement_, nullptr) != SQLITE_OK)
            fail();
    }
    ~RawStatement() { sqlite3_finalize(statement_); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;

    void bind(int index, const std::string& text) {
        if (sqlite3_bind_text(statement_, index, text.data(), static_cast<int>(text.size()), SQLITE_TRANSIENT) !=
            SQLITE_OK)
            fail();
    }
    bool step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            fail();
        return false;
    }
    sqlite3_stmt* get() const { return statement_; }

private:
    [[noreturn]] void fail() { throw StoreError(sqlite3_errmsg(db_)); }
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

void bindFields(SQLite::Statement& statement, const ContactFields& f) {
    int i = 1;
    bindText(statement, i++, f.groupKey);
    bindText(statement, i++, f.name);
    // A lunar birthday with a year of birth keeps its Gregorian day in 生日.
    const std::optional<QDate> lunarDay = f.lunarBirthday ? f.lunarBirthday->gregorian() : std::nullopt;
    bindDate(statement, i++, lunarDay ? lunarDay : f.birthday);
    for (QString ContactFields::*text : PlainTexts)
        bindText(statement, i++, f.*text);
}

} // namespace

std::optional<QDate> parseStoredDate(std::string_view text) {
    // The stored form is YYYY-MM-DD; a time part after it (from older files) is ignored.
    if (text.size() < 10)
        return std::nullopt;
    const QDate date = QDate::fromString(QString::fromLatin1(text.data(), 10), Qt::ISODate);
    if (!date.isValid())
        return std::nullopt;
    return date;
}

QString storedDate(const QDate& date) {
    return QStringLiteral("%1-%2-%3")
        .arg(date.year(), 4, 10, QLatin1Char('0'))
        .arg(date.month(), 2, 10, QLatin1Char('0'))
        .arg(date.day(), 2, 10, QLatin1Char('0'));
}

Store::Store(std::unique_ptr<SQLite::Database> db) : db_(std::move(db)) {}
Store::~Store() = default;

std::unique_ptr<Store> Store::open(const QString& path, const OpenOptions& options) {
    return guarded([&] {
        if (!QFileInfo(path).isFile())
            throw StoreError("数据文件不存在: " + path.toStdString());
        // One connection, used by the window thread alone: SQLite's per-call locking is not needed.
        const int flags = (options.readOnly ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
        auto db = std::make_unique<SQLite::Database>(path.toStdString(), flags | SQLITE_OPEN_URI, 2000,
                                                     options.vfs ? std::string(options.vfs) : std::string());
        std::unique_ptr<Store> store(new Store(std::move(db)));
        // The rollback journal keeps the data file alone the whole database between transactions,
        // so a plain copy of it taken then is a sound backup.
        store->db_->exec(sql::JournalModeDelete);
        store->db_->exec(sql::SynchronousFull);
        store->checkSchema();
        pinyinkeys::ensureTable(*store->db_);
        lunarbirthdays::ensureTable(*store->db_);
        if (!store->isReadOnly()) {
            try {
                store->db_->exec(sql::CreateIndexes);
                if (store->hasNextBirthdayColumn())
                    store->db_->exec(sql::CreateNextBirthdayIndex);
            } catch (const std::exception&) {
                // An index only speeds things up; a file that refuses it still works.
            }
        }
        return store;
    });
}

void Store::createEmpty(const QString& path) {
    guarded([&] {
        if (QFileInfo::exists(path))
            throw StoreError("文件已经存在: " + path.toStdString());
        SQLite::Database db(path.toStdString(), SQLite::OPEN_READWRITE | SQLite::OPEN_CREATE);
        db.exec(sql::JournalModeDelete);
        SQLite::Transaction transaction(db);
        db.exec(sql::CreatePhone);
        db.exec(sql::CreateGroups);
        db.exec(sql::CreateIndexes);
        db.exec(sql::CreateNextBirthdayIndex);
        transaction.commit();
    });
}

bool Store::isReadOnly() const {
    return sqlite3_db_readonly(db_->getHandle(), "main") == 1;
}

void Store::checkSchema() {
    auto columnsOf = [&](const char* table) {
        std::vector<std::string> names;
        SQLite::Statement statement(*db_, sql::ColumnNames);
        statement.bind(1, table);
        while (statement.executeStep())
            names.push_back(statement.getColumn(0).getString());
        return names;
    };
    auto require = [&](const char* table, std::initializer_list<const char*> columns) {
        const std::vector<std::string> names = columnsOf(table);
        if (names.empty())
            throw StoreError(std::string("数据文件中没有表 ") + table);
        for (const char* column : columns) {
            bool found = false;
            for (const std::string& name : names)
                found = found || sqlite3_stricmp(name.c_str(), column) == 0;
            if (!found)
                throw StoreError(std::string("数据文件的表 ") + table + " 缺少列 " + column);
        }
    };
    require("phone", {"id", "friendid", "mainid", "姓名", "生日", "移动电话", "工作电话", "家庭电话", "传真号码",
                      "地址", "邮政编码", "qq", "icq", "msn", "email", "昵称", "备注", "照片"});
    require("分类", {"id", "分类", "类型"});
}

std::vector<GroupRow> Store::groups() {
    return guarded([&] {
        std::vector<GroupRow> rows;
        SQLite::Statement statement(*db_, sql::SelectGroups);
        while (statement.executeStep())
            rows.push_back({statement.getColumn(0).getInt64(), columnText(statement, 1), columnText(statement, 2)});
        return rows;
    });
}

QString Store::addGroup(const QString& name) {
    return guarded([&] {
        Transaction transaction(*db_);
        SQLite::Statement insert(*db_, sql::InsertGroup);
        bindText(insert, 1, name);
        insert.exec();
        const qint64 id = db_->getLastInsertRowid();
        SQLite::Statement setKey(*db_, sql::SetGroupKey);
        setKey.bind(1, static_cast<int64_t>(id));
        setKey.exec();
        transaction.commit();
        return keys::groupKey(id);
    });
}

void Store::renameGroup(const QString& groupKey, const QString& name) {
    guarded([&] {
        SQLite::Statement statement(*db_, sql::RenameGroup);
        bindText(statement, 1, name);
        bindText(statement, 2, groupKey);
        statement.exec();
    });
}

void Store::deleteGroup(const QString& groupKey) {
    guarded([&] {
        Transaction transaction(*db_);
        pinyinkeys::removeGroup(*db_, groupKey); // before the people go
        for (const char* text : {sql::DeleteGroup, sql::DeleteGroupContacts}) {
            SQLite::Statement statement(*db_, text);
            bindText(statement, 1, groupKey);
            statement.exec();
        }
        transaction.commit();
    });
}

void Store::forEachTreeContact(const std::function<void(std::string_view, std::string_view, std::string_view)>& visit) {
    guarded([&] {
        RawStatement statement(*db_, sql::SelectTreeContacts);
        sqlite3_stmt* raw = statement.get();
        auto view = [raw](int column) {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(raw, column));
            return std::string_view(bytes ? bytes : "", static_cast<size_t>(sqlite3_column_bytes(raw, column)));
        };
        while (statement.step())
            visit(view(0), view(1), view(2));
    });
}

void Store::fill(const char* text, const QStringList& binds, RowTable& into) {
    guarded([&] {
        RawStatement statement(*db_, text);
        for (int i = 0; i < binds.size(); ++i)
            statement.bind(i + 1, utf8(binds[i]));
        const int firstRow = into.rowCount();
        while (statement.step())
            into.appendFrom(statement.get());
        lunarbirthdays::showInRows(*db_, into, firstRow);
    });
}

void Store::listAll(RowTable& into) {
    into.reserve(contactCount());
    fill(sql::ListAll, {}, into);
}
void Store::listByGroup(const QString& groupKey, RowTable& into) {
    fill(sql::ListByGroup, {groupKey}, into);
}
void Store::listByKey(const QString& contactKey, RowTable& into) {
    fill(sql::ListByKey, {contactKey}, into);
}

void Store::listQuery(const Query& query, RowTable& into) {
    const std::string text = std::string(sql::ListWherePrefix) + query.where.toStdString() + sql::ListQueryOrder;
    fill(text.c_str(), query.binds, into);
}

std::optional<ContactFields> Store::loadContact(const QString& contactKey) {
    return guarded([&]() -> std::optional<ContactFields> {
        SQLite::Statement statement(*db_, sql::LoadContact);
        bindText(statement, 1, contactKey);
        if (!statement.executeStep())
            return std::nullopt;
        ContactFields f;
        int i = 0;
        f.groupKey = columnText(statement, i++);
        f.name = columnText(statement, i++);
        const SQLite::Column birthday = statement.getColumn(i++);
        if (!birthday.isNull())
            f.birthday = parseStoredDate(std::string_view(birthday.getText(), birthday.getBytes()));
        for (QString ContactFields::*text : PlainTexts)
            f.*text = columnText(statement, i++);
        f.lunarBirthday = lunarbirthdays::load(*db_, contactKey);
        return f;
    });
}

QString Store::addContact(const ContactFields& fields) {
    return guarded([&] {
        // One transaction: the new row exists with every field, or not at all.
        Transaction transaction(*db_);
        SQLite::Statement insert(*db_, sql::InsertContact);
        bindFields(insert, fields);
        insert.exec();
        const qint64 id = db_->getLastInsertRowid();
        SQLite::Statement setKey(*db_, sql::SetContactKey);
        setKey.bind(1, static_cast<int64_t>(id));
        setKey.exec();
        pinyinkeys::write(*db_, keys::contactKey(id), fields.name);
        if (fields.lunarBirthday)
            lunarbirthdays::write(*db_, keys::contactKey(id), fields.lunarBirthday);
        transaction.commit();
        return keys::contactKey(id);
    });
}

void Store::updateContact(const QString& contactKey, const ContactFields& fields) {
    guarded([&] {
        Transaction transaction(*db_); // the row and its keys together
        SQLite::Statement statement(*db_, sql::UpdateContact);
        bindFields(statement, fields);
        bindText(statement, 17, contactKey);
        statement.exec();
        pinyinkeys::write(*db_, contactKey, fields.name);
        lunarbirthdays::write(*db_, contactKey, fields.lunarBirthday);
        transaction.commit();
    });
}

void Store::renameContact(const QString& contactKey, const QString& name) {
    guarded([&] {
        Transaction transaction(*db_); // the row and its keys together
        SQLite::Statement statement(*db_, sql::RenameContact);
        bindText(statement, 1, name);
        bindText(statement, 2, contactKey);
        statement.exec();
        pinyinkeys::write(*db_, contactKey, name);
        transaction.commit();
    });
}

void Store::deleteContact(const QString& contactKey) {
    guarded([&] {
        Transaction transaction(*db_); // the row and its keys together
        pinyinkeys::remove(*db_, contactKey);
        SQLite::Statement statement(*db_, sql::DeleteContact);
        bindText(statement, 1, contactKey);
        statement.exec();
        transaction.commit();
    });
}

int Store::contactCount() {
    return guarded([&] { return db_->execAndGet(sql::ContactCount).getInt(); });
}

bool Store::hasNextBirthdayColumn() {
    return guarded([&] {
        SQLite::Statement statement(*db_, sql::ColumnNames);
        statement.bind(1, "phone");
        while (statement.executeStep()) {
            if (sqlite3_stricmp(statement.getColumn(0).getText(), "nowbirthday") == 0)
                return true;
        }
        return false;
    });
}

void Store::addNextBirthdayColumn() {
    guarded([&] {
        Transaction transaction(*db_);
        db_->exec(sql::AddNextBirthdayColumn);
        db_->exec(sql::CreateNextBirthdayIndex);
        transaction.commit();
    });
}

void Store::writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday) {
    guarded([&] {
        Transaction transaction(*db_);
        const std::unordered_map<qint64, LunarBirthday> lunar = lunarbirthdays::byRowId(*db_);
        RawStatement read(*db_, sql::SelectBirthdays);
        SQLite::Statement write(*db_, sql::SetNextBirthday);
        sqlite3_stmt* row = read.get();
        auto text = [row](int column) -> std::optional<std::string_view> {
            if (sqlite3_column_type(row, column) == SQLITE_NULL)
                return std::nullopt;
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(row, column));
            return std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(row, column)));
        };
        while (read.step()) {
            const std::optional<std::string_view> stored = text(1);
            StoredBirthday birthday{stored ? parseStoredDate(*stored) : std::nullopt, std::nullopt};
            if (const auto found = lunar.find(sqlite3_column_int64(row, 0)); found != lunar.end())
                birthday.lunar = found->second;
            const std::optional<QDate> next = nextBirthday(birthday);
            const std::optional<std::string_view> current = text(2);
            char wanted[16] = {};
            if (next)
                std::snprintf(wanted, sizeof wanted, "%04d-%02d-%02d", next->year(), next->month(), next->day());
            const bool unchanged = next ? current && *current == wanted : !current;
            if (unchanged)
                continue;
            if (next)
                write.bind(1, wanted);
            else
                write.bind(1);
            write.bind(2, static_cast<int64_t>(sqlite3_column_int64(row, 0)));
            write.exec();
            write.reset();
        }
        transaction.commit();
    });
}

void Store::forEachBirthday(
    const std::function<void(const QString& key, const QString& name, const StoredBirthday& birthday)>& visit) {
    guarded([&] {
        RawStatement read(*db_, sql::SelectAllBirthdays);
        sqlite3_stmt* row = read.get();
        auto text = [row](int column) {
            return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(row, column)),
                                     sqlite3_column_bytes(row, column));
        };
        while (read.step()) {
            StoredBirthday birthday;
            if (sqlite3_column_type(row, 2) != SQLITE_NULL) {
                const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(row, 2));
                birthday.gregorian =
                    parseStoredDate(std::string_view(bytes, static_cast<size_t>(sqlite3_column_bytes(row, 2))));
            }
            birthday.lunar = lunarbirthdays::fromColumns(row, 3);
            visit(text(0), text(1), birthday);
        }
    });
}

QString Store::quickCheck() {
    return guarded([&] { return QString::fromStdString(db_->execAndGet(sql::QuickCheck).getString()); });
}
