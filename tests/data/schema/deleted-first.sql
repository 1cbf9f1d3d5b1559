-- The builds that added each contact's own UID, the kept properties of imported cards, and the first
-- release of the recently deleted people (without their UID and kept properties), 2026-12-08.
create table phone (id integer primary key autoincrement, friendid text, mainid text, 姓名 text, 生日 date,
    移动电话 text, 工作电话 text, 家庭电话 text, 传真号码 text, 地址 text, 邮政编码 text, qq text, icq text,
    msn text, email text, 昵称 text, 备注 text, 照片 text, nowbirthday timestamp);
create table 分类 (id integer primary key autoincrement, 分类 text, 类型 text);
create table if not exists pinyin (friendid text primary key, name text, full text, initials text, variants text, sortkey text);
create index if not exists phone_friendid on phone(friendid);
create index if not exists phone_mainid on phone(mainid);
create index if not exists phone_tree on phone(id, mainid, friendid, 姓名);
create table if not exists zinteva_uid (friendid text primary key, uid text not null unique);
create table if not exists zinteva_kept (id integer primary key autoincrement, friendid text not null, field text not null default '', value text not null default '', line text not null);
create index if not exists zinteva_kept_contact on zinteva_kept(friendid);
create index if not exists zinteva_kept_uid on zinteva_kept(value) where field = 'UID';
create trigger if not exists zinteva_kept_delete after delete on phone begin delete from zinteva_kept where friendid = old.friendid; end;
create table if not exists zinteva_deleted (id integer primary key autoincrement, friendid text not null, name text, mainid text, groupname text, deleted text not null, row text not null);
insert into 分类 (id, 分类, 类型) values (1, 'main1', '朋友');
insert into phone (id, friendid, mainid, 姓名, 工作电话) values (1, 'friend1', 'main1', '张三', '010-1');
insert into zinteva_uid values ('friend1', '6b0c1c1e-1111-4a4a-9b9b-000000000001');
insert into zinteva_kept (friendid, field, value, line) values ('friend1', 'ORG', '某公司', 'ORG:某公司'),
    ('friend1', 'X-WECHAT', 'zs', 'X-WECHAT:zs');
insert into zinteva_deleted (friendid, name, mainid, groupname, deleted, row) values
    ('friend7', '赵六', 'main1', '朋友', '2026-12-01T10:00:00', '{"姓名":"赵六","移动电话":"777"}');
