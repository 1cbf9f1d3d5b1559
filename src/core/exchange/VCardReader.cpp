#include "core/exchange/VCardReader.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/TextDecoding.h"

#include <QUrl>
#include <algorithm>
#include <vector>

namespace {

enum class Version { Unknown, V21, V30, V40 };

struct Param {
    QByteArray name; // upper case; empty for a bare 2.1 value
    QByteArray value;
};

// One content line, unfolded, its quoted-printable soft line breaks joined, nothing decoded yet.
struct Property {
    QByteArray name;           // upper case, without its group prefix ("item1.")
    std::vector<Param> params; // every parameter value, a list value split at its commas
    QList<QByteArray> types;   // upper case: TYPE= values and bare 2.1 types
    QByteArray encoding;       // upper case: QUOTED-PRINTABLE, B, BASE64, ...
    QByteArray charset;
    QByteArray valueType; // upper case VALUE=
    bool pref = false;
    QByteArray value;

    QByteArray param(QByteArrayView key) const {
        for (const Param& p : params) {
            if (p.name == key)
                return p.value;
        }
        return {};
    }
    bool hasType(QByteArrayView type) const { return types.contains(type); }
    bool isQuotedPrintable() const { return encoding == "QUOTED-PRINTABLE"; }
    bool isBase64() const { return encoding == "B" || encoding == "BASE64"; }
};

bool isBlank(QByteArrayView line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

bool startsWithSpace(QByteArrayView line) {
    return !line.isEmpty() && (line[0] == ' ' || line[0] == '\t');
}

// "BEGIN:VCARD", "end:vcard " and the like.
bool isMarker(QByteArrayView line, QByteArrayView marker) {
    return line.trimmed().compare(marker, Qt::CaseInsensitive) == 0;
}

// The physical lines of the file, ended by CRLF, LF or a lone CR.
class PhysicalLines {
public:
    explicit PhysicalLines(QByteArrayView data) : data_(data) {}
    bool atEnd() const { return pos_ >= data_.size(); }
    QByteArrayView peek() const { return lineAt(pos_).first; }
    QByteArrayView next() {
        const auto [line, following] = lineAt(pos_);
        pos_ = following;
        return line;
    }

private:
    std::pair<QByteArrayView, qsizetype> lineAt(qsizetype start) const {
        const char* begin = data_.data() + start;
        const char* end = data_.data() + data_.size();
        const char* stop = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
        qsizetype following = stop - data_.data();
        if (stop != end) {
            ++following;
            if (*stop == '\r' && stop + 1 != end && stop[1] == '\n')
                ++following;
        }
        return {QByteArrayView(begin, stop - begin), following};
    }

    QByteArrayView data_;
    qsizetype pos_ = 0;
};

// The position of the colon that ends the name and parameters, or -1. Quoted parameter values may
// hold colons.
qsizetype valueColon(QByteArrayView line) {
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (c == '"')
            quoted = !quoted;
        else if (c == ':' && !quoted)
            return i;
    }
    return -1;
}

bool isEncodingWord(QByteArrayView upper) {
    return upper == "QUOTED-PRINTABLE" || upper == "BASE64" || upper == "B" || upper == "8BIT" || upper == "7BIT";
}

// RFC 6868: ^n, ^^ and ^' in vCard 4.0 parameter values.
QByteArray caretDecoded(QByteArrayView value) {
    if (!value.contains('^'))
        return value.toByteArray();
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '^' && i + 1 < value.size()) {
            const char next = value[i + 1];
            if (next == 'n' || next == 'N') {
                out += '\n';
                ++i;
                continue;
            }
            if (next == '^' || next == '\'') {
                out += next == '^' ? '^' : '"';
                ++i;
                continue;
            }
        }
        out += value[i];
    }
    return out;
}

// Splits "name;params:value". False when there is no colon (not a content line).
bool parseProperty(const QByteArray& line, Version version, Property& p) {
    const qsizetype colon = valueColon(line);
    if (colon < 0)
        return false;
    const QByteArrayView head(line.constData(), colon);
    p.value = line.mid(colon + 1);

    qsizetype i = 0;
    while (i < head.size() && head[i] != ';')
        ++i;
    QByteArrayView name = head.first(i).trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1); // item1.TEL: the group prefix only ties properties together
    p.name = name.toByteArray().toUpper();

    while (i < head.size()) {
        ++i; // the ';'
        qsizetype keyEnd = i;
        while (keyEnd < head.size() && head[keyEnd] != '=' && head[keyEnd] != ';')
            ++keyEnd;
        const QByteArray key = head.sliced(i, keyEnd - i).trimmed().toByteArray().toUpper();
        if (keyEnd >= head.size() || head[keyEnd] == ';') {
            // A bare 2.1 parameter: a type, or an encoding.
            i = keyEnd;
            if (key.isEmpty())
                continue;
            if (isEncodingWord(key))
                p.encoding = key;
            else if (key == "PREF")
                p.pref = true;
            else
                p.types.append(key);
            p.params.push_back({QByteArray(), key});
            continue;
        }
        // KEY=value[,value...], values possibly quoted
        i = keyEnd + 1;
        while (true) {
            QByteArray value;
            if (i < head.size() && head[i] == '"') {
                const qsizetype close = head.indexOf('"', i + 1);
                const qsizetype stop = close < 0 ? head.size() : close;
                value = head.sliced(i + 1, stop - i - 1).toByteArray();
                i = close < 0 ? head.size() : close + 1;
                while (i < head.size() && head[i] != ',' && head[i] != ';')
                    ++i; // anything between the closing quote and the next separator is dropped
            } else {
                const qsizetype start = i;
                while (i < head.size() && head[i] != ',' && head[i] != ';')
                    ++i;
                value = head.sliced(start, i - start).trimmed().toByteArray();
            }
            if (version == Version::V40)
                value = caretDecoded(value);
            const QByteArray upper = value.toUpper();
            if (key == "TYPE") {
                // TYPE="voice,home" is a list too (RFC 6350's own example)
                for (const QByteArray& type : upper.split(',')) {
                    const QByteArray t = type.trimmed();
                    if (t == "PREF")
                        p.pref = true;
                    else if (!t.isEmpty())
                        p.types.append(t);
                }
            } else if (key == "ENCODING") {
                p.encoding = upper;
            } else if (key == "CHARSET") {
                p.charset = value;
            } else if (key == "VALUE") {
                p.valueType = upper;
            } else if (key == "PREF") {
                p.pref = true;
            }
            p.params.push_back({key, value});
            if (i < head.size() && head[i] == ',') {
                ++i;
                continue;
            }
            break;
        }
    }
    return true;
}

// Whether the parameters of a content line (maybe still without its value) ask for quoted-printable.
bool headerSaysQuotedPrintable(const QByteArray& line) {
    const qsizetype colon = valueColon(line);
    const QByteArrayView head = QByteArrayView(line).first(colon < 0 ? line.size() : colon);
    return head.toByteArray().toUpper().contains("QUOTED-PRINTABLE");
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// Quoted-printable to bytes. The soft line breaks are already joined; a stray "=" that starts no
// escape is kept as it is.
QByteArray quotedPrintableDecoded(QByteArrayView value) {
    QByteArray out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const char c = value[i];
        if (c == '=' && i + 2 < value.size()) {
            const int high = hexValue(value[i + 1]), low = hexValue(value[i + 2]);
            if (high >= 0 && low >= 0) {
                out += char(high * 16 + low);
                i += 2;
                continue;
            }
        }
        if (c == '=' && i + 1 < value.size() && (value[i + 1] == '\r' || value[i + 1] == '\n')) {
            // a soft break that survived (a writer that put it in the middle of a line)
            ++i;
            if (value[i] == '\r' && i + 1 < value.size() && value[i + 1] == '\n')
                ++i;
            continue;
        }
        out += c;
    }
    return out;
}

// Undoes the backslash escapes of a text value. vCard 2.1 knows only \; (and writers add \, and \\);
// 3.0 and 4.0 add \n and \N for a line break.
QString unescaped(QStringView text, Version version) {
    if (!text.contains(u'\\'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\' && i + 1 < text.size()) {
            const QChar next = text[i + 1];
            if (next == u';' || next == u',' || next == u'\\' || (version != Version::V21 && next == u':')) {
                out += next;
                ++i;
                continue;
            }
            if (version != Version::V21 && (next == u'n' || next == u'N')) {
                out += u'\n';
                ++i;
                continue;
            }
        }
        out += c;
    }
    return out;
}

// Splits a structured value (N, ADR: ';'; CATEGORIES: ',') at its unescaped separators only, then
// undoes the escapes of each part.
QStringList splitUnescaped(QStringView text, QChar separator, Version version) {
    QStringList parts;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\') {
            ++i;
            continue;
        }
        if (text[i] == separator) {
            parts.append(unescaped(text.sliced(start, i - start), version));
            start = i + 1;
        }
    }
    parts.append(unescaped(text.sliced(start), version));
    return parts;
}

QString component(const QStringList& parts, int index) {
    return index < parts.size() ? parts[index] : QString();
}

bool isCjk(QStringView text) {
    for (const QChar c : text) {
        if (c.isSurrogate())
            return true; // the CJK extensions live beyond the BMP; nothing else a name uses does
        switch (c.script()) {
        case QChar::Script_Han:
        case QChar::Script_Hiragana:
        case QChar::Script_Katakana:
        case QChar::Script_Hangul:
            return true;
        default:
            break;
        }
    }
    return false;
}

// N: family;given;additional;prefix;suffix. Chinese, Japanese and Korean names are written family
// name first with no blank (张三); others given name first with blanks.
QString nameFromN(const QStringList& n) {
    const QString family = component(n, 0).trimmed(), given = component(n, 1).trimmed(),
                  additional = component(n, 2).trimmed(), prefix = component(n, 3).trimmed(),
                  suffix = component(n, 4).trimmed();
    if (isCjk(family) || isCjk(given) || isCjk(additional))
        return prefix + family + additional + given + suffix;
    QStringList words;
    for (const QString& word : {prefix, given, additional, family, suffix}) {
        if (!word.isEmpty())
            words.append(word);
    }
    return words.join(u' ');
}

bool isUriScheme(QStringView text) {
    if (text.isEmpty() || !text[0].isLetter() || text[0].unicode() > 127)
        return false;
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return c.unicode() < 128 && (c.isLetterOrNumber() || c == u'+' || c == u'.' || c == u'-');
    });
}

enum class PhoneKind { Fax, Cell, Work, Home, Other };

PhoneKind phoneKind(const Property& p) {
    if (p.hasType("FAX"))
        return PhoneKind::Fax;
    if (p.hasType("CELL") || p.hasType("MOBILE") || p.hasType("IPHONE"))
        return PhoneKind::Cell;
    if (p.hasType("WORK"))
        return PhoneKind::Work;
    if (p.hasType("HOME"))
        return PhoneKind::Home;
    return PhoneKind::Other;
}

struct Phone {
    PhoneKind kind;
    QString number;
    bool pref;
};

// Everything one card yields, gathered property by property.
class CardBuilder {
public:
    CardBuilder(int number, Version version, bool textIsUtf8) : version_(version), textIsUtf8_(textIsUtf8) {
        record_.number = number;
    }

    void add(const Property& p);
    ImportRecord finish(const QString& structuralError);

private:
    std::optional<QByteArray> bytesOf(const Property& p);
    std::optional<QString> textOf(const Property& p); // decoded, escapes still in place
    void fail(const QString& reason) {
        if (error_.isEmpty())
            error_ = reason;
    }
    void warn(const QString& text) { record_.warnings.append(text); }
    void assign(QString& field, const QString& value, const QString& label);
    void addImpp(const Property& p, const QString& text);
    void addPhoto(const Property& p);

    Version version_;
    bool textIsUtf8_;
    ImportRecord record_;
    QString error_;

    bool haveFn_ = false, haveN_ = false, haveOrg_ = false, haveBirthday_ = false, haveCategories_ = false,
         haveUid_ = false, haveNickname_ = false, havePhoto_ = false;
    QString fn_, nName_, org_;
    std::vector<Phone> phones_;
    std::vector<std::pair<QStringList, bool>> addresses_;
    std::vector<std::pair<QString, bool>> emails_;
    QStringList notes_;
};

std::optional<QByteArray> CardBuilder::bytesOf(const Property& p) {
    if (p.isQuotedPrintable())
        return quotedPrintableDecoded(p.value);
    if (p.isBase64()) {
        auto bytes = photobytes::base64Strict(p.value);
        if (!bytes)
            fail(QStringLiteral("%1 的 base64 数据有误").arg(QString::fromLatin1(p.name)));
        return bytes;
    }
    return p.value;
}

std::optional<QString> CardBuilder::textOf(const Property& p) {
    if (!textdecoding::isKnownCharset(p.charset)) {
        fail(QStringLiteral("未知的字符集 %1").arg(QString::fromLatin1(p.charset)));
        return std::nullopt;
    }
    const auto bytes = bytesOf(p);
    if (!bytes)
        return std::nullopt;
    if (textIsUtf8_ && !p.isQuotedPrintable() && !p.isBase64())
        return QString::fromUtf8(*bytes); // a UTF-16 file: the text was decoded as a whole
    return textdecoding::decode(*bytes, p.charset);
}

void CardBuilder::assign(QString& field, const QString& value, const QString& label) {
    if (value.isEmpty())
        return;
    if (field.isEmpty())
        field = value;
    else if (field != value)
        warn(QStringLiteral("另一个%1 %2 未导入").arg(label, value));
}

void CardBuilder::addImpp(const Property& p, const QString& text) {
    const QString service = QString::fromUtf8(p.param("X-SERVICE-TYPE")).toUpper();
    QString scheme, handle = text;
    if (const qsizetype colon = text.indexOf(u':'); colon > 0) {
        scheme = text.left(colon).toLower();
        handle = text.mid(colon + 1);
    }
    if (scheme == u"msnim" || scheme == u"msn") {
        // msnim:chat?contact=someone@hotmail.com
        if (const qsizetype contact = handle.indexOf(u"contact="); contact >= 0 && handle.contains(u'?'))
            handle = handle.mid(contact + 8).section(u'&', 0, 0);
    }
    handle = QUrl::fromPercentEncoding(handle.toUtf8());

    auto is = [&](const char* name) { return service == QLatin1String(name) || p.hasType(name); };
    if (is("QQ") || scheme == u"qq")
        assign(record_.fields.qq, handle, QStringLiteral("QQ号码"));
    else if (is("ICQ") || scheme == u"icq")
        assign(record_.fields.icq, handle, QStringLiteral("ICQ号码"));
    else if (is("MSN") || scheme == u"msnim" || scheme == u"msn")
        assign(record_.fields.msn, handle, QStringLiteral("MSN"));
    // xmpp:, aim: without ICQ, skype: and the like have no place in a contact.
}

void CardBuilder::addPhoto(const Property& p) {
    if (havePhoto_)
        return;
    const QByteArray value = p.value.trimmed();
    if (value.isEmpty())
        return;
    QString mediaType = QString::fromUtf8(p.param("MEDIATYPE"));
    auto keepUri = [&](const QString& uri) {
        havePhoto_ = true;
        if (uri.startsWith(u"file:", Qt::CaseInsensitive)) {
            const QString local = QUrl(uri).toLocalFile();
            record_.fields.photo = local.isEmpty() ? uri : local;
        } else {
            record_.fields.photo = uri;
        }
    };
    auto keepBytes = [&](const QByteArray& bytes, const QString& typeHint) {
        havePhoto_ = true;
        record_.photoData = bytes;
        record_.photoExtension = photobytes::extensionFor(bytes, typeHint);
    };

    if (p.isBase64()) {
        if (auto bytes = photobytes::base64Strict(value))
            keepBytes(*bytes, p.types.isEmpty() ? mediaType : QString::fromLatin1(p.types.first()));
        else
            fail(QStringLiteral("照片的 base64 数据有误"));
        return;
    }
    if (value.size() > 5 && value.first(5).toLower() == "data:") {
        // data:[mediatype][;base64],payload
        const qsizetype comma = value.indexOf(',');
        if (comma < 0) {
            fail(QStringLiteral("照片的 data: 地址有误"));
            return;
        }
        const QByteArray header = value.mid(5, comma - 5);
        const QByteArray payload = value.mid(comma + 1);
        const QList<QByteArray> headerParts = header.split(';');
        const QString type = QString::fromUtf8(headerParts.first());
        if (header.toLower().endsWith(";base64")) {
            if (auto bytes = photobytes::base64Strict(payload))
                keepBytes(*bytes, type);
            else
                fail(QStringLiteral("照片的 base64 数据有误"));
        } else {
            keepBytes(QByteArray::fromPercentEncoding(payload), type);
        }
        return;
    }
    const auto text = textOf(p);
    if (!text)
        return;
    const QString uri = text->trimmed();
    const bool saysUri = p.valueType == "URI" || p.valueType == "URL";
    const qsizetype colon = uri.indexOf(u':');
    const bool looksLikeUri = colon > 1 && isUriScheme(QStringView(uri).left(colon)); // "C:\\..." is a path
    if (saysUri || looksLikeUri || version_ == Version::V40) {
        keepUri(uri);
        return;
    }
    // A 3.0 card whose writer forgot ENCODING=b: the default value type is binary.
    if (auto bytes = photobytes::base64Strict(value); bytes && !photobytes::sniffExtension(*bytes).isEmpty())
        keepBytes(*bytes, {});
    else
        warn(QStringLiteral("照片无法识别，未导入"));
}

void CardBuilder::add(const Property& p) {
    const QByteArray& name = p.name;
    if (name == "FN") {
        if (haveFn_)
            return;
        if (const auto text = textOf(p)) {
            haveFn_ = true;
            fn_ = unescaped(*text, version_);
        }
    } else if (name == "N") {
        if (haveN_)
            return;
        if (const auto text = textOf(p)) {
            haveN_ = true;
            nName_ = nameFromN(splitUnescaped(*text, u';', version_));
        }
    } else if (name == "ORG") {
        if (haveOrg_)
            return;
        if (const auto text = textOf(p)) {
            haveOrg_ = true;
            org_ = component(splitUnescaped(*text, u';', version_), 0).trimmed();
        }
    } else if (name == "BDAY") {
        if (haveBirthday_)
            return;
        if (const auto text = textOf(p)) {
            haveBirthday_ = true;
            const QString value = unescaped(*text, version_);
            std::optional<int> omitYear;
            bool ok = false;
            const int omit = p.param("X-APPLE-OMIT-YEAR").toInt(&ok);
            if (ok)
                omitYear = omit;
            record_.fields.birthday = birthday::parse(value, omitYear);
            if (!record_.fields.birthday && !value.trimmed().isEmpty())
                warn(QStringLiteral("生日 %1 无法识别，未导入").arg(value));
        }
    } else if (name == "X-ZINTEVA-LUNAR-BIRTHDAY") {
        // A lunar birthday wins over BDAY: the store writes its Gregorian day into 生日.
        if (const auto text = textOf(p)) {
            const QString value = unescaped(*text, version_);
            record_.fields.lunarBirthday = parseLunarBirthdayValue(value);
            if (!record_.fields.lunarBirthday && !value.trimmed().isEmpty())
                warn(QStringLiteral("农历生日 %1 无法识别，未导入").arg(value));
        }
    } else if (name == "TEL") {
        if (const auto text = textOf(p)) {
            QString number = unescaped(*text, version_);
            if (p.valueType == "URI" && number.startsWith(u"tel:", Qt::CaseInsensitive))
                number = number.mid(4);
            if (!number.isEmpty())
                phones_.push_back({phoneKind(p), number, p.pref});
        }
    } else if (name == "ADR") {
        if (const auto text = textOf(p))
            addresses_.emplace_back(splitUnescaped(*text, u';', version_), p.pref);
    } else if (name == "EMAIL") {
        if (const auto text = textOf(p)) {
            const QString email = unescaped(*text, version_);
            if (!email.trimmed().isEmpty())
                emails_.emplace_back(email, p.pref);
        }
    } else if (name == "NICKNAME") {
        if (haveNickname_)
            return;
        if (const auto text = textOf(p)) {
            haveNickname_ = true;
            record_.fields.nickname = unescaped(*text, version_);
        }
    } else if (name == "NOTE") {
        if (const auto text = textOf(p))
            notes_.append(unescaped(*text, version_));
    } else if (name == "X-QQ") {
        if (const auto text = textOf(p))
            assign(record_.fields.qq, unescaped(*text, version_), QStringLiteral("QQ号码"));
    } else if (name == "X-ICQ") {
        if (const auto text = textOf(p))
            assign(record_.fields.icq, unescaped(*text, version_), QStringLiteral("ICQ号码"));
    } else if (name == "X-MSN" || name == "X-MS-IMADDRESS") {
        if (const auto text = textOf(p)) {
            QString handle = unescaped(*text, version_);
            // Outlook writes X-MS-IMADDRESS now bare, now as a URI.
            if (name == "X-MS-IMADDRESS" &&
                (handle.startsWith(u"msnim:", Qt::CaseInsensitive) || handle.startsWith(u"msn:", Qt::CaseInsensitive)))
                handle = handle.section(u':', 1);
            assign(record_.fields.msn, handle, QStringLiteral("MSN"));
        }
    } else if (name == "IMPP") {
        if (const auto text = textOf(p))
            addImpp(p, unescaped(*text, version_));
    } else if (name == "PHOTO") {
        addPhoto(p);
    } else if (name == "CATEGORIES") {
        if (haveCategories_)
            return;
        if (const auto text = textOf(p)) {
            haveCategories_ = true;
            for (const QString& category : splitUnescaped(*text, u',', version_)) {
                if (!category.trimmed().isEmpty()) {
                    record_.groupName = category;
                    break;
                }
            }
        }
    } else if (name == "UID") {
        if (haveUid_)
            return;
        if (const auto text = textOf(p)) {
            haveUid_ = true;
            record_.uid = unescaped(*text, version_).trimmed();
        }
    }
}

ImportRecord CardBuilder::finish(const QString& structuralError) {
    ContactFields& f = record_.fields;
    f.name = fn_;
    if (f.name.isEmpty())
        f.name = nName_;
    if (f.name.isEmpty())
        f.name = org_;

    // Phones: the typed ones first, the preferred one of a kind before the others; numbers without a
    // kind then fill the slots still empty.
    std::stable_sort(phones_.begin(), phones_.end(), [](const Phone& a, const Phone& b) { return a.pref && !b.pref; });
    std::vector<const Phone*> untyped;
    for (const Phone& phone : phones_) {
        switch (phone.kind) {
        case PhoneKind::Fax:
            assign(f.fax, phone.number, QStringLiteral("传真号码"));
            break;
        case PhoneKind::Cell:
            assign(f.mobile, phone.number, QStringLiteral("移动电话"));
            break;
        case PhoneKind::Work:
            assign(f.workPhone, phone.number, QStringLiteral("工作电话"));
            break;
        case PhoneKind::Home:
            assign(f.homePhone, phone.number, QStringLiteral("家庭电话"));
            break;
        case PhoneKind::Other:
            untyped.push_back(&phone);
            break;
        }
    }
    for (const Phone* phone : untyped) {
        QString* slot = nullptr;
        for (QString* field : {&f.mobile, &f.workPhone, &f.homePhone}) {
            if (field->isEmpty() || *field == phone->number) {
                slot = field;
                break;
            }
        }
        if (slot)
            *slot = phone->number;
        else
            warn(QStringLiteral("另一个电话号码 %1 未导入").arg(phone->number));
    }

    // Address: the preferred one, else the first. ADR is post box;extended;street;locality;region;
    // postal code;country.
    std::stable_sort(addresses_.begin(), addresses_.end(),
                     [](const auto& a, const auto& b) { return a.second && !b.second; });
    for (size_t i = 0; i < addresses_.size(); ++i) {
        const QStringList& adr = addresses_[i].first;
        QStringList parts;
        for (int index : {0, 1, 2, 3, 4, 6}) {
            const QString part = component(adr, index);
            if (!part.trimmed().isEmpty())
                parts.append(part);
        }
        const QString address = parts.join(QStringLiteral(", "));
        if (i == 0) {
            f.address = address;
            f.postcode = component(adr, 5);
        } else if (!address.isEmpty() && address != f.address) {
            warn(QStringLiteral("另一个地址 %1 未导入").arg(address));
        }
    }

    std::stable_sort(emails_.begin(), emails_.end(),
                     [](const auto& a, const auto& b) { return a.second && !b.second; });
    for (const auto& [email, pref] : emails_)
        assign(f.email, email, QStringLiteral("邮件地址"));

    f.remarks = notes_.join(u'\n');

    record_.error = structuralError;
    if (record_.error.isEmpty())
        record_.error = error_;
    if (record_.error.isEmpty() && !haveFn_ && !haveN_ && org_.isEmpty())
        record_.error = QStringLiteral("没有姓名 (FN 或 N)");
    return std::move(record_);
}

Version versionOf(QByteArrayView value) {
    const QByteArrayView v = value.trimmed();
    if (v == "2.1" || v == "2.0")
        return Version::V21;
    if (v.startsWith("4"))
        return Version::V40;
    return Version::V30;
}

} // namespace

bool VCardReader::looksLikeVCard(const QByteArray& file) {
    const QByteArray text = textdecoding::withoutBom(file.left(4096));
    PhysicalLines lines(text);
    while (!lines.atEnd()) {
        const QByteArrayView line = lines.next();
        if (isBlank(line))
            continue;
        return isMarker(line, "BEGIN:VCARD");
    }
    return false;
}

ImportBatch VCardReader::read(const QByteArray& file) {
    ImportBatch batch;
    batch.source = ImportBatch::Source::VCard;
    textdecoding::Unicode bom = textdecoding::Unicode::None;
    const QByteArray data = textdecoding::withoutBom(file, &bom);
    const bool textIsUtf8 = bom == textdecoding::Unicode::Utf16;

    PhysicalLines lines(data);
    int cardNumber = 0;
    bool inCard = false;
    Version version = Version::Unknown;
    std::vector<Property> properties;
    int nestedDepth = 0; // a 2.1 AGENT card inside this card

    auto finishCard = [&](const QString& structuralError) {
        CardBuilder builder(cardNumber, version, textIsUtf8);
        for (const Property& p : properties)
            builder.add(p);
        batch.records.push_back(builder.finish(structuralError));
        properties.clear();
        inCard = false;
    };

    while (!lines.atEnd()) {
        const QByteArrayView first = lines.next();
        if (isBlank(first))
            continue;
        if (!inCard) {
            if (isMarker(first, "BEGIN:VCARD")) {
                inCard = true;
                ++cardNumber;
                version = Version::Unknown;
                nestedDepth = 0;
            }
            continue; // anything between cards is ignored
        }
        if (nestedDepth > 0) {
            if (isMarker(first, "BEGIN:VCARD"))
                ++nestedDepth;
            else if (isMarker(first, "END:VCARD"))
                --nestedDepth;
            continue;
        }

        // Unfold: a line that starts with a blank continues the one before. vCard 3.0 and 4.0 drop
        // that blank; 2.1 folds before existing white space and keeps it. A quoted-printable value
        // that ends in "=" continues on the next line whatever it starts with; the soft break is
        // removed here, before any byte is decoded, so that a character split across the lines
        // comes out whole.
        QByteArray logical = first.toByteArray();
        auto appendFold = [&] {
            const QByteArrayView next = lines.next();
            logical += version == Version::V21 ? next : next.sliced(1);
        };
        // A header folded before its colon (rare) is joined first; the scan goes on where it stopped,
        // so a card of endless folded lines without a colon still reads in linear time.
        qsizetype scanned = 0;
        bool quotedParam = false;
        auto hasColon = [&] {
            for (; scanned < logical.size(); ++scanned) {
                const char c = logical[scanned];
                if (c == '"')
                    quotedParam = !quotedParam;
                else if (c == ':' && !quotedParam)
                    return true;
            }
            return false;
        };
        while (!hasColon() && !lines.atEnd() && startsWithSpace(lines.peek()))
            appendFold();
        const bool quotedPrintable = headerSaysQuotedPrintable(logical);
        while (!lines.atEnd()) {
            if (quotedPrintable && logical.endsWith('=') && !isMarker(lines.peek(), "END:VCARD")) {
                logical.chop(1);
                logical += lines.next();
            } else if (startsWithSpace(lines.peek())) {
                appendFold();
            } else {
                break;
            }
        }

        Property property;
        if (!parseProperty(logical, version, property)) {
            // No colon: the rest of a 2.1 base64 value whose writer did not indent it.
            if (!properties.empty() && properties.back().isBase64())
                properties.back().value += logical;
            continue;
        }
        if (property.name == "BEGIN" && isMarker(property.value, "VCARD")) {
            if (!properties.empty() && properties.back().name == "AGENT" &&
                properties.back().value.trimmed().isEmpty()) {
                nestedDepth = 1;
                continue;
            }
            // A new card before this one ended: this one lacks its END.
            finishCard(QStringLiteral("缺少 END:VCARD"));
            inCard = true;
            ++cardNumber;
            version = Version::Unknown;
            continue;
        }
        if (property.name == "END") {
            if (isMarker(property.value, "VCARD"))
                finishCard(QString());
            continue;
        }
        if (property.name == "VERSION")
            version = versionOf(property.value);
        properties.push_back(std::move(property));
    }
    if (inCard)
        finishCard(QStringLiteral("缺少 END:VCARD"));
    return batch;
}
