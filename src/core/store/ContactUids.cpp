#include "core/store/ContactUids.h"

#include "core/store/Sql.h"
#include "core/store/StatementHelpers.h"

#include <QUuid>
#include <SQLiteCpp/SQLiteCpp.h>
#include <sqlite3.h>

namespace contactuids {
namespace {
using storehelpers::guarded;

bool tableExists(SQLite::Database& db, const char* name) {
    SQLite::Statement exists(db, sql::TableExists);
    exists.bind(1, name);
    return exists.executeStep() && exists.getColumn(0).getInt() > 0;
}

bool writable(SQLite::Database& db) {
    return sqlite3_db_readonly(db.getHandle(), "main") != 1;
}

// The random part older builds wrote into every UID of this data file; empty when it never exported.
QString legacyFilePart(SQLite::Database& db) {
    if (!tableExists(db, "zinteva_meta"))
        return {};
    SQLite::Statement select(db, sql::SelectMeta);
    select.bind(1, "uid");
    return select.executeStep() ? QString::fromStdString(select.getColumn(0).getString()) : QString();
}

QString legacyUid(const QString& filePart, const QString& contactKey) {
    return QStringLiteral("zinteva-") + filePart + u'-' + contactKey;
}

void store(SQLite::Database& db, const QString& contactKey, const QString& uid) {
    SQLite::Statement insert(db, sql::InsertContactUid);
    insert.bind(1, contactKey.toStdString());
    insert.bind(2, uid.toStdString());
    insert.exec();
}

} // namespace

QString makeRandom() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void ensureTable(SQLite::Database& db) {
    guarded([&] {
        if (!writable(db) || tableExists(db, "zinteva_uid"))
            return;
        SQLite::Transaction transaction(db);
        db.exec(sql::CreateContactUids);
        const QString filePart = legacyFilePart(db);
        SQLite::Statement keys(db, sql::SelectAllContactKeys);
        while (keys.executeStep()) {
            const QString key = QString::fromStdString(keys.getColumn(0).getString());
            store(db, key, filePart.isEmpty() ? makeRandom() : legacyUid(filePart, key));
        }
        transaction.commit();
    });
}

void assign(SQLite::Database& db, const QString& contactKey) {
    guarded([&] {
        if (tableExists(db, "zinteva_uid"))
            store(db, contactKey, makeRandom());
    });
}

QString uidOf(SQLite::Database& db, const QString& contactKey, bool create) {
    return guarded([&] {
        const bool table = tableExists(db, "zinteva_uid");
        if (table) {
            SQLite::Statement select(db, sql::SelectUidOfContact);
            select.bind(1, contactKey.toStdString());
            if (select.executeStep())
                return QString::fromStdString(select.getColumn(0).getString());
            if (create && writable(db)) {
                const QString uid = makeRandom();
                store(db, contactKey, uid);
                return uid;
            }
        }
        // A read-only file from an older build: the form its cards were written with.
        const QString filePart = table ? QString() : legacyFilePart(db);
        return filePart.isEmpty() ? QString() : legacyUid(filePart, contactKey);
    });
}

QString contactOf(SQLite::Database& db, const QString& uid) {
    return guarded([&]() -> QString {
        if (uid.isEmpty())
            return {};
        if (tableExists(db, "zinteva_uid")) {
            SQLite::Statement select(db, sql::SelectContactOfUid);
            select.bind(1, uid.toStdString());
            return select.executeStep() ? QString::fromStdString(select.getColumn(0).getString()) : QString();
        }
        // No table (a read-only file from an older build): the older form alone, read as it was.
        const QString filePart = legacyFilePart(db);
        const QString head = legacyUid(filePart, QString());
        if (filePart.isEmpty() || !uid.startsWith(head))
            return {};
        return uid.mid(head.size());
    });
}

void remove(SQLite::Database& db, const QString& contactKey) {
    guarded([&] {
        if (!tableExists(db, "zinteva_uid"))
            return;
        SQLite::Statement statement(db, sql::DeleteContactUid);
        statement.bind(1, contactKey.toStdString());
        statement.exec();
    });
}

void removeGroup(SQLite::Database& db, const QString& groupKey) {
    guarded([&] {
        if (!tableExists(db, "zinteva_uid"))
            return;
        SQLite::Statement statement(db, sql::DeleteGroupUids);
        statement.bind(1, groupKey.toStdString());
        statement.exec();
    });
}

} // namespace contactuids
