-- The specified data file: the two tables of the directory and nothing else, before the
-- next-birthday column.
create table phone (id integer primary key autoincrement, friendid text, mainid text, 姓名 text, 生日 date,
    移动电话 text, 工作电话 text, 家庭电话 text, 传真号码 text, 地址 text, 邮政编码 text, qq text, icq text,
    msn text, email text, 昵称 text, 备注 text, 照片 text);
create table 分类 (id integer primary key autoincrement, 分类 text, 类型 text);
insert into 分类 (id, 分类, 类型) values (1, 'main1', '家人'), (2, 'main2', '同事');
insert into phone (id, friendid, mainid, 姓名, 生日, 移动电话, 工作电话, 家庭电话, 传真号码, 地址, 邮政编码, qq, icq,
    msn, email, 昵称, 备注, 照片) values
    (1, 'friend1', 'main1', '张三', '1980-02-29', '13800000000', '010-1', '010-2', '010-3', '北京''s 路 1 号',
     '100000', '12345', '678', 'z@msn', 'z@example.cn', '小张', '第一行
第二行', ''),
    (2, 'friend2', 'main2', '李四', '1990-12-31 00:00:00', null, '', null, null, null, null, null, null, null,
     null, null, null, null),
    (5, 'friend5', 'main9', 'Ⅴ', null, '+86 1', null, null, null, null, null, null, null, null, null, null, null,
     'photos/5.jpg');
