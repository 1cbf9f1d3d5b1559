#include "Keys.h"

namespace keys {

Kind kindOf(const QString& key) {
    const QStringView head = QStringView(key).left(4);
    if (head == u"root")
        return Kind::Root;
    if (head == u"main")
        return Kind::Group;
    return Kind::Contact;
}

QString groupKey(qint64 id) {
    return QStringLiteral("main") + QString::number(id);
}
QString contactKey(qint64 id) {
    return QStringLiteral("friend") + QString::number(id);
}

std::optional<qint64> idOf(const QString& key) {
    qsizetype prefix = 0;
    if (key.startsWith(u"main"))
        prefix = 4;
    else if (key.startsWith(u"friend"))
        prefix = 6;
    else
        return std::nullopt;
    bool ok = false;
    const qint64 id = key.mid(prefix).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return id;
}

} // namespace keys
