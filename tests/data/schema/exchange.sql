-- The build that added import and export (2026-12-07): zinteva_meta holds the random part its cards'
-- UIDs carry ("zinteva-<part>-<key>").
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
create table if not exists zinteva_meta (key text primary key, value text);
insert into zinteva_meta values ('uid', '0f1e2d3c'), ('pinyinchecked', '7');
insert into 分类 (id, 分类, 类型) values (1, 'main1', '朋友');
insert into phone (id, friendid, mainid, 姓名, 移动电话) values (1, 'friend1', 'main1', '张三', '111'),
    (4, 'friend4', 'main1', '李四', '444');
insert into pinyin values ('friend1', '张三', 'zhangsan', 'zs', '', 'zhang san');
