#include "store/Store.h"

#include "shared/Keys.h"
#include "store/Sql.h"

#include <QFileInfo>
#include <SQLiteCpp/SQLiteCpp.h>
#include <optional>
#include <sqlite3.h>

namespace {

std::string utf8(const QString& text) { return text.toStdString(); }

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

QString columnText(SQLite::Statement& statement, int index) {
    const SQLite::Column column = statement.getColumn(index);
    if (column.isNull())
        return {};
    return QString::fromUtf8(column.getText(), column.getBytes());
}

// Translates SQLiteCpp's exceptions into the program's own, keeping SQLite's message.
template <typename F> auto guarded(F&& work) {
    try {
        return work();
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

// A transaction of the store's own, unless the caller already runs one (the import writes thousands of
// contacts and groups in one); then the caller's commit or rollback covers this work too.
class JoinedTransaction {
public:
    explicit JoinedTransaction(SQLite::Database& db) {
        if (sqlite3_get_autocommit(db.getHandle()))
            own_.emplace(db);
    }
    void commit() {
        if (own_)
            own_->commit();
    }

private:
    std::optional<SQLite::Transaction> own_;
};

void bindFields(SQLite::Statement& statement, const ContactFields& f) {
    int i = 1;
    bindText(statement, i++, f.groupKey);
    bindText(statement, i++, f.name);
    bindDate(statement, i++, f.birthday);
    for (const QString* text : {&f.mobile, &f.workPhone, &f.homePhone, &f.fax, &f.address, &f.postcode, &f.qq, &f.icq,
                                &f.msn, &f.email, &f.nickname, &f.remarks, &f.photo})
        bindText(statement, i++, *text);
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
        const int flags = options.readOnly ? SQLite::OPEN_READONLY : SQLite::OPEN_READWRITE;
        auto db = std::make_unique<SQLite::Database>(path.toStdString(), flags | SQLITE_OPEN_URI, 2000,
                                                     options.vfs ? std::string(options.vfs) : std::string());
        std::unique_ptr<Store> store(new Store(std::move(db)));
        // The rollback journal keeps the data file alone the whole database between transactions,
        // so a plain copy of it taken then is a sound backup.
        store->db_->exec("pragma journal_mode=DELETE");
        store->db_->exec("pragma synchronous=FULL");
        store->checkSchema();
        if (!store->isReadOnly()) {
            try {
                store->db_->exec(sql::CreateIndexes);
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
        db.exec("pragma journal_mode=DELETE");
        SQLite::Transaction transaction(db);
        db.exec(sql::CreatePhone);
        db.exec(sql::CreateGroups);
        db.exec(sql::CreateIndexes);
        transaction.commit();
    });
}

bool Store::isReadOnly() const { return sqlite3_db_readonly(db_->getHandle(), "main") == 1; }

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
    require("phone", {"id", "friendid", "mainid", "姓名", "生日", "移动电话", "工作电话", "家庭电话", "传真号码", "地址",
                      "邮政编码", "qq", "icq", "msn", "email", "昵称", "备注", "照片"});
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
        JoinedTransaction transaction(*db_);
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
        SQLite::Transaction transaction(*db_);
        for (const char* text : {sql::DeleteGroup, sql::DeleteGroupContacts}) {
            SQLite::Statement statement(*db_, text);
            bindText(statement, 1, groupKey);
            statement.exec();
        }
        transaction.commit();
    });
}

void Store::forEachTreeContact(
    const std::function<void(std::string_view, std::string_view, std::string_view)>& visit) {
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
        while (statement.step())
            into.appendFrom(statement.get());
    });
}

void Store::listAll(RowTable& into) {
    into.reserve(contactCount());
    fill(sql::ListAll, {}, into);
}
void Store::listByGroup(const QString& groupKey, RowTable& into) { fill(sql::ListByGroup, {groupKey}, into); }
void Store::listByKey(const QString& contactKey, RowTable& into) { fill(sql::ListByKey, {contactKey}, into); }

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
        for (QString* text : {&f.mobile, &f.workPhone, &f.homePhone, &f.fax, &f.address, &f.postcode, &f.qq, &f.icq,
                              &f.msn, &f.email, &f.nickname, &f.remarks, &f.photo})
            *text = columnText(statement, i++);
        return f;
    });
}

QString Store::addContact(const ContactFields& fields) {
    return guarded([&] {
        // One transaction: the new row exists with every field, or not at all.
        JoinedTransaction transaction(*db_);
        SQLite::Statement insert(*db_, sql::InsertContact);
        bindFields(insert, fields);
        insert.exec();
        const qint64 id = db_->getLastInsertRowid();
        SQLite::Statement setKey(*db_, sql::SetContactKey);
        setKey.bind(1, static_cast<int64_t>(id));
        setKey.exec();
        transaction.commit();
        return keys::contactKey(id);
    });
}

void Store::updateContact(const QString& contactKey, const ContactFields& fields) {
    guarded([&] {
        SQLite::Statement statement(*db_, sql::UpdateContact);
        bindFields(statement, fields);
        bindText(statement, 17, contactKey);
        statement.exec();
    });
}

void Store::renameContact(const QString& contactKey, const QString& name) {
    guarded([&] {
        SQLite::Statement statement(*db_, sql::RenameContact);
        bindText(statement, 1, name);
        bindText(statement, 2, contactKey);
        statement.exec();
    });
}

void Store::deleteContact(const QString& contactKey) {
    guarded([&] {
        SQLite::Statement statement(*db_, sql::DeleteContact);
        bindText(statement, 1, contactKey);
        statement.exec();
    });
}

int Store::contactCount() {
    return guarded([&] { return db_->execAndGet("select count(*) from phone").getInt(); });
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
    guarded([&] { db_->exec(sql::AddNextBirthdayColumn); });
}

void Store::writeNextBirthdays(
    const std::function<std::optional<QDate>(const std::optional<QDate>&)>& nextBirthday) {
    guarded([&] {
        SQLite::Transaction transaction(*db_);
        SQLite::Statement read(*db_, sql::SelectBirthdays);
        SQLite::Statement write(*db_, sql::SetNextBirthday);
        while (read.executeStep()) {
            const SQLite::Column stored = read.getColumn(1);
            std::optional<QDate> birthday;
            if (!stored.isNull())
                birthday = parseStoredDate(std::string_view(stored.getText(), stored.getBytes()));
            bindDate(write, 1, nextBirthday(birthday));
            write.bind(2, read.getColumn(0).getInt64());
            write.exec();
            write.reset();
        }
        transaction.commit();
    });
}

QString Store::quickCheck() {
    return guarded([&] { return QString::fromStdString(db_->execAndGet(sql::QuickCheck).getString()); });
}
