-- The builds that added lunar birthdays and the address-book sync (2026-12-08): the change log's first
-- triggers as that build wrote them (the lunar ones came later) and the server's cards stored as blobs.
create table phone (id integer primary key autoincrement, friendid text, mainid text, 姓名 text, 生日 date,
    移动电话 text, 工作电话 text, 家庭电话 text, 传真号码 text, 地址 text, 邮政编码 text, qq text, icq text,
    msn text, email text, 昵称 text, 备注 text, 照片 text, nowbirthday timestamp);
create table 分类 (id integer primary key autoincrement, 分类 text, 类型 text);
create table if not exists pinyin (friendid text primary key, name text, full text, initials text, variants text, sortkey text);
create index if not exists phone_friendid on phone(friendid);
create index if not exists phone_mainid on phone(mainid);
create index if not exists phone_tree on phone(id, mainid, friendid, 姓名);
create index if not exists phone_nowbirthday on phone(nowbirthday);
create table if not exists zinteva_meta (key text primary key, value text);
create table if not exists zinteva_lunar_birthdays (friendid text primary key, year integer not null default 0, month integer not null, day integer not null, leap integer not null default 0);
create trigger if not exists zinteva_lunar_birthdays_delete after delete on phone begin delete from zinteva_lunar_birthdays where friendid = old.friendid; end;
create table if not exists zinteva_sync_change (friendid text primary key, deleted integer not null, seq integer not null);
create table if not exists zinteva_sync_seq (id integer primary key check (id = 1), n integer not null);
insert or ignore into zinteva_sync_seq (id, n) values (1, 0);
create trigger if not exists zinteva_phone_added after insert on phone when new.friendid is not null begin update zinteva_sync_seq set n = n + 1 where id = 1; insert or replace into zinteva_sync_change (friendid, deleted, seq) values (new.friendid, 0, (select n from zinteva_sync_seq where id = 1)); end;
create trigger if not exists zinteva_phone_deleted after delete on phone when old.friendid is not null begin update zinteva_sync_seq set n = n + 1 where id = 1; insert or replace into zinteva_sync_change (friendid, deleted, seq) values (old.friendid, 1, (select n from zinteva_sync_seq where id = 1)); end;
create trigger if not exists zinteva_group_renamed after update of 类型 on 分类 when old.类型 is not new.类型 begin update zinteva_sync_seq set n = n + 1 where id = 1; insert or replace into zinteva_sync_change (friendid, deleted, seq) select friendid, 0, (select n from zinteva_sync_seq where id = 1) from phone where mainid = new.分类 and friendid is not null; end;
create table if not exists zinteva_sync_card (friendid text primary key, href text not null unique, etag text, uid text, card blob);
create index if not exists zinteva_sync_card_uid on zinteva_sync_card(uid);
create table if not exists zinteva_sync_state (key text primary key, value text);
create table if not exists zinteva_sync_conflict (id integer primary key autoincrement, friendid text, name text, field text, local text, server text, at text);
insert into 分类 (id, 分类, 类型) values (1, 'main1', '朋友');
insert into phone (id, friendid, mainid, 姓名, 生日) values (1, 'friend1', 'main1', '张三', '1985-02-24'),
    (2, 'friend2', 'main1', '李四', null);
insert into zinteva_lunar_birthdays values ('friend1', 1985, 1, 5, 0);
insert into zinteva_sync_card values ('friend1', '/ab/1.vcf', '"e1"', 'u-1', X'424547494E3A56434152440D0A');
insert into zinteva_sync_state values ('book', 'https://dav.example/ab/'), ('token', 't-9');
insert into zinteva_sync_conflict (friendid, name, field, local, server, at) values ('friend1', '张三', 'mobile', '1', '2', '2026-12-08T01:02:03Z');
