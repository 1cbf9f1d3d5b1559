#include "core/exchange/KeptText.h"

#include "core/store/FieldCatalogue.h"

#include <QStringList>

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
QString readable(QStringView value, bool structured) {
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
    QStringList filled;
    for (const QString& part : parts) {
        if (!part.trimmed().isEmpty())
            filled.append(part);
    }
    return filled.join(QStringLiteral(", "));
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
    if (!types.isEmpty())
        shown.label += QStringLiteral("（%1）").arg(types.join(u','));
    if (binary)
        shown.text = QStringLiteral("（%1 字节的数据）").arg(QByteArray::fromBase64(headAndValue[1].toLatin1()).size());
    else
        shown.text = readable(headAndValue[1], name == u"ADR" || name == u"N" || name == u"ORG");
    return shown;
}

} // namespace kepttext
