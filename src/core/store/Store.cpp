#include "core/store/Store.h"

#include "core/store/Connection.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/Schema.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/UndoSql.h"

#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

std::optional<QDate> parseStoredDate(std::string_view text) {
    // The stored form is YYYY-MM-DD; a time part after it (from older files) is ignored. Read by
    // hand, as Qt's ISO date reading reads the first ten characters (any punctuation between the
    // numbers, year 1 to 9999), without making a QString for every row of a next-birthday pass.
    if (text.size() < 10)
        return std::nullopt;
    auto number = [&](size_t from, size_t length, int& value) {
        value = 0;
        for (size_t i = from; i < from + length; ++i) {
            if (text[i] < '0' || text[i] > '9')
                return false;
            value = value * 10 + (text[i] - '0');
        }
        return true;
    };
    int year = 0, month = 0, day = 0;
    if (!QChar::fromLatin1(text[4]).isPunct() || !QChar::fromLatin1(text[7]).isPunct() || !number(0, 4, year) ||
        !number(5, 2, month) || !number(8, 2, day) || year == 0)
        return std::nullopt;
    const QDate date(year, month, day);
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

Store::Store(std::unique_ptr<Connection> connection)
    : connection_(std::move(connection)), groups_(*connection_), contacts_(*connection_), pinyin_(*connection_),
      meta_(*connection_), lunar_(*connection_), sync_(*connection_), undo_(*connection_), deleted_(*connection_),
      uids_(*connection_),
      kept_(*connection_), values_(*connection_) {}
Store::~Store() = default;

void refuseIrregularFiles(const QString& path) {
    // SQLite would open a FIFO, a device or a socket like a file and block or read garbage: the data
    // file and its journal are used only as regular files (a symlink to one is followed).
    for (const QString& file : {path, path + QStringLiteral("-journal")}) {
        const QFileInfo info(file);
        if ((info.exists() || info.isSymLink()) && !info.isFile())
            throw StoreError(file.toStdString() + " 不是普通文件");
    }
}

std::unique_ptr<Store> Store::open(const QString& path, const OpenOptions& options) {
    if (!QFileInfo(path).exists() && !QFileInfo(path).isSymLink())
        throw StoreError("数据文件不存在: " + path.toStdString());
    refuseIrregularFiles(path);
    // One connection, used by the window thread alone: SQLite's per-call locking is not needed.
    const int flags = (options.readOnly ? SQLITE_OPEN_READONLY : SQLITE_OPEN_READWRITE) | SQLITE_OPEN_NOMUTEX;
    auto connection = std::make_unique<Connection>(path, flags | SQLITE_OPEN_URI, options.vfs);
    // A hostile file's schema gets no say: no function of the program may be called from its views or
    // triggers, and triggers and views the program did not make go before any other statement runs.
    sqlite3_db_config(connection->handle(), SQLITE_DBCONFIG_TRUSTED_SCHEMA, 0, nullptr);
    sqlite3_db_config(connection->handle(), SQLITE_DBCONFIG_DEFENSIVE, 1, nullptr);
    // The version and the schema rows are read before anything else runs: a file of a newer version
    // is refused unwritten.
    const schema::Snapshot snapshot = schema::read(*connection);
    std::unique_ptr<Store> store(new Store(std::move(connection)));
    store->checkSchema();
    // The rollback journal keeps the data file alone the whole database between transactions,
    // so a plain copy of it taken then is a sound backup.
    store->connection_->exec(sql::JournalModeDelete);
    store->connection_->exec(sql::SynchronousFull);
    // What is not the program's goes, and an earlier version is brought up, before the first write.
    schema::Prepared prepared = schema::prepare(*store->connection_, snapshot, path);
    store->droppedSchema_ = std::move(prepared.dropped);
    store->copiedAside_ = std::move(prepared.copiedAside);
    return store;
}

void Store::createEmpty(const QString& path) {
    if (QFileInfo::exists(path))
        throw StoreError("文件已经存在: " + path.toStdString());
    // Private from the start: the file (and the journals SQLite gives its mode) is the user's alone.
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0)
        throw StoreError("不能建立文件 " + path.toStdString() + ": " + std::strerror(errno));
    ::close(fd);
    Connection connection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE);
    connection.exec(sql::JournalModeDelete);
    schema::createEmpty(connection);
}

bool Store::isReadOnly() const {
    return connection_->isReadOnly();
}

void Store::checkSchema() {
    auto columnsOf = [&](const char* table) {
        std::vector<std::string> names;
        Statement statement(*connection_, sql::ColumnNames);
        statement.bind(1, table);
        while (statement.step())
            names.emplace_back(statement.view(0));
        return names;
    };
    auto require = [&](const char* table, const std::vector<const char*>& columns) {
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
    std::vector<const char*> phone{"id", "friendid"};
    for (const catalogue::FieldInfo* field : catalogue::columns())
        phone.push_back(field->column);
    require("phone", phone);
    require("分类", {"id", "分类", "类型"});
}

QString Store::addGroup(const QString& name) {
    Transaction transaction(*connection_);
    const QString key = groups_.add(name);
    transaction.commit();
    return key;
}

void Store::deleteGroup(const QString& groupKey) {
    Transaction transaction(*connection_);
    pinyin_.removeGroup(groupKey); // before the people go
    uids_.removeGroup(groupKey);
    groups_.remove(groupKey);
    contacts_.removeGroup(groupKey);
    transaction.commit();
}

QString Store::addContact(const ContactFields& given, const QString& cardUid) {
    ContactFields fields = given;
    firstValuesIntoColumns(fields);
    // One transaction: the new row exists with every field and its keys, or not at all.
    Transaction transaction(*connection_);
    const QString key = contacts_.insert(fields);
    pinyin_.write(key, fields.name);
    if (fields.lunarBirthday)
        lunar_.write(key, fields.lunarBirthday);
    if (!fields.values.empty())
        values_.write(key, fields.values);
    if (cardUid.isEmpty() || !uids_.adopt(key, cardUid))
        uids_.assign(key);
    transaction.commit();
    return key;
}

void Store::updateContact(const QString& contactKey, const ContactFields& given) {
    ContactFields fields = given;
    firstValuesIntoColumns(fields);
    Transaction transaction(*connection_); // the row and its keys together
    contacts_.update(contactKey, fields);
    pinyin_.write(contactKey, fields.name);
    lunar_.write(contactKey, fields.lunarBirthday);
    values_.write(contactKey, fields.values);
    transaction.commit();
}

bool Store::renameGroup(const QString& groupKey, const QString& name) {
    groups_.rename(groupKey, name);
    return connection_->changes() > 0;
}

bool Store::renameContact(const QString& contactKey, const QString& name) {
    Transaction transaction(*connection_); // the row and its keys together
    contacts_.rename(contactKey, name);
    if (connection_->changes() == 0)
        return false;
    pinyin_.write(contactKey, name);
    transaction.commit();
    return true;
}

void Store::forEachDuplicateCandidate(
    const std::function<void(std::string_view, std::string_view, std::string_view, std::string_view)>& visit) {
    Statement people(*connection_, sql::duplicates::Candidates);
    while (people.step())
        visit(people.view(0), people.view(1), people.view(2), people.view(3));
}

void Store::enableHistory() {
    if (isReadOnly())
        return;
    deleted_.install();
    undo_.install();
}

QString Store::restoreDeleted(qint64 id) {
    Transaction transaction(*connection_);
    const RestoredContact restored = deleted_.restore(id);
    const QString& key = restored.key;
    if (!key.isEmpty()) {
        if (const std::optional<ContactFields> fields = contacts_.load(key))
            pinyin_.write(key, fields->name);
        uids_.uidOf(key, true); // a new one when its own was taken meanwhile (the card imported again)
        if (!restored.kept.empty())
            kept_.replace(key, restored.kept);
        if (restored.lunar)
            lunar_.write(key, restored.lunar);
        if (!restored.values.empty())
            values_.write(key, restored.values);
    }
    transaction.commit();
    return key;
}

void Store::deleteContact(const QString& contactKey) {
    Transaction transaction(*connection_); // the row and its keys together
    pinyin_.remove(contactKey);
    uids_.remove(contactKey);
    contacts_.remove(contactKey);
    transaction.commit();
}

QStringList Store::moveContacts(const QStringList& contactKeys, const QString& groupKey) {
    Transaction transaction(*connection_);
    if (!groups_.exists(groupKey))
        return {}; // nobody may hang under a group that is gone: they would vanish from the tree
    QStringList moved = contacts_.moveToGroup(contactKeys, groupKey);
    transaction.commit();
    return moved;
}

void Store::addNextBirthdayColumn() {
    schema::addNextBirthdayColumn(*connection_);
}

void Store::writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday) {
    Transaction transaction(*connection_);
    contacts_.writeNextBirthdays(nextBirthday, lunar_.byRowId());
    transaction.commit();
}

void Store::listAll(RowTable& into) {
    const int first = into.rowCount();
    contacts_.listAll(into);
    lunar_.showInRows(into, first);
}

void Store::listByGroup(const QString& groupKey, RowTable& into) {
    const int first = into.rowCount();
    contacts_.listByGroup(groupKey, into);
    lunar_.showInRows(into, first);
}

void Store::listByKey(const QString& contactKey, RowTable& into) {
    const int first = into.rowCount();
    contacts_.listByKey(contactKey, into);
    lunar_.showInRows(into, first);
}

void Store::listQuery(const Query& query, RowTable& into) {
    const int first = into.rowCount();
    contacts_.listQuery(query, into);
    lunar_.showInRows(into, first);
}

std::optional<ContactFields> Store::loadContact(const QString& contactKey) {
    std::optional<ContactFields> fields = contacts_.load(contactKey);
    if (fields) {
        fields->lunarBirthday = lunar_.load(contactKey);
        fields->values = values_.load(contactKey);
    }
    return fields;
}

void Store::forEachContact(const QString& groupKey,
                           const std::function<void(const QString& contactKey, ContactFields& fields)>& visit) {
    const std::unordered_map<std::string, LunarBirthday> lunar = lunar_.byContactKey();
    std::unordered_map<std::string, std::vector<TypedValue>> values = values_.byContactKey();
    contacts_.forEach(groupKey, [&](const QString& contactKey, ContactFields& fields) {
        if (!lunar.empty() || !values.empty()) {
            const std::string key = contactKey.toStdString();
            if (const auto found = lunar.find(key); found != lunar.end())
                fields.lunarBirthday = found->second;
            if (const auto found = values.find(key); found != values.end())
                fields.values = found->second;
        }
        visit(contactKey, fields);
    });
}

QString Store::quickCheck() {
    Statement statement(*connection_, sql::QuickCheck);
    statement.step();
    return statement.text(0);
}

QString Store::filePath() const {
    const char* name = sqlite3_db_filename(connection_->handle(), "main");
    return name ? QString::fromUtf8(name) : QString();
}

bool Store::photoInUse(const QString& fileName) {
    for (const QString& path : photoPaths()) {
        if (QFileInfo(path).fileName() == fileName)
            return true;
    }
    return undo_.mentions(fileName);
}

QStringList Store::photoPaths() {
    QStringList paths;
    Statement statement(*connection_, sql::SelectPhotoPaths);
    while (statement.step())
        paths.append(statement.text(0));
    paths += deleted_.photoPaths();
    return paths;
}
