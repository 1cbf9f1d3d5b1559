#include "core/exchange/ContactUid.h"

#include "core/store/MetaTable.h"
#include "core/text/Keys.h"
#include "core/store/Store.h"

#include <QRandomGenerator>

namespace {
const QString Prefix = QStringLiteral("zinteva-");
constexpr const char* UidKey = "uid";
} // namespace

QString ContactUid::filePart(Store& store, bool create) {
    if (const std::optional<QString> part = store.meta().value(UidKey))
        return *part;
    if (!create || store.isReadOnly())
        return {};
    quint64 random = 0;
    while (random == 0)
        random = QRandomGenerator::system()->generate64();
    const QString part = QStringLiteral("%1").arg(random, 16, 16, QLatin1Char('0'));
    store.meta().insert(UidKey, part);
    return part;
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
