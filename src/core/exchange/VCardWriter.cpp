#include "core/exchange/VCardWriter.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/VersionSyntax.h"
#include "core/store/FieldCatalogue.h"

#include <QDir>
#include <QUrl>
#include <algorithm>

namespace {

constexpr qsizetype MaxLineOctets = 75;

bool isUtf8Continuation(char c) {
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// 照片 holds a full path (C:/..., /home/...). A reference kept from an import may be any URI and is
// written as it was; a path becomes a file: URI. "C:/" and "C:\\" are paths, not the scheme "c".
QString photoUri(const QString& photo) {
    const bool drivePath = photo.size() >= 3 && photo[0].isLetter() && photo[0].unicode() < 128 && photo[1] == u':' &&
                           (photo[2] == u'/' || photo[2] == u'\\');
    const qsizetype colon = photo.indexOf(u':');
    bool scheme = !drivePath && !QDir::isAbsolutePath(photo) && colon > 0 && photo[0].isLetter();
    for (qsizetype i = 0; scheme && i < colon; ++i) {
        const QChar c = photo[i];
        scheme = c.unicode() < 128 && (c.isLetterOrNumber() || c == u'+' || c == u'.' || c == u'-');
    }
    if (!scheme)
        return QUrl::fromLocalFile(photo).toString(QUrl::FullyEncoded);
    // No text escapes in a URI (other readers would keep them); only what would break the line is
    // percent-encoded.
    QString uri;
    for (const QChar c : photo) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            uri += QStringLiteral("%%1").arg(c.unicode(), 2, 16, QLatin1Char('0')).toUpper();
        else
            uri += c;
    }
    return uri;
}

// An instant-messaging handle inside an IMPP URI.
QString uriHandle(const QString& handle) {
    return QString::fromLatin1(QUrl::toPercentEncoding(handle, "@.-_~+"));
}

QString structured(std::initializer_list<QString> components) {
    QStringList escaped;
    for (const QString& c : components)
        escaped.append(VCardWriter::escapedText(c));
    return escaped.join(u';');
}

// The fields in the order the card lists them.
const QString* const FieldOrder[] = {
    &keptfield::Name,    &keptfield::Nickname, &keptfield::Birthday, &keptfield::Mobile,
    &keptfield::Work,    &keptfield::Home,     &keptfield::Fax,      &keptfield::Address,
    &keptfield::Email,   &keptfield::Qq,       &keptfield::Icq,      &keptfield::Msn,
    &keptfield::Remarks, &keptfield::Group,    &keptfield::Photo,    &keptfield::Uid,
};

// The lunar birthday beside BDAY (which keeps its Gregorian day for other programs); empty without one.
QString lunarLine(const ContactFields& f) {
    if (!f.lunarBirthday || !f.lunarBirthday->isValid())
        return {};
    return QStringLiteral("X-ZINTEVA-LUNAR-BIRTHDAY:") + lunarBirthdayValue(*f.lunarBirthday);
}

// A text whose every line break is CR LF; vCard has only \n, so a parameter says so.
bool breaksAreCrLf(const QString& text) {
    if (!text.contains(QStringLiteral("\r\n")))
        return false;
    QString rest = text;
    rest.remove(QStringLiteral("\r\n"));
    return !rest.contains(u'\r') && !rest.contains(u'\n');
}

QByteArray photoLine(const QString& header, const ExportCard& card, bool v4) {
    const QString extension =
        card.photoExtension.isEmpty() ? photobytes::extensionFor(card.photoData, QString()) : card.photoExtension;
    const QString params = versionsyntax::photoHeader(header, photobytes::vcard30TypeFor(extension),
                                                      v4 ? VCardVersion::V40 : VCardVersion::V30);
    if (v4)
        return params.toUtf8() + ":data:" + photobytes::mediaTypeFor(extension).toLatin1() + ";base64," +
               card.photoData.toBase64();
    return params.toUtf8() + ";ENCODING=b:" + card.photoData.toBase64();
}

} // namespace

QByteArray VCardWriter::folded(const QByteArray& line) {
    QByteArray out;
    out.reserve(line.size() + line.size() / 70 * 3 + 2);
    qsizetype pos = 0;
    qsizetype room = MaxLineOctets;
    while (line.size() - pos > room) {
        qsizetype cut = pos + room;
        while (cut > pos && isUtf8Continuation(line[cut]))
            --cut; // never split a character
        if (cut == pos)
            cut = pos + room; // not UTF-8 at all; cannot happen with the writer's own text
        out.append(line.constData() + pos, cut - pos);
        out += "\r\n ";
        pos = cut;
        room = MaxLineOctets - 1; // the leading blank counts
    }
    out.append(line.constData() + pos, line.size() - pos);
    out += "\r\n";
    return out;
}

QString VCardWriter::escapedText(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        switch (c.unicode()) {
        case u'\\':
            out += QStringLiteral("\\\\");
            break;
        case u';':
            out += QStringLiteral("\\;");
            break;
        case u',':
            out += QStringLiteral("\\,");
            break;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            out += QStringLiteral("\\n");
            break;
        case u'\n':
            out += QStringLiteral("\\n");
            break;
        default:
            out += c;
        }
    }
    return out;
}

QString VCardWriter::fieldValue(const QString& field, const ContactFields& f, const QString& groupName) {
    if (field == keptfield::Name)
        return f.name;
    if (field == keptfield::Birthday)
        return f.birthday && f.birthday->isValid() ? f.birthday->toString(Qt::ISODate) : QString();
    if (field == keptfield::Address)
        return f.address + u'\n' + f.postcode;
    if (field == keptfield::Group)
        return groupName;
    // Every other kept field is a text column, named by its column.
    const catalogue::FieldInfo* info = catalogue::byColumn(field);
    return info && info->text ? f.*info->text : QString();
}

QStringList VCardWriter::fieldLines(const QString& field, const ExportCard& card, VCardVersion version) {
    const bool v4 = version == VCardVersion::V40;
    const ContactFields& f = card.fields;
    auto esc = [](const QString& text) { return escapedText(text); };
    QStringList lines;
    if (field == keptfield::Name) {
        lines.append(QStringLiteral("FN:") + esc(f.name));
        // The name stays whole in the family-name component: splitting a Chinese name into family and
        // given name is guesswork, and FN is what readers show.
        lines.append(QStringLiteral("N:") + structured({f.name, {}, {}, {}, {}}));
    } else if (field == keptfield::Nickname) {
        if (!f.nickname.isEmpty())
            lines.append(QStringLiteral("NICKNAME:") + esc(f.nickname));
    } else if (field == keptfield::Birthday) {
        if (f.birthday && f.birthday->isValid())
            lines.append(QStringLiteral("BDAY:") +
                         birthday::format(*f.birthday, v4 ? birthday::Style::Basic : birthday::Style::Extended));
        if (const QString lunar = lunarLine(f); !lunar.isEmpty())
            lines.append(lunar);
    } else if (field == keptfield::Address) {
        // The whole address in the street component, the postal code in its own.
        if (!f.address.isEmpty() || !f.postcode.isEmpty())
            lines.append(QStringLiteral("ADR:") + structured({{}, {}, f.address, {}, {}, f.postcode, {}}));
    } else if (field == keptfield::Email) {
        if (!f.email.isEmpty())
            lines.append((v4 ? QStringLiteral("EMAIL:") : QStringLiteral("EMAIL;TYPE=INTERNET:")) + esc(f.email));
    } else if (field == keptfield::Remarks) {
        if (!f.remarks.isEmpty())
            lines.append(
                (breaksAreCrLf(f.remarks) ? QStringLiteral("NOTE;X-ZINTEVA-EOL=CRLF:") : QStringLiteral("NOTE:")) +
                esc(f.remarks));
    } else if (field == keptfield::Group) {
        if (!card.groupName.isEmpty())
            lines.append(QStringLiteral("CATEGORIES:") + esc(card.groupName));
    } else if (field == keptfield::Uid) {
        if (!card.uid.isEmpty())
            lines.append(QStringLiteral("UID:") + esc(card.uid));
    } else if (field == keptfield::Photo) {
        // A picture file that is not there, or a web address: the reference is kept.
        if (card.photoData.isEmpty() && !f.photo.isEmpty())
            lines.append((v4 ? QStringLiteral("PHOTO:") : QStringLiteral("PHOTO;VALUE=uri:")) + photoUri(f.photo));
    }

    // The numbers of the phone columns, each with its types (lower case in 4.0).
    if (const catalogue::FieldInfo* info = catalogue::byColumn(field);
        info && info->text && qstrcmp(info->vcard, "TEL") == 0 && !(f.*info->text).isEmpty()) {
        const QString types = QString::fromLatin1(info->vcardTypes);
        lines.append(QStringLiteral("TEL;TYPE=") + (v4 ? types.toLower() : types) + u':' + esc(f.*info->text));
    }
    // The X- properties for older readers, IMPP with Apple's service types for newer ones.
    const struct {
        const QString& field;
        const QString& handle;
        const char* property;
        const char* service;
        const char* scheme;
    } messengers[] = {
        {keptfield::Qq, f.qq, "X-QQ", "QQ", "x-apple"},
        {keptfield::Icq, f.icq, "X-ICQ", "ICQ", "aim"},
        {keptfield::Msn, f.msn, "X-MSN", "MSN", "msnim"},
    };
    for (const auto& m : messengers) {
        if (field == m.field && !m.handle.isEmpty()) {
            lines.append(QString::fromLatin1(m.property) + u':' + esc(m.handle));
            lines.append(QStringLiteral("IMPP;X-SERVICE-TYPE=") + QLatin1String(m.service) + u':' +
                         QLatin1String(m.scheme) + u':' + uriHandle(m.handle));
        }
    }
    return lines;
}

QByteArray VCardWriter::write(const ExportCard& card, VCardVersion version) {
    const bool v4 = version == VCardVersion::V40;
    QByteArray out;
    auto line = [&](const QString& text) { out += folded(text.toUtf8()); };

    line(QStringLiteral("BEGIN:VCARD"));
    line(v4 ? QStringLiteral("VERSION:4.0") : QStringLiteral("VERSION:3.0"));
    line(QStringLiteral("PRODID:-//zinteva//zinteva//ZH"));
    for (const QString* field : FieldOrder) {
        // The properties this field was read from, while the field still holds what was read.
        std::vector<const KeptProperty*> sources;
        bool current = true;
        for (const KeptProperty& kept : card.kept) {
            if (kept.field != *field)
                continue;
            sources.push_back(&kept);
            if (*field != keptfield::Uid && kept.value != fieldValue(*field, card.fields, card.groupName))
                current = false;
        }
        if (!sources.empty() && current && !(*field == keptfield::Photo && card.photoData.isEmpty())) {
            // Every card has FN, which 3.0 and 4.0 require: a name read from N alone gets one.
            if (*field == keptfield::Name &&
                std::none_of(sources.begin(), sources.end(),
                             [](const KeptProperty* kept) { return versionsyntax::nameOf(kept->line) == u"FN"; }))
                line(QStringLiteral("FN:") + escapedText(card.fields.name));
            for (const KeptProperty* kept : sources)
                out += *field == keptfield::Photo ? folded(photoLine(kept->line, card, v4))
                                                  : folded(versionsyntax::inVersion(kept->line, version).toUtf8());
            // A kept BDAY stands for the Gregorian day only: the lunar date follows it all the same.
            if (*field == keptfield::Birthday && !lunarLine(card.fields).isEmpty())
                line(lunarLine(card.fields));
            continue;
        }
        if (*field == keptfield::Group && !sources.empty()) {
            // In another group now: the card's other categories stay beside it.
            for (const KeptProperty* kept : sources) {
                if (const QString categories = versionsyntax::categoriesLine(kept->line, kept->value, card.groupName);
                    !categories.isEmpty())
                    line(categories);
            }
            continue;
        }
        if (*field == keptfield::Photo && !card.photoData.isEmpty()) {
            const QString type = photobytes::vcard30TypeFor(card.photoExtension.isEmpty()
                                                                ? photobytes::extensionFor(card.photoData, QString())
                                                                : card.photoExtension);
            if (v4)
                out += folded(photoLine(QStringLiteral("PHOTO"), card, true));
            else
                out += folded((type.isEmpty() ? QByteArray("PHOTO;ENCODING=b:")
                                              : "PHOTO;ENCODING=b;TYPE=" + type.toLatin1() + ':') +
                              card.photoData.toBase64());
            continue;
        }
        for (const QString& text : fieldLines(*field, card, version))
            line(text);
    }
    for (const KeptProperty& kept : card.kept) {
        if (kept.field.isEmpty())
            line(versionsyntax::inVersion(kept.line, version));
    }
    line(QStringLiteral("END:VCARD"));
    return out;
}

QByteArray VCardWriter::write(const std::vector<ExportCard>& cards, VCardVersion version) {
    QByteArray out;
    for (const ExportCard& card : cards)
        out += write(card, version);
    return out;
}
