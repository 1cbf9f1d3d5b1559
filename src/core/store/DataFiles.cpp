#include "core/store/DataFiles.h"

#include "core/store/Store.h"

#include "core/store/Sql.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

DataPaths DataPaths::in(const QString& dir) {
    const QString base = QDir(dir).absolutePath();
    return {base, base + QStringLiteral("/tavrel.mdb"), base + QStringLiteral("/tavrel.tsb")};
}

QString programDirectory() {
    const QString fromEnvironment = qEnvironmentVariable("ZINTEVA_DIR");
    if (!fromEnvironment.isEmpty())
        return QDir(fromEnvironment).absolutePath();
    return QCoreApplication::applicationDirPath();
}

QString checkDataFile(const QString& path, bool writable) {
    try {
        auto store = Store::open(path, OpenOptions{nullptr, !writable});
        return store->quickCheck();
    } catch (const StoreError& e) {
        return e.message();
    }
}

namespace {

bool syncDirectory(const QString& dir) {
    const int fd = ::open(QFile::encodeName(dir).constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

// The mode a copy of `source` gets: the source's own read and write bits, so that a private data file
// keeps a private backup and a private backup restores a private data file.
mode_t copyMode(const QString& source) {
    struct stat st {};
    if (::stat(QFile::encodeName(source).constData(), &st) != 0)
        return 0600;
    return st.st_mode & 0666;
}

// Copies the database `source` into a temporary file beside `target` through SQLite's online backup,
// which reads under SQLite's own lock and so never copies half a transaction of another writer; the
// copy is then checked on its own, synced, and only then renamed over `target`.
bool replaceByCopy(const QString& source, const QString& target, QString* error, mode_t mode) {
    const QString temporary = target + QStringLiteral(".tmp");
    const QByteArray temporaryName = QFile::encodeName(temporary);
    sqlite3* from = nullptr;
    sqlite3* to = nullptr;
    auto closeBoth = [&] {
        sqlite3_close_v2(to);
        sqlite3_close_v2(from);
        to = from = nullptr;
    };
    auto fail = [&](const QString& reason) {
        closeBoth();
        ::unlink(temporaryName.constData());
        ::unlink((temporaryName + "-journal").constData());
        if (error)
            *error = reason;
        return false;
    };
    auto sqliteError = [](sqlite3* db) { return db ? QString::fromUtf8(sqlite3_errmsg(db)) : QStringLiteral("内存不足"); };

    try {
        refuseIrregularFiles(source);
    } catch (const StoreError& e) {
        return fail(e.message());
    }
    // A file (or a symlink, or a FIFO) left under the temporary name by anybody goes first; the copy is
    // then made in a new file of its own, never through a name planted beforehand.
    ::unlink(temporaryName.constData());
    ::unlink((temporaryName + "-journal").constData());
    const int fd = ::open(temporaryName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
    if (fd < 0)
        return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, QString::fromLocal8Bit(std::strerror(errno))));
    ::fchmod(fd, mode); // the umask has no say: the copy has exactly the source's bits
    ::close(fd);

    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(from);
        from = nullptr;
        if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from, SQLITE_OPEN_READONLY, nullptr) != SQLITE_OK)
            return fail(QStringLiteral("不能读取 %1: %2").arg(source, sqliteError(from)));
    }
    sqlite3_busy_timeout(from, 5000);
    if (sqlite3_open_v2(temporaryName.constData(), &to, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, sqliteError(to)));
    sqlite3_backup* backup = sqlite3_backup_init(to, "main", from, "main");
    if (!backup)
        return fail(QStringLiteral("不能复制 %1: %2").arg(source, sqliteError(to)));
    int rc = SQLITE_OK;
    do {
        rc = sqlite3_backup_step(backup, -1);
        if (rc == SQLITE_BUSY || rc == SQLITE_LOCKED)
            sqlite3_sleep(50);
    } while (rc == SQLITE_OK || rc == SQLITE_BUSY || rc == SQLITE_LOCKED);
    sqlite3_backup_finish(backup);
    if (rc != SQLITE_DONE)
        return fail(QStringLiteral("不能复制 %1 到 %2: %3").arg(source, temporary, sqliteError(to)));

    // The copy itself is read through before it may replace anything.
    sqlite3_stmt* check = nullptr;
    QString verdict;
    if (sqlite3_prepare_v2(to, sql::QuickCheck, -1, &check, nullptr) == SQLITE_OK && sqlite3_step(check) == SQLITE_ROW)
        verdict = QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_column_text(check, 0)));
    sqlite3_finalize(check);
    if (verdict != QStringLiteral("ok"))
        return fail(QStringLiteral("%1 的副本没有通过检查: %2").arg(source, verdict.isEmpty() ? sqliteError(to) : verdict));
    closeBoth();

    const int sync = ::open(temporaryName.constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
    const bool synced = sync >= 0 && ::fsync(sync) == 0;
    if (sync >= 0)
        ::close(sync);
    if (!synced)
        return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, QString::fromLocal8Bit(std::strerror(errno))));

    if (std::rename(temporaryName.constData(), QFile::encodeName(target).constData()) != 0)
        return fail(QStringLiteral("不能替换 %1").arg(target));
    syncDirectory(QFileInfo(target).absolutePath());
    return true;
}

} // namespace

bool refreshBackup(const DataPaths& paths, QString* error) {
    // Opened for writing, so that a journal left by a writer killed in a save is rolled back first.
    const QString state = checkDataFile(paths.data, true);
    if (state != QStringLiteral("ok")) {
        if (error)
            *error = QStringLiteral("数据文件有问题，没有用它覆盖备份文件: ") + state;
        return false;
    }
    return replaceByCopy(paths.data, paths.backup, error, copyMode(paths.data));
}

bool copyDatabase(const QString& source, const QString& target, QString* error) {
    return replaceByCopy(source, target, error, 0600);
}

bool restoreBackup(const DataPaths& paths, QString* error) {
    const QString state = checkDataFile(paths.backup);
    if (state != QStringLiteral("ok")) {
        if (error)
            *error = QStringLiteral("备份文件有问题，不能恢复: ") + state;
        return false;
    }
    // A journal left by the lost data file would be rolled back into the restored copy.
    QFile::remove(paths.data + QStringLiteral("-journal"));
    return replaceByCopy(paths.backup, paths.data, error, copyMode(paths.backup));
}

namespace {
QString journalOf(const QString& file) {
    return file + QStringLiteral("-journal");
}

// Renames a database file together with its journal, so that SQLite still finds the journal that
// belongs to it.
bool moveWithJournal(const QString& from, const QString& to) {
    if (!QFile::rename(from, to))
        return false;
    if (QFile::exists(journalOf(from)) && !QFile::rename(journalOf(from), journalOf(to))) {
        QFile::rename(to, from);
        return false;
    }
    return true;
}
} // namespace

bool restoreOverDamaged(const DataPaths& paths, QString* aside, QString* error) {
    // A damaged file is never thrown away, not even an older one kept aside before.
    QString name = paths.data + QStringLiteral(".damaged");
    for (int n = 2; QFile::exists(name) || QFile::exists(journalOf(name)); ++n)
        name = paths.data + QStringLiteral(".damaged.%1").arg(n);
    if (!moveWithJournal(paths.data, name)) {
        if (error)
            *error = QStringLiteral("不能把 %1 改名为 %2").arg(paths.data, name);
        return false;
    }
    if (!restoreBackup(paths, error)) {
        moveWithJournal(name, paths.data);
        return false;
    }
    if (aside)
        *aside = name;
    return true;
}
