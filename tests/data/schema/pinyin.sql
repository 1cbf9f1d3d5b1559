-- The build that added pinyin keys and the first indexes (2026-12-07).
create table phone (id integer primary key autoincrement, friendid text, mainid text, 姓名 text, 生日 date,
    移动电话 text, 工作电话 text, 家庭电话 text, 传真号码 text, 地址 text, 邮政编码 text, qq text, icq text,
    msn text, email text, 昵称 text, 备注 text, 照片 text, nowbirthday timestamp);
create table 分类 (id integer primary key autoincrement, 分类 text, 类型 text);
create table if not exists pinyin (
    friendid text primary key,
    name text,
    full text,
    initials text,
    variants text,
    sortkey text);
create index if not exists phone_friendid on phone(friendid);
create index if not exists phone_mainid on phone(mainid);
insert into 分类 (id, 分类, 类型) values (1, 'main1', '朋友');
insert into phone (id, friendid, mainid, 姓名, 生日) values (1, 'friend1', 'main1', '张三', '1985-05-17'),
    (2, 'friend2', 'main1', '曾经', null);
insert into pinyin values ('friend1', '张三', 'zhangsan', 'zs', '', 'zhang san'),
    ('friend2', '曾经', 'cengjing', 'cj', 'zj', 'ceng jing');
