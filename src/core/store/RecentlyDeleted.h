#pragma once
// Table zinteva_deleted: every person deleted through the window in the last 30 days, with the row
// they had (every column, as JSON), their group's name and when. A temporary trigger of the window's
// connection fills it in the same transaction as the delete, whichever command deleted (one person,
// a group with its people, a merge), so nobody is lost to a click.
#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

#include "core/store/KeptProperties.h"
#include "core/text/LunarDate.h"

#include <optional>

class Connection;

struct DeletedContact {
    qint64 id = 0;
    QString key;
    QString name;
    QString groupName;
    QString deleted; // "YYYY-MM-DD HH:MM"
};

// A person back from the recently deleted: the key, and the UID and kept properties they had.
struct RestoredContact {
    QString key;
    QString uid;
    std::vector<KeptProperty> kept;
    std::optional<LunarBirthday> lunar; // the lunar birthday they had
    std::vector<TypedValue> values;     // their typed values, in their order
};

class RecentlyDeleted {
public:
    static constexpr int KeepDays = 30;

    explicit RecentlyDeleted(Connection& connection) : connection_(connection) {}
    // Creates the table and the trigger; nothing on a file that cannot be written.
    void install();
    bool installed() const { return installed_; }
    // The time a delete from now on is recorded with.
    void setNow(const QString& now);

    std::vector<DeletedContact> list();
    // Puts the person back with the key, every column and the UID they had, and their group with its
    // key and name when it is gone too. The key is empty when a person with that key is there
    // already (restored before), and then the entry is only forgotten.
    RestoredContact restore(qint64 id);
    // The pictures of the people kept here (none while the file has no such table).
    QStringList photoPaths();
    // Forgets the people deleted before this day.
    void purgeBefore(const QDate& day);

private:
    void installTrigger();

    Connection& connection_;
    bool installed_ = false;
};
