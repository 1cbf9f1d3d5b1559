#include "core/exchange/ContactUid.h"

#include "core/store/Sql.h"
#include "core/store/Store.h"
#include "core/text/Keys.h"

#include <QRandomGenerator>
#include <SQLiteCpp/SQLiteCpp.h>

namespace {
const QString Prefix = QStringLiteral("zinteva-");
constexpr const char* UidKey = "uid";
} // namespace

QString ContactUid::filePart(Store& store, bool create) {
    try {
        SQLite::Database& db = store.database();
        SQLite::Statement exists(db, sql::TableExists);
        exists.bind(1, "zinteva_meta");
        if (exists.executeStep() && exists.getColumn(0).getInt() > 0) {
            SQLite::Statement select(db, sql::SelectMeta);
            select.bind(1, UidKey);
            if (select.executeStep())
                return QString::fromStdString(select.getColumn(0).getString());
        }
        if (!create || store.isReadOnly())
            return {};
        quint64 random = 0;
        while (random == 0)
            random = QRandomGenerator::system()->generate64();
        const QString part = QStringLiteral("%1").arg(random, 16, 16, QLatin1Char('0'));
        db.exec(sql::CreateMeta);
        SQLite::Statement insert(db, sql::InsertMeta);
        insert.bind(1, UidKey);
        insert.bind(2, part.toStdString());
        insert.exec();
        return part;
    } catch (const StoreError&) {
        throw;
    } catch (const std::exception& e) {
        throw StoreError(e.what());
    }
}

QString ContactUid::make(const QString& filePart, const QString& contactKey) {
    if (filePart.isEmpty())
        return {};
    return Prefix + filePart + u'-' + contactKey;
}

QString ContactUid::contactKeyOf(const QString& filePart, const QString& uid) {
    if (filePart.isEmpty())
        return {};
    const QString head = Prefix + filePart + u'-';
    if (!uid.startsWith(head))
        return {};
    const QString key = uid.mid(head.size());
    if (keys::kindOf(key) != keys::Kind::Contact || !key.startsWith(u"friend") || !keys::idOf(key))
        return {};
    return key;
}
