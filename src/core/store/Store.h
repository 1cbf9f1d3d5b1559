#pragma once
// The data file: one connection (Conn) and one class per table over it (groups, contacts, pinyin
// keys, the program's own values). The connection never leaves the store. Each call either succeeds
// or throws StoreError with SQLite's codes; the writes below that touch more than one row run in
// one transaction, so a failure leaves the file as it was. A caller that writes several things as
// one asks the store for a transaction.
#include "core/store/ContactFields.h"
#include "core/store/ContactUidTable.h"
#include "core/store/ContactTable.h"
#include "core/store/GroupTable.h"
#include "core/store/LunarBirthdays.h"
#include "core/store/TypedValues.h"
#include "core/store/KeptProperties.h"
#include "core/store/MetaTable.h"
#include "core/store/OpenOptions.h"
#include "core/store/PinyinKeys.h"
#include "core/store/Query.h"
#include "core/store/RecentlyDeleted.h"
#include "core/store/RowTable.h"
#include "core/store/StoreError.h"
#include "core/store/SyncTable.h"
#include "core/store/Transaction.h"
#include "core/store/UndoLog.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <string_view>
#include <string_view>
#include <vector>

class Connection;

class Store {
public:
    // Opens an existing data file and checks that it holds the two tables.
    static std::unique_ptr<Store> open(const QString& path, const OpenOptions& options = {});
    // Writes the empty schema into a new file; refuses to touch a file that exists.
    static void createEmpty(const QString& path);
    ~Store();

    bool isReadOnly() const;
    // A transaction on the store's connection: rolled back unless committed; nests.
    Transaction transaction(Transaction::Lock lock = Transaction::Lock::Deferred) {
        return Transaction(*connection_, lock);
    }

    GroupTable& groupTable() { return groups_; }
    ContactTable& contactTable() { return contacts_; }
    PinyinKeys& pinyinKeys() { return pinyin_; }
    MetaTable& meta() { return meta_; }
    LunarBirthdays& lunarBirthdays() { return lunar_; }
    SyncTable& syncTable() { return sync_; }
    // The window's history: undo of its changes and the recently deleted people (see enableHistory).
    UndoLog& undoLog() { return undo_; }
    RecentlyDeleted& recentlyDeleted() { return deleted_; }
    // Every person's key, name, mobile and e-mail, for the duplicate rules, in table order: views
    // into SQLite's own bytes, valid during the call (no QString is made for anyone).
    void forEachDuplicateCandidate(const std::function<void(std::string_view key, std::string_view name,
                                                            std::string_view mobile, std::string_view email)>& visit);
    // For the window's connection: every change can be undone and every deleted person is kept
    // for a while. Nothing on a read-only file.
    void enableHistory();
    // A recently deleted person back, with the key, the columns, the group and the pinyin keys
    // they had; empty when that person is there already.
    QString restoreDeleted(qint64 id);
    ContactUidTable& uids() { return uids_; }
    // The data file's full path, as SQLite opened it.
    QString filePath() const;
    KeptTable& keptTable() { return kept_; }
    TypedValues& typedValues() { return values_; }

    // Groups (分类)
    std::vector<GroupRow> groups() { return groups_.all(); }
    QString addGroup(const QString& name); // returns the new key "main" + id
    // False, writing nothing, when no group has the key (it was deleted meanwhile).
    bool renameGroup(const QString& groupKey, const QString& name);
    void deleteGroup(const QString& groupKey); // the group and its people, in one transaction

    // Contacts (phone)
    void forEachTreeContact(
        const std::function<void(std::string_view key, std::string_view groupKey, std::string_view name)>& visit) {
        contacts_.forEachTreeContact(visit);
    }
    // The fills show a lunar birthday in the birthday cell ("农历 腊月初八").
    void listAll(RowTable& into);
    void listByGroup(const QString& groupKey, RowTable& into);
    void listByKey(const QString& contactKey, RowTable& into);
    void listQuery(const Query& query, RowTable& into);
    std::optional<ContactFields> loadContact(const QString& contactKey); // with its lunar birthday and values
    std::vector<std::pair<QString, ContactFields>> contactsNamed(const QString& name) { return contacts_.named(name); }
    // Every contact (groupKey empty) or a group's, with every field and the lunar birthday: one
    // statement over the contacts (an export).
    void forEachContact(const QString& groupKey,
                        const std::function<void(const QString& contactKey, ContactFields& fields)>& visit);
    // One transaction; returns "friend" + id. The new person carries `cardUid` as their own UID when
    // no other person does (a card's UID, so that the card comes back to them), else a new one.
    QString addContact(const ContactFields& fields, const QString& cardUid = {});
    void updateContact(const QString& contactKey, const ContactFields& fields);
    // False, writing nothing, when no person has the key (deleted meanwhile).
    bool renameContact(const QString& contactKey, const QString& name);
    void deleteContact(const QString& contactKey);
    // The people with these keys into the group, in one transaction: the keys of those that moved
    // (one already in it, or deleted meanwhile, did not). Nobody moves when no group has the key.
    QStringList moveContacts(const QStringList& contactKeys, const QString& groupKey);
    int contactCount() { return contacts_.count(); }

    // Next birthdays
    bool hasNextBirthdayColumn() { return contacts_.hasNextBirthdayColumn(); }
    void addNextBirthdayColumn();
    // Writes nowbirthday of every row in one transaction; nextBirthday maps a stored birthday (生日
    // and the lunar birthday, if any) to the value.
    void writeNextBirthdays(const std::function<std::optional<QDate>(const StoredBirthday&)>& nextBirthday);
    // Every contact's key, name and birthday, in table order (the reminder on the command line).
    void forEachBirthday(
        const std::function<void(const QString& key, const QString& name, const StoredBirthday& birthday)>& visit) {
        lunar_.forEachBirthday(visit);
    }

    // "ok" or SQLite's first complaint.
    QString quickCheck();

    // Triggers and views that the program did not make, dropped when the file was opened ("触发器 x").
    QStringList droppedSchema() const { return droppedSchema_; }
    // The copy of the file taken before its schema was brought up from an earlier version; empty when
    // the file was at the current version.
    QString copiedAside() const { return copiedAside_; }
    // Every photo path a contact names (the photos folder keeps only those).
    QStringList photoPaths();
    // Whether a picture of that file name is still someone's: a contact's, a recently deleted
    // person's, or one a step of this run's history (undo or redo) would bring back.
    bool photoInUse(const QString& fileName);

private:
    friend struct StoreProbe; // tests read and write the file behind the store's back
    explicit Store(std::unique_ptr<Connection> connection);
    void checkSchema();

    std::unique_ptr<Connection> connection_;
    GroupTable groups_;
    ContactTable contacts_;
    PinyinKeys pinyin_;
    MetaTable meta_;
    LunarBirthdays lunar_;
    SyncTable sync_;
    UndoLog undo_;
    RecentlyDeleted deleted_;
    ContactUidTable uids_;
    QStringList droppedSchema_;
    QString copiedAside_;
    KeptTable kept_;
    TypedValues values_;
};

// Throws StoreError when the database file or its journal exists as anything but a regular file (a
// FIFO would block the open, a device would be read as data).
void refuseIrregularFiles(const QString& path);

// 生日 is stored as ISO text; anything else reads as no date.
std::optional<QDate> parseStoredDate(std::string_view text);
QString storedDate(const QDate& date);
