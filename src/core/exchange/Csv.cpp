#include "core/exchange/Csv.h"

#include "core/exchange/BirthdayText.h"
#include "core/exchange/TextDecoding.h"
#include "core/exchange/VCardReader.h"
#include "core/exchange/VCardWriter.h"

#include <QHash>
#include <QMap>
#include <QRegularExpression>
#include <QStringEncoder>

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
    Uid,
    PhotoPath,
    Other, // a column of no known meaning: kept under its title
};

struct Column {
    Kind kind;
    QString types;     // TEL, EMAIL, URL, ADR: the vCard types ("CELL", "WORK,FAX")
    QString slot;      // the address, phone, e-mail or website a column belongs to
    int component = 0; // ADR: 0 post box, 1 extended, 3 city, 4 region, 5 postal code, 6 country
};

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
        // This program's own columns, the record form's labels and what many programs write.
        add({u"姓名", u"name", u"名字", u"全名", u"displayname", u"显示名称"}, {Kind::Fn, {}, {}});
        add({u"生日", u"birthday"}, {Kind::Birthday, {}, {}});
        add({u"移动电话", u"手机", u"手机号码", u"mobile", u"mobilephone", u"mobilenumber"},
            {Kind::Tel, "CELL", "cell"});
        add({u"工作电话", u"商务电话", u"businessphone", u"workphone"}, {Kind::Tel, "WORK,VOICE", "work"});
        add({u"家庭电话", u"住宅电话", u"homephone"}, {Kind::Tel, "HOME,VOICE", "home"});
        add({u"传真号码", u"传真", u"fax", u"faxnumber", u"商务传真", u"businessfax"}, {Kind::Tel, "WORK,FAX", "fax"});
        add({u"地址"}, {Kind::AdrStreet, {}, "own"});
        add({u"邮政编码", u"邮编"}, {Kind::Adr, {}, "own", 5});
        add({u"qq号码", u"qq"}, {Kind::Qq, {}, {}});
        add({u"icq号码", u"icq"}, {Kind::Icq, {}, {}});
        add({u"msn"}, {Kind::Msn, {}, {}});
        add({u"邮件地址", u"email", u"e-mail", u"电子邮件", u"e-mailaddress", u"电子邮件地址", u"primaryemail"},
            {Kind::Email, "INTERNET", "e1"});
        add({u"昵称", u"nickname"}, {Kind::Nickname, {}, {}});
        add({u"备注", u"notes", u"note"}, {Kind::Note, {}, {}});
        add({u"分组", u"group", u"分类"}, {Kind::Group, {}, {}});
        add({u"照片", u"photopath"}, {Kind::PhotoPath, {}, {}});
        add({u"uid"}, {Kind::Uid, {}, {}});
        // Names in parts: Google, Outlook (English and Chinese), Thunderbird.
        add({u"givenname", u"firstname", u"名"}, {Kind::Given, {}, {}});
        add({u"familyname", u"lastname", u"姓"}, {Kind::Family, {}, {}});
        add({u"additionalname", u"middlename", u"中间名"}, {Kind::Middle, {}, {}});
        add({u"nameprefix", u"title", u"标题", u"称谓"}, {Kind::Prefix, {}, {}});
        add({u"namesuffix", u"suffix", u"后缀"}, {Kind::Suffix, {}, {}});
        add({u"groupmembership", u"labels"}, {Kind::GoogleLabels, {}, {}});
        add({u"categories", u"类别"}, {Kind::Categories, {}, {}});
        add({u"company", u"organization", u"organizationname", u"公司"}, {Kind::Org, {}, {}});
        add({u"department", u"organizationdepartment", u"部门"}, {Kind::Department, {}, {}});
        add({u"jobtitle", u"organizationtitle", u"职务"}, {Kind::Title, {}, {}});
        add({u"webpage", u"webpage1", u"网页"}, {Kind::Url, {}, "w1"});
        add({u"webpage2"}, {Kind::Url, {}, "w2"});
        add({u"birthyear"}, {Kind::BirthYear, {}, {}});
        add({u"birthmonth"}, {Kind::BirthMonth, {}, {}});
        add({u"birthday"}, {Kind::Birthday, {}, {}});
        // Outlook (English, then Simplified Chinese) and Thunderbird telephones and e-mail addresses.
        add({u"businessphone2", u"商务电话2"}, {Kind::Tel, "WORK,VOICE", "work2"});
        add({u"homephone2", u"住宅电话2"}, {Kind::Tel, "HOME,VOICE", "home2"});
        add({u"homefax", u"住宅传真"}, {Kind::Tel, "HOME,FAX", "homefax"});
        add({u"otherfax", u"其他传真"}, {Kind::Tel, "FAX", "otherfax"});
        add({u"pager", u"pagernumber", u"寻呼机"}, {Kind::Tel, "PAGER", "pager"});
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
        add({u"e-mail2address", u"电子邮件2地址", u"secondaryemail"}, {Kind::Email, "INTERNET", "e2"});
        add({u"e-mail3address", u"电子邮件3地址"}, {Kind::Email, "INTERNET", "e3"});
        // Addresses: Outlook's business, home and other, Thunderbird's work and home.
        const struct {
            const char16_t* english;
            const char16_t* chinese;
            const char16_t* thunderbird;
            const char* types;
        } places[] = {
            {u"business", u"商务地址", u"work", "WORK"},
            {u"home", u"住宅地址", u"home", "HOME"},
            {u"other", u"其他地址", nullptr, "X-OTHER"},
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

// The producer a header row comes from, for the summary.
QString layoutOf(const QStringList& titles) {
    QSet<QString> keys;
    for (const QString& title : titles)
        keys.insert(headerKey(title));
    if (keys.contains(QStringLiteral("姓名")) && keys.contains(QStringLiteral("uid")))
        return QStringLiteral("zinteva");
    if (keys.contains(QStringLiteral("groupmembership")) || keys.contains(QStringLiteral("givenname")))
        return QStringLiteral("Google 通讯录（旧版）");
    if (keys.contains(QStringLiteral("labels")) || keys.contains(QStringLiteral("organizationname")))
        return QStringLiteral("Google 通讯录");
    if (keys.contains(QStringLiteral("primaryemail")) || keys.contains(QStringLiteral("displayname")))
        return QStringLiteral("Thunderbird");
    if (keys.contains(QStringLiteral("电子邮件地址")) || keys.contains(QStringLiteral("中间名")) ||
        keys.contains(QStringLiteral("商务电话")))
        return QStringLiteral("Outlook（中文）");
    if (keys.contains(QStringLiteral("e-mailaddress")) || keys.contains(QStringLiteral("middlename")) ||
        keys.contains(QStringLiteral("businessphone")))
        return QStringLiteral("Outlook");
    if (keys.contains(QStringLiteral("姓名")))
        return QStringLiteral("zinteva");
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

private:
    struct Address {
        QString types;
        QStringList streets;
        QString parts[7];
        QString label;
    };
    QString fn_, given_, family_, middle_, prefix_, suffix_, nickname_, birthday_, year_, month_, day_, uid_, photo_,
        org_, department_;
    QStringList notes_, categories_, titles_, others_;
    QList<std::pair<QString, std::pair<QString, QString>>> phones_, emails_, urls_; // slot, (types, value)
    QMap<int, QString> addressOrder_;
    QHash<QString, Address> addresses_;
    QString qq_, icq_, msn_;
    bool haveFn_ = false;

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
        year_ = value;
        return;
    case Kind::BirthMonth:
        month_ = value;
        return;
    case Kind::BirthDay:
        day_ = value;
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
    case Kind::Uid:
        uid_ = value;
        return;
    case Kind::PhotoPath:
        photo_ = value;
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
    if (!birthday_.isEmpty()) {
        out += textLine(QStringLiteral("BDAY"), birthday_);
    } else if (!month_.isEmpty() && !day_.isEmpty()) {
        // Thunderbird's three columns; a year-less birthday is written as vCard 3.0 does.
        const QString date = QStringLiteral("%1-%2-%3")
                                 .arg(year_.isEmpty() ? QStringLiteral("-") : year_, month_.rightJustified(2, u'0'),
                                      day_.rightJustified(2, u'0'));
        out += QStringLiteral("BDAY:") + esc(date) + QStringLiteral("\r\n");
    }
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
    for (const QString& other : others_)
        out += other + QStringLiteral("\r\n");
    out += QStringLiteral("END:VCARD\r\n");
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

bool isPhoneNumber(const QString& text) {
    return std::all_of(text.begin(), text.end(), [](QChar c) {
        return (c >= u'0' && c <= u'9') || c == u' ' || c == u'+' || c == u'-' || c == u'(' || c == u')';
    });
}

// A spreadsheet runs a cell that starts so as a formula.
QString neutralised(const QString& cell) {
    if (cell.isEmpty() || isPhoneNumber(cell))
        return cell;
    const QChar first = cell.front();
    if (first == u'=' || first == u'+' || first == u'-' || first == u'@' || first == u'\t' || first == u'\r' ||
        first == u'\'')
        return u'\'' + cell;
    return cell;
}

QStringList rowCells(const CsvContact& c) {
    const ContactFields& f = c.fields;
    const QString birthday =
        f.birthday && f.birthday->isValid() ? birthday::format(*f.birthday, birthday::Style::Extended) : QString();
    return {f.name, birthday, f.mobile, f.workPhone, f.homePhone, f.fax,       f.address, f.postcode, f.qq,
            f.icq,  f.msn,    f.email,  f.nickname,  f.remarks,   c.groupName, f.photo,   c.uid};
}

QString rowText(const QStringList& fields) {
    QStringList cells;
    for (const QString& field : fields)
        cells.append(quoted(neutralised(field)));
    return cells.join(u',') + QStringLiteral("\r\n");
}

const char* encoderName(CsvFile::Encoding encoding) {
    return encoding == CsvFile::Encoding::Gbk ? "GBK" : "GB18030";
}

} // namespace

QStringList CsvFile::header() {
    return {QStringLiteral("姓名"),     QStringLiteral("生日"),     QStringLiteral("移动电话"),
            QStringLiteral("工作电话"), QStringLiteral("家庭电话"), QStringLiteral("传真号码"),
            QStringLiteral("地址"),     QStringLiteral("邮政编码"), QStringLiteral("QQ号码"),
            QStringLiteral("ICQ号码"),  QStringLiteral("MSN"),      QStringLiteral("邮件地址"),
            QStringLiteral("昵称"),     QStringLiteral("备注"),     QStringLiteral("分组"),
            QStringLiteral("照片"),     QStringLiteral("UID")};
}

std::vector<size_t> CsvFile::unencodable(const std::vector<CsvContact>& contacts, Encoding encoding) {
    std::vector<size_t> bad;
    if (encoding == Encoding::Utf8WithBom)
        return bad;
    for (size_t i = 0; i < contacts.size(); ++i) {
        QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
        (void)QByteArray(encoder(rowText(rowCells(contacts[i]))));
        if (!encoder.isValid() || encoder.hasError())
            bad.push_back(i);
    }
    return bad;
}

QByteArray CsvFile::headBytes(Encoding encoding) {
    const QString text = rowText(header());
    if (encoding == Encoding::Utf8WithBom)
        return "\xEF\xBB\xBF" + text.toUtf8();
    QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
    return encoder.isValid() ? QByteArray(encoder(text)) : text.toUtf8();
}

std::optional<QByteArray> CsvFile::rowBytes(const CsvContact& contact, Encoding encoding) {
    const QString text = rowText(rowCells(contact));
    if (encoding == Encoding::Utf8WithBom)
        return text.toUtf8();
    QStringEncoder encoder(encoderName(encoding), QStringConverter::Flag::Stateless);
    QByteArray bytes = encoder(text);
    if (!encoder.isValid() || encoder.hasError())
        return std::nullopt;
    return bytes;
}

QByteArray CsvFile::write(const std::vector<CsvContact>& contacts, Encoding encoding) {
    QString text = rowText(header());
    for (const CsvContact& c : contacts)
        text += rowText(rowCells(c));
    if (encoding != Encoding::Utf8WithBom) {
        QStringEncoder encoder(encoderName(encoding));
        if (encoder.isValid())
            return encoder(text);
    }
    return "\xEF\xBB\xBF" + text.toUtf8();
}

std::vector<QStringList> CsvFile::parse(const QString& text, QChar separator, std::vector<size_t>* broken) {
    std::vector<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool fieldStarted = false;
    qsizetype quoteOpened = -1; // where the open quoted field began
    int restarts = 0;
    auto endField = [&] {
        row.append(field);
        field.clear();
        fieldStarted = false;
    };
    auto endRow = [&] {
        endField();
        rows.push_back(row);
        row.clear();
    };
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"') {
                if (i + 1 < text.size() && text[i + 1] == u'"') {
                    field += u'"';
                    ++i;
                } else {
                    quoted = false;
                }
            } else {
                field += c;
            }
            if (quoted && i + 1 == text.size() && restarts < 20) {
                // The quote is never closed: it would swallow every row after it. Its row is broken; the
                // field ends with its line, and the lines after it are rows again.
                ++restarts;
                qsizetype lineEnd = quoteOpened;
                while (lineEnd < text.size() && text[lineEnd] != u'\n' && text[lineEnd] != u'\r')
                    ++lineEnd;
                field = text.mid(quoteOpened, lineEnd - quoteOpened);
                quoted = false;
                if (broken)
                    broken->push_back(rows.size());
                endRow();
                if (lineEnd < text.size() && text[lineEnd] == u'\r' && lineEnd + 1 < text.size() &&
                    text[lineEnd + 1] == u'\n')
                    ++lineEnd;
                i = lineEnd; // the loop's ++i steps past the line end
            }
            continue;
        }
        if (c == u'"' && !fieldStarted) {
            quoted = true;
            fieldStarted = true;
            quoteOpened = i + 1;
            if (i + 1 == text.size()) {
                if (broken)
                    broken->push_back(rows.size());
                quoted = false;
            }
        } else if (c == separator) {
            endField();
        } else if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')
                ++i;
            endRow();
        } else {
            field += c; // a quote in the middle of an unquoted field is taken as it is
            fieldStarted = true;
        }
    }
    if (fieldStarted || !field.isEmpty() || !row.isEmpty())
        endRow();
    return rows;
}

ImportBatch CsvFile::read(const QByteArray& file) {
    ImportBatch batch;
    batch.source = ImportBatch::Source::Csv;
    textdecoding::Unicode mark = textdecoding::Unicode::None;
    const QByteArray bytes = textdecoding::withoutBom(file, &mark);
    QByteArray fallback;
    if (mark == textdecoding::Unicode::Utf16 || mark == textdecoding::Unicode::Utf32) {
        batch.assumedEncoding =
            mark == textdecoding::Unicode::Utf16 ? QStringLiteral("UTF-16") : QStringLiteral("UTF-32");
    } else if (!textdecoding::isValidUtf8(bytes)) {
        fallback = textdecoding::detectEightBit(bytes);
        batch.assumedEncoding = QString::fromLatin1(fallback);
    }
    const QString text = textdecoding::decode(bytes, {}, fallback).value_or(QString());

    // The separator: a comma, unless the header has none and a semicolon or a tab instead (spreadsheets
    // in some locales).
    const QStringView firstLine = QStringView(text).left(text.indexOf(u'\n') < 0 ? text.size() : text.indexOf(u'\n'));
    QChar separator = u',';
    if (!firstLine.contains(u',')) {
        if (firstLine.contains(u'\t'))
            separator = u'\t';
        else if (firstLine.contains(u';'))
            separator = u';';
    }
    std::vector<size_t> broken;
    const std::vector<QStringList> rows = parse(text, separator, &broken);
    if (rows.empty()) {
        batch.error = QStringLiteral("CSV 文件是空的");
        return batch;
    }
    const QStringList& titles = rows.front();
    std::vector<std::optional<Column>> columns;
    int known = 0;
    for (const QString& title : titles) {
        std::optional<Column> column;
        if (const auto found = namedColumns().constFind(headerKey(title)); found != namedColumns().constEnd())
            column = *found;
        else
            column = googleColumn(title);
        known += column ? 1 : 0;
        columns.push_back(column);
    }
    if (known == 0) {
        batch.error =
            QStringLiteral("CSV 文件的第一行没有可以识别的栏目（如“姓名”、“Name”、“First Name”、“E-mail Address”）");
        return batch;
    }
    batch.layout = layoutOf(titles);
    // This program's files since they carry a UID: a leading ' was added against formulas.
    const bool ownQuoted = batch.layout == u"zinteva" && titles.contains(QStringLiteral("UID"));

    QString cards;
    std::vector<int> rowNumbers;
    std::vector<bool> brokenRows;
    QStringList photos;
    for (size_t r = 1; r < rows.size(); ++r) {
        const QStringList& cells = rows[r];
        const bool isBroken = std::find(broken.begin(), broken.end(), r) != broken.end();
        if (!isBroken &&
            std::all_of(cells.begin(), cells.end(), [](const QString& cell) { return cell.trimmed().isEmpty(); }))
            continue;
        RowCard card;
        card.own = ownQuoted;
        QHash<QString, QString> typeOf;
        QString photo;
        for (int i = 0; i < cells.size(); ++i) {
            QString value = cells[i];
            if (ownQuoted && value.startsWith(u'\''))
                value.remove(0, 1);
            if (value.isEmpty())
                continue;
            const QString title = i < titles.size() ? titles[i] : QStringLiteral("第 %1 栏").arg(i + 1);
            if (i < int(columns.size()) && columns[i])
                card.add(*columns[i], title, value, typeOf);
            else
                card.add({Kind::Other, {}, {}}, title, value, typeOf);
            if (i < int(columns.size()) && columns[i] && columns[i]->kind == Kind::PhotoPath)
                photo = value;
        }
        cards += card.text(typeOf);
        rowNumbers.push_back(static_cast<int>(r));
        brokenRows.push_back(isBroken);
        photos.append(photo);
    }
    ImportBatch read = VCardReader::read(cards.toUtf8());
    for (size_t i = 0; i < read.records.size() && i < rowNumbers.size(); ++i) {
        ImportRecord& record = read.records[i];
        record.number = rowNumbers[i];
        if (brokenRows[i])
            record.error = QStringLiteral("引号没有闭合，这一行无法读取（其后的行照常读取）");
        record.photoReference = photos[static_cast<qsizetype>(i)];
    }
    batch.records = std::move(read.records);
    return batch;
}
