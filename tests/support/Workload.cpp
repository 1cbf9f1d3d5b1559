#include "support/Workload.h"

#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "support/StoreProbe.h"

#include <QCryptographicHash>
#include <SQLiteCpp/SQLiteCpp.h>
#include <iterator>

namespace workload {

QString Model::canonical() const {
    QStringList lines;
    for (const auto& [ident, name] : groups)
        lines << QStringLiteral("G|%1|%2").arg(ident, name);
    for (const auto& [ident, person] : people)
        lines << QStringLiteral("P|%1|%2|%3|%4").arg(ident, person.name, person.groupIdent).arg(person.version);
    return lines.join(QLatin1Char('\n'));
}

QString Model::digest() const {
    return QString::fromLatin1(QCryptographicHash::hash(canonical().toUtf8(), QCryptographicHash::Sha1).toHex());
}

QString identOf(const QString& name) {
    return name.section(QLatin1Char('~'), 0, 0);
}

ContactFields fieldsOf(const QString& ident, const QString& name, const QString& groupKey, int version) {
    const QString v = QStringLiteral("%1.v%2").arg(ident).arg(version);
    ContactFields f;
    f.groupKey = groupKey;
    f.name = name;
    int spread = 0;
    for (QChar c : ident)
        spread = (spread * 31 + c.unicode()) % 20000;
    f.birthday = QDate(1950, 1, 1).addDays(spread + version);
    f.mobile = v + QStringLiteral(".mobile");
    f.workPhone = v + QStringLiteral(".work");
    f.homePhone = v + QStringLiteral(".home");
    f.fax = v + QStringLiteral(".fax");
    f.address = v + QStringLiteral(".address 北京市");
    f.postcode = v + QStringLiteral(".post");
    f.qq = v + QStringLiteral(".qq");
    f.icq = v + QStringLiteral(".icq");
    f.msn = v + QStringLiteral(".msn");
    f.email = v + QStringLiteral("@example.org");
    f.nickname = ident;
    f.remarks = QStringLiteral("v%1 %2").arg(version).arg(QString(40, QChar(u'备')));
    f.photo = QStringLiteral("/photos/%1.jpg").arg(v);
    return f;
}

Model read(Store& store, QStringList* problems) {
    Model model;
    std::map<QString, QString> identOfGroupKey;
    for (const GroupRow& group : store.groups()) {
        const QString ident = identOf(group.name);
        if (group.key != QStringLiteral("main%1").arg(group.id))
            *problems << QStringLiteral("group %1 has key %2").arg(group.id).arg(group.key);
        model.groups[ident] = group.name;
        model.groupKeys[ident] = group.key;
        identOfGroupKey[group.key] = ident;
    }
    SQLite::Statement rows(storeDb(store), "select id, friendid from phone order by id");
    while (rows.executeStep()) {
        const qint64 id = rows.getColumn(0).getInt64();
        const QString key = QString::fromStdString(rows.getColumn(1).getString());
        if (key != QStringLiteral("friend%1").arg(id)) {
            *problems << QStringLiteral("contact %1 has key '%2'").arg(id).arg(key);
            continue;
        }
        const std::optional<ContactFields> f = store.loadContact(key);
        if (!f) {
            *problems << QStringLiteral("contact %1 cannot be loaded").arg(key);
            continue;
        }
        const QString ident = f->nickname;
        bool versionOk = false;
        const int version = f->remarks.section(QLatin1Char(' '), 0, 0).mid(1).toInt(&versionOk);
        const auto group = identOfGroupKey.find(f->groupKey);
        if (group == identOfGroupKey.end())
            *problems << QStringLiteral("contact %1 (%2) is in group %3, which is gone").arg(key, f->name, f->groupKey);
        if (!versionOk || *f != fieldsOf(ident, f->name, f->groupKey, version))
            *problems << QStringLiteral("contact %1 (%2) is saved in part: remarks '%3', mobile '%4'")
                             .arg(key, f->name, f->remarks.left(8), f->mobile);
        if (model.people.count(ident))
            *problems << QStringLiteral("contact %1 is there twice").arg(ident);
        model.people[ident] = Person{f->name, group == identOfGroupKey.end() ? QString() : group->second, version};
        model.personKeys[ident] = key;
    }
    return model;
}

const char* kindName(Save::Kind kind) {
    switch (kind) {
    case Save::AddPerson:
        return "add person";
    case Save::EditPerson:
        return "edit person";
    case Save::RenamePerson:
        return "rename person";
    case Save::DeletePerson:
        return "delete person";
    case Save::AddGroup:
        return "add group";
    case Save::RenameGroup:
        return "rename group";
    case Save::DeleteGroup:
        return "delete group";
    }
    return "?";
}

Runner::Runner(Model model, quint64 seed, QString tag)
    : model_(std::move(model)), random_(seed), tag_(std::move(tag)) {}

namespace {
template <typename Map> const QString& pick(const Map& map, std::mt19937_64& random) {
    std::uniform_int_distribution<size_t> index(0, map.size() - 1);
    return std::next(map.begin(), static_cast<std::ptrdiff_t>(index(random)))->first;
}
constexpr size_t MaxPeople = 80; // keeps the file small, so that every round checks it quickly
} // namespace

Save Runner::next(Model* after) {
    *after = model_;
    std::uniform_int_distribution<int> percent(0, 99);
    const int roll = percent(random_);
    Save save;
    if (model_.groups.empty() || (roll < 7 && model_.groups.size() < 12))
        save.kind = Save::AddGroup;
    else if (roll < 12)
        save.kind = Save::RenameGroup;
    else if (roll < 20)
        save.kind = model_.groups.size() > 1 ? Save::DeleteGroup : Save::AddGroup;
    else if (model_.people.empty() || roll < 60)
        save.kind = model_.people.size() < MaxPeople ? Save::AddPerson
                    : model_.groups.size() > 1       ? Save::DeleteGroup
                                                     : Save::DeletePerson;
    else if (roll < 85)
        save.kind = Save::EditPerson;
    else if (roll < 95)
        save.kind = Save::RenamePerson;
    else
        save.kind = Save::DeletePerson;

    ++counter_;
    switch (save.kind) {
    case Save::AddGroup:
        save.ident = QStringLiteral("g%1-%2").arg(tag_).arg(counter_);
        save.name = save.ident;
        after->groups[save.ident] = save.name;
        break;
    case Save::RenameGroup:
        save.ident = pick(model_.groups, random_);
        save.name = QStringLiteral("%1~%2").arg(save.ident).arg(counter_);
        after->groups[save.ident] = save.name;
        break;
    case Save::DeleteGroup:
        save.ident = pick(model_.groups, random_);
        after->groups.erase(save.ident);
        after->groupKeys.erase(save.ident);
        for (auto it = after->people.begin(); it != after->people.end();) {
            if (it->second.groupIdent == save.ident) {
                after->personKeys.erase(it->first);
                it = after->people.erase(it);
            } else {
                ++it;
            }
        }
        break;
    case Save::AddPerson:
        save.ident = QStringLiteral("p%1-%2").arg(tag_).arg(counter_);
        save.name = save.ident;
        save.groupIdent = pick(model_.groups, random_);
        after->people[save.ident] = Person{save.name, save.groupIdent, 0};
        break;
    case Save::EditPerson: {
        save.ident = pick(model_.people, random_);
        Person& person = after->people[save.ident];
        save.groupIdent = percent(random_) < 30 ? pick(model_.groups, random_) : person.groupIdent;
        person.groupIdent = save.groupIdent;
        ++person.version;
        break;
    }
    case Save::RenamePerson:
        save.ident = pick(model_.people, random_);
        save.name = QStringLiteral("%1~%2").arg(save.ident).arg(counter_);
        after->people[save.ident].name = save.name;
        break;
    case Save::DeletePerson:
        save.ident = pick(model_.people, random_);
        after->people.erase(save.ident);
        after->personKeys.erase(save.ident);
        break;
    }
    return save;
}

void Runner::perform(Store& store, const Save& save, Model after) {
    switch (save.kind) {
    case Save::AddGroup:
        after.groupKeys[save.ident] = store.addGroup(save.name);
        break;
    case Save::RenameGroup:
        store.renameGroup(model_.groupKeys.at(save.ident), save.name);
        break;
    case Save::DeleteGroup:
        store.deleteGroup(model_.groupKeys.at(save.ident));
        break;
    case Save::AddPerson:
        after.personKeys[save.ident] =
            store.addContact(fieldsOf(save.ident, save.name, model_.groupKeys.at(save.groupIdent), 0));
        break;
    case Save::EditPerson: {
        const Person& person = after.people.at(save.ident);
        store.updateContact(model_.personKeys.at(save.ident),
                            fieldsOf(save.ident, person.name, model_.groupKeys.at(save.groupIdent), person.version));
        break;
    }
    case Save::RenamePerson:
        store.renameContact(model_.personKeys.at(save.ident), save.name);
        break;
    case Save::DeletePerson:
        store.deleteContact(model_.personKeys.at(save.ident));
        break;
    }
    model_ = std::move(after);
}

} // namespace workload
