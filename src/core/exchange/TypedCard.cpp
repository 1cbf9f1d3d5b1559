#include "core/exchange/TypedCard.h"

#include "core/exchange/VCardWriter.h"
#include "core/store/FieldCatalogue.h"

#include <QStringList>
#include <span>

namespace typedcard {
namespace {

using catalogue::Field;

struct TypeLabel {
    const char* types; // the 3.0 TYPE values, comma separated, as this program writes them
    const char16_t* label;
};

// The first row whose every type the property has gives its label; the order puts the combined
// kinds (工作传真) before the single ones.
constexpr TypeLabel PhoneLabels[] = {
    {"WORK,FAX", u"工作传真"}, {"HOME,FAX", u"家庭传真"}, {"CELL", u"手机"},     {"FAX", u"传真"},
    {"CAR", u"车载电话"},      {"PAGER", u"寻呼机"},      {"MAIN", u"主要电话"}, {"IPHONE", u"iPhone"},
    {"VIDEO", u"视频电话"},    {"TEXT", u"短信"},         {"WORK", u"工作"},     {"HOME", u"家庭"},
};
constexpr TypeLabel PlaceLabels[] = {{"WORK", u"工作"}, {"HOME", u"家庭"}};
const QString Other = QStringLiteral("其他");

bool hasAll(const QList<QByteArray>& types, const char* wanted) {
    for (const QByteArray& type : QByteArray(wanted).split(',')) {
        if (!types.contains(type) && !(type == "CELL" && types.contains("MOBILE")))
            return false;
    }
    return true;
}

std::span<const TypeLabel> labelsOf(Field field) {
    if (field == Field::Phone)
        return PhoneLabels;
    if (field == Field::OtherEmail || field == Field::OtherAddress || field == Field::Url)
        return PlaceLabels;
    return {};
}

bool isWeChat(const QString& text) {
    const QString t = text.trimmed().toLower();
    return t == u"微信" || t == u"wechat" || t == u"weixin";
}

// An address or organisation is kept as the card wrote it: its parts between ';', each escaped.
QString escapedKeepingParts(const QString& text) {
    QString out = text;
    out.remove(u'\r');
    return out.replace(u'\n', QStringLiteral("\\n"));
}

} // namespace

std::optional<Field> fieldOf(const QByteArray& name, const QByteArray& service, const QString& label) {
    if (name == "TEL")
        return isWeChat(label) ? Field::WeChat : Field::Phone;
    if (name == "EMAIL")
        return Field::OtherEmail;
    if (name == "ADR")
        return Field::OtherAddress;
    if (name == "X-WECHAT" || name == "X-WEIXIN")
        return Field::WeChat;
    if (name == "IMPP")
        return isWeChat(QString::fromUtf8(service)) ? Field::WeChat : Field::Im;
    if (name == "X-SKYPE" || name == "X-SKYPE-USERNAME" || name == "X-JABBER" || name == "X-AIM" ||
        name == "X-YAHOO" || name == "X-GOOGLE-TALK" || name == "X-GADUGADU")
        return Field::Im;
    if (name == "ORG")
        return Field::Organization;
    if (name == "TITLE")
        return Field::Title;
    if (name == "ROLE")
        return Field::Role;
    if (name == "URL")
        return Field::Url;
    if (name == "ANNIVERSARY" || name == "X-ANNIVERSARY")
        return Field::Anniversary;
    if (name == "RELATED")
        return Field::Related;
    if (name == "GENDER")
        return Field::Gender;
    return std::nullopt;
}

QString labelOf(Field field, const QList<QByteArray>& types, const QString& ownLabel, const QByteArray& name,
                const QByteArray& service) {
    // Apple's _$!<Mobile>!$_ labels are its own words for the usual kinds.
    QString own = ownLabel.trimmed();
    if (own.startsWith(u"_$!<") && own.endsWith(u">!$_"))
        own.clear();
    if (!own.isEmpty() && !isWeChat(own))
        return own;
    for (const TypeLabel& row : labelsOf(field)) {
        if (hasAll(types, row.types))
            return QString::fromUtf16(row.label);
    }
    if (field == Field::Im) {
        if (!service.isEmpty())
            return QString::fromUtf8(service);
        if (name.startsWith("X-"))
            return QString::fromLatin1(name.mid(2)).toLower();
    }
    if (field == Field::Phone || field == Field::OtherEmail || field == Field::OtherAddress)
        return Other;
    return {};
}

QString typesOfLabel(Field field, const QString& label) {
    for (const TypeLabel& row : labelsOf(field)) {
        if (label == QStringView(row.label))
            return QString::fromLatin1(row.types);
    }
    return {};
}

QStringList linesFor(const TypedValue& value, int item) {
    const catalogue::FieldInfo& info = catalogue::info(value.field);
    const bool structured = value.field == Field::OtherAddress || value.field == Field::Organization;
    const QString text = structured ? escapedKeepingParts(value.value) : VCardWriter::escapedText(value.value);
    QString name = QString::fromLatin1(info.vcard);
    if (value.field == Field::Im && !value.label.isEmpty()) {
        // An address of a messenger is written as it was given (xmpp:..., skype:...).
        return {QStringLiteral("IMPP;X-SERVICE-TYPE=%1:%2").arg(VCardWriter::escapedText(value.label), text)};
    }
    QString types = typesOfLabel(value.field, value.label);
    if (value.field == Field::OtherEmail && !types.isEmpty())
        types = QStringLiteral("INTERNET,") + types;
    if (!types.isEmpty())
        return {QStringLiteral("%1;TYPE=%2:%3").arg(name, types, text)};
    const bool ownLabel = !value.label.isEmpty() && value.label != Other;
    if (ownLabel && (value.field == Field::Phone || value.field == Field::OtherEmail ||
                     value.field == Field::OtherAddress || value.field == Field::Url)) {
        const QString group = QStringLiteral("item%1.").arg(item);
        return {group + name + u':' + text, group + QStringLiteral("X-ABLabel:") + VCardWriter::escapedText(value.label)};
    }
    return {name + u':' + text};
}

} // namespace typedcard
