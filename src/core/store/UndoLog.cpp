#include "core/store/UndoLog.h"

#include "core/store/SchemaSql.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"
#include "core/store/UndoSql.h"

#include <QStringList>
#include <vector>

namespace {

// An identifier inside SQL: "name", with any " doubled.
QString identifier(const QString& name) {
    return QLatin1Char('"') + QString(name).replace(QLatin1Char('"'), QStringLiteral("\"\"")) + QLatin1Char('"');
}

// A text inside a string literal of SQL: any ' doubled.
QString literal(const QString& text) {
    return QString(text).replace(QLatin1Char('\''), QStringLiteral("''"));
}

QStringList columnsOf(Connection& connection, const QString& table) {
    Statement columns(connection, sql::undo::TableColumns);
    columns.bind(1, table);
    QStringList names;
    while (columns.step())
        names << columns.text(0);
    return names;
}

} // namespace

void UndoLog::install() {
    // A REPLACE removes the row it replaces without a delete trigger unless triggers recurse: the
    // old row would not come back.
    connection_.exec(sql::undo::RecursiveTriggers);
    connection_.exec(schemasql::temp::UndoLog);
    connection_.exec(schemasql::temp::UndoState);
    connection_.exec(schemasql::temp::SeedUndoState);
    QStringList tables;
    {
        Statement list(connection_, sql::undo::UndoableTables);
        while (list.step())
            tables << list.text(0);
    }
    for (const QString& table : tables)
        installTriggers(table);
    installed_ = true;
}

void UndoLog::installTriggers(const QString& table) {
    const QStringList columns = columnsOf(connection_, table);
    if (columns.isEmpty())
        return;
    const QString quotedTable = identifier(table);
    const QString inTable = literal(quotedTable);
    // A table's name may hold anything; its triggers' names hold its bytes in hex.
    const QString base = QStringLiteral("zinteva_undo_") + QString::fromLatin1(table.toUtf8().toHex());

    QStringList assignments, names, values;
    for (const QString& column : columns) {
        const QString quoted = identifier(column);
        assignments << QString::fromUtf8(schemasql::temp::UndoAssignment).arg(literal(quoted), quoted);
        names << literal(quoted);
        values << QString::fromUtf8(schemasql::temp::UndoValue).arg(quoted);
    }
    const QString join = QString::fromUtf8(schemasql::temp::UndoJoin);
    // Every argument in one arg(): a name that holds "%2" is not read as a place of its own.
    const QString onInsert = QString::fromUtf8(schemasql::temp::UndoOnInsert).arg(base, quotedTable, inTable);
    const QString onUpdate =
        QString::fromUtf8(schemasql::temp::UndoOnUpdate).arg(base, quotedTable, inTable, assignments.join(join));
    const QString onDelete = QString::fromUtf8(schemasql::temp::UndoOnDelete)
                                 .arg(base, quotedTable, inTable, names.join(QStringLiteral(", ")), values.join(join));
    for (const QString& text : {onInsert, onUpdate, onDelete}) {
        Statement create(connection_, text.toStdString());
        create.exec();
    }
}

qint64 UndoLog::lastSeq() {
    Statement last(connection_, sql::undo::LastSeq);
    last.step();
    return last.integer(0);
}

qint64 UndoLog::schemaVersion() {
    Statement version(connection_, sql::undo::SchemaVersion);
    version.step();
    return version.integer(0);
}

void UndoLog::start() {
    // A table added since (the first import's kept properties, say) is logged from now on.
    const qint64 schema = schemaVersion();
    if (!installed_ || schema != schema_) {
        install();
        schema_ = schemaVersion();
    }
    startedAt_ = lastSeq();
    connection_.exec(sql::undo::StartRecording);
}

UndoLog::Range UndoLog::stop() {
    connection_.exec(sql::undo::StopRecording);
    return {startedAt_, lastSeq()};
}

UndoLog::Range UndoLog::replay(const Range& range) {
    std::vector<std::string> statements;
    {
        Statement steps(connection_, sql::undo::Steps);
        steps.bind(1, range.after).bind(2, range.upTo);
        while (steps.step())
            statements.emplace_back(steps.view(0));
    }
    Transaction transaction(connection_);
    forget(range);
    const qint64 before = lastSeq();
    connection_.exec(sql::undo::StartReplaying);
    try {
        for (const std::string& text : statements) {
            Statement undo(connection_, text);
            undo.exec();
        }
    } catch (...) {
        connection_.exec(sql::undo::StopRecording);
        throw;
    }
    connection_.exec(sql::undo::StopRecording);
    transaction.commit();
    return {before, lastSeq()};
}

void UndoLog::forget(const Range& range) {
    Statement forget(connection_, sql::undo::Forget);
    forget.bind(1, range.after).bind(2, range.upTo);
    forget.exec();
}
