#include "core/sync/SyncCard.h"

#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"
#include "core/store/FieldCatalogue.h"
#include "core/store/SamePerson.h"
#include "core/store/Store.h"

#include <QCryptographicHash>
#include <QSet>

namespace {

// Lines of a card with folding undone.
QList<QByteArray> unfolded(const QByteArray& card) {
    QList<QByteArray> lines;
    for (QByteArray line : card.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!lines.isEmpty() && !line.isEmpty() && (line[0] == ' ' || line[0] == '\t'))
            lines.last() += line.mid(1);
        else
            lines.append(line);
    }
    return lines;
}

QByteArray propertyName(const QByteArray& line) {
    qsizetype end = 0;
    while (end < line.size() && line[end] != ';' && line[end] != ':')
        ++end;
    QByteArray name = line.left(end).toUpper();
    const qsizetype dot = name.indexOf('.');
    return dot >= 0 ? name.mid(dot + 1) : name;
}

QByteArray valueOf(const QByteArray& line) {
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return line.mid(i + 1);
    }
    return {};
}

QString plainText(const QByteArray& value) {
    QString text = QString::fromUtf8(value);
    if (text.startsWith(u"tel:", Qt::CaseInsensitive))
        text = text.mid(4);
    text.replace(QStringLiteral("\\,"), QStringLiteral(","));
    text.replace(QStringLiteral("\\;"), QStringLiteral(";"));
    text.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return text.trimmed();
}

// Splits a CATEGORIES value at its unescaped commas, keeping each part as written.
QList<QByteArray> rawCategories(const QByteArray& value) {
    QList<QByteArray> parts;
    QByteArray part;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            part += value[i];
            part += value[++i];
        } else if (value[i] == ',') {
            parts.append(part);
            part.clear();
        } else {
            part += value[i];
        }
    }
    parts.append(part);
    return parts;
}

// What the written card stands for: these properties are always written from the fields.
const QSet<QByteArray> Written = {"BEGIN", "END",  "VERSION", "PRODID",  "FN",     "N",     "NICKNAME",
                                  "BDAY",  "NOTE", "X-QQ",    "X-ICQ",   "X-MSN",  "X-MS-IMADDRESS",
                                  "PHOTO", "UID",  "REV",     "CATEGORIES"};

} // namespace

namespace synccard {

QString fieldId(CardField field) {
    return QString::fromLatin1(catalogue::info(field).id);
}

std::optional<CardField> fieldFromId(const QString& id) {
    const catalogue::FieldInfo* info = catalogue::byId(id);
    if (!info || info->storage != catalogue::Storage::Column)
        return std::nullopt;
    return info->field;
}

QString fieldLabel(CardField field) {
    return QString::fromUtf16(catalogue::info(field).label);
}

std::vector<CardField> comparedFields() {
    std::vector<CardField> fields;
    for (const catalogue::FieldInfo* info : catalogue::columns())
        fields.push_back(info->field);
    for (const catalogue::FieldInfo& info : catalogue::all()) {
        if (info.storage == catalogue::Storage::Typed)
            fields.push_back(info.field);
    }
    return fields;
}

QString value(const SyncContact& contact, CardField field) {
    if (catalogue::info(field).storage == catalogue::Storage::Typed) {
        // Every value of the field with its label, in the person's order.
        QStringList values;
        for (const TypedValue& typed : contact.fields.values) {
            if (typed.field == field)
                values.append(typed.label + u'\x1f' + typed.value);
        }
        return values.join(u'\n');
    }
    switch (field) {
    case CardField::Birthday: {
        // The lunar mark and the Gregorian day are one field: a merge never joins one side's mark
        // to the other side's date. A lunar date with a year stands for its own Gregorian day.
        const std::optional<LunarBirthday>& lunar = contact.fields.lunarBirthday;
        const bool isLunar = lunar && lunar->isValid();
        std::optional<QDate> day = isLunar ? lunar->gregorian() : std::nullopt;
        if (!day)
            day = contact.fields.birthday;
        QString text = day && day->isValid() ? storedDate(*day) : QString();
        if (isLunar)
            text += u'（' + lunarBirthdayText(*lunar) + u'）';
        return text;
    }
    case CardField::Group:
        return contact.group;
    case CardField::Photo:
        if (!contact.photo.isEmpty())
            return QStringLiteral("sha256:") +
                   QString::fromLatin1(QCryptographicHash::hash(contact.photo, QCryptographicHash::Sha256).toHex());
        return contact.fields.photo;
    default: {
        QString ContactFields::*text = catalogue::info(field).text;
        return text ? contact.fields.*text : QString();
    }
    }
}

QString displayValue(const SyncContact& contact, CardField field) {
    if (field == CardField::Photo) {
        if (!contact.fields.photo.isEmpty())
            return contact.fields.photo;
        return contact.photo.isEmpty() ? QString() : QStringLiteral("（图片）");
    }
    return value(contact, field);
}

void copyField(SyncContact& to, const SyncContact& from, CardField field) {
    switch (field) {
    case CardField::Birthday:
        to.fields.birthday = from.fields.birthday;
        to.fields.lunarBirthday = from.fields.lunarBirthday;
        break;
    case CardField::Group:
        to.group = from.group;
        break;
    case CardField::Photo:
        to.photo = from.photo;
        to.photoExtension = from.photoExtension;
        to.fields.photo = from.fields.photo;
        break;
    default:
        if (QString ContactFields::*text = catalogue::info(field).text)
            to.fields.*text = from.fields.*text;
        if (catalogue::info(field).storage == catalogue::Storage::Typed) {
            std::vector<TypedValue>& values = to.fields.values;
            values.erase(std::remove_if(values.begin(), values.end(),
                                        [&](const TypedValue& typed) { return typed.field == field; }),
                         values.end());
            for (const TypedValue& typed : from.fields.values) {
                if (typed.field == field)
                    values.push_back(typed);
            }
        }
    }
}

bool same(const SyncContact& a, const SyncContact& b) {
    for (const CardField field : comparedFields()) {
        if (value(a, field) != value(b, field))
            return false;
    }
    return true;
}

SyncContact merge(const SyncContact* base, const SyncContact& local, const SyncContact& server,
                  std::vector<FieldConflict>& conflicts) {
    SyncContact merged = server;
    merged.fields.groupKey = local.fields.groupKey;
    for (const CardField field : comparedFields()) {
        const QString l = value(local, field);
        const QString s = value(server, field);
        if (l == s)
            continue;
        const bool localOnly = base ? value(*base, field) == s : s.isEmpty();
        const bool serverOnly = base ? value(*base, field) == l : l.isEmpty();
        if (localOnly) {
            copyField(merged, local, field);
        } else if (!serverOnly && catalogue::info(field).storage == catalogue::Storage::Typed) {
            // Numbers, addresses and IDs changed on both sides: both sides' values stay.
            joinValues(merged.fields.values, local.fields.values);
        } else if (!serverOnly) {
            conflicts.push_back({field, displayValue(local, field), displayValue(server, field)});
        }
    }
    // A picture the server did not change keeps its local file.
    if (value(merged, CardField::Photo) == value(local, CardField::Photo))
        merged.fields.photo = local.fields.photo;
    return merged;
}

void parseBirthday(const QString& text, ContactFields& fields) {
    const qsizetype open = text.indexOf(u'（');
    const QString day = (open < 0 ? text : text.left(open)).trimmed();
    fields.birthday = day.isEmpty() ? std::nullopt : parseStoredDate(day.toStdString());
    fields.lunarBirthday = std::nullopt;
    if (open >= 0) {
        QString lunar = text.mid(open + 1);
        if (lunar.endsWith(u'）'))
            lunar.chop(1);
        fields.lunarBirthday = parseLunarBirthday(lunar);
    }
}

std::optional<SyncContact> read(const QByteArray& card, QString* uid, QString* error) {
    const ImportBatch batch = VCardReader::read(card);
    if (batch.records.empty()) {
        if (error)
            *error = batch.error.isEmpty() ? QStringLiteral("不是名片") : batch.error;
        return std::nullopt;
    }
    const ImportRecord& record = batch.records.front();
    if (!record.ok()) {
        if (error)
            *error = record.error;
        return std::nullopt;
    }
    SyncContact contact;
    contact.fields = record.fields;
    contact.group = record.groupName;
    contact.photo = record.photoData;
    contact.photoExtension = record.photoExtension;
    contact.groupCard = record.groupCard;
    contact.members = record.members;
    if (uid)
        *uid = record.uid;
    return contact;
}

namespace {

// Whether the line of the card as last synced is one of the contact's typed values: the same
// property with the same value.
bool carriedByValues(const QByteArray& name, const QByteArray& line, const std::vector<TypedValue>& values) {
    const QString value = plainText(valueOf(line));
    for (const TypedValue& typed : values) {
        const QByteArray own = typed.line.toUtf8();
        if (!own.isEmpty() && propertyName(own) == name && plainText(valueOf(own)) == value)
            return true;
        if (name == catalogue::info(typed.field).vcard && typed.value == value)
            return true;
    }
    return false;
}

} // namespace

QByteArray write(const SyncContact& contact, const QString& uid, const QByteArray& keptFrom) {
    ExportCard card;
    card.fields = contact.fields;
    card.uid = uid;
    card.photoData = contact.photo;
    card.photoExtension = contact.photoExtension;
    // The picture goes as its bytes, or as a web address; a path of this computer (a file: URI) never
    // leaves it, whatever the contact's 照片 says.
    const bool webAddress = card.fields.photo.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
                            card.fields.photo.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
    if (!contact.photo.isEmpty() || !webAddress)
        card.fields.photo.clear();
    QByteArray out = VCardWriter::write(card, VCardVersion::V30);
    const qsizetype end = out.lastIndexOf("END:VCARD");
    QByteArray tail = out.mid(end);
    out.truncate(end);

    QList<QByteArray> categories;
    if (!contact.group.isEmpty())
        categories.append(VCardWriter::escapedText(contact.group).toUtf8());
    QByteArray kept;
    const QList<QByteArray> lines = unfolded(keptFrom);
    bool old21 = false;
    for (const QByteArray& line : lines)
        old21 = old21 || (propertyName(line) == "VERSION" && valueOf(line).trimmed().startsWith("2"));
    if (!old21) {
        std::optional<SyncContact> base = keptFrom.isEmpty() ? std::nullopt : read(keptFrom, nullptr, nullptr);
        bool firstCategories = true;
        bool firstAddress = true;
        for (const QByteArray& line : lines) {
            if (line.trimmed().isEmpty())
                continue;
            const QByteArray name = propertyName(line);
            const QByteArray upper = line.toUpper();
            if (name == "CATEGORIES" && firstCategories) {
                firstCategories = false;
                QList<QByteArray> parts = rawCategories(valueOf(line));
                // The first non-empty value is the group, written from the contact.
                bool skipped = false;
                for (const QByteArray& part : parts) {
                    if (!skipped && !part.trimmed().isEmpty()) {
                        skipped = true;
                        continue;
                    }
                    if (!part.trimmed().isEmpty() && !categories.contains(part))
                        categories.append(part);
                }
                continue;
            }
            if (Written.contains(name))
                continue;
            // A lunar birthday the reader understood is written from the field (or dropped with it);
            // one it could not read stays as another program's property.
            if (name == "X-ZINTEVA-LUNAR-BIRTHDAY" && parseLunarBirthdayValue(plainText(valueOf(line))))
                continue;
            // A value the contact has as a typed value is written from it (above).
            if (carriedByValues(name, line, contact.fields.values))
                continue;
            if (base && name == "TEL") {
                const QString number = plainText(valueOf(line));
                const ContactFields& b = base->fields;
                if (number == b.mobile || number == b.workPhone || number == b.homePhone || number == b.fax)
                    continue;
            } else if (base && name == "EMAIL") {
                if (plainText(valueOf(line)) == base->fields.email)
                    continue;
            } else if (name == "ADR") {
                if (firstAddress) {
                    firstAddress = false;
                    continue;
                }
            } else if (name == "IMPP") {
                const QByteArray value = valueOf(line).toLower();
                if (upper.contains("X-SERVICE-TYPE=QQ") || upper.contains("X-SERVICE-TYPE=ICQ") ||
                    upper.contains("X-SERVICE-TYPE=MSN") || value.startsWith("aim:") || value.startsWith("msnim:") ||
                    value.startsWith("msn:") || value.startsWith("icq:") || value.startsWith("qq:"))
                    continue;
            }
            kept += VCardWriter::folded(line);
        }
    }
    if (!categories.isEmpty())
        out += VCardWriter::folded("CATEGORIES:" + categories.join(','));
    out += kept;
    out += tail;
    return out;
}

} // namespace synccard
