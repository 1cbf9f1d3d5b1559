#include "core/exchange/VCardReader.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/PhotoBytes.h"
#include "core/exchange/TextDecoding.h"
#include "core/store/FieldCatalogue.h"

#include <QIODevice>
#include <QUrl>
#include <algorithm>
#include <deque>
#include <vector>

namespace vcarddetail {
qint64 readPiece = 1 << 20;
} // namespace vcarddetail

namespace {

enum class Version { Unknown, V21, V30, V40 };

struct Param {
    QByteArray name; // upper case; empty for a bare 2.1 value
    QByteArray value;
};

// One content line, unfolded, its quoted-printable soft line breaks joined, nothing decoded yet.
struct Property {
    QByteArray group;          // "item1" of "item1.TEL", as written
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
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\0'; });
}

bool startsWithSpace(QByteArrayView line) {
    return !line.isEmpty() && (line[0] == ' ' || line[0] == '\t');
}

// "BEGIN:VCARD", "end:vcard " and the like.
// "BEGIN:VCARD", "end:vcard " and the like; NUL bytes around it (padding some tools write) are ignored.
bool isMarker(QByteArrayView line, QByteArrayView marker) {
    while (!line.isEmpty() && line.front() == '\0')
        line = line.sliced(1);
    while (!line.isEmpty() && line.back() == '\0')
        line.chop(1);
    return line.trimmed().compare(marker, Qt::CaseInsensitive) == 0;
}

// The physical lines of the file, ended by CRLF, LF or a lone CR: from bytes in memory, or read
// from a device a piece at a time (only the line in hand and the piece it came in are held). A view
// handed out stays valid until the next call.
class PhysicalLines {
public:
    explicit PhysicalLines(QByteArrayView data) : data_(data) {}
    explicit PhysicalLines(QIODevice& device) : device_(&device) {}
    bool atEnd() {
        ensureLine();
        return pos_ >= data_.size();
    }
    QByteArrayView peek() {
        ensureLine();
        return lineAt(pos_).first;
    }
    QByteArrayView next() {
        ensureLine();
        const auto [line, following] = lineAt(pos_);
        pos_ = following;
        scanned_ = pos_;
        return line;
    }
    // The device refused a read before its end.
    bool failed() const { return failed_; }

private:
    // With a device: reads on until the buffer holds the whole line at pos_ and its line break (a CR
    // at the end of a piece may be the first half of CR LF), or the device has ended.
    void ensureLine() {
        if (!device_)
            return;
        while (!ended_) {
            const char* begin = data_.data() + scanned_;
            const char* end = data_.data() + data_.size();
            const char* stop = std::find_if(begin, end, [](char c) { return c == '\n' || c == '\r'; });
            if (stop != end && (*stop == '\n' || stop + 1 != end))
                return;
            scanned_ = stop - data_.data(); // where the search goes on after the next piece
            if (pos_ > 0) {
                buffer_.remove(0, pos_);
                scanned_ -= pos_;
                pos_ = 0;
            }
            const QByteArray more = device_->read(std::max<qint64>(1, vcarddetail::readPiece));
            if (more.isEmpty()) {
                ended_ = true;
                failed_ = !device_->atEnd();
            } else {
                buffer_ += more;
            }
            data_ = buffer_;
        }
    }

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
    qsizetype scanned_ = 0; // no line break between pos_ and here
    QIODevice* device_ = nullptr;
    QByteArray buffer_;
    bool ended_ = false, failed_ = false;
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
    while (!name.isEmpty() && name.front() == '\0')
        name = name.sliced(1);
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0) {
        p.group = name.first(dot).toByteArray(); // item1.TEL: the group ties properties together
        name = name.sliced(dot + 1);
    }
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

// A number's kind by its types alone. A pager, a car phone or a text phone is of no column's kind
// even when it says WORK or HOME; a number without CELL, WORK, HOME or FAX (Outlook's primary
// phone, an Apple number labelled 微信, a bare TEL) is of none either.
PhoneKind phoneKind(const Property& p) {
    if (p.hasType("FAX"))
        return PhoneKind::Fax;
    if (p.hasType("PAGER") || p.hasType("CAR") || p.hasType("TEXTPHONE") || p.hasType("TTY"))
        return PhoneKind::Other;
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
    size_t index; // of the property it came from
};

const int GroupNameLimit = catalogue::info(catalogue::Field::Group).limit;

QString cut(const QString& text, int characters) {
    return catalogue::cut(text, characters);
}

// The marker the writer puts on a text whose line breaks are CR LF, so that they come back as such.
constexpr QByteArrayView EolParam = "X-ZINTEVA-EOL";

// A text value as vCard 3.0 escapes it, from the escaped text of the card's version: 2.1 knows no \n
// and keeps a backslash before anything but ; , and \ as it is; real line breaks (quoted-printable
// text) become \n. `crlf` tells whether every line break was CR LF.
QString escapedAs30(QStringView text, Version version, bool* crlf) {
    QString out;
    out.reserve(text.size());
    int crlfBreaks = 0, otherBreaks = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c == u'\\') {
            const QChar next = i + 1 < text.size() ? text[i + 1] : QChar();
            const bool escape = version == Version::V21 ? (next == u';' || next == u',' || next == u'\\')
                                                        : (!next.isNull() && next != u'\r' && next != u'\n');
            if (escape) {
                out += c;
                out += next;
                ++i;
            } else {
                out += QStringLiteral("\\\\");
            }
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
                ++crlfBreaks;
                ++i;
            } else {
                ++otherBreaks;
            }
            out += QStringLiteral("\\n");
        } else {
            out += c;
        }
    }
    *crlf = crlfBreaks > 0 && otherBreaks == 0;
    return out;
}

// Everything one card yields, gathered property by property.
class CardBuilder {
public:
    CardBuilder(int number, Version version, bool textIsUtf8, QByteArrayView fallback)
        : version_(version), textIsUtf8_(textIsUtf8), fallback_(fallback) {
        record_.number = number;
    }

    void add(const Property& p);
    ImportRecord finish(const QString& structuralWarning);

private:
    std::optional<QByteArray> bytesOf(const Property& p);
    QString textOf(const Property& p);  // decoded, escapes still in place
    QString valueOf(const Property& p); // decoded and unescaped
    QString header(const Property& p, bool binary);
    void keep(const Property& p);
    void feed(size_t index, const QString& field) { kept_[index].field = field; }
    void feed(const QString& field) { feed(kept_.size() - 1, field); }
    void warn(const QString& text) { record_.warnings.append(text); }
    // Puts the value into an empty field, or finds it there already; false when the field holds
    // another value (the property then stays a kept one).
    static bool assign(QString& field, const QString& value);
    void addImpp(const Property& p, const QString& text);
    void addPhoto(const Property& p);

    Version version_;
    bool textIsUtf8_;
    QByteArrayView fallback_;
    ImportRecord record_;
    std::vector<KeptProperty> kept_;
    bool warnedCharset_ = false;

    bool haveFn_ = false, haveN_ = false, haveBirthday_ = false, haveCategories_ = false, haveUid_ = false,
         haveNickname_ = false, havePhoto_ = false, haveContent_ = false;
    bool ownCard_ = false; // written by this program: an empty FN is an empty name
    QString fn_, nName_, org_;
    std::vector<Phone> phones_;
    struct Indexed {
        QStringList parts;
        bool pref;
        size_t index;
    };
    std::vector<Indexed> addresses_;
    std::vector<Indexed> emails_;
    std::vector<size_t> notes_;
    QStringList noteTexts_;
};

std::optional<QByteArray> CardBuilder::bytesOf(const Property& p) {
    if (p.isQuotedPrintable())
        return quotedPrintableDecoded(p.value);
    if (p.isBase64())
        return photobytes::base64Lenient(p.value);
    return p.value;
}

QString CardBuilder::textOf(const Property& p) {
    QByteArray charset = p.charset;
    if (!textdecoding::isKnownCharset(charset)) {
        if (!warnedCharset_)
            warn(
                QStringLiteral("未知的字符集 %1，按 %2 读取")
                    .arg(QString::fromLatin1(charset), QString::fromLatin1(fallback_.isEmpty() ? "UTF-8" : fallback_)));
        warnedCharset_ = true;
        charset.clear();
    }
    const QByteArray bytes = bytesOf(p).value_or(p.value);
    if (textIsUtf8_ && !p.isQuotedPrintable() && !p.isBase64())
        return QString::fromUtf8(bytes); // a UTF-16 or UTF-32 file: the text was decoded as a whole
    return textdecoding::decode(bytes, charset, fallback_).value_or(QString());
}

QString CardBuilder::valueOf(const Property& p) {
    QString text = unescaped(textOf(p), version_);
    if (p.param(EolParam).toUpper() == "CRLF")
        text.replace(u'\n', QStringLiteral("\r\n"));
    return text;
}

// The property's name and parameters as vCard 3.0 writes them: bare 2.1 types become TYPE=, the
// transfer encoding and charset are gone (the value is decoded text), binary data says ENCODING=b.
QString CardBuilder::header(const Property& p, bool binary) {
    QString out;
    if (!p.group.isEmpty())
        out += textdecoding::decode(p.group, {}, fallback_).value_or(QString()) + u'.';
    out += QString::fromLatin1(p.name);
    QByteArray lastKey;
    for (const Param& param : p.params) {
        QByteArray key = param.name;
        if (key == "ENCODING" || key == "CHARSET")
            continue;
        if (key.isEmpty()) {
            if (isEncodingWord(param.value))
                continue;
            key = "TYPE";
        }
        QString value = textdecoding::decode(param.value, {}, fallback_).value_or(QString());
        value.remove(u'"');
        for (QChar& c : value) {
            if (c.unicode() < 0x20)
                c = u' ';
        }
        const bool quote = value.contains(u';') || value.contains(u':') || value.contains(u',');
        const QString written = quote ? u'"' + value + u'"' : value;
        // TYPE=WORK,VOICE is read as two values of one parameter, and written as it came.
        if (key == lastKey)
            out += u',' + written;
        else
            out += u';' + QString::fromLatin1(key) + u'=' + written;
        lastKey = key;
    }
    if (binary)
        out += QStringLiteral(";ENCODING=b");
    return out;
}

// Every property is kept as a 3.0 line; the ones read into a field are marked so afterwards.
void CardBuilder::keep(const Property& p) {
    KeptProperty kept;
    if (p.isBase64()) {
        QByteArray data = p.value;
        data.replace(' ', QByteArray())
            .replace('\t', QByteArray())
            .replace('\r', QByteArray())
            .replace('\n', QByteArray());
        kept.line = header(p, true) + u':' + QString::fromLatin1(data);
    } else {
        bool crlf = false;
        const QString value = escapedAs30(textOf(p), version_, &crlf);
        QString head = header(p, false);
        if (crlf && p.param(EolParam).isEmpty())
            head += u';' + QString::fromLatin1(EolParam) + QStringLiteral("=CRLF");
        kept.line = head + u':' + value;
    }
    kept_.push_back(std::move(kept));
}

bool CardBuilder::assign(QString& field, const QString& value) {
    if (field.isEmpty())
        field = value;
    return field == value;
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
    if (handle.isEmpty())
        return;

    auto is = [&](const char* name) { return service == QLatin1String(name) || p.hasType(name); };
    if (is("QQ") || scheme == u"qq") {
        if (assign(record_.fields.qq, handle))
            feed(keptfield::Qq);
    } else if (is("ICQ") || scheme == u"icq") {
        if (assign(record_.fields.icq, handle))
            feed(keptfield::Icq);
    } else if (is("MSN") || scheme == u"msnim" || scheme == u"msn") {
        if (assign(record_.fields.msn, handle))
            feed(keptfield::Msn);
    }
    // xmpp:, aim: without ICQ, skype:, WeChat and the like stay kept properties.
}

void CardBuilder::addPhoto(const Property& p) {
    const QByteArray value = p.value.trimmed();
    if (value.isEmpty() || havePhoto_)
        return;
    const QString mediaType = QString::fromUtf8(p.param("MEDIATYPE"));
    // An embedded picture is the one photo the import takes: its property is kept without the data
    // (the picture file holds that), so that its parameters come back on export.
    auto keepBytes = [&](const QByteArray& bytes, const QString& typeHint) {
        havePhoto_ = true;
        record_.photoData = bytes;
        record_.photoExtension = photobytes::extensionFor(bytes, typeHint);
        kept_.back().line = header(p, false);
        feed(keptfield::Photo);
    };
    // Whatever cannot be taken stays a kept property, written back as it came.
    auto dropped = [&](const QString& why) { warn(why + QStringLiteral("，已保存在其它资料中")); };

    if (p.isBase64()) {
        if (auto bytes = photobytes::base64Lenient(value); bytes && !bytes->isEmpty())
            keepBytes(*bytes, p.types.isEmpty() ? mediaType : QString::fromLatin1(p.types.first()));
        else
            dropped(QStringLiteral("照片的 base64 数据有误，未导入"));
        return;
    }
    if (value.size() > 5 && value.first(5).toLower() == "data:") {
        // data:[mediatype][;base64],payload
        const qsizetype comma = value.indexOf(',');
        if (comma < 0) {
            dropped(QStringLiteral("照片的 data: 地址有误，未导入"));
            return;
        }
        const QByteArray head = value.mid(5, comma - 5);
        const QByteArray payload = value.mid(comma + 1);
        const QString type = QString::fromUtf8(head.split(';').first());
        if (head.toLower().endsWith(";base64")) {
            if (auto bytes = photobytes::base64Lenient(payload); bytes && !bytes->isEmpty())
                keepBytes(*bytes, type);
            else
                dropped(QStringLiteral("照片的 base64 数据有误，未导入"));
        } else {
            keepBytes(QByteArray::fromPercentEncoding(payload), type);
        }
        return;
    }
    const QString uri = textOf(p).trimmed();
    const bool saysUri = p.valueType == "URI" || p.valueType == "URL";
    const qsizetype colon = uri.indexOf(u':');
    const bool looksLikeUri = colon > 1 && isUriScheme(QStringView(uri).left(colon)); // "C:\\..." is a path
    if (saysUri || looksLikeUri || version_ == Version::V40) {
        // Never read: a path or address in a file may name anything on this computer.
        dropped(QStringLiteral("照片是一个地址 %1，没有读取").arg(uri.left(200)));
        return;
    }
    // A 3.0 card whose writer forgot ENCODING=b: the default value type is binary.
    if (auto bytes = photobytes::base64Lenient(value); bytes && !photobytes::sniffExtension(*bytes).isEmpty())
        keepBytes(*bytes, {});
    else
        dropped(QStringLiteral("照片无法识别，未导入"));
}

void CardBuilder::add(const Property& p) {
    const QByteArray& name = p.name;
    if (name == "PRODID" && p.value.contains("//zinteva//"))
        ownCard_ = true;
    if (name == "VERSION" || name == "PRODID")
        return; // about the file, not the person: the writer puts its own
    keep(p);
    if (name != "UID" && name != "REV" && !p.value.trimmed().isEmpty())
        haveContent_ = true;
    const size_t index = kept_.size() - 1;
    if (name == "FN") {
        if (haveFn_)
            return;
        haveFn_ = true;
        fn_ = valueOf(p); // exactly as written, so that round trips are exact
        feed(keptfield::Name);
    } else if (name == "N") {
        if (haveN_)
            return;
        haveN_ = true;
        nName_ = nameFromN(splitUnescaped(textOf(p), u';', version_));
        feed(keptfield::Name);
    } else if (name == "ORG") {
        if (org_.isEmpty())
            org_ = component(splitUnescaped(textOf(p), u';', version_), 0).trimmed();
    } else if (name == "BDAY") {
        if (haveBirthday_)
            return;
        const QString value = valueOf(p);
        std::optional<int> omitYear;
        bool ok = false;
        const int omit = p.param("X-APPLE-OMIT-YEAR").toInt(&ok);
        if (ok)
            omitYear = omit;
        const birthday::Reading read = birthday::read(value, birthday::Order::Unknown, omitYear);
        record_.fields.birthday = read.date;
        if (record_.fields.birthday) {
            haveBirthday_ = true;
            feed(keptfield::Birthday);
        } else if (read.kind == birthday::Reading::Kind::Empty) {
            kept_.pop_back(); // the date of zeros some programs write for no birthday
        } else if (read.kind == birthday::Reading::Kind::Ambiguous) {
            warn(QStringLiteral("生日 %1 分不清月和日，已保存在其它资料中").arg(value.left(100)));
        } else if (!value.trimmed().isEmpty()) {
            warn(QStringLiteral("生日 %1 无法识别，已保存在其它资料中").arg(value.left(100)));
        }
    } else if (name == "X-ZINTEVA-LUNAR-BIRTHDAY") {
        // A lunar birthday wins over BDAY: the store writes its Gregorian day into 生日.
        // The first one read is taken; it is written again from the field, not as it came.
        if (record_.fields.lunarBirthday)
            return;
        const QString value = valueOf(p);
        record_.fields.lunarBirthday = parseLunarBirthdayValue(value);
        if (record_.fields.lunarBirthday)
            kept_.pop_back();
        else if (!value.trimmed().isEmpty())
            warn(QStringLiteral("农历生日 %1 无法识别，已保存在其它资料中").arg(value.left(100)));
    } else if (name == "TEL") {
        QString number = valueOf(p);
        if (p.valueType == "URI" && number.startsWith(u"tel:", Qt::CaseInsensitive))
            number = number.mid(4);
        if (!number.isEmpty())
            phones_.push_back({phoneKind(p), number, p.pref, index});
    } else if (name == "ADR") {
        addresses_.push_back({splitUnescaped(textOf(p), u';', version_), p.pref, index});
    } else if (name == "EMAIL") {
        const QString email = valueOf(p);
        if (!email.trimmed().isEmpty())
            emails_.push_back({{email}, p.pref, index});
    } else if (name == "NICKNAME") {
        if (haveNickname_)
            return;
        haveNickname_ = true;
        record_.fields.nickname = valueOf(p);
        feed(keptfield::Nickname);
    } else if (name == "NOTE") {
        notes_.push_back(index);
        noteTexts_.append(valueOf(p));
    } else if (name == "X-QQ") {
        if (assign(record_.fields.qq, valueOf(p)))
            feed(keptfield::Qq);
    } else if (name == "X-ICQ") {
        if (assign(record_.fields.icq, valueOf(p)))
            feed(keptfield::Icq);
    } else if (name == "X-MSN" || name == "X-MS-IMADDRESS") {
        QString handle = valueOf(p);
        // Outlook writes X-MS-IMADDRESS now bare, now as a URI.
        if (name == "X-MS-IMADDRESS" &&
            (handle.startsWith(u"msnim:", Qt::CaseInsensitive) || handle.startsWith(u"msn:", Qt::CaseInsensitive)))
            handle = handle.section(u':', 1);
        if (!handle.isEmpty() && assign(record_.fields.msn, handle))
            feed(keptfield::Msn);
    } else if (name == "IMPP") {
        addImpp(p, valueOf(p));
    } else if (name == "PHOTO") {
        addPhoto(p);
    } else if (name == "CATEGORIES") {
        if (haveCategories_)
            return;
        for (const QString& category : splitUnescaped(textOf(p), u',', version_)) {
            if (!category.trimmed().isEmpty()) {
                haveCategories_ = true;
                record_.groupName = category;
                if (catalogue::characters(category) > GroupNameLimit) {
                    record_.groupName = cut(category, GroupNameLimit);
                    warn(QStringLiteral("分组名称超过 %1 个字，多出的部分保存在其它资料中").arg(GroupNameLimit));
                }
                feed(keptfield::Group);
                break;
            }
        }
    } else if (name == "UID") {
        if (haveUid_)
            return;
        haveUid_ = true;
        record_.uid = valueOf(p).trimmed();
        feed(keptfield::Uid);
    } else if (name == "KIND" || name == "X-ADDRESSBOOKSERVER-KIND") {
        // A group's card (vCard 4.0, and Apple's and many servers' 3.0 form): a group, never a person.
        if (valueOf(p).trimmed().compare(u"group", Qt::CaseInsensitive) == 0)
            record_.groupCard = true;
    } else if (name == "MEMBER" || name == "X-ADDRESSBOOKSERVER-MEMBER") {
        // Members are named by their cards' UID, mostly as urn:uuid:...
        QString member = valueOf(p).trimmed();
        if (member.startsWith(u"urn:uuid:", Qt::CaseInsensitive))
            member = member.mid(9);
        if (!member.isEmpty())
            record_.members.append(member);
    }
}

ImportRecord CardBuilder::finish(const QString& structuralWarning) {
    ContactFields& f = record_.fields;
    if (!structuralWarning.isEmpty())
        warn(structuralWarning);

    // Phones: each column takes the first number of its own kind, the preferred one before the
    // others. A number of no column's kind, or one its column has no room for, stays a kept property
    // with its types and label: it never fills a column of another kind.
    std::stable_sort(phones_.begin(), phones_.end(), [](const Phone& a, const Phone& b) { return a.pref && !b.pref; });
    for (const Phone& phone : phones_) {
        QString* slot = nullptr;
        const QString* field = nullptr;
        switch (phone.kind) {
        case PhoneKind::Fax:
            slot = &f.fax, field = &keptfield::Fax;
            break;
        case PhoneKind::Cell:
            slot = &f.mobile, field = &keptfield::Mobile;
            break;
        case PhoneKind::Work:
            slot = &f.workPhone, field = &keptfield::Work;
            break;
        case PhoneKind::Home:
            slot = &f.homePhone, field = &keptfield::Home;
            break;
        case PhoneKind::Other:
            continue;
        }
        if (assign(*slot, phone.number))
            feed(phone.index, *field);
    }

    // Address: the preferred one, else the first. ADR is post box;extended;street;locality;region;
    // postal code;country.
    std::stable_sort(addresses_.begin(), addresses_.end(),
                     [](const Indexed& a, const Indexed& b) { return a.pref && !b.pref; });
    if (!addresses_.empty()) {
        const QStringList& adr = addresses_.front().parts;
        QStringList parts;
        for (int index : {0, 1, 2, 3, 4, 6}) {
            const QString part = component(adr, index);
            if (!part.trimmed().isEmpty())
                parts.append(part);
        }
        f.address = parts.join(QStringLiteral(", "));
        f.postcode = component(adr, 5);
        feed(addresses_.front().index, keptfield::Address);
    }

    std::stable_sort(emails_.begin(), emails_.end(),
                     [](const Indexed& a, const Indexed& b) { return a.pref && !b.pref; });
    for (const Indexed& email : emails_) {
        if (assign(f.email, email.parts.front()))
            feed(email.index, keptfield::Email);
    }

    f.remarks = noteTexts_.join(u'\n');
    for (size_t index : notes_)
        feed(index, keptfield::Remarks);

    // The name: FN, else N; a card without either is named from what it has, and the summary says so.
    f.name = fn_.trimmed().isEmpty() ? nName_.trimmed() : fn_;
    if (record_.groupCard) {
        // The group's name, as long as a group's name may be; its card is read no further.
        record_.groupName = cut(f.name.trimmed(), GroupNameLimit);
        record_.kept = std::move(kept_);
        if (record_.groupName.isEmpty())
            record_.error = QStringLiteral("分组名片没有名称");
        return std::move(record_);
    }
    if (f.name.isEmpty() && !(ownCard_ && haveFn_)) {
        const QString firstPhone = phones_.empty() ? QString() : phones_.front().number;
        const QString firstEmail = emails_.empty() ? QString() : emails_.front().parts.front();
        const std::pair<QString, const char16_t*> sources[] = {
            {f.nickname.trimmed(), u"昵称"},
            {org_, u"单位"},
            {firstEmail.trimmed(), u"邮件地址"},
            {firstPhone.trimmed(), u"电话号码"},
        };
        for (const auto& [text, label] : sources) {
            if (!text.isEmpty()) {
                f.name = text;
                warn(QStringLiteral("没有姓名，以%1命名").arg(QString::fromUtf16(label)));
                break;
            }
        }
    }

    // Longer texts than the record form's boxes take are cut there, and the whole property stays
    // among the kept ones. The photo's column holds the path of the program's own copy. A value too
    // long for its box loses the blanks at its ends before any of its text: cutting
    // "<67 vertical tabs>李四" to its first 20 characters would leave a name of blanks, which the
    // next read takes for no name at all.
    for (const catalogue::FieldInfo* field : catalogue::columns()) {
        if (!field->text || field->limit <= 0 || field->field == catalogue::Field::Photo)
            continue;
        QString& value = f.*field->text;
        if (catalogue::characters(value) > field->limit)
            value = value.trimmed();
        if (catalogue::characters(value) > field->limit) {
            value = cut(value, field->limit);
            warn(QStringLiteral("%1超过 %2 个字，多出的部分保存在其它资料中")
                     .arg(QString::fromUtf16(field->label))
                     .arg(field->limit));
        }
    }

    record_.kept = std::move(kept_);
    record_.ownCard = ownCard_;
    record_.version4 = version_ == Version::V40;
    if (!haveContent_)
        record_.error = QStringLiteral("名片中没有任何资料");
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

// One card as read from the file, before anything is decoded.
struct RawCard {
    int number = 0;
    Version version = Version::Unknown;
    std::vector<Property> properties;
    QString structuralWarning;
};

// The cards of the file one at a time, in the order they begin. A card that begins inside another is
// a card of its own; the outer one goes on after it ends (and the inner one waits for it, so that
// the order holds). Only the cards not yet handed out are held.
class CardScanner {
public:
    explicit CardScanner(PhysicalLines& lines) : lines_(lines) {}

    bool next(RawCard& out) {
        while (true) {
            if (!pending_.empty() && pending_.front().ended) {
                out = std::move(pending_.front().card);
                pending_.pop_front();
                ++first_;
                return true;
            }
            if (lines_.atEnd()) {
                for (size_t index : open_) {
                    at(index).card.structuralWarning = QStringLiteral("缺少 END:VCARD，名片可能不完整");
                    at(index).ended = true;
                }
                open_.clear();
                if (pending_.empty())
                    return false;
                continue;
            }
            readLine();
        }
    }

private:
    struct Pending {
        RawCard card;
        bool ended = false;
    };
    Pending& at(size_t index) { return pending_[index - first_]; }
    void begin() {
        pending_.push_back({{begun_ + 1, Version::Unknown, {}, {}}, false});
        open_.push_back(first_ + pending_.size() - 1);
        ++begun_;
    }

    void readLine() {
        const QByteArrayView first = lines_.next();
        if (isBlank(first))
            return;
        if (open_.empty()) {
            if (isMarker(first, "BEGIN:VCARD"))
                begin();
            return; // anything between cards is ignored
        }
        RawCard* card = &at(open_.back()).card;
        const Version version = card->version;

        // Unfold: a line that starts with a blank continues the one before. vCard 3.0 and 4.0 drop
        // that blank; 2.1 folds before existing white space and keeps it. A quoted-printable value
        // that ends in "=" continues on the next line whatever it starts with; the soft break is
        // removed here, before any byte is decoded, so that a character split across the lines
        // comes out whole.
        QByteArray logical = first.toByteArray();
        auto appendFold = [&] {
            const QByteArrayView next = lines_.next();
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
        while (!hasColon() && !lines_.atEnd() && startsWithSpace(lines_.peek()))
            appendFold();
        const bool quotedPrintable = headerSaysQuotedPrintable(logical);
        while (!lines_.atEnd()) {
            if (quotedPrintable && logical.endsWith('=') && !isMarker(lines_.peek(), "END:VCARD")) {
                logical.chop(1);
                logical += lines_.next();
            } else if (startsWithSpace(lines_.peek())) {
                appendFold();
            } else {
                break;
            }
        }

        Property property;
        if (!parseProperty(logical, version, property)) {
            // No colon: the rest of a 2.1 base64 value whose writer did not indent it.
            if (!card->properties.empty() && card->properties.back().isBase64())
                card->properties.back().value += logical;
            return;
        }
        if (property.name == "BEGIN" && isMarker(property.value, "VCARD")) {
            begin();
            return;
        }
        if (property.name == "END") {
            if (isMarker(property.value, "VCARD")) {
                at(open_.back()).ended = true;
                open_.pop_back();
            }
            return;
        }
        if (property.name == "VERSION")
            card->version = versionOf(property.value);
        card->properties.push_back(std::move(property));
    }

    PhysicalLines& lines_;
    std::deque<Pending> pending_; // begun and not handed out, in the order they began
    size_t first_ = 0;            // the number of cards handed out: pending_.front()'s index
    std::vector<size_t> open_;    // cards begun and not yet ended, innermost last
    int begun_ = 0;
};

// The bytes of every text of a card that declares no charset and is not UTF-8, for the detector.
void appendUndeclaredEightBit(const RawCard& card, QByteArray& sample) {
    for (const Property& p : card.properties) {
        if (!p.charset.isEmpty() || p.isBase64() || !textdecoding::hasEightBit(p.value))
            continue;
        const QByteArray bytes = p.isQuotedPrintable() ? quotedPrintableDecoded(p.value) : p.value;
        if (!textdecoding::isValidUtf8(bytes)) {
            sample += bytes;
            sample += '\n';
        }
    }
}

qsizetype sizeOf(const RawCard& card) {
    qsizetype size = 0;
    for (const Property& p : card.properties)
        size += p.name.size() + p.value.size() + 16;
    return size;
}

ImportRecord built(const RawCard& card, bool textIsUtf8, QByteArrayView fallback) {
    CardBuilder builder(card.number, card.version, textIsUtf8, fallback);
    for (const Property& p : card.properties)
        builder.add(p);
    return builder.finish(card.structuralWarning);
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
    textdecoding::Unicode mark = textdecoding::Unicode::None;
    const QByteArray data = textdecoding::withoutBom(file, &mark);
    const bool textIsUtf8 = mark == textdecoding::Unicode::Utf16 || mark == textdecoding::Unicode::Utf32;
    if (textIsUtf8)
        batch.assumedEncoding =
            mark == textdecoding::Unicode::Utf16 ? QStringLiteral("UTF-16") : QStringLiteral("UTF-32");

    PhysicalLines lines(data);
    CardScanner scanner(lines);
    std::vector<RawCard> cards;
    for (RawCard card; scanner.next(card);)
        cards.push_back(std::move(card));
    QByteArray fallback;
    if (!textIsUtf8) {
        QByteArray sample;
        for (const RawCard& card : cards)
            appendUndeclaredEightBit(card, sample);
        if (!sample.isEmpty()) {
            fallback = textdecoding::detectEightBit(sample);
            batch.assumedEncoding = QString::fromLatin1(fallback);
        }
    }
    batch.records.reserve(cards.size());
    for (const RawCard& card : cards)
        batch.records.push_back(built(card, textIsUtf8, fallback));
    return batch;
}

ImportBatch VCardReader::read(QIODevice& device, const std::function<void(ImportRecord&&)>& each) {
    // A file in UTF-16 or UTF-32 is decoded as a whole (its zero bytes are found over all of it); such
    // files come from phones and stay small.
    textdecoding::Unicode mark = textdecoding::Unicode::None;
    const QByteArray head = device.peek(64 * 1024);
    textdecoding::withoutBom(head, &mark);
    if (mark == textdecoding::Unicode::Utf16 || mark == textdecoding::Unicode::Utf32) {
        ImportBatch batch = read(device.readAll());
        for (ImportRecord& record : batch.records)
            each(std::move(record));
        batch.records.clear();
        return batch;
    }
    ImportBatch batch;
    batch.source = ImportBatch::Source::VCard;
    if (head.startsWith("\xEF\xBB\xBF"))
        device.read(3);

    // Text that declares no charset and is not UTF-8 is read in the encoding the detector finds in
    // it. The detector is asked once, over the cards from the first that holds such text on, up to
    // WindowBytes of them (the whole file when it is smaller): those cards wait, the others go
    // through at once.
    constexpr qsizetype WindowBytes = 16 << 20;
    PhysicalLines lines(device);
    CardScanner scanner(lines);
    bool decided = false;
    QByteArray fallback, sample;
    std::vector<RawCard> waiting;
    qsizetype waitingBytes = 0;
    auto decide = [&] {
        decided = true;
        fallback = textdecoding::detectEightBit(sample);
        batch.assumedEncoding = QString::fromLatin1(fallback);
        for (const RawCard& card : waiting)
            each(built(card, false, fallback));
        waiting.clear();
        sample.clear();
    };
    for (RawCard card; scanner.next(card);) {
        if (decided) {
            each(built(card, false, fallback));
            continue;
        }
        const qsizetype before = sample.size();
        appendUndeclaredEightBit(card, sample);
        if (waiting.empty() && sample.size() == before) {
            each(built(card, false, fallback));
            continue;
        }
        waitingBytes += sizeOf(card);
        waiting.push_back(std::move(card));
        if (waitingBytes >= WindowBytes)
            decide();
    }
    if (!waiting.empty())
        decide();
    if (lines.failed())
        batch.error = device.errorString();
    return batch;
}

int VCardReader::countCards(QIODevice& device) {
    textdecoding::Unicode mark = textdecoding::Unicode::None;
    const QByteArray head = device.peek(64 * 1024);
    textdecoding::withoutBom(head, &mark);
    auto count = [](PhysicalLines& lines) {
        int cards = 0;
        while (!lines.atEnd())
            cards += isMarker(lines.next(), "BEGIN:VCARD") ? 1 : 0;
        return cards;
    };
    if (mark == textdecoding::Unicode::Utf16 || mark == textdecoding::Unicode::Utf32) {
        const QByteArray text = textdecoding::withoutBom(device.readAll());
        PhysicalLines lines{QByteArrayView(text)};
        return count(lines);
    }
    if (head.startsWith("\xEF\xBB\xBF"))
        device.read(3);
    PhysicalLines lines(device);
    return count(lines);
}
