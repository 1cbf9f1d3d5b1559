#pragma once
// The statements of the undo log and of the recently deleted people. The triggers that fill the undo
// log are written per table from its columns (UndoLog.cpp), from the fragments below.
namespace sql::undo {

// Temporary: they live with the window's connection and are never written into the data file.
inline constexpr const char* CreateLog =
    "create temp table if not exists zinteva_undo_log (seq integer primary key autoincrement, statement text not null)";
inline constexpr const char* CreateState = "create temp table if not exists zinteva_undo_state (recording integer)";
inline constexpr const char* SeedState =
    "insert into temp.zinteva_undo_state (recording) select 0 where not exists (select 1 from temp.zinteva_undo_state)";
inline constexpr const char* StartRecording = "update temp.zinteva_undo_state set recording = 1";
// While a step is replayed its statements are logged as its redo, but the deleted people are not
// kept again: the step's own log puts back (or takes away) what it kept.
inline constexpr const char* StartReplaying = "update temp.zinteva_undo_state set recording = 2";
inline constexpr const char* RecursiveTriggers = "pragma recursive_triggers = on";
inline constexpr const char* StopRecording = "update temp.zinteva_undo_state set recording = 0";
inline constexpr const char* LastSeq = "select coalesce(max(seq), 0) from temp.zinteva_undo_log";
inline constexpr const char* Steps =
    "select statement from temp.zinteva_undo_log where seq > ? and seq <= ? order by seq desc";
inline constexpr const char* Forget = "delete from temp.zinteva_undo_log where seq > ? and seq <= ?";
// Every table of the data file the user's changes reach: the program's own tables too (the kept
// properties, birthdays, uids, the recently deleted), but not the sync state, which must see an
// undo as one more change to send, and not the program's stamps.
inline constexpr const char* UndoableTables =
    "select name from main.sqlite_master where type = 'table' and name not like 'sqlite\\_%' escape '\\' "
    "and name not like '%sync%' and name <> 'zinteva_meta' order by name";
inline constexpr const char* SchemaVersion = "pragma main.schema_version";
inline constexpr const char* TableColumns = "select name from pragma_table_info(?, 'main')";

// The people deleted in the last 30 days, with the row they had, so that they can come back.
// (The table zinteva_deleted is the schema owner's: store/SchemaSql.h.)
inline constexpr const char* ListDeleted =
    "select id, friendid, name, groupname, deleted from zinteva_deleted order by deleted desc, id desc";
inline constexpr const char* DeletedRow = "select row, groupname, uid, kept from zinteva_deleted where id = ?";
inline constexpr const char* RestoreUid = "insert or ignore into main.zinteva_uid (friendid, uid) values (?, ?)";
inline constexpr const char* ForgetDeleted = "delete from zinteva_deleted where id = ?";
// The pictures the recently deleted people had: kept with them until they are purged.
inline constexpr const char* DeletedPhotoPaths =
    "select distinct json_extract(row, '$.\"照片\"') from zinteva_deleted "
    "where coalesce(json_extract(row, '$.\"照片\"'), '') <> ''";
inline constexpr const char* PurgeDeleted = "delete from zinteva_deleted where deleted < ?";
inline constexpr const char* ContactKeyExists = "select 1 from phone where friendid = ? or id = ?";
inline constexpr const char* GroupKeyExists = "select 1 from 分类 where 分类 = ?";

} // namespace sql::undo

namespace sql::deleted {
inline constexpr const char* CreateClock = "create temp table if not exists zinteva_clock (now text)";
inline constexpr const char* SeedClock =
    "insert into temp.zinteva_clock (now) select '' where not exists (select 1 from temp.zinteva_clock)";
inline constexpr const char* SetClock = "update temp.zinteva_clock set now = ?";
inline constexpr const char* CreateGoneGroups =
    "create temp table if not exists zinteva_gone_groups (key text primary key, name text)";
// A group's people go after the group row (in the same transaction): its name is kept for them.
inline constexpr const char* KeepGroupName =
    "create temp trigger if not exists zinteva_keep_group_name before delete on main.分类 begin "
    "insert or replace into zinteva_gone_groups (key, name) values (old.分类, old.类型); end";
// A person's UID goes before the row (in the same transaction): it is kept for them.
inline constexpr const char* CreateGoneUids =
    "create temp table if not exists zinteva_gone_uids (key text primary key, uid text)";
inline constexpr const char* KeepUid =
    "create temp trigger if not exists zinteva_keep_uid before delete on main.zinteva_uid begin "
    "insert or replace into zinteva_gone_uids (key, uid) values (old.friendid, old.uid); end";
inline constexpr const char* InsertContactRow = "insert into main.phone (%1) values (%2)";
inline constexpr const char* InsertGroupWithId = "insert into main.分类 (id, 分类, 类型) values (?, ?, ?)";
} // namespace sql::deleted

namespace sql::duplicates {
// What the duplicate rules compare, for every person: key, name, mobile and e-mail.
inline constexpr const char* Candidates = "select friendid, 姓名, 移动电话, email from phone order by id";
} // namespace sql::duplicates
