#pragma once
// The statements of the undo log and of the recently deleted people.
namespace sql::undo {

// The temporary tables and triggers themselves are made from store/SchemaSql.h (schemasql::temp).
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
// Whether a step of the history (to undo or redo) holds a text, such as a picture's file name.
inline constexpr const char* LogMentions =
    "select exists(select 1 from temp.zinteva_undo_log where instr(statement, ?) > 0)";
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
inline constexpr const char* DeletedRow = "select row, groupname, uid, kept, typed from zinteva_deleted where id = ?";
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
inline constexpr const char* SetClock = "update temp.zinteva_clock set now = ?";
inline constexpr const char* InsertContactRow = "insert into main.phone (%1) values (%2)";
inline constexpr const char* InsertGroupWithId = "insert into main.分类 (id, 分类, 类型) values (?, ?, ?)";
} // namespace sql::deleted

namespace sql::duplicates {
// What the duplicate rules compare, for every person: key, name, mobile and e-mail.
inline constexpr const char* Candidates = "select friendid, 姓名, 移动电话, email from phone order by id";
} // namespace sql::duplicates
