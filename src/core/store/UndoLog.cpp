#include "core/store/UndoLog.h"

#include "core/store/SchemaSql.h"
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
    using sqlquote::identifier;
    using sqlquote::literal;
    const QString quotedTable = identifier(table);
    // A table's name may hold anything; its triggers' names hold its bytes in hex.
    const QString base = QStringLiteral("zinteva_undo_") + QString::fromLatin1(table.toUtf8().toHex());

    // Each undoing statement is SQL text put together by SQL: the fixed parts as literals, the row's
    // values through quote(). Every argument goes in one arg(), so that a name holding "%2" is not
    // read as a place of its own.
    namespace t = schemasql::temp;
    auto utf8 = [](const char* text) { return QString::fromUtf8(text); };
    QStringList assignments, names, values;
    for (const QString& column : columns) {
        const QString quoted = identifier(column);
        assignments << utf8(t::UndoAssignment).arg(literal(quoted + QStringLiteral(" = ")), quoted);
        names << quoted;
        values << utf8(t::UndoValue).arg(quoted);
    }
    const QString join = utf8(t::UndoJoin);
    const QString onInsert =
        utf8(t::UndoOnInsert).arg(base, quotedTable, literal(utf8(t::UndoDeleteRow).arg(quotedTable)));
    const QString onUpdate =
        utf8(t::UndoOnUpdate)
            .arg(base, quotedTable, literal(utf8(t::UndoUpdateRow).arg(quotedTable)), assignments.join(join),
                 literal(utf8(t::UndoWhereRow)));
    const QString onDelete =
        utf8(t::UndoOnDelete)
            .arg(base, quotedTable,
                 literal(utf8(t::UndoInsertRow).arg(quotedTable, names.join(QStringLiteral(", ")))),
                 values.join(join));
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

bool UndoLog::mentions(const QString& text) {
    if (!installed_ || text.isEmpty())
        return false;
    Statement statement(connection_, sql::undo::LogMentions);
    statement.bind(1, text);
    return statement.step() && statement.integer(0) != 0;
}
