#pragma once
// Table phone: one row per person, key "friend" + id, group through mainid. The fills read into a
// RowTable straight from SQLite's buffers.
#include "core/store/ContactFields.h"
#include "core/store/Query.h"
#include "core/store/RowTable.h"

#include <QDate>
#include <functional>
#include <optional>
#include <utility>
#include <vector>
#include <string_view>
#include <unordered_map>

class Connection;

class ContactTable {
public:
    explicit ContactTable(Connection& connection) : connection_(connection) {}

    void forEachTreeContact(
        const std::function<void(std::string_view key, std::string_view groupKey, std::string_view name)>& visit);
    void listAll(RowTable& into);
    void listByGroup(const QString& groupKey, RowTable& into);
    void listByKey(const QString& contactKey, RowTable& into);
    void listQuery(const Query& query, RowTable& into);
    std::optional<ContactFields> load(const QString& contactKey);
    // The people with exactly this name, in table order: key, then the fields with the name, the
    // phone numbers and the e-mail address alone (what tells whether a card is theirs).
    std::vector<std::pair<QString, ContactFields>> named(const QString& name);
    // Every contact (groupKey empty) or a group's, with every field, in table order: one statement
    // in one read, however many there are. visit may throw to stop.
    void forEach(const QString& groupKey,
                 const std::function<void(const QString& contactKey, ContactFields& fields)>& visit);
    bool exists(const QString& contactKey);
    int count();

    // Writes of one row each; the store puts them in a transaction with the pinyin keys.
    QString insert(const ContactFields& fields); // returns "friend" + id
    void update(const QString& contactKey, const ContactFields& fields);
    void rename(const QString& contactKey, const QString& name);
    // The people into the group: the keys of those that moved (not those already in it or gone).
    QStringList moveToGroup(const QStringList& contactKeys, const QString& groupKey);
    void remove(const QString& contactKey);
    void removeGroup(const QString& groupKey); // every person of the group

    bool hasNextBirthdayColumn();
    // lunar: the lunar birthdays by row id (LunarBirthdays::byRowId).
    void writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday,
                            const std::unordered_map<qint64, LunarBirthday>& lunar);

private:
    void fill(const char* sql, const QStringList& binds, RowTable& into);
    Connection& connection_;
};
