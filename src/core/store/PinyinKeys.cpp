#include "core/store/PinyinKeys.h"

#include "core/store/FileStamp.h"
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

std::optional<unsigned> fileCounter(Connection& connection) {
    const char* file = sqlite3_db_filename(connection.handle(), "main");
    if (!file || !*file)
        return std::nullopt; // a database in memory has no header to trust
    return filestamp::changeCounter(QString::fromUtf8(file));
}

std::optional<unsigned> storedStamp(Connection& connection) {
    Statement exists(connection, sql::TableExists);
    exists.bind(1, "zinteva_meta");
    if (!exists.step() || exists.integer(0) == 0)
        return std::nullopt;
    Statement read(connection, sql::SelectMeta);
    read.bind(1, sql::PinyinCheckedKey);
    if (!read.step())
        return std::nullopt;
    bool ok = false;
    const unsigned value = read.text(0).toUInt(&ok);
    return ok ? std::optional<unsigned>(value) : std::nullopt;
}

// Inside a transaction begun immediate, so that nobody else commits meanwhile: the stamp written is
// the counter this very commit leaves in the header.
void writeStamp(Connection& connection, unsigned counter) {
    Statement write(connection, sql::ReplaceMeta);
    write.bind(1, sql::PinyinCheckedKey);
    write.bind(2, QString::number(counter + 1));
    write.exec();
}

long long dataVersion(Connection& connection) {
    Statement version(connection, sql::DataVersion);
    return version.step() ? version.integer(0) : -1;
}

// Runs write inside "begin immediate"; commits when it returns true, else rolls back.
template <typename Write> bool immediately(Connection& connection, Write&& write) {
    connection.exec(sql::BeginImmediate);
    try {
        const bool keep = write();
        connection.exec(keep ? sql::Commit : sql::Rollback);
        return keep;
    } catch (...) {
        try {
            connection.exec(sql::Rollback);
        } catch (const StoreError&) {
            // SQLite rolled back already
        }
        throw;
    }
}

struct StaleContact {
    std::string key;
    QString name;
    pinyin::Keys keys;
};

} // namespace

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

int PinyinKeys::backfillInSteps(const std::atomic<bool>& stop) {
    constexpr int Step = 256;
    int written = 0;
    Statement read(connection_, sql::SelectStalePinyinAfter);
    Statement write(connection_, sql::WritePinyinIfName);
    // A pass during which another connection committed may have missed what it wrote: once more.
    for (int pass = 0; pass < 3 && !stop; ++pass) {
        const long long version = dataVersion(connection_);
        qint64 last = 0;
        std::vector<StaleContact> batch;
        while (!stop) {
            batch.clear();
            read.bind(1, last);
            read.bind(2, qint64(Step));
            while (read.step()) {
                last = read.integer(0);
                batch.push_back({std::string(read.view(1)), read.text(2), {}});
            }
            read.reset();
            if (batch.empty())
                break;
            for (StaleContact& contact : batch)
                contact.keys = pinyin::keysOf(contact.name);
            Transaction transaction(connection_);
            for (const StaleContact& contact : batch) {
                write.bind(1, std::string_view(contact.key));
                write.bind(2, contact.name);
                write.bind(3, contact.keys.full);
                write.bind(4, contact.keys.initials);
                write.bind(5, contact.keys.variants.join(u' '));
                write.bind(6, contact.keys.sortKey);
                write.exec();
                written += connection_.changes();
                write.reset();
            }
            transaction.commit();
        }
        if (stop || connection_.isReadOnly())
            break;
        {
            Transaction transaction(connection_);
            Statement(connection_, sql::DeleteOrphanPinyin).exec();
            if (connection_.changes() > 0)
                transaction.commit();
        }
        const bool clean = immediately(connection_, [&] {
            const std::optional<unsigned> counter = fileCounter(connection_);
            const bool unchanged = dataVersion(connection_) == version;
            if (unchanged && counter)
                writeStamp(connection_, *counter);
            return unchanged;
        });
        if (clean)
            break;
    }
    return written;
}

int PinyinKeys::backfillFile(const QString& dataFile, const OpenOptions& options, const std::atomic<bool>& stop) {
    Connection connection(dataFile, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, options.vfs);
    return PinyinKeys(connection).backfillInSteps(stop);
}

bool PinyinKeys::readStamp() {
    current_ = false;
    try {
        const std::optional<unsigned> stamp = storedStamp(connection_);
        const std::optional<unsigned> counter = fileCounter(connection_);
        version_ = dataVersion(connection_);
        current_ = stamp && counter && *stamp == *counter;
    } catch (const StoreError&) {
        // Unknown means not current: the keys are checked.
    }
    return current_;
}

bool PinyinKeys::stampIfCurrent() {
    if (!current_ || connection_.isReadOnly())
        return false;
    bool ours = false;
    try {
        immediately(connection_, [&] {
            // data_version moves only when another connection commits: every change since the
            // keys were known current was this connection's own, and those keep them current.
            const std::optional<unsigned> counter = fileCounter(connection_);
            ours = counter && dataVersion(connection_) == version_;
            // A session that wrote nothing leaves the file as it found it.
            const bool write = ours && storedStamp(connection_) != counter;
            if (write)
                writeStamp(connection_, *counter);
            return write;
        });
    } catch (const StoreError&) {
        return false; // the next start checks the keys
    }
    return ours;
}

std::shared_ptr<const NameSortKeys> PinyinKeys::cachedSortKeys() {
    const long long changes = sqlite3_total_changes64(connection_.handle());
    const long long version = dataVersion(connection_);
    if (!sortKeys_.keys || sortKeys_.changes != changes || sortKeys_.version != version)
        sortKeys_ = {changes, version, std::make_shared<const NameSortKeys>(loadSortKeys())};
    return sortKeys_.keys;
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
