#pragma once
// Contacts as CSV (RFC 4180): a header of the list's column titles, then one row per contact.
#include "core/exchange/ImportRecord.h"

#include <QByteArray>
#include <QStringList>
#include <vector>

struct CsvContact {
    ContactFields fields;
    QString groupName;
};

class CsvFile {
public:
    enum class Encoding { Utf8WithBom, Gbk };

    // 姓名 生日 移动电话 工作电话 家庭电话 传真号码 地址 邮政编码 QQ号码 ICQ号码 MSN 邮件地址 昵称 备注 (the list's
    // titles), then 分组 and 照片.
    static QStringList header();

    static QByteArray write(const std::vector<CsvContact>& contacts, Encoding encoding = Encoding::Utf8WithBom);

    // Columns are found by their title (the list's titles, and a few that other programs write);
    // columns with other titles are ignored. The encoding is found by the byte-order mark, else UTF-8
    // when the bytes are valid UTF-8, else GB18030 (which reads GBK and GB2312). Blank rows are left
    // out; every other row becomes a record numbered by its place among the data rows.
    static ImportBatch read(const QByteArray& file);

    // RFC 4180 fields; line breaks inside quotes belong to the field. Exposed for the tests.
    static std::vector<QStringList> parse(const QString& text, QChar separator = u',');
};
