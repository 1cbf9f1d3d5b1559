#include "core/exchange/VCardWriter.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/TypedCard.h"
#include "core/exchange/Utf8Out.h"
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

void appendFolded(QByteArray& out, QByteArrayView line) {
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
}

// Text escaped as vCard text values escape it, appended as UTF-8 (what escapedText(text).toUtf8()
// gives, without the two copies).
void appendEscaped(QByteArray& out, QStringView text) {
    utf8out::appendWith(out, text, [](char* p, QStringView t, qsizetype& i) {
        switch (t[i].unicode()) {
        case u'\\':
        case u';':
        case u',':
            *p++ = '\\';
            *p++ = static_cast<char>(t[i].unicode());
            break;
        case u'\r':
            if (i + 1 < t.size() && t[i + 1] == u'\n')
                ++i;
            [[fallthrough]];
        case u'\n':
            *p++ = '\\';
            *p++ = 'n';
            break;
        default:
            *p++ = static_cast<char>(t[i].unicode());
        }
        return p;
    });
}

// An instant-messaging handle inside an IMPP URI: its UTF-8 percent-encoded but for letters, digits
// and - . _ ~ @ + (QUrl::toPercentEncoding(handle, "@.-_~+") without its copies).
void appendUriHandle(QByteArray& out, QStringView handle) {
    const auto plain = [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' || c == '.' ||
               c == '_' || c == '~' || c == '@' || c == '+';
    };
    qsizetype first = out.size();
    utf8out::append(out, handle);
    while (first < out.size() && plain(out[first]))
        ++first;
    if (first == out.size())
        return;
    const QByteArray rest = out.sliced(first);
    out.truncate(first);
    static constexpr char Hex[] = "0123456789ABCDEF";
    for (const char c : rest) {
        if (plain(c)) {
            out += c;
        } else {
            const auto byte = static_cast<unsigned char>(c);
            const char escaped[] = {'%', Hex[byte >> 4], Hex[byte & 0xF]};
            out.append(escaped, 3);
        }
    }
}

// Content lines written straight onto a card's bytes: a line is built in place, then folded when it
// is longer than a line may be. Given a list, finished lines go there as texts instead (fieldLines).
class Lines {
public:
    explicit Lines(QByteArray& out, QStringList* texts = nullptr) : out_(out), texts_(texts), start_(out.size()) {}
    Lines& operator<<(const char* ascii) {
        out_.append(ascii);
        return *this;
    }
    Lines& operator<<(const QByteArray& bytes) {
        out_.append(bytes);
        return *this;
    }
    Lines& text(QStringView text) {
        utf8out::append(out_, text);
        return *this;
    }
    Lines& escaped(QStringView text) {
        appendEscaped(out_, text);
        return *this;
    }
    Lines& uriHandle(QStringView handle) {
        appendUriHandle(out_, handle);
        return *this;
    }
    // Ends the line begun where the last one ended.
    void end() {
        if (texts_) {
            texts_->append(QString::fromUtf8(QByteArrayView(out_).sliced(start_)));
            out_.truncate(start_);
            return;
        }
        if (out_.size() - start_ > MaxLineOctets) {
            const QByteArray line = out_.sliced(start_);
            out_.truncate(start_);
            appendFolded(out_, line);
        } else {
            out_ += "\r\n";
        }
        start_ = out_.size();
    }
    void line(QStringView text) {
        this->text(text);
        end();
    }
    // A line written whole elsewhere (a picture's), folded here.
    void folded(QByteArrayView line) {
        appendFolded(out_, line);
        start_ = out_.size();
    }

private:
    QByteArray& out_;
    QStringList* texts_;
    qsizetype start_;
};

} // namespace

QByteArray VCardWriter::folded(const QByteArray& line) {
    QByteArray out;
    out.reserve(line.size() + line.size() / 70 * 3 + 2);
    appendFolded(out, line);
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

namespace {

// The lines a field is written as when no kept property stands for it (see fieldLines).
void putFieldLines(Lines& lines, const QString& field, const ExportCard& card, VCardVersion version) {
    const bool v4 = version == VCardVersion::V40;
    const ContactFields& f = card.fields;
    if (field == keptfield::Name) {
        (lines << "FN:").escaped(f.name).end();
        // The name stays whole in the family-name component: splitting a Chinese name into family and
        // given name is guesswork, and FN is what readers show.
        ((lines << "N:").escaped(f.name) << ";;;;").end();
    } else if (field == keptfield::Nickname) {
        if (!f.nickname.isEmpty())
            (lines << "NICKNAME:").escaped(f.nickname).end();
    } else if (field == keptfield::Birthday) {
        if (f.birthday && f.birthday->isValid())
            (lines << "BDAY:")
                .text(birthday::format(*f.birthday, v4 ? birthday::Style::Basic : birthday::Style::Extended))
                .end();
        if (const QString lunar = lunarLine(f); !lunar.isEmpty())
            lines.line(lunar);
    } else if (field == keptfield::Address) {
        // The whole address in the street component, the postal code in its own.
        if (!f.address.isEmpty() || !f.postcode.isEmpty())
            (((lines << "ADR:;;").escaped(f.address) << ";;;").escaped(f.postcode) << ";").end();
    } else if (field == keptfield::Email) {
        if (!f.email.isEmpty())
            (lines << (v4 ? "EMAIL:" : "EMAIL;TYPE=INTERNET:")).escaped(f.email).end();
    } else if (field == keptfield::Remarks) {
        if (!f.remarks.isEmpty())
            (lines << (breaksAreCrLf(f.remarks) ? "NOTE;X-ZINTEVA-EOL=CRLF:" : "NOTE:")).escaped(f.remarks).end();
    } else if (field == keptfield::Group) {
        if (!card.groupName.isEmpty())
            (lines << "CATEGORIES:").escaped(card.groupName).end();
    } else if (field == keptfield::Uid) {
        if (!card.uid.isEmpty())
            (lines << "UID:").escaped(card.uid).end();
    } else if (field == keptfield::Photo) {
        // A picture file that is not there, or a web address: the reference is kept.
        if (card.photoData.isEmpty() && !f.photo.isEmpty())
            (lines << (v4 ? "PHOTO:" : "PHOTO;VALUE=uri:")).text(photoUri(f.photo)).end();
    }

    // The numbers of the phone columns, each with its types (lower case in 4.0).
    if (const catalogue::FieldInfo* info = catalogue::byColumn(field);
        info && info->text && qstrcmp(info->vcard, "TEL") == 0 && !(f.*info->text).isEmpty()) {
        lines << "TEL;TYPE=";
        if (v4)
            lines << QByteArray(info->vcardTypes).toLower();
        else
            lines << info->vcardTypes;
        (lines << ":").escaped(f.*info->text).end();
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
            (lines << m.property << ":").escaped(m.handle).end();
            (lines << "IMPP;X-SERVICE-TYPE=" << m.service << ":" << m.scheme << ":").uriHandle(m.handle).end();
        }
    }
}

} // namespace

QStringList VCardWriter::fieldLines(const QString& field, const ExportCard& card, VCardVersion version) {
    QByteArray bytes;
    QStringList texts;
    Lines lines(bytes, &texts);
    putFieldLines(lines, field, card, version);
    return texts;
}

namespace {

// The first Apple group number ("item3.") that no line of the card uses, for a value's own label.
int firstFreeItem(const ExportCard& card) {
    int next = 1;
    auto see = [&](const QString& line) {
        if (!line.startsWith(u"item", Qt::CaseInsensitive))
            return;
        const qsizetype dot = line.indexOf(u'.');
        bool ok = false;
        const int n = dot > 4 ? QStringView(line).mid(4, dot - 4).toInt(&ok) : 0;
        if (ok && n >= next)
            next = n + 1;
    };
    for (const KeptProperty& kept : card.kept)
        see(kept.line);
    for (const TypedValue& value : card.fields.values)
        see(value.line);
    return next;
}

} // namespace

void VCardWriter::append(QByteArray& out, const ExportCard& card, VCardVersion version) {
    const bool v4 = version == VCardVersion::V40;
    Lines lines(out);

    (lines << "BEGIN:VCARD").end();
    (lines << (v4 ? "VERSION:4.0" : "VERSION:3.0")).end();
    (lines << "PRODID:-//zinteva//zinteva//ZH").end();
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
                (lines << "FN:").escaped(card.fields.name).end();
            for (const KeptProperty* kept : sources) {
                if (*field == keptfield::Photo)
                    lines.folded(photoLine(kept->line, card, v4));
                else
                    lines.line(versionsyntax::inVersion(kept->line, version));
            }
            // A kept BDAY stands for the Gregorian day only: the lunar date follows it all the same.
            if (*field == keptfield::Birthday)
                if (const QString lunar = lunarLine(card.fields); !lunar.isEmpty())
                    lines.line(lunar);
            continue;
        }
        if (*field == keptfield::Group && !sources.empty()) {
            // In another group now: the card's other categories stay beside it.
            for (const KeptProperty* kept : sources) {
                if (const QString categories = versionsyntax::categoriesLine(kept->line, kept->value, card.groupName);
                    !categories.isEmpty())
                    lines.line(categories);
            }
            continue;
        }
        if (*field == keptfield::Photo && !card.photoData.isEmpty()) {
            if (v4) {
                lines.folded(photoLine(QStringLiteral("PHOTO"), card, true));
                continue;
            }
            const QString type = photobytes::vcard30TypeFor(card.photoExtension.isEmpty()
                                                                ? photobytes::extensionFor(card.photoData, QString())
                                                                : card.photoExtension);
            lines.folded(
                (type.isEmpty() ? QByteArray("PHOTO;ENCODING=b:") : "PHOTO;ENCODING=b;TYPE=" + type.toLatin1() + ':') +
                card.photoData.toBase64());
            continue;
        }
        putFieldLines(lines, *field, card, version);
    }
    int item = firstFreeItem(card);
    for (const TypedValue& value : card.fields.values) {
        if (!value.line.isEmpty()) {
            lines.line(versionsyntax::inVersion(value.line, version));
            continue;
        }
        const QStringList typed = typedcard::linesFor(value, item);
        if (typed.size() > 1)
            ++item;
        for (const QString& text : typed)
            lines.line(versionsyntax::inVersion(text, version));
    }
    for (const KeptProperty& kept : card.kept) {
        if (kept.field.isEmpty())
            lines.line(versionsyntax::inVersion(kept.line, version));
    }
    (lines << "END:VCARD").end();
}

QByteArray VCardWriter::write(const ExportCard& card, VCardVersion version) {
    QByteArray out;
    append(out, card, version);
    return out;
}

QByteArray VCardWriter::write(const std::vector<ExportCard>& cards, VCardVersion version) {
    QByteArray out;
    for (const ExportCard& card : cards)
        append(out, card, version);
    return out;
}
