#pragma once
// The one connection to the data file (Conn) and every statement the program issues. Each call
// either succeeds or throws StoreError with SQLite's message; writes that touch more than one row
// run in one transaction, so a failure leaves the file as it was.
#include "core/store/ContactFields.h"
#include "core/store/OpenOptions.h"
#include "core/store/Query.h"
#include "core/store/RowTable.h"

#include <QDate>
#include <QString>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string_view>
#include <vector>

namespace SQLite {
class Database;
}

class StoreError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    QString message() const { return QString::fromUtf8(what()); }
};

class Store {
public:
    // Opens an existing data file and checks that it holds the two tables.
    static std::unique_ptr<Store> open(const QString& path, const OpenOptions& options = {});
    // Writes the empty schema into a new file; refuses to touch a file that exists.
    static void createEmpty(const QString& path);
    ~Store();

    SQLite::Database& database() { return *db_; }
    bool isReadOnly() const;

    // Groups (分类)
    std::vector<GroupRow> groups();
    QString addGroup(const QString& name); // returns the new key "main" + id
    void renameGroup(const QString& groupKey, const QString& name);
    void deleteGroup(const QString& groupKey); // the group and its people, in one transaction

    // Contacts (phone)
    void forEachTreeContact(
        const std::function<void(std::string_view key, std::string_view groupKey, std::string_view name)>& visit);
    void listAll(RowTable& into);
    void listByGroup(const QString& groupKey, RowTable& into);
    void listByKey(const QString& contactKey, RowTable& into);
    void listQuery(const Query& query, RowTable& into);
    std::optional<ContactFields> loadContact(const QString& contactKey);
    QString addContact(const ContactFields& fields); // one transaction; returns "friend" + id
    void updateContact(const QString& contactKey, const ContactFields& fields);
    void renameContact(const QString& contactKey, const QString& name);
    void deleteContact(const QString& contactKey);
    int contactCount();

    // Next birthdays
    bool hasNextBirthdayColumn();
    void addNextBirthdayColumn();
    // Writes nowbirthday of every row in one transaction; nextBirthday maps a stored 生日 to the value.
    void writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday);
    // Every contact's key, name and birthday, in table order (the reminder on the command line).
    void forEachBirthday(
        const std::function<void(const QString& key, const QString& name, const StoredBirthday& birthday)>& visit);

    // "ok" or SQLite's first complaint.
    QString quickCheck();

private:
    explicit Store(std::unique_ptr<SQLite::Database> db);
    void checkSchema();
    void fill(const char* sql, const QStringList& binds, RowTable& into);

    std::unique_ptr<SQLite::Database> db_;
};

// 生日 is stored as ISO text; anything else reads as no date.
std::optional<QDate> parseStoredDate(std::string_view text);
QString storedDate(const QDate& date);
