#include "core/store/SyncTable.h"

#include "core/store/Connection.h"
#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/SyncSql.h"

namespace {
std::string_view bytes(const QByteArray& data) {
    return std::string_view(data.constData(), static_cast<size_t>(data.size()));
}
} // namespace

bool SyncTable::hasTables() {
    Statement s(connection_, syncsql::ConflictsExist);
    return s.step() && s.integer(0) > 0;
}

QString SyncTable::state(const char* key) {
    Statement s(connection_, syncsql::SelectState);
    s.bind(1, key);
    return s.step() ? s.text(0) : QString();
}

void SyncTable::setState(const char* key, const QString& value) {
    Statement s(connection_, syncsql::WriteState);
    s.bind(1, key).bind(2, value);
    s.exec();
}

void SyncTable::forgetServer() {
    connection_.exec(syncsql::ForgetServer);
}

SyncCardRow SyncTable::cardByHref(const QString& href) {
    return readCard(syncsql::SelectCardByHref, href);
}

SyncCardRow SyncTable::cardOf(const QString& contactKey) {
    return readCard(syncsql::SelectCardByFriend, contactKey);
}

// Both texts select friendid, href, etag, uid and card of the one row their key names.
SyncCardRow SyncTable::readCard(const char* select, const QString& key) {
    SyncCardRow row;
    Statement s(connection_, select);
    s.bind(1, key);
    if (!s.step())
        return row;
    row.found = true;
    row.friendid = s.text(0);
    row.href = s.text(1);
    row.etag = s.text(2);
    row.uid = s.text(3);
    const std::string_view card = s.view(4);
    row.card = QByteArray(card.data(), static_cast<qsizetype>(card.size()));
    return row;
}

std::vector<SyncCardRow> SyncTable::groupCards() {
    std::vector<SyncCardRow> rows;
    Statement s(connection_, syncsql::SelectGroupCards);
    while (s.step()) {
        SyncCardRow row;
        row.found = true;
        row.friendid = s.text(0);
        row.href = s.text(1);
        row.etag = s.text(2);
        row.uid = s.text(3);
        const std::string_view card = s.view(4);
        row.card = QByteArray(card.data(), static_cast<qsizetype>(card.size()));
        rows.push_back(std::move(row));
    }
    return rows;
}

QString SyncTable::contactOfUid(const QString& uid) {
    Statement s(connection_, syncsql::SelectCardByUid);
    s.bind(1, uid);
    return s.step() ? s.text(0) : QString();
}

void SyncTable::writeCard(const SyncCardRow& row) {
    Statement s(connection_, syncsql::WriteCard);
    s.bind(1, row.friendid).bind(2, row.href);
    if (row.etag.isEmpty())
        s.bindNull(3);
    else
        s.bind(3, row.etag);
    s.bind(4, row.uid);
    if (row.card.isEmpty())
        s.bindNull(5);
    else
        s.bind(5, bytes(row.card));
    s.exec();
}

void SyncTable::removeCard(const QString& contactKey) {
    Statement s(connection_, syncsql::DeleteCard);
    s.bind(1, contactKey);
    s.exec();
}

void SyncTable::forEachCard(const std::function<void(const QString&, const QString&)>& visit) {
    Statement s(connection_, syncsql::SelectCards);
    while (s.step())
        visit(s.text(1), s.text(2));
}

std::optional<SyncChange> SyncTable::change(const QString& contactKey) {
    Statement s(connection_, syncsql::SelectChange);
    s.bind(1, contactKey);
    if (!s.step())
        return std::nullopt;
    return SyncChange{contactKey, s.integer(0) != 0, s.integer(1)};
}

std::vector<SyncChange> SyncTable::changes() {
    std::vector<SyncChange> out;
    Statement s(connection_, syncsql::SelectChanges);
    s.bind(1, qint64(-1));
    while (s.step())
        out.push_back({s.text(0), s.integer(1) != 0, s.integer(2)});
    return out;
}

int SyncTable::changeCount() {
    Statement s(connection_, syncsql::CountChanges);
    return s.step() ? static_cast<int>(s.integer(0)) : 0;
}

void SyncTable::dropChange(const QString& contactKey) {
    Statement s(connection_, syncsql::DropChange);
    s.bind(1, contactKey);
    s.exec();
}

void SyncTable::dropChange(const SyncChange& change) {
    Statement s(connection_, syncsql::DropChangeAt);
    s.bind(1, change.friendid).bind(2, change.seq);
    s.exec();
}

void SyncTable::markUnsent() {
    Statement s(connection_, syncsql::MarkUnsent);
    s.exec();
}

void SyncTable::addConflict(const SyncConflictRow& c) {
    Statement s(connection_, syncsql::InsertConflict);
    s.bind(1, c.contactKey).bind(2, c.name).bind(3, c.field).bind(4, c.local).bind(5, c.server).bind(6, c.at);
    s.exec();
}

std::vector<SyncConflictRow> SyncTable::conflicts() {
    std::vector<SyncConflictRow> out;
    if (!hasTables())
        return out;
    Statement s(connection_, syncsql::SelectConflicts);
    while (s.step())
        out.push_back({s.integer(0), s.text(1), s.text(2), s.text(3), s.text(4), s.text(5), s.text(6)});
    return out;
}

void SyncTable::removeConflict(qint64 id) {
    Statement s(connection_, syncsql::DeleteConflict);
    s.bind(1, id);
    s.exec();
}
