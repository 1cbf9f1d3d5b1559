#include "support/DbDump.h"

#include "core/store/StoreError.h"

#include <QStringList>
#include <sqlite3.h>

namespace {

class RawStatement {
public:
    RawStatement(sqlite3* db, const QString& text) : db_(db) {
        const QByteArray utf8 = text.toUtf8();
        if (sqlite3_prepare_v2(db, utf8.constData(), static_cast<int>(utf8.size()), &statement_, nullptr) != SQLITE_OK)
            throw StoreError(sqlite3_errmsg(db));
    }
    ~RawStatement() { sqlite3_finalize(statement_); }
    RawStatement(const RawStatement&) = delete;
    RawStatement& operator=(const RawStatement&) = delete;
    bool step() {
        const int rc = sqlite3_step(statement_);
        if (rc == SQLITE_ROW)
            return true;
        if (rc != SQLITE_DONE)
            throw StoreError(sqlite3_errmsg(db_));
        return false;
    }
    int columns() const { return sqlite3_column_count(statement_); }
    // A value with its type, so that Null, '' and 0 stay apart.
    QString value(int column) const {
        switch (sqlite3_column_type(statement_, column)) {
        case SQLITE_NULL:
            return QStringLiteral("NULL");
        case SQLITE_INTEGER:
            return QString::number(sqlite3_column_int64(statement_, column));
        case SQLITE_FLOAT:
            return QString::number(sqlite3_column_double(statement_, column), 'g', 17);
        case SQLITE_BLOB: {
            const auto* bytes = static_cast<const char*>(sqlite3_column_blob(statement_, column));
            return QStringLiteral("X'%1'").arg(
                QString::fromLatin1(QByteArray(bytes, sqlite3_column_bytes(statement_, column)).toHex()));
        }
        default: {
            const auto* bytes = reinterpret_cast<const char*>(sqlite3_column_text(statement_, column));
            return QLatin1Char('\'') +
                   QString::fromUtf8(bytes, sqlite3_column_bytes(statement_, column)).replace("'", "''") +
                   QLatin1Char('\'');
        }
        }
    }

private:
    sqlite3* db_;
    sqlite3_stmt* statement_ = nullptr;
};

struct RawConnection {
    explicit RawConnection(const QString& path) {
        const int rc = sqlite3_open_v2(path.toUtf8().constData(), &db, SQLITE_OPEN_READWRITE, nullptr);
        if (rc != SQLITE_OK) {
            const std::string message = db ? sqlite3_errmsg(db) : sqlite3_errstr(rc);
            sqlite3_close(db);
            throw StoreError(message);
        }
    }
    ~RawConnection() { sqlite3_close(db); }
    sqlite3* db = nullptr;
};

} // namespace

QString dumpDatabase(sqlite3* db) {
    QStringList lines;
    QStringList tables;
    {
        RawStatement schema(db, QStringLiteral("select type, name, sql from sqlite_master order by type, name"));
        while (schema.step()) {
            lines << schema.value(0) + QLatin1Char(' ') + schema.value(1) + QLatin1Char(' ') + schema.value(2);
            if (schema.value(0) == QStringLiteral("'table'"))
                tables << schema.value(1).mid(1).chopped(1).replace("''", "'");
        }
    }
    for (const QString& table : tables) {
        lines << QStringLiteral("-- ") + table;
        RawStatement rows(db, QStringLiteral("select * from \"%1\" order by rowid").arg(table));
        while (rows.step()) {
            QStringList cells;
            for (int column = 0; column < rows.columns(); ++column) {
                // A contact's UID is random and a delete is kept with the time of day it happened:
                // two runs of the same saves agree on who has one and on what was kept.
                const bool randomUid = (table == QStringLiteral("zinteva_uid") && column == 1) ||
                                       (table == QStringLiteral("zinteva_deleted") && column == 7);
                const bool time = table == QStringLiteral("zinteva_deleted") && column == 5;
                cells << (randomUid ? QStringLiteral("<uid>") : time ? QStringLiteral("<time>") : rows.value(column));
            }
            lines << cells.join(QLatin1Char('|'));
        }
    }
    return lines.join(QLatin1Char('\n'));
}

QString dumpFile(const QString& path) {
    RawConnection connection(path);
    return dumpDatabase(connection.db);
}

QString integrityOf(sqlite3* db) {
    QStringList complaints;
    RawStatement check(db, QStringLiteral("pragma integrity_check"));
    while (check.step())
        complaints << check.value(0).mid(1).chopped(1);
    return complaints.join(QLatin1Char('\n'));
}

QString integrityOfFile(const QString& path) {
    RawConnection connection(path);
    return integrityOf(connection.db);
}
