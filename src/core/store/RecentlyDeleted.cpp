#include "core/store/RecentlyDeleted.h"

#include "core/store/FieldCatalogue.h"

#include "core/store/SchemaSql.h"
#include "core/store/Sql.h"
#include "core/store/SqlQuote.h"
#include "core/store/Statement.h"
#include "core/store/Transaction.h"
#include "core/store/UndoSql.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>

namespace {

QStringList phoneColumns(Connection& connection) {
    Statement columns(connection, sql::undo::TableColumns);
    columns.bind(1, "phone");
    QStringList names;
    while (columns.step())
        names << columns.text(0);
    return names;
}

// "main12" -> 12; 0 when the key is not of that form.
qint64 groupId(const QString& key) {
    if (!key.startsWith(QLatin1String("main")))
        return 0;
    bool ok = false;
    const qint64 id = key.mid(4).toLongLong(&ok);
    return ok && id > 0 ? id : 0;
}

} // namespace

void RecentlyDeleted::install() {
    if (connection_.isReadOnly())
        return;
    connection_.exec(schemasql::temp::UndoState);
    connection_.exec(schemasql::temp::SeedUndoState);
    connection_.exec(schemasql::temp::Clock);
    connection_.exec(schemasql::temp::SeedClock);
    connection_.exec(schemasql::temp::GoneGroups);
    connection_.exec(schemasql::temp::KeepGroupName);
    connection_.exec(schemasql::temp::GoneUids);
    connection_.exec(schemasql::temp::KeepUid);
    installTrigger();
    installed_ = true;
}

void RecentlyDeleted::installTrigger() {
    // Every column the row has, whatever this file's phone table holds.
    QStringList pairs;
    for (const QString& column : phoneColumns(connection_))
        pairs << QString::fromUtf8(schemasql::temp::KeptColumn)
                     .arg(sqlquote::literal(column), sqlquote::identifier(column));
    // The lunar birthday rides in the row under a name no column has (it goes after the row too).
    pairs << QString::fromUtf8(sql::KeepLunarBirthdayPair);
    const QString trigger = QString::fromUtf8(schemasql::temp::KeepDeleted).arg(pairs.join(QStringLiteral(", ")));
    Statement create(connection_, trigger.toStdString());
    create.exec();
}

void RecentlyDeleted::setNow(const QString& now) {
    if (!installed_)
        return;
    Statement set(connection_, sql::deleted::SetClock);
    set.bind(1, now);
    set.exec();
}

std::vector<DeletedContact> RecentlyDeleted::list() {
    std::vector<DeletedContact> people;
    if (!installed_)
        return people;
    Statement list(connection_, sql::undo::ListDeleted);
    while (list.step())
        people.push_back({list.integer(0), list.text(1), list.text(2), list.text(3), list.text(4)});
    return people;
}

RestoredContact RecentlyDeleted::restore(qint64 id) {
    QJsonObject row;
    QString groupName;
    RestoredContact restored;
    {
        Statement read(connection_, sql::undo::DeletedRow);
        read.bind(1, id);
        if (!read.step())
            return {};
        row = QJsonDocument::fromJson(read.text(0).toUtf8()).object();
        groupName = read.text(1);
        restored.uid = read.text(2);
        for (const QJsonValue& kept : QJsonDocument::fromJson(read.text(3).toUtf8()).array()) {
            const QJsonArray parts = kept.toArray();
            restored.kept.push_back({parts.at(0).toString(), parts.at(2).toString(), parts.at(1).toString()});
        }
        for (const QJsonValue& typed : QJsonDocument::fromJson(read.text(4).toUtf8()).array()) {
            const QJsonArray parts = typed.toArray();
            if (const catalogue::FieldInfo* field = catalogue::byId(parts.at(0).toString()))
                restored.values.push_back(
                    {field->field, parts.at(1).toString(), parts.at(2).toString(), parts.at(3).toString()});
        }
    }
    Transaction transaction(connection_);
    {
        Statement forget(connection_, sql::undo::ForgetDeleted);
        forget.bind(1, id);
        forget.exec();
    }
    const QString key = row.value(QStringLiteral("friendid")).toString();
    const qint64 rowId = row.value(QStringLiteral("id")).toInteger();
    {
        // Kept as the text of a JSON array [year, month, day, leap].
        const QJsonValue lunar = row.value(QString::fromUtf8(sql::KeptLunarBirthdayName));
        const QJsonArray parts =
            lunar.isArray() ? lunar.toArray() : QJsonDocument::fromJson(lunar.toString().toUtf8()).array();
        if (parts.size() == 4) {
            const LunarBirthday b{parts.at(0).toInt(), parts.at(1).toInt(), parts.at(2).toInt(), parts.at(3).toInt() != 0};
            if (b.isValid())
                restored.lunar = b;
        }
    }
    {
        Statement exists(connection_, sql::undo::ContactKeyExists);
        exists.bind(1, key).bind(2, rowId);
        if (exists.step()) {
            transaction.commit();
            return {};
        }
    }
    // The group comes back with its key when it went too (a group deleted with its people).
    const QString groupKey = row.value(QStringLiteral("mainid")).toString();
    if (const qint64 group = groupId(groupKey)) {
        Statement exists(connection_, sql::undo::GroupKeyExists);
        exists.bind(1, groupKey);
        if (!exists.step()) {
            Statement insert(connection_, sql::deleted::InsertGroupWithId);
            insert.bind(1, group).bind(2, groupKey).bind(3, groupName);
            insert.exec();
        }
    }
    QStringList columns;
    QStringList marks;
    const QStringList present = phoneColumns(connection_);
    for (const QString& column : present) {
        if (row.contains(column)) {
            columns << sqlquote::identifier(column);
            marks << QStringLiteral("?");
        }
    }
    const QString text = QString::fromUtf8(sql::deleted::InsertContactRow).arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")));
    Statement insert(connection_, text.toStdString());
    int index = 1;
    for (const QString& column : present) {
        if (!row.contains(column))
            continue;
        const QJsonValue value = row.value(column);
        if (value.isNull() || value.isUndefined())
            insert.bindNull(index);
        else if (value.isDouble())
            insert.bind(index, static_cast<qint64>(value.toDouble()));
        else
            insert.bind(index, value.toString());
        ++index;
    }
    insert.exec();
    if (!restored.uid.isEmpty())
        Statement(connection_, sql::undo::RestoreUid).bind(1, key).bind(2, restored.uid).exec();
    transaction.commit();
    restored.key = key;
    return restored;
}

QStringList RecentlyDeleted::photoPaths() {
    QStringList paths;
    {
        Statement exists(connection_, sql::TableExists);
        exists.bind(1, "zinteva_deleted");
        if (!exists.step() || exists.integer(0) == 0)
            return paths;
    }
    Statement select(connection_, sql::undo::DeletedPhotoPaths);
    while (select.step())
        paths << select.text(0);
    return paths;
}

void RecentlyDeleted::purgeBefore(const QDate& day) {
    if (!installed_)
        return;
    Statement purge(connection_, sql::undo::PurgeDeleted);
    purge.bind(1, day.toString(Qt::ISODate));
    purge.exec();
}
