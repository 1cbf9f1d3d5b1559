#include "support/StoreFixture.h"

#include "core/app/Settings.h"
#include "core/store/ContactFields.h"
#include "core/store/Store.h"
#include "support/StoreProbe.h"

StoreFixture::StoreFixture(QDate today) : clock(today) {
    paths = DataPaths::in(dir.path());
    Store::createEmpty(paths.data);
    settings = std::make_unique<Settings>(dir.filePath(QStringLiteral("settings.ini")));
    state.env = Environment{&dialogs, &clock, settings.get(), dir.path()};
}

StoreFixture::~StoreFixture() = default;

Store& StoreFixture::open() {
    if (!state.Conn)
        state.Conn = Store::open(paths.data);
    return *state.Conn;
}

QString StoreFixture::addGroup(const QString& name) {
    open();
    return state.Conn->addGroup(name);
}

QString StoreFixture::addContact(const QString& groupKey, const QString& name, std::optional<QDate> birthday,
                                 const QString& mobile) {
    open();
    ContactFields f = contact(groupKey, name);
    f.birthday = birthday;
    f.mobile = mobile;
    return state.Conn->addContact(f);
}

int StoreFixture::count(const char* sql) {
    open();
    return storeDb(*state.Conn).execAndGet(sql).getInt();
}

ContactFields contact(const QString& groupKey, const QString& name) {
    ContactFields f;
    f.groupKey = groupKey;
    f.name = name;
    return f;
}
