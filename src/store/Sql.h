#pragma once
// Every SQL text of the program. Values a user types are always bound (?), never spliced.
namespace sql {

inline constexpr const char* CreatePhone = R"(create table phone (
    id integer primary key autoincrement,
    friendid text,
    mainid text,
    姓名 text,
    生日 date,
    移动电话 text,
    工作电话 text,
    家庭电话 text,
    传真号码 text,
    地址 text,
    邮政编码 text,
    qq text,
    icq text,
    msn text,
    email text,
    昵称 text,
    备注 text,
    照片 text,
    nowbirthday timestamp))";

inline constexpr const char* CreateGroups = R"(create table 分类 (
    id integer primary key autoincrement,
    分类 text,
    类型 text))";

// Lookups by key must stay fast at 100,000 contacts.
inline constexpr const char* CreateIndexes =
    "create index if not exists phone_friendid on phone(friendid);"
    "create index if not exists phone_mainid on phone(mainid)";

inline constexpr const char* TableExists = "select count(*) from sqlite_master where type='table' and name=?";
inline constexpr const char* ColumnNames = "select name from pragma_table_info(?)";
inline constexpr const char* QuickCheck = "pragma quick_check";

// The groups, in table order (tree building, the record form's group choice).
inline constexpr const char* SelectGroups = "select id, 分类, 类型 from 分类 order by id";
inline constexpr const char* InsertGroup = "insert into 分类 (类型) values (?)";
inline constexpr const char* SetGroupKey = "update 分类 set 分类 = 'main' || id where id = ?";
inline constexpr const char* RenameGroup = "update 分类 set 类型 = ? where 分类 = ?";
inline constexpr const char* DeleteGroup = "delete from 分类 where 分类 = ?";
inline constexpr const char* DeleteGroupContacts = "delete from phone where mainid = ?";

// Every contact, just what the tree needs.
inline constexpr const char* SelectTreeContacts = "select friendid, mainid, 姓名 from phone order by id";

// The list's columns: the key, the name and the thirteen cells.
#define ZINTEVA_LIST_COLUMNS \
    "select friendid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, 传真号码, 地址, 邮政编码, qq, icq, msn, " \
    "email, 昵称, 备注 from phone"
inline constexpr const char* ListAll = ZINTEVA_LIST_COLUMNS " order by id";
inline constexpr const char* ListByGroup = ZINTEVA_LIST_COLUMNS " where mainid = ? order by id";
inline constexpr const char* ListByKey = ZINTEVA_LIST_COLUMNS " where friendid = ?";
inline constexpr const char* ListWherePrefix = ZINTEVA_LIST_COLUMNS " where ";
inline constexpr const char* ListQueryOrder = " order by id";
#undef ZINTEVA_LIST_COLUMNS

inline constexpr const char* LoadContact =
    "select mainid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, 传真号码, 地址, 邮政编码, qq, icq, msn, email, 昵称, "
    "备注, 照片 from phone where friendid = ?";
inline constexpr const char* InsertContact =
    "insert into phone (mainid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, 传真号码, 地址, 邮政编码, qq, icq, msn, "
    "email, 昵称, 备注, 照片) values (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)";
inline constexpr const char* SetContactKey = "update phone set friendid = 'friend' || id where id = ?";
inline constexpr const char* UpdateContact =
    "update phone set mainid = ?, 姓名 = ?, 生日 = ?, 移动电话 = ?, 工作电话 = ?, 家庭电话 = ?, 传真号码 = ?, "
    "地址 = ?, 邮政编码 = ?, qq = ?, icq = ?, msn = ?, email = ?, 昵称 = ?, 备注 = ?, 照片 = ? where friendid = ?";
inline constexpr const char* RenameContact = "update phone set 姓名 = ? where friendid = ?";
inline constexpr const char* DeleteContact = "delete from phone where friendid = ?";

// The next-birthday pass: every row read once, every row written by one prepared statement.
inline constexpr const char* SelectBirthdays = "select id, 生日 from phone";
inline constexpr const char* SetNextBirthday = "update phone set nowbirthday = ? where id = ?";
inline constexpr const char* AddNextBirthdayColumn = "ALTER TABLE phone ADD nowbirthday timestamp";
// The reminder: today and the window's last day are bound, taken from the program's own clock.
inline constexpr const char* ReminderCondition = "nowbirthday between ? and ?";

// Import and export (issue 10). The specified tables stay as they are; what the exchange needs of its
// own lives in zinteva_meta: "uid" is the random part of the UIDs this data file writes into cards.
inline constexpr const char* CreateMeta = "create table if not exists zinteva_meta (key text primary key, value text)";
inline constexpr const char* SelectMeta = "select value from zinteva_meta where key = ?";
inline constexpr const char* InsertMeta = "insert into zinteva_meta (key, value) values (?, ?)";

} // namespace sql
