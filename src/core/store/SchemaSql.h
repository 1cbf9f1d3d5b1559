#pragma once
// Every statement that makes or changes a table, an index or a trigger of the data file. Only the
// schema owner (store/Schema.cpp) runs them: the steps that bring a file from one version to the
// next, a new file, and the next-birthday column. The texts of a step never change once it is
// released; a later change is a new step.
namespace schemasql {

inline constexpr const char* UserVersion = "pragma user_version";
inline constexpr const char* SetUserVersion = "pragma user_version = %1";
// Every object of the file, read once when it is opened.
inline constexpr const char* SchemaRows = "select type, name, tbl_name, sql from main.sqlite_master";
inline constexpr const char* TableExists = "select count(*) from main.sqlite_master where type = 'table' and name = ?";
inline constexpr const char* ColumnNames = "select lower(name) from pragma_table_info(?, 'main')";

// The two tables of the directory, as a new data file gets them.
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

// The upgrade of a file made before the next-birthday column, run by the next-birthday pass when the
// column is missing; the reminder then reads the column by an index, and the pass a narrow one.
inline constexpr const char* AddNextBirthdayColumn = "ALTER TABLE phone ADD nowbirthday timestamp";
inline constexpr const char* CreateNextBirthdayIndexes =
    "create index phone_nowbirthday on phone(nowbirthday);"
    "create index phone_birthdays on phone(id, 生日, nowbirthday)";
inline constexpr const char* NextBirthdayColumn = "nowbirthday";

// A file opened read-only cannot be given the program's tables: the pinyin keys and the lunar
// birthdays the reads expect are made in temp, for this connection alone, where the same
// unqualified statements find them.
inline constexpr const char* CreateTempPinyin =
    "create temp table pinyin (friendid text primary key, name text, full text, initials text, variants text, "
    "sortkey text)";
inline constexpr const char* CreateTempLunarBirthdays =
    "create temp table zinteva_lunar_birthdays (friendid text primary key, year integer not null default 0, "
    "month integer not null, day integer not null, leap integer not null default 0)";

// ---------------------------------------------------------------------------------------------
// Step 1: the program's own tables, as every earlier build made them (none of them set a version).
// An earlier file holds any part of them: a table that is there keeps its rows; the recently deleted
// people's table gains the columns added after its first release (Step1DeletedColumns).
//
// pinyin: each contact's pinyin keys, made from `name`. zinteva_meta: the program's values ("uid", the
// random part older builds wrote into UIDs; "pinyinchecked"). zinteva_uid: each contact's own UID.
// zinteva_lunar_birthdays: year (0 when not known), month, day, leap of a birthday kept by the lunar
// calendar. zinteva_kept: what imported cards held beyond the columns, one row per property.
// zinteva_deleted: the people deleted in the last 30 days, with the row they had. zinteva_sync_*: the
// change log (a row per contact changed since the last sync, `seq` growing with every mark), the
// server's cards (an etag of Null: not yet confirmed), the server's URL and sync-token, and the local
// values the server's won over.
inline constexpr const char* Step1Tables =
    "create table if not exists pinyin (friendid text primary key, name text, full text, initials text, "
    "variants text, sortkey text);"
    "create table if not exists zinteva_meta (key text primary key, value text);"
    "create table if not exists zinteva_lunar_birthdays (friendid text primary key, year integer not null default 0, "
    "month integer not null, day integer not null, leap integer not null default 0);"
    "create table if not exists zinteva_kept (id integer primary key autoincrement, friendid text not null, "
    "field text not null default '', value text not null default '', line text not null);"
    "create table if not exists zinteva_deleted (id integer primary key autoincrement, friendid text not null, "
    "name text, mainid text, groupname text, deleted text not null, row text not null, uid text, kept text);"
    "create table if not exists zinteva_sync_change (friendid text primary key, deleted integer not null, "
    "seq integer not null);"
    "create table if not exists zinteva_sync_seq (id integer primary key check (id = 1), n integer not null);"
    "insert or ignore into zinteva_sync_seq (id, n) values (1, 0);"
    "create table if not exists zinteva_sync_card (friendid text primary key, href text not null unique, "
    "etag text, uid text, card text);"
    "create table if not exists zinteva_sync_state (key text primary key, value text);"
    "create table if not exists zinteva_sync_conflict (id integer primary key autoincrement, friendid text, "
    "name text, field text, local text, server text, at text)";
// Made apart: when it is new, every contact already there is given the UID its cards were written
// with (store/ContactUidTable.h).
inline constexpr const char* Step1UidTable =
    "create table zinteva_uid (friendid text primary key, uid text not null unique)";
inline constexpr const char* Step1UidTableName = "zinteva_uid";
inline constexpr const char* Step1DeletedTable = "zinteva_deleted";
inline constexpr const char* Step1DeletedColumns[][2] = {{"uid", "alter table zinteva_deleted add uid text"},
                                                        {"kept", "alter table zinteva_deleted add kept text"}};

// Lookups by key must stay fast at 100,000 contacts. phone_tree holds, in table order, all the tree
// reads after every change, so the rebuild reads a narrow index instead of every whole row; an import
// looks people up by name; the kept properties by contact and by UID; the server's cards by UID.
inline constexpr const char* Step1Indexes =
    "create index if not exists phone_friendid on phone(friendid);"
    "create index if not exists phone_mainid on phone(mainid);"
    "create index if not exists phone_tree on phone(id, mainid, friendid, 姓名);"
    "create index if not exists phone_name on phone(姓名);"
    "create index if not exists zinteva_kept_contact on zinteva_kept(friendid);"
    "create index if not exists zinteva_kept_uid on zinteva_kept(value) where field = 'UID';"
    "create index if not exists zinteva_sync_card_uid on zinteva_sync_card(uid)";

// The triggers. A contact's lunar birthday and kept properties go with the contact, whatever program
// deletes it. The change log for the address-book sync: a change made anywhere (the window, the
// command line, an import, a group rename) is written into zinteva_sync_change in the same
// transaction as the change itself. Triggers of these names from an earlier build (other texts) were
// dropped before the step runs.
#define ZINTEVA_SYNC_MARK(KEY, DELETED)                                                                                \
    "update zinteva_sync_seq set n = n + 1 where id = 1; "                                                             \
    "insert or replace into zinteva_sync_change (friendid, deleted, seq) values (" KEY ", " DELETED                    \
    ", (select n from zinteva_sync_seq where id = 1)); "
inline constexpr const char* Step1Triggers =
    "create trigger if not exists zinteva_lunar_birthdays_delete after delete on phone begin "
    "delete from zinteva_lunar_birthdays where friendid = old.friendid; end;"
    "create trigger if not exists zinteva_kept_delete after delete on phone begin "
    "delete from zinteva_kept where friendid = old.friendid; end;"
    "create trigger if not exists zinteva_phone_added after insert on phone when new.friendid is not null begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_phone_changed after update of friendid, mainid, 姓名, 生日, 移动电话, "
    "工作电话, 家庭电话, 传真号码, 地址, 邮政编码, qq, icq, msn, email, 昵称, 备注, 照片 on phone "
    "when new.friendid is not null and (old.friendid is not new.friendid or old.mainid is not new.mainid or "
    "old.姓名 is not new.姓名 or old.生日 is not new.生日 or old.移动电话 is not new.移动电话 or "
    "old.工作电话 is not new.工作电话 or old.家庭电话 is not new.家庭电话 or old.传真号码 is not new.传真号码 or "
    "old.地址 is not new.地址 or old.邮政编码 is not new.邮政编码 or old.qq is not new.qq or old.icq is not new.icq "
    "or old.msn is not new.msn or old.email is not new.email or old.昵称 is not new.昵称 or "
    "old.备注 is not new.备注 or old.照片 is not new.照片) begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_phone_rekeyed after update of friendid on phone "
    "when old.friendid is not null and old.friendid is not new.friendid begin "
    ZINTEVA_SYNC_MARK("old.friendid", "1") "end;"
    "create trigger if not exists zinteva_phone_deleted after delete on phone when old.friendid is not null begin "
    ZINTEVA_SYNC_MARK("old.friendid", "1") "end;"
    // A renamed group changes the CATEGORIES of every card of its people.
    "create trigger if not exists zinteva_group_renamed after update of 类型 on 分类 "
    "when old.类型 is not new.类型 begin "
    "update zinteva_sync_seq set n = n + 1 where id = 1; "
    "insert or replace into zinteva_sync_change (friendid, deleted, seq) select friendid, 0, "
    "(select n from zinteva_sync_seq where id = 1) from phone where mainid = new.分类 and friendid is not null; "
    "end;"
    // The lunar mark is part of the card's birthday: written, changed or removed on its own it is a
    // change too. A row that goes with its contact (or has none) marks nothing.
    "create trigger if not exists zinteva_lunar_added after insert on zinteva_lunar_birthdays "
    "when exists (select 1 from phone where friendid = new.friendid) begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_lunar_changed after update on zinteva_lunar_birthdays "
    "when exists (select 1 from phone where friendid = new.friendid) and (old.friendid is not new.friendid or "
    "old.year is not new.year or old.month is not new.month or old.day is not new.day or "
    "old.leap is not new.leap) begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_lunar_removed after delete on zinteva_lunar_birthdays "
    "when exists (select 1 from phone where friendid = old.friendid) begin "
    ZINTEVA_SYNC_MARK("old.friendid", "0") "end;";

// Step 2: the typed values (store/TypedValues.h), one row per value beyond the columns of phone:
// `field` the catalogue's id ("phone", "wechat", "org"...), `label` what the user reads beside it,
// `value` the value, `line` the content line it came in (written back while set), `position` its
// place among the person's values. They go with the person, in the recently deleted people's
// table too; written, changed or removed on their own they are a change of the card for the sync.
// A file whose version was set back may have them already: the step then leaves them as they are.
inline constexpr const char* Step2Tables =
    "create table if not exists zinteva_values (id integer primary key autoincrement, friendid text not null, "
    "field text not null, label text not null default '', value text not null default '', "
    "line text not null default '', position integer not null default 0);"
    "create index if not exists zinteva_values_contact on zinteva_values(friendid, position)";
inline constexpr const char* Step2DeletedColumn[2] = {"typed", "alter table zinteva_deleted add typed text"};
inline constexpr const char* Step2Triggers =
    "create trigger if not exists zinteva_values_delete after delete on phone begin "
    "delete from zinteva_values where friendid = old.friendid; end;"
    "create trigger if not exists zinteva_values_added after insert on zinteva_values "
    "when exists (select 1 from phone where friendid = new.friendid) begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_values_changed after update on zinteva_values "
    "when exists (select 1 from phone where friendid = new.friendid) begin "
    ZINTEVA_SYNC_MARK("new.friendid", "0") "end;"
    "create trigger if not exists zinteva_values_removed after delete on zinteva_values "
    "when exists (select 1 from phone where friendid = old.friendid) begin "
    ZINTEVA_SYNC_MARK("old.friendid", "0") "end;";
#undef ZINTEVA_SYNC_MARK

// Rows a table of the program needs from the start, written again when the table had to be made anew.
inline constexpr const char* Seeds = "insert or ignore into zinteva_sync_seq (id, n) values (1, 0)";

// ---------------------------------------------------------------------------------------------
// The window's connection alone: temporary tables and triggers that record every change for undo and
// keep the deleted people, never written into the data file (store/UndoLog.cpp, RecentlyDeleted.cpp).
namespace temp {
inline constexpr const char* UndoLog =
    "create temp table if not exists zinteva_undo_log (seq integer primary key autoincrement, statement text not null)";
inline constexpr const char* UndoState = "create temp table if not exists zinteva_undo_state (recording integer)";
inline constexpr const char* SeedUndoState =
    "insert into temp.zinteva_undo_state (recording) select 0 where not exists (select 1 from temp.zinteva_undo_state)";
// Per table of the data file, from its columns: each trigger logs the statement that undoes the change,
// built by SQL from the row's old values (quote() writes each value as a literal of its own type, so
// nothing the user typed becomes SQL). %1 the triggers' base name, %2 the table as an identifier, %3
// the statement's fixed start as a literal (UndoDeleteRow, UndoUpdateRow, UndoInsertRow); for an
// update %4 the assignments (UndoAssignment joined by UndoJoin) and %5 UndoWhereRow as a literal; for a
// delete %4 the old values (UndoValue joined by UndoJoin).
#define ZINTEVA_UNDO_WHEN " when (select recording from temp.zinteva_undo_state) > 0 begin "
inline constexpr const char* UndoOnInsert =
    "create temp trigger if not exists %1_i after insert on main.%2" ZINTEVA_UNDO_WHEN
    "insert into zinteva_undo_log (statement) values (%3 || new.rowid); end";
inline constexpr const char* UndoOnUpdate =
    "create temp trigger if not exists %1_u after update on main.%2" ZINTEVA_UNDO_WHEN
    "insert into zinteva_undo_log (statement) values (%3 || %4 || %5 || old.rowid); end";
inline constexpr const char* UndoOnDelete =
    "create temp trigger if not exists %1_d after delete on main.%2" ZINTEVA_UNDO_WHEN
    "insert into zinteva_undo_log (statement) values (%3 || old.rowid || ', ' || %4 || ')'); end";
#undef ZINTEVA_UNDO_WHEN
// The undoing statements' fixed parts: %1 the table as an identifier, %2 its columns.
inline constexpr const char* UndoDeleteRow = "delete from main.%1 where rowid = ";
inline constexpr const char* UndoUpdateRow = "update main.%1 set ";
inline constexpr const char* UndoWhereRow = " where rowid = ";
inline constexpr const char* UndoInsertRow = "insert into main.%1 (rowid, %2) values (";
// %1 the column and " = " as a literal, %2 the column as an identifier.
inline constexpr const char* UndoAssignment = "%1 || quote(old.%2)";
inline constexpr const char* UndoValue = "quote(old.%1)";
inline constexpr const char* UndoJoin = " || ', ' || ";

inline constexpr const char* Clock = "create temp table if not exists zinteva_clock (now text)";
inline constexpr const char* SeedClock =
    "insert into temp.zinteva_clock (now) select '' where not exists (select 1 from temp.zinteva_clock)";
inline constexpr const char* GoneGroups =
    "create temp table if not exists zinteva_gone_groups (key text primary key, name text)";
// A group's people go after the group row (in the same transaction): its name is kept for them.
inline constexpr const char* KeepGroupName =
    "create temp trigger if not exists zinteva_keep_group_name before delete on main.分类 begin "
    "insert or replace into zinteva_gone_groups (key, name) values (old.分类, old.类型); end";
// A person's UID goes before the row (in the same transaction): it is kept for them.
inline constexpr const char* GoneUids = "create temp table if not exists zinteva_gone_uids (key text primary key, uid text)";
inline constexpr const char* KeepUid =
    "create temp trigger if not exists zinteva_keep_uid before delete on main.zinteva_uid begin "
    "insert or replace into zinteva_gone_uids (key, uid) values (old.friendid, old.uid); end";
// A deleted person is kept with every column the row has (%1: "name, value" pairs of KeptColumn for
// json_object), before the delete, while the kept properties are still there (they go after the row).
inline constexpr const char* KeepDeleted =
    "create temp trigger if not exists zinteva_keep_deleted before delete on main.phone "
    "when coalesce((select recording from temp.zinteva_undo_state), 0) < 2 begin "
    "insert into zinteva_deleted (friendid, name, mainid, groupname, deleted, row, uid, kept, typed) values ("
    "coalesce(old.friendid, 'friend' || old.id), old.姓名, old.mainid, "
    "coalesce((select 类型 from main.分类 where 分类 = old.mainid), "
    "(select name from temp.zinteva_gone_groups where key = old.mainid)), "
    "(select now from temp.zinteva_clock), json_object(%1), "
    "coalesce((select uid from main.zinteva_uid where friendid = old.friendid), "
    "(select uid from temp.zinteva_gone_uids where key = old.friendid)), "
    "(select json_group_array(json_array(field, value, line)) from main.zinteva_kept "
    "where friendid = old.friendid), "
    "(select json_group_array(json_array(field, label, value, line)) from "
    "(select field, label, value, line from main.zinteva_values where friendid = old.friendid "
    "order by position, id))); end";
// A BLOB, which JSON cannot hold, is kept as its text. %1 the column inside a string literal, %2 it
// as an identifier.
inline constexpr const char* KeptColumn =
    "%1, case when typeof(old.%2) = 'blob' then cast(old.%2 as text) else old.%2 end";
} // namespace temp

// ---------------------------------------------------------------------------------------------
// Dropping what is not the program's own. Each name is spliced as a quoted identifier.
inline constexpr const char* DropTriggerPrefix = "drop trigger if exists main.";
inline constexpr const char* DropViewPrefix = "drop view if exists main.";
inline constexpr const char* DropIndexPrefix = "drop index if exists main.";

} // namespace schemasql
