#include "core/store/DataFiles.h"

#include "core/store/Store.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cstdio>
#include <fcntl.h>
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

QString checkDataFile(const QString& path) {
    try {
        auto store = Store::open(path, OpenOptions{nullptr, true});
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

// Copies source to a temporary file beside target, syncs and re-reads it, then renames it over target.
bool replaceByCopy(const QString& source, const QString& target, QString* error) {
    const QString temporary = target + QStringLiteral(".tmp");
    auto fail = [&](const QString& reason) {
        QFile::remove(temporary);
        if (error)
            *error = reason;
        return false;
    };
    QFile in(source);
    if (!in.open(QIODevice::ReadOnly))
        return fail(QStringLiteral("不能读取 %1: %2").arg(source, in.errorString()));
    QFile::remove(temporary);
    QFile out(temporary);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, out.errorString()));
    QCryptographicHash written(QCryptographicHash::Sha256);
    while (!in.atEnd()) {
        const QByteArray chunk = in.read(1 << 20);
        if (chunk.isEmpty() && in.error() != QFileDevice::NoError)
            return fail(QStringLiteral("不能读取 %1: %2").arg(source, in.errorString()));
        if (out.write(chunk) != chunk.size())
            return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, out.errorString()));
        written.addData(chunk);
    }
    if (!out.flush() || ::fsync(out.handle()) != 0)
        return fail(QStringLiteral("不能写入 %1: %2").arg(temporary, out.errorString()));
    out.close();

    QFile check(temporary);
    QCryptographicHash reread(QCryptographicHash::Sha256);
    if (!check.open(QIODevice::ReadOnly) || !reread.addData(&check) || reread.result() != written.result())
        return fail(QStringLiteral("%1 的副本与原文件不一致").arg(source));
    check.close();

    if (std::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
        return fail(QStringLiteral("不能替换 %1").arg(target));
    syncDirectory(QFileInfo(target).absolutePath());
    return true;
}

} // namespace

bool refreshBackup(const DataPaths& paths, QString* error) {
    const QString state = checkDataFile(paths.data);
    if (state != QStringLiteral("ok")) {
        if (error)
            *error = QStringLiteral("数据文件有问题，没有用它覆盖备份文件: ") + state;
        return false;
    }
    return replaceByCopy(paths.data, paths.backup, error);
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
    return replaceByCopy(paths.backup, paths.data, error);
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
