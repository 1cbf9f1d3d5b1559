#include "core/exchange/Csv.h"

#include "core/store/FieldCatalogue.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/TextDecoding.h"
#include "core/exchange/TypedCard.h"
#include "core/exchange/Utf8Out.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"

#include <QBuffer>
#include <QHash>
#include <QIODevice>
#include <QMap>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QStringEncoder>
#include <map>

namespace csvdetail {
qint64 readPiece = 64 * 1024;
qint64 windowBytes = 16 << 20;
qsizetype openFieldChars = 4 << 20;
} // namespace csvdetail

namespace {

// What a column holds. Each row is turned into a vCard 3.0 card from these.
enum class Kind {
    Fn,
    Given,
    Family,
    Middle,
    Prefix,
    Suffix,
    Nickname,
    Birthday,
    BirthYear,
    BirthMonth,
    BirthDay,
    Note,
    Group,        // this program's 分组: one group name
    Categories,   // Outlook's categories, separated by ';'
    GoogleLabels, // "* myContacts ::: Friends"
    Org,
    Department,
    Title,
    Url,
    Email,
    Tel,
    Adr,       // one component of an address
    AdrStreet, // a street line (Outlook and Thunderbird have two or three)
    AdrType,   // Google's "Address 1 - Type"
    AdrLabel,  // Google's "Address 1 - Formatted"
    TypeOf,    // Google's "Phone 1 - Type", "E-mail 1 - Label", ...
    Qq,
    Icq,
    Msn,
    WeChat,
    Uid,
    PhotoPath,
    Lunar, // this program's 农历生日, as the lunar birthday's vCard property writes it
    Typed, // this program's numbered columns of a typed field: `field`, the number in `slot`, the cell in `component`
    Other, // a column of no known meaning: kept under its title
};

struct Column {
    Kind kind;
    QString types;     // TEL, EMAIL, URL, ADR: the vCard types ("CELL", "WORK,FAX")
    QString slot;      // the address, phone, e-mail or website a column belongs to
    int component = 0; // ADR: 0 post box, 1 extended, 3 city, 4 region, 5 postal code, 6 country
    catalogue::Field field = catalogue::Field::Group; // Typed
};

// The cells of a typed value's columns: an address's parts (0 to 6, as in ADR), the value, the label.
constexpr int ValueCell = 7, LabelCell = 8;

// How a typed field's values are written: alone ("微信", "微信 2"), with their labels ("Phone 1 -
// Label", "Phone 1 - Value", the numbered columns Google reads back), or an address in its parts.
enum class ValueShape { Alone, Labelled, Address };

ValueShape shapeOf(catalogue::Field field) {
    using F = catalogue::Field;
    if (field == F::OtherAddress)
        return ValueShape::Address;
    const bool labelled = field == F::Phone || field == F::OtherEmail || field == F::Url || field == F::Im;
    return labelled ? ValueShape::Labelled : ValueShape::Alone;
}

// An address's parts in the order of its value (vCard's ADR), under Google's titles; the cells a
// value of each shape takes.
constexpr int AddressParts = 7;
constexpr const char16_t* AddressPartTitles[AddressParts] = {
    u"PO Box", u"Extended Address", u"Street", u"City", u"Region", u"Postal Code", u"Country"};

int cellsOf(ValueShape shape) {
    return shape == ValueShape::Address ? 1 + AddressParts : shape == ValueShape::Labelled ? 2 : 1;
}

// An address part whose header names no address ("城市", "邮政编码"): it belongs to the address of
// the street column before it (Thunderbird in Chinese writes 城市 once after 家庭地址 and again
// after 工作地址), or to this program's own 地址 when there is none.
const QString FollowingAddress = QStringLiteral("following");

// Headers compared without case and blanks.
QString headerKey(const QString& title) {
    return title.trimmed().toLower().remove(u' ');
}

const QHash<QString, Column>& namedColumns() {
    static const QHash<QString, Column> columns = [] {
        QHash<QString, Column> h;
        auto add = [&](std::initializer_list<const char16_t*> titles, Column column) {
            for (const char16_t* title : titles)
                h.insert(headerKey(QString::fromUtf16(title)), column);
        };
        // This program's own columns (the catalogue's headers), the record form's labels and what many
        // programs write.
        using F = catalogue::Field;
        auto own = [](F field) { return catalogue::info(field).csvHeader; };
        add({own(F::Name), u"name", u"全名", u"displayname", u"显示名称", u"显示姓名", u"联系人", u"联系人姓名"},
            {Kind::Fn, {}, {}});
        add({own(F::Birthday), u"birthday"}, {Kind::Birthday, {}, {}});
        add({own(F::Mobile), u"手机", u"手机号", u"手机号码", u"移动电话号码", u"mobile", u"mobilephone",
             u"mobilenumber"},
            {Kind::Tel, "CELL", "cell"});
        add({own(F::WorkPhone), u"商务电话", u"businessphone", u"workphone"}, {Kind::Tel, "WORK,VOICE", "work"});
        add({own(F::HomePhone), u"住宅电话", u"homephone"}, {Kind::Tel, "HOME,VOICE", "home"});
        add({own(F::Fax), u"传真", u"fax", u"faxnumber", u"商务传真", u"businessfax"}, {Kind::Tel, "WORK,FAX", "fax"});
        add({own(F::Address)}, {Kind::AdrStreet, {}, "own"});
        add({own(F::Postcode), u"邮编"}, {Kind::Adr, {}, FollowingAddress, 5});
        add({u"城市"}, {Kind::Adr, {}, FollowingAddress, 3});
        add({u"省/自治区/直辖市", u"省份"}, {Kind::Adr, {}, FollowingAddress, 4});
        add({u"国家"}, {Kind::Adr, {}, FollowingAddress, 6});
        add({own(F::Qq), u"qq", u"qq号"}, {Kind::Qq, {}, {}});
        add({u"微信", u"微信号"}, {Kind::WeChat, {}, {}});
        add({own(F::Icq), u"icq"}, {Kind::Icq, {}, {}});
        add({own(F::Msn)}, {Kind::Msn, {}, {}});
        add({own(F::Email), u"email", u"e-mail", u"电子邮件", u"e-mailaddress", u"电子邮件地址", u"primaryemail",
             u"主要电子邮件", u"邮箱", u"电子邮箱", u"邮件"},
            {Kind::Email, "INTERNET", "e1"});
        add({own(F::Nickname), u"nickname"}, {Kind::Nickname, {}, {}});
        add({own(F::Remarks), u"notes", u"note", u"附注", u"注释"}, {Kind::Note, {}, {}});
        add({own(F::Group), u"group", u"分类", u"群组"}, {Kind::Group, {}, {}});
        // A telephone of no kind (a phone's 电话 beside its 手机): it fills no column of a kind.
        add({u"电话", u"电话号码", u"联系电话", u"固定电话", u"座机"}, {Kind::Tel, "VOICE", "phone"});
        add({own(F::Photo), u"photopath"}, {Kind::PhotoPath, {}, {}});
        add({own(F::LunarBirthday)}, {Kind::Lunar, {}, {}});
        add({u"uid"}, {Kind::Uid, {}, {}});
        // Names in parts: Google, Outlook (English and Chinese), Thunderbird.
        add({u"givenname", u"firstname", u"名", u"名字"}, {Kind::Given, {}, {}});
        add({u"familyname", u"lastname", u"姓", u"姓氏"}, {Kind::Family, {}, {}});
        add({u"additionalname", u"middlename", u"中间名"}, {Kind::Middle, {}, {}});
        add({u"nameprefix", u"title", u"标题", u"称谓"}, {Kind::Prefix, {}, {}});
        add({u"namesuffix", u"suffix", u"后缀"}, {Kind::Suffix, {}, {}});
        add({u"groupmembership", u"labels"}, {Kind::GoogleLabels, {}, {}});
        add({u"categories", u"类别"}, {Kind::Categories, {}, {}});
        add({u"company", u"organization", u"organizationname", u"公司", u"单位", u"公司名称"}, {Kind::Org, {}, {}});
        add({u"department", u"organizationdepartment", u"部门"}, {Kind::Department, {}, {}});
        add({u"jobtitle", u"organizationtitle", u"职务", u"职位"}, {Kind::Title, {}, {}});
        add({u"webpage", u"webpage1", u"网页", u"网页1"}, {Kind::Url, {}, "w1"});
        add({u"webpage2", u"网页2"}, {Kind::Url, {}, "w2"});
        // Thunderbird's birthday in three columns; its "Birth Day" and "出生日期" are the day of the month
        // when a month column comes with them (threeBirthdayColumns), else a whole birthday.
        add({u"birthyear", u"出生年份"}, {Kind::BirthYear, {}, {}});
        add({u"birthmonth", u"出生月份"}, {Kind::BirthMonth, {}, {}});
        add({u"birthday", u"出生日期", u"出生日"}, {Kind::Birthday, {}, {}});
        // Outlook (English, then Simplified Chinese) and Thunderbird telephones and e-mail addresses.
        add({u"businessphone2", u"商务电话2"}, {Kind::Tel, "WORK,VOICE", "work2"});
        add({u"homephone2", u"住宅电话2"}, {Kind::Tel, "HOME,VOICE", "home2"});
        add({u"homefax", u"住宅传真"}, {Kind::Tel, "HOME,FAX", "homefax"});
        add({u"otherfax", u"其他传真"}, {Kind::Tel, "FAX", "otherfax"});
        add({u"pager", u"pagernumber", u"寻呼机", u"寻呼机号码"}, {Kind::Tel, "PAGER", "pager"});
        add({u"carphone", u"车载电话"}, {Kind::Tel, "CAR", "car"});
        add({u"primaryphone", u"主要电话"}, {Kind::Tel, "PREF,VOICE", "primary"});
        add({u"otherphone", u"其他电话"}, {Kind::Tel, "VOICE", "other"});
        add({u"companymainphone", u"公司代表电话"}, {Kind::Tel, "WORK,X-COMPANY-MAIN", "company"});
        add({u"assistant'sphone", u"助理的电话"}, {Kind::Tel, "X-ASSISTANT", "assistant"});
        add({u"callback", u"回电话"}, {Kind::Tel, "X-CALLBACK", "callback"});
        add({u"isdn"}, {Kind::Tel, "ISDN", "isdn"});
        add({u"radiophone", u"无线电话"}, {Kind::Tel, "X-RADIO", "radio"});
        add({u"tty/tddphone", u"tty/tdd电话"}, {Kind::Tel, "TEXTPHONE", "tty"});
        add({u"telex", u"电报"}, {Kind::Tel, "X-TELEX", "telex"});
        add({u"e-mail2address", u"电子邮件2地址", u"secondaryemail", u"备用电子邮件", u"次要电子邮件"},
            {Kind::Email, "INTERNET", "e2"});
        add({u"e-mail3address", u"电子邮件3地址"}, {Kind::Email, "INTERNET", "e3"});
        // Addresses: Outlook's business, home and other, Thunderbird's work and home (in English, and
        // in Chinese its street lines, the parts after them being FollowingAddress).
        const struct {
            const char16_t* english;
            const char16_t* chinese;
            const char16_t* thunderbird;
            const char16_t* thunderbirdChinese;
            const char* types;
        } places[] = {
            {u"business", u"商务地址", u"work", u"工作地址", "WORK"},
            {u"home", u"住宅地址", u"home", u"家庭地址", "HOME"},
            {u"other", u"其他地址", nullptr, nullptr, "X-OTHER"},
        };
        for (const auto& place : places) {
            const QString en = QString::fromUtf16(place.english), zh = QString::fromUtf16(place.chinese);
            const QString slot = QLatin1String("adr-") + en;
            auto at = [&](const QString& title, Kind kind, int component = 0) {
                h.insert(headerKey(title), {kind, QString::fromLatin1(place.types), slot, component});
            };
            at(en + QString::fromUtf16(u"street"), Kind::AdrStreet);
            at(en + QString::fromUtf16(u"street2"), Kind::AdrStreet);
            at(en + QString::fromUtf16(u"street3"), Kind::AdrStreet);
            at(en + QString::fromUtf16(u"pobox"), Kind::Adr, 0);
            at(en + QString::fromUtf16(u"addresspobox"), Kind::Adr, 0);
            at(en + QString::fromUtf16(u"city"), Kind::Adr, 3);
            at(en + QString::fromUtf16(u"state"), Kind::Adr, 4);
            at(en + QString::fromUtf16(u"postalcode"), Kind::Adr, 5);
            at(en + QString::fromUtf16(u"country/region"), Kind::Adr, 6);
            at(en + QString::fromUtf16(u"country"), Kind::Adr, 6);
            at(zh + QString::fromUtf16(u"街道"), Kind::AdrStreet);
            at(zh + QString::fromUtf16(u"街道2"), Kind::AdrStreet);
            at(zh + QString::fromUtf16(u"街道3"), Kind::AdrStreet);
            at(zh + QString::fromUtf16(u"邮政信箱"), Kind::Adr, 0);
            at(zh + QString::fromUtf16(u"市/县"), Kind::Adr, 3);
            at(zh + QString::fromUtf16(u"省/市/自治区"), Kind::Adr, 4);
            at(zh + QString::fromUtf16(u"邮政编码"), Kind::Adr, 5);
            at(zh + QString::fromUtf16(u"国家/地区"), Kind::Adr, 6);
            if (place.thunderbirdChinese) {
                const QString tb = QString::fromUtf16(place.thunderbirdChinese);
                at(tb, Kind::AdrStreet);
                at(tb + u'2', Kind::AdrStreet);
            }
            if (place.thunderbird) {
                const QString tb = QString::fromUtf16(place.thunderbird);
                at(tb + QString::fromUtf16(u"address"), Kind::AdrStreet);
                at(tb + QString::fromUtf16(u"address2"), Kind::AdrStreet);
                at(tb + QString::fromUtf16(u"city"), Kind::Adr, 3);
                at(tb + QString::fromUtf16(u"state"), Kind::Adr, 4);
                at(tb + QString::fromUtf16(u"zipcode"), Kind::Adr, 5);
                at(tb + QString::fromUtf16(u"country"), Kind::Adr, 6);
            }
        }
        return h;
    }();
    return columns;
}

// Google's numbered columns: "Phone 2 - Type", "E-mail 1 - Value", "Address 1 - Postal Code", ...
std::optional<Column> googleColumn(const QString& title) {
    static const QRegularExpression pattern(
        QStringLiteral("^(E-mail|Phone|Address|Organization|Website) (\\d+) - (.+)$"),
        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = pattern.match(title.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString what = match.captured(1).toLower();
    const QString slot = what + match.captured(2);
    const QString part = match.captured(3).toLower();
    const bool isType = part == u"type" || part == u"label";
    if (what == u"e-mail")
        return isType             ? Column{Kind::TypeOf, {}, slot}
               : part == u"value" ? Column{Kind::Email, "INTERNET", slot}
                                  : std::optional<Column>();
    if (what == u"phone")
        return isType             ? Column{Kind::TypeOf, {}, slot}
               : part == u"value" ? Column{Kind::Tel, {}, slot}
                                  : std::optional<Column>();
    if (what == u"website")
        return isType             ? Column{Kind::TypeOf, {}, slot}
               : part == u"value" ? Column{Kind::Url, {}, slot}
                                  : std::optional<Column>();
    if (what == u"organization") {
        if (part == u"name")
            return Column{Kind::Org, {}, {}};
        if (part == u"title")
            return Column{Kind::Title, {}, {}};
        if (part == u"department")
            return Column{Kind::Department, {}, {}};
        return std::nullopt;
    }
    // Address
    if (isType)
        return Column{Kind::AdrType, {}, slot};
    if (part == u"formatted")
        return Column{Kind::AdrLabel, {}, slot};
    if (part == u"street")
        return Column{Kind::AdrStreet, {}, slot};
    const std::pair<const char16_t*, int> parts[] = {{u"po box", 0}, {u"extended address", 1}, {u"city", 3},
                                                     {u"region", 4}, {u"postal code", 5},      {u"country", 6}};
    for (const auto& [name, component] : parts) {
        if (part == QString::fromUtf16(name))
            return Column{Kind::Adr, {}, slot, component};
    }
    return std::nullopt;
}

// This program's own numbered columns of the typed fields (CsvFile::header): "微信", "微信 2",
// "Phone 1 - Label", "Phone 1 - Value", "Address 1 - Street"...
std::optional<Column> ownValueColumn(const QString& title) {
    static const QRegularExpression pattern(QStringLiteral("^(.+?)(?: (\\d+))?(?: - (.+))?$"));
    const QRegularExpressionMatch match = pattern.match(title.trimmed());
    if (!match.hasMatch())
        return std::nullopt;
    const QString stem = match.captured(1), number = match.captured(2), part = match.captured(3);
    for (const catalogue::FieldInfo& field : catalogue::all()) {
        if (field.storage != catalogue::Storage::Typed || !field.csvHeader ||
            stem.compare(QStringView(field.csvHeader), Qt::CaseInsensitive) != 0)
            continue;
        const ValueShape shape = shapeOf(field.field);
        Column column{Kind::Typed, {}, number.isEmpty() ? QStringLiteral("1") : number};
        column.field = field.field;
        if (shape == ValueShape::Alone) {
            if (!part.isEmpty() || number == u"1")
                return std::nullopt;
            column.component = ValueCell;
            return column;
        }
        if (number.isEmpty())
            return std::nullopt;
        if (part.compare(u"Label", Qt::CaseInsensitive) == 0) {
            column.component = LabelCell;
            return column;
        }
        if (shape == ValueShape::Labelled) {
            if (part.compare(u"Value", Qt::CaseInsensitive) != 0)
                return std::nullopt;
            column.component = ValueCell;
            return column;
        }
        for (int i = 0; i < AddressParts; ++i) {
            if (part.compare(QStringView(AddressPartTitles[i]), Qt::CaseInsensitive) == 0) {
                column.component = i;
                return column;
            }
        }
        return std::nullopt;
    }
    return std::nullopt;
}

// "Birth Day" beside "Birth Month" is the day of the month, not a whole birthday.
void threeBirthdayColumns(std::vector<std::optional<Column>>& columns) {
    const bool month = std::any_of(columns.begin(), columns.end(),
                                   [](const std::optional<Column>& c) { return c && c->kind == Kind::BirthMonth; });
    for (std::optional<Column>& column : columns) {
        if (month && column && column->kind == Kind::Birthday)
            column->kind = Kind::BirthDay;
    }
}

// An address part that names no address takes the address of the street column before it.
void followingAddresses(std::vector<std::optional<Column>>& columns) {
    QString slot = QStringLiteral("own"), types;
    for (std::optional<Column>& column : columns) {
        if (!column || (column->kind != Kind::Adr && column->kind != Kind::AdrStreet))
            continue;
        if (column->slot == FollowingAddress) {
            column->slot = slot;
            column->types = types;
        } else if (column->kind == Kind::AdrStreet) {
            slot = column->slot;
            types = column->types;
        }
    }
}

// The order of month and day in dates written with the year last: Outlook in English writes them as
// the US does.
birthday::Order birthdayOrderOf(const QString& layout) {
    return layout == u"Outlook" ? birthday::Order::MonthFirst : birthday::Order::Unknown;
}

// The producer a header row comes from, for the summary: told by headers that only it writes.
QString layoutOf(const QStringList& titles) {
    QSet<QString> keys;
    for (const QString& title : titles)
        keys.insert(headerKey(title));
    auto any = [&](std::initializer_list<const char16_t*> headers) {
        return std::any_of(headers.begin(), headers.end(),
                           [&](const char16_t* header) { return keys.contains(QString::fromUtf16(header)); });
    };
    const bool ownName = keys.contains(QStringLiteral("姓名"));
    if (ownName && (keys.contains(QStringLiteral("uid")) ||
                    (keys.contains(QStringLiteral("移动电话")) && keys.contains(QStringLiteral("邮件地址")))))
        return QStringLiteral("zinteva");
    if (any({u"groupmembership", u"givenname"}))
        return QStringLiteral("Google 通讯录（旧版）");
    if (any({u"labels", u"organizationname", u"phoneticfirstname", u"fileas"}))
        return QStringLiteral("Google 通讯录");
    if (any({u"primaryemail", u"displayname", u"mobilenumber"}))
        return QStringLiteral("Thunderbird");
    if (any({u"主要电子邮件", u"移动电话号码", u"显示姓名", u"显示名称"}))
        return QStringLiteral("Thunderbird（中文）");
    if (any({u"电子邮件地址", u"中间名", u"商务电话", u"附注", u"主要电话"}))
        return QStringLiteral("Outlook（中文）");
    if (any({u"e-mailaddress", u"middlename", u"businessphone", u"primaryphone"}))
        return QStringLiteral("Outlook");
    if (ownName)
        return QStringLiteral("手机通讯录");
    return {};
}

// Google's and Outlook's words for a telephone, an e-mail address or a website, as vCard types.
QString typesFor(const QString& label, Kind kind) {
    QString text = label.trimmed().toLower();
    QStringList types;
    if (text.startsWith(u'*')) {
        types.append(QStringLiteral("PREF"));
        text = text.mid(1).trimmed();
    }
    const std::pair<const char16_t*, const char*> words[] = {
        {u"mobile", "CELL"},
        {u"work", "WORK"},
        {u"home", "HOME"},
        {u"home fax", "HOME,FAX"},
        {u"work fax", "WORK,FAX"},
        {u"fax", "FAX"},
        {u"pager", "PAGER"},
        {u"main", "X-MAIN"},
        {u"other", "X-OTHER"},
        {u"iphone", "IPHONE"},
        {u"google voice", "X-GOOGLE-VOICE"},
        {u"profile", "X-PROFILE"},
        {u"blog", "X-BLOG"},
        {u"home page", "X-HOMEPAGE"},
    };
    bool known = text.isEmpty();
    for (const auto& [word, type] : words) {
        if (text == QString::fromUtf16(word)) {
            types.append(QString::fromLatin1(type));
            known = true;
            break;
        }
    }
    if (!known) {
        // A label of the user's own: kept as a type of its own so that it comes back.
        QString own = label.trimmed();
        own.remove(u'"');
        types.append(u'"' + own + u'"');
    }
    if (kind == Kind::Email)
        types.prepend(QStringLiteral("INTERNET"));
    return types.join(u',');
}

QString esc(const QString& text) {
    return VCardWriter::escapedText(text);
}

// A parameter value as a card's header takes it.
QString paramValue(QString value) {
    value.remove(u'"');
    for (QChar& c : value) {
        if (c.unicode() < 0x20)
            c = u' ';
    }
    return u'"' + value + u'"';
}

// A text with CR LF line breaks says so, so that they come back as they were.
QString textLine(const QString& name, const QString& value) {
    const bool crlf = value.contains(QStringLiteral("\r\n")) &&
                      !QString(value).remove(QStringLiteral("\r\n")).contains(u'\n') &&
                      !QString(value).remove(QStringLiteral("\r\n")).contains(u'\r');
    return name + (crlf ? QStringLiteral(";X-ZINTEVA-EOL=CRLF:") : QStringLiteral(":")) + esc(value) +
           QStringLiteral("\r\n");
}

// One row as a vCard 3.0 card.
class RowCard {
public:
    void add(const Column& column, const QString& title, const QString& value, QHash<QString, QString>& typeOf);
    QString text(const QHash<QString, QString>& typeOf) const;
    // A row of this program's own CSV: an empty 姓名 is an empty name, not one to make up.
    bool own = false;
    birthday::Order birthdayOrder = birthday::Order::Unknown;

private:
    struct Address {
        QString types;
        QStringList streets;
        QString parts[7];
        QString label;
    };
    QString birthdayLines() const;

    QString fn_, given_, family_, middle_, prefix_, suffix_, nickname_, birthday_, uid_, photo_, org_, department_,
        lunar_;
    std::pair<QString, QString> year_, month_, day_; // Thunderbird's birthday columns: title and value
    QStringList notes_, categories_, titles_, others_;
    QList<std::pair<QString, std::pair<QString, QString>>> phones_, emails_, urls_; // slot, (types, value)
    QMap<int, QString> addressOrder_;
    QHash<QString, Address> addresses_;
    QString qq_, icq_, msn_;
    QStringList wechat_;
    bool haveFn_ = false;
    // This program's typed values by field and number, in the header's order.
    struct Value {
        QString cells[LabelCell + 1];
    };
    std::map<std::pair<catalogue::Field, int>, Value> values_;
    QString valueLines() const;

    Address& address(const QString& slot, const QString& types) {
        if (!addresses_.contains(slot))
            addressOrder_.insert(addressOrder_.size(), slot);
        Address& a = addresses_[slot];
        if (a.types.isEmpty())
            a.types = types;
        return a;
    }
};

void RowCard::add(const Column& c, const QString& title, const QString& value, QHash<QString, QString>& typeOf) {
    switch (c.kind) {
    case Kind::Fn:
        fn_ = value;
        haveFn_ = true;
        return;
    case Kind::Given:
        given_ = value;
        return;
    case Kind::Family:
        family_ = value;
        return;
    case Kind::Middle:
        middle_ = value;
        return;
    case Kind::Prefix:
        prefix_ = value;
        return;
    case Kind::Suffix:
        suffix_ = value;
        return;
    case Kind::Nickname:
        nickname_ = value;
        return;
    case Kind::Birthday:
        birthday_ = value;
        return;
    case Kind::BirthYear:
        year_ = {title, value};
        return;
    case Kind::BirthMonth:
        month_ = {title, value};
        return;
    case Kind::BirthDay:
        day_ = {title, value};
        return;
    case Kind::Note:
        notes_.append(value);
        return;
    case Kind::Group:
        categories_.append(value);
        return;
    case Kind::Categories:
        for (const QString& category : value.split(u';')) {
            if (!category.trimmed().isEmpty())
                categories_.append(category.trimmed());
        }
        return;
    case Kind::GoogleLabels: {
        // Google's own labels ("* myContacts", "* starred") are no groups; they stay as they came.
        QStringList system;
        for (const QString& label : value.split(QStringLiteral(":::"))) {
            const QString trimmed = label.trimmed();
            if (trimmed.startsWith(u'*'))
                system.append(trimmed);
            else if (!trimmed.isEmpty())
                categories_.append(trimmed);
        }
        if (!system.isEmpty())
            others_.append(QStringLiteral("X-ZINTEVA-CSV;X-COLUMN=%1:%2")
                               .arg(paramValue(title), esc(system.join(QStringLiteral(" ::: ")))));
        return;
    }
    case Kind::Org:
        org_ = value;
        return;
    case Kind::Department:
        department_ = value;
        return;
    case Kind::Title:
        titles_.append(value);
        return;
    case Kind::Url:
        for (const QString& v : value.split(QStringLiteral(" ::: ")))
            urls_.append({c.slot, {c.types, v}});
        return;
    case Kind::Email:
        for (const QString& v : value.split(QStringLiteral(" ::: ")))
            emails_.append({c.slot, {c.types, v}});
        return;
    case Kind::Tel:
        for (const QString& v : value.split(QStringLiteral(" ::: ")))
            phones_.append({c.slot, {c.types, v}});
        return;
    case Kind::Adr:
        address(c.slot, c.types).parts[c.component] = value;
        return;
    case Kind::AdrStreet:
        address(c.slot, c.types).streets.append(value);
        return;
    case Kind::AdrType:
        address(c.slot, {}).types = typesFor(value, Kind::Adr);
        return;
    case Kind::AdrLabel:
        address(c.slot, {}).label = value;
        return;
    case Kind::TypeOf:
        typeOf.insert(c.slot, value);
        return;
    case Kind::Qq:
        qq_ = value;
        return;
    case Kind::Icq:
        icq_ = value;
        return;
    case Kind::Msn:
        msn_ = value;
        return;
    case Kind::WeChat:
        wechat_.append(value);
        return;
    case Kind::Uid:
        uid_ = value;
        return;
    case Kind::PhotoPath:
        photo_ = value;
        return;
    case Kind::Lunar:
        lunar_ = value;
        return;
    case Kind::Typed:
        values_[{c.field, c.slot.toInt()}].cells[c.component] = value;
        return;
    case Kind::Other:
        others_.append(QStringLiteral("X-ZINTEVA-CSV;X-COLUMN=%1:%2").arg(paramValue(title), esc(value)));
        return;
    }
}

QString RowCard::text(const QHash<QString, QString>& typeOf) const {
    QString out = QStringLiteral("BEGIN:VCARD\r\nVERSION:3.0\r\n");
    if (own)
        out += QStringLiteral("PRODID:-//zinteva//zinteva//ZH\r\n");
    if (haveFn_ || own)
        out += textLine(QStringLiteral("FN"), fn_);
    if (!given_.isEmpty() || !family_.isEmpty() || !middle_.isEmpty() || !prefix_.isEmpty() || !suffix_.isEmpty())
        out += QStringLiteral("N:%1;%2;%3;%4;%5\r\n")
                   .arg(esc(family_), esc(given_), esc(middle_), esc(prefix_), esc(suffix_));
    if (!nickname_.isEmpty())
        out += textLine(QStringLiteral("NICKNAME"), nickname_);
    out += birthdayLines();
    if (!lunar_.trimmed().isEmpty())
        out += textLine(QString::fromLatin1(catalogue::info(catalogue::Field::LunarBirthday).vcard), lunar_);
    auto typed = [&](const QString& name, const QString& slot, const QString& types) {
        QString t =
            typeOf.contains(slot) ? typesFor(typeOf.value(slot), name == u"EMAIL" ? Kind::Email : Kind::Tel) : types;
        return t.isEmpty() ? name : name + QStringLiteral(";TYPE=") + t;
    };
    for (const auto& [slot, phone] : phones_) {
        if (!phone.second.isEmpty())
            out += typed(QStringLiteral("TEL"), slot, phone.first) + u':' + esc(phone.second) + QStringLiteral("\r\n");
    }
    for (const auto& [slot, email] : emails_) {
        if (!email.second.isEmpty())
            out +=
                typed(QStringLiteral("EMAIL"), slot, email.first) + u':' + esc(email.second) + QStringLiteral("\r\n");
    }
    for (const QString& slot : addressOrder_) {
        const Address& a = addresses_[slot];
        QStringList streets;
        for (const QString& street : a.streets) {
            if (!street.isEmpty())
                streets.append(street);
        }
        QString parts[7];
        std::copy(std::begin(a.parts), std::end(a.parts), parts);
        parts[2] = streets.join(QStringLiteral(", "));
        bool any = false;
        for (const QString& part : parts)
            any = any || !part.isEmpty();
        const QString name = a.types.isEmpty() ? QStringLiteral("ADR") : QStringLiteral("ADR;TYPE=") + a.types;
        if (!any && !a.label.isEmpty()) {
            parts[2] = a.label; // only the formatted address: it is the address
        } else if (!a.label.isEmpty()) {
            out += textLine(a.types.isEmpty() ? QStringLiteral("LABEL") : QStringLiteral("LABEL;TYPE=") + a.types,
                            a.label);
        }
        if (!any && a.label.isEmpty())
            continue;
        QStringList escaped;
        for (const QString& part : parts)
            escaped.append(esc(part));
        out += name + u':' + escaped.join(u';') + QStringLiteral("\r\n");
    }
    if (!org_.isEmpty() || !department_.isEmpty())
        out += QStringLiteral("ORG:") + esc(org_) + (department_.isEmpty() ? QString() : u';' + esc(department_)) +
               QStringLiteral("\r\n");
    for (const QString& title : titles_)
        out += textLine(QStringLiteral("TITLE"), title);
    for (const auto& [slot, url] : urls_) {
        if (!url.second.isEmpty())
            out += typed(QStringLiteral("URL"), slot, url.first) + u':' + esc(url.second) + QStringLiteral("\r\n");
    }
    if (!qq_.isEmpty())
        out += textLine(QStringLiteral("X-QQ"), qq_);
    if (!icq_.isEmpty())
        out += textLine(QStringLiteral("X-ICQ"), icq_);
    if (!msn_.isEmpty())
        out += textLine(QStringLiteral("X-MSN"), msn_);
    for (const QString& wechat : wechat_)
        out += textLine(QString::fromLatin1(catalogue::info(catalogue::Field::WeChat).vcard), wechat);
    for (const QString& note : notes_) {
        if (!note.isEmpty())
            out += textLine(QStringLiteral("NOTE"), note);
    }
    if (!categories_.isEmpty()) {
        QStringList escaped;
        for (const QString& category : categories_)
            escaped.append(esc(category));
        out += QStringLiteral("CATEGORIES:") + escaped.join(u',') + QStringLiteral("\r\n");
    }
    if (!photo_.isEmpty())
        out += textLine(QStringLiteral("X-ZINTEVA-PHOTO-PATH"), photo_);
    if (!uid_.isEmpty())
        out += textLine(QStringLiteral("UID"), uid_);
    out += valueLines();
    for (const QString& other : others_)
        out += other + QStringLiteral("\r\n");
    out += QStringLiteral("END:VCARD\r\n");
    return out;
}

// Each typed value as the line a vCard of this program carries it in, so that the reader makes the
// same value of it (its field and label) as from a vCard file. A label without a value is nothing.
QString RowCard::valueLines() const {
    QString out;
    int item = 0;
    for (const auto& [place, cells] : values_) {
        TypedValue value{place.first, cells.cells[LabelCell], cells.cells[ValueCell], QString()};
        if (shapeOf(value.field) == ValueShape::Address) {
            QStringList parts;
            for (int i = 0; i < AddressParts; ++i)
                parts.append(esc(cells.cells[i]));
            value.value = parts.join(u';');
            if (std::all_of(std::begin(cells.cells), std::begin(cells.cells) + AddressParts,
                            [](const QString& part) { return part.isEmpty(); }))
                value.value.clear();
        }
        if (value.value.isEmpty())
            continue;
        for (const QString& line : typedcard::linesFor(value, ++item))
            out += line + QStringLiteral("\r\n");
    }
    return out;
}

// The birthday in the card's own form. A date of zeros (Outlook's 0/0/00) is no birthday; what is no
// date at all goes as it came, for the reader to name and keep. Thunderbird's three columns make one
// birthday when they make a date (a year of 0 or none: without its year); else each column is kept
// under its title.
QString RowCard::birthdayLines() const {
    if (!birthday_.isEmpty()) {
        const birthday::Reading read = birthday::read(birthday_, birthdayOrder);
        if (read.kind == birthday::Reading::Kind::Date)
            return QStringLiteral("BDAY:") + birthday::format(*read.date, birthday::Style::Extended) +
                   QStringLiteral("\r\n");
        return read.kind == birthday::Reading::Kind::Empty ? QString() : textLine(QStringLiteral("BDAY"), birthday_);
    }
    if (year_.second.isEmpty() && month_.second.isEmpty() && day_.second.isEmpty())
        return {};
    bool yearOk = true, monthOk = false, dayOk = false;
    const QString yearText = year_.second.trimmed();
    int year = yearText.isEmpty() ? 0 : yearText.toInt(&yearOk);
    const int month = month_.second.trimmed().toInt(&monthOk), day = day_.second.trimmed().toInt(&dayOk);
    if (year == 0)
        year = birthday::YearlessYear;
    const QDate date(year, month, day);
    if (yearOk && monthOk && dayOk && (year == birthday::YearlessYear || year >= 1000) && date.isValid())
        return QStringLiteral("BDAY:") + birthday::format(date, birthday::Style::Extended) + QStringLiteral("\r\n");
    QString out;
    for (const auto& [title, value] : {year_, month_, day_}) {
        if (!value.isEmpty())
            out += QStringLiteral("X-ZINTEVA-CSV;X-COLUMN=%1:%2\r\n").arg(paramValue(title), esc(value));
    }
    return out;
}

QString quoted(const QString& field) {
    const bool needsQuotes = field.contains(u',') || field.contains(u'"') || field.contains(u'\n') ||
                             field.contains(u'\r') || field.startsWith(u' ') || field.endsWith(u' ');
    if (!needsQuotes)
        return field;
    QString out = field;
    out.replace(u'"', QStringLiteral("\"\""));
    return u'"' + out + u'"';
}

// A cell that starts like a formula but is left as it is: a plain number (-5, -0.5), a telephone
// number (+86 138 0000 0000, +1 (555) 010-0000) and a birthday without its year as Google writes it
// (--05-17). A second sign or anything but digits and the separators of a number makes a formula of
// it (-3+4, +1+1, -A1).
bool isPlainNumber(const QString& text) {
    static const QRegularExpression yearless(QStringLiteral("^--[0-9]{2}-[0-9]{2}$"));
    if (yearless.match(text).hasMatch())
        return true;
    const QStringView rest = QStringView(text).mid(1);
    const bool digits = !rest.isEmpty() && std::any_of(rest.begin(), rest.end(), [](QChar c) { return c.isDigit(); });
    if (!digits)
        return false;
    if (text.front() == u'-') {
        qsizetype points = 0;
        for (const QChar c : rest) {
            if (c == u'.')
                ++points;
            else if (c < u'0' || c > u'9')
                return false;
        }
        return points <= 1 && rest.front() != u'.' && rest.back() != u'.';
    }
    return text.front() == u'+' && std::all_of(rest.begin(), rest.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || c == u' ' || c == u'-' || c == u'(' || c == u')';
           });
}

// A spreadsheet runs a cell that starts so as a formula.
bool needsNeutralising(const QString& cell) {
    if (cell.size() < 2)
        return false;
    const QChar first = cell.front();
    return (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r' ||
            first == u'\'') &&
           !isPlainNumber(cell);
}

QString neutralised(const QString& cell) {
    return needsNeutralising(cell) ? u'\'' + cell : cell;
}

// The cell as quoted(neutralised(cell)) writes it, appended as UTF-8 without the copies.
void appendCell(QByteArray& out, const QString& cell) {
    const bool quotes = cell.startsWith(u' ') || cell.endsWith(u' ') ||
                        std::any_of(cell.begin(), cell.end(),
                                    [](QChar c) { return c == u',' || c == u'"' || c == u'\n' || c == u'\r'; });
    if (quotes)
        out += '"';
    if (needsNeutralising(cell))
        out += '\'';
    utf8out::appendWith(out, cell, [](char* p, QStringView text, qsizetype& i) {
        *p++ = static_cast<char>(text[i].unicode());
        if (text[i] == u'"')
            *p++ = '"';
        return p;
    });
    if (quotes)
        out += '"';
}

int valueCellCount(const CsvValueColumns& values) {
    int cells = 0;
    for (const catalogue::FieldInfo& field : catalogue::all())
        cells += values[field.field] * cellsOf(shapeOf(field.field));
    return cells;
}

// A typed address keeps its parts as the card wrote them, escaped and between ';': each cell holds a
// part as the user reads it (RowCard escapes it again). Parts beyond the seventh (a card that wrote
// too many) go into the last cell, so that nothing is cut.
QString unescapedPart(QStringView part) {
    QString out;
    out.reserve(part.size());
    for (qsizetype i = 0; i < part.size(); ++i) {
        if (part[i] == u'\\' && i + 1 < part.size()) {
            const QChar next = part[++i];
            out += next == u'n' || next == u'N' ? QChar(u'\n') : next;
        } else {
            out += part[i];
        }
    }
    return out;
}

QStringList addressCells(const QString& value) {
    QStringList raw;
    QString part;
    for (qsizetype i = 0; i < value.size(); ++i) {
        if (value[i] == u'\\' && i + 1 < value.size()) {
            part += value[i];
            part += value[++i];
        } else if (value[i] == u';') {
            raw.append(std::exchange(part, QString()));
        } else {
            part += value[i];
        }
    }
    raw.append(part);
    if (raw.size() > AddressParts) {
        raw[AddressParts - 1] = raw.mid(AddressParts - 1).join(u';');
        raw.resize(AddressParts);
    }
    QStringList cells;
    for (const QString& piece : raw)
        cells.append(unescapedPart(piece));
    while (cells.size() < AddressParts)
        cells.append(QString());
    return cells;
}

// The cells of the typed values, field by field in the catalogue's order, as many as `values` has
// columns for: a label and a value (an address's label and parts), or the value alone.
void appendValueCells(QStringList& cells, const ContactFields& f, const CsvValueColumns& values) {
    for (const catalogue::FieldInfo& field : catalogue::all()) {
        const int columns = values[field.field];
        if (columns <= 0)
            continue;
        const ValueShape shape = shapeOf(field.field);
        int written = 0;
        for (const TypedValue& value : f.values) {
            if (value.field != field.field || written == columns)
                continue;
            ++written;
            if (shape != ValueShape::Alone)
                cells.append(value.label);
            if (shape == ValueShape::Address)
                cells.append(addressCells(value.value));
            else
                cells.append(value.value);
        }
        cells.resize(cells.size() + (columns - written) * cellsOf(shape));
    }
}

// The cells in the order of CsvFile::header(): the listed fields, the lunar birthday, the group, the
// photo, the UID, the typed values.
QStringList rowCells(const CsvContact& c, const CsvValueColumns& values) {
    const ContactFields& f = c.fields;
    QStringList cells;
    cells.reserve(catalogue::listedCount() + 4);
    for (const catalogue::FieldInfo* field : catalogue::listed()) {
        if (field->kind == catalogue::ColumnKind::Date)
            cells.append(f.birthday && f.birthday->isValid()
                             ? birthday::format(*f.birthday, birthday::Style::Extended)
                             : QString());
        else
            cells.append(f.*field->text);
    }
    cells << (f.lunarBirthday && f.lunarBirthday->isValid() ? lunarBirthdayValue(*f.lunarBirthday) : QString())
          << c.groupName << f.photo << c.uid;
    if (!f.values.empty())
        appendValueCells(cells, f, values);
    else
        cells.resize(cells.size() + valueCellCount(values));
    return cells;
}

QString rowText(const QStringList& fields) {
    QStringList cells;
    for (const QString& field : fields)
        cells.append(quoted(neutralised(field)));
    return cells.join(u',') + QStringLiteral("\r\n");
}

void appendRow(QByteArray& out, const QStringList& fields) {
    for (qsizetype i = 0; i < fields.size(); ++i) {
        if (i > 0)
            out += ',';
        appendCell(out, fields[i]);
    }
    out += "\r\n";
}

const char* encoderName(CsvFile::Encoding encoding) {
    return encoding == CsvFile::Encoding::Gbk ? "GBK" : "GB18030";
}

} // namespace

CsvValueColumns CsvValueColumns::of(const std::vector<CsvContact>& contacts) {
    CsvValueColumns most;
    for (const CsvContact& contact : contacts) {
        CsvValueColumns one;
        for (const TypedValue& value : contact.fields.values)
            ++one[value.field];
        for (size_t i = 0; i < most.counts.size(); ++i)
            most.counts[i] = std::max(most.counts[i], one.counts[i]);
    }
    return most;
}

QStringList CsvFile::header(const CsvValueColumns& values) {
    QStringList titles;
    for (const catalogue::FieldInfo* field : catalogue::listed())
        titles.append(QString::fromUtf16(field->csvHeader));
    titles << QString::fromUtf16(catalogue::info(catalogue::Field::LunarBirthday).csvHeader)
           << QString::fromUtf16(catalogue::info(catalogue::Field::Group).csvHeader)
           << QString::fromUtf16(catalogue::info(catalogue::Field::Photo).csvHeader) << QStringLiteral("UID");
    for (const catalogue::FieldInfo& field : catalogue::all()) {
        const QString stem = field.csvHeader ? QString::fromUtf16(field.csvHeader) : QString();
        for (int n = 1; n <= values[field.field]; ++n) {
            switch (shapeOf(field.field)) {
            case ValueShape::Alone:
                titles.append(n == 1 ? stem : QStringLiteral("%1 %2").arg(stem).arg(n));
                break;
            case ValueShape::Labelled:
                titles << QStringLiteral("%1 %2 - Label").arg(stem).arg(n)
                       << QStringLiteral("%1 %2 - Value").arg(stem).arg(n);
                break;
            case ValueShape::Address:
                titles << QStringLiteral("%1 %2 - Label").arg(stem).arg(n);
                for (const char16_t* part : AddressPartTitles)
                    titles << QStringLiteral("%1 %2 - %3").arg(stem).arg(n).arg(QString::fromUtf16(part));
                break;
            }
        }
    }
    return titles;
}

std::vector<size_t> CsvFile::unencodable(const std::vector<CsvContact>& contacts, Encoding encoding) {
    std::vector<size_t> bad;
    if (encoding == Encoding::Utf8WithBom)
        return bad;
    const CsvValueColumns values = CsvValueColumns::of(contacts);
    for (size_t i = 0; i < contacts.size(); ++i) {
        QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
        (void)QByteArray(encoder(rowText(rowCells(contacts[i], values))));
        if (!encoder.isValid() || encoder.hasError())
            bad.push_back(i);
    }
    return bad;
}

QByteArray CsvFile::headBytes(Encoding encoding, const CsvValueColumns& values) {
    const QString text = rowText(header(values));
    if (encoding == Encoding::Utf8WithBom)
        return "\xEF\xBB\xBF" + text.toUtf8();
    QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
    return encoder.isValid() ? QByteArray(encoder(text)) : text.toUtf8();
}

std::optional<QByteArray> CsvFile::rowBytes(const CsvContact& contact, Encoding encoding,
                                            const CsvValueColumns& values) {
    if (encoding == Encoding::Utf8WithBom) {
        QByteArray bytes;
        appendRow(bytes, rowCells(contact, values));
        return bytes;
    }
    const QString text = rowText(rowCells(contact, values));
    QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder(text);
    if (!encoder.isValid() || encoder.hasError())
        return std::nullopt;
    return bytes;
}

QByteArray CsvFile::write(const std::vector<CsvContact>& contacts, Encoding encoding) {
    const CsvValueColumns values = CsvValueColumns::of(contacts);
    QString text = rowText(header(values));
    for (const CsvContact& c : contacts)
        text += rowText(rowCells(c, values));
    if (encoding != Encoding::Utf8WithBom) {
        QStringEncoder encoder(encoderName(encoding));
        if (encoder.isValid())
            return encoder(text);
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

namespace {

// How the file's bytes are text: where the text begins (after a byte-order mark), the width of its
// code units and the decoder's name.
struct TextForm {
    qint64 start = 0;
    int unit = 1;
    bool bigEndian = false;
    QByteArray codec = "UTF-8";
    // Decided as UTF-8 over the window: bytes that are not UTF-8 are replaced and their row says so.
    bool utf8 = true;
};

QStringDecoder decoderFor(const TextForm& form, bool atStart) {
    // A mark at the start of a line other than the file's first is text (U+FEFF), as it was before
    // the file was read in lines.
    const QStringConverter::Flags flags =
        atStart ? QStringConverter::Flag::Default : QStringConverter::Flag::ConvertInitialBom;
    if (form.unit == 2)
        return QStringDecoder(form.bigEndian ? QStringConverter::Utf16BE : QStringConverter::Utf16LE, flags);
    if (form.unit == 4)
        return QStringDecoder(form.bigEndian ? QStringConverter::Utf32BE : QStringConverter::Utf32LE, flags);
    if (form.utf8)
        return QStringDecoder(QStringConverter::Utf8, flags);
    return QStringDecoder(form.codec.constData(), flags);
}

// Looks at the start of the device (and reads at most the window): the byte-order mark, UTF-16/32
// without one, else UTF-8 or what the detector finds. Leaves the device where the text begins.
TextForm textFormOf(QIODevice& device, QString* assumed) {
    TextForm form;
    const qint64 origin = device.pos();
    const QByteArray head = device.peek(4096);
    if (head.startsWith("\xEF\xBB\xBF")) {
        form.start = origin + 3;
    } else if (head.startsWith(QByteArrayView("\xFF\xFE\0\0", 4)) || head.startsWith(QByteArrayView("\0\0\xFE\xFF", 4))) {
        form = {origin + 4, 4, head[0] == 0, "UTF-32", false};
    } else if (head.startsWith("\xFF\xFE") || head.startsWith("\xFE\xFF")) {
        form = {origin + 2, 2, head.startsWith("\xFE\xFF"), "UTF-16", false};
    } else {
        bool bigEndian = false;
        const textdecoding::Unicode wide = textdecoding::wideWithoutMark(head, &bigEndian);
        if (wide == textdecoding::Unicode::Utf16)
            form = {origin, 2, bigEndian, "UTF-16", false};
        else if (wide == textdecoding::Unicode::Utf32)
            form = {origin, 4, bigEndian, "UTF-32", false};
        else
            form.start = origin;
    }
    if (form.unit > 1) {
        *assumed = QString::fromLatin1(form.codec);
        return form;
    }
    // 8-bit text: UTF-8 when the lines of the window that hold 8-bit bytes are UTF-8, or most of them
    // are (a stray byte in a UTF-8 file must not make every name garbage: the rows that hold one say
    // so); else the encoding the detector finds in the first megabyte.
    constexpr qsizetype SampleBytes = 1 << 20;
    if (!device.seek(form.start))
        return form;
    QByteArray sample;
    int utf8Lines = 0, otherLines = 0;
    bool eightBit = false;
    QStringDecoder line(QStringConverter::Utf8);
    auto endLine = [&] {
        if (eightBit)
            ++(line.hasError() ? otherLines : utf8Lines);
        eightBit = false;
        line = QStringDecoder(QStringConverter::Utf8);
    };
    qint64 seen = 0;
    while (seen < csvdetail::windowBytes) {
        const QByteArray piece =
            device.read(std::max<qint64>(1, std::min(csvdetail::readPiece, csvdetail::windowBytes - seen)));
        if (piece.isEmpty()) {
            (void)QString(line("\n")); // a character cut at the end of the file is not UTF-8
            endLine();
            break;
        }
        seen += piece.size();
        if (sample.size() < SampleBytes)
            sample += piece.left(SampleBytes - sample.size());
        qsizetype from = 0;
        for (qsizetype i = 0; i < piece.size(); ++i) {
            const char c = piece[i];
            eightBit = eightBit || static_cast<unsigned char>(c) >= 0x80;
            if (c == '\n' || c == '\r') {
                (void)QString(line(QByteArrayView(piece).sliced(from, i + 1 - from)));
                from = i + 1;
                endLine();
            }
        }
        (void)QString(line(QByteArrayView(piece).sliced(from)));
    }
    if (otherLines > 0 && otherLines >= utf8Lines) {
        form.utf8 = false;
        form.codec = textdecoding::detectEightBit(sample);
        *assumed = QString::fromLatin1(form.codec);
    }
    device.seek(form.start);
    return form;
}

// The file's text in pieces: a piece never holds more than one line break, and one that holds a
// break ends with it (CR, LF or CR LF, in the file's own code units); a longer line comes in pieces of
// csvdetail::readPiece bytes. Only the piece in hand and what is read past it are held.
class TextPieces {
public:
    TextPieces(QIODevice& device, const TextForm& form)
        : device_(device), form_(form), decoder_(decoderFor(form, true)), bufStart_(form.start),
          lineStart_(form.start) {}

    // The next piece, or false at the end (or when the device failed: failed()).
    bool next(QString& text, bool& lineEnded) {
        for (;;) {
            const qsizetype unit = form_.unit;
            const qsizetype found = findBreak();
            if (found >= 0) {
                qsizetype end = found + unit;
                if (isUnit(found, '\r')) {
                    if (end + unit > buf_.size() && !ended_) {
                        fill();
                        continue;
                    }
                    if (end + unit <= buf_.size() && isUnit(end, '\n'))
                        end += unit;
                }
                hand(end, true, text);
                lineEnded = true;
                return true;
            }
            const qsizetype held = buf_.size() - pos_;
            const qsizetype whole = held - held % unit;
            const qsizetype piece = std::max<qsizetype>(unit, csvdetail::readPiece - csvdetail::readPiece % unit);
            if (whole >= piece || (ended_ && held > 0)) {
                hand(ended_ ? buf_.size() : pos_ + std::min(whole, piece), false, text);
                lineEnded = false;
                return true;
            }
            if (ended_)
                return false;
            fill();
        }
    }

    // Where the next piece starts in the file, the line it belongs to, and how many characters of
    // that line came before it.
    qint64 offset() const { return bufStart_ + pos_; }
    qint64 lineStart() const { return lineStart_; }
    qsizetype charsBefore() const { return lineChars_; }

    void seek(qint64 offset) {
        buf_.clear();
        pos_ = 0;
        bufStart_ = lineStart_ = offset;
        lineChars_ = 0;
        ended_ = false;
        decoder_ = decoderFor(form_, offset == form_.start);
        if (!device_.seek(offset)) {
            ended_ = true;
            failed_ = true;
        }
    }

    // Whether bytes that are not UTF-8 were replaced since the last call.
    bool takeUndecodable() { return std::exchange(undecodable_, false); }
    bool failed() const { return failed_; }
    // The largest number of bytes held at once, for the tests.
    qsizetype largestHeld() const { return largestHeld_; }

private:
    bool isUnit(qsizetype at, char c) const {
        const qsizetype unit = form_.unit;
        for (qsizetype k = 0; k < unit; ++k) {
            const char expected = (form_.bigEndian ? k == unit - 1 : k == 0) ? c : '\0';
            if (buf_[at + k] != expected)
                return false;
        }
        return true;
    }

    qsizetype findBreak() const {
        const qsizetype unit = form_.unit;
        if (unit == 1) {
            for (qsizetype i = pos_; i < buf_.size(); ++i) {
                if (buf_[i] == '\n' || buf_[i] == '\r')
                    return i;
            }
            return -1;
        }
        for (qsizetype i = pos_; i + unit <= buf_.size(); i += unit) {
            if (isUnit(i, '\n') || isUnit(i, '\r'))
                return i;
        }
        return -1;
    }

    void fill() {
        if (pos_ > 0) {
            buf_.remove(0, pos_);
            bufStart_ += pos_;
            pos_ = 0;
        }
        const QByteArray more = device_.read(std::max<qint64>(1, csvdetail::readPiece));
        if (more.isEmpty()) {
            ended_ = true;
            failed_ = !device_.atEnd();
            return;
        }
        buf_ += more;
        largestHeld_ = std::max(largestHeld_, buf_.size());
    }

    void hand(qsizetype end, bool endsLine, QString& text) {
        text = decoder_(QByteArrayView(buf_).sliced(pos_, end - pos_));
        pos_ = end;
        lineChars_ += text.size();
        if (endsLine || (ended_ && pos_ == buf_.size())) {
            if (decoder_.hasError() && form_.utf8 && form_.unit == 1)
                undecodable_ = true;
            decoder_ = decoderFor(form_, false);
        }
        if (endsLine) {
            lineStart_ = offset();
            lineChars_ = 0;
        }
    }

    QIODevice& device_;
    TextForm form_;
    QStringDecoder decoder_;
    QByteArray buf_;
    qsizetype pos_ = 0;
    qint64 bufStart_ = 0;   // the file offset of buf_[0]
    qint64 lineStart_ = 0;  // of the line the next piece belongs to
    qsizetype lineChars_ = 0;
    qsizetype largestHeld_ = 0;
    bool ended_ = false, failed_ = false, undecodable_ = false;
};

// RFC 4180 rows from the pieces; line breaks inside quotes belong to the field. A quote that is not
// closed by the end of the file would swallow every row after it: its row is broken, the field ends
// with the quote's line, and the lines after it are rows again. That can happen once in a file at
// most: every quote after that line comes in pairs, so every later quoted field closes.
class Rows {
public:
    Rows(TextPieces& text, QChar separator) : text_(text), separator_(separator) {}

    bool next(QStringList& row, bool& broken, bool& undecodable) {
        // An open quoted field longer than the cap is not held: when it closes after all, the row is
        // read again, whole.
        bool whole = at_ < piece_.size(); // a row that begins inside a piece cannot be read again
        for (;;) {
            const qint64 rowStart = text_.offset();
            row.clear();
            broken = false;
            text_.takeUndecodable();
            switch (parse(row, broken, whole)) {
            case Step::Row:
                undecodable = text_.takeUndecodable();
                return true;
            case Step::End:
                return false;
            case Step::Again:
                seek(rowStart);
                whole = true;
                continue;
            }
        }
    }

    qint64 offset() const { return at_ < piece_.size() ? -1 : text_.offset(); }
    void seek(qint64 offset) {
        piece_.clear();
        at_ = 0;
        text_.seek(offset);
    }

private:
    enum class Step { Row, End, Again };

    bool fetch() {
        if (!text_.next(piece_, lineEnded_)) {
            piece_.clear();
            at_ = 0;
            return false;
        }
        at_ = 0;
        return true;
    }

    Step parse(QStringList& row, bool& broken, bool whole) {
        QString field;
        bool fieldStarted = false, quoted = false, pendingQuote = false, overflow = false;
        qint64 quoteLine = -1; // the line of the open quote, and the characters of it before the field
        qsizetype quoteAt = 0;
        auto keep = [&](QChar c) {
            if (whole || field.size() < csvdetail::openFieldChars)
                field += c;
            else
                overflow = true;
        };
        for (;;) {
            if (at_ >= piece_.size()) {
                lineStartOfPiece_ = text_.lineStart();
                charsBeforePiece_ = text_.charsBefore();
                if (!fetch())
                    break;
                continue; // a piece may decode to nothing (the first bytes of a character)
            }
            if (pendingQuote) {
                // A quote ended the last piece: doubled, or the end of the field.
                pendingQuote = false;
                if (piece_[at_] == u'"') {
                    keep(u'"');
                    ++at_;
                    continue;
                }
                quoted = false;
                if (overflow)
                    return Step::Again;
            }
            const qsizetype size = piece_.size();
            while (at_ < size) {
                const QChar c = piece_[at_++];
                if (quoted) {
                    if (c != u'"') {
                        keep(c);
                    } else if (at_ == size) {
                        pendingQuote = true;
                    } else if (piece_[at_] == u'"') {
                        keep(u'"');
                        ++at_;
                    } else {
                        quoted = false;
                        if (overflow)
                            return Step::Again;
                    }
                } else if (c == u'"' && !fieldStarted) {
                    quoted = true;
                    fieldStarted = true;
                    quoteLine = lineStartOfPiece_;
                    quoteAt = charsBeforePiece_ + at_;
                } else if (c == separator_) {
                    row.append(std::exchange(field, QString()));
                    fieldStarted = false;
                } else if (c == u'\r' || c == u'\n') {
                    if (c == u'\r' && at_ < size && piece_[at_] == u'\n')
                        ++at_;
                    row.append(field);
                    return Step::Row;
                } else {
                    field += c; // a quote in the middle of an unquoted field is taken as it is
                    fieldStarted = true;
                }
            }
        }
        if (pendingQuote) {
            quoted = false;
            if (overflow)
                return Step::Again;
        }
        if (quoted) {
            broken = true;
            row.append(lineFrom(quoteLine, quoteAt));
            return Step::Row;
        }
        if (fieldStarted || !field.isEmpty() || !row.isEmpty()) {
            row.append(field);
            return Step::Row;
        }
        return Step::End;
    }

    // The text of a line from its `skip`-th character to its end; the rows go on after that line. The
    // row is not imported, its text only names it: a line of megabytes is cut.
    static constexpr qsizetype BrokenFieldChars = 1 << 16;
    QString lineFrom(qint64 lineStart, qsizetype skip) {
        seek(lineStart);
        QString text;
        while (fetch()) {
            QStringView piece(piece_);
            if (lineEnded_)
                piece.chop(piece.endsWith(u"\r\n") ? 2 : 1);
            const qsizetype skipped = std::min(skip, piece.size());
            skip -= skipped;
            text += piece.sliced(skipped).left(std::max<qsizetype>(0, BrokenFieldChars - text.size()));
            if (lineEnded_)
                break;
        }
        piece_.clear();
        at_ = 0;
        return text;
    }

    TextPieces& text_;
    QChar separator_;
    QString piece_;
    qsizetype at_ = 0;
    bool lineEnded_ = false;
    qint64 lineStartOfPiece_ = 0;
    qsizetype charsBeforePiece_ = 0;
};

bool isBlankRow(const QStringList& cells) {
    return std::all_of(cells.begin(), cells.end(), [](const QString& cell) { return cell.trimmed().isEmpty(); });
}

// The separator: a comma, unless the first line has none and a tab or a semicolon instead
// (spreadsheets in some locales). Looks at the first megabyte of the first line at most.
QChar separatorOf(TextPieces& text) {
    QString first;
    QString piece;
    bool lineEnded = false;
    while (first.size() < (1 << 20) && text.next(piece, lineEnded)) {
        first += piece;
        if (piece.contains(u'\n'))
            break;
    }
    const QStringView line = QStringView(first).left(first.indexOf(u'\n') < 0 ? first.size() : first.indexOf(u'\n'));
    if (!line.contains(u',')) {
        if (line.contains(u'\t'))
            return u'\t';
        if (line.contains(u';'))
            return u';';
    }
    return u',';
}

} // namespace

struct CsvReader::State {
    QBuffer whole; // a device that cannot seek, read into memory
    QIODevice* device = nullptr;
    TextForm form;
    std::unique_ptr<TextPieces> text;
    std::unique_ptr<Rows> rows;
    QString error, assumedEncoding, layout, deviceError;
    QStringList titles;
    std::vector<std::optional<Column>> columns;
    bool ownQuoted = false;
    qint64 dataStart = -1;
    int rowNumber = 0; // of the next row; the header is row 0
    // The columns of no known meaning that held a value (kept under their titles), in the file's order.
    std::vector<bool> unknownUsed;
    QStringList unknownColumns;

    ImportRecord recordOf(const QStringList& cells, bool broken, bool undecodable) {
        RowCard card;
        card.own = ownQuoted;
        card.birthdayOrder = birthdayOrderOf(layout);
        QHash<QString, QString> typeOf;
        QString photo;
        for (int i = 0; i < cells.size(); ++i) {
            QString value = cells[i];
            if (ownQuoted && value.startsWith(u'\''))
                value.remove(0, 1);
            if (value.isEmpty())
                continue;
            const QString title = i < titles.size() ? titles[i] : QStringLiteral("第 %1 栏").arg(i + 1);
            const bool known = i < int(columns.size()) && columns[i];
            if (!known && !broken) {
                if (size_t(i) >= unknownUsed.size())
                    unknownUsed.resize(i + 1, false);
                if (!unknownUsed[i]) {
                    unknownUsed[i] = true;
                    unknownColumns.append(title);
                }
            }
            card.add(known ? *columns[i] : Column{Kind::Other, {}, {}}, title, value, typeOf);
            if (known && columns[i]->kind == Kind::PhotoPath)
                photo = value;
        }
        ImportBatch read = VCardReader::read(card.text(typeOf).toUtf8());
        ImportRecord record;
        if (!read.records.empty())
            record = std::move(read.records.front());
        else
            record.error = QStringLiteral("这一行无法读取");
        record.number = rowNumber;
        if (broken)
            record.error = QStringLiteral("引号没有闭合，这一行无法读取（其后的行照常读取）");
        if (undecodable)
            record.warnings.append(QStringLiteral("这一行有不是 UTF-8 的字节，已换成 �"));
        record.photoReference = photo;
        return record;
    }
};

CsvReader::CsvReader(QIODevice& device) : d_(std::make_unique<State>()) {
    d_->device = &device;
    if (device.isSequential()) {
        d_->whole.setData(device.readAll());
        d_->whole.open(QIODevice::ReadOnly);
        d_->device = &d_->whole;
    }
    d_->form = textFormOf(*d_->device, &d_->assumedEncoding);
    d_->text = std::make_unique<TextPieces>(*d_->device, d_->form);
    d_->text->seek(d_->form.start);
    const QChar separator = separatorOf(*d_->text);
    d_->text->seek(d_->form.start);
    d_->rows = std::make_unique<Rows>(*d_->text, separator);

    bool broken = false, undecodable = false;
    if (!d_->rows->next(d_->titles, broken, undecodable)) {
        d_->error = QStringLiteral("CSV 文件是空的");
        return;
    }
    int known = 0;
    const QString layout = layoutOf(d_->titles);
    for (const QString& title : std::as_const(d_->titles)) {
        // This program's typed values first, before the meaning other files give 微信 or 单位.
        std::optional<Column> column = layout == u"zinteva" ? ownValueColumn(title) : std::nullopt;
        if (!column) {
            if (const auto found = namedColumns().constFind(headerKey(title)); found != namedColumns().constEnd())
                column = *found;
            else
                column = googleColumn(title);
        }
        known += column ? 1 : 0;
        d_->columns.push_back(column);
    }
    threeBirthdayColumns(d_->columns);
    followingAddresses(d_->columns);
    if (known == 0) {
        d_->error =
            QStringLiteral("CSV 文件的第一行没有可以识别的栏目（如“姓名”、“Name”、“First Name”、“E-mail Address”）");
        return;
    }
    d_->layout = layout;
    // This program's files since they carry a UID: a leading ' was added against formulas.
    d_->ownQuoted = d_->layout == u"zinteva" && d_->titles.contains(QStringLiteral("UID"));
    d_->dataStart = d_->rows->offset();
    d_->rowNumber = 1;
}

CsvReader::~CsvReader() = default;

QString CsvReader::error() const {
    return d_->error;
}

QString CsvReader::assumedEncoding() const {
    return d_->assumedEncoding;
}

QString CsvReader::layout() const {
    return d_->layout;
}

QStringList CsvReader::unknownColumns() const {
    return d_->unknownColumns;
}

QString CsvReader::deviceError() const {
    return d_->deviceError;
}

int CsvReader::countRecords() {
    if (!d_->error.isEmpty() || d_->dataStart < 0)
        return 0;
    int records = 0;
    QStringList cells;
    bool broken = false, undecodable = false;
    while (d_->rows->next(cells, broken, undecodable))
        records += broken || !isBlankRow(cells) ? 1 : 0;
    d_->rows->seek(d_->dataStart);
    return records;
}

bool CsvReader::readRecords(const std::function<void(ImportRecord&&)>& each) {
    if (!d_->error.isEmpty())
        return true;
    QStringList cells;
    bool broken = false, undecodable = false;
    while (d_->rows->next(cells, broken, undecodable)) {
        if (broken || !isBlankRow(cells))
            each(d_->recordOf(cells, broken, undecodable));
        ++d_->rowNumber;
    }
    if (d_->text->failed()) {
        d_->deviceError = d_->device->errorString();
        return false;
    }
    return true;
}

ImportBatch CsvFile::read(const QByteArray& file) {
    ImportBatch batch;
    batch.source = ImportBatch::Source::Csv;
    QBuffer buffer;
    buffer.setData(file);
    buffer.open(QIODevice::ReadOnly);
    CsvReader reader(buffer);
    batch.error = reader.error();
    batch.assumedEncoding = reader.assumedEncoding();
    batch.layout = reader.layout();
    reader.readRecords([&](ImportRecord&& record) { batch.records.push_back(std::move(record)); });
    batch.unknownColumns = reader.unknownColumns();
    return batch;
}

std::vector<QStringList> CsvFile::parse(const QString& text, QChar separator, std::vector<size_t>* broken) {
    QBuffer buffer;
    buffer.setData(text.toUtf8());
    buffer.open(QIODevice::ReadOnly);
    TextPieces pieces(buffer, TextForm{});
    Rows rows(pieces, separator);
    std::vector<QStringList> result;
    QStringList row;
    bool isBroken = false, undecodable = false;
    while (rows.next(row, isBroken, undecodable)) {
        if (isBroken && broken)
            broken->push_back(result.size());
        result.push_back(row);
    }
    return result;
}
