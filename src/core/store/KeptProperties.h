#pragma once
// What an imported card held beyond the columns of phone, per contact, in a table of its own
// (zinteva_kept). Each row is one property of the card as a vCard 3.0 content line. A row that a
// column was read from names that column and the value the column got then: as long as the column
// still holds that value, the export writes the original property back instead of one made from the
// column (so types, structure and text beyond a field's length come back); once the column was
// edited, the original is left out. Rows without a column are written back as they are.
#include "core/store/FieldCatalogue.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class Connection;
class Statement;

struct KeptProperty {
    QString field; // the column the property was read into (keptfield::Name, ...), or empty
    QString line;  // "item1.TEL;TYPE=CELL:+49 170 1234567"; for a photo the part before the value only
    QString value; // the column's value when it was read (keptfield::fingerprint)

    friend bool operator==(const KeptProperty&, const KeptProperty&) = default;
};

namespace keptfield {
// The columns by their names in phone (stored in zinteva_kept.field, so they never change), and the
// two pieces of a card that are no column: its group and its UID.
inline QString column(catalogue::Field field) {
    return QString::fromUtf8(catalogue::info(field).column);
}
inline const QString Name = column(catalogue::Field::Name);
inline const QString Birthday = column(catalogue::Field::Birthday);
inline const QString Mobile = column(catalogue::Field::Mobile);
inline const QString Work = column(catalogue::Field::WorkPhone);
inline const QString Home = column(catalogue::Field::HomePhone);
inline const QString Fax = column(catalogue::Field::Fax);
inline const QString Address = column(catalogue::Field::Address); // with 邮政编码
inline const QString Qq = column(catalogue::Field::Qq);
inline const QString Icq = column(catalogue::Field::Icq);
inline const QString Msn = column(catalogue::Field::Msn);
inline const QString Email = column(catalogue::Field::Email);
inline const QString Nickname = column(catalogue::Field::Nickname);
inline const QString Remarks = column(catalogue::Field::Remarks);
inline const QString Photo = column(catalogue::Field::Photo);
inline const QString Group = QStringLiteral("分组");
inline const QString Uid = QStringLiteral("UID");
} // namespace keptfield

class KeptTable {
public:
    explicit KeptTable(Connection& connection) : connection_(connection) {}

    bool hasTable();

    // The rows of one contact in their order; none when the table does not exist.
    std::vector<KeptProperty> load(const QString& contactKey);
    // load() for many contacts in a row (an export): the table is looked for and the statement
    // prepared once.
    class Reader {
    public:
        explicit Reader(std::unique_ptr<Statement> select);
        Reader(Reader&&) noexcept;
        ~Reader();
        std::vector<KeptProperty> load(const QString& contactKey);

    private:
        std::unique_ptr<Statement> select_; // null: no table
    };
    Reader reader();
    // Replaces the rows of one contact.
    void replace(const QString& contactKey, const std::vector<KeptProperty>& rows);
    // The contacts whose card had this UID, oldest first.
    QStringList contactsWithUid(const QString& uid);
    // Rows in the whole table.
    int rowCount();

private:
    Connection& connection_;
};
