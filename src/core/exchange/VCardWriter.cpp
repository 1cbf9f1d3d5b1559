#include "core/exchange/VCardWriter.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/PhotoBytes.h"

#include <QDir>
#include <QUrl>

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

class CardText {
public:
    explicit CardText(QByteArray& out) : out_(out) {}
    void line(const QString& nameAndParams, const QString& value) {
        out_ += VCardWriter::folded((nameAndParams + u':' + value).toUtf8());
    }
    void raw(const QByteArray& nameAndParams, const QByteArray& value) {
        out_ += VCardWriter::folded(nameAndParams + ':' + value);
    }

private:
    QByteArray& out_;
};

QString structured(std::initializer_list<QString> components) {
    QStringList escaped;
    for (const QString& c : components)
        escaped.append(VCardWriter::escapedText(c));
    return escaped.join(u';');
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

QByteArray VCardWriter::write(const ExportCard& card, VCardVersion version) {
    const bool v4 = version == VCardVersion::V40;
    const ContactFields& f = card.fields;
    QByteArray out;
    CardText t(out);
    auto esc = [](const QString& text) { return escapedText(text); };

    t.raw("BEGIN", "VCARD");
    t.raw("VERSION", v4 ? "4.0" : "3.0");
    t.raw("PRODID", "-//zinteva//zinteva//ZH");
    t.line(QStringLiteral("FN"), esc(f.name));
    // The name stays whole in the family-name component: splitting a Chinese name into family and
    // given name is guesswork, and FN is what readers show.
    t.line(QStringLiteral("N"), structured({f.name, {}, {}, {}, {}}));
    if (!f.nickname.isEmpty())
        t.line(QStringLiteral("NICKNAME"), esc(f.nickname));
    if (f.birthday && f.birthday->isValid())
        t.line(QStringLiteral("BDAY"),
               birthday::format(*f.birthday, v4 ? birthday::Style::Basic : birthday::Style::Extended));
    if (f.lunarBirthday && f.lunarBirthday->isValid()) // BDAY keeps its Gregorian day for other programs
        t.line(QStringLiteral("X-ZINTEVA-LUNAR-BIRTHDAY"), lunarBirthdayValue(*f.lunarBirthday));

    const struct {
        const QString& number;
        const char* v3;
        const char* v4;
    } phones[] = {
        {f.mobile, "TEL;TYPE=CELL", "TEL;TYPE=cell"},
        {f.workPhone, "TEL;TYPE=WORK,VOICE", "TEL;TYPE=work,voice"},
        {f.homePhone, "TEL;TYPE=HOME,VOICE", "TEL;TYPE=home,voice"},
        {f.fax, "TEL;TYPE=FAX", "TEL;TYPE=fax"},
    };
    for (const auto& phone : phones) {
        if (!phone.number.isEmpty())
            t.line(QString::fromLatin1(v4 ? phone.v4 : phone.v3), esc(phone.number));
    }
    // The whole address in the street component, the postal code in its own.
    if (!f.address.isEmpty() || !f.postcode.isEmpty())
        t.line(QStringLiteral("ADR"), structured({{}, {}, f.address, {}, {}, f.postcode, {}}));
    if (!f.email.isEmpty())
        t.line(v4 ? QStringLiteral("EMAIL") : QStringLiteral("EMAIL;TYPE=INTERNET"), esc(f.email));

    // The X- properties for older readers, IMPP with Apple's service types for newer ones.
    const struct {
        const QString& handle;
        const char* property;
        const char* service;
        const char* scheme;
    } messengers[] = {
        {f.qq, "X-QQ", "QQ", "x-apple"},
        {f.icq, "X-ICQ", "ICQ", "aim"},
        {f.msn, "X-MSN", "MSN", "msnim"},
    };
    for (const auto& m : messengers) {
        if (!m.handle.isEmpty())
            t.line(QString::fromLatin1(m.property), esc(m.handle));
    }
    for (const auto& m : messengers) {
        if (!m.handle.isEmpty())
            t.line(QStringLiteral("IMPP;X-SERVICE-TYPE=") + QLatin1String(m.service),
                   QLatin1String(m.scheme) + u':' + uriHandle(m.handle));
    }
    if (!f.remarks.isEmpty())
        t.line(QStringLiteral("NOTE"), esc(f.remarks));
    if (!card.groupName.isEmpty())
        t.line(QStringLiteral("CATEGORIES"), esc(card.groupName));

    if (!card.photoData.isEmpty()) {
        const QString extension =
            card.photoExtension.isEmpty() ? photobytes::extensionFor(card.photoData, QString()) : card.photoExtension;
        if (v4) {
            t.raw("PHOTO",
                  "data:" + photobytes::mediaTypeFor(extension).toLatin1() + ";base64," + card.photoData.toBase64());
        } else {
            const QString type = photobytes::vcard30TypeFor(extension);
            t.raw(type.isEmpty() ? QByteArray("PHOTO;ENCODING=b") : "PHOTO;ENCODING=b;TYPE=" + type.toLatin1(),
                  card.photoData.toBase64());
        }
    } else if (!f.photo.isEmpty()) {
        // The picture file is not there (or is a web address): keep the reference.
        t.line(v4 ? QStringLiteral("PHOTO") : QStringLiteral("PHOTO;VALUE=uri"), photoUri(f.photo));
    }
    if (!card.uid.isEmpty())
        t.line(QStringLiteral("UID"), esc(card.uid));
    t.raw("END", "VCARD");
    return out;
}

QByteArray VCardWriter::write(const std::vector<ExportCard>& cards, VCardVersion version) {
    QByteArray out;
    for (const ExportCard& card : cards)
        out += write(card, version);
    return out;
}
