#pragma once
// The address-book sync's own tables: the cards the server knows (href, ETag, UID, the card as last
// synced), the account's address book and sync-token, the conflicts kept for the user, and the
// change log the data file's triggers write (store/ChangeLog.h).
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>
#include <vector>

class Connection;

struct SyncCardRow {
    QString friendid;
    QString href;
    QString etag; // empty: not confirmed on the server
    QString uid;
    QByteArray card; // as last synced; empty when none
    bool found = false;
};

struct SyncChange {
    QString friendid;
    bool deleted = false;
    qint64 seq = 0;
};

struct SyncConflictRow {
    qint64 id = 0;
    QString contactKey;
    QString name;
    QString field;
    QString local;
    QString server;
    QString at;
};

class SyncTable {
public:
    explicit SyncTable(Connection& connection) : connection_(connection) {}

    bool hasTables();
    QString state(const char* key);
    void setState(const char* key, const QString& value);
    void forgetServer(); // every card row and the state: another address book

    SyncCardRow cardByHref(const QString& href);
    SyncCardRow cardOf(const QString& contactKey);
    // The rows of groups' cards, by href. Such a row's friendid is no contact's key: it is "group", a
    // tab, the group's key, a tab and the card's href.
    std::vector<SyncCardRow> groupCards();
    QString contactOfUid(const QString& uid); // empty when no card has the UID
    void writeCard(const SyncCardRow& row);
    void removeCard(const QString& contactKey);
    void forEachCard(const std::function<void(const QString& href, const QString& etag)>& visit);

    std::optional<SyncChange> change(const QString& contactKey);
    std::vector<SyncChange> changes();
    int changeCount();
    void dropChange(const QString& contactKey);
    void dropChange(const SyncChange& change); // only when not marked again since
    void markUnsent();                          // every contact of no card

    void addConflict(const SyncConflictRow& conflict);
    std::vector<SyncConflictRow> conflicts();
    void removeConflict(qint64 id);

private:
    SyncCardRow readCard(const char* select, const QString& key);

    Connection& connection_;
};
