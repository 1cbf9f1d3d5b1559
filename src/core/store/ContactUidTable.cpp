#include "core/store/ContactUidTable.h"

#include "core/store/Connection.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"

#include <QUuid>

namespace {

QString legacyUid(const QString& filePart, const QString& contactKey) {
    return QStringLiteral("zinteva-") + filePart + u'-' + contactKey;
}

} // namespace

bool ContactUidTable::exists() {
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "zinteva_uid");
    return exists.step() && exists.integer(0) > 0;
}

// The random part older builds wrote into every UID of this data file; empty when it never exported.
QString ContactUidTable::legacyFilePart() {
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "zinteva_meta");
    if (!exists.step() || exists.integer(0) == 0)
        return {};
    Statement select(connection_, sql::SelectMeta);
    select.bind(1, "uid");
    return select.step() ? select.text(0) : QString();
}

void ContactUidTable::store(const QString& contactKey, const QString& uid) {
    Statement(connection_, sql::InsertContactUid).bind(1, contactKey).bind(2, uid).exec();
}

QString ContactUidTable::makeRandom() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

void ContactUidTable::giveEveryContactItsUid() {
    const QString filePart = legacyFilePart();
    Statement keys(connection_, sql::SelectAllContactKeys);
    while (keys.step()) {
        const QString key = keys.text(0);
        store(key, filePart.isEmpty() ? makeRandom() : legacyUid(filePart, key));
    }
}

void ContactUidTable::assign(const QString& contactKey) {
    if (exists())
        store(contactKey, makeRandom());
}

QString ContactUidTable::uidOf(const QString& contactKey, bool create) {
    const bool table = exists();
    if (table) {
        Statement select(connection_, sql::SelectUidOfContact);
        select.bind(1, contactKey);
        if (select.step())
            return select.text(0);
        if (create && !connection_.isReadOnly()) {
            const QString uid = makeRandom();
            store(contactKey, uid);
            return uid;
        }
        return {};
    }
    // A read-only file from an older build: the form its cards were written with.
    const QString filePart = legacyFilePart();
    return filePart.isEmpty() ? QString() : legacyUid(filePart, contactKey);
}

ContactUidTable::Reader::Reader(ContactUidTable& table, bool exists) : table_(table) {
    if (exists)
        select_ = std::make_unique<Statement>(table.connection_, sql::SelectUidOfContact);
    else
        legacyFilePart_ = table.legacyFilePart();
}
ContactUidTable::Reader::Reader(Reader&&) noexcept = default;
ContactUidTable::Reader::~Reader() = default;

QString ContactUidTable::Reader::uidOf(const QString& contactKey, bool create) {
    if (!select_)
        return legacyFilePart_.isEmpty() ? QString() : legacyUid(legacyFilePart_, contactKey);
    select_->reset();
    select_->bind(1, contactKey);
    if (select_->step())
        return select_->text(0);
    if (create && !table_.connection_.isReadOnly()) {
        const QString uid = makeRandom();
        table_.store(contactKey, uid);
        return uid;
    }
    return {};
}

bool ContactUidTable::adopt(const QString& contactKey, const QString& uid) {
    if (uid.isEmpty() || connection_.isReadOnly() || !exists())
        return false;
    const QString holder = contactOf(uid);
    if (!holder.isEmpty())
        return holder == contactKey;
    store(contactKey, uid);
    return true;
}

QString ContactUidTable::contactOf(const QString& uid) {
    if (uid.isEmpty())
        return {};
    if (exists()) {
        Statement select(connection_, sql::SelectContactOfUid);
        select.bind(1, uid);
        return select.step() ? select.text(0) : QString();
    }
    // No table (a read-only file from an older build): the older form alone, read as it was.
    const QString filePart = legacyFilePart();
    const QString head = legacyUid(filePart, QString());
    if (filePart.isEmpty() || !uid.startsWith(head))
        return {};
    return uid.mid(head.size());
}

void ContactUidTable::remove(const QString& contactKey) {
    if (exists())
        Statement(connection_, sql::DeleteContactUid).bind(1, contactKey).exec();
}

void ContactUidTable::removeGroup(const QString& groupKey) {
    if (exists())
        Statement(connection_, sql::DeleteGroupUids).bind(1, groupKey).exec();
}
