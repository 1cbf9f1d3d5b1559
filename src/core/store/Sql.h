#pragma once
// Every SQL text of the program but those that make or change the schema (store/SchemaSql.h). Values
// a user types are always bound (?), never spliced.
#include "core/store/FieldCatalogue.h"

#include <string>
#include <string_view>

namespace sql {

// The person's columns are those of the field catalogue (store/FieldCatalogue.h); the statements
// that name them all are made from it once, when the program starts.
namespace made {
inline std::string columns(std::string_view pattern = "%", std::string_view separator = ", ") {
    return catalogue::columnList(catalogue::columns(), separator, pattern);
}
inline std::string listed() {
    return catalogue::columnList(catalogue::listed(), ", ");
}
inline std::string marks(size_t n) {
    std::string out;
    for (size_t i = 0; i < n; ++i)
        out += i ? ", ?" : "?";
    return out;
}
} // namespace made

// The rollback journal keeps the data file alone the whole database between transactions, and
// every commit is synced before it is reported done.
inline constexpr const char* JournalModeDelete = "pragma journal_mode=DELETE";
inline constexpr const char* SynchronousFull = "pragma synchronous=FULL";
// A write of more than one row (store/Transaction.h): a savepoint, so that it nests.
inline constexpr const char* BeginWrite = "savepoint zinteva_write";
inline constexpr const char* EndWrite = "release zinteva_write";
inline constexpr const char* ContactCount = "select count(*) from phone";
inline constexpr const char* TableExists = "select count(*) from sqlite_master where type='table' and name=?";
inline constexpr const char* ColumnNames = "select name from pragma_table_info(?)";
inline constexpr const char* QuickCheck = "pragma quick_check";

// The groups, in table order (tree building, the record form's group choice).
inline constexpr const char* SelectGroups = "select id, 分类, 类型 from 分类 order by id";
inline constexpr const char* InsertGroup = "insert into 分类 (类型) values (?)";
inline constexpr const char* SetGroupKey = "update 分类 set 分类 = 'main' || id where id = ?";
inline constexpr const char* RenameGroup = "update 分类 set 类型 = ? where 分类 = ?";
inline constexpr const char* DeleteGroup = "delete from 分类 where 分类 = ?";
inline constexpr const char* GroupExists = "select 1 from 分类 where 分类 = ?";
inline constexpr const char* DeleteGroupContacts = "delete from phone where mainid = ?";

// Every contact, just what the tree needs.
inline constexpr const char* SelectTreeContacts = "select friendid, mainid, 姓名 from phone order by id";

// The list's columns: the key, then the listed fields (姓名 to 备注).
inline const std::string ListColumnsText = "select friendid, " + made::listed() + " from phone";
// Everybody, with each person's group after the list's columns: the same read builds the group tree.
inline const std::string ListAllText = "select friendid, " + made::listed() + ", mainid from phone order by id";
inline const char* const ListAll = ListAllText.c_str();
inline const std::string ListByGroupText = ListColumnsText + " where mainid = ? order by id";
inline const char* const ListByGroup = ListByGroupText.c_str();
inline const std::string ListByKeyText = ListColumnsText + " where friendid = ?";
inline const char* const ListByKey = ListByKeyText.c_str();
inline const std::string ListWherePrefixText = ListColumnsText + " where ";
inline const char* const ListWherePrefix = ListWherePrefixText.c_str();
inline constexpr const char* ListQueryOrder = " order by id";
inline constexpr const char* OrderBy = " order by ";

// One person's every column, in the catalogue's order.
inline const std::string LoadContactText = "select " + made::columns() + " from phone where friendid = ?";
inline const char* const LoadContact = LoadContactText.c_str();
// Every contact with every field, or those of one group, in table order: one statement for a whole
// export. The key comes first.
inline const std::string EachContactText =
    "select friendid, " + made::columns() + " from phone where friendid is not null order by id";
inline const char* const EachContact = EachContactText.c_str();
inline const std::string EachContactOfGroupText =
    "select friendid, " + made::columns() + " from phone where friendid is not null and mainid = ? order by id";
inline const char* const EachContactOfGroup = EachContactOfGroupText.c_str();
inline const std::string InsertContactText = "insert into phone (" + made::columns() + ") values (" +
                                             made::marks(catalogue::columns().size()) + ")";
inline const char* const InsertContact = InsertContactText.c_str();
inline constexpr const char* SetContactKey = "update phone set friendid = 'friend' || id where id = ?";
inline const std::string UpdateContactText =
    "update phone set " + made::columns("% = ?") + " where friendid = ?";
inline const char* const UpdateContact = UpdateContactText.c_str();
inline constexpr const char* ContactsNamed =
    "select friendid, 移动电话, 工作电话, 家庭电话, email from phone where 姓名 = ? order by id";
inline constexpr const char* RenameContact = "update phone set 姓名 = ? where friendid = ?";
inline constexpr const char* ContactExists = "select 1 from phone where friendid = ?";
inline constexpr const char* DeleteContact = "delete from phone where friendid = ?";
// A person into another group; a person already in it is left untouched (no change to undo or sync).
inline constexpr const char* MoveContact = "update phone set mainid = ? where friendid = ? and mainid is not ?";

// The search: one condition per filled box, the boxes are the listed fields in their order
// (catalogue::listed()). The typed text is bound as a LIKE pattern whose own %, _ and \ are escaped
// with \.
inline constexpr const char* SearchContains = " like ? escape '\\'";
// SQLite refuses LIKE patterns over 50,000 bytes and stops reading one at a NUL character; such a
// text is looked for as a plain substring, folding ASCII case as LIKE does. %1 is the column.
inline constexpr const char* SearchContainsLong = "instr(lower(%1), lower(?)) > 0";
inline constexpr const char* SearchAnd = " and ";
inline constexpr const char* SearchOr = " or ";
// A number's digits alone: the blanks, "-", brackets, "+" and dots people write numbers with left
// out, so that 13800138000 finds 138-0013-8000 and +86 138 0013 8000. %1 is the column.
inline constexpr const char* NumberDigits =
    "replace(replace(replace(replace(replace(replace(%1, ' ', ''), '-', ''), '(', ''), ')', ''), '+', ''), '.', '')";
// People with a typed value of a field (bound: the field's id) for which %1 holds, %1 reading the
// column value. Read once for the whole search, not once per person.
inline constexpr const char* SearchTypedValues =
    "friendid in (select friendid from zinteva_values where field = ? and (%1))";
// A whole date typed into the birthday box is looked for as a date (1985/12/8 finds 1985-12-08);
// a month and day alone (5月17日) finds that day in every year. The stored form is YYYY-MM-DD,
// possibly followed by a time from older files.
inline constexpr const char* SearchBirthdayIs = "substr(生日, 1, 10) = ?";
inline constexpr const char* SearchBirthdayMonthDay = "substr(生日, 6, 5) = ?";

// The next-birthday pass: every row read once; a row is written, by one prepared statement, only
// when its value changes, so that a second pass on the same day writes nothing.
inline constexpr const char* SelectBirthdays = "select id, 生日, nowbirthday from phone order by id";
inline constexpr const char* SetNextBirthday = "update phone set nowbirthday = ? where id = ?";
// The reminder: today and the window's last day are bound, taken from the program's own clock.
inline constexpr const char* ReminderCondition = "nowbirthday between ? and ?";
// The soonest birthday first; one day's people in table order.
inline constexpr const char* ReminderOrder = "nowbirthday, id";

// ---------------------------------------------------------------------------------------------
// Pinyin keys (store/PinyinKeys.cpp, store/NameSearch.cpp). One row per contact, keyed by its
// contact key, written in the same transaction as the contact. `name` is the name the keys were
// made from, so a contact whose name changed without its keys (an older build, a foreign tool)
// is found and filled again. A data file opened read-only gets the table in temp (store/Schema.cpp).
// Only for a contact that exists, so that a key written for a missing contact leaves no row.
inline constexpr const char* WritePinyin =
    "insert or replace into pinyin (friendid, name, full, initials, variants, sortkey) "
    "select ?1, ?2, ?3, ?4, ?5, ?6 where exists (select 1 from phone where friendid = ?1)";
// The same, only while the contact still carries the name the keys were made from: keys made away
// from the window thread must not overwrite those of a rename saved meanwhile.
inline constexpr const char* WritePinyinIfName =
    "insert or replace into pinyin (friendid, name, full, initials, variants, sortkey) "
    "select ?1, ?2, ?3, ?4, ?5, ?6 where exists (select 1 from phone where friendid = ?1 and coalesce(姓名, '') = ?2)";
inline constexpr const char* DeletePinyin = "delete from pinyin where friendid = ?";
// Before statement DeleteGroupContacts, while the group's people can still be found.
inline constexpr const char* DeleteGroupPinyin =
    "delete from pinyin where friendid in (select friendid from phone where mainid = ?)";
// The contacts whose keys are missing or were made from another name.
inline constexpr const char* SelectStalePinyin =
    "select p.friendid, coalesce(p.姓名, '') from phone p left join pinyin k on k.friendid = p.friendid "
    "where p.friendid is not null and (k.friendid is null or k.name is not coalesce(p.姓名, '')) order by p.id";
// The same a few at a time, in table order after the last one seen, so that no read holds the
// file for long while the window works on it. Binds: the last id seen, how many.
inline constexpr const char* SelectStalePinyinAfter =
    "select p.id, p.friendid, coalesce(p.姓名, '') from phone p left join pinyin k on k.friendid = p.friendid "
    "where p.id > ? and p.friendid is not null and (k.friendid is null or k.name is not coalesce(p.姓名, '')) "
    "order by p.id limit ?";
inline constexpr const char* DeleteOrphanPinyin =
    "delete from pinyin where friendid not in (select friendid from phone where friendid is not null)";
inline constexpr const char* SelectPinyinSortKeys = "select friendid, sortkey from pinyin";
// The filter line under the list reads every contact's pinyin once per fill.
inline constexpr const char* SelectPinyinFilterKeys = "select friendid, full, initials, variants from pinyin";
inline constexpr const char* SelectPinyin =
    "select name, full, initials, variants, sortkey from pinyin where friendid = ?";
// The name box of the search form: the condition on 姓名, or the pinyin initials
// start with the typed letters (or one of a polyphonic name's other initials does), or the full
// pinyin contains them. Binds: the name pattern ("%" + text + "%", escaped), letters + "%",
// "% " + letters + "%" (variants are blank-separated), "%" + letters + "%".
inline constexpr const char* NameOrPinyinCondition =
    R"((姓名 like ? escape '\' or friendid in (select friendid from pinyin where initials like ? )"
    R"(or (' ' || variants) like ? or full like ?)))";

// Import and export. The two tables of the directory stay as they are; what the exchange needs of its
// own lives in zinteva_meta: "uid" is the random part of the UIDs this data file writes into cards.
inline constexpr const char* SelectMeta = "select value from zinteva_meta where key = ?";
inline constexpr const char* InsertMeta = "insert into zinteva_meta (key, value) values (?, ?)";
inline constexpr const char* ReplaceMeta = "insert or replace into zinteva_meta (key, value) values (?, ?)";
// "pinyinchecked": the data file's change counter at which every contact's pinyin keys were last
// known to be current. Another connection's commits are seen through data_version.
inline constexpr const char* PinyinCheckedKey = "pinyinchecked";
inline constexpr const char* DataVersion = "pragma data_version";

// ---------------------------------------------------------------------------------------------
// Lunar birthdays (store/LunarBirthdays.cpp). A row marks the contact's birthday as kept by the
// lunar calendar: year (the Gregorian year in which the lunar year of birth began; 0 when not
// known), month 1-12, day 1-30, leap 1 for a leap month. 生日 keeps the Gregorian day of that
// lunar date, so that the list and the search go on working. The row goes with its contact, by
// whatever program deletes the contact.
inline constexpr const char* SelectLunarBirthday =
    "select year, month, day, leap from zinteva_lunar_birthdays where friendid = ?";
// Written in two steps so that a row only changes (and the change log only hears of it) when its
// values do: rewriting a contact with the same lunar birthday is no change to sync.
inline constexpr const char* UpdateLunarBirthday =
    "update zinteva_lunar_birthdays set year = ?2, month = ?3, day = ?4, leap = ?5 where friendid = ?1 and "
    "(year is not ?2 or month is not ?3 or day is not ?4 or leap is not ?5)";
inline constexpr const char* InsertLunarBirthday =
    "insert into zinteva_lunar_birthdays (friendid, year, month, day, leap) select ?1, ?2, ?3, ?4, ?5 "
    "where not exists (select 1 from zinteva_lunar_birthdays where friendid = ?1)";
inline constexpr const char* DeleteLunarBirthday = "delete from zinteva_lunar_birthdays where friendid = ?";
// The lunar birthdays by row id, read beside the next-birthday pass's narrow SelectBirthdays (few
// contacts have one, and the pass keeps reading its index instead of every whole row).
inline constexpr const char* SelectLunarBirthdaysById =
    "select p.id, l.year, l.month, l.day, l.leap from zinteva_lunar_birthdays l join phone p on p.friendid = l.friendid";
// A deleted person's lunar birthday, kept in their row of zinteva_deleted (the pair is added to the
// row's json_object by the trigger that keeps them) and written back when they are restored.
#define ZINTEVA_KEPT_LUNAR_NAME "zinteva:lunar"
inline constexpr const char* KeptLunarBirthdayName = ZINTEVA_KEPT_LUNAR_NAME;
inline constexpr const char* KeepLunarBirthdayPair =
    "'" ZINTEVA_KEPT_LUNAR_NAME "', (select json_array(year, month, day, leap) from main.zinteva_lunar_birthdays "
    "where friendid = old.friendid)";
#undef ZINTEVA_KEPT_LUNAR_NAME
// The lunar birthdays a list fill shows in the birthday column.
inline constexpr const char* SelectLunarBirthdays = "select friendid, year, month, day, leap from zinteva_lunar_birthdays";
// Every contact's birthday in both calendars, with its key and name: the reminder on the command line.
inline constexpr const char* SelectAllBirthdays =
    "select p.friendid, p.姓名, p.生日, l.year, l.month, l.day, l.leap from phone p "
    "left join zinteva_lunar_birthdays l on l.friendid = p.friendid where p.friendid is not null order by p.id";
inline constexpr const char* BeginImmediate = "begin immediate";
inline constexpr const char* Commit = "commit";
inline constexpr const char* Rollback = "rollback";

// Each contact's own UID, made at random when the contact is made and carried by every card written
// of it, so that a card finds its person again and no other (a copied or restored data file hands out
// the same ids again). Contacts from before the table keep the UID their cards were written with.
inline constexpr const char* SelectUidOfContact = "select uid from zinteva_uid where friendid = ?";
inline constexpr const char* SelectContactOfUid =
    "select u.friendid from zinteva_uid u join phone p on p.friendid = u.friendid where u.uid = ?";
inline constexpr const char* InsertContactUid = "insert or replace into zinteva_uid (friendid, uid) values (?, ?)";
inline constexpr const char* DeleteContactUid = "delete from zinteva_uid where friendid = ?";
inline constexpr const char* DeleteGroupUids =
    "delete from zinteva_uid where friendid in (select friendid from phone where mainid = ?)";
// The contacts of a data file when the table is first made: their cards may already be out there.
inline constexpr const char* SelectAllContactKeys = "select friendid from phone where friendid is not null";
// Photos in the photos folder that some contact still names (the rest are left-overs of imports that
// did not finish).
inline constexpr const char* SelectPhotoPaths = "select distinct 照片 from phone where 照片 is not null and 照片 <> ''";
// Typed values (store/TypedValues.cpp).
inline constexpr const char* SelectTypedValues =
    "select field, label, value, line from zinteva_values where friendid = ? order by position, id";
inline constexpr const char* DeleteTypedValues = "delete from zinteva_values where friendid = ?";
inline constexpr const char* InsertTypedValue =
    "insert into zinteva_values (friendid, field, label, value, line, position) values (?, ?, ?, ?, ?, ?)";
inline constexpr const char* SelectAllTypedValues =
    "select friendid, field, label, value, line from zinteva_values order by friendid, position, id";
inline constexpr const char* CountTypedValues = "select count(*) from zinteva_values";
inline constexpr const char* MostTypedValuesPerPerson =
    "select field, max(n) from (select field, count(*) as n from zinteva_values group by friendid, field) "
    "group by field";
// What the filter line finds people by beyond the columns: numbers, e-mail addresses, 微信, 单位,
// 职务 and messenger IDs, every person's in one read.
inline constexpr const char* SelectFilterTypedValues =
    "select friendid, field, value from zinteva_values "
    "where field in ('phone', 'otheremail', 'wechat', 'org', 'title', 'im') and value <> ''";
// What imported cards held beyond the columns (store/KeptProperties.h): one row per property, in
// the card's order. The trigger removes a contact's rows with the contact, whichever statement
// deletes it (one contact, a whole group).
inline constexpr const char* SelectKept = "select field, value, line from zinteva_kept where friendid = ? order by id";
inline constexpr const char* DeleteKept = "delete from zinteva_kept where friendid = ?";
inline constexpr const char* InsertKept = "insert into zinteva_kept (friendid, field, value, line) values (?, ?, ?, ?)";
inline constexpr const char* SelectKeptUid =
    "select k.friendid from zinteva_kept k join phone p on p.friendid = k.friendid "
    "where k.field = 'UID' and k.value = ? order by p.id";
inline constexpr const char* CountKept = "select count(*) from zinteva_kept";

} // namespace sql
