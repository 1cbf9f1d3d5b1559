#include "core/store/UndoLog.h"

#include "core/store/SqlQuote.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"
#include "core/store/UndoSql.h"

#include <QStringList>
#include <vector>

namespace {

QStringList columnsOf(Connection& connection, const QString& table) {
    Statement columns(connection, sql::undo::TableColumns);
    columns.bind(1, table);
    QStringList names;
    while (columns.step())
        names << columns.text(0);
    return names;
}

// The trigger's body inserts the undoing statement, built by SQL from the row's old values
// (quote() writes each value as a literal of its own type, so nothing the user typed becomes SQL).
QString logInsert(const QString& statementExpression) {
    return QStringLiteral("insert into zinteva_undo_log (statement) values (%1);").arg(statementExpression);
}

} // namespace

void UndoLog::install() {
    // A REPLACE removes the row it replaces without a delete trigger unless triggers recurse: the
    // old row would not come back.
    connection_.exec(sql::undo::RecursiveTriggers);
    connection_.exec(sql::undo::CreateLog);
    connection_.exec(sql::undo::CreateState);
    connection_.exec(sql::undo::SeedState);
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
    using sqlquote::identifier;
    using sqlquote::literal;
    const QString quotedTable = identifier(table);
    const QString when = QStringLiteral(" when (select recording from temp.zinteva_undo_state) > 0 begin ");
    // A table's name may hold anything; its triggers' names hold its bytes in hex.
    const QString base = QStringLiteral("zinteva_undo_") + QString::fromLatin1(table.toUtf8().toHex());

    // Each undoing statement is SQL text put together by SQL: the fixed parts as literals, the
    // row's values through quote().
    const QString onInsert =
        QStringLiteral("create temp trigger if not exists %1_i after insert on main.%2").arg(base, quotedTable) + when +
        logInsert(literal(QStringLiteral("delete from main.%1 where rowid = ").arg(quotedTable)) +
                  QStringLiteral(" || new.rowid")) +
        " end";

    QStringList assignments, names, values;
    for (const QString& column : columns) {
        const QString quoted = identifier(column);
        assignments << QStringLiteral("%1 || quote(old.%2)").arg(literal(quoted + QStringLiteral(" = ")), quoted);
        names << quoted;
        values << QStringLiteral("quote(old.%1)").arg(quoted);
    }
    const QString onUpdate =
        QStringLiteral("create temp trigger if not exists %1_u after update on main.%2").arg(base, quotedTable) +
        when +
        logInsert(QStringLiteral("%1 || %2 || %3 || old.rowid")
                      .arg(literal(QStringLiteral("update main.%1 set ").arg(quotedTable)),
                           assignments.join(QStringLiteral(" || ', ' || ")), literal(QStringLiteral(" where rowid = ")))) +
        " end";
    const QString onDelete =
        QStringLiteral("create temp trigger if not exists %1_d after delete on main.%2").arg(base, quotedTable) +
        when +
        logInsert(QStringLiteral("%1 || old.rowid || ', ' || %2 || ')'")
                      .arg(literal(QStringLiteral("insert into main.%1 (rowid, %2) values (")
                                       .arg(quotedTable, names.join(QStringLiteral(", ")))),
                           values.join(QStringLiteral(" || ', ' || ")))) +
        " end";
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
