#include "core/store/PinyinKeys.h"

#include "core/store/Sql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"

#include <string>
#include <utility>
#include <vector>

namespace {

void bindKeys(Statement& statement, std::string_view contactKey, const QString& name) {
    const pinyin::Keys keys = pinyin::keysOf(name);
    statement.bind(1, contactKey);
    statement.bind(2, name);
    statement.bind(3, keys.full);
    statement.bind(4, keys.initials);
    statement.bind(5, keys.variants.join(u' '));
    statement.bind(6, keys.sortKey);
}

} // namespace

void PinyinKeys::ensureTable() {
    if (!connection_.isReadOnly()) {
        connection_.exec(sql::CreatePinyin);
        return;
    }
    Statement exists(connection_, sql::TableExists);
    exists.bind(1, "pinyin");
    if (exists.step() && exists.integer(0) == 0)
        connection_.exec(sql::CreateTempPinyin);
}

void PinyinKeys::write(const QString& contactKey, const QString& name) {
    Statement statement(connection_, sql::WritePinyin);
    bindKeys(statement, contactKey.toStdString(), name);
    statement.exec();
}

void PinyinKeys::remove(const QString& contactKey) {
    Statement(connection_, sql::DeletePinyin).bind(1, contactKey).exec();
}

void PinyinKeys::removeGroup(const QString& groupKey) {
    Statement(connection_, sql::DeleteGroupPinyin).bind(1, groupKey).exec();
}

int PinyinKeys::backfill(const Progress& progress) {
    // Read first, then write: the statement that reads must not see the rows being written.
    std::vector<std::pair<std::string, QString>> stale;
    {
        Statement read(connection_, sql::SelectStalePinyin);
        while (read.step())
            stale.emplace_back(std::string(read.view(0)), read.text(1));
    }
    Transaction transaction(connection_);
    Statement orphans(connection_, sql::DeleteOrphanPinyin);
    orphans.exec();
    const int orphansRemoved = connection_.changes();
    if (stale.empty()) {
        if (orphansRemoved > 0)
            transaction.commit();
        return 0;
    }
    const int total = static_cast<int>(stale.size());
    if (progress)
        progress(0, total);
    Statement write(connection_, sql::WritePinyin);
    int done = 0;
    for (const auto& [contactKey, name] : stale) {
        bindKeys(write, contactKey, name);
        write.exec();
        write.reset();
        ++done;
        if (progress && (done % 256 == 0 || done == total))
            progress(done, total);
    }
    transaction.commit();
    return total;
}

std::optional<PinyinKeys::StoredKeys> PinyinKeys::stored(const QString& contactKey) {
    Statement statement(connection_, sql::SelectPinyin);
    statement.bind(1, contactKey);
    if (!statement.step())
        return std::nullopt;
    StoredKeys result;
    result.name = statement.text(0);
    result.keys.full = statement.text(1);
    result.keys.initials = statement.text(2);
    const QString variants = statement.text(3);
    result.keys.variants = variants.isEmpty() ? QStringList() : variants.split(u' ');
    result.keys.sortKey = statement.text(4);
    return result;
}

FilterKeys PinyinKeys::loadFilterKeys() {
    FilterKeys keys;
    Statement statement(connection_, sql::SelectPinyinFilterKeys);
    while (statement.step()) {
        std::string text(statement.view(1));
        text += ' ';
        text += statement.view(2);
        text += ' ';
        text += statement.view(3);
        keys.insert_or_assign(std::string(statement.view(0)), std::move(text));
    }
    return keys;
}

NameSortKeys PinyinKeys::loadSortKeys() {
    NameSortKeys keys;
    Statement statement(connection_, sql::SelectPinyinSortKeys);
    while (statement.step())
        keys.add(statement.view(0), statement.view(1));
    return keys;
}
