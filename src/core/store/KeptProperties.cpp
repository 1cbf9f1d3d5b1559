#include "core/store/KeptProperties.h"

#include "core/store/Sql.h"
#include "core/store/Statement.h"

bool KeptTable::hasTable() {
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "zinteva_kept");
    return exists.step() && exists.integer(0) > 0;
}

std::vector<KeptProperty> KeptTable::load(const QString& contactKey) {
    std::vector<KeptProperty> rows;
    if (!hasTable())
        return rows;
    Statement select(connection_, sql::SelectKept);
    select.bind(1, contactKey);
    while (select.step())
        rows.push_back({select.text(0), select.text(2), select.text(1)});
    return rows;
}

KeptTable::Reader::Reader(std::unique_ptr<Statement> select) : select_(std::move(select)) {}
KeptTable::Reader::Reader(Reader&&) noexcept = default;
KeptTable::Reader::~Reader() = default;

std::vector<KeptProperty> KeptTable::Reader::load(const QString& contactKey) {
    std::vector<KeptProperty> rows;
    if (!select_)
        return rows;
    select_->reset();
    select_->bind(1, contactKey);
    while (select_->step())
        rows.push_back({select_->text(0), select_->text(2), select_->text(1)});
    return rows;
}

KeptTable::Reader KeptTable::reader() {
    return Reader(hasTable() ? std::make_unique<Statement>(connection_, sql::SelectKept) : nullptr);
}

void KeptTable::replace(const QString& contactKey, const std::vector<KeptProperty>& rows) {
    Statement(connection_, sql::DeleteKept).bind(1, contactKey).exec();
    Statement insert(connection_, sql::InsertKept);
    for (const KeptProperty& row : rows) {
        insert.bind(1, contactKey).bind(2, row.field).bind(3, row.value).bind(4, row.line).exec();
        insert.reset();
    }
}

QStringList KeptTable::contactsWithUid(const QString& uid) {
    QStringList keys;
    if (uid.isEmpty() || !hasTable())
        return keys;
    Statement select(connection_, sql::SelectKeptUid);
    select.bind(1, uid);
    while (select.step())
        keys.append(select.text(0));
    return keys;
}

int KeptTable::rowCount() {
    if (!hasTable())
        return 0;
    Statement count(connection_, sql::CountKept);
    return count.step() ? static_cast<int>(count.integer(0)) : 0;
}
