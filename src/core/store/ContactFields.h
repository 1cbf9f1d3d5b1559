#pragma once
// One person as the record form, the import and the export see it: every column of phone that a
// user can set. The key (friendid) and nowbirthday are the store's business. Which member is which
// column, label, vCard property and limit is said once, in store/FieldCatalogue.h.
#include "core/text/LunarDate.h"

#include <QDate>
#include <QString>
#include <optional>

struct ContactFields {
    QString groupKey;              // mainid
    QString name;                  // 姓名
    std::optional<QDate> birthday; // 生日; nothing stores Null
    QString mobile;                // 移动电话
    QString workPhone;             // 工作电话
    QString homePhone;             // 家庭电话
    QString fax;                   // 传真号码
    QString address;               // 地址
    QString postcode;              // 邮政编码
    QString qq;
    QString icq;
    QString msn;
    QString email;
    QString nickname; // 昵称
    QString remarks;  // 备注
    QString photo;    // 照片: the full path of a picture file
    // A birthday kept by the lunar calendar (its own table). When it has a year, the store writes
    // its Gregorian day into 生日 instead of `birthday`.
    std::optional<LunarBirthday> lunarBirthday;

    friend bool operator==(const ContactFields&, const ContactFields&) = default;
};

// A contact's birthday as the next-birthday rule reads it: 生日, and the lunar birthday if any.
struct StoredBirthday {
    std::optional<QDate> gregorian;
    std::optional<LunarBirthday> lunar;
};

struct GroupRow {
    qint64 id = 0;
    QString key;  // 分类
    QString name; // 类型
};
