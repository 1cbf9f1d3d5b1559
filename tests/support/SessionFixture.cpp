#include "support/SessionFixture.h"

#include "core/store/ContactFields.h"
#include "core/store/Store.h"

#include <QFile>

ContactFields person(const QString& group, const QString& name, const QString& mobile,
                     std::optional<QDate> birthday) {
    ContactFields f;
    f.groupKey = group;
    f.name = name;
    f.mobile = mobile;
    f.birthday = birthday;
    return f;
}

void SessionFixture::setUp(const QString& zhangMobile, std::optional<QDate> wangBirthday) {
    clock.set(QDate(2025, 3, 10));
    QFile::remove(dataFile());
    Store::createEmpty(dataFile());
    session = std::make_unique<DirectorySession>();
    session->env.clock = &clock;
    session->env.programDir = dir.path();
    session->Conn = Store::open(dataFile());
    Store& store = *session->Conn;
    classmates = store.addGroup(QStringLiteral("同学"));
    friends = store.addGroup(QStringLiteral("朋友"));
    zhang = store.addContact(person(classmates, QStringLiteral("张三"), zhangMobile));
    li = store.addContact(person(classmates, QStringLiteral("李四")));
    wang = store.addContact(person(friends, QStringLiteral("王五"), {}, wangBirthday));
}
