-- The specified data file after the next-birthday pass gave it its column.
create table phone (id integer primary key autoincrement, friendid text, mainid text, 姓名 text, 生日 date,
    移动电话 text, 工作电话 text, 家庭电话 text, 传真号码 text, 地址 text, 邮政编码 text, qq text, icq text,
    msn text, email text, 昵称 text, 备注 text, 照片 text);
create table 分类 (id integer primary key autoincrement, 分类 text, 类型 text);
ALTER TABLE phone ADD nowbirthday timestamp;
insert into 分类 (id, 分类, 类型) values (1, 'main1', '家人');
insert into phone (id, friendid, mainid, 姓名, 生日, 移动电话, email, 备注, nowbirthday) values
    (1, 'friend1', 'main1', '张三', '1980-03-01', '13800000000', 'z@example.cn', 'x', '2026-03-01'),
    (3, 'friend3', 'main1', '王五', null, null, null, null, null);
