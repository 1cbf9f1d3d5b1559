#pragma once
// Every SQL text of the address-book sync's tables (store/SyncTable.cpp): the change log, and what the
// sync knows of the server. The tables and the log's triggers are the schema owner's (store/SchemaSql.h).
namespace syncsql {

inline constexpr const char* SelectState = "select value from zinteva_sync_state where key = ?";
inline constexpr const char* WriteState = "insert or replace into zinteva_sync_state (key, value) values (?, ?)";
inline constexpr const char* ForgetServer =
    "delete from zinteva_sync_card; delete from zinteva_sync_state";

inline constexpr const char* SelectCards = "select friendid, href, etag, uid from zinteva_sync_card";
// One card row by its address or by its contact, the same columns for one reader.
inline constexpr const char* SelectCardByHref =
    "select friendid, href, etag, uid, card from zinteva_sync_card where href = ?";
inline constexpr const char* SelectCardByFriend =
    "select friendid, href, etag, uid, card from zinteva_sync_card where friendid = ?";
inline constexpr const char* SelectCardByUid = "select friendid, href from zinteva_sync_card where uid = ?";
inline constexpr const char* WriteCard =
    "insert or replace into zinteva_sync_card (friendid, href, etag, uid, card) values (?, ?, ?, ?, ?)";
inline constexpr const char* DeleteCard = "delete from zinteva_sync_card where friendid = ?";
// The rows of groups' cards: their friendid is "group", a tab, the group's key, a tab and the href
// (between "group\t" and "group\n" in the key's order).
inline constexpr const char* SelectGroupCards = "select friendid, href, etag, uid, card from zinteva_sync_card "
                                                "where friendid >= 'group' || char(9) and friendid < 'group' || "
                                                "char(10) order by href";

inline constexpr const char* SelectChanges =
    "select friendid, deleted, seq from zinteva_sync_change order by seq limit ?";
inline constexpr const char* SelectChange = "select deleted, seq from zinteva_sync_change where friendid = ?";
inline constexpr const char* CountChanges = "select count(*) from zinteva_sync_change";
inline constexpr const char* DropChange = "delete from zinteva_sync_change where friendid = ?";
inline constexpr const char* DropChangeAt = "delete from zinteva_sync_change where friendid = ? and seq = ?";
// Contacts the server has not seen yet (made before the log existed, or before the first sync) are
// marked for upload.
inline constexpr const char* MarkUnsent =
    "insert or ignore into zinteva_sync_change (friendid, deleted, seq) select friendid, 0, "
    "(select n from zinteva_sync_seq where id = 1) from phone where friendid is not null and "
    "friendid not in (select friendid from zinteva_sync_card)";
inline constexpr const char* SelectPhotoPath = "select 照片 from phone where friendid = ?";

inline constexpr const char* InsertConflict =
    "insert into zinteva_sync_conflict (friendid, name, field, local, server, at) values (?, ?, ?, ?, ?, ?)";
inline constexpr const char* ConflictsExist =
    "select count(*) from sqlite_master where type = 'table' and name = 'zinteva_sync_conflict'";
inline constexpr const char* SelectConflicts =
    "select id, friendid, name, field, local, server, at from zinteva_sync_conflict order by id";
inline constexpr const char* DeleteConflict = "delete from zinteva_sync_conflict where id = ?";

} // namespace syncsql
