#pragma once
// Every field a person can have, listed once. Each row says where the field is kept (a column of
// phone, the lunar birthday's table, or a typed value of the program's own), the member of
// ContactFields that holds it, the label the user reads, the vCard property (and TYPE values) it is
// written as, the CSV headers it is read from and written under, and the longest value the field
// takes. The statements, the schema check, the change log, the exchange, the sync and the record
// form read these rows instead of listing the fields again, so a field added here reaches all of
// them.
//
// A length is counted in characters as the user sees them, one way everywhere: Unicode code points
// (an emoji or a rare Han character outside the BMP is one character, not two UTF-16 units).
#include "core/store/ContactFields.h"

#include <QString>
#include <QStringView>
#include <array>
#include <span>
#include <string>

namespace catalogue {

// In the order of phone's columns; the fields kept elsewhere follow them. The order is also the
// order in which the sync compares a card's fields.
enum class Field {
    Group,    // mainid
    Name,     // 姓名
    Birthday, // 生日
    Mobile,
    WorkPhone,
    HomePhone,
    Fax,
    Address,
    Postcode,
    Qq,
    Icq,
    Msn,
    Email,
    Nickname,
    Remarks,
    Photo,
    LunarBirthday, // zinteva_lunar_birthdays
    // Values beyond phone's columns, as phones and servers send them.
    Phone,        // TEL: every number beyond the four columns, with its label
    OtherEmail,   // EMAIL beyond the first
    OtherAddress, // ADR beyond the first
    WeChat,
    Im,           // IMPP and the X- messenger properties other than QQ, ICQ, MSN and WeChat
    Organization, // 单位
    Title,        // 职务
    Role,
    Url,
    Anniversary,
    Related,      // spouse, assistant, manager...
    Gender,
};

enum class Storage {
    Column, // a column of phone
    Lunar,  // the lunar birthday's own table
    Typed,  // a typed value of the program's own table
};

// What a column holds, for the statements that bind and read it.
enum class ColumnKind {
    None,     // not a column
    GroupKey, // mainid: the key of the person's group
    Date,     // 生日: YYYY-MM-DD
    Text,     // a text written as typed, never trimmed
};

struct FieldInfo {
    Field field;
    const char* id; // stable and ASCII: stored with a sync conflict and in the typed values' table
    Storage storage;
    const char* column;    // the column of phone, or nullptr
    const char* sqlType;   // the column's declared type, or nullptr
    ColumnKind kind;
    QString ContactFields::*text; // the member of a text column, or nullptr
    const char16_t* label;        // what the user reads: "移动电话", "单位"
    const char* vcard;            // the vCard property it is written as ("TEL")
    const char* vcardTypes;       // the TYPE values of a 3.0 card ("CELL"), or ""
    // The header this program's CSV writes and reads. A typed field has as many columns as the person
    // with the most values of it needs, numbered from this stem: a value with a label in Google's shape
    // ("Phone 1 - Label", "Phone 1 - Value"; an address in its parts, "Address 1 - Street"), one without
    // as "微信", "微信 2"...
    const char16_t* csvHeader;
    int limit;                    // the longest value in characters (code points); 0: no limit
    bool listed;                  // a cell of the main list (and a box of the search form)
};

namespace rows {
using C = ContactFields;
constexpr auto Column = Storage::Column;
constexpr auto Typed = Storage::Typed;
constexpr auto Text = ColumnKind::Text;
constexpr auto None = ColumnKind::None;

// The lengths are those the record form has always let a user type; a value read from a file that
// is longer keeps its whole text beside the field (the kept properties) and is never cut away.
inline constexpr FieldInfo Rows[] = {
    {Field::Group, "group", Column, "mainid", "text", ColumnKind::GroupKey, nullptr, u"分组", "CATEGORIES", "",
     u"分组", 30, false},
    {Field::Name, "name", Column, "姓名", "text", Text, &C::name, u"姓名", "FN", "", u"姓名", 20, true},
    {Field::Birthday, "birthday", Column, "生日", "date", ColumnKind::Date, nullptr, u"生日", "BDAY", "", u"生日", 10,
     true},
    {Field::Mobile, "mobile", Column, "移动电话", "text", Text, &C::mobile, u"移动电话", "TEL", "CELL", u"移动电话", 30,
     true},
    {Field::WorkPhone, "workphone", Column, "工作电话", "text", Text, &C::workPhone, u"工作电话", "TEL", "WORK,VOICE",
     u"工作电话", 30, true},
    {Field::HomePhone, "homephone", Column, "家庭电话", "text", Text, &C::homePhone, u"家庭电话", "TEL", "HOME,VOICE",
     u"家庭电话", 30, true},
    {Field::Fax, "fax", Column, "传真号码", "text", Text, &C::fax, u"传真号码", "TEL", "FAX", u"传真号码", 30, true},
    {Field::Address, "address", Column, "地址", "text", Text, &C::address, u"地址", "ADR", "", u"地址", 200, true},
    {Field::Postcode, "postcode", Column, "邮政编码", "text", Text, &C::postcode, u"邮政编码", "ADR", "", u"邮政编码",
     20, true},
    {Field::Qq, "qq", Column, "qq", "text", Text, &C::qq, u"QQ号码", "X-QQ", "", u"QQ号码", 20, true},
    {Field::Icq, "icq", Column, "icq", "text", Text, &C::icq, u"ICQ号码", "X-ICQ", "", u"ICQ号码", 20, true},
    {Field::Msn, "msn", Column, "msn", "text", Text, &C::msn, u"MSN", "X-MSN", "", u"MSN", 50, true},
    {Field::Email, "email", Column, "email", "text", Text, &C::email, u"邮件地址", "EMAIL", "INTERNET", u"邮件地址", 50,
     true},
    {Field::Nickname, "nickname", Column, "昵称", "text", Text, &C::nickname, u"昵称", "NICKNAME", "", u"昵称", 30,
     true},
    // The remarks have no limit of their own in the data file.
    {Field::Remarks, "remarks", Column, "备注", "text", Text, &C::remarks, u"备注", "NOTE", "", u"备注", 0, true},
    {Field::Photo, "photo", Column, "照片", "text", Text, &C::photo, u"照片", "PHOTO", "", u"照片", 100, false},
    {Field::LunarBirthday, "lunarbirthday", Storage::Lunar, nullptr, nullptr, None, nullptr, u"农历生日",
     "X-ZINTEVA-LUNAR-BIRTHDAY", "", u"农历生日", 20, false},
    {Field::Phone, "phone", Typed, nullptr, nullptr, None, nullptr, u"电话", "TEL", "", u"Phone", 30, false},
    {Field::OtherEmail, "otheremail", Typed, nullptr, nullptr, None, nullptr, u"邮件地址", "EMAIL", "INTERNET",
     u"E-mail", 0, false},
    {Field::OtherAddress, "otheraddress", Typed, nullptr, nullptr, None, nullptr, u"地址", "ADR", "", u"Address", 0,
     false},
    {Field::WeChat, "wechat", Typed, nullptr, nullptr, None, nullptr, u"微信", "X-WECHAT", "", u"微信", 0, false},
    {Field::Im, "im", Typed, nullptr, nullptr, None, nullptr, u"即时通讯", "IMPP", "", u"即时通讯", 0, false},
    {Field::Organization, "org", Typed, nullptr, nullptr, None, nullptr, u"单位", "ORG", "", u"单位", 0, false},
    {Field::Title, "title", Typed, nullptr, nullptr, None, nullptr, u"职务", "TITLE", "", u"职务", 0, false},
    {Field::Role, "role", Typed, nullptr, nullptr, None, nullptr, u"角色", "ROLE", "", u"角色", 0, false},
    {Field::Url, "url", Typed, nullptr, nullptr, None, nullptr, u"网址", "URL", "", u"Website", 0, false},
    {Field::Anniversary, "anniversary", Typed, nullptr, nullptr, None, nullptr, u"纪念日", "ANNIVERSARY", "", u"纪念日",
     0, false},
    {Field::Related, "related", Typed, nullptr, nullptr, None, nullptr, u"相关的人", "RELATED", "", u"相关的人", 0,
     false},
    {Field::Gender, "gender", Typed, nullptr, nullptr, None, nullptr, u"性别", "GENDER", "", u"性别", 0, false},
};

} // namespace rows

// The table itself.
std::span<const FieldInfo> all();
const FieldInfo& info(Field field);
// The field with this id ("mobile"), or nullptr.
const FieldInfo* byId(QStringView id);
// The field with this column of phone, exactly as the catalogue writes it ("移动电话"), or nullptr.
const FieldInfo* byColumn(QStringView column);

// How many fields the main list shows after the key (姓名 to 备注).
constexpr int listedCount() {
    int n = 0;
    for (const FieldInfo& row : rows::Rows)
        n += row.listed ? 1 : 0;
    return n;
}

// The fields stored in columns of phone, in the table's column order.
std::span<const FieldInfo* const> columns();
// The columns a row of the main list shows after the key, in order (姓名 to 备注).
std::span<const FieldInfo* const> listed();
// The text columns (移动电话 to 照片): written as they are, never trimmed.
std::span<const FieldInfo* const> texts();

// The characters of a text as the limits count them.
qsizetype characters(QStringView text);
// The text cut to at most `limit` characters (never inside a surrogate pair); whole when it fits
// or the limit is 0.
QString cut(const QString& text, int limit);

// SQL made from the rows: `pattern` once per field, every % in it replaced by the field's column
// ("old.% is not new.%") and every # by its declared type, joined by `separator`.
std::string columnList(std::span<const FieldInfo* const> fields, std::string_view separator,
                       std::string_view pattern = "%");

} // namespace catalogue
