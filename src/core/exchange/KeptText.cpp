#include "core/exchange/KeptText.h"

#include "core/exchange/TypedCard.h"
#include "core/store/FieldCatalogue.h"

#include <QStringList>
#include <algorithm>
#include <initializer_list>

namespace kepttext {

namespace {

// Splits at a separator outside double quotes.
QStringList splitOutsideQuotes(QStringView text, QChar separator) {
    QStringList parts;
    QString part;
    bool quoted = false;
    for (const QChar c : text) {
        if (c == u'"')
            quoted = !quoted;
        if (c == separator && !quoted) {
            parts.append(part);
            part.clear();
        } else {
            part += c;
        }
    }
    parts.append(part);
    return parts;
}

// The value with \n, \, \; \\ undone; the components of a structured value joined.
QString readable(QStringView value, bool structured, const QString& joiner = QStringLiteral(", ")) {
    QStringList parts;
    QString out;
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == u'\\' && i + 1 < value.size()) {
            const QChar next = value[++i];
            out += (next == u'n' || next == u'N') ? QChar(u'\n') : next;
        } else if (c == u';' && structured) {
            parts.append(out);
            out.clear();
        } else {
            out += c;
        }
    }
    parts.append(out);
    if (joiner != QStringLiteral(", "))
        return parts.join(joiner); // every part in its place
    QStringList filled;
    for (const QString& part : parts) {
        if (!part.trimmed().isEmpty())
            filled.append(part);
    }
    return filled.join(joiner);
}

QString labelFor(const QString& name) {
    // The fields beyond the columns by the catalogue's labels (电话, 单位, 职务, 微信, ...).
    for (const catalogue::FieldInfo& field : catalogue::all()) {
        if (field.storage == catalogue::Storage::Typed && name == QLatin1String(field.vcard))
            return QString::fromUtf16(field.label);
    }
    // A second value of a column's property, and what no field knows.
    static const std::pair<const char*, const char16_t*> labels[] = {
        {"FN", u"姓名"},        {"N", u"姓名（分项）"},  {"LABEL", u"地址标签"}, {"NOTE", u"备注"},
        {"BDAY", u"生日"},      {"NICKNAME", u"昵称"},   {"PHOTO", u"照片"},     {"LOGO", u"标志"},
        {"CATEGORIES", u"分类"}, {"GEO", u"位置"},       {"TZ", u"时区"},        {"UID", u"UID"},
        {"REV", u"修改时间"},   {"X-QQ", u"QQ"},         {"X-ICQ", u"ICQ"},      {"X-MSN", u"MSN"},
        {"X-SKYPE", u"Skype"},  {"SOUND", u"声音"},      {"KEY", u"密钥"},       {"AGENT", u"代理人"},
        {"X-GENDER", u"性别"},
    };
    for (const auto& [vcard, label] : labels) {
        if (name == QLatin1String(vcard))
            return QString::fromUtf16(label);
    }
    return name;
}

} // namespace

Shown describe(const KeptProperty& property) {
    const QStringList headAndValue = [&] {
        const QStringList parts = splitOutsideQuotes(property.line, u':');
        return parts.size() < 2 ? QStringList{parts.value(0), QString()}
                                : QStringList{parts.front(), property.line.mid(parts.front().size() + 1)};
    }();
    QStringList head = splitOutsideQuotes(headAndValue[0], u';');
    QString name = head.takeFirst();
    if (const qsizetype dot = name.lastIndexOf(u'.'); dot >= 0)
        name = name.mid(dot + 1);
    name = name.toUpper();
    QStringList types;
    QString column;
    bool binary = false;
    for (const QString& param : head) {
        const QString key = param.section(u'=', 0, 0).toUpper();
        QString value = param.section(u'=', 1);
        value.remove(u'"');
        if (key == u"TYPE")
            types.append(value);
        else if (key == u"ENCODING")
            binary = true;
        else if (key == u"X-COLUMN" || key == u"X-SERVICE-TYPE")
            column = value;
    }
    Shown shown;
    shown.label = name == u"X-ZINTEVA-CSV" ? column : labelFor(name);
    if (name == u"IMPP" && !column.isEmpty())
        shown.label += QStringLiteral("（%1）").arg(column);
    if (!types.isEmpty()) {
        // The usual kinds in the user's words (手机, 工作, 家庭, 传真...); others as the card wrote them.
        QList<QByteArray> upper;
        for (const QString& type : types.join(u',').split(u','))
            upper.append(type.trimmed().toUpper().toLatin1());
        const std::optional<catalogue::Field> field = typedcard::fieldOf(name.toLatin1(), QByteArray(), QString());
        QString words = field ? typedcard::labelOf(*field, upper, QString(), name.toLatin1(), QByteArray()) : QString();
        if (words.isEmpty() || words == u"其他")
            words = types.join(u',');
        shown.label += QStringLiteral("（%1）").arg(words);
    }
    if (binary)
        shown.text = QStringLiteral("（%1 字节的数据）").arg(QByteArray::fromBase64(headAndValue[1].toLatin1()).size());
    else
        shown.text = readable(headAndValue[1], name == u"ADR" || name == u"N" || name == u"ORG");
    return shown;
}

Shown describe(const TypedValue& value) {
    Shown shown;
    shown.label = QString::fromUtf16(catalogue::info(value.field).label);
    if (!value.label.isEmpty())
        shown.label += QStringLiteral("（%1）").arg(value.label);
    if (value.field == catalogue::Field::OtherAddress) {
        // post box;extended;street;locality;region;postal code;country
        const QStringList parts = readable(value.value, true, QStringLiteral("\x1f")).split(u'\x1f');
        // A Chinese address reads from the country down, without commas; others as they are written.
        const bool chinese = std::any_of(value.value.begin(), value.value.end(),
                                         [](QChar c) { return c.unicode() >= 0x3400 && c.unicode() <= 0x9fff; });
        QStringList inOrder;
        for (int index : chinese ? std::initializer_list<int>{6, 4, 3, 2, 1, 0} : std::initializer_list<int>{0, 1, 2, 3, 4, 6}) {
            const QString part = parts.value(index).trimmed();
            if (!part.isEmpty() && !inOrder.contains(part))
                inOrder.append(part);
        }
        shown.text = inOrder.join(chinese ? QString() : QStringLiteral(", "));
        if (const QString code = parts.value(5).trimmed(); !code.isEmpty())
            shown.text += QStringLiteral("（邮编 %1）").arg(code);
    } else {
        const bool structured = value.field == catalogue::Field::Organization;
        shown.text = readable(value.value, structured);
    }
    return shown;
}

} // namespace kepttext
