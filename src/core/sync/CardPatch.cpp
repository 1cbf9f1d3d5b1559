#include "core/sync/CardPatch.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"
#include "core/store/KeptProperties.h"

#include <QUrl>
#include <algorithm>
#include <vector>

namespace {

using catalogue::Field;

enum class Kind { Property, Version, ProdId, End, Other };

// One content line of the base card: its bytes exactly as they came (folding, line ends, a
// continuation without a colon), and what it says unfolded.
struct Line {
    QByteArray bytes;
    QByteArray logical;
    Kind kind = Kind::Other;
    QByteArray name; // upper case, without its group
    QByteArray head; // group, name and parameters: everything before the value's colon
    QByteArray value;
    QString field;   // the field the reader took from it (keptfield::...), or empty
    bool lunar = false; // the lunar birthday the reader took (it keeps no line for it)
    bool removed = false;
    QList<QByteArray> inserted; // new lines (unfolded) to go before this one
};

struct Card {
    QByteArray before, after; // outside BEGIN:VCARD ... END:VCARD
    QByteArray begin;         // the BEGIN line's bytes
    std::vector<Line> lines;  // from the line after BEGIN to END:VCARD
    QByteArray eol = "\r\n";
    bool v4 = false;
};

bool isBlank(QByteArrayView line) {
    return std::all_of(line.begin(), line.end(), [](char c) { return c == ' ' || c == '\t' || c == '\0'; });
}

qsizetype valueColon(QByteArrayView line) {
    bool quoted = false;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] == '"')
            quoted = !quoted;
        else if (line[i] == ':' && !quoted)
            return i;
    }
    return -1;
}

QByteArray nameOf(QByteArrayView head) {
    qsizetype end = 0;
    while (end < head.size() && head[end] != ';' && head[end] != ':')
        ++end;
    QByteArrayView name = head.first(end).trimmed();
    if (const qsizetype dot = name.lastIndexOf('.'); dot >= 0)
        name = name.sliced(dot + 1);
    return name.toByteArray().toUpper();
}

// The parameters of a head, split at the semicolons outside quotes; the first item is the name.
QList<QByteArray> headItems(const QByteArray& head) {
    QList<QByteArray> items;
    QByteArray item;
    bool quoted = false;
    for (const char c : head) {
        if (c == '"')
            quoted = !quoted;
        if (c == ';' && !quoted) {
            items.append(item);
            item.clear();
        } else {
            item += c;
        }
    }
    items.append(item);
    return items;
}

// The head without what told how the old value was encoded: the new value is plain UTF-8 text.
QByteArray plainHead(const QByteArray& head, std::initializer_list<QByteArrayView> drop = {}) {
    const QList<QByteArray> items = headItems(head);
    QByteArray out = items.first();
    for (qsizetype i = 1; i < items.size(); ++i) {
        const qsizetype eq = items[i].indexOf('=');
        const QByteArray key = (eq < 0 ? items[i] : items[i].left(eq)).trimmed().toUpper();
        if (key == "ENCODING" || key == "CHARSET" || key == "QUOTED-PRINTABLE" || key == "BASE64" || key == "B" ||
            key == "8BIT" || key == "7BIT")
            continue;
        if (std::any_of(drop.begin(), drop.end(), [&](QByteArrayView d) { return key == d; }))
            continue;
        out += ';' + items[i];
    }
    return out;
}

bool saysQuotedPrintable(const QByteArray& logical) {
    const qsizetype colon = valueColon(logical);
    return logical.left(colon < 0 ? logical.size() : colon).toUpper().contains("QUOTED-PRINTABLE");
}

// The physical lines with their ends.
std::vector<QByteArray> physicalLines(const QByteArray& text) {
    std::vector<QByteArray> lines;
    qsizetype pos = 0;
    while (pos < text.size()) {
        qsizetype stop = pos;
        while (stop < text.size() && text[stop] != '\n' && text[stop] != '\r')
            ++stop;
        qsizetype next = stop;
        if (next < text.size()) {
            ++next;
            if (text[stop] == '\r' && next < text.size() && text[next] == '\n')
                ++next;
        }
        lines.push_back(text.mid(pos, next - pos));
        pos = next;
    }
    return lines;
}

QByteArray withoutEnd(const QByteArray& line) {
    qsizetype n = line.size();
    while (n > 0 && (line[n - 1] == '\n' || line[n - 1] == '\r'))
        --n;
    return line.left(n);
}

bool isMarker(const QByteArray& line, QByteArrayView marker) {
    return withoutEnd(line).trimmed().compare(marker, Qt::CaseInsensitive) == 0;
}

// Splits the card into its content lines the way the reader does (unfolding, quoted-printable soft
// breaks). Nothing for a text that is not one card of vCard 3.0 or 4.0.
std::optional<Card> split(const QByteArray& text) {
    Card card;
    const std::vector<QByteArray> physical = physicalLines(text);
    size_t i = 0;
    while (i < physical.size() && !isMarker(physical[i], "BEGIN:VCARD"))
        card.before += physical[i++];
    if (i == physical.size())
        return std::nullopt;
    card.begin = physical[i];
    if (const QByteArray end = physical[i].mid(withoutEnd(physical[i]).size()); !end.isEmpty())
        card.eol = end;
    ++i;
    bool ended = false;
    QByteArray version;
    while (i < physical.size()) {
        Line line;
        line.bytes = physical[i];
        line.logical = withoutEnd(physical[i]);
        ++i;
        if (isBlank(line.logical)) {
            card.lines.push_back(std::move(line));
            continue;
        }
        auto continues = [&] {
            return i < physical.size() && !physical[i].isEmpty() && (physical[i][0] == ' ' || physical[i][0] == '\t');
        };
        while (valueColon(line.logical) < 0 && continues()) {
            line.bytes += physical[i];
            line.logical += withoutEnd(physical[i]).mid(1);
            ++i;
        }
        const bool quotedPrintable = saysQuotedPrintable(line.logical);
        while (i < physical.size()) {
            if (quotedPrintable && line.logical.endsWith('=') && !isMarker(physical[i], "END:VCARD")) {
                line.logical.chop(1);
                line.logical += withoutEnd(physical[i]);
                line.bytes += physical[i++];
            } else if (continues()) {
                line.logical += withoutEnd(physical[i]).mid(1);
                line.bytes += physical[i++];
            } else {
                break;
            }
        }
        const qsizetype colon = valueColon(line.logical);
        if (colon >= 0) {
            line.head = line.logical.left(colon);
            line.value = line.logical.mid(colon + 1);
            line.name = nameOf(line.head);
            line.kind = Kind::Property;
            if (line.name == "BEGIN" && line.value.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0)
                return std::nullopt; // a card inside the card
            if (line.name == "END") {
                line.kind = line.value.trimmed().compare("VCARD", Qt::CaseInsensitive) == 0 ? Kind::End : Kind::Other;
            } else if (line.name == "VERSION") {
                line.kind = Kind::Version;
                version = line.value.trimmed();
            } else if (line.name == "PRODID") {
                line.kind = Kind::ProdId;
            }
        }
        const bool end = line.kind == Kind::End;
        card.lines.push_back(std::move(line));
        if (end) {
            ended = true;
            break;
        }
    }
    if (!ended || version.startsWith('2'))
        return std::nullopt;
    while (i < physical.size())
        card.after += physical[i++];
    if (card.after.toUpper().contains("BEGIN:VCARD"))
        return std::nullopt; // another card after this one
    card.v4 = version.startsWith('4');
    return card;
}

// Which line each field was read from: the reader keeps every property but VERSION and PRODID in the
// card's order, except an empty date of birth and the lunar birthday it took, and marks the ones it
// read into a field. False when the lines and the reader's list do not line up.
bool markFields(Card& card, const std::vector<KeptProperty>& kept, const std::vector<size_t>& typedPlaces) {
    size_t next = 0, place = 0;
    bool haveBirthday = false, haveLunar = false;
    for (Line& line : card.lines) {
        if (line.kind != Kind::Property)
            continue;
        if (line.name == "BDAY" && !haveBirthday) {
            const birthday::Reading read = birthday::read(QString::fromUtf8(line.value));
            if (read.kind == birthday::Reading::Kind::Empty)
                continue;
            haveBirthday = read.kind == birthday::Reading::Kind::Date;
        }
        if (line.name == "X-ZINTEVA-LUNAR-BIRTHDAY" && !haveLunar &&
            parseLunarBirthdayValue(QString::fromUtf8(line.value).trimmed())) {
            haveLunar = line.lunar = true;
            continue;
        }
        // A typed value's line is no column's: it stays as it is.
        if (std::find(typedPlaces.begin(), typedPlaces.end(), place++) != typedPlaces.end())
            continue;
        if (next >= kept.size() || nameOf(kept[next].line.toUtf8()) != line.name)
            return false;
        line.field = kept[next++].field;
    }
    return next == kept.size();
}

// ---- values

QString unescaped(QStringView text) {
    QString out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == u'\\' && i + 1 < text.size()) {
            const QChar next = text[++i];
            out += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else {
            out += text[i];
        }
    }
    return out;
}

// The parts of a structured or list value at its unescaped separators, each still escaped.
QList<QByteArray> rawParts(const QByteArray& value, char separator) {
    QList<QByteArray> parts;
    QByteArray part;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            part += value[i];
            part += value[++i];
        } else if (value[i] == separator) {
            parts.append(part);
            part.clear();
        } else {
            part += value[i];
        }
    }
    parts.append(part);
    return parts;
}

QByteArray esc(const QString& text) {
    return VCardWriter::escapedText(text).toUtf8();
}

QString part(const QList<QByteArray>& parts, int index) {
    return index < parts.size() ? unescaped(QString::fromUtf8(parts[index])) : QString();
}

bool isCjk(QStringView text) {
    for (const QChar c : text) {
        if (c.isSurrogate())
            return true;
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

// The family names of two characters that people still carry.
const char16_t* const DoubleFamilyNames[] = {
    u"欧阳", u"司马", u"诸葛", u"上官", u"东方", u"皇甫", u"尉迟", u"公孙", u"慕容", u"长孙", u"宇文",
    u"司徒", u"令狐", u"夏侯", u"轩辕", u"端木", u"独孤", u"南宫", u"西门", u"百里", u"呼延", u"澹台",
    u"公冶", u"太史", u"申屠", u"闻人", u"万俟", u"钟离", u"宗政", u"濮阳", u"淳于", u"单于", u"仲孙",
    u"赫连", u"司空", u"鲜于", u"闾丘", u"第五", u"左丘", u"东郭", u"拓跋", u"呼延"};

// A value of a messenger or phone line in the form the line had: "tel:", "qq:", "x-apple:",
// "msnim:chat?contact=" stay in front of the new handle.
QByteArray sameForm(const Line& line, const QString& value) {
    const QByteArray old = line.value.trimmed();
    if (line.name == "TEL")
        return old.toLower().startsWith("tel:") ? "tel:" + esc(value) : esc(value);
    if (line.name == "IMPP") {
        // The reader takes the handle out of the URI and undoes its percent-encoding.
        const qsizetype colon = old.indexOf(':');
        QByteArray prefix = colon > 0 ? old.left(colon + 1) : QByteArray();
        if (const qsizetype contact = old.indexOf("contact="); colon > 0 && contact > colon && old.contains('?'))
            prefix = old.left(contact + 8);
        return prefix + QUrl::toPercentEncoding(value, "@.-_~+");
    }
    if (line.name == "X-MS-IMADDRESS") {
        const QByteArray lower = old.toLower();
        if (lower.startsWith("msnim:") || lower.startsWith("msn:"))
            return old.left(old.indexOf(':') + 1) + esc(value);
    }
    return esc(value);
}

QByteArray adrValue(const QList<QByteArray>& old, const QString& address, const QString& postcode) {
    QStringList parts;
    for (int i = 0; i < 7; ++i)
        parts.append(part(old, i));
    // The program shows the parts that are not empty joined by ", " (the postal code apart); an
    // address edited so that it still has as many pieces puts each back in its place, any other
    // goes whole into the street.
    const int shown[] = {0, 1, 2, 3, 4, 6};
    QList<int> filled;
    QStringList joined;
    for (const int index : shown) {
        if (!parts[index].trimmed().isEmpty()) {
            filled.append(index);
            joined.append(parts[index]);
        }
    }
    if (address != joined.join(QStringLiteral(", "))) {
        const QStringList pieces = address.split(QStringLiteral(", "));
        if (pieces.size() == filled.size() && filled.size() > 1) {
            for (qsizetype i = 0; i < pieces.size(); ++i)
                parts[filled[i]] = pieces[i];
        } else {
            for (const int index : shown)
                parts[index].clear();
            parts[2] = address;
        }
    }
    parts[5] = postcode;
    QByteArrayList out;
    for (const QString& p : parts)
        out.append(esc(p));
    // As many parts as the card had, when it had more (some writers add one).
    for (qsizetype i = 7; i < old.size(); ++i)
        out.append(old[i]);
    return out.join(';');
}

void setLineValue(Line& line, const QByteArray& head, const QByteArray& value) {
    if (head == line.head && value == line.value)
        return; // the line says it already: its bytes stay
    line.head = head;
    line.value = value;
    line.logical = head + ':' + value;
    line.bytes.clear(); // written anew
}

// ---- the fields of a card

// The field a line was read into, as the sync's fields count them (the postal code is the address's).
QString keptFieldOf(Field field) {
    switch (field) {
    case Field::Group:
        return keptfield::Group;
    case Field::Postcode:
        return keptfield::Address;
    default:
        return keptfield::column(field);
    }
}

QString groupOf(const SyncContact& contact) {
    return contact.group == cardpatch::defaultGroup() ? QString() : contact.group;
}

class Patcher {
public:
    Patcher(Card& card, const SyncContact& now) : card_(card), now_(now) {
        export_.fields = now.fields;
        export_.groupName = groupOf(now);
        export_.photoData = now.photo;
        export_.photoExtension = now.photo.isEmpty() ? QString() : now.photoExtension;
    }

    void apply(Field field) {
        switch (field) {
        case Field::Name:
            name();
            break;
        case Field::Birthday:
            birthday();
            break;
        case Field::Address:
        case Field::Postcode:
            address();
            break;
        case Field::Remarks:
            remarks();
            break;
        case Field::Group:
            group();
            break;
        case Field::Photo:
            photo();
            break;
        default:
            if (QString ContactFields::*text = catalogue::info(field).text)
                plain(keptFieldOf(field), now_.fields.*text);
            break;
        }
    }

private:
    std::vector<Line*> fed(const QString& field) {
        std::vector<Line*> lines;
        for (Line& line : card_.lines) {
            if (!line.removed && line.field == field)
                lines.push_back(&line);
        }
        return lines;
    }
    VCardVersion version() const { return card_.v4 ? VCardVersion::V40 : VCardVersion::V30; }
    QList<QByteArray> freshLines(const QString& field) {
        QList<QByteArray> out;
        for (const QString& text : VCardWriter::fieldLines(field, export_, version()))
            out.append(text.toUtf8());
        return out;
    }
    static void setValue(Line& line, const QByteArray& head, const QByteArray& value) {
        setLineValue(line, head, value);
    }
    // New lines go after the last line of their property, else before END:VCARD.
    void insert(const QList<QByteArray>& lines) {
        if (lines.isEmpty())
            return;
        const QByteArray name = nameOf(lines.first());
        Line* anchor = nullptr;
        for (size_t i = 0; i < card_.lines.size(); ++i) {
            if (card_.lines[i].kind == Kind::Property && card_.lines[i].name == name && i + 1 < card_.lines.size())
                anchor = &card_.lines[i + 1];
        }
        if (!anchor)
            anchor = &card_.lines.back();
        anchor->inserted += lines;
    }
    // Each line of the field gets the new value, or goes when the value is empty; a field that had no
    // line gets the writer's.
    void plain(const QString& field, const QString& value) {
        const std::vector<Line*> lines = fed(field);
        if (lines.empty()) {
            insert(freshLines(field));
            return;
        }
        for (Line* line : lines) {
            if (value.isEmpty())
                line->removed = true;
            else
                setValue(*line, plainHead(line->head), sameForm(*line, value));
        }
    }

    void name() {
        const QString& name = now_.fields.name;
        bool haveFn = false;
        for (Line* line : fed(keptfield::Name)) {
            if (line->name == "FN") {
                haveFn = true;
                setValue(*line, plainHead(line->head), esc(name));
            } else if (line->name == "N") {
                const QStringList parts = cardpatch::structuredName(
                    [&] {
                        QStringList old;
                        const QList<QByteArray> raw = rawParts(line->value, ';');
                        for (int i = 0; i < 5; ++i)
                            old.append(part(raw, i));
                        return old;
                    }(),
                    name);
                QByteArrayList escaped;
                for (const QString& p : parts)
                    escaped.append(esc(p));
                setValue(*line, plainHead(line->head), escaped.join(';'));
            }
        }
        if (!haveFn)
            insert({"FN:" + esc(name)});
    }

    void birthday() {
        const QList<QByteArray> fresh = freshLines(keptfield::Birthday);
        QByteArray day, lunar;
        for (const QByteArray& line : fresh)
            (nameOf(line) == "BDAY" ? day : lunar) = line;
        const std::vector<Line*> days = fed(keptfield::Birthday);
        if (days.empty()) {
            if (!day.isEmpty())
                insert({day});
        } else {
            for (Line* line : days) {
                if (day.isEmpty())
                    line->removed = true;
                else
                    setValue(*line, plainHead(line->head, {"X-APPLE-OMIT-YEAR"}), day.mid(valueColon(day) + 1));
            }
        }
        Line* oldLunar = nullptr;
        for (Line& line : card_.lines)
            oldLunar = line.lunar && !line.removed ? &line : oldLunar;
        if (oldLunar && lunar.isEmpty())
            oldLunar->removed = true;
        else if (oldLunar)
            setValue(*oldLunar, plainHead(oldLunar->head), lunar.mid(valueColon(lunar) + 1));
        else if (!lunar.isEmpty())
            insert({lunar});
    }

    void address() {
        const std::vector<Line*> lines = fed(keptfield::Address);
        const ContactFields& f = now_.fields;
        if (lines.empty()) {
            insert(freshLines(keptfield::Address));
            return;
        }
        for (Line* line : lines) {
            if (f.address.isEmpty() && f.postcode.isEmpty())
                line->removed = true;
            else
                setValue(*line, plainHead(line->head), adrValue(rawParts(line->value, ';'), f.address, f.postcode));
        }
    }

    void remarks() {
        const std::vector<Line*> lines = fed(keptfield::Remarks);
        const QString& text = now_.fields.remarks;
        const QList<QByteArray> fresh = freshLines(keptfield::Remarks);
        if (lines.empty()) {
            insert(fresh);
            return;
        }
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0 || text.isEmpty()) {
                lines[i]->removed = true;
                continue;
            }
            // Line breaks written as CR LF are marked as the writer marks them.
            const QByteArray& made = fresh.first();
            const QByteArray head =
                made.startsWith("NOTE;") ? plainHead(lines[i]->head) + made.mid(4, valueColon(made) - 4)
                                         : plainHead(lines[i]->head, {"X-ZINTEVA-EOL"});
            setValue(*lines[i], head, made.mid(valueColon(made) + 1));
        }
    }

    void group() {
        const QString group = groupOf(now_);
        const std::vector<Line*> lines = fed(keptfield::Group);
        if (lines.empty()) {
            insert(freshLines(keptfield::Group));
            return;
        }
        Line& line = *lines.front();
        QList<QByteArray> parts = rawParts(line.value, ',');
        qsizetype first = 0;
        while (first < parts.size() && parts[first].trimmed().isEmpty())
            ++first;
        const QByteArray wanted = esc(group);
        // The other categories stay; the group is the first, named once.
        for (qsizetype i = parts.size() - 1; i > first; --i) {
            if (!group.isEmpty() && unescaped(QString::fromUtf8(parts[i]).trimmed()) == group)
                parts.removeAt(i);
        }
        if (group.isEmpty())
            parts.removeAt(first);
        else
            parts[first] = wanted;
        if (std::all_of(parts.begin(), parts.end(), [](const QByteArray& p) { return p.trimmed().isEmpty(); }))
            line.removed = true;
        else
            setValue(line, plainHead(line.head), parts.join(','));
    }

    // A picture of the card's own goes; a picture the card only names (a web address) is replaced
    // only by a picture the user chose. A path of this computer never goes into a card.
    void photo() {
        QByteArray fresh;
        if (!now_.photo.isEmpty()) {
            const QByteArray written = VCardWriter::write(export_, version());
            const std::optional<Card> made = split(written);
            for (const Line& line : made ? made->lines : std::vector<Line>{})
                if (line.name == "PHOTO")
                    fresh = line.logical;
        } else if (isWebAddress(now_.fields.photo)) {
            fresh = (card_.v4 ? "PHOTO:" : "PHOTO;VALUE=uri:") + now_.fields.photo.toUtf8();
        }
        std::vector<Line*> lines = fed(keptfield::Photo);
        if (lines.empty() && !fresh.isEmpty()) {
            for (Line& line : card_.lines)
                if (!line.removed && line.kind == Kind::Property && line.name == "PHOTO")
                    lines.push_back(&line);
        }
        if (lines.empty()) {
            if (!fresh.isEmpty())
                insert({fresh});
            return;
        }
        for (size_t i = 0; i < lines.size(); ++i) {
            if (i > 0 || fresh.isEmpty()) {
                lines[i]->removed = true;
            } else {
                const qsizetype colon = valueColon(fresh);
                setValue(*lines[i], fresh.left(colon), fresh.mid(colon + 1));
            }
        }
    }

    static bool isWebAddress(const QString& photo) {
        return photo.startsWith(QStringLiteral("http://"), Qt::CaseInsensitive) ||
               photo.startsWith(QStringLiteral("https://"), Qt::CaseInsensitive);
    }

    Card& card_;
    const SyncContact& now_;
    ExportCard export_;
};

QByteArray folded(const QByteArray& line, const QByteArray& eol) {
    QByteArray out = VCardWriter::folded(line);
    if (eol != "\r\n")
        out.replace("\r\n", eol);
    return out;
}

QByteArray joined(const Card& card) {
    QByteArray out = card.before + card.begin;
    for (const Line& line : card.lines) {
        for (const QByteArray& added : line.inserted)
            out += folded(added, card.eol);
        if (line.removed)
            continue;
        out += line.bytes.isEmpty() ? folded(line.logical, card.eol) : line.bytes;
    }
    return out + card.after;
}

} // namespace

namespace cardpatch {

QString defaultGroup() {
    return QStringLiteral("未分组");
}

QStringList structuredName(const QStringList& old, const QString& name) {
    auto at = [&](int i) { return i < old.size() ? old[i].trimmed() : QString(); };
    const QString family = at(0), prefix = at(3), suffix = at(4);
    QString rest = name.trimmed();
    if (rest.isEmpty())
        return {{}, {}, {}, {}, {}};
    QString newPrefix, newSuffix;
    // A title the old name had stays its own part while the new name still has it.
    if (!prefix.isEmpty() && rest.startsWith(prefix) && rest.size() > prefix.size()) {
        newPrefix = prefix;
        rest = rest.mid(prefix.size()).trimmed();
    }
    if (!suffix.isEmpty() && rest.endsWith(suffix) && rest.size() > suffix.size()) {
        newSuffix = suffix;
        rest = rest.left(rest.size() - suffix.size()).trimmed();
        if (rest.endsWith(u','))
            rest = rest.chopped(1).trimmed();
    }
    if (isCjk(rest)) {
        if (rest.contains(u' '))
            return {rest, {}, {}, newPrefix, newSuffix}; // cannot tell: whole in the family name
        QString familyName;
        if (!family.isEmpty() && rest.startsWith(family) && rest.size() > family.size())
            familyName = family;
        for (const char16_t* twice : DoubleFamilyNames) {
            const QString two = QString::fromUtf16(twice);
            if (familyName.isEmpty() && rest.startsWith(two) && catalogue::characters(rest) > 2)
                familyName = two;
        }
        const qsizetype characters = catalogue::characters(rest);
        if (familyName.isEmpty() && characters >= 2 && characters <= 4)
            familyName = catalogue::cut(rest, 1);
        if (familyName.isEmpty())
            return {rest, {}, {}, newPrefix, newSuffix};
        return {familyName, rest.mid(familyName.size()), {}, newPrefix, newSuffix};
    }
    QStringList words = rest.split(u' ', Qt::SkipEmptyParts);
    QString familyName;
    // A family name of several words ("van der Berg") that the new name still ends with stays whole.
    if (!family.isEmpty() && words.size() > 1 && rest.endsWith(u' ' + family)) {
        familyName = family;
        words = rest.left(rest.size() - family.size()).split(u' ', Qt::SkipEmptyParts);
    } else if (words.size() > 1) {
        familyName = words.takeLast();
    }
    if (words.isEmpty())
        return {familyName, {}, {}, newPrefix, newSuffix};
    if (familyName.isEmpty()) {
        // One word: where the old name had it, or the given name.
        if (words.first() == family)
            return {family, {}, {}, newPrefix, newSuffix};
        return {{}, words.first(), {}, newPrefix, newSuffix};
    }
    const QString givenName = words.takeFirst();
    return {familyName, givenName, words.join(u' '), newPrefix, newSuffix};
}

std::optional<QByteArray> groupCard(const QByteArray& base, const QString& name, const QStringList& add,
                                    const QStringList& remove) {
    std::optional<Card> card = split(base);
    if (!card)
        return std::nullopt;
    auto isMember = [](const Line& line) {
        return line.kind == Kind::Property && (line.name == "MEMBER" || line.name == "X-ADDRESSBOOKSERVER-MEMBER");
    };
    QStringList present;
    Line* last = nullptr;
    QByteArray head, prefix = "urn:uuid:";
    QByteArray kind;
    for (size_t i = 0; i < card->lines.size(); ++i) {
        Line& line = card->lines[i];
        if (line.kind == Kind::Property && (line.name == "KIND" || line.name == "X-ADDRESSBOOKSERVER-KIND"))
            kind = line.name;
        const bool renamed = !name.isEmpty() && line.kind == Kind::Property;
        if (renamed && line.name == "FN" && unescaped(QString::fromUtf8(line.value)) != name)
            setLineValue(line, plainHead(line.head), esc(name));
        if (renamed && line.name == "N" && part(rawParts(line.value, ';'), 0) != name) {
            QList<QByteArray> parts = rawParts(line.value, ';');
            parts[0] = esc(name);
            setLineValue(line, plainHead(line.head), parts.join(';'));
        }
        if (!isMember(line))
            continue;
        QString uid = unescaped(QString::fromUtf8(line.value)).trimmed();
        const bool urn = uid.startsWith(u"urn:uuid:", Qt::CaseInsensitive);
        if (urn)
            uid = uid.mid(9);
        // New members are written as the card writes its others.
        head = plainHead(line.head);
        prefix = urn ? line.value.trimmed().left(9) : QByteArray();
        if (remove.contains(uid))
            line.removed = true;
        else
            present.append(uid);
        last = i + 1 < card->lines.size() ? &card->lines[i + 1] : nullptr;
    }
    if (head.isEmpty())
        head = kind == "KIND" ? "MEMBER" : "X-ADDRESSBOOKSERVER-MEMBER";
    if (!last)
        last = &card->lines.back();
    for (const QString& uid : add) {
        if (!present.contains(uid) && !remove.contains(uid)) {
            last->inserted.append(head + ':' + prefix + esc(uid));
            present.append(uid);
        }
    }
    return joined(*card);
}

std::optional<QByteArray> patch(const QByteArray& base, const SyncContact& was, const SyncContact& now) {
    std::optional<Card> card = split(base);
    if (!card)
        return std::nullopt;
    const ImportBatch read = VCardReader::read(base);
    if (read.records.size() != 1 ||
        !markFields(*card, read.records.front().kept, read.records.front().typedPlaces))
        return std::nullopt;
    // A typed value added or removed here is written with the whole card (SyncCard::write keeps the
    // base's other lines).
    for (const catalogue::Field field : synccard::comparedFields()) {
        if (catalogue::info(field).storage == catalogue::Storage::Typed &&
            synccard::value(was, field) != synccard::value(now, field))
            return std::nullopt;
    }
    Patcher patcher(*card, now);
    for (const catalogue::FieldInfo* info : catalogue::columns()) {
        const Field field = info->field;
        const bool changed = field == Field::Group ? groupOf(was) != groupOf(now)
                                                    : synccard::value(was, field) != synccard::value(now, field);
        // The postal code and the address are one line: patched once for both.
        if (changed && !(field == Field::Postcode &&
                         synccard::value(was, Field::Address) != synccard::value(now, Field::Address)))
            patcher.apply(field);
    }
    return joined(*card);
}

} // namespace cardpatch
